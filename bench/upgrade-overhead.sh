#!/usr/bin/env bash
# Times an upgrade of many small packages through UpgradeRun, the daemon's upgrade step (dpkg
# audit, apt with its status descriptor, output decoding, progress mapping), against the same
# apt dist-upgrade run straight from a shell, and prints the overhead in percent. What the step
# adds should vanish beside what apt and dpkg cost.
#
# Usage (as root, under the root-test lock): bench/upgrade-overhead.sh BUILD_DIR [PACKAGES] [RUNS]
# BUILD_DIR must hold the target tevrin-bench-upgraderun (built with BUILD_TESTING or
# DEVELOPER_TOOLS).
set -euo pipefail

die() { echo "${0##*/}: $*" >&2; exit 1; }

build=$(realpath "${1:?usage: $0 BUILD_DIR [PACKAGES] [RUNS]}")
count=${2:-300}
runs=${3:-1}
source_dir=$(realpath "$(dirname "$0")/..")
driver=$build/bench/tevrin-bench-upgraderun
prefix=tevrin-bench-up
[[ $(id -u) == 0 ]] || die "must run as root (it installs and upgrades packages)"
[[ -x $driver ]] || die "$driver is missing: build the target tevrin-bench-upgraderun"

work=$(mktemp -d)
installed() { dpkg-query -W -f '${Package} ${Status}\n' "$prefix-*" 2>/dev/null | awk '$4 != "not-installed" {print $1}'; }
cleanup() {
    mapfile -t left < <(installed)
    ((${#left[@]} == 0)) || dpkg --purge "${left[@]}" >/dev/null || true
    rm -rf -- "$work"
}
trap cleanup EXIT

echo "building $count packages at 1.0 and 2.0..." >&2
for i in $(seq 1 "$count"); do
    "$source_dir/tools/make-probe-deb" "$prefix-$i" 1.0 "$work/v1" >/dev/null
    "$source_dir/tools/make-probe-deb" "$prefix-$i" 2.0 "$work/repo" >/dev/null
done
(cd "$work/repo" && apt-ftparchive packages . >Packages && apt-ftparchive release . >Release)
echo "deb [trusted=yes] file:$work/repo ./" >"$work/update.list"
mkdir -p "$work/lists/partial"
apt_options=(-o APT::Sandbox::User=root -o "Dir::Etc::sourcelist=$work/update.list"
    -o "Dir::State::lists=$work/lists" -o Dir::Etc::sourceparts=/dev/null)
apt-get "${apt_options[@]}" update >/dev/null 2>&1 || die "apt-get update failed"

at_version_one() {
    dpkg --install "$work"/v1/*.deb >/dev/null 2>&1 || die "cannot install the packages at 1.0"
}
all_upgraded() {
    local behind
    behind=$(dpkg-query -W -f '${Version}\n' "$prefix-*" | grep -vc '^2\.0$' || true)
    ((behind == 0)) || die "$1 left $behind packages behind"
}
now() { date +%s.%N; }

directly() {
    DEBIAN_FRONTEND=noninteractive DEBCONF_NONINTERACTIVE_SEEN=true \
        apt -y -o Dpkg::Options::=--force-confnew "${apt_options[@]}" -o APT::Status-Fd=3 \
        dist-upgrade </dev/null >"$work/direct.out" 2>&1 3>/dev/null || die "apt dist-upgrade failed"
}
through_upgraderun() {
    "$driver" "$work/update.list" "$work/lists" 2>"$work/driver.out" ||
        die "UpgradeRun failed: $(tail -n1 "$work/driver.out")"
}

direct_total=0 run_total=0
for r in $(seq 1 "$runs"); do
    # Alternated, so that neither side always runs on the warmer caches.
    for side in $( ((r % 2)) && echo "directly through_upgraderun" || echo "through_upgraderun directly"); do
        at_version_one
        t0=$(now); "$side"; t1=$(now)
        all_upgraded "$side"
        elapsed=$(echo "$t1 - $t0" | bc -l)
        if [[ $side == directly ]]; then direct_total=$(echo "$direct_total + $elapsed" | bc -l)
        else run_total=$(echo "$run_total + $elapsed" | bc -l); fi
        printf 'run %s %-20s %.3f s\n' "$r" "$side:" "$elapsed" >&2
    done
done
d=$(echo "$direct_total / $runs" | bc -l)
u=$(echo "$run_total / $runs" | bc -l)
printf 'packages: %s  runs: %s\n' "$count" "$runs"
printf 'apt dist-upgrade directly: %.3f s (mean)\n' "$d"
printf 'through UpgradeRun:        %.3f s (mean)  [%s]\n' "$u" "$(tail -n1 "$work/driver.out")"
printf 'overhead: %+.2f %%\n' "$(echo "($u / $d - 1) * 100" | bc -l)"
