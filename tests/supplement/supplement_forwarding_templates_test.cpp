// The supplement's forwarding routines n11-n18 against one template
// written out by hand: the producer's value set up well before, an older
// write that must lose (n17), the producer, distance - 1 instructions, the
// consumer, and the check. Every case of every routine is compared word by
// word; the values the checks load are worked out here from the operands
// the template loads (a load from the word stored, a link from the address
// after the slot), and the drawn values are checked to tell a stale or an
// older value from the new one.
#include <gtest/gtest.h>

#include <string>

#include "families/case_listing.h"
#include "supplement/forwarding.h"
#include "supplement/supplement.h"
#include "supplement/supplement_listing.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using isa::Op;
using supplement::Consumer;
using supplement::ForwardCase;
using supplement::Producer;
using test::address;
using test::BlockLoad;
using test::constant;
using test::Listing;
using enum isa::Reg;

constexpr uint32_t kAluAddend = 0x00012344;  // the ALU producer's second operand, in $t4

std::string name(isa::Reg reg) { return std::string(isa::reg_name(reg)); }

std::string signed_offset(int32_t offset) {
  return offset < 0 ? "-" + test::hex_text(uint32_t(-offset)) : test::hex_text(uint32_t(offset));
}

bool links(Producer p) {
  return p == Producer::jal || p == Producer::jalr || p == Producer::bltzal || p == Producer::bgezal;
}
bool jumps_through(Consumer c) { return c == Consumer::jr_target || c == Consumer::jalr_target; }
bool branches_on(Consumer c) { return c == Consumer::branch_rs || c == Consumer::branch_rt; }

// A little-endian load of `stored` (at a word boundary, `byte` into it) into
// a register holding `before`.
uint32_t load_result(Op load, uint32_t stored, unsigned byte, uint32_t before) {
  const uint32_t from = stored >> (8 * byte);
  switch (load) {
    case Op::lb: return uint32_t(int32_t(int8_t(from & 0xFF)));
    case Op::lbu: return from & 0xFF;
    case Op::lh: return uint32_t(int32_t(int16_t(from & 0xFFFF)));
    case Op::lhu: return from & 0xFFFF;
    case Op::lwl: {  // the bytes up to `byte` into the top of the register
      const unsigned shift = 8 * (3 - byte);
      return (stored << shift) | (shift ? before & ((1u << shift) - 1) : 0);
    }
    case Op::lwr: {  // the bytes from `byte` into the bottom of the register
      const unsigned kept = 8 * byte;
      return from | (kept ? before & ~(0xFFFFFFFFu >> kept) : 0);
    }
    default: return stored;
  }
}

unsigned load_byte(Op load) { return load == Op::lwl ? 3 : 0; }

// What a non-link producer leaves in its register, from what the template
// loads for it: addu of (value - addend) and the addend, sll by 2 of value
// >> 2, lui of the upper half, a load of the stored word, a move of HI or LO.
uint32_t produced(Producer p, uint32_t value, Op load, uint32_t before) {
  switch (p) {
    case Producer::alu: return (value - kAluAddend) + kAluAddend;
    case Producer::shift: return (value >> 2) << 2;
    case Producer::lui: return value & 0xFFFF0000;
    case Producer::load: return load_result(load, value, load_byte(load), before);
    default: return value;
  }
}

// What the check compares for an ALU, store-data or multiply consumer that
// read `x`.
uint32_t consumer_result(Consumer c, uint32_t x, uint32_t other) {
  switch (c) {
    case Consumer::alu_rs: return x - other;
    case Consumer::alu_rt: return x + other;
    case Consumer::mult_rs: case Consumer::mult_rt: return uint32_t(uint64_t(x) * other);
    default: return x;
  }
}

void add_operands(std::vector<BlockLoad>& block, Producer p, uint32_t value, bool code, isa::Reg a, isa::Reg b) {
  switch (p) {
    case Producer::alu:
      block.push_back(code ? address(a, "target", -int32_t(kAluAddend)) : constant(a, value - kAluAddend));
      block.push_back(constant(b, kAluAddend));
      break;
    case Producer::shift: block.push_back(code ? address(a, "target") : constant(a, value >> 2)); break;
    case Producer::bltzal: block.push_back(constant(a, 0x80000000)); break;
    case Producer::bgezal: block.push_back(constant(a, 1)); break;
    case Producer::jalr: block.push_back(address(t9, "after slot")); break;
    default: break;
  }
}

