// The delay-slot instruction list: its text per routine, and the values a
// correct processor computes from it, watched on the reference simulator.
#include "families/delay_slot_list.h"

#include <gtest/gtest.h>

#include <map>

#include "common/error.h"
#include "families/case_listing.h"
#include "families/delay_slot_text.h"
#include "sim/bus.h"
#include "sim/machine.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using isa::Op;
using test::DelaySlotRoutine;

TEST(DelaySlotList, EachRoutineCarriesTheListAsTabled) {
  for (const DelaySlotRoutine& row : test::delay_slot_routines()) {
    SCOPED_TRACE(row.name);
    const delay_slots::SlotList list = delay_slots::slot_list(row.op);
    std::vector<std::string> expected = test::slot_list_text(row.number);
    expected.resize(static_cast<size_t>(row.cases));
    std::vector<std::string> actual;
    for (const delay_slots::SlotInstruction& slot : list.cases) actual.push_back(isa::disassemble(slot.encoding(), 0));
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(delay_slots::kRamBase + static_cast<uint32_t>(list.ram_offset), row.ram_word);
  }
  EXPECT_THROW(delay_slots::slot_list(Op::addu), std::logic_error);
}

TEST(DelaySlotList, LooseInstructionsLoadTheMultiplyAndDivideOperands) {
  assembly::Assembler as(0xBFC00000);
  delay_slots::load_multiply_divide_operands(as);
  std::vector<std::string> actual;
  for (const uint32_t word : as.words()) actual.push_back(isa::disassemble(word, 0));
  EXPECT_EQ(actual, test::loose_instructions_text());
}

// The reference repeats the slot instruction with the same sources, so no
// instruction may read the register it writes; a store's base is not the
// register it stores.
TEST(DelaySlotList, NoInstructionReadsItsOwnDestination) {
  for (const DelaySlotRoutine& row : test::delay_slot_routines())
    for (const delay_slots::SlotInstruction& slot : delay_slots::slot_list(row.op).cases) {
      if (slot.writes_hilo()) continue;
      const std::string text = isa::disassemble(slot.encoding(), 0);
      const std::string sources = text.substr(text.find(test::destination_of(text)) + 3);
      EXPECT_EQ(sources.find(test::destination_of(text)), std::string::npos) << row.name << ": " << text;
    }
}

// Records, for every case of the watched routines, the reference register
// at the first comparison with it, and the address of every store and load.
struct ReferenceWatch {
  std::map<uint32_t, std::pair<int, int>> compare_at;  // address -> (routine, case)
  std::map<std::pair<int, int>, uint32_t> reference;
  std::map<int, std::vector<uint32_t>> memory_addresses;  // routine -> addresses
  std::map<uint32_t, int> routine_at;                     // any address in a watched routine's cases
  std::map<int, uint32_t> t0_at_entry;
  std::map<uint32_t, int> entry;

  void on_instruction(const sim::Cpu& cpu, const sim::Decoded& d) {
    if (auto e = entry.find(cpu.pc); e != entry.end()) t0_at_entry[e->second] = cpu.reg(isa::t0);
    if (auto c = compare_at.find(cpu.pc); c != compare_at.end()) reference[c->second] = cpu.reg(isa::s6);
    const Op op = d.op();
    if ((op == Op::sw || op == Op::lw) && routine_at.count(cpu.pc))
      memory_addresses[routine_at[cpu.pc]].push_back(cpu.reg(d.rs) + d.imm);
  }
};

TEST(DelaySlotList, CorrectProcessorComputesTheListedResults) {
  const Image& image = test::default_image();
  ReferenceWatch watch;
  for (const DelaySlotRoutine& row : test::delay_slot_routines()) {
    const RoutineInfo& routine = test::routine_named(image, row.name);
    watch.entry[routine.address] = row.number;
    const std::vector<test::EmittedCase> cases = test::emitted_cases(image, routine);
    for (size_t i = 0; i < cases.size(); ++i) {
      bool found = false;
      for (size_t k = 0; k < cases[i].words.size(); ++k) {
        watch.routine_at[cases[i].address_of(k)] = row.number;
        const uint32_t w = cases[i].words[k];
        if (!found && isa::decode(w) == Op::bne && isa::fields_of(w).rt == isa::s6) {
          watch.compare_at[cases[i].address_of(k)] = {row.number, static_cast<int>(i) + 1};
          found = true;
        }
      }
      EXPECT_TRUE(found) << row.name << " case " << i + 1;
    }
  }
  sim::Machine machine(image.boot_bytes());
  sim::RunOptions options;
  const sim::RunResult result = machine.run(options, watch);
  ASSERT_EQ(result.stop, sim::StopReason::Finished);

  for (const DelaySlotRoutine& row : test::delay_slot_routines()) {
    SCOPED_TRACE(row.name);
    // bne and jal never load $t0: they read the 0 the pause left in it.
    const bool own_base = row.number != 17 && row.number != 19;
    EXPECT_EQ(watch.t0_at_entry[row.number], 0u);
    const uint32_t t0 = own_base ? 0x80020000 : 0;
    const auto test_number = static_cast<uint32_t>(row.number);
    for (int c = 1; c <= row.cases; ++c) {
      const std::pair<int, int> key(row.number, c);
      EXPECT_EQ(watch.reference[key], test::listed_result(c, t0, test_number, test_number - 1)) << "case " << c;
    }
    // Cases 3 and 4 store and load the routine's one RAM word: three times
    // each in a branch routine, twice in a jump routine.
    const std::vector<uint32_t> expected(row.jump ? 4 : 6, row.ram_word);
    EXPECT_EQ(watch.memory_addresses[row.number], expected);
    // RAM starts filled with a non-zero pattern: the word case 4 reads back
    // is there only because case 3 stored it.
    uint32_t at_reset = 0;
    for (uint32_t byte = 0; byte < 4; ++byte) at_reset |= uint32_t(sim::ram_fill_byte(row.ram_word + byte)) << (8 * byte);
    EXPECT_NE(at_reset, delay_slots::kStoredWord);
    EXPECT_NE(at_reset, 0u);
  }
}

}  // namespace
}  // namespace r3k
