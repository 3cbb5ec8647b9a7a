#include "source/source_tree.h"

#include <filesystem>
#include <map>
#include <string_view>

#include "common/atomic_file.h"
#include "common/hex.h"
#include "image/link_symbols.h"
#include "source/build_files.h"
#include "source/gas_statements.h"
#include "board/layout.h"
#include "isa/isa.h"
#include "image/case_index.h"

namespace r3k::source {
namespace {

constexpr const char* kIndent = "        ";

std::string hex8(uint32_t value) { return hex(value, {.upper = true}); }

// A file being written line by line, which knows the number of the line it
// is on. A line is written whole, or appended to piece by piece and ended.
class LineWriter {
 public:
  void line(std::string_view text) {
    text_ += text;
    end_line();
  }
  std::string& current() { return text_; }  // the line being written, at the end of the file
  void end_line() {
    text_ += '\n';
    ++number_;
  }
  uint32_t number() const { return number_; }  // of the line being written
  std::string take() { return std::move(text_); }

 private:
  std::string text_;
  uint32_t number_ = 1;
};

size_t word_index(const Image& image, uint32_t address) { return (address - image.text_base) / 4; }

// The line of the image's own numbering (1 = entry, case N = N + 1, the last
// = exit) of the word at address; 0 where the image gives none.
uint32_t logical_line(const Image& image, uint32_t address) {
  const size_t index = word_index(image, address);
  return index < image.lines.size() ? image.lines[index].line : 0;
}


bool ends_in_delay_slot(const Image& image, uint32_t address) {
  if (address == image.text_base) return false;
  const isa::Op before = isa::decode(image.word_at(address - 4));
  return before != isa::Op::invalid && isa::has_delay_slot(before);
}

// Comments that open the blocks of the start code.
const std::map<uint32_t, const char*>& start_blocks() {
  static const std::map<uint32_t, const char*> blocks = {
      {layout::kResetVector, "The reset vector leaves the vector area."},
      {layout::kEndLoop, "The end loop: every run ends here; $t0 counts the passes."},
      {layout::kExceptionLoop, "The exception loop: any exception lands here."},
      {layout::kLocate, "Board registers and framework registers."},
      {layout::kInstTest, "Every routine in run order, each followed by the pause."},
      {layout::kTestEnd, "The verdict on the lamps, then the end loop."},
      {layout::kWait1s, "The pause: 0x200001 passes, or one when QUICK_RUN_FLAG is not zero."},
  };
  return blocks;
}

std::map<uint32_t, std::string> global_names(const Image& image) {
  std::map<uint32_t, std::string> names;
  for (const RoutineInfo& routine : image.routines) names[routine.address] = routine.name;
  return names;
}

void render_start(const Image& image, uint32_t end, SourceTree& tree) {
  LineWriter out;
  out.line("# start.S: the start code of the test image, from the reset vector at " + hex8(image.text_base) + ".");
  out.line("# Built from seed " + hex8(image.seed) + ". Every address here is fixed; the first routine");
  out.line("# follows at " + hex8(end) + ".");
  out.line(std::string(kIndent) + ".include \"r3k.inc\"");
  out.line(std::string(kIndent) + ".set noreorder");
  out.line(std::string(kIndent) + ".text");
  out.line("");

  std::map<uint32_t, std::string> labels = global_names(image);
  std::map<uint32_t, bool> own_line;  // labels of the symbol table stand on their own line
  for (uint32_t target : referenced_addresses(image, image.text_base, end))
    if (target >= image.text_base && target < end) labels[target] = ".L" + hex8(target).substr(2);
  labels[layout::kExceptionLoop] = ".Lexception_loop";
  for (const StartLabel& label : image.start_labels) {
    labels[label.address] = label.name;
    own_line[label.address] = true;
  }
  const StatementWriter writer(image, labels, true, image.text_base, end);

  for (uint32_t address = image.text_base; address < end;) {
    auto block = start_blocks().find(address);
    if (block != start_blocks().end()) {
      if (address != image.text_base) out.line("");
      out.line("# " + std::string(block->second));
    }
    auto label = labels.find(address);
    std::string prefix = kIndent;
    if (label != labels.end() && own_line.count(address)) out.line(label->second + ":");
    else if (label != labels.end()) prefix = label->second + ": ";

    // A zero word that is no delay slot is filler: the run goes on one line.
    if (image.word_at(address) == 0 && !ends_in_delay_slot(image, address)) {
      uint32_t run_end = address;
      while (run_end < end && image.word_at(run_end) == 0 && !(run_end != address && labels.count(run_end)))
        run_end += 4;
      const uint32_t words = (run_end - address) / 4;
      for (uint32_t a = address; a < run_end; a += 4) tree.positions[word_index(image, a)] = {0, out.number()};
      out.line(prefix + ".space " + std::to_string(4 * words) + "    # " + std::to_string(words) +
               (words == 1 ? " zero word" : " zero words, each runs as nop"));
      address = run_end;
      continue;
    }
    std::string statement;
    const int taken = writer.write(address, end, statement);
    for (int i = 0; i < taken; ++i) tree.positions[word_index(image, address) + i] = {0, out.number()};
    out.line(prefix + statement);
    address += 4 * taken;
  }
  tree.files.push_back({image.files.at(0), out.take()});
}

// A case's line names the case with its group and values, as the case index has them.
void append_line_comment(std::string& out, const RoutineInfo& routine, const CaseRange& cases, int line) {
  if (line == 0) out += "no case";
  else if (line == 1) out += "entry: count the test, clear the error flag";
  else if (line == routine.cases + 2) out += "exit: count the routine as passed unless a case failed";
  else if (line - 2 < static_cast<int>(cases.size())) append_case_description(out, cases.first[line - 2]);
  else out += "case " + std::to_string(line - 1);
}

void render_routine(const Image& image, const RoutineInfo& routine, SourceTree& tree) {
  const uint32_t first = routine.address, end = routine.address + routine.size;
  const uint16_t file = routine.file;
  LineWriter out;
  out.line("# " + image.files[routine.file] + ": routine " + std::to_string(routine.number) + ", " + std::to_string(routine.cases) +
           " cases, values from seed " + hex8(image.seed) + ".");
  out.line("# One line per case; a failing case branches to inst_error.");
  out.line(std::string(kIndent) + ".include \"r3k.inc\"");
  out.line(std::string(kIndent) + ".set noreorder");
  out.line(std::string(kIndent) + ".set noat");
  out.line(std::string(kIndent) + ".text");
  out.line(std::string(kIndent) + "ROUTINE_BEGIN " + routine.name);
  out.line(routine.name + ":");

  std::map<uint32_t, std::string> labels = global_names(image);
  std::map<uint32_t, int> per_line;  // labels so far on each source line of the routine
  for (uint32_t target : referenced_addresses(image, first, end)) {
    if (target <= first || target >= end) continue;
    const uint32_t line = logical_line(image, target);
    labels[target] = line ? ".L" + std::to_string(line - 1) + "_" + std::to_string(++per_line[line])  // case number
                          : ".L" + hex8(target).substr(2);
  }
  labels[routine.inst_error] = "inst_error";
  const StatementWriter writer(image, labels, false, first, end);
  const CaseRange cases = cases_of(image, routine.number);

  // Statements of one case share a line, separated by "; ", with the case
  // in a comment; inst_error's label breaks the line and stands on its own.
  for (uint32_t address = first; address < end;) {
    const uint32_t logical = logical_line(image, address);
    bool first_statement = true, commented = false;
    auto flush = [&] {
      if (!commented) {
        out.current() += "    # ";
        append_line_comment(out.current(), routine, cases, static_cast<int>(logical));
      }
      commented = true;
      out.end_line();
      first_statement = true;
    };
    while (address < end && logical_line(image, address) == logical) {
      if (address == routine.inst_error && address != first) {
        if (!first_statement) flush();
        out.line("inst_error:");
        out.current() += kIndent;
      } else {
        out.current() += first_statement ? kIndent : "; ";
        const std::string* label = writer.label(address);
        if (label && address != first) {
          out.current() += *label;
          out.current() += ": ";
        }
      }
      const int taken = writer.write(address, end, out.current());
      first_statement = false;
      for (int i = 0; i < taken; ++i) tree.positions[word_index(image, address) + i] = {file, out.number()};
      address += 4 * taken;
    }
    if (!first_statement) flush();
  }
  out.line(std::string(kIndent) + "ROUTINE_END " + routine.name);
  tree.files.push_back({image.files[routine.file], out.take()});
}

}  // namespace

SourceTree render_source_tree(const Image& image) {
  SourceTree tree;
  tree.positions.assign(image.text.size(), SourcePosition{});
  const std::vector<const RoutineInfo*> linked = routines_in_link_order(image);
  const uint32_t start_end = linked.empty() ? image.text_end() : linked.front()->address;
  render_start(image, start_end, tree);
  for (const RoutineInfo* routine : linked) render_routine(image, *routine, tree);
  for (SourceFile& file : build_files(image)) tree.files.push_back(std::move(file));
  return tree;
}

void write_source_tree(const SourceTree& tree, const std::string& dir) {
  for (const SourceFile& file : tree.files) {
    write_file_atomically((std::filesystem::path(dir) / file.path).string(), std::string_view(file.text));
  }
}

}  // namespace r3k::source