std::string write_text(Producer p, isa::Reg reg, uint32_t value, bool code, isa::Reg a, isa::Reg b, Op load) {
  const std::string r = name(reg);
  switch (p) {
    case Producer::alu: return "addu " + r + ", " + name(a) + ", " + name(b);
    case Producer::shift: return "sll " + r + ", " + name(a) + (code ? ", 0" : ", 2");
    case Producer::lui: return "lui " + r + ", " + test::hex_text(value >> 16);
    case Producer::load:
      return std::string(isa::info(load).mnemonic) + " " + r + ", " + test::hex_text(load_byte(load)) + "($t4)";
    case Producer::mfhi: return "mfhi " + r;
    case Producer::mflo: return "mflo " + r;
    case Producer::jal: return "jal @after slot";
    case Producer::jalr: return "jalr " + r + ", $t9";
    case Producer::bltzal: return "bltzal " + name(a) + ", @after slot";
    case Producer::bgezal: return "bgezal " + name(a) + ", @after slot";
  }
  return {};
}

// The consumer; `offset` is its own for a base consumer.
void add_consumer(Listing& l, const ForwardCase& f, int32_t offset, bool link) {
  const std::string p = name(f.reg);
  switch (f.consumer) {
    case Consumer::alu_rs: l.line("subu $t1, " + p + ", $t2"); break;
    case Consumer::alu_rt: l.line("addu $t1, $t2, " + p); break;
    case Consumer::store_data: l.line("sw " + p + ", 0x0($t5)"); break;
    case Consumer::store_base: l.line("sw $t2, " + signed_offset(offset) + "(" + p + ")"); break;
    case Consumer::load_base: l.line("lw $t1, " + signed_offset(offset) + "(" + p + ")"); break;
    case Consumer::mult_rs: l.line("multu " + p + ", $t2"); break;
    case Consumer::mult_rt: l.line("multu $t2, " + p); break;
    case Consumer::branch_rs:
    case Consumer::branch_rt:
      l.line(f.consumer == Consumer::branch_rs ? "beq " + p + ", $t2, @equal" : "beq $t2, " + p + ", @equal");
      l.line(link ? "addu $ra, $zero, $s7" : "nop");
      l.line("beq $zero, $zero, @inst_error").nop();
      l.label("equal");
      break;
    case Consumer::jr_target:
    case Consumer::jalr_target:
      l.line(f.consumer == Consumer::jr_target ? "jr " + p : "jalr $t1, " + p).nop();
      l.label("wrong").line("beq $zero, $zero, @inst_error").line("addu $ra, $zero, $s7");
      l.label("target").line("addu $ra, $zero, $s7");
      break;
  }
}

