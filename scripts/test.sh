#!/bin/bash
# test.sh: installs what is missing, builds, and runs every test: the program built as it is packed
# and driven from outside under Xvfb (the scripted evening, the kills, the screen reader, the
# phones), every other test under AddressSanitizer and UndefinedBehaviorSanitizer, the package's
# checks, and the fuzz targets for a bounded time.
# A private sound server and a CUPS PDF printer are started for the tests that use them; the tests
# that use NATS start a private cluster each (their ctest entries run under scripts/with-nats.sh), and
# those of the club's server start its test mode, Caddy included (scripts/club-server.sh --test).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/deps.sh test
jobs=$(nproc)

export QT_QPA_PLATFORM=offscreen
export TOMBOLA_REQUIRE_SOUND=1
export TOMBOLA_REQUIRE_PRINTER=1
export TOMBOLA_REQUIRE_NATS=1
# Each stage says when it starts, from the start of the run.
stage() { echo "== $* (at $((SECONDS / 60)) min $((SECONDS % 60)) s)"; }

stage "format check"
# The sources are git's list: without git, or outside a git work tree, the check fails, not skips.
sources=$(git ls-files '*.cpp' '*.h') || { echo "FAIL: git cannot list the sources to check" >&2; exit 1; }
[ -n "$sources" ] || { echo "FAIL: git lists no C++ source to check" >&2; exit 1; }
xargs clang-format --dry-run --Werror <<<"$sources"
echo "$(wc -l <<<"$sources") files formatted"

# The optimised build is the program as it is packed: it plays every test that drives the real
# program from outside (under Xvfb: the scripted evening, the kills, the screen reader, the phones in
# Chromium), and goes into the package. Every other test runs once, under the sanitizers. lld links
# in about a third of the time of GNU ld, and the tests' programs are many.
lld=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_MODULE_LINKER_FLAGS=-fuse-ld=lld)
stage "build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOMBOLA_WERROR=ON "${lld[@]}" >/dev/null
xvfb_tests=$(cd build && ctest -N -L xvfb | sed -n 's/^ *Test *#[0-9]*: //p' | paste -sd'|')
[ -n "$xvfb_tests" ] || { echo "FAIL: no test under Xvfb" >&2; exit 1; }
# What those tests run: the program, the phones' driver and the release checks.
cmake --build build -j "$jobs" --target tombola phones_driver test_release

run_ctest() {
    local dir=$1
    shift
    (cd "$dir" && bash "$root/scripts/with-pulse.sh" bash "$root/scripts/with-cups.sh" \
        ctest --output-on-failure -j "${TOMBOLA_CTEST_JOBS:-$jobs}" --timeout 600 "$@")
}

# They are mostly waiting on clips, restarts, browsers and servers: they play while the sanitizer
# build compiles and its tests run, one at a time, and their report follows the sanitizer tests'.
# The two ctest runs start private servers at the same time, each on ports of its own range.
stage "the program under Xvfb (every test from outside), while the sanitizer build compiles"
xvfb_log=$(mktemp)
# 20 kills here (the script's default is 50) keep the whole run within its time.
(TOMBOLA_KILLS=20 TOMBOLA_PORTS=10000-20999 run_ctest build -L xvfb >"$xvfb_log" 2>&1) &
xvfb_pid=$!
xvfb_report() {
    local status=0
    wait "$xvfb_pid" || status=$?
    stage "the program under Xvfb: its report"
    cat "$xvfb_log"
    rm -f "$xvfb_log"
    [ "$status" -eq 0 ] || { echo "FAIL: the tests under Xvfb" >&2; exit 1; }
}

stage "build with sanitizers"
# The benchmarks print figures and are not run here: the sanitizer build leaves them out. Line
# tables (-g1) are all the sanitizers' reports need, and build faster than full debug data. clang
# builds this tree in about two thirds of GCC's time (the optimised build above is GCC's), and the
# second compiler's warnings and evaluation order keep both honest.
cmake -S . -B build-asan -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DTOMBOLA_SANITIZE=ON \
    -DTOMBOLA_WERROR=ON -DTOMBOLA_BENCH=OFF "${lld[@]}" >/dev/null
