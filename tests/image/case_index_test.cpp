// The case index against the code it describes: every word of a case carries
// the case's source line, cases tile their routine between entry and exit,
// and the lookup finds them from any address.
#include <gtest/gtest.h>

#include <algorithm>

#include "image/build.h"
#include "image/case_index.h"
#include "board/layout.h"
#include "isa/isa.h"
#include "support/image_run.h"

namespace r3k {
namespace {

void expect_index_matches_code(const Image& image) {
  size_t total = 0;
  for (const RoutineInfo& routine : image.routines) {
    const CaseRange range = cases_of(image, routine.number);
    ASSERT_EQ(range.size(), static_cast<size_t>(routine.cases)) << routine.name;
    total += range.size();
    uint32_t expected_start = range.size() ? range.first->address : 0;
    EXPECT_GT(expected_start, routine.address) << routine.name << ": the entry comes first";
    for (const CaseRecord* record = range.first; record != range.last; ++record) {
      const int number = static_cast<int>(record - range.first) + 1;
      ASSERT_EQ(record->number, number) << routine.name;
      ASSERT_EQ(record->address, expected_start) << routine.name << " case " << number << " leaves a gap";
      ASSERT_LT(record->address, record->end) << routine.name << " case " << number;
      expected_start = record->end;
      for (uint32_t address = record->address; address < record->end; address += 4) {
        const SourceLoc loc = image.lines[(address - image.text_base) / 4];
        ASSERT_EQ(loc.line, static_cast<uint32_t>(number + 1)) << routine.name << " at " << std::hex << address;
      }
    }
    // The exit: bnez, nop, addiu before inst_error.
    EXPECT_EQ(expected_start, routine.inst_error - 12) << routine.name;
  }
  EXPECT_EQ(total, image.cases.size());
}

TEST(CaseIndex, CasesTileEveryRoutineAndCarryTheirLines) {
  expect_index_matches_code(test::default_image());
  for (uint32_t seed : {2u, 0xDE1A7u}) expect_index_matches_code(build_image(seed));
}

TEST(CaseIndex, FindsTheCaseBehindEveryAddressOfARoutine) {
  const Image& image = test::default_image();
  for (const CaseRecord& record : image.cases) {
    for (uint32_t address : {record.address, record.end - 4}) {
      const Place place = find_place(image, address);
      ASSERT_EQ(place.test_case, &record) << std::hex << address;
      ASSERT_EQ(place.routine->number, record.routine);
    }
  }
  for (const RoutineInfo& routine : image.routines) {
    const Place entry = find_place(image, routine.address);
    EXPECT_EQ(entry.routine, &routine);
    EXPECT_EQ(entry.test_case, nullptr);
    EXPECT_EQ(describe_place(entry), routine.name + " (entry)");
    const Place exit = find_place(image, routine.inst_error);
    EXPECT_EQ(exit.routine, &routine);
    EXPECT_EQ(describe_place(exit), routine.name + " (exit)");
    EXPECT_FALSE(find_place(image, routine.address + routine.size).routine == &routine);
  }
  EXPECT_FALSE(find_place(image, image.text_end() - 4).in_text()) << "the register-usage record";
  EXPECT_FALSE(find_place(image, image.text_end()).in_text());
  EXPECT_FALSE(find_place(image, 0x80000000).in_text());
}

// The supplement's driver calls 19 routines, not 68: its test_end and
// wait_1s lie elsewhere, and its blocks are named by its own labels.
TEST(CaseIndex, StartBlocksCoverTheStartCodeAndNameItsLabels) {
  for (const Image* image : {&test::default_image(), &test::supplement_image()}) {
    uint32_t address = layout::kResetVector;
    for (const StartBlock& block : start_code_blocks(*image)) {
      EXPECT_EQ(block.address, address) << block.name;
      address = block.end;
    }
    EXPECT_EQ(address, image->routines.front().address);
    for (const StartLabel& label : image->start_labels)
      EXPECT_TRUE(describe_place(find_place(*image, label.address)).starts_with(label.name)) << label.name;
    for (const StartBlock& block : start_code_blocks(*image))
      if (block.name == "wait_1s") {
        EXPECT_EQ(isa::disassemble(image->word_at(block.end - 8), 0), "jr $ra");
      }
  }
  EXPECT_EQ(start_code_blocks(test::default_image()).back().name, "zero word");
}

TEST(CaseIndex, DescribesACaseWithItsGroupValuesAndNote) {
  const Image& image = test::default_image();
  const CaseRecord& addu = *cases_of(image, 2).first;
  EXPECT_TRUE(describe_case(addu).starts_with("case 1, group 1 (A and B random): A = 0x")) << describe_case(addu);
  const CaseRecord& last_beq = *(cases_of(image, 4).last - 1);
  EXPECT_EQ(last_beq.group, 5);
  EXPECT_NE(describe_case(last_beq).find("X = 0x00000000, Y = 0x00000000"), std::string::npos);
  EXPECT_TRUE(describe_case(last_beq).ends_with("; taken"));
  const CaseRecord& slot = *cases_of(image, 16).first;
  EXPECT_NE(describe_case(slot).find("in the delay slot: "), std::string::npos) << describe_case(slot);
}

TEST(CaseIndex, CodeLinesMarkTheAskedWord) {
  const Image& image = test::default_image();
  const RoutineInfo& lui = *find_routine(image, 1);
  const std::string text = code_lines(image, lui.address, lui.address + 8, lui.address + 4);
  const size_t newline = text.find('\n');
  EXPECT_TRUE(text.starts_with("   0x")) << text;
  EXPECT_TRUE(text.substr(newline + 1).starts_with("=> 0x")) << text;
  EXPECT_NE(text.find(isa::disassemble(image.word_at(lui.address), lui.address)), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

}  // namespace
}  // namespace r3k
