"""The Python client of the two-thread benchmark: ReadAppInfo in a loop
through the q7kcomm module, one thread per instrument line, for SECONDS.
bench/two_threads.cc runs it beside the component's C++ client
(q7k_bench --threads-client), with one line and with two.

Usage: PYTHONPATH=BUILD/python python_threads.py SECONDS PATH [PATH ...]

Prints the round trips per second of all threads together on one line,
or one line saying why not (and exits non-zero).
"""
import sys
import threading
import time


def main():
    try:
        import q7kcomm
    except ImportError as e:
        print(f"q7kcomm module not built ({e})", flush=True)
        sys.exit(3)
    seconds = float(sys.argv[1])
    insts = []
    try:
        for path in sys.argv[2:]:
            insts.append(q7kcomm.open(path))
            insts[-1].comm.ReadAppInfo()
    except q7kcomm.Error as e:
        print(f"q7kcomm client failed ({e})", flush=True)
        sys.exit(1)
    counts = [0] * len(insts)
    failures = []
    end = time.monotonic() + seconds

    def drive(k):
        comm = insts[k].comm
        try:
            while time.monotonic() < end:
                comm.ReadAppInfo()
                counts[k] += 1
        except q7kcomm.Error as e:
            failures.append(e)

    threads = [threading.Thread(target=drive, args=(k,))
               for k in range(len(insts))]
    start = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.monotonic() - start
    for inst in insts:
        inst.close()
    if failures:
        print(f"q7kcomm client failed ({failures[0]})", flush=True)
        sys.exit(1)
    print(f"{sum(counts) / elapsed:.1f}", flush=True)


if __name__ == "__main__":
    main()
