#!/usr/bin/env python3
"""Times splicetrc against a plain `cat` of the same input files.

For every case the inputs are made once with trcgen (kept under build/bench-data/), then
splicetrc and cat run alternately after a warm-up; the table shows the medians, their
ratio, the throughput and splicetrc's peak resident memory. Each merge's record count is
checked so that a broken build cannot look fast.
"""
import argparse
import os
import statistics
import struct
import subprocess
import sys
import time

MB = 1000 * 1000


def make_input(trcgen, path, fmt, frame, size_mb, seed):
    """Makes a file of about size_mb megabytes once (trcgen knows the record layout) and
    returns its record count."""
    if header_records(path) < 0:
        subprocess.run([trcgen, "-out", path, "-format", fmt, "-mb", str(size_mb),
                        "-frame", str(frame), "-seed", str(seed)], check=True)
    return header_records(path)


def header_records(path):
    if not os.path.exists(path):
        return -1
    with open(path, "rb") as f:
        head = f.read(17)
    if len(head) < 17 or head[:6] != b"#MVCF:":
        return -1
    return struct.unpack(">I", head[13:17])[0]


def run_timed(args, stdout=None):
    start = time.perf_counter()
    status = subprocess.call(args, stdout=stdout or subprocess.DEVNULL)
    return time.perf_counter() - start, status


def peak_memory(args, out_dir):
    """Peak resident set of a run, from /usr/bin/time: the rusage that a parent collects
    directly also counts the forking interpreter's own pages."""
    report = os.path.join(out_dir, "bench.rss")
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + args, check=True,
                   stdout=subprocess.DEVNULL)
    with open(report) as f:
        kib = int(f.read().split()[-1])
    os.remove(report)
    return kib * 1024


def bench_case(name, splicetrc, inputs, expected, out_dir, repeats):
    out = os.path.join(out_dir, "bench.merged.cap")
    cat_out = os.path.join(out_dir, "bench.cat")
    args = [splicetrc]
    for path in inputs:
        args += ["-in", path]
    args += ["-out", out]
    total_bytes = sum(os.path.getsize(p) for p in inputs)
    ours, cats = [], []
    for i in range(repeats + 1):  # the first round warms the page cache and is dropped
        # Both tools start from an absent output: truncating the previous run's file costs
        # time that belongs to neither.
        for path in (out, cat_out):
            if os.path.exists(path):
                os.remove(path)
        elapsed, status = run_timed(args)
        if status != 0 or header_records(out) != expected:
            sys.exit(f"{name}: splicetrc failed (status {status}, "
                     f"{header_records(out)} records, expected {expected})")
        with open(cat_out, "wb") as sink:
            cat_elapsed, cat_status = run_timed(["cat"] + inputs, stdout=sink)
        if cat_status != 0:
            sys.exit(f"{name}: cat failed")
        if i > 0:
            ours.append(elapsed)
            cats.append(cat_elapsed)
    peak = peak_memory(args, out_dir)
    for path in (out, cat_out):
        os.remove(path)
    ratios = [a / b for a, b in zip(ours, cats)]
    median = statistics.median(ours)
    return {
        "case": name,
        "splicetrc_s": median,
        "cat_s": statistics.median(cats),
        "ratio": statistics.median(ratios),
        "mb_s": total_bytes / MB / median,
        "rec_s": expected / median,
        "peak_mib": peak / (1024 * 1024),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--data", default="build/bench-data")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--scale", type=int, default=1,
                        help="multiply every input size (2 checks that memory stays flat)")
    parser.add_argument("--smoke", action="store_true",
                        help="inputs of a few MB and one run each: checks that the benchmark "
                             "works, measures nothing")
    opts = parser.parse_args()
    splicetrc = os.path.join(opts.build, "splicetrc")
    trcgen = os.path.join(opts.build, "tools", "trcgen")
    os.makedirs(opts.data, exist_ok=True)
    s = opts.scale
    if opts.smoke:
        opts.repeats = 1
    mb = (lambda size: max(1, size // 100)) if opts.smoke else (lambda size: size * s)
    tag = "smoke" if opts.smoke else f"x{s}"

    def data(name):
        return os.path.join(opts.data, f"{tag}-{name}")

    n500a = make_input(trcgen, data("b3-500-a.cap"), "B3", 500, mb(250), 1)
    n500b = make_input(trcgen, data("b3-500-b.cap"), "B3", 500, mb(250), 2)
    n60a = make_input(trcgen, data("b3-60-a.cap"), "B3", 60, mb(150), 3)
    n60b = make_input(trcgen, data("b3-60-b.cap"), "B3", 60, mb(150), 4)
    n4 = make_input(trcgen, data("b4-500.cap"), "B4", 500, mb(250), 5)

    cases = [
        ("500-byte frames, B3 + B3", [data("b3-500-a.cap"), data("b3-500-b.cap")], n500a + n500b),
        ("60-byte frames, B3 + B3", [data("b3-60-a.cap"), data("b3-60-b.cap")], n60a + n60b),
        ("B3 + B4 (conversion)", [data("b3-500-a.cap"), data("b4-500.cap")], n500a + n4),
    ]
    rows = [bench_case(name, splicetrc, inputs, expected, opts.data, opts.repeats)
            for name, inputs, expected in cases]

    print(f"\nsplicetrc vs cat, median of {opts.repeats} runs, {os.cpu_count()} cores, "
          f"inputs {tag}\n")
    print("| case | splicetrc s | cat s | ratio | MB/s | records/s | peak RSS MiB |")
    print("|---|---|---|---|---|---|---|")
    for r in rows:
        print(f"| {r['case']} | {r['splicetrc_s']:.3f} | {r['cat_s']:.3f} | {r['ratio']:.2f} | "
              f"{r['mb_s']:.0f} | {r['rec_s']:,.0f} | {r['peak_mib']:.1f} |")


if __name__ == "__main__":
    main()
