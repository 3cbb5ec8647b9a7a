// ALU, shift and lui faults.
#include "faults/catalog_parts.h"
#include "faults/fault_kit.h"

namespace r3k::faults {

using namespace kit;
using U = uint32_t;
using F = uint16_t;

namespace {

U sign_extended(F field) { return sim::sign_extend_half(field); }
U arithmetic_right(U word, unsigned amount) { return U(int32_t(word) >> amount); }

// The comparison read off bit 31 of the difference: right unless the
// subtraction overflows.
U less_by_difference(U x, U y) { return (x - y) >> 31; }

// A variable shift that takes its amount from all 32 bits of $rs.
Fault shift_by_whole_register(Op op) {
  return replace(op, [op](Cpu& c, const Decoded& d) {
    const U amount = rs(c, d), word = rt(c, d);
    if (amount >= 32) c.set_reg(d.rd, op == Op::srav && int32_t(word) < 0 ? 0xFFFFFFFF : 0);
    else if (op == Op::sllv) c.set_reg(d.rd, word << amount);
    else if (op == Op::srlv) c.set_reg(d.rd, word >> amount);
    else c.set_reg(d.rd, arithmetic_right(word, amount));
  });
}

constexpr std::string_view kAmountsBelow32 = "every amount register of the image holds 0 to 31";

}  // namespace

// addu, or, addiu and ori also build the image's constants, addresses and
// display words, so their faults that fail only their own routine strike
// operands the rest of the image does not produce; the plain forms follow.
std::vector<CatalogFault> alu_and_shift_faults() {
  constexpr auto A = FaultClass::alu;
  constexpr auto S = FaultClass::shift;
  return {
      {"addu-carry16-lost", A, Op::addu, "addu drops the carry into bit 16 when both operands have bit 15 set",
       fails({2}), "", [](const ImageShape&) {
         return register_result(Op::addu, [](U a, U b) { return a + b - (a & b & 0x8000 ? 0x10000 : 0); });
       }},
      {"addu-keeps-carry", A, Op::addu, "addu adds the carry out of the previous addu (a carry flag never cleared)",
       exception_loop({2}, "n2 fails; a later long-form address is misaligned and traps in n6"), "",
       [](const ImageShape&) {
         return replace(Op::addu, [carry = U(0)](Cpu& c, const Decoded& d) mutable {
           const uint64_t sum = uint64_t(rs(c, d)) + rt(c, d) + carry;
           carry = U(sum >> 32);
           c.set_reg(d.rd, U(sum));
         });
       }},
      {"or-as-xor", A, Op::or_, "or computes xor (the frame's or has disjoint operands)", fails({7}), "",
       [](const ImageShape&) { return register_result(Op::or_, [](U a, U b) { return a ^ b; }); }},
      {"slt-unsigned", A, Op::slt, "slt compares unsigned", fails({8}), "",
       [](const ImageShape&) { return register_result(Op::slt, [](U a, U b) { return U(a < b); }); }},
      {"slt-sign-of-difference", A, Op::slt, "slt reads bit 31 of rs - rt (wrong when the subtraction overflows)",
       fails({8}), "", [](const ImageShape&) { return register_result(Op::slt, less_by_difference); }},
      {"add-as-sub", A, Op::add, "add subtracts", fails({21}), "",
       [](const ImageShape&) { return register_result(Op::add, [](U a, U b) { return a - b; }); }},
      {"add-traps-on-carry", A, Op::add, "add's overflow test reads the carry out of bit 31",
       exception_loop({}, "overflow trap in n21 on the first case that carries", 21), "",
       [](const ImageShape&) {
         return replace(Op::add, [](Cpu& c, const Decoded& d) {
           if ((uint64_t(rs(c, d)) + rt(c, d)) >> 32) c.raise(sim::Cause::ArithmeticOverflow);
           else c.set_reg(d.rd, rs(c, d) + rt(c, d));
         });
       }},
      {"add-never-traps", A, Op::add, "add wraps on overflow instead of trapping",
       unseen("no case of the image overflows, so a trap is never due"), "",
       [](const ImageShape&) { return register_result(Op::add, [](U a, U b) { return a + b; }); }},
      {"sub-reversed", A, Op::sub, "sub computes rt - rs", fails({23}), "",
       [](const ImageShape&) { return register_result(Op::sub, [](U a, U b) { return b - a; }); }},
      {"sub-never-traps", A, Op::sub, "sub wraps on overflow instead of trapping",
       unseen("no case of the image overflows, so a trap is never due"), "",
       [](const ImageShape&) { return register_result(Op::sub, [](U a, U b) { return a - b; }); }},
      {"subu-no-plus-one", A, Op::subu, "subu forgets the +1 of the two's complement", fails({24}), "",
       [](const ImageShape&) { return register_result(Op::subu, [](U a, U b) { return a + ~b; }); }},
      {"sltu-signed", A, Op::sltu, "sltu compares signed", fails({25}), "",
       [](const ImageShape&) { return register_result(Op::sltu, [](U a, U b) { return U(int32_t(a) < int32_t(b)); }); }},
      {"and-as-or", A, Op::and_, "and computes or", fails({26}), "",
       [](const ImageShape&) { return register_result(Op::and_, [](U a, U b) { return a | b; }); }},
      {"nor-as-or", A, Op::nor, "nor forgets to invert (computes or)", fails({28}), "",
       [](const ImageShape&) { return register_result(Op::nor, [](U a, U b) { return a | b; }); }},
      {"xor-as-or", A, Op::xor_, "xor computes or", fails({30}), "",
       [](const ImageShape&) { return register_result(Op::xor_, [](U a, U b) { return a | b; }); }},
      {"addiu-zero-extends-some", A, Op::addiu,
       "addiu zero-extends its immediate when $rs is non-negative with bit 15 set", fails({3}), "",
       [](const ImageShape&) {
         return immediate_result(Op::addiu, [](U x, F f) { return x + ((x & 0x80008000) == 0x8000 ? f : sign_extended(f)); });
       }},
      {"addiu-zero-extends", A, Op::addiu, "addiu zero-extends its immediate",
       exception_loop({}, "bus error in the start code, whose address loads use addiu", 1), "the start code's address loads",
       [](const ImageShape&) { return immediate_result(Op::addiu, [](U x, F f) { return x + f; }); }},
      {"slti-zero-extends", A, Op::slti, "slti zero-extends its immediate", fails({9}), "",
       [](const ImageShape&) { return immediate_result(Op::slti, [](U x, F f) { return U(int32_t(x) < int32_t(f)); }); }},
      {"slti-sign-of-difference", A, Op::slti, "slti reads bit 31 of rs - immediate (wrong when it overflows)",
       unseen("no slti operand of the image lies near the overflow boundary"), "",
       [](const ImageShape&) {
         return immediate_result(Op::slti, [](U x, F f) { return less_by_difference(x, sign_extended(f)); });
       }},
      {"sltiu-sign-of-difference", A, Op::sltiu, "sltiu reads bit 31 of rs - immediate (wrong when it overflows)",
       fails({10}), "", [](const ImageShape&) {
         return immediate_result(Op::sltiu, [](U x, F f) { return less_by_difference(x, sign_extended(f)); });
       }},
      {"sltiu-signed", A, Op::sltiu, "sltiu compares signed", fails({10}), "",
       [](const ImageShape&) {
         return immediate_result(Op::sltiu, [](U x, F f) { return U(int32_t(x) < int32_t(sign_extended(f))); });
       }},
      {"addi-zero-extends", A, Op::addi, "addi zero-extends its immediate", fails({22}), "",
       [](const ImageShape&) { return immediate_result(Op::addi, [](U x, F f) { return x + f; }); }},
      {"andi-sign-extends", A, Op::andi, "andi sign-extends its immediate", fails({27}), "",
       [](const ImageShape&) { return immediate_result(Op::andi, [](U x, F f) { return x & sign_extended(f); }); }},
      {"ori-sign-extends-some", A, Op::ori, "ori sign-extends its immediate when the low half of $rs is not zero",
       fails({29}), "", [](const ImageShape&) {
         return immediate_result(Op::ori, [](U x, F f) { return x | (x & 0xFFFF ? sign_extended(f) : f); });
       }},
      {"ori-sign-extends", A, Op::ori, "ori sign-extends its immediate",
       exception_loop({2, 3}, "n2 and n3 fail on sign-extended constants; RAM addresses break in n6", 6), "li (lui + ori)",
       [](const ImageShape&) { return immediate_result(Op::ori, [](U x, F f) { return x | sign_extended(f); }); }},
      {"xori-sign-extends", A, Op::xori, "xori sign-extends its immediate", fails({31}), "",
       [](const ImageShape&) { return immediate_result(Op::xori, [](U x, F f) { return x ^ sign_extended(f); }); }},
      {"lui-sign-fills-low-half", A, Op::lui, "lui fills the low half with copies of bit 15 of the immediate",
       exception_loop({2, 3}, "n1 builds its expected values with lui too and cancels the fault; RAM addresses break in n6",
                      6),
       "", [](const ImageShape&) {
         return replace(Op::lui, [](Cpu& c, const Decoded& d) {
           const F f = immediate_field(d);
           c.set_reg(d.rt, U(f) << 16 | (f & 0x8000 ? 0xFFFF : 0));
         });
       }},
      {"sra-zero-fills", S, Op::sra, "sra fills with zeros", fails({33}), "",
       [](const ImageShape&) {
         return replace(Op::sra, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, rt(c, d) >> d.sa()); });
       }},
      {"srav-ignores-bit4", S, Op::srav, "srav ignores bit 4 of the amount", fails({34}), "",
       [](const ImageShape&) {
         return replace(Op::srav, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, arithmetic_right(rt(c, d), rs(c, d) & 15)); });
       }},
      {"srav-reads-all-of-rs", S, Op::srav, "srav takes the amount from all 32 bits of $rs (saturating at 31)",
       unseen(kAmountsBelow32), "", [](const ImageShape&) {
         return replace(Op::srav, [](Cpu& c, const Decoded& d) {
           const U amount = rs(c, d);
           c.set_reg(d.rd, arithmetic_right(rt(c, d), amount > 31 ? 31 : amount));
         });
       }},
      {"sllv-reads-all-of-rs", S, Op::sllv, "sllv takes the amount from all 32 bits of $rs (0 from 32 on)",
       unseen(kAmountsBelow32), "", [](const ImageShape&) { return shift_by_whole_register(Op::sllv); }},
      {"srlv-reads-all-of-rs", S, Op::srlv, "srlv takes the amount from all 32 bits of $rs (0 from 32 on)",
       unseen(kAmountsBelow32), "", [](const ImageShape&) { return shift_by_whole_register(Op::srlv); }},
      {"srl-sign-fills", S, Op::srl, "srl fills with copies of bit 31", fails({35}), "",
       [](const ImageShape&) {
         return replace(Op::srl, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, arithmetic_right(rt(c, d), d.sa())); });
       }},
      {"sllv-operands-swapped", S, Op::sllv, "sllv takes the amount from $rt and the word from $rs", fails({32}), "",
       [](const ImageShape&) {
         return replace(Op::sllv, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, rs(c, d) << (rt(c, d) & 31)); });
       }},
      {"srlv-sign-fills", S, Op::srlv, "srlv fills with copies of bit 31", fails({36}), "",
       [](const ImageShape&) {
         return replace(Op::srlv, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, arithmetic_right(rt(c, d), rs(c, d) & 31)); });
       }},
      // The frame forms every display word with sll: the test numbers read
      // wrong, the pass counts stay right.
      {"sll-one-too-far", S, Op::sll, "sll shifts by one more than its amount", fails({11}),
       "the display words' test numbers read wrong too (the frame forms them with sll)", [](const ImageShape&) {
         return replace(Op::sll, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, d.sa() == 31 ? 0 : rt(c, d) << (d.sa() + 1)); });
       }},
      {"sll-right-from-16", S, Op::sll, "sll shifts right for amounts of 16 and more", fails({11}),
       "the display words' test numbers read wrong too (the frame forms them with sll)", [](const ImageShape&) {
         return replace(Op::sll, [](Cpu& c, const Decoded& d) {
           c.set_reg(d.rd, d.sa() >= 16 ? rt(c, d) >> d.sa() : rt(c, d) << d.sa());
         });
       }},
  };
}

}  // namespace r3k::faults
