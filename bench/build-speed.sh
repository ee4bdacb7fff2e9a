#!/usr/bin/env bash
# Times tevrin-oup-build against a plain mksquashfs of the same .deb files with the same
# compressor, run side by side and alternating, and prints the ratio. The builder should take at
# most 1.3 times as long.
#
# The .deb files are made here, with payloads of random bytes, so that nothing compresses them
# further, as with real packages.
#
# Usage: bench/build-speed.sh BUILD_DIR [MIB] [PACKAGES] [RUNS]   (defaults: 128 MiB, 124, 3)
set -euo pipefail

build=$(realpath "${1:?usage: $0 BUILD_DIR [MIB] [PACKAGES] [RUNS]}")
mib=${2:-128}
count=${3:-124}
runs=${4:-3}
source_dir=$(realpath "$(dirname "$0")/..")
builder=$source_dir/tools/tevrin-oup-build
export TEVRIN_OUP_MANIFESTCHECK=$build/tools/manifestcheck/tevrin-oup-manifestcheck
[[ -x $TEVRIN_OUP_MANIFESTCHECK ]] || { echo "$0: build the project in $build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
arch=$(dpkg --print-architecture)

echo "making $count packages of $mib MiB in all..." >&2
mkdir -p "$work/debs"
# Sizes from a quarter to one and three quarters of the mean, as real updates vary.
mean=$((mib * 1024 * 1024 / count))
for i in $(seq 1 "$count"); do
    size=$((mean / 4 + (mean * 3 / 2) * (i % 8) / 7))
    root=$work/root
    rm -rf "$root"
    mkdir -p "$root/DEBIAN" "$root/usr/share/tevrin-bench-$i"
    head -c "$size" /dev/urandom >"$root/usr/share/tevrin-bench-$i/payload"
    printf 'Package: tevrin-bench-%s\nVersion: 1.0\nArchitecture: %s\nMaintainer: bench <noreply@localhost>\nDescription: benchmark payload\n' \
        "$i" "$arch" >"$root/DEBIAN/control"
    dpkg-deb -Znone --build "$root" "$work/debs/tevrin-bench-${i}_1.0_$arch.deb" >/dev/null
done
printf '{"type": 1, "data": {"systemType": "desktop", "archs": "%s"}}\n' "$arch" >"$work/info.json"
total=$(du -cb "$work"/debs/*.deb | tail -1 | cut -f1)
echo "input: $count .deb files, $((total / 1048576)) MiB" >&2

now() { date +%s.%N; }
best_build='' best_plain='' best_raw=''
faster() { [[ -z $1 ]] || awk -v a="$2" -v b="$1" 'BEGIN { exit !(a < b) }'; }
for run in $(seq 1 "$runs"); do
    rm -f "$work"/*.oup "$work"/*.sfs
    start=$(now)
    "$builder" build --manifest "$work/info.json" --output "$work/bench.oup" --no-hooks "$work"/debs/*.deb >/dev/null
    took=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
    if faster "$best_build" "$took"; then best_build=$took; fi

    # What an administrator would do by hand: the same files, the same compressor, every core.
    start=$(now)
    mksquashfs "$work/debs" "$work/plain.sfs" -noappend -comp gzip -quiet -no-progress >/dev/null
    took=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
    if faster "$best_plain" "$took"; then best_plain=$took; fi

    # The same, storing the .deb files as they are, as the builder does: what the builder adds.
    start=$(now)
    mksquashfs "$work/debs" "$work/raw.sfs" -noappend -comp gzip -quiet -no-progress \
        -action 'uncompressed@name(*.deb)' >/dev/null
    took=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
    if faster "$best_raw" "$took"; then best_raw=$took; fi
    echo "run $run done" >&2
done

sizes=$(stat -c '%n %s' "$work/bench.oup" "$work/plain.sfs" | awk '{ sub(".*/", "", $1); printf "%s %.1f MiB  ", $1, $2 / 1048576 }')
echo "sizes: $sizes"
echo "best of $runs: build ${best_build}s, plain mksquashfs ${best_plain}s, mksquashfs with the .debs stored ${best_raw}s"
awk -v a="$best_build" -v b="$best_plain" -v c="$best_raw" 'BEGIN {
    printf "ratio build/mksquashfs: %.2f (goal: at most 1.30)\n", a / b
    printf "ratio build/mksquashfs storing the .debs: %.2f\n", a / c
}'
