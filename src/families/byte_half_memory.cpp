// lb, lbu, lh, lhu, sb, sh
#include "families/byte_half_memory.h"

#include <array>
#include <string>
#include <stdexcept>

#include "families/families.h"
#include "families/marker_scheme.h"
#include "families/memory_draw.h"

namespace r3k {
namespace byte_half {

using isa::Op;

namespace {

struct Member {
  Op op;
  memory::GroupSizes groups;
  int long_form_cases;
  std::array<int, 4> lanes;  // how many cases access lane 0, 1, 2, 3
  // How many cases have the top bit of the accessed unit set (for the stores,
  // of the unit of S that is stored), so that sign and zero extension, and
  // both halves of a stored byte, are exercised in known measure.
  int top_bit_set;
};

// The counts of each routine's table of cases, one row per routine: they fix
// the shape of the routine (group sizes, long forms, lanes, top bits), and
// the seed draws only the values within it.
// The case counts are part of the image: its pinned digest locks them.
constexpr Member kMembers[] = {
    {.op = Op::lb, .groups = {57, 41, 19}, .long_form_cases = 33, .lanes = {57, 12, 36, 12}, .top_bit_set = 55},
    {.op = Op::lbu, .groups = {53, 50, 23}, .long_form_cases = 35, .lanes = {67, 20, 26, 13}, .top_bit_set = 73},
    {.op = Op::lh, .groups = {37, 35, 14}, .long_form_cases = 34, .lanes = {58, 0, 28, 0}, .top_bit_set = 40},
    {.op = Op::lhu, .groups = {33, 41, 36}, .long_form_cases = 23, .lanes = {59, 0, 51, 0}, .top_bit_set = 52},
    {.op = Op::sb, .groups = {36, 45, 32}, .long_form_cases = 27, .lanes = {54, 12, 33, 14}, .top_bit_set = 45},
    {.op = Op::sh, .groups = {40, 39, 24}, .long_form_cases = 30, .lanes = {66, 0, 37, 0}, .top_bit_set = 56},
};

const Member& member(Op op) { return find_member(kMembers, op, "byte and halfword load/store"); }

bool is_store(Op op) { return isa::info(op).is_store(); }
bool is_halfword(Op op) { return isa::info(op).attributes.width == 2; }

// The sign bit of the unit the case moves: lane k of W for a load, the low
// unit of S for a store.
bool unit_top_bit(Op op, uint32_t value, unsigned lane) {
  const unsigned unit_bits = is_halfword(op) ? 16 : 8;
  const unsigned shift = is_store(op) ? 0 : 8 * lane;
  return (value >> (shift + unit_bits - 1)) & 1;
}

// A full-width random word whose moved unit has the asked top bit, loaded by
// lui then ori like every W, P and S. Each draw succeeds with even odds, so
// the loop ends after a couple of draws.
uint32_t word_with_top_bit(Random& random, Op op, unsigned lane, bool top_bit) {
  for (;;) {
    const uint32_t value = markers::draw_two_instruction_word(random);
    if (unit_top_bit(op, value, lane) == top_bit) return value;
  }
}

}  // namespace

uint32_t result(Op op, uint32_t memory_word, uint32_t store_data, unsigned lane) {
  if (lane > 3 || (is_halfword(op) && lane % 2 != 0)) throw std::logic_error("byte and halfword cases: bad lane offset");
  const unsigned shift = 8 * lane;
  const uint32_t unit_mask = is_halfword(op) ? 0xFFFF : 0xFF;
  switch (op) {
    case Op::lb: return static_cast<uint32_t>(static_cast<int8_t>(memory_word >> shift));
    case Op::lh: return static_cast<uint32_t>(static_cast<int16_t>(memory_word >> shift));
    case Op::lbu:
    case Op::lhu: return (memory_word >> shift) & unit_mask;
    case Op::sb:
    case Op::sh: return (memory_word & ~(unit_mask << shift)) | ((store_data & unit_mask) << shift);
    default: throw std::logic_error("byte and halfword cases: " + std::string(isa::info(op).mnemonic) + " is not one");
  }
}

std::vector<memory::MemoryCase> draw_cases(Op op, Random& random) {
  const Member& m = member(op);
  std::vector<memory::MemoryCase> cases = memory::grouped_addresses(random, m.groups, m.long_form_cases);
  // The fixed last case takes one lane-0 access with its top bit clear.
  std::array<int, 4> random_lanes = m.lanes;
  --random_lanes[0];
  const std::vector<unsigned> lanes = memory::shuffled_lanes(random, random_lanes);
  const std::vector<bool> top_bits = memory::shuffled_flags(random, cases.size() - 1, m.top_bit_set);
  if (lanes.size() != top_bits.size()) throw std::logic_error("byte and halfword cases: lane counts do not add up");
  for (std::size_t i = 0; i + 1 < cases.size(); ++i) {
    memory::MemoryCase& c = cases[i];
    c.lane = lanes[i];
    if (is_store(op)) {
      c.memory_word = markers::draw_two_instruction_word(random);
      c.register_value = word_with_top_bit(random, op, c.lane, top_bits[i]);
    } else {
      c.memory_word = word_with_top_bit(random, op, c.lane, top_bits[i]);
    }
    c.expected = result(op, c.memory_word, c.register_value, c.lane);
  }
  return cases;  // the last case keeps lane 0 and all-zero values
}

}  // namespace byte_half

void byte_half_cases(RoutineContext& routine) {
  const isa::Op op = routine.spec.op;
  const auto describe = [op](const memory::MemoryCase& c) { return memory::describe(c, op, true); };
  emit_cases(routine, byte_half::draw_cases(op, routine.random), describe, [&](const memory::MemoryCase& c) {
    if (byte_half::is_store(op)) memory::emit_store_case(routine.as, op, c, routine.inst_error);
    else memory::emit_load_case(routine.as, op, c, false, routine.inst_error);
  });
}

}  // namespace r3k
