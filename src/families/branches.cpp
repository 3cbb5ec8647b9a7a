// beq, bne, bgez, bgtz, blez, bltz
#include "families/families.h"

namespace r3k {

void branch_cases(RoutineContext&) {}

}  // namespace r3k
