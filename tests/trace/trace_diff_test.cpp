// trace-diff against traces with known faults: the reference's own trace
// changed at one line, cut short, in key=value shape, and written by a
// reference processor with an injected fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "image/case_index.h"
#include "isa/isa.h"
#include "sim/semantics.h"
#include "support/image_run.h"
#include "trace/trace_support.h"

namespace r3k::test {
namespace {

using Verdict = trace::DiffOutcome::Verdict;

// The routine and case of an address of the default image, as a report names them.
std::string place_of(uint32_t pc) { return describe_place(find_place(default_image(), pc)); }

uint32_t pc_of_line(const std::string& line) { return static_cast<uint32_t>(std::stoul(line.substr(0, 8), nullptr, 16)); }

// The 1-based line of the golden trace where `needle` first occurs after `from`.
size_t find_line(const std::string& needle, size_t from = 1) {
  const std::vector<std::string>& lines = golden_trace();
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i].find(needle) != std::string::npos) return i + 1;
  ADD_FAILURE() << "no line with " << needle;
  return 0;
}

TEST(TraceDiff, TheReferenceTraceMatchesItself) {
  const trace::DiffOutcome outcome = diff_text(join_lines(golden_trace()));
  EXPECT_EQ(outcome.verdict, Verdict::match) << outcome.reason;
  EXPECT_EQ(outcome.stop, sim::StopReason::Finished);
  EXPECT_EQ(outcome.compared, run_default_image().result.instructions);
  EXPECT_EQ(outcome.routines_covered, 68u);
}

// One value, one address or one store changed at a chosen line: exactly that
// line is reported, at its routine and case, with the eight lines before it.
TEST(TraceDiff, OneChangedLineIsReportedWithItsPlace) {
  struct Change {
    const char* what;
    size_t line;  // 1-based
    std::string (*change)(std::string);
  };
  const auto flip_last_digit = [](std::string line) {
    line.back() = line.back() == '0' ? '1' : '0';
    return line;
  };
  const auto other_address = [](std::string line) {
    line[6] = line[6] == '0' ? '4' : '0';
    return line;
  };
  const Change changes[] = {
      {"register value in lui", find_line(" 3c08"), flip_last_digit},
      {"register value deep in the run", find_line("$v0=", 60000), flip_last_digit},
      {"address", find_line(" ", 90000), other_address},
      {"store value", find_line("]w=", 100000), flip_last_digit},
      {"byte store", find_line("]b=", 1), flip_last_digit},
      {"HI/LO", find_line(" lo=", 1), flip_last_digit},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    std::vector<std::string> lines = golden_trace();
    const std::string original = lines[change.line - 1];
    lines[change.line - 1] = change.change(original);
    const trace::DiffOutcome outcome = diff_text(join_lines(lines));
    ASSERT_EQ(outcome.verdict, Verdict::divergence) << outcome.reason;
    EXPECT_EQ(outcome.design.number, change.line);
    EXPECT_EQ(outcome.design.text, lines[change.line - 1]);
    EXPECT_EQ(sim::format_trace_record(outcome.expected), original);
    ASSERT_EQ(outcome.differences.size(), 1u);
    ASSERT_EQ(outcome.agreed.size(), 8u);
    EXPECT_EQ(outcome.agreed.back().design_line, change.line - 1);
    EXPECT_EQ(sim::format_trace_record(outcome.agreed.front().record), lines[change.line - 9]);
    EXPECT_NE(place_of(outcome.expected.pc), "");
  }
}

TEST(TraceDiff, ACutEmptyOrGarbledTraceIsNoVerdict) {
  std::vector<std::string> lines = golden_trace();
  lines.resize(lines.size() / 2);
  trace::DiffOutcome outcome = diff_text(join_lines(lines));
  EXPECT_EQ(outcome.verdict, Verdict::design_ended);
  EXPECT_EQ(outcome.compared, lines.size() - 1);
  EXPECT_NE(outcome.reason.find("ends after line " + std::to_string(lines.size())), std::string::npos) << outcome.reason;

  EXPECT_EQ(diff_text("").verdict, Verdict::design_ended);
  EXPECT_EQ(diff_text("r3kcheck-trace 1\n# nothing ran\n").verdict, Verdict::design_ended);

  lines = golden_trace();
  lines[500] = "bfc0zz00 00000000";
  outcome = diff_text(join_lines(lines));
  EXPECT_EQ(outcome.verdict, Verdict::unreadable);
  EXPECT_EQ(outcome.reason.rfind("line 501: ", 0), 0u) << outcome.reason;
  EXPECT_EQ(diff_text("r3kcheck-trace 2\n").verdict, Verdict::unreadable);
  // The end loop's own lines after the end are the design's business.
  EXPECT_EQ(diff_text(join_lines(golden_trace()) + "bfc00100 1000ffff\n").verdict, Verdict::match);
}

