#!/usr/bin/env bash
# The main job on the samples: for now the utility prints its banner and usage.
set -euo pipefail
build=${1:-build/release}
"$build/splicetrc" || true
