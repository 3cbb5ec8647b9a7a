// lw, sw
#include "families/families.h"

namespace r3k {

void word_memory_cases(RoutineContext&) {}

}  // namespace r3k
