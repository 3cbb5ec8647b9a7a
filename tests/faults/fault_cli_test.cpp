// The faults and diagnose commands as a user runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "elf/elf_writer.h"
#include "isa/isa.h"
#include "support/image_run.h"
#include "support/tools.h"

namespace r3k {
namespace {

const std::string kTool = R3K_TOOL_PATH;
test::CommandResult tool(const std::string& arguments) { return test::run_command(kTool + " " + arguments); }

// A mutation score on an image that fails by itself means nothing.
TEST(FaultsCommand, RefusesAnImageThatFailsWithoutAFault) {
  Image image = test::default_image();
  const RoutineInfo& n5 = image.routines.at(4);
  // The exit's pass-count increment, right before inst_error.
  const uint32_t increment = n5.inst_error - 4;
  ASSERT_EQ(isa::disassemble(image.word_at(increment), increment), "addiu $s3, $s3, 0x1");
  image.text.at((increment - image.text_base) / 4) = 0;
  test::TempDir dir;
  elf::write_elf_file(image, dir.path("broken.elf"));
  const auto result = tool("faults --image " + dir.path("broken.elf"));
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("routines 5 fail"), std::string::npos) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
}

TEST(FaultsCommand, ScoresTheBuiltImageAndListsTheCatalog) {
  test::TempDir dir;
  ASSERT_EQ(tool("build -o " + dir.path("image.elf")).exit_code, 0);
  const auto run = tool("faults --images main --image " + dir.path("image.elf") + " --only 'delay*'");
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("jr-slot-skipped                failed 20"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("main image: 32 faults: 20 caught, 20 by their expected routines"), std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("== supplement"), std::string::npos) << run.out;
  const auto list = tool("faults --list --only 'load-use*'");
  EXPECT_EQ(list.exit_code, 0);
  EXPECT_NE(list.out.find("load-use-stale"), std::string::npos);
  EXPECT_EQ(tool("faults --only no-such-fault").exit_code, 2);
  EXPECT_EQ(tool("faults --bogus").exit_code, 2);
}

// The slot-run-twice faults escape the main image and fail the supplement's
// n9, read from its ELF file; together nothing escapes.
TEST(FaultsCommand, ScoresBothImagesAndTheirSum) {
  test::TempDir dir;
  ASSERT_EQ(tool("build --supplement -o " + dir.path("supplement.elf")).exit_code, 0);
  const auto run = tool("faults --supplement-image " + dir.path("supplement.elf") + " --only slot-twice --images both");
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("main image: 12 faults: 0 caught"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("supplement: 12 faults: 12 caught, 12 by their expected routines"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("== together: 12 faults: 12 caught by at least one image (0 by the main image only, 12 by "
                         "the supplement only); 0 escaped both"),
            std::string::npos)
      << run.out;
  const auto json = tool("faults --only jalr-links-into-ra --json");
  EXPECT_EQ(json.exit_code, 0) << json.err;
  EXPECT_NE(json.out.find("\"together\":{\"faults\":1,\"caught\":1"), std::string::npos) << json.out;
  EXPECT_EQ(tool("faults --images neither").exit_code, 2);
  // All three by default: the overflow trap only the exceptions image sees.
  const auto three = tool("faults --only add-never-traps");
  EXPECT_EQ(three.exit_code, 0) << three.out << three.err;
  EXPECT_NE(three.out.find("exceptions image: 1 faults: 1 caught, 1 by their expected routines"), std::string::npos)
      << three.out;
  EXPECT_NE(three.out.find("== together: 1 faults: 1 caught by at least one image (0 by the main image only, 0 by "
                           "the supplement only, 1 by the exceptions image only); 0 escaped all three"),
            std::string::npos)
      << three.out;
}

TEST(DiagnoseCommand, NamesTheLateLoadForRoutines18And20) {
  const auto failed = tool("diagnose --failed 18,20");
  EXPECT_EQ(failed.exit_code, 0) << failed.err;
  EXPECT_NE(failed.out.find("causes that fit every observation exactly:\n  load-use-stale"), std::string::npos)
      << failed.out;
  std::string words;
  for (uint32_t w : test::expected_display_words({18, 20})) words += (words.empty() ? "" : ",") + std::to_string(w);
  EXPECT_EQ(tool("diagnose --display " + words).out, failed.out);
  EXPECT_NE(tool("diagnose --failed 0").exit_code, 0);
  // A board that ran the supplement: its routine 9 is the slot-run-twice check.
  const auto supplement = tool("diagnose --failed 9 --supplement");
  EXPECT_EQ(supplement.exit_code, 0) << supplement.err;
  EXPECT_NE(supplement.out.find("failed: 9 (n9_slot_self_update_test)\ncauses that fit every observation exactly:\n"
                                " a tie of 13, equally likely:\n  beq-slot-twice"),
            std::string::npos)
      << supplement.out;
  EXPECT_EQ(tool("diagnose --supplement --failed 20").exit_code, 2);
  // And the exceptions image: its routine 13 checks the software interrupts.
  const auto exceptions = tool("diagnose --failed 13 --exceptions");
  EXPECT_EQ(exceptions.exit_code, 0) << exceptions.err;
  EXPECT_NE(exceptions.out.find("failed: 13 (n13_software_interrupt_test)\ncauses that fit every observation exactly:\n"),
            std::string::npos)
      << exceptions.out;
  EXPECT_NE(exceptions.out.find("interrupt-never-taken"), std::string::npos) << exceptions.out;
  EXPECT_EQ(tool("diagnose --exceptions --failed 16").exit_code, 2);
  EXPECT_NE(tool("diagnose").exit_code, 0);
}

// Both images at once: the main image's routine 4 alone is beq-rt-stale's
// (slt's faults would fail 8 too), and a supplement that passed its
// set-on-less-than checks while the main image failed them contradicts every
// slt cause.
TEST(DiagnoseCommand, ReadsBothImagesAndRefusesContradictions) {
  const auto joint = tool("diagnose --failed 8 --supplement-failed 4");
  EXPECT_EQ(joint.exit_code, 0) << joint.err;
  EXPECT_NE(joint.out.find("main image: failed: 8"), std::string::npos) << joint.out;
  EXPECT_NE(joint.out.find("causes that fit every observation exactly:\n a tie of 2, equally likely:\n"
                           "  slt-unsigned"),
            std::string::npos)
      << joint.out;
  EXPECT_NE(joint.out.find("to separate them:"), std::string::npos) << joint.out;
  const auto contradiction = tool("diagnose --failed 8 --supplement-failed ''");
  EXPECT_EQ(contradiction.exit_code, 2) << contradiction.out;
  EXPECT_NE(contradiction.out.find("contradictory observations: the supplement passed"), std::string::npos)
      << contradiction.out;
  EXPECT_EQ(contradiction.out.find("causes that fit"), std::string::npos) << contradiction.out;
  EXPECT_EQ(tool("diagnose --supplement --failed 4 --supplement-failed 4").exit_code, 2);
  // The option table's refusals keep diagnose's own words.
  for (const auto& [arguments, message] : std::vector<std::pair<std::string, std::string>>{
           {"--supplement --exceptions --failed 1", "--supplement and --exceptions name different images"},
           {"--failed 1 --display 0x01000001", "give one of --display, --failed or --json"},
           {"--failed 1 --keys pc=pc", "--image, --keys, --flag and --writes-only go with --trace"},
           {"--failed 1 --nearest x", "bad number for --nearest: 'x'"},
           {"--failed 1 --supplement-json ''", "--supplement-json needs a file name"},
           {"--failed 1 extra", "unexpected argument 'extra'"},
           {"--failed 1 --stopped", "--stopped goes with --display"},
           {"--display 0x01000001 --supplement-stopped", "--supplement-stopped goes with --supplement-display"}}) {
    const auto refused = tool("diagnose " + arguments);
    EXPECT_EQ(refused.exit_code, 2) << arguments;
    EXPECT_NE(refused.err.find("diagnose: " + message), std::string::npos) << arguments << ": " << refused.err;
  }
  // The exceptions image's observation goes with the supplement's.
  const auto both = tool("diagnose --exceptions --failed 13 --supplement-failed ''");
  EXPECT_NE(both.out.find("exceptions image: failed: 13"), std::string::npos) << both.out << both.err;
}

// A report of a run that stopped, or display words of a board that lit
// neither lamp, say in which routine it stopped; the causes are those that
// stop the run there.
TEST(DiagnoseCommand, ReadsRunReportsAndWhereTheirRunsStopped) {
  test::TempDir dir;
  test::write_bytes(dir.path("loop.json"),
                    std::vector<unsigned char>{'{', '}'});
  const auto empty = tool("diagnose --json " + dir.path("loop.json"));
  EXPECT_EQ(empty.exit_code, 2);
  const std::string report =
      R"({"verdict":"none","stop":"exception loop","display_words":["0x01000001","0x02000002"],)"
      R"("routines":[],"exception":{"cause":"bus error on load"}})";
  test::write_bytes(dir.path("r.json"), std::vector<unsigned char>(report.begin(), report.end()));
  const auto looped = tool("diagnose --json " + dir.path("r.json"));
  EXPECT_EQ(looped.exit_code, 0) << looped.err;
  EXPECT_NE(looped.out.find("exception loop after 2 routines reported (failed: none), in routine 3"),
            std::string::npos)
      << looped.out;
  const auto lamps_dark = tool("diagnose --display 0x01000001,0x02000002 --stopped");
  EXPECT_EQ(lamps_dark.exit_code, 0) << lamps_dark.err;
  // The answer follows the two lines that say where the run stopped.
  const auto causes = [](const std::string& out) { return out.substr(out.find("pc).\n")); };
  ASSERT_NE(looped.out.find("pc).\n"), std::string::npos) << looped.out;
  ASSERT_NE(lamps_dark.out.find("pc).\n"), std::string::npos) << lamps_dark.out;
  EXPECT_EQ(causes(looped.out), causes(lamps_dark.out));
  // The catalog places lw-big-endian-in-ram's stop in n6: a board dark in n6 names it.
  const auto in_n6 = tool("diagnose --display 0x05000005 --stopped");
  EXPECT_NE(causes(in_n6.out).find("lw-big-endian-in-ram"), std::string::npos) << in_n6.out;
  EXPECT_EQ(causes(lamps_dark.out).find("lw-big-endian-in-ram"), std::string::npos) << lamps_dark.out;
  const std::string bad = R"({"display_words":["0x01000001",]})";
  test::write_bytes(dir.path("bad.json"), std::vector<unsigned char>(bad.begin(), bad.end()));
  const auto refused = tool("diagnose --json " + dir.path("bad.json"));
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_NE(refused.err.find("line 1, column"), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace r3k
