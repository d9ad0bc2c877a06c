#!/usr/bin/env python3
"""Times the project's programs against a plain `cat` of the same inputs, and against a peer
tool doing the same job where one exists.

For every case the inputs are made once with trcgen (kept under build/bench-data/); then the
program, cat and the peer run alternately after a warm-up round, and the table shows the
medians, the ratios, the throughput and the program's peak resident memory. Every run's
result is checked (record counts), so that a broken build cannot look fast.
"""
import argparse
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import time

MB = 1000 * 1000


def header_records(path):
    if not os.path.exists(path):
        return -1
    with open(path, "rb") as f:
        head = f.read(17)
    if len(head) < 17 or head[:6] != b"#MVCF:":
        return -1
    return struct.unpack(">I", head[13:17])[0]


def make_input(trcgen, path, fmt, frame, records, seed, start=None):
    """Makes a file of `records` records once and returns its record count; start is the
    first record's time (records follow 1 ms apart)."""
    if header_records(path) != records:
        if os.path.exists(path):
            os.remove(path)
        extra = ["-time", start] if start else []
        subprocess.run([trcgen, "-out", path, "-format", fmt, "-records", str(records),
                        "-frame", str(frame), "-seed", str(seed)] + extra, check=True)
    return header_records(path)


def damaged_copy(source, path, record):
    """A copy of source whose record `record` ends 5 bytes after it starts, so that reading
    stops there with a warning: the fast path measured with its checks at work."""
    if header_records(path) == header_records(source):
        return
    shutil.copyfile(source, path)
    with open(path, "r+b") as f:
        f.seek(27)
        index = struct.unpack(">I", f.read(4))[0]
        f.seek(index + 4 * (record - 1))
        start = struct.unpack(">I", f.read(4))[0]
        f.seek(index + 4 * record)
        f.write(struct.pack(">I", start + 5))


