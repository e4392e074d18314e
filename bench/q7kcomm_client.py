"""The Python client of the round-trip benchmark: the power-on exchange
through the q7kcomm module (q7kcomm.open, then StartPONSequence), in the
turns the benchmark command asks for, so that it alternates with the
component's C++ client.

Usage: PYTHONPATH=BUILD/python q7kcomm_client.py DEVICE

Prints "ready" once the port is open and one exchange went through (or one
line saying why not, and exits). Then, for every line "N" on standard
input, makes N round trips and prints their times in microseconds on one
line. Ends at the end of its input.
"""
import sys
import time


def main():
    try:
        import q7kcomm
    except ImportError as e:
        print(f"q7kcomm module not built ({e})", flush=True)
        sys.exit(3)
    try:
        inst = q7kcomm.open(sys.argv[1])
        comm = inst.comm
        comm.StartPONSequence()
    except q7kcomm.Error as e:
        print(f"q7kcomm client failed ({e})", flush=True)
        sys.exit(1)
    print("ready", flush=True)
    clock = time.perf_counter_ns
    with inst:
        for line in sys.stdin:
            samples = []
            for _ in range(int(line)):
                start = clock()
                comm.StartPONSequence()
                samples.append(clock() - start)
            print(" ".join(f"{s / 1000.0:.1f}" for s in samples), flush=True)


if __name__ == "__main__":
    main()
