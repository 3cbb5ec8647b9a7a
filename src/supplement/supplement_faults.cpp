#include "supplement/supplement_faults.h"

#include "sim/semantics.h"
#include "supplement/draws.h"

namespace r3k::supplement {

using isa::Op;
using sim::Cpu;
using sim::Decoded;

namespace {

sim::Fault replace(Op op, sim::Semantics semantics) { return {op, std::move(semantics), sim::PipelineEffect::none}; }

sim::Fault hazard(sim::Hazard kind) {
  sim::Fault fault;
  fault.hazard = kind;
  return fault;
}

// A variable shift whose amount is the whole register, not its bits 4..0.
sim::Fault wide_shift_amount(Op op) {
  return replace(op, [op](Cpu& c, const Decoded& d) {
    const uint32_t amount = c.reg(d.rs), word = c.reg(d.rt);
    const bool arithmetic = op == Op::srav && int32_t(word) < 0;
    if (amount >= 32) c.set_reg(d.rd, arithmetic ? 0xFFFFFFFF : 0);
    else if (op == Op::sllv) c.set_reg(d.rd, word << amount);
    else if (op == Op::srlv) c.set_reg(d.rd, word >> amount);
    else c.set_reg(d.rd, uint32_t(int32_t(word) >> amount));
  });
}

}  // namespace

std::vector<SupplementFault> supplement_faults() {
  std::vector<SupplementFault> faults = {
      {"jal links its own address + 4", replace(Op::jal, [](Cpu& c, const Decoded& d) {
         c.set_reg(31, c.pc + 4);
         c.branch(d.target);
       }), 1},
      {"jalr links into $31", replace(Op::jalr, [](Cpu& c, const Decoded& d) {
         const uint32_t target = c.reg(d.rs);
         c.set_reg(31, c.link_address());
         c.branch(target);
       }), 2},
      {"slt from the sign of the difference",
       replace(Op::slt, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, (c.reg(d.rs) - c.reg(d.rt)) >> 31); }), 4},
      {"slti from the sign of the difference",
       replace(Op::slti, [](Cpu& c, const Decoded& d) { c.set_reg(d.rt, (c.reg(d.rs) - d.imm) >> 31); }), 5},
      {"sltiu from the sign of the difference",
       replace(Op::sltiu, [](Cpu& c, const Decoded& d) { c.set_reg(d.rt, (c.reg(d.rs) - d.imm) >> 31); }), 5},
      {"beq decides on bits 15..0", replace(Op::beq, [](Cpu& c, const Decoded& d) {
         if (((c.reg(d.rs) ^ c.reg(d.rt)) & 0xFFFF) == 0) c.branch(d.target);
       }), 6},
      {"bne decides on bits 15..0", replace(Op::bne, [](Cpu& c, const Decoded& d) {
         if (((c.reg(d.rs) ^ c.reg(d.rt)) & 0xFFFF) != 0) c.branch(d.target);
       }), 6},
      {"mthi writes HI and LO", replace(Op::mthi, [](Cpu& c, const Decoded& d) { c.hi = c.lo = c.reg(d.rs); }), 7},
      {"mtlo writes HI and LO", replace(Op::mtlo, [](Cpu& c, const Decoded& d) { c.hi = c.lo = c.reg(d.rs); }), 7},
      {"sllv uses the whole amount register", wide_shift_amount(Op::sllv), 8},
      {"srlv uses the whole amount register", wide_shift_amount(Op::srlv), 8},
      {"srav uses the whole amount register", wide_shift_amount(Op::srav), 8},
      {"a load's base right after a load is stale", hazard(sim::Hazard::stale_load_base), 10},
      {"no bypass from the instruction just before", hazard(sim::Hazard::missing_bypass), 11},
      {"the older of two results wins the bypass", hazard(sim::Hazard::older_result_wins), 17},
      {"a write to $zero is forwarded", hazard(sim::Hazard::zero_forwarded), 18},
  };
  for (Op op : slot_ops())
    faults.push_back({std::string(isa::info(op).mnemonic) + " runs its delay slot twice",
                      {op, {}, sim::PipelineEffect::slot_twice}, 9});
  return faults;
}

}  // namespace r3k::supplement
