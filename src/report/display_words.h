// What the display words a board showed say about its routines, when they
// are all there is (`diagnose --display`, a run report): the whole run from
// routine 1, or only its last words, as read off a board that has finished.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace r3k::report {

struct DisplayReading {
  std::set<int> failed;
  size_t reported = 0;                // routines the words account for
  std::vector<std::string> warnings;  // words that name another routine than their place says
};

// Reads `words` in the order shown (a leading start pattern 0 is skipped) for
// an image of `routine_count` routines. The words are the end of a run when
// the first names a routine after 1 and the rest follow it in order; its pass
// count must then equal its routine number (every routine before it passed),
// or which of them failed is unknown and an r3k::Error says so. Otherwise the
// n-th word is routine n's: the test-number fields are not trusted, a
// processor with a broken sll writes them wrong, and they only give warnings.
DisplayReading read_display_words(std::vector<uint32_t> words, size_t routine_count);

}  // namespace r3k::report
