#!/bin/bash
# Builds the Debian packages from this tree, installs them the way an administrator would (their
# dependencies come from the package registry), checks the installed system and purges them.
#
# Faults it catches:
#   - the packages do not build from a clean copy of the tree, lintian reports errors, or apt
#     cannot install them with their dependencies;
#   - the system bus cannot start the daemon on an ordinary user's call (activation file misnamed,
#     misplaced or naming a missing program; bus policy refusing the call or root's ownership);
#   - the bus policy lets an ordinary user own the daemon's name and so impersonate the daemon;
#   - installing enables or starts the unit, or an upgrade stops or restarts it (killing the
#     upgrade the daemon itself is running);
#   - the unit that finishes a cut-short upgrade at boot is not enabled, is started at
#     installation, does not pass systemd-analyze verify, or would run on a boot without a run
#     record;
#   - the settings schema is not compiled, the desktop entry or MIME type is invalid, the icon or
#     the zh_CN translation is missing or broken;
#   - the private source list shipped as a conffile (dpkg would ask about the daemon's own changes
#     on every upgrade), or missing after installation;
#   - the daemon's log has no rotation rule, logrotate rejects the rule or it names another file,
#     or rotating loses the lines the log held;
#   - purging leaves files, configuration or the daemon's run-time files behind.
#
# Run it as root on a throw-away machine, as CI does: it installs and purges packages, adds a user
# and mounts tmpfs in private mount namespaces, over /run/dbus so that a system bus runs from the
# unchanged standard configuration, over /run to give the maintainer scripts a fake service manager.
#
# Usage: check-installed-packages.sh [--debs DIR]   (DIR: check its .debs instead of building)
set -euo pipefail

