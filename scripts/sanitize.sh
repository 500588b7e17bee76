#!/usr/bin/env bash
# Builds the program and its tests with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan
# and runs the test suite there. Not part of `make test`: the instrumented suite takes several times
# as long. Leaks that start in the libraries Qt brings (fontconfig, GLib, D-Bus, X11) are suppressed
# through scripts/lsan.supp; everything else is reported with its stack.
#
#   scripts/sanitize.sh                 configure, build, run the whole suite
#   scripts/sanitize.sh -R notes        pass arguments on to ctest (here: only the notes tests)
#   scripts/sanitize.sh --app           the program itself instead: launches with an empty home and
#                                       with the five-year profile, each quit by SIGTERM at several
#                                       moments (during the launch's loads, after them, once settled);
#                                       a launch that reports anything or exits abnormally is a FAULT
#   JOBS=2 scripts/sanitize.sh          build and test jobs (default 4)
#
# The log of every test is in build-asan/Testing/Temporary/LastTest.log; a summary of the sanitizer
# reports that name our sources is printed at the end.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-asan"
jobs=${JOBS:-4}

[ -f /work/ccache.env ] && . /work/ccache.env
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# Line tables only (-g1): enough for every frame of a report to name its file and line, and the
# instrumented tree takes a third of the disk that full debug information would.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null || exit 1
# The program, its modules and the tests; of the benchmarks only the one that writes the profile.
ninja -C "$build" -j "$jobs" mivo src/all tests/all bench_scale || { echo "sanitize.sh: BUILD FAILED"; exit 1; }

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:new_delete_type_mismatch=0:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:${UBSAN_OPTIONS:-}"
export QT_QPA_PLATFORM=offscreen

# One launch of the program in a home of its own, quit with SIGTERM after $2 seconds; $3 is a
# database to start from (empty: none). What it writes, the sanitizers' reports too, is in
# $out/<label>.log.
app_run() {
  local label=$1 delay=$2 db=$3 home rc
  home=$(mktemp -d)
  mkdir -p "$home"/{home,data/mivo,config,cache,runtime}
  chmod 700 "$home/runtime"
  [ -n "$db" ] && cp "$db" "$home/data/mivo/mivo.sqlite3"
  HOME="$home/home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
    XDG_RUNTIME_DIR="$home/runtime" "$build/mivo" >"$out/$label.log" 2>&1 &
  local pid=$!
  sleep "$delay"
  kill -TERM "$pid" 2>/dev/null
  { wait "$pid"; } 2>/dev/null # the shell would say "Aborted" itself: the log says more
  rc=$?
  rm -rf "$home"
  local reports verdict=ok
  reports=$(grep -cE '^==[0-9]+==ERROR|runtime error:|pure virtual method called|terminate called' "$out/$label.log")
  # 0: quit cleanly; 143: the signal came before the handler was in place. Anything else is a fault.
  if [ "$reports" -ne 0 ] || { [ "$rc" -ne 0 ] && [ "$rc" -ne 143 ]; }; then verdict=FAULT; failed=1; fi
  printf '%-28s exit %3d, reports: %s  %s\n' "$label" "$rc" "$reports" "$verdict"
}

if [ "${1:-}" = --app ]; then
  out="$build/app-runs"
  rm -rf "$out" && mkdir -p "$out"
  profile="$out/five-year.sqlite3"
  "$build/bench/bench_scale" --profile "$profile" >/dev/null 2>&1 || { echo "sanitize.sh: no profile"; exit 1; }
  failed=0
  # The launch's loads run in the first few tenths of a second: a quit then meets them at work.
  for delay in 0.05 0.08 0.1 0.12 0.15 0.2 0.3 0.4; do
    for round in 1 2 3; do app_run "profile-term-$delay-$round" "$delay" "$profile"; done
  done
  app_run profile-term-3 3 "$profile"
  app_run profile-term-10 10 "$profile"
  app_run empty-term-0.3 0.3 ""
  app_run empty-term-5 5 ""
  echo "sanitize.sh: what each launch wrote is in $out/<label>.log"
  exit $failed
fi

cd "$build" || exit 1
# Instrumented code runs two to five times slower: every test gets FACTOR times its own limit (ctest
# has no option for that, so the generated test lists are rewritten; the next configure restores them).
factor=${FACTOR:-4}
find "$build" -name CTestTestfile.cmake -exec \
  perl -pi -e 's/TIMEOUT "(\d+)"/"TIMEOUT \"" . ($1 * '"$factor"') . "\""/ge' {} +
# The package check builds a .deb of the instrumented tree, which says nothing new: it is left out.
ctest -j "$jobs" --output-on-failure -E '^tst_packaging$' "$@"
rc=$?

log="$build/Testing/Temporary/LastTest.log"
echo
echo "sanitize.sh: sanitizer reports, each with its first frame in our sources (indirect leaks left out)"
echo "sanitize.sh: full log: $log"
# A frame is ours when its file lies in src/, tests/ or bench/ of this tree: named from the build
# folder (../src/…) or by absolute path, as Ninja passes sources to the compiler when no ccache is in
# between.
root="$root" awk '
  BEGIN { n = split("src tests bench", dirs, " "); root = ENVIRON["root"] }
  function ours_frame(line,   i) {
    for (i = 1; i <= n; i++)
      if (index(line, " ../" dirs[i] "/") || index(line, " " root "/" dirs[i] "/")) return 1
    return 0
  }
  /^[0-9]+\/[0-9]+ Testing: / { test = $3 }
  /==ERROR: AddressSanitizer|runtime error:|^Direct leak of/ {
    if (report != "") print test ": " report "\n    " (ours != "" ? ours : "(no frame of ours)")
    report = $0; ours = ""; next
  }
  report != "" && ours == "" && ours_frame($0) { sub(/^ +/, ""); ours = $0 }
  /^(SUMMARY|<end of output>|Indirect leak of)/ && report != "" {
    print test ": " report "\n    " (ours != "" ? ours : "(no frame of ours)"); report = ""
  }
' "$log" | head -200
exit $rc
