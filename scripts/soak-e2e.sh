#!/bin/bash
# soak-e2e.sh [RUNS] [BUILD_DIR]: runs each test that drives the real program from outside (the
# scripted evening, the kills and resumes, what a screen reader hears, the phones near, far, through
# the club's server and as a blind player meets them) RUNS times in a row (5 unless
# told) while stress-ng keeps every core busy, and says how many runs of each passed. The build is
# the optimised one of scripts/test.sh (`build` unless told); the sound and print servers are the
# private ones of the tests, the NATS cluster the one each far test starts. A failed run's output is
# kept in the build folder as soak-<test>-<run>.log. The kills are TOMBOLA_KILLS (20, as in CI).
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${1:-5}
build=$(cd "${2:-build}" && pwd)
export TOMBOLA_KILLS=${TOMBOLA_KILLS:-20}
# Every test of the optimised build that runs the real program under Xvfb, or a part of them
# (TOMBOLA_SOAK_TESTS, a regular expression).
mapfile -t tests < <(cd "$build" && ctest -N -L xvfb | sed -n 's/^ *Test *#[0-9]*: //p' | grep -E "${TOMBOLA_SOAK_TESTS:-.}")
[ ${#tests[@]} -gt 0 ] || { echo "soak-e2e.sh: no test under Xvfb in $build" >&2; exit 1; }

command -v stress-ng >/dev/null || { echo "soak-e2e.sh: stress-ng is missing (bash scripts/deps.sh test)" >&2; exit 1; }
cores=$(nproc)
stress-ng --cpu "$cores" --timeout 0 >/dev/null 2>&1 &
stress=$!
trap 'kill "$stress" 2>/dev/null; wait "$stress" 2>/dev/null' EXIT
echo "stress-ng --cpu $cores keeps every core busy (pid $stress); $runs runs of each test"

failed=0
summary=()
for t in "${tests[@]}"; do
    passed=0
    for r in $(seq "$runs"); do
        log=$build/soak-$t-$r.log
        start=$SECONDS
        if (cd "$build" && bash "$root/scripts/with-pulse.sh" bash "$root/scripts/with-cups.sh" \
            ctest -R "^$t\$" --output-on-failure --timeout 900) >"$log" 2>&1; then
            passed=$((passed + 1))
            rm -f "$log"
            echo "$t run $r: passed in $((SECONDS - start)) s"
        else
            echo "$t run $r: FAILED in $((SECONDS - start)) s, see $log: $(grep -m1 'FAIL' "$log")"
        fi
    done
    summary+=("$t: $passed of $runs passed")
    [ "$passed" -eq "$runs" ] || failed=1
done
echo "== beside stress-ng --cpu $cores:"
printf '%s\n' "${summary[@]}"
exit "$failed"
