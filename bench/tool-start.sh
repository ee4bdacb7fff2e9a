#!/usr/bin/env bash
# Times the tool from its start to its first mapped window and reads its resident memory once
# idle, side by side with a minimal Qt Widgets program that shows one window of the same size,
# on a virtual display of its own with private buses. Prints the medians and the ratios; the
# goal is at most 1.5 times the minimal program on both. With --maps, also lists the shared
# libraries the tool has loaded that the minimal program has not, largest first.
#
# Usage: bench/tool-start.sh [--maps] BUILD_DIR [RUNS]
set -euo pipefail

show_maps=0
if [ "${1:-}" = --maps ]; then
    show_maps=1
    shift
fi
build=$(realpath "${1:?usage: $0 [--maps] BUILD_DIR [RUNS]}")
runs=${2:-7}
tool=$build/tool/tevrin-offline-update-tool
minimal=$build/bench/tevrin-bench-minimal-window
measure=$build/bench/tevrin-bench-window-start
for program in "$tool" "$minimal" "$measure"; do
    [ -x "$program" ] || { echo "$0: $program has not been built" >&2; exit 1; }
done
command -v Xvfb >/dev/null || { echo "$0: Xvfb is missing (Debian: xvfb)" >&2; exit 1; }

# shellcheck source=tools/devenv.sh
source "$(dirname "$0")/../tools/devenv.sh"
devenv_begin tevrin-bench-start
devenv_start_xvfb
devenv_start_buses
devenv_tool_environment
export HOME=$devenv_home LANG=C.UTF-8 LANGUAGE=

# One start; appends "milliseconds KiB" to the file named after the program's role.
measure_once() { # role program [arguments...]
    local role=$1
    shift
    "$measure" --maps "$devenv_work/$role.maps" "$@" >>"$devenv_work/$role.runs" 2>>"$devenv_work/measure.log" ||
        devenv_fail "$role did not show a window: $(tail -n 5 "$devenv_work/measure.log")"
}

median() { # column file
    sort -n -k"$1","$1" "$2" | awk -v c="$1" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}

echo "warming the file cache, then $runs starts of each, taking turns..." >&2
measure_once warmup "$minimal"
measure_once warmup "$tool"
for ((run = 0; run < runs; run++)); do
    measure_once minimal "$minimal"
    measure_once tool "$tool"
    # The tool turns the GL stack off for itself; the plain program without it too shows what
    # the tool's own work costs.
    measure_once minimal-nogl env QT_XCB_GL_INTEGRATION=none "$minimal"
done

minimal_ms=$(median 1 "$devenv_work/minimal.runs")
tool_ms=$(median 1 "$devenv_work/tool.runs")
minimal_kib=$(median 2 "$devenv_work/minimal.runs")
tool_kib=$(median 2 "$devenv_work/tool.runs")
printf '%-34s %12s %12s %8s\n' "median of $runs starts" minimal tool ratio
awk -v m="$minimal_ms" -v t="$tool_ms" \
    'BEGIN { printf "%-34s %12.1f %12.1f %8.2f\n", "start to first mapped window, ms", m, t, t / m }'
awk -v m="$minimal_kib" -v t="$tool_kib" \
    'BEGIN { printf "%-34s %12d %12d %8.2f\n", "resident memory when idle, KiB", m, t, t / m }'
echo "goal: a ratio of at most 1.50 on both"
nogl_ms=$(median 1 "$devenv_work/minimal-nogl.runs")
nogl_kib=$(median 2 "$devenv_work/minimal-nogl.runs")
echo "the minimal program without the GL stack, as the tool runs:"
awk -v m="$nogl_ms" -v t="$tool_ms" \
    'BEGIN { printf "%-34s %12.1f %12.1f %8.2f\n", "start to first mapped window, ms", m, t, t / m }'
awk -v m="$nogl_kib" -v t="$tool_kib" \
    'BEGIN { printf "%-34s %12d %12d %8.2f\n", "resident memory when idle, KiB", m, t, t / m }'

if [ "$show_maps" = 1 ]; then
    libraries() { awk '$6 ~ /\.so/ { print $6 }' "$1" | sort -u; }
    echo
    echo "libraries only the tool loads (file size, KiB):"
    comm -13 <(libraries "$devenv_work/minimal.maps") <(libraries "$devenv_work/tool.maps") |
        while read -r library; do
            printf '%8d  %s\n' $(($(stat -c %s "$library") / 1024)) "$library"
        done | sort -rn
fi
