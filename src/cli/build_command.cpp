// r3kcheck build: writes the test image as an ELF file.
#include <cstdio>
#include <optional>

#include "cli/commands.h"
#include "cli/options.h"
#include "common/atomic_file.h"
#include "common/error.h"
#include "elf/elf_writer.h"
#include "report/image_file.h"
#include "routine/random.h"
#include "source/source_tree.h"

namespace r3k::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"--supplement", ValueKind::none, "",
     "build the supplementary image instead: the same board\n"
     "protocol, 19 routines for what the 68 cannot see\n"
     "(default output out/supplement.elf)"},
    {"--exceptions", ValueKind::none, "",
     "build the exceptions image instead: the same board\n"
     "protocol, 15 routines for coprocessor 0 and the traps,\n"
     "with a handler at both BEV = 1 vectors\n"
     "(default output out/exceptions.elf)"},
    {"-o, --output", ValueKind::path, "FILE",
     "where to write the image (default out/image.elf);\n"
     "missing directories are created"},
    {"--seed", ValueKind::number32, "N",
     "seed of the case values, decimal or 0x hex\n"
     "(default 0x52334B31); the same seed gives the same\n"
     "image byte for byte"},
    {"--sources", ValueKind::path, "DIR",
     "also write the image as GNU assembler sources under DIR:\n"
     "start.S, inst/nN_name.S, r3k.inc, image.ld and a\n"
     "Makefile that rebuilds the same image with\n"
     "mipsel-linux-gnu-as and mipsel-linux-gnu-ld"},
    {"--no-debug", ValueKind::none, "",
     "leave out the DWARF sections (.debug_aranges,\n"
     ".debug_line, .debug_info, .debug_abbrev) that map every\n"
     "address to its line of those sources"},
};

constexpr CommandSpec kCommand{
    "build", "", 0,
    "Builds the test image (start code at 0xBFC00000 and the 68 test routines,\n"
    "with their case values drawn from the seed) and writes it as an ELF file.\n",
    kOptions};

}  // namespace

int build_command(const Arguments& arguments) {
  const std::optional<ParsedOptions> parsed = options_or_help(kCommand, arguments);
  if (!parsed) return kExitOk;
  if (parsed->has("--supplement") && parsed->has("--exceptions"))
    throw Error("build: --supplement and --exceptions build different images; give one");
  const ImageKind kind = parsed->has("--supplement")   ? ImageKind::supplement
                         : parsed->has("--exceptions") ? ImageKind::exceptions
                                                       : ImageKind::main;
  const std::string output = parsed->text("--output").value_or(kind == ImageKind::supplement   ? "out/supplement.elf"
                                                               : kind == ImageKind::exceptions ? "out/exceptions.elf"
                                                                                               : "out/image.elf");
  const std::string sources = parsed->text("--sources").value_or("");
  const auto seed = static_cast<uint32_t>(parsed->number("--seed").value_or(kDefaultSeed));
  elf::ElfOptions options;
  options.debug = !parsed->has("--no-debug");
  const Image image = report::build(kind, seed);
  write_file_atomically(output, elf::elf_bytes(image, options));
  if (!sources.empty()) source::write_source_tree(source::render_source_tree(image), sources);

  size_t cases = 0;
  for (const RoutineInfo& routine : image.routines) cases += routine.cases;
  std::printf("wrote %s: %zu routines, %zu cases, text 0x%08X-0x%08X (%zu bytes), seed 0x%08X\n", output.c_str(),
              image.routines.size(), cases, image.text_base, image.text_end(), image.text.size() * 4, seed);
  if (!sources.empty()) std::printf("wrote %s/: the image as GNU assembler sources\n", sources.c_str());
  return kExitOk;
}

}  // namespace r3k::cli
