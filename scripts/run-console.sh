#!/usr/bin/env bash
# Runs the console against a simulated TELV server on this machine: installs missing build
# dependencies (scripts/install-deps.sh), builds the project if needed, starts build/telv-sim
# in the background (127.0.0.1:5100, a realistic population), runs build/telv-console connected
# to it (--connect), and stops the simulator when the console exits.
#
# Usage: scripts/run-console.sh [telv-sim options]   e.g. --devices 100000 --flood
# Options given here come after the defaults and override them. The simulator's log goes to
# build/telv-sim.log.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=build
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja
fi
cmake --build "$build"

if [ ! -x "$build/telv-console" ]; then
  echo "run-console: $build/telv-console does not exist: the console has not been built" >&2
  exit 1
fi
if [ ! -x "$build/telv-sim" ]; then
  echo "run-console: $build/telv-sim does not exist" >&2
  exit 1
fi

log="$build/telv-sim.log"
"$build/telv-sim" --devices 2000 --clients 40 --churn 2 --notice-interval 10 "$@" 2>"$log" &
sim=$!
stop_sim() {
  if kill -0 "$sim" 2>/dev/null; then
    kill -TERM "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
  fi
}
trap stop_sim EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Wait until it listens (a population at the count limit takes a moment to build).
for _ in $(seq 1 100); do
  grep -q "listening on" "$log" 2>/dev/null && break
  if ! kill -0 "$sim" 2>/dev/null; then
    echo "run-console: telv-sim did not start:" >&2
    cat "$log" >&2
    exit 1
  fi
  sleep 0.1
done
listening=$(grep -m1 'listening on' "$log" | sed -n 's/^.*listening on \([0-9.]*:[0-9]*\).*$/\1/p')
if [ -z "$listening" ]; then
  echo "run-console: telv-sim did not report its address:" >&2
  cat "$log" >&2
  exit 1
fi
echo "run-console: telv-sim listening on $listening, log in $log"

"$build/telv-console" --connect "$listening"