// Each odd trace is no verdict at the line that holds the oddity, and the
// reason quotes that line only as a short escaped excerpt.
TEST(TraceDiff, CutLongAndControlCharacterLinesAreUnreadableWithAShortReason) {
  const std::string whole = join_lines(golden_trace());
  // Cut inside the writes of a line: what is left of it still reads as a line.
  const size_t write = whole.find(" $t0=", whole.size() / 2);
  const std::string cut = whole.substr(0, write + 7);
  const size_t cut_line = static_cast<size_t>(std::count(cut.begin(), cut.end(), '\n')) + 1;
  const std::string head = join_lines({golden_trace()[0], golden_trace()[1]});
  const struct {
    std::string text, reason;
  } cases[] = {
      {cut, "line " + std::to_string(cut_line) + ": the trace ends inside this line"},
      {head + std::string(100000, '7') + "\n", "line 3: longer than 65536 bytes"},
      {head + std::string(1 << 17, 'z'), "line 3: longer than 65536 bytes"},
      {head + "\x1b]0;title\x07 bfc00008\n", "line 3: expected an address in hex, found '\\x1b]0;title\\x07'"},
      {head + "bfc00008 3c08" + std::string(1, '\0') + "8000\n", "found '3c08\\x008000'"},
  };
  for (const auto& [text, reason] : cases) {
    SCOPED_TRACE(reason);
    const trace::DiffOutcome outcome = diff_text(text);
    EXPECT_EQ(outcome.verdict, Verdict::unreadable);
    EXPECT_NE(outcome.reason.find(reason), std::string::npos) << outcome.reason.substr(0, 300);
    EXPECT_LT(outcome.reason.size(), 250u);
    EXPECT_TRUE(std::none_of(outcome.reason.begin(), outcome.reason.end(), [](char c) {
      return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F;
    }));
  }
}

// A trailing "# note" is a comment in either shape, also one that holds a key.
TEST(TraceDiff, TrailingCommentsAreIgnored) {
  std::vector<std::string> lines = golden_trace();
  for (size_t i = 1; i < lines.size(); i += 97) lines[i] += "  # pc=00000000 $t0=1";
  EXPECT_EQ(diff_text(join_lines(lines)).verdict, Verdict::match);
  // A comment on every other line, copied in one pass (inserting in place
  // moves the rest of a 4 MB text each time).
  const std::string plain = key_value_trace(golden_trace());
  std::string text;
  text.reserve(plain.size() + plain.size() / 4);
  size_t from = 0, line = 0;
  for (size_t at = plain.find('\n'); at != std::string::npos; from = at, at = plain.find('\n', at + 1))
    text.append(plain, from, at - from).append(line++ % 2 == 0 ? " # pc=0" : "");
  text.append(plain, from, std::string::npos);
  const trace::DiffOutcome outcome = diff_text(text, trace::parse_key_map("pc=pc,word=op,reg=rd,value=val"));
  EXPECT_EQ(outcome.verdict, Verdict::match) << outcome.reason;
}

