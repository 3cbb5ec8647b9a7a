// Text words as GNU assembler statements for MIPS-I: labels for every branch
// and jump target, `la` for an address load (lui then addiu of %hi/%lo, as GNU
// as expands it without PIC), `li` for a two-instruction constant load, and
// the plain instruction otherwise. Every statement assembles to exactly the
// words it was made from.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "image/image.h"
#include "image/layout.h"

namespace r3k::source {

// Where the words at [first, last) branch, jump or take the address of.
std::vector<uint32_t> referenced_addresses(const Image& image, uint32_t first, uint32_t last);

class StatementWriter {
 public:
  // labels: the names the statements may use for addresses (local labels of
  // the file and global symbols). With board_names (for a file of one
  // statement per line), a constant equal to a board register's address gets
  // its name in a comment, and the one-instruction constant loads read `li`.
  StatementWriter(const Image& image, const std::map<uint32_t, std::string>& labels, bool board_names)
      : image_(image), labels_(labels), board_names_(board_names) {}

  // The statement for the word at address, which may take the next word too
  // when it is below limit; returns how many words it took (1 or 2).
  int write(uint32_t address, uint32_t limit, std::string& out) const;

 private:
  std::string target(uint32_t address) const;
  std::string constant(uint32_t value) const;

  const Image& image_;
  const std::map<uint32_t, std::string>& labels_;
  bool board_names_;
};

}  // namespace r3k::source
