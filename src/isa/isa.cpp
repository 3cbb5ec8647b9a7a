#include "isa/isa.h"

#include <array>
#include <cstdio>

namespace r3k::isa {
namespace {

// Field positions of a MIPS-I instruction word.
constexpr uint32_t kOpcodeShift = 26, kRsShift = 21, kRtShift = 16, kRdShift = 11, kSaShift = 6;
constexpr uint32_t kRsBits = 0x1Fu << kRsShift;
constexpr uint32_t kRtBits = 0x1Fu << kRtShift;
constexpr uint32_t kRdBits = 0x1Fu << kRdShift;
constexpr uint32_t kSaBits = 0x1Fu << kSaShift;
constexpr uint32_t kFunctBits = 0x3F;

// The bits a format leaves to the operands. Everything else is either the
// opcode selection or must be zero.
constexpr uint32_t operand_bits(Format format) {
  switch (format) {
    case Format::RegisterAlu: return kRsBits | kRtBits | kRdBits;
    case Format::ShiftImmediate: return kRtBits | kRdBits | kSaBits;
    case Format::ShiftVariable: return kRsBits | kRtBits | kRdBits;
    case Format::MultiplyDivide: return kRsBits | kRtBits;
    case Format::MoveFromHiLo: return kRdBits;
    case Format::MoveToHiLo: return kRsBits;
    case Format::JumpRegister: return kRsBits;
    case Format::JumpLinkRegister: return kRsBits | kRdBits;
    case Format::Trap: return 0x03FFFFC0;
    case Format::ImmediateSigned:
    case Format::ImmediateUnsigned:
    case Format::BranchCompare:
    case Format::Memory: return kRsBits | kRtBits | 0xFFFF;
    case Format::LoadUpper: return kRtBits | 0xFFFF;
    case Format::BranchZero:
    case Format::BranchRegimm: return kRsBits | 0xFFFF;
    case Format::Jump: return 0x03FFFFFF;
  }
  return 0;
}

constexpr uint32_t match_of(uint32_t primary, uint32_t secondary) {
  uint32_t match = primary << kOpcodeShift;
  if (primary == kSpecial) match |= secondary;
  if (primary == kRegimm) match |= secondary << kRtShift;
  return match;
}

constexpr std::array<OpInfo, kOpCount> kTable = {{
#define R3K_ROW(name, mnemonic, format, primary, secondary) \
  {mnemonic, Format::format, match_of(primary, secondary), ~operand_bits(Format::format)},
    R3K_INSTRUCTIONS(R3K_ROW)
#undef R3K_ROW
}};

constexpr std::array<std::string_view, 32> kRegNames = {
    "$zero", "$at", "$v0", "$v1", "$a0", "$a1", "$a2", "$a3", "$t0", "$t1", "$t2",
    "$t3",   "$t4", "$t5", "$t6", "$t7", "$s0", "$s1", "$s2", "$s3", "$s4", "$s5",
    "$s6",   "$s7", "$t8", "$t9", "$k0", "$k1", "$gp", "$sp", "$fp", "$ra"};

// Decoding goes through one 64-entry table per selector: the primary opcode,
// then the funct or rt field for SPECIAL and REGIMM.
struct DecodeTables {
  std::array<Op, 64> primary{}, special{}, regimm{};
  constexpr DecodeTables() {
    primary.fill(Op::invalid);
    special.fill(Op::invalid);
    regimm.fill(Op::invalid);
    for (int i = 0; i < kOpCount; ++i) {
      const uint32_t match = kTable[i].match;
      const uint32_t opcode = match >> kOpcodeShift;
      if (opcode == kSpecial) special[match & kFunctBits] = static_cast<Op>(i);
      else if (opcode == kRegimm) regimm[(match >> kRtShift) & 0x1F] = static_cast<Op>(i);
      else primary[opcode] = static_cast<Op>(i);
    }
  }
};
constexpr DecodeTables kDecode;

std::string hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%x", value);
  return buffer;
}

std::string signed_imm(uint16_t imm) {
  const auto value = static_cast<int16_t>(imm);
  if (value >= 0) return hex(static_cast<uint32_t>(value));
  std::string text(1, '-');
  text += hex(static_cast<uint32_t>(-value));
  return text;
}

}  // namespace

const OpInfo& info(Op op) { return kTable.at(static_cast<size_t>(op)); }

std::optional<Op> op_from_mnemonic(std::string_view mnemonic) {
  for (int i = 0; i < kOpCount; ++i)
    if (kTable[i].mnemonic == mnemonic) return static_cast<Op>(i);
  return std::nullopt;
}

