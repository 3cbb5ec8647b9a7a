// r3kcheck faults: runs the main image and the supplement once per catalog
// fault and scores how many each image catches, where, and both together.
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/fault_text.h"
#include "cli/output_paths.h"
#include "common/atomic_file.h"
#include "common/error.h"
#include "elf/elf_reader.h"
#include "faults/campaign.h"
#include "html/fault_matrix.h"
#include "report/image_file.h"
#include "report/routine_names.h"
#include "routine/random.h"

namespace r3k::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"--image", ValueKind::path, "MAIN.elf", "the main image to score (default: built from --seed)"},
    {"--supplement-image", ValueKind::path, "FILE", "the supplement to score (default: built from --seed)"},
    {"--exceptions-image", ValueKind::path, "FILE", "the exceptions image to score (default: built from --seed)"},
    {"--seed", ValueKind::number32, "N", "the seed of the images built here (default 0x52334B31)"},
    {"--images", ValueKind::choice, "WHICH",
     "main, supplement, exceptions, both (main and supplement)\n"
     "or all (default all)",
     "main|supplement|exceptions|both|all"},
    {"--only", ValueKind::text, "PATTERN",
     "only faults whose name or class matches (* and ?\n"
     "wildcards; without them, any name containing PATTERN)"},
    {"--full", ValueKind::none, "", "a full pause after every routine (much slower)"},
    {"--json", ValueKind::none, "", "the results as one JSON object on standard output"},
    {"--list", ValueKind::none, "",
     "print the catalog (name, class, what each image is\n"
     "expected to do, what it models) and exit"},
    {"--threads", ValueKind::number32, "N", "worker threads (default: one per core)"},
    {"--limit", ValueKind::number64, "N",
     "the instruction limit of each fault's run instead\n"
     "(at least the image's own instruction count)"},
    {"--html", ValueKind::path, "FILE",
     "also write the results as one HTML page: faults down the\n"
     "side, every routine of each image across"},
};

constexpr CommandSpec kCommand{
    "faults", "", 0,
    "Runs each image on the reference processor unmodified (it must pass), then once\n"
    "per fault of the catalog, each a processor wrong in one way, and prints per fault:\n"
    "the routines that failed, the routines the catalog expects to fail, and a verdict:\n"
    "caught by its routines, caught elsewhere only, escaped, exception loop, hit the limit.\n"
    "All three images run by default: the main image, the supplement, the exceptions\n"
    "image; a summary per image follows each, and one for them together: a fault is\n"
    "caught when any image catches it. Each fault's run stops after 200 times the baseline's\n"    "instruction count (at least 5 million), so a fault that loops is cut and counted.\n",
    kOptions,
    "exit codes: 0 every fault with expected routines was caught by them on every image run,\n"
    "            1 at least one was not, 2 bad input or an image fails without a fault\n"};

struct Options {
  std::string main_path, supplement_path, exceptions_path;
  uint32_t seed = kDefaultSeed;
  bool run_main = true, run_supplement = true, run_exceptions = true;
  std::string only;
  bool full = false, json = false, list = false;
  unsigned threads = 0;
  uint64_t limit = 0;
  std::string html_path;
};

Options options_of(const ParsedOptions& parsed) {
  Options options;
  options.main_path = parsed.text("--image").value_or("");
  options.supplement_path = parsed.text("--supplement-image").value_or("");
  options.exceptions_path = parsed.text("--exceptions-image").value_or("");
  options.seed = static_cast<uint32_t>(parsed.number("--seed").value_or(kDefaultSeed));
  const std::string which = parsed.text("--images").value_or("all");
  options.run_main = which == "main" || which == "both" || which == "all";
  options.run_supplement = which == "supplement" || which == "both" || which == "all";
  options.run_exceptions = which == "exceptions" || which == "all";
  options.only = parsed.text("--only").value_or("");
  options.full = parsed.has("--full");
  options.json = parsed.has("--json");
  options.list = parsed.has("--list");
  options.threads = static_cast<unsigned>(parsed.number("--threads").value_or(0));
  options.limit = parsed.number("--limit").value_or(0);
  options.html_path = parsed.text("--html").value_or("");
  refuse_shared_outputs("faults",
                        {{"--image", options.main_path},
                         {"--supplement-image", options.supplement_path},
                         {"--exceptions-image", options.exceptions_path}},
                        {{"--html", options.html_path}});
  return options;
}

