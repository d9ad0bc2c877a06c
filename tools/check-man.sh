#!/usr/bin/env bash
# Renders every manual page with every groff warning on; any warning fails, naming the page.
#   tools/check-man.sh [MAN_FOLDER]
set -euo pipefail
folder=${1:-"$(dirname "$0")/../man"}
command -v groff >/dev/null || { echo "groff is missing: tools/ensure-deps.sh installs it"; exit 1; }
status=0
for page in "$folder"/*.[1-9]; do
    warnings=$(groff -ww -man -Tutf8 -z "$page" 2>&1 || true)
    if [ -n "$warnings" ]; then
        printf '%s:\n%s\n' "$page" "$warnings"
        status=1
    fi
done
exit $status
