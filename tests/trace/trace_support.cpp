#include "trace/trace_support.h"

#include <cstdio>
#include <sstream>

#include "isa/isa.h"
#include "sim/machine.h"
#include "sim/trace.h"
#include "support/image_run.h"

namespace r3k::test {

std::vector<std::string> trace_lines(const Image& image, const sim::Fault& fault) {
  std::string text;
  sim::TraceWriter writer([&text](const char* bytes, size_t size) { text.append(bytes, size); });
  sim::Machine machine(image.boot_bytes());
  sim::RunOptions options;
  options.fault = fault;
  options.max_instructions = kImageRunLimit;
  writer.finish(machine.run(options, writer));
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

const std::vector<std::string>& golden_trace() {
  static const std::vector<std::string> lines = trace_lines(default_image());
  return lines;
}

std::string join_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

trace::DiffOutcome diff_text(const std::string& text, std::optional<trace::TraceKeys> keys, bool writes_only) {
  std::FILE* file = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  trace::DesignTrace design(file, std::move(keys));
  sim::Machine machine(default_image().boot_bytes());
  trace::DiffOptions options;
  options.writes_only = writes_only;
  options.run.max_instructions = kImageRunLimit;
  for (const RoutineInfo& routine : default_image().routines) options.routine_entries.push_back(routine.address);
  trace::DiffOutcome outcome = trace::diff_trace(machine, design, options);
  std::fclose(file);
  return outcome;
}

namespace {
// The register as $display's %h prints a 5-bit number.
std::string hex2(unsigned value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02x", value);
  return text;
}
}  // namespace

std::string key_value_trace(const std::vector<std::string>& lines, bool writes_only) {
  std::string text;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (i % 1000 == 0) text += "INFO bench heartbeat at cycle " + std::to_string(i) + "\n";
    std::istringstream in(lines[i]);
    std::string pc, word, write;
    in >> pc >> word >> write;
    if (pc == "exception") continue;
    unsigned reg = 0;
    std::string value = "0";
    if (write.starts_with("$")) {
      const std::string name = write.substr(0, write.find('='));
      while (reg < 32 && isa::reg_name(reg) != name) ++reg;
      value = write.substr(write.find('=') + 1);
    }
    if (writes_only && reg == 0) continue;
    text += "RET cyc=" + std::to_string(i + 14) + " pc=" + pc + " op=0x" + word + " rd=" + hex2(reg) +
            " val=" + value + "\n";
  }
  return text;
}

}  // namespace r3k::test
