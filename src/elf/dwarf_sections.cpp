#include "elf/dwarf_sections.h"

#include <algorithm>
#include <string>

namespace r3k::elf {
namespace {

// DWARF constants this writer uses.
constexpr uint16_t kVersion = 2;
constexpr uint8_t kAddressSize = 4;
constexpr uint8_t kTagCompileUnit = 0x11, kChildrenNo = 0;
constexpr uint8_t kAtName = 0x03, kAtStmtList = 0x10, kAtLowPc = 0x11, kAtHighPc = 0x12, kAtLanguage = 0x13,
                  kAtCompDir = 0x1B, kAtProducer = 0x25;
constexpr uint8_t kFormAddr = 0x01, kFormData2 = 0x05, kFormData4 = 0x06, kFormString = 0x08;
constexpr uint16_t kLanguageMipsAssembler = 0x8001;
constexpr uint8_t kLnsCopy = 1, kLnsAdvancePc = 2, kLnsAdvanceLine = 3;
constexpr uint8_t kLneEndSequence = 1, kLneSetAddress = 2;
// The line program's header choices, those of GNU as for MIPS.
constexpr uint8_t kMinInstructionLength = 1, kDefaultIsStmt = 1, kOpcodeBase = 13, kLineRange = 14;
constexpr int8_t kLineBase = -5;
constexpr uint8_t kStandardOpcodeLengths[kOpcodeBase - 1] = {0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1};
constexpr const char* kProducer = "r3kcheck";
constexpr const char* kCompDir = ".";

class Bytes {
 public:
  void u8(uint8_t value) { bytes.push_back(value); }
  void u16(uint16_t value) { u8(value & 0xFF), u8(value >> 8); }
  void u32(uint32_t value) { u16(value & 0xFFFF), u16(static_cast<uint16_t>(value >> 16)); }
  void uleb(uint64_t value) {
    do {
      uint8_t byte = value & 0x7F;
      value >>= 7;
      u8(value ? byte | 0x80 : byte);
    } while (value);
  }
  void sleb(int64_t value) {
    while (true) {
      uint8_t byte = value & 0x7F;
      value >>= 7;
      const bool done = (value == 0 && !(byte & 0x40)) || (value == -1 && (byte & 0x40));
      u8(done ? byte : byte | 0x80);
      if (done) return;
    }
  }
  void string(const std::string& text) { bytes.insert(bytes.end(), text.begin(), text.end()), u8(0); }
  void append(const Bytes& other) { bytes.insert(bytes.end(), other.bytes.begin(), other.bytes.end()); }
  // A unit: its 32-bit length, then its body.
  void unit(const Bytes& body) { u32(static_cast<uint32_t>(body.bytes.size())), append(body); }

  std::vector<uint8_t> bytes;
};

Bytes abbreviations() {
  Bytes out;
  out.uleb(1);
  out.uleb(kTagCompileUnit);
  out.u8(kChildrenNo);
  const uint8_t attributes[][2] = {{kAtStmtList, kFormData4}, {kAtLowPc, kFormAddr},     {kAtHighPc, kFormAddr},
                                   {kAtName, kFormString},     {kAtCompDir, kFormString}, {kAtProducer, kFormString},
                                   {kAtLanguage, kFormData2}};
  for (const auto& attribute : attributes) out.uleb(attribute[0]), out.uleb(attribute[1]);
  out.uleb(0), out.uleb(0);
  out.uleb(0);  // end of the table
  return out;
}

Bytes line_program(const DebugUnit& unit) {
  Bytes header;
  header.u8(kMinInstructionLength);
  header.u8(kDefaultIsStmt);
  header.u8(static_cast<uint8_t>(kLineBase));
  header.u8(kLineRange);
  header.u8(kOpcodeBase);
  for (uint8_t length : kStandardOpcodeLengths) header.u8(length);
  header.u8(0);  // no include directories: the file's name is relative to the unit's directory
  header.string(unit.name);
  header.uleb(0), header.uleb(0), header.uleb(0);  // directory, time, length
  header.u8(0);

  Bytes program;
  program.u8(0), program.uleb(1 + kAddressSize), program.u8(kLneSetAddress), program.u32(unit.low);
  uint32_t address = unit.low, line = 1;
  for (const LineRow& row : unit.rows) {
    const uint32_t advance = row.address - address;
    int64_t delta = int64_t(row.line) - line;
    if (delta < kLineBase || delta >= kLineBase + kLineRange) program.u8(kLnsAdvanceLine), program.sleb(delta), delta = 0;
    const uint32_t special = uint32_t(delta - kLineBase) + kLineRange * advance + kOpcodeBase;
    if (special <= 255) {
      program.u8(static_cast<uint8_t>(special));
    } else {
      program.u8(kLnsAdvancePc), program.uleb(advance);
      if (delta) program.u8(kLnsAdvanceLine), program.sleb(delta);
      program.u8(kLnsCopy);
    }
    address = row.address, line = row.line;
  }
  program.u8(kLnsAdvancePc), program.uleb(unit.high - address);
  program.u8(0), program.uleb(1), program.u8(kLneEndSequence);

  Bytes body;
  body.u16(kVersion);
  body.u32(static_cast<uint32_t>(header.bytes.size()));
  body.append(header);
  body.append(program);
  Bytes out;
  out.unit(body);
  return out;
}

Bytes compile_unit(const DebugUnit& unit, uint32_t line_offset) {
  Bytes body;
  body.u16(kVersion);
  body.u32(0);  // abbreviation table offset: the one table
  body.u8(kAddressSize);
  body.uleb(1);
  body.u32(line_offset);
  body.u32(unit.low);
  body.u32(unit.high);
  body.string(unit.name);
  body.string(kCompDir);
  body.string(kProducer);
  body.u16(kLanguageMipsAssembler);
  Bytes out;
  out.unit(body);
  return out;
}

Bytes address_ranges(const DebugUnit& unit, uint32_t info_offset) {
  Bytes body;
  body.u16(kVersion);
  body.u32(info_offset);
  body.u8(kAddressSize);
  body.u8(0);  // segment selector size
  body.u32(0);  // pads the header to twice the address size
  body.u32(unit.low), body.u32(unit.high - unit.low);
  body.u32(0), body.u32(0);
  Bytes out;
  out.unit(body);
  return out;
}

}  // namespace

DwarfSections dwarf_sections(const std::vector<DebugUnit>& units) {
  Bytes aranges, line, info;
  for (const DebugUnit& unit : units) {
    const auto line_offset = static_cast<uint32_t>(line.bytes.size());
    const auto info_offset = static_cast<uint32_t>(info.bytes.size());
    line.append(line_program(unit));
    info.append(compile_unit(unit, line_offset));
    aranges.append(address_ranges(unit, info_offset));
  }
  return {std::move(aranges.bytes), std::move(line.bytes), std::move(info.bytes), abbreviations().bytes};
}

DebugChunk::DebugChunk(std::string name, std::vector<uint8_t> bytes)
    : Chunk(std::move(name), SectionHeader{.type = kSectionMipsDwarf, .alignment = 1}, 1), bytes_(std::move(bytes)) {}

void DebugChunk::copy(const Output&, uint8_t* out) const { std::copy(bytes_.begin(), bytes_.end(), out); }

}  // namespace r3k::elf