std::vector<const faults::CatalogFault*> selected(const std::string& pattern) {
  std::vector<const faults::CatalogFault*> chosen;
  for (const faults::CatalogFault& fault : faults::catalog())
    if (pattern.empty() || fault_matches(fault, pattern)) chosen.push_back(&fault);
  if (chosen.empty()) throw Error("faults: no fault of the catalog matches '" + pattern + "' (see r3kcheck faults --list)");
  return chosen;
}

void print_list(const std::vector<const faults::CatalogFault*>& chosen) {
  std::printf("%-30s %-28s %-32s %-24s %-24s %s\n", "fault", "class", "main image", "supplement", "exceptions image",
              "what it models");
  for (const faults::CatalogFault* fault : chosen)
    std::printf("%-30s %-28s %-32s %-24s %-24s %s\n", std::string(fault->name).c_str(),
                std::string(faults::class_name(fault->fault_class)).c_str(), expectation_text(fault->expected).c_str(),
                expectation_text(fault->on_supplement).c_str(), expectation_text(fault->on_exceptions).c_str(),
                std::string(fault->models).c_str());
  std::printf("%zu faults\n", chosen.size());
}

void print_campaign(const faults::Campaign& campaign) {
  const std::string image(faults::image_name(campaign.kind));
  std::printf("== %s (%zu routines)\n", image.c_str(), campaign.baseline.routine_count);
  size_t not_run = 0;
  for (const faults::FaultResult& r : campaign.results) {
    if (r.verdict == faults::Verdict::not_run) {
      ++not_run;
      continue;
    }
    const faults::Expectation& expected = r.fault->expected_on(campaign.kind);
    const bool as_said = faults::as_expected(expected, r.run);
    std::printf("%-30s failed %-24s expected %-28s %s%s\n", std::string(r.fault->name).c_str(),
                routine_list(r.run.failed, r.run.routine_count).c_str(), expectation_text(expected).c_str(),
                std::string(faults::verdict_name(r.verdict)).c_str(), as_said ? "" : " (not as the catalog says)");
  }
  const faults::Score s = faults::score_of(campaign.results, campaign.kind);
  std::printf(
      "%s: %zu faults: %zu caught, %zu by their expected routines (of %zu with expected routines); "
      "%zu escaped, %zu with a stated reason, %zu without",
      image.c_str(), s.faults, s.caught, s.caught_by_expected, s.expected_routines,
      s.escaped_with_reason + s.escaped_without_reason + s.escaped_unclaimed, s.escaped_with_reason,
      s.escaped_without_reason);
  if (s.escaped_unclaimed) std::printf(", %zu where the catalog makes no claim", s.escaped_unclaimed);
  std::printf("; limit %llu instructions a run", static_cast<unsigned long long>(campaign.limit));
  if (not_run) std::printf("; %zu tied to the other image not run", not_run);
  std::printf("\n");
}

void print_all_three(const std::vector<faults::Campaign>& campaigns) {
  const faults::ImagesScore joint = faults::images_score(campaigns);
  std::printf(
      "== together: %zu faults: %zu caught by at least one image (%zu by the main image only, %zu by the "
      "supplement only, %zu by the exceptions image only); %zu escaped all three\n",
      joint.faults, joint.caught, joint.caught_only[0], joint.caught_only[1], joint.caught_only[2],
      joint.escaped.size());
  for (const faults::CatalogFault* fault : joint.escaped) {
    const std::string_view why = fault->on_exceptions.note.empty() ? fault->expected.note : fault->on_exceptions.note;
    std::printf("  %-30s %s\n", std::string(fault->name).c_str(), std::string(why).c_str());
  }
}

void print_joint(const faults::Campaign& main, const faults::Campaign& supplement) {
  const faults::JointScore joint = faults::joint_score(main.results, supplement.results);
  std::printf(
      "== together: %zu faults: %zu caught by at least one image (%zu by the main image only, %zu by the "
      "supplement only); %zu escaped both\n",
      joint.faults, joint.caught, joint.caught_by_main_only, joint.caught_by_supplement_only, joint.escaped.size());
  for (const faults::CatalogFault* fault : joint.escaped) {
    const std::string_view why = fault->on_supplement.note.empty() ? fault->expected.note : fault->on_supplement.note;
    std::printf("  %-30s %s\n", std::string(fault->name).c_str(), std::string(why).c_str());
  }
}

