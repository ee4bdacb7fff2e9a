#!/bin/bash
# Builds the Debian packages from this tree, installs them the way an administrator would (their
# dependencies come from the package registry), checks the installed system and purges them.
#
# Faults it catches:
#   - the packages do not build from a clean copy of the tree, a file the build installs lands in
#     no package, or lintian reports errors;
#   - a dependency is missing: a program's libraries do not resolve, a program the daemon runs is
#     absent, or the builder cannot make and read a package with what its package pulls in;
#   - the system bus cannot start the daemon on a call: the activation file is misnamed, not where
#     the standard configuration looks, names a program that is not installed, or the installed
#     bus policy does not let an ordinary user call the daemon or root own its name;
#   - the bus policy lets an ordinary user own the daemon's name and so impersonate the daemon;
#   - installing enables or starts the unit, or an upgrade would stop or restart it (which kills
#     the upgrade the daemon itself is running);
#   - the settings schema is not compiled into the system's schemas, the desktop entry or MIME
#     type are invalid, the icon, the man pages or the translations are missing or empty;
#   - purging leaves the packages' files, their configuration or the daemon's run-time files behind.
#
# Run it as root on a throw-away machine, as CI does: it installs and purges packages system-wide,
# and adds and removes a user. It needs the right to mount (as the tests that mount images do):
# in private mount namespaces a tmpfs over /run/dbus lets a system bus run from the unchanged
# standard configuration, and one over /run gives the maintainer scripts a stand-in service manager.
#
# Usage: check-installed-packages.sh [--debs DIR]
#   --debs DIR   check the .deb files in DIR instead of building them from the tree
set -euo pipefail

