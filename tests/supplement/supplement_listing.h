// What the supplement's case templates share, written out apart from
// src/supplement: its block of constant and address loads, the case
// records a routine left in the image, and a walk over a routine's cases
// whose template needs the case's own address (for a link's value).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "families/case_listing.h"
#include "image/image.h"
#include "isa/isa.h"

namespace r3k::test {

// One load of a block: a constant, or the address of a label of the case
// (plus an addend).
struct BlockLoad {
  isa::Reg reg;
  uint32_t value = 0;
  std::string label;  // empty for a constant
  int32_t addend = 0;
};
inline BlockLoad constant(isa::Reg reg, uint32_t value) { return {reg, value, "", 0}; }
inline BlockLoad address(isa::Reg reg, const std::string& label, int32_t addend = 0) {
  return {reg, 0, label, addend};
}

// Between a write and its first read, outside the instruction a case tests:
// three instructions, a five-stage pipeline's bypass depth.
inline constexpr size_t kReadGap = 3;

// The block as the supplement writes it: the first instruction of every
// load, then every second instruction (lui's ori or addiu), with nops
// before a second instruction whose register one of the three
// instructions before wrote, then three nops so that the next instruction
// may read any of them.
void load_block(Listing& listing, const std::vector<BlockLoad>& loads);

// The records of one routine's cases, in order, and a value of one by name.
std::vector<CaseRecord> records_of(const Image& image, int routine_number);
uint32_t value_named(const CaseRecord& record, std::string_view name);

// An instruction's mnemonic as the disassembler writes it.
inline std::string mnemonic(isa::Op op) { return std::string(isa::info(op).mnemonic); }

// The nops between a result and the instruction that compares it.
Listing& read_gap(Listing& listing);

// `bne reg, expected, inst_error` and its nop, in the disassembler's text.
void fail_unless_equal(Listing& listing, std::string_view reg, std::string_view expected);

}  // namespace r3k::test
