// bltzal, bgezal
#include "families/families.h"

namespace r3k {

void branch_link_cases(RoutineContext&) {}

}  // namespace r3k
