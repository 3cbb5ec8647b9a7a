// lwl, lwr, swl, swr
#include "families/unaligned_memory.h"

#include <array>
#include <string>
#include <stdexcept>

#include "families/families.h"
#include "families/marker_scheme.h"
#include "families/memory_draw.h"

namespace r3k {
namespace unaligned {

using isa::Op;

namespace {

constexpr uint32_t kBase = 0x80000000;
// Data words from 0x80000330 to 0x8000FFD8, so the neighbour words stay
// within 0x80000328 to 0x8000FFDC, in the low 64 KiB of RAM.
constexpr uint32_t kLowestOffset = 0x330, kHighestOffset = 0xFFD8;
constexpr int kCases = 50;

struct Member {
  Op op;
  int long_form_cases;
  std::array<int, 4> lanes;  // how many cases access lane 0, 1, 2, 3
};

// The case counts are part of the image: its pinned digest locks them.
constexpr Member kMembers[] = {
    {.op = Op::lwl, .long_form_cases = 21, .lanes = {19, 6, 14, 11}},
    {.op = Op::lwr, .long_form_cases = 27, .lanes = {26, 7, 10, 7}},
    {.op = Op::swl, .long_form_cases = 29, .lanes = {26, 9, 9, 6}},
    {.op = Op::swr, .long_form_cases = 26, .lanes = {27, 8, 9, 6}},
};

const Member& member(Op op) { return find_member(kMembers, op, "unaligned load/store"); }

bool is_load(Op op) { return isa::info(op).is_load(); }

uint32_t byte_of(uint32_t word, unsigned index) { return (word >> (8 * index)) & 0xFF; }
uint32_t with_byte(uint32_t word, unsigned index, uint32_t byte) {
  return (word & ~(0xFFu << (8 * index))) | (byte << (8 * index));
}

}  // namespace

// Byte by byte, as the architecture states it: lwl at A + k moves the word's
// bytes k down to 0 into the register's bytes 3 down to 3 - k, lwr its bytes k
// up to 3 into the register's bytes 0 up to 3 - k; swl and swr move the same
// bytes the other way. Everything else keeps its value.
uint32_t result(Op op, uint32_t memory_word, uint32_t register_value, unsigned lane) {
  if (lane > 3) throw std::logic_error("unaligned cases: bad lane offset");
  uint32_t merged = is_load(op) ? register_value : memory_word;
  for (unsigned i = 0; i <= (op == Op::lwl || op == Op::swl ? lane : 3 - lane); ++i) {
    switch (op) {
      case Op::lwl: merged = with_byte(merged, 3 - i, byte_of(memory_word, lane - i)); break;
      case Op::lwr: merged = with_byte(merged, i, byte_of(memory_word, lane + i)); break;
      case Op::swl: merged = with_byte(merged, lane - i, byte_of(register_value, 3 - i)); break;
      case Op::swr: merged = with_byte(merged, lane + i, byte_of(register_value, i)); break;
      default: throw std::logic_error("unaligned cases: " + std::string(isa::info(op).mnemonic) + " is not one");
    }
  }
  return merged;
}

std::vector<memory::MemoryCase> draw_cases(Op op, Random& random) {
  const Member& m = member(op);
  const std::vector<bool> long_forms = memory::shuffled_flags(random, kCases, m.long_form_cases);
  const std::vector<unsigned> lanes = memory::shuffled_lanes(random, m.lanes);
  if (lanes.size() != long_forms.size()) throw std::logic_error("unaligned cases: lane counts do not add up");
  std::vector<memory::MemoryCase> cases(kCases);
  for (int i = 0; i < kCases; ++i) {
    memory::MemoryCase& c = cases[i];
    c.base = kBase;
    c.offset = memory::word_offset(random, long_forms[i], kLowestOffset, kHighestOffset);
    c.lane = lanes[i];
    // W or P, R0 or S, and E each take the two-instruction load, lui then
    // ori; a pair whose merge E would not is drawn again.
    do {
      c.memory_word = markers::draw_two_instruction_word(random);
      c.register_value = markers::draw_two_instruction_word(random);
      c.expected = result(op, c.memory_word, c.register_value, c.lane);
    } while (!markers::takes_two_instructions(c.expected));
  }
  return cases;
}

}  // namespace unaligned

void unaligned_cases(RoutineContext& routine) {
  const isa::Op op = routine.spec.op;
  const auto describe = [op](const memory::MemoryCase& c) { return memory::describe(c, op, false); };
  emit_cases(routine, unaligned::draw_cases(op, routine.random), describe, [&](const memory::MemoryCase& c) {
    if (unaligned::is_load(op)) memory::emit_load_case(routine.as, op, c, true, routine.inst_error);
    else memory::emit_store_case(routine.as, op, c, routine.inst_error);
  });
}

}  // namespace r3k
