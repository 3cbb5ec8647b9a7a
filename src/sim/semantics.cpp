#include "sim/semantics.h"

namespace r3k::sim {

Flow execute_normal(Cpu& c, const Decoded& d) { return execute(c, d); }

}  // namespace r3k::sim
