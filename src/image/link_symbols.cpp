#include "image/link_symbols.h"

#include <algorithm>

namespace r3k {

std::vector<const RoutineInfo*> routines_in_link_order(const Image& image) {
  std::vector<const RoutineInfo*> routines;
  for (const RoutineInfo& routine : image.routines) routines.push_back(&routine);
  std::stable_sort(routines.begin(), routines.end(),
                   [](const RoutineInfo* a, const RoutineInfo* b) { return a->address < b->address; });
  return routines;
}

}  // namespace r3k
