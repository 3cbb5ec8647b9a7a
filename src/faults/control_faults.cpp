// Branch decision, branch target and link faults.
#include "faults/catalog_parts.h"
#include "faults/fault_kit.h"

namespace r3k::faults {

using namespace kit;

namespace {

// A linking branch that links only when it is taken.
sim::Semantics link_only_when_taken(bool negative_taken) {
  return [negative_taken](Cpu& c, const Decoded& d) {
    if ((rs_signed(c, d) < 0) != negative_taken) return;
    c.set_reg(isa::ra, c.link_address());
    c.branch(d.target);
  };
}
void link_only(Cpu& c, const Decoded&) { c.set_reg(isa::ra, c.link_address()); }
void link_and_always_branch(Cpu& c, const Decoded& d) {
  c.set_reg(isa::ra, c.link_address());
  c.branch(d.target);
}
void stay(Cpu&, const Decoded&) {}

sim::Semantics compare_low_half(bool equal_taken) {
  return [equal_taken](Cpu& c, const Decoded& d) {
    branch_if(c, d, (uint16_t(rs(c, d)) == uint16_t(rt(c, d))) == equal_taken);
  };
}

}  // namespace

std::vector<CatalogFault> branch_and_jump_faults() {
  constexpr auto D = FaultClass::branch_decision;
  constexpr auto T = FaultClass::branch_target;
  constexpr auto L = FaultClass::link;
  return {
      {"beq-low16-only", D, Op::beq, "beq compares only the low 16 bits",
       unseen("no unequal pair of the image shares its low half, and a zero operand always meets a non-zero low half"),
       "", [](const ImageShape&) { return replace(Op::beq, compare_low_half(true)); }},
      {"bne-low16-only", D, Op::bne, "bne compares only the low 16 bits",
       unseen("no unequal pair of the image shares its low half, and a zero operand always meets a non-zero low half"),
       "", [](const ImageShape&) { return replace(Op::bne, compare_low_half(false)); }},
      {"bne-never-taken", D, Op::bne, "bne never branches",
       fails({17}), "every check of the image is a bne to inst_error; only n17's wrong path falls into b inst_error",
       [](const ImageShape&) { return replace(Op::bne, stay); }},
      {"bgez-zero-negative", D, Op::bgez, "bgez takes zero for negative (not taken on 0)", fails({37, 52}), "",
       [](const ImageShape&) {
         return replace(Op::bgez, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs_signed(c, d) > 0); });
       }},
      {"bgtz-zero-positive", D, Op::bgtz, "bgtz takes zero for positive (taken on 0)", fails({38}), "",
       [](const ImageShape&) {
         return replace(Op::bgtz, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs_signed(c, d) >= 0); });
       }},
      {"blez-sign-inverted", D, Op::blez, "blez tests the sign the wrong way round (taken on positive values)",
       fails({39, 54}), "", [](const ImageShape&) {
         return replace(Op::blez, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs_signed(c, d) >= 0); });
       }},
      {"bltz-zero-negative", D, Op::bltz, "bltz takes zero for negative (taken on 0)", fails({40}), "",
       [](const ImageShape&) {
         return replace(Op::bltz, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs_signed(c, d) <= 0); });
       }},
      {"bltzal-never-taken", D, Op::bltzal, "bltzal links but never branches", fails({41, 56}), "",
       [](const ImageShape&) { return replace(Op::bltzal, link_only); }},
      {"bgezal-never-taken", D, Op::bgezal, "bgezal links but never branches", fails({42, 57}), "",
       [](const ImageShape&) { return replace(Op::bgezal, link_only); }},
      {"bltzal-always-taken", D, Op::bltzal, "bltzal links and branches whatever the sign", fails({41, 56}), "",
       [](const ImageShape&) { return replace(Op::bltzal, link_and_always_branch); }},
      {"bgezal-always-taken", D, Op::bgezal, "bgezal links and branches whatever the sign", fails({42, 57}), "",
       [](const ImageShape&) { return replace(Op::bgezal, link_and_always_branch); }},
      {"beq-target-one-word-late", T, Op::beq, "a taken beq lands one word past its target (offset adder off by 4)",
       breaks_run("b is beq $zero, $zero: the driver's branches land wrong and the run is lost", kPastTheRoutines), "",
       [](const ImageShape&) {
         return replace(Op::beq, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs(c, d) == rt(c, d)); c.after_next += c.branch_taken ? 4 : 0; });
       }},
      {"bgtz-offset-not-shifted", T, Op::bgtz, "bgtz adds its offset in bytes, not words",
       exception_loop({}, "n38's first taken bgtz lands inside its own case", 38), "",
       [](const ImageShape&) {
         return replace(Op::bgtz, [](Cpu& c, const Decoded& d) {
           if (rs_signed(c, d) > 0) c.branch(c.pc + 4 + uint32_t(int32_t(int16_t(immediate_field(d)))));
         });
       }},
      {"j-no-transfer", T, Op::j, "j does not jump", breaks_run("the reset vector's j goes nowhere: no routine runs", 1), "",
       [](const ImageShape&) { return replace(Op::j, stay); }},
      {"j-no-transfer-in-n13", T, Op::j, "j does not jump (inside n13's cases only; elsewhere it wrecks the run)",
       fails({13}), "", [](const ImageShape& shape) { return inside(shape, 13, Op::j, stay); }},
      {"jr-no-transfer-in-n15", T, Op::jr, "jr does not jump (inside n15's cases only; elsewhere it wrecks the run)",
       fails({15}), "", [](const ImageShape& shape) { return inside(shape, 15, Op::jr, stay); }},
      {"jal-no-transfer-in-n14", T, Op::jal, "jal links but does not jump (inside n14's cases only)", fails({14}), "",
       [](const ImageShape& shape) { return inside(shape, 14, Op::jal, stay); }},
      {"jal-no-transfer-in-n19", T, Op::jal, "jal links but does not jump (inside n19's cases only)", fails({19}), "",
       [](const ImageShape& shape) { return inside(shape, 19, Op::jal, link_only); }},
      {"jalr-no-transfer", T, Op::jalr, "jalr links but does not jump", fails({43, 58}), "",
       [](const ImageShape&) { return replace(Op::jalr, link_only); }},
      {"jalr-no-transfer-in-n43", T, Op::jalr, "jalr does nothing (inside n43's cases only)", fails({43}), "",
       [](const ImageShape& shape) { return inside(shape, 43, Op::jalr, stay); }},
      {"bltzal-link-only-taken", L, Op::bltzal, "bltzal writes $ra only when it branches", fails({41}), "",
       [](const ImageShape&) { return replace(Op::bltzal, link_only_when_taken(true)); }},
      {"bgezal-link-only-taken", L, Op::bgezal, "bgezal writes $ra only when it branches", fails({42}), "",
       [](const ImageShape&) { return replace(Op::bgezal, link_only_when_taken(false)); }},
      {"jalr-link-own-address", L, Op::jalr, "jalr links its own address + 4 (the delay slot)", fails({43}), "",
       [](const ImageShape&) {
         return replace(Op::jalr, [](Cpu& c, const Decoded& d) {
           sim::execute_normal(c, d);
           c.set_reg(d.rd, c.pc + 4);
         });
       }},
      {"jalr-links-into-ra", L, Op::jalr, "jalr writes its link into $31 whatever its rd",
       unseen("every jalr of the image names $31 as rd"), "", [](const ImageShape&) {
         return replace(Op::jalr, [](Cpu& c, const Decoded& d) {
           const uint32_t target = rs(c, d);
           c.set_reg(isa::ra, c.link_address());
           c.branch(target);
         });
       }},
      {"jalr-link-into-target", L, Op::jalr, "jalr writes its link into the target register $rs", fails({43}), "",
       [](const ImageShape&) {
         return replace(Op::jalr, [](Cpu& c, const Decoded& d) {
           const uint32_t target = rs(c, d);
           c.set_reg(d.rs, c.link_address());
           c.branch(target);
         });
       }},
      {"jal-link-target-in-n14", L, Op::jal, "jal links its target (the fetch address after it; inside n14 only)",
       fails({14}), "", [](const ImageShape& shape) {
         return inside(shape, 14, Op::jal, [](Cpu& c, const Decoded& d) {
           c.set_reg(isa::ra, d.target);
           c.branch(d.target);
         });
       }},
      {"jal-link-own-address", L, Op::jal, "jal links its own address + 4 (the delay slot)",
       unseen("n14 compares only the distance between two links; the driver's calls return to a nop slot"), "",
       [](const ImageShape&) {
         return replace(Op::jal, [](Cpu& c, const Decoded& d) {
           sim::execute_normal(c, d);
           c.set_reg(isa::ra, c.pc + 4);
         });
       }},
      {"jal-link-one-word-far", L, Op::jal, "jal links its own address + 12 (one word past the right link)",
       unseen("n14 compares only the distance between two links, which a constant error keeps"), "",
       [](const ImageShape&) {
         return replace(Op::jal, [](Cpu& c, const Decoded& d) {
           sim::execute_normal(c, d);
           c.set_reg(isa::ra, c.pc + 12);
         });
       }},
  };
}

}  // namespace r3k::faults
