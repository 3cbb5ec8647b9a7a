// The listing read back line by line: every word and its disassembly, the
// folded zero runs, and case headings whose values reproduce the case's code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "export/listing.h"
#include "families/case_listing.h"
#include "image/build.h"
#include "image/case_index.h"
#include "isa/isa.h"

namespace r3k {
namespace {

// One word line of the listing, or one folded run of zero words.
struct ListedWords {
  uint32_t address = 0;
  uint32_t count = 1;
  uint32_t word = 0;
  std::string text;  // disassembly; "" for a folded run
};

// A heading and the words under it.
struct Section {
  std::string heading;
  std::vector<ListedWords> words;
};

std::vector<Section> read_listing(const std::string& listing) {
  std::vector<Section> sections;
  std::istringstream in(listing);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("; ", 0) == 0) {
      sections.push_back({line.substr(2), {}});
      continue;
    }
    unsigned first = 0, last = 0, count = 0, word = 0;
    char text[128] = "";
    ListedWords listed;
    if (std::sscanf(line.c_str(), "   0x%x..0x%x: %u zero words", &first, &last, &count) == 3) {
      listed = {first, count, 0, ""};
      EXPECT_EQ(last + 1 - first, 4 * count) << line;
    } else if (std::sscanf(line.c_str(), "   0x%x: %x  %127[^\n]", &first, &word, text) == 3) {
      listed = {first, 1, word, text};
    } else {
      ADD_FAILURE() << "unreadable listing line: " << line;
      continue;
    }
    if (sections.empty()) ADD_FAILURE() << "a word before the first heading";
    else sections.back().words.push_back(listed);
  }
  return sections;
}

class ListingTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    image_ = new Image(build_image());
    sections_ = new std::vector<Section>(read_listing(exporting::listing(*image_)));
  }
  static void TearDownTestSuite() {
    delete sections_;
    delete image_;
  }
  static Image* image_;
  static std::vector<Section>* sections_;
};
Image* ListingTest::image_ = nullptr;
std::vector<Section>* ListingTest::sections_ = nullptr;

TEST_F(ListingTest, EveryWordOnceInOrderWithItsDisassembly) {
  const std::vector<uint8_t> boot = image_->boot_bytes();
  uint32_t next = image_->text_base;
  for (const Section& section : *sections_)
    for (const ListedWords& listed : section.words) {
      ASSERT_EQ(listed.address, next) << section.heading;
      for (uint32_t i = 0; i < listed.count; ++i, next += 4) {
        const size_t at = next - image_->text_base;
        const uint32_t word = boot[at] | boot[at + 1] << 8 | boot[at + 2] << 16 | uint32_t{boot[at + 3]} << 24;
        ASSERT_EQ(word, listed.text.empty() ? 0u : listed.word) << std::hex << next;
      }
      if (listed.text.empty()) {
        EXPECT_GE(listed.count, exporting::kFoldedZeroRun);
      } else if (listed.address < image_->text_end()) {
        EXPECT_EQ(listed.text, isa::disassemble(listed.word, listed.address)) << std::hex << listed.address;
      }
    }
  EXPECT_EQ(next, image_->text_end() + image_->data.size());
}

TEST_F(ListingTest, HeadingsNameBlocksRoutinesAndEveryCase) {
  std::set<std::string> headings;
  for (const Section& section : *sections_) headings.insert(section.heading);
  for (const StartBlock& block : start_code_blocks(*image_)) EXPECT_TRUE(headings.count(std::string(block.name))) << block.name;
  size_t routines = 0, cases = 0;
  for (const Section& section : *sections_) {
    if (section.heading.rfind("==== routine ", 0) == 0) {
      const RoutineInfo& routine = image_->routines.at(routines++);
      const std::string expected_start = "==== routine " + std::to_string(routine.number) + ": " + routine.name + " (" +
                                         image_->files[routine.file] + "), instruction " +
                                         exporting::routine_subject(routine) + ", " +
                                         std::to_string(routine.cases) + " cases, ";
      EXPECT_EQ(section.heading.substr(0, expected_start.size()), expected_start);
    }
    if (section.heading.rfind("case ", 0) == 0) {
      const CaseRecord& record = image_->cases.at(cases++);
      EXPECT_EQ(section.heading, describe_case(record));
      ASSERT_FALSE(section.words.empty());
      EXPECT_EQ(section.words.front().address, record.address) << section.heading;
    }
  }
  EXPECT_EQ(routines, image_->routines.size());
  EXPECT_EQ(cases, image_->cases.size());
}

