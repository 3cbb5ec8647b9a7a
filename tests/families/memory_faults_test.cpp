// A broken lw or sw, with which every memory case writes and chases its
// neighbour words, stops the run: where, and what the board shows by then.
// Every other load and store fault is in the fault catalog (tests/faults).
#include <gtest/gtest.h>

#include <set>

#include "families/memory_test_support.h"
#include "sim/report.h"
#include "sim/semantics.h"
#include "support/image_run.h"

namespace r3k::test {
namespace {

using isa::Op;
using sim::Cpu;
using sim::Decoded;
using sim::Width;

bool in_ram(uint32_t address) { return address - 0x80000000u < 0x40000u; }
uint32_t address_of(const Cpu& c, const Decoded& d) { return c.reg(d.rs) + d.imm; }

sim::Fault replace(Op op, sim::Semantics semantics) { return {op, std::move(semantics), sim::PipelineEffect::none}; }

// What `op` stores, at an address of the fault's choosing.
void store_at(Cpu& c, Op op, uint32_t address, uint32_t value) {
  uint32_t word;
  switch (op) {
    case Op::sb: c.store(address, Width::byte, value); break;
    case Op::sh: c.store(address, Width::half, value); break;
    case Op::sw: c.store(address, Width::word, value); break;
    case Op::swl:
      if (c.load(address, Width::partial_word, word))
        c.store(address, Width::partial_word, sim::merge_swl(word, value, address & 3));
      break;
    default:
      if (c.load(address, Width::partial_word, word))
        c.store(address, Width::partial_word, sim::merge_swr(word, value, address & 3));
      break;
  }
}

// A store through the long form's $at whose address loses the 0x10000 the
// long form's lui put into the base: it lands 64 KiB lower (RAM repeats
// every 256 KiB, so it stays in RAM). $at is a base only in the long form.
sim::Fault long_form_store_drops_upper_half(Op op) {
  return replace(op, [op](Cpu& c, const Decoded& d) {
    const uint32_t address = address_of(c, d);
    if (d.rs != isa::at || !in_ram(address)) return void(sim::execute_normal(c, d));
    store_at(c, op, 0x80000000u + ((address - 0x10000u) & 0x3FFFFu), c.reg(d.rt));
  });
}

// lw or sw exchanging the byte order of RAM words; the board registers and
// the flag read keep working.
sim::Fault word_big_endian_in_ram(Op op) {
  return replace(op, [op](Cpu& c, const Decoded& d) {
    const uint32_t address = address_of(c, d);
    if (!in_ram(address)) return void(sim::execute_normal(c, d));
    if (op == Op::sw) {
      store_at(c, op, address, __builtin_bswap32(c.reg(d.rt)));
    } else {
      uint32_t value;
      if (c.load(address, Width::word, value)) c.set_reg(d.rt, __builtin_bswap32(value));
    }
  });
}

// lw and sw write and chase the neighbour words of every memory case, so a
// fault that spoils a neighbour word in RAM hands the next follow-up load a
// base that is no address at all: the run stops in the exception loop at a
// follow-up load of the first memory routine, n6_lw_test, with the display
// still showing routine 5 and the lamps never lit.
TEST(MemoryFaults, WordFaultsInRamStopTheRunAtTheFirstFollowUpLoad) {
  const std::pair<const char*, sim::Fault> faults[] = {
      {"long-form sw loses the upper half of its base", long_form_store_drops_upper_half(Op::sw)},
      {"lw reverses RAM words", word_big_endian_in_ram(Op::lw)},
      {"sw reverses RAM words", word_big_endian_in_ram(Op::sw)},
  };
  const Image& image = default_image();
  const RoutineInfo& lw_routine = image.routines[5];
  std::vector<uint32_t> first_five = expected_display_words({});
  first_five.resize(5);
  for (const auto& [name, fault] : faults) {
    SCOPED_TRACE(name);
    const ImageRun run = run_default_image(fault);
    EXPECT_EQ(run.result.stop, sim::StopReason::ExceptionLoop);
    ASSERT_TRUE(run.result.exception);
    const uint32_t pc = run.result.exception->pc;
    ASSERT_TRUE(pc >= lw_routine.address && pc < lw_routine.address + lw_routine.size) << std::hex << pc;
    const uint32_t word = image.word_at(pc);
    EXPECT_EQ(isa::decode(word), Op::lw);
    EXPECT_TRUE(isa::fields_of(word).rt >= isa::a0 && isa::fields_of(word).rt <= isa::a2) << isa::disassemble(word, pc);
    EXPECT_EQ(run.display_words, first_five);
    EXPECT_EQ(sim::verdict_of(run.result), sim::Verdict::None);
  }
}

}  // namespace
}  // namespace r3k::test
