#include "source/gas_statements.h"

#include <algorithm>
#include <string>

#include "asm/assembler.h"
#include "board/board.h"
#include "board/layout.h"
#include "common/hex.h"
#include "isa/isa.h"

namespace r3k::source {
namespace {

using isa::Format;
using isa::Op;

// Appends every part to out: the statements are written by the hundred
// thousand, so without a temporary string per operand.
template <class... Parts>
void append(std::string& out, const Parts&... parts) {
  ((out += parts), ...);
}

void append_number(std::string& out, int64_t value) { out += std::to_string(value); }

void append_hex(std::string& out, uint32_t value) { r3k::append_hex(out, value, {.min_digits = 1}); }

std::string_view reg(unsigned number) { return isa::reg_name(number); }

int32_t signed16(uint16_t imm) { return static_cast<int16_t>(imm); }

// What the assembler emitted the word at index as (an image made without it
// reads as plain instructions).
Statement statement_at(const Image& image, size_t index) {
  return index < image.statements.size() ? image.statements[index] : Statement::instruction;
}

// The value a two-word load starting at index puts in its register: lui's
// half, then the low half that addiu adds (signed) or ori puts in.
uint32_t loaded_value(const Image& image, size_t index) {
  const isa::Fields high = isa::fields_of(image.text[index]), low = isa::fields_of(image.text[index + 1]);
  const uint32_t upper = uint32_t(high.imm) << 16;
  return isa::decode(image.text[index + 1]) == Op::addiu ? upper + static_cast<uint32_t>(signed16(low.imm))
                                                        : upper | low.imm;
}

}  // namespace

std::vector<uint32_t> referenced_addresses(const Image& image, uint32_t first, uint32_t last) {
  std::vector<uint32_t> targets;
  for (uint32_t address = first; address < last; address += 4) {
    const size_t index = (address - image.text_base) / 4;
    const uint32_t word = image.text[index];
    const Op op = isa::decode(word);
    if (op == Op::invalid) continue;
    const isa::Fields f = isa::fields_of(word);
    const Format format = isa::info(op).format;
    if (isa::is_branch(format)) targets.push_back(isa::branch_target(address, f.imm));
    else if (format == Format::Jump) targets.push_back(isa::jump_target(address, f.target));
    else if (address + 4 < last && statement_at(image, index) == Statement::address_load)
      targets.push_back(loaded_value(image, index));
  }
  std::sort(targets.begin(), targets.end());
  targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
  return targets;
}

StatementWriter::StatementWriter(const Image& image, const std::map<uint32_t, std::string>& labels, bool board_names,
                                 uint32_t first, uint32_t last)
    : image_(image), board_names_(board_names), first_(first), own_labels_(last > first ? (last - first) / 4 : 0) {
  for (const auto& [address, name] : labels) {
    if (address >= first && address < last && address % 4 == first % 4) {
      own_labels_[(address - first) / 4] = &name;
    } else {
      other_addresses_.push_back(address);
      other_names_.push_back(&name);
    }
  }
}

const std::string* StatementWriter::label(uint32_t address) const {
  if (const uint32_t offset = address - first_; offset % 4 == 0 && offset / 4 < own_labels_.size())
    return own_labels_[offset / 4];
  const auto at = std::lower_bound(other_addresses_.begin(), other_addresses_.end(), address);
  if (at == other_addresses_.end() || *at != address) return nullptr;
  return other_names_[static_cast<size_t>(at - other_addresses_.begin())];
}

void StatementWriter::target(uint32_t address, std::string& out) const {
  if (const std::string* name = label(address)) out += *name;
  else append_hex(out, address);
}

void StatementWriter::constant(uint32_t value, std::string& out) const {
  if (board_names_)
    for (const board::RegisterName& board : board::kRegisterNames)
      if (board.address == value) {
        append_hex(out, value);
        append(out, "    # ", board.name);
        return;
      }
  const auto as_signed = static_cast<int32_t>(value);
  if (as_signed < 0 && as_signed >= -0x8000) append_number(out, as_signed);
  else append_hex(out, value);
}

int StatementWriter::write(uint32_t address, uint32_t limit, std::string& out) const {
  const size_t index = (address - image_.text_base) / 4;
  const uint32_t word = image_.text[index];
  const Op op = isa::decode(word);
  if (word == 0) {
    out += "nop";
    return 1;
  }
  if (op == Op::invalid) {
    out += ".word ";
    append_hex(out, word);
    return 1;
  }
  const isa::Fields f = isa::fields_of(word);
  const bool pair_possible = address + 4 < limit;
  const std::string_view name = isa::info(op).mnemonic;

  const Statement statement = statement_at(image_, index);
  const bool two_words = pair_possible && statement_at(image_, index + 1) == Statement::second_word;
  if (statement == Statement::address_load && two_words) {
    // An address with no name reads as its two instructions.
    if (const std::string* name = label(loaded_value(image_, index))) {
      append(out, "la ", reg(f.rt), ", ", *name);
      return 2;
    }
  }
  if (statement == Statement::constant_load && two_words) {
    append(out, "li ", reg(f.rt), ", ");
    constant(loaded_value(image_, index), out);
    return 2;
  }
  // The one-instruction constant loads read as such in a file of one
  // statement a line (the start code), where a lui reads as itself.
  if (statement == Statement::constant_load && board_names_ && op != Op::lui) {
    const uint32_t value = op == Op::addiu ? static_cast<uint32_t>(signed16(f.imm)) : f.imm;
    append(out, "li ", reg(f.rt), ", ");
    constant(value, out);
    return 1;
  }

  const Format format = isa::info(op).format;
  if (format == Format::BranchCompare) {
    if (f.rs == isa::zero && f.rt == isa::zero && op == Op::beq) out += "b ";
    else if (f.rt == isa::zero) append(out, op == Op::beq ? "beqz " : "bnez ", reg(f.rs), ", ");
    else append(out, name, " ", reg(f.rs), ", ", reg(f.rt), ", ");
    target(isa::branch_target(address, f.imm), out);
    return 1;
  }
  out += name;
  const char* separator = " ";
  // GNU as reads a two-operand div or divu as a macro that checks for a zero
  // divisor; the $zero destination asks for the plain instruction.
  if (op == Op::div || op == Op::divu) separator = " $zero, ";
  for (const isa::Operand operand : isa::operands_of(format)) {
    if (operand == isa::Operand::code && f.code == 0) continue;
    out += separator;
    separator = ", ";
    switch (operand) {
      case isa::Operand::rd: out += reg(f.rd); break;
      case isa::Operand::rs: out += reg(f.rs); break;
      case isa::Operand::rt: out += reg(f.rt); break;
      case isa::Operand::shift_amount: append_number(out, f.sa); break;
      case isa::Operand::signed_immediate: append_number(out, signed16(f.imm)); break;
      case isa::Operand::unsigned_immediate: append_hex(out, f.imm); break;
      case isa::Operand::branch_target: target(isa::branch_target(address, f.imm), out); break;
      case isa::Operand::jump_target: target(isa::jump_target(address, f.target), out); break;
      case isa::Operand::code:
        // GNU as takes break's 20-bit code as two fields, the upper ten bits first.
        if (op == Op::break_ && f.code >> 10) {
          append_number(out, f.code >> 10);
          out += ", ";
          append_number(out, f.code & 0x3FF);
        } else {
          append_number(out, f.code);
        }
        break;
      case isa::Operand::memory:
        append_number(out, signed16(f.imm));
        append(out, "(", reg(f.rs), ")");
        break;
      case isa::Operand::cop0_register:
        out += '$';
        append_number(out, f.rd);
        break;
    }
  }
  return 1;
}

}  // namespace r3k::source