// The constant loads a case's words make, by register: each value a heading
// names that the family loads as a constant is found as the constant load
// the encoding rule gives for it, into some register the case loads.
bool loads_constant(const std::vector<std::string>& code, const std::set<isa::Reg>& registers, uint32_t value) {
  for (isa::Reg reg : registers) {
    const std::vector<std::string> load = test::constant_load_text(std::string(isa::reg_name(reg)), value);
    if (std::search(code.begin(), code.end(), load.begin(), load.end()) != code.end()) return true;
  }
  return false;
}

struct CaseCode {
  std::vector<uint32_t> words;
  std::vector<std::string> text;
};

// Values that are not constant loads, and what shows them in the code.
bool shown_otherwise(const RoutineInfo& routine, const CaseRecord& record, const CaseValue& value, const CaseCode& code) {
  const isa::Op op = isa::op_from_mnemonic(exporting::routine_instruction(routine)).value();
  auto value_of = [&](std::string_view name) {
    for (const CaseValue& v : record.values)
      if (v.name == name) return v.value;
    ADD_FAILURE() << "no value " << name;
    return 0u;
  };
  bool found = false;
  if (value.name == "immediate") {  // the instruction under test's own field
    for (uint32_t word : code.words) found |= isa::decode(word) == op && (word & 0xFFFF) == value.value;
  } else if (value.name == "amount") {  // a shift's amount field
    for (uint32_t word : code.words) found |= isa::decode(word) == op && ((word >> 6) & 31) == value.value;
  } else if (value.name == "A") {  // the address: base plus offset
    found = value.value == value_of("B") + value_of("O");
  } else if (value.name == "O" || value.name == "k") {  // the access's offset: O + k, long form from 0x8000
    const uint32_t offset = value_of("O") + value_of("k");
    for (uint32_t word : code.words)
      if (isa::decode(word) == op) {
        const auto displacement = static_cast<uint32_t>(static_cast<int16_t>(word & 0xFFFF));
        found |= displacement == offset || displacement + 0x10000 == offset;
      }
  }
  return found;
}

TEST_F(ListingTest, CaseValuesReproduceTheCaseCode) {
  // The families whose case values travel as constant loads (the branch,
  // jump, lui and delay-slot families build theirs from markers, labels and
  // run-time sums, which their own tests check).
  const std::set<std::string> constant_families = {"addu", "or", "slt", "add", "sub", "subu", "sltu", "and", "nor",
                                                   "xor", "addiu", "slti", "sltiu", "addi", "andi", "ori", "xori",
                                                   "sll", "sllv", "sra", "srav", "srl", "srlv", "div", "divu",
                                                   "mult", "multu", "mfhi", "mflo", "mthi", "mtlo", "lw", "sw",
                                                   "lb", "lbu", "lh", "lhu", "lwl", "lwr", "sb", "sh", "swl", "swr"};
  size_t checked_routines = 0, checked_values = 0;
  const RoutineInfo* routine = nullptr;
  size_t next_case = 0;
  for (const Section& section : *sections_) {
    if (section.heading.rfind("==== routine ", 0) == 0) routine = &image_->routines.at(checked_routines++);
    if (section.heading.rfind("case ", 0) != 0) continue;
    const CaseRecord& record = image_->cases.at(next_case++);
    if (!routine || !constant_families.count(std::string(exporting::routine_instruction(*routine))) ||
        routine->name.find("_ds_") != std::string::npos)
      continue;
    CaseCode code;
    std::set<isa::Reg> registers;
    for (const ListedWords& listed : section.words) {
      code.words.push_back(listed.word);
      code.text.push_back(listed.text);
      registers.insert(static_cast<isa::Reg>((listed.word >> 16) & 31));
    }
    for (const CaseValue& value : record.values) {
      ++checked_values;
      if (loads_constant(code.text, registers, value.value)) continue;
      EXPECT_TRUE(shown_otherwise(*routine, record, value, code))
          << routine->name << " " << section.heading << ": " << value.name << " is not in the code";
    }
  }
  EXPECT_GT(checked_values, 20000u);
}

}  // namespace
}  // namespace r3k
