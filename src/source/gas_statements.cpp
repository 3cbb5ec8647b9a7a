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

// The address a lui/addiu pair at index puts in its register, if the two
// words are one: same register, the addiu reading what the lui wrote.
bool address_load(const Image& image, size_t index, uint32_t& value) {
  if (index + 1 >= image.text.size()) return false;
  const uint32_t high = image.text[index], low = image.text[index + 1];
  if (isa::decode(high) != Op::lui || isa::decode(low) != Op::addiu) return false;
  const isa::Fields h = isa::fields_of(high), l = isa::fields_of(low);
  if (l.rt != h.rt || l.rs != h.rt) return false;
  value = (uint32_t(h.imm) << 16) + static_cast<uint32_t>(signed16(l.imm));
  return true;
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
    uint32_t value = 0;
    if (isa::is_branch(format)) targets.push_back(isa::branch_target(address, f.imm));
    else if (format == Format::Jump) targets.push_back(isa::jump_target(address, f.target));
    else if (address + 4 < last && address_load(image, index, value)) targets.push_back(value);
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

  if (op == Op::lui && pair_possible) {
    uint32_t value = 0;
    if (address_load(image_, index, value)) {
      if (const std::string* name = label(value)) {
        append(out, "la ", reg(f.rt), ", ", *name);
        return 2;
      }
    }
    const uint32_t next = image_.text[index + 1];
    const isa::Fields n = isa::fields_of(next);
    const uint32_t loaded = (uint32_t(f.imm) << 16) | n.imm;
    if (isa::decode(next) == Op::ori && n.rt == f.rt && n.rs == f.rt &&
        assembly::constant_load_length(loaded) == 2) {
      append(out, "li ", reg(f.rt), ", ");
      constant(loaded, out);
      return 2;
    }
  }
  // The single-instruction constant loads read as such only where no
  // instruction under test could be mistaken for one (the start code).
  if (board_names_ && f.rs == isa::zero && (op == Op::addiu || (op == Op::ori && f.imm > 0x7FFF))) {
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
  switch (format) {
    case Format::RegisterAlu: append(out, " ", reg(f.rd), ", ", reg(f.rs), ", ", reg(f.rt)); break;
    case Format::ShiftImmediate:
      append(out, " ", reg(f.rd), ", ", reg(f.rt), ", ");
      append_number(out, f.sa);
      break;
    case Format::ShiftVariable: append(out, " ", reg(f.rd), ", ", reg(f.rt), ", ", reg(f.rs)); break;
    case Format::MultiplyDivide:
      // GNU as reads a two-operand div or divu as a macro that checks for a
      // zero divisor; the $zero destination asks for the plain instruction.
      append(out, " ", op == Op::div || op == Op::divu ? "$zero, " : "", reg(f.rs), ", ", reg(f.rt));
      break;
    case Format::MoveFromHiLo: append(out, " ", reg(f.rd)); break;
    case Format::MoveToHiLo:
    case Format::JumpRegister: append(out, " ", reg(f.rs)); break;
    case Format::JumpLinkRegister: append(out, " ", reg(f.rd), ", ", reg(f.rs)); break;
    case Format::Trap:
      if (f.code) {
        out += ' ';
        // GNU as takes break's 20-bit code as two fields, the upper ten bits first.
        if (op == Op::break_ && f.code >> 10) {
          append_number(out, f.code >> 10);
          out += ", ";
          append_number(out, f.code & 0x3FF);
        } else {
          append_number(out, f.code);
        }
      }
      break;
    case Format::ImmediateSigned:
      append(out, " ", reg(f.rt), ", ", reg(f.rs), ", ");
      append_number(out, signed16(f.imm));
      break;
    case Format::ImmediateUnsigned:
      append(out, " ", reg(f.rt), ", ", reg(f.rs), ", ");
      append_hex(out, f.imm);
      break;
    case Format::LoadUpper:
      append(out, " ", reg(f.rt), ", ");
      append_hex(out, f.imm);
      break;
    case Format::BranchCompare: break;  // above
    case Format::BranchZero:
    case Format::BranchRegimm:
      append(out, " ", reg(f.rs), ", ");
      target(isa::branch_target(address, f.imm), out);
      break;
    case Format::Jump:
      out += ' ';
      target(isa::jump_target(address, f.target), out);
      break;
    case Format::Memory:
      append(out, " ", reg(f.rt), ", ");
      append_number(out, signed16(f.imm));
      append(out, "(", reg(f.rs), ")");
      break;
    case Format::MoveFromCop0:
    case Format::MoveToCop0:
      append(out, " ", reg(f.rt), ", $");
      append_number(out, f.rd);
      break;
    case Format::Cop0Operation: break;
  }
  return 1;
}

}  // namespace r3k::source
