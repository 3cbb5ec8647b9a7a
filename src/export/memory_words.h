// The boot memory seen as a memory of 8-, 16-, 32- or 64-bit words, the way
// a simulator's memory model or an FPGA block RAM holds it: each word made of
// consecutive bytes, the lowest address least significant (little-endian).
#pragma once

#include <cstdint>
#include <vector>

namespace r3k::exporting {

inline constexpr unsigned kWordBits = 32;  // the processor's word: the coe and mif width
// The deepest memory a file may describe: 16 Mi words (64 MiB of 32-bit
// words), far above any boot memory, and a file a tool still loads.
inline constexpr uint64_t kMostDepth = uint64_t{1} << 24;

// The memory's words from its first byte; a last partial word is padded with
// zero bytes. With `depth` (words), zero words pad it to that many; an image
// that does not fit, or a depth above kMostDepth, is refused with an r3k::Error.
std::vector<uint64_t> memory_words(const std::vector<uint8_t>& boot, unsigned width_bits, uint64_t depth = 0);

// Whether `width_bits` is a memory width the writers support (8, 16, 32, 64).
bool is_memory_width(uint64_t width_bits);

}  // namespace r3k::exporting
