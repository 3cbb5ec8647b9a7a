#include "image/frame.h"

namespace r3k {

using namespace isa;  // register names

std::string routine_file_name(std::string_view routine_name) {
  std::string_view stem = routine_name;
  if (stem.ends_with("_test")) stem.remove_suffix(5);
  return "inst/" + std::string(stem) + ".S";
}

RoutineInfo emit_routine(assembly::Assembler& as, assembly::Label entry, const RoutineSpec& spec, Random& random,
                         uint16_t file) {
  RoutineContext context{as, random, spec, as.make_label(), file, 0};
  RoutineInfo info;
  info.number = spec.number;
  info.name = std::string(spec.name);
  info.file = file;

  as.set_source({file, 1});
  as.bind(entry);
  info.address = as.here();
  as.addiu(s0, s0, 1);   // test number
  as.li(s2, 0);          // error flag

  spec.cases(context);

  // The exit: a routine counts as passed only if it falls through all its
  // cases; a failing case branches straight to inst_error.
  as.set_source({file, static_cast<uint32_t>(context.cases + 2)});
  as.bnez(s2, context.inst_error);
  as.nop();
  as.addiu(s3, s3, 1);
  as.bind(context.inst_error);
  info.inst_error = as.here();
  as.sll(t1, s0, 24);
  as.or_(t0, t1, s3);
  as.sw(t0, 0, s1);
  as.jr(ra);
  as.nop();

  info.size = as.here() - info.address;
  info.cases = context.cases;
  return info;
}

}  // namespace r3k
