#!/usr/bin/env bash
# Builds the program and its tests with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan
# and runs the test suite there. Not part of `make test`: the instrumented suite takes several times
# as long. Leaks that start in the libraries Qt brings (fontconfig, GLib, D-Bus, X11) are suppressed
# through scripts/lsan.supp; everything else is reported with its stack.
#
#   scripts/sanitize.sh                 configure, build, run the whole suite
#   scripts/sanitize.sh -R notes        pass arguments on to ctest (here: only the notes tests); only
#                                       the test programs they select are built
#   scripts/sanitize.sh --thread ...    ThreadSanitizer instead, in build-tsan (the same arguments)
#   scripts/sanitize.sh --app           the program itself instead: launches with an empty home and
#                                       with the five-year profile, each quit by SIGTERM at several
#                                       moments (during the launch's loads, after them, once settled);
#                                       a launch that reports anything or exits abnormally is a FAULT
#   JOBS=2 scripts/sanitize.sh          build and test jobs (default 4)
#   TEST_JOBS=2 scripts/sanitize.sh     test jobs alone (default: JOBS)
#
# The log of every test is in build-asan/Testing/Temporary/LastTest.log (build-tsan/… with --thread);
# a summary of the sanitizer reports that name our sources is printed at the end.
#
# Qt is not built with ThreadSanitizer: it sees neither Qt's own memory accesses nor its locks and
# queues (a mutex of Qt's is a futex it cannot see), so Qt's code makes reports of its own. Those are
# left out, and only those: a report is Qt's when both of its accesses are made inside Qt's libraries
# (the first frame of each access past the sanitizer's own is in a library, not in a program or module
# of this tree). Our code calling Qt does not make Qt's work ours: a paint event that has Qt convert an
# image on Qt's own threads, a QThread that Qt ends and waits for. An access made by our code, Qt's
# inline code compiled into it included, makes the report ours. Each report of ours is a fault and
# fails the run, whatever ctest says. The reports left out are counted by where they happened, so a new
# kind of them still shows. Reports of ours are grouped by their first frame in our sources: a hand-off
# that Qt orders (a task taken from a pool's queue, a queued call, a thread's end) shows as many
# reports at one place.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=address
if [ "${1:-}" = --thread ]; then
  mode=thread
  shift
fi
build="$root/build-asan"
[ "$mode" = thread ] && build="$root/build-tsan"
jobs=${JOBS:-4}

[ -f /work/ccache.env ] && . /work/ccache.env
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
[ "$mode" = thread ] && flags="-fsanitize=thread -fno-omit-frame-pointer"
# Line tables only (-g1): enough for every frame of a report to name its file and line, and the
# instrumented tree takes a third of the disk that full debug information would.
# The runtimes read debug information through libbacktrace, which cannot follow .dwo files: without
# -DMIVO_SPLIT_DWARF=OFF no frame would name a file of ours, and every report would look like Qt's.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" -DMIVO_SPLIT_DWARF=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null || exit 1
# The program, its modules and the tests; of the benchmarks only the one that writes the profile. With
# ctest arguments, only the test programs they select (their helper programs come as dependencies):
# an instrumented build of every test takes long, and the machine is shared.
if [ "${1:-}" = --app ]; then
  targets=(mivo bench_scale)
