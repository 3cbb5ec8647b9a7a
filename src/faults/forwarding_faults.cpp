// Forwarding and interlock faults: a result the next instruction cannot yet
// see, a source read before the result of the instruction ahead arrives,
// HI and LO late.
#include "faults/catalog_parts.h"
#include "faults/fault_kit.h"
#include "board/layout.h"

namespace r3k::faults {

using namespace kit;

namespace {

// mfhi or mflo straight after an instruction that writes its register (one of
// `writers`) reads what the register held before that write. Every write of
// HI or LO in the image is read at once, so the value seen at the previous
// read is the value before the write.
Fault reads_stale_after(Op read, std::set<Op> writers) {
  const bool hi = read == Op::mfhi;
  return replace(read, [=, previous = uint32_t(0)](Cpu& c, const Decoded& d) mutable {
    uint32_t before = 0;
    c.bus().read(c.pc - 4, sim::Width::word, before);
    const uint32_t current = hi ? c.hi : c.lo;
    c.set_reg(d.rd, writers.contains(isa::decode(before)) ? previous : current);
    previous = current;
  });
}

template <Op kOp, PipelineEffect kEffect, int kLatency = 1>
Fault make_disturbed(const ImageShape&) {
  return disturb(kOp, kEffect, kLatency);
}

constexpr auto F = FaultClass::forwarding;

template <Op kOp>
CatalogFault load_use(std::string_view name, std::string_view models, Expectation expected) {
  return {name, F, kOp, models, expected, "the instruction after the load",
          make_disturbed<kOp, PipelineEffect::delayed_load>};
}
template <Op kOp, int kLatency = 1>
CatalogFault late_result(std::string_view name, std::string_view models, Expectation expected) {
  return {name, F, kOp, models, expected, "the instruction after it",
          make_disturbed<kOp, PipelineEffect::late_result, kLatency>};
}
template <Op kOp, int kLatency = 1>
CatalogFault late_hi_lo(std::string_view name, std::string_view models, Expectation expected) {
  return {name, F, kOp, models, expected, "mflo and mfhi right after it",
          make_disturbed<kOp, PipelineEffect::late_hi_lo, kLatency>};
}
template <Op kOp, PipelineEffect kEffect>
CatalogFault stale_source(std::string_view name, std::string_view models, Expectation expected) {
  return {name, F, kOp, models, expected, "the instruction right before it", make_disturbed<kOp, kEffect>};
}


constexpr std::string_view kLoadUseUnseen =
    "the compared register is read four instructions after the load; only unchecked follow-up loads read sooner";

// The main image's code around the cases reads registers at every distance.
constexpr std::string_view kFrameReadsAtOnce =
    "the code around the cases reads registers written just before it: the run never reaches the end loop";
constexpr std::string_view kFrameDerails =
    "the code around the cases reads a register written a few instructions before and derails";

template <sim::Hazard kHazard, int kDistance>
CatalogFault lost_path(std::string_view name, std::string_view models, Expectation expected) {
  return {name, FaultClass::forwarding, Op::addu, models, std::move(expected),
          kDistance == 1 ? "any instruction reading a register written just before it"
          : kDistance == 2 ? "any instruction reading a register written two instructions before it"
                           : "any instruction reading a register written three instructions before it",
          [](const ImageShape&) {
            sim::Fault fault = bypass_fault(kHazard);
            fault.bypass_distance = kDistance;
            return fault;
          }};
}

}  // namespace

std::vector<CatalogFault> forwarding_faults() {
  constexpr auto stale_rs = PipelineEffect::stale_rs;
  constexpr auto stale_rt = PipelineEffect::stale_rt;
  return {
      load_use<Op::lw>("load-use-stale", "the next instruction reads the value the register had before the lw (a core with no "
                       "load-use stall may read another and stop before routine 18)",
                       fails({18, 20})),
      load_use<Op::lb>("lb-load-use-stale", "the next instruction reads lb's register before it lands",
                       unseen(kLoadUseUnseen)),
      load_use<Op::lbu>("lbu-load-use-stale", "the next instruction reads lbu's register before it lands",
                        unseen(kLoadUseUnseen)),
      load_use<Op::lh>("lh-load-use-stale", "the next instruction reads lh's register before it lands",
                       unseen(kLoadUseUnseen)),
      load_use<Op::lhu>("lhu-load-use-stale", "the next instruction reads lhu's register before it lands",
                        unseen(kLoadUseUnseen)),
      load_use<Op::lwl>("lwl-load-use-stale", "the next instruction reads lwl's register before it lands",
                        unseen(kLoadUseUnseen)),
      load_use<Op::lwr>("lwr-load-use-stale", "the next instruction reads lwr's register before it lands",
                        unseen(kLoadUseUnseen)),
      {"mflo-stale-after-write", F, Op::mflo,
       "mflo right after a multiply, divide or mtlo reads LO as it was before (no interlock)",
       fails({44, 45, 46, 47, 49, 51, 52, 53, 54, 55, 56, 57, 58}), "the multiply, divide or mtlo right before it", [](const ImageShape&) {
         return reads_stale_after(Op::mflo, {Op::mult, Op::multu, Op::div, Op::divu, Op::mtlo});
       }},
      {"mfhi-stale-after-write", F, Op::mfhi,
       "mfhi right after a multiply, divide or mthi reads HI as it was before (no interlock)", fails({48, 50}),
       "the multiply, divide or mthi right before it", [](const ImageShape&) {
         return reads_stale_after(Op::mfhi, {Op::mult, Op::multu, Op::div, Op::divu, Op::mthi});
       }},
      {"mfhi-stale-after-muldiv", F, Op::mfhi, "mfhi right after a multiply or divide reads HI as it was before",
       unseen("HI is read two instructions after a multiply or divide, behind mflo"), "", [](const ImageShape&) {
         return reads_stale_after(Op::mfhi, {Op::mult, Op::multu, Op::div, Op::divu});
       }},
      late_hi_lo<Op::mult>("mult-hi-lo-late", "mult's HI and LO land one instruction late",
                                     fails({46, 52, 53, 54, 55, 56, 57, 58})),
      late_hi_lo<Op::multu>("multu-hi-lo-late", "multu's HI and LO land one instruction late",
                                       fails({47, 52, 53, 54, 55, 56, 57})),
      late_hi_lo<Op::div>("div-hi-lo-late", "div's HI and LO land one instruction late",
                                   fails({44, 52, 53, 54, 55, 56, 57})),
      late_hi_lo<Op::divu>("divu-hi-lo-late", "divu's HI and LO land one instruction late",
                                     fails({45, 52, 53, 54, 55, 56, 57, 58})),
      late_hi_lo<Op::mult, 2>("mult-hi-lo-two-late", "mult's HI and LO land two instructions late",
                                        fails({46, 52, 53, 54, 55, 56, 57, 58})),
      late_hi_lo<Op::mthi>("mthi-late", "mthi's HI lands one instruction late", fails({48, 50})),
      late_hi_lo<Op::mtlo>("mtlo-late", "mtlo's LO lands one instruction late",
                                fails({49, 51, 52, 53, 54, 55, 56, 57})),
      stale_source<Op::beq, stale_rt>("beq-rt-stale", "beq's second operand misses the result of the instruction before",
                                      fails({4})),
      stale_source<Op::bne, stale_rt>("bne-rt-stale", "bne's second operand misses the result of the instruction before",
                                      fails({5, 16, 17, 41, 42, 43, 48, 49, 50, 51, 52, 53, 54, 55})),
      stale_source<Op::beq, stale_rs>("beq-rs-stale", "beq's first operand misses the result of the instruction before",
                                      unseen("no beq of the image reads its first operand right after it is written")),
      stale_source<Op::bne, stale_rs>("bne-rs-stale", "bne's first operand misses the result of the instruction before",
                                      fails({2, 3, 7, 8, 9, 10, 11, 16, 17, 18, 20, 21, 22, 23, 24, 25, 26, 27,
                                             28, 29, 30, 31, 32, 33, 34, 35, 36, 52, 53, 54, 55, 56, 57, 58})),
      stale_source<Op::addu, stale_rt>("addu-rt-stale", "addu's $rt misses the result of the instruction before",
                                       unseen("no addu of the image reads $rt right after it is written")),
      stale_source<Op::subu, stale_rs>("subu-rs-stale", "subu's $rs misses the result of the instruction before",
                                       unseen("no subu of the image reads $rs right after it is written")),
      stale_source<Op::sw, stale_rt>("sw-data-stale", "sw stores its data register without the result just before",
                                     breaks_run("the frame stores each display word right after forming it: the display lags one "
                                                "routine behind the pass lamps",
                                                69)),
      stale_source<Op::jr, stale_rs>("jr-target-stale", "jr jumps to $rs without the result just before",
                                         unseen("no jr of the image reads its register right after it is written")),
      late_result<Op::slt>("slt-result-late", "slt's result lands one instruction late",
                                  fails({8, 16, 17, 18, 20, 52, 53, 54, 55})),
      late_result<Op::sltu>("sltu-result-late", "sltu's result lands one instruction late", fails({20, 25})),
      late_result<Op::xor_>("xor-result-late", "xor's result lands one instruction late",
                                   fails({16, 17, 30, 52, 53, 54, 55})),
      late_result<Op::sra>("sra-result-late", "sra's result lands one instruction late", fails({18, 20, 33})),
      late_result<Op::lui>("lui-result-late", "lui's result lands one instruction late",
                                   exception_loop({2, 3}, "the constant loads' ori reads the lui at once; RAM addresses break in n6", 6)),
      // The frame forms every display word with sll and reads it at once.
      late_result<Op::sll>("sll-result-late", "sll's result lands one instruction late",
                                   fails(routine_range(1, layout::kRoutineCount))),
      late_result<Op::jal>("jal-link-late", "jal's link lands one instruction late",
                                  unseen("no instruction reads $ra right after a jal")),
      late_result<Op::jalr>("jalr-link-late", "jalr's link lands one instruction late",
                                    unseen("no instruction reads the link right after a jalr")),
      // Faults of the bypass network itself, whatever the instructions.
      {"no-bypass", F, Op::addu, "no instruction sees the result of the instruction just before it",
       breaks_run("the pause loop reads the quick-run flag right after loading it and never ends", 2),
       "any instruction reading the register written just before it",
       [](const ImageShape&) { return bypass_fault(sim::Hazard::missing_bypass); }},
      {"older-result-wins", F, Op::addu, "of two writes in a row to one register, the bypass passes the older",
       breaks_run("the pause loop's counter never reaches its end", 2), "two writes in a row to the register read",
       [](const ImageShape&) { return bypass_fault(sim::Hazard::older_result_wins); }},
      {"zero-write-forwarded", F, Op::addu, "a write to $zero is forwarded to the next instruction reading $zero",
       unseen("no instruction of the image writes $zero and is followed by a read of $zero"), "",
       [](const ImageShape&) { return bypass_fault(sim::Hazard::zero_forwarded); }},
      {"load-base-stale-after-load", F, Op::lw, "a load's base written by a load just before reads as it was before",
       unseen("no load of the image takes its base from the load just before"), "the load before it",
       [](const ImageShape&) { return bypass_fault(sim::Hazard::stale_load_base); }},
      // One bypass path of a five-stage pipeline lost, per operand and distance.
      lost_path<sim::Hazard::rs_bypass_lost, 1>("rs-bypass-1-lost", "rs misses the result of the instruction just before",
                                                 breaks_run(kFrameReadsAtOnce, 2)),
      lost_path<sim::Hazard::rt_bypass_lost, 1>("rt-bypass-1-lost", "rt misses the result of the instruction just before",
                                                 breaks_run(kFrameReadsAtOnce, 2)),
      lost_path<sim::Hazard::rs_bypass_lost, 2>("rs-bypass-2-lost", "rs misses the result of the instruction two back",
                                                 exception_loop({1}, kFrameDerails, 2)),
      lost_path<sim::Hazard::rt_bypass_lost, 2>("rt-bypass-2-lost", "rt misses the result of the instruction two back",
                                                 exception_loop({1}, kFrameDerails, 6)),
      lost_path<sim::Hazard::rs_bypass_lost, 3>("rs-bypass-3-lost",
                                                 "rs misses the result of the instruction three back (the write-back path)",
                                                 exception_loop({1}, kFrameDerails)),
      lost_path<sim::Hazard::rt_bypass_lost, 3>("rt-bypass-3-lost",
                                                 "rt misses the result of the instruction three back (the write-back path)",
                                                 exception_loop({1}, kFrameDerails, 6)),
  };
}

}  // namespace r3k::faults
