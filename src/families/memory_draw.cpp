#include "families/memory_draw.h"

#include <algorithm>
#include <stdexcept>


namespace r3k::memory {

std::vector<bool> shuffled_flags(Random& random, std::size_t count, std::size_t set) {
  if (set > count) throw std::logic_error("memory cases: more flagged cases than cases");
  // vector<bool> hands out proxies that Random::shuffle cannot swap.
  std::vector<uint8_t> order(count, 0);
  std::fill_n(order.begin(), set, 1);
  random.shuffle(order);
  return std::vector<bool>(order.begin(), order.end());
}

std::vector<unsigned> shuffled_lanes(Random& random, const std::array<int, 4>& counts) {
  std::vector<unsigned> lanes;
  for (unsigned lane = 0; lane < 4; ++lane) lanes.insert(lanes.end(), static_cast<std::size_t>(counts[lane]), lane);
  random.shuffle(lanes);
  return lanes;
}

uint32_t word_offset(Random& random, bool long_form, uint32_t lowest, uint32_t highest) {
  const uint32_t low = long_form ? std::max(lowest, kLongFormOffset) : lowest;
  const uint32_t high = long_form ? highest : std::min(highest, kLongFormOffset - 4);
  if (low > high) throw std::logic_error("memory cases: no word offset in the asked range");
  return low + 4 * random.below((high - low) / 4 + 1);
}

std::vector<MemoryCase> grouped_addresses(Random& random, GroupSizes sizes, int long_form_cases) {
  const std::vector<bool> long_forms = shuffled_flags(random, static_cast<std::size_t>(sizes.first + sizes.second),
                                                      static_cast<std::size_t>(long_form_cases));
  std::vector<MemoryCase> cases;
  for (int i = 0; i < sizes.total(); ++i) {
    MemoryCase c;
    if (i < sizes.first) {
      c.group = 1;
      c.base = kLowerBase + 4 * random.between(1, 0x3FFF);
      // B + 0xFFFC stays at or below the last data word.
      c.offset = word_offset(random, long_forms[i], 4, 0xFFFC);
    } else if (i < sizes.first + sizes.second) {
      c.group = 2;
      c.base = kUpperBase;
      c.offset = word_offset(random, long_forms[i], 4, kLastDataWord - kUpperBase);
    } else {
      c.group = 3;
      c.base = kUpperBase;
      c.offset = 0;
    }
    cases.push_back(c);
  }
  return cases;
}

}  // namespace r3k::memory
