#include "families/case_listing.h"

#include <cstdio>
#include <stdexcept>

namespace r3k::test {

std::string hex_text(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%x", value);
  return buffer;
}

namespace {

std::string signed_text(int32_t value) { return value < 0 ? "-" + hex_text(uint32_t(-value)) : hex_text(value); }

std::string reg(isa::Reg r) { return std::string(isa::reg_name(r)); }

}  // namespace

const RoutineInfo& routine_named(const Image& image, std::string_view name) {
  for (const RoutineInfo& routine : image.routines)
    if (routine.name == name) return routine;
  throw std::runtime_error("no routine " + std::string(name));
}

std::vector<std::string> EmittedCase::listing() const {
  std::vector<std::string> lines;
  for (size_t i = 0; i < words.size(); ++i) lines.push_back(isa::disassemble(words[i], address_of(i)));
  return lines;
}

std::vector<size_t> EmittedCase::indices_of(isa::Op op) const {
  std::vector<size_t> found;
  for (size_t i = 0; i < words.size(); ++i)
    if (isa::decode(words[i]) == op) found.push_back(i);
  return found;
}

std::vector<size_t> EmittedCase::branch_indices() const {
  std::vector<size_t> found;
  for (size_t i = 0; i < words.size(); ++i) {
    const isa::Op op = isa::decode(words[i]);
    if (op != isa::Op::invalid && isa::is_branch(isa::info(op).format)) found.push_back(i);
  }
  return found;
}

std::vector<EmittedCase> emitted_cases(const Image& image, const RoutineInfo& routine) {
  const uint16_t file = routine.file;
  // Line 1 is the entry; case k owns line k + 1.
  std::vector<EmittedCase> cases(routine.cases);
  for (uint32_t address = routine.address; address < routine.address + routine.size; address += 4) {
    const SourceLoc loc = image.lines.at((address - image.text_base) / 4);
    if (loc.file != file || loc.line < 2 || loc.line > static_cast<uint32_t>(routine.cases) + 1) continue;
    EmittedCase& c = cases[loc.line - 2];
    if (c.words.empty()) c.address = address;
    c.words.push_back(image.word_at(address));
  }
  return cases;
}

Listing& Listing::label(const std::string& name) {
  labels_[name] = lines_.size();
  return *this;
}

Listing& Listing::outside(const std::string& name, uint32_t address) {
  outside_[name] = address;
  return *this;
}

Listing& Listing::line(const std::string& text) {
  lines_.push_back({text, "", false, isa::zero, 0});
  return *this;
}

std::vector<std::string> constant_load_text(const std::string& reg, uint32_t value) {
  const auto as_signed = static_cast<int32_t>(value);
  if (as_signed >= -32768 && as_signed < 32768) return {"addiu " + reg + ", $zero, " + signed_text(as_signed)};
  if (value < 0x10000) return {"ori " + reg + ", $zero, " + hex_text(value)};
  const std::string upper = "lui " + reg + ", " + hex_text(value >> 16);
  if (value % 0x10000 == 0) return {upper};
  return {upper, "ori " + reg + ", " + reg + ", " + hex_text(value % 0x10000)};
}

Listing& Listing::li(isa::Reg r, uint32_t value) {
  for (const std::string& text : constant_load_text(reg(r), value)) line(text);
  return *this;
}

Listing& Listing::la(isa::Reg r, const std::string& label, int32_t addend) {
  return la_high(r, label, addend).la_low(r, label, addend);
}

Listing& Listing::la_high(isa::Reg r, const std::string& label, int32_t addend) {
  lines_.push_back({"", label, true, r, addend});
  return *this;
}

Listing& Listing::la_low(isa::Reg r, const std::string& label, int32_t addend) {
  lines_.push_back({"", label, false, r, addend});
  return *this;
}

std::vector<std::string> Listing::render(uint32_t address) const {
  auto address_of = [&](const std::string& label) {
    if (outside_.count(label)) return outside_.at(label);
    return address + 4 * static_cast<uint32_t>(labels_.at(label));
  };
  std::vector<std::string> out;
  for (const Line& l : lines_) {
    if (!l.address_of.empty()) {
      const uint32_t target = address_of(l.address_of) + static_cast<uint32_t>(l.addend);
      // The high half rounds up when the low half, added sign-extended, is negative.
      const uint32_t high = (target >> 16) + ((target >> 15) & 1);
      const auto low = static_cast<int32_t>(target - (high << 16));
      out.push_back(l.high_half ? "lui " + reg(l.reg) + ", " + hex_text(high & 0xFFFF)
                                : "addiu " + reg(l.reg) + ", " + reg(l.reg) + ", " + signed_text(low));
      continue;
    }
    const size_t at = l.text.find('@');
    if (at == std::string::npos) out.push_back(l.text);
    else out.push_back(l.text.substr(0, at) + hex_text(address_of(l.text.substr(at + 1))));
  }
  return out;
}

}  // namespace r3k::test
