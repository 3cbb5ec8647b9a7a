// The exceptions image: a third run-order table over the same frame,
// assembler and board protocol, for coprocessor 0 and everything that traps
// (overflow, address errors, syscall and break, reserved and coprocessor
// instructions, the delay-slot rules, precise exceptions, the status stack,
// software interrupts, the BEV = 0 vector and the return to user mode).
//
// The start code is the supplement's with one difference: where the others
// have zero words and the exception loop, both general vectors of a core
// with BEV = 1 (0xBFC00180 and 0xBFC00380) lead to the handler at 0xBFC00184
// (handler.h). No routine but the BEV = 0 one depends on which vector a core
// uses.
#pragma once

#include <cstdint>
#include <span>

#include "image/build.h"
#include "image/image.h"
#include "routine/random.h"
#include "routine/routine.h"

namespace r3k::exceptions {

std::span<const RoutineSpec> run_order();
const ImagePlan& plan();
Image build(uint32_t seed = kDefaultSeed);

// The case writers, one per routine.
void overflow_cases(RoutineContext& routine);
void no_overflow_trap_cases(RoutineContext& routine);
void load_address_error_cases(RoutineContext& routine);
void store_address_error_cases(RoutineContext& routine);
void unaligned_access_cases(RoutineContext& routine);
void jump_address_error_cases(RoutineContext& routine);
void syscall_break_cases(RoutineContext& routine);
void reserved_instruction_cases(RoutineContext& routine);
void coprocessor_unusable_cases(RoutineContext& routine);
void delay_slot_cases(RoutineContext& routine);
void precise_cases(RoutineContext& routine);
void status_stack_cases(RoutineContext& routine);
void software_interrupt_cases(RoutineContext& routine);
void ram_vector_cases(RoutineContext& routine);
void user_mode_cases(RoutineContext& routine);

}  // namespace r3k::exceptions