readonly prog=${0##*/}
readonly packages=(tevrin-offline-update-daemon tevrin-offline-update-tool tevrin-oup-build
    tevrin-offline-update-cli)
readonly bus_name=com.tevrin.offline.update.daemon
readonly daemon=/usr/sbin/tevrin-offline-update-daemon
readonly source_list=/etc/tevrin-offline-update/update.list

pass() { printf 'ok    %s\n' "$*"; }
fail() { printf 'FAIL  %s\n' "$*" >&2; exit 1; }

# Retries a command for up to ten seconds.
poll() {
    local tries
    for ((tries = 0; tries < 100; ++tries)); do "$@" && return 0; sleep 0.1; done
    return 1
}

# Runs a command with its output in $work/NAME.log, which is shown if it fails.
logged() {
    local log=$work/$1.log
    "${@:2}" >"$log" 2>&1 || { tail -n 40 "$log" >&2; fail "${*:2} failed"; }
}

# The namespace's mounts die with its last process; what the machine runs is never touched.
in_namespace() {
    unshare --mount --propagation private -- bash "$0" --in-namespace "$@"
}

# Asks the bus itself something about the daemon's name; prints the bare answer.
bus_ask() {
    dbus-send --system --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        "org.freedesktop.DBus.$1" "string:$bus_name" | awk '{ print $NF }'
}

# The standard configuration binds the standard socket, and the setuid launch helper starts the
# daemon with a cleared environment, so it always connects to the standard address: only with our
# own /run/dbus do the bus, the helper and the daemon meet without a bus the machine may run.
# Global, not local: the EXIT trap that stops the processes runs after this function returned.
bus_pid=''
bus_checks() {
    local user=$1 log=$2 reply answer pid
    unset DBUS_SYSTEM_BUS_ADDRESS
    # shellcheck disable=SC2317 # called by the trap
    stop_bus() {
        [[ -n $bus_pid ]] || return 0
        local daemon_pid
        daemon_pid=$(bus_ask GetConnectionUnixProcessID 2>/dev/null || true)
        # Not our child, so waited for by its /proc entry: purging must not race its log writes.
        if [[ $daemon_pid =~ ^[0-9]+$ ]] && kill "$daemon_pid" 2>/dev/null; then
            poll test ! -e "/proc/$daemon_pid" || kill -KILL "$daemon_pid" 2>/dev/null || true
        fi
        kill "$bus_pid" 2>/dev/null || return 0
        wait "$bus_pid" 2>/dev/null || true
    }
    trap stop_bus EXIT
    # shellcheck disable=SC2317 # called by poll
    bus_answers() {
        kill -0 "$bus_pid" 2>/dev/null || fail "the system bus exited at start-up: $(cat "$log")"
        bus_ask NameHasOwner >/dev/null 2>&1
    }
    as_user() {
        runuser -u "$user" -- env DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket \
            dbus-send --system --print-reply "$@" 2>&1
    }

    mount -t tmpfs -o mode=0755 tevrin-check-bus /run/dbus || fail "cannot mount a tmpfs over /run/dbus"
    dbus-daemon --system --nofork --nopidfile </dev/null >"$log" 2>&1 &
    bus_pid=$!
    poll bus_answers || fail "the system bus did not answer within 10 seconds"
    pass "system bus runs from the standard configuration with the installed policy files"

    # Before the daemon runs, so that a wrongly allowed request would make the user the owner.
    if reply=$(as_user --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.RequestName "string:$bus_name" uint32:0); then
        fail "user $user may own $bus_name: $reply"
    fi
    [[ $reply == *org.freedesktop.DBus.Error.AccessDenied* ]] ||
        fail "RequestName by $user failed, but not as refused by the policy: $reply"
    pass "an ordinary user may not own $bus_name"

    reply=$(as_user --reply-timeout=30000 --dest="$bus_name" /com/tevrin/offline/update/daemon \
        com.tevrin.offline.update.daemon.GetUpgradeType) ||
        fail "user $user cannot call GetUpgradeType: $reply"
    [[ $reply =~ int32\ -?[0-9]+ ]] || fail "GetUpgradeType answered no number: $reply"
    answer=${BASH_REMATCH[0]}
    pid=$(bus_ask GetConnectionUnixProcessID)
    [[ $(readlink "/proc/$pid/exe") == "$daemon" && $(bus_ask GetConnectionUnixUser) == 0 ]] ||
        fail "$bus_name is not owned by $daemon running as root"
    pass "an ordinary user's call started $daemon as root, which answered ($answer)"
}

# Runs the daemon package's installed maintainer scripts as dpkg would, with a service manager
# that only writes down what it is asked: this machine may have none, and a real one must not
# see the requests.
maintscript_checks() {
    local fakebin=$1 info=/var/lib/dpkg/info/tevrin-offline-update-daemon log=$1/requests program
    mkdir -p "$fakebin"
    for program in deb-systemd-helper deb-systemd-invoke systemctl invoke-rc.d; do
        printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$program" "$log" >"$fakebin/$program"
        chmod +x "$fakebin/$program"
    done
    # The scripts ask for a service manager by this directory; it exists in this namespace only.
    mount -t tmpfs -o mode=0755 tevrin-check-run /run || fail "cannot mount a tmpfs over /run"
    mkdir -p /run/systemd/system
    # Each argument is one call, "script arguments...": all run against a fresh request log.
    run_scripts() {
        local call args
        : >"$log"
        for call in "$@"; do
            read -ra args <<<"$call"
            [[ ! -e $info.${args[0]} ]] || PATH=$fakebin:$PATH DPKG_MAINTSCRIPT_NAME=${args[0]} \
                DPKG_MAINTSCRIPT_PACKAGE=tevrin-offline-update-daemon "$info.${args[0]}" "${args[@]:1}" ||
                fail "$call failed"
        done
    }
    run_scripts 'preinst install' 'postinst configure'
    ! grep -E '(^| )(enable|start) tevrin-offline-update-daemon' "$log" ||
        fail "installing the daemon package enables or starts its unit"
    grep -qE '(^| )enable tevrin-offline-update-resume.service' "$log" ||
        fail "installing the daemon package does not enable the unit that finishes an upgrade at boot"
    ! grep -E '(^| )start ' "$log" || fail "installing the daemon package starts a unit"
    run_scripts 'prerm upgrade 1.0.0' 'preinst upgrade 1.0.0' 'postinst configure 1.0.0'
    ! grep -E 'stop|start' "$log" ||
        fail "upgrading the daemon package stops or restarts its unit, ending any upgrade it runs"
    run_scripts 'prerm remove'
    grep -q 'deb-systemd-invoke stop tevrin-offline-update-daemon.service' "$log" ||
        fail "removing the daemon package leaves its unit running"
}

# Not in a condition: that would turn off set -e in the checks.
if [[ ${1:-} == --in-namespace ]]; then
    "${@:2}"
    exit 0
fi

[[ $# == 0 || ($# == 2 && $1 == --debs) ]] || { echo "usage: $prog [--debs DIR]" >&2; exit 2; }
debs_dir=${2:+$(cd "$2" && pwd)}

((EUID == 0)) || fail "run this as root on a throw-away machine"
for package in "${packages[@]}"; do
    state=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [[ -z $state || $state == not-installed ]] ||
        fail "$package is already on this machine ($state); this check installs and purges it"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/$prog.XXXXXX")
chmod 0755 "$work"
user=tevrin-pkg-check-$$
installed=0
user_added=0
saved_list=''
cleanup() {
    local status=$?
    set +e
    ((!installed)) || apt-get purge -y -q "${packages[@]}" >/dev/null 2>&1
    ((!user_added)) || userdel -r "$user" 2>/dev/null
    [[ -z $saved_list ]] || { mkdir -p "${source_list%/*}" && mv -f "$saved_list" "$source_list"; }
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

if [[ -z $debs_dir ]]; then
    tree=$(cd "$(dirname "$0")/../.." && pwd)
    mkdir "$work/src"
    # Build directories of the checkout stay behind: the package must build from sources alone.
    tar -C "$tree" -c --exclude='./build*' --exclude='./obj-*' --exclude=./.git \
        --exclude=./debian/.debhelper --exclude=./debian/tmp . | tar -x -C "$work/src"
    echo "building the packages ..."
    (cd "$work/src" && DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-"parallel=$(nproc) nocheck"} \
        logged build dpkg-buildpackage -us -uc -b)
    debs_dir=$work
    pass "dpkg-buildpackage built the packages from a clean copy of the tree"
fi

mkdir "$work/debs"
for package in "${packages[@]}"; do
    deb=$(compgen -G "$debs_dir/${package}_*.deb" | head -n 1) || fail "no ${package}_*.deb in $debs_dir"
    cp "$deb" "$work/debs/"
done
chmod -R a+rX "$work/debs"

logged lintian lintian --fail-on error "$work/debs/"*.deb
grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/      /' || true
pass "lintian reports no errors"

# A list the tests of this tree left behind would be taken for the installed one, and purged.
[[ ! -e $source_list ]] || { saved_list=$work/update.list.saved && mv "$source_list" "$saved_list"; }
installed=1
(cd "$work/debs" && DEBIAN_FRONTEND=noninteractive logged install apt-get install -y -q ./*.deb)
pass "apt-get installed the ${#packages[@]} packages with their dependencies"

# The daemon's package makes the list at installation; the daemon owns it from then on.
[[ -f $source_list ]] || fail "$source_list is missing after installation"
conffiles=$(dpkg-query --showformat='${Conffiles}' --show tevrin-offline-update-daemon)
[[ $conffiles != *"$source_list"* ]] || fail "$source_list is shipped as a conffile: $conffiles"
pass "$source_list exists after installation and is no conffile"

if ! usage=$(tevrin-offline-update --help 2>&1) || [[ $usage != *upgrade* ]]; then
    fail "tevrin-offline-update --help does not run: $usage"
fi
pass "the command-line client runs"

in_namespace maintscript_checks "$work/fakebin"
pass "the unit is neither enabled nor started at installation, nor stopped or restarted on upgrade"
pass "the unit that finishes an upgrade at boot is enabled, and not started"

units=(/lib/systemd/system/tevrin-offline-update-daemon.service
    /lib/systemd/system/tevrin-offline-update-resume.service)
logged unit-verify systemd-analyze verify --man=no "${units[@]}"
pass "systemd-analyze verify accepts both units"
[[ ! -e /var/lib/tevrin-offline-update/run.json ]] || fail "a run record exists on a fresh installation"
if systemd-analyze condition --unit=tevrin-offline-update-resume.service >"$work/condition.log" 2>&1; then
    cat "$work/condition.log" >&2
    fail "a boot without a run record would start the resume unit"
fi
pass "a boot without a run record skips the resume unit by its condition"

useradd --create-home --shell /bin/bash "$user"
user_added=1
mkdir -p /run/dbus
if ! in_namespace bus_checks "$user" "$work/bus.log"; then
    sed 's/^/      bus: /' "$work/bus.log" >&2
    exit 1
fi

value=$(runuser -u "$user" -- env GSETTINGS_BACKEND=memory \
    gsettings get com.tevrin.offline.update nav-show-type 2>&1) ||
    fail "gsettings cannot read com.tevrin.offline.update: $value"
[[ $value == false ]] || fail "nav-show-type reads '$value', not its default false"
pass "the settings schema is compiled into the system's schemas (nav-show-type: $value)"

desktop=/usr/share/applications/tevrin-offline-update-tool.desktop
if ! report=$(desktop-file-validate "$desktop" 2>&1) || [[ -n $report ]]; then
    fail "desktop-file-validate rejects $desktop: $report"
fi
pass "desktop-file-validate accepts $desktop"

for xml in /usr/share/mime/packages/tevrin-offline-update.xml \
    /usr/share/icons/hicolor/scalable/apps/upgrade-tool.svg; do
    report=$(xmllint --noout "$xml" 2>&1) || fail "$xml is missing or not well-formed: $report"
done
grep -qx 'application/x-tevrin-oup' /usr/share/mime/types ||
    fail "the MIME database does not know application/x-tevrin-oup: its trigger did not run"
pass "the MIME file and the icon are well-formed and the MIME database has the type"

qm=/usr/share/tevrin-offline-update-tool/translations/tevrin-offline-update-tool_zh_CN.qm
lconvert=$(command -v lconvert || echo /usr/lib/qt5/bin/lconvert)
translated=$("$lconvert" -i "$qm" -of ts -o - | grep -c '<translation>[^<]') ||
    fail "$qm is missing, no compiled translation or holds no translated text"
pass "the zh_CN translation is installed ($translated texts)"

# logrotate exits 0 on a line it does not understand, so its report is read as well. The state
# file is our own: the machine's schedule of rotations is left alone.
rule=/etc/logrotate.d/tevrin-offline-update-daemon
daemon_log=/var/log/tevrin-offline-update-daemon.log
if ! report=$(logrotate --debug --state "$work/logrotate.state" "$rule" 2>&1) ||
    [[ $report == *error:* || $report != *"considering log $daemon_log"* ]]; then
    fail "logrotate rejects $rule or it does not rotate $daemon_log: $report"
fi
# The daemon has stopped with its namespace. A forced rotation must keep what the log held and
# empty the same file, which a running daemon holds open, and purging must take the copy too.
echo "rotation check $$" >>"$daemon_log"
inode=$(stat -c %i "$daemon_log")
logged logrotate logrotate --force --state "$work/logrotate.state" "$rule"
if [[ $(stat -c %i:%s "$daemon_log" 2>/dev/null) != "$inode:0" ]] ||
    ! zgrep -q "rotation check $$" "$daemon_log.1.gz"; then
    fail "rotating $daemon_log did not empty it in place into $daemon_log.1.gz"
fi
pass "$rule passes logrotate and rotates the daemon's log"

installed=0
DEBIAN_FRONTEND=noninteractive logged purge apt-get purge -y -q "${packages[@]}"
for file in "$daemon" /usr/bin/tevrin-offline-update-tool /usr/bin/tevrin-oup-build \
    /usr/bin/tevrin-offline-update \
    "$source_list" "${source_list%/*}" "$daemon_log" "$daemon_log.1.gz" "$rule" \
    "/usr/share/dbus-1/system-services/$bus_name.service"; do
    [[ ! -e $file ]] || fail "$file is still there after purging"
done
pass "purging removed the programs, the configuration and the daemon's logs"
# The user goes in the EXIT trap, as after a failure.
pass "all checks passed"
