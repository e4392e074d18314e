#!/usr/bin/env python3
"""Round trips from Python on the virtual instrument: one thread, then two
threads on two instruments (the GIL is let go during a call, so two
threads should come close to twice the throughput).

usage: PYTHONPATH=build/release/python bench/python_threads.py \
           build/release/tools/q7k-emulator/q7k-emulator [SECONDS]"""

import subprocess
import sys
import threading
import time

import q7kcomm


def start(emulator):
    proc = subprocess.Popen([emulator], stdout=subprocess.PIPE, text=True)
    return proc, proc.stdout.readline().strip()


def run(paths, seconds):
    counts = [0] * len(paths)
    ready = threading.Barrier(len(paths) + 1)

    def drive(k, path):
        with q7kcomm.open(path) as inst:
            inst.comm.ReadAppInfo()
            ready.wait()
            end = time.monotonic() + seconds
            while time.monotonic() < end:
                inst.comm.ReadAppInfo()
                counts[k] += 1

    threads = [threading.Thread(target=drive, args=(k, p))
               for k, p in enumerate(paths)]
    for t in threads:
        t.start()
    ready.wait()
    for t in threads:
        t.join()
    return sum(counts) / seconds


def main():
    emulator = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 3.0
    procs = [start(emulator) for _ in range(2)]
    try:
        one = run([procs[0][1]], seconds)
        two = run([p for _, p in procs], seconds)
    finally:
        for proc, _ in procs:
            proc.terminate()
            proc.wait()
    print(f"one thread   {one:9.0f} round trips/s  ({1e6 / one:.1f} us each)")
    print(f"two threads  {two:9.0f} round trips/s  ({two / one:.2f}x)")


if __name__ == "__main__":
    main()
