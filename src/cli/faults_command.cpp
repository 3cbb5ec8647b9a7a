// r3kcheck faults: runs the main image and the supplement once per catalog
// fault and scores how many each image catches, where, and both together.
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/fault_text.h"
#include "common/error.h"
#include "elf/elf_reader.h"
#include "faults/campaign.h"
#include "report/image_file.h"
#include "routine/random.h"

namespace r3k::cli {
namespace {

constexpr const char* kHelp =
    "usage: r3kcheck faults [--image MAIN.elf] [--supplement-image SUPPLEMENT.elf] [--seed N]\n"
    "                       [--images main|supplement|both] [--only PATTERN] [--full] [--json]\n"
    "                       [--list] [--threads N] [--limit N]\n"
    "\n"
    "Runs each image on the reference processor unmodified (it must pass), then once\n"
    "per fault of the catalog, each a processor wrong in one way, and prints per fault:\n"
    "the routines that failed, the routines the catalog expects to fail, and a verdict:\n"
    "caught by its routines, caught elsewhere only, escaped, exception loop, hit the limit.\n"
    "Both images run by default, the main image first, then the supplement; a summary\n"
    "per image follows each, and one for both together: a fault is caught when either\n"
    "image catches it. Each fault's run stops after 200 times the baseline's\n"
    "instruction count (at least 5 million), so a fault that loops is cut and counted.\n"
    "\n"
    "  --image MAIN.elf           the main image to score (default: built from --seed)\n"
    "  --supplement-image FILE    the supplement to score (default: built from --seed)\n"
    "  --seed N                   the seed of the images built here (default 0x52334B31)\n"
    "  --images WHICH             main, supplement or both (default both)\n"
    "  --only PATTERN             only faults whose name or class matches (* and ?\n"
    "                             wildcards; without them, any name containing PATTERN)\n"
    "  --full                     a full pause after every routine (much slower)\n"
    "  --json                     the results as one JSON object on standard output\n"
    "  --list                     print the catalog (name, class, what each image is\n"
    "                             expected to do, what it models) and exit\n"
    "  --threads N                worker threads (default: one per core)\n"
    "  --limit N                  the instruction limit of each fault's run instead\n"
    "\n"
    "exit codes: 0 every fault with expected routines was caught by them on every image run,\n"
    "            1 at least one was not, 2 bad input or an image fails without a fault\n";

struct Options {
  std::string main_path, supplement_path;
  uint32_t seed = kDefaultSeed;
  bool run_main = true, run_supplement = true;
  std::string only;
  bool full = false, json = false, list = false;
  unsigned threads = 0;
  uint64_t limit = 0;
};

Options parse(const Arguments& arguments, bool& help) {
  Options options;
  Args args("faults", arguments);
  while (args.next()) {
    const std::string& a = args.current();
    if (a == "--help" || a == "-h") {
      help = true;
      return options;
    }
    if (a == "--image") options.main_path = args.value();
    else if (a == "--supplement-image") options.supplement_path = args.value();
    else if (a == "--seed") options.seed = args.value_u32();
    else if (a == "--images") {
      const std::string which = args.value();
      if (which != "main" && which != "supplement" && which != "both")
        throw Error("faults: --images takes main, supplement or both, not '" + which + "'");
      options.run_main = which != "supplement";
      options.run_supplement = which != "main";
    } else if (a == "--only") options.only = args.value();
    else if (a == "--full") options.full = true;
    else if (a == "--json") options.json = true;
    else if (a == "--list") options.list = true;
    else if (a == "--threads") options.threads = args.value_u32();
    else if (a == "--limit") options.limit = args.value_u64();
    else args.unknown();
  }
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
  std::printf("%-30s %-28s %-32s %-24s %s\n", "fault", "class", "main image", "supplement", "what it models");
  for (const faults::CatalogFault* fault : chosen)
    std::printf("%-30s %-28s %-32s %-24s %s\n", std::string(fault->name).c_str(),
                std::string(faults::class_name(fault->fault_class)).c_str(), expectation_text(fault->expected).c_str(),
                expectation_text(fault->on_supplement).c_str(), std::string(fault->models).c_str());
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
};

ImageUnderTest image_under_test(faults::ImageKind kind, const std::string& path, uint32_t seed) {
  if (!path.empty()) {
    const elf::LoadedElf elf = elf::read_elf_file(path);
    try {
      report::require_kind(elf.symbols, path, kind);
    } catch (const Error& error) {
      throw Error(std::string("faults: ") + (kind == faults::ImageKind::main ? "--image " : "--supplement-image ") +
                  error.what());
    }
    return {elf.boot, faults::shape_of(elf, kind)};
  }
  const Image image = report::build(kind, seed);
  return {image.boot_bytes(), faults::shape_of(image, kind)};
}

}  // namespace

int faults_command(const Arguments& arguments) {
  bool help = false;
  const Options options = parse(arguments, help);
  if (help) {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
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
  for (const faults::ImageKind kind : {faults::ImageKind::main, faults::ImageKind::supplement}) {
    const bool main = kind == faults::ImageKind::main;
    if (!(main ? options.run_main : options.run_supplement)) continue;
    const ImageUnderTest image =
        image_under_test(kind, main ? options.main_path : options.supplement_path, options.seed);
    const std::string name(faults::image_name(kind));
    if (isatty(STDOUT_FILENO)) {
      campaign_options.progress = [name](size_t done, size_t total) {
        std::fprintf(stderr, "\r%s: %zu of %zu faults run", name.c_str(), done, total);
        if (done == total) std::fputs("\r                                          \r", stderr);
      };
    }
    campaigns.push_back(faults::run_campaign(image.boot, image.shape, chosen, campaign_options));
    if (!campaigns.back().baseline.passed()) {
      std::fprintf(stderr,
                   "r3kcheck: faults: the %s does not pass without a fault (%s); a score would mean nothing\n",
                   name.c_str(), baseline_problem(campaigns.back().baseline).c_str());
      return kExitError;
    }
  }
  if (options.json) {
    std::fputs(campaigns_json(campaigns).c_str(), stdout);
  } else {
    for (const faults::Campaign& campaign : campaigns) print_campaign(campaign);
    if (campaigns.size() == 2) print_joint(campaigns[0], campaigns[1]);
  }
  for (const faults::Campaign& campaign : campaigns)
    if (faults::score_of(campaign.results, campaign.kind).expected_missed != 0) return kExitFailed;
  return kExitOk;
}

}  // namespace r3k::cli
