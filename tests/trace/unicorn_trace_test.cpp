// The commit trace against unicorn (a MIPS32 4Km) single-stepped over the
// quick run: the same address sequence, and after each instruction the
// register file our trace's writes build equals unicorn's.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "board/board.h"
#include "board/layout.h"
#include "sim/bus.h"
#include "sim/machine.h"
#include "sim/trace.h"
#include "support/image_run.h"

#ifdef R3K_HAVE_UNICORN
#include <unicorn/unicorn.h>
#endif

namespace r3k::test {
namespace {

// A register file after an instruction: $1 to $31, HI, LO.
using Registers = std::array<uint32_t, 34>;

struct Step {
  uint32_t pc = 0;
  Registers after{};  // the registers once the instruction completed
};

// The reference's records applied in order to a register file.
std::vector<Step> reference_steps() {
  struct Collector {
    sim::TraceRecorder recorder;
    sim::TraceLines lines;
    Registers registers{};
    std::vector<Step> steps;
    void on_instruction(const sim::Cpu& cpu, const sim::Decoded& decoded) {
      recorder.record(cpu, decoded, lines);
      const sim::TraceRecord& record = lines.instruction;
      for (unsigned i = 0; i < record.reg_count; ++i) registers[record.regs[i].reg - 1u] = record.regs[i].value;
      if (record.writes_hi) registers[31] = record.hi;
      if (record.writes_lo) registers[32] = record.lo;
      steps.push_back({record.pc, registers});
    }
  } collector;
  run_image_observed(default_image(), {}, collector);
  return std::move(collector.steps);
}

#ifdef R3K_HAVE_UNICORN

constexpr uint64_t kBoardBase = 0xFFFFF000;

struct Stepper {
  std::vector<Step> steps;
  std::string error;
};

Registers read_registers(uc_engine* uc) {
  Registers registers{};
  for (int i = 1; i < 32; ++i) uc_reg_read(uc, UC_MIPS_REG_0 + i, &registers[static_cast<size_t>(i - 1)]);
  uc_reg_read(uc, UC_MIPS_REG_HI, &registers[31]);
  uc_reg_read(uc, UC_MIPS_REG_LO, &registers[32]);
  return registers;
}

// Called before each instruction: what the registers hold now is what the
// previous one left.
void before_instruction(uc_engine* uc, uint64_t address, uint32_t, void* context) {
  auto* stepper = static_cast<Stepper*>(context);
  if (!stepper->steps.empty()) stepper->steps.back().after = read_registers(uc);
  if (address == layout::kEndLoop || address == layout::kExceptionLoop) {
    uc_emu_stop(uc);
    return;
  }
  stepper->steps.push_back({static_cast<uint32_t>(address), {}});
}

uint64_t board_read(uc_engine*, uint64_t offset, unsigned, void*) {
  return kBoardBase + offset == board::kQuickRunFlag ? 1 : 0;
}
void board_write(uc_engine*, uint64_t, unsigned, uint64_t, void*) {}

Stepper step_on_unicorn(const std::vector<uint8_t>& boot) {
  Stepper stepper;
  uc_engine* uc = nullptr;
  if (uc_open(UC_ARCH_MIPS, static_cast<uc_mode>(UC_MODE_MIPS32 | UC_MODE_LITTLE_ENDIAN), &uc) != UC_ERR_OK) {
    stepper.error = "uc_open failed";
    return stepper;
  }
  auto check = [&](uc_err err, const char* what) {
    if (err != UC_ERR_OK && stepper.error.empty()) stepper.error = std::string(what) + ": " + uc_strerror(err);
  };
  check(uc_ctl_set_cpu_model(uc, UC_CPU_MIPS32_4KM), "cpu model");
  const uint64_t rom_size = (boot.size() + 0xFFF) & ~uint64_t(0xFFF);
  check(uc_mem_map(uc, 0x1FC00000, rom_size, UC_PROT_READ | UC_PROT_EXEC), "map boot ROM");
  check(uc_mem_write(uc, 0x1FC00000, boot.data(), boot.size()), "load boot ROM");
  check(uc_mem_map(uc, 0, layout::kRamSize, UC_PROT_ALL), "map RAM");
  std::vector<uint8_t> fill(layout::kRamSize);
  for (uint32_t i = 0; i < fill.size(); ++i) fill[i] = sim::ram_fill_byte(layout::kRamBase + i);
  check(uc_mem_write(uc, 0, fill.data(), fill.size()), "fill RAM");
  check(uc_mmio_map(uc, kBoardBase, 0x1000, board_read, nullptr, board_write, nullptr), "map board");
  uc_hook hook;
  check(uc_hook_add(uc, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(before_instruction), &stepper, 1, 0),
        "code hook");
  if (stepper.error.empty()) check(uc_emu_start(uc, layout::kResetVector, 0, 0, 1'000'000), "run");
  uc_close(uc);
  return stepper;
}

#endif

TEST(UnicornTrace, AddressesAndRegisterWritesAgree) {
#ifndef R3K_HAVE_UNICORN
  GTEST_SKIP() << "unicorn not found at build time (package libunicorn-dev)";
#else
  const std::vector<Step> ours = reference_steps();
  const Stepper theirs = step_on_unicorn(default_image().boot_bytes());
  ASSERT_EQ(theirs.error, "");
  ASSERT_EQ(theirs.steps.size(), ours.size());
  std::vector<uint32_t> entries;
  for (const RoutineInfo& routine : default_image().routines) entries.push_back(routine.address);
  size_t entries_seen = 0, mismatches = 0;
  for (size_t i = 0; i < ours.size() && mismatches < 5; ++i) {
    const bool at_entry = std::find(entries.begin(), entries.end(), ours[i].pc) != entries.end();
    entries_seen += at_entry;
    if (i >= 10'000 && !at_entry) continue;  // every line of the first 10,000, then every routine entry
    const bool same = ours[i].pc == theirs.steps[i].pc && ours[i].after == theirs.steps[i].after;
    EXPECT_TRUE(same) << "instruction " << i + 1 << " at 0x" << std::hex << ours[i].pc << " (unicorn 0x"
                      << theirs.steps[i].pc << ")";
    mismatches += !same;
  }
  EXPECT_EQ(entries_seen, entries.size());
#endif
}

}  // namespace
}  // namespace r3k::test
