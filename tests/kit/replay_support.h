// Records of the reference's run as the bus replay (r3k_bus_replay.v) reads them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cosim/r3kcheck/cosim.h"

namespace r3k::test {

// One 512-bit $readmemh word per record, the fields in r3k_cosim_record order.
inline std::string records_hex(const std::vector<r3k_cosim_record>& records) {
  std::string text;
  char line[160];
  for (const r3k_cosim_record& r : records) {
    std::snprintf(line, sizeof line, "%08x%08x%08x%08x%08x%08x%08x%08x%08x%08x%08x%08x%08x%08x%08x%08x\n", r.pc,
                  r.word, r.rd, r.rd_value, r.hi_written, r.lo_written, r.hi, r.lo, r.store_mask, r.store_addr,
                  r.store_data, r.load_valid, r.load_addr, r.exception, r.cause, r.bad_addr);
    text += line;
  }
  return text;
}

// The reference stops on reaching the end loop; a core goes on and retires it.
inline std::vector<r3k_cosim_record> to_the_end_loop(std::vector<r3k_cosim_record> records) {
  r3k_cosim_record end{};
  end.pc = 0xBFC00100;
  end.word = 0x1000ffff;  // b . (the board looks at the pc only)
  records.push_back(end);
  return records;
}

}  // namespace r3k::test
