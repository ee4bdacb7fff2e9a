#!/usr/bin/env bash
# Times a full package check through the daemon, with its upgrade plan, against the same child
# commands run straight from a shell (the private copy, the mounts, apt update, the count, the
# simulation, dpkg-query and apt-cache), and prints the ratio. The daemon's own work (bus
# round trip, descriptor handling, parsing, logging) should add at most 5 % to what its
# children cost.
#
# PACKAGES probe packages are installed at 1.0 for the run (and purged afterwards); the
# package offers them at 2.0.
#
# Usage (as root): bench/check-overhead.sh BUILD_DIR [PACKAGES] [RUNS]
set -euo pipefail

build=$(realpath "${1:?usage: $0 BUILD_DIR [PACKAGES] [RUNS]}")
count=${2:-300}
runs=${3:-5}
source_dir=$(realpath "$(dirname "$0")/..")
[[ $(id -u) == 0 ]] || { echo "$0: must run as root (it mounts images)" >&2; exit 1; }

work=$(mktemp -d)
home=$work/home
list=/etc/tevrin-offline-update/update.list
saved_list=
cleanup() {
    for m in repo hooks oup; do umount "$home/.cache/tevrin-offline-update/$m" 2>/dev/null || true; done
    for m in repo hooks oup; do umount "$work/direct/$m" 2>/dev/null || true; done
    [[ -n ${daemon_pid:-} ]] && kill "$daemon_pid" 2>/dev/null || true
    [[ -n ${bus_pid:-} ]] && kill "$bus_pid" 2>/dev/null || true
    if [[ -n $saved_list ]]; then cp "$saved_list" "$list"; else rm -f "$list"; fi
    dpkg-query --show --showformat='${Package}\n' 'tevrin-bench-*' 2>/dev/null |
        xargs -r dpkg --purge >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$home"
if [[ -f $list ]]; then saved_list=$work/saved.list; cp "$list" "$saved_list"; fi
mkdir -p "$(dirname "$list")" /var/lib/tevrin-offline-update

echo "installing $count small packages, and building a package that upgrades them..." >&2
mkdir -p "$work/debs" "$work/installed"
for i in $(seq 1 "$count"); do
    "$source_dir/tools/make-probe-deb" "tevrin-bench-$i" 1.0 "$work/installed" >/dev/null
    "$source_dir/tools/make-probe-deb" "tevrin-bench-$i" 2.0 "$work/debs" >/dev/null
done
dpkg --install "$work"/installed/*.deb >/dev/null
arch=$(dpkg --print-architecture)
printf '{"type": 1, "data": {"systemType": "desktop", "archs": "%s"}}\n' "$arch" > "$work/info.json"
"$source_dir/tools/tevrin-oup-build" build --manifest "$work/info.json" --output "$work/bench.oup" \
    "$work"/debs/*.deb >/dev/null

cp "$work/bench.oup" "$work/direct.oup"

sed "s|@SOCKET@|$work/bus|; s|@POLICY@|$source_dir/data/com.tevrin.offline.update.daemon.conf|" \
    > "$work/bus.conf" <<'CONF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=@SOCKET@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/><allow receive_type="method_return"/>
    <allow receive_type="error"/><allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus"/>
  </policy>
  <include>@POLICY@</include>
</busconfig>
CONF
dbus-daemon --config-file="$work/bus.conf" --nofork --print-address=1 > "$work/address" &
bus_pid=$!
for _ in $(seq 100); do [[ -s $work/address ]] && break; sleep 0.05; done
export DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$work/address")
"$build/daemon/tevrin-offline-update-daemon" 2>/dev/null &
daemon_pid=$!
for _ in $(seq 100); do
    dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
        string:com.tevrin.offline.update.daemon 2>/dev/null | grep -q 'true' && break
    sleep 0.05
done

now() { date +%s.%N; }

through_daemon() {
    cp "$source_dir/data/update.list" "$list"
    dbus-send --system --print-reply --reply-timeout=600000 --dest=com.tevrin.offline.update.daemon \
        /com/tevrin/offline/update/daemon com.tevrin.offline.update.daemon.StartOfflineFileCheck \
        "string:/root" "string:$work/bench.oup" >/dev/null
}

apt_options=(-o APT::Sandbox::User=root -o "Dir::Etc::sourcelist=$work/direct.list"
             -o Dir::State::lists=/var/lib/upgrade/lists/ -o Dir::Etc::sourceparts=/dev/null)
simulation_options=("${apt_options[@]}" -o Dir::State::status=/var/lib/dpkg/status
                    -o Debug::NoLocking=true -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=)
# The daemon gives every image a loop device of its own, then mounts the device.
mount_image() {
    local device
    device=$(losetup --find --show --read-only "$1")
    mount --no-canonicalize -o ro,nosuid,nodev "$device" "$2"
    losetup --detach "$device"
}

directly() {
    local d=$work/direct
    for m in repo hooks oup; do umount "$d/$m" 2>/dev/null || true; done
    rm -rf "$d"; mkdir -p "$d/oup" "$d/hooks" "$d/repo"
    /usr/bin/df /home >/dev/null
    cp "$work/direct.oup" /var/lib/tevrin-offline-update/bench-copy.oup
    mount_image /var/lib/tevrin-offline-update/bench-copy.oup "$d/oup"
    rm -f /var/lib/tevrin-offline-update/bench-copy.oup
    mount_image "$d/oup/hooks.sfs" "$d/hooks"
    uname -m >/dev/null
    /usr/bin/df /home >/dev/null; /usr/bin/df / >/dev/null
    mount_image "$d/oup/repo.sfs" "$d/repo"
    rm -rf /var/lib/upgrade/lists; mkdir -p /var/lib/upgrade/lists/partial
    echo "deb [trusted=yes] file://$d/repo/ torak main" > "$work/direct.list"
    apt "${apt_options[@]}" update >/dev/null 2>&1
    apt "${apt_options[@]}" list --upgradable 2>/dev/null | grep -c '\[' >/dev/null || true
    LC_ALL=C apt-get "${simulation_options[@]}" --simulate dist-upgrade >/dev/null 2>&1
    dpkg-query --show --showformat='${Package}\t${Version}\n${Conffiles}\n' >/dev/null
    apt-cache "${simulation_options[@]}" show $(printf 'tevrin-bench-%s:all=2.0 ' $(seq 1 "$count")) \
        >/dev/null
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

through_daemon; directly # warm the caches once for both
daemon_times=(); direct_times=()
for _ in $(seq 1 "$runs"); do
    t0=$(now); through_daemon; t1=$(now); directly; t2=$(now)
    daemon_times+=("$(echo "$t1 - $t0" | bc)"); direct_times+=("$(echo "$t2 - $t1" | bc)")
done
# A check that failed early would be a fast one: the figures count only for a passed check.
ask() {
    dbus-send --system --print-reply=literal --dest=com.tevrin.offline.update.daemon \
        /com/tevrin/offline/update/daemon "com.tevrin.offline.update.daemon.$1"
}
upgradable=$(ask GetDistUpgradeSum | awk '{print $2}')
reason=$(ask GetCheckFailureReason | xargs)
[[ $upgradable == "$count" && -z $reason ]] ||
    { echo "$0: the daemon's check did not pass ($upgradable upgradable, reason: $reason)" >&2; exit 1; }
planned=$(ask GetUpgradePlan | grep -o 'tevrin-bench-' | wc -l)
d=$(printf '%s\n' "${daemon_times[@]}" | median)
s=$(printf '%s\n' "${direct_times[@]}" | median)
printf 'packages: %s  runs: %s  (the check passed; the plan names %s packages)\n' "$count" "$runs" "$planned"
printf 'through the daemon: %.3f s (median)\n' "$d"
printf 'commands directly:  %.3f s (median)\n' "$s"
printf 'ratio: %.4f  (daemon overhead %+.2f %%)\n' "$(echo "$d / $s" | bc -l)" "$(echo "($d / $s - 1) * 100" | bc -l)"
