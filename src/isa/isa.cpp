#include "isa/isa.h"

#include "common/hex.h"

#include <array>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace r3k::isa {
namespace {

constexpr uint32_t kRsBits = 0x1Fu << kRsShift;
constexpr uint32_t kRtBits = 0x1Fu << kRtShift;
constexpr uint32_t kRdBits = 0x1Fu << kRdShift;
constexpr uint32_t kSaBits = 0x1Fu << kSaShift;

// The operand fields of a word, as a set.
enum FieldSet : unsigned { kRs = 1, kRt = 2, kRd = 4, kSa = 8, kImm = 16, kTarget = 32, kCode = 64 };

// The operand fields each format has, from its operands.
constexpr unsigned fields_used(Format format) {
  unsigned used = 0;
  for (const Operand operand : operands_of(format)) {
    switch (operand) {
      case Operand::rd:
      case Operand::cop0_register: used |= kRd; break;
      case Operand::rs: used |= kRs; break;
      case Operand::rt: used |= kRt; break;
      case Operand::shift_amount: used |= kSa; break;
      case Operand::signed_immediate:
      case Operand::unsigned_immediate:
      case Operand::branch_target: used |= kImm; break;
      case Operand::jump_target: used |= kTarget; break;
      case Operand::code: used |= kCode; break;
      case Operand::memory: used |= kRs | kImm; break;
    }
  }
  return used;
}

// The bits a format leaves to the operands. Everything else is either the
// opcode selection or must be zero.
constexpr uint32_t operand_bits(Format format) {
  const unsigned used = fields_used(format);
  uint32_t bits = 0;
  if (used & kRs) bits |= kRsBits;
  if (used & kRt) bits |= kRtBits;
  if (used & kRd) bits |= kRdBits;
  if (used & kSa) bits |= kSaBits;
  if (used & kImm) bits |= 0xFFFF;
  if (used & kTarget) bits |= 0x03FFFFFF;
  if (used & kCode) bits |= 0xFFFFFu << 6;
  return bits;
}

constexpr uint32_t match_of(uint32_t primary, uint32_t secondary) {
  uint32_t match = primary << kOpcodeShift;
  if (primary == kSpecial) match |= secondary;
  if (primary == kRegimm) match |= secondary << kRtShift;
  if (primary == kCop0) match |= (secondary & 0x1F) << kRsShift | secondary >> 8;
  return match;
}

constexpr Extension immediate_extension(Format format) {
  switch (format) {
    case Format::ImmediateSigned:
    case Format::Memory: return Extension::sign;  // offsets too
    case Format::ImmediateUnsigned: return Extension::zero;
    default: return Extension::none;
  }
}

constexpr Destination destination_of(Format format, const Attributes& attributes) {
  switch (format) {
    case Format::RegisterAlu:
    case Format::ShiftImmediate:
    case Format::ShiftVariable:
    case Format::MoveFromHiLo:
    case Format::JumpLinkRegister: return Destination::rd;
    case Format::ImmediateSigned:
    case Format::ImmediateUnsigned:
    case Format::LoadUpper:
    case Format::MoveFromCop0: return Destination::rt;
    case Format::Memory: return attributes.memory == MemoryAccess::store ? Destination::none : Destination::rt;
    default: return attributes.links ? Destination::ra : Destination::none;
  }
}

// rs is only ever read. rt is read unless it is the destination, and by a
// merging load, which keeps part of it.
constexpr Reads reads_of(Format format, const Attributes& attributes) {
  const unsigned used = fields_used(format);
  const bool rt_written = destination_of(format, attributes) == Destination::rt;
  return {.rs = (used & kRs) != 0,
          .rt = (used & kRt) != 0 && (!rt_written || attributes.memory == MemoryAccess::merging_load),
          .hi = (attributes.reads_hilo & kHi) != 0,
          .lo = (attributes.reads_hilo & kLo) != 0};
}

constexpr std::array<OpInfo, kOpCount> kTable = {{
#define R3K_ROW(name, mnemonic, format, primary, secondary, attributes)                                   \
  {mnemonic, Format::format, match_of(primary, secondary), ~operand_bits(Format::format), attributes, \
   immediate_extension(Format::format), destination_of(Format::format, attributes),                    \
   reads_of(Format::format, attributes)},
    R3K_INSTRUCTIONS(R3K_ROW)
#undef R3K_ROW
}};

constexpr std::array<std::string_view, 32> kRegNames = {
    "$zero", "$at", "$v0", "$v1", "$a0", "$a1", "$a2", "$a3", "$t0", "$t1", "$t2",
    "$t3",   "$t4", "$t5", "$t6", "$t7", "$s0", "$s1", "$s2", "$s3", "$s4", "$s5",
    "$s6",   "$s7", "$t8", "$t9", "$k0", "$k1", "$gp", "$sp", "$fp", "$ra"};

constexpr detail::DecodeTables decode_tables() {
  detail::DecodeTables tables{};
  tables.primary.fill(Op::invalid);
  tables.special.fill(Op::invalid);
  tables.regimm.fill(Op::invalid);
  tables.cop0.fill(Op::invalid);
  for (int i = 0; i < kOpCount; ++i) {
    const uint32_t match = kTable[i].match;
    const uint32_t opcode = match >> kOpcodeShift;
    if (opcode == kSpecial) tables.special[match & kFunctBits] = static_cast<Op>(i);
    else if (opcode == kRegimm) tables.regimm[(match >> kRtShift) & 0x1F] = static_cast<Op>(i);
    else if (opcode == kCop0) tables.cop0[(match >> kRsShift) & 0x1F] = static_cast<Op>(i);
    else tables.primary[opcode] = static_cast<Op>(i);
    tables.match[i] = match;
    tables.mask[i] = kTable[i].mask;
  }
  tables.match[kOpCount] = tables.mask[kOpCount] = 0;
  return tables;
}

// Disassembly writes as few digits as a value needs, as objdump does.
std::string hex(uint32_t value) { return r3k::hex(value, {.min_digits = 1}); }

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

Op register_form(Op op) {
  static constexpr std::pair<Op, Op> kForms[] = {{Op::addi, Op::add},   {Op::addiu, Op::addu}, {Op::slti, Op::slt},
                                                 {Op::sltiu, Op::sltu}, {Op::andi, Op::and_},  {Op::ori, Op::or_},
                                                 {Op::xori, Op::xor_}};
  for (const auto& [immediate, registers] : kForms)
    if (immediate == op) return registers;
  return op;
}

Op function_of(Op op) {
  static constexpr std::pair<Op, Op> kSame[] = {{Op::addu, Op::add}, {Op::subu, Op::sub}, {Op::sllv, Op::sll},
                                                {Op::srlv, Op::srl}, {Op::srav, Op::sra}};
  op = register_form(op);
  for (const auto& [form, function] : kSame)
    if (form == op) return function;
  return op;
}

int unit_of(Op op) {
  const OpInfo& row = info(op);
  switch (row.format) {
    case Format::ImmediateUnsigned: return int(Format::ImmediateSigned);
    case Format::BranchRegimm: return int(Format::BranchZero);
    case Format::Memory: return 100 + int(row.attributes.memory == MemoryAccess::store);
    default: return int(row.format);
  }
}

int block_of(Op op) {
  enum : int { kAdder = 200, kLogic, kComparator, kShifter };
  switch (function_of(op)) {
    case Op::add: case Op::sub: return kAdder;
    case Op::and_: case Op::or_: case Op::xor_: case Op::nor: return kLogic;
    case Op::slt: case Op::sltu: return kComparator;
    case Op::sll: case Op::srl: case Op::sra: return kShifter;
    default: return unit_of(op);
  }
}

constinit const detail::DecodeTables detail::kDecodeTables = decode_tables();

std::string_view reg_name(unsigned number) { return kRegNames.at(number & 31); }

std::string cop0_reg_name(unsigned number) {
  switch (number & 31) {
    case 0: return "c0_index";
    case 1: return "c0_random";
    case 2: return "c0_entrylo";
    case 4: return "c0_context";
    case kBadVAddr: return "c0_badvaddr";
    case 10: return "c0_entryhi";
    case kStatus: return "c0_sr";
    case kCause: return "c0_cause";
    case kEpc: return "c0_epc";
    case kPrid: return "c0_prid";
    default: return "$" + std::to_string(number & 31);
  }
}

uint32_t encode(Op op, const Fields& f) {
  const OpInfo& row = info(op);
  const unsigned used = fields_used(row.format);
  uint32_t operands = 0;
  bool fits = true;
  // Fields the format does not have are ignored (fields_of fills them all);
  // a field it has must fit its place, or it would be cut into another
  // instruction: an sll by 40 is not an sll by 8.
  auto place = [&](unsigned field, uint32_t value, uint32_t limit, uint32_t shift) {
    if (!(used & field)) return;
    fits = fits && value <= limit;
    operands |= value << shift;
  };
  place(kRs, f.rs, 31, kRsShift);
  place(kRt, f.rt, 31, kRtShift);
  place(kRd, f.rd, 31, kRdShift);
  place(kSa, f.sa, 31, kSaShift);
  place(kImm, f.imm, 0xFFFF, 0);
  place(kTarget, f.target, 0x03FFFFFF, 0);
  place(kCode, f.code, 0xFFFFF, 6);
  if (!fits) throw std::logic_error("encode: an operand of " + std::string(row.mnemonic) + " does not fit its field");
  return row.match | operands;
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
  std::string text(row.mnemonic);
  const char* separator = " ";
  for (const Operand operand : operands_of(row.format)) {
    // jalr's usual link register goes unsaid, as objdump leaves it.
    if ((operand == Operand::code && f.code == 0) || (operand == Operand::rd && op == Op::jalr && f.rd == ra)) continue;
    text += separator;
    separator = ", ";
    switch (operand) {
      case Operand::rd: text += reg_name(f.rd); break;
      case Operand::rs: text += reg_name(f.rs); break;
      case Operand::rt: text += reg_name(f.rt); break;
      case Operand::shift_amount: text += std::to_string(f.sa); break;
      case Operand::signed_immediate: text += signed_imm(f.imm); break;
      case Operand::unsigned_immediate: text += hex(f.imm); break;
      case Operand::branch_target: text += hex(branch_target(address, f.imm)); break;
      case Operand::jump_target: text += hex(jump_target(address, f.target)); break;
      case Operand::code: text += hex(f.code); break;
      case Operand::memory: text += signed_imm(f.imm) + "(" + std::string(reg_name(f.rs)) + ")"; break;
      case Operand::cop0_register: text += cop0_reg_name(f.rd); break;
    }
  }
  return text;
}

}  // namespace r3k::isa
