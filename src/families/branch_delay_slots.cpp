// delay slots of the eight conditional branches
#include "families/families.h"

namespace r3k {

void branch_delay_slot_cases(RoutineContext&) {}

}  // namespace r3k
