// diagnose --trace on injected faults: each fault's trace, written by the
// reference with the fault in it, is read back in step with the reference,
// and its first wrong line must be explained by the mechanism the fault
// models; every catalog fault that shows on the main image reproduces its
// own first wrong line and is named first.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "board/layout.h"
#include "divergence/faulty_trace.h"
#include "divergence/trace_diagnosis.h"
#include "divergence/variant_run.h"
#include "faults/campaign.h"
#include "faults/fault_kit.h"
#include "image/image.h"
#include "sim/machine.h"
#include "support/image_run.h"

namespace r3k::divergence {
namespace {

using namespace faults::kit;

// The first divergence of the fault's trace on `image`, or nothing.
std::optional<trace::DiffOutcome> divergence_of(const sim::Fault& fault, const Image& image) {
  return first_divergence(image.boot_bytes(), fault, 300'000);
}

const faults::ImageShape& shape(faults::ImageKind kind = faults::ImageKind::main) {
  static const faults::ImageShape main = faults::shape_of(test::default_image(), faults::ImageKind::main);
  static const faults::ImageShape supplement =
      faults::shape_of(test::supplement_image(), faults::ImageKind::supplement);
  return kind == faults::ImageKind::main ? main : supplement;
}

// On the main image, or on the supplement when the main image cannot see it.
TraceDiagnosis diagnosed(const faults::CatalogFault& fault) {
  for (const faults::ImageKind kind : {faults::ImageKind::main, faults::ImageKind::supplement}) {
    const Image& image = kind == faults::ImageKind::main ? test::default_image() : test::supplement_image();
    if (const auto outcome = divergence_of(fault.make(shape(kind)), image))
      return diagnose_divergence(image.boot_bytes(), shape(kind), *outcome, 1, {});
  }
  ADD_FAILURE() << fault.name << ": the fault's trace follows the reference on both images";
  return {};
}

TraceDiagnosis diagnosed(const sim::Fault& fault) {
  const auto outcome = divergence_of(fault, test::default_image());
  if (!outcome) {
    ADD_FAILURE() << "the fault's trace follows the reference";
    return {};
  }
  return diagnose_divergence(test::default_image().boot_bytes(), shape(), *outcome, 1, {});
}

std::string keys_of(const TraceDiagnosis& d) {
  std::string text;
  for (const Mechanism& m : d.mechanisms) text += " " + m.key;
  return text.empty() ? " (none)" : text;
}

bool has_key(const TraceDiagnosis& d, std::string_view key) {
  return std::any_of(d.mechanisms.begin(), d.mechanisms.end(), [&](const Mechanism& m) { return m.key == key; });
}

// Each mechanism the tests know, on a catalog fault that produces it: the
// mechanism is found, and the fault reproduces the line and is named first.
TEST(TraceDiagnosis, NamesTheMechanismOfEachKindOfMistake) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"slt-unsigned", "other-op:sltu"},          // signedness
      {"srl-sign-fills", "other-op:sra"},         // shift kind
      {"and-as-or", "other-op:or"},               // another ALU function
      {"addiu-zero-extends", "immediate-zero-extended"},
      {"slt-sign-of-difference", "sign-of-difference"},  // less-than from a subtractor's sign
      {"lb-zero-extends", "other-op:lbu"},        // extension
      {"mfhi-reads-lo", "other-op:mflo"},
      {"mult-hi-lo-swapped", "hi-lo-crossed"},
      {"rs-bypass-1-lost", "rs-bypass-1"},        // a source as it was 1, 2, 3 instructions earlier
      {"rt-bypass-1-lost", "rt-bypass-1"},
      {"rs-bypass-2-lost", "rs-bypass-2"},
      {"rt-bypass-2-lost", "rt-bypass-2"},
      {"rs-bypass-3-lost", "rs-bypass-3"},
      {"rt-bypass-3-lost", "rt-bypass-3"},
      {"jal-link-one-word-far", "link-off:4"},    // a link off by a word
      {"beq-target-one-word-late", "target-off:4"},
      {"bgtz-offset-not-shifted", "offset-not-shifted"},
      {"beq-low16-only", "decided-on-low-16"},    // a branch decided on bits 15..0
      {"bne-never-taken", "decided-not-taken"},
      {"blez-sign-inverted", "other-op:bgtz"},    // decided at the wrong boundary
      {"beq-slot-skipped-taken", "slot-skipped"},
      {"add-traps-on-carry", "trap-on-carry"},    // an overflow test wired to the carry
  };
  for (const auto& [name, key] : cases) {
    const faults::CatalogFault* fault = faults::find_fault(name);
    ASSERT_NE(fault, nullptr) << name;
    const TraceDiagnosis d = diagnosed(*fault);
    EXPECT_TRUE(has_key(d, key)) << name << ": found" << keys_of(d);
    EXPECT_NE(std::find(d.catalog.exact.begin(), d.catalog.exact.end(), fault), d.catalog.exact.end()) << name;
    const auto named = std::find(d.ranked.begin(), d.ranked.end(), name);
    EXPECT_LT(size_t(named - d.ranked.begin()), d.catalog.exact.size()) << name;
  }
}

