// Writes the forwarding cases: setup (the stale value, the consumer's other
// operand, the producer's operands, all loaded well before), an optional
// first write that must lose, the producer, distance - 1 nops (for a link
// the first of them is the delay slot), the consumer, then the check.
#include "families/link_register.h"
#include "supplement/forwarding.h"
#include "supplement/robust_code.h"
#include "supplement/supplement.h"

namespace r3k::supplement {

using namespace isa;  // register names
using assembly::Label;

namespace {

constexpr uint32_t kAddend = 0x00012344;  // the ALU producer's second operand

struct CaseLabels {
  Label after_slot, target, wrong;
};

bool reads_code(Consumer c) { return c == Consumer::jr_target || c == Consumer::jalr_target; }

// Loads the operands a producer writing `value` needs; `a`, `b` are its registers.
void load_operands(LoadBlock& block, Producer p, uint32_t value, bool code, const CaseLabels& labels, Reg a, Reg b) {
  switch (p) {
    case Producer::alu:
      if (code) block.address(a, labels.target, -static_cast<int32_t>(kAddend));
      else block.value(a, value - kAddend);
      block.value(b, kAddend);
      break;
    case Producer::shift:
      if (code) block.address(a, labels.target);
      else block.value(a, value >> 2);
      break;
    case Producer::bltzal: block.value(a, 0x80000000); break;
    case Producer::bgezal: block.value(a, 1); break;
    case Producer::jalr: block.address(t9, labels.after_slot); break;
    default: break;
  }
}

void emit_write(assembly::Assembler& as, Producer p, Reg reg, uint32_t value, bool code, const CaseLabels& labels,
                Reg a, Reg b, Op load = Op::lw) {
  switch (p) {
    case Producer::alu: as.addu(reg, a, b); break;
    case Producer::shift: as.sll(reg, a, code ? 0 : 2); break;
    case Producer::lui: as.lui(reg, static_cast<uint16_t>(value >> 16)); break;
    case Producer::load: as.memory(load, reg, load == Op::lwl ? 3 : 0, t4); break;
    case Producer::mfhi: as.move_from(Op::mfhi, reg); break;
    case Producer::mflo: as.move_from(Op::mflo, reg); break;
    case Producer::jal: as.jal(labels.after_slot); break;
    case Producer::jalr: as.jalr(reg, t9); break;
    case Producer::bltzal: as.branch(Op::bltzal, a, labels.after_slot); break;
    case Producer::bgezal: as.branch(Op::bgezal, a, labels.after_slot); break;
  }
}

// Stores a load producer's value, or moves a HI/LO producer's into place.
void prepare(assembly::Assembler& as, Producer p, uint32_t value, bool code, const CaseLabels& labels,
             uint32_t load_source, Reg reg) {
  if (p == Producer::load) {
    LoadBlock block;
    if (code) block.address(reg, labels.target);
    else block.value(reg, value);
    block.value(t4, load_source).emit(as);
    as.sw(reg, 0, t4);
  } else if (p == Producer::mfhi || p == Producer::mflo) {
    LoadBlock block;
    if (code) block.address(reg, labels.target);
    else block.value(reg, value);
    block.emit(as);
    as.move_to(p == Producer::mfhi ? Op::mthi : Op::mtlo, reg);
  }
}

void emit_consumer(RoutineContext& routine, const ForwardCase& f, const CaseLabels& labels, bool link) {
  auto& as = routine.as;
  const Reg p = f.reg;
  switch (f.consumer) {
    case Consumer::alu_rs: as.alu(Op::subu, t1, p, t2); break;
    case Consumer::alu_rt: as.addu(t1, t2, p); break;
    case Consumer::store_data: as.sw(p, 0, t5); break;
    case Consumer::store_base: as.sw(t2, f.offset, p); break;
    case Consumer::load_base: as.lw(t1, f.offset, p); break;
    case Consumer::mult_rs: as.multiply_divide(Op::multu, p, t2); break;
    case Consumer::mult_rt: as.multiply_divide(Op::multu, t2, p); break;
    case Consumer::branch_rs:
    case Consumer::branch_rt: {
      Label equal = as.make_label();
      if (f.consumer == Consumer::branch_rs) as.beq(p, t2, equal);
      else as.beq(t2, p, equal);
      if (link) links::restore_return_address(as);  // in the slot: after the branch has read $ra
      else as.nop();
      as.b(routine.inst_error);
      as.nop();
      as.bind(equal);
      break;
    }
    case Consumer::jr_target:
    case Consumer::jalr_target:
      if (f.consumer == Consumer::jr_target) as.jr(p);
      else as.jalr(t1, p);
      as.nop();
      // A jalr that wrongly links into $31 must still return to the driver.
      as.bind(labels.wrong);
      as.b(routine.inst_error);
      links::restore_return_address(as);
      as.bind(labels.target);
      links::restore_return_address(as);
      break;
  }
}

void emit_check(RoutineContext& routine, const ForwardCase& f, uint32_t read_value, uint32_t consumer_address) {
  auto& as = routine.as;
  switch (f.consumer) {
    case Consumer::alu_rs:
    case Consumer::alu_rt:
      LoadBlock().value(t6, f.consumer == Consumer::alu_rs ? read_value - f.other : read_value + f.other).emit(as);
      fail_unless_equal(routine, t1, t6);
      break;
    case Consumer::store_data:
    case Consumer::store_base:
      LoadBlock().value(t6, f.consumer == Consumer::store_data ? read_value : f.other).emit(as);
      as.lw(t1, 0, t5);
      read_gap(as);
      fail_unless_equal(routine, t1, t6);
      break;
    case Consumer::load_base: {
      const bool rom = is_link(f.producer);
      const uint32_t own_word =
          encode(Op::lw, {.rs = f.reg, .rt = t1, .imm = static_cast<uint16_t>(f.offset)});
      (void)consumer_address;
      LoadBlock().value(t6, rom ? own_word : f.other).emit(as);
      fail_unless_equal(routine, t1, t6);
      break;
    }
    case Consumer::mult_rs:
    case Consumer::mult_rt:
      as.move_from(Op::mflo, t1);
      LoadBlock().value(t6, read_value * f.other).emit(as);
      fail_unless_equal(routine, t1, t6);
      break;
    default: break;  // the branch or jump was the check
  }
}

CaseInfo describe(const ForwardCase& f) {
  const std::string_view producer = f.producer == Producer::load ? isa::info(f.load).mnemonic : producer_name(f.producer);
  std::string note = std::string(producer) + " -> " + std::string(consumer_name(f.consumer)) +
                     ", distance " + std::to_string(f.distance) + ", " + std::string(reg_name(f.reg));
  if (f.first) note = std::string(producer_name(*f.first)) + " then " + note;
  std::vector<CaseValue> values;
  if (f.first) values.push_back({"first", f.first_value});
  if (!is_link(f.producer) && !reads_code(f.consumer)) values.push_back({"value", f.value});
  values.push_back({"stale", f.stale});
  values.push_back({"other", f.other});
  return {static_cast<int>(f.producer) + 1, producer, values, note};
}

void emit_forward_case(RoutineContext& routine, const ForwardCase& f) {
  auto& as = routine.as;
  const bool link = is_link(f.producer), code = reads_code(f.consumer);
  // A link's load base reads the boot ROM: the offset points at the consumer itself.
  ForwardCase c = f;
  if (link && f.consumer == Consumer::load_base) c.offset = static_cast<int16_t>(4 * f.distance - 8);
  const CaseLabels labels{as.make_label(), as.make_label(), as.make_label()};

  prepare(as, c.producer, c.value, code, labels, c.load_source, t3);
  if (c.first == Producer::mflo) prepare(as, Producer::mflo, c.first_value, false, labels, 0, a0);
  if (c.consumer == Consumer::load_base && !link) {
    LoadBlock().value(t7, c.memory).value(t8, c.other).emit(as);
    as.sw(t8, 0, t7);
  }
  LoadBlock block;
  if (c.reg != zero && c.reg != ra) {
    if (code) block.address(c.reg, labels.wrong);
    else block.value(c.reg, c.stale);
  }
  const uint32_t read_value = c.reg == zero ? 0 : c.value;
  if (c.consumer == Consumer::branch_rs || c.consumer == Consumer::branch_rt) {
    if (link) block.address(t2, labels.after_slot);
    else block.value(t2, read_value);
  } else {
    block.value(t2, c.other);
  }
  if (c.consumer == Consumer::store_data || c.consumer == Consumer::store_base) block.value(t5, c.memory);
  load_operands(block, c.producer, c.value, code, labels, t3, t4);
  if (c.first) load_operands(block, *c.first, c.first_value, false, labels, a0, a1);
  block.emit(as);
  if (c.consumer == Consumer::store_base) as.sw(zero, 0, t5);
  if (c.consumer == Consumer::store_data) as.sw(t2, 0, t5);  // something other than what the consumer stores
  // The restore may come right after the consumer: three instructions on.
  if (link || code) links::save_return_address(as), as.nop();

  if (c.first) emit_write(as, *c.first, c.reg, c.first_value, false, labels, a0, a1);
  const uint32_t producer_address = as.here();
  emit_write(as, c.producer, c.reg, c.value, code, labels, t3, t4, c.load);
  uint32_t consumer_address = 0;
  if (link) {
    if (c.distance == 1) {
      consumer_address = as.here();
      emit_consumer(routine, c, labels, link);
      as.bind(labels.after_slot);
    } else {
      as.nop();
      as.bind(labels.after_slot);
      for (int i = 2; i < c.distance; ++i) as.nop();
      consumer_address = as.here();
      emit_consumer(routine, c, labels, link);
    }
    if (c.consumer != Consumer::branch_rs && c.consumer != Consumer::branch_rt) links::restore_return_address(as);
  } else {
    for (int i = 1; i < c.distance; ++i) as.nop();
    consumer_address = as.here();
    emit_consumer(routine, c, labels, link);
  }
  emit_check(routine, c, link ? producer_address + 8 : read_value, consumer_address);
}

}  // namespace

void forward_cases(RoutineContext& routine) {
  emit_cases(routine, draw_forward_cases(routine.spec.op, routine.spec.number, routine.random), describe,
             [&](const ForwardCase& f) { emit_forward_case(routine, f); });
}

void forward_newer_wins_cases(RoutineContext& routine) {
  emit_cases(routine, draw_newer_wins_cases(routine.spec.number, routine.random), describe,
             [&](const ForwardCase& f) { emit_forward_case(routine, f); });
}

void forward_zero_cases(RoutineContext& routine) {
  emit_cases(routine, draw_zero_cases(routine.spec.number, routine.random), describe,
             [&](const ForwardCase& f) { emit_forward_case(routine, f); });
}

}  // namespace r3k::supplement