readonly prog=${0##*/}
self=$(readlink -f "$0")
readonly self
readonly packages=(tevrin-offline-update-daemon tevrin-offline-update-tool tevrin-oup-build)
readonly bus_name=com.tevrin.offline.update.daemon
readonly daemon=/usr/sbin/tevrin-offline-update-daemon
readonly source_list=/etc/tevrin-offline-update/update.list

pass() {
    printf 'ok    %s\n' "$*"
}

fail() {
    printf 'FAIL  %s\n' "$*" >&2
    exit 1
}

# Asks the bus itself about the connection that owns a name; prints the bare number.
bus_owner_number() {
    dbus-send --system --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        "org.freedesktop.DBus.$1" "string:$bus_name" | awk '{ print $2 }'
}

# The part that needs the private mount namespace. The standard configuration binds the standard
# socket, and the setuid launch helper starts the daemon with a cleared environment, so the daemon
# always connects to the standard address: only with our own /run/dbus do the bus, the helper and
# the daemon meet without touching a system bus the machine may be running.
# Global, not local: the EXIT trap that stops the processes runs after this function returned.
bus_pid=''
daemon_pid=''
bus_checks() {
    local user=$1 log=$2 reply
    # Everything here talks to the standard address, which leads to this namespace's bus.
    unset DBUS_SYSTEM_BUS_ADDRESS

    # shellcheck disable=SC2317 # called by the trap
    stop_bus() {
        local tries
        # A check that failed after the activation has not looked the daemon up yet.
        if [[ -z $daemon_pid && -n $bus_pid ]]; then
            daemon_pid=$(bus_owner_number GetConnectionUnixProcessID 2>/dev/null || true)
        fi
        # Not our child, so waited for by its /proc entry: purging must not race its log writes.
        if [[ $daemon_pid =~ ^[0-9]+$ ]] && kill "$daemon_pid" 2>/dev/null; then
            for ((tries = 0; tries < 100; ++tries)); do
                [[ -e /proc/$daemon_pid ]] || break
                sleep 0.1
            done
            if [[ -e /proc/$daemon_pid ]]; then
                kill -KILL "$daemon_pid" 2>/dev/null || true
            fi
        fi
        if [[ -n $bus_pid ]]; then
            kill "$bus_pid" 2>/dev/null || true
            wait "$bus_pid" 2>/dev/null || true
        fi
    }
    trap stop_bus EXIT

    mount -t tmpfs -o mode=0755 tevrin-check-bus /run/dbus ||
        fail "cannot mount a tmpfs over /run/dbus in a private mount namespace"
    dbus-daemon --system --nofork --nopidfile </dev/null >"$log" 2>&1 &
    bus_pid=$!
    local tries
    for ((tries = 0; tries < 100; ++tries)); do
        if dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.GetId >/dev/null 2>&1; then
            break
        fi
        kill -0 "$bus_pid" 2>/dev/null || fail "the system bus exited at start-up: $(cat "$log")"
        sleep 0.1
    done
    ((tries < 100)) || fail "the system bus did not answer within 10 seconds"
    pass "system bus runs from the standard configuration with the installed policy files"

    as_user() {
        runuser -u "$user" -- env DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket "$@"
    }

    # Before the daemon runs, so that a wrongly allowed request would make the user the owner.
    if reply=$(as_user dbus-send --system --print-reply --dest=org.freedesktop.DBus \
        /org/freedesktop/DBus org.freedesktop.DBus.RequestName \
        "string:$bus_name" uint32:0 2>&1); then
        fail "user $user may own $bus_name: $reply"
    fi
    [[ $reply == *org.freedesktop.DBus.Error.AccessDenied* ]] ||
        fail "RequestName by $user failed, but not as refused by the policy: $reply"
    pass "an ordinary user may not own $bus_name"

    reply=$(as_user dbus-send --system --print-reply --reply-timeout=30000 --dest="$bus_name" \
        /com/tevrin/offline/update/daemon com.tevrin.offline.update.daemon.GetUpgradeType 2>&1) ||
        fail "user $user cannot call GetUpgradeType: $reply"
    [[ $reply =~ int32\ -?[0-9]+ ]] || fail "GetUpgradeType answered no number: $reply"
    pass "the bus started the daemon on an ordinary user's call and it answered (${BASH_REMATCH[0]})"

    daemon_pid=$(bus_owner_number GetConnectionUnixProcessID)
    [[ $daemon_pid =~ ^[0-9]+$ ]] || fail "the bus knows no process for $bus_name"
    local exe uid
    exe=$(readlink "/proc/$daemon_pid/exe")
    uid=$(bus_owner_number GetConnectionUnixUser)
    [[ $exe == "$daemon" && $uid == 0 ]] ||
        fail "$bus_name is owned by $exe as user $uid, not by $daemon as root"
    pass "$bus_name is owned by $daemon running as root"
}

# Runs the daemon package's installed maintainer scripts as dpkg would on an installation, an
# upgrade and a removal, with a service manager that only writes down what it is asked. This
# machine may have none, and a real one must not see the requests.
maintscript_checks() {
    local fakebin=$1 info=/var/lib/dpkg/info/tevrin-offline-update-daemon log=$1/requests
    local program
    mkdir -p "$fakebin"
    for program in deb-systemd-helper deb-systemd-invoke systemctl invoke-rc.d; do
        printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$program" "$log" >"$fakebin/$program"
        chmod +x "$fakebin/$program"
    done
    # The scripts ask for a service manager by this directory; it exists in this namespace only.
    mount -t tmpfs -o mode=0755 tevrin-check-run /run || fail "cannot mount a tmpfs over /run"
    mkdir -p /run/systemd/system

    run_script() {
        local script=$info.$1
        shift
        [[ ! -e $script ]] || PATH=$fakebin:$PATH DPKG_MAINTSCRIPT_PACKAGE=tevrin-offline-update-daemon \
            DPKG_MAINTSCRIPT_NAME=${script##*.} "$script" "$@" ||
            fail "${script##*/} $* failed"
    }
    : >"$log"
    run_script preinst install
    run_script postinst configure
    if grep -E 'enable|start' "$log"; then
        fail "installing the daemon package enables or starts its unit"
    fi
    : >"$log"
    run_script prerm upgrade 1.0.0
    run_script preinst upgrade 1.0.0
    run_script postinst configure 1.0.0
    if grep -E 'stop|start' "$log"; then
        fail "upgrading the daemon package stops or restarts its unit, ending any upgrade it runs"
    fi
    : >"$log"
    run_script prerm remove
    grep -q 'deb-systemd-invoke stop tevrin-offline-update-daemon.service' "$log" ||
        fail "removing the daemon package leaves its unit running"
}

case ${1:-} in
--bus-checks)
    bus_checks "$2" "$3"
    exit 0
    ;;
--maintscript-checks)
    maintscript_checks "$2"
    exit 0
    ;;
