#include "sim/decoded.h"

namespace r3k::sim {

namespace {

uint32_t sign_extend(uint16_t imm) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(imm))); }

// The immediate in the form the instruction's format uses it.
uint32_t prepared_immediate(isa::Format format, const isa::Fields& f) {
  switch (format) {
    case isa::Format::ImmediateSigned:
    case isa::Format::Memory: return sign_extend(f.imm);
    case isa::Format::ImmediateUnsigned: return f.imm;
    case isa::Format::LoadUpper: return static_cast<uint32_t>(f.imm) << 16;
    case isa::Format::ShiftImmediate: return f.sa;
    case isa::Format::Trap: return f.code;
    default: return 0;
  }
}

uint32_t prepared_target(isa::Format format, const isa::Fields& f, uint32_t address) {
  if (isa::is_branch(format)) return isa::branch_target(address, f.imm);
  if (format == isa::Format::Jump) return isa::jump_target(address, f.target);
  return 0;
}

}  // namespace

Decoded decode_at(uint32_t word, uint32_t address) {
  Decoded d;
  d.word = word;
  const isa::Op op = isa::decode(word);
  d.action = action_of(op);
  if (op == isa::Op::invalid) return d;
  const isa::Fields f = isa::fields_of(word);
  const isa::Format format = isa::info(op).format;
  d.rs = f.rs;
  d.rt = f.rt;
  d.rd = f.rd;
  d.imm = prepared_immediate(format, f);
  d.target = prepared_target(format, f, address);
  return d;
}

}  // namespace r3k::sim
