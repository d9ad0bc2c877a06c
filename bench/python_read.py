#!/usr/bin/python3
"""Reading speed from Python: splicetrc's columns() over a capture against dpkt and scapy
reading trc2pcap's pcap of the same records, in records per second; and the memory that
columns() takes beyond its arrays. Run by bench.py with the system's python3 and the build's
package on PYTHONPATH.

    python_read.py CAPTURE PCAP REPEATS SCAPY_RECORDS
"""
import gc
import resource
import statistics
import sys
import time


def peak_mib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def main():
    capture, pcap, repeats, scapy_records = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(
        sys.argv[4])
    import numpy  # noqa: F401 - loaded before the baseline, as columns() loads it
    import splicetrc

    rows = []
    with splicetrc.open(capture) as cap:
        records = len(cap)
        before = peak_mib()
        times = []
        for _ in range(repeats):
            start = time.perf_counter()
            columns = cap.columns()
            times.append(time.perf_counter() - start)
            arrays = sum(a.nbytes for a in columns.values()) / 2**20
            assert len(columns["number"]) == records
            if len(times) == 1:
                beyond = peak_mib() - before - arrays
            del columns
            gc.collect()
    seconds = statistics.median(times)
    rows.append(("splicetrc columns()", records, seconds, f"{arrays:.1f} MiB of arrays, "
                 f"{beyond:.1f} MiB beyond them"))

    try:
        import dpkt
        times = []
        for _ in range(repeats):
            start = time.perf_counter()
            with open(pcap, "rb") as f:
                count = sum(1 for _ in dpkt.pcap.Reader(f))
            times.append(time.perf_counter() - start)
            assert count == records
        rows.append(("dpkt pcap.Reader (all records)", records, statistics.median(times), ""))
    except ImportError:
        rows.append(("dpkt: not installed", 0, 0, "tools/ensure-deps.sh installs python3-dpkt"))

    try:
        import logging
        # Random frames make scapy's dissectors complain on every few packets.
        logging.getLogger("scapy").setLevel(logging.CRITICAL)
        from scapy.all import PcapReader, RawPcapReader  # with the layers, as users read
        for name, reader in (("scapy RawPcapReader", RawPcapReader),
                             ("scapy PcapReader", PcapReader)):
            limit = min(records, scapy_records)
            start = time.perf_counter()
            count = 0
            for _ in reader(pcap):
                count += 1
                if count == limit:
                    break
            rows.append((f"{name} (first {limit:,} records)", count,
                         time.perf_counter() - start, ""))
    except ImportError:
        rows.append(("scapy: not installed", 0, 0, "tools/ensure-deps.sh installs python3-scapy"))

    print("| reader | records | s | records/s | memory |")
    print("|---|---|---|---|---|")
    for name, count, seconds, note in rows:
        rate = f"{count / seconds:,.0f}" if seconds else ""
        print(f"| {name} | {count:,} | {seconds:.3f} | {rate} | {note} |")


if __name__ == "__main__":
    main()
