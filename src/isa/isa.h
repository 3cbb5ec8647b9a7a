// The MIPS-I integer instruction set, written once.
//
// Every instruction is one row of R3K_INSTRUCTIONS. The encoder, the decoder,
// the disassembler and the simulator's dispatch all work from this table; the
// bit layout and operand syntax of each format are defined once, in isa.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace r3k::isa {

// Field positions of a MIPS-I instruction word.
inline constexpr uint32_t kOpcodeShift = 26, kRsShift = 21, kRtShift = 16, kRdShift = 11, kSaShift = 6;
inline constexpr uint32_t kFunctBits = 0x3F;

// Primary opcode values that select a secondary field.
inline constexpr uint32_t kSpecial = 0x00;  // funct field selects
inline constexpr uint32_t kRegimm = 0x01;   // rt field selects
inline constexpr uint32_t kCop0 = 0x10;     // rs field selects (and funct, for a coprocessor operation)

// The secondary value of a COP0 row: its rs field and, for an operation of
// the coprocessor (rs 0x10, the CO bit), its funct field.
constexpr uint32_t cop0_select(uint32_t rs, uint32_t funct = 0) { return rs | funct << 8; }

// Instruction formats. Each names the fields it uses; every field it does not
// use must be zero in a valid encoding.
enum class Format : uint8_t {
  RegisterAlu,     // op rd, rs, rt            (SPECIAL, funct)
  ShiftImmediate,  // op rd, rt, sa            (SPECIAL, funct)
  ShiftVariable,   // op rd, rt, rs            (SPECIAL, funct)
  MultiplyDivide,  // op rs, rt                (SPECIAL, funct)
  MoveFromHiLo,    // op rd                    (SPECIAL, funct)
  MoveToHiLo,      // op rs                    (SPECIAL, funct)
  JumpRegister,    // op rs                    (SPECIAL, funct)
  JumpLinkRegister,// op rd, rs                (SPECIAL, funct)
  Trap,            // op [code]                (SPECIAL, funct; 20-bit code)
  ImmediateSigned, // op rt, rs, simm16
  ImmediateUnsigned,// op rt, rs, uimm16
  LoadUpper,       // op rt, uimm16
  BranchCompare,   // op rs, rt, offset
  BranchZero,      // op rs, offset            (rt must be 0)
  BranchRegimm,    // op rs, offset            (REGIMM, rt selects)
  Jump,            // op target26
  Memory,          // op rt, offset(rs)
  MoveFromCop0,    // op rt, rd                (COP0, rs selects; rd names the coprocessor register)
  MoveToCop0,      // op rt, rd                (COP0, rs selects)
  Cop0Operation,   // op                       (COP0 with CO set, funct selects)
};

// The operands of each format in assembler order, declared once: the
// disassembler and the GNU assembler sources both write them from this list,
// each in its own way with numbers and addresses.
enum class Operand : uint8_t {
  rd, rs, rt,
  shift_amount,        // sa
  signed_immediate,    // the 16-bit field read signed
  unsigned_immediate,  // the 16-bit field read unsigned (lui's too)
  branch_target,
  jump_target,
  code,                // syscall's and break's 20-bit code: written only when not 0
  memory,              // offset(rs)
  cop0_register,       // the rd field, naming a coprocessor-0 register
};
struct Operands {
  std::array<Operand, 3> list{};
  uint8_t count = 0;
  constexpr const Operand* begin() const { return list.data(); }
  constexpr const Operand* end() const { return list.data() + count; }
};
constexpr Operands operands_of(Format format) {
  using enum Operand;
  switch (format) {
    case Format::RegisterAlu: return {{rd, rs, rt}, 3};
    case Format::ShiftImmediate: return {{rd, rt, shift_amount}, 3};
    case Format::ShiftVariable: return {{rd, rt, rs}, 3};
    case Format::MultiplyDivide: return {{rs, rt}, 2};
    case Format::MoveFromHiLo: return {{rd}, 1};
    case Format::MoveToHiLo:
    case Format::JumpRegister: return {{rs}, 1};
    case Format::JumpLinkRegister: return {{rd, rs}, 2};
    case Format::Trap: return {{code}, 1};
    case Format::ImmediateSigned: return {{rt, rs, signed_immediate}, 3};
    case Format::ImmediateUnsigned: return {{rt, rs, unsigned_immediate}, 3};
    case Format::LoadUpper: return {{rt, unsigned_immediate}, 2};
    case Format::BranchCompare: return {{rs, rt, branch_target}, 3};
    case Format::BranchZero:
    case Format::BranchRegimm: return {{rs, branch_target}, 2};
    case Format::Jump: return {{jump_target}, 1};
    case Format::Memory: return {{rt, memory}, 2};
    case Format::MoveFromCop0:
    case Format::MoveToCop0: return {{rt, cop0_register}, 2};
    case Format::Cop0Operation: return {};
  }
  return {};
}

