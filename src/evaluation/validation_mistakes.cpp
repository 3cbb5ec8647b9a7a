// A second set of one-line Verilog mistakes, written after diagnose's
// ranking had been tuned on the first: a comparator or carry chain cut at one
// bit, an immediate routed through the wrong extender, a branch offset shifted
// by the wrong amount, a link written to the wrong place or with the wrong
// value, byte enables and merge selects tied off, a bypass or interlock lost
// for one instruction kind. The accepted answers were fixed before any of
// these ran through diagnose, so its figures on this set measure rules that
// were not shaped against them.
#include <bit>

#include "evaluation/evaluation_parts.h"
#include "faults/fault_kit.h"

namespace r3k::evaluation {

using namespace faults::kit;
using namespace part_kit;
using faults::FaultClass;
using faults::ImageShape;
using sim::Width;
using U = uint32_t;
using F = uint16_t;

namespace {

// The carry out of the low half of rs + ~rt + 1, which a subtractor built
// from two 16-bit halves must pass on.
U borrow_carry16(U a, U b) { return ((a & 0xFFFF) + (~b & 0xFFFF) + 1) >> 16; }

// A load of `width` at its own address whose value the write-back stage
// finishes with `finish(address, value)`.
template <class Finish>
Fault load_finished(Op op, Width width, Finish finish) {
  return replace(op, [=](Cpu& c, const Decoded& d) {
    const U address = address_of(c, d);
    U value;
    if (c.load(address, width, value)) c.set_reg(d.rt, finish(address, value));
  });
}

std::vector<EvaluationFault> datapath() {
  constexpr auto A = FaultClass::alu;
  constexpr auto S = FaultClass::shift;
  return {
      mistake("sltu-comparator-31-bits", A, Op::sltu, "sltu's comparator is declared [30:0]: bit 31 never compared",
              "sltu's comparison", {"sltu-signed"},
              [](const ImageShape&) {
                return register_result(Op::sltu, [](U a, U b) { return U((a & 0x7FFFFFFF) < (b & 0x7FFFFFFF)); });
              }),
      mistake("sltiu-comparator-16-bits", A, Op::sltiu,
              "sltiu shares the immediate path's 16-bit comparator: only rs[15:0] is compared",
              "sltiu's comparison", {"sltiu-signed", "sltiu-sign-of-difference"},
              [](const ImageShape&) { return immediate_result(Op::sltiu, [](U x, F f) { return U((x & 0xFFFF) < f); }); }),
      mistake("subu-carry16-lost", A, Op::subu,
              "the subtractor is two 16-bit halves and the upper half's carry-in is tied to 0",
              "the adder's carry chain broken at bit 16", {"addu-carry16-lost", "subu-no-plus-one"},
              [](const ImageShape&) {
                return register_result(Op::subu, [](U a, U b) { return a - b - (borrow_carry16(a, b) << 16); });
              }),
      mistake("andi-computes-or", A, Op::andi, "ALU control maps opcode 001100 to the or function",
              "andi's logic function", {"and-as-or"},
              [](const ImageShape&) { return immediate_result(Op::andi, [](U x, F f) { return x | f; }); }),
      mistake("xori-imm-in-upper-half", A, Op::xori, "xori's B input takes lui's {imm, 16'b0} path",
              "xori's immediate routing", {"xori-sign-extends"},
              [](const ImageShape&) { return immediate_result(Op::xori, [](U x, F f) { return x ^ U(f) << 16; }); }),
      mistake("add-overflow-from-carry-in-31", A, Op::add,
              "add's overflow flag is the carry into bit 31 alone (the xor with the carry out left off)",
              "overflow test wrong", {"add-traps-on-carry", "add-never-traps"},
              [](const ImageShape&) {
                return replace(Op::add, [](Cpu& c, const Decoded& d) {
                  const U a = rs(c, d), b = rt(c, d);
                  if (((a & 0x7FFFFFFF) + (b & 0x7FFFFFFF)) >> 31) c.raise(sim::Cause::ArithmeticOverflow);
                  else c.set_reg(d.rd, a + b);
                });
              }),
      mistake("sll-amount-bit0-stuck", S, Op::sll, "sll's barrel shifter's 1-bit stage is never enabled",
              "shift amount bits misread", {"sll-one-too-far", "srav-ignores-bit4"},
              [](const ImageShape&) {
                return replace(Op::sll, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, rt(c, d) << (d.sa() & 30)); });
              }),
      mistake("srlv-rotates", S, Op::srlv, "srlv's shifter feeds the bits it shifts out back in at the top",
              "logical shift's fill", {"srlv-sign-fills", "srl-sign-fills"},
              [](const ImageShape&) {
                return register_result(Op::srlv, [](U amount, U word) { return std::rotr(word, int(amount & 31)); });
              }),
  };
}

