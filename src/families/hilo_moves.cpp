// mfhi, mflo, mthi, mtlo
#include "families/families.h"

namespace r3k {

void hilo_move_cases(RoutineContext&) {}

}  // namespace r3k
