#include "asm/assembler.h"

#include "common/hex.h"
#include <stdexcept>


namespace r3k::assembly {
namespace {

bool fits_signed16(int64_t value) { return value >= -0x8000 && value <= 0x7FFF; }

// The high half of an address or offset split for a sign-extended low half.
uint16_t high_half(uint32_t value) { return static_cast<uint16_t>((value + 0x8000) >> 16); }
uint16_t low_half(uint32_t value) { return static_cast<uint16_t>(value & 0xFFFF); }

std::string hex(uint32_t value) { return r3k::hex(value, {.upper = true}); }

// The forms of the constant load: one addiu from $zero (a sign-extended
// 16-bit value), one ori from $zero (up to 0xFFFF), one lui (low half zero),
// or lui then ori.
enum class ConstantLoad : uint8_t { addiu, ori, lui, lui_ori };

ConstantLoad constant_load(uint32_t value) {
  if (fits_signed16(static_cast<int32_t>(value))) return ConstantLoad::addiu;
  if (value <= 0xFFFF) return ConstantLoad::ori;
  if ((value & 0xFFFF) == 0) return ConstantLoad::lui;
  return ConstantLoad::lui_ori;
}

// Whether a j or jal at `address` reaches `target`: a word in the same
// 256 MiB region as its delay slot.
bool jump_reaches(uint32_t address, uint32_t target) {
  return target % 4 == 0 && isa::jump_target(address, target >> 2) == target;
}

}  // namespace

int constant_load_length(uint32_t value) { return constant_load(value) == ConstantLoad::lui_ori ? 2 : 1; }

bool needs_long_form(int32_t offset) { return !fits_signed16(offset); }

Assembler::Assembler(uint32_t base) : base_(base) {}

Label Assembler::make_label() {
  labels_.push_back(-1);
  return Label(static_cast<int>(labels_.size() - 1));
}

void Assembler::bind(Label label) {
  int64_t& slot = labels_.at(label.id_);
  if (slot >= 0) throw std::logic_error("assembler: label bound twice");
  slot = here();
}

bool Assembler::is_bound(Label label) const { return labels_.at(label.id_) >= 0; }

uint32_t Assembler::address_of(Label label) const {
  if (!label.valid() || !is_bound(label)) throw std::logic_error("assembler: label used but never bound");
  return static_cast<uint32_t>(labels_[label.id_]);
}

void Assembler::word(uint32_t raw) {
  words_.push_back(raw);
  locs_.push_back(source_);
  statements_.push_back(Statement::instruction);
}

void Assembler::mark(size_t first, Statement kind) {
  statements_.at(first) = kind;
  for (size_t i = first + 1; i < statements_.size(); ++i) statements_[i] = Statement::second_word;
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
  if (!jump_reaches(here(), target))
    throw std::logic_error("assembler: jump target " + hex(target) + " out of reach");
  emit(op, {.target = (target >> 2) & 0x03FFFFFF});
}

void Assembler::li(Reg rt, uint32_t value) {
  const size_t first = words_.size();
  switch (constant_load(value)) {
    case ConstantLoad::addiu: addiu(rt, isa::zero, static_cast<int16_t>(value)); break;
    case ConstantLoad::ori: ori(rt, isa::zero, static_cast<uint16_t>(value)); break;
    case ConstantLoad::lui: lui(rt, static_cast<uint16_t>(value >> 16)); break;
    case ConstantLoad::lui_ori:
      lui(rt, static_cast<uint16_t>(value >> 16));
      ori(rt, rt, low_half(value));
      break;
  }
  mark(first, Statement::constant_load);
}

void Assembler::la(Reg rt, Label label, int32_t addend) {
  const size_t first = words_.size();
  la_high(rt, label, addend);
  la_low(rt, label, addend);
  mark(first, Statement::address_load);
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
  const isa::OpInfo& row = isa::info(op);
  const bool merges_or_stores = row.is_merging_load() || row.is_store();
  const Reg temp = merges_or_stores ? isa::at : rt;
  if (temp == base || (merges_or_stores && rt == isa::at))
    throw std::logic_error("assembler: long-form " + std::string(isa::info(op).mnemonic) +
                " would overwrite its own operand in " + std::string(isa::reg_name(temp)));
  const auto split = static_cast<uint32_t>(offset);
  lui(temp, high_half(split));
  addu(temp, temp, base);
  memory(op, rt, static_cast<int16_t>(low_half(split)), temp);
}

void Assembler::fixup(FixupKind kind, Label label, int32_t addend) {
  if (!label.valid()) throw std::logic_error("assembler: reference to a label that was never made");
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
        throw std::logic_error("assembler: branch at " + hex(at_address) + " cannot reach " + hex(target));
      w = (w & 0xFFFF0000) | static_cast<uint16_t>(distance);
      break;
    }
    case FixupKind::Jump:
      if (!jump_reaches(at_address, target))
        throw std::logic_error("assembler: jump at " + hex(at_address) + " cannot reach " + hex(target));
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