// How a 16-bit immediate, or a loaded byte or halfword, becomes 32 bits.
enum class Extension : uint8_t { none, sign, zero };

// What an instruction does with memory. A merging load (lwl, lwr) keeps part
// of its destination's old value, so it reads that register as well.
enum class MemoryAccess : uint8_t { none, load, merging_load, store };

// Which register an instruction writes: the one its rd or rt field names,
// the link register $ra (jal, bltzal, bgezal), or none (stores, branches,
// jumps without a link, multiply, divide, moves to HI and LO, traps).
enum class Destination : uint8_t { none, rd, rt, ra };

// HI and LO as a set: which of them an instruction reads or writes.
enum HiLo : uint8_t { kNoHiLo = 0, kHi = 1, kLo = 2, kHiAndLo = 3 };

// The attributes of a row that its format does not fix.
struct Attributes {
  MemoryAccess memory = MemoryAccess::none;
  uint8_t width = 0;                      // bytes of memory a load or store moves (lwl ... swr: 4)
  Extension widen = Extension::none;      // how a byte or halfword load fills the register
  bool links = false;                     // writes the return address
  HiLo reads_hilo = kNoHiLo;              // mfhi, mflo
  HiLo writes_hilo = kNoHiLo;             // mthi, mtlo, multiply and divide
};
inline constexpr Attributes kPlain{};
inline constexpr Attributes kLinks{.links = true};
inline constexpr Attributes kReadsHi{.reads_hilo = kHi}, kReadsLo{.reads_hilo = kLo};
inline constexpr Attributes kWritesHi{.writes_hilo = kHi}, kWritesLo{.writes_hilo = kLo};
inline constexpr Attributes kWritesHiAndLo{.writes_hilo = kHiAndLo};
inline constexpr Attributes kMergingLoad{.memory = MemoryAccess::merging_load, .width = 4};
constexpr Attributes load(uint8_t width, Extension widen) {
  return {.memory = MemoryAccess::load, .width = width, .widen = widen};
}
constexpr Attributes store(uint8_t width) { return {.memory = MemoryAccess::store, .width = width}; }

