#!/usr/bin/env bash
# Builds q7kcomm, the tools and the benchmark command in Release, runs every
# benchmark and prints one markdown table (see docs/performance.md).
#
#   bench/run.sh [--quick] [--only GROUP]   (GROUP: round-trip, recording,
#                                            wait-cpu,
#                                            many-objects, wire, memory,
#                                            two-threads,
#                                            network-round-trip,
#                                            network-wire: need ser2net)
# Takes about 5 minutes (--quick about 1). Run it on an idle machine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${Q7K_BENCH_BUILD:-$root/build/bench}"
python=/usr/bin/python3  # Debian's, where python3-serial is installed
if ! "$python" -c 'import serial' 2>/dev/null; then
  echo "python3-serial is missing: run scripts/install-deps" >&2
  exit 1
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQ7K_BUILD_BENCH=ON -DQ7K_BUILD_TESTS=OFF -DQ7K_BUILD_TOOLS=ON >&2
targets=(q7k_bench q7k-emulator q7k)
# The Python module, where pybind11 is there to build it (else its row
# says it is not built).
if ninja -C "$build" -t targets all | grep '^q7kcomm_python:' >/dev/null; then
  targets+=(q7kcomm_python)
fi
cmake --build "$build" --target "${targets[@]}" >&2
exec "$build/bench/q7k_bench" \
  --emulator "$build/tools/q7k-emulator/q7k-emulator" \
  --q7k "$build/tools/q7k/q7k" \
  --python "$python" --py-client "$root/bench/pyserial_client.py" \
  --py-module "$build/python" \
  --py-q7k-client "$root/bench/q7kcomm_client.py" \
  --py-threads-client "$root/bench/python_threads.py" "$@"