// Mistakes the catalog does not hold are still named by their mechanism.
TEST(TraceDiagnosis, NamesMechanismsOfFaultsOutsideTheCatalog) {
  // lb's sign taken from the next byte lane up.
  const sim::Fault sign_from_next_lane = replace(Op::lb, [](Cpu& c, const Decoded& d) {
    const uint32_t address = rs(c, d) + d.imm;
    uint32_t word = 0;
    c.load(address & ~3u, sim::Width::word, word);
    const uint32_t lane = address & 3, byte = word >> (8 * lane) & 0xFF;
    const uint32_t sign = word >> (8 * ((lane + 1) & 3) + 7) & 1;
    c.set_reg(d.rt, byte | (sign ? 0xFFFFFF00 : 0));
  });
  const TraceDiagnosis lane = diagnosed(sign_from_next_lane);
  EXPECT_TRUE(std::any_of(lane.mechanisms.begin(), lane.mechanisms.end(),
                          [](const Mechanism& m) { return m.key.starts_with("load-sign-lane:"); }))
      << keys_of(lane);
  EXPECT_TRUE(lane.catalog.exact.empty());
  // sltu taken from bit 31 of the difference: slt's way on sltu's operands
  // wherever the difference does not overflow.
  const sim::Fault from_difference =
      register_result(Op::sltu, [](uint32_t a, uint32_t b) { return (a - b) >> 31; });
  const TraceDiagnosis sltu = diagnosed(from_difference);
  EXPECT_TRUE(has_key(sltu, "sign-of-difference")) << keys_of(sltu);
  // srlv shifting by one less than its amount: the amount it used is named.
  const sim::Fault one_short = replace(Op::srlv, [](Cpu& c, const Decoded& d) {
    c.set_reg(d.rd, rt(c, d) >> ((rs(c, d) - 1) & 31));
  });
  const TraceDiagnosis srlv = diagnosed(one_short);
  ASSERT_FALSE(srlv.mechanisms.empty());
  const uint32_t amount = srlv.reference.at.before.regs[isa::fields_of(srlv.reference.at.word).rs] & 31;
  EXPECT_TRUE(has_key(srlv, "shift-amount:" + std::to_string((amount - 1) & 31))) << keys_of(srlv);
  // bne taken when its operands are equal: a control divergence names the
  // branch and its operands.
  const sim::Fault inverted = replace(Op::bne, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs(c, d) == rt(c, d)); });
  const TraceDiagnosis bne = diagnosed(inverted);
  EXPECT_NE(bne.control.find("bne at 0x"), std::string::npos) << bne.control;
  EXPECT_TRUE(has_key(bne, "other-op:beq")) << keys_of(bne);
  // A load's base as it was before the write just ahead: the load reads
  // another word of memory, and the stale base is named.
  const sim::Fault stale_base = faults::kit::disturb(Op::lw, sim::PipelineEffect::stale_rs);
  const auto outcome = divergence_of(stale_base, test::supplement_image());
  ASSERT_TRUE(outcome);
  const TraceDiagnosis lw = diagnose_divergence(test::supplement_image().boot_bytes(),
                                                shape(faults::ImageKind::supplement), *outcome, 1, {});
  EXPECT_TRUE(has_key(lw, "rs-bypass-1")) << keys_of(lw);
  // A branch's offset zero-extended: named as such, and the target faults
  // of its unit (bgtz-offset-not-shifted) lead.
  const sim::Fault zero_extended = replace(Op::bgez, [](Cpu& c, const Decoded& d) {
    if (int32_t(rs(c, d)) >= 0) c.branch(c.pc + 4 + ((d.word & 0xFFFF) << 2));
  });
  const TraceDiagnosis bgez = diagnosed(zero_extended);
  EXPECT_TRUE(has_key(bgez, "offset-zero-extended")) << keys_of(bgez);
  ASSERT_FALSE(bgez.ranked.empty());
  EXPECT_EQ(bgez.ranked.front(), "bgtz-offset-not-shifted");
  // Taken, but somewhere no target mechanism explains.
  const sim::Fault far_off = replace(Op::bne, [](Cpu& c, const Decoded& d) {
    if (rs(c, d) != rt(c, d)) c.branch(d.target + 12);
  });
  const TraceDiagnosis elsewhere = diagnosed(far_off);
  EXPECT_TRUE(has_key(elsewhere, "target-elsewhere")) << keys_of(elsewhere);
  ASSERT_FALSE(elsewhere.ranked.empty());
  EXPECT_EQ(faults::find_fault(elsewhere.ranked.front())->fault_class, faults::FaultClass::branch_target)
      << elsewhere.ranked.front();
}

