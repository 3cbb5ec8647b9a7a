#include "divergence/mechanisms.h"

#include <algorithm>
#include <tuple>

#include "common/hex.h"
#include "divergence/variant_run.h"
#include "isa/isa.h"
#include "sim/decoded.h"
#include "trace/culprit.h"
#include "trace/trace_diff.h"

namespace r3k::divergence {

namespace {

using faults::FaultClass;
using isa::Format;
using isa::Op;

std::string mnemonic(Op op) { return std::string(isa::info(op).mnemonic); }

// A way of running the instruction, and what it gives.
struct Trial {
  std::string key, text;
  uint32_t word;
  Registers before;
  FaultClass fault_class = FaultClass::forwarding;
  std::string mistake = {};
  Op instead = Op::invalid;
};

// The catalog's name for doing `other` where `op` was meant.
std::string other_op_mistake(Op op, Op other) {
  static constexpr std::pair<Op, Op> kSignedUnsigned[] = {
      {Op::slt, Op::sltu}, {Op::slti, Op::sltiu}, {Op::mult, Op::multu}, {Op::div, Op::divu}};
  for (const auto& [signed_op, unsigned_op] : kSignedUnsigned) {
    if (op == signed_op && other == unsigned_op) return "unsigned";
    if (op == unsigned_op && other == signed_op) return "signed";
  }
  static constexpr std::pair<Op, Op> kSignZero[] = {{Op::lb, Op::lbu}, {Op::lh, Op::lhu}, {Op::sra, Op::srl},
                                                    {Op::srav, Op::srlv}};
  for (const auto& [sign, zero] : kSignZero) {
    const bool load = isa::info(op).is_load();
    if (op == sign && other == zero) return load ? "zero-extends" : "zero-fills";
    if (op == zero && other == sign) return load ? "sign-extends" : "sign-fills";
  }
  if (op == Op::mfhi && other == Op::mflo) return "reads-lo";
  if (op == Op::mflo && other == Op::mfhi) return "reads-hi";
  if (op == Op::mthi && other == Op::mtlo) return "writes-lo";
  if (op == Op::mtlo && other == Op::mthi) return "writes-hi";
  return "as-" + mnemonic(other);
}

// Where a mistake in computing the instruction's own result sits.
FaultClass class_of(Op op) {
  const isa::OpInfo& info = isa::info(op);
  switch (info.format) {
    case Format::ShiftImmediate: case Format::ShiftVariable: return FaultClass::shift;
    case Format::MultiplyDivide: return FaultClass::multiply_divide;
    case Format::MoveFromHiLo: case Format::MoveToHiLo: return FaultClass::hi_lo;
    case Format::BranchCompare: case Format::BranchZero: case Format::BranchRegimm: return FaultClass::branch_decision;
    case Format::Jump: case Format::JumpRegister: case Format::JumpLinkRegister: return FaultClass::branch_target;
    case Format::Memory: return info.is_merging_load() || op == Op::swl || op == Op::swr ? FaultClass::unaligned_merge
                                                                                          : FaultClass::load_store_lane;
    default: return FaultClass::alu;
  }
}

// The registers after instruction `back` before `state.at` (1: the one just before).
const Registers& after(const ReferenceState& state, size_t back) {
  return back == 1 ? state.at.before : state.earlier[back - 2].before;
}

void operand_history(const ReferenceState& state, const Step& step, size_t offset, std::vector<Trial>& trials) {
  const isa::Fields fields = isa::fields_of(step.word);
  const isa::Reads& reads = isa::info(isa::decode(step.word)).reads;
  for (const auto& [name, reg, read] : {std::tuple{"rs", fields.rs, reads.rs}, std::tuple{"rt", fields.rt, reads.rt}}) {
    if (reg == 0 || !read) continue;
    size_t newest = 0;
    for (size_t back = 1; back + offset <= state.earlier.size(); ++back) {
      const Registers& before = state.earlier[back + offset - 1].before;
      if (before.regs[reg] == after(state, back + offset).regs[reg]) continue;
      Trial trial{"", "", step.word, step.before, FaultClass::forwarding};
      trial.before.regs[reg] = before.regs[reg];
      if (!newest) {
        newest = back;
        trial.key = std::string(name) + "-bypass-" + std::to_string(back);
        trial.mistake = std::string(name) + "-stale" + (back > 1 ? "-" + std::to_string(back) : "");
        trial.text = "$" + std::string(name) + " (" + std::string(isa::reg_name(reg)) + ") read as it was before the write " +
                     std::to_string(back) + " instruction" + (back > 1 ? "s" : "") + " back: that bypass path lost";
      } else {
        trial.before.regs[reg] = after(state, back + offset).regs[reg];
        trial.key = std::string(name) + "-older-result";
        trial.text = "$" + std::string(name) + " got the older of two results in flight (" +
                     std::to_string(back) + " back instead of " + std::to_string(newest) + ")";
      }
      trials.push_back(trial);
    }
  }
}

void other_operations(const Step& step, std::vector<Trial>& trials) {
  const Op op = isa::decode(step.word);
  const isa::Fields fields = isa::fields_of(step.word);
  for (int i = 0; i < isa::kOpCount; ++i) {
    const Op other = static_cast<Op>(i);
    if (other == op || isa::unit_of(other) != isa::unit_of(op)) continue;
    trials.push_back({"other-op:" + mnemonic(other), "computes " + mnemonic(other) + " instead of " + mnemonic(op) +
                      " on the same operands", isa::encode(other, fields), step.before, class_of(op),
                      other_op_mistake(op, other), other});
  }
  if (fields.rs != fields.rt) {
    Trial swapped{"operands-swapped", "rs and rt swapped at the operand muxes", step.word, step.before, class_of(op),
                  "operands-swapped"};
    std::swap(swapped.before.regs[fields.rs], swapped.before.regs[fields.rt]);
    trials.push_back(swapped);
  }
}

// addiu with its immediate zero-extended is addu with a register holding it.
void other_extension(const Step& step, std::vector<Trial>& trials) {
  const Op op = isa::decode(step.word);
  const isa::Fields fields = isa::fields_of(step.word);
  if (const Op registers = isa::register_form(op); registers != op) {
    const bool signed_now = isa::info(op).immediate == isa::Extension::sign;
    const uint32_t other = signed_now ? uint32_t(fields.imm) : uint32_t(int32_t(int16_t(fields.imm)));
    uint8_t scratch = 1;
    while (scratch == fields.rs || scratch == fields.rt) ++scratch;
    isa::Fields sibling;
    sibling.rd = fields.rt, sibling.rs = fields.rs, sibling.rt = scratch;
    Trial trial{signed_now ? "immediate-zero-extended" : "immediate-sign-extended",
                std::string("the immediate ") + (signed_now ? "zero" : "sign") + "-extended",
                isa::encode(registers, sibling), step.before, FaultClass::alu,
                signed_now ? "zero-extends" : "sign-extends"};
    trial.before.regs[scratch] = other;
    trials.push_back(trial);
  }
}

// A shift by every other amount: an amount taken from the wrong bits, one
// bit of it lost, or one too many.
void shift_amounts(const Step& step, std::vector<Trial>& trials) {
  const Op op = isa::decode(step.word);
  const Format format = isa::info(op).format;
  if (format != Format::ShiftImmediate && format != Format::ShiftVariable) return;
  isa::Fields fields = isa::fields_of(step.word);
  if (format == Format::ShiftVariable && fields.rs == fields.rt) return;  // the amount is the word too
  const uint32_t right = format == Format::ShiftImmediate ? fields.sa : step.before.regs[fields.rs] & 31;
  for (uint32_t amount = 0; amount < 32; ++amount) {
    if (amount == right) continue;
    Trial trial{"shift-amount:" + std::to_string(amount),
                "shifted by " + std::to_string(amount) + " instead of " + std::to_string(right), step.word,
                step.before, FaultClass::shift,
                amount == right + 1                  ? "one-too-far"
                : (right & 16) && amount == right - 16 ? "ignores-bit4"
                                                       : "amount-misread"};
    if (format == Format::ShiftImmediate) {
      fields.sa = static_cast<uint8_t>(amount);
      trial.word = isa::encode(op, fields);
    } else {
      trial.before.regs[fields.rs] = amount;
    }
    trials.push_back(trial);
  }
}

// A load's value from every lane, half and extension, and with its sign
// taken from another lane.
void load_lanes(const ReferenceState& state, const sim::TraceRecord& expected, const trace::DesignLine& design,
                std::vector<Mechanism>& found) {
  const isa::OpInfo& info = isa::info(isa::decode(state.at.word));
  if (info.attributes.memory != isa::MemoryAccess::load || expected.reg_count == 0 || design.record.reg_count == 0)
    return;
  const uint32_t m = state.memory_word;
  constexpr FaultClass kLane = FaultClass::load_store_lane;
  const auto matches = [&](uint32_t value) {
    sim::TraceRecord record = expected;
    record.regs[0].value = value;
    return trace::compare_line(design, record).empty();
  };
  const uint32_t lane = (state.at.before.regs[isa::fields_of(state.at.word).rs] +
                         uint32_t(int32_t(int16_t(isa::fields_of(state.at.word).imm)))) & 3;
  for (uint32_t k = 0; k < 4; ++k) {
    const uint32_t byte = m >> (8 * k) & 0xFF;
    const std::string from = "byte from lane " + std::to_string(k) + (k == 3 - lane ? " (the big-endian lane)" : "");
    // Any other lane is the lane select gone wrong; the mirrored one is
    // the select wired big-endian.
    const std::string big_endian = k == lane ? "" : k == 3 - lane ? "big-endian-lanes" : "lane-select";
    if (matches(byte))
      found.push_back({"load-lane:" + std::to_string(k) + "-zero", from + ", zero-extended", kLane, big_endian});
    if (matches(byte | (byte >> 7 ? 0xFFFFFF00 : 0)))
      found.push_back({"load-lane:" + std::to_string(k) + "-sign", from + ", sign-extended", kLane, big_endian});
    if (k != lane && info.attributes.width == 1 && matches((m >> (8 * lane) & 0xFF) | (byte >> 7 ? 0xFFFFFF00 : 0)))
      found.push_back({"load-sign-lane:" + std::to_string(k), "the right byte, its sign taken from lane " +
                                                              std::to_string(k), kLane});
  }
  for (uint32_t h = 0; h < 2; ++h) {
    const uint32_t half = m >> (16 * h) & 0xFFFF;
    const std::string from = "halfword " + std::to_string(h) + " of the word";
    const std::string other = h != lane / 2 ? "other-halfword" : "";
    if (matches(half))
      found.push_back({"load-half:" + std::to_string(h) + "-zero", from + ", zero-extended", kLane, other});
    if (matches(half | (half >> 15 ? 0xFFFF0000 : 0)))
      found.push_back({"load-half:" + std::to_string(h) + "-sign", from + ", sign-extended", kLane, other});
  }
  if (info.attributes.width != 4 && matches(m)) found.push_back({"load-whole-word", "the whole word, not its part", kLane});
}

// rs and the other operand an ALU instruction computes on: rt, or the
// immediate widened as the instruction table says.
std::pair<uint32_t, uint32_t> alu_operands(const Step& at) {
  const Op op = isa::decode(at.word);
  const isa::Fields fields = isa::fields_of(at.word);
  const uint32_t immediate = isa::info(op).immediate == isa::Extension::sign ? uint32_t(int32_t(int16_t(fields.imm)))
                                                                              : uint32_t{fields.imm};
  return {at.before.regs[fields.rs], isa::register_form(op) != op ? immediate : at.before.regs[fields.rt]};
}

bool sets_on_less_than(Op op) { return isa::function_of(op) == Op::slt || isa::function_of(op) == Op::sltu; }

// A set-on-less-than's result as bit 31 of rs minus its other operand, the
// comparator a subtractor's sign stands in for; 2 (no result) for others.
uint32_t sign_of_difference(const Step& at) {
  if (!sets_on_less_than(isa::decode(at.word))) return 2;
  const auto [a, b] = alu_operands(at);
  return (a - b) >> 31;
}

// A set-on-less-than's result compared at the wrong boundary (rs <= its
// other operand); 2 (no result) for other instructions.
uint32_t less_or_equal(const Step& at) {
  const Op op = isa::decode(at.word);
  if (!sets_on_less_than(op)) return 2;
  const auto [a, b] = alu_operands(at);
  return isa::function_of(op) == Op::slt ? int32_t(a) <= int32_t(b) : a <= b;
}

// An add or addi whose sum carries out of bit 31 (what an overflow test
// wired to the carry traps on) without overflowing as signed numbers.
bool trapped_on_carry(const Step& at) {
  const Op op = isa::decode(at.word);
  if (op != Op::add && op != Op::addi) return false;
  const auto [a, b] = alu_operands(at);
  const uint32_t sum = a + b;
  const bool overflows = ((a ^ sum) & (b ^ sum)) >> 31;
  return sum < a && !overflows;
}

std::string width_name(char width) { return width == 'b' ? "byte" : width == 'h' ? "halfword" : "word"; }

void value_checks(const ReferenceState& state, const sim::TraceRecord& expected, const trace::DesignLine& design,
                  std::vector<Mechanism>& found) {
  const sim::TraceRecord& d = design.record;
  if (expected.writes_hi && expected.writes_lo && d.writes_hi && d.writes_lo && d.hi == expected.lo &&
      d.lo == expected.hi && expected.hi != expected.lo)
    found.push_back({"hi-lo-crossed", "HI and LO crossed at the write port", FaultClass::multiply_divide,
                     "hi-lo-swapped"});
  // One of the pair written with the other's value: the same port's select,
  // wrong for one half only.
  else if (expected.writes_hi && expected.writes_lo && d.writes_hi && d.writes_lo && expected.hi != expected.lo &&
           ((d.hi == expected.lo && d.lo == expected.lo) || (d.lo == expected.hi && d.hi == expected.hi)))
    found.push_back({"hi-lo-one-crossed", std::string(d.hi == expected.lo ? "HI" : "LO") + " written with " +
                                              (d.hi == expected.lo ? "LO" : "HI") + "'s value at the write port",
                     FaultClass::multiply_divide, "hi-lo-swapped"});
  // A signed product or quotient with its sign wrong: the signed correction.
  const Op op = isa::decode(state.at.word);
  if ((op == Op::mult || op == Op::div) && expected.writes_hi && d.writes_hi &&
      ((d.lo == 0 - expected.lo && expected.lo != 0 && d.hi == expected.hi) ||
       (d.hi == 0 - expected.hi && expected.hi != 0 && d.lo == expected.lo)))
    found.push_back({"sign-correction", "a result negated: the signed correction after the unsigned array",
                     FaultClass::multiply_divide, "sign-correction"});
  if (d.reg_count == 0 && !d.writes_hi && !d.writes_lo && expected.reg_count == 1 && trapped_on_carry(state.at))
    found.push_back({"trap-on-carry", "trapped on the adder's carry out, not on signed overflow: nothing written",
                     FaultClass::alu, "traps-on-carry"});
  // A store that wrote more or fewer bytes than its width: the byte enables.
  if (expected.stores && d.stores && d.store.width != expected.store.width &&
      (d.store.address & ~3u) == (expected.store.address & ~3u))
    found.push_back({"store-enables", std::string("the byte enables write a ") + width_name(d.store.width) +
                                          " where the instruction stores a " + width_name(expected.store.width),
                     FaultClass::load_store_lane, "whole-word"});
  // A link where the instruction writes none: the link's write enable.
  const isa::OpInfo& row = isa::info(isa::decode(state.at.word));
  if (!row.links() && d.reg_count == 1 && d.regs[0].reg == isa::ra && d.regs[0].value == state.at.pc + 8 &&
      (expected.reg_count == 0 || expected.regs[0].reg != isa::ra))
    found.push_back({"link-written", "a link written by an instruction that does not link: the link's write enable",
                     FaultClass::link, "link-only-taken"});
  if (expected.reg_count == 0 || d.reg_count == 0) return;
  // The right value, in a register the instruction does not name as its destination.
  for (uint8_t i = 0; i < d.reg_count; ++i)
    if (d.regs[i].reg != expected.regs[0].reg && d.regs[i].value == expected.regs[0].value)
      found.push_back({"wrong-destination", "the result went to " + std::string(isa::reg_name(d.regs[i].reg)) +
                                                " instead of " + std::string(isa::reg_name(expected.regs[0].reg)),
                       class_of(isa::decode(state.at.word))});
  if (d.regs[0].reg != expected.regs[0].reg) return;
  const uint32_t wrong = d.regs[0].value, right = expected.regs[0].value;
  if (isa::info(isa::decode(state.at.word)).links())
    for (int32_t off : {-8, -4, 4, 8})
      if (wrong == right + uint32_t(off))
        found.push_back({"link-off:" + std::to_string(off), "the link is " + std::to_string(off) + " bytes off",
                         FaultClass::link, off > 0 ? "link-one-word-far" : "link-own-address"});
  if (wrong != right && wrong == less_or_equal(state.at))
    found.push_back({"less-or-equal", "less-than compared as less-or-equal: the comparator's boundary",
                     FaultClass::alu, "comparator"});
  if (wrong != right && wrong == sign_of_difference(state.at))
    found.push_back({"sign-of-difference", "less-than read off bit 31 of the difference (wrong when it overflows)",
                     FaultClass::alu, "sign-of-difference"});
  // A link that did not land went wrong in the link's own write (late, only
  // when taken, into another register), not in the ALU's result path.
  if (wrong == state.at.before.regs[expected.regs[0].reg] && wrong != right && d.reg_count == 1)
    found.push_back(row.links() ? Mechanism{"link-not-written", "the link register kept its old value: the link "
                                            "lands late, into another register or not at all", FaultClass::link,
                                            "link-write"}
                                : Mechanism{"result-not-landed", "the destination kept its old value: the result "
                                            "lands late or not at all", FaultClass::forwarding, "result-late"});
}

// A branch's target added up another way: the offset not shifted or not
// sign-extended, or added to its own address rather than the slot's.
void branch_targets(const Step& branch, uint32_t design_pc, std::vector<Mechanism>& found) {
  const Format format = isa::info(isa::decode(branch.word)).format;
  if (format != Format::BranchCompare && format != Format::BranchZero && format != Format::BranchRegimm) return;
  const uint16_t imm = isa::fields_of(branch.word).imm;
  const uint32_t offset = uint32_t(int32_t(int16_t(imm)));
  if (design_pc == branch.pc + 4 + offset)
    found.push_back({"offset-not-shifted", "the branch offset is added without its shift by two",
                     FaultClass::branch_target, "offset-not-shifted"});
  if (offset != imm && design_pc == branch.pc + 4 + (uint32_t{imm} << 2))
    found.push_back({"offset-zero-extended", "the branch offset is zero-extended, not sign-extended",
                     FaultClass::branch_target});
  if (design_pc == branch.pc + (offset << 2))
    found.push_back({"target-from-own-pc", "the target is added to the branch's own address, not its slot's",
                     FaultClass::branch_target});
}

// Whether a way of running the instruction gives the design's line: its
// own line, or the exception it raised in its place when the design's line
// is an exception.
bool gives(const trace::DesignLine& design, const VariantResult& variant) {
  if (variant.unknown) return false;
  if (design.record.is_exception) return variant.raised && trace::compare_line(design, *variant.raised).empty();
  return trace::compare_line(design, variant.record).empty();
}

std::vector<Trial> control_trials(const ReferenceState& state, const Step& branch, size_t offset) {
  std::vector<Trial> trials;
  other_operations(branch, trials);
  operand_history(state, branch, offset, trials);
  const isa::Fields fields = isa::fields_of(branch.word);
  Trial low{"decided-on-low-16", "decided on bits 15..0 of the operands", branch.word, branch.before,
            FaultClass::branch_decision, "low16-only"};
  for (uint8_t reg : {fields.rs, fields.rt}) low.before.regs[reg] &= 0xFFFF;
  trials.push_back(low);
  return trials;
}

}  // namespace

std::vector<Mechanism> explain(const ReferenceState& state, const trace::DesignLine& design,
                               const sim::TraceRecord& expected) {
  std::vector<Mechanism> found;
  if (!state.reached || expected.is_exception) return found;
  VariantRunner runner;
  // A design that fetched from a wrong address shows the fetch's exception there.
  if (design.record.pc != expected.pc) {
    // Control went elsewhere: the transfer before it (or its slot) did it.
    for (size_t back = 1; back <= state.earlier.size(); ++back) {
      const Step& branch = state.earlier[back - 1];
      if (!trace::is_control_transfer(branch.word)) continue;
      const VariantResult right = runner.run(branch.pc, branch.word, branch.before, nullptr, branch.word);
      if (back == 1 && design.record.pc == right.after_slot)
        found.push_back({"slot-skipped", "the delay slot was squashed", FaultClass::delay_slot, "slot-skipped-taken"});
      if (back != 2) break;
      for (const Trial& t : control_trials(state, branch, back))
        if (runner.run(branch.pc, t.word, t.before, nullptr, branch.word).after_slot == design.record.pc)
          found.push_back({t.key, t.text, t.fault_class, t.mistake});
      const uint32_t not_taken = branch.pc + 8;
      if (right.after_slot != not_taken && design.record.pc == not_taken)
        found.push_back({"decided-not-taken", "decided not taken", FaultClass::branch_decision, "never-taken"});
      if (right.after_slot == not_taken && design.record.pc != not_taken)
        found.push_back({"decided-taken", "decided taken", FaultClass::branch_decision, "always-taken"});
      for (int32_t off : {-4, 4})
        if (right.after_slot != not_taken && design.record.pc == right.after_slot + uint32_t(off))
          found.push_back({"target-off:" + std::to_string(off), "the target is " + std::to_string(off) + " bytes off",
                           FaultClass::branch_target, off == 4 ? "target-one-word-late" : ""});
      branch_targets(branch, design.record.pc, found);
      // Taken, as it should be, but to a place nothing above explains.
      if (found.empty() && right.after_slot != not_taken && design.record.pc != not_taken)
        found.push_back({"target-elsewhere", "taken, but to another target", FaultClass::branch_target});
      break;
    }
    return found;
  }
  std::vector<Trial> trials;
  other_operations(state.at, trials);
  other_extension(state.at, trials);
  shift_amounts(state.at, trials);
  operand_history(state, state.at, 0, trials);
  for (const Trial& t : trials)
    if (gives(design, runner.run(state.at.pc, t.word, t.before, &state, state.at.word)))
      found.push_back({t.key, t.text, t.fault_class, t.mistake, t.instead});
  // Some amount of the 31 others often gives the value by chance: a misread
  // amount counts only as the one explanation (not for a value several
  // amounts give, all zeros or all ones, nor beside another mechanism).
  const auto amounts = std::count_if(found.begin(), found.end(),
                                     [](const Mechanism& m) { return m.key.starts_with("shift-amount:"); });
  if (amounts > 1 || (amounts == 1 && found.size() > 1))
    for (Mechanism& m : found)
      if (m.mistake == "amount-misread") m.mistake.clear();
  load_lanes(state, expected, design, found);
  value_checks(state, expected, design, found);
  return found;
}

std::string control_culprit(const ReferenceState& state, const trace::DesignLine& design) {
  for (const Step& step : state.earlier) {
    const Op op = isa::decode(step.word);
    if (!trace::is_control_transfer(step.word)) continue;
    const isa::Fields fields = isa::fields_of(step.word);
    VariantRunner runner;
    const VariantResult right = runner.run(step.pc, step.word, step.before, nullptr, step.word);
    return mnemonic(op) + " at " + hex(step.pc) + " sent the design to " + hex(design.record.pc) +
           "; the reference goes on at " + hex(right.after_slot) + " after the slot (" +
           std::string(isa::reg_name(fields.rs)) + "=" + hex(step.before.regs[fields.rs]) + ", " +
           std::string(isa::reg_name(fields.rt)) + "=" + hex(step.before.regs[fields.rt]) + ")";
  }
  return "";
}

}  // namespace r3k::divergence
