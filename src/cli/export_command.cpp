// r3kcheck export: writes an image's boot memory in the file formats hardware
// tools load it from, or as a listing.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output_paths.h"
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

constexpr OptionSpec kOptions[] = {
    {"-f, --format", ValueKind::text, "FORMAT", "bin, hex, coe, mif or lst"},
    {"-o, --output", ValueKind::path, "FILE",
     "where to write (default: IMAGE with the format's\n"
     "extension, out/image.elf -> out/image.hex)"},
    {"--width", ValueKind::number64, "N", "hex only: bits per memory word (8, 16, 32, 64)"},
    {"--depth", ValueKind::number64, "N",
     "hex, coe, mif: pad with zero words to a memory of N words\n"
     "(at most 2^24); an image that does not fit is refused"},
    {"--seed", ValueKind::number32, "N", "lst only: the seed the image was built with (default 0x52334B31)"},
};

constexpr CommandSpec kCommand{
    "export", "IMAGE.elf", 1,
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
    "        from --seed and must match the file\n",
    kOptions};

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

Options options_of(const ParsedOptions& parsed) {
  Options options;
  if (!parsed.operands().empty()) options.image_path = parsed.operands()[0];
  if (const auto name = parsed.text("--format")) {
    options.format_name = *name;
    options.format = format_named(*name);
  }
  options.output = parsed.text("--output").value_or("");
  options.width = parsed.number("--width");
  options.depth = parsed.number("--depth").value_or(0);
  if (const auto seed = parsed.number("--seed")) options.seed = static_cast<uint32_t>(*seed);
  if (options.image_path.empty()) throw Error("export: no image given (usage: r3kcheck export IMAGE.elf --format FORMAT)");
  if (!options.format) throw Error("export: no --format given (bin, hex, coe, mif or lst)");
  if (options.width && (*options.format != Format::hex || !exporting::is_memory_width(*options.width)))
    throw Error("export: --width takes 8, 16, 32 or 64 and goes with --format hex only");
  if (options.depth != 0 && (*options.format == Format::bin || *options.format == Format::lst))
    throw Error("export: --depth goes with --format hex, coe or mif only");
  if (options.depth > exporting::kMostDepth)
    throw Error("export: --depth " + std::to_string(options.depth) + " is above the most this tool writes, " +
                std::to_string(exporting::kMostDepth) + " words (2^24)");
  if (options.seed && *options.format != Format::lst) throw Error("export: --seed goes with --format lst only");
  if (options.output.empty())
    options.output = std::filesystem::path(options.image_path).replace_extension(options.format_name).string();
  refuse_shared_outputs("export", {{"the image", options.image_path}}, {{"the output", options.output}});
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
  const std::optional<ParsedOptions> parsed = options_or_help(kCommand, arguments);
  if (!parsed) return kExitOk;
  const Options options = options_of(*parsed);
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
