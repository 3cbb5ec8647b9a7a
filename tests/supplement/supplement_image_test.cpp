// The supplementary image: it passes on the reference simulator for three
// seeds, keeps the board protocol's fixed addresses, its report path has no
// read right after a write, and its drawn values keep their rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <optional>
#include <set>

#include "board/board.h"
#include "families/immediate_alu.h"
#include "board/layout.h"
#include "isa/isa.h"
#include "sim/decoded.h"
#include "supplement/draws.h"
#include "supplement/forwarding.h"
#include "supplement/supplement.h"
#include "support/image_run.h"

namespace r3k {
namespace {

constexpr uint32_t kSeeds[] = {kDefaultSeed, 2, 0xDE1A7};

TEST(SupplementImage, PassesOnTheReferenceSimulatorForThreeSeeds) {
  for (uint32_t seed : kSeeds) {
    SCOPED_TRACE(seed);
    const Image image = supplement::build(seed);
    const test::ImageRun run = test::run_image(image);
    ASSERT_TRUE(run.finished());
    EXPECT_TRUE(run.failed.empty());
    EXPECT_EQ(run.display_words, board::display_words_when_failing({}, 19));
    EXPECT_EQ(run.result.board.status_lamp_a, board::kPassLamps.status_a);
    EXPECT_EQ(run.result.board.lamp_bank, board::kPassLamps.bank);
    EXPECT_EQ(run.result.quick_run_flag_reads, 19u);
  }
}

TEST(SupplementImage, SameSeedSameImageAndSeveralHundredCases) {
  const Image a = supplement::build(), b = supplement::build();
  EXPECT_EQ(a.text, b.text);
  EXPECT_NE(a.text, supplement::build(2).text);
  EXPECT_GE(a.cases.size(), 500u);
  ASSERT_EQ(a.routines.size(), 19u);
  for (size_t i = 0; i < a.routines.size(); ++i) {
    EXPECT_EQ(a.routines[i].number, static_cast<int>(i + 1));
    EXPECT_EQ(board::routine_number_of(a.routines[i].name), static_cast<int>(i + 1));
    EXPECT_EQ(a.routines[i].address % layout::kRoutineAlignment, 0u);
  }
}

TEST(SupplementImage, KeepsTheBoardProtocolsFixedAddresses) {
  const Image main_image = test::default_image(), image = supplement::build();
  // Everything up to locate is the main image's, word for word.
  const size_t shared = (layout::kLocate - layout::kResetVector) / 4;
  EXPECT_TRUE(std::equal(image.text.begin(), image.text.begin() + shared, main_image.text.begin()));
  EXPECT_EQ(image.start_labels.at(0).name, "test_finish");
  EXPECT_EQ(image.start_labels.at(1).address, layout::kLocate);
}

// The registers an instruction reads and writes, from its fields and format.
struct Access {
  std::vector<unsigned> reads;
  std::optional<unsigned> writes;
};
Access access_of(uint32_t word) {
  const isa::Op op = isa::decode(word);
  const isa::Fields f = isa::fields_of(word);
  using isa::Format;
  Access a;
  switch (isa::info(op).format) {
    case Format::RegisterAlu: case Format::ShiftVariable: a.reads = {f.rs, f.rt}; a.writes = f.rd; break;
    case Format::ShiftImmediate: a.reads = {f.rt}; a.writes = f.rd; break;
    case Format::MultiplyDivide: case Format::BranchCompare: a.reads = {f.rs, f.rt}; break;
    case Format::MoveFromHiLo: a.writes = f.rd; break;
    case Format::MoveToHiLo: case Format::JumpRegister: case Format::BranchZero: a.reads = {f.rs}; break;
    case Format::BranchRegimm: a.reads = {f.rs}; if (op == isa::Op::bltzal || op == isa::Op::bgezal) a.writes = 31; break;
    case Format::JumpLinkRegister: a.reads = {f.rs}; a.writes = f.rd; break;
    case Format::ImmediateSigned: case Format::ImmediateUnsigned: a.reads = {f.rs}; a.writes = f.rt; break;
    case Format::LoadUpper: a.writes = f.rt; break;
    case Format::Jump: if (op == isa::Op::jal) a.writes = 31; break;
    case Format::Memory:
      a.reads = {f.rs};
      if (isa::info(op).mnemonic[0] == 's') a.reads.push_back(f.rt);
      else a.writes = f.rt;
      break;
    default: break;
  }
  return a;
}

// Pairs of consecutive words in [from, to) where the second reads what the
// first wrote.
std::vector<uint32_t> reads_after_write(const Image& image, uint32_t from, uint32_t to) {
  std::vector<uint32_t> found;
  for (uint32_t address = from; address + 4 < to; address += 4) {
    const std::optional<unsigned> written = access_of(image.word_at(address)).writes;
    if (!written || *written == 0) continue;
    for (unsigned reg : access_of(image.word_at(address + 4)).reads)
      if (reg == *written) found.push_back(address + 4);
  }
  return found;
}

TEST(SupplementImage, ReportPathHasNoReadRightAfterAWrite) {
  const Image image = supplement::build();
  // The start code after the loops: locate, the driver, test_end, wait_1s.
  EXPECT_EQ(reads_after_write(image, layout::kLocate, image.routines.front().address), std::vector<uint32_t>{});
  for (const RoutineInfo& routine : image.routines) {
    SCOPED_TRACE(routine.name);
    // The entry, and the exit from the error-flag test to the final jr's slot.
    EXPECT_EQ(reads_after_write(image, routine.address, routine.address + 8), std::vector<uint32_t>{});
    EXPECT_EQ(reads_after_write(image, routine.inst_error - 12, routine.address + routine.size),
              std::vector<uint32_t>{});
  }
  // The check finds the main image's reads: its frame's or reads the sll's result at once.
  const Image& main_image = test::default_image();
  const RoutineInfo& first = main_image.routines.front();
  EXPECT_FALSE(reads_after_write(main_image, first.inst_error, first.address + first.size).empty());
}

TEST(SupplementImage, NonForwardingRoutinesReadNothingRightAfterItIsWritten) {
  // Only the case under test may: the routines 1..10 compare through loads and
  // checks that keep their distance, except the instruction pairs they test.
  const Image image = supplement::build();
  for (int n : {4, 5, 6, 7, 8}) {
    const RoutineInfo& routine = image.routines.at(n - 1);
    SCOPED_TRACE(routine.name);
    EXPECT_EQ(reads_after_write(image, routine.address, routine.address + routine.size), std::vector<uint32_t>{});
  }
}

TEST(SupplementDraws, ValuesKeepTheirRulesOverSeeds) {
  for (uint32_t seed : {1u, 2u, 3u, 0xDE1A7u, kDefaultSeed}) {
    SCOPED_TRACE(seed);
    Random random(seed, 4);
    // The edge pairs overflow one way round at least; the random ones as drawn.
    const auto pairs = supplement::draw_overflow_pairs(random);
    auto overflows = [](uint32_t a, uint32_t b) {
      const int64_t difference = int64_t(int32_t(a)) - int64_t(int32_t(b));
      return difference > INT32_MAX || difference < INT32_MIN;
    };
    for (size_t i = 0; i < pairs.size(); ++i) {
      const auto [a, b] = pairs[i];
      if (i < 12) EXPECT_TRUE(overflows(a, b) || overflows(b, a) || a == 0 || b == 0) << a << " " << b;
      else EXPECT_TRUE(overflows(a, b)) << a << " " << b;
    }
    std::set<int> distinguishing;
    for (const supplement::HalvesCase& c : supplement::draw_halves_cases(random)) {
      const uint32_t diff = c.x ^ c.y;
      if (c.what == "equal low halves") {
        EXPECT_TRUE((diff & 0xFFFF) == 0 && diff != 0);
      }
      if (c.what == "equal high halves") {
        EXPECT_TRUE((diff >> 16) == 0 && diff != 0);
      }
      if (std::popcount(diff) == 1) distinguishing.insert(std::countr_zero(diff));
    }
    EXPECT_EQ(distinguishing.size(), 32u) << "every bit position distinguishes a pair";
    std::set<uint32_t> amounts[3];
    for (const supplement::ShiftAmountCase& c : supplement::draw_shift_amount_cases(random)) {
      EXPECT_NE(c.amount >> 5, 0u);
      amounts[c.op == isa::Op::sllv ? 0 : c.op == isa::Op::srlv ? 1 : 2].insert(c.amount & 31);
    }
    for (const auto& set : amounts) EXPECT_EQ(set.size(), 32u);
    std::set<uint32_t> words;
    for (const supplement::LoadChain& chain : supplement::draw_load_chains(10, random)) {
      for (uint32_t w : chain.words) EXPECT_TRUE(words.insert(w).second) << "distinct words";
      for (size_t k = 0; k + 1 < chain.words.size(); ++k)
        EXPECT_EQ(chain.values[k] + uint32_t(chain.offsets[k + 1]), chain.words[k + 1]);
    }
    const std::vector<supplement::ForwardCase> cases = supplement::draw_forward_cases(isa::Op::addu, 11, random);
    std::set<std::pair<int, int>> distances;
    for (const auto& c : cases) {
      if (c.consumer != supplement::Consumer::jr_target && c.consumer != supplement::Consumer::jalr_target) {
        EXPECT_NE(c.value, c.stale);
      }
      distances.insert({static_cast<int>(c.consumer), c.distance});
    }
    EXPECT_EQ(distances.size(), 33u) << "every consumer at distances 1, 2, 3";
  }
}

}  // namespace
}  // namespace r3k
