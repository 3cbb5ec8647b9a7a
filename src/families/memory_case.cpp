#include "families/memory_case.h"

namespace r3k::memory {

using namespace isa;  // register names
using assembly::Assembler;

CaseInfo describe(const MemoryCase& c, Op access, bool grouped) {
  static constexpr std::string_view kGroupNames[] = {"", "B random, O random", "B = 0x80030000, O random",
                                                     "B = 0x80030000, O = 0"};
  const bool store = access == Op::sb || access == Op::sh || access == Op::sw || access == Op::swl || access == Op::swr;
  const bool merges = access == Op::lwl || access == Op::lwr;
  CaseInfo info{grouped ? c.group : 0, grouped ? kGroupNames[c.group] : std::string_view{},
                {{"B", c.base}, {"O", c.offset}, {"A", c.address()}, {"k", c.lane}}, c.long_form() ? "long form" : ""};
  info.values.push_back({store ? "P" : "W", c.memory_word});
  // The word routines share one template: sw stores the preset word P itself.
  if (store && access != Op::sw) info.values.push_back({"S", c.register_value});
  if (merges) info.values.push_back({"R0", c.register_value});
  info.values.push_back({"expected", c.expected});
  return info;
}

namespace {

int32_t displacement(uint32_t offset) { return static_cast<int32_t>(offset); }

}  // namespace

void emit_neighbour_words(Assembler& as, uint32_t offset, int16_t second_neighbour) {
  as.addiu(a0, t0, 4);
  as.addiu(a1, t0, second_neighbour);
  as.load_store(Op::sw, a0, displacement(offset), a0);
  as.load_store(Op::sw, a1, displacement(offset), a1);
}

// Each load's base is the register the load before it wrote, so a processor
// that hands the next instruction a stale base reads the other neighbour
// word instead, which the case has written too.
void emit_follow_up_loads(Assembler& as, uint32_t offset, FollowUps order) {
  const Reg first = order == FollowUps::a1_first ? a1 : a0;
  const Reg second = order == FollowUps::a1_first ? a0 : a1;
  as.load_store(Op::lw, first, displacement(offset), second);
  as.load_store(Op::lw, second, displacement(offset), first);
  as.load_store(Op::lw, a2, displacement(offset), a1);
}

void emit_check(Assembler& as, assembly::Label inst_error) {
  as.bne(v0, v1, inst_error);
  as.nop();
}

void emit_load_case(Assembler& as, Op access, const MemoryCase& c, bool preset_destination,
                    assembly::Label inst_error) {
  as.li(t1, c.memory_word);
  as.li(t0, c.base);
  if (preset_destination) as.li(v0, c.register_value);
  as.li(v1, c.expected);
  as.load_store(Op::sw, t1, displacement(c.offset), t0);
  emit_neighbour_words(as, c.offset, -8);
  as.load_store(access, v0, displacement(c.offset + c.lane), t0);
  emit_follow_up_loads(as, c.offset, FollowUps::a1_first);
  emit_check(as, inst_error);
}

void emit_store_case(Assembler& as, Op access, const MemoryCase& c, assembly::Label inst_error) {
  as.li(t2, c.memory_word);
  as.li(t1, c.register_value);
  as.li(t0, c.base);
  as.li(v1, c.expected);
  as.load_store(Op::sw, t2, displacement(c.offset), t0);
  as.load_store(access, t1, displacement(c.offset + c.lane), t0);
  emit_neighbour_words(as, c.offset, -8);
  as.load_store(Op::lw, v0, displacement(c.offset), t0);
  emit_follow_up_loads(as, c.offset, FollowUps::a0_first);
  emit_check(as, inst_error);
}

}  // namespace r3k::memory