// X(enumerator, mnemonic, format, primary opcode, secondary value, attributes)
// The secondary value is the funct field for SPECIAL rows, the rt field for
// REGIMM rows, cop0_select(rs, funct) for COP0 rows, and unused (0) otherwise.
#define R3K_INSTRUCTIONS(X)                                                    \
  X(sll, "sll", ShiftImmediate, kSpecial, 0x00, kPlain)                    \
  X(srl, "srl", ShiftImmediate, kSpecial, 0x02, kPlain)                    \
  X(sra, "sra", ShiftImmediate, kSpecial, 0x03, kPlain)                    \
  X(sllv, "sllv", ShiftVariable, kSpecial, 0x04, kPlain)                   \
  X(srlv, "srlv", ShiftVariable, kSpecial, 0x06, kPlain)                   \
  X(srav, "srav", ShiftVariable, kSpecial, 0x07, kPlain)                   \
  X(jr, "jr", JumpRegister, kSpecial, 0x08, kPlain)                        \
  X(jalr, "jalr", JumpLinkRegister, kSpecial, 0x09, kLinks)                \
  X(syscall, "syscall", Trap, kSpecial, 0x0C, kPlain)                      \
  X(break_, "break", Trap, kSpecial, 0x0D, kPlain)                         \
  X(mfhi, "mfhi", MoveFromHiLo, kSpecial, 0x10, kReadsHi)                  \
  X(mthi, "mthi", MoveToHiLo, kSpecial, 0x11, kWritesHi)                   \
  X(mflo, "mflo", MoveFromHiLo, kSpecial, 0x12, kReadsLo)                  \
  X(mtlo, "mtlo", MoveToHiLo, kSpecial, 0x13, kWritesLo)                   \
  X(mult, "mult", MultiplyDivide, kSpecial, 0x18, kWritesHiAndLo)          \
  X(multu, "multu", MultiplyDivide, kSpecial, 0x19, kWritesHiAndLo)        \
  X(div, "div", MultiplyDivide, kSpecial, 0x1A, kWritesHiAndLo)            \
  X(divu, "divu", MultiplyDivide, kSpecial, 0x1B, kWritesHiAndLo)          \
  X(add, "add", RegisterAlu, kSpecial, 0x20, kPlain)                       \
  X(addu, "addu", RegisterAlu, kSpecial, 0x21, kPlain)                     \
  X(sub, "sub", RegisterAlu, kSpecial, 0x22, kPlain)                       \
  X(subu, "subu", RegisterAlu, kSpecial, 0x23, kPlain)                     \
  X(and_, "and", RegisterAlu, kSpecial, 0x24, kPlain)                      \
  X(or_, "or", RegisterAlu, kSpecial, 0x25, kPlain)                        \
  X(xor_, "xor", RegisterAlu, kSpecial, 0x26, kPlain)                      \
  X(nor, "nor", RegisterAlu, kSpecial, 0x27, kPlain)                       \
  X(slt, "slt", RegisterAlu, kSpecial, 0x2A, kPlain)                       \
  X(sltu, "sltu", RegisterAlu, kSpecial, 0x2B, kPlain)                     \
  X(bltz, "bltz", BranchRegimm, kRegimm, 0x00, kPlain)                     \
  X(bgez, "bgez", BranchRegimm, kRegimm, 0x01, kPlain)                     \
  X(bltzal, "bltzal", BranchRegimm, kRegimm, 0x10, kLinks)                 \
  X(bgezal, "bgezal", BranchRegimm, kRegimm, 0x11, kLinks)                 \
  X(j, "j", Jump, 0x02, 0, kPlain)                                         \
  X(jal, "jal", Jump, 0x03, 0, kLinks)                                     \
  X(beq, "beq", BranchCompare, 0x04, 0, kPlain)                            \
  X(bne, "bne", BranchCompare, 0x05, 0, kPlain)                            \
  X(blez, "blez", BranchZero, 0x06, 0, kPlain)                             \
  X(bgtz, "bgtz", BranchZero, 0x07, 0, kPlain)                             \
  X(addi, "addi", ImmediateSigned, 0x08, 0, kPlain)                        \
  X(addiu, "addiu", ImmediateSigned, 0x09, 0, kPlain)                      \
  X(slti, "slti", ImmediateSigned, 0x0A, 0, kPlain)                        \
  X(sltiu, "sltiu", ImmediateSigned, 0x0B, 0, kPlain)                      \
  X(andi, "andi", ImmediateUnsigned, 0x0C, 0, kPlain)                      \
  X(ori, "ori", ImmediateUnsigned, 0x0D, 0, kPlain)                        \
  X(xori, "xori", ImmediateUnsigned, 0x0E, 0, kPlain)                      \
  X(lui, "lui", LoadUpper, 0x0F, 0, kPlain)                                \
  X(lb, "lb", Memory, 0x20, 0, load(1, Extension::sign))                       \
  X(lh, "lh", Memory, 0x21, 0, load(2, Extension::sign))                       \
  X(lwl, "lwl", Memory, 0x22, 0, kMergingLoad)                             \
  X(lw, "lw", Memory, 0x23, 0, load(4, Extension::none))                       \
  X(lbu, "lbu", Memory, 0x24, 0, load(1, Extension::zero))                     \
  X(lhu, "lhu", Memory, 0x25, 0, load(2, Extension::zero))                     \
  X(lwr, "lwr", Memory, 0x26, 0, kMergingLoad)                             \
  X(sb, "sb", Memory, 0x28, 0, store(1))                                   \
  X(sh, "sh", Memory, 0x29, 0, store(2))                                   \
  X(swl, "swl", Memory, 0x2A, 0, store(4))                                 \
  X(sw, "sw", Memory, 0x2B, 0, store(4))                                   \
  X(swr, "swr", Memory, 0x2E, 0, store(4))                                 \
  X(mfc0, "mfc0", MoveFromCop0, kCop0, cop0_select(0x00), kPlain)          \
  X(mtc0, "mtc0", MoveToCop0, kCop0, cop0_select(0x04), kPlain)            \
  X(rfe, "rfe", Cop0Operation, kCop0, cop0_select(0x10, 0x10), kPlain)