Listing forward_template(const ForwardCase& f, uint32_t inst_error, uint32_t case_address) {
  Listing l;
  l.outside("inst_error", inst_error);
  const bool link = links(f.producer), code = jumps_through(f.consumer);
  // Set up the producer's source: the word a load reads, or HI or LO.
  if (f.producer == Producer::load) {
    test::load_block(l, {code ? address(t3, "target") : constant(t3, f.value), constant(t4, f.load_source)});
    l.line("sw $t3, 0x0($t4)");
  } else if (f.producer == Producer::mfhi || f.producer == Producer::mflo) {
    test::load_block(l, {code ? address(t3, "target") : constant(t3, f.value)});
    l.line(f.producer == Producer::mfhi ? "mthi $t3" : "mtlo $t3");
  }
  if (f.first == Producer::mflo) {
    test::load_block(l, {constant(a0, f.first_value)});
    l.line("mtlo $a0");
  }
  if (f.consumer == Consumer::load_base && !link) {
    test::load_block(l, {constant(t7, f.memory), constant(t8, f.other)});
    l.line("sw $t8, 0x0($t7)");
  }
  const uint32_t read = f.reg == zero ? 0 : produced(f.producer, f.value, f.load, f.stale);
  std::vector<BlockLoad> block;
  if (f.reg != zero && f.reg != ra) block.push_back(code ? address(f.reg, "wrong") : constant(f.reg, f.stale));
  if (branches_on(f.consumer)) block.push_back(link ? address(t2, "after slot") : constant(t2, read));
  else block.push_back(constant(t2, f.other));
  if (f.consumer == Consumer::store_data || f.consumer == Consumer::store_base) block.push_back(constant(t5, f.memory));
  add_operands(block, f.producer, f.value, code, t3, t4);
  if (f.first) add_operands(block, *f.first, f.first_value, false, a0, a1);
  test::load_block(l, block);
  if (f.consumer == Consumer::store_base) l.line("sw $zero, 0x0($t5)");
  if (f.consumer == Consumer::store_data) l.line("sw $t2, 0x0($t5)");
  if (link || code) l.line("addu $s7, $zero, $ra").nop();

  if (f.first) l.line(write_text(*f.first, f.reg, f.first_value, false, a0, a1, Op::lw));
  const size_t producer_at = l.size();
  l.line(write_text(f.producer, f.reg, f.value, code, t3, t4, f.load));
  // A link's load base points at the consumer itself in the boot ROM.
  size_t consumer_at = 0;
  int32_t offset = f.offset;
  const auto consume = [&] {
    consumer_at = l.size();
    if (link) offset = int32_t(4 * (consumer_at - producer_at)) - 8;
    add_consumer(l, f, offset, link);
  };
  if (link) {
    if (f.distance == 1) {
      consume();
      l.label("after slot");
    } else {
      l.nop().label("after slot");
      for (int i = 2; i < f.distance; ++i) l.nop();
      consume();
    }
    if (!branches_on(f.consumer)) l.line("addu $ra, $zero, $s7");
  } else {
    for (int i = 1; i < f.distance; ++i) l.nop();
    consume();
  }
  EXPECT_EQ(consumer_at, producer_at + size_t(f.distance)) << "the consumer is at its distance";

  const uint32_t value = link ? case_address + 4 * uint32_t(l.index_of("after slot")) : read;
  switch (f.consumer) {
    case Consumer::alu_rs:
    case Consumer::alu_rt:
      test::load_block(l, {constant(t6, consumer_result(f.consumer, value, f.other))});
      test::fail_unless_equal(l, "$t1", "$t6");
      break;
    case Consumer::store_data:
    case Consumer::store_base:
      if (f.consumer == Consumer::store_base) {
        EXPECT_EQ(value + uint32_t(offset), f.memory) << "the store hits its word";
      }
      test::load_block(l, {constant(t6, f.consumer == Consumer::store_data ? value : f.other)});
      test::read_gap(l.line("lw $t1, 0x0($t5)"));
      test::fail_unless_equal(l, "$t1", "$t6");
      break;
    case Consumer::load_base: {
      uint32_t loaded = f.other;  // stored at the word the base and offset name
      if (link) {  // lw $t1, offset(reg): opcode 0x23, base, rt 9, the offset
        loaded = 0x23u << 26 | uint32_t(f.reg) << 21 | 9u << 16 | (uint32_t(offset) & 0xFFFF);
        EXPECT_EQ(value + uint32_t(offset), case_address + 4 * uint32_t(consumer_at)) << "the load reads itself";
      } else {
        EXPECT_EQ(value + uint32_t(offset), f.memory) << "the load reads the word stored";
      }
      test::load_block(l, {constant(t6, loaded)});
      test::fail_unless_equal(l, "$t1", "$t6");
      break;
    }
    case Consumer::mult_rs:
    case Consumer::mult_rt:
      l.line("mflo $t1");
      test::load_block(l, {constant(t6, consumer_result(f.consumer, value, f.other))});
      test::fail_unless_equal(l, "$t1", "$t6");
      break;
    default: break;  // the branch or jump was the check
  }
  return l;
}

struct ForwardRoutine {
  int number;
  const char* name;
  Op op;            // the instruction of the run-order row
  size_t cases;     // eleven consumers at distances 1-3 per producer, less what MIPS-I leaves undefined
};
// addu, sll: 33. lui: no code address for jr/jalr (27). lw: 33 and the six
// other loads into both ALU operands (45). mfhi, mflo: no multiply within
// two of the move (29 each). The four links: no store base (the boot ROM),
// no jump (to itself), no branch in their slot (22 each).
constexpr ForwardRoutine kProducerRoutines[] = {
    {11, "n11_forward_alu_test", Op::addu, 33},  {12, "n12_forward_shift_test", Op::sll, 33},
    {13, "n13_forward_lui_test", Op::lui, 27},   {14, "n14_forward_load_test", Op::lw, 45},
    {15, "n15_forward_hilo_test", Op::mfhi, 58}, {16, "n16_forward_link_test", Op::jal, 88},
};
constexpr uint32_t kSeeds[] = {kDefaultSeed, 2, 0xDE1A7};

