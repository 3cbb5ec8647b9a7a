// j, jal, jr, jalr
#include "families/families.h"

namespace r3k {

void jump_cases(RoutineContext&) {}

}  // namespace r3k
