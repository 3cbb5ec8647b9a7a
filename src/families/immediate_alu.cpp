// addi, addiu, slti, sltiu, andi, ori, xori
#include "families/families.h"

namespace r3k {

void immediate_alu_cases(RoutineContext&) {}

}  // namespace r3k
