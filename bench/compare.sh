#!/usr/bin/env bash
# Times r3kcheck against the other tools, whole process against whole process:
#   quick run   r3kcheck run IMAGE --quiet           vs  unicorn_run IMAGE
#   full run    r3kcheck run IMAGE --quiet --full    vs  unicorn_run IMAGE --full
#   build       r3kcheck build -o IMAGE              vs  make in the exported GNU as + ld source tree
# and prints each side's median over several runs, the ratio (other / ours:
# above 1 means r3kcheck is faster) and r3kcheck's peak memory.
#
#   bench/compare.sh BUILD_DIR      (make bench calls it with build-bench)
#   BEFORE=old/r3kcheck bench/compare.sh BUILD_DIR
#                                   also times an earlier build of the tool, in the same run
#
# Peak memory comes from GNU time (/usr/bin/time -v); on Debian or Ubuntu
# `apt-get install time` installs it. Without libunicorn (libunicorn-dev) the
# run comparisons print r3kcheck's figures alone; so does the build comparison
# while `r3kcheck build --help` offers no --sources.
set -euo pipefail

build_dir=${1:-build-bench}
tool=$build_dir/r3kcheck
unicorn=$build_dir/unicorn_run
quick_runs=${QUICK_RUNS:-11}
full_runs=${FULL_RUNS:-5}
build_runs=${BUILD_RUNS:-11}
before=${BEFORE:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
image=$work/image.elf
"$tool" build -o "$image" >/dev/null

timeit=$build_dir/timeit

# The median wall time in seconds of running "$@" `count` times: spawned
# directly by timeit where it is built, else by this shell (whose own fork
# adds a millisecond or two to each side).
median_seconds() {
  local count=$1
  shift
  if [[ -x $timeit ]]; then
    "$timeit" "$count" "$@"
    return
  fi
  local times=() start end
  for ((i = 0; i < count; ++i)); do
    start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 || true
    end=$EPOCHREALTIME
    times+=("$(echo "$end - $start" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# Peak resident memory in KiB of one run of "$@", or "?" without GNU time.
peak_kib() {
  if [[ -x /usr/bin/time ]]; then
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ { print $2 }'
  else
    echo "?"
  fi
}

row() {  # name, runs, ours, other ("" when there is none), peak KiB, earlier build ("" when none)
  local ratio="-" other="-" earlier=""
  if [[ -n $4 ]]; then
    other=$(printf '%.4f s' "$4")
    ratio=$(printf '%.1fx' "$(echo "$4 / $3" | bc -l)")
  fi
  if [[ -n $6 && -n $4 ]]; then
    earlier=$(printf '  (before: %.4f s, %.1fx)' "$6" "$(echo "$4 / $6" | bc -l)")
  elif [[ -n $6 ]]; then
    earlier=$(printf '  (before: %.4f s)' "$6")
  fi
  printf '%-11s %5s  %12s  %12s  %8s  %8s KiB%s\n' "$1" "$2" "$(printf '%.4f s' "$3")" "$other" "$ratio" "$5" "$earlier"
}

# The earlier build's median, or "" without one.
before_seconds() {
  [[ -n $before ]] || return 0
  local count=$1
  shift
  median_seconds "$count" "$before" "$@"
}

echo "cores: $(nproc), load: $(cut -d' ' -f1-3 /proc/loadavg)"
# Each side's verdict once before timing: a run that does not pass has no time to compare.
"$tool" run "$image" --quiet >/dev/null
[[ -x $unicorn ]] && "$unicorn" "$image" >/dev/null

printf '%-11s %5s  %12s  %12s  %8s  %12s\n' "" "runs" "r3kcheck" "other" "ratio" "peak memory"

ours=$(median_seconds "$quick_runs" "$tool" run "$image" --quiet)
other=""
[[ -x $unicorn ]] && other=$(median_seconds "$quick_runs" "$unicorn" "$image")
row "quick run" "$quick_runs" "$ours" "$other" "$(peak_kib "$tool" run "$image" --quiet)" \
  "$(before_seconds "$quick_runs" run "$image" --quiet)"

ours=$(median_seconds "$full_runs" "$tool" run "$image" --quiet --full)
other=""
[[ -x $unicorn ]] && other=$(median_seconds "$full_runs" "$unicorn" "$image" --full)
row "full run" "$full_runs" "$ours" "$other" "$(peak_kib "$tool" run "$image" --quiet --full)" \
  "$(before_seconds "$full_runs" run "$image" --quiet --full)"

ours=$(median_seconds "$build_runs" "$tool" build -o "$work/again.elf")
other=""
if "$tool" build --help | grep -q -- --sources && command -v mipsel-linux-gnu-as >/dev/null; then
  "$tool" build -o "$work/exported.elf" --sources "$work/src" >/dev/null
  make -s -C "$work/src" >/dev/null  # a tree that does not build has no time to compare
  other=$(median_seconds "$build_runs" make -s -B -C "$work/src")
fi
row "build" "$build_runs" "$ours" "$other" "$(peak_kib "$tool" build -o "$work/again.elf")" \
  "$(before_seconds "$build_runs" build -o "$work/again.elf")"
[[ -x $unicorn ]] || echo "(unicorn_run not built: install libunicorn-dev for the run comparisons)"
[[ -n $other ]] || echo "(build: no exported GNU as source tree to compare with)"