std::vector<ForwardCase> producer_cases(const ForwardRoutine& routine, uint32_t seed) {
  Random random(seed, uint32_t(routine.number));
  return supplement::draw_forward_cases(routine.op, routine.number, random);
}
std::vector<ForwardCase> newer_wins_cases(uint32_t seed) {
  Random random(seed, 17);
  return supplement::draw_newer_wins_cases(17, random);
}
std::vector<ForwardCase> zero_cases(uint32_t seed) {
  Random random(seed, 18);
  return supplement::draw_zero_cases(18, random);
}

TEST(SupplementForwardingCases, EveryProducersCasesFollowTheTemplate) {
  for (uint32_t seed : {kDefaultSeed, 2u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const Image image = supplement::build(seed);
    for (const ForwardRoutine& routine : kProducerRoutines) {
      const std::vector<ForwardCase> cases = producer_cases(routine, seed);
      EXPECT_EQ(cases.size(), routine.cases) << routine.name;
      test::expect_cases_follow_at(image, routine.name, cases, forward_template);
    }
  }
}

// n17: four first writers by four second ones into four consumers at
// distance 1 (64); n18: five producers into $zero, seven consumers, less
// mflo into a multiply (33).
TEST(SupplementForwardingCases, NewerWinsAndZeroCasesFollowTheTemplate) {
  for (uint32_t seed : {kDefaultSeed, 2u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const Image image = supplement::build(seed);
    const std::vector<ForwardCase> newer = newer_wins_cases(seed), into_zero = zero_cases(seed);
    EXPECT_EQ(newer.size(), 64u);
    EXPECT_EQ(into_zero.size(), 33u);
    for (const ForwardCase& f : newer) EXPECT_TRUE(f.first && f.distance == 1 && f.reg == t0);
    for (const ForwardCase& f : into_zero) EXPECT_TRUE(!f.first && f.distance == 1 && f.reg == zero && f.stale == 0);
    test::expect_cases_follow_at(image, "n17_forward_newer_wins_test", newer, forward_template);
    test::expect_cases_follow_at(image, "n18_forward_zero_test", into_zero, forward_template);
  }
}

// What a case compares differs when the consumer reads the stale value, the
// older write of n17, or (n18) what the producer computed into $zero: a
// processor that forwards the wrong one fails the case.
void expect_tells_apart(const ForwardCase& f, uint32_t wrong, const char* what) {
  const uint32_t read = f.reg == zero ? 0 : produced(f.producer, f.value, f.load, f.stale);
  EXPECT_NE(read, wrong) << what;
  if (f.consumer == Consumer::store_base || f.consumer == Consumer::load_base)
    EXPECT_NE(wrong + uint32_t(int32_t(f.offset)), f.memory) << what << ": the wrong base reaches the case's word";
  else
    EXPECT_NE(consumer_result(f.consumer, read, f.other), consumer_result(f.consumer, wrong, f.other)) << what;
}

TEST(SupplementForwardingCases, DrawnValuesTellTheNewValueFromAWrongOne) {
  for (uint32_t seed : kSeeds) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    for (const ForwardRoutine& routine : kProducerRoutines)
      for (const ForwardCase& f : producer_cases(routine, seed))
        if (!links(f.producer) && !jumps_through(f.consumer)) expect_tells_apart(f, f.stale, routine.name);
    for (const ForwardCase& f : newer_wins_cases(seed)) {
      expect_tells_apart(f, f.stale, "n17 stale");
      expect_tells_apart(f, produced(*f.first, f.first_value, Op::lw, f.stale), "n17 older write");
    }
    for (const ForwardCase& f : zero_cases(seed))
      expect_tells_apart(f, produced(f.producer, f.value, f.load, 0), "n18 the value written to $zero");
  }
}

}  // namespace
}  // namespace r3k
