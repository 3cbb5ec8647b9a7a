// timeit RUNS COMMAND [ARGUMENT...]
//
// Runs COMMAND RUNS times, one after the other, and prints the median wall
// time of one run in seconds: from the spawn of the process to its exit,
// whole process against whole process. Output goes to /dev/null. The
// process is spawned directly (posix_spawn), so the figure holds the
// command's own start-up and exit but not that of a shell forking itself,
// which would add the same millisecond or two to both sides of a comparison.
// Exits 2 when the command cannot be started.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: timeit RUNS COMMAND [ARGUMENT...]\n", stderr);
    return 2;
  }
  char* end = nullptr;
  const long runs = std::strtol(argv[1], &end, 10);
  if (*end != '\0' || runs < 1 || runs > 100000) {
    std::fprintf(stderr, "timeit: RUNS must be a number from 1 to 100000, not '%s'\n", argv[1]);
    return 2;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<double> seconds;
  for (long i = 0; i < runs; ++i) {
    const auto begin = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (const int error = posix_spawnp(&pid, argv[2], &actions, nullptr, argv + 2, environ); error != 0) {
      std::fprintf(stderr, "timeit: cannot start %s\n", argv[2]);
      return 2;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
      std::fprintf(stderr, "timeit: %s could not be run\n", argv[2]);
      return 2;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  std::sort(seconds.begin(), seconds.end());
  std::printf("%.6f\n", seconds[seconds.size() / 2]);
  return 0;
}
