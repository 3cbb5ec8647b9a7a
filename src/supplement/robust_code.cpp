#include "supplement/robust_code.h"

#include <algorithm>

#include "common/error.h"
#include "board/layout.h"

namespace r3k::supplement {

using assembly::Assembler;

LoadBlock& LoadBlock::value(isa::Reg reg, uint32_t value) {
  loads_.push_back({reg, value, false, {}, 0});
  return *this;
}

LoadBlock& LoadBlock::address(isa::Reg reg, assembly::Label label, int32_t addend) {
  loads_.push_back({reg, 0, true, label, addend});
  return *this;
}

namespace {

bool has_second_half(const auto& load) {
  return load.is_address || assembly::constant_load_length(load.value) == 2;
}

}  // namespace

void LoadBlock::emit(Assembler& as) const {
  std::vector<isa::Reg> written;  // per instruction emitted, oldest first; $zero for a nop
  const auto recently_written = [&](isa::Reg reg) {
    const size_t recent = std::min<size_t>(written.size(), kReadGap);
    return std::find(written.end() - static_cast<std::ptrdiff_t>(recent), written.end(), reg) != written.end();
  };
  for (const Load& load : loads_) {
    if (load.is_address) as.la_high(load.reg, load.label, load.addend);
    else if (has_second_half(load)) as.lui(load.reg, static_cast<uint16_t>(load.value >> 16));
    else as.li(load.reg, load.value);
    written.push_back(load.reg);
  }
  for (const Load& load : loads_) {
    if (!has_second_half(load)) continue;
    while (recently_written(load.reg)) as.nop(), written.push_back(isa::zero);
    if (load.is_address) as.la_low(load.reg, load.label, load.addend);
    else as.ori(load.reg, load.reg, static_cast<uint16_t>(load.value));
    written.push_back(load.reg);
  }
  read_gap(as);
}

void read_gap(Assembler& as) {
  for (int i = 0; i < kReadGap; ++i) as.nop();
}

void fail_unless_equal(RoutineContext& routine, isa::Reg reg, isa::Reg expected) {
  routine.as.bne(reg, expected, routine.inst_error);
  routine.as.nop();
}

namespace {
constexpr uint32_t kScratchBlock = 0x1000;
}

ScratchWords::ScratchWords(int routine_number)
    : next_(layout::kRamBase + kScratchBlock * static_cast<uint32_t>(routine_number)),
      end_(next_ + kScratchBlock) {
  if (end_ > layout::kRamBase + layout::kRamSize) throw Error("supplement: no RAM left for a routine's scratch words");
}

uint32_t ScratchWords::next() {
  if (next_ == end_) throw Error("supplement: a routine used more than its scratch words");
  const uint32_t word = next_;
  next_ += 4;
  return word;
}

uint32_t nonzero_word(Random& random, std::initializer_list<uint32_t> avoid) {
  for (;;) {
    const uint32_t word = random.word();
    if (word != 0 && std::find(avoid.begin(), avoid.end(), word) == avoid.end()) return word;
  }
}

}  // namespace r3k::supplement