std::vector<EvaluationFault> control() {
  constexpr auto D = FaultClass::branch_decision;
  constexpr auto T = FaultClass::branch_target;
  constexpr auto L = FaultClass::link;
  constexpr auto S = FaultClass::delay_slot;
  return {
      mistake("beq-comparator-31-bits", D, Op::beq, "beq's equality compare reads rs[30:0] == rt[30:0]",
              "beq compares the wrong bits", {"beq-low16-only", "bne-low16-only"},
              [](const ImageShape&) {
                return replace(Op::beq, [](Cpu& c, const Decoded& d) { branch_if(c, d, !((rs(c, d) ^ rt(c, d)) << 1)); });
              }),
      mistake("bltzal-branches-as-bgezal", D, Op::bltzal,
              "the REGIMM sign test ignores rt[0] for the linking forms: bltzal branches on rs >= 0",
              "bltzal's decision", {"bltzal-never-taken", "bltzal-always-taken"},
              [](const ImageShape&) {
                return replace(Op::bltzal, [](Cpu& c, const Decoded& d) {
                  const bool taken = rs_signed(c, d) >= 0;
                  c.set_reg(isa::ra, c.link_address());
                  branch_if(c, d, taken);
                });
              }),
      mistake("bgtz-offset-shifted-by-one", T, Op::bgtz, "bgtz's target adder gets {imm, 1'b0} instead of {imm, 2'b00}",
              "branch offset shifted by the wrong amount", {"bgtz-offset-not-shifted"},
              [](const ImageShape&) {
                return replace(Op::bgtz, [](Cpu& c, const Decoded& d) {
                  if (rs_signed(c, d) > 0) c.branch(c.pc + 4 + (offset_bytes(d) << 1));
                });
              }),
      mistake("jalr-target-one-word-late", T, Op::jalr, "jalr's target is taken after the fetch adder's +4",
              "jump register's target off by a word", {},
              [](const ImageShape&) {
                return replace(Op::jalr, [](Cpu& c, const Decoded& d) {
                  const U target = rs(c, d) + 4;
                  c.set_reg(d.rd, c.link_address());
                  c.branch(target);
                });
              }),
      mistake("jal-links-into-rd-field", L, Op::jal,
              "the link destination mux selects instr[15:11] for jal as it does for jalr",
              "link's destination register", {"jalr-links-into-ra", "jalr-link-into-target"},
              [](const ImageShape&) {
                return replace(Op::jal, [](Cpu& c, const Decoded& d) {
                  c.set_reg((d.word >> 11) & 31, c.link_address());
                  c.branch(d.target);
                });
              }),
      mistake("bgezal-links-own-address", L, Op::bgezal, "bgezal's link is the ID stage's pc, not pc + 8",
              "link value off", {"jal-link-own-address", "jalr-link-own-address"},
              [](const ImageShape&) {
                return replace(Op::bgezal, [](Cpu& c, const Decoded& d) {
                  const bool taken = rs_signed(c, d) >= 0;
                  c.set_reg(isa::ra, c.pc);
                  branch_if(c, d, taken);
                });
              }),
      mistake("bltz-links", L, Op::bltz, "the link write enable decodes the REGIMM opcode alone: bltz writes $31",
              "REGIMM link write enable", {"bltzal-link-only-taken", "bgezal-link-only-taken"},
              [](const ImageShape&) {
                return replace(Op::bltz, [](Cpu& c, const Decoded& d) {
                  const bool taken = rs_signed(c, d) < 0;
                  c.set_reg(isa::ra, c.link_address());
                  branch_if(c, d, taken);
                });
              }),
      mistake("bltz-flushes-slot", S, Op::bltz, "the fetch flush fires on every bltz, taken or not",
              "bltz squashes its delay slot", {"bltz-slot-skipped-taken", "bltz-slot-skipped-not-taken"},
              [](const ImageShape&) { return disturb(Op::bltz, PipelineEffect::skip_slot_always); }),
      mistake("bgezal-flushes-slot", S, Op::bgezal, "the link write-back of bgezal raises the fetch flush",
              "bgezal squashes its delay slot", {"bgezal-slot-skipped-taken", "bgezal-slot-skipped-not-taken"},
              [](const ImageShape&) { return disturb(Op::bgezal, PipelineEffect::skip_slot_always); }),
  };
}

