// Replacing an output file whole or not at all.
#include "common/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/error.h"
#include "support/tools.h"

namespace r3k {
namespace {

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(AtomicFile, WritesAndReplacesLeavingNoTemporary) {
  test::TempDir dir;
  const std::string path = dir.path("out.bin");
  write_file_atomically(path, {1, 2, 3});
  EXPECT_EQ(test::read_text(path), std::string("\x01\x02\x03"));
  write_file_atomically(path, {});
  EXPECT_EQ(test::read_text(path), "");
  EXPECT_EQ(entries(dir.dir()), std::vector<std::string>{"out.bin"});
}

TEST(AtomicFile, SkipsAStaleTemporaryLeftByAnEarlierRun) {
  test::TempDir dir;
  const std::string path = dir.path("out.bin");
  test::write_bytes(path + ".tmp0", {9});
  write_file_atomically(path, {7});
  EXPECT_EQ(test::read_text(path), "\x07");
  EXPECT_EQ(test::read_text(path + ".tmp0"), "\x09");
}

void expect_write_error(const std::string& path, const std::string& message) {
  try {
    write_file_atomically(path, {1});
    ADD_FAILURE() << "no error for " << path;
  } catch (const Error& error) {
    EXPECT_EQ(error.what(), message);
  }
}

TEST(AtomicFile, FailureNamesThePathAndTheReasonAndLeavesNothingBehind) {
  test::TempDir dir;
  expect_write_error(dir.path("missing/out.bin"),
                     "cannot write " + dir.path("missing/out.bin") + ": No such file or directory");
  std::filesystem::create_directory(dir.path("a_directory"));
  expect_write_error(dir.path("a_directory"), "cannot write " + dir.path("a_directory") + ": Is a directory");
  EXPECT_EQ(entries(dir.dir()), std::vector<std::string>{"a_directory"});
}

}  // namespace
}  // namespace r3k
