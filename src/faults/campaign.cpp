#include "faults/campaign.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <stdexcept>
#include <mutex>
#include <thread>

#include "board/board.h"
#include "common/error.h"
#include "elf/elf_reader.h"
#include "image/image.h"
#include "board/layout.h"
#include "report/verdict.h"

namespace r3k::faults {

ImageShape shape_of(const Image& image, ImageKind kind) {
  ImageShape shape;
  shape.kind = kind;
  for (const RoutineInfo& routine : image.routines) shape.routines.push_back({routine.address, routine.size});
  return shape;
}

ImageShape shape_of(const elf::LoadedElf& elf, ImageKind kind) {
  ImageShape shape;
  shape.kind = kind;
  std::map<int, RoutineSpan> found;
  for (const elf::ElfSymbol& symbol : elf.symbols)
    if (const std::optional<int> number = board::routine_number_of(symbol.name))
      found[*number] = {symbol.value, symbol.size};
  const int count = kind == ImageKind::main ? layout::kRoutineCount : static_cast<int>(found.size());
  if (count == 0) throw Error("the image has no routine function symbols (nN_xxx_test)");
  for (int n = 1; n <= count; ++n) {
    const auto it = found.find(n);
    if (it == found.end() || it->second.size < frame_bytes(shape.frame()))
      throw Error("the image has no function symbol for routine " + std::to_string(n) + " (nN_xxx_test)");
    shape.routines.push_back(it->second);
  }
  return shape;
}

std::set<int> failed_routines(const std::vector<uint32_t>& words) {
  board::DisplayReader display;
  display.on_write(0);
  std::set<int> failed;
  for (size_t i = 0; i < words.size(); ++i)
    if (!display.on_write(words[i])->passed) failed.insert(static_cast<int>(i) + 1);
  return failed;
}

bool FaultRun::passed() const {
  return lamps == board::Verdict::Pass && failed.empty() && display_words.size() == routine_count;
}

FaultRun run_with_fault(sim::Machine& machine, const sim::Fault& fault, size_t routine_count,
                        uint64_t max_instructions, uint32_t quick_run_flag) {
  sim::RunOptions options;
  options.quick_run_flag = quick_run_flag;
  options.max_instructions = max_instructions;
  options.fault = fault;
  const sim::RunResult result = machine.run(options);
  FaultRun run;
  run.stop = result.stop;
  run.exception = result.exception;
  run.lamps = report::verdict_of(result);
  run.instructions = result.instructions;
  run.routine_count = routine_count;
  for (const sim::BoardWrite& write : result.board_writes)
    if (write.address == board::kResultDisplay) run.display_words.push_back(write.value);
  if (!run.display_words.empty()) run.display_words.erase(run.display_words.begin());  // the start pattern's 0
  // Words past the image's routines are a run gone wild: they name none.
  const size_t named = std::min(run.display_words.size(), routine_count);
  run.failed = failed_routines({run.display_words.begin(), run.display_words.begin() + static_cast<long>(named)});
  return run;
}

std::string_view verdict_name(Verdict verdict) {
  switch (verdict) {
    case Verdict::caught_by_expected: return "caught by its routines";
    case Verdict::caught_elsewhere: return "caught elsewhere only";
    case Verdict::escaped: return "escaped";
    case Verdict::exception_loop: return "exception loop";
    case Verdict::limit: return "hit the limit";
    case Verdict::no_verdict: return "no verdict";
    case Verdict::not_run: return "not run";
  }
  return "?";
}

Verdict judge(const Expectation& expected, const FaultRun& run) {
  if (expected.outcome == Outcome::not_applicable) return Verdict::not_run;
  if (run.stop == sim::StopReason::ExceptionLoop) return Verdict::exception_loop;
  if (run.stop == sim::StopReason::InstructionLimit) return Verdict::limit;
  if (run.passed()) return Verdict::escaped;
  if (run.lamps != board::Verdict::Fail) return Verdict::no_verdict;
  const std::set<int>& routines = expected.routines;
  const bool all_expected = expected.outcome == Outcome::routines_fail && !routines.empty() &&
                            std::includes(run.failed.begin(), run.failed.end(), routines.begin(), routines.end());
  return all_expected ? Verdict::caught_by_expected : Verdict::caught_elsewhere;
}

bool as_expected(const Expectation& expected, const FaultRun& run) {
  switch (expected.outcome) {
    case Outcome::routines_fail:
      return run.stop == sim::StopReason::Finished && run.lamps == board::Verdict::Fail &&
             run.failed == expected.routines && run.display_words.size() == run.routine_count;
    case Outcome::unseen: return run.passed();
    case Outcome::exception_loop:
      // Which routines fail before the run derails can depend on the seed's values.
      return run.stop == sim::StopReason::ExceptionLoop &&
             std::includes(run.failed.begin(), run.failed.end(), expected.routines.begin(), expected.routines.end()) &&
             (!expected.stops_in || run.stopped_in() == expected.stops_in);
    case Outcome::run_breaks:  // lost, cut, or lamps and display words that disagree
      return run.stop != sim::StopReason::ExceptionLoop && !run.passed() &&
             !(run.stop == sim::StopReason::Finished && run.lamps == board::Verdict::Fail &&
               run.display_words.size() == run.routine_count) &&
             (!expected.stops_in || run.stopped_in() == expected.stops_in);
    case Outcome::not_stated: return true;
    case Outcome::not_applicable: return run.instructions == 0;
  }
  return false;
}

Campaign run_campaign(const std::vector<uint8_t>& boot, const ImageShape& shape,
                      const std::vector<const CatalogFault*>& faults, const CampaignOptions& options) {
  Campaign campaign;
  campaign.kind = shape.kind;
  {
    sim::Machine machine(boot);
    campaign.baseline = run_with_fault(machine, {}, shape.routine_count(), 2'000'000'000, options.quick_run_flag);
  }
  if (!campaign.baseline.passed()) return campaign;
  campaign.limit = std::max(options.limit_factor * campaign.baseline.instructions, options.min_limit);
  // A run cut before the unmodified image would have ended shows nothing
  // about the fault: every fault would count as caught.
  if (campaign.limit < campaign.baseline.instructions)
    throw Error("a limit of " + std::to_string(campaign.limit) + " instructions is below the " +
                std::to_string(campaign.baseline.instructions) + " the " + std::string(image_name(shape.kind)) +
                " runs without a fault; give at least that");
  campaign.results.resize(faults.size());

  std::atomic<size_t> next{0};
  size_t done = 0;
  std::mutex progress_mutex;
  const auto worker = [&] {
    sim::Machine machine(boot);  // one per worker: a machine holds the run's memory and board
    for (size_t i = next++; i < faults.size(); i = next++) {
      FaultResult& result = campaign.results[i];
      result.fault = faults[i];
      const Expectation& expected = faults[i]->expected_on(shape.kind);
      if (expected.outcome != Outcome::not_applicable)
        result.run = run_with_fault(machine, faults[i]->make(shape), shape.routine_count(), campaign.limit,
                                    options.quick_run_flag);
      result.verdict = judge(expected, result.run);
      if (options.progress) {
        const std::lock_guard lock(progress_mutex);
        options.progress(++done, faults.size());
      }
    }
  };
  unsigned threads = options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  threads = static_cast<unsigned>(std::min<size_t>(threads, std::max<size_t>(faults.size(), 1)));
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (std::thread& thread : pool) thread.join();
  return campaign;
}

Score score_of(const std::vector<FaultResult>& results, ImageKind kind) {
  Score score;
  for (const FaultResult& r : results) {
    if (r.verdict == Verdict::not_run) continue;
    ++score.faults;
    const Expectation& expected = r.fault->expected_on(kind);
    const bool has_routines = expected.outcome == Outcome::routines_fail;
    if (r.verdict != Verdict::escaped) ++score.caught;
    if (r.verdict == Verdict::caught_by_expected) ++score.caught_by_expected;
    if (has_routines) ++score.expected_routines;
    if (has_routines && r.verdict != Verdict::caught_by_expected) ++score.expected_missed;
    if (r.verdict == Verdict::escaped) {
      if (expected.outcome == Outcome::unseen) ++score.escaped_with_reason;
      else if (expected.outcome == Outcome::not_stated) ++score.escaped_unclaimed;
      else ++score.escaped_without_reason;
    }
  }
  return score;
}

namespace {
bool caught(const FaultResult& r) { return r.verdict != Verdict::escaped && r.verdict != Verdict::not_run; }
}  // namespace

JointScore joint_score(const std::vector<FaultResult>& main, const std::vector<FaultResult>& supplement) {
  if (main.size() != supplement.size()) throw std::logic_error("joint_score: the two campaigns ran different faults");
  JointScore score;
  for (size_t i = 0; i < main.size(); ++i) {
    if (main[i].fault != supplement[i].fault) throw std::logic_error("joint_score: the faults are not in one order");
    ++score.faults;
    const bool by_main = caught(main[i]), by_supplement = caught(supplement[i]);
    if (by_main || by_supplement) ++score.caught;
    else score.escaped.push_back(main[i].fault);
    if (by_main && !by_supplement) ++score.caught_by_main_only;
    if (by_supplement && !by_main) ++score.caught_by_supplement_only;
  }
  return score;
}

ImagesScore images_score(const std::vector<Campaign>& campaigns) {
  ImagesScore score;
  score.caught_only.assign(campaigns.size(), 0);
  if (campaigns.empty()) return score;
  const size_t faults = campaigns.front().results.size();
  for (const Campaign& campaign : campaigns)
    if (campaign.results.size() != faults) throw std::logic_error("images_score: the campaigns ran different faults");
  for (size_t i = 0; i < faults; ++i) {
    ++score.faults;
    std::vector<size_t> by;
    for (size_t c = 0; c < campaigns.size(); ++c)
      if (caught(campaigns[c].results[i])) by.push_back(c);
    if (by.empty()) score.escaped.push_back(campaigns.front().results[i].fault);
    else ++score.caught;
    if (by.size() == 1) ++score.caught_only[by.front()];
  }
  return score;
}

}  // namespace r3k::faults
