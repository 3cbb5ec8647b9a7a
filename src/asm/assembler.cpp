#include "asm/assembler.h"

#include <cstdio>

#include "common/error.h"

namespace r3k::assembly {
namespace {

bool fits_signed16(int64_t value) { return value >= -0x8000 && value <= 0x7FFF; }

// The high half of an address or offset split for a sign-extended low half.
uint16_t high_half(uint32_t value) { return static_cast<uint16_t>((value + 0x8000) >> 16); }
uint16_t low_half(uint32_t value) { return static_cast<uint16_t>(value & 0xFFFF); }

std::string hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", value);
  return buffer;
}

}  // namespace

int constant_load_length(uint32_t value) {
  if (fits_signed16(static_cast<int32_t>(value))) return 1;
  if (value <= 0xFFFF) return 1;
  if ((value & 0xFFFF) == 0) return 1;
  return 2;
}

bool needs_long_form(int32_t offset) { return !fits_signed16(offset); }

Assembler::Assembler(uint32_t base) : base_(base) {}

Label Assembler::make_label() {
  labels_.push_back(-1);
  return Label(static_cast<int>(labels_.size() - 1));
}

void Assembler::bind(Label label) {
  int64_t& slot = labels_.at(label.id_);
  if (slot >= 0) throw Error("assembler: label bound twice");
  slot = here();
}

bool Assembler::is_bound(Label label) const { return labels_.at(label.id_) >= 0; }

uint32_t Assembler::address_of(Label label) const {
  if (!label.valid() || !is_bound(label)) throw Error("assembler: label used but never bound");
  return static_cast<uint32_t>(labels_[label.id_]);
}

void Assembler::word(uint32_t raw) {
  words_.push_back(raw);
  locs_.push_back(source_);
}

void Assembler::zero_words(uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) word(0);
}

void Assembler::align(uint32_t bytes) {
  while (here() % bytes != 0) word(0);
}

void Assembler::emit(Op op, const isa::Fields& fields) { word(isa::encode(op, fields)); }

void Assembler::alu(Op op, Reg rd, Reg rs, Reg rt) { emit(op, {.rs = rs, .rt = rt, .rd = rd}); }

void Assembler::shift(Op op, Reg rd, Reg rt, unsigned sa) {
  emit(op, {.rt = rt, .rd = rd, .sa = static_cast<uint8_t>(sa)});
}

void Assembler::shift_variable(Op op, Reg rd, Reg rt, Reg rs) { emit(op, {.rs = rs, .rt = rt, .rd = rd}); }

void Assembler::immediate(Op op, Reg rt, Reg rs, uint16_t imm) { emit(op, {.rs = rs, .rt = rt, .imm = imm}); }

void Assembler::multiply_divide(Op op, Reg rs, Reg rt) { emit(op, {.rs = rs, .rt = rt}); }

void Assembler::move_from(Op op, Reg rd) { emit(op, {.rd = rd}); }

void Assembler::move_to(Op op, Reg rs) { emit(op, {.rs = rs}); }

void Assembler::memory(Op op, Reg rt, int16_t offset, Reg base) {
  emit(op, {.rs = base, .rt = rt, .imm = static_cast<uint16_t>(offset)});
}

void Assembler::branch(Op op, Reg rs, Reg rt, Label target) {
  fixup(FixupKind::Branch, target);
  emit(op, {.rs = rs, .rt = rt});
}

void Assembler::branch(Op op, Reg rs, Label target) {
  fixup(FixupKind::Branch, target);
  emit(op, {.rs = rs});
}

void Assembler::jump(Op op, Label target) {
  fixup(FixupKind::Jump, target);
  emit(op, {});
}

void Assembler::jump_absolute(Op op, uint32_t target) {
  if (((here() + 4) ^ target) & 0xF0000000) throw Error("assembler: jump target " + hex(target) + " out of reach");
  emit(op, {.target = target >> 2});
}

void Assembler::li(Reg rt, uint32_t value) {
  if (fits_signed16(static_cast<int32_t>(value))) {
    addiu(rt, isa::zero, static_cast<int16_t>(value));
  } else if (value <= 0xFFFF) {
    ori(rt, isa::zero, static_cast<uint16_t>(value));
  } else {
    lui(rt, static_cast<uint16_t>(value >> 16));
    if (value & 0xFFFF) ori(rt, rt, low_half(value));
  }
}

void Assembler::la(Reg rt, Label label, int32_t addend) {
  la_high(rt, label, addend);
  la_low(rt, label, addend);
}

void Assembler::la_high(Reg rt, Label label, int32_t addend) {
  fixup(FixupKind::AddressHigh, label, addend);
  lui(rt, 0);
}

void Assembler::la_low(Reg rt, Label label, int32_t addend) {
  fixup(FixupKind::AddressLow, label, addend);
  addiu(rt, rt, 0);
}

void Assembler::load_store(Op op, Reg rt, int32_t offset, Reg base) {
  if (!needs_long_form(offset)) {
    memory(op, rt, static_cast<int16_t>(offset), base);
    return;
  }
  const bool merges_or_stores = op == Op::lwl || op == Op::lwr || op == Op::sb || op == Op::sh ||
                                op == Op::sw || op == Op::swl || op == Op::swr;
  const Reg temp = merges_or_stores ? isa::at : rt;
  if (temp == base || (merges_or_stores && rt == isa::at))
    throw Error("assembler: long-form " + std::string(isa::info(op).mnemonic) +
                " would overwrite its own operand in " + std::string(isa::reg_name(temp)));
  const auto split = static_cast<uint32_t>(offset);
  lui(temp, high_half(split));
  addu(temp, temp, base);
  memory(op, rt, static_cast<int16_t>(low_half(split)), temp);
}

void Assembler::fixup(FixupKind kind, Label label, int32_t addend) {
  if (!label.valid()) throw Error("assembler: reference to a label that was never made");
  fixups_.push_back({words_.size(), kind, label, addend});
}

void Assembler::patch(const Fixup& f) {
  const uint32_t at_address = base_ + 4 * static_cast<uint32_t>(f.index);
  const uint32_t target = address_of(f.label) + static_cast<uint32_t>(f.addend);
  uint32_t& w = words_[f.index];
  switch (f.kind) {
    case FixupKind::Branch: {
      const int64_t distance = (int64_t(target) - int64_t(at_address) - 4) / 4;
      if (target % 4 != 0 || !fits_signed16(distance))
        throw Error("assembler: branch at " + hex(at_address) + " cannot reach " + hex(target));
      w = (w & 0xFFFF0000) | static_cast<uint16_t>(distance);
      break;
    }
    case FixupKind::Jump:
      if (((at_address + 4) ^ target) & 0xF0000000 || target % 4 != 0)
        throw Error("assembler: jump at " + hex(at_address) + " cannot reach " + hex(target));
      w = (w & 0xFC000000) | ((target >> 2) & 0x03FFFFFF);
      break;
    case FixupKind::AddressHigh: w = (w & 0xFFFF0000) | high_half(target); break;
    case FixupKind::AddressLow: w = (w & 0xFFFF0000) | low_half(target); break;
  }
}

void Assembler::finish() {
  for (const Fixup& f : fixups_) patch(f);
  fixups_.clear();
}

}  // namespace r3k::assembly
