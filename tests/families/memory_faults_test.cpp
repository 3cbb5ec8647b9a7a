// A processor with one broken load or store runs the image: the routine of
// that instruction fails and the run goes on to the fail lamps. A broken lw
// or sw, with which every memory case writes and chases its neighbour words,
// stops the run instead.
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

// A byte or halfword load from the address with `lane_flip` XORed in (3
// turns little-endian byte lanes into big-endian ones, 2 swaps halfwords),
// extending the unit as `extend` does.
template <class Extend>
sim::Fault load_unit(Op op, Width width, uint32_t lane_flip, Extend extend) {
  return replace(op, [=](Cpu& c, const Decoded& d) {
    uint32_t value;
    if (c.load(address_of(c, d) ^ lane_flip, width, value)) c.set_reg(d.rt, extend(value));
  });
}
uint32_t zero_extend(uint32_t value) { return value; }

sim::Fault store_unit(Op op, Width width, uint32_t lane_flip) {
  return replace(op, [=](Cpu& c, const Decoded& d) { c.store(address_of(c, d) ^ lane_flip, width, c.reg(d.rt)); });
}

// The merge of lwl, lwr, swl or swr with a lane the hardware got wrong.
sim::Fault merge_with_lane(Op op, unsigned (*wrong_lane)(unsigned)) {
  return replace(op, [=](Cpu& c, const Decoded& d) {
    const uint32_t address = address_of(c, d);
    const unsigned lane = wrong_lane(address & 3);
    uint32_t word;
    if (!c.load(address, Width::partial_word, word)) return;
    switch (op) {
      case Op::lwl: c.set_reg(d.rt, sim::merge_lwl(c.reg(d.rt), word, lane)); break;
      case Op::lwr: c.set_reg(d.rt, sim::merge_lwr(c.reg(d.rt), word, lane)); break;
      case Op::swl: c.store(address, Width::partial_word, sim::merge_swl(word, c.reg(d.rt), lane)); break;
      default: c.store(address, Width::partial_word, sim::merge_swr(word, c.reg(d.rt), lane)); break;
    }
  });
}
unsigned big_endian_lane(unsigned lane) { return 3 - lane; }
unsigned next_lane(unsigned lane) { return (lane + 1) % 4; }

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

struct FaultCase {
  const char* name;
  sim::Fault fault;
  std::set<int> failing;
};

std::vector<FaultCase> fault_cases() {
  return {
      {"lb zero-extends", load_unit(Op::lb, Width::byte, 0, zero_extend), {59}},
      {"lbu sign-extends", load_unit(Op::lbu, Width::byte, 0, sim::sign_extend_byte), {60}},
      {"lh zero-extends", load_unit(Op::lh, Width::half, 0, zero_extend), {61}},
      {"lhu sign-extends", load_unit(Op::lhu, Width::half, 0, sim::sign_extend_half), {62}},
      {"lb reads big-endian byte lanes", load_unit(Op::lb, Width::byte, 3, sim::sign_extend_byte), {59}},
      {"lbu reads big-endian byte lanes", load_unit(Op::lbu, Width::byte, 3, zero_extend), {60}},
      {"lh reads the other halfword", load_unit(Op::lh, Width::half, 2, sim::sign_extend_half), {61}},
      {"lhu reads the other halfword", load_unit(Op::lhu, Width::half, 2, zero_extend), {62}},
      {"sb writes big-endian byte lanes", store_unit(Op::sb, Width::byte, 3), {65}},
      {"sh writes the other halfword", store_unit(Op::sh, Width::half, 2), {66}},
      {"sb writes the whole word",
       replace(Op::sb, [](Cpu& c, const Decoded& d) { c.store(address_of(c, d) & ~3u, Width::word, c.reg(d.rt)); }),
       {65}},
      {"sh writes the whole word",
       replace(Op::sh, [](Cpu& c, const Decoded& d) { c.store(address_of(c, d) & ~3u, Width::word, c.reg(d.rt)); }),
       {66}},
      {"lwl merges by big-endian lanes", merge_with_lane(Op::lwl, big_endian_lane), {63}},
      {"lwr merges by big-endian lanes", merge_with_lane(Op::lwr, big_endian_lane), {64}},
      {"swl merges by big-endian lanes", merge_with_lane(Op::swl, big_endian_lane), {67}},
      {"swr merges by big-endian lanes", merge_with_lane(Op::swr, big_endian_lane), {68}},
      {"lwl merges one lane off", merge_with_lane(Op::lwl, next_lane), {63}},
      {"lwr merges one lane off", merge_with_lane(Op::lwr, next_lane), {64}},
      {"swl merges one lane off", merge_with_lane(Op::swl, next_lane), {67}},
      {"swr merges one lane off", merge_with_lane(Op::swr, next_lane), {68}},
      {"long-form sb loses the upper half of its base", long_form_store_drops_upper_half(Op::sb), {65}},
      {"long-form sh loses the upper half of its base", long_form_store_drops_upper_half(Op::sh), {66}},
      {"long-form swl loses the upper half of its base", long_form_store_drops_upper_half(Op::swl), {67}},
      {"long-form swr loses the upper half of its base", long_form_store_drops_upper_half(Op::swr), {68}},
  };
}

TEST(MemoryFaults, EachFaultFailsTheRoutinesThatUseTheInstruction) {
  for (const FaultCase& c : fault_cases()) {
    SCOPED_TRACE(c.name);
    const ImageRun run = run_default_image(c.fault);
    ASSERT_TRUE(run.finished()) << sim::stop_reason_name(run.result.stop);
    EXPECT_EQ(run.failed, c.failing);
    EXPECT_EQ(run.display_words, expected_display_words(run.failed));
    EXPECT_EQ(sim::verdict_of(run.result), sim::Verdict::Fail);
    EXPECT_EQ(run.result.board.status_lamp_a, 2u);
    EXPECT_EQ(run.result.board.status_lamp_b, 2u);
    EXPECT_EQ(run.result.board.lamp_bank, 0u);
  }
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

// A load whose register changes one instruction late: the memory cases
// compare the loaded register four instructions later, and their follow-up
// loads land on a written neighbour word with either base, so no memory
// routine fails. (Only the follow-up loads read a register right after a
// load, and they are not compared.)
TEST(MemoryFaults, DelayedLoadResultsLeaveTheMemoryRoutinesPassing) {
  const std::set<int> memory_routines = {6, 12, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68};
  for (Op op : {Op::lb, Op::lbu, Op::lh, Op::lhu, Op::lw, Op::lwl, Op::lwr}) {
    SCOPED_TRACE(isa::info(op).mnemonic);
    const ImageRun run = run_default_image({op, {}, sim::PipelineEffect::delayed_load});
    ASSERT_TRUE(run.finished()) << sim::stop_reason_name(run.result.stop);
    for (int number : run.failed) EXPECT_FALSE(memory_routines.count(number)) << number;
  }
}

}  // namespace
}  // namespace r3k::test
