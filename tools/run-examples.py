#!/usr/bin/env python3
"""Runs every example of the README, the guide and the manual pages as written, on a fresh copy
of the samples in examples/, with the built programs first on the PATH.

    tools/run-examples.py BUILD_DIR

An example is a command line: `$ ...` in a fenced block of a Markdown file, or a line of a
manual page's EXAMPLES section that starts with a program's name. The examples of one document
run in order, so that a later one may read what an earlier one wrote. Each must end with
status 0, except where the document shows an ERROR line in its output; then it must end on
its own (no signal). A few examples cannot run here and are named below with the reason.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROGRAMS = ("splicetrc", "trcinfo", "trc2pcap", "trcedit", "tshark", "tcpdump", "python3", "ls")
# Examples that need what a test cannot give: a stop by hand, a GUI, a build of a consumer.
NOT_HERE = {
    "big1.cap": "stopped by Ctrl-C during a long merge",
    "echo $?": "the status of the example before it",
    "cmake -S": "builds a consumer against an installed package (the install test does)",
    "./build/framebytes": "runs that consumer",
    "wireshark ": "opens a window",
    "export PYTHONPATH": "sets the package's path for the lines after it (the test sets it)",
}
# Examples skipped only when they are exactly this command.
NOT_HERE_EXACTLY = {"/usr/bin/python3": "starts an interactive session"}


def markdown_examples(path):
    examples = []
    lines = open(path, encoding="utf-8").read().split("\n")
    in_block = False
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.startswith("```"):
            in_block = not in_block
        elif in_block and line.startswith("$ "):
            command = line[2:]
            while command.endswith("\\") and i + 1 < len(lines):
                i += 1
                command = command[:-1] + " " + lines[i].strip()
            shown = []
            j = i + 1
            while j < len(lines) and not lines[j].startswith(("$ ", "```")):
                shown.append(lines[j])
                j += 1
            examples.append((command, any(out.startswith("ERROR") for out in shown)))
        i += 1
    return examples


def man_examples(path):
    text = open(path, encoding="utf-8").read()
    match = re.search(r"^\.SH EXAMPLES\n(.*?)(^\.SH |\Z)", text, re.S | re.M)
    if not match:
        return []
    examples = []
    for line in match.group(1).split("\n"):
        command = line.replace("\\-", "-").replace("\\(ha", "^")
        if command.split(" ")[0] in PROGRAMS:
            examples.append((command, False))
    return examples


def run_document(name, examples, build, env):
    failures = []
    with tempfile.TemporaryDirectory() as work:
        samples = os.path.join(work, "examples")
        shutil.copytree(os.path.join(ROOT, "examples"), samples)
        # The examples name the Wireshark reader as it lies beside the samples.
        shutil.copytree(os.path.join(ROOT, "wireshark"), os.path.join(work, "wireshark"))
        for command, shows_error in examples:
            skip = NOT_HERE_EXACTLY.get(command.strip()) or next(
                (why for key, why in NOT_HERE.items() if key in command), None)
            if "splicetrc." in command and not os.path.isdir(env["PYTHONPATH"]):
                skip = "this build has no Python package (none is built under the sanitizers)"
            if skip:
                print(f"  skipped ({skip}): {command}")
                continue
            result = subprocess.run(["bash", "-o", "pipefail", "-c", command], cwd=samples,
                                    env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                    text=True, errors="replace", timeout=120)
            good = (result.returncode >= 0 if shows_error else result.returncode == 0)
            print(f"  {'ok' if good else 'FAILED'} ({result.returncode}): {command}")
            if not good:
                failures.append(f"{name}: {command}\n{result.stdout[-2000:]}")
    return failures


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/release")
    env = dict(os.environ, PATH=build + os.pathsep + os.environ.get("PATH", ""),
               PYTHONPATH=os.path.join(build, "python"))
    documents = [("README.md", markdown_examples), ("docs/guide.md", markdown_examples)]
    documents += [(os.path.join("man", page), man_examples)
                  for page in sorted(os.listdir(os.path.join(ROOT, "man"))) if page.endswith(".1")]
    failures = []
    for name, extract in documents:
        examples = extract(os.path.join(ROOT, name))
        print(f"{name}: {len(examples)} examples")
        failures += run_document(name, examples, build, env)
    for failure in failures:
        print("\nFAILED " + failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
