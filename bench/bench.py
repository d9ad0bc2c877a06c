#!/usr/bin/env python3
"""Times the project's programs against a plain `cat` of the same inputs, and against a peer
tool doing the same job where one exists.

For every case the inputs are made once with trcgen (kept under build/bench-data/); then the
program, cat, the floor and the peer run alternately after a warm-up round, and the table shows
the medians, the ratios, the throughput and the program's peak resident memory. The floor is
benchfloor (bench/floor.cpp) doing the case's job the plainest way: what the job costs at the
least on this machine. Every run's result is checked (record counts, the floor's output size),
so that a broken build or a broken floor cannot look fast.
"""
import argparse
import os
import pty
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


def header_offset_to_data(path):
    with open(path, "rb") as f:
        head = f.read(27)
    if len(head) < 27 or head[:6] != b"#MVCF:":
        sys.exit(f"{path}: no header to take the offset of the records from")
    return struct.unpack(">I", head[23:27])[0]


def make_input(trcgen, path, fmt, frame, records, seed, start=None, step=None, back=None):
    """Makes a file of `records` records once and returns its record count; start is the
    first record's time, step the time between records (default 1 ms), back trcgen's steps
    back in time (K:SECONDS)."""
    if header_records(path) != records:
        if os.path.exists(path):
            os.remove(path)
        extra = (["-time", start] if start else []) + (["-step", step] if step else [])
        extra += ["-back", back] if back else []
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


def run_timed(args, stdout=None, terminal=False):
    """One timed run; with terminal, its standard error is a pseudo-terminal, where the
    programs draw their progress line (what was drawn is drained and returned as well)."""
    # Nor does the disk writing back what the runs before wrote, nor what the system still
    # does for them right after (a moment to settle).
    os.sync()
    time.sleep(0.1)
    drawn = b""
    if not terminal:
        start = time.perf_counter()
        result = subprocess.run(args, stdout=stdout or subprocess.PIPE, stderr=subprocess.DEVNULL)
        return time.perf_counter() - start, result, drawn
    master, slave = pty.openpty()
    try:
        start = time.perf_counter()
        process = subprocess.Popen(args, stdout=stdout or subprocess.PIPE, stderr=slave)
        out, _ = process.communicate()
        elapsed = time.perf_counter() - start
        os.set_blocking(master, False)
        try:
            while True:
                piece = os.read(master, 65536)
                if not piece:
                    break
                drawn += piece
        except (BlockingIOError, OSError):
            pass
    finally:
        os.close(master)
        os.close(slave)
    return elapsed, subprocess.CompletedProcess(args, process.returncode, out), drawn


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


class DataOffsetOf:
    """A floor's argument that is the size of the program's output header (its offset to
    data), read from the program's output once it has run, so that the floor's records land
    at the same page offsets as the program's."""

    def __init__(self, path):
        self.path = path


class Floor:
    """benchfloor's command for a case (arguments may be DataOffsetOf), its output (None for a
    floor that only reads), and the file whose size the floor's output must match within
    `slack` bytes (the program's output, where the two hold the same bytes)."""

    def __init__(self, name, command, output=None, like=None, slack=0):
        self.name = name
        self.command = command
        self.output = output
        self.like = like
        self.slack = slack


class Case:
    """One row: the program's command, the files cat copies, an optional floor and an optional
    peer, whose command list runs as one timed job (two conversions for two inputs, say)."""

    def __init__(self, name, command, cat_inputs, check, outputs, peer=None, peer_jobs=(),
                 peer_outputs=(), records=0, cat_sink=None, floor=None, terminal=False):
        self.name = name
        # The program's standard error is a pseudo-terminal.
        self.terminal = terminal
        # The same command with the baseline build's programs, when one is given.
        self.baseline = None
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
        self.floor = floor


def remove(paths):
    for path in paths:
        if os.path.exists(path):
            os.remove(path)