esac

debs_dir=''
case ${1:-} in
'') ;;
--debs)
    [[ -n ${2:-} ]] || fail "--debs needs a directory"
    debs_dir=$(cd "$2" && pwd)
    ;;
*)
    echo "usage: $prog [--debs DIR]" >&2
    exit 2
    ;;
esac

((EUID == 0)) || fail "run this as root on a throw-away machine"
tree=$(cd "$(dirname "$0")/../.." && pwd)
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
    if ((installed)); then
        apt-get purge -y -q "${packages[@]}" >"$work/purge-on-exit.log" 2>&1
    fi
    if ((user_added)); then
        userdel -r "$user" 2>/dev/null
    fi
    # A list the tests of this tree left behind would have made dpkg ask about the conffile.
    if [[ -n $saved_list ]]; then
        mkdir -p "${source_list%/*}"
        mv -f "$saved_list" "$source_list"
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
if [[ -z $debs_dir ]]; then
    mkdir "$work/src"
    # Build directories of the checkout stay behind: the package must build from sources alone.
    tar -C "$tree" -c --exclude='./build*' --exclude='./obj-*' --exclude=./.git \
        --exclude=./debian/.debhelper --exclude=./debian/tmp . | tar -x -C "$work/src"
    echo "building the packages (log: $work/build.log) ..."
    if ! (cd "$work/src" &&
        DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-"parallel=$(nproc) nocheck"} \
            dpkg-buildpackage -us -uc -b >"$work/build.log" 2>&1); then
        tail -n 40 "$work/build.log" >&2
        fail "dpkg-buildpackage failed"
    fi
    debs_dir=$work
    pass "dpkg-buildpackage built the packages from a clean copy of the tree"
fi

debs=()
for package in "${packages[@]}"; do
    deb=$(compgen -G "$debs_dir/${package}_*.deb" | head -n 1 || true)
    [[ -n $deb ]] || fail "no ${package}_*.deb in $debs_dir"
    debs+=("$deb")
done

if ! lintian --fail-on error "${debs[@]}" >"$work/lintian.log" 2>&1; then
    cat "$work/lintian.log" >&2
    fail "lintian reports errors"
fi
grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/      /' || true
pass "lintian reports no errors"

if [[ -e $source_list ]] && ! dpkg -S "$source_list" >/dev/null 2>&1; then
    saved_list=$work/update.list.saved
    mv "$source_list" "$saved_list"
