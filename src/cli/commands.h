// The subcommands of r3kcheck. Each takes its arguments (after the
// subcommand's name) and returns the process exit code; problems with the
// input are thrown as r3k::Error and reported by main.
#pragma once

#include <string>
#include <vector>

namespace r3k::cli {

using Arguments = std::vector<std::string>;

// Exit codes every subcommand keeps.
inline constexpr int kExitOk = 0;       // success; for run: the lamps show pass
inline constexpr int kExitFailed = 1;   // run: the lamps show fail
inline constexpr int kExitError = 2;    // bad input, or the run reached no verdict

int build_command(const Arguments& arguments);
int run_command(const Arguments& arguments);
int export_command(const Arguments& arguments);
int explain_command(const Arguments& arguments);
int trace_diff_command(const Arguments& arguments);
int faults_command(const Arguments& arguments);
int diagnose_command(const Arguments& arguments);
int kit_command(const Arguments& arguments);

}  // namespace r3k::cli