def check_floor(case, floor, result, like_size):
    """The floor wrote what it says it wrote ("bytes N"), and as much as the program where the
    two write the same bytes; a floor that only reads read every byte of its inputs."""
    found = re.search(rb"^bytes (\d+)$", result.stdout, re.MULTILINE)
    if result.returncode != 0 or not found or int(found.group(1)) <= 0:
        sys.exit(f"{case.name}: benchfloor {floor.name} failed (status {result.returncode})")
    said = int(found.group(1))
    if floor.output:
        size = os.path.getsize(floor.output) if os.path.exists(floor.output) else -1
        if size != said:
            sys.exit(f"{case.name}: benchfloor {floor.name} wrote {size} bytes, said {said}")
    else:
        size = sum(os.path.getsize(p) for p in case.cat_inputs)
        if size != said:
            sys.exit(f"{case.name}: benchfloor {floor.name} read {said} of {size} bytes")
    if like_size is not None and abs(said - like_size) > floor.slack:
        sys.exit(f"{case.name}: benchfloor {floor.name} wrote {said} bytes where the program "
                 f"wrote {like_size}")


def bench_case(case, out_dir, repeats):
    cat_out = case.cat_sink or os.path.join(out_dir, "bench.cat")
    peer_outputs = case.peer_outputs
    floor = case.floor
    floor_outputs = [floor.output] if floor and floor.output else []
    floor_command = None
    times = {"ours": [], "before": [], "cat": [], "floor": [], "peer": []}
    drawn = []
    like_size = []

    def ours():
        remove(case.outputs)
        elapsed, result, line = run_timed(case.command, terminal=case.terminal)
        drawn.append(line)
        problem = case.check(result)
        if problem:
            sys.exit(f"{case.name}: {problem}")
        return elapsed

    def before():
        # The build before, on the same inputs in the same round.
        remove(case.outputs)
        elapsed, result, _ = run_timed(case.baseline, terminal=case.terminal)
        problem = case.check(result)
        if problem:
            sys.exit(f"{case.name} (baseline): {problem}")
        return elapsed

    def cat():
        if not case.cat_sink:
            remove([cat_out])
        with open(cat_out, "wb") as sink:
            elapsed, result, _ = run_timed(["cat"] + case.cat_inputs, stdout=sink)
        if result.returncode != 0:
            sys.exit(f"{case.name}: cat failed")
        return elapsed

    def floor_run():
        remove(floor_outputs)
        elapsed, result, _ = run_timed(floor_command)
        check_floor(case, floor, result, like_size[0] if like_size else None)
        return elapsed

    def peer():
        remove(peer_outputs)
        elapsed = 0.0
        for job in case.peer_jobs:
            job_elapsed, result, _ = run_timed(job)
            if result.returncode != 0:
                sys.exit(f"{case.name}: {case.peer} failed")
            elapsed += job_elapsed
        return elapsed

    others = [("cat", cat)] + ([("floor", floor_run)] if floor else [])
    others += [("peer", peer)] if case.peer_jobs else []
    for i in range(repeats + 1):  # the first round warms the page cache and is dropped
        # The program and the build before run side by side, each first in every other round:
        # whichever runs first follows the round before's other jobs (a peer writing large
        # files, say), and its time would carry what the system still does for them.
        pair = [("ours", ours)] + ([("before", before)] if case.baseline else [])
        for name, job in (pair if i % 2 == 0 else pair[::-1]) + others:
            elapsed = job()
            if i == 0 and name == "ours" and floor and floor_command is None:
                # Every job of this round ran after ours: the floor takes its output's header.
                floor_command = [str(header_offset_to_data(a.path))
                                 if isinstance(a, DataOffsetOf) else a for a in floor.command]
                if floor.like:
                    like_size.append(os.path.getsize(floor.like))
            if i > 0:
                times[name].append(elapsed)
    ours_times, befores = times["ours"], times["before"]
    cats, floors, peers = times["cat"], times["floor"], times["peer"]
    remove(case.outputs)
    peak = peak_memory(case.command, out_dir)
    before_peak = None
    if case.baseline:
        remove(case.outputs)
        before_peak = peak_memory(case.baseline, out_dir)
    remove(case.outputs + peer_outputs + floor_outputs + ([] if case.cat_sink else [cat_out]))
    median = statistics.median(ours_times)
    total_bytes = sum(os.path.getsize(p) for p in case.cat_inputs)
    row = {
        "case": case.name,
        "ours_s": median,
        "cat_s": statistics.median(cats),
        "ratio": statistics.median([a / b for a, b in zip(ours_times, cats)]),
        "mb_s": total_bytes / MB / median,
        "rec_s": case.records / median,
        "peak_mib": peak / (1024 * 1024),
        "peer": case.peer or "",
        "peer_s": statistics.median(peers) if case.peer_jobs else None,
        "floor": floor.name if floor else "",
        "floor_s": statistics.median(floors) if floor else None,
        "vs_floor": (statistics.median([a / b for a, b in zip(ours_times, floors)])
                     if floor else None),
    }
    row["before_s"] = statistics.median(befores) if case.baseline else None
    row["vs_before"] = (statistics.median([a / b for a, b in zip(ours_times, befores)])
                        if case.baseline else None)
    row["before_peak_mib"] = before_peak / (1024 * 1024) if before_peak else None
    row["drawn"] = b"records" in b"".join(drawn)
    row["vs_peer"] = (statistics.median([a / b for a, b in zip(ours_times, peers)])
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
    parser.add_argument("--baseline", default="",
                        help="a build of the round before (a folder with its splicetrc, "
                             "trc2pcap, trcedit and trcinfo), run in the same rounds on the "
                             "same inputs: the before and after columns")
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
    benchfloor = os.path.join(build, "tools", "benchfloor")
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
    floor_out = os.path.join(opts.data, "bench.floor")

    def copy_floor(inputs, header_of, like=None):
        """The records copied in the kernel behind a header as large as the program's output
        header (read from header_of), the inputs' index entries shifted after them."""
        return Floor("copy", [benchfloor, "copy", floor_out, DataOffsetOf(header_of)] + inputs,
                     floor_out, like=like)

    def with_inputs(program, inputs, *options):
        """The program's command: its options, then every input."""
        command = [program, *options]
        for path in inputs:
            command += ["-in", path]
        return command

    def merge_command(inputs, output):
        return with_inputs(splicetrc, inputs) + ["-out", output]

    def merge(name, inputs, records, floor=None):
        return Case(name, merge_command(inputs, merged), inputs,
                    expect_records(merged, records), [merged], records=records,
                    floor=floor or copy_floor(inputs, merged, like=merged))

    editcap = shutil.which("editcap")

    def pcap_of(path):
        """The same records as a pcap file, for the peer, made once."""
        pcap = path + ".pcap"
        if not os.path.exists(pcap):
            subprocess.run([trc2pcap, "-in", path, "-out", pcap], check=True,
                           stdout=subprocess.DEVNULL)
        return pcap

    def export(name, inputs, records):
        command = with_inputs(trc2pcap, inputs)
        jobs = []
        if editcap:
            jobs = [[editcap, "-F", "pcapng", pcap_of(path), exported + f".peer{i}"]
                    for i, path in enumerate(inputs)]
        return Case(name, command + ["-out", exported], inputs,
                    expect_line(r"Exported (\d+) records", records), [exported],
                    peer="editcap -F pcapng" if editcap else None, peer_jobs=jobs,
                    peer_outputs=[job[-1] for job in jobs], records=records,
                    floor=Floor("pcapng", [benchfloor, "pcapng", floor_out] + inputs, floor_out,
                                like=exported, slack=200))

    capinfos = shutil.which("capinfos")

    def stats(name, path, records):
        jobs = [[capinfos, pcap_of(path)]] if capinfos else []
        return Case(name, [trcinfo, "-stats", path], [path],
                    expect_line(r"\nRecords +: (\d+)\n", records), [],
                    peer="capinfos" if capinfos else None, peer_jobs=jobs, records=records,
                    cat_sink="/dev/null", floor=Floor("read", [benchfloor, "read", path]))

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
                    records=records, cat_sink="/dev/null",
                    floor=Floor("read", [benchfloor, "read", path]))

    def sort_floor(inputs):
        """A pass over every input's times, then a k-way merge of the inputs by time."""
        return Floor("sort", [benchfloor, "sort", floor_out, DataOffsetOf(edited)] + inputs,
                     floor_out, like=edited)

    def edit_sort(name, inputs, records, peer=True, floor=True):
        """-sort against an append of the same inputs; the floor's merge takes inputs in time
        order only."""
        command = with_inputs(trcedit, inputs, "-sort")
        return Case(name, command + ["-out", edited], inputs,
                    expect_line(r"Wrote (\d+) records", records), [edited],
                    peer="splicetrc (append)" if peer else None,
                    peer_jobs=[merge_command(inputs, merged)] if peer else [],
                    peer_outputs=[merged] if peer else [], records=records,
                    floor=sort_floor(inputs) if floor else None)

    def edit_on_terminal(name, inputs, records):
        """The time-ordered merge, whose records go one by one, with its standard error on a
        pseudo-terminal, where the programs keep their progress line (drawn from the first
        second on); the peer is the same merge without one, so that "vs peer" is what the
        line and its checks cost a record."""
        command = with_inputs(trcedit, inputs, "-sort")
        return Case(name, command + ["-out", edited], inputs,
                    expect_line(r"Wrote (\d+) records", records), [edited],
                    peer="the same, no terminal", peer_jobs=[command + ["-out", merged]],
                    peer_outputs=[merged], records=records, terminal=True)

    def edit_dedup(name, inputs, records):
        """-sort -dedup against -sort alone on the same inputs (the peer column)."""
        command = with_inputs(trcedit, inputs, "-sort")
        return Case(name, command + ["-dedup", "0.001", "-out", edited], inputs,
                    expect_line(r"Wrote (\d+) records", records), [edited],
                    peer="trcedit -sort alone", peer_jobs=[command + ["-out", merged]],
                    peer_outputs=[merged], records=records, floor=sort_floor(inputs))

    reordercap = shutil.which("reordercap")

    def edit_sort_one(name, path, records):
        jobs = [[reordercap, pcap_of(path), exported + ".peer"]] if reordercap else []
        return Case(name, [trcedit, "-sort", "-in", path, "-out", edited], [path],
                    expect_line(r"Wrote (\d+) records", records), [edited],
                    peer="reordercap" if reordercap else None, peer_jobs=jobs,
                    peer_outputs=[exported + ".peer"] if jobs else [], records=records)

    def edit_split(name, path, records, size):
        chunks = [os.path.join(opts.data, f"bench.split-{i:05d}.cap") for i in range(1, 100)]
        # The floor copies the one file whole behind the first chunk's header: the chunks'
        # headers and index tails are left out.
        floor = copy_floor([path], chunks[0])
        floor.name = "copy, one file"
        return Case(name, [trcedit, "-in", path, "-out", os.path.join(opts.data, "bench.split.cap"),
                           "-split-bytes", size], [path],
                    expect_line(r"Wrote (\d+) records", records), chunks, records=records,
                    floor=floor)

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
    # Thousands of small inputs in time order, each starting a microsecond after the one before
    # and stepping 3 ms, so that all of them interleave: the time-ordered merge's memory with
    # one lane per input. Made once (a trcgen process each: about 45 s for 3,000).
    many_dir = data("many")
    os.makedirs(many_dir, exist_ok=True)
    many = [os.path.join(many_dir, f"in{i:04d}.cap") for i in range(30 if opts.smoke else 3000)]
    many_each = 200 if opts.smoke else 200 * opts.scale
    nmany = sum(make_input(trcgen, path, "B3", 500, many_each, i, f"1143136731.{i:06d}", "0.003")
                for i, path in enumerate(many))
    # The same, but every 50th record of each lies 10 ms early: every input is read through
    # its index of times, in lanes or by number.
    back_dir = data("many-back")
    os.makedirs(back_dir, exist_ok=True)
    many_back = [os.path.join(back_dir, os.path.basename(path)) for path in many]
    nback = sum(make_input(trcgen, path, "B3", 500, many_each, i, f"1143136731.{i:06d}", "0.003",
                           "50:0.01") for i, path in enumerate(many_back))
    cases = [
        merge("merge, 500-byte frames, B3 + B3", [data("b3-500-a.cap"), data("b3-500-b.cap")],
              n500a + n500b),
        merge("merge, 60-byte frames, B3 + B3", [data("b3-60-a.cap"), data("b3-60-b.cap")],
              n60a + n60b),
        merge("merge, B3 + B4 (conversion)", [data("b3-500-a.cap"), data("b4-500.cap")],
              n500a + n4,
              floor=Floor("convert", [benchfloor, "convert", floor_out, DataOffsetOf(merged),
                                      data("b3-500-a.cap"), data("b4-500.cap")], floor_out,
                          like=merged)),
        merge("merge, 500-byte frames, a damaged record half-way through the first input",
              [data("b3-500-damaged.cap"), data("b3-500-b.cap")], damaged_at - 1 + n500b,
              floor=copy_floor([data("b3-500-damaged.cap"), data("b3-500-b.cap")], merged)),
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
        edit_sort(f"trcedit -sort, {len(many):,} inputs in time order, {many_each} records of "
                  "500 bytes each", many, nmany, peer=False),
        edit_sort(f"trcedit -sort, {len(many):,} inputs each out of time order, {many_each} "
                  "records of 500 bytes each", many_back, nback, peer=False, floor=False),
        edit_split("trcedit -split-bytes 256M, 500-byte frames", data("b3-500-2m.cap"), n2g,
                   "256M" if not opts.smoke else "256K"),
    ]
    cases.insert(cases.index(next(c for c in cases if c.name.startswith("trcedit -sort -dedup"))),
                 edit_on_terminal("trcedit -sort, two interleaved inputs, standard error on a "
                                  "terminal (progress on)",
                                  [data("b3-500-early.cap"), data("b3-500-late.cap")], nia + nib))
    if tshark:
        cases.append(tshark_read("tshark -r through trcfile.lua, B4, 500-byte frames",
                                 data("b4-500-read.cap"), n4r))
    if opts.baseline:
        ours = {splicetrc, trc2pcap, trcinfo, trcedit}
        for case in cases:
            if case.command[0] in ours:
                case.baseline = ([os.path.join(opts.baseline, os.path.basename(case.command[0]))]
                                 + case.command[1:])
    rows = []
    for case in cases:
        if opts.only in case.name:
            rows.append(bench_case(case, opts.data, opts.repeats))
            if case.terminal:
                # The line waits for a quiet first second: a shorter run pays its checks only.
                rows[-1]["case"] += (" (the line was drawn)" if rows[-1]["drawn"] else
                                     " (over before the line's first second: its checks only)")
    n60r = make_input(trcgen, data("b4-60-4m.cap"), "B4", 60, count(4000000), 11)
    python_table = None
    if opts.only in "python columns dpkt scapy":
        python_table = python_read(build, data("b4-60-4m.cap"), n60r, opts, pcap_of)

    print(f"\nmedian of {opts.repeats} runs, {os.cpu_count()} cores, inputs {tag}\n")
    print("| case | program s | cat s | ratio | floor | floor s | vs floor | peer | peer s "
          "| vs peer | MB/s | records/s | peak RSS MiB |" +
          (" before s | vs before | before RSS MiB |" if opts.baseline else ""))
    print("|---" * (13 + (3 if opts.baseline else 0)) + "|")
    for r in rows:
        peer_s = f"{r['peer_s']:.3f}" if r["peer_s"] is not None else ""
        vs_peer = f"{r['vs_peer']:.2f}" if r["vs_peer"] is not None else ""
        floor_s = f"{r['floor_s']:.3f}" if r["floor_s"] is not None else ""
        vs_floor = f"{r['vs_floor']:.2f}" if r["vs_floor"] is not None else ""
        before = ""
        if opts.baseline:
            before = (f" {r['before_s']:.3f} | {r['vs_before']:.2f} | {r['before_peak_mib']:.1f} |"
                      if r["before_s"] is not None else "  |  |  |")
        print(f"| {r['case']} | {r['ours_s']:.3f} | {r['cat_s']:.3f} | {r['ratio']:.2f} | "
              f"{r['floor']} | {floor_s} | {vs_floor} | "
              f"{r['peer']} | {peer_s} | {vs_peer} | {r['mb_s']:.0f} | {r['rec_s']:,.0f} | "
              f"{r['peak_mib']:.1f} |" + before)
    if python_table:
        print("\nReading from Python (median of the runs; scapy reads a part once):\n")
        print(python_table, end="")


if __name__ == "__main__":
    main()
