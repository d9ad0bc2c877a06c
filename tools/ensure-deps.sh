#!/usr/bin/env bash
# Installs the system packages that the build and the tests use when any is missing (a fresh
# machine has them; this keeps a bare Debian image working too).
#
#   tools/ensure-deps.sh            what `make demo` and `make test` need
#   tools/ensure-deps.sh coverage   that and gcovr, for `make coverage`
#
# clang, for `make fuzz` and the install test's clang++ consumer, is not installed here: CI
# fuzzes only where it is present, and the install test says that it skipped the consumer.
set -euo pipefail
need=()
command -v g++ >/dev/null || need+=(g++)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
# The benchmark's smoke run in `make test`, and its peak memory figures.
command -v python3 >/dev/null || need+=(python3)
[ -x /usr/bin/time ] || need+=(time)
# trc2pcap's tests read its files back through libpcap, the ecosystem's reference reader, and
# compare them with what tshark and capinfos say; the benchmark times editcap beside it.
[ -f /usr/include/pcap/pcap.h ] || need+=(libpcap-dev)
# trcinfo -json writes through nlohmann-json.
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
command -v tshark >/dev/null || need+=(tshark)
command -v capinfos >/dev/null || need+=(wireshark-common)
# ... and check that tcpdump reads them to the end.
command -v tcpdump >/dev/null || need+=(tcpdump)
# The Python package: pybind11 and NumPy build and serve it, pytest and pandas test it, Dask
# runs its fleet statistics; all for the system's python3 (/usr/bin/python3).
[ -f /usr/include/pybind11/pybind11.h ] || need+=(pybind11-dev)
compgen -G "/usr/include/python3*/Python.h" >/dev/null || need+=(python3-dev)
# trcinfo -html's page is rendered by headless Chromium in a test, its picture read with PIL.
command -v chromium >/dev/null || need+=(chromium)
# The benchmark times dpkt and scapy reading the same records.
for module in pybind11:python3-pybind11 numpy:python3-numpy pytest:python3-pytest \
              pandas:python3-pandas dask:python3-dask distributed:python3-distributed \
              dpkt:python3-dpkt scapy:python3-scapy PIL:python3-pil; do
    /usr/bin/python3 -c "import ${module%%:*}" 2>/dev/null || need+=("${module#*:}")
done
# The manual pages are rendered with every warning on by a test.
command -v groff >/dev/null || need+=(groff-base)
if [ "${1:-}" = coverage ]; then
    command -v gcovr >/dev/null || need+=(gcovr)
fi
if [ ${#need[@]} -gt 0 ]; then
    echo "Installing missing packages: ${need[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi

# CMakePresets.json is of version 6, with workflow presets: CMake 3.25 or later.
version=$(cmake --version | sed -n 's/^cmake version //p')
if [ "$(printf '%s\n' 3.25 "$version" | sort -V | head -n 1)" != 3.25 ]; then
    echo "CMake $version is too old for the build's presets: 3.25 or later is needed" >&2
    exit 1
fi
