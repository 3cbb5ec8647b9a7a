// lui
#include "families/families.h"

namespace r3k {

void load_upper_cases(RoutineContext&) {}

}  // namespace r3k
