// Which image a file holds, as the listing, explain, trace-diff and faults
// ask it: files of both kinds, a patched word, another seed, a foreign file.
#include <gtest/gtest.h>

#include "board/layout.h"
#include "common/error.h"
#include "common/hex.h"
#include "elf/elf_reader.h"
#include "elf/elf_writer.h"
#include "export/listing.h"
#include "image/build.h"
#include "image/case_index.h"
#include "report/image_file.h"
#include "supplement/supplement.h"
#include "support/image_run.h"

namespace r3k {
namespace {

elf::LoadedElf file_of(const Image& image) {
  const std::vector<uint8_t> bytes = elf::elf_bytes(image, {.debug = false});
  return elf::read_elf(bytes, "test.elf");
}

// The word at `address` of the file's boot memory, changed in one bit.
void patch(elf::LoadedElf& file, uint32_t address) { file.boot.at(address - layout::kResetVector) ^= 1; }

TEST(ImageFile, BothKindsAreRecognisedAndRebuiltWithTheirCases) {
  for (const Image* built : {&test::default_image(), &test::supplement_image()}) {
    SCOPED_TRACE(image_name(built->kind));
    const elf::LoadedElf file = file_of(*built);
    EXPECT_EQ(report::kind_of(file.symbols), built->kind);
    const report::Recognised recognised = report::recognise(file, "x.elf", kDefaultSeed);
    ASSERT_TRUE(recognised.image) << recognised.mismatch;
    EXPECT_EQ(recognised.image->kind, built->kind);
    EXPECT_EQ(recognised.image->cases.size(), built->cases.size());
    // Without symbols the words alone still tell the build.
    elf::LoadedElf stripped = file;
    stripped.symbols.clear();
    EXPECT_FALSE(report::kind_of(stripped.symbols));
    EXPECT_TRUE(report::recognise(stripped, "x.elf", kDefaultSeed).image);
  }
}

// Every routine of each image is named by its own run-order row: the
// supplement's routine 5 checks slti, not what the main image's routine 5 does.
TEST(ImageFile, TheListingNamesEachImagesOwnInstructions) {
  for (const Image* built : {&test::default_image(), &test::supplement_image()}) {
    const std::span<const RoutineSpec> order = report::run_order_of(built->kind);
    ASSERT_EQ(order.size(), built->routines.size());
    for (const RoutineInfo& routine : built->routines)
      EXPECT_EQ(exporting::routine_instruction(routine), isa::info(order[routine.number - 1].op).mnemonic)
          << routine.name;
  }
  EXPECT_NE(exporting::listing(test::supplement_image()).find("routine 5: n5_slti_range_test (inst/n5_slti_range.S), "
                                                              "instruction slti, "),
            std::string::npos);
}

TEST(ImageFile, APatchedWordIsNamedWithItsPlaceNotAsAnotherSeed) {
  for (const Image* built : {&test::default_image(), &test::supplement_image()}) {
    SCOPED_TRACE(image_name(built->kind));
    elf::LoadedElf file = file_of(*built);
    const CaseRecord& third = *(cases_of(*built, 3).first + 2);
    patch(file, third.address);
    const report::Recognised recognised = report::recognise(file, "p.elf", kDefaultSeed);
    EXPECT_FALSE(recognised.image);
    const std::string where = hex(third.address, {.upper = true}) + " (" + built->routines[2].name + " case 3: ";
    EXPECT_EQ(recognised.mismatch.rfind("p.elf is the " + std::string(image_name(built->kind)) +
                                            " of seed 0x52334B31 with 1 word changed: at " + where,
                                        0),
              0u)
        << recognised.mismatch;
    EXPECT_EQ(recognised.mismatch.find("--seed"), std::string::npos) << recognised.mismatch;
    // A handful more: the first three are named, the rest counted.
    for (int routine : {10, 11, 12, 13}) patch(file, cases_of(*built, routine).first->address);
    const std::string five = report::recognise(file, "p.elf", kDefaultSeed).mismatch;
    EXPECT_NE(five.find("with 5 words changed"), std::string::npos) << five;
    EXPECT_NE(five.find(" and 2 more"), std::string::npos) << five;
  }
}

TEST(ImageFile, AnotherSeedOrKindOrAForeignFileIsSaidPlainly) {
  const elf::LoadedElf main = file_of(test::default_image());
  // Another seed: the rebuild differs all over.
  for (const uint32_t seed : {2u, 0xDE1A7u}) {
    const std::string mismatch = report::recognise(main, "m.elf", seed).mismatch;
    EXPECT_EQ(mismatch.rfind("m.elf was not built with seed " + hex(seed, {.upper = true}) + "; pass --seed (", 0), 0u)
        << mismatch;
  }
  const elf::LoadedElf supplement = file_of(test::supplement_image());
  EXPECT_EQ(report::recognise(supplement, "s.elf", 2).mismatch.rfind("s.elf was not built with seed 0x00000002", 0), 0u);
  report::require_kind(main.symbols, "m.elf", ImageKind::main);
  const auto refusal = [](const elf::LoadedElf& file, ImageKind kind) {
    try {
      report::require_kind(file.symbols, "f.elf", kind);
    } catch (const Error& error) {
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(refusal(main, ImageKind::supplement), "f.elf is the main image, not the supplement");
  EXPECT_EQ(refusal(supplement, ImageKind::main), "f.elf is the supplement, not the main image");
  // A file from elsewhere whose routine 2 has another name.
  elf::LoadedElf foreign = main;
  for (elf::ElfSymbol& symbol : foreign.symbols)
    if (symbol.name == "n2_addu_test") symbol.name = "n2_add3_test";
  EXPECT_FALSE(report::kind_of(foreign.symbols));
  EXPECT_EQ(refusal(foreign, ImageKind::main),
            "f.elf is neither the main image nor the supplement: its routine 2 is n2_add3_test where the main image "
            "has n2_addu_test");
  foreign.symbols.clear();
  foreign.boot[0] ^= 1;
  EXPECT_EQ(report::recognise(foreign, "f.elf", kDefaultSeed).mismatch,
            "f.elf is neither the main image nor the supplement: it has no routine symbols (nN_xxx_test)");
}

}  // namespace
}  // namespace r3k
