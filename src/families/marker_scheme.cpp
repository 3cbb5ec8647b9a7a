#include "families/marker_scheme.h"

namespace r3k::markers {

using namespace isa;  // register names

bool takes_two_instructions(uint32_t value) { return assembly::constant_load_length(value) == 2; }

uint32_t draw_two_instruction_word(Random& random) {
  for (;;) {
    const uint32_t value = random.word();
    if (takes_two_instructions(value)) return value;
  }
}

uint32_t draw_two_instruction_word(Random& random, bool negative) {
  for (;;) {
    const uint32_t value = draw_two_instruction_word(random);
    if ((value >> 31 != 0) == negative) return value;
  }
}

uint32_t MarkerDraw::next() {
  for (;;) {
    const uint32_t marker = draw_two_instruction_word(random_);
    if (used_.insert(marker).second) return marker;
  }
}

uint32_t MarkerDraw::next_upper_only() {
  for (;;) {
    // Any non-zero high half lies outside the signed 16-bit range, 0xFFFF
    // included (0xFFFF0000 is below -0x8000).
    const uint32_t marker = random_.word() & 0xFFFF0000;
    if (marker != 0 && used_.insert(marker).second) return marker;
  }
}

void clear_outcome(assembly::Assembler& as, OutcomeClear how) {
  for (const Reg reg : {kFirstMarker, kSecondMarker}) {
    if (how == OutcomeClear::lui) as.lui(reg, 0);
    else as.li(reg, 0);
  }
}

void load_expected_markers(assembly::Assembler& as, uint32_t first, uint32_t second) {
  as.li(kExpectedFirst, first);
  as.li(kExpectedSecond, second);
}

void check_equal(assembly::Assembler& as, Reg actual, Reg expected, assembly::Label inst_error) {
  as.bne(actual, expected, inst_error);
  as.nop();
}

void check_markers(assembly::Assembler& as, uint32_t first, uint32_t second, assembly::Label inst_error) {
  load_expected_markers(as, first, second);
  check_equal(as, kFirstMarker, kExpectedFirst, inst_error);
  check_equal(as, kSecondMarker, kExpectedSecond, inst_error);
}

}  // namespace r3k::markers
