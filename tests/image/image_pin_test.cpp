// The default image byte for byte: any change to it, intended or not, shows
// here first.
#include <gtest/gtest.h>

#include "elf/elf_writer.h"
#include "exceptions/exceptions.h"
#include "supplement/supplement.h"
#include "support/image_run.h"
#include "support/sha256.h"
#include "support/tools.h"

namespace r3k {
namespace {

// SHA-256 of `r3kcheck build` with the default seed.
constexpr const char* kPinnedDefaultImageSha256 =
    "aafeb1c4ce0da19828054e582da73fcd1b30608b254babda79e90faf50b65cba";

TEST(ImagePin, TheDefaultImageIsThePinnedOne) {
  const std::string digest = test::sha256_hex(elf::elf_bytes(test::default_image()));
  EXPECT_EQ(digest, kPinnedDefaultImageSha256)
      << "The default image has changed. If that is intended (a new value rule, template or layout), set "
         "kPinnedDefaultImageSha256 in "
      << __FILE__ << " to " << digest
      << " (what `r3kcheck build -o x.elf && sha256sum x.elf` prints) and say in the commit why the image changed.";
}

// The same for the other two images: `build --supplement` and `build --exceptions`.
constexpr const char* kPinnedSupplementSha256 = "01472818401690c76985992c7a2978f2349839677f308d8fe618a74355e8e73f";
constexpr const char* kPinnedExceptionsSha256 = "7a2f66f503fbc7e2b2cfe15477a7bd2a535b188544effabd69985c77ce28062d";

TEST(ImagePin, TheSupplementAndTheExceptionsImageAreThePinnedOnes) {
  EXPECT_EQ(test::sha256_hex(elf::elf_bytes(test::supplement_image())), kPinnedSupplementSha256)
      << "The supplement has changed; if intended, set kPinnedSupplementSha256 in " << __FILE__;
  EXPECT_EQ(test::sha256_hex(elf::elf_bytes(exceptions::build())), kPinnedExceptionsSha256)
      << "The exceptions image has changed; if intended, set kPinnedExceptionsSha256 in " << __FILE__;
}

TEST(ImagePin, Sha256GivesTheKnownDigestsAndAgreesWithSha256sum) {
  EXPECT_EQ(test::sha256_hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(test::sha256_hex({'a', 'b', 'c'}), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the padding takes a second block.
  const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(test::sha256_hex(std::vector<uint8_t>(two_blocks.begin(), two_blocks.end())),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  if (test::find_program("sha256sum").empty()) GTEST_SKIP() << "sha256sum not installed";
  test::TempDir dir;
  const std::vector<uint8_t> image = elf::elf_bytes(test::default_image());
  test::write_bytes(dir.path("image.elf"), image);
  const test::CommandResult sum = test::run_command("sha256sum " + dir.path("image.elf"));
  ASSERT_EQ(sum.exit_code, 0) << sum.err;
  EXPECT_EQ(sum.out.substr(0, 64), test::sha256_hex(image));
}

}  // namespace
}  // namespace r3k
