#include "image/run_order.h"

#include "families/families.h"

namespace r3k {

namespace {

using isa::Op;

// One row per routine, in run order: number, name, instruction, case writer.
constexpr std::array<RoutineSpec, layout::kRoutineCount> kRunOrder = {{
    {1, "n1_lui_test", Op::lui, load_upper_cases},
    {2, "n2_addu_test", Op::addu, register_alu_cases},
    {3, "n3_addiu_test", Op::addiu, immediate_alu_cases},
    {4, "n4_beq_test", Op::beq, branch_cases},
    {5, "n5_bne_test", Op::bne, branch_cases},
    {6, "n6_lw_test", Op::lw, word_memory_cases},
    {7, "n7_or_test", Op::or_, register_alu_cases},
    {8, "n8_slt_test", Op::slt, register_alu_cases},
    {9, "n9_slti_test", Op::slti, immediate_alu_cases},
    {10, "n10_sltiu_test", Op::sltiu, immediate_alu_cases},
    {11, "n11_sll_test", Op::sll, shift_cases},
    {12, "n12_sw_test", Op::sw, word_memory_cases},
    {13, "n13_j_test", Op::j, jump_cases},
    {14, "n14_jal_test", Op::jal, jump_cases},
    {15, "n15_jr_test", Op::jr, jump_cases},
    {16, "n16_beq_ds_test", Op::beq, branch_delay_slot_cases},
    {17, "n17_bne_ds_test", Op::bne, branch_delay_slot_cases},
    {18, "n18_j_ds_test", Op::j, jump_delay_slot_cases},
    {19, "n19_jal_ds_test", Op::jal, jump_delay_slot_cases},
    {20, "n20_jr_ds_test", Op::jr, jump_delay_slot_cases},
    {21, "n21_add_test", Op::add, register_alu_cases},
    {22, "n22_addi_test", Op::addi, immediate_alu_cases},
    {23, "n23_sub_test", Op::sub, register_alu_cases},
    {24, "n24_subu_test", Op::subu, register_alu_cases},
    {25, "n25_sltu_test", Op::sltu, register_alu_cases},
    {26, "n26_and_test", Op::and_, register_alu_cases},
    {27, "n27_andi_test", Op::andi, immediate_alu_cases},
    {28, "n28_nor_test", Op::nor, register_alu_cases},
    {29, "n29_ori_test", Op::ori, immediate_alu_cases},
    {30, "n30_xor_test", Op::xor_, register_alu_cases},
    {31, "n31_xori_test", Op::xori, immediate_alu_cases},
    {32, "n32_sllv_test", Op::sllv, shift_cases},
    {33, "n33_sra_test", Op::sra, shift_cases},
    {34, "n34_srav_test", Op::srav, shift_cases},
    {35, "n35_srl_test", Op::srl, shift_cases},
    {36, "n36_srlv_test", Op::srlv, shift_cases},
    {37, "n37_bgez_test", Op::bgez, branch_cases},
    {38, "n38_bgtz_test", Op::bgtz, branch_cases},
    {39, "n39_blez_test", Op::blez, branch_cases},
    {40, "n40_bltz_test", Op::bltz, branch_cases},
    {41, "n41_bltzal_test", Op::bltzal, branch_link_cases},
    {42, "n42_bgezal_test", Op::bgezal, branch_link_cases},
    {43, "n43_jalr_test", Op::jalr, jump_cases},
    {44, "n44_div_test", Op::div, multiply_divide_cases},
    {45, "n45_divu_test", Op::divu, multiply_divide_cases},
    {46, "n46_mult_test", Op::mult, multiply_divide_cases},
    {47, "n47_multu_test", Op::multu, multiply_divide_cases},
    {48, "n48_mfhi_test", Op::mfhi, hilo_move_cases},
    {49, "n49_mflo_test", Op::mflo, hilo_move_cases},
    {50, "n50_mthi_test", Op::mthi, hilo_move_cases},
    {51, "n51_mtlo_test", Op::mtlo, hilo_move_cases},
    {52, "n52_bgez_ds_test", Op::bgez, branch_delay_slot_cases},
    {53, "n53_bgtz_ds_test", Op::bgtz, branch_delay_slot_cases},
    {54, "n54_blez_ds_test", Op::blez, branch_delay_slot_cases},
    {55, "n55_bltz_ds_test", Op::bltz, branch_delay_slot_cases},
    {56, "n56_bltzal_ds_test", Op::bltzal, branch_delay_slot_cases},
    {57, "n57_bgezal_ds_test", Op::bgezal, branch_delay_slot_cases},
    {58, "n58_jalr_ds_test", Op::jalr, jump_delay_slot_cases},
    {59, "n59_lb_test", Op::lb, byte_half_cases},
    {60, "n60_lbu_test", Op::lbu, byte_half_cases},
    {61, "n61_lh_test", Op::lh, byte_half_cases},
    {62, "n62_lhu_test", Op::lhu, byte_half_cases},
    {63, "n63_lwl_test", Op::lwl, unaligned_cases},
    {64, "n64_lwr_test", Op::lwr, unaligned_cases},
    {65, "n65_sb_test", Op::sb, byte_half_cases},
    {66, "n66_sh_test", Op::sh, byte_half_cases},
    {67, "n67_swl_test", Op::swl, unaligned_cases},
    {68, "n68_swr_test", Op::swr, unaligned_cases},
}};

}  // namespace

const std::array<RoutineSpec, layout::kRoutineCount>& run_order() { return kRunOrder; }

}  // namespace r3k
