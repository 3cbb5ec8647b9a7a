// A small assembler over a code buffer at a fixed base address.
//
// Instructions are appended in order; branches, jumps and address loads may
// name labels that are bound later, and finish() patches them. Every word is
// tagged with the source location current when it was emitted, so listings
// and line tables can map any address back to its routine and case.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asm/source_loc.h"
#include "asm/statement.h"
#include "isa/isa.h"

namespace r3k::assembly {

using isa::Op;
using isa::Reg;

class Label {
 public:
  Label() = default;
  bool valid() const { return id_ >= 0; }

 private:
  friend class Assembler;
  explicit Label(int id) : id_(id) {}
  int id_ = -1;
};

// Number of instructions `li` takes for a value: 1 or 2.
int constant_load_length(uint32_t value);
// Whether a load or store offset needs the three-instruction long form.
bool needs_long_form(int32_t offset);

class Assembler {
 public:
  explicit Assembler(uint32_t base);

  uint32_t base() const { return base_; }
  uint32_t here() const { return base_ + 4 * static_cast<uint32_t>(words_.size()); }
  const std::vector<uint32_t>& words() const { return words_; }
  const std::vector<SourceLoc>& locs() const { return locs_; }
  const std::vector<Statement>& statements() const { return statements_; }  // one per word

  Label make_label();
  void bind(Label label);  // at here()
  bool is_bound(Label label) const;
  uint32_t address_of(Label label) const;  // throws if unbound

  // Subsequent words belong to this source line.
  void set_source(SourceLoc loc) { source_ = loc; }

  void word(uint32_t raw);
  void zero_words(uint32_t count);
  void align(uint32_t bytes);  // zero words up to the next multiple

  // One instruction of each format.
  void emit(Op op, const isa::Fields& fields);
  void alu(Op op, Reg rd, Reg rs, Reg rt);
  void shift(Op op, Reg rd, Reg rt, unsigned sa);
  void shift_variable(Op op, Reg rd, Reg rt, Reg rs);
  void immediate(Op op, Reg rt, Reg rs, uint16_t imm);
  void multiply_divide(Op op, Reg rs, Reg rt);
  void move_from(Op op, Reg rd);  // mfhi, mflo
  void move_to(Op op, Reg rs);    // mthi, mtlo
  void branch(Op op, Reg rs, Reg rt, Label target);  // beq, bne
  void branch(Op op, Reg rs, Label target);          // blez, bgtz, bltz, bgez, bltzal, bgezal
  void jump(Op op, Label target);                    // j, jal
  void jump_absolute(Op op, uint32_t target);        // j, jal to a fixed address
  void jr(Reg rs) { emit(Op::jr, {.rs = rs}); }
  void jalr(Reg rd, Reg rs) { emit(Op::jalr, {.rs = rs, .rd = rd}); }
  void memory(Op op, Reg rt, int16_t offset, Reg base);

  // The mnemonics the frame and the templates use most.
  void nop() { word(0); }
  void addiu(Reg rt, Reg rs, int16_t imm) { immediate(Op::addiu, rt, rs, static_cast<uint16_t>(imm)); }
  void ori(Reg rt, Reg rs, uint16_t imm) { immediate(Op::ori, rt, rs, imm); }
  void lui(Reg rt, uint16_t imm) { emit(Op::lui, {.rt = rt, .imm = imm}); }
  void addu(Reg rd, Reg rs, Reg rt) { alu(Op::addu, rd, rs, rt); }
  void or_(Reg rd, Reg rs, Reg rt) { alu(Op::or_, rd, rs, rt); }
  void sll(Reg rd, Reg rt, unsigned sa) { shift(Op::sll, rd, rt, sa); }
  void lw(Reg rt, int16_t offset, Reg base) { memory(Op::lw, rt, offset, base); }
  void sw(Reg rt, int16_t offset, Reg base) { memory(Op::sw, rt, offset, base); }
  void beq(Reg rs, Reg rt, Label target) { branch(Op::beq, rs, rt, target); }
  void bne(Reg rs, Reg rt, Label target) { branch(Op::bne, rs, rt, target); }
  void bnez(Reg rs, Label target) { branch(Op::bne, rs, isa::zero, target); }
  void b(Label target) { branch(Op::beq, isa::zero, isa::zero, target); }
  void j(Label target) { jump(Op::j, target); }
  void jal(Label target) { jump(Op::jal, target); }

  // The constant load: one addiu, ori or lui, or a lui/ori pair.
  void li(Reg rt, uint32_t value);
  // The address load of a label (plus a constant): always lui, then addiu.
  void la(Reg rt, Label label, int32_t addend = 0);
  // Its two halves (lui, then addiu rt, rt), for code that puts other
  // instructions between them: two plain instructions.
  void la_high(Reg rt, Label label, int32_t addend = 0);
  void la_low(Reg rt, Label label, int32_t addend = 0);
  // A load or store with any 32-bit offset: one instruction when the offset
  // fits 16 bits, else lui T, HI ; addu T, T, base ; op rt, LO(T), where T is
  // rt for the plain loads and $at for stores, lwl and lwr (which merge into
  // rt and so need its old value).
  void load_store(Op op, Reg rt, int32_t offset, Reg base);

  // Patches every branch, jump and address load. Throws std::logic_error for an
  // unbound label or a branch out of reach.
  void finish();

 private:
  enum class FixupKind : uint8_t { Branch, Jump, AddressHigh, AddressLow };
  struct Fixup {
    size_t index;
    FixupKind kind;
    Label label;
    int32_t addend;
  };
  void fixup(FixupKind kind, Label label, int32_t addend = 0);
  void patch(const Fixup& fixup);
  // Marks the words from `first` on as one statement of `kind`.
  void mark(size_t first, Statement kind);

  uint32_t base_;
  std::vector<uint32_t> words_;
  std::vector<SourceLoc> locs_;
  std::vector<Statement> statements_;
  std::vector<int64_t> labels_;  // address, or -1 while unbound
  std::vector<Fixup> fixups_;
  SourceLoc source_;
};

}  // namespace r3k::assembly
