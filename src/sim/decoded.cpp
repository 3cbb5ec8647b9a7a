#include "sim/decoded.h"

#include <array>

namespace r3k::sim {

namespace {

// What a row makes of its immediate field and whether it has a destination,
// computed once from the instruction table: decoding picks from the
// candidates by table, with no branch to mispredict on a run that reaches
// most words once.
enum Immediate : uint8_t { kNoImmediate, kSignExtended, kZeroExtended, kShifted16, kShiftAmount, kCode };
enum Target : uint8_t { kNoTarget, kBranchTarget, kJumpTarget };

struct Shape {
  Immediate immediate = kNoImmediate;
  Target target = kNoTarget;
};

Shape shape_of(isa::Format format) {
  Shape shape;
  switch (format) {
    case isa::Format::ImmediateSigned:
    case isa::Format::Memory: shape.immediate = kSignExtended; break;
    case isa::Format::ImmediateUnsigned: shape.immediate = kZeroExtended; break;
    case isa::Format::LoadUpper: shape.immediate = kShifted16; break;
    case isa::Format::ShiftImmediate: shape.immediate = kShiftAmount; break;
    case isa::Format::Trap: shape.immediate = kCode; break;
    default: break;
  }
  if (isa::is_branch(format)) shape.target = kBranchTarget;
  if (format == isa::Format::Jump) shape.target = kJumpTarget;
  return shape;
}

struct Shapes {
  std::array<Shape, isa::kOpCount> of{};
  Shapes() {
    for (int op = 0; op < isa::kOpCount; ++op) of[op] = shape_of(isa::info(static_cast<isa::Op>(op)).format);
  }
};
const Shapes kShapes;

}  // namespace

Decoded decode_at(uint32_t word, uint32_t address) {
  Decoded d;
  d.word = word;
  const isa::Op op = isa::decode(word);
  d.action = action_of(op);
  if (op == isa::Op::invalid) return d;
  const Shape shape = kShapes.of[static_cast<size_t>(op)];
  const isa::Fields f = isa::fields_of(word);
  d.rs = f.rs;
  d.rt = f.rt;
  d.rd = f.rd;
  const std::array<uint32_t, 6> immediates = {
      0, static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(f.imm))), f.imm, uint32_t{f.imm} << 16, f.sa,
      f.code};
  d.imm = immediates[shape.immediate];
  const std::array<uint32_t, 3> targets = {0, isa::branch_target(address, f.imm), isa::jump_target(address, f.target)};
  d.target = targets[shape.target];
  return d;
}

std::optional<uint8_t> named_destination(const Decoded& d) {
  if (d.op() == isa::Op::invalid) return std::nullopt;
  switch (isa::info(d.op()).destination) {
    case isa::Destination::rd: return d.rd;
    case isa::Destination::rt: return d.rt;
    case isa::Destination::ra: return uint8_t{isa::ra};
    case isa::Destination::none: break;
  }
  return std::nullopt;
}

}  // namespace r3k::sim
