// mfhi, mflo, mthi, mtlo
#include "families/hilo_moves.h"

#include <array>
#include <unordered_set>
#include <stdexcept>

#include "families/families.h"

namespace r3k {
namespace hilo_moves {

namespace {

using namespace isa;  // register names
using isa::Op;

// The case counts are part of the image: its pinned digest locks them.
constexpr std::array<Member, 4> kMembers = {{
    {.op = Op::mfhi, .write = Op::mthi, .read = Op::mfhi, .random_words = 114, .word_class = 0},
    {.op = Op::mflo, .write = Op::mtlo, .read = Op::mflo, .random_words = 114, .word_class = 1},
    {.op = Op::mthi, .write = Op::mthi, .read = Op::mfhi, .random_words = 106, .word_class = 2},
    {.op = Op::mtlo, .write = Op::mtlo, .read = Op::mflo, .random_words = 59, .word_class = 3},
}};

}  // namespace

const Member& member(Op op) { return find_member(kMembers, op, "HI/LO move"); }

// The finaliser of MurmurHash3.
unsigned word_class(uint32_t word) {
  word ^= word >> 16;
  word *= 0x85EBCA6Bu;
  word ^= word >> 13;
  word *= 0xC2B2AE35u;
  word ^= word >> 16;
  return word & 3;
}

std::vector<uint32_t> draw_cases(Op op, Random& random) {
  const Member& m = member(op);
  std::vector<uint32_t> words;
  std::unordered_set<uint32_t> used;
  while (words.size() < static_cast<size_t>(m.random_words)) {
    const uint32_t word = random.word();
    if (word != 0 && word_class(word) == m.word_class && used.insert(word).second) words.push_back(word);
  }
  words.push_back(0);
  return words;
}

}  // namespace hilo_moves

// The word is read back by the very next instruction after the move, and
// the expected copy is a constant load of its own, so a move that loses or
// delays the word cannot be hidden by a copy of $t0.
void hilo_move_cases(RoutineContext& routine) {
  using namespace isa;  // register names
  assembly::Assembler& as = routine.as;
  const hilo_moves::Member& m = hilo_moves::member(routine.spec.op);
  const auto describe = [](uint32_t word) { return CaseInfo{0, {}, {{"word", word}}, {}}; };
  emit_cases(routine, hilo_moves::draw_cases(m.op, routine.random), describe, [&](uint32_t word) {
    as.li(t0, word);
    as.move_to(m.write, t0);
    as.move_from(m.read, v0);
    as.li(s5, word);
    as.bne(v0, s5, routine.inst_error);
    as.nop();
  });
}

}  // namespace r3k
