// What the image costs to make our way and GNU's: `r3kcheck build` with the
// ELF file, its debug sections and the source tree, against `make` in that
// tree with GNU as and ld (one job, then two).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/atomic_file.h"
#include "elf/elf_writer.h"
#include "export/source_tree.h"
#include "image/build.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "r3k_bench_sources";
  fs::remove_all(dir);
  fs::create_directories(dir);

  constexpr int kRounds = 3;
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = Clock::now();
    const r3k::Image image = r3k::build_image();
    r3k::write_file_atomically((dir / "image.elf").string(), r3k::elf::elf_bytes(image));
    r3k::source::write_source_tree(r3k::source::render_source_tree(image), (dir / "src").string());
    best = std::min(best, seconds_since(start));
  }
  std::printf("r3kcheck build (ELF, debug sections, source tree): %.3f s (best of %d)\n", best, kRounds);

  if (!have("make") || !have("mipsel-linux-gnu-as") || !have("mipsel-linux-gnu-ld")) {
    std::printf("make with GNU as and ld: skipped, make or mipsel binutils not found\n");
    return 0;
  }
  for (int jobs : {1, 2}) {
    const std::string clean = "make -s -C " + (dir / "src").string() + " clean >/dev/null";
    const std::string make = "make -s -j" + std::to_string(jobs) + " -C " + (dir / "src").string();
    if (std::system(clean.c_str()) != 0) return 1;
    const auto start = Clock::now();
    if (std::system(make.c_str()) != 0) {
      std::printf("make in the source tree failed\n");
      return 1;
    }
    const double gnu = seconds_since(start);
    std::printf("make -j%d with GNU as + ld: %.3f s, %.1f times r3kcheck build\n", jobs, gnu, gnu / best);
  }
  fs::remove_all(dir);
  return 0;
}
