// ALU and shifter mistakes: a comparator on the wrong bits or with the wrong
// signedness, a function select decoded from too few funct bits, an
// immediate extended from the wrong bit, operands or mux inputs swapped.
#include "evaluation/evaluation_parts.h"
#include "faults/fault_kit.h"

namespace r3k::evaluation {

using namespace faults::kit;
using namespace part_kit;
using faults::FaultClass;
using faults::ImageShape;
using U = uint32_t;
using F = uint16_t;

namespace {

U sign_extended(F field) { return sim::sign_extend_half(field); }

}  // namespace

std::vector<EvaluationFault> datapath_mistakes() {
  constexpr auto A = FaultClass::alu;
  constexpr auto S = FaultClass::shift;
  return {
      mistake("sltu-from-difference-bit31", A, Op::sltu,
              "assign ltu = diff[31]; (the borrow out of the subtractor was meant)",
              "less-than read off bit 31 of the difference",
              {"slt-sign-of-difference", "sltiu-sign-of-difference", "slti-sign-of-difference"},
              [](const ImageShape&) { return register_result(Op::sltu, [](U a, U b) { return (a - b) >> 31; }); }),
      mistake("sltiu-imm-zero-extended", A, Op::sltiu,
              "the sign-extend enable decodes opcode 001011 with the logical immediates",
              "set-less-than immediate zero-extended", {"slti-zero-extends"},
              [](const ImageShape&) { return immediate_result(Op::sltiu, [](U x, F f) { return U(x < f); }); }),
      mistake("slti-compares-unsigned", A, Op::slti,
              "the comparator's signed select decodes slt (funct 101010) alone: slti compares unsigned",
              "comparator's signed/unsigned select", {"slt-unsigned", "sltiu-signed"},
              [](const ImageShape&) {
                return immediate_result(Op::slti, [](U x, F f) { return U(x < sign_extended(f)); });
              }),
      mistake("slt-ports-swapped", A, Op::slt, "slt's comparator is wired (rt < rs) instead of (rs < rt)",
              "slt's comparator inputs swapped", {},
              [](const ImageShape&) {
                return register_result(Op::slt, [](U a, U b) { return U(int32_t(b) < int32_t(a)); });
              }),
      mistake("subu-decoded-as-addu", A, Op::subu, "ALU control matches funct 1000x1 for addu: subu adds",
              "add/subtract select", {"add-as-sub"},
              [](const ImageShape&) { return register_result(Op::subu, [](U a, U b) { return a + b; }); }),
      mistake("nor-as-nand", A, Op::nor, "nor written ~a | ~b (De Morgan the wrong way)", "nor's logic function",
              {"nor-as-or"}, [](const ImageShape&) { return register_result(Op::nor, [](U a, U b) { return ~(a & b); }); }),
      mistake("xor-as-xnor", A, Op::xor_, "xor's result taken from the inverted output of the xnor gate",
              "xor's logic function", {"xor-as-or"},
              [](const ImageShape&) { return register_result(Op::xor_, [](U a, U b) { return ~(a ^ b); }); }),
      mistake("addi-traps-on-carry", A, Op::addi, "addi's overflow flag wired to the adder's carry out",
              "overflow read off the carry out", {"add-traps-on-carry"},
              [](const ImageShape&) {
                return replace(Op::addi, [](Cpu& c, const Decoded& d) {
                  if ((uint64_t(rs(c, d)) + d.imm) >> 32) c.raise(sim::Cause::ArithmeticOverflow);
                  else c.set_reg(d.rt, rs(c, d) + d.imm);
                });
              }),
      mistake("sub-overflow-test-of-add", A, Op::sub,
              "sub shares add's overflow test (operand signs equal, result sign differs) without inverting b's sign",
              "overflow test wrong", {"add-traps-on-carry", "sub-never-traps"},
              [](const ImageShape&) {
                return replace(Op::sub, [](Cpu& c, const Decoded& d) {
                  const U a = rs(c, d), b = rt(c, d), r = a - b;
                  if ((~(a ^ b) & (a ^ r)) >> 31) c.raise(sim::Cause::ArithmeticOverflow);
                  else c.set_reg(d.rd, r);
                });
              }),
      mistake("addi-sign-from-bit14", A, Op::addi, "addi's immediate extended as {{17{imm[14]}}, imm[14:0]}",
              "addi's immediate extension", {"addi-zero-extends"},
              [](const ImageShape&) {
                return replace(Op::addi, [](Cpu& c, const Decoded& d) {
                  const F f = immediate_field(d);
                  sim::add_trapping(c, d.rt, rs(c, d), (f & 0x7FFFu) | (f & 0x4000 ? 0xFFFF8000u : 0));
                });
              }),
      mistake("addi-adds-rt-register", A, Op::addi,
              "the ALU's B-source select is inverted for addi: it adds the register named by rt",
              "ALU's second-operand select (register for immediate)", {},
              [](const ImageShape&) {
                return replace(Op::addi, [](Cpu& c, const Decoded& d) { sim::add_trapping(c, d.rt, rs(c, d), rt(c, d)); });
              }),
      mistake("andi-writes-rd-field", A, Op::andi,
              "the destination select picks rd (immediate bits 15..11) for andi", "destination register select", {},
              [](const ImageShape&) {
                return replace(Op::andi, [](Cpu& c, const Decoded& d) { c.set_reg((d.word >> 11) & 31, rs(c, d) & d.imm); });
              }),
      mistake("sra-amount-from-bits-11-7", S, Op::sra, "sra's amount taken from instr[11:7] instead of instr[10:6]",
              "shift amount bits misread", {"sll-one-too-far", "srav-ignores-bit4"},
              [](const ImageShape&) {
                return replace(Op::sra, [](Cpu& c, const Decoded& d) {
                  c.set_reg(d.rd, U(int32_t(rt(c, d)) >> ((d.word >> 7) & 31)));
                });
              }),
      mistake("srl-amount-bit4-lost", S, Op::srl, "srl's amount wire declared [3:0]", "shift amount bits misread",
              {"srav-ignores-bit4"},
              [](const ImageShape&) {
                return replace(Op::srl, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, rt(c, d) >> (d.sa() & 15)); });
              }),
      mistake("srlv-operands-swapped", S, Op::srlv, "srlv's shifter gets rs as the word and rt as the amount",
              "variable shift's operands swapped", {"sllv-operands-swapped"},
              [](const ImageShape&) {
                return replace(Op::srlv, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, rs(c, d) >> (rt(c, d) & 31)); });
              }),
      mistake("srav-zero-fills", S, Op::srav, "srav's operand is missing $signed, so >>> fills with zeros",
              "arithmetic shift loses the sign", {"sra-zero-fills"},
              [](const ImageShape&) {
                return replace(Op::srav, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, rt(c, d) >> (rs(c, d) & 31)); });
              }),
      mistake("sllv-shifts-right", S, Op::sllv, "the shifter's direction bit is funct[1] inverted: sllv shifts right",
              "shift direction select", {"sll-right-from-16"},
              [](const ImageShape&) {
                return replace(Op::sllv, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, rt(c, d) >> (rs(c, d) & 31)); });
              }),
      mistake("sll-amount-from-rs", S, Op::sll,
              "the amount select ignores funct[2]: sll shifts by the register named in its rs field (always $zero)",
              "shift amount from the wrong source", {"sll-one-too-far", "sll-right-from-16"},
              [](const ImageShape&) {
                return replace(Op::sll, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, rt(c, d) << (rs(c, d) & 31)); });
              }),
      mistake("sra-fills-with-bit30", S, Op::sra, "sra's fill bit wired to rt[30]", "arithmetic shift's fill bit",
              {"sra-zero-fills"},
              [](const ImageShape&) {
                return replace(Op::sra, [](Cpu& c, const Decoded& d) {
                  c.set_reg(d.rd, shifted_right_filling(rt(c, d), d.sa(), rt(c, d) >> 30 & 1));
                });
              }),
  };
}

}  // namespace r3k::evaluation
