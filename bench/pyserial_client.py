"""The pyserial peer of the round-trip benchmark: the same power-on exchange
as the component and the raw client, with reset_input_buffer() before each
write. Prints the median and p99 round trip in microseconds.

Usage: pyserial_client.py DEVICE ROUND_TRIPS
"""
import sys
import time

import serial

REQUEST = bytes.fromhex("10 02 00 00 02 00 00 00 02 00 10 03")
REPLY_SIZE = 13


def main():
    device, count = sys.argv[1], int(sys.argv[2])
    port = serial.Serial(device, 115200, timeout=4)
    samples = []
    for i in range(count + count // 10):  # the first tenth warms up
        start = time.perf_counter_ns()
        port.reset_input_buffer()
        port.write(REQUEST)
        if len(port.read(REPLY_SIZE)) != REPLY_SIZE:
            sys.exit("no reply")
        if i >= count // 10:
            samples.append((time.perf_counter_ns() - start) / 1000.0)
    samples.sort()
    at = lambda q: samples[int(q * (len(samples) - 1) + 0.5)]
    print(f"{at(0.5):.1f} {at(0.99):.1f}")


if __name__ == "__main__":
    main()
