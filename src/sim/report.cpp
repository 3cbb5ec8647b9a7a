#include "sim/report.h"
#include "common/hex.h"

namespace r3k::sim {

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

}  // namespace r3k::sim
