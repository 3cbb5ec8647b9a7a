// mult, multu, div, divu
#include "families/families.h"

namespace r3k {

void multiply_divide_cases(RoutineContext&) {}

}  // namespace r3k
