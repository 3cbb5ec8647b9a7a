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

std::string value_of(const char* name, uint32_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "%s = 0x%08x", name, value);
  return text;
}

std::string record_head(const sim::TraceRecord& record, uint64_t number) {
  char head[48];
  std::snprintf(head, sizeof head, "record %llu at %08x: ", static_cast<unsigned long long>(number), record.pc);
  return head + isa::disassemble(record.word, record.pc);
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
  std::string text = record_head(transfer, number);
  const bool is_branch = format == isa::Format::BranchCompare || format == isa::Format::BranchZero ||
                         format == isa::Format::BranchRegimm;
  if (format != isa::Format::Jump) text += " with " + value_of(fields.rs, values.rs);
  if (format == isa::Format::BranchCompare) text += ", " + value_of(fields.rt, values.rt);
  if (is_branch) text += next_pc == transfer.pc + 8 ? " is not taken" : " is taken";
  char tail[48];
  std::snprintf(tail, sizeof tail, ": the reference goes on at %08x", next_pc);
  return text + tail;
}

std::string operand_culprit(const sim::TraceRecord& instruction, uint64_t number, SourceValues values) {
  const isa::Op op = isa::decode(instruction.word);
  if (op == isa::Op::invalid) return "";
  const isa::Reads reads = isa::info(op).reads;
  const isa::Fields fields = isa::fields_of(instruction.word);
  std::string read;
  auto add = [&read](const std::string& part) { read += (read.empty() ? " read " : ", ") + part; };
  if (reads.rs) add(value_of(fields.rs, values.rs));
  if (reads.rt && !(reads.rs && fields.rt == fields.rs)) add(value_of(fields.rt, values.rt));
  if (reads.hi) add(value_of("hi", values.hi));
  if (reads.lo) add(value_of("lo", values.lo));
  return read.empty() ? "" : record_head(instruction, number) + read;
}

}  // namespace r3k::trace
