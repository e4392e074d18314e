#!/usr/bin/env python3
"""One test session: usage: session.py [PORT] [--kv 10] [--circuit gnd-rb]

Without PORT the built-in simulated instrument answers."""

import argparse

import q7kcomm

parser = argparse.ArgumentParser()
parser.add_argument("port", nargs="?", help='"COM3", /dev/ttyUSB0, ...')
parser.add_argument("--kv", type=float, default=10.0)
parser.add_argument("--circuit", default="gnd-rb")
parser.add_argument("--language", default="en")
args = parser.parse_args()

target = {"port": args.port} if args.port else {"simulate": "exc"}
try:
    with q7kcomm.open(**target, language=args.language) as inst:
        print("Instrument runs", inst.app_info().version)
        result = inst.run_test(kv=args.kv, circuit=args.circuit,
                               on_poll=lambda r: print(f"poll {r.polls}"))
        print(result)
except q7kcomm.Error as error:
    raise SystemExit(f"test failed: {error}")
