// The evaluation set stays apart from the catalog (no shared name, no fault
// that behaves like a catalog entry), and its figures are computed: every
// fault runs on both images and lands in exactly one outcome, the counts add
// up, and the answers are the ones the diagnose command gives. Nothing here
// asks how good the figures are.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <set>
#include <stdexcept>
#include <utility>

#include "evaluation/scoring.h"
#include "faults/catalog.h"
#include "sim/semantics.h"
#include "support/image_run.h"
#include "support/tools.h"

namespace r3k::evaluation {
namespace {

using faults::ImageKind;
using isa::Op;

const std::vector<EvaluationFault>& set() { return evaluation_set(); }

// Every set, oldest first: a later set must stay apart from all before it.
const std::vector<const std::vector<EvaluationFault>*>& all_sets() {
  static const std::vector<const std::vector<EvaluationFault>*> sets{&set(), &validation_set(), &holdout_set(),
                                                                     &second_holdout_set()};
  return sets;
}

// A name answers for one fault across the sets, so a fault can be looked up
// (bench_diagnose NAME) without saying which set it is in.
TEST(EvaluationSet, IsApartFromTheCatalogAndNamesOnlyItsFaults) {
  EXPECT_GE(set().size(), 40u);
  EXPECT_GE(validation_set().size(), 24u);
  EXPECT_GE(holdout_set().size(), 30u);
  EXPECT_GE(second_holdout_set().size(), 30u);
  std::set<std::string_view> names;
  for (const auto* faults : all_sets())
    for (const EvaluationFault& fault : *faults) {
      EXPECT_TRUE(names.insert(fault.name()).second) << "twice: " << fault.name();
      EXPECT_EQ(faults::find_fault(fault.name()), nullptr) << fault.name() << " is a catalog fault";
      EXPECT_FALSE(fault.fault.models.empty() || fault.mechanism.empty()) << fault.name();
      EXPECT_NE(fault.fault.op, Op::invalid) << fault.name();
      for (std::string_view accepted : fault.accepted)
        EXPECT_NE(faults::find_fault(accepted), nullptr) << fault.name() << " accepts unknown " << accepted;
    }
}

// One instruction of kind `op` on a random state: registers drawn from
// values that sit on boundaries as often as not, memory operands in RAM and
// aligned for their width (so a lane mistake shows rather than a trap).
struct Trial {
  uint32_t word = 0;
  std::array<uint32_t, 32> regs{};
  uint32_t hi = 0, lo = 0;
};

uint32_t draw(uint64_t& state) {
  state = state * 6364136223846793005u + 1442695040888963407u;
  const uint32_t bits = uint32_t(state >> 32);
  static constexpr std::array<uint32_t, 8> kEdges{0, 1, 0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 0x8000, 0xFFFF, 0x40000000};
  return (bits & 3) == 0 ? kEdges[(bits >> 2) & 7] : bits * 0x9E3779B1u;
}

Trial trial_for(Op op, uint64_t& state) {
  Trial trial;
  for (uint32_t& reg : trial.regs) reg = draw(state);
  trial.regs[0] = 0;
  trial.hi = draw(state), trial.lo = draw(state);
  isa::Fields fields;
  fields.rs = 8, fields.rt = 9, fields.rd = draw(state) & 1 ? 10 : 9;
  fields.sa = draw(state) & 31;
  fields.imm = static_cast<uint16_t>(draw(state));
  fields.target = draw(state) & 0xFFFF;
  const isa::OpInfo& info = isa::info(op);
  if (info.attributes.memory != isa::MemoryAccess::none) {
    const bool unaligned = op == Op::lwl || op == Op::lwr || op == Op::swl || op == Op::swr;
    const uint32_t misalignment = unaligned ? 0 : info.attributes.width - 1u;
    trial.regs[8] = layout::kRamBase + 0x100 + 4 * (draw(state) & 7);
    fields.imm = static_cast<uint16_t>(draw(state) & 3 & ~misalignment);
  }
  trial.word = isa::encode(op, fields);
  return trial;
}

// Everything an instruction can change.
struct After {
  std::array<uint32_t, 32> regs;
  uint32_t hi, lo, next_pc, after_next;
  std::optional<sim::Cause> cause;
  std::array<uint32_t, 12> ram;
  bool operator==(const After&) const = default;
};

After run_once(const sim::Fault& fault, const Trial& trial) {
  sim::Bus bus(std::vector<uint8_t>(0x1000, 0));
  bus.reset(1);
  sim::Cpu cpu(bus);
  cpu.regs = trial.regs, cpu.hi = trial.hi, cpu.lo = trial.lo;
  cpu.pc = layout::kResetVector + 0x800, cpu.next_pc = cpu.pc + 4, cpu.after_next = cpu.pc + 8;
  const sim::Decoded decoded = sim::decode_at(trial.word, cpu.pc);
  if (fault.semantics) fault.semantics(cpu, decoded);
  else sim::execute_normal(cpu, decoded);
  After after{cpu.regs, cpu.hi, cpu.lo, cpu.next_pc, cpu.after_next, {}, {}};
  if (cpu.exception) after.cause = cpu.exception->cause;
  for (size_t i = 0; i < after.ram.size(); ++i)
    bus.read(layout::kRamBase + 0x100 + 4 * uint32_t(i), sim::Width::word, after.ram[i]);
  return after;
}

// Two faults of one instruction kind with the same pipeline disturbance are
// the same fault unless their semantics differ somewhere.
// A fault confined to one routine's cases is compared where it acts: every
// routine of this shape spans the trial's pc.
bool behave_alike(const faults::CatalogFault& one, const faults::CatalogFault& other) {
  if (one.op != other.op) return false;
  faults::ImageShape shape;
  shape.routines.assign(layout::kRoutineCount, {layout::kResetVector, 0x10000});
  const sim::Fault a = one.make(shape), b = other.make(shape);
  if (a.op != b.op || a.effect != b.effect || a.latency != b.latency || a.hazard != b.hazard) return false;
  if (!a.semantics && !b.semantics) return true;
  uint64_t state = 0x5EED;
  for (int i = 0; i < 4000; ++i) {
    const Trial trial = trial_for(a.op, state);
    if (!(run_once(a, trial) == run_once(b, trial))) return false;
  }
  return true;
}

TEST(EvaluationSet, NoFaultBehavesLikeACatalogFault) {
  for (const EvaluationFault& fault : set())
    for (const faults::CatalogFault& known : faults::catalog())
      EXPECT_FALSE(behave_alike(fault.fault, known)) << fault.name() << " behaves like " << known.name;
}

// A later set would measure nothing new if one of its faults were a catalog
// fault, a fault of an earlier set or another of its own under a new name.
void expect_no_fault_behaves_like_another(size_t later) {
  const std::vector<EvaluationFault>& mistakes = *all_sets().at(later);
  for (size_t i = 0; i < mistakes.size(); ++i) {
    const EvaluationFault& fault = mistakes[i];
    for (const faults::CatalogFault& known : faults::catalog())
      EXPECT_FALSE(behave_alike(fault.fault, known)) << fault.name() << " behaves like " << known.name;
    for (size_t earlier = 0; earlier < later; ++earlier)
      for (const EvaluationFault& other : *all_sets()[earlier])
        EXPECT_FALSE(behave_alike(fault.fault, other.fault)) << fault.name() << " behaves like " << other.name();
    for (size_t j = i + 1; j < mistakes.size(); ++j)
      EXPECT_FALSE(behave_alike(fault.fault, mistakes[j].fault)) << fault.name() << " behaves like " << mistakes[j].name();
  }
}

TEST(EvaluationSet, NoValidationFaultBehavesLikeAnotherFault) { expect_no_fault_behaves_like_another(1); }
TEST(EvaluationSet, NoHoldoutFaultBehavesLikeAnotherFault) { expect_no_fault_behaves_like_another(2); }
TEST(EvaluationSet, NoSecondHoldoutFaultBehavesLikeAnotherFault) { expect_no_fault_behaves_like_another(3); }

faults::ImageShape shape_spanning_trials() {
  faults::ImageShape shape;
  shape.routines.assign(layout::kRoutineCount, {layout::kResetVector, 0x10000});
  return shape;
}
sim::Fault right_instruction(Op op) {
  return {op, [](sim::Cpu& c, const sim::Decoded& d) { sim::execute_normal(c, d); }};
}

// A mistake whose semantics match the right instruction's on every trial
// measures nothing however the images are built: each must change what its
// instruction does (a pipeline disturbance changes it by its effect).
TEST(EvaluationSet, EveryMistakeChangesWhatItsInstructionDoes) {
  for (const auto* faults : all_sets())
    for (const EvaluationFault& fault : *faults) {
      const sim::Fault made = fault.fault.make(shape_spanning_trials());
      if (!made.semantics) continue;
      uint64_t state = 0x5EED;
      bool differs = false;
      for (int i = 0; i < 4000 && !differs; ++i) {
        const Trial trial = trial_for(made.op, state);
        differs = !(run_once(made, trial) == run_once(right_instruction(made.op), trial));
      }
      EXPECT_TRUE(differs) << fault.name() << " does what the right instruction does";
    }
}

const EvaluationFault& holdout_fault(std::string_view name) {
  for (const auto* held_out : {&holdout_set(), &second_holdout_set()})
    for (const EvaluationFault& fault : *held_out)
      if (fault.name() == name) return fault;
  throw std::out_of_range(std::string(name));
}

// The held-out arithmetic and decision mistakes go wrong on exactly the
// operands their Verilog says, told from the operands alone ($8 is rs, $9 rt):
// a fix-up term left out shows only when that term is not zero, a quotient
// sign only for a negative divisor, HI only where it differs from the
// quotient (all ones for a zero divisor), a zero detector of 16 bits only for a
// positive value with a zero low half, a remainder left positive only when it
// is negative, a fill bit from the amount register only when the two sign
// bits differ and the amount is not zero, a sign read off bit 15 only where
// bit 15 and bit 31 differ, a <= condition only on zero.
TEST(EvaluationSet, HoldoutMistakesGoWrongWhereTheirVerilogSays) {
  using Wrong = bool (*)(int32_t rs, int32_t rt, uint32_t urs, uint32_t urt);
  const std::vector<std::pair<std::string_view, Wrong>> claims{
      {"mult-sign-fix-misses-rt-term", [](int32_t rs, int32_t rt, uint32_t, uint32_t) { return rt < 0 && rs != 0; }},
      {"div-quotient-sign-from-dividend",
       [](int32_t rs, int32_t rt, uint32_t, uint32_t) {
         const int64_t n = rs, m = rt;
         return m < 0 && (n < 0 ? -n : n) >= -m && !(rs == INT32_MIN && rt == -1);
       }},
      {"divu-quotient-into-hi",
       [](int32_t, int32_t, uint32_t x, uint32_t y) { return y == 0 ? x != 0xFFFFFFFF : x % y != x / y; }},
      {"blez-zero-detect-low-half", [](int32_t rs, int32_t, uint32_t x, uint32_t) { return rs > 0 && !(x & 0xFFFF); }},
      {"bne-compares-with-zero", [](int32_t, int32_t, uint32_t x, uint32_t y) { return (x != 0) != (x != y); }},
      {"div-remainder-sign-not-fixed",
       [](int32_t rs, int32_t rt, uint32_t, uint32_t) { return rs < 0 && rt != 0 && rt != -1 && rs % rt != 0; }},
      {"srav-fill-from-rs-sign",
       [](int32_t, int32_t, uint32_t x, uint32_t y) { return (x & 31) != 0 && (x >> 31) != (y >> 31); }},
      {"bgtz-sign-from-bit15", [](int32_t, int32_t, uint32_t x, uint32_t) { return (x >> 31) != (x >> 15 & 1); }},
      {"bltzal-taken-on-zero", [](int32_t rs, int32_t, uint32_t, uint32_t) { return rs == 0; }},
  };
  for (const auto& [name, wrong] : claims) {
    const sim::Fault made = holdout_fault(name).fault.make(shape_spanning_trials());
    uint64_t state = 0xC1A1;
    int wrong_trials = 0;
    for (int i = 0; i < 4000; ++i) {
      const Trial trial = trial_for(made.op, state);
      // A branch of offset 1 lands where it would fall through: taken or not look alike.
      const isa::Format format = isa::info(made.op).format;
      const bool branch = format == isa::Format::BranchCompare || format == isa::Format::BranchZero ||
                          format == isa::Format::BranchRegimm;
      if (branch && uint16_t(trial.word) == 1) continue;
      const uint32_t x = trial.regs[8], y = trial.regs[9];
      const bool expected = wrong(int32_t(x), int32_t(y), x, y);
      wrong_trials += expected;
      EXPECT_EQ(!(run_once(made, trial) == run_once(right_instruction(made.op), trial)), expected)
          << name << " with rs " << x << ", rt " << y;
    }
    EXPECT_GT(wrong_trials, 40) << name;
  }
}

// The held-out merge and lane mistakes go wrong on the byte lanes their
// Verilog says and never on the others: enables shifted the wrong way are
// right only for an aligned swr, unshifted data only when swl's lane is 3, a
// merge select of addr[0] only when addr[1] is set, a byte enable one lane up
// on every lane.
TEST(EvaluationSet, HoldoutLaneMistakesGoWrongOnTheirLanes) {
  const std::vector<std::pair<std::string_view, std::set<uint32_t>>> claims{
      {"swr-enables-shifted-right", {1, 2, 3}},
      {"swl-data-not-shifted", {0, 1, 2}},
      {"lwl-lane-from-bit0", {2, 3}},
      {"sb-enable-next-lane", {0, 1, 2, 3}},
  };
  for (const auto& [name, wrong_lanes] : claims) {
    const sim::Fault made = holdout_fault(name).fault.make(shape_spanning_trials());
    uint64_t state = 0x1A4E;
    std::array<int, 4> trials{}, wrong{};
    for (int i = 0; i < 4000; ++i) {
      const Trial trial = trial_for(made.op, state);
      const uint32_t lane = (trial.regs[8] + uint32_t(int16_t(trial.word))) & 3;
      ++trials[lane];
      wrong[lane] += !(run_once(made, trial) == run_once(right_instruction(made.op), trial));
    }
    for (uint32_t lane = 0; lane < 4; ++lane) {
      if (wrong_lanes.contains(lane)) {
        EXPECT_GT(wrong[lane], trials[lane] * 9 / 10) << name << " on lane " << lane;
      } else {
        EXPECT_EQ(wrong[lane], 0) << name << " on lane " << lane;
      }
    }
  }
}

// The comparison above can tell faults apart: a catalog fault behaves like
// itself, and two catalog faults of one instruction kind do not.
TEST(EvaluationSet, TheBehaviourComparisonSeesDifferences) {
  const faults::CatalogFault& sra = *faults::find_fault("sra-zero-fills");
  EXPECT_TRUE(behave_alike(sra, sra));
  EXPECT_FALSE(behave_alike(*faults::find_fault("lb-zero-extends"), *faults::find_fault("lb-big-endian-lanes")));
  EXPECT_FALSE(behave_alike(*faults::find_fault("slt-unsigned"), *faults::find_fault("slt-sign-of-difference")));
}

const Evaluation& measured() {
  static const Evaluation evaluation = evaluate(set(), test::default_image(), test::supplement_image(), 2);
  return evaluation;
}
const Evaluation& measured_validation() {
  static const Evaluation evaluation = evaluate(validation_set(), test::default_image(), test::supplement_image(), 2);
  return evaluation;
}

void expect_each_classified_once(const std::vector<EvaluationFault>& mistakes, const Evaluation& evaluation) {
  ASSERT_TRUE(evaluation.main_baseline_passed && evaluation.supplement_baseline_passed);
  ASSERT_EQ(evaluation.rows.size(), mistakes.size());
  for (size_t i = 0; i < mistakes.size(); ++i) {
    const Row& row = evaluation.rows[i];
    EXPECT_EQ(row.fault, &mistakes[i]);
    for (const ImageKind kind : {ImageKind::main, ImageKind::supplement}) {
      const Seen& seen = row.on(kind);
      EXPECT_GT(seen.run.instructions, 0u) << row.fault->name();
      // A run that reached the end loop with failures is always answered; one
      // that stopped short only when the display shows the routine it stopped in.
      const bool answered = !seen.answer.ranked.empty();
      const bool finished = seen.run.stop == sim::StopReason::Finished;
      if ((finished && seen.run.failed.empty()) || (!finished && !seen.run.stopped_in())) {
        EXPECT_FALSE(answered) << row.fault->name();
      }
      if (finished && !seen.run.failed.empty()) {
        EXPECT_TRUE(answered) << row.fault->name();
      }
      // The rank is the first accepted answer's place, and the outcome follows from it.
      const size_t before = seen.rank ? seen.rank - 1 : seen.answer.ranked.size();
      for (size_t k = 0; k < before; ++k) EXPECT_FALSE(row.fault->accepts(seen.answer.ranked[k])) << row.fault->name();
      if (seen.rank) {
        EXPECT_TRUE(row.fault->accepts(seen.answer.ranked.at(seen.rank - 1))) << row.fault->name();
      }
      const Outcome expected = !answered && seen.run.stop != sim::StopReason::Finished ? Outcome::stopped
                               : !answered                                             ? Outcome::no_failure
                               : seen.rank == 1                                        ? Outcome::first
                               : seen.rank == 2 || seen.rank == 3                      ? Outcome::top_three
                                                                                       : Outcome::wrong;
      EXPECT_EQ(seen.outcome, expected) << row.fault->name();
    }
    // A fault neither image sees says why, and one that says so is not seen.
    const bool seen_somewhere = !row.main.run.passed() || !row.supplement.run.passed();
    EXPECT_EQ(seen_somewhere, row.fault->unseen.empty()) << row.fault->name();
  }
}

TEST(EvaluationFigures, EveryFaultRunsOnBothImagesAndIsClassifiedOnce) {
  expect_each_classified_once(set(), measured());
}
TEST(EvaluationFigures, EveryValidationFaultRunsOnBothImagesAndIsClassifiedOnce) {
  expect_each_classified_once(validation_set(), measured_validation());
}

TEST(EvaluationFigures, EveryHoldoutFaultRunsOnBothImagesAndIsClassifiedOnce) {
  for (const auto* held_out : {&holdout_set(), &second_holdout_set()})
    expect_each_classified_once(*held_out, evaluate(*held_out, test::default_image(), test::supplement_image(), 2));
}

TEST(EvaluationFigures, TheCountsAddUp) {
  const Evaluation& evaluation = measured();
  for (const ImageKind kind : {ImageKind::main, ImageKind::supplement}) {
    const Accuracy& a = kind == ImageKind::main ? evaluation.on_main : evaluation.on_supplement;
    EXPECT_EQ(a.faults, set().size());
    EXPECT_EQ(a.answered + a.no_failure + a.stopped, a.faults);
    EXPECT_LE(a.first, a.top_three);
    EXPECT_LE(a.top_three, a.answered);
    size_t first = 0, top_three = 0, answered = 0;
    for (const Row& row : evaluation.rows) {
      const Seen& seen = row.on(kind);
      first += seen.rank == 1;
      top_three += seen.rank >= 1 && seen.rank <= 3;
      answered += !seen.answer.ranked.empty();
    }
    EXPECT_EQ(a.first, first);
    EXPECT_EQ(a.top_three, top_three);
    EXPECT_EQ(a.answered, answered);
  }
}

// Both images' words together, and the trace's first divergence, are judged
// the same way: the rank is the first answer that names the mechanism.
TEST(EvaluationFigures, JointAndTraceAnswersAreJudgedByTheirRank) {
  const Evaluation& evaluation = measured();
  const Accuracy both = accuracy_of(evaluation.rows, &Row::both);
  EXPECT_EQ(both.answered + both.no_failure + both.stopped, set().size());
  size_t traced = 0;
  for (const Row& row : evaluation.rows) {
    if (!row.both.answer.ranked.empty()) {
      EXPECT_EQ(row.both.rank == 1, row.both.outcome == Outcome::first) << row.fault->name();
      if (row.both.rank) {
        EXPECT_TRUE(names_mechanism(*row.fault, row.both.answer.ranked[row.both.rank - 1]));
      }
    }
    // The trace's answer for the first few faults that fail on the main image.
    if (traced == 3 || row.main.outcome == Outcome::no_failure || row.main.outcome == Outcome::stopped) continue;
    ++traced;
    const Answer answer = diagnose_trace_of(*row.fault, test::default_image(), test::supplement_image(),
                                            row.main.run, row.supplement.run);
    ASSERT_FALSE(answer.ranked.empty()) << row.fault->name();
    const Seen seen = judge_answer(*row.fault, answer, Outcome::no_failure);
    EXPECT_NE(seen.outcome, Outcome::no_failure) << row.fault->name();
    EXPECT_EQ(seen.rank == 1, seen.outcome == Outcome::first) << row.fault->name();
  }
  EXPECT_EQ(traced, 3u);
}

// Where `name` is printed as a whole word (ori-sign-extends is also the
// start of ori-sign-extends-some), or npos.
size_t printed_at(const std::string& text, std::string_view name) {
  const auto part_of_name = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; };
  for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
    const size_t end = at + name.size();
    if ((at == 0 || !part_of_name(text[at - 1])) && (end == text.size() || !part_of_name(text[end]))) return at;
  }
  return std::string::npos;
}

