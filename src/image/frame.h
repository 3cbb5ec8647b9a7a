// The frame every routine shares: entry, cases, exit with the display word.
#pragma once

#include "image/image.h"
#include "routine/routine.h"

namespace r3k {

// Writes one routine at the assembler's current address (which must be
// 16-byte aligned), binding `entry`, and returns what the exporters need.
RoutineInfo emit_routine(assembly::Assembler& as, assembly::Label entry, const RoutineSpec& spec, Random& random,
                         uint16_t file);

// "n2_addu_test" -> "inst/n2_addu.S"
std::string routine_file_name(std::string_view routine_name);

}  // namespace r3k