// A wrong value names its mistake more closely than its instruction does:
// slti comparing unsigned ranks the faults that compare unsigned (in slt)
// before slti's own faults that make another mistake; a wrong transfer still
// names the transfer's own faults first.
TEST(TraceDiagnosis, AWrongValuesMechanismRanksBeforeItsInstructionsOtherFaults) {
  const sim::Fault unsigned_slti = immediate_result(
      Op::slti, [](uint32_t x, uint16_t field) { return uint32_t(x < uint32_t(int32_t(int16_t(field)))); });
  const TraceDiagnosis slti = diagnosed(unsigned_slti);
  ASSERT_TRUE(has_key(slti, "other-op:sltiu")) << keys_of(slti);
  const auto place = [&](std::string_view name) {
    return size_t(std::find(slti.ranked.begin(), slti.ranked.end(), name) - slti.ranked.begin());
  };
  EXPECT_LT(place("slt-unsigned"), place("slti-zero-extends"));
  EXPECT_LT(place("slt-unsigned"), 3u);
  const sim::Fault inverted = replace(Op::bne, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs(c, d) == rt(c, d)); });
  const TraceDiagnosis bne = diagnosed(inverted);
  // After the faults that write the line, bne's own.
  ASSERT_GT(bne.ranked.size(), bne.catalog.exact.size());
  EXPECT_TRUE(bne.ranked[bne.catalog.exact.size()].starts_with("bne-"))
      << bne.ranked[bne.catalog.exact.size()] << " after " << bne.catalog.exact.size() << " that write the line";
}

