#!/usr/bin/env python3
"""Every calibration block of an instrument into a CSV file.

usage: calibration_survey.py [PORT] OUT.csv  (no PORT: simulated)"""

import csv
import dataclasses
import sys

import q7kcomm

*port, out = sys.argv[1:]
target = {"port": port[0]} if port else {"simulate": "cal"}
with q7kcomm.open(**target) as inst:
    serial = inst.comm.ReadQ7ISerialNumber()
    survey = inst.calibration_status()

with open(out, "w", newline="") as f:
    writer = csv.writer(f)
    fields = [field.name for field in dataclasses.fields(q7kcomm.CalStatus)]
    writer.writerow(["instrument"] + fields)
    for status in survey:
        row = dataclasses.asdict(status)
        row["block"] = status.block.name
        writer.writerow([serial] + [row[name] for name in fields])
print(f"{len(survey)} blocks written to {out}")
