#!/usr/bin/env python3
"""Frame time and peak memory of a large point cloud under the point budget, beside drawing
every point, measured side by side in one run with orrisk-render --stats.

Usage: bench/lod_frames.py ORRISK_RENDER DATA_DIR [--runs N] [--moving-budget N]

For cloud-20m-f3.las: every point (--point-budget 0), the automatic budget (-1: 1 million
points on a software renderer) and the budget of a moving camera (a quarter of that). Each
run is a whole process: load, octree build where the budget binds (orrisk-render builds it
before drawing), one frame. Prints the median draw time of the frame (glFinish included),
the process's wall time and peak resident memory, and the ratios to the full draw and to the
memory of the arrays with their GPU copy: the peak of orrisk-info reading the same file (the
arrays and the program), plus the arrays once more (on a software renderer the GPU copy is in
main memory), plus what drawing adds to a program (orrisk-render less orrisk-info on a
one-point cloud: the GL libraries and the picture). The octree build alone is BM_OctreeBuild in orrisk_bench."""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

INPUT = "cloud-20m-f3.las"


def run_measured(tool, path, budget, out):
    command = [tool, path, "--point-budget", str(budget), "--stats", "--out", out]
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    stdout = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError(f"{' '.join(command)} failed")
    return json.loads(stdout), elapsed, usage.ru_maxrss * 1024


def peak_of(command):
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError(f"{' '.join(command)} failed")
    return usage.ru_maxrss * 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("orrisk_render")
    parser.add_argument("data_dir")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--moving-budget", type=int, default=250_000)
    args = parser.parse_args()

    path = os.path.join(args.data_dir, INPUT)
    if not os.path.exists(path):
        sys.exit(f"{path} is missing (scripts/bench.sh or make-bench-data --only cloud-20m-f3 writes it)")
    cases = [("every point", 0), ("automatic", -1), ("moving", args.moving_budget)]
    rows = {}
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "frame.png")
        # Interleaved, so that a busy spell of the machine touches every case alike.
        samples = {name: [] for name, _ in cases}
        for _ in range(args.runs):
            for name, budget in cases:
                samples[name].append(run_measured(args.orrisk_render, path, budget, out))
        for name, _ in cases:
            runs = samples[name]
            rows[name] = {
                "stats": runs[-1][0],
                "draw_ms": statistics.median(r[0]["drawMs"] for r in runs),
                "wall_s": statistics.median(r[1] for r in runs),
                "peak_mb": max(r[2] for r in runs) / 1e6,
            }

    full = rows["every point"]
    points = full["stats"]["total"]
    arrays_mb = points * (12 + 16) / 1e6  # positions and RGBA colours
    info = os.path.join(os.path.dirname(args.orrisk_render), "orrisk-info")
    if os.path.exists(info):
        with tempfile.TemporaryDirectory() as scratch:
            tiny = os.path.join(scratch, "one.ply")
            with open(tiny, "w") as f:
                f.write("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                        "property float z\nend_header\n0 0 0\n")
            drawing_mb = (peak_of([args.orrisk_render, tiny, "--out", os.path.join(scratch, "one.png")])
                          - peak_of([info, tiny])) / 1e6
        base_mb = peak_of([info, path]) / 1e6 + arrays_mb + drawing_mb
    else:
        base_mb = 2 * arrays_mb
    print(f"{INPUT}: {points} points, arrays {arrays_mb:.0f} MB; arrays + GPU copy + program {base_mb:.0f} MB")
    print(f"{'case':12} {'drawn':>9} {'nodes':>7} {'draw ms':>9} {'x full':>7} {'wall s':>7} {'peak MB':>8} "
          f"{'x full':>7} {'x arrays+GPU':>13}")
    for name, _ in cases:
        row = rows[name]
        stats = row["stats"]
        print(f"{name:12} {stats['drawn']:9} {stats['nodesDrawn']:7} {row['draw_ms']:9.1f} "
              f"{row['draw_ms'] / full['draw_ms']:7.3f} {row['wall_s']:7.2f} {row['peak_mb']:8.0f} "
              f"{row['peak_mb'] / full['peak_mb']:7.2f} {row['peak_mb'] / base_mb:13.2f}", flush=True)


if __name__ == "__main__":
    main()
