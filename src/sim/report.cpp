#include "sim/report.h"

#include <charconv>
#include <cstdio>

namespace r3k::sim {

namespace {

std::string hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08x", value);
  return buffer;
}

bool has_bad_address(Cause cause) {
  switch (cause) {
    case Cause::AddressErrorLoad:
    case Cause::AddressErrorStore:
    case Cause::BusErrorLoad:
    case Cause::BusErrorStore: return true;
    default: return false;  // a fetch's bad address is its pc
  }
}

}  // namespace

std::string_view stop_reason_name(StopReason reason) {
  switch (reason) {
    case StopReason::Finished: return "finished";
    case StopReason::ExceptionLoop: return "exception loop";
    case StopReason::InstructionLimit: return "instruction limit";
  }
  return "unknown";
}

std::string_view cause_name(Cause cause) {
  switch (cause) {
    case Cause::AddressErrorFetch: return "address error on instruction fetch";
    case Cause::AddressErrorLoad: return "address error on load";
    case Cause::AddressErrorStore: return "address error on store";
    case Cause::BusErrorFetch: return "bus error on instruction fetch";
    case Cause::BusErrorLoad: return "bus error on load";
    case Cause::BusErrorStore: return "bus error on store";
    case Cause::Syscall: return "syscall";
    case Cause::Breakpoint: return "breakpoint";
    case Cause::ReservedInstruction: return "reserved instruction";
    case Cause::ArithmeticOverflow: return "arithmetic overflow";
  }
  return "unknown exception";
}

std::string describe(const ExceptionRecord& exception) {
  std::string text = std::string(cause_name(exception.cause)) + " at " + hex(exception.pc);
  if (has_bad_address(exception.cause)) text += " (address " + hex(exception.bad_address) + ")";
  return text;
}

DisplayWord decode_display(uint32_t word) { return {static_cast<int>(word >> 24), word & 0x00FFFFFF}; }

Verdict verdict_of(const RunResult& result) {
  if (result.stop != StopReason::Finished) return Verdict::None;
  const BoardState& b = result.board;
  if (b.status_lamp_a == layout::kLampOn && b.status_lamp_b == layout::kLampOn && b.lamp_bank == layout::kLampBankAll)
    return Verdict::Pass;
  if (b.status_lamp_a == layout::kLampFail && b.status_lamp_b == layout::kLampFail && b.lamp_bank == 0)
    return Verdict::Fail;
  return Verdict::None;
}

std::optional<int> routine_number_of(std::string_view symbol) {
  // n<number>_<mnemonic>_test or n<number>_<mnemonic>_ds_test
  constexpr std::string_view kSuffix = "_test";
  if (!symbol.starts_with('n') || !symbol.ends_with(kSuffix)) return std::nullopt;
  const char* const begin = symbol.data() + 1;
  const char* const end = symbol.data() + symbol.size() - kSuffix.size();
  int number = 0;
  const auto [rest, error] = std::from_chars(begin, end, number);
  if (error != std::errc{} || number <= 0 || rest >= end - 1 || *rest != '_') return std::nullopt;
  return number;
}

}  // namespace r3k::sim
