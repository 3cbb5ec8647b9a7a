// Text words as GNU assembler statements for MIPS-I: labels for every branch
// and jump target, `la` for an address load (lui then addiu of %hi/%lo, as GNU
// as expands it without PIC), `li` for a two-instruction constant load, and
// the plain instruction otherwise, as the assembler recorded each word
// (Image::statements). Every statement assembles to exactly the words it was
// made from.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "image/image.h"
#include "board/layout.h"

namespace r3k::source {

// Where the words at [first, last) branch, jump or take the address of.
std::vector<uint32_t> referenced_addresses(const Image& image, uint32_t first, uint32_t last);

class StatementWriter {
 public:
  // labels: the names the statements may use for addresses (local labels of
  // the file and global symbols). With board_names (for a file of one
  // statement per line), a constant equal to a board register's address gets
  // its name in a comment, and the one-instruction constant loads read `li`.
  // The statements are for the words of [first, last): the labels there are
  // indexed by word, the others looked up by binary search.
  StatementWriter(const Image& image, const std::map<uint32_t, std::string>& labels, bool board_names,
                  uint32_t first, uint32_t last);

  // The name of address, or nullptr when it has none.
  const std::string* label(uint32_t address) const;

  // The statement for the word at address, which may take the next word too
  // when it is below limit; returns how many words it took (1 or 2).
  int write(uint32_t address, uint32_t limit, std::string& out) const;

 private:
  void target(uint32_t address, std::string& out) const;
  void constant(uint32_t value, std::string& out) const;

  const Image& image_;
  bool board_names_;
  // A writer looks up every word it writes, so the labels of its own words
  // are a table by word; the others (global symbols, and targets elsewhere)
  // are in address order for a binary search.
  uint32_t first_ = 0;
  std::vector<const std::string*> own_labels_;
  std::vector<uint32_t> other_addresses_;
  std::vector<const std::string*> other_names_;
};

}  // namespace r3k::source
