// n19 forwards an addu's result into every instruction that reads a
// register. Checked by what the run does, not by what the code meant: each
// reader whose own operand skips the bypass fails the routine, and over two
// seeds the run's only reads within three instructions of a write are one
// per case, of $t0 from the addu, covering every operand the instruction
// table says is read at distances 1, 2 and 3.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <tuple>

#include "common/hex.h"
#include "faults/fault_kit.h"
#include "supplement/supplement.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using isa::Op;
using sim::PipelineEffect;

constexpr int kReaders = 19;

// Left out on purpose: a jump through the register (n11 covers it), a
// coprocessor register write.
bool left_out(Op op) { return op == Op::jr || op == Op::jalr || op == Op::mtc0; }

std::string show(const std::set<int>& routines) {
  std::string text;
  for (int n : routines) text += " " + std::to_string(n);
  return text;
}

// A core whose one instruction reads one operand without the bypass.
TEST(SupplementReaders, PerInstructionBypassFaultsThatPassTheOtherRoutinesFailOnlyN19) {
  const struct {
    Op op;
    PipelineEffect effect;
  } faults[] = {{Op::sb, PipelineEffect::stale_rt},
                {Op::bgez, PipelineEffect::stale_rs},
                {Op::sllv, PipelineEffect::stale_rs},
                {Op::subu, PipelineEffect::stale_rt}};
  for (const auto& f : faults) {
    const std::string name = std::string(isa::info(f.op).mnemonic) +
                             (f.effect == PipelineEffect::stale_rs ? " rs" : " rt");
    const test::ImageRun run = test::run_image(test::supplement_image(), faults::kit::disturb(f.op, f.effect));
    ASSERT_TRUE(run.finished()) << name << " stops at " << hex(run.result.pc);
    EXPECT_EQ(run.failed, std::set<int>{kReaders}) << name << " fails" << show(run.failed);
    EXPECT_TRUE(test::run_default_image(faults::kit::disturb(f.op, f.effect)).passed()) << name;
  }
}

TEST(SupplementReaders, EveryReadOperandWithoutItsBypassFailsN19) {
  int checked = 0;
  for (int i = 0; i < isa::kOpCount; ++i) {
    const Op op = Op(i);
    const isa::Reads reads = isa::info(op).reads;
    if (left_out(op)) continue;
    for (const auto& [read, effect] : {std::pair{reads.rs, PipelineEffect::stale_rs}, {reads.rt, PipelineEffect::stale_rt}}) {
      if (!read) continue;
      ++checked;
      const test::ImageRun run = test::run_image(test::supplement_image(), faults::kit::disturb(op, effect));
      const std::string name = std::string(isa::info(op).mnemonic) + (effect == PipelineEffect::stale_rs ? " rs" : " rt");
      ASSERT_TRUE(run.finished()) << name << " stops at " << hex(run.result.pc);
      EXPECT_TRUE(run.failed.contains(kReaders)) << name << " fails only" << show(run.failed);
    }
  }
  EXPECT_GT(checked, 70);
}

using Read = std::tuple<std::string, std::string, int>;  // mnemonic, "rs" or "rt", distance

// Follows routine 19's run: which registers the last three instructions
// wrote and by which word, and every read of one of them.
struct EarlyReads {
  EarlyReads(const Image& image, const RoutineInfo& routine) : routine(routine) {
    for (const CaseRecord& c : image.cases)
      if (c.routine == routine.number) cases[c.address] = &c;
  }
  const RoutineInfo& routine;
  std::map<uint32_t, const CaseRecord*> cases;  // by first word
  std::array<std::pair<int, uint32_t>, 3> written{};  // newest first: register (-1: none), the word that wrote it
  std::map<const CaseRecord*, std::vector<Read>> by_case;
  std::vector<std::string> problems;

  void on_instruction(const sim::Cpu& cpu, const sim::Decoded& d) {
    const std::optional<uint8_t> dest = sim::named_destination(d);
    if (cpu.pc >= routine.address && cpu.pc < routine.address + routine.size) watch(cpu.pc, d, dest);
    written = {std::pair{dest && !cpu.exception_raised ? int(*dest) : -1, d.word}, written[0], written[1]};
  }

  void watch(uint32_t pc, const sim::Decoded& d, std::optional<uint8_t> dest) {
    if (dest == 0 && d.word != 0) problems.push_back(hex(pc) + " writes $zero");
    const isa::Reads& reads = isa::info(d.op()).reads;
    const uint32_t producer = isa::encode(Op::addu, {.rs = isa::t3, .rt = isa::t4, .rd = isa::t0});
    for (const auto& [reads_it, reg, field] : {std::tuple{reads.rs, d.rs, "rs"}, std::tuple{reads.rt, d.rt, "rt"}})
      for (size_t back = 0; reads_it && reg != 0 && back < written.size(); ++back) {
        if (written[back].first != reg) continue;
        if (reg != isa::t0 || written[back].second != producer) {
          problems.push_back(hex(pc) + " reads $" + std::string(isa::reg_name(reg)) + " " + std::to_string(back + 1) + " after its write");
        } else {
          auto at = cases.upper_bound(pc);
          if (at == cases.begin()) problems.push_back(hex(pc) + " is before the first case");
          else by_case[std::prev(at)->second].push_back({std::string(isa::info(d.op()).mnemonic), field, int(back + 1)});
        }
        break;  // the newest write is the one read
      }
  }
};

TEST(SupplementReaders, OnlyEachCasesReaderReadsEarlyAndTheyCoverEveryReadOperandForTwoSeeds) {
  std::set<Read> expected;
  for (int i = 0; i < isa::kOpCount; ++i) {
    const isa::OpInfo& row = isa::info(Op(i));
    for (int distance = 1; distance <= 3 && !left_out(Op(i)); ++distance) {
      if (row.reads.rs) expected.insert({std::string(row.mnemonic), "rs", distance});
      if (row.reads.rt) expected.insert({std::string(row.mnemonic), "rt", distance});
    }
  }
  static const std::regex note(R"(addu -> (\w+) (rs|rt), distance (\d), \$t0)");
  for (const uint32_t seed : {kDefaultSeed, 0x2u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const Image image = supplement::build(seed);
    const RoutineInfo& routine = image.routines.at(kReaders - 1);
    ASSERT_EQ(routine.name, "n19_forward_every_reader_test");
    EarlyReads watcher(image, routine);
    const test::ImageRun run = test::run_image_observed(image, {}, watcher);
    ASSERT_TRUE(run.finished() && run.failed.empty() && run.display_words.size() == image.routines.size());
    EXPECT_TRUE(watcher.problems.empty()) << watcher.problems.size() << " problems, first " << watcher.problems.front();
    std::set<Read> done;
    for (const auto& [address, c] : watcher.cases) {
      const std::vector<Read>& reads = watcher.by_case[c];
      std::smatch m;
      ASSERT_TRUE(std::regex_match(c->note, m, note)) << c->note;
      ASSERT_EQ(reads.size(), 1u) << c->note;
      EXPECT_EQ(reads.front(), Read(m[1], m[2], std::stoi(m[3]))) << "the case does what its note says";
      EXPECT_TRUE(done.insert(reads.front()).second) << c->note << " twice";
    }
    EXPECT_EQ(done, expected);
  }
}

}  // namespace
}  // namespace r3k
