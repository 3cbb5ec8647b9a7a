// lb, lbu, lh, lhu, sb, sh
#include "families/families.h"

namespace r3k {

void byte_half_cases(RoutineContext&) {}

}  // namespace r3k
