#!/usr/bin/env bash
# Times what the daemon does to a signed package before any of its code runs (the private copy
# read with the caller's rights and hashed in the same pass, the loop mount of the copy, and the
# signature's check with one SHA-256 pass over every file) against a plain `cp` of the same
# file to the same file system, side by side in one run, and prints both and the ratio.
#
# The package is a real signed one from tevrin-oup-build whose repo.sfs is replaced by SIZE_MIB
# of random data and signed again, stored without compression as the builder stores its
# images. Both sides read it from the page cache; each copy is removed before the next run.
#
# A loop device writes its backing file back to disk before it attaches it, so the daemon's
# copy is on disk before anything of it is read; a plain `cp` leaves its copy in the page cache.
# The same `cp` followed by a sync of its copy, which ends in the same state, is timed as well.
#
# Usage (as root): bench/copy-overhead.sh BUILD_DIR [SIZE_MIB] [RUNS]
set -euo pipefail

build=$(realpath "${1:?usage: $0 BUILD_DIR [SIZE_MIB] [RUNS]}")
size_mib=${2:-2048}
runs=${3:-3}
source_dir=$(realpath "$(dirname "$0")/..")
driver=$build/bench/tevrin-bench-copy
[[ -x $driver ]] || { echo "$0: build the target tevrin-bench-copy in $build first" >&2; exit 1; }
[[ $(id -u) == 0 ]] || { echo "$0: run as root: the copy is loop-mounted" >&2; exit 1; }

# Beside the daemon's own copies, so that both sides write to the same file system.
work=$(mktemp -d /var/tmp/tevrin-bench.XXXXXX)
cleanup() {
    gpgconf --homedir "$work/gnupg" --kill gpg-agent 2>/dev/null || true
    umount "$work/run/0/oup" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 0700 "$work/copies"
# shellcheck source=bench/signed-package.sh
. "$source_dir/bench/signed-package.sh"
make_signed_package "$size_mib"
mksquashfs "$work/package" "$work/bench.oup" -noappend -all-root -noI -noD -noF -noX \
    -quiet >/dev/null
rm -rf "$work/package"
package=$work/bench.oup

# Prints the wall seconds of the fastest of the runs of a command.
best_time() {
    local best='' wall user system
    local TIMEFORMAT='%R %U %S'
    for ((i = 0; i < runs; i++)); do
        rm -f "$work/plain-copy"
        sync
        read -r wall user system < <({ time "$@" >/dev/null 2>&1; } 2>&1)
        if [[ -z $best ]] || awk -v a="$wall" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=$wall
        fi
    done
    echo "$best"
}

"$driver" "$package" "$work/copies" "$work/trusted" "$work/run" 2>/dev/null ||
    { echo "$0: the bench package does not verify" >&2; exit 1; }
cat -- "$package" >/dev/null
plain() { cp -- "$package" "$work/plain-copy"; }
plain_synced() { cp -- "$package" "$work/plain-copy" && sync -- "$work/plain-copy"; }
daemon() { "$driver" "$package" "$work/copies" "$work/trusted" "$work/run"; }
cp_wall=$(best_time plain)
synced_wall=$(best_time plain_synced)
daemon_wall=$(best_time daemon)

echo "package: $(du -h --apparent-size "$package" | cut -f1) ($size_mib MiB of random data inside), best of $runs"
printf 'cp:                                 %6.2f s\n' "$cp_wall"
printf 'cp, then sync of the copy:          %6.2f s\n' "$synced_wall"
printf 'private copy, mount and verify:     %6.2f s\n' "$daemon_wall"
awk -v d="$daemon_wall" -v c="$cp_wall" 'BEGIN { printf "ratio to cp: %.2fx (target: at most 1.20x)\n", d / c }'
awk -v d="$daemon_wall" -v c="$synced_wall" 'BEGIN { printf "ratio to cp and sync: %.2fx\n", d / c }'
echo "where the time goes, in one more run:"
"$driver" "$package" "$work/copies" "$work/trusted" "$work/run" 2>&1 | grep ' in ' | sed 's/^/  /'
