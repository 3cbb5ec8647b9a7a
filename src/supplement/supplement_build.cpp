#include <array>

#include "board/layout.h"
#include "image/start.h"
#include "supplement/supplement.h"

namespace r3k::supplement {
namespace {

using isa::Op;

constexpr FrameStyle kStyle = frame_style_of(ImageKind::supplement);

// The forwarding routines name their producer by the instruction in the row.
constexpr std::array<RoutineSpec, 18> kRunOrder = {{
    {1, "n1_jal_link_test", Op::jal, jal_link_cases},
    {2, "n2_jalr_link_test", Op::jalr, jalr_link_cases},
    {3, "n3_branch_link_address_test", Op::bgezal, branch_link_address_cases},
    {4, "n4_slt_overflow_test", Op::slt, set_less_overflow_cases},
    {5, "n5_slti_range_test", Op::slti, set_less_immediate_range_cases},
    {6, "n6_branch_compare_halves_test", Op::beq, branch_compare_halves_cases},
    {7, "n7_hilo_move_test", Op::mthi, hilo_move_cases},
    {8, "n8_shift_amount_bits_test", Op::sllv, shift_amount_bits_cases},
    {9, "n9_slot_self_update_test", Op::beq, slot_self_update_cases},
    {10, "n10_load_chain_test", Op::lw, load_chain_cases},
    {11, "n11_forward_alu_test", Op::addu, forward_cases},
    {12, "n12_forward_shift_test", Op::sll, forward_cases},
    {13, "n13_forward_lui_test", Op::lui, forward_cases},
    {14, "n14_forward_load_test", Op::lw, forward_cases},
    {15, "n15_forward_hilo_test", Op::mfhi, forward_cases},
    {16, "n16_forward_link_test", Op::jal, forward_cases},
    {17, "n17_forward_newer_wins_test", Op::addu, forward_newer_wins_cases},
    {18, "n18_forward_zero_test", Op::addu, forward_zero_cases},
}};

std::vector<StartLabel> emit_supplement_start(assembly::Assembler& as, std::span<const assembly::Label> routines) {
  assembly::Label locate = as.make_label(), test_finish = as.make_label(), inst_test = as.make_label(),
                  test_end = as.make_label(), wait_1s = as.make_label();
  emit_reset_and_loops(as, locate, test_finish);
  std::vector<StartLabel> labels = {{"test_finish", layout::kEndLoop}};
  auto bind = [&](assembly::Label label, const char* name) {
    as.bind(label);
    labels.push_back({name, as.here()});
  };
  bind(locate, "locate");
  emit_locate(as, kStyle);
  bind(inst_test, "inst_test");
  for (const assembly::Label& routine : routines) {
    as.jal(routine);
    as.nop();
    as.jal(wait_1s);
    as.nop();
  }
  bind(test_end, "test_end");
  emit_test_end(as, test_finish, static_cast<int>(routines.size()), kStyle);
  bind(wait_1s, "wait_1s");
  emit_wait_1s(as, kStyle);
  return labels;
}

}  // namespace

std::span<const RoutineSpec> run_order() { return kRunOrder; }

const ImagePlan& plan() {
  static const ImagePlan supplement_plan{kRunOrder, emit_supplement_start, kStyle, ImageKind::supplement};
  return supplement_plan;
}

Image build(uint32_t seed) { return build_image(seed, plan()); }

}  // namespace r3k::supplement