// An operation computed for another points at the select between the two,
// whichever way it fails: a subu that adds ranks add-as-sub before faults
// that confuse another pair (or-as-xor, though the subu's operands happen to
// give xor's value too). A byte from a lane neither right nor mirrored
// still points at the lane select before lbu's extension.
TEST(TraceDiagnosis, AMechanismNamesTheSameMistakeInAnotherInstruction) {
  const TraceDiagnosis subu = diagnosed(register_result(Op::subu, [](uint32_t a, uint32_t b) { return a + b; }));
  ASSERT_TRUE(has_key(subu, "other-op:addu")) << keys_of(subu);
  const auto place_in = [](const TraceDiagnosis& d, std::string_view name) {
    return size_t(std::find(d.ranked.begin(), d.ranked.end(), name) - d.ranked.begin());
  };
  EXPECT_EQ(place_in(subu, "add-as-sub"), 0u) << subu.ranked.front();
  EXPECT_LT(place_in(subu, "add-as-sub"), place_in(subu, "or-as-xor"));
  const sim::Fault lane_stuck = replace(Op::lbu, [](Cpu& c, const Decoded& d) {
    uint32_t word = 0;
    c.load((rs(c, d) + d.imm) & ~3u, sim::Width::word, word);
    c.set_reg(d.rt, word & 0xFF);
  });
  const TraceDiagnosis lbu = diagnosed(lane_stuck);
  EXPECT_LT(place_in(lbu, "lbu-big-endian-lanes"), place_in(lbu, "lbu-sign-extends")) << keys_of(lbu);
}

// A store shows what the processor stored: sh storing the value its data
// register held before the write just ahead of it parts from the
// reference at the sh itself, and names the bypass of the data, in a store
// first.
TEST(TraceDiagnosis, AStoreShowsWhatWasStored) {
  const Image& image = test::supplement_image();
  const auto outcome = divergence_of(disturb(Op::sh, PipelineEffect::stale_rt, 1), image);
  ASSERT_TRUE(outcome);
  EXPECT_EQ(isa::decode(outcome->expected.word), Op::sh) << sim::format_trace_record(outcome->expected);
  const TraceDiagnosis d =
      diagnose_divergence(image.boot_bytes(), shape(faults::ImageKind::supplement), *outcome, 1, {});
  EXPECT_TRUE(has_key(d, "rt-bypass-1")) << keys_of(d);
  ASSERT_FALSE(d.ranked.empty());
  EXPECT_EQ(d.ranked.front(), "sw-data-stale");
}

// Writes out of place name the logic that let them through: a bltz that
// links points at a link's write enable, an sb that writes a halfword at
// the byte enables, a link two words short at the link adder. A stale
// source points at the mux it is read through: a load's base at the path
// itself (no other instruction reads an address), a mult's rs at the
// execute-stage operand mux it shares with subu rather than at a branch's
// comparator. A load whose stale base faults is named too: its line writes
// nothing, as the way that reproduces it does.
TEST(TraceDiagnosis, NamesTheLogicThatLetAWriteOrAStaleSourceThrough) {
  const auto first_of = [](const TraceDiagnosis& d) { return d.ranked.empty() ? std::string_view{} : d.ranked.front(); };
  const TraceDiagnosis bltz = diagnosed(replace(Op::bltz, [](Cpu& c, const Decoded& d) {
    sim::execute_normal(c, d);
    c.set_reg(isa::ra, c.pc + 8);
  }));
  EXPECT_TRUE(has_key(bltz, "link-written")) << keys_of(bltz);
  EXPECT_TRUE(first_of(bltz).ends_with("-link-only-taken")) << first_of(bltz);
  const TraceDiagnosis sb = diagnosed(replace(Op::sb, [](Cpu& c, const Decoded& d) {
    const uint32_t byte = rt(c, d) & 0xFF;
    c.store((rs(c, d) + d.imm) & ~1u, sim::Width::half, byte | byte << 8);
  }));
  EXPECT_TRUE(has_key(sb, "store-enables")) << keys_of(sb);
  EXPECT_EQ(first_of(sb), "sb-whole-word");
  const TraceDiagnosis bgezal = diagnosed(replace(Op::bgezal, [](Cpu& c, const Decoded& d) {
    sim::execute_normal(c, d);
    c.set_reg(isa::ra, c.pc);
  }));
  EXPECT_TRUE(has_key(bgezal, "link-off:-8")) << keys_of(bgezal);
  EXPECT_TRUE(first_of(bgezal).ends_with("-link-own-address")) << first_of(bgezal);
  const TraceDiagnosis lbu = diagnosed(disturb(Op::lbu, PipelineEffect::stale_rs, 1));
  EXPECT_TRUE(lbu.reference.at.word && lbu.catalog.exact.empty());
  EXPECT_TRUE(has_key(lbu, "rs-bypass-1")) << keys_of(lbu);
  EXPECT_EQ(first_of(lbu), "rs-bypass-1-lost");
  const auto outcome = divergence_of(disturb(Op::mult, PipelineEffect::stale_rs, 1), test::supplement_image());
  ASSERT_TRUE(outcome);
  const TraceDiagnosis mult = diagnose_divergence(test::supplement_image().boot_bytes(),
                                                  shape(faults::ImageKind::supplement), *outcome, 1, {});
  EXPECT_TRUE(has_key(mult, "rs-bypass-1")) << keys_of(mult);
  EXPECT_EQ(first_of(mult), "subu-rs-stale");
}

