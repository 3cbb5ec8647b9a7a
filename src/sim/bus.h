// The memory map the image runs against: the boot ROM, 256 KiB of RAM and the
// board's status registers. Nothing else answers.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "board/layout.h"

namespace r3k::sim {

// How wide an access is. A partial word is the aligned word that lwl, lwr,
// swl and swr read or merge into: memory serves it like a word, the board
// refuses it like any access narrower than a word.
enum class Width : uint8_t { byte, half, word, partial_word };

struct BoardWrite {
  uint32_t address = 0;
  uint32_t value = 0;
  uint64_t instruction = 0;  // 1-based position of the storing instruction in the run
};

// What the lamps and the display show; all dark at reset.
struct BoardState {
  uint32_t lamp_bank = 0;
  uint32_t status_lamp_a = 0;
  uint32_t status_lamp_b = 0;
  uint32_t result_display = 0;
};

// The RAM's contents at reset: no byte is zero and neighbouring bytes differ,
// so a program that reads memory it never wrote gets values that stand out
// (a multiplicative hash of the address, folded into 1..255: 255 % 255 is
// 0, written without the division so that filling a page vectorises).
inline constexpr uint8_t ram_fill_byte(uint32_t address) {
  const uint32_t hash = (address * 0x9E3779B1u) >> 24;
  return static_cast<uint8_t>(hash == 255 ? 1 : hash + 1);
}
static_assert(ram_fill_byte(0x80000000) == 1 + ((0x80000000u * 0x9E3779B1u) >> 24) % 255);

inline uint32_t load_le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void store_le32(uint8_t* p, uint32_t value) {
  p[0] = uint8_t(value), p[1] = uint8_t(value >> 8), p[2] = uint8_t(value >> 16), p[3] = uint8_t(value >> 24);
}

class Bus {
 public:
  // The boot ROM holds `rom` from layout::kResetVector upward, read-only.
  explicit Bus(std::vector<uint8_t> rom);
  // The same over bytes someone else holds; `storage` keeps them alive.
  Bus(std::span<const uint8_t> rom, std::shared_ptr<const void> storage);

  // Back to the reset state: RAM refilled, board dark, log and counters empty.
  void reset(uint32_t quick_run_flag);

  // RAM byte at `address`, or nullptr outside RAM. The run loop's fast path:
  // an aligned access that starts in RAM ends in it, and in the same page.
  // A page gets its reset contents when first touched, so a run pays only
  // for the RAM it uses; what the program sees is the same.
  uint8_t* ram_at(uint32_t address) {
    const uint32_t offset = address - layout::kRamBase;
    if (offset >= layout::kRamSize) return nullptr;
    if (!page_filled_[offset / kRamPageSize]) [[unlikely]] fill_page(offset / kRamPageSize);
    return &ram_[offset];
  }
  // The aligned RAM word at `address` as a read would see it, without
  // giving its page its reset contents; nothing outside RAM.
  std::optional<uint32_t> peek_ram_word(uint32_t address) const {
    const uint32_t offset = (address & ~3u) - layout::kRamBase;
    if (offset >= layout::kRamSize) return std::nullopt;
    if (page_filled_[offset / kRamPageSize]) return load_le32(&ram_[offset]);
    uint32_t word = 0;
    for (uint32_t i = 0; i < 4; ++i) word |= uint32_t(ram_fill_byte(layout::kRamBase + offset + i)) << (8 * i);
    return word;
  }

  // Any aligned access anywhere on the map (alignment is the processor's
  // check). Values are zero-extended. False: nothing answers (a bus error).
  bool read(uint32_t address, Width width, uint32_t& value);
  bool write(uint32_t address, Width width, uint32_t value, uint64_t instruction);

  std::span<const uint8_t> rom() const { return rom_; }
  const BoardState& board() const { return board_; }
  std::vector<BoardWrite> take_board_writes() { return std::move(board_writes_); }
  uint64_t quick_run_flag_reads() const { return quick_run_flag_reads_; }

  // Called after each board write is logged; a plain function pointer so that
  // the bus need not know the observer's type.
  using BoardWriteHook = void (*)(void* context, const BoardWrite&);
  void set_board_write_hook(BoardWriteHook hook, void* context) {
    hook_ = hook;
    hook_context_ = context;
  }

 private:
  static constexpr uint32_t kRamPageSize = 4096;
  void fill_page(uint32_t page);
  bool read_board(uint32_t address, Width width, uint32_t& value);
  bool write_board(uint32_t address, Width width, uint32_t value, uint64_t instruction);

  std::vector<uint8_t> own_rom_;
  std::shared_ptr<const void> rom_storage_;
  std::span<const uint8_t> rom_;
  std::unique_ptr<uint8_t[]> ram_;  // left uninitialized: pages are filled on first touch
  std::array<bool, layout::kRamSize / kRamPageSize> page_filled_{};
  BoardState board_;
  std::vector<BoardWrite> board_writes_;
  uint32_t quick_run_flag_ = 1;
  uint64_t quick_run_flag_reads_ = 0;
  BoardWriteHook hook_ = nullptr;
  void* hook_context_ = nullptr;
};

}  // namespace r3k::sim
