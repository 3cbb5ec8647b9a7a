#include "image/build.h"

#include "board/board.h"

#include "image/frame.h"
#include "board/layout.h"
#include "image/run_order.h"
#include "image/start.h"

namespace r3k {

std::string_view image_name(ImageKind kind) {
  switch (kind) {
    case ImageKind::main: return "main image";
    case ImageKind::supplement: return "supplement";
    case ImageKind::exceptions: return "exceptions image";
  }
  return "image";
}

std::vector<uint8_t> Image::boot_bytes() const {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 4 + data.size());
  for (uint32_t word : text)
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(word >> shift));
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

namespace {

// The MIPS register-information record: general-register mask, four
// coprocessor masks, gp value. Nothing reads it.
void emit_register_usage(assembly::Assembler& as) {
  as.set_source({});
  as.word(layout::kRegisterUsageMask);
  as.zero_words(5);
}

}  // namespace

Image build_image(uint32_t seed) { return build_image(seed, {run_order(), emit_start_code, frame_style_of(ImageKind::main)}); }

Image build_image(uint32_t seed, const ImagePlan& plan) {
  Image image;
  image.kind = plan.kind;
  image.seed = seed;
  image.text_base = layout::kResetVector;
  image.files.push_back("start.S");

  assembly::Assembler as(layout::kResetVector);
  std::vector<assembly::Label> entries(plan.routines.size());
  for (auto& entry : entries) entry = as.make_label();

  image.start_labels = plan.start(as, entries);
  // One start.S line per start-code word.
  const size_t start_words = as.words().size();

  // Routines are linked in run order; each starts on a 16-byte boundary.
  for (size_t i = 0; i < plan.routines.size(); ++i) {
    const RoutineSpec& spec = plan.routines[i];
    as.set_source({});
    as.align(layout::kRoutineAlignment);
    const auto file = static_cast<uint16_t>(image.files.size());
    image.files.push_back(board::routine_file_name(spec.name));
    Random random(seed, static_cast<uint32_t>(spec.number));
    image.routines.push_back(emit_routine(as, entries[i], spec, random, file, &image.cases, plan.frame));
  }
  emit_register_usage(as);
  as.finish();

  image.text = as.words();
  image.lines = as.locs();
  image.statements = as.statements();
  for (size_t i = 0; i < start_words; ++i) image.lines[i] = {0, static_cast<uint32_t>(i + 1)};
  image.data.assign(layout::kDataSize, 0);
  return image;
}

}  // namespace r3k
