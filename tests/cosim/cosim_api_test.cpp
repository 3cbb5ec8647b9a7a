// The C API of the checker: the reference's own records run to the verdict,
// a changed record stops it there with the place, what a core leaves out is
// not held against it, errors come back as codes; and the library as
// delivered: a C99 header, a shared object exporting the API alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cosim/cosim_support.h"
#include "support/tools.h"

namespace r3k::test {
namespace {

struct Closer {
  void operator()(r3k_cosim* checker) const { r3k_cosim_close(checker); }
};
using Checker = std::unique_ptr<r3k_cosim, Closer>;

const std::vector<r3k_cosim_record>& reference() {
  static const std::vector<r3k_cosim_record> records = reference_retirements(ImageKind::main);
  return records;
}

// Steps all of `records`; the result of the last step taken.
int step_all(r3k_cosim* checker, const std::vector<r3k_cosim_record>& records) {
  int result = R3K_COSIM_IN_STEP;
  for (const r3k_cosim_record& record : records)
    if ((result = r3k_cosim_step(checker, &record)) != R3K_COSIM_IN_STEP) break;
  return result;
}

TEST(CosimApi, TheReferencesOwnRecordsReachTheEndLoopWithRunsVerdict) {
  const Checker checker(open_checker(ImageKind::main));
  ASSERT_EQ(step_all(checker.get(), reference()), R3K_COSIM_END_LOOP);
  EXPECT_EQ(r3k_cosim_steps(checker.get()), reference().size());
  const std::string verdict = r3k_cosim_verdict(checker.get());
  EXPECT_EQ(verdict.rfind("PASS: 68 of 68 routines passed", 0), 0u) << verdict;
  EXPECT_STREQ(r3k_cosim_report(checker.get()), "");
  EXPECT_EQ(r3k_cosim_step(checker.get(), &reference().front()), R3K_COSIM_ERROR_STOPPED);
  EXPECT_NE(std::string(r3k_cosim_error(checker.get())).find("after the end"), std::string::npos);
}

// The exceptions image retires every exception code it raises (CpU and
// interrupts among them) as a record of its own; a core reporting them the
// reference's way is in step to the end, and a wrong code is named.
TEST(CosimApi, TheExceptionsImagesRecordsReachTheEndLoop) {
  const std::vector<r3k_cosim_record> records = reference_retirements(ImageKind::exceptions);
  const Checker checker(open_checker(ImageKind::exceptions));
  ASSERT_EQ(step_all(checker.get(), records), R3K_COSIM_END_LOOP) << r3k_cosim_report(checker.get());
  EXPECT_EQ(std::string(r3k_cosim_verdict(checker.get())).rfind("PASS: ", 0), 0u) << r3k_cosim_verdict(checker.get());
  std::vector<uint32_t> codes;
  for (const r3k_cosim_record& r : records)
    if (r.exception && std::find(codes.begin(), codes.end(), r.cause) == codes.end()) codes.push_back(r.cause);
  for (const uint32_t code : {0u, 11u}) EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << code;

  std::vector<r3k_cosim_record> wrong(records);
  const auto unusable = std::find_if(wrong.begin(), wrong.end(), [](const auto& r) { return r.exception && r.cause == 11; });
  unusable->cause = 10;
  const Checker stopped(open_checker(ImageKind::exceptions));
  ASSERT_EQ(step_all(stopped.get(), wrong), R3K_COSIM_MISMATCH);
  EXPECT_EQ(r3k_cosim_steps(stopped.get()), static_cast<uint64_t>(unusable - wrong.begin()) + 1);
}

// A register value, a store's data and a branch's destination, each changed
// at one record: the checker stops exactly there and names the place.
TEST(CosimApi, AChangedRecordStopsTheCheckerThereWithThePlace) {
  const std::vector<r3k_cosim_record>& good = reference();
  size_t reg = 0, store = 0;
  while (!(good[reg].rd != 0 && good[reg].pc > 0xbfc01000)) ++reg;
  while (good[store].store_mask != 0x1) ++store;  // a byte store: the lanes matter
  struct Change {
    const char* what;
    size_t at;
    void (*change)(r3k_cosim_record&);
    const char* differs;
  };
  const Change changes[] = {
      {"value", reg, [](r3k_cosim_record& r) { r.rd_value ^= 0x100; }, "register writes: design"},
      {"store", store, [](r3k_cosim_record& r) { r.store_data ^= 0x1; }, "store: design"},
      {"store lane", store, [](r3k_cosim_record& r) { r.store_mask <<= 1, r.store_data <<= 8; }, "store byte lanes"},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    std::vector<r3k_cosim_record> records(good.begin(), good.begin() + static_cast<long>(change.at) + 10);
    change.change(records[change.at]);
    const Checker checker(open_checker(ImageKind::main));
    ASSERT_EQ(step_all(checker.get(), records), R3K_COSIM_MISMATCH);
    EXPECT_EQ(r3k_cosim_steps(checker.get()), change.at + 1);
    const std::string report = r3k_cosim_report(checker.get());
    EXPECT_NE(report.find(change.differs), std::string::npos) << report;
    EXPECT_NE(report.find("place:    n"), std::string::npos) << report;
    EXPECT_NE(report.find(" case "), std::string::npos) << report;
    EXPECT_EQ(r3k_cosim_step(checker.get(), &good.front()), R3K_COSIM_ERROR_STOPPED);
  }
}

// A core that reports less (no word, no HI/LO, no loads, only instructions
// that write a register) still runs to the end; a wrong value it does
// report still stops it.
TEST(CosimApi, PartsACoreLeavesOutAreNotHeldAgainstIt) {
  const uint32_t reports = R3K_COSIM_REPORTS_REG;
  std::vector<r3k_cosim_record> writes;
  for (r3k_cosim_record record : reference()) {
    if (record.rd == 0) continue;
    record.word = 0, record.hi = record.lo = 1, record.load_addr = 3;
    writes.push_back(record);
  }
  const Checker checker(open_checker(ImageKind::main, reports, true));
  ASSERT_EQ(step_all(checker.get(), writes), R3K_COSIM_END_LOOP) << r3k_cosim_report(checker.get());
  writes[writes.size() / 2].rd_value += 1;
  const Checker wrong(open_checker(ImageKind::main, reports, true));
  ASSERT_EQ(step_all(wrong.get(), writes), R3K_COSIM_MISMATCH);
  EXPECT_EQ(r3k_cosim_steps(wrong.get()), writes.size() / 2 + 1);
}

TEST(CosimApi, ErrorsAreCodesWithAMessage) {
  r3k_cosim_options options;
  r3k_cosim_default_options(&options);
  r3k_cosim* checker = reinterpret_cast<r3k_cosim*>(1);
  EXPECT_EQ(r3k_cosim_open("/nonexistent/image.elf", &options, &checker), R3K_COSIM_ERROR_IMAGE);
  EXPECT_EQ(checker, nullptr);
  EXPECT_NE(std::string(r3k_cosim_last_error()).find("/nonexistent/image.elf"), std::string::npos);
  EXPECT_EQ(r3k_cosim_open(nullptr, &options, &checker), R3K_COSIM_ERROR_ARGUMENT);
  options.reports = 0x100;
  EXPECT_EQ(r3k_cosim_open(image_file(ImageKind::main).c_str(), &options, &checker), R3K_COSIM_ERROR_ARGUMENT);
  EXPECT_EQ(r3k_cosim_step(nullptr, &reference().front()), R3K_COSIM_ERROR_ARGUMENT);
  const Checker open(open_checker(ImageKind::main));
  EXPECT_EQ(r3k_cosim_step(open.get(), nullptr), R3K_COSIM_ERROR_ARGUMENT);
  EXPECT_EQ(r3k_cosim_dpi_open("/nonexistent/image.elf", 1, 1000, 1, R3K_COSIM_REPORTS_ALL, 0), nullptr);
}

TEST(CosimLibrary, TheHeaderCompilesAsStrictC99) {
  if (find_program("gcc").empty()) GTEST_SKIP() << "skipped: gcc is not installed";
  TempDir dir;
  const std::string source = dir.path("use.c");
  std::ostringstream text;
  text << "#include \"r3kcheck/cosim.h\"\n"
          "int main(void) { r3k_cosim_options o; r3k_cosim_default_options(&o); return (int)o.reports - 63; }\n";
  const std::string body = text.str();
  write_bytes(source, std::vector<unsigned char>(body.begin(), body.end()));
  const CommandResult result = run_command("gcc -std=c99 -Wall -Wextra -Werror -pedantic -I " R3K_SOURCE_DIR
                                           "/src/cosim " + source + " " R3K_COSIM_STATIC_PATH " -lstdc++ " R3K_SANITIZER_LINK_FLAGS " -o " +
                                           dir.path("use") + " && " + dir.path("use"));
  EXPECT_EQ(result.exit_code, 0) << result.err;
}

TEST(CosimLibrary, TheSharedLibraryExportsTheApiAlone) {
  if (find_program("nm").empty()) GTEST_SKIP() << "skipped: nm is not installed";
  const CommandResult nm = run_command("nm -D --defined-only " R3K_COSIM_SHARED_PATH);
  ASSERT_EQ(nm.exit_code, 0) << nm.err;
  std::set<std::string> exported;
  std::istringstream lines(nm.out);
  for (std::string line; std::getline(lines, line);)
    if (line.size() > 19 && line[17] != 'A') exported.insert(line.substr(19, line.find('@') - 19));
  const std::set<std::string> api = {
      "r3k_cosim_default_options", "r3k_cosim_open",      "r3k_cosim_step",      "r3k_cosim_report",
      "r3k_cosim_verdict",         "r3k_cosim_steps",     "r3k_cosim_error",     "r3k_cosim_last_error",
      "r3k_cosim_close",           "r3k_cosim_dpi_open",  "r3k_cosim_dpi_step",  "r3k_cosim_dpi_report",
      "r3k_cosim_dpi_verdict",     "r3k_cosim_dpi_close"};
  EXPECT_EQ(exported, api) << nm.out;
}

}  // namespace
}  // namespace r3k::test