// More of what a wrong value says, each on a mistake the catalog does not
// hold: sltiu comparing at the wrong boundary points at sltiu's comparator;
// divu writing its quotient to HI as well, at the HI/LO write port; div's
// quotient negated, at the signed correction; bgezal linking only when not
// taken, at bgezal's link write enable; nor's result off the bypass, at the
// logic unit's late result (xor's) before the comparator's or the adder's.
TEST(TraceDiagnosis, NamesTheBlockAWrongValueCameFrom) {
  const auto first_of = [](const TraceDiagnosis& d) { return d.ranked.empty() ? std::string_view{} : d.ranked.front(); };
  const TraceDiagnosis sltiu = diagnosed(immediate_result(
      Op::sltiu, [](uint32_t x, uint16_t field) { return uint32_t(x <= uint32_t(int32_t(int16_t(field)))); }));
  EXPECT_TRUE(has_key(sltiu, "less-or-equal")) << keys_of(sltiu);
  EXPECT_TRUE(first_of(sltiu).starts_with("sltiu-")) << first_of(sltiu);
  const TraceDiagnosis divu = diagnosed(replace(Op::divu, [](Cpu& c, const Decoded& d) {
    sim::execute_normal(c, d);
    c.hi = c.lo;
  }));
  EXPECT_TRUE(has_key(divu, "hi-lo-one-crossed")) << keys_of(divu);
  EXPECT_EQ(first_of(divu), "divu-hi-lo-swapped");
  const TraceDiagnosis div = diagnosed(replace(Op::div, [](Cpu& c, const Decoded& d) {
    sim::execute_normal(c, d);
    if (int32_t(rt(c, d)) < 0) c.lo = 0 - c.lo;
  }));
  EXPECT_TRUE(has_key(div, "sign-correction")) << keys_of(div);
  EXPECT_TRUE(first_of(div) == "div-unsigned" || first_of(div) == "div-floor") << first_of(div);
  const TraceDiagnosis bgezal = diagnosed(replace(Op::bgezal, [](Cpu& c, const Decoded& d) {
    const bool taken = int32_t(rs(c, d)) >= 0;
    if (!taken) c.set_reg(isa::ra, c.pc + 8);
    branch_if(c, d, taken);
  }));
  EXPECT_TRUE(has_key(bgezal, "link-not-written")) << keys_of(bgezal);
  EXPECT_EQ(first_of(bgezal), "bgezal-link-only-taken");
  const TraceDiagnosis nor = diagnosed(disturb(Op::nor, PipelineEffect::late_result, 1));
  EXPECT_TRUE(has_key(nor, "result-not-landed")) << keys_of(nor);
  EXPECT_EQ(first_of(nor), "xor-result-late");
}

