#include <array>

#include "board/layout.h"
#include "exceptions/exceptions.h"
#include "exceptions/handler.h"
#include "image/start.h"

namespace r3k::exceptions {
namespace {

using isa::Op;

// The BEV = 0 routine and the return to user mode come last: a core that
// has neither still runs every other routine first.
constexpr std::array<RoutineSpec, 15> kRunOrder = {{
    {1, "n1_overflow_trap_test", Op::add, overflow_cases},
    {2, "n2_no_overflow_trap_test", Op::addu, no_overflow_trap_cases},
    {3, "n3_load_address_error_test", Op::lw, load_address_error_cases},
    {4, "n4_store_address_error_test", Op::sw, store_address_error_cases},
    {5, "n5_unaligned_no_trap_test", Op::lwl, unaligned_access_cases},
    {6, "n6_jump_address_error_test", Op::jr, jump_address_error_cases},
    {7, "n7_syscall_break_test", Op::syscall, syscall_break_cases},
    {8, "n8_reserved_instruction_test", Op::break_, reserved_instruction_cases},
    {9, "n9_coprocessor_unusable_test", Op::mtc0, coprocessor_unusable_cases},
    {10, "n10_delay_slot_exception_test", Op::beq, delay_slot_cases},
    {11, "n11_precise_exception_test", Op::mult, precise_cases},
    {12, "n12_status_stack_test", Op::rfe, status_stack_cases},
    {13, "n13_software_interrupt_test", Op::mtc0, software_interrupt_cases},
    {14, "n14_ram_vector_test", Op::syscall, ram_vector_cases},
    {15, "n15_user_mode_return_test", Op::rfe, user_mode_cases},
}};

// Coprocessor 0 as the routines expect to find it, whatever reset left.
void set_up_cop0(assembly::Assembler& as) {
  as.lui(isa::t0, kBootStatus >> 16);
  mtc0(as, isa::t0, isa::kStatus);
  mtc0(as, isa::zero, isa::kCause);
}

std::vector<StartLabel> emit_exceptions_start(assembly::Assembler& as, std::span<const assembly::Label> routines) {
  return emit_driver_start(as, routines,
                           {.style = frame_style_of(ImageKind::exceptions), .handler = emit_handler, .set_up = set_up_cop0});
}

}  // namespace

std::span<const RoutineSpec> run_order() { return kRunOrder; }

const ImagePlan& plan() {
  static const ImagePlan exceptions_plan{kRunOrder, emit_exceptions_start, frame_style_of(ImageKind::exceptions), ImageKind::exceptions};
  return exceptions_plan;
}

Image build(uint32_t seed) { return build_image(seed, plan()); }

}  // namespace r3k::exceptions
