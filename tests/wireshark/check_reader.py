#!/usr/bin/env python3
"""The Wireshark reader (wireshark/trcfile.lua) against trc2pcap: tshark must read from a
B3 or B4 file, through the reader, exactly the packets that trc2pcap exports from it, in
times, lengths, bytes, encapsulation and comments (not interfaces: the reader has none), and
no file may give a Lua error, a crash or a hang.

  check_reader.py --build BUILD (--samples | --catalogue [--all])

--samples     the files in examples/ and files that trcgen makes
--catalogue   a fixed sample of the damaged-input catalogue; with --all, every case

Files with one layer-2 type are written back with `tshark -w` and compared with trc2pcap's
pcapng block by block; files that mix types (per-packet encapsulation, which tshark cannot
write from a Lua reader) are compared through tshark's JSON. Exits 77 when tshark is missing.
"""
import argparse
import concurrent.futures
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, "..", ".."))
READER = os.path.join(SOURCE, "wireshark", "trcfile.lua")
TIMEOUT = 60

# Link types to the wiretap encapsulations tshark reports as frame.encap_type.
ENCAP_OF_LINK_TYPE = {1: 1, 9: 4, 50: 4, 104: 28, 147: 45}
LINK_TYPE_OF_LAYER2 = {0: 50, 1: 104, 2: 1}
# Layer-2 codes without a link type are read as link type 147, as `trc2pcap -linktype 147`.
NO_LINK_TYPE = 147

# Generated files: name, trcgen options, whether the records mix layer-2 types.
GENERATED = [
    ("b3-ppp", "-format B3 -records 40 -l2 0 -frame 1:300", False),
    ("b3-chdlc", "-format B3 -records 40 -l2 1 -time 4294967290.999999999 -step 0.1", False),
    ("b3-gbe-equal-times", "-format B3 -records 30 -step 0 -back 7:0.5", False),
    ("b4-ports-damaged", "-format B4 -records 300 -ports 5 -damaged 3 -step 0.000000001", False),
    ("b4-default-ports", "-format B4 -records 500 -frame 60:9000", False),
    ("b4-no-link-type", "-format B4 -records 20 -l2 9", False),
    ("b4-mixed", "-format B4 -records 60 -l2 0,1,2 -ports 3 -damaged 4", True),
    ("b3-mixed-late", "-format B3 -records 3000 -l2 2,0 -l2-run 1700", True),
    ("b4-mixed-no-link-type", "-format B4 -records 12 -l2 2,7", True),
    # More than one index window; frames of one byte and of the most trcgen makes.
    ("b4-many-records", "-format B4 -records 5000 -frame 1:80 -ports 2", False),
    ("b3-long-frames", "-format B3 -records 4 -frame 65534:65535", False),
]