enum class Op : uint8_t {
#define R3K_ENUMERATOR(name, ...) name,
  R3K_INSTRUCTIONS(R3K_ENUMERATOR)
#undef R3K_ENUMERATOR
  invalid,  // an encoding that matches no row: reserved instruction
};

inline constexpr int kOpCount = static_cast<int>(Op::invalid);

// What an instruction reads: the registers its rs and rt fields name, HI, LO.
// (A store reads rt for the value it stores; a merging load, for the bytes
// it keeps.)
struct Reads {
  bool rs = false, rt = false, hi = false, lo = false;
};

struct OpInfo {
  std::string_view mnemonic;
  Format format;
  uint32_t match;  // encoding bits that identify the row
  uint32_t mask;   // which bits of an encoding `match` fixes
  Attributes attributes;
  Extension immediate;      // how the 16-bit immediate or offset is widened (lui: none, it is shifted)
  Destination destination;  // the general register the instruction writes
  Reads reads;

  bool writes_hi() const { return attributes.writes_hilo & kHi; }
  bool writes_lo() const { return attributes.writes_hilo & kLo; }

  bool is_load() const { return attributes.memory == MemoryAccess::load || is_merging_load(); }
  bool is_merging_load() const { return attributes.memory == MemoryAccess::merging_load; }
  bool is_store() const { return attributes.memory == MemoryAccess::store; }
  bool links() const { return attributes.links; }
};

const OpInfo& info(Op op);
std::optional<Op> op_from_mnemonic(std::string_view mnemonic);

// The register-register instruction an immediate one is a form of (addu
// for addiu); `op` itself for any other.
Op register_form(Op op);
// The function the ALU or shifter computes for `op`, whatever the form of
// its operands and whether it traps on overflow (add for addiu, sll for sllv).
Op function_of(Op op);
// The unit an instruction runs in, as a number: instructions of one unit
// share its logic, so a wrong select line or decode swaps one for another
// (the immediate ALU forms, the branches on one register, the stores).
int unit_of(Op op);
// The block of the execute stage that computes an ALU or shift result (the
// adder, the logic unit, the comparator, the shifter), as a number; for
// other instructions, their unit. A result mux input or a bypass tap goes
// wrong for one block's outputs.
int block_of(Op op);

