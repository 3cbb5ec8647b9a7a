#include "html/divergence.h"

#include "html/page.h"
#include "sim/trace.h"

namespace r3k::html {
namespace {

constexpr std::string_view kStyle = R"(
table.lines td { font: 12px ui-monospace, monospace; padding: 1px 8px 1px 0; vertical-align: top; }
pre.code { font-size: 12px; border: 1px solid #ccc; padding: 6px; }
pre.code .here { background: var(--surprise); display: inline-block; width: 100%; }
)";

void write_code(Page& page, const std::string& place) {
  page.open("pre", " class=\"code\"");
  size_t start = 0;
  while (start < place.size()) {
    size_t end = place.find('\n', start);
    if (end == std::string::npos) end = place.size();
    const std::string line = place.substr(start, end - start);
    if (line.find("=> ") != std::string::npos) page.open("span", " class=\"here\"").text(line).close().text("\n");
    else page.text(line + "\n");
    start = end + 1;
  }
  page.close();
}

}  // namespace

std::string divergence_page(const trace::DiffOutcome& outcome, const std::string& trace_path, const std::string& place,
                            const std::string& culprit) {
  Page page("r3kcheck trace-diff " + trace_path, kStyle);
  page.element("h1", "Divergence at line " + std::to_string(outcome.design.number) + " of " + trace_path);
  page.open("p").mark(Mark::bad, "divergence")
      .text(" after " + std::to_string(outcome.compared) + " instructions in step").close();
  page.open("table", " class=\"lines\"");
  page.open("tr").element("td", "design").element("td", outcome.design.text).close();
  page.open("tr").element("td", "expected").element("td", sim::format_trace_record(outcome.expected)).close();
  for (const std::string& difference : outcome.differences)
    page.open("tr").element("td", "differs").open("td").mark(Mark::bad, "differs").text(" " + difference).close().close();
  if (!culprit.empty()) page.open("tr").element("td", "culprit").element("td", culprit).close();
  page.close();
  page.element("h2", "Where");
  write_code(page, place);
  page.element("h2", "The last " + std::to_string(outcome.agreed.size()) + " instructions both agreed on");
  page.open("table", " class=\"lines\"");
  for (const trace::AgreedLine& line : outcome.agreed)
    page.open("tr").element("td", "line " + std::to_string(line.design_line))
        .open("td").mark(Mark::good, "agreed").text(" " + sim::format_trace_record(line.record)).close().close();
  page.close();
  return page.finish();
}

}  // namespace r3k::html
