#!/usr/bin/env python3
"""Whole-process load times of orrisk-info beside the cost of reading the same bytes and
beside CloudCompare, measured side by side in one run.

Usage: bench/load_compare.py ORRISK_INFO DATA_DIR [--runs N]

For each input: the floor (the file streamed through one reused 1 MiB buffer, from the page
cache), `orrisk-info FILE`, and `CloudCompare -SILENT -NO_TIMESTAMP -O FILE` where it is
installed. Prints the median wall time of N runs, the peak resident memory of the process,
and the ratios the targets are stated in."""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

INPUTS = ["cloud-20m-f3.las", "cloud-10m-rgb.ply", "splat-1m-sh3.ply"]


def stream_read(path):
    start = time.perf_counter()
    buffer = bytearray(1 << 20)
    view = memoryview(buffer)
    with open(path, "rb", buffering=0) as f:
        while f.readinto(view):
            pass
    return time.perf_counter() - start, 0


def run_process(command, env=None):
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError(f"{command[0]} failed on {command[-1]}")
    return elapsed, usage.ru_maxrss * 1024


def measure(runs, action):
    results = [action() for _ in range(runs)]
    return statistics.median(r[0] for r in results), max(r[1] for r in results)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("orrisk_info")
    parser.add_argument("data_dir")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()

    cloudcompare = shutil.which("CloudCompare")
    if not cloudcompare:
        print("CloudCompare is not installed (Debian package cloudcompare): its column is skipped", file=sys.stderr)
    cc_env = dict(os.environ, QT_QPA_PLATFORM="offscreen")

    print(f"{'input':22} {'stream s':>9} {'orrisk s':>9} {'x stream':>9} {'orrisk MB':>10} "
          f"{'CC s':>8} {'CC/orrisk':>10}")
    for name in INPUTS:
        path = os.path.join(args.data_dir, name)
        if not os.path.exists(path):
            print(f"{name}: missing, skipped (scripts/bench.sh writes it)", file=sys.stderr)
            continue
        stream_read(path)  # into the page cache
        floor, _ = measure(args.runs, lambda: stream_read(path))
        orrisk, orrisk_peak = measure(args.runs, lambda: run_process([args.orrisk_info, path]))
        line = f"{name:22} {floor:9.3f} {orrisk:9.3f} {orrisk / floor:9.1f} {orrisk_peak / 1e6:10.0f}"
        if cloudcompare and not name.endswith(".las"):
            cc, _ = measure(max(1, args.runs // 2),
                            lambda: run_process([cloudcompare, "-SILENT", "-NO_TIMESTAMP", "-O", path], cc_env))
            line += f" {cc:8.2f} {cc / orrisk:10.1f}"
        print(line, flush=True)


if __name__ == "__main__":
    main()
