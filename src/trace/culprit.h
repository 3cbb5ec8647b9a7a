// Why the reference went where it did, for the report of the first place a
// design parted from it: when the design goes on at another address, the
// branch or jump whose delay slot came last decided it, with the values the
// reference held in its sources; when the design wrote another value, the
// values the reference's instruction read.
#pragma once

#include <cstdint>
#include <string>

#include "sim/trace.h"

namespace r3k::trace {

// An instruction's register sources (its rs and rt fields) as they were before it ran.
struct SourceValues {
  uint32_t rs = 0, rt = 0, hi = 0, lo = 0;
};

// Whether the instruction decides where the one after its delay slot is.
bool is_control_transfer(uint32_t word);

// "record 4711 at bfc01234: bgez $t0, 0xbfc01300 with $t0 = 0x00000000 is
// taken: the reference goes on at bfc01300", for the transfer that was the
// `number`th record of the reference's run, when the instruction after its
// delay slot was at `next_pc`.
std::string control_culprit(const sim::TraceRecord& transfer, uint64_t number, SourceValues values, uint32_t next_pc);

// "record 4711 at bfc01234: addu $v0, $a0, $a1 read $a0 = 0x00000001,
// $a1 = 0xffffffff", naming only what the instruction reads (the table's
// rs, rt, HI and LO); empty for an instruction that reads nothing.
std::string operand_culprit(const sim::TraceRecord& instruction, uint64_t number, SourceValues values);

}  // namespace r3k::trace