struct ImageUnderTest {
  std::vector<uint8_t> boot;
  faults::ImageShape shape;
  std::vector<std::string> routine_names;  // by run number - 1
};

ImageUnderTest image_under_test(faults::ImageKind kind, const std::string& path, uint32_t seed) {
  if (!path.empty()) {
    const elf::LoadedElf elf = elf::read_elf_file(path);
    try {
      report::require_kind(elf.symbols, path, kind);
    } catch (const Error& error) {
      const char* flag = kind == faults::ImageKind::main         ? "--image "
                         : kind == faults::ImageKind::supplement ? "--supplement-image "
                                                                 : "--exceptions-image ";
      throw Error(std::string("faults: ") + flag + error.what());
    }
    const report::RoutineNames names(elf.symbols);
    std::vector<std::string> routine_names;
    for (int number : names.numbers()) routine_names.push_back(names.name(number));
    return {elf.boot, faults::shape_of(elf, kind), routine_names};
  }
  const Image image = report::build(kind, seed);
  std::vector<std::string> routine_names;
  for (const RoutineInfo& routine : image.routines) routine_names.push_back(routine.name);
  return {image.boot_bytes(), faults::shape_of(image, kind), routine_names};
}

}  // namespace

int faults_command(const Arguments& arguments) {
  const std::optional<ParsedOptions> parsed = options_or_help(kCommand, arguments);
  if (!parsed) return kExitOk;
  const Options options = options_of(*parsed);
  const std::vector<const faults::CatalogFault*> chosen = selected(options.only);
  if (options.list) {
    print_list(chosen);
    return kExitOk;
  }
  faults::CampaignOptions campaign_options;
  campaign_options.quick_run_flag = options.full ? 0 : 1;
  campaign_options.threads = options.threads;
  if (options.limit) campaign_options.limit_factor = 0, campaign_options.min_limit = options.limit;

  std::vector<faults::Campaign> campaigns;
  std::vector<std::vector<std::string>> routine_names;
  const struct {
    faults::ImageKind kind;
    bool run;
    const std::string& path;
  } images[] = {{faults::ImageKind::main, options.run_main, options.main_path},
                {faults::ImageKind::supplement, options.run_supplement, options.supplement_path},
                {faults::ImageKind::exceptions, options.run_exceptions, options.exceptions_path}};
  for (const auto& [kind, run, path] : images) {
    if (!run) continue;
    const ImageUnderTest image = image_under_test(kind, path, options.seed);
    const std::string name(faults::image_name(kind));
    if (isatty(STDOUT_FILENO)) {
      campaign_options.progress = [name](size_t done, size_t total) {
        std::fprintf(stderr, "\r%s: %zu of %zu faults run", name.c_str(), done, total);
        if (done == total) std::fputs("\r                                          \r", stderr);
      };
    }
    campaigns.push_back(faults::run_campaign(image.boot, image.shape, chosen, campaign_options));
    routine_names.push_back(image.routine_names);
    if (!campaigns.back().baseline.passed()) {
      std::fprintf(stderr,
                   "r3kcheck: faults: the %s does not pass without a fault (%s); a score would mean nothing\n",
                   name.c_str(), baseline_problem(campaigns.back().baseline).c_str());
      return kExitError;
    }
  }
  if (!options.html_path.empty()) {
    std::vector<html::MatrixImage> images;
    for (size_t i = 0; i < campaigns.size(); ++i) images.push_back({&campaigns[i], routine_names[i]});
    const std::string page = html::fault_matrix_page(images, options.seed);
    write_file_atomically(options.html_path, page);
  }
  if (options.json) {
    std::fputs(campaigns_json(campaigns).c_str(), stdout);
  } else {
    for (const faults::Campaign& campaign : campaigns) print_campaign(campaign);
    if (campaigns.size() == 2) print_joint(campaigns[0], campaigns[1]);
    if (campaigns.size() == 3) print_all_three(campaigns);
  }
  for (const faults::Campaign& campaign : campaigns)
    if (faults::score_of(campaign.results, campaign.kind).expected_missed != 0) return kExitFailed;
  return kExitOk;
}

}  // namespace r3k::cli
