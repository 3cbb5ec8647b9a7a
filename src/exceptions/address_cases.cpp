// Address errors: misaligned loads, stores and jump targets, and the
// accesses that never trap at any offset.
#include <string>
#include <vector>

#include "board/layout.h"
#include "exceptions/exceptions.h"
#include "exceptions/handler.h"

namespace r3k::exceptions {

using namespace isa;  // register names
using assembly::Label;

namespace {

constexpr uint8_t kAdEL = 4, kAdES = 5;
constexpr uint32_t kUntouched = 0x5A5A1234;

// Each routine's own RAM: 4 KiB from 0x80000000 + 0x1000 * its number.
uint32_t scratch_of(const RoutineContext& routine) {
  return layout::kRamBase + 0x1000u * static_cast<uint32_t>(routine.spec.number);
}

struct AccessCase {
  Op op;
  uint32_t base;  // what the base register holds
  int16_t offset;
  uint32_t before, neighbour, stored;  // the word there and the next, what a store stores
};

uint32_t access_address(const AccessCase& c) { return c.base + static_cast<uint32_t>(static_cast<int32_t>(c.offset)); }
uint32_t access_width(Op op) { return info(op).attributes.width; }
bool misaligned(const AccessCase& c) {
  const uint32_t width = access_width(c.op);
  return (c.op == Op::lw || c.op == Op::sw || c.op == Op::lh || c.op == Op::lhu || c.op == Op::sh) &&
         access_address(c) % width != 0;
}

// Every offset of every width the routine's ops have, with the misalignment
// in the base register or in the offset, and a drawn word in memory.
std::vector<AccessCase> draw_accesses(RoutineContext& routine, std::initializer_list<Op> ops) {
  std::vector<AccessCase> cases;
  const uint32_t scratch = scratch_of(routine);
  uint32_t word = scratch;
  for (const Op op : ops)
    for (uint32_t byte = 0; byte < 4; ++byte, word += 8) {
      const bool in_base = routine.random.below(2) == 1;
      const auto offset = static_cast<int16_t>(in_base ? 0 : byte);
      cases.push_back({op, in_base ? word + byte : word, offset, routine.random.word(), routine.random.word(),
                       routine.random.word()});
    }
  // The misalignment cancelled by the offset: aligned, no trap.
  for (const Op op : ops) {
    cases.push_back({op, word + 1, -1, routine.random.word(), routine.random.word(), routine.random.word()});
    word += 8;
  }
  return cases;
}

void emit_access(TrapRoutine& t, const AccessCase& c, bool checks_memory) {
  const uint32_t aligned = access_address(c) & ~3u;
  Label resume = t.as.make_label(), at = t.as.make_label();
  t.store_word(aligned, c.before);
  t.store_word(aligned + 4, c.neighbour);
  t.arm(resume);
  t.as.li(a0, c.base);
  t.as.li(a2, info(c.op).is_store() ? c.stored : kUntouched);
  t.as.bind(at);
  t.as.memory(c.op, a2, c.offset, a0);
  t.as.nop();  // a load's delay slot
  t.as.bind(resume);
  if (!misaligned(c)) {
    t.expect_count(0);
    return;
  }
  t.expect_exception(info(c.op).is_store() ? kAdES : kAdEL, at);
  t.expect_slot(slot::kBadVAddr, access_address(c));
  if (!info(c.op).is_store()) t.expect_reg(a2, kUntouched);
  if (checks_memory) {
    t.expect_word(aligned, c.before);
    t.expect_word(aligned + 4, c.neighbour);
  }
}

void access_cases(RoutineContext& routine, std::initializer_list<Op> ops, bool checks_memory) {
  TrapRoutine t(routine);
  emit_cases(
      routine, draw_accesses(routine, ops),
      [](const AccessCase& c) {
        return CaseInfo{0,
                        {},
                        {{"base", c.base}, {"offset", static_cast<uint32_t>(static_cast<int32_t>(c.offset))},
                         {"address", access_address(c)}},
                        std::string(info(c.op).mnemonic) + (misaligned(c) ? ": address error" : ": no trap")};
      },
      [&](const AccessCase& c) { emit_access(t, c, checks_memory); });
}

}  // namespace

void load_address_error_cases(RoutineContext& routine) { access_cases(routine, {Op::lw, Op::lh, Op::lhu}, false); }

void store_address_error_cases(RoutineContext& routine) { access_cases(routine, {Op::sw, Op::sh}, true); }

void unaligned_access_cases(RoutineContext& routine) {
  access_cases(routine, {Op::lwl, Op::lwr, Op::swl, Op::swr, Op::lb, Op::lbu, Op::sb}, false);
}

// jr and jalr to the resume label plus 1, 2 or 3: AdEL on the fetch, EPC
// and BadVAddr the target; jalr has completed, so its link is written.
void jump_address_error_cases(RoutineContext& routine) {
  TrapRoutine t(routine);
  struct JumpCase {
    Op op;
    int32_t misalignment;
  };
  std::vector<JumpCase> cases;
  for (const Op op : {Op::jr, Op::jalr})
    for (int32_t misalignment = 1; misalignment < 4; ++misalignment) cases.push_back({op, misalignment});
  emit_cases(
      routine, cases,
      [](const JumpCase& c) {
        return CaseInfo{0, {}, {{"misalignment", static_cast<uint32_t>(c.misalignment)}},
                        std::string(info(c.op).mnemonic) + " to a misaligned target: AdEL"};
      },
      [&](const JumpCase& c) {
        Label resume = t.as.make_label(), at = t.as.make_label();
        t.arm(resume);
        t.as.la(a0, resume);
        t.as.addiu(a0, a0, static_cast<int16_t>(c.misalignment));
        t.as.li(t6, kUntouched);
        t.as.bind(at);
        if (c.op == Op::jr) t.as.jr(a0);
        else t.as.jalr(t6, a0);
        t.as.nop();
        t.as.bind(resume);
        t.expect_count(1);
        t.expect_slot(slot::kCause, uint32_t{kAdEL} << 2, kCauseCodeMask);
        t.expect_slot_at(slot::kEpc, resume, c.misalignment);
        t.expect_slot_at(slot::kBadVAddr, resume, c.misalignment);
        if (c.op == Op::jalr) t.expect_reg_at(t6, at, 8);
        else t.expect_reg(t6, kUntouched);
      });
}

}  // namespace r3k::exceptions
