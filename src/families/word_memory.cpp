// lw, sw
#include "families/word_memory.h"

#include <string>
#include <stdexcept>

#include "families/families.h"
#include "families/memory_draw.h"

namespace r3k {
namespace word_memory {

using namespace isa;  // register names

namespace {

struct Member {
  Op op;
  memory::GroupSizes groups;
  int long_form_cases;
  // Where the second neighbour word lies, and which neighbour the follow-up
  // loads start from: together they decide which loads depend back to back.
  int16_t second_neighbour;
  memory::FollowUps follow_ups;
};

// The case counts are part of the image: its pinned digest locks them.
constexpr Member kMembers[] = {
    {.op = Op::lw, .groups = {23, 23, 18}, .long_form_cases = 16,
     .second_neighbour = -8, .follow_ups = memory::FollowUps::a1_first},
    {.op = Op::sw, .groups = {32, 21, 16}, .long_form_cases = 21,
     .second_neighbour = -4, .follow_ups = memory::FollowUps::a0_first},
};

const Member& member(Op op) { return find_member(kMembers, op, "word memory"); }

// The stored word is the instruction under test of the sw routine and the
// loaded one that of the lw routine; the case is the same.
void emit_word_case(assembly::Assembler& as, const Member& m, const memory::MemoryCase& c,
                    assembly::Label inst_error) {
  const auto offset = static_cast<int32_t>(c.offset);
  as.li(t1, c.memory_word);
  as.li(t0, c.base);
  as.li(v1, c.expected);
  as.load_store(Op::sw, t1, offset, t0);
  memory::emit_neighbour_words(as, c.offset, m.second_neighbour);
  as.load_store(Op::lw, v0, offset, t0);
  memory::emit_follow_up_loads(as, c.offset, m.follow_ups);
  memory::emit_check(as, inst_error);
}

}  // namespace

std::vector<memory::MemoryCase> draw_cases(Op op, Random& random) {
  const Member& m = member(op);
  std::vector<memory::MemoryCase> cases = memory::grouped_addresses(random, m.groups, m.long_form_cases);
  for (memory::MemoryCase& c : cases) c.memory_word = random.word();
  cases.back().memory_word = 0;  // the last case stores and loads 0
  for (memory::MemoryCase& c : cases) c.expected = c.memory_word;
  return cases;
}

}  // namespace word_memory

void word_memory_cases(RoutineContext& routine) {
  const word_memory::Member& m = word_memory::member(routine.spec.op);
  const auto describe = [&](const memory::MemoryCase& c) { return memory::describe(c, m.op, true); };
  emit_cases(routine, word_memory::draw_cases(m.op, routine.random), describe,
             [&](const memory::MemoryCase& c) { word_memory::emit_word_case(routine.as, m, c, routine.inst_error); });
}

}  // namespace r3k
