// The start code: reset vector, loops, filler blocks and the test driver.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "asm/assembler.h"
#include "image/frame.h"
#include "image/image.h"
#include "board/layout.h"

namespace r3k {

// Writes the start code from 0xBFC00000 to 0xBFC0087F. `routines` are the
// entry labels of the 68 routines in run order, bound later by the caller.
// Returns the local labels of the start code with their addresses.
std::vector<StartLabel> emit_start_code(assembly::Assembler& as, std::span<const assembly::Label> routines);

// The part every image on the board shares: the reset jump to `locate`, the
// filler blocks, the end loop (bound to `test_finish`) at 0xBFC00100 and the
// exception loop at 0xBFC00380; it ends at 0xBFC0038C.
// With a `handler`, the exception loop is not there: the R3000's vector
// (0xBFC00180) sets $k1 to 0x180 and runs into the handler, written at
// 0xBFC00184, and the board's (0xBFC00380) jumps to it with $k1 0x380.
void emit_reset_and_loops(assembly::Assembler& as, assembly::Label locate, assembly::Label test_finish,
                          void (*handler)(assembly::Assembler&) = nullptr);

// The driver's pieces. locate lights the start pattern and clears the display,
// the pass count and the test number; test_end lights the verdict (pass when
// all `routine_count` routines passed) and jumps to `test_finish`; wait_1s is
// the pause between routines. The robust and spaced styles put their gap
// (frame_gap) between a write and its first read.
void emit_locate(assembly::Assembler& as, FrameStyle style = FrameStyle::plain);
void emit_test_end(assembly::Assembler& as, assembly::Label test_finish, int routine_count, FrameStyle style);
void emit_wait_1s(assembly::Assembler& as, FrameStyle style);

// The start code of an image whose driver follows locate: the shared reset
// and loops (with `handler`, if any, at the vectors), locate in
// `locate_style`, `set_up` (if any), one jal pair per routine (inst_test),
// test_end and wait_1s in `style`. Returns the start labels.
struct DriverPlan {
  FrameStyle style = FrameStyle::robust;
  FrameStyle locate_style = FrameStyle::plain;
  void (*handler)(assembly::Assembler&) = nullptr;
  void (*set_up)(assembly::Assembler&) = nullptr;
};
std::vector<StartLabel> emit_driver_start(assembly::Assembler& as, std::span<const assembly::Label> routines,
                                          const DriverPlan& plan);

// The blocks of the start code in address order, from the reset vector to
// the word before the first routine, as a listing names them. The driver's
// pieces are found by the image's start labels, so the supplement's longer
// or shorter driver is named right too.
struct StartBlock {
  std::string_view name;  // "reset vector", "filler block", "locate", ...
  uint32_t address = 0;
  uint32_t end = 0;  // one past the last byte
};
std::vector<StartBlock> start_code_blocks(const Image& image);

// The five-word block that stands where a processor that runs past the reset
// jump or the end loop would fetch next. It stores nothing.
void emit_filler_block(assembly::Assembler& as);

}  // namespace r3k