elif [ $# -gt 0 ]; then
  mapfile -t known < <(ninja -C "$build" -t targets all | sed -n 's/^\(tst_[A-Za-z0-9_]*\): .*/\1/p')
  mapfile -t targets < <(cd "$build" && ctest -N "$@" | sed -n 's/^ *Test *#[0-9]*: *//p' |
    grep -Fx -f <(printf '%s\n' "${known[@]}"))
  [ ${#targets[@]} -gt 0 ] || { echo "sanitize.sh: no test matches: $*"; exit 1; }
else
  targets=(mivo src/all tests/all bench_scale)
fi
ninja -C "$build" -j "$jobs" "${targets[@]}" || { echo "sanitize.sh: BUILD FAILED"; exit 1; }

# A crash (a null read, an abort) is reported by the sanitizer, with the stack of ours that made it, and
# ends the test at once. QtTest's own crash handler would attach gdb to print the stack instead, and
# gdb hangs on an instrumented process until ctest's limit ends the test, telling nothing.
crash="allow_user_segv_handler=0:handle_abort=1"
export QTEST_DISABLE_STACK_DUMP=1
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:new_delete_type_mismatch=0:$crash:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:${UBSAN_OPTIONS:-}"
# The summary below judges the reports (Qt's own are no fault), not the exit code. A fork (a test
# starting a helper program) goes on as the child of a threaded process may.
# scripts/tsan.supp leaves out reports that lie wholly in Qt (see there); how often each of its lines
# matched is counted in the summary, so a line that starts hiding more shows.
export TSAN_OPTIONS="exitcode=0:halt_on_error=0:die_after_fork=0:second_deadlock_stack=1:$crash:suppressions=$root/scripts/tsan.supp:print_suppressions=1:${TSAN_OPTIONS:-}"
export QT_QPA_PLATFORM=offscreen
# A process started by Qt (a PDF rendered to check it, a helper program) left ThreadSanitizer blind
# to the test's own thread for the rest of the test: see scripts/tsan_clone.c, preloaded for the tests.
preload=
if [ "$mode" = thread ]; then
  preload="$build/tsan_clone.so"
  cc -shared -fPIC -O2 -o "$preload" "$root/scripts/tsan_clone.c" -ldl ||
    { echo "sanitize.sh: scripts/tsan_clone.c does not build"; exit 1; }
fi

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
  [ "$mode" = address ] || { echo "sanitize.sh: --app runs under AddressSanitizer only"; exit 1; }
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
# QtTest's own limit on one test function (five minutes) is scaled the same way.
export QTEST_FUNCTION_TIMEOUT=$((300000 * factor))
# So are the tests' own waits for work on workers and paced layouts (tests/common/Instrumented.h).
export MIVO_WAIT_FACTOR=$factor
find "$build" -name CTestTestfile.cmake -exec \
  perl -pi -e 's/TIMEOUT "(\d+)"/"TIMEOUT \"" . ($1 * '"$factor"') . "\""/ge' {} +
# The package check builds a .deb of the instrumented tree, which says nothing new: it is left out.
LD_PRELOAD="$preload${preload:+${LD_PRELOAD:+:}}${LD_PRELOAD:-}" \
  ctest -j "${TEST_JOBS:-$jobs}" --output-on-failure -E '^tst_packaging$' "$@"
rc=$?

log="$build/Testing/Temporary/LastTest.log"
summary="$build/Testing/Temporary/sanitizer-summary.txt"
echo
echo "sanitize.sh: full log: $log"
# The programs and modules of this tree, by the names the reports give them (AddressSanitizer names
# them by path, ThreadSanitizer by name alone).
modules=$(find "$build" -maxdepth 3 -type f \( -perm -u+x -o -name '*.so' \) ! -path '*/CMakeFiles/*' -printf '%f\n' |
  sort -u | tr '\n' ' ')
# A frame in a program or module of this tree that names no source file and line means the reports
# cannot be told apart (ours or Qt's): the run says nothing then, and fails. (A thunk the compiler
# made has no line of its own; its name is enough.)
unresolved_in() {
  grep -E '^ +#[0-9]+ ' "$1" | grep -E '\(([^ ()]*/)?[^ ()/]+\+0x[0-9a-f]+\)$' |
    grep -F -f <(for m in $modules; do printf '(%s+0x\n/%s+0x\n' "$m" "$m"; done) |
    grep -vE ' [^ ()]+:[0-9]+(:[0-9]+)? \(| thunk to ' | sort -u
}
unresolved=$(unresolved_in "$log")
# The runtimes' own reader of debug information (libbacktrace) misses the lines of a few functions
# whose lines the program holds (PendingLoad::wait() of a header, in one test program of a hundred):
# those frames are looked up again with addr2line, and the reports are judged from a copy of the log
# that names them.
if [ -n "$unresolved" ] && command -v addr2line >/dev/null; then
  found="$log.lines"
  while read -r frame; do
    ref=${frame##*\(}; ref=${ref%)}
    module=${ref%+0x*}; module=${module##*/}
    path=$(find "$build" -maxdepth 3 -type f -name "$module" ! -path '*/CMakeFiles/*' -print -quit)
    [ -n "$path" ] || continue
    # The outermost place (-i: innermost first) is that of the function the frame names.
    line=$(addr2line -i -e "$path" "${ref##*+}" | tail -1 | sed -e 's/ (discriminator [0-9]*)$//' -e "s|^$build/||")
    [[ $line =~ ^[^?]+:[0-9]+$ ]] && printf '%s\t%s\n' "$ref" "$line"
  done <<<"$unresolved" >"$found"
  # The frames looked up come first; that list is empty when none was found, so it is told by its
  # name (counting lines would take the whole log for it then, and judge an empty copy).
  awk -F'\t' 'FILENAME == ARGV[1] { at[$1] = $2; next }
    match($0, / <null> \([^ ()]+\+0x[0-9a-f]+\)$/) {
      ref = substr($0, RSTART + 9, RLENGTH - 10)
      if (ref in at) $0 = substr($0, 1, RSTART) at[ref] " (" ref ")"
    }
    { print }' "$found" FS='\n' "$log" >"$log.named"
  rm -f "$found"
  log="$log.named"
  echo "sanitize.sh: frames of ours with no source file were looked up again: $log"
  unresolved=$(unresolved_in "$log")
fi
if [ -n "$unresolved" ]; then
  echo "sanitize.sh: $(printf '%s\n' "$unresolved" | wc -l) frame(s) of this tree name no source file, for example:"
  printf '%s\n' "$unresolved" | head -5
  rc=1
fi
# A frame is ours when its file lies in src/, tests/ or bench/ of this tree: named from the build
# folder (../src/…) or by absolute path, as Ninja passes sources to the compiler when no ccache is in
# between.
ours_awk='
  BEGIN { n = split("src tests bench", dirs, " "); root = ENVIRON["root"] }
  function ours_frame(line,   i) {
    if (line !~ /^ +#[0-9]+ /) return 0
    for (i = 1; i <= n; i++)
      if (index(line, " ../" dirs[i] "/") || index(line, " " root "/" dirs[i] "/")) return 1
    return 0
  }
  function trimmed(line) { sub(/^ +/, "", line); return line }
  /^[0-9]+\/[0-9]+ Testing: / { test = $3 }
'
if [ "$mode" = address ]; then
  echo "sanitize.sh: sanitizer reports, each with its first frame in our sources (indirect leaks"
  echo "sanitize.sh: only where a leak report has no direct leak: each is then a leak of its own)"
  root="$root" awk "$ours_awk"'
  function done_one() {
    if (report == "") return
    line = test ": " report "\n    " (ours != "" ? ours : "(no frame of ours)")
    if (kind == "indirect") indirect[++nindirect] = line
    else print line
    report = ""; ours = ""
  }
  # The end of a leak report: its indirect leaks are told when it had no direct one (objects that
  # point at each other, a QObject and its private part, leak as indirect leaks only), the largest
  # few, as LeakSanitizer orders them.
  function leaks_done(   i) {
    done_one()
    if (inleaks && !direct) {
      for (i = 1; i <= nindirect && i <= 8; i++) print indirect[i]
      if (nindirect > 8) print test ": and " (nindirect - 8) " more indirect leaks"
    }
    inleaks = 0; direct = 0; nindirect = 0
  }
  /==ERROR: LeakSanitizer:/ { leaks_done(); inleaks = 1; next }
  /==ERROR: AddressSanitizer|runtime error:/ { leaks_done(); report = $0; kind = "error"; next }
  /^Direct leak of/ { done_one(); report = $0; kind = "direct"; direct = 1; next }
  /^Indirect leak of/ { done_one(); report = $0; kind = "indirect"; next }
  /LeakSanitizer has encountered a fatal error/ {
    leaks_done(); print test ": LeakSanitizer has encountered a fatal error: leaks were not checked"; next
  }
  report != "" && ours == "" && ours_frame($0) { ours = trimmed($0) }
  /^SUMMARY: AddressSanitizer: [0-9]+ byte\(s\) leaked/ || /^<end of output>/ { leaks_done(); next }
  /^SUMMARY/ && report != "" { done_one() }
  END { leaks_done() }
' "$log" >"$summary"
  head -200 "$summary"
  exit $rc
fi

echo "sanitize.sh: ThreadSanitizer reports with an access made by our code (a fault), by the first"
echo "sanitize.sh: frame in our sources; then those of Qt's own (both accesses inside Qt), by where"
root="$root" modules="$modules" awk "$ours_awk"'
  BEGIN { nm = split(ENVIRON["modules"], m, " "); for (i = 1; i <= nm; i++) ourmodule[m[i]] = 1 }
  # The module a frame lies in: "(name+0x…)" at the end of the line.
  function module_of(line,   mod) {
    if (!match(line, /\([^ ()]+\+0x[0-9a-f]+\)$/)) return ""
    mod = substr(line, RSTART + 1, RLENGTH - 2); sub(/\+0x[0-9a-f]+$/, "", mod)
    return mod
  }
  # The stacks that say where the thread was and the memory was made are no access: a thread of ours
  # and memory of ours are where Qt works too.
  /^WARNING: ThreadSanitizer: / {
    inreport = 1; access = 0; ours = ""; byus = 0
    kind = $0; sub(/^WARNING: ThreadSanitizer: /, "", kind); sub(/ \(pid=[0-9]+\)$/, "", kind)
    next
  }
  inreport && /^  (Location is|Thread T[0-9]+|Mutex M[0-9]+ .*created at)/ { access = 0 }
  inreport && /^  (Read|Write|Atomic|Previous|Mutex M[0-9]+ (previously )?acquired)/ { access = 1; top = 1 }
  # Who made the access: its first frame past the runtime (an intercepted call, memcpy or free, is
  # made by its caller).
  inreport && access && top && /^ +#[0-9]+ / && module_of($0) !~ /^libtsan\.so/ {
    top = 0
    if (module_of($0) in ourmodule) byus = 1
  }
  inreport && access && ours == "" && ours_frame($0) {
    ours = trimmed($0); sub(/^#[0-9]+ (0x[0-9a-f]+ in )?/, "", ours); sub(/ \([^ ]*\+0x[0-9a-f]+\)$/, "", ours)
  }
  inreport && /^SUMMARY: ThreadSanitizer: / {
    inreport = 0
    if (byus && ours == "") ours = "(a frame of ours with no source file)"
    if (byus) {
      key = kind " at " ours
      if (!((key, test) in seen)) { seen[key, test] = 1; tests[key] = tests[key] " " test }
      mine[key]++; faults++
    } else {
      where = $0; sub(/^SUMMARY: ThreadSanitizer: /, "", where); sub(/\+0x[0-9a-f]+\)/, ")", where)
      qt[where]++; nqt++
    }
  }
  # A crash: its stack says where.
  /ThreadSanitizer: (nested bug|CHECK failed|failed to|unexpected memory mapping|[A-Z]+ on unknown address)|^FATAL: ThreadSanitizer/ {
    mine[test ": " $0]++; faults++
  }
  # At each exit, how often each suppression matched: "ThreadSanitizer: Matched 3 suppressions
  # (pid=…):" and then a line "<count> <type>:<pattern>" for each.
  /^ThreadSanitizer: Matched [0-9]+ suppressions/ { insupp = 1; next }
  insupp && /^[0-9]+ [a-z_]+:/ { supp[$2] += $1; nsupp += $1; next }
  { insupp = 0 }
  END {
    for (k in mine) printf "O %6d  %s  [%s ]\n", mine[k], k, tests[k]
    for (w in qt) printf "Q %6d  %s\n", qt[w], w
    for (p in supp) printf "S %6d  %s\n", supp[p], p
    printf "T %d %d %d\n", faults, nqt, nsupp
  }
' "$log" >"$summary.raw"
read -r _ faults nqt nsupp < <(grep '^T ' "$summary.raw")
{
  echo "$faults report(s) of ours:"
  grep '^O ' "$summary.raw" | cut -c3- | sort -rn
  echo "$nqt report(s) of Qt's own:"
  grep '^Q ' "$summary.raw" | cut -c3- | sort -rn
  # A race left out is not remembered as told, so each time it happens again it is matched again.
  echo "${nsupp:-0} race(s) wholly in Qt left out by scripts/tsan.supp (each time again), by its line:"
  grep '^S ' "$summary.raw" | cut -c3- | sort -rn
} >"$summary"
head -200 "$summary"
[ "$faults" -ne 0 ] && rc=1
exit $rc