def python_read(build, capture, records, opts, pcap_of):
    """bench/python_read.py on the capture and trc2pcap's pcap of it, with the system's
    python3 and the build's package: its table, or why there is none."""
    package = os.path.join(build, "python")
    if not os.path.isdir(package):
        return "(no Python package in this build: pybind11-dev is missing)\n"
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "python_read.py")
    result = subprocess.run(["/usr/bin/python3", script, capture, pcap_of(capture),
                             str(opts.repeats), str(min(records, 200000))],
                            env=dict(os.environ, PYTHONPATH=package), stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        sys.exit("python_read.py failed:\n" + result.stdout)
    return result.stdout


def run_timed(args, stdout=None):
    # Nor does the disk writing back what the runs before wrote.
    os.sync()
    start = time.perf_counter()
    result = subprocess.run(args, stdout=stdout or subprocess.PIPE, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start, result


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


class Case:
    """One row: the program's command, the files cat copies, and an optional peer, whose
    command list runs as one timed job (two conversions for two inputs, say)."""

    def __init__(self, name, command, cat_inputs, check, outputs, peer=None, peer_jobs=(),
                 peer_outputs=(), records=0, cat_sink=None):
        self.name = name
        self.command = command
        self.cat_inputs = cat_inputs
        self.check = check
        self.outputs = outputs
        self.peer = peer
        self.peer_jobs = list(peer_jobs)
        self.peer_outputs = list(peer_outputs)
        self.records = records
        # Where cat writes: a file beside the outputs, or /dev/null for a program that only
        # reads.
        self.cat_sink = cat_sink


def remove(paths):
    for path in paths:
        if os.path.exists(path):
            os.remove(path)


def bench_case(case, out_dir, repeats):
    cat_out = case.cat_sink or os.path.join(out_dir, "bench.cat")
    peer_outputs = case.peer_outputs
    ours, cats, peers = [], [], []
    for i in range(repeats + 1):  # the first round warms the page cache and is dropped
        # Every tool starts from absent outputs: truncating the previous run's file costs
        # time that belongs to none of them.
        remove(case.outputs + peer_outputs + ([] if case.cat_sink else [cat_out]))
        elapsed, result = run_timed(case.command)
        problem = case.check(result)
        if problem:
            sys.exit(f"{case.name}: {problem}")
        with open(cat_out, "wb") as sink:
            cat_elapsed, cat_result = run_timed(["cat"] + case.cat_inputs, stdout=sink)
        if cat_result.returncode != 0:
            sys.exit(f"{case.name}: cat failed")
        peer_elapsed = 0.0
        for job in case.peer_jobs:
            job_elapsed, job_result = run_timed(job)
            if job_result.returncode != 0:
                sys.exit(f"{case.name}: {case.peer} failed")
            peer_elapsed += job_elapsed
        if i > 0:
            ours.append(elapsed)
            cats.append(cat_elapsed)
            peers.append(peer_elapsed)
    remove(case.outputs)
    peak = peak_memory(case.command, out_dir)
    remove(case.outputs + peer_outputs + ([] if case.cat_sink else [cat_out]))
    median = statistics.median(ours)
    total_bytes = sum(os.path.getsize(p) for p in case.cat_inputs)
    row = {
        "case": case.name,
        "ours_s": median,
        "cat_s": statistics.median(cats),
        "ratio": statistics.median([a / b for a, b in zip(ours, cats)]),
        "mb_s": total_bytes / MB / median,
        "rec_s": case.records / median,
        "peak_mib": peak / (1024 * 1024),
        "peer": case.peer or "",
        "peer_s": statistics.median(peers) if case.peer_jobs else None,
    }
    row["vs_peer"] = (statistics.median([a / b for a, b in zip(ours, peers)])
                      if case.peer_jobs else None)
    return row


def expect_records(path, expected):
    def check(result):
        if result.returncode != 0 or header_records(path) != expected:
            return (f"failed (status {result.returncode}, {header_records(path)} records, "
                    f"expected {expected})")
        return None
    return check


def expect_line(pattern, expected):
    def check(result):
        found = re.search(pattern, result.stdout.decode(errors="replace"))
        if result.returncode != 0 or not found or int(found.group(1)) != expected:
            return f"failed (status {result.returncode}, expected {expected} records)"
        return None
    return check


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--data", default="build/bench-data")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--scale", type=int, default=1,
                        help="multiply every input size (2 checks that memory stays flat)")
    parser.add_argument("--only", default="",
                        help="run only the cases whose name contains this text")
    parser.add_argument("--smoke", action="store_true",
                        help="inputs of a few thousand records and one run each: checks that "
                             "the benchmark works, measures nothing")
    opts = parser.parse_args()
    build = opts.build
    splicetrc = os.path.join(build, "splicetrc")
    trc2pcap = os.path.join(build, "trc2pcap")
    trcinfo = os.path.join(build, "trcinfo")
    trcedit = os.path.join(build, "trcedit")
    trcgen = os.path.join(build, "tools", "trcgen")
    os.makedirs(opts.data, exist_ok=True)
    if opts.smoke:
        opts.repeats = 1
    count = (lambda n: max(1000, n // 100)) if opts.smoke else (lambda n: n * opts.scale)
    tag = "smoke" if opts.smoke else f"x{opts.scale}"

    def data(name):
        return os.path.join(opts.data, f"{tag}-{name}")

    n500a = make_input(trcgen, data("b3-500-a.cap"), "B3", 500, count(500000), 1)
    n500b = make_input(trcgen, data("b3-500-b.cap"), "B3", 500, count(500000), 2)
    n60a = make_input(trcgen, data("b3-60-a.cap"), "B3", 60, count(2000000), 3)
    n60b = make_input(trcgen, data("b3-60-b.cap"), "B3", 60, count(2000000), 4)
    n4 = make_input(trcgen, data("b4-500.cap"), "B4", 500, count(500000), 5)
    n1g = make_input(trcgen, data("b3-500-1m.cap"), "B3", 500, count(1000000), 6)
    # Two inputs whose records interleave in time, half a millisecond apart, and a 1 GB file.
    nia = make_input(trcgen, data("b3-500-early.cap"), "B3", 500, count(500000), 7,
                     "1143136731")
    nib = make_input(trcgen, data("b3-500-late.cap"), "B3", 500, count(500000), 8,
                     "1143136731.0005")
    n2g = make_input(trcgen, data("b3-500-2m.cap"), "B3", 500, count(2000000), 9)
    # The same two time lines one after the other in one file: in time order its records are
    # read by jumping between its halves.
    interleaved = data("b3-500-interleaved.cap")
    if header_records(interleaved) != nia + nib:
        subprocess.run([splicetrc, "-in", data("b3-500-early.cap"), "-in",
                        data("b3-500-late.cap"), "-out", interleaved], check=True,
                       stdout=subprocess.DEVNULL)
    edited = os.path.join(opts.data, "bench.edited.cap")
    damaged_at = count(500000) // 2
    damaged_copy(data("b3-500-a.cap"), data("b3-500-damaged.cap"), damaged_at)
    merged = os.path.join(opts.data, "bench.merged.cap")
    exported = os.path.join(opts.data, "bench.pcapng")

    def merge(name, inputs, records):
        command = [splicetrc]
        for path in inputs:
            command += ["-in", path]
        return Case(name, command + ["-out", merged], inputs, expect_records(merged, records),
                    [merged], records=records)

    editcap = shutil.which("editcap")

    def pcap_of(path):
        """The same records as a pcap file, for the peer, made once."""
        pcap = path + ".pcap"
        if not os.path.exists(pcap):
            subprocess.run([trc2pcap, "-in", path, "-out", pcap], check=True,
                           stdout=subprocess.DEVNULL)
        return pcap

    def export(name, inputs, records):
        command = [trc2pcap]
        for path in inputs:
            command += ["-in", path]
        jobs = []
        if editcap:
            jobs = [[editcap, "-F", "pcapng", pcap_of(path), exported + f".peer{i}"]
                    for i, path in enumerate(inputs)]
        return Case(name, command + ["-out", exported], inputs,
                    expect_line(r"Exported (\d+) records", records), [exported],
                    peer="editcap -F pcapng" if editcap else None, peer_jobs=jobs,
                    peer_outputs=[job[-1] for job in jobs], records=records)

    capinfos = shutil.which("capinfos")

    def stats(name, path, records):
        jobs = [[capinfos, pcap_of(path)]] if capinfos else []
        return Case(name, [trcinfo, "-stats", path], [path],
                    expect_line(r"\nRecords +: (\d+)\n", records), [],
                    peer="capinfos" if capinfos else None, peer_jobs=jobs, records=records,
                    cat_sink="/dev/null")

    def html(name, path, records):
        """trcinfo -html against cat to /dev/null and, as the peer, trcinfo -stats of the
        same file (the same pass without the graph and the page)."""
        page = os.path.join(opts.data, "bench.html")

        def check(result):
            if result.returncode != 0 or not os.path.exists(page):
                return f"failed (status {result.returncode})"
            return None
        return Case(name, [trcinfo, "-html", page, path], [path], check, [page],
                    peer="trcinfo -stats", peer_jobs=[[trcinfo, "-stats", path]],
                    records=records, cat_sink="/dev/null")

    def edit_sort(name, inputs, records):
        command = [trcedit, "-sort"]
        append = [splicetrc]
        for path in inputs:
            command += ["-in", path]
            append += ["-in", path]
        return Case(name, command + ["-out", edited], inputs,
                    expect_line(r"Wrote (\d+) records", records), [edited],
                    peer="splicetrc (append)", peer_jobs=[append + ["-out", merged]],
                    peer_outputs=[merged], records=records)

    def edit_dedup(name, inputs, records):
        """-sort -dedup against -sort alone on the same inputs (the peer column)."""
        command = [trcedit, "-sort"]
        for path in inputs:
            command += ["-in", path]
        return Case(name, command + ["-dedup", "0.001", "-out", edited], inputs,
                    expect_line(r"Wrote (\d+) records", records), [edited],
                    peer="trcedit -sort alone", peer_jobs=[command + ["-out", merged]],
                    peer_outputs=[merged], records=records)

    reordercap = shutil.which("reordercap")

    def edit_sort_one(name, path, records):
        jobs = [[reordercap, pcap_of(path), exported + ".peer"]] if reordercap else []
        return Case(name, [trcedit, "-sort", "-in", path, "-out", edited], [path],
                    expect_line(r"Wrote (\d+) records", records), [edited],
                    peer="reordercap" if reordercap else None, peer_jobs=jobs,
                    peer_outputs=[exported + ".peer"] if jobs else [], records=records)

    def edit_split(name, path, records, size):
        chunks = [os.path.join(opts.data, f"bench.split-{i:05d}.cap") for i in range(1, 100)]
        return Case(name, [trcedit, "-in", path, "-out", os.path.join(opts.data, "bench.split.cap"),
                           "-split-bytes", size], [path],
                    expect_line(r"Wrote (\d+) records", records), chunks, records=records)

    tshark = shutil.which("tshark")
    reader = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wireshark",
                          "trcfile.lua")

    def tshark_read(name, path, records):
        """tshark through the Lua reader against tshark on trc2pcap's pcapng of the same
        records, both printing one field per packet."""
        fields = ["-T", "fields", "-e", "frame.number"]

        def check(result):
            lines = result.stdout.count(b"\n")
            if result.returncode != 0 or lines != records:
                return f"failed (status {result.returncode}, {lines} packets, expected {records})"
            return None
        pcapng = path + ".pcapng"
        if not os.path.exists(pcapng):
            subprocess.run([trc2pcap, "-in", path, "-out", pcapng], check=True,
                           stdout=subprocess.DEVNULL)
        return Case(name, [tshark, "-X", "lua_script:" + reader, "-r", path] + fields, [path],
                    check, [], peer="tshark -r (trc2pcap's pcapng)",
                    peer_jobs=[[tshark, "-r", pcapng] + fields], records=records)

    n4r = make_input(trcgen, data("b4-500-read.cap"), "B4", 500, count(200000), 10)
    cases = [
        merge("merge, 500-byte frames, B3 + B3", [data("b3-500-a.cap"), data("b3-500-b.cap")],
              n500a + n500b),
        merge("merge, 60-byte frames, B3 + B3", [data("b3-60-a.cap"), data("b3-60-b.cap")],
              n60a + n60b),
        merge("merge, B3 + B4 (conversion)", [data("b3-500-a.cap"), data("b4-500.cap")],
              n500a + n4),
        merge("merge, 500-byte frames, a damaged record half-way through the first input",
              [data("b3-500-damaged.cap"), data("b3-500-b.cap")], damaged_at - 1 + n500b),
        export("trc2pcap, 500-byte frames, B3 + B3",
               [data("b3-500-a.cap"), data("b3-500-b.cap")], n500a + n500b),
        export("trc2pcap, 60-byte frames, B3 + B3", [data("b3-60-a.cap"), data("b3-60-b.cap")],
               n60a + n60b),
        stats("trcinfo -stats, 500-byte frames (cat to /dev/null)", data("b3-500-1m.cap"), n1g),
        html("trcinfo -html, 500-byte frames (cat to /dev/null)", data("b3-500-1m.cap"), n1g),
        edit_sort("trcedit -sort, two interleaved inputs, 500-byte frames",
                  [data("b3-500-early.cap"), data("b3-500-late.cap")], nia + nib),
        edit_dedup("trcedit -sort -dedup 0.001, two interleaved inputs, 500-byte frames",
                   [data("b3-500-early.cap"), data("b3-500-late.cap")], nia + nib),
        edit_sort_one("trcedit -sort, one input whose records interleave in time, 500-byte frames",
                      interleaved, nia + nib),
        edit_split("trcedit -split-bytes 256M, 500-byte frames", data("b3-500-2m.cap"), n2g,
                   "256M" if not opts.smoke else "256K"),
    ]
    if tshark:
        cases.append(tshark_read("tshark -r through trcfile.lua, B4, 500-byte frames",
                                 data("b4-500-read.cap"), n4r))
    rows = [bench_case(case, opts.data, opts.repeats) for case in cases
            if opts.only in case.name]
    n60r = make_input(trcgen, data("b4-60-4m.cap"), "B4", 60, count(4000000), 11)
    python_table = None
    if opts.only in "python columns dpkt scapy":
        python_table = python_read(build, data("b4-60-4m.cap"), n60r, opts, pcap_of)

    print(f"\nmedian of {opts.repeats} runs, {os.cpu_count()} cores, inputs {tag}\n")
    print("| case | program s | cat s | ratio | peer | peer s | vs peer | MB/s | records/s "
          "| peak RSS MiB |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for r in rows:
        peer_s = f"{r['peer_s']:.3f}" if r["peer_s"] is not None else ""
        vs_peer = f"{r['vs_peer']:.2f}" if r["vs_peer"] is not None else ""
        print(f"| {r['case']} | {r['ours_s']:.3f} | {r['cat_s']:.3f} | {r['ratio']:.2f} | "
              f"{r['peer']} | {peer_s} | {vs_peer} | {r['mb_s']:.0f} | {r['rec_s']:,.0f} | "
              f"{r['peak_mib']:.1f} |")
    if python_table:
        print("\nReading from Python (median of the runs; scapy reads a part once):\n")
        print(python_table, end="")


if __name__ == "__main__":
    main()
