// The readers' cases and what each must give, worked out with the
// families' own definitions of the instructions.
#include <stdexcept>
#include <string>

#include "families/branch_link.h"
#include "families/branches.h"
#include "families/byte_half_memory.h"
#include "families/immediate_alu.h"
#include "families/multiply_divide.h"
#include "families/register_alu.h"
#include "families/shifts.h"
#include "families/unaligned_memory.h"
#include "supplement/readers.h"
#include "supplement/robust_code.h"

namespace r3k::supplement {

using isa::Format;
using isa::Op;

bool is_tested_reader(Op op) {
  const isa::OpInfo& row = isa::info(op);
  if (!row.reads.rs && !row.reads.rt) return false;
  switch (row.format) {
    case Format::JumpRegister:
    case Format::JumpLinkRegister:
    case Format::MoveToCop0: return false;
    default: return true;
  }
}

namespace {

// What a load gives, or the word after a store, at `lane` of `memory`;
// `rt` is the register the instruction keeps part of or stores.
uint32_t access_result(Op op, uint32_t memory, uint32_t rt, unsigned lane) {
  switch (op) {
    case Op::lw:
    case Op::sw:
      if (lane != 0) throw std::logic_error("a word access off its boundary");
      return isa::info(op).is_store() ? rt : memory;
    case Op::lwl:
    case Op::lwr:
    case Op::swl:
    case Op::swr: return unaligned::result(op, memory, rt, lane);
    default: return byte_half::result(op, memory, rt, lane);
  }
}

// The load's register or the case's word after the store. A base that
// reaches the decoy loads the decoy and leaves the case's word as it was.
uint32_t memory_outcome(const ReaderCase& c, uint32_t rs, uint32_t rt) {
  const uint32_t at = rs + static_cast<uint32_t>(static_cast<int16_t>(c.imm));
  const uint32_t aligned = at & ~3u;
  if (aligned != c.address && aligned != c.decoy_address) throw std::logic_error("a base that reaches no case word");
  const uint32_t memory = aligned == c.address ? c.word : c.decoy;
  const uint32_t result = access_result(c.op, memory, rt, at & 3);
  if (isa::info(c.op).is_store() && aligned != c.address) return c.word;
  return result;
}

}  // namespace

ReaderOutcome reader_outcome(const ReaderCase& c, uint32_t read) {
  const isa::OpInfo& row = isa::info(c.op);
  const bool in_rs = c.operand == isa::Operand::rs;
  const uint32_t rs = in_rs ? read : c.other, rt = in_rs ? c.other : read;
  switch (row.format) {
    case Format::RegisterAlu: return {register_alu::result(c.op, rs, rt)};
    case Format::ShiftImmediate: return {shifts::result(c.op, rt, c.imm)};
    case Format::ShiftVariable: return {shifts::result(c.op, rt, rs & 31)};  // the amount's low five bits
    case Format::MultiplyDivide: {
      const multiply_divide::HiLoPair pair = multiply_divide::result(c.op, rs, rt);
      return {pair.lo, pair.hi};
    }
    case Format::MoveToHiLo: return row.writes_hi() ? ReaderOutcome{0, rs} : ReaderOutcome{rs, 0};
    case Format::ImmediateSigned:
    case Format::ImmediateUnsigned: return {immediate_alu::result(c.op, rs, c.imm)};
    case Format::BranchCompare:
    case Format::BranchZero: return {branches::condition(c.op, rs, rt)};
    case Format::BranchRegimm:
      return {row.links() ? branch_link::condition(c.op, rs) : branches::condition(c.op, rs, 0)};
    case Format::Memory: return {memory_outcome(c, rs, rt)};
    default: throw std::logic_error("no reader case for " + std::string(row.mnemonic));
  }
}

namespace {

// Fresh operands for one try. Equal compare operands and a zero operand
// turn up often enough for both branch outcomes and the sign edge. What
// other routines test stays out, so that only a forwarding fault tells
// here: the operands of an ALU instruction (the compares) have the same
// sign, so no signed difference overflows and signed and unsigned orders
// agree (n4, n5); a shift amount register holds 0 to 31 (n8). A memory
// case's lane follows the distance and moves on with each try: a byte store
// at an odd address turns up in every image.
void draw_operands(ReaderCase& c, int attempt, Random& random) {
  const isa::OpInfo& row = isa::info(c.op);
  const bool in_rs = c.operand == isa::Operand::rs;
  c.value = random.word(), c.stale = random.word(), c.other = random.word();
  c.addend = random.word(), c.imm = random.imm16();
  constexpr uint32_t kSign = 0x80000000;
  if (row.format == Format::RegisterAlu) c.other = (c.other & ~kSign) | (c.value & kSign);
  if (row.format == Format::ImmediateSigned) c.imm = static_cast<uint16_t>((c.imm & 0x7FFF) | (c.value & kSign) >> 16);
  if (row.format == Format::ShiftVariable) (in_rs ? c.value : c.other) &= 31;
  if (row.format == Format::ShiftImmediate) c.imm = static_cast<uint16_t>(random.below(32));
  if (row.format == Format::BranchCompare && random.below(2)) c.other = c.value;
  if (isa::is_branch(row.format) && random.below(4) == 0) c.value = 0;
  if (row.format != Format::Memory) return;
  c.word = random.word(), c.decoy = random.word();
  const uint32_t lane = static_cast<uint32_t>(c.distance + attempt) % 4;
  const uint32_t offset = static_cast<uint32_t>(static_cast<int16_t>(c.imm));
  const uint32_t base = c.address + lane - offset;
  if (in_rs) c.value = base, c.stale = c.decoy_address + lane - offset;
  else c.other = base;
}

ReaderCase draw_one(Op op, isa::Operand operand, int distance, ScratchWords& scratch, Random& random) {
  ReaderCase c{op, operand, distance};
  if (isa::info(op).format == Format::Memory) c.address = scratch.next(), c.decoy_address = scratch.next();
  for (int attempt = 0;; ++attempt) {
    draw_operands(c, attempt, random);
    try {
      if (reader_outcome(c, c.value) != reader_outcome(c, c.stale)) return c;
    } catch (const std::logic_error&) {
      // No defined result (an overflow, a zero divisor, a misaligned word): draw again.
    }
  }
}

}  // namespace

std::vector<ReaderCase> draw_reader_cases(int routine_number, Random& random) {
  ScratchWords scratch(routine_number);
  std::vector<ReaderCase> cases;
  for (int i = 0; i < isa::kOpCount; ++i) {
    const Op op = static_cast<Op>(i);
    if (!is_tested_reader(op)) continue;
    const isa::Reads& reads = isa::info(op).reads;
    for (const auto& [read, operand] : {std::pair{reads.rs, isa::Operand::rs}, std::pair{reads.rt, isa::Operand::rt}})
      for (int distance = 1; read && distance <= 3; ++distance)
        cases.push_back(draw_one(op, operand, distance, scratch, random));
  }
  return cases;
}

}  // namespace r3k::supplement
