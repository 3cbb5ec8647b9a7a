// SHA-256 (FIPS 180-4), for pinning the bytes of an image in a test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace r3k::test {

// The digest as 64 lower-case hex digits, as sha256sum prints it.
std::string sha256_hex(const std::vector<uint8_t>& bytes);

}  // namespace r3k::test
