#include "image/start.h"

#include "common/hex.h"
#include <string>
#include <stdexcept>

#include "board/board.h"

namespace r3k {
namespace {

using namespace isa;  // register names
using assembly::Assembler;
using assembly::Label;

// The start code's addresses are fixed; this checks that the code before
// each piece came out at exactly the right length.
void expect_at(const Assembler& as, uint32_t address, const char* what) {
  if (as.here() != address)
    throw std::logic_error("start code: " + std::string(what) + " at " + hex(as.here(), {.upper = true}) +
                           " instead of " + hex(address, {.upper = true}));
}

// The style's independent instructions between a write and its first read.
void gap(Assembler& as, FrameStyle style) {
  for (int i = 0; i < frame_gap(style); ++i) as.nop();
}

// An endless three-instruction loop that counts its passes in $t0.
void emit_loop(Assembler& as) {
  Label self = as.make_label();
  as.bind(self);
  as.addiu(t0, t0, 1);
  as.b(self);
  as.nop();
}

// An image with a handler has the vectors and the handler where the others
// have zero words and the exception loop.
void name_vectors(const Image& image, std::vector<StartBlock>& blocks) {
  uint32_t handler_end = layout::kExceptionLoop;
  while (handler_end > layout::kExceptionHandler && image.word_at(handler_end - 4) == 0) handler_end -= 4;
  std::vector<StartBlock> named;
  for (const StartBlock& block : blocks) {
    if (block.address == layout::kExceptionLoop) {
      named.push_back({"exception vector (board)", block.address, block.end});
    } else if (block.address < layout::kBootVector && block.end > layout::kBootVector) {
      named.push_back({block.name, block.address, layout::kBootVector});
      named.push_back({"exception vector (R3000)", layout::kBootVector, layout::kExceptionHandler});
      named.push_back({"exception_handler", layout::kExceptionHandler, handler_end});
      named.push_back({block.name, handler_end, block.end});
    } else {
      named.push_back(block);
    }
  }
  blocks = std::move(named);
}

}  // namespace

void emit_locate(Assembler& as, FrameStyle style) {
  // Spaced, the test number is cleared first: the first routine's entry
  // reads it three instructions after the end of locate.
  const bool spaced = style == FrameStyle::spaced;
  if (spaced) as.lui(board::kTestNumber, 0);
  as.li(a0, board::kStatusLampB);
  as.li(a1, board::kStatusLampA);
  as.li(a2, board::kLampBank);
  as.li(board::kDisplayAddress, board::kResultDisplay);
  as.li(t1, board::kStartLamps.status_b);
  as.li(t2, board::kStartLamps.status_a);
  as.li(t3, board::kStartLamps.bank);
  as.lui(board::kPassCount, 0);  // lui, not the constant load
  as.sw(t1, 0, a0);
  as.sw(t2, 0, a1);
  as.sw(t3, 0, a2);
  as.sw(board::kPassCount, 0, board::kDisplayAddress);  // the display starts at 0
  if (!spaced) as.lui(board::kTestNumber, 0);
}

// One register writes both status lamps of the verdict; a fail also darkens
// the lamp bank, a pass leaves it as the start pattern lit it.
static_assert(board::kFailLamps.status_a == board::kFailLamps.status_b && board::kFailLamps.bank == 0);
static_assert(board::kPassLamps.status_a == board::kPassLamps.status_b &&
              board::kPassLamps.bank == board::kStartLamps.bank);

void emit_test_end(Assembler& as, Label test_finish, int routine_count, FrameStyle style) {
  // Spaced, each register is loaded first so that three instructions stand
  // between it and its store.
  const bool spaced = style == FrameStyle::spaced;
  Label pass = as.make_label(), end = as.make_label();
  as.li(s0, static_cast<uint32_t>(routine_count));
  gap(as, style);
  as.beq(s0, board::kPassCount, pass);
  as.nop();
  if (spaced) as.li(t1, board::kFailLamps.status_a);
  as.li(a0, board::kLampBank);
  as.li(a1, board::kStatusLampB);
  as.li(a2, board::kStatusLampA);
  if (spaced) as.nop();
  else as.li(t1, board::kFailLamps.status_a);
  as.sw(zero, 0, a0);
  as.sw(t1, 0, a1);
  as.sw(t1, 0, a2);
  as.b(end);
  as.nop();
  as.bind(pass);
  as.li(t1, board::kPassLamps.status_a);
  as.li(a0, board::kStatusLampB);
  as.li(a1, board::kStatusLampA);
  if (spaced) as.nop(), as.nop();
  as.sw(t1, 0, a0);
  as.sw(t1, 0, a1);
  as.bind(end);
  as.j(test_finish);
  as.nop();
}

// With the flag zero the count starts at 0x200001; with any other value at 1.
// The loop decrements before it tests, so it runs at least once.
void emit_wait_1s(Assembler& as, FrameStyle style) {
  Label count = as.make_label(), loop = as.make_label();
  as.li(t1, board::kQuickRunFlag);
  as.lui(t0, 0);
  if (style == FrameStyle::spaced) as.nop(), as.nop();  // with the lui, three after the li
  as.lw(t2, 0, t1);
  gap(as, style);
  as.bnez(t2, count);
  as.nop();
  as.lui(t0, static_cast<uint16_t>(layout::kPauseCount >> 16));
  as.bind(count);
  gap(as, style);
  as.addiu(t0, t0, 1);
  gap(as, style);
  as.bind(loop);
  as.addiu(t0, t0, -1);
  gap(as, style);
  as.bnez(t0, loop);
  as.nop();
  as.jr(ra);
  as.nop();
}

std::vector<StartBlock> start_code_blocks(const Image& image) {
  constexpr uint32_t kFiller = 5 * 4, kLoop = 3 * 4;
  std::vector<StartBlock> blocks = {
      {"reset vector", layout::kResetVector, layout::kResetVector + 8},
      {"filler block", layout::kResetVector + 8, layout::kResetVector + 8 + kFiller},
      {"zero words", layout::kResetVector + 8 + kFiller, layout::kEndLoop - kFiller},
      {"filler block", layout::kEndLoop - kFiller, layout::kEndLoop},
      {"test_finish (end loop)", layout::kEndLoop, layout::kEndLoop + kLoop},
      {"filler block", layout::kEndLoop + kLoop, layout::kEndLoop + kLoop + kFiller},
      {"zero words", layout::kEndLoop + kLoop + kFiller, layout::kExceptionLoop},
      {"exception loop", layout::kExceptionLoop, layout::kExceptionLoop + kLoop},
  };
  // The driver's pieces follow in this order; where they lie depends on how
  // many routines the driver calls.
  const auto address_of = [&](std::string_view name) {
    for (const StartLabel& label : image.start_labels)
      if (label.name == name) return label.address;
    throw std::logic_error("the image has no start label " + std::string(name));
  };
  if (image.kind == ImageKind::exceptions) name_vectors(image, blocks);
  static constexpr std::string_view kPieces[] = {"locate", "inst_test", "test_end", "wait_1s"};
  for (size_t i = 0; i + 1 < std::size(kPieces); ++i)
    blocks.push_back({kPieces[i], address_of(kPieces[i]), address_of(kPieces[i + 1])});
  // wait_1s ends with jr $ra and its slot; zero words pad up to the first routine.
  const uint32_t first_routine = image.routines.empty() ? image.text_end() : image.routines.front().address;
  uint32_t wait_end = address_of("wait_1s");
  while (wait_end < first_routine && isa::decode(image.word_at(wait_end)) != isa::Op::jr) wait_end += 4;
  wait_end = std::min(wait_end + 8, first_routine);
  blocks.push_back({"wait_1s", address_of("wait_1s"), wait_end});
  if (wait_end < first_routine)
    blocks.push_back({first_routine - wait_end == 4 ? "zero word" : "zero words", wait_end, first_routine});
  return blocks;
}

void emit_filler_block(Assembler& as) {
  as.lui(t0, 0x8000);
  as.addiu(t1, t1, 1);
  as.or_(t2, t0, zero);
  as.addu(t3, t5, t6);
  as.lw(t4, 0, t0);
}

void emit_reset_and_loops(Assembler& as, Label locate, Label test_finish, void (*handler)(Assembler&)) {
  expect_at(as, layout::kResetVector, "reset vector");
  as.j(locate);
  as.nop();
  emit_filler_block(as);
  as.zero_words(52);
  emit_filler_block(as);
  expect_at(as, layout::kEndLoop, "end loop");
  as.bind(test_finish);
  emit_loop(as);
  emit_filler_block(as);
  if (!handler) {
    as.zero_words(152);
    expect_at(as, layout::kExceptionLoop, "exception loop");
    emit_loop(as);
    return;
  }
  // Both general vectors a core with BEV = 1 may use lead to the handler,
  // each saying in $k1 which one it was.
  as.zero_words(24);
  expect_at(as, layout::kBootVector, "R3000 exception vector");
  as.addiu(k1, zero, static_cast<int16_t>(layout::kBootVector & 0xFFFF));
  expect_at(as, layout::kExceptionHandler, "exception handler");
  handler(as);
  if (as.here() > layout::kExceptionLoop) throw std::logic_error("start code: the exception handler is too long");
  as.zero_words((layout::kExceptionLoop - as.here()) / 4);
  as.jump_absolute(isa::Op::j, layout::kExceptionHandler);
  as.addiu(k1, zero, static_cast<int16_t>(layout::kExceptionLoop & 0xFFFF));
  as.nop();
}

std::vector<StartLabel> emit_start_code(Assembler& as, std::span<const Label> routines) {
  if (routines.size() != layout::kRoutineCount) throw std::logic_error("the start code calls 68 routines");
  Label locate = as.make_label(), test_finish = as.make_label(), inst_test = as.make_label(),
        test_end = as.make_label(), wait_1s = as.make_label();
  emit_reset_and_loops(as, locate, test_finish);

  expect_at(as, layout::kLocate, "locate");
  as.bind(locate);
  emit_locate(as);

  expect_at(as, layout::kInstTest, "inst_test");
  as.bind(inst_test);
  for (const Label& routine : routines) {
    as.jal(routine);
    as.nop();
    as.jal(wait_1s);
    as.nop();
  }

  expect_at(as, layout::kTestEnd, "test_end");
  as.bind(test_end);
  emit_test_end(as, test_finish, layout::kRoutineCount, FrameStyle::plain);

  expect_at(as, layout::kWait1s, "wait_1s");
  as.bind(wait_1s);
  emit_wait_1s(as, FrameStyle::plain);
  as.word(0);
  expect_at(as, layout::kFirstRoutine, "first routine");

  return {{"test_finish", layout::kEndLoop},
          {"locate", layout::kLocate},
          {"inst_test", layout::kInstTest},
          {"test_end", layout::kTestEnd},
          {"wait_1s", layout::kWait1s}};
}

std::vector<StartLabel> emit_driver_start(Assembler& as, std::span<const Label> routines, const DriverPlan& plan) {
  const Label locate = as.make_label(), test_finish = as.make_label(), inst_test = as.make_label(),
              test_end = as.make_label(), wait_1s = as.make_label();
  emit_reset_and_loops(as, locate, test_finish, plan.handler);
  std::vector<StartLabel> labels = {{"test_finish", layout::kEndLoop}};
  if (plan.handler) labels.push_back({"exception_handler", layout::kExceptionHandler});
  auto bind = [&](Label label, const char* name) {
    as.bind(label);
    labels.push_back({name, as.here()});
  };
  bind(locate, "locate");
  emit_locate(as, plan.locate_style);
  if (plan.set_up) plan.set_up(as);
  bind(inst_test, "inst_test");
  for (const Label& routine : routines) {
    as.jal(routine);
    as.nop();
    as.jal(wait_1s);
    as.nop();
  }
  bind(test_end, "test_end");
  emit_test_end(as, test_finish, static_cast<int>(routines.size()), plan.style);
  bind(wait_1s, "wait_1s");
  emit_wait_1s(as, plan.style);
  return labels;
}

}  // namespace r3k
