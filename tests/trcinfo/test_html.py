"""trcinfo -html: the page is well-formed, fetches nothing, and its graph holds the bytes per
interval and per port, and the damaged frames, that the test computes from the records it
generated; a damaged input shows its WARNING line. Headless Chromium renders it (where it is
installed) to a picture that is not blank."""
import json
import os
import shutil
import subprocess
import xml.dom.minidom

import pytest

BUILD = os.environ.get("SPLICETRC_BUILD", "build/release")
SVG = "http://www.w3.org/2000/svg"


def program(*args, cwd=None):
    result = subprocess.run([os.path.join(BUILD, args[0])] + list(args[1:]), cwd=cwd,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return result.returncode, result.stdout


def page_of(tmp_path, *files):
    out = str(tmp_path / "page.html")
    status, said = program("trcinfo", "-html", out, *files)
    return status, said, xml.dom.minidom.parse(out)


@pytest.mark.parametrize("options", [
    ["-format", "B4", "-records", "5000", "-ports", "3", "-damaged", "11", "-step", "0.0003"],
    ["-format", "B3", "-records", "777", "-frame", "60:1500", "-back", "50:0.02"],
    ["-format", "B4", "-records", "3", "-step", "0"],
])
def test_the_graph_holds_the_records_bytes(tmp_path, options):
    capture = str(tmp_path / "in.cap")
    assert program("tools/trcgen", "-out", capture, *options)[0] == 0
    status, said, page = page_of(tmp_path, capture)
    assert status == 0 and said == ""
    for element in page.getElementsByTagName("*"):
        for name in ("src", "href"):
            assert not element.getAttribute(name), element.toxml()[:80]
    assert not page.getElementsByTagName("script")

    graph = [s for s in page.getElementsByTagName("svg") if s.getAttribute("class") == "graph"][0]
    interval = int(graph.getAttribute("data-interval-ns"))
    start = int(graph.getAttribute("data-start-ns"))
    count = int(graph.getAttribute("data-intervals"))
    assert count <= 1000
    records = json.loads(program("trcinfo", "-json", "-records", capture)[1])[0]["records"]
    expected, damaged = {}, {}
    for r in records:
        at = (r["time_ns"] - start) // interval
        assert 0 <= at < count
        port = r["port_byte"] & 0x7F
        expected.setdefault(port, [0] * count)[at] += r["frame_length"]
        if not r["frame_good"]:
            damaged[at] = damaged.get(at, 0) + 1
    lines = {int(p.getAttribute("data-port")): [int(b) for b in p.getAttribute("data-bytes").split()]
             for p in page.getElementsByTagName("polyline")}
    assert lines == expected
    marks = {int(r.getAttribute("data-interval")): int(r.getAttribute("data-count"))
             for r in page.getElementsByTagName("rect") if r.getAttribute("class") == "damaged"}
    assert marks == damaged


def test_a_damaged_input_and_one_that_cannot_be_opened(tmp_path):
    capture = str(tmp_path / "d.cap")
    assert program("tools/trcgen", "-out", capture, "-records", "40")[0] == 0
    data = bytearray(open(capture, "rb").read())
    index = int.from_bytes(data[27:31], "big")
    data[index + 40:index + 44] = data[index + 36:index + 40]
    open(capture, "wb").write(bytes(data))
    status, said, page = page_of(tmp_path, capture, str(tmp_path / "missing.cap"))
    assert status == 255
    text = page.toxml()
    assert "Stopped reading file" in text and "at record 10 of 40" in text
    assert "Failed to open file" in text and "missing.cap" in text


def test_chromium_renders_the_page(tmp_path):
    browser = shutil.which("chromium")
    if not browser:
        pytest.skip("chromium is not installed (tools/ensure-deps.sh installs it): the page "
                    "was not rendered")
    image = pytest.importorskip("PIL.Image")
    samples = os.path.join(os.path.dirname(__file__), "..", "..", "examples")
    status, _, _ = page_of(tmp_path, os.path.join(samples, "lab4-b4-ports.cap"))
    shot = str(tmp_path / "page.png")
    result = subprocess.run(
        [browser, "--headless", "--no-sandbox", "--disable-gpu", "--enable-logging=stderr",
         "--window-size=1000,1400", "--screenshot=" + shot, "file://" + str(tmp_path / "page.html")],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=120)
    assert result.returncode == 0, result.stdout[-2000:]
    assert "CONSOLE" not in result.stdout and "Uncaught" not in result.stdout
    colours = image.open(shot).convert("RGB").getcolors(maxcolors=1 << 20)
    assert colours is not None and len(colours) > 20


def test_a_page_never_replaces_an_input(tmp_path):
    capture = str(tmp_path / "in.cap")
    assert program("tools/trcgen", "-out", capture, "-records", "5")[0] == 0
    before = open(capture, "rb").read()
    status, said = program("trcinfo", "-html", capture, capture)
    assert status == 255 and "would overwrite the input file" in said
    assert open(capture, "rb").read() == before
