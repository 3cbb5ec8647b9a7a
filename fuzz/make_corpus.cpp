// Writes the fuzzers' seed corpus, one directory per target:
//   elf_reader_fuzzer, run_image_fuzzer: the default image, a small image of
//     the start code and two routines, truncations of it, copies with one
//     header field broken each; for the run fuzzer also raw boot memories
//     (first word: what QUICK_RUN_FLAG reads);
//   design_trace_fuzzer: the head of the default image's trace in both
//     shapes (first byte: how it is read), cut, commented and changed;
//   json_reader_fuzzer, diagnose_fuzzer: reports of run --json from real
//     runs (passing, failing under a catalog fault, stopped by the limit),
//     and for diagnose the display words and failed routines of those runs.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "common/atomic_file.h"
#include "common/error.h"
#include "elf/elf_format.h"
#include "elf/elf_reader.h"
#include "elf/elf_writer.h"
#include "faults/campaign.h"
#include "faults/catalog.h"
#include "image/build.h"
#include "isa/isa.h"
#include "report/routine_names.h"
#include "report/verdict.h"
#include "sim/machine.h"
#include "sim/trace.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The default image cut down to the start code and its first two routines.
r3k::Image small_image(const r3k::Image& full) {
  r3k::Image image = full;
  image.routines.resize(2);
  const r3k::RoutineInfo& last = image.routines.back();
  const std::size_t words = (last.address + last.size - image.text_base) / 4;
  image.text.resize(words);
  image.lines.resize(words);
  return image;
}

struct Broken {
  const char* name;
  std::size_t offset;  // of the field, from the file's start
  uint32_t value;
  int bytes;  // 2 or 4
};

// The display words of a run, as the board shows them.
struct DisplayWatch {
  r3k::board::DisplayReader display;
  void on_board_write(const r3k::sim::BoardWrite& write) {
    if (write.address == r3k::board::kResultDisplay) display.on_write(write.value);
  }
};

void write_text(const std::string& path, const std::string& text) {
  r3k::write_file_atomically(path, std::string_view(text));
}

// A seed for a target whose first byte chooses how the rest is read.
void write_seed(const std::string& path, char mode, const std::string& text) {
  write_text(path, std::string(1, mode) + text);
}

// Reports of real runs of the default image, and the display words of each.
void write_reports(const std::string& dir, const r3k::Image& full, const Bytes& elf_file) {
  const r3k::elf::LoadedElf elf = r3k::elf::read_elf(elf_file, "image.elf");
  const r3k::report::RoutineNames names(elf.symbols);
  const r3k::faults::CatalogFault* fault = nullptr;
  for (const r3k::faults::CatalogFault& f : r3k::faults::catalog())
    if (f.name == "load-use-stale") fault = &f;
  struct Run {
    const char* name;
    uint64_t limit;
    bool faulty;
  };
  for (const Run run : {Run{"pass", 2'000'000'000, false}, Run{"limit", 40'000, false}, Run{"fault", 30'000'000, true}}) {
    r3k::sim::RunOptions options;
    options.max_instructions = run.limit;
    if (run.faulty && fault) options.fault = fault->make(r3k::faults::shape_of(full, r3k::faults::ImageKind::main));
    r3k::sim::Machine machine(elf.boot);
    DisplayWatch watch;
    const r3k::sim::RunResult result = machine.run(options, watch);
    const std::string json = r3k::report::verdict_json({result, names, watch.display, "image.elf", run.limit});
    write_text(dir + "/json_reader_fuzzer/" + run.name + ".json", json);
    write_seed(dir + "/diagnose_fuzzer/" + run.name + ".json", 2, json);
    std::string words, failed;
    for (const uint32_t word : watch.display.words()) words += (words.empty() ? "" : ",") + std::to_string(word);
    for (const int number : watch.display.failed()) failed += (failed.empty() ? "" : ",") + std::to_string(number);
    write_seed(dir + "/diagnose_fuzzer/" + run.name + "_display.txt", 0, words);
    write_seed(dir + "/diagnose_fuzzer/" + run.name + "_failed.txt", 1, failed);
  }
  write_seed(dir + "/diagnose_fuzzer/supplement_failed.txt", 1 | 4 | 8 | 3 << 4, "9,11");
}

