// Branch and jump mistakes: a decision on the wrong bit or boundary, a REGIMM
// row decoded from too few rt bits, a target adder off by a word or fed an
// unshifted offset, a link of +4 or +12, a delay slot flushed.
#include "evaluation/evaluation_parts.h"
#include "faults/fault_kit.h"

namespace r3k::evaluation {

using namespace faults::kit;
using namespace part_kit;
using faults::FaultClass;
using faults::ImageShape;

namespace {

// A taken branch that goes to `target` instead of its own.
void branch_to_if(Cpu& c, uint32_t target, bool taken) {
  if (taken) c.branch(target);
}

}  // namespace

std::vector<EvaluationFault> control_mistakes() {
  constexpr auto D = FaultClass::branch_decision;
  constexpr auto T = FaultClass::branch_target;
  constexpr auto L = FaultClass::link;
  constexpr auto S = FaultClass::delay_slot;
  return {
      mistake("bltz-sign-from-bit30", D, Op::bltz, "bltz tests rs[30] (the sign bit's index off by one)",
              "bltz's decision", {"bltz-zero-negative"},
              [](const ImageShape&) {
                return replace(Op::bltz, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs(c, d) >> 30 & 1); });
              }),
      mistake("blez-zero-detector-lost", D, Op::blez, "blez taken on rs[31] alone: the zero detector left out",
              "sign branch's zero boundary", {"blez-sign-inverted", "bgtz-zero-positive"},
              [](const ImageShape&) {
                return replace(Op::blez, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs_signed(c, d) < 0); });
              }),
      mistake("bgez-decoded-as-bltz", D, Op::bgez, "the REGIMM decode ignores rt[0]: bgez branches like bltz",
              "bgez's decision", {"bgez-zero-negative"},
              [](const ImageShape&) {
                return replace(Op::bgez, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs_signed(c, d) < 0); });
              }),
      mistake("bgtz-on-nonzero", D, Op::bgtz, "bgtz taken on |rs (the sign test left out)", "bgtz's decision",
              {"bgtz-zero-positive"},
              [](const ImageShape&) {
                return replace(Op::bgtz, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs(c, d) != 0); });
              }),
      mistake("beq-compares-rs-with-rs", D, Op::beq, "the comparator's second input mux selects rs for beq",
              "beq's comparator input", {"beq-low16-only"},
              [](const ImageShape&) { return replace(Op::beq, [](Cpu& c, const Decoded& d) { branch_if(c, d, true); }); }),
      mistake("bne-ignores-bit0", D, Op::bne, "bne compares rs[31:1] with rt[31:1]", "bne compares the wrong bits",
              {"bne-low16-only"},
              [](const ImageShape&) {
                return replace(Op::bne, [](Cpu& c, const Decoded& d) { branch_if(c, d, (rs(c, d) ^ rt(c, d)) >> 1); });
              }),
      mistake("bgezal-decoded-as-bgez", L, Op::bgezal, "the link enable decodes rt[4] wrongly: bgezal never links",
              "bgezal's link write enable", {"bgezal-link-only-taken"},
              [](const ImageShape&) {
                return replace(Op::bgezal, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs_signed(c, d) >= 0); });
              }),
      mistake("bne-offset-not-shifted", T, Op::bne, "bne's target adder gets the sign-extended offset without << 2",
              "branch offset not shifted", {"bgtz-offset-not-shifted"},
              [](const ImageShape&) {
                return replace(Op::bne, [](Cpu& c, const Decoded& d) {
                  branch_to_if(c, c.pc + 4 + offset_bytes(d), rs(c, d) != rt(c, d));
                });
              }),
      mistake("bne-target-from-own-pc", T, Op::bne, "bne's target adder takes the branch's pc, not pc + 4",
              "branch target off by a word", {"beq-target-one-word-late"},
              [](const ImageShape&) {
                return replace(Op::bne, [](Cpu& c, const Decoded& d) {
                  branch_to_if(c, c.pc + (offset_bytes(d) << 2), rs(c, d) != rt(c, d));
                });
              }),
      mistake("bgez-target-one-word-late", T, Op::bgez, "bgez's target adder takes pc + 8", "branch target off by a word",
              {"beq-target-one-word-late"},
              [](const ImageShape&) {
                return replace(Op::bgez, [](Cpu& c, const Decoded& d) {
                  branch_to_if(c, d.target + 4, rs_signed(c, d) >= 0);
                });
              }),
      mistake("blez-offset-zero-extended", T, Op::blez, "blez's offset extended as {14'b0, imm, 2'b00}",
              "branch offset extension", {"bgtz-offset-not-shifted", "beq-target-one-word-late"},
              [](const ImageShape&) {
                return replace(Op::blez, [](Cpu& c, const Decoded& d) {
                  branch_to_if(c, c.pc + 4 + (uint32_t(immediate_field(d)) << 2), rs_signed(c, d) <= 0);
                });
              }),
      mistake("bltzal-link-plus-4", L, Op::bltzal, "bltzal links pc + 4 (the delay slot's address)",
              "link of +4 instead of +8", {"jal-link-own-address", "jalr-link-own-address"},
              [](const ImageShape&) {
                return replace(Op::bltzal, [](Cpu& c, const Decoded& d) {
                  sim::execute_normal(c, d);
                  c.set_reg(isa::ra, c.pc + 4);
                });
              }),
      mistake("bgezal-link-plus-12", L, Op::bgezal, "bgezal's link adder adds 12", "link off by a word",
              {"jal-link-one-word-far"},
              [](const ImageShape&) {
                return replace(Op::bgezal, [](Cpu& c, const Decoded& d) {
                  sim::execute_normal(c, d);
                  c.set_reg(isa::ra, c.pc + 12);
                });
              }),
      mistake("bltzal-links-into-rt-field", L, Op::bltzal,
              "the destination select forces $31 for jal only: bltzal links into the register its rt field names ($16)",
              "link's destination register", {"jalr-link-into-target", "jalr-links-into-ra"},
              [](const ImageShape&) {
                return replace(Op::bltzal, [](Cpu& c, const Decoded& d) {
                  const bool taken = rs_signed(c, d) < 0;
                  c.set_reg(d.rt, c.link_address());
                  branch_if(c, d, taken);
                });
              }),
      mistake("blez-flushes-slot", S, Op::blez, "the fetch flush fires on every blez, taken or not",
              "blez squashes its delay slot", {"blez-slot-skipped-taken", "blez-slot-skipped-not-taken"},
              [](const ImageShape&) { return disturb(Op::blez, PipelineEffect::skip_slot_always); }),
      mistake("bgtz-flushes-slot", S, Op::bgtz, "the fetch flush fires on every bgtz, taken or not",
              "bgtz squashes its delay slot", {"bgtz-slot-skipped-taken", "bgtz-slot-skipped-not-taken"},
              [](const ImageShape&) { return disturb(Op::bgtz, PipelineEffect::skip_slot_always); }),
      mistake("beq-flushes-slot-backward", S, Op::beq,
              "a backward-taken beq flushes the fetch stage (a loop predictor's flush left enabled)",
              "beq squashes its delay slot", {"beq-slot-skipped-taken"},
              [](const ImageShape&) {
                return replace(Op::beq, [](Cpu& c, const Decoded& d) {
                  if (rs(c, d) != rt(c, d)) return;
                  c.branch(d.target);
                  if (d.target <= c.pc) flush_slot(c);
                });
              },
              "every backward-taken beq of either image has a nop in its slot"),
  };
}

}  // namespace r3k::evaluation