std::vector<EvaluationFault> memory() {
  constexpr auto L = FaultClass::load_store_lane;
  constexpr auto M = FaultClass::unaligned_merge;
  return {
      mistake("lhu-sign-extends-upper-half", L, Op::lhu,
              "the extension select is {opcode[2] ^ addr[1]}: lhu sign-extends the upper halfword",
              "lhu's extension", {"lhu-sign-extends"},
              [](const ImageShape&) {
                return load_finished(Op::lhu, Width::half,
                                     [](U address, U half) { return address & 2 ? sim::sign_extend_half(half) : half; });
              }),
      mistake("lb-lane-from-bits-2-1", L, Op::lb, "lb's byte mux select is addr[2:1]", "byte lane select",
              {"lb-big-endian-lanes"},
              [](const ImageShape&) {
                return replace(Op::lb, [](Cpu& c, const Decoded& d) {
                  const U address = address_of(c, d);
                  U byte;
                  if (c.load((address & ~3u) | (address >> 1 & 3), Width::byte, byte))
                    c.set_reg(d.rt, sim::sign_extend_byte(byte));
                });
              }),
      mistake("sb-enables-halfword", L, Op::sb, "sb's byte enables decode addr[1] only: two lanes get the byte",
              "store byte enables", {"sb-whole-word"},
              [](const ImageShape&) {
                return replace(Op::sb, [](Cpu& c, const Decoded& d) {
                  const U byte = rt(c, d) & 0xFF;
                  c.store(address_of(c, d) & ~1u, Width::half, byte | byte << 8);
                });
              }),
      mistake("sb-lane-bit1-lost", L, Op::sb, "sb's lane decoder reads {1'b0, addr[0]}", "store byte lane select",
              {"sb-big-endian-lanes"},
              [](const ImageShape&) {
                return replace(Op::sb, [](Cpu& c, const Decoded& d) {
                  c.store(address_of(c, d) & ~2u, Width::byte, rt(c, d));
                });
              }),
      mistake("sh-stores-base", L, Op::sh, "sh's store data mux selects the rs read port", "store data source", {},
              [](const ImageShape&) {
                return replace(Op::sh, [](Cpu& c, const Decoded& d) { c.store(address_of(c, d), Width::half, rs(c, d)); });
              }),
      mistake("swr-merge-select-stuck", M, Op::swr, "swr's merge select is tied to 2'b00: it stores the whole word",
              "unaligned merge lane", {"swr-lane-off-by-one", "swr-big-endian-merge"},
              [](const ImageShape&) {
                return replace(Op::swr, [](Cpu& c, const Decoded& d) {
                  const U address = address_of(c, d);
                  U word;
                  if (c.load(address, Width::partial_word, word))
                    c.store(address, Width::partial_word, sim::merge_swr(word, rt(c, d), 0));
                });
              }),
      mistake("lwl-drops-kept-bytes", M, Op::lwl, "lwl's merge mux takes 0 for the bytes it should keep from rt",
              "unaligned merge", {"lwl-lane-off-by-one", "lwl-big-endian-merge"},
              [](const ImageShape&) {
                return load_finished(Op::lwl, Width::partial_word,
                                     [](U address, U word) { return sim::merge_lwl(0, word, address & 3); });
              }),
  };
}

std::vector<EvaluationFault> pipeline() {
  constexpr auto P = FaultClass::forwarding;
  constexpr auto late = PipelineEffect::late_result;
  constexpr auto late_hi_lo = PipelineEffect::late_hi_lo;
  constexpr auto stale_rs = PipelineEffect::stale_rs;
  constexpr auto stale_rt = PipelineEffect::stale_rt;
  return {
      mistake("lb-stall-one-short", P, Op::lb,
              "lb's sign extension adds a stage the load-use stall does not cover: two instructions read the old value",
              "load-use interlock too short", {"lb-load-use-stale", "load-use-stale"}, make_disturbed<Op::lb, late, 2>),
      mistake("mflo-result-not-forwarded", P, Op::mflo, "mflo's value joins the result mux after the bypass tap",
              "HI/LO move result not on the bypass", {}, make_disturbed<Op::mflo, late>),
      mistake("srav-result-not-forwarded", P, Op::srav,
              "the shifter's arithmetic-right output joins the result mux after the bypass tap",
              "shifter's result not on the bypass", {"sra-result-late", "sll-result-late"}, make_disturbed<Op::srav, late>),
      mistake("bltz-operand-not-forwarded", P, Op::bltz, "bltz's sign test reads rs from the register file only",
              "branch comparator's operand not forwarded", {"beq-rs-stale", "bne-rs-stale", "rs-bypass-1-lost"},
              make_disturbed<Op::bltz, stale_rs>),
      mistake("mult-rs-not-forwarded", P, Op::mult, "the multiplier's A input is latched from the register file",
              "rs bypass lost for one instruction kind", {"subu-rs-stale", "rs-bypass-1-lost"},
              make_disturbed<Op::mult, stale_rs>),
      mistake("mthi-interlock-two-short", P, Op::mthi, "HI's write port is two stages behind the mfhi interlock's view",
              "HI/LO write lands late", {"mthi-late"}, make_disturbed<Op::mthi, late_hi_lo, 2>),
      mistake("swl-data-not-forwarded", P, Op::swl, "swl's merge unit takes rt from the ID/EX register",
              "store data not forwarded", {"sw-data-stale", "rt-bypass-1-lost"}, make_disturbed<Op::swl, stale_rt>),
      mistake("lbu-base-not-forwarded", P, Op::lbu, "the address adder's base input skips the bypass mux for lbu",
              "load base not forwarded", {"load-base-stale-after-load", "rs-bypass-1-lost"},
              make_disturbed<Op::lbu, stale_rs>),
  };
}

}  // namespace

std::vector<EvaluationFault> validation_mistakes() {
  return joined({datapath, control, memory, pipeline});
}

}  // namespace r3k::evaluation
