#include "html/fault_matrix.h"

#include <stdexcept>

#include "common/hex.h"
#include "html/page.h"

namespace r3k::html {
namespace {

constexpr std::string_view kStyle = R"(
table.matrix td, table.matrix th { border: 1px solid #ddd; padding: 0; }
table.matrix td.c { width: 11px; min-width: 11px; height: 14px; font-size: 9px; text-align: center; }
table.matrix td.c .mark { display: block; border-radius: 0; }
table.matrix th.n { font-size: 8px; font-weight: normal; writing-mode: vertical-rl; transform: rotate(180deg); height: 22px; }
table.matrix .first { border-left: 2px solid #333; }
table.matrix td.f { white-space: nowrap; padding: 0 6px 0 2px; font-size: 12px; max-width: 230px; overflow: hidden; }
table.matrix td.o { padding: 0 2px; }
table.matrix tr.class td { background: #f2f2f2; font-weight: bold; padding: 4px 2px 2px; font-size: 12px; }
table.matrix thead th { position: sticky; top: 0; background: #fff; }
)";

bool caught(faults::Verdict verdict) { return verdict != faults::Verdict::escaped && verdict != faults::Verdict::not_run; }

// The routines a fault's expectation names as failing.
const std::set<int>& expected_routines(const faults::Expectation& expected) {
  static const std::set<int> none;
  const bool names_routines =
      expected.outcome == faults::Outcome::routines_fail || expected.outcome == faults::Outcome::exception_loop;
  return names_routines ? expected.routines : none;
}

// The fault's outcome on one image, as a mark and the words for its tooltip.
std::pair<Mark, std::string> outcome(const faults::FaultResult& result, const faults::Expectation& expected) {
  const std::string verdict(faults::verdict_name(result.verdict));
  switch (result.verdict) {
    case faults::Verdict::not_run: return {Mark::unreached, "not run: " + std::string(expected.note)};
    case faults::Verdict::caught_by_expected: return {Mark::good, verdict};
    case faults::Verdict::caught_elsewhere: return {Mark::surprise, verdict};
    case faults::Verdict::escaped:
      if (expected.outcome == faults::Outcome::unseen) return {Mark::missed, "escaped, as stated: " + std::string(expected.note)};
      if (expected.outcome == faults::Outcome::not_stated) return {Mark::missed, "escaped; the catalog makes no claim"};
      return {Mark::bad, "escaped without a stated reason"};
    default: break;
  }
  const bool said = expected.outcome == faults::Outcome::exception_loop || expected.outcome == faults::Outcome::run_breaks;
  return {said ? Mark::good : Mark::surprise, verdict + (said ? ", as stated" : "")};
}

Mark cell(bool expected, bool failed) {
  if (expected) return failed ? Mark::good : Mark::bad;
  return failed ? Mark::surprise : Mark::neutral;
}

void write_summary(Page& page, const std::vector<MatrixImage>& images) {
  page.element("h2", "Score per image");
  page.open("table");
  const size_t faults = images.front().campaign->results.size();
  std::vector<bool> together(faults, false);
  for (const MatrixImage& image : images) {
    const faults::Campaign& campaign = *image.campaign;
    const faults::Score score = faults::score_of(campaign.results, campaign.kind);
    page.open("tr").element("td", faults::image_name(campaign.kind)).open("td");
    page.bar(score.caught, score.faults,
             std::to_string(score.caught) + " of " + std::to_string(score.faults) + " caught, " +
                 std::to_string(score.caught_by_expected) + " by their expected routines");
    page.close().close();
    for (size_t i = 0; i < faults; ++i) together[i] = together[i] || caught(campaign.results[i].verdict);
  }
  if (images.size() > 1) {
    size_t caught_together = 0;
    for (const bool c : together) caught_together += c;
    page.open("tr").element("td", "together").open("td");
    page.bar(caught_together, faults,
             std::to_string(caught_together) + " of " + std::to_string(faults) + " caught by at least one image");
    page.close().close();
  }
  page.close();
}

void write_header(Page& page, const std::vector<MatrixImage>& images) {
  page.open("thead").open("tr").element("th", "");
  for (const MatrixImage& image : images)
    page.element("th", faults::image_name(image.campaign->kind),
                 " class=\"first\" colspan=\"" + std::to_string(image.routine_names.size()) + "\"");
  page.element("th", "outcome", " colspan=\"" + std::to_string(images.size()) + "\" class=\"first\"");
  page.close().open("tr").element("th", "fault");
  for (const MatrixImage& image : images)
    for (size_t r = 0; r < image.routine_names.size(); ++r)
      page.element("th", std::to_string(r + 1),
                   " class=\"n" + std::string(r == 0 ? " first" : "") + "\"" + attribute("title", image.routine_names[r]));
  for (size_t i = 0; i < images.size(); ++i)
    page.element("th", faults::image_name(images[i].campaign->kind).substr(0, 4), " class=\"n first\"");
  page.close().close();
}

// The class's score on each image, for the group row.
std::string class_scores(const std::vector<MatrixImage>& images, faults::FaultClass fault_class) {
  std::string text(faults::class_name(fault_class));
  for (const MatrixImage& image : images) {
    std::vector<faults::FaultResult> of_class;
    for (const faults::FaultResult& r : image.campaign->results)
      if (r.fault->fault_class == fault_class) of_class.push_back(r);
    const faults::Score score = faults::score_of(of_class, image.campaign->kind);
    text += " \u2014 " + std::string(faults::image_name(image.campaign->kind)) + " " + std::to_string(score.caught) +
            "/" + std::to_string(score.faults);
  }
  return text;
}

void write_fault_row(Page& page, const std::vector<MatrixImage>& images, size_t index) {
  const faults::CatalogFault& fault = *images.front().campaign->results[index].fault;
  page.open("tr").element("td", fault.name, " class=\"f mono\"" + attribute("title", fault.models));
  for (const MatrixImage& image : images) {
    const faults::FaultResult& result = image.campaign->results[index];
    const std::set<int>& expected = expected_routines(fault.expected_on(image.campaign->kind));
    for (size_t r = 1; r <= image.routine_names.size(); ++r) {
      const int number = static_cast<int>(r);
      const bool run = result.verdict != faults::Verdict::not_run;
      const Mark mark = run ? cell(expected.count(number) != 0, result.run.failed.count(number) != 0) : Mark::unreached;
      page.open("td", r == 1 ? " class=\"c first\"" : " class=\"c\"");
      if (mark != Mark::neutral) page.mark(mark, std::to_string(number) + " " + image.routine_names[r - 1]);
      page.close();
    }
  }
  for (const MatrixImage& image : images) {
    const faults::FaultResult& result = image.campaign->results[index];
    const auto [mark, words] = outcome(result, fault.expected_on(image.campaign->kind));
    page.open("td", " class=\"o first\"").mark(mark, std::string(faults::image_name(image.campaign->kind)) + ": " + words).close();
  }
  page.close();
}

}  // namespace

std::string fault_matrix_page(const std::vector<MatrixImage>& images, uint32_t seed) {
  if (images.empty()) throw std::logic_error("fault_matrix_page: no image");
  for (const MatrixImage& image : images)
    if (image.campaign->results.size() != images.front().campaign->results.size())
      throw std::logic_error("fault_matrix_page: the campaigns ran different faults");

  Page page("r3kcheck faults", kStyle);
  page.element("h1", "The fault catalog against the images (seed " + hex(seed, {.upper = true}) + ")");
  write_summary(page, images);
  page.element("h2", "Faults by routine");
  page.legend({{Mark::good, "expected to fail and failed / caught as the catalog says"},
               {Mark::surprise, "failed, not expected / caught elsewhere only"},
               {Mark::bad, "expected to fail but passed / escaped without a reason"},
               {Mark::missed, "escaped, as the catalog states or where it makes no claim"},
               {Mark::unreached, "not run on this image"}});
  page.open("table", " class=\"matrix\"");
  write_header(page, images);
  page.open("tbody");
  const size_t columns = 1 + images.size();
  size_t width = columns;
  for (const MatrixImage& image : images) width += image.routine_names.size();
  const std::vector<faults::FaultResult>& results = images.front().campaign->results;
  for (size_t i = 0; i < results.size(); ++i) {
    if (i == 0 || results[i].fault->fault_class != results[i - 1].fault->fault_class)
      page.open("tr", " class=\"class\"")
          .element("td", class_scores(images, results[i].fault->fault_class), " colspan=\"" + std::to_string(width) + "\"")
          .close();
    write_fault_row(page, images, i);
  }
  return page.finish();
}

}  // namespace r3k::html
