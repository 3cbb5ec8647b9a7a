// The other side of `make bench`: runs an image ELF on unicorn (a MIPS32 4Km,
// QEMU's JIT) the way `r3kcheck run` runs it on the reference simulator, so
// the two can be timed process against process.
//
//   unicorn_run IMAGE.elf [--full]
//
// Unicorn's fixed mapping reaches the boot ROM through kseg1 and RAM through
// kseg0 at their physical addresses; the board registers at 0xFFFFF000 are
// MMIO. The run stops at the end loop or the exception loop. Prints the board
// verdict and exits 0 when the lamps show pass.
#include <unicorn/unicorn.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "elf/elf_reader.h"
#include "board/board.h"
#include "board/layout.h"

namespace {

namespace layout = r3k::layout;
namespace registers = r3k::board;

constexpr uint64_t kBoardBase = 0xFFFFF000;
constexpr uint64_t kBootPhysical = 0x1FC00000;  // kseg1 0xBFC00000
constexpr uint64_t kRamPhysical = 0x00000000;   // kseg0 0x80000000

struct Board {
  uint32_t quick_run_flag = 1;
  uint32_t status_lamp_a = 0, status_lamp_b = 0, result_display = 0;
  uint32_t stop_pc = 0;
};

uint64_t board_read(uc_engine*, uint64_t offset, unsigned size, void* context) {
  const auto* board = static_cast<Board*>(context);
  return kBoardBase + offset == registers::kQuickRunFlag && size == 4 ? board->quick_run_flag : 0;
}

void board_write(uc_engine*, uint64_t offset, unsigned, uint64_t value, void* context) {
  auto* board = static_cast<Board*>(context);
  const auto word = static_cast<uint32_t>(value);
  switch (kBoardBase + offset) {
    case registers::kStatusLampA: board->status_lamp_a = word; break;
    case registers::kStatusLampB: board->status_lamp_b = word; break;
    case registers::kResultDisplay: board->result_display = word; break;
    default: break;
  }
}

void stop_at_loop(uc_engine* uc, uint64_t address, uint32_t, void* context) {
  static_cast<Board*>(context)->stop_pc = static_cast<uint32_t>(address);
  uc_emu_stop(uc);
}

bool ok(uc_err err, const char* what) {
  if (err == UC_ERR_OK) return true;
  std::fprintf(stderr, "unicorn_run: %s: %s\n", what, uc_strerror(err));
  return false;
}

int run(const std::vector<uint8_t>& boot, uint32_t quick_run_flag) {
  Board board;
  board.quick_run_flag = quick_run_flag;
  uc_engine* uc = nullptr;
  if (!ok(uc_open(UC_ARCH_MIPS, static_cast<uc_mode>(UC_MODE_MIPS32 | UC_MODE_LITTLE_ENDIAN), &uc), "open"))
    return 2;
  const uint64_t rom_size = (boot.size() + 0xFFF) & ~uint64_t(0xFFF);
  uc_hook end_hook, exception_hook;
  const bool ready =
      ok(uc_ctl_set_cpu_model(uc, UC_CPU_MIPS32_4KM), "cpu model") &&
      ok(uc_mem_map(uc, kBootPhysical, rom_size, UC_PROT_READ | UC_PROT_EXEC), "map boot ROM") &&
      ok(uc_mem_write(uc, kBootPhysical, boot.data(), boot.size()), "load boot ROM") &&
      ok(uc_mem_map(uc, kRamPhysical, layout::kRamSize, UC_PROT_ALL), "map RAM") &&
      ok(uc_mmio_map(uc, kBoardBase, 0x1000, board_read, &board, board_write, &board), "map board") &&
      ok(uc_hook_add(uc, &end_hook, UC_HOOK_CODE, reinterpret_cast<void*>(stop_at_loop), &board, layout::kEndLoop,
                     layout::kEndLoop),
         "end loop hook") &&
      ok(uc_hook_add(uc, &exception_hook, UC_HOOK_CODE, reinterpret_cast<void*>(stop_at_loop), &board,
                     layout::kExceptionLoop, layout::kExceptionLoop),
         "exception loop hook") &&
      ok(uc_emu_start(uc, layout::kResetVector, 0, 0, 0), "run");
  uc_close(uc);
  if (!ready) return 2;
  const bool passed = board.stop_pc == layout::kEndLoop && board.status_lamp_a == registers::kLampOn &&
                      board.status_lamp_b == registers::kLampOn;
  std::printf("%s: stopped at 0x%08X, lamps A=%u B=%u, display 0x%08X\n", passed ? "PASS" : "NO PASS", board.stop_pc,
              board.status_lamp_a, board.status_lamp_b, board.result_display);
  return passed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--full") != 0)) {
    std::fputs("usage: unicorn_run IMAGE.elf [--full]\n", stderr);
    return 2;
  }
  try {
    const r3k::elf::LoadedElf elf = r3k::elf::read_elf_file(argv[1]);
    return run(elf.boot, argc == 3 ? 0 : 1);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "unicorn_run: %s\n", error.what());
    return 2;
  }
}
