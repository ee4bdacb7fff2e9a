#!/bin/bash
# Takes a screenshot of every page of the offline update tool that it can reach, on a virtual X
# display with private session and system buses and the development window manager and session
# manager. Nothing of the machine's desktop or buses is touched.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: tools/screenshots.sh [--no-daemon] BUILD_DIR OUTPUT_DIR [PACKAGE]

Starts Xvfb, a private session bus and a private system bus (with the daemon's bus policy),
tevrin-dev-wm and tevrin-dev-sessionmanager from BUILD_DIR/tools/devservices, then the tool
BUILD_DIR/tool/tevrin-offline-update-tool, and saves into OUTPUT_DIR:

  01-import.png           the import page (the tool started without a package)
  02-check-refused.png    the checking page after the check request found no daemon
                          (the tool started with PACKAGE while no daemon runs)

When run as root (and without --no-daemon), it also starts the real daemon
BUILD_DIR/daemon/tevrin-offline-update-daemon on the private system bus and adds:

  03-checking.png         the checking page while the daemon holds the check
                          (the daemon is paused with SIGSTOP while the picture is taken)
  04-result.png           the result page for the daemon's check report

PACKAGE defaults to a path that does not exist, which the daemon reports as a failed
package file check at once. Then the script walks the window through the upgrade of a
sample package (BUILD_DIR/tools/walkthrough/tevrin-tool-walkthrough) and adds:

  05-*.png                without backup support: the check table, the recovery guide
                          and the confirmation, which is postponed
  06-*.png                with the development recovery service: the check table, the
                          guide, the confirmation, the progress screen mid-upgrade and
                          the page after the reboot request

The sample package upgrades the throw-away probe package "tevrin-probe-screenshots",
which the script installs at version 1.0 beforehand and purges at the end; nothing
else on the machine is changed or rebooted. The daemon writes its log to
/var/log/tevrin-offline-update-daemon.log, as it always does.

Needs: Xvfb, xdotool, dbus-daemon, dbus-send, dpkg-deb, mksquashfs, apt-ftparchive and
ImageMagick's import and convert.
EOF
}

with_daemon=1
while [ $# -gt 0 ]; do
    case "$1" in
    -h | --help) usage; exit 0 ;;
    --no-daemon) with_daemon=0; shift ;;
    --) shift; break ;;
    -*) echo "screenshots.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
    *) break ;;
    esac
done
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    usage >&2
    exit 2
fi

build_dir=$(cd "$1" && pwd)
mkdir -p "$2"
out_dir=$(cd "$2" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)

tool="$build_dir/tool/tevrin-offline-update-tool"
dev_wm="$build_dir/tools/devservices/tevrin-dev-wm"
dev_sm="$build_dir/tools/devservices/tevrin-dev-sessionmanager"
daemon="$build_dir/daemon/tevrin-offline-update-daemon"
walkthrough="$build_dir/tools/walkthrough/tevrin-tool-walkthrough"
recovery="$build_dir/tools/devabrecovery/tevrin-dev-abrecovery"
probe=tevrin-probe-screenshots
source_list=/etc/tevrin-offline-update/update.list

for program in Xvfb xdotool dbus-daemon dbus-send import convert; do
    if ! command -v "$program" >/dev/null; then
        echo "screenshots.sh: $program is missing (Debian: xvfb, xdotool, dbus, imagemagick)" >&2
        exit 1
    fi
done
for program in "$tool" "$dev_wm" "$dev_sm"; do
    if [ ! -x "$program" ]; then
        echo "screenshots.sh: $program has not been built" >&2
        exit 1
    fi
done
if [ "$with_daemon" = 1 ] && { [ "$(id -u)" != 0 ] || [ ! -x "$daemon" ]; }; then
    echo "screenshots.sh: no daemon pages: they need root and $daemon" >&2
    with_daemon=0
fi

