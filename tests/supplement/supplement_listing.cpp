#include "supplement/supplement_listing.h"

#include <stdexcept>

namespace r3k::test {

void load_block(Listing& listing, const std::vector<BlockLoad>& loads) {
  struct Second {
    isa::Reg reg;
    std::string text;  // empty for an address load's low half
    const BlockLoad* load;
  };
  std::vector<Second> seconds;
  std::vector<isa::Reg> written;  // per line, $zero for a nop
  const auto close = [&](isa::Reg reg) {
    for (size_t back = 1; back <= kReadGap && back <= written.size(); ++back)
      if (written[written.size() - back] == reg) return true;
    return false;
  };
  for (const BlockLoad& load : loads) {
    const std::string reg(isa::reg_name(load.reg));
    if (!load.label.empty()) {
      listing.la_high(load.reg, load.label, load.addend);
      seconds.push_back({load.reg, "", &load});
    } else {
      const std::vector<std::string> text = constant_load_text(reg, load.value);
      listing.line(text.front());
      if (text.size() == 2) seconds.push_back({load.reg, text.back(), &load});
    }
    written.push_back(load.reg);
  }
  for (const Second& second : seconds) {
    while (close(second.reg)) listing.nop(), written.push_back(isa::zero);
    if (second.text.empty()) listing.la_low(second.reg, second.load->label, second.load->addend);
    else listing.line(second.text);
    written.push_back(second.reg);
  }
  read_gap(listing);
}

std::vector<CaseRecord> records_of(const Image& image, int routine_number) {
  std::vector<CaseRecord> records;
  for (const CaseRecord& record : image.cases)
    if (record.routine == routine_number) records.push_back(record);
  return records;
}

uint32_t value_named(const CaseRecord& record, std::string_view name) {
  for (const CaseValue& value : record.values)
    if (value.name == name) return value.value;
  throw std::runtime_error("case " + std::to_string(record.number) + " has no value " + std::string(name));
}

Listing& read_gap(Listing& listing) {
  for (size_t i = 0; i < kReadGap; ++i) listing.nop();
  return listing;
}

void fail_unless_equal(Listing& listing, std::string_view reg, std::string_view expected) {
  listing.line("bne " + std::string(reg) + ", " + std::string(expected) + ", @inst_error").nop();
}

}  // namespace r3k::test
