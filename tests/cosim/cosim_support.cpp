#include "cosim/cosim_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "elf/elf_writer.h"
#include "report/image_file.h"
#include "support/image_run.h"
#include "support/tools.h"

namespace r3k::test {

const Image& image_of(ImageKind kind) {
  static const Image images[] = {report::build(ImageKind::main, kDefaultSeed),
                                 report::build(ImageKind::supplement, kDefaultSeed),
                                 report::build(ImageKind::exceptions, kDefaultSeed)};
  return images[static_cast<size_t>(kind)];
}

const std::string& image_file(ImageKind kind) {
  static const auto dir = std::make_unique<TempDir>();
  static std::string paths[3];
  std::string& path = paths[static_cast<size_t>(kind)];
  if (path.empty()) {
    const std::string file = dir->path(std::to_string(static_cast<int>(kind)) + ".elf");
    elf::write_elf_file(image_of(kind), file);
    path = file;
  }
  return path;
}

std::vector<r3k_cosim_record> reference_retirements(ImageKind kind) {
  std::vector<r3k_cosim_record> records;
  auto sink = [&](const r3k_cosim_record& record, const sim::TraceRecord*, const sim::TraceRecord*) {
    records.push_back(record);
    return true;
  };
  RetirementPort<decltype(sink)> port(sink);
  sim::Machine machine(image_of(kind).boot_bytes());
  port.run(machine, sim::RunOptions{});
  return records;
}

r3k_cosim* open_checker(ImageKind kind, uint32_t reports, bool writes_only) {
  r3k_cosim_options options;
  r3k_cosim_default_options(&options);
  options.reports = reports;
  options.writes_only = writes_only;
  r3k_cosim* checker = nullptr;
  EXPECT_EQ(r3k_cosim_open(image_file(kind).c_str(), &options, &checker), R3K_COSIM_OK) << r3k_cosim_last_error();
  return checker;
}

}  // namespace r3k::test
