#!/usr/bin/env bash
# Times the daemon's verification of a signed package (PackageSignature::verify: gpgv on the
# checksum list, then one streamed SHA-256 pass over every file) against plain `sha256sum` of
# the same files, and prints both and the ratio. Verifying should cost no more than 1.1 times
# what hashing the package costs anyway.
#
# The package is a real signed one from tevrin-oup-build, unpacked, whose repo.sfs is then
# replaced by SIZE_MIB of random data (hashing does not care what the bytes are, and a real
# repository image of that size would take minutes to build) and signed again. Every file is
# read once beforehand, so both sides hash from the page cache.
#
# Usage: bench/verify-overhead.sh BUILD_DIR [SIZE_MIB] [RUNS]
set -euo pipefail

build=$(realpath "${1:?usage: $0 BUILD_DIR [SIZE_MIB] [RUNS]}")
size_mib=${2:-2048}
runs=${3:-3}
source_dir=$(realpath "$(dirname "$0")/..")
driver=$build/bench/tevrin-bench-verify
[[ -x $driver ]] || { echo "$0: build the target tevrin-bench-verify in $build first" >&2; exit 1; }

work=$(mktemp -d)
cleanup() {
    gpgconf --homedir "$work/gnupg" --kill gpg-agent 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=bench/signed-package.sh
. "$source_dir/bench/signed-package.sh"
make_signed_package "$size_mib"
package=$work/package
"$driver" "$package" "$work/trusted" "$work/run" 2>/dev/null ||
    { echo "$0: the bench package does not verify" >&2; exit 1; }

# Prints "wall cpu" in seconds of the fastest of the runs of a command.
best_time() {
    local best_wall='' best_cpu='' wall user system
    local TIMEFORMAT='%R %U %S'
    for ((i = 0; i < runs; i++)); do
        read -r wall user system < <({ time "$@" >/dev/null 2>&1; } 2>&1)
        if [[ -z $best_wall ]] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then
            best_wall=$wall
            best_cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.3f", u + s }')
        fi
    done
    echo "$best_wall $best_cpu"
}

cat -- "$package"/* >/dev/null
sum_files() { (cd "$package" && sha256sum -- hooks.sfs info.json oup-format repo.sfs); }
read -r sum_wall sum_cpu < <(best_time sum_files)
read -r verify_wall verify_cpu < <(best_time "$driver" "$package" "$work/trusted" "$work/run")

echo "package: $(du -sh --apparent-size "$package" | cut -f1) (repo.sfs: $size_mib MiB of random data), best of $runs"
printf 'sha256sum of the files:   %6.2f s wall, %6.2f s CPU\n' "$sum_wall" "$sum_cpu"
printf 'PackageSignature::verify: %6.2f s wall, %6.2f s CPU\n' "$verify_wall" "$verify_cpu"
awk -v v="$verify_wall" -v s="$sum_wall" -v vc="$verify_cpu" -v sc="$sum_cpu" \
    'BEGIN { printf "ratio: %.2fx wall, %.2fx CPU (target: at most 1.10x)\n", v / s, vc / sc }'
