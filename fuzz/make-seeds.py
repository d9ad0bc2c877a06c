#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/ from trcgen output and the
sample captures. The seeds are committed; run this again only to change them:

    python3 fuzz/make-seeds.py build/release/tools/trcgen
    python3 fuzz/make-seeds.py --records    (fuzz_records' seeds alone)

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
    if sys.argv[1:] == ["--records"]:
        write_record_seeds()  # no trcgen needed
        return
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

    # The reader read again by number after reads that failed: an index section cut short
    # past the first window, and a record count no file can hold.
    write("reader", "b4-1003-records-index-cut", packed(b4_long[:-8]))
    lying = bytearray(b4_long)
    lying[13:17] = struct.pack(">I", 0x80000000)
    write("reader", "b4-1003-records-count-2-to-31", packed(bytes(lying)))
    write_record_seeds()


def described(options, damage, damage_value, split_value, repeats, records):
    """A fuzz_records input: control bytes, then (second step, nanosecond code, port byte,
    length code, fill byte) per record."""
    data = struct.pack(">BBHBB", options, damage, damage_value, split_value, repeats - 1)
    for step, nanos, port, length, fill in records:
        data += struct.pack(">bHBBB", step, nanos, port, length, fill)
    return data


def write_record_seeds():
    B4, PCAP, USEC, SORT = 0x01, 0x02, 0x04, 0x08
    SPLIT_RECORDS, SPLIT_BYTES, SPLIT_SECONDS = 0x10, 0x20, 0x30
    TWICE, NEAR_THE_END = 0x40, 0x80
    CUT_INDEX, LYING_COUNT, ENTRY_ELSEWHERE = 1, 2, 3
    in_order = [(1, 100 * k, k % 4, 20 + k, k) for k in range(12)]
    # Two time lines taken in turn: each record steps back from the one before it.
    zigzag = [(2 if k % 2 == 0 else -1, 0, k % 3, 40, k) for k in range(40)]
    write("records", "b4-in-order-pcapng", described(B4, 0, 0, 0, 1, in_order))
    write("records", "b3-in-order-pcap-split", described(PCAP | SPLIT_RECORDS, 0, 0, 0, 30, in_order))
    write("records", "b4-zigzag-sorted-twice", described(B4 | SORT | TWICE, 0, 0, 0, 8, zigzag))
    write("records", "b4-zigzag-sorted-index-cut",
          described(B4 | SORT | SPLIT_BYTES, CUT_INDEX, 100, 1, 63, zigzag))
    write("records", "b3-zigzag-sorted-count-2-to-31",
          described(SORT, LYING_COUNT, 0x4000, 0, 40, zigzag))
    write("records", "b4-zigzag-entry-into-header",
          described(B4 | SORT | SPLIT_SECONDS, ENTRY_ELSEWHERE, 1800, 2, 63, zigzag))
    large = [(0, 0, 0, 0xFF, 7), (1, 5, 1, 10, 8), (0, 0, 0, 0xC0, 9), (1, 0, 0, 30, 10)]
    write("records", "b4-frames-past-262144-pcapng", described(B4, 0, 0, 0, 1, large))
    write("records", "b3-frames-past-262144-pcap", described(PCAP, 0, 0, 0, 1, large))
    # Nanosecond fields of a second or more at the top of the 32-bit seconds.
    late = [(127, 0, 0, 20, 1), (127, 0xF424, 1, 21, 2), (1, 0xFFFF, 0, 22, 3), (1, 0, 1, 23, 4)]
    write("records", "b4-past-2-to-32-seconds-pcap",
          described(B4 | PCAP | USEC | NEAR_THE_END, 0, 0, 0, 1, late))
    write("records", "b4-past-2-to-32-seconds-pcapng",
          described(B4 | NEAR_THE_END | SORT, 0, 0, 0, 1, late))


if __name__ == "__main__":
    main()
