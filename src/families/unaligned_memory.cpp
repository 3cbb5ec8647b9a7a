// lwl, lwr, swl, swr
#include "families/families.h"

namespace r3k {

void unaligned_cases(RoutineContext&) {}

}  // namespace r3k
