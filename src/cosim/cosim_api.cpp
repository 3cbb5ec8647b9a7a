// The C face of the checker: every exception stops here and becomes a
// return code with a message, since a caller in C or a simulator's DPI
// cannot catch one.
#include <exception>
#include <new>
#include <string>

#include "common/error.h"
#include "cosim/checker.h"
#include "routine/random.h"

struct r3k_cosim {
  std::unique_ptr<r3k::cosim::Checker> checker;
  std::string error;
};

namespace {

thread_local std::string last_error;

int fail(r3k_cosim* handle, int code, const std::string& message) {
  last_error = message;
  if (handle) handle->error = message;
  return code;
}

// Runs `body`, turning what it throws into a code and a message.
template <class Body>
int guarded(r3k_cosim* handle, int code_for_error, Body&& body) {
  try {
    return body();
  } catch (const r3k::Error& e) {
    return fail(handle, code_for_error, e.what());
  } catch (const std::bad_alloc&) {
    return fail(handle, R3K_COSIM_ERROR_INTERNAL, "out of memory");
  } catch (const std::exception& e) {
    return fail(handle, R3K_COSIM_ERROR_INTERNAL, std::string("internal error: ") + e.what());
  }
}

const char* text_or_empty(const r3k_cosim* checker, const std::string& (r3k::cosim::Checker::*text)() const) {
  return checker && checker->checker ? ((*checker->checker).*text)().c_str() : "";
}

}  // namespace

extern "C" {

void r3k_cosim_default_options(r3k_cosim_options* options) {
  if (!options) return;
  *options = r3k_cosim_options{};
  options->quick_run_flag = 1;
  options->max_instructions = r3k::sim::RunOptions{}.max_instructions;
  options->seed = r3k::kDefaultSeed;
  options->reports = R3K_COSIM_REPORTS_ALL;
}

int r3k_cosim_open(const char* image_path, const r3k_cosim_options* options, r3k_cosim** checker) {
  if (checker) *checker = nullptr;
  if (!image_path || !options || !checker)
    return fail(nullptr, R3K_COSIM_ERROR_ARGUMENT, "r3k_cosim_open: a null image path, options or checker pointer");
  if (options->reports & ~R3K_COSIM_REPORTS_ALL)
    return fail(nullptr, R3K_COSIM_ERROR_ARGUMENT, "r3k_cosim_open: reports has bits no part stands for");
  return guarded(nullptr, R3K_COSIM_ERROR_IMAGE, [&] {
    auto handle = std::make_unique<r3k_cosim>();
    handle->checker = std::make_unique<r3k::cosim::Checker>(image_path, *options);
    *checker = handle.release();
    return R3K_COSIM_OK;
  });
}

int r3k_cosim_step(r3k_cosim* checker, const r3k_cosim_record* record) {
  if (!checker || !record) return fail(checker, R3K_COSIM_ERROR_ARGUMENT, "r3k_cosim_step: a null checker or record");
  return guarded(checker, R3K_COSIM_ERROR_STOPPED, [&] { return checker->checker->step(*record); });
}

const char* r3k_cosim_report(const r3k_cosim* checker) {
  return text_or_empty(checker, &r3k::cosim::Checker::report);
}

const char* r3k_cosim_verdict(const r3k_cosim* checker) {
  return text_or_empty(checker, &r3k::cosim::Checker::verdict);
}

uint64_t r3k_cosim_steps(const r3k_cosim* checker) { return checker ? checker->checker->steps() : 0; }

const char* r3k_cosim_error(const r3k_cosim* checker) { return checker ? checker->error.c_str() : ""; }

const char* r3k_cosim_last_error(void) { return last_error.c_str(); }

void r3k_cosim_close(r3k_cosim* checker) { delete checker; }

void* r3k_cosim_dpi_open(const char* image_path, unsigned int quick_run_flag, unsigned long long max_instructions,
                         unsigned int seed, unsigned int reports, unsigned int writes_only) {
  r3k_cosim_options options;
  r3k_cosim_default_options(&options);
  options.quick_run_flag = quick_run_flag;
  options.max_instructions = max_instructions;
  options.seed = seed;
  options.reports = reports;
  options.writes_only = writes_only;
  r3k_cosim* checker = nullptr;
  r3k_cosim_open(image_path, &options, &checker);
  return checker;
}

int r3k_cosim_dpi_step(void* checker, unsigned int pc, unsigned int word, unsigned int rd, unsigned int rd_value,
                       unsigned int hi_written, unsigned int lo_written, unsigned int hi, unsigned int lo,
                       unsigned int store_mask, unsigned int store_addr, unsigned int store_data,
                       unsigned int load_valid, unsigned int load_addr, unsigned int exception, unsigned int cause,
                       unsigned int bad_addr) {
  const r3k_cosim_record record{pc,         word,       rd,         rd_value,   hi_written, lo_written,
                                hi,         lo,         store_mask, store_addr, store_data, load_valid,
                                load_addr,  exception,  cause,      bad_addr};
  return r3k_cosim_step(static_cast<r3k_cosim*>(checker), &record);
}

const char* r3k_cosim_dpi_report(void* checker) { return r3k_cosim_report(static_cast<r3k_cosim*>(checker)); }
const char* r3k_cosim_dpi_verdict(void* checker) { return r3k_cosim_verdict(static_cast<r3k_cosim*>(checker)); }
void r3k_cosim_dpi_close(void* checker) { r3k_cosim_close(static_cast<r3k_cosim*>(checker)); }

}  // extern "C"
