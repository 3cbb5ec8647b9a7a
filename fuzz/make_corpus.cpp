// Writes the fuzzers' seed corpus into a directory: the default image, a
// small image of the start code and two routines, truncations of it, copies
// with one header field broken each, and raw boot memories for the run
// fuzzer (first word: what QUICK_RUN_FLAG reads).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/atomic_file.h"
#include "common/error.h"
#include "elf/elf_format.h"
#include "elf/elf_writer.h"
#include "image/build.h"

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
    r3k::write_file_atomically(dir + "/default.elf", image);
    r3k::write_file_atomically(dir + "/small.elf", small);
    for (const std::size_t length : {4u, 52u, 100u, 200u, 1000u})
      r3k::write_file_atomically(dir + "/small_cut_" + std::to_string(length) + ".elf",
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
      r3k::write_file_atomically(dir + "/small_bad_" + field.name + ".elf", copy);
    }
    // Raw boot memories: the whole start code and first routines, quick and full pause.
    const Bytes boot = small_image(full).boot_bytes();
    for (const uint32_t flag : {1u, 0u}) {
      Bytes raw = {uint8_t(flag), 0, 0, 0};
      raw.insert(raw.end(), boot.begin(), boot.end());
      r3k::write_file_atomically(dir + "/raw_flag" + std::to_string(flag) + ".bin", raw);
    }
  } catch (const r3k::Error& error) {
    std::fprintf(stderr, "make_corpus: %s\n", error.what());
    return 2;
  }
  return 0;
}
