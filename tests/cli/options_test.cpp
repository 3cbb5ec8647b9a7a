// The option declarations: what parsing accepts, the one-line errors it
// gives, and the help text derived from the same rows.
#include <gtest/gtest.h>

#include "cli/options.h"
#include "common/error.h"

namespace r3k::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"-o, --output", ValueKind::path, "FILE", "where to write\n(default out/x)"},
    {"--seed", ValueKind::number32, "N", "the seed"},
    {"--depth", ValueKind::number64, "N", "words", {}, 1u << 24},
    {"--images", ValueKind::choice, "WHICH", "which images", "main|supplement|both"},
    {"-q, --quiet", ValueKind::none, "", "say less"},
};
constexpr CommandSpec kCommand{"demo", "IMAGE.elf", 1, "Does a demo.\n", kOptions, "exit codes: 0\n"};

std::string error_of(const Arguments& arguments) {
  try {
    parse_options(kCommand, arguments);
  } catch (const Error& error) {
    return error.what();
  }
  return "";
}

TEST(Options, ParsesEveryKindByItsLastName) {
  const auto parsed = parse_options(kCommand, {"x.elf", "-o", "a.out", "--seed", "0x10", "-q", "--depth", "16777216",
                                               "--images", "supplement", "--seed", "7"});
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->operands(), std::vector<std::string>{"x.elf"});
  EXPECT_EQ(parsed->text("--output"), "a.out");
  EXPECT_EQ(parsed->number("--seed"), 7u);  // the later one wins
  EXPECT_EQ(parsed->number("--depth"), 1u << 24);
  EXPECT_EQ(parsed->text("--images"), "supplement");
  EXPECT_TRUE(parsed->has("--quiet"));
  EXPECT_FALSE(parse_options(kCommand, {"--seed", "1", "-h"}));
  EXPECT_THROW(parsed->has("--undeclared"), std::logic_error);
}

TEST(Options, RefusalsNameTheOptionAndTheProblem) {
  EXPECT_EQ(error_of({"--output"}), "demo: option --output needs a value");
  EXPECT_EQ(error_of({"-o", ""}), "demo: -o needs a file name, not an empty one");
  EXPECT_EQ(error_of({"--seed", "4294967296"}),
            "demo: bad number for --seed: '4294967296' (expected 0 to 4294967295, decimal or 0x hex)");
  EXPECT_EQ(error_of({"--depth", "16777217"}),
            "demo: bad number for --depth: '16777217' (expected 0 to 16777216, decimal or 0x hex)");
  EXPECT_EQ(error_of({"--seed", " 1"}).substr(0, 24), "demo: bad number for --s");
  EXPECT_EQ(error_of({"--images", "all"}), "demo: --images takes one of main supplement both, not 'all'");
  EXPECT_EQ(error_of({"--nope"}), "demo: unknown option --nope (see r3kcheck demo --help)");
  EXPECT_EQ(error_of({"a", "b"}), "demo: unexpected argument 'b' (see r3kcheck demo --help)");
  EXPECT_EQ(error_of({"-"}), "");  // a lone dash is an operand (standard input)
}

TEST(Options, HelpListsTheDeclarationInOneColumn) {
  EXPECT_EQ(help_text(kCommand),
            "usage: r3kcheck demo IMAGE.elf [--output FILE] [--seed N] [--depth N] [--images WHICH] [--quiet]\n"
            "\n"
            "Does a demo.\n"
            "\n"
            "  -o, --output FILE  where to write\n"
            "                     (default out/x)\n"
            "  --seed N           the seed\n"
            "  --depth N          words\n"
            "  --images WHICH     which images\n"
            "  -q, --quiet        say less\n"
            "\n"
            "exit codes: 0\n");
}

}  // namespace
}  // namespace r3k::cli
