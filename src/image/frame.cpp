#include "image/frame.h"

#include "board/board.h"

namespace r3k {

using namespace isa;  // register names

RoutineInfo emit_routine(assembly::Assembler& as, assembly::Label entry, const RoutineSpec& spec, Random& random,
                         uint16_t file, std::vector<CaseRecord>* index, FrameStyle style) {
  RoutineContext context{as, random, spec, as.make_label(), file, index, 0};
  RoutineInfo info;
  info.number = spec.number;
  info.name = std::string(spec.name);
  info.op = spec.op;
  info.file = file;

  as.set_source({file, 1});
  as.bind(entry);
  info.address = as.here();
  as.addiu(board::kTestNumber, board::kTestNumber, 1);
  as.li(board::kErrorFlag, 0);

  spec.cases(context);
  context.close_case();

  // The exit: a routine counts as passed only if it falls through all its
  // cases; a failing case branches straight to inst_error.
  as.set_source({file, static_cast<uint32_t>(context.cases + 2)});
  as.bnez(board::kErrorFlag, context.inst_error);
  as.nop();
  as.addiu(board::kPassCount, board::kPassCount, 1);
  as.bind(context.inst_error);
  info.inst_error = as.here();
  as.sll(t1, board::kTestNumber, board::kTestNumberShift);
  for (int i = 0; i < frame_gap(style); ++i) as.nop();
  as.or_(t0, t1, board::kPassCount);
  for (int i = 0; i < frame_gap(style); ++i) as.nop();
  as.sw(t0, 0, board::kDisplayAddress);
  as.jr(ra);
  as.nop();

  info.size = as.here() - info.address;
  info.cases = context.cases;
  return info;
}

}  // namespace r3k