work=$(mktemp -d /tmp/tevrin-screenshots.XXXXXX)
package=${3:-"$work/no-such-package.oup"}

# Only the processes this script started, each by its own id.
pids=()
daemon_pid=
probe_installed=0
made_source_list=0
cleanup() {
    set +e
    [ -n "$daemon_pid" ] && kill -CONT "$daemon_pid" 2>/dev/null
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    [ "$probe_installed" = 1 ] && dpkg --purge "$probe" >/dev/null 2>&1
    [ "$made_source_list" = 1 ] && rm -f "$source_list"
    # The daemon leaves the last package mounted below the home directory, as it always does.
    for mount_point in hooks repo oup; do
        umount "$work/home/.cache/tevrin-offline-update/$mount_point" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "screenshots.sh: $*" >&2
    exit 1
}

# Waits up to $1 seconds for the command in the remaining arguments to succeed.
wait_for() {
    local seconds=$1
    shift
    local tries=$((seconds * 10))
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

file_has_content() { [ -s "$1" ]; }

# --- display -------------------------------------------------------------------------------
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 20 file_has_content "$work/display" || fail "Xvfb did not start (see $work/xvfb.log)"
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY

# --- buses ---------------------------------------------------------------------------------
cat >"$work/session.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$work/session-bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
# The machine's system bus policy, cut down: only the daemon's own policy file lets anyone own
# or call a name.
cat >"$work/system.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/system-bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
  </policy>
  <include>$source_dir/data/com.tevrin.offline.update.daemon.conf</include>
  <include>$source_dir/tools/devabrecovery/com.tevrin.ABRecovery.conf</include>
</busconfig>
EOF

start_bus() { # name
    dbus-daemon --config-file="$work/$1.conf" --nofork --print-address=1 >"$work/$1.address" &
    pids+=($!)
    wait_for 10 file_has_content "$work/$1.address" || fail "the $1 bus did not start"
}
start_bus session
start_bus system
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/session.address")
DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$work/system.address")
export DBUS_SESSION_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS

# --- the tool's surroundings ---------------------------------------------------------------
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$work/runtime" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The tool reads one settings key; with the schema compiled here it gets its default value
# without the machine's settings store.
if command -v glib-compile-schemas >/dev/null; then
    mkdir -p "$work/schemas"
    cp "$source_dir/data/com.tevrin.offline.update.gschema.xml" "$work/schemas/"
    glib-compile-schemas "$work/schemas"
    export GSETTINGS_SCHEMA_DIR="$work/schemas" GSETTINGS_BACKEND=memory
fi

convert -size 1280x800 gradient:'#1b3a5c-#4f8fc0' "$work/wallpaper.png"
"$dev_wm" --background "$work/wallpaper.png" >"$work/wm.log" 2>&1 &
pids+=($!)
"$dev_sm" --record "$work/reboots" >"$work/sessionmanager.log" 2>&1 &
pids+=($!)
wait_for 10 grep -qx ready "$work/wm.log" || fail "tevrin-dev-wm did not start: $(cat "$work/wm.log")"
wait_for 10 grep -qx ready "$work/sessionmanager.log" ||
    fail "tevrin-dev-sessionmanager did not start: $(cat "$work/sessionmanager.log")"

# --- the tool ------------------------------------------------------------------------------
tool_pid=
tool_log=
run=0
start_tool() { # [package]
    run=$((run + 1))
    tool_log="$work/tool-$run.log"
    "$tool" "$@" >"$tool_log" 2>&1 &
    tool_pid=$!
    pids+=("$tool_pid")
    timeout 30 xdotool search --sync --onlyvisible --class tevrin-offline-update-tool >/dev/null ||
        fail "the tool showed no window: $(tail -n 20 "$tool_log")"
}

tool_gone() { ! kill -0 "$tool_pid" 2>/dev/null; }

# The tool is a single-instance program: the next one only starts once this one has gone.
stop_tool() {
    dbus-send --session --dest=com.tevrin.offline.update.tool /com/tevrin/offline/update/tool \
        com.tevrin.offline.update.tool.ExitApp >/dev/null 2>&1 || true
    wait_for 10 tool_gone || kill "$tool_pid" 2>/dev/null || true
    wait "$tool_pid" 2>/dev/null || true
}

shoot() { # file
    # Time for the page to be laid out and painted (and the spinner to turn).
    sleep 1
    import -window root "$out_dir/$1"
    echo "$out_dir/$1"
}

start_tool
shoot 01-import.png
stop_tool

start_tool "$package"
wait_for 20 grep -q "StartOfflineFileCheck\" failed" "$tool_log" ||
    fail "the tool did not report the missing daemon: $(tail -n 20 "$tool_log")"
shoot 02-check-refused.png
stop_tool

if [ "$with_daemon" = 1 ]; then
    "$daemon" >"$work/daemon.log" 2>&1 &
    daemon_pid=$!
    pids+=("$daemon_pid")
    daemon_on_bus() {
        dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:com.tevrin.offline.update.daemon |
            grep -q "boolean true"
    }
    wait_for 20 daemon_on_bus || fail "the daemon did not start: $(tail -n 20 "$work/daemon.log")"

    # Paused, the daemon cannot take the request: the bus holds it and the page keeps waiting.
    kill -STOP "$daemon_pid"
    start_tool "$package"
    shoot 03-checking.png
    kill -CONT "$daemon_pid"
    wait_for 120 grep -q "Offline file check result" "$tool_log" ||
        fail "no check report reached the tool: $(tail -n 20 "$tool_log")"
    shoot 04-result.png
    stop_tool

    # --- the upgrade of a sample package ---------------------------------------------------
    [ -f "$source_list" ] || {
        install -D -m 644 "$source_dir/data/update.list" "$source_list"
        made_source_list=1
    }
    old_probe=$("$source_dir/tools/make-probe-deb" "$probe" 1.0 "$work/probe-1")
    new_probe=$("$source_dir/tools/make-probe-deb" "$probe" 2.0 "$work/probe-2")
    dpkg -i "$old_probe" >/dev/null
    probe_installed=1
    printf '{"type": 1, "data": {"systemType": "desktop", "cveId": "", "archs": "%s"}}\n' \
        "$(dpkg --print-architecture)" >"$work/info.json"
    sample="$work/sample.oup"
    "$source_dir/tools/tevrin-oup-build" build --manifest "$work/info.json" --output "$sample" \
        "$new_probe" >"$work/build.log" 2>&1 || fail "cannot build the sample: $(cat "$work/build.log")"
    # The daemon mounts below the caller's home; the tool's is a throw-away one.
    mkdir -p "$work/home"

    walk() { # prefix recovery-options... -- walkthrough-options...
        local prefix=$1
        shift
        local options=()
        while [ "$1" != -- ]; do options+=("$1"); shift; done
        shift
        "$recovery" "${options[@]}" >"$work/recovery-$prefix.log" 2>&1 &
        local recovery_pid=$!
        pids+=("$recovery_pid")
        HOME="$work/home" "$walkthrough" --shots "$work/shots-$prefix" "$@" "$sample" \
            >"$work/walkthrough-$prefix.log" 2>&1 ||
            fail "the walkthrough stopped: $(tail -n 20 "$work/walkthrough-$prefix.log")"
        kill "$recovery_pid"
        wait "$recovery_pid" 2>/dev/null || true
        for shot in "$work/shots-$prefix"/*.png; do
            cp "$shot" "$out_dir/$prefix-${shot##*/}"
            echo "$out_dir/$prefix-${shot##*/}"
        done
    }
    walk 05 --can-backup no -- --until confirmation
    # A slow backup leaves time to see the progress screen before the upgrade ends.
    walk 06 --job-delay 4000 -- --until end
fi
