// sll, srl, sra, sllv, srlv, srav
#include "families/families.h"

namespace r3k {

void shift_cases(RoutineContext&) {}

}  // namespace r3k
