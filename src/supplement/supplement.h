// The supplementary image: a second run-order table over the same frame,
// families' helpers and assembler, for what the main image's 68 routines
// cannot see (absolute links, set-on-less-than at the overflow boundary,
// branch compares in the high half, forwarding, HI/LO moves, shift amounts,
// delay slots that update their own register, load chains, forwarding into
// every instruction that reads a register).
//
// Same board protocol as the main image: the reset jump, the end loop at
// 0xBFC00100, the exception loop at 0xBFC00380 and locate at 0xBFC0038C are
// where the main image has them; the driver (one jal pair per routine),
// test_end and wait_1s follow locate, and the routines follow them on the
// next 16-byte boundary. The frame and the driver are the spaced kind: no
// instruction of theirs reads a register written by any of the three
// instructions before it, so a processor that lost one bypass path still
// reports every routine.
#pragma once

#include <cstdint>
#include <span>

#include "image/build.h"
#include "image/image.h"
#include "routine/random.h"
#include "routine/routine.h"

namespace r3k::supplement {

std::span<const RoutineSpec> run_order();
const ImagePlan& plan();
Image build(uint32_t seed = kDefaultSeed);

// The case writers, one per routine group.
void jal_link_cases(RoutineContext& routine);
void jalr_link_cases(RoutineContext& routine);
void branch_link_address_cases(RoutineContext& routine);
void set_less_overflow_cases(RoutineContext& routine);
void set_less_immediate_range_cases(RoutineContext& routine);
void branch_compare_halves_cases(RoutineContext& routine);
void hilo_move_cases(RoutineContext& routine);
void shift_amount_bits_cases(RoutineContext& routine);
void slot_self_update_cases(RoutineContext& routine);
void load_chain_cases(RoutineContext& routine);
void forward_cases(RoutineContext& routine);           // one producer kind per routine
void forward_newer_wins_cases(RoutineContext& routine);
void forward_zero_cases(RoutineContext& routine);
void forward_every_reader_cases(RoutineContext& routine);  // addu into every instruction that reads a register

}  // namespace r3k::supplement
