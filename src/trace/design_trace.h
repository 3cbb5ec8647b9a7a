// A trace written by a design under test, read one line at a time so that a
// trace of any length takes the same memory. Two shapes:
//   - the commit trace format of sim/trace.h (the version line is optional);
//   - key=value lines as testbench $display statements print them, e.g.
//     "RET cyc=15 pc=bfc003a8 op=3c130000 rd=13 val=00000000", with a key map
//     saying which keys hold the address, the word, the register and the value;
//     every number there is hex, the register too ("%h" of rd: 00 to 1f).
// In both, '#' at the start of a word comments out the rest of the line. A
// last line without its newline is a cut trace and an error, as is a line
// longer than 64 KiB; errors quote the line only as a short escaped excerpt.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/trace.h"

namespace r3k::trace {

// Which keys of a key=value line hold what; empty: the trace does not say.
struct TraceKeys {
  std::string pc = "pc", word, reg, value;
};
// "pc=pc,word=op,reg=rd,value=val"; throws r3k::Error on a bad map.
TraceKeys parse_key_map(const std::string& text);

// One line of the design's trace and what it says.
struct DesignLine {
  uint64_t number = 0;  // 1-based line number in the file
  std::string text;
  sim::TraceRecord record;
  // Which parts the line speaks about. A commit-trace line says everything;
  // a key=value line only what its keys give.
  bool has_word = false;
  bool has_writes = false;     // the full list of register, HI/LO and memory writes
  bool has_reg = false;        // key=value: the destination register (record.regs[0], or none)
  bool has_value = false;      // key=value: the written value
  bool has_epc = false;        // an exception line gives epc= (record.epc)
  bool has_ce = false;         // and ce= (record.coprocessor)
  uint32_t value = 0;
};

class DesignTrace {
 public:
  // `keys` set: the key=value shape; otherwise the commit-trace format.
  DesignTrace(std::FILE* file, std::optional<TraceKeys> keys);

  enum class Status { line, end, error };
  // Reads up to the next line that holds an instruction or an exception.
  Status next(DesignLine& line);
  // The same line next() gives next, without taking it.
  Status peek(const DesignLine*& line);

  const std::string& error() const { return error_; }  // "line 12: ..."
  bool key_value_shape() const { return keys_.has_value(); }
  uint64_t lines_read() const { return line_number_; }

 private:
  Status read_line(std::string& text);
  // True when the line is an instruction or exception; false to skip it.
  bool parse(DesignLine& line);
  bool parse_commit_line(DesignLine& line);
  bool parse_key_value_line(DesignLine& line);
  bool fail(const std::string& reason);
  Status fail_reading(const std::string& reason);  // at the line being read
  Status too_long(std::string_view line);

  std::FILE* file_;
  std::optional<TraceKeys> keys_;
  std::vector<char> buffer_;
  size_t begin_ = 0, end_ = 0;
  bool eof_ = false;
  uint64_t line_number_ = 0;
  std::string error_;
  bool has_peeked_ = false;
  Status peeked_status_ = Status::end;
  DesignLine peeked_;
};

}  // namespace r3k::trace
