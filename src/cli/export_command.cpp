// r3kcheck export: writes an image's boot memory in the file formats hardware
// tools load it from, or as a listing.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

#include "cli/args.h"
#include "cli/commands.h"
#include "common/atomic_file.h"
#include "common/error.h"
#include "elf/elf_reader.h"
#include "export/listing.h"
#include "report/image_file.h"
#include "export/memory_files.h"
#include "export/memory_words.h"
#include "board/layout.h"
#include "routine/random.h"

namespace r3k::cli {
namespace {

constexpr const char* kHelp =
    "usage: r3kcheck export IMAGE.elf --format FORMAT [-o FILE] [--width N] [--depth N] [--seed N]\n"
    "\n"
    "Writes the image's boot memory (every loadable segment at its load address\n"
    "from 0xBFC00000: the text, then the 16 data bytes) as FORMAT:\n"
    "\n"
    "  bin   the raw bytes\n"
    "  hex   Verilog $readmemh text, one memory word per line, index 0 first;\n"
    "        --width 8, 16, 32 (default) or 64 bits per word, little-endian\n"
    "        (the byte at the lower address is the less significant)\n"
    "  coe   Xilinx coefficient file, radix 16, one 32-bit word per entry\n"
    "  mif   Intel/Altera memory initialization file, WIDTH=32, hex radix\n"
    "  lst   listing: every word with its address and disassembly, headed by\n"
    "        its routine and case with the case's values; the image is rebuilt\n"
    "        from --seed and must match the file\n"
    "\n"
    "  --format FORMAT   bin, hex, coe, mif or lst\n"
    "  -o, --output FILE where to write (default: IMAGE with the format's\n"
    "                    extension, out/image.elf -> out/image.hex)\n"
    "  --width N         hex only: bits per memory word (8, 16, 32, 64)\n"
    "  --depth N         hex, coe, mif: pad with zero words to a memory of N words;\n"
    "                    an image that does not fit is refused\n"
    "  --seed N          lst only: the seed the image was built with (default 0x52334B31)\n";

enum class Format { bin, hex, coe, mif, lst };

struct FormatName {
  std::string_view name;
  Format format;
};
constexpr FormatName kFormats[] = {
    {"bin", Format::bin}, {"hex", Format::hex}, {"coe", Format::coe}, {"mif", Format::mif}, {"lst", Format::lst}};

struct Options {
  std::string image_path;
  std::optional<Format> format;
  std::string format_name;
  std::string output;
  std::optional<uint64_t> width;
  uint64_t depth = 0;
  std::optional<uint32_t> seed;
};

Format format_named(const std::string& name) {
  for (const FormatName& entry : kFormats)
    if (entry.name == name) return entry.format;
  throw Error("export: unknown format '" + name + "' (expected bin, hex, coe, mif or lst)");
}

Options parse(const Arguments& arguments, bool& help) {
  Options options;
  Args args("export", arguments);
  while (args.next()) {
    const std::string& a = args.current();
    if (a == "--help" || a == "-h") {
      help = true;
      return options;
    }
    if (a == "--format" || a == "-f") {
      options.format_name = args.value();
      options.format = format_named(options.format_name);
    } else if (a == "-o" || a == "--output") options.output = args.value();
    else if (a == "--width") options.width = args.value_u64();
    else if (a == "--depth") options.depth = args.value_u64();
    else if (a == "--seed") options.seed = args.value_u32();
    else if (args.is_option() || !options.image_path.empty()) args.unknown();
    else options.image_path = a;
  }
  if (options.image_path.empty()) throw Error("export: no image given (usage: r3kcheck export IMAGE.elf --format FORMAT)");
  if (!options.format) throw Error("export: no --format given (bin, hex, coe, mif or lst)");
  if (options.width && (*options.format != Format::hex || !exporting::is_memory_width(*options.width)))
    throw Error("export: --width takes 8, 16, 32 or 64 and goes with --format hex only");
  if (options.depth != 0 && (*options.format == Format::bin || *options.format == Format::lst))
    throw Error("export: --depth goes with --format hex, coe or mif only");
  if (options.seed && *options.format != Format::lst) throw Error("export: --seed goes with --format lst only");
  if (options.output.empty())
    options.output = std::filesystem::path(options.image_path).replace_extension(options.format_name).string();
  std::error_code ignored;
  if (std::filesystem::equivalent(options.output, options.image_path, ignored))
    throw Error("export: " + options.output + " is the image itself; pass -o FILE");
  return options;
}

std::string file_text(const Options& options, const elf::LoadedElf& elf) {
  const std::vector<uint8_t>& boot = elf.boot;
  switch (*options.format) {
    case Format::hex: return exporting::verilog_hex(boot, static_cast<unsigned>(options.width.value_or(32)), options.depth);
    case Format::coe: return exporting::xilinx_coe(boot, options.depth);
    case Format::mif: return exporting::intel_mif(boot, options.depth);
    case Format::lst:
      return exporting::listing(report::rebuild_matching(elf, options.image_path, options.seed.value_or(kDefaultSeed)));
    case Format::bin: break;
  }
  return std::string(boot.begin(), boot.end());
}

}  // namespace

int export_command(const Arguments& arguments) {
  bool help = false;
  const Options options = parse(arguments, help);
  if (help) {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  const elf::LoadedElf elf = elf::read_elf_file(options.image_path);
  std::string text;
  try {
    text = file_text(options, elf);
  } catch (const Error& error) {
    if (*options.format == Format::lst) throw;
    throw Error("export: " + options.image_path + ": " + error.what());
  }
  write_file_atomically(options.output, std::string_view(text));
  std::printf("wrote %s: %s of the boot memory 0x%08X..0x%08zX (%zu bytes)\n", options.output.c_str(),
              options.format_name.c_str(), layout::kResetVector, layout::kResetVector + elf.boot.size() - 1,
              elf.boot.size());
  return kExitOk;
}

}  // namespace r3k::cli
