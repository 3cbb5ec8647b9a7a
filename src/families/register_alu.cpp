// add, addu, sub, subu, slt, sltu, and, or, xor, nor
#include "families/families.h"

namespace r3k {

void register_alu_cases(RoutineContext&) {}

}  // namespace r3k
