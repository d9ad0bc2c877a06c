#!/usr/bin/env bash
# The family at work on the sample captures in examples/, each step under a title of its own:
# a merge, what the merged file holds, a time-ordered merge of two ports, a split, and an
# export that tshark reads back, from a file and from a pipe, and tshark reading a capture
# through the Wireshark reader (where tshark is installed), and the Python package.
# Outputs go to BUILD/demo.
set -euo pipefail
build=$(cd "${1:-build/release}" && pwd)
out=$build/demo
mkdir -p "$out"
cd "$(dirname "$0")/../examples"

step=0
title() {
    step=$((step + 1))
    printf '\n=== %d. %s\n' "$step" "$1"
}
# Shows the command as typed (paths shortened), then runs it.
show() {
    printf '$ %s\n' "${*//$out\//}"
}

title "Merge two B3 captures, and a B3 with a B4 capture (its records converted to B4)"
show splicetrc -in lab1-b3.cap -in lab2-b3.cap -out "$out/lab1+lab2.cap"
"$build/splicetrc" -in lab1-b3.cap -in lab2-b3.cap -out "$out/lab1+lab2.cap" | tail -n 2
show splicetrc -in lab1-b3.cap -in lab3-b4.cap -out "$out/lab1+lab3.cap"
"$build/splicetrc" -in lab1-b3.cap -in lab3-b4.cap -out "$out/lab1+lab3.cap" | tail -n 2

title "What the merged file holds: statistics over its records (the first lines)"
show trcinfo -stats "$out/lab1+lab2.cap"
"$build/trcinfo" -stats "$out/lab1+lab2.cap" | sed -n '/^Statistics of records/,/^Frame length  /p'

title "Two ports' captures merged in time order, and its first records"
show trcedit -in port1-b4.cap -in port2-b4.cap -sort -out "$out/ports.cap"
"$build/trcedit" -in port1-b4.cap -in port2-b4.cap -sort -out "$out/ports.cap"
show trcinfo -records -num 6 "$out/ports.cap"
"$build/trcinfo" -records -num 6 "$out/ports.cap" | sed -n '/^ *Record  /,$p'

title "The merge split into files of 20 records each"
show trcedit -in "$out/lab1+lab2.cap" -split-records 20 -out "$out/part.cap"
"$build/trcedit" -in "$out/lab1+lab2.cap" -split-records 20 -out "$out/part.cap"

title "An export to pcapng, read back by tshark"
show trc2pcap -in "$out/ports.cap" -out "$out/ports.pcapng"
"$build/trc2pcap" -in "$out/ports.cap" -out "$out/ports.pcapng"
if command -v tshark >/dev/null; then
    show tshark -r "$out/ports.pcapng" -c 5 -T fields -e frame.number -e frame.time_epoch \
        -e frame.interface_name -e frame.len
    tshark -r "$out/ports.pcapng" -c 5 -T fields -e frame.number -e frame.time_epoch \
        -e frame.interface_name -e frame.len

    title "No file in between: the export piped into tshark"
    show "trc2pcap -in lab4-b4-ports.cap -out - | tshark -r - -c 4"
    "$build/trc2pcap" -in lab4-b4-ports.cap -out - | tshark -r - -c 4 2>/dev/null

    title "No conversion at all: tshark reads a B4 capture through the Wireshark reader"
    show "tshark -X lua_script:../wireshark/trcfile.lua -r lab4-b4-ports.cap -Y frame.comment" \
        "-T fields -e frame.number -e frame.time_epoch -e frame.len -e frame.comment"
    tshark -X lua_script:../wireshark/trcfile.lua -r lab4-b4-ports.cap -Y frame.comment \
        -T fields -e frame.number -e frame.time_epoch -e frame.len -e frame.comment 2>/dev/null
else
    echo "(tshark is not installed: tools/ensure-deps.sh installs it)"
fi

if [ -d "$build/python/splicetrc" ]; then
    title "From Python: one capture as a table, and statistics over every sample on two workers"
    show "/usr/bin/python3 -c 'import splicetrc; ...'  (PYTHONPATH=build/release/python)"
    PYTHONPATH="$build/python" /usr/bin/python3 -c '
import splicetrc
with splicetrc.open("lab4-b4-ports.cap") as cap:
    columns = cap.columns()
    print(cap.format, len(cap), "records; per port:",
          {int(p): int((columns["port"] == p).sum()) for p in set(columns["port"])},
          "damaged:", int(columns["damaged"].sum()))'
    show /usr/bin/python3 -m splicetrc.fleet . --workers 2
    PYTHONPATH="$build/python" /usr/bin/python3 -m splicetrc.fleet . --workers 2
fi
echo
echo "The outputs are in $out."
