#include "html/run_map.h"

#include <algorithm>
#include <map>

#include "board/board.h"
#include "common/hex.h"
#include "html/page.h"
#include "sim/report.h"

namespace r3k::html {
namespace {

constexpr std::string_view kStyle = R"(
.verdict { font: bold 16px ui-monospace, monospace; padding: 8px; margin: 8px 0; border-radius: 3px; }
.tiles { display: grid; grid-template-columns: repeat(auto-fill, minmax(150px, 1fr)); gap: 4px; }
.tile { border: 1px solid #bbb; padding: 3px 5px; font-size: 12px; break-inside: avoid; }
.tile .name { font-family: ui-monospace, monospace; overflow: hidden; text-overflow: ellipsis; white-space: nowrap; }
.tile .steps { height: 4px; background: #333; margin-top: 2px; }
.tile.m-bad, .tile.m-good { color: #fff; } .tile.m-bad .steps, .tile.m-good .steps { background: #fff; }
.words { font: 12px ui-monospace, monospace; columns: 6 150px; }
.lamp { display: inline-block; width: 12px; height: 12px; border-radius: 50%; border: 1px solid #333; margin-right: 2px; }
.lamp.on { background: var(--surprise); } .lamp.off { background: #fff; }
)";

// The instructions between a routine's display word and the one before it
// (the pause after the previous routine included), by routine number.
std::map<int, uint64_t> steps_by_routine(const report::RunReport& report) {
  std::vector<uint64_t> at;  // where each display write happened, the start pattern's first
  for (const sim::BoardWrite& write : report.result.board_writes)
    if (write.address == board::kResultDisplay) at.push_back(write.instruction);
  const std::vector<board::RoutineOutcome>& outcomes = report.display.outcomes();
  std::map<int, uint64_t> steps;
  for (size_t k = 0; k < outcomes.size() && k + 1 < at.size(); ++k) steps[outcomes[k].number] = at[k + 1] - at[k];
  return steps;
}

void write_verdict(Page& page, const report::RunReport& report) {
  const std::string line = report::verdict_line(report);
  const report::Verdict verdict = report::verdict_of(report.result);
  const Mark mark = verdict == report::Verdict::Pass ? Mark::good : verdict == report::Verdict::Fail ? Mark::bad : Mark::surprise;
  page.open("div", " class=\"verdict " + std::string(mark_class(mark)) + "\"")
      .text(std::string(mark_symbol(mark)) + " " + line.substr(0, line.find('\n')))
      .close();
}

void write_lamps(Page& page, const sim::BoardState& board) {
  page.element("h2", "Lamps and display");
  page.open("p").text("LAMP_BANK ");
  for (int bit = 15; bit >= 0; --bit)
    page.markup(std::string("<span class=\"lamp ") + ((board.lamp_bank >> bit & 1) ? "on" : "off") + "\" title=\"bit " +
                std::to_string(bit) + "\"></span>");
  page.text(" " + hex(board.lamp_bank, {.min_digits = 4, .upper = true}) +
            "  STATUS_LAMP_A " + std::to_string(board.status_lamp_a) + "  STATUS_LAMP_B " +
            std::to_string(board.status_lamp_b) + "  RESULT_DISPLAY " + hex(board.result_display, {.upper = true}));
  page.close();
}

void write_exception(Page& page, const report::RunReport& report) {
  const sim::RunResult& result = report.result;
  if (!result.exception) return;
  const sim::ExceptionRecord& e = *result.exception;
  const std::string place = report.names.place(e.pc);
  page.element("h2", "Exception");
  page.open("p").mark(Mark::surprise, "exception").text(" " + std::string(sim::cause_name(e.cause)) + " at " +
                                                       hex(e.pc, {.upper = true}) + (place.empty() ? "" : " " + place));
  if (sim::has_bad_address(e.cause)) page.text(", address " + hex(e.bad_address, {.upper = true}));
  page.close();
}

void write_tiles(Page& page, const report::RunReport& report) {
  std::map<int, bool> passed;
  for (const board::RoutineOutcome& outcome : report.display.outcomes()) passed[outcome.number] = outcome.passed;
  const std::map<int, uint64_t> steps = steps_by_routine(report);
  uint64_t most = 1;
  for (const auto& [number, count] : steps) most = std::max(most, count);

  page.element("h2", "Routines");
  page.legend({{Mark::good, "passed"}, {Mark::bad, "failed"}, {Mark::unreached, "not reached"}});
  page.open("div", " class=\"tiles\"");
  for (const int number : report.names.numbers()) {
    const auto outcome = passed.find(number);
    const Mark mark = outcome == passed.end() ? Mark::unreached : outcome->second ? Mark::good : Mark::bad;
    const std::string name = report.names.name(number);
    page.open("div", " class=\"tile " + std::string(mark_class(mark)) + "\"" + attribute("title", name));
    page.open("div").text(std::string(mark_symbol(mark)) + " " + std::to_string(number) + " ")
        .text(report::instruction_of_routine(number, name)).close();
    page.element("div", name, " class=\"name\"");
    if (const auto count = steps.find(number); count != steps.end()) {
      const uint64_t percent = std::max<uint64_t>(1, count->second * 100 / most);
      page.markup("<div class=\"steps\" style=\"width:" + std::to_string(percent) + "%\" title=\"" +
                  std::to_string(count->second) + " instructions\"></div>");
    }
    page.close();
  }
  page.close();
}

void write_words(Page& page, const report::RunReport& report) {
  page.element("h2", "Display words in order");
  page.open("div", " class=\"words\"");
  for (const board::RoutineOutcome& outcome : report.display.outcomes())
    page.open("div").mark(outcome.passed ? Mark::good : Mark::bad, outcome.passed ? "passed" : "failed")
        .text(" " + hex(outcome.word, {.upper = true})).close();
  page.close();
}

}  // namespace

std::string run_map_page(const report::RunReport& report) {
  Page page("r3kcheck run " + report.image_path, kStyle);
  page.element("h1", "r3kcheck run: " + report.image_path);
  write_verdict(page, report);
  write_exception(page, report);
  write_lamps(page, report.result.board);
  write_tiles(page, report);
  write_words(page, report);
  page.open("p").text(std::to_string(report.result.instructions) + " instructions in all").close();
  return page.finish();
}

}  // namespace r3k::html
