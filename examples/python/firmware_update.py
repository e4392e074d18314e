#!/usr/bin/env python3
"""Brings an instrument to a firmware image, with a progress bar.

usage: firmware_update.py PORT path/to/Q7I.X0"""

import sys

import q7kcomm

try:
    from tqdm import tqdm
except ImportError:
    tqdm = None


class Bar:
    """tqdm when it is there, else one line that rewrites itself."""

    def __init__(self):
        self.bar = None

    def __call__(self, done, total):
        if tqdm is None:
            print(f"\rdownload {100 * done // max(total, 1):3d} %", end="")
            return
        if self.bar is None:
            self.bar = tqdm(total=total, unit="%", desc="download")
        self.bar.update(done - self.bar.n)

    def close(self):
        if self.bar is not None:
            self.bar.close()
        elif tqdm is None:
            print()


port, image = sys.argv[1], sys.argv[2]
bar = Bar()
try:
    with q7kcomm.open(port) as inst:
        disk, running = inst.setup(firmware=image, progress=bar)
finally:
    bar.close()
print(f"image {disk.name.strip()} {disk.version}, instrument runs "
      f"{running.name.strip()} {running.version}")
