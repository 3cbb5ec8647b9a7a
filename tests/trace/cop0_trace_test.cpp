// The commit trace of a program that handles its exceptions: each exception
// line gives epc (and ce for CpU), mtc0 and rfe show the Status or Cause they
// leave, and trace-diff reads all of it back and notices a change to any.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "sim/cop0_program.h"
#include "sim/trace.h"
#include "trace/trace_diff.h"

namespace r3k::sim::test {
namespace {

using status::kBEV;

// syscall; a delay-slot break; mtc0 of Status; a CpU; an interrupt.
Program traced_program() {
  Program p;
  p.emit(Op::syscall, {});
  p.branch(Op::beq, zero, zero, 1).emit(Op::break_, {});
  p.nop();
  p.li(t0, kBEV | 0x100);
  mtc0(p, t0, isa::kStatus);
  p.word(0x48000000);  // mfc2: CpU, unit 2
  p.li(t0, 0x100);
  mtc0(p, t0, isa::kCause);
  p.li(t0, kBEV | 0x100 | status::kIEc);
  p.emit(Op::mtc0, {.rt = t0, .rd = isa::kStatus});
  p.nop();  // the interrupt comes before this one
  return p.finish();
}

std::string trace_of(Machine& machine, const RunOptions& options) {
  std::string text;
  TraceWriter writer([&](const char* bytes, size_t size) { text.append(bytes, size); });
  const RunResult result = machine.run(options, writer);
  writer.finish(result);
  return text;
}

trace::DiffOutcome diff(Machine& machine, const RunOptions& options, const std::string& text) {
  std::FILE* file = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  trace::DesignTrace design(file, std::nullopt);
  trace::DiffOptions diff_options;
  diff_options.run = options;
  trace::DiffOutcome outcome = trace::diff_trace(machine, design, diff_options);
  std::fclose(file);
  return outcome;
}

// Each exception handled in turn (the handler returns past it): the lines of
// the delay-slot break (epc the branch), the CpU, the Status and Cause writes
// and the interrupt.
TEST(Cop0Trace, HandledExceptionsAndWritesAreDiffedFieldByField) {
  const Program p = traced_program();
  Machine machine(with_handler(p, AfterHandler::return_past));
  RunOptions options;
  options.start_pc = p.base();
  options.max_instructions = 400;
  const std::string text = trace_of(machine, options);
  const uint32_t branch = p.base() + 4;
  char line[96];
  std::snprintf(line, sizeof line, "exception Bp pc=%08x epc=%08x\n", branch + 4, branch);
  EXPECT_NE(text.find(line), std::string::npos) << text;
  const uint32_t cpu_at = p.base() + 4 * 8;
  std::snprintf(line, sizeof line, "exception CpU pc=%08x ce=2 epc=%08x\n", cpu_at, cpu_at);
  EXPECT_NE(text.find(line), std::string::npos) << text;
  EXPECT_NE(text.find(" c0_sr=00400100\n"), std::string::npos) << text;
  // IP0 written; CE (2) and ExcCode (CpU) stay from the exception before.
  EXPECT_NE(text.find(" c0_cause=2000012c\n"), std::string::npos) << text;
  EXPECT_NE(text.find("exception Int pc="), std::string::npos) << text;
  ASSERT_EQ(diff(machine, options, text).verdict, trace::DiffOutcome::Verdict::match);

  // Each field changed on its own is a divergence.
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {" epc=" + std::string(line).substr(std::string(line).find("epc=") + 4, 8), " epc=00000000"},
           {" ce=2", " ce=1"},
           {" c0_sr=00400100", " c0_sr=00400000"},
           {" c0_cause=2000012c", " c0_cause=2000002c"}}) {
    SCOPED_TRACE(from);
    std::string changed = text;
    const size_t at = changed.find(from);
    ASSERT_NE(at, std::string::npos);
    changed.replace(at, from.size(), to);
    EXPECT_EQ(diff(machine, options, changed).verdict, trace::DiffOutcome::Verdict::divergence);
  }
  // A design trace that leaves epc out is not wrong for it.
  std::string without = text;
  for (size_t at; (at = without.find(" epc=")) != std::string::npos;) without.erase(at, 13);
  EXPECT_EQ(diff(machine, options, without).verdict, trace::DiffOutcome::Verdict::match);
  // Nor one whose tracer cannot see coprocessor 0's writes.
  const std::regex cop0_write(R"( c0_\w+=[0-9a-f]{8})");
  EXPECT_EQ(diff(machine, options, std::regex_replace(text, cop0_write, "")).verdict, trace::DiffOutcome::Verdict::match);
}

}  // namespace
}  // namespace r3k::sim::test
