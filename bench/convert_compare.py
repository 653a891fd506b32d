#!/usr/bin/env python3
"""Conversion times of orrisk-convert beside the reference LASzip compressor, measured side by
side in one run.

Usage: bench/convert_compare.py ORRISK_CONVERT DATA_DIR [--runs N] [--big BIG_DATA_DIR]

DATA_DIR holds cloud-20m-f3.las (`make-bench-data DATA_DIR --only cloud-20m-f3`); BIG_DATA_DIR,
if given, the same name 5 times larger (`--scale 5`). The reference is the program named by the
LASZIP_CONVERT environment variable (bench/laszip-reference/build.sh makes one from a LASzip
snapshot: LAS in, LAZ out, one thread); without it its rows are skipped.

Rows: LAS -> LAZ by the reference; by orrisk-convert on one thread and on two; LAS -> COPC with
--memory 512M (and the same on the big cloud). Each row is the median wall time of N runs and
the peak resident memory of the process as /usr/bin/time reports it (mapped input pages
included). Then the ratios the targets are stated in: LAZ speed over the reference's (target
at least 1.6 with two threads), COPC time over the reference's LAZ time (target at most 1.5),
COPC peak memory (target at most 600 MB), big COPC time over the 20 M one (target at most 5)."""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile

INPUT = "cloud-20m-f3.las"


def timed(command, runs):
    walls, peaks = [], []
    for _ in range(runs):
        result = subprocess.run(["/usr/bin/time", "-f", "%e %M"] + command, capture_output=True, text=True)
        if result.returncode != 0:
            sys.exit(f"failed ({result.returncode}): {' '.join(command)}\n{result.stderr}")
        wall, peak_kb = result.stderr.strip().splitlines()[-1].split()
        walls.append(float(wall))
        peaks.append(int(peak_kb) / 1024)
    return statistics.median(walls), max(peaks)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("convert")
    parser.add_argument("data_dir")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--big")
    args = parser.parse_args()

    source = os.path.join(args.data_dir, INPUT)
    if not os.path.exists(source):
        sys.exit(f"{source} is missing: make-bench-data {args.data_dir} --only cloud-20m-f3")
    points = (os.path.getsize(source) - 227) // 34  # LAS 1.2 format 3, no VLRs
    reference = os.environ.get("LASZIP_CONVERT")
    rows = {}
    big_points = 0
    with tempfile.TemporaryDirectory(dir=args.data_dir) as scratch:
        out = lambda name: os.path.join(scratch, name)
        # Warm the page cache so every row reads the same way.
        subprocess.run(["cat", source], stdout=subprocess.DEVNULL, check=True)
        if reference:
            rows["reference LAZ (LASzip, 1 thread)"] = timed([reference, source, out("ref.laz")], args.runs)
        rows["orrisk LAZ, 1 thread"] = timed([args.convert, source, out("one.laz"), "--threads", "1"], args.runs)
        rows["orrisk LAZ, 2 threads"] = timed([args.convert, source, out("two.laz"), "--threads", "2"], args.runs)
        rows["orrisk COPC, --memory 512M"] = timed([args.convert, source, out("cloud.copc.laz"), "--memory", "512M"], args.runs)
        if args.big:
            big = os.path.join(args.big, INPUT)
            subprocess.run(["cat", big], stdout=subprocess.DEVNULL, check=True)
            big_points = (os.path.getsize(big) - 227) // 34
            rows["orrisk COPC of 5x, --memory 512M"] = timed([args.convert, big, out("big.copc.laz"), "--memory", "512M"], 1)
        sizes = {name: os.path.getsize(out(name)) for name in ("ref.laz", "one.laz", "two.laz", "cloud.copc.laz")
                 if os.path.exists(out(name))}

    print(f"{INPUT}: {points / 1e6:.1f} M points, {args.runs} runs, median wall time and peak RSS")
    for name, (wall, peak) in rows.items():
        count = big_points if "5x" in name else points
        print(f"  {name:38s} {wall:7.2f} s  {count / wall / 1e6:6.2f} M points/s  {peak:7.0f} MB")
    for name, size in sizes.items():
        print(f"  size of {name:30s} {size / 1e6:9.1f} MB")
    ref = rows.get("reference LAZ (LASzip, 1 thread)")
    if ref:
        print(f"LAZ speed over the reference, 2 threads: {ref[0] / rows['orrisk LAZ, 2 threads'][0]:.2f} (target >= 1.6)")
        print(f"LAZ speed over the reference, 1 thread:  {ref[0] / rows['orrisk LAZ, 1 thread'][0]:.2f}")
        print(f"COPC time over the reference's LAZ time: {rows['orrisk COPC, --memory 512M'][0] / ref[0]:.2f} (target <= 1.5)")
    print(f"COPC peak memory: {rows['orrisk COPC, --memory 512M'][1]:.0f} MB (target <= 600)")
    if args.big:
        big_wall, big_peak = rows["orrisk COPC of 5x, --memory 512M"]
        print(f"COPC of 5x over COPC of 1x: {big_wall / rows['orrisk COPC, --memory 512M'][0]:.2f} (target <= 5), "
              f"peak {big_peak:.0f} MB")


if __name__ == "__main__":
    main()
