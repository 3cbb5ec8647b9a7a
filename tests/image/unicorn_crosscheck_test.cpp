// The image on an independent emulator: unicorn, a MIPS32 4Km whose fixed
// mapping reaches the boot ROM through kseg1, RAM through kseg0 and the board
// registers at 0xFFFFF000 directly. Its board write log must equal the
// reference simulator's.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "board/layout.h"
#include "support/image_run.h"
#include "board/board.h"
#include "supplement/supplement.h"

#ifdef R3K_HAVE_UNICORN
#include <unicorn/unicorn.h>
#endif

namespace r3k {
namespace {

using WriteLog = std::vector<std::pair<uint32_t, uint32_t>>;  // address, value

struct EmulatorRun {
  std::string error;  // empty when the run ended in one of the loops
  uint32_t stop_pc = 0;
  WriteLog writes;
  int flag_reads = 0;
};

#ifdef R3K_HAVE_UNICORN

constexpr uint64_t kBoardBase = 0xFFFFF000;
constexpr uint64_t kBootPhysical = 0x1FC00000;  // kseg1 0xBFC00000
constexpr uint64_t kRamPhysical = 0x00000000;   // kseg0 0x80000000

struct Board {
  EmulatorRun* run;
  uint32_t flag;
};

uint64_t board_read(uc_engine*, uint64_t offset, unsigned size, void* context) {
  auto* board = static_cast<Board*>(context);
  if (kBoardBase + offset == board::kQuickRunFlag && size == 4) {
    ++board->run->flag_reads;
    return board->flag;
  }
  board->run->error = "unexpected board read at " + std::to_string(kBoardBase + offset);
  return 0;
}

void board_write(uc_engine*, uint64_t offset, unsigned size, uint64_t value, void* context) {
  auto* board = static_cast<Board*>(context);
  if (size != 4) board->run->error = "board write of " + std::to_string(size) + " bytes";
  board->run->writes.emplace_back(static_cast<uint32_t>(kBoardBase + offset), static_cast<uint32_t>(value));
}

void stop_at_loop(uc_engine* uc, uint64_t address, uint32_t, void* context) {
  static_cast<EmulatorRun*>(context)->stop_pc = static_cast<uint32_t>(address);
  uc_emu_stop(uc);
}

EmulatorRun run_on_unicorn(const std::vector<uint8_t>& boot, uint32_t flag) {
  EmulatorRun run;
  Board board{&run, flag};
  uc_engine* uc = nullptr;
  if (uc_open(UC_ARCH_MIPS, static_cast<uc_mode>(UC_MODE_MIPS32 | UC_MODE_LITTLE_ENDIAN), &uc) != UC_ERR_OK) {
    run.error = "uc_open failed";
    return run;
  }
  auto check = [&](uc_err err, const char* what) {
    if (err != UC_ERR_OK && run.error.empty()) run.error = std::string(what) + ": " + uc_strerror(err);
  };
  check(uc_ctl_set_cpu_model(uc, UC_CPU_MIPS32_4KM), "cpu model");
  const uint64_t rom_size = (boot.size() + 0xFFF) & ~uint64_t(0xFFF);
  check(uc_mem_map(uc, kBootPhysical, rom_size, UC_PROT_READ | UC_PROT_EXEC), "map boot ROM");
  check(uc_mem_write(uc, kBootPhysical, boot.data(), boot.size()), "load boot ROM");
  check(uc_mem_map(uc, kRamPhysical, layout::kRamSize, UC_PROT_ALL), "map RAM");
  // A fill unlike the reference simulator's: the image must not read RAM it has not written.
  std::vector<uint8_t> fill(layout::kRamSize);
  for (size_t i = 0; i < fill.size(); ++i) fill[i] = static_cast<uint8_t>(0xA5 ^ (i * 7));
  check(uc_mem_write(uc, kRamPhysical, fill.data(), fill.size()), "fill RAM");
  check(uc_mmio_map(uc, kBoardBase, 0x1000, board_read, &board, board_write, &board), "map board");
  uc_hook end_hook, exception_hook;
  check(uc_hook_add(uc, &end_hook, UC_HOOK_CODE, reinterpret_cast<void*>(stop_at_loop), &run, layout::kEndLoop,
                    layout::kEndLoop),
        "end loop hook");
  check(uc_hook_add(uc, &exception_hook, UC_HOOK_CODE, reinterpret_cast<void*>(stop_at_loop), &run,
                    layout::kExceptionLoop, layout::kExceptionLoop),
        "exception loop hook");
  if (run.error.empty()) check(uc_emu_start(uc, layout::kResetVector, 0, 120'000'000, 0), "run");
  if (run.error.empty() && run.stop_pc == 0) run.error = "the run ended in neither loop";
  uc_close(uc);
  return run;
}

#endif

WriteLog simulator_log(const sim::RunResult& result) {
  WriteLog log;
  for (const sim::BoardWrite& write : result.board_writes) log.emplace_back(write.address, write.value);
  return log;
}

TEST(UnicornCrossCheck, BoardWriteLogMatchesTheSimulator) {
#ifndef R3K_HAVE_UNICORN
  GTEST_SKIP() << "unicorn not found at build time (package libunicorn-dev)";
#else
  const std::vector<uint8_t> boot = test::default_image().boot_bytes();
  for (const uint32_t flag : {1u, 0x80000000u}) {
    SCOPED_TRACE(flag);
    const EmulatorRun emulator = run_on_unicorn(boot, flag);
    ASSERT_EQ(emulator.error, "");
    const test::ImageRun simulator = test::run_image(test::default_image(), {}, flag);
    EXPECT_EQ(emulator.stop_pc, layout::kEndLoop);
    EXPECT_EQ(emulator.writes, simulator_log(simulator.result));
    EXPECT_EQ(emulator.flag_reads, layout::kRoutineCount);
    EXPECT_TRUE(simulator.passed());
  }
#endif
}

TEST(UnicornCrossCheck, SupplementBoardWriteLogMatchesTheSimulatorForThreeSeeds) {
#ifndef R3K_HAVE_UNICORN
  GTEST_SKIP() << "unicorn not found at build time (package libunicorn-dev)";
#else
  for (const uint32_t seed : {kDefaultSeed, 2u, 0xDE1A7u}) {
    SCOPED_TRACE(seed);
    const Image image = supplement::build(seed);
    const EmulatorRun emulator = run_on_unicorn(image.boot_bytes(), 1);
    ASSERT_EQ(emulator.error, "");
    const test::ImageRun simulator = test::run_image(image, {}, 1);
    EXPECT_EQ(emulator.stop_pc, layout::kEndLoop);
    EXPECT_EQ(emulator.writes, simulator_log(simulator.result));
    EXPECT_EQ(emulator.flag_reads, static_cast<int>(image.routines.size()));
    EXPECT_EQ(simulator.result.board.status_lamp_a, board::kPassLamps.status_a);
  }
#endif
}

}  // namespace
}  // namespace r3k
