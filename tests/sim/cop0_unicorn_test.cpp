// Exception entry against an independent emulator: unicorn's MIPS32 4Km.
// Unicorn 2 does not vector MIPS exceptions and cannot read Cause, EPC or
// BadVAddr; it reports each exception through its interrupt hook with its
// kind, and its code hook shows which instructions ran. So each small program
// runs up to its exception on both, and the oracle gives: the exception's
// kind (our Cause.ExcCode), the instruction that raised it (our EPC, and BD
// when the instruction before it was a branch or jump), and the registers,
// HI/LO and memory at that point (nothing after the fault took effect,
// everything before it did). The rest (BadVAddr, the stack, CE) is checked
// against hand-worked values in cop0_test.cpp.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "cop0_program.h"

#ifdef R3K_HAVE_UNICORN
#include <unicorn/unicorn.h>
#endif

namespace r3k::sim::test {
namespace {

constexpr uint32_t kData = 0x80000100;  // $a0 points here; the cases load and store around it
constexpr int kDataWords = 8;

// The state at the handler: $1..$31 but the handler's $k0 $k1 $gp $fp, HI, LO, the data words.
struct State {
  std::array<uint32_t, 32> regs{};
  uint32_t hi = 0, lo = 0;
  std::array<uint32_t, kDataWords> data{};
  friend bool operator==(const State&, const State&) = default;
};

struct Outcome {
  std::string error;
  uint8_t exc_code = 0xFF;
  uint32_t epc = 0;
  bool bd = false;
  State state;
};

State masked(State s) {
  for (unsigned reg : {0u, unsigned{k0}, unsigned{k1}, unsigned{gp}, unsigned{fp}}) s.regs[reg] = 0;
  return s;
}

// Ours: the state as the handler's first instruction finds it, Cause and EPC as it reads them.
Outcome run_reference(const Program& p) {
  struct AtVector {
    bool seen = false;
    State state;
    void on_instruction(const Cpu& cpu, const Decoded&) {
      if (seen || cpu.pc != kBootVector) return;
      seen = true;
      state.regs = cpu.regs, state.hi = cpu.hi, state.lo = cpu.lo;
      // The non-const bus gives a page its reset contents on first touch.
      Bus& bus = const_cast<Cpu&>(cpu).bus();
      for (int i = 0; i < kDataWords; ++i) state.data[i] = load_le32(bus.ram_at(kData + 4 * i));
    }
  } observer;
  Machine machine(with_handler(p));
  RunOptions options;
  options.start_pc = p.base();
  const RunResult r = machine.run(options, observer);
  Outcome out;
  if (!observer.seen || r.stop != StopReason::Finished) out.error = "the handler did not run";
  out.exc_code = static_cast<uint8_t>((r.regs[k0] & cause::kExcCode) >> cause::kExcCodeShift);
  out.bd = r.regs[k0] & cause::kBD;
  out.epc = r.regs[k1];
  out.state = masked(observer.state);
  return out;
}

#ifdef R3K_HAVE_UNICORN

// QEMU's exception numbers, as unicorn's interrupt hook gives them.
uint8_t exc_code_of_unicorn(uint32_t intno) {
  switch (intno) {
    case 12: return exc::kAdEL;
    case 13: return exc::kAdES;
    case 17: return exc::kSys;
    case 18: return exc::kBp;
    case 19: return exc::kCpU;
    case 20: return exc::kRI;
    case 21: return exc::kOv;
    default: return 0xFE;
  }
}

struct Emulator {
  Outcome out;
  uint32_t last = 0, before_last = 0;  // the last two instructions that started
  bool stopped = false;
};

void on_code(uc_engine*, uint64_t address, uint32_t, void* context) {
  auto* e = static_cast<Emulator*>(context);
  e->before_last = e->last;
  e->last = static_cast<uint32_t>(address);
}

void read_state(uc_engine* uc, State& state) {
  for (int reg = 1; reg < 32; ++reg) uc_reg_read(uc, UC_MIPS_REG_0 + reg, &state.regs[reg]);
  uc_reg_read(uc, UC_MIPS_REG_HI, &state.hi);
  uc_reg_read(uc, UC_MIPS_REG_LO, &state.lo);
  uc_mem_read(uc, kData - 0x80000000, state.data.data(), sizeof state.data);
}

void on_exception(uc_engine* uc, uint32_t intno, void* context) {
  auto* e = static_cast<Emulator*>(context);
  if (e->stopped) return;
  e->stopped = true;
  e->out.exc_code = exc_code_of_unicorn(intno);
  read_state(uc, e->out.state);
  e->out.state = masked(e->out.state);
  uc_emu_stop(uc);
}

// The instruction that raised it, from the code hook: the last one that
// started, or the branch before it when it is that branch's delay slot. A
// fetch that failed never started: the case names its address.
void settle_epc(Emulator& e, const std::vector<uint8_t>& rom, uint32_t fetch_fault_at) {
  if (fetch_fault_at) {
    e.out.epc = fetch_fault_at;
    return;
  }
  e.out.epc = e.last;
  const size_t at = e.before_last - layout::kResetVector;
  if (e.before_last + 4 != e.last || at + 4 > rom.size()) return;
  const isa::Op op = isa::decode(load_le32(&rom[at]));
  if (op != isa::Op::invalid && isa::has_delay_slot(op)) e.out.epc = e.before_last, e.out.bd = true;
}

Outcome run_unicorn(const std::vector<uint8_t>& rom, uint32_t start, uint32_t fetch_fault_at) {
  Emulator e;
  uc_engine* uc = nullptr;
  if (uc_open(UC_ARCH_MIPS, static_cast<uc_mode>(UC_MODE_MIPS32 | UC_MODE_LITTLE_ENDIAN), &uc) != UC_ERR_OK) {
    e.out.error = "uc_open failed";
    return e.out;
  }
  uc_ctl_set_cpu_model(uc, UC_CPU_MIPS32_4KM);
  uc_mem_map(uc, 0x1FC00000, (rom.size() + 0xFFF) & ~size_t{0xFFF}, UC_PROT_READ | UC_PROT_EXEC);
  uc_mem_write(uc, 0x1FC00000, rom.data(), rom.size());
  uc_mem_map(uc, 0, 0x10000, UC_PROT_ALL);
  std::vector<uint8_t> fill(0x10000);
  for (uint32_t i = 0; i < fill.size(); ++i) fill[i] = ram_fill_byte(layout::kRamBase + i);
  uc_mem_write(uc, 0, fill.data(), fill.size());
  uc_hook code, interrupt;
  uc_hook_add(uc, &code, UC_HOOK_CODE, reinterpret_cast<void*>(on_code), &e, 1, 0);
  uc_hook_add(uc, &interrupt, UC_HOOK_INTR, reinterpret_cast<void*>(on_exception), &e, 1, 0);
  const uc_err err = uc_emu_start(uc, start, layout::kEndLoop, 0, 10000);
  if (err != UC_ERR_OK) e.out.error = uc_strerror(err);
  if (!e.stopped && e.out.error.empty()) e.out.error = "no exception";
  uc_close(uc);
  settle_epc(e, rom, fetch_fault_at);
  return e.out;
}

#endif

struct Case {
  const char* name;
  std::vector<uint32_t> words;  // after $a0 = kData, $t8 = 0x7FFFFFFF, $t9 = 0x80000000, $t1 = 0x80000101, $t4 = 0x80000102
  uint32_t fetch_fault_at = 0;  // a misaligned jump target: the fetch there fails
};

uint32_t w(Op op, isa::Fields f) { return isa::encode(op, f); }

std::vector<Case> cases() {
  const uint32_t sys = w(Op::syscall, {});
  const uint32_t ov = w(Op::add, {.rs = t8, .rt = t8, .rd = t2});
  const uint32_t lw_odd = w(Op::lw, {.rs = t1, .rt = t3, .imm = 2});
  const uint32_t sw_odd = w(Op::sw, {.rs = t1, .rt = t8});
  const uint32_t store_before = w(Op::sw, {.rs = a0, .rt = t8, .imm = 8});
  const uint32_t store_after = w(Op::sw, {.rs = a0, .rt = t9, .imm = 12});
  const uint32_t mult = w(Op::mult, {.rs = t8, .rt = t9});
  const uint32_t mark = w(Op::addiu, {.rt = v0, .imm = 7});
  const uint16_t ahead = 3;  // a branch or jump to the marker after the fault
  const uint32_t far = ((kProgramBase + 0x100) >> 2) & 0x3FFFFFF;
  return {
      {"add overflow", {store_before, mult, ov, store_after, mark}},
      {"addi overflow", {w(Op::addi, {.rs = t8, .rt = t2, .imm = 1}), mark}},
      {"addi negative overflow", {w(Op::addi, {.rs = t9, .rt = t2, .imm = 0xFFFF}), mark}},
      {"sub overflow", {w(Op::sub, {.rs = t9, .rt = t8, .rd = t2}), mark}},
      {"lw misaligned", {lw_odd, store_after}},
      {"lh misaligned", {w(Op::lh, {.rs = t1, .rt = t3}), mark}},
      {"lhu misaligned", {w(Op::lhu, {.rs = t1, .rt = t3, .imm = 2}), mark}},
      {"sw misaligned", {store_before, sw_odd, store_after}},
      {"sh misaligned", {w(Op::sh, {.rs = t1, .rt = t8}), mark}},
      {"syscall", {mult, sys, mark}},
      {"break", {w(Op::break_, {.code = 0x12345}), mark}},
      {"reserved SPECIAL", {0x00000035, mark}},
      {"reserved primary", {0x60000000, mark}},
      {"coprocessor 1", {0x44000000, mark}},
      {"syscall in a taken beq's slot", {w(Op::beq, {.imm = ahead}), sys, mark}},
      {"syscall in a not-taken bne's slot", {w(Op::bne, {.imm = ahead}), sys, mark}},
      {"overflow in j's slot", {w(Op::j, {.target = far}), ov, mark}},
      {"lw in jal's slot", {w(Op::jal, {.target = far}), lw_odd, mark}},
      {"sw in bltzal's slot", {w(Op::bltzal, {.rs = t9, .imm = ahead}), sw_odd, mark}},
      {"break in jr's slot", {w(Op::jr, {.rs = a0}), w(Op::break_, {}), mark}},
      {"syscall in jalr's slot", {w(Op::jalr, {.rs = a0, .rd = s3}), sys, mark}},
      // Bit 1, not bit 0: unicorn takes bit 0 of a jump target as the MIPS16 mode bit.
      {"jr to a misaligned target", {w(Op::jr, {.rs = t4}), mark}, 0x80000102},
      {"jalr to a misaligned target", {w(Op::jalr, {.rs = t4, .rd = s4}), mark}, 0x80000102},
  };
}

TEST(Cop0Unicorn, ExceptionKindPlaceAndStateMatchUnicorn) {
#ifndef R3K_HAVE_UNICORN
  GTEST_SKIP() << "unicorn not found at build time (package libunicorn-dev)";
#else
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    Program p;
    p.li(a0, kData).li(t8, 0x7FFFFFFF).li(t9, 0x80000000).li(t1, 0x80000101).li(t4, 0x80000102);
    p.li(v0, 1).li(t2, 0x5E17).li(t3, 0xACE);
    for (uint32_t word : c.words) p.word(word);
    p.finish();
    const Outcome ours = run_reference(p);
    ASSERT_EQ(ours.error, "");
    const Outcome theirs = run_unicorn(with_handler(p), p.base(), c.fetch_fault_at);
    ASSERT_EQ(theirs.error, "");
    EXPECT_EQ(ours.exc_code, theirs.exc_code);
    EXPECT_EQ(ours.epc, theirs.epc);
    EXPECT_EQ(ours.bd, theirs.bd);
    EXPECT_TRUE(ours.state == theirs.state);
    for (unsigned reg = 1; reg < 32; ++reg) EXPECT_EQ(ours.state.regs[reg], theirs.state.regs[reg]) << reg;
    EXPECT_EQ(ours.state.hi, theirs.state.hi);
    EXPECT_EQ(ours.state.lo, theirs.state.lo);
    EXPECT_EQ(ours.state.data, theirs.state.data);
  }
#endif
}

}  // namespace
}  // namespace r3k::sim::test
