#include "trace/culprit.h"

#include <cstdio>

#include "isa/isa.h"

namespace r3k::trace {
namespace {

std::string value_of(unsigned reg, uint32_t value) {
  char text[32];
  std::snprintf(text, sizeof text, " = 0x%08x", value);
  return std::string(isa::reg_name(reg)) + text;
}

}  // namespace

bool is_control_transfer(uint32_t word) {
  const isa::Op op = isa::decode(word);
  if (op == isa::Op::invalid) return false;
  switch (isa::info(op).format) {
    case isa::Format::BranchCompare:
    case isa::Format::BranchZero:
    case isa::Format::BranchRegimm:
    case isa::Format::Jump:
    case isa::Format::JumpRegister:
    case isa::Format::JumpLinkRegister: return true;
    default: return false;
  }
}

std::string control_culprit(const sim::TraceRecord& transfer, uint64_t number, SourceValues values, uint32_t next_pc) {
  const isa::Fields fields = isa::fields_of(transfer.word);
  const isa::Format format = isa::info(isa::decode(transfer.word)).format;
  char head[48];
  std::snprintf(head, sizeof head, "record %llu at %08x: ", static_cast<unsigned long long>(number), transfer.pc);
  std::string text = head + isa::disassemble(transfer.word, transfer.pc);
  const bool is_branch = format == isa::Format::BranchCompare || format == isa::Format::BranchZero ||
                         format == isa::Format::BranchRegimm;
  if (format != isa::Format::Jump) text += " with " + value_of(fields.rs, values.rs);
  if (format == isa::Format::BranchCompare) text += ", " + value_of(fields.rt, values.rt);
  if (is_branch) text += next_pc == transfer.pc + 8 ? " is not taken" : " is taken";
  char tail[48];
  std::snprintf(tail, sizeof tail, ": the reference goes on at %08x", next_pc);
  return text + tail;
}

}  // namespace r3k::trace