// A way of running a load reads RAM as it stood; where it reads the boot
// ROM, whose words it does not hold, what it loads is not known and it
// reproduces nothing (not a bus error the real ROM would never raise).
TEST(TraceDiagnosis, AVariantLoadKnowsOnlyTheMemoryItHolds) {
  ReferenceState state;
  state.rom_size = 0x1000;
  state.ram.assign(layout::kRamSize / 4, 0);
  state.ram[0x40] = 0x12345678;
  Registers before{};
  isa::Fields fields;
  fields.rs = 8, fields.rt = 9;
  const uint32_t lw = isa::encode(Op::lw, fields);
  VariantRunner runner;
  before.regs[8] = layout::kRamBase + 0x100;
  const VariantResult from_ram = runner.run(layout::kResetVector + 0x200, lw, before, &state, lw);
  EXPECT_FALSE(from_ram.unknown || from_ram.raised);
  ASSERT_EQ(from_ram.record.reg_count, 1);
  EXPECT_EQ(from_ram.record.regs[0].value, 0x12345678u);
  before.regs[8] = layout::kResetVector + 0x100;
  EXPECT_TRUE(runner.run(layout::kResetVector + 0x200, lw, before, &state, lw).unknown);
  before.regs[8] = 0x00400000;  // nothing answers there: a bus error, as on the board
  const VariantResult nowhere = runner.run(layout::kResetVector + 0x200, lw, before, &state, lw);
  EXPECT_FALSE(nowhere.unknown);
  EXPECT_TRUE(nowhere.raised);
  EXPECT_EQ(nowhere.record.reg_count, 0);
}

// A branch that went as its operand's value from before the write just
// ahead would send it names the lost bypass first, once the display words
// rule out the branch's own decision faults (the main image, which checks
// bltz's decisions, passed); without the words its own faults lead.
TEST(TraceDiagnosis, AStaleBranchOperandNamesTheBypassWhenTheWordsClearTheBranch) {
  const sim::Fault stale = disturb(Op::bltz, PipelineEffect::stale_rs, 1);
  const test::ImageRun main = test::run_image(test::default_image(), stale);
  const test::ImageRun supplement = test::run_image(test::supplement_image(), stale);
  ASSERT_TRUE(main.passed());
  ASSERT_FALSE(supplement.failed.empty());
  const auto outcome = divergence_of(stale, test::supplement_image());
  ASSERT_TRUE(outcome);
  const std::vector<faults::ImageObservation> words{{faults::ImageKind::main, main.failed, false},
                                                    {faults::ImageKind::supplement, supplement.failed, false}};
  const auto boot = test::supplement_image().boot_bytes();
  const faults::ImageShape& on = shape(faults::ImageKind::supplement);
  const TraceDiagnosis with_words = diagnose_divergence(boot, on, *outcome, 1, words);
  ASSERT_TRUE(has_key(with_words, "rs-bypass-1")) << keys_of(with_words);
  ASSERT_FALSE(with_words.ranked.empty());
  EXPECT_TRUE(with_words.ranked.front().ends_with("rs-stale")) << with_words.ranked.front();
  const TraceDiagnosis alone = diagnose_divergence(boot, on, *outcome, 1, {});
  ASSERT_FALSE(alone.ranked.empty());
  EXPECT_TRUE(alone.ranked.front().starts_with("bltz-")) << alone.ranked.front();
}

// Every catalog fault whose trace parts from the reference on the main
// image writes its own first wrong line again, and is named first.
TEST(TraceDiagnosis, EachCatalogFaultReproducesItsOwnFirstWrongLine) {
  size_t diverged = 0;
  for (const faults::CatalogFault& fault : faults::catalog()) {
    if (fault.expected.outcome == faults::Outcome::not_applicable) continue;
    const auto outcome = divergence_of(fault.make(shape()), test::default_image());
    if (!outcome) continue;
    ++diverged;
    const TraceDiagnosis d = diagnose_divergence(test::default_image().boot_bytes(), shape(), *outcome, 1, {});
    EXPECT_NE(std::find(d.catalog.exact.begin(), d.catalog.exact.end(), &fault), d.catalog.exact.end()) << fault.name;
    ASSERT_FALSE(d.ranked.empty()) << fault.name;
    const auto named = std::find(d.ranked.begin(), d.ranked.end(), fault.name);
    EXPECT_LT(size_t(named - d.ranked.begin()), d.catalog.exact.size()) << fault.name << " after " << d.ranked.front();
  }
  EXPECT_GT(diverged, faults::catalog().size() / 2);
}

}  // namespace
}  // namespace r3k::divergence
