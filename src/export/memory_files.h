// Writers of the memory-file formats hardware tools load a boot memory from.
// Each takes the boot memory's bytes (from 0xBFC00000 upward) and returns the
// file's text. `depth` (0: just the image) pads with zero words to a memory of
// that many words and refuses an image that does not fit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace r3k::exporting {

// Verilog $readmemh: a comment line, then one word per line, in hex with
// width / 4 digits, the word at memory index 0 first.
std::string verilog_hex(const std::vector<uint8_t>& boot, unsigned width_bits, uint64_t depth);

// Xilinx coefficient file: radix 16, one 32-bit word per entry, entries
// separated by commas and the last one ended by ';'.
std::string xilinx_coe(const std::vector<uint8_t>& boot, uint64_t depth);

// Intel (Altera) memory initialization file: WIDTH=32, DEPTH the word count
// (or `depth`), hex addresses and data, one "address : word;" line per word.
// Runs of equal words are not folded into "[first..last]" ranges: SRecord,
// one of the format's readers, misplaces them.
std::string intel_mif(const std::vector<uint8_t>& boot, uint64_t depth);

}  // namespace r3k::exporting
