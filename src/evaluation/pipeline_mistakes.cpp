// Bypass and interlock mistakes: a result that joins the write-back mux after
// the bypass tap (so the next instruction reads the old value), a source
// operand whose bypass mux was never wired, a stall one cycle too short.
// A path lost for every instruction from two or three back needs a hazard
// the simulator does not model yet; these are the per-path forms.
#include "evaluation/evaluation_parts.h"
#include "faults/fault_kit.h"

namespace r3k::evaluation {

using namespace faults::kit;
using faults::FaultClass;
using faults::ImageShape;

std::vector<EvaluationFault> pipeline_mistakes() {
  constexpr auto F = FaultClass::forwarding;
  constexpr auto late = PipelineEffect::late_result;
  constexpr auto late_hi_lo = PipelineEffect::late_hi_lo;
  constexpr auto stale_rs = PipelineEffect::stale_rs;
  constexpr auto stale_rt = PipelineEffect::stale_rt;
  return {
      mistake("and-result-not-forwarded", F, Op::and_,
              "the logic unit's and output joins the result mux after the EX/MEM bypass tap",
              "logic unit's result not on the bypass", {"xor-result-late"}, make_disturbed<Op::and_, late>),
      mistake("srl-result-not-forwarded", F, Op::srl,
              "the shifter's logical-right output joins the result mux after the bypass tap",
              "shifter's result not on the bypass", {"sra-result-late"}, make_disturbed<Op::srl, late>),
      mistake("slti-result-not-forwarded", F, Op::slti,
              "slti's set bit is muxed in after the bypass tap", "set-less-than result not on the bypass",
              {"slt-result-late", "sltu-result-late"}, make_disturbed<Op::slti, late>),
      mistake("mfhi-result-not-forwarded", F, Op::mfhi, "mfhi's value joins the result mux after the bypass tap",
              "HI/LO move result not on the bypass", {}, make_disturbed<Op::mfhi, late>),
      mistake("bgez-operand-not-forwarded", F, Op::bgez,
              "the branch comparator in ID reads rs from the register file only",
              "branch comparator's operand not forwarded", {"beq-rs-stale", "bne-rs-stale"},
              make_disturbed<Op::bgez, stale_rs>),
      mistake("sb-data-not-forwarded", F, Op::sb, "sb's store data comes from the ID/EX register, not the rt bypass mux",
              "store data not forwarded", {"sw-data-stale"}, make_disturbed<Op::sb, stale_rt>),
      mistake("lw-base-not-forwarded", F, Op::lw, "the address adder's base input skips the bypass mux for lw",
              "load base not forwarded", {"load-base-stale-after-load"}, make_disturbed<Op::lw, stale_rs>),
      mistake("lw-stall-one-short", F, Op::lw,
              "the data RAM's registered read adds a cycle the load-use stall does not cover: "
              "two instructions read the old value",
              "load-use interlock too short", {"load-use-stale"}, make_disturbed<Op::lw, late, 2>),
      mistake("multu-interlock-short", F, Op::multu, "the multiplier's busy flag drops two cycles early for multu",
              "multiply/divide interlock too short", {"multu-hi-lo-late", "mult-hi-lo-two-late"},
              make_disturbed<Op::multu, late_hi_lo, 2>),
      mistake("div-interlock-short", F, Op::div, "the divider's busy flag drops two cycles early for div",
              "multiply/divide interlock too short", {"div-hi-lo-late"}, make_disturbed<Op::div, late_hi_lo, 2>),
      mistake("sllv-word-not-forwarded", F, Op::sllv, "the shifter's word input (rt) skips the bypass mux",
              "rt bypass lost for one instruction kind", {"addu-rt-stale"}, make_disturbed<Op::sllv, stale_rt>),
      mistake("subu-rt-not-forwarded", F, Op::subu, "the ALU's B input skips the bypass mux for subu",
              "rt bypass lost for one instruction kind", {"addu-rt-stale", "subu-rs-stale"},
              make_disturbed<Op::subu, stale_rt>),
      mistake("jalr-target-not-forwarded", F, Op::jalr, "jalr's target comes from the register file, not the bypass",
              "jump register not forwarded", {"jr-target-stale"}, make_disturbed<Op::jalr, stale_rs>),
  };
}

}  // namespace r3k::evaluation
