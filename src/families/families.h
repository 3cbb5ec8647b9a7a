// The case writers of the test families, one module each. A run-order row
// names the writer of its family; the writer reads the instruction under
// test from the row.
#pragma once

#include "routine/routine.h"

namespace r3k {

void register_alu_cases(RoutineContext& routine);  // add, addu, sub, subu, slt, sltu, and, or, xor, nor
void immediate_alu_cases(RoutineContext& routine);  // addi, addiu, slti, sltiu, andi, ori, xori
void load_upper_cases(RoutineContext& routine);  // lui
void shift_cases(RoutineContext& routine);  // sll, srl, sra, sllv, srlv, srav
void branch_cases(RoutineContext& routine);  // beq, bne, bgez, bgtz, blez, bltz
void branch_link_cases(RoutineContext& routine);  // bltzal, bgezal
void jump_cases(RoutineContext& routine);  // j, jal, jr, jalr
void branch_delay_slot_cases(RoutineContext& routine);  // delay slots of the eight conditional branches
void jump_delay_slot_cases(RoutineContext& routine);  // delay slots of j, jal, jr and jalr
void multiply_divide_cases(RoutineContext& routine);  // mult, multu, div, divu
void hilo_move_cases(RoutineContext& routine);  // mfhi, mflo, mthi, mtlo
void word_memory_cases(RoutineContext& routine);  // lw, sw
void byte_half_cases(RoutineContext& routine);  // lb, lbu, lh, lhu, sb, sh
void unaligned_cases(RoutineContext& routine);  // lwl, lwr, swl, swr

}  // namespace r3k
