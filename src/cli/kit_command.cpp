// r3kcheck kit: a directory that puts a processor on an image in a logic
// simulator: the board model, the trace printer, a top level with a place
// for the core, the image's memory file and a Makefile per simulator.
#include <cstdio>
#include <filesystem>
#include <optional>

#include "cli/commands.h"
#include "cli/kit_files.h"
#include "cli/kit_hdl.h"
#include "cli/options.h"
#include "common/atomic_file.h"
#include "common/error.h"
#include "elf/elf_reader.h"
#include "elf/elf_writer.h"
#include "export/memory_files.h"
#include "report/image_file.h"
#include "report/routine_names.h"
#include "routine/random.h"

namespace r3k::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"-o, --output", ValueKind::path, "DIR", "the directory to write (made if missing)"},
    {"--simulator", ValueKind::choice, "NAME", "the Makefiles to write (default both)", "verilator|icarus|both"},
    {"--image", ValueKind::path, "IMAGE.elf", "the image to run (default: the main image of the default seed)"},
    {"--lockstep", ValueKind::none, "",
     "also the co-simulation checker, in the Verilator build\n"
     "(libr3kcosim through pkg-config or R3K_COSIM_LIBS=...)"},
};

constexpr CommandSpec kCommand{
    "kit", "", 0,
    "Writes a directory in which a processor design runs the image in a logic\n"
    "simulator: r3k_board.v (boot ROM, RAM, board registers, the verdict),\n"
    "r3k_trace_printer.v (the commit trace for trace-diff), r3k_kit_top.v with\n"
    "the marked place for the core, a stand-in r3k_core.v, image.hex,\n"
    "image.elf, names.txt, and a Makefile per simulator. `make -C DIR` builds\n"
    "and runs; its status is 0 when the board says PASS.\n",
    kOptions,
    "See the README, \"Putting a processor on the image\".\n"};

struct Options {
  std::string dir, image;
  bool icarus = true, verilator = true, lockstep = false;
};

Options options_of(const ParsedOptions& parsed) {
  Options options;
  options.dir = parsed.text("--output").value_or("");
  if (options.dir.empty()) throw Error("kit: no -o DIR given (usage: r3kcheck kit -o DIR)");
  const std::string simulator = parsed.text("--simulator").value_or("both");
  options.icarus = simulator != "verilator";
  options.verilator = simulator != "icarus";
  options.image = parsed.text("--image").value_or("");
  options.lockstep = parsed.has("--lockstep");
  return options;
}

std::vector<uint8_t> image_bytes(const std::string& path) {
  if (path.empty()) return elf::elf_bytes(report::build(ImageKind::main, kDefaultSeed));
  const elf::LoadedElf loaded = elf::read_elf_file(path);
  if (!report::kind_of(loaded.symbols))
    throw Error("kit: " + path + " is not an image of this tool (no routine symbols of the main image, the supplement or the exceptions image)");
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw Error("kit: cannot read " + path);
  std::vector<uint8_t> bytes;
  for (int c; (c = std::fgetc(file)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(file);
  return bytes;
}

void write(const Options& options, const std::string& name, std::string_view text) {
  write_file_atomically((std::filesystem::path(options.dir) / name).string(), text);
}

}  // namespace

int kit_command(const Arguments& arguments) {
  const std::optional<ParsedOptions> parsed = options_or_help(kCommand, arguments);
  if (!parsed) return kExitOk;
  const Options options = options_of(*parsed);
  const std::vector<uint8_t> elf = image_bytes(options.image);
  std::filesystem::create_directories(options.dir);
  write_file_atomically((std::filesystem::path(options.dir) / "image.elf").string(), elf);
  const elf::LoadedElf loaded = elf::read_elf_file((std::filesystem::path(options.dir) / "image.elf").string());
  write(options, "image.hex", exporting::verilog_hex(loaded.boot, 32, 0));
  const report::RoutineNames names(loaded.symbols);
  std::string names_text;
  for (int number : names.numbers()) names_text += std::to_string(number) + " " + names.name(number) + "\n";
  write(options, "names.txt", names_text);
  const KitImage image{static_cast<int>(names.numbers().size()), report::kind_of(loaded.symbols) == ImageKind::exceptions};
  const int routines = image.routines;
  for (const KitFile& file : kit_hdl_files())
    if (options.lockstep || file.name.find("cosim") == std::string_view::npos) write(options, std::string(file.name), file.text);
  write(options, "r3k_core.v", stand_in_core());
  if (options.icarus) write(options, "Makefile.icarus", simulator_makefile(Simulator::icarus, image, false));
  if (options.verilator)
    write(options, "Makefile.verilator", simulator_makefile(Simulator::verilator, image, options.lockstep));
  write(options, "Makefile", top_makefile(options.icarus, options.verilator));
  std::printf("wrote %s: the board, the trace printer, the top level, image.hex (%d routines); make -C %s\n",
              options.dir.c_str(), routines, options.dir.c_str());
  return kExitOk;
}

}  // namespace r3k::cli
