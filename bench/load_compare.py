#!/usr/bin/env python3
"""Whole-process load times of orrisk-info beside the cost of reading the same bytes and
beside CloudCompare, measured side by side in one run.

Usage: bench/load_compare.py ORRISK_INFO DATA_DIR [--runs N] [--bench ORRISK_BENCH]
                             [--render ORRISK_RENDER]

For each input: the floor (the file streamed through one reused 1 MiB buffer, from the page
cache), `orrisk-info FILE`, and `CloudCompare -SILENT -NO_TIMESTAMP -O FILE` where it is
installed. Prints the median wall time of N runs, the peak resident memory of the process,
and the ratios the targets are stated in. With --bench, then runs the Google Benchmark cases of
the same loads (the readers on one thread and on the pool, beside the plain read of each file)
on the same inputs and prints their figures below the table. With --render, also draws the LAS
input once with orrisk-render and prints its peak resident memory beside the size of the
cloud's arrays (12 bytes of position and 16 of colour a point): what the process holds beyond
them is the driver's copy of the buffers and its drawing memory."""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

INPUTS = ["cloud-20m-f3.las", "cloud-10m-rgb.ply", "splat-1m-sh3.ply"]
# The in-process figures of the same loads: each reader alone and on the pool, and the floor.
BENCH_FILTER = "BM_PlainRead/|BM_LoadLas/|BM_LoadPly/|BM_LoadGaussianPly/splat_1m"


def stream_read(path):
    start = time.perf_counter()
    cpu_start = time.process_time()
    buffer = bytearray(1 << 20)
    view = memoryview(buffer)
    with open(path, "rb", buffering=0) as f:
        while f.readinto(view):
            pass
    return time.perf_counter() - start, 0, time.process_time() - cpu_start


def run_process(command, env=None):
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError(f"{command[0]} failed on {command[-1]}")
    return elapsed, usage.ru_maxrss * 1024, usage.ru_utime + usage.ru_stime


def measure(runs, action):
    results = [action() for _ in range(runs)]
    return statistics.median(r[0] for r in results), max(r[1] for r in results)


def measure_side_by_side(runs, floor_action, action):
    """Runs the floor and the action in turns, so that both meet the same machine load.
    Returns (median, best, peak memory, median CPU seconds) for each."""
    floors, results = [], []
    for _ in range(runs):
        floors.append(floor_action())
        results.append(action())

    def summary(rs):
        return (statistics.median(r[0] for r in rs), min(r[0] for r in rs), max(r[1] for r in rs),
                statistics.median(r[2] for r in rs))
    return summary(floors), summary(results)


def run_benchmarks(bench, data_dir, repetitions):
    env = dict(os.environ, ORRISK_BENCH_DATA=data_dir)
    command = [bench, f"--benchmark_filter={BENCH_FILTER}", f"--benchmark_repetitions={repetitions}",
               "--benchmark_report_aggregates_only=true"]
    print(f"\nGoogle Benchmark ({os.path.basename(bench)}, median of {repetitions}):", flush=True)
    result = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    for line in result.stdout.splitlines():
        if "_median" in line or line.startswith(("Benchmark", "---")) or "ERROR" in line:
            print(line)
    if result.returncode != 0:
        raise RuntimeError(f"{bench} failed with status {result.returncode}")


def render_memory(orrisk_info, orrisk_render, path):
    summary = json.loads(subprocess.run([orrisk_info, path], stdout=subprocess.PIPE, check=True).stdout)
    array_bytes = summary["count"] * (12 + (16 if summary["hasColors"] else 0))
    out = os.path.join(tempfile.mkdtemp(prefix="orrisk-render-"), "render.png")
    seconds, peak, _ = run_process([orrisk_render, path, "--out", out])
    shutil.rmtree(os.path.dirname(out), ignore_errors=True)
    print(f"\norrisk-render {os.path.basename(path)}: {seconds:.1f} s, peak RSS {peak / 1e6:.0f} MB, "
          f"arrays {array_bytes / 1e6:.0f} MB, peak / arrays {peak / array_bytes:.2f}", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("orrisk_info")
    parser.add_argument("data_dir")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--bench", help="orrisk_bench, to print its figures of the same loads too")
    parser.add_argument("--render", help="orrisk-render, to print its peak memory on the LAS input")
    args = parser.parse_args()

    cloudcompare = shutil.which("CloudCompare")
    if not cloudcompare:
        print("CloudCompare is not installed (Debian package cloudcompare): its column is skipped", file=sys.stderr)
    cc_env = dict(os.environ, QT_QPA_PLATFORM="offscreen")

    # Medians, and the ratio of the best runs too: on a shared machine other work only ever
    # adds time. CPU is the process's user and system time, every thread together.
    print(f"{'input':22} {'stream s':>9} {'orrisk s':>9} {'x stream':>9} {'best x':>7} {'CPU s':>6} "
          f"{'orrisk MB':>10} {'CC s':>8} {'CC/orrisk':>10}")
    for name in INPUTS:
        path = os.path.join(args.data_dir, name)
        if not os.path.exists(path):
            print(f"{name}: missing, skipped (scripts/bench.sh writes it)", file=sys.stderr)
            continue
        stream_read(path)  # into the page cache
        (floor, best_floor, _, _), (orrisk, best_orrisk, orrisk_peak, orrisk_cpu) = measure_side_by_side(
            args.runs, lambda: stream_read(path), lambda: run_process([args.orrisk_info, path]))
        line = (f"{name:22} {floor:9.3f} {orrisk:9.3f} {orrisk / floor:9.1f} {best_orrisk / best_floor:7.1f} "
                f"{orrisk_cpu:6.3f} {orrisk_peak / 1e6:10.0f}")
        if cloudcompare and not name.endswith(".las"):
            cc, _ = measure(max(1, args.runs // 2),
                            lambda: run_process([cloudcompare, "-SILENT", "-NO_TIMESTAMP", "-O", path], cc_env))
            line += f" {cc:8.2f} {cc / orrisk:10.1f}"
        print(line, flush=True)

    if args.render and os.path.exists(os.path.join(args.data_dir, INPUTS[0])):
        render_memory(args.orrisk_info, args.render, os.path.join(args.data_dir, INPUTS[0]))
    if args.bench:
        run_benchmarks(args.bench, args.data_dir, args.runs)


if __name__ == "__main__":
    main()
