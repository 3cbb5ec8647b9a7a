// delay slots of j, jal, jr and jalr
#include "families/families.h"

namespace r3k {

void jump_delay_slot_cases(RoutineContext&) {}

}  // namespace r3k
