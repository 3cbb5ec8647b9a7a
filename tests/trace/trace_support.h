// Traces of the default image for the trace tests: written by the reference
// simulator (with or without a fault), changed at a line, diffed back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/image.h"
#include "sim/fault.h"
#include "trace/trace_diff.h"

namespace r3k::test {

// The commit trace of a quick run of `image`, one string per line (the version line first).
std::vector<std::string> trace_lines(const Image& image, const sim::Fault& fault = {});
// The golden trace of the default image, written once per test process.
const std::vector<std::string>& golden_trace();

std::string join_lines(const std::vector<std::string>& lines);

// Diffs `text` as a design's trace against a quick run of the default image.
trace::DiffOutcome diff_text(const std::string& text, std::optional<trace::TraceKeys> keys = {},
                             bool writes_only = false);

// The trace in key=value shape: "RET cyc=N pc=... op=0x... rd=HEX val=...", one
// per instruction line (first register write only), with a bench message every
// 1000 lines; instructions that write no register are left out when `writes_only`.
std::string key_value_trace(const std::vector<std::string>& lines, bool writes_only = false);

}  // namespace r3k::test
