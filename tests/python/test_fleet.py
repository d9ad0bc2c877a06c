"""python3 -m splicetrc.fleet on local clusters: its figures against trcinfo -stats, its
failures and warnings, its search of folders, its exit statuses."""
import json
import os
import shutil
import subprocess
import sys

import pytest

from conftest import SAMPLES, run


def fleet(*args, cwd=None):
    result = subprocess.run([sys.executable, "-m", "splicetrc.fleet", *args], cwd=cwd,
                            text=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            timeout=300)
    return result.returncode, result.stdout, result.stderr


def trcinfo_stats(path):
    return json.loads(run("trcinfo", "-json", "-stats", path)[1])[0]["statistics"]


def test_fifty_files_on_two_workers_sum_as_trcinfo_does(tmp_path, generated):
    files = [generated(f"f{i:02d}.cap", "-format", "B4" if i % 2 else "B3", "-records",
                       str(20 + 7 * i), "-ports", str(1 + i % 4), "-damaged", str(3 + i % 5),
                       "-time", str(1143137000 + 600 * i), "-seed", str(i))
             for i in range(50)]
    status, out, err = fleet(str(tmp_path), "--workers", "2", "--json")
    assert status == 0, err
    report = json.loads(out)
    assert [f["path"] for f in report["files"]] == files
    expected = [trcinfo_stats(f) for f in files]
    for entry, stats in zip(report["files"], expected):
        assert {k: entry[k] for k in ("records", "frame_bytes", "first_time_ns", "last_time_ns",
                                      "damaged_frames")} == {
            k: stats[k] for k in ("records", "frame_bytes", "first_time_ns", "last_time_ns",
                                  "damaged_frames")}
        assert entry["warning"] is None and entry["error"] is None
    assert report["totals"] == {
        "files": 50, "failed": 0,
        "records": sum(s["records"] for s in expected),
        "frame_bytes": sum(s["frame_bytes"] for s in expected),
        "first_time_ns": min(s["first_time_ns"] for s in expected),
        "last_time_ns": max(s["last_time_ns"] for s in expected),
        "damaged_frames": sum(s["damaged_frames"] for s in expected)}


def test_failures_warnings_and_folders(tmp_path, generated):
    nested = tmp_path / "lab" / "deeper"
    nested.mkdir(parents=True)
    shutil.copy(os.path.join(SAMPLES, "lab1-b3.cap"), nested / "UPPER.CAP")
    (tmp_path / "lab" / "notes.txt").write_text("not a capture")
    (tmp_path / "lab" / "text.cap").write_text("not a capture either")
    damaged = generated("damaged.cap", "-records", "40")
    data = bytearray(open(damaged, "rb").read())
    index = int.from_bytes(data[27:31], "big")
    data[index + 40:index + 44] = data[index + 36:index + 40]  # record 10 cannot be read
    open(damaged, "wb").write(bytes(data))
    status, out, err = fleet(str(tmp_path / "lab"), damaged, str(tmp_path / "missing.cap"),
                             "--workers", "1", "--json")
    assert status == 1, err
    report = json.loads(out)
    by_name = {os.path.basename(f["path"]): f for f in report["files"]}
    assert sorted(by_name) == ["UPPER.CAP", "damaged.cap", "missing.cap", "text.cap"]
    assert by_name["UPPER.CAP"]["records"] == 25 and by_name["UPPER.CAP"]["format"] == "B3"
    assert by_name["damaged.cap"]["records"] == 9
    assert by_name["damaged.cap"]["warning"].startswith("WARNING (listRecords) - Stopped reading")
    assert by_name["missing.cap"]["error"].startswith("Failed to open file:")
    assert by_name["text.cap"]["records"] is None and by_name["text.cap"]["error"]
    assert report["totals"]["failed"] == 2 and report["totals"]["records"] == 25 + 9
    status, table, _ = fleet(str(tmp_path / "lab"), "--workers", "1")
    assert status == 1 and "total of 2 files, 1 failed" in table and "UPPER.CAP" in table


def test_an_existing_cluster_by_its_address(tmp_path):
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=1, processes=False, protocol="tcp",
                                  dashboard_address=None) as c:
        status, out, err = fleet(SAMPLES, "--scheduler", c.scheduler_address, "--json")
    assert status == 0, err
    assert json.loads(out)["totals"]["files"] == len(
        [f for f in os.listdir(SAMPLES) if f.endswith(".cap")])


@pytest.mark.parametrize("args", [[], ["--workers", "0", "x.cap"], ["--bogus", "x.cap"],
                                  ["--scheduler", "tcp://h:1", "--workers", "2", "x.cap"]])
def test_usage_errors_end_with_status_2(args):
    status, out, err = fleet(*args)
    assert status == 2 and "usage:" in err


def test_a_scheduler_out_of_reach_is_said_in_one_line():
    status, out, err = fleet(SAMPLES, "--scheduler", "tcp://127.0.0.1:9", "--timeout", "2")
    assert status == 1 and err.startswith("python3 -m splicetrc.fleet: cannot reach the "
                                          "scheduler at tcp://127.0.0.1:9")
