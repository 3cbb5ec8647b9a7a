// Forwarding cases: a producer writes a register, a consumer reads it at a
// chosen distance (1 = the next instruction). Loads too start at 1: the
// platform asks that a loaded value be usable by the very next instruction,
// and the main image relies on it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::supplement {

enum class Producer : uint8_t { alu, shift, lui, load, mfhi, mflo, jal, jalr, bltzal, bgezal };
enum class Consumer : uint8_t {
  alu_rs, alu_rt, store_data, store_base, load_base, branch_rs, branch_rt, jr_target, jalr_target, mult_rs, mult_rt,
};
std::string_view producer_name(Producer producer);
std::string_view consumer_name(Consumer consumer);

struct ForwardCase {
  std::optional<Producer> first;  // an earlier write of the register, at distance 2, that must lose
  Producer producer;
  Consumer consumer;
  int distance = 1;
  isa::Reg reg = isa::t0;  // the register produced and consumed
  uint32_t first_value = 0;
  uint32_t value = 0;      // what the producer writes (a link's or a jump target's address is known only in the code)
  uint32_t stale = 0;      // what the register holds before
  uint32_t other = 0;      // the consumer's other operand
  int16_t offset = 0;      // the consumer's offset (store_base, load_base)
  uint32_t memory = 0;     // the RAM word a store consumer writes or a load consumer reads
  uint32_t load_source = 0;  // where a load producer's value is stored first
  isa::Op load = isa::Op::lw;  // a load producer's instruction
};

// The producers of a forwarding routine, by its run-order instruction:
// addu, sll, lui, lw, mfhi (with mflo), jal (with jalr, bltzal, bgezal).
std::vector<Producer> producers_of(isa::Op op);
bool is_link(Producer producer);

std::vector<ForwardCase> draw_forward_cases(isa::Op op, int routine_number, Random& random);
std::vector<ForwardCase> draw_newer_wins_cases(int routine_number, Random& random);
std::vector<ForwardCase> draw_zero_cases(int routine_number, Random& random);

}  // namespace r3k::supplement