fi
mkdir "$work/debs"
cp "${debs[@]}" "$work/debs/"
chmod -R a+rX "$work/debs"
installed=1
if ! (cd "$work/debs" && DEBIAN_FRONTEND=noninteractive apt-get install -y -q ./*.deb) \
    >"$work/install.log" 2>&1; then
    tail -n 40 "$work/install.log" >&2
    fail "apt-get install of the three packages failed"
fi
pass "apt-get installed the three packages with their dependencies"

# Every file an installed program needs, each in the package that has to bring it.
for entry in \
    "tevrin-offline-update-daemon:$daemon" \
    "tevrin-offline-update-daemon:/usr/share/dbus-1/system-services/$bus_name.service" \
    "tevrin-offline-update-daemon:/usr/share/dbus-1/system.d/$bus_name.conf" \
    "tevrin-offline-update-daemon:/lib/systemd/system/tevrin-offline-update-daemon.service" \
    "tevrin-offline-update-daemon:/usr/share/polkit-1/actions/com.tevrin.offline.update.policy" \
    "tevrin-offline-update-daemon:$source_list" \
    "tevrin-offline-update-daemon:/usr/share/man/man8/tevrin-offline-update-daemon.8.gz" \
    "tevrin-offline-update-tool:/usr/bin/tevrin-offline-update-tool" \
    "tevrin-offline-update-tool:/usr/share/applications/tevrin-offline-update-tool.desktop" \
    "tevrin-offline-update-tool:/usr/share/glib-2.0/schemas/com.tevrin.offline.update.gschema.xml" \
    "tevrin-offline-update-tool:/usr/share/icons/hicolor/scalable/apps/upgrade-tool.svg" \
    "tevrin-offline-update-tool:/usr/share/mime/packages/tevrin-offline-update.xml" \
    "tevrin-offline-update-tool:/usr/share/tevrin-offline-update-tool/translations/tevrin-offline-update-tool_zh_CN.qm" \
    "tevrin-offline-update-tool:/usr/share/man/man1/tevrin-offline-update-tool.1.gz" \
    "tevrin-oup-build:/usr/bin/tevrin-oup-build" \
    "tevrin-oup-build:/usr/share/man/man1/tevrin-oup-build.1.gz"; do
    package=${entry%%:*}
    file=${entry#*:}
    [[ -s $file ]] || fail "$file is missing or empty"
    owner=$(dpkg -S "$file" 2>/dev/null | cut -d: -f1)
    [[ $owner == "$package" ]] || fail "$file comes from '${owner:-no package}', not from $package"
done
pass "every installed file is present and comes from its package"

dpkg-query -W -f='${Conffiles}\n' tevrin-offline-update-daemon | grep -q " $source_list " ||
    fail "$source_list is not a conffile of tevrin-offline-update-daemon"
pass "$source_list is a conffile, so a local change survives an upgrade"

for program in "$daemon" /usr/bin/tevrin-offline-update-tool; do
    if ldd "$program" | grep -q 'not found'; then
        fail "$program misses libraries: $(ldd "$program" | grep 'not found' | tr -s '\n\t ' ' ')"
    fi
done
pass "the programs' libraries all resolve"

for program in mount umount losetup df uname apt bash; do
    command -v "$program" >/dev/null || fail "the daemon runs '$program', which is not installed"
done
[[ -x /usr/bin/df && -x /bin/bash ]] || fail "the daemon runs /usr/bin/df and /bin/bash by path"
command -v xdotool >/dev/null || fail "the tool runs 'xdotool', which is not installed"
pass "the programs the daemon and the tool run are installed"

# Qt loads these at run time, so no library dependency brings them: without them the tool's
# icons stay blank.
for plugin in imageformats/libqsvg.so iconengines/libqsvgicon.so; do
    compgen -G "/usr/lib/*/qt5/plugins/$plugin" >/dev/null ||
        fail "the Qt plugin $plugin for the tool's SVG icons is not installed"
done
pass "the Qt plugins that draw the tool's SVG icons are installed"

if compgen -G "/etc/systemd/system/*/tevrin-offline-update-daemon.service" >/dev/null; then
    fail "installing enabled tevrin-offline-update-daemon.service"
fi
unshare --mount --propagation private -- bash "$self" --maintscript-checks "$work/fakebin"
pass "the unit is neither enabled nor started at installation, nor stopped or restarted on upgrade"

useradd --create-home --shell /bin/bash "$user"
user_added=1
mkdir -p /run/dbus
# The namespace's mounts die with its last process; a bus the machine runs is never touched.
if ! unshare --mount --propagation private -- bash "$self" --bus-checks "$user" "$work/bus.log"; then
    sed 's/^/      bus: /' "$work/bus.log" >&2
    exit 1
fi

value=$(runuser -u "$user" -- env GSETTINGS_BACKEND=memory \
    gsettings get com.tevrin.offline.update nav-show-type 2>&1) ||
    fail "gsettings cannot read com.tevrin.offline.update: $value"
[[ $value == false ]] || fail "nav-show-type reads '$value', not its default false"
pass "the settings schema is compiled into the system's schemas (nav-show-type: $value)"

desktop=/usr/share/applications/tevrin-offline-update-tool.desktop
report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
[[ -z $report ]] || fail "desktop-file-validate complains: $report"
pass "desktop-file-validate accepts $desktop"

mime=/usr/share/mime/packages/tevrin-offline-update.xml
report=$(xmllint --noout "$mime" 2>&1) || fail "xmllint: $report"
grep -qx 'application/x-tevrin-oup' /usr/share/mime/types ||
    fail "the MIME database does not know application/x-tevrin-oup: its trigger did not run"
pass "$mime is well-formed and the MIME database has the type"

icon=/usr/share/icons/hicolor/scalable/apps/upgrade-tool.svg
report=$(xmllint --noout "$icon" 2>&1) || fail "the icon is no well-formed SVG: $report"
pass "the icon $icon is a well-formed SVG"

qm=/usr/share/tevrin-offline-update-tool/translations/tevrin-offline-update-tool_zh_CN.qm
magic=$(head -c 16 "$qm" | od -An -tx1 | tr -d ' \n')
[[ $magic == 3cb86418caef9c95cd211cbf60a1bddd ]] || fail "$qm is no compiled translation"
lconvert=$(command -v lconvert || echo /usr/lib/qt5/bin/lconvert)
translated=$("$lconvert" -i "$qm" -of ts -o - | grep -c '<translation>[^<]' || true)
((translated > 0)) || fail "$qm holds no translated text"
pass "the zh_CN translations are installed ($translated texts)"

for page in tevrin-offline-update-daemon.8 tevrin-offline-update-tool.1 tevrin-oup-build.1; do
    report=$(zcat "/usr/share/man/man${page##*.}/$page.gz" | groff -man -Tutf8 -ww -z 2>&1) ||
        fail "groff cannot format $page: $report"
    [[ -z $report ]] || fail "groff complains about $page: $report"
done
pass "the man pages are installed compressed and format without complaints"

# The builder with only what its package pulled in: a package from one of ours, read back.
mkdir "$work/oup"
printf '{"type": 1, "data": {"systemType": "desktop", "archs": "%s"}}\n' \
    "$(dpkg --print-architecture)" >"$work/oup/info.json"
report=$(tevrin-oup-build build --manifest "$work/oup/info.json" --output "$work/oup/check.oup" \
    "$work/debs/"tevrin-oup-build_*.deb 2>&1) || fail "tevrin-oup-build build: $report"
report=$(tevrin-oup-build info "$work/oup/check.oup" 2>&1) || fail "tevrin-oup-build info: $report"
[[ $report == *tevrin-oup-build* ]] || fail "tevrin-oup-build info does not list the package: $report"
pass "tevrin-oup-build makes and reads a package"

installed=0
if ! DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "${packages[@]}" >"$work/purge.log" 2>&1; then
    tail -n 40 "$work/purge.log" >&2
    fail "apt-get purge failed"
fi
for file in "$daemon" /usr/bin/tevrin-offline-update-tool /usr/bin/tevrin-oup-build \
    "$source_list" "${source_list%/*}" /var/log/tevrin-offline-update-daemon.log \
    "/usr/share/dbus-1/system-services/$bus_name.service"; do
    [[ ! -e $file ]] || fail "$file is still there after purging"
done
pass "purging removed the programs, the configuration and the daemon's log"

userdel -r "$user" 2>/dev/null || userdel "$user"
user_added=0
pass "all checks passed"
