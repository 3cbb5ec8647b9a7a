// Faults of the exceptions: traps that never come or come wrong, address
// errors that still access memory, and coprocessor 0 read, written or
// stacked wrong. The main image and the supplement take no exception, so
// only the exceptions image sees them (and routine by routine).
#include <functional>

#include "faults/catalog_parts.h"
#include "faults/fault_kit.h"

namespace r3k::faults {

namespace {

using namespace kit;
using sim::Cause;
using sim::Width;
constexpr FaultClass E = FaultClass::exception;

constexpr std::string_view kNoTrap = "no case of the image traps or reads coprocessor 0";

uint32_t address_of(const Cpu& c, const Decoded& d) { return c.reg(d.rs) + d.imm; }
bool overflows(uint32_t a, uint32_t b, uint32_t sum) { return ((a ^ sum) & (b ^ sum)) >> 31; }

// mfc0 of `reg` reads what `spoil` makes of the right value.
Fault spoilt_read(uint8_t reg, std::function<uint32_t(const Cpu&, uint32_t)> spoil) {
  return replace(Op::mfc0, [=](Cpu& c, const Decoded& d) {
    sim::execute_normal(c, d);
    if (d.rd == reg) c.set_reg(d.rt, spoil(c, c.reg(d.rt)));
  });
}

// A load that reads the aligned unit around a misaligned address instead of trapping.
Fault silent_load(Op op, Width width, uint32_t mask, bool sign) {
  return replace(op, [=](Cpu& c, const Decoded& d) {
    const uint32_t address = address_of(c, d);
    if (!(address & mask)) return static_cast<void>(sim::execute_normal(c, d));
    uint32_t value = 0;
    if (c.load(address & ~mask, width, value)) c.set_reg(d.rt, sign ? uint32_t(int32_t(int16_t(value))) : value);
  });
}

// A misaligned store that writes the aligned unit and then raises AdES.
Fault storing_error(Op op, Width width, uint32_t mask) {
  return replace(op, [=](Cpu& c, const Decoded& d) {
    const uint32_t address = address_of(c, d);
    if (!(address & mask)) return static_cast<void>(sim::execute_normal(c, d));
    if (c.store(address & ~mask, width, c.reg(d.rt))) c.raise(Cause::AddressErrorStore, address);
  });
}

// A misaligned access that raises the other address error.
Fault swapped_error(Op op, uint32_t mask, Cause cause) {
  return replace(op, [=](Cpu& c, const Decoded& d) {
    const uint32_t address = address_of(c, d);
    if (address & mask) c.raise(cause, address);
    else sim::execute_normal(c, d);
  });
}

Fault trap_as(Op op, Cause cause) {
  return replace(op, [=](Cpu& c, const Decoded&) { c.raise(cause); });
}

// mtc0 whose write is changed by `change` (Status or Cause), checked as usual after.
Fault spoilt_write(uint8_t reg, std::function<uint32_t(uint32_t)> change) {
  return replace(Op::mtc0, [=](Cpu& c, const Decoded& d) {
    const uint32_t value = d.rd == reg ? change(c.reg(d.rt)) : c.reg(d.rt);
    if (!c.cop0.write(d.rd, value)) return;
    if (c.cop0.interrupt_pending()) c.raise_before_next(Cause::Interrupt);
  });
}

// mtc0 that takes an interrupt when `pending` says so.
Fault interrupt_rule(std::function<bool(const sim::Cop0&)> pending) {
  return replace(Op::mtc0, [=](Cpu& c, const Decoded& d) {
    if (!c.cop0.write(d.rd, c.reg(d.rt))) return;
    if (pending(c.cop0)) c.raise_before_next(Cause::Interrupt);
  });
}

Fault rfe_with(std::function<uint32_t(uint32_t)> pop) {
  return replace(Op::rfe, [=](Cpu& c, const Decoded&) {
    c.cop0.status = (c.cop0.status & ~0x3Fu) | (pop(c.cop0.status) & 0x3F);
    if (c.cop0.user_mode() && c.next_pc >= sim::kKernelBase) c.raise_before_next(Cause::AddressErrorFetch, c.next_pc);
  });
}

CatalogFault fault(std::string_view name, Op op, std::string_view models, std::set<int> on_exceptions,
                   sim::Fault (*make)(const ImageShape&)) {
  CatalogFault f{name, E, op, models, unseen(kNoTrap), "", make};
  f.on_supplement = unseen(kNoTrap);
  f.on_exceptions = fails(std::move(on_exceptions));
  return f;
}

// Where an image's run stops: how, and the routine under way.
struct StopsAt {
  std::string_view how;
  int routine = 0;
};

// A fault that traps where the other images rightly do not: their run ends
// in the exception loop.
CatalogFault spurious_trap(CatalogFault f, StopsAt on_main, StopsAt on_supplement) {
  f.expected = exception_loop({}, on_main.how, on_main.routine);
  if (!on_supplement.how.empty()) f.on_supplement = exception_loop({}, on_supplement.how, on_supplement.routine);
  return f;
}

}  // namespace

std::vector<CatalogFault> exception_faults() {
  using C = const ImageShape&;
  return {
      fault("addi-never-traps", Op::addi, "addi wraps on overflow instead of trapping", {1},
            [](C) { return immediate_result(Op::addi, [](uint32_t a, uint16_t imm) { return a + uint32_t(int16_t(imm)); }); }),
      fault("add-ov-writes-rd", Op::add, "add traps on overflow but writes rd first", {1, 10, 11}, [](C) {
        return replace(Op::add, [](Cpu& c, const Decoded& d) {
          const uint32_t a = rs(c, d), b = rt(c, d);
          c.set_reg(d.rd, a + b);
          if (overflows(a, b, a + b)) c.raise(Cause::ArithmeticOverflow);
        });
      }),
      spurious_trap(fault("addu-traps", Op::addu, "addu traps on signed overflow like add", {2},
                          [](C) {
                            return replace(Op::addu, [](Cpu& c, const Decoded& d) {
                              const uint32_t a = rs(c, d), b = rt(c, d);
                              if (overflows(a, b, a + b)) c.raise(Cause::ArithmeticOverflow);
                              else c.set_reg(d.rd, a + b);
                            });
                          }),
                    {"Ov on the first addu that overflows", 2}, {"Ov on the first addu that overflows", 11}),
      fault("lw-misaligned-reads", Op::lw, "a misaligned lw reads the aligned word instead of AdEL", {3, 10, 11},
            [](C) { return silent_load(Op::lw, Width::word, 3, false); }),
      fault("lh-misaligned-reads", Op::lh, "a misaligned lh reads the aligned half instead of AdEL", {3},
            [](C) { return silent_load(Op::lh, Width::half, 1, true); }),
      fault("lhu-misaligned-reads", Op::lhu, "a misaligned lhu reads the aligned half instead of AdEL", {3},
            [](C) { return silent_load(Op::lhu, Width::half, 1, false); }),
      fault("sw-ades-still-stores", Op::sw, "a misaligned sw stores the aligned word, then raises AdES", {4},
            [](C) { return storing_error(Op::sw, Width::word, 3); }),
      fault("sh-ades-still-stores", Op::sh, "a misaligned sh stores the aligned half, then raises AdES", {4},
            [](C) { return storing_error(Op::sh, Width::half, 1); }),
      fault("lw-misaligned-ades", Op::lw, "a misaligned lw raises AdES", {3, 10, 11},
            [](C) { return swapped_error(Op::lw, 3, Cause::AddressErrorStore); }),
      fault("sw-misaligned-adel", Op::sw, "a misaligned sw raises AdEL", {4},
            [](C) { return swapped_error(Op::sw, 3, Cause::AddressErrorLoad); }),
      spurious_trap(fault("lwl-traps-misaligned", Op::lwl, "lwl raises AdEL off a word boundary", {5},
                          [](C) { return swapped_error(Op::lwl, 3, Cause::AddressErrorLoad); }),
                    {"AdEL on the first lwl off a word boundary", 63}, {"AdEL on the first lwl off a word boundary", 14}),
      spurious_trap(fault("sb-traps-odd", Op::sb, "sb raises AdES at an odd address", {5},
                          [](C) { return swapped_error(Op::sb, 1, Cause::AddressErrorStore); }),
                    {"AdES on the first sb at an odd address", 65}, {"AdES on the first sb at an odd address (n19)", 19}),
      fault("jr-target-aligned", Op::jr, "jr drops the target's low two bits instead of AdEL on the fetch", {6}, [](C) {
        return replace(Op::jr, [](Cpu& c, const Decoded& d) { c.branch(rs(c, d) & ~3u); });
      }),
      fault("jalr-no-link-on-bad-target", Op::jalr, "jalr to a misaligned target leaves its link unwritten", {6},
            [](C) {
              return replace(Op::jalr, [](Cpu& c, const Decoded& d) {
                const uint32_t target = rs(c, d);
                if (!(target & 3)) c.set_reg(d.rd, c.link_address());
                c.branch(target);
              });
            }),
      fault("syscall-as-break", Op::syscall, "syscall raises Bp", {7, 10, 11, 12, 14},
            [](C) { return trap_as(Op::syscall, Cause::Breakpoint); }),
      fault("break-as-syscall", Op::break_, "break raises Sys", {7, 10, 11, 12},
            [](C) { return trap_as(Op::break_, Cause::Syscall); }),
      fault("syscall-nop", Op::syscall, "syscall does nothing", {7, 10, 11, 12, 14},
            [](C) { return replace(Op::syscall, [](Cpu&, const Decoded&) {}); }),
      fault("cpu-without-ce", Op::mfc0, "CpU leaves CE clear", {9},
            [](C) { return spoilt_read(isa::kCause, [](const Cpu&, uint32_t v) { return v & ~sim::cause::kCE; }); }),
      fault("bd-never-set", Op::mfc0, "an exception in a delay slot leaves BD clear", {10},
            [](C) { return spoilt_read(isa::kCause, [](const Cpu&, uint32_t v) { return v & ~sim::cause::kBD; }); }),
      fault("epc-at-slot", Op::mfc0, "EPC of an exception in a delay slot is the slot, not the branch", {10},
            [](C) {
              return spoilt_read(isa::kEpc, [](const Cpu& c, uint32_t v) { return c.cop0.cause & sim::cause::kBD ? v + 4 : v; });
            }),
      fault("epc-plus-four", Op::mfc0, "EPC is the instruction after the one that trapped", {1, 3, 4, 6, 7, 8, 9, 10, 11, 12, 14, 15},
            [](C) { return spoilt_read(isa::kEpc, [](const Cpu&, uint32_t v) { return v + 4; }); }),
      fault("badvaddr-not-written", Op::mfc0, "an address error leaves BadVAddr as it was", {3, 4, 6, 10, 11, 15},
            [](C) { return spoilt_read(isa::kBadVAddr, [](const Cpu&, uint32_t) { return 0u; }); }),
      fault("badvaddr-aligned", Op::mfc0, "BadVAddr holds the address with its low two bits clear", {3, 4, 6, 10, 11},
            [](C) { return spoilt_read(isa::kBadVAddr, [](const Cpu&, uint32_t v) { return v & ~3u; }); }),
      fault("rfe-no-pop", Op::rfe, "rfe leaves the KU/IE stack as it is", {12, 15},
            [](C) { return rfe_with([](uint32_t s) { return s; }); }),
      fault("rfe-pops-old-level", Op::rfe, "rfe copies the old level (KUo/IEo) into the current one", {12, 15},
            [](C) { return rfe_with([](uint32_t s) { return (s & 0x3C) | ((s >> 4) & 3); }); }),
      fault("rfe-clears-old-level", Op::rfe, "rfe pops and clears KUo/IEo", {12},
            [](C) { return rfe_with([](uint32_t s) { return (s >> 2) & 0xF; }); }),
      fault("rfe-stays-kernel", Op::rfe, "rfe never returns to user mode", {15},
            [](C) { return rfe_with([](uint32_t s) { return ((s & 0x30) | ((s >> 2) & 0xF)) & ~2u; }); }),
      fault("mtc0-status-drops-im", Op::mtc0, "mtc0 to Status drops the IM bits", {12, 13},
            [](C) { return spoilt_write(isa::kStatus, [](uint32_t v) { return v & ~sim::status::kIM; }); }),
      fault("mtc0-cause-drops-ip", Op::mtc0, "mtc0 to Cause drops IP1..IP0", {12, 13},
            [](C) { return spoilt_write(isa::kCause, [](uint32_t v) { return v & ~sim::cause::kSoftwareIP; }); }),
      fault("bev-ignored", Op::mtc0, "the vector ignores BEV: Status keeps it set", {14},
            [](C) { return spoilt_write(isa::kStatus, [](uint32_t v) { return v | sim::status::kBEV; }); }),
      fault("interrupt-ignores-im", Op::mtc0, "a software interrupt is taken whatever IM says", {13},
            [](C) { return interrupt_rule([](const sim::Cop0& c0) { return (c0.status & 1) && (c0.cause & sim::cause::kIP); }); }),
      fault("interrupt-ignores-iec", Op::mtc0, "a software interrupt is taken whatever IEc says", {13}, [](C) {
        return interrupt_rule([](const sim::Cop0& c0) { return (c0.cause & c0.status & sim::cause::kIP) != 0; });
      }),
      fault("interrupt-never-taken", Op::mtc0, "a software interrupt is never taken", {13},
            [](C) { return interrupt_rule([](const sim::Cop0&) { return false; }); }),
  };
}

// The other catalog faults the exceptions image sees.
std::vector<std::pair<std::string_view, Expectation>> exceptions_expectations() {
  ExpectationTable table = {
      {"add-never-traps", fails({1, 10, 11})},
      {"sub-never-traps", fails({1})},
  };
  add_confined_to_main_image(table);
  return table;
}

}  // namespace r3k::faults
