// r3kcheck build: writes the test image as an ELF file.
#include <cstdio>
#include <optional>

#include "cli/args.h"
#include "cli/commands.h"
#include "common/atomic_file.h"
#include "common/error.h"
#include "elf/elf_writer.h"
#include "source/source_tree.h"
#include "image/build.h"
#include "exceptions/exceptions.h"
#include "supplement/supplement.h"

namespace r3k::cli {
namespace {

constexpr const char* kHelp =
    "usage: r3kcheck build [--supplement | --exceptions] [-o FILE] [--seed N] [--sources DIR] [--no-debug]\n"
    "\n"
    "Builds the test image (start code at 0xBFC00000 and the 68 test routines,\n"
    "with their case values drawn from the seed) and writes it as an ELF file.\n"
    "\n"
    "  -o, --output FILE  where to write the image (default out/image.elf);\n"
    "                     missing directories are created\n"
    "  --seed N           seed of the case values, decimal or 0x hex\n"
    "                     (default 0x52334B31); the same seed gives the same\n"
    "                     image byte for byte\n"
    "  --sources DIR      also write the image as GNU assembler sources under DIR:\n"
    "                     start.S, inst/nN_name.S, r3k.inc, image.ld and a\n"
    "                     Makefile that rebuilds the same image with\n"
    "                     mipsel-linux-gnu-as and mipsel-linux-gnu-ld\n"
    "  --no-debug         leave out the DWARF sections (.debug_aranges,\n"
    "                     .debug_line, .debug_info, .debug_abbrev) that map every\n"
    "                     address to its line of those sources\n"
    "  --supplement       build the supplementary image instead: the same board\n"
    "                     protocol, 18 routines for what the 68 cannot see\n"
    "                     (default output out/supplement.elf)\n"
    "  --exceptions       build the exceptions image instead: the same board\n"
    "                     protocol, 15 routines for coprocessor 0 and the traps,\n"
    "                     with a handler at both BEV = 1 vectors\n"
    "                     (default output out/exceptions.elf)\n";

}  // namespace

int build_command(const Arguments& arguments) {
  std::optional<std::string> output;  // an empty -o is refused by the writer, not replaced
  std::string sources;
  uint32_t seed = kDefaultSeed;
  std::optional<ImageKind> kind;
  elf::ElfOptions options;
  Args args("build", arguments);
  while (args.next()) {
    const std::string& a = args.current();
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
    if (a == "-o" || a == "--output") output = args.value_path();
    else if (a == "--seed") seed = args.value_u32();
    else if (a == "--sources") sources = args.value_path();
    else if (a == "--no-debug") options.debug = false;
    else if (a == "--supplement" || a == "--exceptions") {
      const ImageKind chosen = a == "--supplement" ? ImageKind::supplement : ImageKind::exceptions;
      if (kind && *kind != chosen) throw Error("build: --supplement and --exceptions build different images; give one");
      kind = chosen;
    }
    else args.unknown();
  }

  if (!output)
    output = kind == ImageKind::supplement ? "out/supplement.elf"
             : kind == ImageKind::exceptions ? "out/exceptions.elf"
                                             : "out/image.elf";
  const Image image = kind == ImageKind::supplement   ? supplement::build(seed)
                      : kind == ImageKind::exceptions ? exceptions::build(seed)
                                                      : build_image(seed);
  write_file_atomically(*output, elf::elf_bytes(image, options));
  if (!sources.empty()) source::write_source_tree(source::render_source_tree(image), sources);

  size_t cases = 0;
  for (const RoutineInfo& routine : image.routines) cases += routine.cases;
  std::printf("wrote %s: %zu routines, %zu cases, text 0x%08X-0x%08X (%zu bytes), seed 0x%08X\n", output->c_str(),
              image.routines.size(), cases, image.text_base, image.text_end(), image.text.size() * 4, seed);
  if (!sources.empty()) std::printf("wrote %s/: the image as GNU assembler sources\n", sources.c_str());
  return kExitOk;
}

}  // namespace r3k::cli
