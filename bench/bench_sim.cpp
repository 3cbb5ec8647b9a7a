// Speed of the reference simulator on the shape of code the image spends
// nearly all of its time in: the pause loop (addiu, bnez, nop), which a
// plain run takes whole passes at a time; the same loop with work in its
// delay slot, stepped instruction by instruction; a mixed loop with loads and
// stores.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "image/build.h"
#include "board/layout.h"
#include "isa/isa.h"
#include "sim/machine.h"

namespace {

using r3k::isa::Op;
namespace isa = r3k::isa;
namespace layout = r3k::layout;

struct Rom {
  std::vector<uint32_t> words;
  void emit(Op op, isa::Fields fields) { words.push_back(isa::encode(op, fields)); }
  uint16_t offset_to(size_t target_index) const {  // branch at the next emitted word
    return static_cast<uint16_t>(static_cast<int>(target_index) - static_cast<int>(words.size()) - 1);
  }
  // Ends with a jump to the end loop, which the simulator stops at.
  std::vector<uint8_t> bytes() {
    emit(Op::j, {.target = (layout::kEndLoop >> 2) & 0x03FFFFFF});
    emit(Op::sll, {});
    words.resize(std::max<size_t>(words.size(), (layout::kEndLoop - layout::kResetVector) / 4 + 3));
    std::vector<uint8_t> out;
    for (uint32_t w : words)
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
    return out;
  }
};

void load_count(Rom& rom, uint32_t count) {
  rom.emit(Op::lui, {.rt = isa::t0, .imm = static_cast<uint16_t>(count >> 16)});
  rom.emit(Op::ori, {.rs = isa::t0, .rt = isa::t0, .imm = static_cast<uint16_t>(count)});
}

// addiu t0, t0, -1 ; bnez t0, loop ; nop
std::vector<uint8_t> pause_loop(uint32_t passes) {
  Rom rom;
  load_count(rom, passes);
  const size_t loop = rom.words.size();
  rom.emit(Op::addiu, {.rs = isa::t0, .rt = isa::t0, .imm = 0xFFFF});
  rom.emit(Op::bne, {.rs = isa::t0, .rt = isa::zero, .imm = rom.offset_to(loop)});
  rom.emit(Op::sll, {});
  return rom.bytes();
}

// The same with work in the delay slot, so that every instruction is stepped.
std::vector<uint8_t> stepped_loop(uint32_t passes) {
  Rom rom;
  load_count(rom, passes);
  const size_t loop = rom.words.size();
  rom.emit(Op::addiu, {.rs = isa::t0, .rt = isa::t0, .imm = 0xFFFF});
  rom.emit(Op::bne, {.rs = isa::t0, .rt = isa::zero, .imm = rom.offset_to(loop)});
  rom.emit(Op::addiu, {.rs = isa::t1, .rt = isa::t1, .imm = 1});
  return rom.bytes();
}

// Eight instructions: a store, a load, ALU work on the loaded value, the count.
std::vector<uint8_t> memory_loop(uint32_t passes) {
  Rom rom;
  load_count(rom, passes);
  rom.emit(Op::lui, {.rt = isa::a0, .imm = 0x8000});
  const size_t loop = rom.words.size();
  rom.emit(Op::sw, {.rs = isa::a0, .rt = isa::t0, .imm = 0x100});
  rom.emit(Op::lw, {.rs = isa::a0, .rt = isa::t1, .imm = 0x100});
  rom.emit(Op::xor_, {.rs = isa::t1, .rt = isa::t2, .rd = isa::t2});
  rom.emit(Op::sll, {.rt = isa::t2, .rd = isa::t3, .sa = 3});
  rom.emit(Op::addu, {.rs = isa::t3, .rt = isa::t1, .rd = isa::t4});
  rom.emit(Op::addiu, {.rs = isa::t0, .rt = isa::t0, .imm = 0xFFFF});
  rom.emit(Op::bne, {.rs = isa::t0, .rt = isa::zero, .imm = rom.offset_to(loop)});
  rom.emit(Op::sll, {});
  return rom.bytes();
}

// The machine shares its cores, so the best of a few runs is the figure that
// says most about the simulator itself.
void measure(const char* name, std::vector<uint8_t> rom, uint32_t quick_run_flag = 1, int repeats = 5) {
  const int kRepeats = repeats;
  r3k::sim::Machine machine(std::move(rom));
  r3k::sim::RunOptions options;
  options.quick_run_flag = quick_run_flag;
  double best = 1e9, total = 0;
  r3k::sim::RunResult result;
  for (int i = 0; i < kRepeats; ++i) {
    const auto begin = std::chrono::steady_clock::now();
    result = machine.run(options);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - begin;
    best = std::min(best, seconds.count());
    total += seconds.count();
  }
  const auto instructions = static_cast<double>(result.instructions);
  std::printf("%-12s %12llu instructions  best %6.3f s  %7.1f MIPS  (mean %7.1f MIPS over %d runs)%s\n", name,
              static_cast<unsigned long long>(result.instructions), best, instructions / best / 1e6,
              instructions * kRepeats / total / 1e6, kRepeats,
              result.stop == r3k::sim::StopReason::Finished ? "" : "  (did not reach the end loop!)");
}

// A quick run as `r3kcheck run` does it: a fresh machine each time, so every
// instruction it reaches is decoded and every RAM page it touches is filled.
void measure_cold(const char* name, const std::vector<uint8_t>& rom, int repeats = 21) {
  double best = 1e9, total = 0;
  r3k::sim::RunResult result;
  for (int i = 0; i < repeats; ++i) {
    const auto begin = std::chrono::steady_clock::now();
    r3k::sim::Machine machine(rom);
    result = machine.run({});
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - begin;
    best = std::min(best, seconds.count());
    total += seconds.count();
  }
  std::printf("%-12s %12llu instructions  best %6.3f ms  (mean %6.3f ms over %d runs, a fresh machine each)%s\n", name,
              static_cast<unsigned long long>(result.instructions), best * 1e3, total / repeats * 1e3, repeats,
              result.stop == r3k::sim::StopReason::Finished ? "" : "  (did not reach the end loop!)");
}

}  // namespace

int main() {
  measure("pause loop", pause_loop(33'333'333));  // about 100 million instructions
  measure("stepped loop", stepped_loop(33'333'333));
  measure("memory loop", memory_loop(12'500'000));
  // The whole image with the full pause, as `r3kcheck run --full` runs it.
  const std::vector<uint8_t> image = r3k::build_image().boot_bytes();
  measure("image --full", image, 0, 3);
  measure_cold("image quick", image);
  return 0;
}
