"""Statistics over many capture files, computed in parallel on a Dask cluster.

    python3 -m splicetrc.fleet PATH... [--scheduler ADDRESS] [--workers N] [--json]
                               [--timeout SECONDS]

Files named are always taken; folders are searched recursively for files ending in .cap (any
case). Each file is read by a worker of a local cluster of N processes (default: one per
core), or of the cluster whose scheduler ADDRESS names, which must have splicetrc installed.
Prints the figures of each file and their totals, as a table or as one JSON object. A file
that cannot be opened is reported as failed, with its reason; a file with an unreadable
record counts the records before it and carries the WARNING line. Exit status: 0 when every
file was read, 1 when some failed, 2 on a usage error.
"""
import argparse
import json
import os
import sys
import warnings

FIGURES = ("records", "frame_bytes", "first_time_ns", "last_time_ns", "damaged_frames")


def find_files(paths):
    """The files to read: every path named that is not a folder, and the .cap files (any
    case) under every folder named, each folder's sorted by name."""
    files = []
    for path in paths:
        if not os.path.isdir(path):
            files.append(path)
            continue
        found = []
        for folder, _, names in os.walk(path):
            found += [os.path.join(folder, n) for n in names if n.lower().endswith(".cap")]
        files += sorted(found)
    return files


def summarise(path):
    """The figures of one file, as the fleet reports it (runs on a worker)."""
    import splicetrc

    summary = {"path": path, "format": None}
    summary.update({key: None for key in FIGURES})
    summary.update({"warning": None, "error": None})
    try:
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always", splicetrc.DamagedInputWarning)
            with splicetrc.open(path) as capture:
                summary["format"] = capture.format
                stats = capture.stats()
        for key in FIGURES:
            summary[key] = stats.get(key)
        damaged = [str(w.message) for w in caught
                   if issubclass(w.category, splicetrc.DamagedInputWarning)]
        summary["warning"] = "\n".join(damaged) or None
    except splicetrc.Error as error:
        summary["error"] = str(error)
    return summary


def totals(summaries):
    read = [s for s in summaries if s["error"] is None]
    firsts = [s["first_time_ns"] for s in read if s["records"] and s["first_time_ns"] is not None]
    lasts = [s["last_time_ns"] for s in read if s["records"] and s["last_time_ns"] is not None]
    return {
        "files": len(summaries),
        "failed": len(summaries) - len(read),
        "records": sum(s["records"] or 0 for s in read),
        "frame_bytes": sum(s["frame_bytes"] or 0 for s in read),
        "first_time_ns": min(firsts) if firsts else None,
        "last_time_ns": max(lasts) if lasts else None,
        "damaged_frames": sum(s["damaged_frames"] or 0 for s in read),
    }


def compute(files, scheduler=None, workers=None, timeout=30):
    """The summaries of the files, in their order, from the cluster. OSError when the
    scheduler cannot be reached within timeout seconds."""
    from dask.distributed import Client, LocalCluster

    if scheduler:
        client = Client(scheduler, timeout=timeout)
        cluster = None
    else:
        cluster = LocalCluster(n_workers=workers or os.cpu_count() or 1, threads_per_worker=1,
                               processes=True, dashboard_address=None)
        client = Client(cluster)
    try:
        return client.gather(client.map(summarise, files, pure=False))
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


def iso(nanoseconds):
    if nanoseconds is None:
        return "-"
    import datetime

    seconds, fraction = divmod(nanoseconds, 1_000_000_000)
    moment = datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc)
    return moment.strftime("%Y-%m-%dT%H:%M:%S") + f".{fraction:09d}Z"


def print_table(summaries, total, out):
    head = f"{'records':>12} {'frame bytes':>15} {'damaged':>8}  {'first':<30} {'last':<30} file"
    print(head, file=out)
    for s in summaries:
        if s["error"] is not None:
            print(f"{'failed':>12} {'':>15} {'':>8}  {'':<30} {'':<30} {s['path']}: "
                  + s["error"].replace("\n", " "), file=out)
            continue
        print(f"{s['records']:>12} {s['frame_bytes']:>15} {s['damaged_frames']:>8}  "
              f"{iso(s['first_time_ns']):<30} {iso(s['last_time_ns']):<30} {s['path']}",
              file=out)
        if s["warning"]:
            print(" " * 13 + s["warning"].replace("\n", " "), file=out)
    print(f"{total['records']:>12} {total['frame_bytes']:>15} {total['damaged_frames']:>8}  "
          f"{iso(total['first_time_ns']):<30} {iso(total['last_time_ns']):<30} "
          f"total of {total['files']} files, {total['failed']} failed", file=out)


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python3 -m splicetrc.fleet",
        description="Statistics over many B3/B4 capture files, on a Dask cluster.")
    parser.add_argument("paths", nargs="+", metavar="PATH",
                        help="a capture file, or a folder searched for *.cap files")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="the address of an existing cluster's scheduler "
                             "(default: a local cluster)")
    parser.add_argument("--workers", type=int, metavar="N",
                        help="worker processes of the local cluster (default: one per core)")
    parser.add_argument("--json", action="store_true", help="print one JSON object")
    parser.add_argument("--timeout", type=float, default=30, metavar="SECONDS",
                        help="how long to try to reach the scheduler (default 30)")
    args = parser.parse_args(argv)
    if args.workers is not None and args.workers < 1:
        parser.error("--workers must be 1 or more")
    if args.scheduler and args.workers is not None:
        parser.error("--workers is for the local cluster, not with --scheduler")
    files = find_files(args.paths)
    try:
        summaries = compute(files, args.scheduler, args.workers, args.timeout) if files else []
    except OSError as error:
        print(f"{parser.prog}: cannot reach the scheduler at {args.scheduler}: {error}",
              file=sys.stderr)
        return 1
    total = totals(summaries)
    if args.json:
        json.dump({"files": summaries, "totals": total}, sys.stdout, indent=1)
        print()
    else:
        print_table(summaries, total, sys.stdout)
    return 1 if total["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
