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
# shellcheck source=tools/devenv.sh
source "$(dirname "$0")/devenv.sh"

tool="$build_dir/tool/tevrin-offline-update-tool"
dev_wm="$build_dir/tools/devservices/tevrin-dev-wm"
dev_sm="$build_dir/tools/devservices/tevrin-dev-sessionmanager"
daemon="$build_dir/daemon/tevrin-offline-update-daemon"
walkthrough="$build_dir/tools/walkthrough/tevrin-tool-walkthrough"

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

devenv_begin tevrin-screenshots
work=$devenv_work
package=${3:-"$work/no-such-package.oup"}

devenv_start_xvfb
devenv_start_buses
devenv_tool_environment
devenv_start_desktop_services "$build_dir"

# --- the tool ------------------------------------------------------------------------------
tool_pid=
tool_log=
run=0
start_tool() { # [package]
    run=$((run + 1))
    tool_log="$work/tool-$run.log"
    "$tool" "$@" >"$tool_log" 2>&1 &
    tool_pid=$!
    devenv_pids+=("$tool_pid")
    timeout 30 xdotool search --sync --onlyvisible --class tevrin-offline-update-tool >/dev/null ||
        devenv_fail "the tool showed no window: $(tail -n 20 "$tool_log")"
}

tool_gone() { ! kill -0 "$tool_pid" 2>/dev/null; }

# The tool is a single-instance program: the next one only starts once this one has gone.
stop_tool() {
    dbus-send --session --dest=com.tevrin.offline.update.tool /com/tevrin/offline/update/tool \
        com.tevrin.offline.update.tool.ExitApp >/dev/null 2>&1 || true
    devenv_wait_for 10 tool_gone || kill "$tool_pid" 2>/dev/null || true
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
devenv_wait_for 20 grep -q "StartOfflineFileCheck\" failed" "$tool_log" ||
    devenv_fail "the tool did not report the missing daemon: $(tail -n 20 "$tool_log")"
shoot 02-check-refused.png
stop_tool

if [ "$with_daemon" = 1 ]; then
    devenv_start_daemon "$build_dir"

    # Paused, the daemon cannot take the request: the bus holds it and the page keeps waiting.
    kill -STOP "$devenv_daemon_pid"
    start_tool "$package"
    shoot 03-checking.png
    kill -CONT "$devenv_daemon_pid"
    devenv_wait_for 120 grep -q "Offline file check result" "$tool_log" ||
        devenv_fail "no check report reached the tool: $(tail -n 20 "$tool_log")"
    shoot 04-result.png
    stop_tool

    # --- the upgrade of a sample package ---------------------------------------------------
    devenv_make_sample tevrin-probe-screenshots

    walk() { # prefix recovery-options... -- walkthrough-options...
        local prefix=$1
        shift
        local options=()
        while [ "$1" != -- ]; do options+=("$1"); shift; done
        shift
        devenv_start_recovery "$build_dir" "$prefix" "${options[@]}"
        HOME="$devenv_home" "$walkthrough" --shots "$work/shots-$prefix" "$@" "$devenv_sample" \
            >"$work/walkthrough-$prefix.log" 2>&1 ||
            devenv_fail "the walkthrough stopped: $(tail -n 20 "$work/walkthrough-$prefix.log")"
        devenv_stop "$devenv_recovery_pid"
        for shot in "$work/shots-$prefix"/*.png; do
            cp "$shot" "$out_dir/$prefix-${shot##*/}"
            echo "$out_dir/$prefix-${shot##*/}"
        done
    }
    walk 05 --can-backup no -- --until confirmation
    # A slow backup leaves time to see the progress screen before the upgrade ends.
    walk 06 --job-delay 4000 -- --until end
fi
