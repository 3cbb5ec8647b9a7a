// Code shapes every supplement routine writes with, so that no instruction
// outside the one a case tests reads a register written by one of the
// instructions just before it (as many as the supplement's frame keeps
// apart): a processor that lost a bypass path then fails the forwarding
// routines, and the report still names them.
#pragma once

#include <cstdint>
#include <vector>

#include "asm/assembler.h"
#include "image/frame.h"
#include "routine/routine.h"
#include "isa/isa.h"

namespace r3k::supplement {

// How many instructions stand between a write and its first read.
inline constexpr int kReadGap = frame_gap(frame_style_of(ImageKind::supplement));

// Constants and addresses loaded together: every first instruction, then
// every second one, with nops wherever a second instruction would follow
// the first of the same register too closely, and kReadGap nops at the
// end, so the next instruction may read any of them.
class LoadBlock {
 public:
  LoadBlock& value(isa::Reg reg, uint32_t value);
  LoadBlock& address(isa::Reg reg, assembly::Label label, int32_t addend = 0);
  void emit(assembly::Assembler& as) const;

 private:
  struct Load {
    isa::Reg reg;
    uint32_t value;
    bool is_address;
    assembly::Label label;
    int32_t addend;
  };
  std::vector<Load> loads_;
};

// kReadGap nops: what stands between a result and the first instruction
// that reads it.
void read_gap(assembly::Assembler& as);

// `bne reg, expected, inst_error` and its slot. The caller has made sure
// neither register was written by the kReadGap instructions before.
void fail_unless_equal(RoutineContext& routine, isa::Reg reg, isa::Reg expected);

// Words of RAM a routine may use, distinct within the routine: each routine
// has its own 4 KiB block above the data section.
class ScratchWords {
 public:
  explicit ScratchWords(int routine_number);
  uint32_t next();

 private:
  uint32_t next_;
  uint32_t end_;
};

// A full-width random word that is neither zero nor in `avoid`.
uint32_t nonzero_word(Random& random, std::initializer_list<uint32_t> avoid = {});

}  // namespace r3k::supplement
