// The SystemVerilog side under Verilator: a small module replays retirement
// records into r3k_cosim_checker through DPI-C. The reference's own records
// end at the end loop with PASS; a changed register value, a changed store
// and a wrong branch destination each end the simulation with a failure at
// that record, with the place.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cosim/cosim_support.h"
#include "isa/isa.h"
#include "support/tools.h"

namespace r3k::test {
namespace {

std::string records_text(const std::vector<r3k_cosim_record>& records) {
  std::string text;
  char line[200];
  for (const r3k_cosim_record& r : records) {
    std::snprintf(line, sizeof line, "%x %x %x %x %x %x %x %x %x %x %x %x %x %x %x %x\n", r.pc, r.word, r.rd,
                  r.rd_value, r.hi_written, r.lo_written, r.hi, r.lo, r.store_mask, r.store_addr, r.store_data,
                  r.load_valid, r.load_addr, r.exception, r.cause, r.bad_addr);
    text += line;
  }
  return text;
}

class Verilated : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (find_program("verilator").empty()) return;
    dir_ = new TempDir;
    const std::string hdl = R3K_SOURCE_DIR "/hdl/", tests = R3K_SOURCE_DIR "/tests/cosim/";
    const std::string library = R3K_COSIM_SHARED_PATH, library_dir = library.substr(0, library.rfind('/'));
    build_ = run_command("verilator --binary --timing -Wall -j 2 --Mdir " + dir_->path("obj") + " --top-module r3k_cosim_replay " +
                         hdl + "r3k_cosim_pkg.sv " + hdl + "r3k_cosim_checker.sv " + tests + "r3k_cosim_replay.sv" +
                         " -LDFLAGS '" R3K_SANITIZER_LINK_FLAGS " " + library + " -Wl,-rpath," + library_dir + "'");
  }
  static void TearDownTestSuite() { delete dir_; }

  void SetUp() override {
    if (find_program("verilator").empty()) GTEST_SKIP() << "skipped: verilator is not installed";
    ASSERT_EQ(build_.exit_code, 0) << build_.out << build_.err;
  }

  CommandResult replay(const std::vector<r3k_cosim_record>& records, const std::string& name) {
    const std::string text = records_text(records), path = dir_->path(name + ".txt");
    write_bytes(path, std::vector<unsigned char>(text.begin(), text.end()));
    return run_command(dir_->path("obj/Vr3k_cosim_replay") + " +records=" + path + " +r3k_image=" +
                       image_file(ImageKind::main));
  }

  static inline TempDir* dir_ = nullptr;
  static inline CommandResult build_;
};

TEST_F(Verilated, TheReferencesRecordsEndWithPass) {
  const CommandResult run = replay(reference_retirements(ImageKind::main), "good");
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("r3k_cosim: PASS: 68 of 68 routines passed"), std::string::npos) << run.out;
}

TEST_F(Verilated, AChangedRecordEndsTheSimulationThereWithThePlace) {
  const std::vector<r3k_cosim_record> good = reference_retirements(ImageKind::main);
  size_t value = 0, store = 0, branch = 0;
  while (!(good[value].rd != 0 && good[value].pc > 0xbfc01000)) ++value;
  while (!(good[store].store_mask != 0 && good[store].pc > 0xbfc01000)) ++store;
  // A beq whose branch is taken: the core goes on after the delay slot instead.
  while (!(isa::decode(good[branch].word) == isa::Op::beq && good[branch + 2].pc != good[branch].pc + 8)) ++branch;
  struct Change {
    const char* name;
    size_t at;
    void (*change)(r3k_cosim_record&, const r3k_cosim_record& before);
    const char* differs;
    const char* culprit;
  };
  const Change changes[] = {
      {"value", value, [](r3k_cosim_record& r, const r3k_cosim_record&) { r.rd_value += 4; }, "register writes", ""},
      {"store", store, [](r3k_cosim_record& r, const r3k_cosim_record&) { r.store_data ^= 0x80; }, "store: design", ""},
      {"branch", branch + 2,
       [](r3k_cosim_record& r, const r3k_cosim_record& slot) { r.pc = slot.pc + 4, r.word = 0; }, "address: design",
       "culprit:  record "},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.name);
    std::vector<r3k_cosim_record> records(good.begin(), good.begin() + static_cast<long>(change.at) + 20);
    change.change(records[change.at], records[change.at - 1]);
    const CommandResult run = replay(records, change.name);
    EXPECT_NE(run.exit_code, 0);
    EXPECT_NE(run.out.find("MISMATCH at retirement " + std::to_string(change.at + 1) + " "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(change.differs), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("place:    n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(change.culprit), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("records ran out"), std::string::npos) << run.out;
    if (*change.culprit) {
      EXPECT_NE(run.out.find(": beq "), std::string::npos) << run.out;
      EXPECT_NE(run.out.find(" is taken: the reference goes on at "), std::string::npos) << run.out;
    }
  }
}

}  // namespace
}  // namespace r3k::test