// "pc word $reg=value ..." lines as a testbench prints them: "RET pc=.. op=..
// rd=.. val=..", the register in hex as $display's %h gives it.
std::string key_value_lines(const std::string& trace) {
  std::istringstream in(trace);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string pc, word, write;
    words >> pc >> word >> write;
    if (pc.size() != 8) continue;  // the version line, exceptions
    unsigned reg = 0;
    std::string value = "00000000";
    if (write.starts_with('$')) {
      const std::string name = write.substr(0, write.find('='));
      while (reg < 32 && r3k::isa::reg_name(reg) != name) ++reg;
      value = write.substr(write.find('=') + 1);
    }
    char rd[4];
    std::snprintf(rd, sizeof rd, "%02x", reg % 32);
    out += "RET pc=" + pc + " op=" + word + " rd=" + rd + " val=" + value + "\n";
  }
  return out;
}

// The first lines of the default image's trace, read in each shape.
void write_traces(const std::string& dir, const r3k::Image& full) {
  std::string trace;
  r3k::sim::TraceWriter writer([&trace](const char* bytes, size_t size) { trace.append(bytes, size); });
  r3k::sim::Machine machine(full.boot_bytes());
  r3k::sim::RunOptions options;
  options.max_instructions = 1200;
  writer.finish(machine.run(options, writer));
  const std::string head = trace.substr(0, trace.rfind('\n', 40000) + 1);
  const std::string keys = key_value_lines(head);
  const std::string out = dir + "/design_trace_fuzzer/";
  write_seed(out + "commit.trace", 0, head);
  write_seed(out + "commit_cut.trace", 0, head.substr(0, head.size() / 2));
  write_seed(out + "commit_comment.trace", 0, "# a design\n" + head.substr(0, 2000) + "bfc00000 00000000 # note\n");
  write_seed(out + "keys.trace", 1, keys);
  write_seed(out + "keys_pc_only.trace", 3, keys.substr(0, keys.size() / 2));
  write_seed(out + "keys_writes_only.trace", 5, "INFO bench start\n" + keys);
  write_seed(out + "exception.trace", 0, "r3kcheck-trace 1\nexception Ov pc=bfc00000 address=00000000\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_corpus DIRECTORY\n", stderr);
    return 2;
  }
  const std::string dir = argv[1];
  try {
    const r3k::Image full = r3k::build_image();
    const Bytes image = r3k::elf::elf_bytes(full);
    const Bytes small = r3k::elf::elf_bytes(small_image(full));
    std::vector<std::pair<std::string, Bytes>> elf_seeds = {{"default.elf", image}, {"small.elf", small}};
    for (const std::size_t length : {4u, 52u, 100u, 200u, 1000u})
      elf_seeds.emplace_back("small_cut_" + std::to_string(length) + ".elf",
                             Bytes(small.begin(), small.begin() + std::min(length, small.size())));
    const r3k::elf::FileHeader header = r3k::elf::decode_file_header(small.data());
    const uint32_t segment = header.program_header_offset;
    const Broken broken[] = {
        {"phoff", 28, 0xFFFFFFF0, 4},
        {"shoff", 32, 0xFFFFFFFF, 4},
        {"phnum", 44, 0xFFFF, 2},
        {"shentsize", 46, 8, 2},
        {"shnum", 48, 0xFFFF, 2},
        {"shstrndx", 50, 0x7FFF, 2},
        {"p_offset", segment + 4, 0xFFFFFFF8, 4},
        {"p_paddr", segment + 12, 0xBFFFFFF8, 4},
        {"p_filesz", segment + 16, 0xFFFFFFFF, 4},
        {"p_memsz", segment + 20, 0xFFFFFFFF, 4},
    };
    for (const Broken& field : broken) {
      Bytes copy = small;
      if (field.bytes == 2) r3k::elf::put16(&copy[field.offset], static_cast<uint16_t>(field.value));
      else r3k::elf::put32(&copy[field.offset], field.value);
      elf_seeds.emplace_back(std::string("small_bad_") + field.name + ".elf", copy);
    }
    for (const char* target : {"/elf_reader_fuzzer/", "/run_image_fuzzer/"})
      for (const auto& [name, bytes] : elf_seeds) r3k::write_file_atomically(dir + target + name, bytes);
    // Raw boot memories: the whole start code and first routines, quick and full pause.
    const Bytes boot = small_image(full).boot_bytes();
    for (const uint32_t flag : {1u, 0u}) {
      Bytes raw = {uint8_t(flag), 0, 0, 0};
      raw.insert(raw.end(), boot.begin(), boot.end());
      r3k::write_file_atomically(dir + "/run_image_fuzzer/raw_flag" + std::to_string(flag) + ".bin", raw);
    }
    write_traces(dir, full);
    write_reports(dir, full, image);
  } catch (const r3k::Error& error) {
    std::fprintf(stderr, "make_corpus: %s\n", error.what());
    return 2;
  }
  return 0;
}