// The figures measure the command a user runs: fed a fault's display words,
// diagnose prints the evaluation's first three answers, in that order.
TEST(EvaluationFigures, AnswersAreTheDiagnoseCommands) {
  for (const ImageKind kind : {ImageKind::main, ImageKind::supplement}) {
    int checked = 0;
    for (const Row& row : measured().rows) {
      const Seen& seen = row.on(kind);
      if (seen.answer.ranked.empty() || checked == 3) continue;
      std::string words = "0";
      for (uint32_t word : seen.run.display_words) words += "," + std::to_string(word);
      const auto result = test::run_command(std::string(R3K_TOOL_PATH) + " diagnose --display " + words +
                                            (kind == ImageKind::supplement ? " --supplement" : ""));
      ASSERT_EQ(result.exit_code, 0) << result.err;
      size_t previous = 0;
      for (size_t k = 0; k < std::min<size_t>(3, seen.answer.ranked.size()); ++k) {
        const size_t at = printed_at(result.out, seen.answer.ranked[k]);
        ASSERT_NE(at, std::string::npos) << row.fault->name() << ": " << seen.answer.ranked[k] << "\n" << result.out;
        EXPECT_GT(at, previous) << row.fault->name() << ": " << seen.answer.ranked[k] << "\n" << result.out;
        previous = at;
      }
      ++checked;
    }
    EXPECT_EQ(checked, 3) << faults::image_name(kind);
  }
}

}  // namespace
}  // namespace r3k::evaluation