// Register numbers, o32 names.
enum Reg : uint8_t {
  zero, at, v0, v1, a0, a1, a2, a3,
  t0, t1, t2, t3, t4, t5, t6, t7,
  s0, s1, s2, s3, s4, s5, s6, s7,
  t8, t9, k0, k1, gp, sp, fp, ra,
};
std::string_view reg_name(unsigned number);  // "$t0"

// The coprocessor 0 registers of the R3000 that this system has (no TLB:
// Index, Random, EntryLo, Context and EntryHi are absent).
enum Cop0Reg : uint8_t { kBadVAddr = 8, kStatus = 12, kCause = 13, kEpc = 14, kPrid = 15 };
// As GNU objdump names them for the R3000 ("c0_sr", "c0_epc"), "$N" for a
// number it has no name for.
std::string cop0_reg_name(unsigned number);

// The fields of one instruction. Which ones matter depends on the format.
struct Fields {
  uint8_t rs = 0, rt = 0, rd = 0, sa = 0;
  uint16_t imm = 0;      // 16-bit immediate or branch offset (raw bits)
  uint32_t target = 0;   // 26-bit jump target field (word index)
  uint32_t code = 0;     // 20-bit code of syscall and break
};

uint32_t encode(Op op, const Fields& fields);

inline Fields fields_of(uint32_t word) {
  Fields f;
  f.rs = (word >> kRsShift) & 31;
  f.rt = (word >> kRtShift) & 31;
  f.rd = (word >> kRdShift) & 31;
  f.sa = (word >> kSaShift) & 31;
  f.imm = word & 0xFFFF;
  f.target = word & 0x03FFFFFF;
  f.code = (word >> 6) & 0xFFFFF;
  return f;
}

namespace detail {
// The instruction table turned round for decoding: one 64-entry table per
// selector (the primary opcode, then the funct or rt field for SPECIAL and
// REGIMM), and each row's match and mask (Op::invalid's match nothing but
// the words that already decode to it).
struct DecodeTables {
  std::array<Op, 64> primary, special, regimm;
  std::array<Op, 32> cop0;
  std::array<uint32_t, kOpCount + 1> match, mask;
};
extern const DecodeTables kDecodeTables;
}  // namespace detail

// The row a word is, or Op::invalid if no row matches. Inline: the simulator
// decodes every instruction it reaches once, and a quick run reaches most of
// the image once.
inline Op decode(uint32_t word) {
  const detail::DecodeTables& tables = detail::kDecodeTables;
  const uint32_t opcode = word >> kOpcodeShift;
  const Op op = opcode == kSpecial  ? tables.special[word & kFunctBits]
                : opcode == kRegimm ? tables.regimm[(word >> kRtShift) & 31]
                : opcode == kCop0   ? tables.cop0[(word >> kRsShift) & 31]
                                    : tables.primary[opcode];
  const auto row = static_cast<size_t>(op);
  return (word & tables.mask[row]) == tables.match[row] ? op : Op::invalid;
}

// Text of an instruction at `address`, in assembler syntax with o32 register
// names: "addiu $t1, $zero, -12", "beq $v0, $v1, 0xbfc00900".
std::string disassemble(uint32_t word, uint32_t address);

// Where a branch or jump at `address` goes.
inline uint32_t branch_target(uint32_t address, uint16_t offset) {
  return address + 4 + (static_cast<uint32_t>(static_cast<int16_t>(offset)) << 2);
}
inline uint32_t jump_target(uint32_t address, uint32_t target26) {
  return ((address + 4) & 0xF0000000) | ((target26 & 0x03FFFFFF) << 2);
}

inline constexpr bool is_branch(Format f) {
  return f == Format::BranchCompare || f == Format::BranchZero || f == Format::BranchRegimm;
}
// True for every instruction that has a delay slot.
bool has_delay_slot(Op op);

}  // namespace r3k::isa
