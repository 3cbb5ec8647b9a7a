// Delay-slot faults: the slot skipped, or run twice. Every other delay slot
// of the image (the driver's calls and returns, the frames, the other
// families) holds a nop, so a skipped slot shows in the delay-slot routine
// of that branch or jump alone.
#include "faults/catalog_parts.h"
#include "faults/fault_kit.h"

namespace r3k::faults {

using namespace kit;

namespace {

template <Op kOp, PipelineEffect kEffect>
Fault make_disturbed(const ImageShape&) {
  return disturb(kOp, kEffect);
}

template <Op kOp, int kRoutine>
CatalogFault skipped_when_taken(std::string_view name, std::string_view models) {
  return {name, FaultClass::delay_slot, kOp, models, fails({kRoutine}), "the instruction in its delay slot",
          make_disturbed<kOp, PipelineEffect::skip_slot_when_taken>};
}
template <Op kOp, int kRoutine>
CatalogFault skipped_when_not_taken(std::string_view name, std::string_view models) {
  return {name, FaultClass::delay_slot, kOp, models, fails({kRoutine}), "the instruction in its delay slot",
          make_disturbed<kOp, PipelineEffect::skip_slot_when_not_taken>};
}
template <Op kOp, int kRoutine>
CatalogFault skipped_always(std::string_view name, std::string_view models) {
  return {name, FaultClass::delay_slot, kOp, models, fails({kRoutine}), "the instruction in its delay slot",
          make_disturbed<kOp, PipelineEffect::skip_slot_always>};
}

constexpr std::string_view kTwiceUnseen =
    "no slot instruction of the image reads its own destination: a second run writes the same values";

template <Op kOp>
CatalogFault slot_twice(std::string_view name, std::string_view models) {
  return {name, FaultClass::delay_slot, kOp, models, unseen(kTwiceUnseen), "",
          make_disturbed<kOp, PipelineEffect::slot_twice>};
}

}  // namespace

std::vector<CatalogFault> delay_slot_faults() {
  return {
      skipped_when_taken<Op::beq, 16>("beq-slot-skipped-taken", "a taken beq squashes its delay slot"),
      skipped_when_not_taken<Op::beq, 16>("beq-slot-skipped-not-taken", "an untaken beq squashes its delay slot"),
      skipped_when_taken<Op::bne, 17>("bne-slot-skipped-taken", "a taken bne squashes its delay slot"),
      skipped_when_not_taken<Op::bne, 17>("bne-slot-skipped-not-taken", "an untaken bne squashes its delay slot"),
      skipped_when_taken<Op::bgez, 52>("bgez-slot-skipped-taken", "a taken bgez squashes its delay slot"),
      skipped_when_not_taken<Op::bgez, 52>("bgez-slot-skipped-not-taken", "an untaken bgez squashes its delay slot"),
      skipped_when_taken<Op::bgtz, 53>("bgtz-slot-skipped-taken", "a taken bgtz squashes its delay slot"),
      skipped_when_not_taken<Op::bgtz, 53>("bgtz-slot-skipped-not-taken", "an untaken bgtz squashes its delay slot"),
      skipped_when_taken<Op::blez, 54>("blez-slot-skipped-taken", "a taken blez squashes its delay slot"),
      skipped_when_not_taken<Op::blez, 54>("blez-slot-skipped-not-taken", "an untaken blez squashes its delay slot"),
      skipped_when_taken<Op::bltz, 55>("bltz-slot-skipped-taken", "a taken bltz squashes its delay slot"),
      skipped_when_not_taken<Op::bltz, 55>("bltz-slot-skipped-not-taken", "an untaken bltz squashes its delay slot"),
      skipped_when_taken<Op::bltzal, 56>("bltzal-slot-skipped-taken", "a taken bltzal squashes its delay slot"),
      skipped_when_not_taken<Op::bltzal, 56>("bltzal-slot-skipped-not-taken",
                                             "an untaken bltzal squashes its delay slot"),
      skipped_when_taken<Op::bgezal, 57>("bgezal-slot-skipped-taken", "a taken bgezal squashes its delay slot"),
      skipped_when_not_taken<Op::bgezal, 57>("bgezal-slot-skipped-not-taken",
                                             "an untaken bgezal squashes its delay slot"),
      skipped_always<Op::j, 18>("j-slot-skipped", "j squashes its delay slot"),
      skipped_always<Op::jal, 19>("jal-slot-skipped", "jal squashes its delay slot"),
      skipped_always<Op::jr, 20>("jr-slot-skipped", "jr squashes its delay slot"),
      skipped_always<Op::jalr, 58>("jalr-slot-skipped", "jalr squashes its delay slot"),
      slot_twice<Op::beq>("beq-slot-twice", "beq runs its delay slot twice"),
      slot_twice<Op::bne>("bne-slot-twice", "bne runs its delay slot twice"),
      slot_twice<Op::bgez>("bgez-slot-twice", "bgez runs its delay slot twice"),
      slot_twice<Op::bgtz>("bgtz-slot-twice", "bgtz runs its delay slot twice"),
      slot_twice<Op::blez>("blez-slot-twice", "blez runs its delay slot twice"),
      slot_twice<Op::bltz>("bltz-slot-twice", "bltz runs its delay slot twice"),
      slot_twice<Op::bltzal>("bltzal-slot-twice", "bltzal runs its delay slot twice"),
      slot_twice<Op::bgezal>("bgezal-slot-twice", "bgezal runs its delay slot twice"),
      slot_twice<Op::j>("j-slot-twice", "j runs its delay slot twice"),
      slot_twice<Op::jal>("jal-slot-twice", "jal runs its delay slot twice"),
      slot_twice<Op::jr>("jr-slot-twice", "jr runs its delay slot twice"),
      slot_twice<Op::jalr>("jalr-slot-twice", "jalr runs its delay slot twice"),
  };
}

}  // namespace r3k::faults