TEST(TraceDiff, KeyValueLinesWithMappedKeysBehaveTheSame) {
  const trace::TraceKeys keys = trace::parse_key_map("pc=pc,word=op,reg=rd,value=val");
  const std::string text = key_value_trace(golden_trace());
  trace::DiffOutcome outcome = diff_text(text, keys);
  EXPECT_EQ(outcome.verdict, Verdict::match) << outcome.reason;
  EXPECT_EQ(outcome.compared, golden_trace().size() - 1);

  // Only the writes, with --writes-only.
  outcome = diff_text(key_value_trace(golden_trace(), true), keys, true);
  EXPECT_EQ(outcome.verdict, Verdict::match) << outcome.reason;
  EXPECT_EQ(outcome.routines_covered, 68u);
  EXPECT_EQ(diff_text(key_value_trace(golden_trace(), true), keys).verdict, Verdict::divergence);

  // A value changed: reported at that line of the key=value file.
  std::string changed = text;
  size_t at = changed.find(" val=", changed.size() / 3);
  while (changed.compare(changed.rfind(" rd=", at), 7, " rd=00 ") == 0) at = changed.find(" val=", at + 1);
  const size_t end = changed.find('\n', at);
  changed[end - 1] = changed[end - 1] == '0' ? '1' : '0';
  outcome = diff_text(changed, keys);
  ASSERT_EQ(outcome.verdict, Verdict::divergence);
  EXPECT_EQ(outcome.design.number, static_cast<uint64_t>(std::count(changed.begin(), changed.begin() + static_cast<long>(end), '\n') + 1));
  EXPECT_NE(outcome.differences.at(0).find("value written"), std::string::npos) << outcome.differences[0];

  // Only the pc: addresses alone are compared; a bad number stops the diff.
  outcome = diff_text(text, trace::parse_key_map("pc=pc"));
  EXPECT_EQ(outcome.verdict, Verdict::match);
  EXPECT_EQ(diff_text("x pc=bfc00000 rd=20\n", keys).verdict, Verdict::unreadable);
  EXPECT_EQ(diff_text("x pc=bfc00000 rd=32\n", keys).verdict, Verdict::unreadable);
  EXPECT_EQ(diff_text("no pc key here\n", keys).verdict, Verdict::design_ended);
}

// A processor with one faulty instruction writes its trace; the diff against
// the correct image names the first instruction whose line the fault changed,
// in the routine the fault is aimed at.
TEST(TraceDiff, AFaultyProcessorsTraceDivergesAtTheFirstChangedInstruction) {
  using isa::Op;
  using sim::Cpu;
  using sim::Decoded;
  struct FaultRow {
    const char* name;
    const char* routine;
    sim::Fault fault;
  };
  const FaultRow rows[] = {
      {"slt compares unsigned", "n8_slt_test",
       {Op::slt, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, c.reg(d.rs) < c.reg(d.rt)); }}},
      {"sltiu compares signed", "n10_sltiu_test",
       {Op::sltiu, [](Cpu& c, const Decoded& d) { c.set_reg(d.rt, int32_t(c.reg(d.rs)) < int32_t(d.imm)); }}},
      {"sb writes the byte one lane up", "n65_sb_test",
       {Op::sb, [](Cpu& c, const Decoded& d) { c.store(c.reg(d.rs) + d.imm + 1, sim::Width::byte, c.reg(d.rt)); }}},
      {"slti also writes $at", "n9_slti_test",
       {Op::slti, [](Cpu& c, const Decoded& d) {
          sim::execute_normal(c, d);
          c.set_reg(isa::at, 0x5A5A5A5A);
        }}},
  };
  for (const FaultRow& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<std::string> faulty = trace_lines(default_image(), row.fault);
    const std::vector<std::string>& golden = golden_trace();
    size_t first = 0;
    while (first < faulty.size() && first < golden.size() && faulty[first] == golden[first]) ++first;
    ASSERT_LT(first, golden.size());
    const trace::DiffOutcome outcome = diff_text(join_lines(faulty));
    ASSERT_EQ(outcome.verdict, Verdict::divergence);
    EXPECT_EQ(outcome.design.number, first + 1);
    EXPECT_EQ(outcome.expected.pc, pc_of_line(golden[first]));
    const Place place = find_place(default_image(), outcome.expected.pc);
    ASSERT_NE(place.routine, nullptr);
    EXPECT_EQ(place.routine->name, row.routine);
    EXPECT_NE(place.test_case, nullptr);
    // A store's line shows the store the instruction asks for, so a store
    // fault shows first where the wrong bytes are read back.
    if (row.fault.op != Op::sb) {
      EXPECT_EQ(isa::decode(outcome.expected.word), row.fault.op);
    }
  }
}

}  // namespace
}  // namespace r3k::test
