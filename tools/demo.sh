#!/usr/bin/env bash
# The main job on the sample captures: two B3 files merged into a B3 file, then a B3 file
# and a B4 file merged into a B4 file (the B3 records converted).
set -euo pipefail
build=$(cd "${1:-build/release}" && pwd)
out=$build/demo
mkdir -p "$out"
cd "$(dirname "$0")/../examples"
set -x
"$build/splicetrc" -in lab1-b3.cap -in lab2-b3.cap -out "$out/lab1+lab2.cap"
"$build/splicetrc" -in lab1-b3.cap -in lab3-b4.cap -out "$out/lab1+lab3.cap"
