// r3kcheck explain: the routine, case and values behind an address, a display
// word or a routine of an image.
#include <cstdio>

#include "cli/commands.h"
#include "cli/options.h"
#include "common/error.h"
#include "elf/elf_reader.h"
#include "export/explain.h"
#include "report/image_file.h"
#include "routine/random.h"

namespace r3k::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"--image", ValueKind::path, "FILE", "the image (default out/image.elf)"},
    {"--seed", ValueKind::number32, "N",
     "the seed it was built with (default 0x52334B31); the image is\n"
     "rebuilt from it and must match the file, so the explanation\n"
     "is always of the code in the file"},
};

constexpr CommandSpec kCommand{
    "explain", "WHAT", 1,
    "Tells what the image holds at WHAT, from the values its cases were built with:\n"
    "\n"
    "  an address in the boot memory (0xBFC00000 up)  the routine, the case number and\n"
    "      group, the case's values and its instructions with that address marked;\n"
    "      start-code addresses name their block           (explain 0xBFC01234)\n"
    "  a display word (routine number in the top byte)  the routine that wrote it and\n"
    "      what its pass count says                         (explain 0x25000024)\n"
    "  a routine number, name or instruction  its instruction, case count, groups and\n"
    "      address range                 (explain 21, explain n21_add_test, explain add)\n",
    kOptions,
    "exit codes: 0 explained, 2 bad input (WHAT none of the above, unreadable image,\n"
    "            image not built with the seed)\n"};

}  // namespace

int explain_command(const Arguments& arguments) {
  const std::optional<ParsedOptions> parsed = options_or_help(kCommand, arguments);
  if (!parsed) return kExitOk;
  if (parsed->operands().empty())
    throw Error("explain: nothing to explain (usage: r3kcheck explain WHAT [--image IMAGE.elf])");
  const std::string& what = parsed->operands()[0];
  const std::string image_path = parsed->text("--image").value_or("out/image.elf");
  const auto seed = static_cast<uint32_t>(parsed->number("--seed").value_or(kDefaultSeed));

  const Image image = report::rebuild_matching(elf::read_elf_file(image_path), image_path, seed);
  std::optional<uint32_t> number;
  if (const auto parsed = parse_number(what, UINT32_MAX)) number = static_cast<uint32_t>(*parsed);
  std::fputs(exporting::explain(image, what, number).c_str(), stdout);
  return kExitOk;
}

}  // namespace r3k::cli
