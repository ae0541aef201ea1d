#!/usr/bin/env bash
# The main job of `make run`: show what the program sees of the target system.
set -euo pipefail
build=${1:-build}
"$build/qob" sysinfo
