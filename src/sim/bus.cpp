#include "sim/bus.h"

#include <string>
#include <utility>

#include "common/error.h"
#include "board/board.h"

namespace r3k::sim {

namespace {

// The boot ROM sits in the last 4 MiB below 0xC0000000.
constexpr uint32_t kRomLimit = 0x00400000;

unsigned size_of(Width width) {
  switch (width) {
    case Width::byte: return 1;
    case Width::half: return 2;
    default: return 4;
  }
}

uint32_t read_le(const uint8_t* p, unsigned size) {
  uint32_t value = 0;
  for (unsigned i = 0; i < size; ++i) value |= uint32_t(p[i]) << (8 * i);
  return value;
}

void write_le(uint8_t* p, unsigned size, uint32_t value) {
  for (unsigned i = 0; i < size; ++i) p[i] = uint8_t(value >> (8 * i));
}

}  // namespace

Bus::Bus(std::vector<uint8_t> rom) : own_rom_(std::move(rom)), rom_(own_rom_), ram_(new uint8_t[layout::kRamSize]) {
  if (rom_.size() > kRomLimit)
    throw Error("the boot memory image is " + std::to_string(rom_.size()) +
                " bytes; the boot ROM holds at most 4 MiB");
  reset(1);
}

Bus::Bus(std::span<const uint8_t> rom, std::shared_ptr<const void> storage)
    : rom_storage_(std::move(storage)), rom_(rom), ram_(new uint8_t[layout::kRamSize]) {
  if (rom_.size() > kRomLimit)
    throw Error("the boot memory image is " + std::to_string(rom_.size()) +
                " bytes; the boot ROM holds at most 4 MiB");
  reset(1);
}

void Bus::reset(uint32_t quick_run_flag) {
  page_filled_.fill(false);
  board_ = BoardState{};
  board_writes_.clear();
  quick_run_flag_ = quick_run_flag;
  quick_run_flag_reads_ = 0;
}

void Bus::fill_page(uint32_t page) {
  const uint32_t first = page * kRamPageSize;
  uint8_t* const bytes = &ram_[first];
  for (uint32_t i = 0; i < kRamPageSize; ++i) bytes[i] = ram_fill_byte(layout::kRamBase + first + i);
  page_filled_[page] = true;
}

bool Bus::read(uint32_t address, Width width, uint32_t& value) {
  const unsigned size = size_of(width);
  if (const uint8_t* p = ram_at(address)) {
    value = read_le(p, size);
    return true;
  }
  const uint32_t rom_offset = address - layout::kResetVector;
  if (rom_offset < rom_.size()) {
    if (rom_.size() - rom_offset < size) return false;  // a word hanging over the ROM's end
    value = read_le(&rom_[rom_offset], size);
    return true;
  }
  return read_board(address, width, value);
}

bool Bus::write(uint32_t address, Width width, uint32_t value, uint64_t instruction) {
  if (uint8_t* p = ram_at(address)) {
    write_le(p, size_of(width), value);
    return true;
  }
  return write_board(address, width, value, instruction);  // the ROM refuses every store
}

bool Bus::read_board(uint32_t address, Width width, uint32_t& value) {
  // The flag is the board's only readable register; the lamps cannot be read back.
  if (address != board::kQuickRunFlag || width != Width::word) return false;
  ++quick_run_flag_reads_;
  value = quick_run_flag_;
  return true;
}

bool Bus::write_board(uint32_t address, Width width, uint32_t value, uint64_t instruction) {
  if (width != Width::word) return false;
  switch (address) {
    case board::kLampBank: board_.lamp_bank = value; break;
    case board::kStatusLampA: board_.status_lamp_a = value; break;
    case board::kStatusLampB: board_.status_lamp_b = value; break;
    case board::kResultDisplay: board_.result_display = value; break;
    default: return false;
  }
  board_writes_.push_back({address, value, instruction});
  if (hook_) hook_(hook_context_, board_writes_.back());
  return true;
}

}  // namespace r3k::sim
