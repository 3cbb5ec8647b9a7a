#include "common/error.h"
#include "supplement/forwarding.h"
#include "supplement/robust_code.h"

namespace r3k::supplement {

using isa::Op;

std::string_view producer_name(Producer producer) {
  static constexpr std::string_view kNames[] = {"addu", "sll", "lui", "lw", "mfhi", "mflo", "jal", "jalr", "bltzal", "bgezal"};
  return kNames[static_cast<int>(producer)];
}

std::string_view consumer_name(Consumer consumer) {
  static constexpr std::string_view kNames[] = {"ALU rs",      "ALU rt",      "store data",     "store base",
                                                "load base",   "branch rs",   "branch rt",      "jr target",
                                                "jalr target", "multiply rs", "multiply rt"};
  return kNames[static_cast<int>(consumer)];
}

bool is_link(Producer producer) {
  return producer == Producer::jal || producer == Producer::jalr || producer == Producer::bltzal ||
         producer == Producer::bgezal;
}

std::vector<Producer> producers_of(Op op) {
  switch (op) {
    case Op::addu: return {Producer::alu};
    case Op::sll: return {Producer::shift};
    case Op::lui: return {Producer::lui};
    case Op::lw: return {Producer::load};
    case Op::mfhi: return {Producer::mfhi, Producer::mflo};
    case Op::jal: return {Producer::jal, Producer::jalr, Producer::bltzal, Producer::bgezal};
    default: throw Error("supplement: no forwarding producer for " + std::string(isa::info(op).mnemonic));
  }
}

namespace {

constexpr uint32_t kLuiRamBase = 0x80010000;  // what lui gives for a RAM address

bool is_branch(Consumer c) { return c == Consumer::branch_rs || c == Consumer::branch_rt; }
bool is_jump(Consumer c) { return c == Consumer::jr_target || c == Consumer::jalr_target; }
bool is_mult(Consumer c) { return c == Consumer::mult_rs || c == Consumer::mult_rt; }
bool is_hilo(Producer p) { return p == Producer::mfhi || p == Producer::mflo; }

// Whether MIPS-I gives the pair a defined meaning that this image can check.
bool checkable(Producer p, Consumer c, int distance) {
  if (p == Producer::lui && is_jump(c)) return false;  // lui cannot make a code address
  if (is_link(p) && (c == Consumer::store_base || is_jump(c))) return false;  // the boot ROM; a jump to itself
  if (is_link(p) && distance == 1 && is_branch(c)) return false;  // no branch in a delay slot
  if (is_hilo(p) && is_mult(c) && distance < 3) return false;  // HI/LO written within two of mfhi/mflo
  return true;
}

uint32_t plain_value(Random& random, Producer p, std::initializer_list<uint32_t> avoid) {
  for (;;) {
    uint32_t v = nonzero_word(random, avoid) & ~3u;  // the shift producer makes it from v >> 2
    if (p == Producer::lui) v &= 0xFFFF0000;
    bool clash = v == 0;
    for (uint32_t a : avoid) clash = clash || v == a;
    if (!clash) return v;
  }
}

// What `load` gives from a word holding `word` (at offset 0, or 3 for lwl:
// the whole word for lwl and lwr).
uint32_t loaded_value(Op load, uint32_t word) {
  switch (load) {
    case Op::lb: return uint32_t(int32_t(int8_t(word)));
    case Op::lbu: return word & 0xFF;
    case Op::lh: return uint32_t(int32_t(int16_t(word)));
    case Op::lhu: return word & 0xFFFF;
    default: return word;
  }
}

ForwardCase draw_one(Producer p, Consumer c, int distance, ScratchWords& scratch, Random& random) {
  ForwardCase f{std::nullopt, p, c, distance};
  f.reg = p == Producer::jal || p == Producer::bltzal || p == Producer::bgezal ? isa::ra : isa::t0;
  f.other = nonzero_word(random);
  const bool ram = c == Consumer::store_base || c == Consumer::load_base;
  if (p == Producer::load) f.load_source = scratch.next();
  if (c == Consumer::store_data || ram) f.memory = scratch.next();
  if (ram && !is_link(p)) {
    f.value = p == Producer::lui ? kLuiRamBase : f.memory;
    f.offset = static_cast<int16_t>(f.memory - f.value);
    f.stale = scratch.next();  // a stale base reaches another word
  } else if (!is_jump(c) && !is_link(p)) {
    f.value = plain_value(random, p, {});
    f.stale = plain_value(random, p, {f.value});
  }
  return f;
}

}  // namespace

std::vector<ForwardCase> draw_forward_cases(Op op, int routine_number, Random& random) {
  ScratchWords scratch(routine_number);
  std::vector<ForwardCase> cases;
  for (Producer p : producers_of(op))
    for (int c = 0; c <= static_cast<int>(Consumer::mult_rt); ++c)
      for (int d = 1; d <= 3; ++d) {
        if (checkable(p, Consumer(c), d)) cases.push_back(draw_one(p, Consumer(c), d, scratch, random));
      }
  if (op == Op::lw) {
    // Every other load kind, its value read by the next instruction.
    for (Op load : {Op::lb, Op::lbu, Op::lh, Op::lhu, Op::lwl, Op::lwr})
      for (Consumer c : {Consumer::alu_rs, Consumer::alu_rt}) {
        ForwardCase f = draw_one(Producer::load, c, 1, scratch, random);
        f.load = load;
        f.value = loaded_value(load, f.value);
        while (f.value == 0 || f.value == f.stale) f.value = loaded_value(load, random.word());
        cases.push_back(f);
      }
  }
  return cases;
}

std::vector<ForwardCase> draw_newer_wins_cases(int routine_number, Random& random) {
  ScratchWords scratch(routine_number);
  std::vector<ForwardCase> cases;
  for (Producer first : {Producer::alu, Producer::shift, Producer::lui, Producer::mflo})
    for (Producer second : {Producer::alu, Producer::shift, Producer::lui, Producer::mfhi})
      for (Consumer c : {Consumer::alu_rs, Consumer::alu_rt, Consumer::store_data, Consumer::branch_rs}) {
        ForwardCase f = draw_one(second, c, 1, scratch, random);
        f.first = first;
        f.first_value = plain_value(random, first, {f.value, f.stale});
        cases.push_back(f);
      }
  return cases;
}

std::vector<ForwardCase> draw_zero_cases(int routine_number, Random& random) {
  ScratchWords scratch(routine_number);
  std::vector<ForwardCase> cases;
  for (Producer p : {Producer::alu, Producer::shift, Producer::lui, Producer::mflo, Producer::load})
    for (Consumer c : {Consumer::alu_rs, Consumer::alu_rt, Consumer::store_data, Consumer::branch_rs,
                       Consumer::branch_rt, Consumer::mult_rs, Consumer::mult_rt}) {
      if (p == Producer::mflo && is_mult(c)) continue;  // HI/LO written right after mflo
      ForwardCase f = draw_one(p, c, 1, scratch, random);
      f.reg = isa::zero;
      f.stale = 0;
      cases.push_back(f);
    }
  return cases;
}

}  // namespace r3k::supplement