build_status=0
cmake --build build-asan -j "$jobs" || build_status=$?
[ "$build_status" -eq 0 ] || { xvfb_report; echo "FAIL: the sanitizer build" >&2; exit 1; }

# The benchmarks (built, not run: they print figures) and the fuzz targets compile at the lowest
# priority while the sanitizer tests, mostly waiting on servers and clips, run.
fuzz=0
if [ -d fuzz ] && ls fuzz/*.cmake >/dev/null 2>&1; then fuzz=1; fi
side_log=$(mktemp)
(
    nice -n 19 cmake --build build -j 1 --target benches &&
        if [ "$fuzz" = 1 ]; then
            CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTOMBOLA_FUZZ=ON -DTOMBOLA_WERROR=ON "${lld[@]}" >/dev/null &&
                nice -n 19 cmake --build build-fuzz -j 1
        fi
) >"$side_log" 2>&1 &
side_pid=$!

asan_status=0
stage "tests under ASan and UBSan, beside the last tests under Xvfb"
# Qt's own libraries are not instrumented: leaks inside them are not ours to fix.
# The random evening stops after 45 s (about 30000 events under the sanitizers); the referee of
# first completions plays its first 6 random evenings (all 60 in a plain run). Most of these tests
# wait on clips and servers more than they compute: two of them a core keep both cores busy.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    TOMBOLA_RANDOM_RUN_MS=15000 TOMBOLA_EVENING_MS=45000 TOMBOLA_LADDER_EVENINGS=6 TOMBOLA_CTEST_JOBS=$((jobs * 2)) \
    TOMBOLA_PORTS=21000-32767 run_ctest build-asan -E "^($xvfb_tests)\$" || asan_status=$?
xvfb_report
[ "$asan_status" -eq 0 ] || { echo "FAIL: the tests under ASan and UBSan" >&2; exit 1; }

side_status=0
wait "$side_pid" || side_status=$?
[ "$side_status" -eq 0 ] || { tail -n 40 "$side_log"; rm -f "$side_log"; echo "FAIL: the benchmarks' or fuzz targets' build" >&2; exit 1; }
rm -f "$side_log"

stage "package"
# The program built and tested above, packed as it is.
TOMBOLA_PACKAGE_BUILD=$root/build TOMBOLA_PACKAGE_BUILD_TYPE=RelWithDebInfo bash scripts/test-package.sh

if [ "$fuzz" = 1 ]; then
    stage "fuzz"
    # One target a core at a time, each for its own time; a failure shows the end of its log.
    fuzz_one() {
        local f=$1 name corpus work status=0
        name=$(basename "$f")
        corpus=fuzz/corpus/${name#fuzz_}
        work=$(mktemp -d)
        [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
        "$f" -max_total_time="${TOMBOLA_FUZZ_SECONDS:-12}" -print_final_stats=1 "$work" >"$work.log" 2>&1 ||
            status=$?
        {
            echo "-- $name"
            if [ "$status" -ne 0 ]; then tail -n 40 "$work.log"; else
                grep -E "^(Done|stat::number_of_executed_units)" "$work.log" || true
            fi
        }
        rm -f "$work.log"
        rm -rf "$work"
        return "$status"
    }
    export -f fuzz_one
    export TOMBOLA_FUZZ_SECONDS
    find build-fuzz/fuzz -maxdepth 1 -name 'fuzz_*' -type f -perm -u+x | sort |
        xargs -r -P "$jobs" -I{} bash -c 'fuzz_one "$1" >"$1.out" 2>&1; status=$?; cat "$1.out"; rm -f "$1.out"; exit $status' _ {} ||
        { echo "FAIL: a fuzz target found a fault" >&2; exit 1; }
fi
stage "all tests passed"
