#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/ from trcgen output and the
sample captures. The seeds are committed; run this again only to change them:

    python3 fuzz/make-seeds.py build/release/tools/trcgen

The files named by a hash beside the seeds are inputs that fuzzing found to reach new code,
added with `fuzz_TARGET -use_counters=0 -merge=1 fuzz/corpus/TARGET FOUND_INPUTS`.
"""
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
PACKED_MARKER = b"P"
TABLE_KEEP_END = 543 + 128  # the packed form keeps source name slot 0 only
TABLE_END = 543 + 256 * 128


def packed(data):
    assert not any(data[TABLE_KEEP_END:TABLE_END]), "slots 1 to 255 must be empty"
    return PACKED_MARKER + data[:TABLE_KEEP_END] + data[TABLE_END:]


def generate(trcgen, folder, name, *args):
    path = os.path.join(folder, name)
    subprocess.run([trcgen, "-out", path, *args], check=True)
    with open(path, "rb") as f:
        return f.read()


def write(corpus, name, data):
    os.makedirs(os.path.join(HERE, "corpus", corpus), exist_ok=True)
    with open(os.path.join(HERE, "corpus", corpus, name), "wb") as f:
        f.write(data)


def with_version(data, text):
    return data[:8] + text + data[13:]


def main():
    trcgen = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        b3 = generate(trcgen, tmp, "b3.cap", "-records", "3", "-frame", "20:40")
        b4 = generate(trcgen, tmp, "b4.cap", "-format", "B4", "-records", "4", "-frame", "16:30",
                      "-port", "ETH", "-id", "2/3")
        b3_type2 = generate(trcgen, tmp, "b3t2.cap", "-records", "2", "-frame", "12", "-type", "2")
        b4_type3 = generate(trcgen, tmp, "b4t3.cap", "-format", "B4", "-records", "2", "-frame",
                            "12", "-type", "3")
        # More records than one index window holds.
        b4_long = generate(trcgen, tmp, "b4long.cap", "-format", "B4", "-records", "1003",
                           "-frame", "1")

    with open(os.path.join(ROOT, "examples", "lab1-b3.cap"), "rb") as f:
        lab1 = f.read()
    with open(os.path.join(ROOT, "examples", "lab3-b4.cap"), "rb") as f:
        lab3 = f.read()
    pcap = struct.pack(">IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1)

    write("reader", "lab1-b3.cap", lab1)
    write("reader", "lab3-b4.cap", lab3)
    write("reader", "b3-3-records", packed(b3))
    write("reader", "b3-version-1.0", packed(with_version(b3, b"01.00")))
    write("reader", "b3-type-2", packed(b3_type2))
    write("reader", "b4-4-records", packed(b4))
    write("reader", "b4-type-3", packed(b4_type3))
    write("reader", "b4-1003-records", packed(b4_long))
    write("reader", "tcpdump-header", pcap)

    def pair(control, first, second):
        return control + struct.pack(">H", len(first)) + first + second

    write("append", "b3+b3", pair(b"\x00\x00", packed(b3), packed(b3_type2)))
    write("append", "b3+b4", pair(b"\x00\x00", packed(b3), packed(b4)))
    write("append", "b4+b3-start-2-num-3", pair(b"\x82\x03", packed(b4), packed(b3)))
    write("append", "b4-twice", pair(b"\x00\x80", packed(b4), b""))
    write("append", "b3-version-1.0+b4-type-3",
          pair(b"\x00\x00", packed(with_version(b3, b"01.00")), packed(b4_type3)))
    write("append", "b3+tcpdump", pair(b"\x00\x00", packed(b3), pcap))


if __name__ == "__main__":
    main()
