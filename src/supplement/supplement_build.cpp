#include <array>

#include "board/layout.h"
#include "image/start.h"
#include "supplement/supplement.h"

namespace r3k::supplement {
namespace {

using isa::Op;

constexpr FrameStyle kStyle = frame_style_of(ImageKind::supplement);

// The forwarding routines name their producer by the instruction in the row.
constexpr std::array<RoutineSpec, 19> kRunOrder = {{
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
    {19, "n19_forward_every_reader_test", Op::addu, forward_every_reader_cases},
}};

std::vector<StartLabel> emit_supplement_start(assembly::Assembler& as, std::span<const assembly::Label> routines) {
  return emit_driver_start(as, routines, {.style = kStyle, .locate_style = kStyle});
}

}  // namespace

std::span<const RoutineSpec> run_order() { return kRunOrder; }

const ImagePlan& plan() {
  static const ImagePlan supplement_plan{kRunOrder, emit_supplement_start, kStyle, ImageKind::supplement};
  return supplement_plan;
}

Image build(uint32_t seed) { return build_image(seed, plan()); }

}  // namespace r3k::supplement
