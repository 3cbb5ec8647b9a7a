// The board convention: the five board registers, what the lamps show at the
// start, on a pass and on a fail, the display word a routine writes, how a
// reader counts passes from the display words, the frame registers that carry
// them, and how routines and their source files are named. The start code and
// the frame write it; run reports, explain, traces and the fault catalog read it.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "isa/isa.h"

namespace r3k::board {

// Board registers, reached by plain word stores (and one word load).
inline constexpr uint32_t kLampBank = 0xFFFFF000;
inline constexpr uint32_t kStatusLampA = 0xFFFFF004;
inline constexpr uint32_t kStatusLampB = 0xFFFFF008;
inline constexpr uint32_t kResultDisplay = 0xFFFFF010;
inline constexpr uint32_t kQuickRunFlag = 0xFFFFFFF4;

// The registers by the names the board's documentation gives them.
struct RegisterName {
  uint32_t address;
  std::string_view name;
};
inline constexpr RegisterName kRegisterNames[] = {
    {kLampBank, "LAMP_BANK"},           {kStatusLampA, "STATUS_LAMP_A"},   {kStatusLampB, "STATUS_LAMP_B"},
    {kResultDisplay, "RESULT_DISPLAY"}, {kQuickRunFlag, "QUICK_RUN_FLAG"},
};

// Lamp values.
inline constexpr uint32_t kLampOn = 1, kLampFail = 2, kLampBankAll = 0xFFFF;

struct Lamps {
  uint32_t status_a = 0, status_b = 0, bank = 0;
  friend bool operator==(const Lamps&, const Lamps&) = default;
};
inline constexpr Lamps kStartLamps{kLampOn, kLampFail, kLampBankAll};  // B = 2 first, then A = 1, bank all on
inline constexpr Lamps kPassLamps{kLampOn, kLampOn, kLampBankAll};
inline constexpr Lamps kFailLamps{kLampFail, kLampFail, 0};

// What the lamps say once the run is in the end loop.
enum class Verdict : uint8_t { Pass, Fail, None };
Verdict verdict_of(const Lamps& lamps);

// The frame's registers.
inline constexpr isa::Reg kTestNumber = isa::s0;      // the routine running, 1..68
inline constexpr isa::Reg kDisplayAddress = isa::s1;  // kResultDisplay
inline constexpr isa::Reg kErrorFlag = isa::s2;       // cleared at entry
inline constexpr isa::Reg kPassCount = isa::s3;       // routines passed so far

// The display word: the routine that last finished in bits 31..24, the number
// of routines passed so far in bits 23..0.
inline constexpr unsigned kTestNumberShift = 24;
inline constexpr uint32_t kPassCountMask = 0x00FFFFFF;
struct DisplayWord {
  int test_number = 0;
  uint32_t pass_count = 0;
};
constexpr uint32_t encode_display(int test_number, uint32_t pass_count) {
  return static_cast<uint32_t>(test_number) << kTestNumberShift | (pass_count & kPassCountMask);
}
constexpr DisplayWord decode_display(uint32_t word) {
  return {static_cast<int>(word >> kTestNumberShift), word & kPassCountMask};
}

// One routine's result as its display word tells it: it passed when the pass
// count rose by one over the previous word's.
struct RoutineOutcome {
  int number = 0;
  bool passed = false;
  uint32_t word = 0;
};

// Reads the display register's writes in order: the start pattern's 0 first,
// then one word per routine.
class DisplayReader {
 public:
  DisplayReader() = default;
  // A reader that joins a run after its start pattern and `passes` passed
  // routines, for the last words of a run read on their own.
  explicit DisplayReader(uint32_t passes) : started_(true), passes_(passes) {}

  // Nothing for the start pattern's write.
  std::optional<RoutineOutcome> on_write(uint32_t word);
  const std::vector<RoutineOutcome>& outcomes() const { return outcomes_; }
  std::vector<uint32_t> words() const;
  std::set<int> failed() const;

 private:
  bool started_ = false;
  uint32_t passes_ = 0;
  std::vector<RoutineOutcome> outcomes_;
};

// The display words of a run of `routine_count` routines in which exactly the
// routines in `failing` fail.
std::vector<uint32_t> display_words_when_failing(const std::set<int>& failing, int routine_count);

// "inst/n2_addu.S" for "n2_addu_test".
std::string routine_file_name(std::string_view routine_name);
// The test number in a routine's symbol name: 21 for "n21_add_test" and 16
// for "n16_beq_ds_test"; nothing for any other name.
std::optional<int> routine_number_of(std::string_view symbol);

}  // namespace r3k::board
