// `cmake --install` to a fresh prefix: a C program finds libr3kcosim and its
// header through the installed r3kcheck.pc alone, links shared and static,
// and opens an image; the HDL is where the .pc's hdldir says, and a
// Verilator bench with the checker builds from those alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cosim/cosim_support.h"
#include "support/tools.h"

namespace r3k::test {
namespace {

constexpr const char* kProgram = R"(#include <stdio.h>
#include <r3kcheck/cosim.h>
int main(int argc, char** argv) {
  r3k_cosim_options options;
  r3k_cosim* checker = 0;
  r3k_cosim_default_options(&options);
  if (argc < 2 || r3k_cosim_open(argv[1], &options, &checker) != R3K_COSIM_OK) {
    printf("open failed: %s\n", r3k_cosim_last_error());
    return 1;
  }
  printf("opened\n");
  r3k_cosim_close(checker);
  return 0;
}
)";

TEST(Install, ACProgramBuildsThroughPkgConfigAndTheHdlIsThere) {
  for (const char* program : {"cmake", "cc", "pkg-config"})
    if (find_program(program).empty()) GTEST_SKIP() << "skipped: " << program << " is not installed";
  TempDir dir;
  const std::string build = std::filesystem::path(R3K_COSIM_SHARED_PATH).parent_path().string();
  const std::string prefix = dir.path("prefix");
  const CommandResult install = run_command("cmake --install " + build + " --prefix " + prefix);
  ASSERT_EQ(install.exit_code, 0) << install.out << install.err;
  const std::string source = dir.path("open.c"), text = kProgram;
  write_bytes(source, std::vector<unsigned char>(text.begin(), text.end()));
  const std::string pkg = "PKG_CONFIG_PATH=" + prefix + "/lib/pkgconfig pkg-config ";
  const std::string image = image_file(ImageKind::main);
  const CommandResult shared = run_command("cc -o " + dir.path("shared") + " " + source + " $(" + pkg +
                                           "--cflags --libs r3kcheck) " R3K_SANITIZER_LINK_FLAGS " && " + dir.path("shared") + " " + image);
  EXPECT_EQ(shared.exit_code, 0) << shared.out << shared.err;
  EXPECT_EQ(shared.out, "opened\n");
  const CommandResult fixed = run_command("cc -o " + dir.path("static") + " " + source + " $(" + pkg +
                                          "--cflags r3kcheck) $(" + pkg + "--variable=libdir r3kcheck)/libr3kcosim.a $(" +
                                          pkg + "--libs-only-l --static r3kcheck | sed 's/-lr3kcosim//') " R3K_SANITIZER_LINK_FLAGS " && " +
                                          dir.path("static") + " " + image);
  EXPECT_EQ(fixed.exit_code, 0) << fixed.out << fixed.err;
  const CommandResult hdl = run_command(pkg + "--variable=hdldir r3kcheck");
  EXPECT_TRUE(std::filesystem::exists(hdl.out.substr(0, hdl.out.find('\n')) + "/r3k_board.v")) << hdl.out;
  EXPECT_TRUE(std::filesystem::exists(prefix + "/bin/r3kcheck"));

  // A Verilator bench: the checker from hdldir, the library from the .pc.
  if (find_program("verilator").empty()) GTEST_SKIP() << "skipped: verilator is not installed";
  const std::string hdldir = "$(" + pkg + "--variable=hdldir r3kcheck)/";
  const CommandResult bench = run_command(
      "verilator --binary --timing -Wno-fatal -j 2 --Mdir " + dir.path("obj") + " --top-module r3k_cosim_replay " +
      hdldir + "r3k_cosim_pkg.sv " + hdldir + "r3k_cosim_checker.sv " R3K_SOURCE_DIR "/tests/cosim/r3k_cosim_replay.sv" +
      " -LDFLAGS \"" R3K_SANITIZER_LINK_FLAGS " $(" + pkg + "--libs r3kcheck)\"");
  ASSERT_EQ(bench.exit_code, 0) << bench.out << bench.err;
  const CommandResult ldd = run_command("ldd " + dir.path("obj/Vr3k_cosim_replay"));
  EXPECT_NE(ldd.out.find(prefix + "/lib/libr3kcosim.so"), std::string::npos) << ldd.out;
}

}  // namespace
}  // namespace r3k::test
