// libFuzzer target: any bytes given to the ELF reader are either read into a
// boot memory or refused with r3k::Error; nothing else may happen (no crash,
// no read outside the bytes, no other exception, no leak).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/error.h"
#include "elf/elf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  try {
    const r3k::elf::LoadedElf elf = r3k::elf::read_elf(bytes, "fuzz.elf");
    // Use what was read, so a wrong size or name shows up under the sanitizers.
    std::size_t total = elf.boot.size();
    for (const r3k::elf::ElfSymbol& symbol : elf.symbols) total += symbol.name.size();
    (void)elf.find_symbol("n1_lui_test");
    (void)total;
  } catch (const r3k::Error&) {
  }
  return 0;
}