def run(command, timeout=TIMEOUT):
    try:
        done = subprocess.run(command, capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, "timed out after %d s: %s" % (timeout, " ".join(command))
    return done.returncode, done.stdout.decode("utf-8", "replace") + done.stderr.decode(
        "utf-8", "replace")


def read_pcapng(path):
    """Packets of a pcapng file: (time in ns, captured, original, bytes, encap, comments)."""
    data = open(path, "rb").read()
    packets, interfaces = [], []
    at, endian = 0, "<"
    while at + 12 <= len(data):
        kind = struct.unpack_from(endian + "I", data, at)[0]
        if kind == 0x0A0D0D0A:
            endian = "<" if data[at + 8:at + 12] == b"\x4d\x3c\x2b\x1a" else ">"
            interfaces = []
        length = struct.unpack_from(endian + "I", data, at + 4)[0]
        if length < 12 or at + length > len(data):
            raise ValueError("%s: block at %d runs past the end" % (path, at))
        body = data[at + 8:at + length - 4]
        if kind == 1:
            link_type = struct.unpack_from(endian + "H", body, 0)[0]
            resolution = 10**6
            for code, value in options(body, 8, endian):
                if code == 9:
                    r = value[0]
                    resolution = 2**(r & 0x7F) if r & 0x80 else 10**r
            interfaces.append((link_type, resolution))
        elif kind == 6:
            iface, high, low, captured, original = struct.unpack_from(endian + "IIIII", body, 0)
            link_type, resolution = interfaces[iface]
            ticks = high << 32 | low
            comments = [v.decode("utf-8", "replace") for c, v in
                        options(body, 20 + (captured + 3) // 4 * 4, endian) if c == 1]
            packets.append((ticks * 10**9 // resolution, captured, original,
                            body[20:20 + captured], ENCAP_OF_LINK_TYPE.get(link_type, -link_type),
                            comments))
        at += length
    return packets


def options(body, at, endian):
    while at + 4 <= len(body):
        code, length = struct.unpack_from(endian + "HH", body, at)
        if code == 0:
            return
        yield code, body[at + 4:at + 4 + length]
        at += 4 + (length + 3) // 4 * 4


def read_json(text):
    """The same tuples from tshark's JSON of a file read through the reader."""
    packets = []
    for packet in json.loads(text):
        layers = packet["_source"]["layers"]
        frame = layers["frame"]
        seconds, fraction = frame["frame.time_epoch"].split(".")
        raw = bytes.fromhex(layers["frame_raw"][0])
        comments = layers.get("pkt_comment", [])
        comments = [c["frame.comment"] for c in
                    (comments if isinstance(comments, list) else [comments])]
        packets.append((int(seconds) * 10**9 + int(fraction.ljust(9, "0")),
                        int(frame["frame.cap_len"]), int(frame["frame.len"]), raw,
                        int(frame["frame.encap_type"]), comments))
    return packets


def reference(build, capture, folder):
    """What trc2pcap exports from the file: its packets, and its words on the file."""
    out = os.path.join(folder, "reference.pcapng")
    trc2pcap = os.path.join(build, "trc2pcap")
    status, said = run([trc2pcap, "-in", capture, "-out", out])
    if status == 0 or "names no link type" not in said:
        return (read_pcapng(out) if status == 0 else []), said  # [] : refused, or no record
    # Exported with one link type for all; each record's own comes from its layer-2 code.
    status, said = run([trc2pcap, "-in", capture, "-out", out, "-linktype", str(NO_LINK_TYPE)])
    if status != 0:
        return [], said
    status, listing = run([os.path.join(build, "trcinfo"), "-records", capture])
    lines = listing.split("\n")
    header = next(line.split() for line in lines if line.split()[:2] == ["Record", "Seconds"])
    codes = [int(line.split()[header.index("L2")]) for line in lines
             if line.strip()[:1].isdigit() and len(line.split()) == len(header)]
    return [p[:4] + (ENCAP_OF_LINK_TYPE[LINK_TYPE_OF_LAYER2.get(code, NO_LINK_TYPE)],) + p[5:]
            for p, code in zip(read_pcapng(out), codes)], said


def through_reader(capture, folder, mixed):
    """What tshark reads from the file through the reader, and what it said."""
    base = ["tshark", "-X", "lua_script:" + READER, "-r", capture]
    if mixed:
        status, said = run(base + ["-T", "json", "-x", "-j", "frame pkt_comment"])
        if status is None or status != 0:
            return None, said
        start = said.find("[")
        return read_json(said[start:said.rfind("]") + 1]) if start >= 0 else [], said
    out = os.path.join(folder, "through-reader.pcapng")
    status, said = run(base + ["-F", "pcapng", "-w", out])
    if status is None:
        return None, said
    if status != 0 and "isn't a capture file in a format TShark understands" not in said:
        return None, said
    return (read_pcapng(out) if os.path.exists(out) else []), said


def listing(capture, reader):
    status, said = run(["tshark"] + (["-X", "lua_script:" + READER] if reader else []) +
                       ["-r", capture])
    # Left out: the reader's reasons, and tshark's word on running as root.
    return status, "\n".join(line for line in said.split("\n")
                             if line and "trcfile.lua: " not in line and "Running as" not in line)


def check(build, capture, mixed=False, expected=None):
    """None when tshark reads the file as trc2pcap exports it, else what differs."""
    with tempfile.TemporaryDirectory(prefix="trcfile-") as folder:
        wanted, exported = reference(build, capture, folder)
        if wanted:
            got, said = through_reader(capture, folder, mixed)
        else:
            # Nothing to read: the reader reads no packet, or refuses the file, and tshark
            # makes of it what it makes without the reader.
            status, said = listing(capture, True)
            got = [] if (status, said) in ((0, ""), listing(capture, False)) else None
    for sign in ("Lua:", "traceback", "attempt to", "Segmentation", "Aborted"):
        if sign in said:
            return "tshark said:\n" + said
    if got is None:
        return "tshark failed, or read the file otherwise without the reader:\n" + said
    if expected is not None:
        low, high = expected
        if not low <= len(got) <= high:
            return "%d packets, the readers deliver %d to %d" % (len(got), low, high)
    if len(got) != len(wanted):
        return "%d packets through the reader, %d from trc2pcap\ntshark: %s\ntrc2pcap: %s" % (
            len(got), len(wanted), said, exported)
    names = ("time", "captured length", "original length", "bytes", "encapsulation", "comments")
    for number, (a, b) in enumerate(zip(got, wanted), 1):
        for name, x, y in zip(names, a, b):
            if x != y:
                return "packet %d: %s %r through the reader, %r from trc2pcap" % (
                    number, name, x if name != "bytes" else len(x), y if name != "bytes" else len(y))
    return None


def catalogue(build, folder, everything):
    writer = os.path.join(build, "tests", "write_bad_inputs")
    status, said = run([writer, folder] + ([] if everything else ["--sample"]), timeout=300)
    if status != 0:
        sys.exit("write_bad_inputs failed: " + said)
    cases = []
    for line in open(os.path.join(folder, "cases.tsv")):
        fields = line.rstrip("\n").split("\t")
        expected = (0, 0) if fields[2] == "refused" else (int(fields[2]), int(fields[3]))
        cases.append((os.path.join(folder, fields[0]), fields[1], expected))
    return cases


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--samples", action="store_true")
    parser.add_argument("--catalogue", action="store_true")
    parser.add_argument("--all", action="store_true")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    args = parser.parse_args()
    if not shutil.which("tshark"):
        print("SKIPPED: tshark is missing (tools/ensure-deps.sh installs it)")
        return 77
    build = os.path.abspath(args.build)
    with tempfile.TemporaryDirectory(prefix="trcfile-cases-") as folder:
        jobs = []  # (label, capture, mixed, expected)
        if args.samples:
            examples = os.path.join(SOURCE, "examples")
            for name in sorted(os.listdir(examples)):
                if name.endswith(".cap"):
                    jobs.append((name, os.path.join(examples, name), False, None))
            for name, options, mixed in GENERATED:
                path = os.path.join(folder, name + ".cap")
                status, said = run([os.path.join(build, "tools", "trcgen"), "-out", path] +
                                   options.split())
                if status != 0:
                    sys.exit("trcgen %s failed: %s" % (options, said))
                jobs.append((name + " (" + options + ")", path, mixed, None))
        if args.catalogue:
            for path, damage, expected in catalogue(build, folder, args.all):
                jobs.append((os.path.basename(path) + " (" + damage + ")", path, False, expected))
        failures = 0
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            results = pool.map(lambda job: (job[0], check(build, *job[1:])), jobs)
            for label, fault in results:
                if fault:
                    failures += 1
                    print("FAILED %s: %s" % (label, fault))
        print("%d files read through the reader, %d failed" % (len(jobs), failures))
        return 1 if failures or not jobs else 0


if __name__ == "__main__":
    sys.exit(main())
