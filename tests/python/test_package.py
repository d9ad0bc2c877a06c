"""The Python package against the programs: what it reads equals what trcinfo shows, what its
jobs write equals what splicetrc, trc2pcap and trcedit write, byte for byte, and no damaged
file of the catalogue makes it crash."""
import json
import re
import os
import subprocess
import warnings

import numpy
import pytest

import splicetrc
from conftest import BUILD, SAMPLES, program, run

SAMPLE_FILES = sorted(f for f in os.listdir(SAMPLES) if f.endswith(".cap"))
# Generated files beside the samples: every layer-2 type, several ports, damaged frames.
GENERATED = {
    "mixed-b3.cap": ["-format", "B3", "-records", "300", "-l2", "0,1,2", "-frame", "40:900"],
    "ports-b4.cap": ["-format", "B4", "-records", "500", "-ports", "5", "-damaged", "9",
                     "-l2", "0,2", "-l2-run", "7", "-repeat", "3"],
}


def contents(path):
    """The file's bytes, with the creation date a tester file's header carries masked: two
    runs a second apart write different dates."""
    data = open(path, "rb").read()
    return re.sub(rb"#Date created: [^\n]*", lambda m: b"#" * len(m.group(0)), data)


def trcinfo_json(path, *options):
    status, out = run("trcinfo", "-json", *options, path)
    return json.loads(out)[0]


@pytest.mark.parametrize("name", SAMPLE_FILES + sorted(GENERATED))
def test_reading_matches_trcinfo(name, generated):
    path = generated(name, *GENERATED[name]) if name in GENERATED else os.path.join(SAMPLES, name)
    shown = trcinfo_json(path, "-tables", "-stats", "-records")
    with splicetrc.open(path) as cap:
        assert cap.path == path
        assert cap.format == shown["format_code"]
        assert cap.header == shown["header"]
        assert cap.sources == shown["tables"]["source_names"]
        assert cap.stats() == shown["statistics"]
        assert len(cap) == shown["header"]["number_of_records"]
        records = list(cap)
        assert [r.number for r in records] == [r["number"] for r in shown["records"]]
        for record, listed in zip(records, shown["records"]):
            assert record.time_ns == listed["time_ns"]
            assert record.port == listed["port_byte"] & 0x7F
            assert record.damaged == (not listed["frame_good"])
            assert record.l2 == listed["layer2_type"]
            assert record.frame_length == listed["frame_length"]
            assert len(record.frame) == listed["frame_stored_length"]
            assert len(record.extension) == listed["extension_length"]
            assert record.timestamp == pytest.approx(record.time_ns / 1e9)
        assert cap[0].frame == records[0].frame
        assert cap[-1].number == len(cap)
        with pytest.raises(IndexError):
            cap[len(cap)]
        columns = cap.columns()
        assert {k: v.dtype.name for k, v in columns.items()} == {
            "number": "uint32", "time_ns": "int64", "frame_length": "uint32",
            "stored_length": "uint32", "port": "uint8", "damaged": "bool", "l2": "uint8"}
        assert columns["time_ns"].tolist() == [r.time_ns for r in records]
        assert columns["stored_length"].tolist() == [len(r.frame) for r in records]
        assert columns["damaged"].tolist() == [r.damaged for r in records]
    assert cap.closed


def test_columns_of_a_large_file_go_through_runs_and_suit_pandas(generated):
    pandas = pytest.importorskip("pandas")
    path = generated("big.cap", "-format", "B4", "-records", "30000", "-ports", "3",
                     "-damaged", "7", "-frame", "60:1500")
    with splicetrc.open(path) as cap:
        columns = cap.columns()
        frame = pandas.DataFrame(columns)
        assert list(frame.columns) == list(columns) and len(frame) == 30000
        sample = [cap[i] for i in (0, 12345, 29999)]
    assert [int(columns["time_ns"][r.number - 1]) for r in sample] == [r.time_ns for r in sample]
    assert [bool(columns["damaged"][r.number - 1]) for r in sample] == [r.damaged for r in sample]
    assert int(numpy.count_nonzero(columns["damaged"])) == cap_damaged(path)


def cap_damaged(path):
    return trcinfo_json(path, "-stats")["statistics"]["damaged_frames"]


# Each job against its program: the same options give the same bytes. result: what the job
# returns; "files" for edit's list of the one file written.
JOBS = [
    ("merge", {}, "splicetrc", [], 40),
    ("merge", {"start": 10, "num": 30}, "splicetrc", ["-start", "10", "-num", "30"], 30),
    ("export", {}, "trc2pcap", [], 40),
    ("export", {"format": "pcap", "usec": True}, "trc2pcap", ["-format", "pcap", "-usec"], 40),
    ("export", {"linktype": 147, "start": 5, "num": 7}, "trc2pcap",
     ["-linktype", "147", "-start", "5", "-num", "7"], 7),
    ("edit", {"sort": True}, "trcedit", ["-sort"], "files"),
    ("edit", {"sort": True, "from_": 1143137200_001000000, "to": "1143137200.0075"},
     "trcedit", ["-sort", "-from", "1143137200.001", "-to", "1143137200.0075"], "files"),
]


