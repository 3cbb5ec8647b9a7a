// r3kcheck faults: runs the image once per catalog fault and scores how many
// the image catches, and where.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/fault_text.h"
#include "common/error.h"
#include "elf/elf_reader.h"
#include "faults/campaign.h"
#include "image/build.h"

namespace r3k::cli {
namespace {

constexpr const char* kHelp =
    "usage: r3kcheck faults [--image IMAGE.elf] [--only PATTERN] [--full] [--json] [--list] [--threads N]\n"
    "\n"
    "Runs the image on the reference processor unmodified (it must pass), then once\n"
    "per fault of the catalog, each a processor wrong in one way, and prints per fault:\n"
    "the routines that failed, the routines the catalog expects to fail, and a verdict:\n"
    "caught by its routines, caught elsewhere only, escaped, exception loop, hit the limit.\n"
    "A summary follows. Each fault's run stops after 200 times the baseline's\n"
    "instruction count (at least 5 million), so a fault that loops is cut and counted.\n"
    "\n"
    "  --image IMAGE.elf   the image to score (default: the image of the default seed)\n"
    "  --only PATTERN      only faults whose name or class matches (* and ? wildcards;\n"
    "                      without them, any name containing PATTERN)\n"
    "  --full              a full pause after every routine (much slower)\n"
    "  --json              the results as one JSON object on standard output\n"
    "  --list              print the catalog (name, class, expectation, what it models) and exit\n"
    "  --threads N         worker threads (default: one per core)\n"
    "  --limit N           the instruction limit of each fault's run instead\n"
    "\n"
    "exit codes: 0 every fault with expected routines was caught by them,\n"
    "            1 at least one was not, 2 bad input or the image fails without a fault\n";

struct Options {
  std::string image_path;
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
    if (a == "--image") options.image_path = args.value();
    else if (a == "--only") options.only = args.value();
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
  for (const faults::CatalogFault* fault : chosen)
    std::printf("%-30s %-28s %-36s %s\n", std::string(fault->name).c_str(),
                std::string(faults::class_name(fault->fault_class)).c_str(), expectation_text(fault->expected).c_str(),
                std::string(fault->models).c_str());
  std::printf("%zu faults\n", chosen.size());
}

void print_results(const faults::Campaign& campaign) {
  for (const faults::FaultResult& r : campaign.results) {
    const bool expected = faults::as_expected(r.fault->expected, r.run);
    std::printf("%-30s failed %-24s expected %-28s %s%s\n", std::string(r.fault->name).c_str(),
                routine_list(r.run.failed).c_str(), expectation_text(r.fault->expected).c_str(),
                std::string(faults::verdict_name(r.verdict)).c_str(), expected ? "" : " (not as the catalog says)");
  }
  const faults::Score s = faults::score_of(campaign.results);
  std::printf(
      "%zu faults: %zu caught, %zu by their expected routines (of %zu with expected routines); "
      "%zu escaped, %zu with a stated reason, %zu without; limit %llu instructions a run\n",
      s.faults, s.caught, s.caught_by_expected, s.expected_routines, s.escaped_with_reason + s.escaped_without_reason,
      s.escaped_with_reason, s.escaped_without_reason, static_cast<unsigned long long>(campaign.limit));
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
  std::vector<uint8_t> boot;
  faults::ImageShape shape;
  if (options.image_path.empty()) {
    const Image image = build_image(kDefaultSeed);
    boot = image.boot_bytes();
    shape = faults::shape_of(image);
  } else {
    const elf::LoadedElf elf = elf::read_elf_file(options.image_path);
    boot = elf.boot;
    shape = faults::shape_of(elf);
  }
  faults::CampaignOptions campaign_options;
  campaign_options.quick_run_flag = options.full ? 0 : 1;
  campaign_options.threads = options.threads;
  if (options.limit) campaign_options.limit_factor = 0, campaign_options.min_limit = options.limit;
  if (isatty(STDOUT_FILENO)) {
    campaign_options.progress = [](size_t done, size_t total) {
      std::fprintf(stderr, "\r%zu of %zu faults run", done, total);
      if (done == total) std::fputs("\r                          \r", stderr);
    };
  }
  const faults::Campaign campaign = faults::run_campaign(boot, shape, chosen, campaign_options);
  if (!campaign.baseline.passed()) {
    std::fprintf(stderr, "r3kcheck: faults: the image does not pass without a fault (%s); a score would mean nothing\n",
                 baseline_problem(campaign.baseline).c_str());
    return kExitError;
  }
  if (options.json) std::fputs(campaign_json(campaign).c_str(), stdout);
  else print_results(campaign);
  return faults::score_of(campaign.results).expected_missed == 0 ? kExitOk : kExitFailed;
}

}  // namespace r3k::cli
