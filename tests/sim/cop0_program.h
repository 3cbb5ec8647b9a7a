// Programs with an exception handler at the R3000's boot vector, for the
// coprocessor-0 tests: the handler copies Cause, EPC, BadVAddr and Status to
// $k0, $k1, $gp and $fp, then either ends the run or returns past the
// faulting instruction.
#pragma once

#include <vector>

#include "program.h"
#include "sim/cop0.h"

namespace r3k::sim::test {

inline Program& mfc0(Program& p, unsigned rt, unsigned reg) {
  return p.emit(Op::mfc0, {.rt = uint8_t(rt), .rd = uint8_t(reg)});
}
inline Program& mtc0(Program& p, unsigned rt, unsigned reg) {
  return p.emit(Op::mtc0, {.rt = uint8_t(rt), .rd = uint8_t(reg)}).nop();
}

enum class AfterHandler { end_run, return_past };

// The handler's words at `vector`: the four copies, then to the end loop,
// or (return_past) $s7 += 1, IP1..IP0 cleared, and back to EPC + 4 with rfe
// in jr's delay slot.
inline Program handler(uint32_t vector, AfterHandler after) {
  Program h(vector);
  mfc0(h, k0, isa::kCause);
  mfc0(h, k1, isa::kEpc);
  mfc0(h, gp, isa::kBadVAddr);
  mfc0(h, fp, isa::kStatus);
  if (after == AfterHandler::end_run) return h.finish();
  h.emit(Op::addiu, {.rs = s7, .rt = s7, .imm = 1});
  mtc0(h, zero, isa::kCause);
  h.emit(Op::addiu, {.rs = k1, .rt = k1, .imm = 4});
  h.emit(Op::jr, {.rs = k1});
  h.emit(Op::rfe, {});
  return h;
}

// The program's boot memory with the handler's words laid over the vector.
inline std::vector<uint8_t> with_handler(const Program& program, AfterHandler after = AfterHandler::end_run) {
  std::vector<uint8_t> rom = program.rom();
  size_t at = kBootVector - layout::kResetVector;
  const Program code = handler(kBootVector, after);
  for (uint32_t word : code.words())
    for (int i = 0; i < 4; ++i) rom.at(at++) = static_cast<uint8_t>(word >> (8 * i));
  return rom;
}

inline RunResult run_handled(const Program& program, AfterHandler after = AfterHandler::end_run,
                             RunOptions options = {}) {
  options.start_pc = program.base();
  Machine machine(with_handler(program, after));
  return machine.run(options);
}

}  // namespace r3k::sim::test