@pytest.mark.parametrize("job,options,tool,words,result", JOBS)
def test_jobs_write_what_the_programs_write(tmp_path, job, options, tool, words, result):
    inputs = [os.path.join(SAMPLES, "port1-b4.cap"), os.path.join(SAMPLES, "port2-b4.cap")]
    ours, theirs = str(tmp_path / "ours.out"), str(tmp_path / "theirs.out")
    returned = getattr(splicetrc, job)(inputs, ours, **options)
    status, out = run(tool, *sum((["-in", i] for i in inputs), []), "-out", theirs, *words)
    assert status == 0, out
    assert contents(ours) == contents(theirs)
    assert returned == ([ours] if result == "files" else result)


@pytest.mark.parametrize("option,value,words", [
    ("split_records", 15, ["-split-records", "15"]),
    ("split_bytes", "36K", ["-split-bytes", "36K"]),
    ("split_seconds", 0.005, ["-split-seconds", "0.005"]),
])
def test_splits_name_every_file_written(tmp_path, option, value, words):
    inputs = [os.path.join(SAMPLES, "port1-b4.cap"), os.path.join(SAMPLES, "port2-b4.cap")]
    written = splicetrc.edit(inputs, str(tmp_path / "ours.cap"), sort=True, **{option: value})
    status, out = run("trcedit", "-sort", *sum((["-in", i] for i in inputs), []),
                      "-out", str(tmp_path / "theirs.cap"), *words)
    assert status == 0, out
    theirs = sorted(str(p) for p in tmp_path.glob("theirs-*.cap"))
    assert len(written) == len(theirs) > 1
    assert [contents(f) for f in written] == [contents(f) for f in theirs]


def test_failures_raise_and_damage_warns(tmp_path, generated):
    with pytest.raises(splicetrc.Error) as missing:
        splicetrc.open(str(tmp_path / "none.cap"))
    assert (missing.value.step, missing.value.code) == ("openInputFile", 1)
    assert str(missing.value).startswith("Failed to open file: '")
    text = tmp_path / "text.cap"
    text.write_text("not a capture\n")
    with pytest.raises(splicetrc.Error) as refused:
        splicetrc.merge([str(text), os.path.join(SAMPLES, "lab1-b3.cap")],
                        str(tmp_path / "o.cap"))
    assert refused.value.step == "openInputFile"
    assert not (tmp_path / "o.cap").exists()
    with pytest.raises(ValueError, match="-format"):
        splicetrc.export([os.path.join(SAMPLES, "lab1-b3.cap")], str(tmp_path / "x"),
                         format="csv")

    # Record 10 of 40 ends where it starts: the merge warns and goes on with the next input.
    damaged = generated("a.cap", "-records", "40")
    data = bytearray(open(damaged, "rb").read())
    index = int.from_bytes(data[27:31], "big")
    data[index + 40:index + 44] = data[index + 36:index + 40]
    open(damaged, "wb").write(bytes(data))
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        count = splicetrc.merge([damaged, os.path.join(SAMPLES, "lab1-b3.cap")],
                                str(tmp_path / "m.cap"))
    assert count == 9 + 25
    assert [w.category for w in caught] == [splicetrc.DamagedInputWarning]
    assert str(caught[0].message).startswith("WARNING (appendRecords) - Stopped reading file")
    with splicetrc.open(damaged) as cap:
        seen = []
        with pytest.raises(splicetrc.Error, match="Record 10 of 40") as unreadable:
            for record in cap:
                seen.append(record.number)
        assert seen == list(range(1, 10)) and unreadable.value.step == "readRecord"
        with pytest.warns(splicetrc.DamagedInputWarning):
            assert len(cap.columns()["number"]) == 9
        with pytest.warns(splicetrc.DamagedInputWarning):
            assert cap.stats()["records"] == 9


def test_no_catalogue_file_crashes_the_interpreter(tmp_path):
    """Every damaged file: refused with Error where its reader refuses it, else its records up
    to the first unreadable one, from every way of reading."""
    folder = tmp_path / "bad"
    folder.mkdir()
    subprocess.run([program("tests/write_bad_inputs"), str(folder)], check=True,
                   stdout=subprocess.DEVNULL)
    warnings.simplefilter("ignore", splicetrc.DamagedInputWarning)
    cases = [line.split("\t") for line in (folder / "cases.tsv").read_text().splitlines()]
    assert len(cases) > 1000
    for name, damage, *expected in cases:
        path = str(folder / name)
        try:
            cap = splicetrc.open(path)
        except splicetrc.Error as error:
            assert expected[0] == "refused", (name, damage, str(error))
            continue
        assert expected[0] != "refused", (name, damage)
        with cap:
            cap.header, cap.sources, cap.stats()
            count = len(cap.columns()["number"])
            read = 0
            try:
                for _ in cap:
                    read += 1
            except splicetrc.Error:
                pass
            assert read == count and int(expected[0]) <= read <= int(expected[1]), (name, damage)
