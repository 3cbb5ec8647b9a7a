// A recorded control-flow divergence, a beq that is not taken although its
// operands are equal: trace-diff and the lock-step checker both name the
// branch, the equal values the reference held and where it went instead.
// A wrong value: both show what the reference's instruction read, and those
// values give the right result.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "cosim/cosim_support.h"
#include "support/image_run.h"
#include "trace/trace_support.h"

namespace r3k::test {
namespace {

// Steps the checker with the faulty processor's records up to its stop.
struct Stepper {
  r3k_cosim* checker;
  int result = R3K_COSIM_IN_STEP;
  bool operator()(const r3k_cosim_record& record, const sim::TraceRecord*, const sim::TraceRecord*) {
    return (result = r3k_cosim_step(checker, &record)) == R3K_COSIM_IN_STEP;
  }
};

// Steps a checker with the processor `fault` makes; its report at the stop.
std::string checker_report(const sim::Fault& fault) {
  const std::unique_ptr<r3k_cosim, void (*)(r3k_cosim*)> checker(open_checker(ImageKind::main), r3k_cosim_close);
  Stepper stepper{checker.get()};
  RetirementPort<Stepper> port(stepper);
  sim::Machine machine(default_image().boot_bytes());
  sim::RunOptions options;
  options.fault = fault;
  options.max_instructions = kImageRunLimit;
  port.run(machine, options);
  EXPECT_EQ(stepper.result, R3K_COSIM_MISMATCH);
  return r3k_cosim_report(checker.get());
}

TEST(Culprit, ABranchNotTakenOnEqualOperandsIsNamedWithItsValues) {
  const sim::Fault never_taken{isa::Op::beq, [](sim::Cpu&, const sim::Decoded&) {}};
  const trace::DiffOutcome outcome = diff_text(join_lines(trace_lines(default_image(), never_taken)));
  ASSERT_EQ(outcome.verdict, trace::DiffOutcome::Verdict::divergence);
  std::smatch m;
  const std::regex culprit(R"(record (\d+) at ([0-9a-f]{8}): beq (\$\w+), (\$\w+), 0x([0-9a-f]{8}) with (\$\w+) = (0x[0-9a-f]{8}), (\$\w+) = (0x[0-9a-f]{8}) is taken: the reference goes on at ([0-9a-f]{8}))");
  ASSERT_TRUE(std::regex_match(outcome.culprit, m, culprit)) << outcome.culprit;
  EXPECT_EQ(m[3], m[6]);
  EXPECT_EQ(m[4], m[8]);
  EXPECT_EQ(m[7], m[9]) << "the operands the reference held are equal";
  EXPECT_EQ(m[5], m[10]) << "it goes on at the branch's target";
  EXPECT_EQ(std::stoul(m[10], nullptr, 16), outcome.expected.pc);
  EXPECT_EQ(std::stoul(m[2], nullptr, 16) + 8, outcome.design.record.pc) << "the design went on after the delay slot";

  EXPECT_NE(checker_report(never_taken).find("  culprit:  " + outcome.culprit + "\n"), std::string::npos);
}

TEST(Culprit, AWrongValueShowsTheOperandsTheReferenceRead) {
  // The sources must be as they were before the instruction: summed, they
  // give the reference's result even where the destination is a source.
  const sim::Fault off_by_one{isa::Op::addu, [](sim::Cpu& cpu, const sim::Decoded& d) {
                                cpu.set_reg(d.rd, cpu.reg(d.rs) + cpu.reg(d.rt) + 1);
                              }};
  const trace::DiffOutcome outcome = diff_text(join_lines(trace_lines(default_image(), off_by_one)));
  ASSERT_EQ(outcome.verdict, trace::DiffOutcome::Verdict::divergence);
  std::smatch m;
  const std::regex culprit(R"(record \d+ at ([0-9a-f]{8}): addu \$\w+, (\$\w+), (\$\w+) read (\$\w+) = (0x[0-9a-f]{8})(, (\$\w+) = (0x[0-9a-f]{8}))?)");
  ASSERT_TRUE(std::regex_match(outcome.culprit, m, culprit)) << outcome.culprit;
  EXPECT_EQ(std::stoul(m[1], nullptr, 16), outcome.expected.pc);
  const uint32_t rs = static_cast<uint32_t>(std::stoul(m[5], nullptr, 16));
  const uint32_t rt = m[6].matched ? static_cast<uint32_t>(std::stoul(m[8], nullptr, 16)) : rs;  // addu x, y, y
  ASSERT_EQ(outcome.expected.reg_count, 1u);
  EXPECT_EQ(rs + rt, outcome.expected.regs[0].value);
  EXPECT_NE(checker_report(off_by_one).find("  culprit:  " + outcome.culprit + "\n"), std::string::npos);

  // HI is a source too.
  const sim::Fault low_for_high{isa::Op::mfhi, [](sim::Cpu& cpu, const sim::Decoded& d) { cpu.set_reg(d.rd, cpu.lo); }};
  const trace::DiffOutcome from_hi = diff_text(join_lines(trace_lines(default_image(), low_for_high)));
  ASSERT_EQ(from_hi.verdict, trace::DiffOutcome::Verdict::divergence);
  ASSERT_EQ(from_hi.expected.reg_count, 1u);
  char read[32];
  std::snprintf(read, sizeof read, " read hi = 0x%08x", from_hi.expected.regs[0].value);
  EXPECT_NE(from_hi.culprit.find(read), std::string::npos) << from_hi.culprit;
  EXPECT_NE(checker_report(low_for_high).find("  culprit:  " + from_hi.culprit + "\n"), std::string::npos);
}

}  // namespace
}  // namespace r3k::test