std::string_view reg_name(unsigned number) { return kRegNames.at(number & 31); }

uint32_t encode(Op op, const Fields& f) {
  const OpInfo& row = info(op);
  uint32_t operands = 0;
  operands |= uint32_t(f.rs & 31) << kRsShift;
  operands |= uint32_t(f.rt & 31) << kRtShift;
  operands |= uint32_t(f.rd & 31) << kRdShift;
  operands |= uint32_t(f.sa & 31) << kSaShift;
  operands |= f.imm;
  if (row.format == Format::Jump) operands = f.target & 0x03FFFFFF;
  if (row.format == Format::Trap) operands = (f.code & 0xFFFFF) << 6;
  return row.match | (operands & ~row.mask);
}

Op decode(uint32_t word) {
  const uint32_t opcode = word >> kOpcodeShift;
  Op op = kDecode.primary[opcode];
  if (opcode == kSpecial) op = kDecode.special[word & kFunctBits];
  if (opcode == kRegimm) op = kDecode.regimm[(word >> kRtShift) & 0x1F];
  if (op == Op::invalid) return op;
  const OpInfo& row = kTable[static_cast<size_t>(op)];
  return (word & row.mask) == row.match ? op : Op::invalid;
}

Fields fields_of(uint32_t word) {
  Fields f;
  f.rs = (word >> kRsShift) & 31;
  f.rt = (word >> kRtShift) & 31;
  f.rd = (word >> kRdShift) & 31;
  f.sa = (word >> kSaShift) & 31;
  f.imm = word & 0xFFFF;
  f.target = word & 0x03FFFFFF;
  f.code = (word >> 6) & 0xFFFFF;
  return f;
}

uint32_t branch_target(uint32_t address, uint16_t offset) {
  return address + 4 + (static_cast<uint32_t>(static_cast<int16_t>(offset)) << 2);
}

uint32_t jump_target(uint32_t address, uint32_t target26) {
  return ((address + 4) & 0xF0000000) | ((target26 & 0x03FFFFFF) << 2);
}

bool has_delay_slot(Op op) {
  const Format format = info(op).format;
  return is_branch(format) || format == Format::Jump || format == Format::JumpRegister ||
         format == Format::JumpLinkRegister;
}

std::string disassemble(uint32_t word, uint32_t address) {
  const Op op = decode(word);
  if (op == Op::invalid) return ".word " + hex(word);
  if (word == 0) return "nop";
  const Fields f = fields_of(word);
  const OpInfo& row = info(op);
  auto r = [](unsigned n) { return std::string(reg_name(n)); };
  const std::string name(row.mnemonic);
  switch (row.format) {
    case Format::RegisterAlu: return name + " " + r(f.rd) + ", " + r(f.rs) + ", " + r(f.rt);
    case Format::ShiftImmediate: return name + " " + r(f.rd) + ", " + r(f.rt) + ", " + std::to_string(f.sa);
    case Format::ShiftVariable: return name + " " + r(f.rd) + ", " + r(f.rt) + ", " + r(f.rs);
    case Format::MultiplyDivide: return name + " " + r(f.rs) + ", " + r(f.rt);
    case Format::MoveFromHiLo: return name + " " + r(f.rd);
    case Format::MoveToHiLo:
    case Format::JumpRegister: return name + " " + r(f.rs);
    case Format::JumpLinkRegister:
      return f.rd == ra ? name + " " + r(f.rs) : name + " " + r(f.rd) + ", " + r(f.rs);
    case Format::Trap: return f.code ? name + " " + hex(f.code) : name;
    case Format::ImmediateSigned: return name + " " + r(f.rt) + ", " + r(f.rs) + ", " + signed_imm(f.imm);
    case Format::ImmediateUnsigned: return name + " " + r(f.rt) + ", " + r(f.rs) + ", " + hex(f.imm);
    case Format::LoadUpper: return name + " " + r(f.rt) + ", " + hex(f.imm);
    case Format::BranchCompare:
      return name + " " + r(f.rs) + ", " + r(f.rt) + ", " + hex(branch_target(address, f.imm));
    case Format::BranchZero:
    case Format::BranchRegimm: return name + " " + r(f.rs) + ", " + hex(branch_target(address, f.imm));
    case Format::Jump: return name + " " + hex(jump_target(address, f.target));
    case Format::Memory: return name + " " + r(f.rt) + ", " + signed_imm(f.imm) + "(" + r(f.rs) + ")";
  }
  return ".word " + hex(word);
}

}  // namespace r3k::isa
