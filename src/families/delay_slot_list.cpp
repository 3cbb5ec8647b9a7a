#include "families/delay_slot_list.h"

#include <string>
#include <stdexcept>


namespace r3k::delay_slots {

namespace {

using namespace isa;  // register names

// Where one routine's list differs from the others: the registers of the
// chain of cases 1 to 5, the RAM offset of cases 3 and 4, the destinations
// of cases 6 to 8, and how many cases it carries.
struct Variant {
  Op under_test;
  Reg base, data, loaded, sum;
  int32_t ram_offset;
  Reg or_destination, slt_destination, slti_destination;
  int cases;
};

constexpr Variant kVariants[] = {
    // The branches' list, shared by beq and the compare-with-zero routines.
    {Op::beq, t0, t1, t2, t3, -0x7120, t4, t5, t6, kShortList},
    {Op::bgez, t0, t1, t2, t3, -0x7120, t4, t5, t6, kFullList},
    {Op::bgtz, t0, t1, t2, t3, -0x7120, t4, t5, t6, kFullList},
    {Op::blez, t0, t1, t2, t3, -0x7120, t4, t5, t6, kFullList},
    {Op::bltz, t0, t1, t2, t3, -0x7120, t4, t5, t6, kFullList},
    {Op::bltzal, t0, t1, t2, t3, -0x7120, t4, t5, t6, kFullList},
    {Op::bgezal, t0, t1, t2, t3, -0x7120, t4, t5, t6, kFullList},
    // bne and jal keep their chain out of $t0: cases 12 to 26 then read
    // the $t0 the routine found on entry.
    {Op::bne, a0, a1, a2, a3, 0x120, t1, t2, t3, kShortList},
    {Op::j, t0, t1, t2, t3, 0x7120, t9, t8, t7, kShortList},
    {Op::jal, a3, a2, a1, a0, -0x6120, t4, t5, t6, kShortList},
    {Op::jr, t0, t1, t2, t3, -0x7120, t4, t5, t6, kShortList},
    {Op::jalr, t0, t1, t2, t3, -0x7120, t4, t5, t6, kFullList},
};

uint16_t imm(int32_t value) { return static_cast<uint16_t>(value); }

SlotInstruction alu(Op op, Reg rd, Reg rs, Reg rt) { return {op, {.rs = rs, .rt = rt, .rd = rd}}; }
SlotInstruction immediate(Op op, Reg rt, Reg rs, int32_t value) { return {op, {.rs = rs, .rt = rt, .imm = imm(value)}}; }
SlotInstruction shift(Op op, Reg rd, Reg rt, uint8_t sa) { return {op, {.rt = rt, .rd = rd, .sa = sa}}; }
SlotInstruction shift_variable(Op op, Reg rd, Reg rt, Reg rs) { return {op, {.rs = rs, .rt = rt, .rd = rd}}; }
SlotInstruction memory(Op op, Reg rt, int32_t offset, Reg base) { return {op, {.rs = base, .rt = rt, .imm = imm(offset)}}; }

const Variant& variant_of(Op under_test) {
  for (const Variant& v : kVariants)
    if (v.under_test == under_test) return v;
  throw std::logic_error("delay-slot family: no routine tests the delay slot of " + std::string(info(under_test).mnemonic));
}

std::vector<SlotInstruction> full_list(const Variant& v) {
  return {
      {Op::lui, {.rt = v.base, .imm = kRamBase >> 16}},
      immediate(Op::addiu, v.data, v.base, -0x7EDD),  // kStoredWord
      memory(Op::sw, v.data, v.ram_offset, v.base),
      memory(Op::lw, v.loaded, v.ram_offset, v.base),
      alu(Op::addu, v.sum, v.data, v.loaded),
      alu(Op::or_, v.or_destination, s1, s2),
      alu(Op::slt, v.slt_destination, s2, s3),
      immediate(Op::slti, v.slti_destination, s2, -0x7FEF),
      immediate(Op::sltiu, t7, s2, -0x7FEF),
      alu(Op::sltu, t8, s2, s3),
      shift(Op::sll, t1, s2, 17),
      // From here on the first source is $t0, whatever case 1 loaded.
      alu(Op::add, t2, t0, s0),
      immediate(Op::addi, t3, s0, -0x7FFE),
      alu(Op::sub, t4, t0, s0),
      alu(Op::subu, t5, t0, s0),
      alu(Op::and_, t6, t0, s0),
      immediate(Op::andi, t7, s0, 0x8FF2),
      alu(Op::nor, t8, t0, s0),
      immediate(Op::ori, t1, s0, 0x8FF2),
      alu(Op::xor_, t2, t0, s0),
      immediate(Op::xori, t3, s0, 0x8FF2),
      shift_variable(Op::sllv, t4, t0, s0),
      shift(Op::sra, t5, s0, 8),
      shift_variable(Op::srav, t6, t0, s0),
      shift(Op::srl, t7, s0, 8),
      shift_variable(Op::srlv, t8, t0, s0),
      // Case 30 (multu) leaves the HI and LO that cases 31 and 32 read.
      {Op::div, {.rs = t0, .rt = t1}},
      {Op::divu, {.rs = t0, .rt = t1}},
      {Op::mult, {.rs = t0, .rt = t1}},
      {Op::multu, {.rs = t0, .rt = t1}},
      {Op::mfhi, {.rd = t7}},
      {Op::mflo, {.rd = t6}},
  };
}

// Which field of the instruction names the register it writes or, for a
// store, the register it stores.
Destination destination_field(Op op) {
  const OpInfo& row = info(op);
  return row.is_store() ? Destination::rt : row.destination;
}

}  // namespace

bool SlotInstruction::writes_hilo() const { return info(op).writes_lo(); }

Reg SlotInstruction::destination() const {
  switch (destination_field(op)) {
    case Destination::rd: return static_cast<Reg>(fields.rd);
    case Destination::rt: return static_cast<Reg>(fields.rt);
    default: throw std::logic_error("delay-slot family: " + std::string(info(op).mnemonic) + " has no destination register");
  }
}

uint32_t SlotInstruction::encoding_into(Reg destination) const {
  Fields changed = fields;
  switch (destination_field(op)) {
    case Destination::rd: changed.rd = destination; break;
    case Destination::rt: changed.rt = destination; break;
    default: throw std::logic_error("delay-slot family: " + std::string(info(op).mnemonic) + " has no destination register");
  }
  return encode(op, changed);
}

SlotList slot_list(Op under_test) {
  const Variant& v = variant_of(under_test);
  std::vector<SlotInstruction> cases = full_list(v);
  cases.resize(static_cast<size_t>(v.cases));
  return {cases, v.ram_offset};
}

void load_multiply_divide_operands(assembly::Assembler& as) {
  as.li(t0, kDividend);  // lui alone
  as.li(t1, kDivisor);   // ori from $zero
}

}  // namespace r3k::delay_slots
