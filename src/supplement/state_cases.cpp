// HI/LO moves, variable shift amounts, delay slots that update their own
// register, and load chains: state the main image never looks at twice.
#include "families/link_register.h"
#include "families/multiply_divide.h"
#include "families/shifts.h"
#include "supplement/draws.h"
#include "supplement/robust_code.h"
#include "supplement/supplement.h"

namespace r3k::supplement {

using namespace isa;  // register names
using assembly::Label;

namespace {
constexpr int kHiloCases = 16;
constexpr int kSlotCasesPerOp = 2;
constexpr int kChains = 8;
constexpr int kChainLength = 5;
}  // namespace

// mthi $t0 ; mtlo $t1 ; nop ; nop ; mthi $t2 ; mflo $t3 ; mfhi $t4 (and the
// mirror image with mtlo): the move writes only its own register.
void hilo_move_cases(RoutineContext& routine) {
  auto& as = routine.as;
  for (int i = 0; i < kHiloCases; ++i) {
    const bool to_hi = i % 2 == 0;
    const uint32_t hi = nonzero_word(routine.random), lo = nonzero_word(routine.random, {hi});
    const uint32_t moved = nonzero_word(routine.random, {hi, lo});
    routine.begin_case({to_hi ? 1 : 2, to_hi ? "mthi then mflo" : "mtlo then mfhi",
                        {{"HI", hi}, {"LO", lo}, {"moved", moved}}, {}});
    LoadBlock().value(t0, hi).value(t1, lo).value(t2, moved).emit(as);
    as.move_to(Op::mthi, t0);
    as.move_to(Op::mtlo, t1);
    as.nop();
    as.nop();
    as.move_to(to_hi ? Op::mthi : Op::mtlo, t2);
    as.move_from(to_hi ? Op::mflo : Op::mfhi, t3);  // the register the move left alone
    as.move_from(to_hi ? Op::mfhi : Op::mflo, t4);  // the one it wrote
    read_gap(as);
    fail_unless_equal(routine, t3, to_hi ? t1 : t0);
    fail_unless_equal(routine, t4, t2);
  }
  // mfhi right after a multiply or divide, before mflo: HI must be the new one.
  for (Op op : {Op::mult, Op::multu, Op::div, Op::divu}) {
    uint32_t x = 0, y = 0;
    multiply_divide::HiLoPair result;
    while (result.hi == 0) {  // the stale HI is 0
      x = nonzero_word(routine.random, {0x80000000});
      y = nonzero_word(routine.random, {0xFFFFFFFF});
      result = multiply_divide::result(op, x, y);
    }
    routine.begin_case({3, "mfhi right after " + std::string(info(op).mnemonic), {{"X", x}, {"Y", y}, {"HI", result.hi}}, {}});
    LoadBlock().value(t0, x).value(t1, y).value(t2, result.hi).emit(as);
    as.move_to(Op::mthi, zero);
    as.nop();
    as.nop();
    as.multiply_divide(op, t0, t1);
    as.move_from(Op::mfhi, t3);
    read_gap(as);
    fail_unless_equal(routine, t3, t2);
  }
  // Divides whose result MIPS-I leaves undefined must not trap; HI and LO
  // take moves after them as usual.
  const struct {
    Op op;
    uint32_t x, y;
  } undefined[] = {{Op::div, nonzero_word(routine.random), 0}, {Op::div, 0x80000000, 0xFFFFFFFF},
                   {Op::divu, nonzero_word(routine.random), 0}};
  for (const auto& d : undefined) {
    const uint32_t hi = nonzero_word(routine.random), lo = nonzero_word(routine.random, {hi});
    routine.begin_case({4, "a divide without a defined result does not trap",
                        {{"X", d.x}, {"Y", d.y}, {"HI", hi}, {"LO", lo}}, {}});
    LoadBlock().value(t0, d.x).value(t1, d.y).value(t5, hi).value(t6, lo).emit(as);
    as.multiply_divide(d.op, t0, t1);
    as.move_from(Op::mflo, t3);  // whatever it is: the read ends the divide
    as.move_from(Op::mfhi, t4);
    as.move_to(Op::mthi, t5);
    as.move_to(Op::mtlo, t6);
    as.nop();
    as.nop();
    as.move_from(Op::mfhi, t3);
    as.move_from(Op::mflo, t4);
    read_gap(as);
    fail_unless_equal(routine, t3, t5);
    fail_unless_equal(routine, t4, t6);
  }
}

std::vector<ShiftAmountCase> draw_shift_amount_cases(Random& random) {
  std::vector<ShiftAmountCase> cases;
  for (Op op : {Op::sllv, Op::srlv, Op::srav})
    for (uint32_t low = 0; low < 32; ++low) {
      uint32_t upper = 0;
      while (upper == 0) upper = random.word() & ~0x1Fu;
      const uint32_t word = nonzero_word(random);
      cases.push_back({op, word, upper | low, shifts::result(op, word, low)});
    }
  return cases;
}

// op $t3, $t0 (word), $t1 (amount with upper bits set) ; the read gap ; bne $t3, $t2
void shift_amount_bits_cases(RoutineContext& routine) {
  auto& as = routine.as;
  emit_cases(
      routine, draw_shift_amount_cases(routine.random),
      [](const ShiftAmountCase& c) {
        return CaseInfo{0, {}, {{"word", c.word}, {"amount", c.amount}, {"expected", c.expected}},
                        std::string(info(c.op).mnemonic)};
      },
      [&](const ShiftAmountCase& c) {
        LoadBlock().value(t0, c.word).value(t1, c.amount).value(t2, c.expected).emit(as);
        as.shift_variable(c.op, t3, t0, t1);
        read_gap(as);
        fail_unless_equal(routine, t3, t2);
      });
}

const std::vector<Op>& slot_ops() {
  static const std::vector<Op> ops = {Op::beq,    Op::bne,    Op::blez, Op::bgtz, Op::bltz, Op::bgez,
                                      Op::bltzal, Op::bgezal, Op::j,    Op::jal,  Op::jr,   Op::jalr};
  return ops;
}

namespace {

// An operand for which the branch is taken.
uint32_t taking_operand(Op op, Random& random) {
  const uint32_t word = nonzero_word(random);
  switch (op) {
    case Op::blez: case Op::bltz: case Op::bltzal: return word | 0x80000000;
    case Op::bgtz: case Op::bgez: case Op::bgezal: return (word & 0x7FFFFFFF) | 1;
    default: return word;
  }
}

void emit_taken_transfer(assembly::Assembler& as, Op op, Label target) {
  switch (op) {
    case Op::beq: as.beq(t4, t4, target); break;
    case Op::bne: as.bne(t4, zero, target); break;
    case Op::j: case Op::jal: as.jump(op, target); break;
    case Op::jr: as.jr(t9); break;
    case Op::jalr: as.jalr(t8, t9); break;
    default: as.branch(op, t4, target); break;
  }
}

}  // namespace

// transfer to T ; addiu $t0, $t0, 1 (the slot) ; [fall through: restore $ra,
// b inst_error] ; T: restore $ra ; the read gap ; bne $t0, $t1 (start + 1)
void slot_self_update_cases(RoutineContext& routine) {
  auto& as = routine.as;
  for (Op op : slot_ops())
    for (int i = 0; i < kSlotCasesPerOp; ++i) {
      const uint32_t start = nonzero_word(routine.random, {0xFFFFFFFF});
      const uint32_t operand = taking_operand(op, routine.random);
      routine.begin_case({0, {}, {{"start", start}, {"operand", operand}},
                          std::string(info(op).mnemonic) + " taken, slot: addiu $t0, $t0, 1"});
      Label target = as.make_label();
      LoadBlock().value(t0, start).value(t1, start + 1).value(t4, operand).address(t9, target).emit(as);
      links::save_return_address(as);
      as.nop();  // both paths restore $ra from the copy three instructions on
      emit_taken_transfer(as, op, target);
      as.addiu(t0, t0, 1);
      links::restore_return_address(as);
      as.b(routine.inst_error);
      as.nop();
      as.bind(target);
      links::restore_return_address(as);
      read_gap(as);
      fail_unless_equal(routine, t0, t1);
    }
}

std::vector<LoadChain> draw_load_chains(int routine_number, Random& random) {
  ScratchWords scratch(routine_number);
  const uint32_t stale = scratch.next();
  std::vector<LoadChain> chains;
  for (int c = 0; c < kChains; ++c) {
    LoadChain chain;
    chain.stale = stale;
    for (int k = 0; k <= kChainLength; ++k) {
      chain.words.push_back(scratch.next());
      chain.offsets.push_back(static_cast<int16_t>(4 * static_cast<int>(random.below(16)) - 32));
    }
    // Word k holds what the load k+1 takes as its base; the last a marker.
    for (int k = 0; k < kChainLength; ++k) chain.values.push_back(chain.words[k + 1] - uint32_t(chain.offsets[k + 1]));
    chain.values.push_back(nonzero_word(random));
    chains.push_back(chain);
  }
  return chains;
}

// Stores the chain, then lw $t1, o0($t0) ; nop ; lw $t2, o1($t1) ; nop ; ...
// every base the load just before wrote; every loaded value compared.
void load_chain_cases(RoutineContext& routine) {
  auto& as = routine.as;
  static constexpr std::array<Reg, kChainLength + 1> kLoaded = {t1, t2, t3, t4, t5, t6};
  for (const LoadChain& chain : draw_load_chains(routine.spec.number, routine.random)) {
    std::vector<CaseValue> values;
    for (size_t k = 0; k < chain.values.size(); ++k) values.push_back({"load " + std::to_string(k + 1), chain.values[k]});
    routine.begin_case({0, {}, values, {}});
    for (size_t k = 0; k < chain.words.size(); ++k) {
      LoadBlock().value(a0, chain.words[k]).value(a1, chain.values[k]).emit(as);
      as.sw(a1, 0, a0);
    }
    LoadBlock block;
    block.value(t0, chain.words[0] - uint32_t(chain.offsets[0]));
    for (Reg loaded : kLoaded) block.value(loaded, chain.stale);  // a stale base reads the wrong word
    block.emit(as);
    Reg base = t0;
    for (size_t k = 0; k < kLoaded.size(); ++k) {
      as.lw(kLoaded[k], chain.offsets[k], base);
      as.nop();
      base = kLoaded[k];
    }
    for (size_t k = 0; k < kLoaded.size(); ++k) {
      LoadBlock().value(a2, chain.values[k]).emit(as);
      fail_unless_equal(routine, kLoaded[k], a2);
    }
  }
}

}  // namespace r3k::supplement
