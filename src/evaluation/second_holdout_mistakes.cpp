// A fourth set of one-line Verilog mistakes, written after the ranking had
// been tuned on the three others and never used to tune it. They come from
// the places a five-stage pipeline's Verilog goes wrong that the other sets
// leave alone: an extender's fill tied high, a signed compare that flips one
// sign bit, a shifter stage wired with the wrong distance, a fill bit taken
// from the other operand, a multiplier's carry between partial products or a
// divider's remainder fix-up left out, a byte load's keep mask or zero mask
// lost, an unaligned store's enables shifted the wrong way, a branch test
// reading the wrong port, a link bit or destination wired wrong, a bypass
// lost for one more operand. The accepted answers were fixed from the catalog
// and each mistake's mechanism alone, before any of these ran through diagnose.
#include "evaluation/evaluation_parts.h"
#include "faults/fault_kit.h"

namespace r3k::evaluation {

using namespace faults::kit;
using namespace part_kit;
using faults::FaultClass;
using faults::ImageShape;
using sim::HiLo;
using sim::Width;
using U = uint32_t;
using F = uint16_t;

namespace {

// A 32x32 multiplier built from two 16x32 partial products whose low-word
// sum does not pass its carry on to HI.
HiLo product_without_low_carry(U a, U b) {
  const uint64_t low = uint64_t(a & 0xFFFF) * b, high = uint64_t(a >> 16) * b;
  const uint64_t carry = ((low & 0xFFFFFFFF) + ((high & 0xFFFF) << 16)) >> 32;
  HiLo product = sim::multiply_unsigned(a, b);
  product.hi -= U(carry);
  return product;
}

// A sign-magnitude divider that negates the quotient but never the remainder.
HiLo remainder_left_positive(U dividend, U divisor) {
  HiLo result = sim::divide_signed(dividend, divisor);
  if (divisor != 0 && int32_t(result.hi) < 0) result.hi = 0u - result.hi;
  return result;
}

// `word` with the bytes under `write_mask` taken from `value`.
U merged(U word, U value, U write_mask) { return (word & ~write_mask) | (value & write_mask); }

// An unaligned store computing its new word from the old one.
template <class NewWord>
Fault unaligned_store(Op op, NewWord new_word) {
  return replace(op, [=](Cpu& c, const Decoded& d) {
    const U address = address_of(c, d);
    U word;
    if (c.load(address, Width::partial_word, word))
      c.store(address, Width::partial_word, new_word(word, rt(c, d), address & 3));
  });
}

std::vector<EvaluationFault> datapath() {
  constexpr auto A = FaultClass::alu;
  constexpr auto S = FaultClass::shift;
  constexpr auto M = FaultClass::multiply_divide;
  constexpr auto H = FaultClass::hi_lo;
  return {
      mistake("andi-fill-tied-high", A, Op::andi, "andi's zero extender has its fill input tied to 1: {16'hFFFF, imm}",
              "andi's immediate extension", {"andi-sign-extends"},
              [](const ImageShape&) { return immediate_result(Op::andi, [](U x, F f) { return x & (0xFFFF0000u | f); }); }),
      mistake("slt-flips-rs-sign-only", A, Op::slt,
              "slt's signed compare is an unsigned compare of {~rs[31], rs[30:0]} with rt: rt's sign bit is not flipped",
              "slt's signed comparison", {"slt-unsigned", "slt-sign-of-difference"},
              [](const ImageShape&) { return register_result(Op::slt, [](U a, U b) { return U((a ^ 0x80000000u) < b); }); }),
      mistake("subu-operands-swapped", A, Op::subu, "the subtractor's inputs are wired rt - rs for subu",
              "subtractor's operands swapped", {"sub-reversed"},
              [](const ImageShape&) { return register_result(Op::subu, [](U a, U b) { return b - a; }); }),
      mistake("xor-decoded-as-and", A, Op::xor_, "the logic unit's select ignores funct[1]: xor (100110) takes the and",
              "xor's logic function", {"xor-as-or"},
              [](const ImageShape&) { return register_result(Op::xor_, [](U a, U b) { return a & b; }); }),
      mistake("sllv-16-stage-shifts-8", S, Op::sllv, "sllv's barrel shifter's 16-bit stage is wired as a second 8-bit stage",
              "shift amount bits misread", {"srav-ignores-bit4", "sll-one-too-far"},
              [](const ImageShape&) {
                return register_result(Op::sllv, [](U amount, U word) {
                  return word << ((amount & 15) + (amount & 16 ? 8 : 0));
                });
              }),
      mistake("srav-fill-from-rs-sign", S, Op::srav, "srav's fill bit is wired to rs[31] (the amount register) for rt[31]",
              "arithmetic shift's fill bit", {"sra-zero-fills"},
              [](const ImageShape&) {
                return register_result(Op::srav, [](U amount, U word) {
                  return shifted_right_filling(word, amount & 31, amount >> 31);
                });
              }),
      mistake("multu-low-carry-lost", M, Op::multu,
              "the multiplier's low-word adder of its two partial products has its carry out left unconnected",
              "multiplier's carry into HI", {},
              [](const ImageShape&) { return hi_lo_result(Op::multu, product_without_low_carry); }),
      mistake("div-remainder-sign-not-fixed", M, Op::div,
              "div's sign fix-up negates the quotient but the remainder's negate is never enabled",
              "div's signed correction of the remainder", {"div-remainder-divisor-sign", "div-unsigned"},
              [](const ImageShape&) { return hi_lo_result(Op::div, remainder_left_positive); }),
      mistake("mflo-dest-from-rt-field", H, Op::mflo, "the destination select takes instr[20:16] for mflo: it writes $zero",
              "HI/LO move's destination register", {},
              [](const ImageShape&) { return replace(Op::mflo, [](Cpu& c, const Decoded& d) { c.set_reg(d.rt, c.lo); }); }),
  };
}

std::vector<EvaluationFault> control() {
  constexpr auto D = FaultClass::branch_decision;
  constexpr auto T = FaultClass::branch_target;
  constexpr auto L = FaultClass::link;
  constexpr auto S = FaultClass::delay_slot;
  return {
      mistake("bgtz-sign-from-bit15", D, Op::bgtz, "bgtz's sign test reads rs[15]: taken on |rs & ~rs[15]",
              "bgtz's decision", {"bgtz-zero-positive"},
              [](const ImageShape&) {
                return replace(Op::bgtz, [](Cpu& c, const Decoded& d) {
                  branch_if(c, d, rs(c, d) != 0 && !(rs(c, d) & 0x8000));
                });
              }),
      mistake("bltzal-taken-on-zero", D, Op::bltzal, "bltzal's condition mux selects blez's rs <= 0 output",
              "sign branch's zero boundary", {"bltz-zero-negative", "bltzal-always-taken", "bltzal-never-taken"},
              [](const ImageShape&) {
                return replace(Op::bltzal, [](Cpu& c, const Decoded& d) {
                  const bool taken = rs_signed(c, d) <= 0;
                  c.set_reg(isa::ra, c.link_address());
                  branch_if(c, d, taken);
                });
              }),
      mistake("bgez-tests-rt-port", D, Op::bgez,
              "the REGIMM sign test reads the rt read port, which bgez's rt field (1) points at $at",
              "bgez's comparator input", {"bgez-zero-negative"},
              [](const ImageShape&) {
                return replace(Op::bgez, [](Cpu& c, const Decoded& d) {
                  branch_if(c, d, int32_t(c.reg((d.word >> 16) & 31)) >= 0);
                });
              }),
      mistake("bne-target-from-rs", T, Op::bne, "bne's target adder's base mux selects the rs read port, not pc + 4",
              "branch target adder's base", {},
              [](const ImageShape&) {
                return replace(Op::bne, [](Cpu& c, const Decoded& d) {
                  if (rs(c, d) != rt(c, d)) c.branch(rs(c, d) + (offset_bytes(d) << 2));
                });
              }),
      mistake("jalr-target-from-rd-port", T, Op::jalr, "jalr's jump register is read through the port addressed by instr[15:11]",
              "jump register's target source", {},
              [](const ImageShape&) {
                return replace(Op::jalr, [](Cpu& c, const Decoded& d) {
                  const U target = c.reg(d.rd);
                  c.set_reg(d.rd, c.link_address());
                  c.branch(target);
                });
              }),
      mistake("bgezal-links-into-rs", L, Op::bgezal,
              "the destination select's link input is instr[25:21] for the REGIMM links: bgezal writes its link over rs",
              "link's destination register", {"jalr-link-into-target", "jalr-links-into-ra"},
              [](const ImageShape&) {
                return replace(Op::bgezal, [](Cpu& c, const Decoded& d) {
                  const bool taken = rs_signed(c, d) >= 0;
                  c.set_reg(d.rs, c.link_address());
                  branch_if(c, d, taken);
                });
              }),
      mistake("bltzal-link-bit3-lost", L, Op::bltzal, "bltzal's link bus has bit 3 left unconnected (reads 0)",
              "link value off", {"jal-link-own-address", "jalr-link-own-address"},
              [](const ImageShape&) {
                return replace(Op::bltzal, [](Cpu& c, const Decoded& d) {
                  sim::execute_normal(c, d);
                  c.set_reg(isa::ra, c.link_address() & ~8u);
                });
              }),
      mistake("bgez-flushes-slot-on-zero", S, Op::bgez,
              "the fetch flush is driven by the comparator's rs == 0 output: a bgez on zero squashes its slot",
              "bgez squashes its delay slot", {"bgez-slot-skipped-taken"},
              [](const ImageShape&) {
                return replace(Op::bgez, [](Cpu& c, const Decoded& d) {
                  branch_if(c, d, rs_signed(c, d) >= 0);
                  if (rs(c, d) == 0) flush_slot(c);
                });
              }),
  };
}

std::vector<EvaluationFault> memory() {
  constexpr auto L = FaultClass::load_store_lane;
  constexpr auto M = FaultClass::unaligned_merge;
  return {
      mistake("lh-upper-byte-from-own-lane", L, Op::lh,
              "lh's upper-byte mux select is addr[1:0], not addr[1:0] + 1: both bytes are the addressed one",
              "halfword's byte lanes", {"lh-other-halfword"},
              [](const ImageShape&) {
                return replace(Op::lh, [](Cpu& c, const Decoded& d) {
                  U half;
                  if (c.load(address_of(c, d), Width::half, half))
                    c.set_reg(d.rt, sim::sign_extend_half((half & 0xFF) * 0x101));
                });
              }),
      mistake("lb-keeps-rt-upper-bytes", L, Op::lb,
              "lb's register write goes through the merge path with the keep mask of a one-byte lwr: rt[31:8] stays",
              "lb's extension", {"lb-zero-extends"},
              [](const ImageShape&) {
                return replace(Op::lb, [](Cpu& c, const Decoded& d) {
                  U byte;
                  if (c.load(address_of(c, d), Width::byte, byte)) c.set_reg(d.rt, (rt(c, d) & 0xFFFFFF00u) | byte);
                });
              }),
      mistake("lbu-zero-mask-lost", L, Op::lbu, "lbu's result is the lane-shifted word without the & 8'hFF",
              "lbu's zero extension", {"lbu-sign-extends"},
              [](const ImageShape&) {
                return replace(Op::lbu, [](Cpu& c, const Decoded& d) {
                  const U address = address_of(c, d);
                  U byte, word;
                  if (c.load(address, Width::byte, byte) && c.load(address & ~3u, Width::word, word))
                    c.set_reg(d.rt, word >> 8 * (address & 3));
                });
              }),
      mistake("sb-enable-next-lane", L, Op::sb, "sb's byte-enable decoder is fed addr[1:0] + 1",
              "store byte enable of the wrong lane", {"sb-big-endian-lanes"},
              [](const ImageShape&) {
                return replace(Op::sb, [](Cpu& c, const Decoded& d) {
                  const U address = address_of(c, d);
                  c.store((address & ~3u) | ((address + 1) & 3), Width::byte, rt(c, d));
                });
              }),
      mistake("lwl-lane-from-bit0", M, Op::lwl, "lwl's merge select is {1'b0, addr[0]}", "unaligned merge lane",
              {"lwl-lane-off-by-one", "lwl-big-endian-merge"},
              [](const ImageShape&) {
                return replace(Op::lwl, [](Cpu& c, const Decoded& d) {
                  const U address = address_of(c, d);
                  U word;
                  if (c.load(address, Width::partial_word, word))
                    c.set_reg(d.rt, sim::merge_lwl(rt(c, d), word, address & 1));
                });
              }),
      mistake("swr-enables-shifted-right", M, Op::swr,
              "swr's byte enables are 4'b1111 >> addr[1:0] (the shift written the wrong way) over data rt << 8*addr",
              "unaligned merge lane", {"swr-lane-off-by-one", "swr-big-endian-merge"},
              [](const ImageShape&) {
                return unaligned_store(Op::swr, [](U word, U value, unsigned lane) {
                  return merged(word, value << 8 * lane, 0xFFFFFFFFu >> 8 * lane);
                });
              }),
      mistake("swl-data-not-shifted", M, Op::swl, "swl's write bus is rt unshifted: its low bytes land in the enabled lanes",
              "unaligned merge data not moved to its lane", {"swl-lane-off-by-one", "swl-big-endian-merge"},
              [](const ImageShape&) {
                return unaligned_store(Op::swl, [](U word, U value, unsigned lane) {
                  return merged(word, value, 0xFFFFFFFFu >> 8 * (3 - lane));
                });
              }),
  };
}

std::vector<EvaluationFault> pipeline() {
  constexpr auto P = FaultClass::forwarding;
  constexpr auto late = PipelineEffect::late_result;
  constexpr auto stale_rs = PipelineEffect::stale_rs;
  constexpr auto stale_rt = PipelineEffect::stale_rt;
  return {
      mistake("addi-result-not-forwarded", P, Op::addi,
              "the trapping adder's result is gated by the overflow check after the bypass tap",
              "adder's result not on the bypass", {}, make_disturbed<Op::addi, late>),
      mistake("lwr-stall-one-short", P, Op::lwr,
              "lwr's merge with the old rt adds a stage the load-use stall does not cover: two instructions read the old value",
              "load-use interlock too short", {"lwr-load-use-stale", "load-use-stale"}, make_disturbed<Op::lwr, late, 2>),
      mistake("srlv-amount-not-forwarded", P, Op::srlv, "the shifter's amount input (rs) skips the bypass mux",
              "rs bypass lost for one instruction kind", {"subu-rs-stale", "rs-bypass-1-lost"},
              make_disturbed<Op::srlv, stale_rs>),
      mistake("div-divisor-not-forwarded", P, Op::div, "the divider's divisor register is loaded from the register file",
              "rt bypass lost for one instruction kind", {"addu-rt-stale", "rt-bypass-1-lost"},
              make_disturbed<Op::div, stale_rt>),
      mistake("mthi-source-not-forwarded", P, Op::mthi, "HI's write data comes from the ID/EX register, not the rs bypass mux",
              "rs bypass lost for one instruction kind", {"subu-rs-stale", "rs-bypass-1-lost"},
              make_disturbed<Op::mthi, stale_rs>),
      mistake("lwl-merge-rt-not-forwarded", P, Op::lwl, "lwl's merge takes the old rt from the ID/EX register",
              "rt bypass lost for one instruction kind", {"addu-rt-stale", "rt-bypass-1-lost"},
              make_disturbed<Op::lwl, stale_rt>),
      mistake("slt-rt-not-forwarded", P, Op::slt, "the comparator's B input skips the bypass mux for slt",
              "rt bypass lost for one instruction kind", {"addu-rt-stale", "rt-bypass-1-lost"},
              make_disturbed<Op::slt, stale_rt>),
      mistake("bgtz-operand-not-forwarded", P, Op::bgtz, "bgtz's sign test reads rs from the register file only",
              "branch comparator's operand not forwarded", {"beq-rs-stale", "bne-rs-stale", "rs-bypass-1-lost"},
              make_disturbed<Op::bgtz, stale_rs>),
  };
}

}  // namespace

std::vector<EvaluationFault> second_holdout_mistakes() {
  return joined({datapath, control, memory, pipeline});
}

}  // namespace r3k::evaluation
