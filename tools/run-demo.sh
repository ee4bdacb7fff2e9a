#!/bin/bash
# Runs the whole system on this machine: builds it, makes a sample offline update package and
# lets the real tool upgrade a throw-away package with the real daemon, against private buses
# and the development stand-ins for the desktop's services. Nothing is ever rebooted.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: tools/run-demo.sh [--shots DIR] [--no-display] [--jobs N] [BUILD_DIR]

Installs the Debian packages it needs (unless they are all there), configures and builds
into BUILD_DIR (default: build/ in the checkout), installs the throw-away package
"tevrin-probe-demo" at version 1.0 and makes a sample offline update package that offers
version 2.0. Then it starts private session and system buses, the daemon and the
development stand-ins for the window manager, the session manager and the A/B recovery
service, and:

  with a display ($DISPLAY set and reachable)
      opens the tool on the sample package on that display; click through the upgrade
      and close the window when done;
  without one (or with --no-display)
      runs on a virtual display and walks the window through the upgrade by itself,
      saving a picture of each step into DIR (default: screenshots/ in the checkout).

Afterwards it says whether the probe package was upgraded and whether a reboot was
requested (the session manager stand-in only records the request), then purges the
probe package and stops everything it started.

  --shots DIR    where the pictures go (only without a display)
  --no-display   use a virtual display even when $DISPLAY is reachable
  --jobs N       parallel build jobs (default: the number of processors)

Runs as root (from a user account: sudo tools/run-demo.sh): it installs packages, and the
daemon runs package code as root. The first build takes a while; later runs rebuild only what
changed. It leaves nothing behind: the daemon's mounts live in its own mount namespace and go
with it, and the run checks that no mount or loop device of its own is left.
EOF
}

source_dir=$(cd "$(dirname "$0")/.." && pwd)
shots_dir="$source_dir/screenshots"
jobs=$(nproc)
use_display=1
while [ $# -gt 0 ]; do
    case "$1" in
    -h | --help) usage; exit 0 ;;
    --shots) [ $# -ge 2 ] || { usage >&2; exit 2; }; shots_dir=$2; shift 2 ;;
    --no-display) use_display=0; shift ;;
    --jobs) [ $# -ge 2 ] || { usage >&2; exit 2; }; jobs=$2; shift 2 ;;
    --) shift; break ;;
    -*) echo "run-demo.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
    *) break ;;
    esac
done
if [ $# -gt 1 ]; then
    usage >&2
    exit 2
fi
build_dir=${1:-"$source_dir/build"}

if [ "$(id -u)" != 0 ]; then
    echo "run-demo.sh: run it as root (from a user account: sudo tools/run-demo.sh)" >&2
    exit 1
fi

# Through sudo, the build and the pictures belong to the user who asked for them.
as_user() {
    if [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
        runuser -u "$SUDO_USER" -- "$@"
    else
        "$@"
    fi
}

# --- packages ------------------------------------------------------------------------------
# What CI installs to build (read from .ci/run, so that the two lists cannot drift apart), and
# the virtual display, the window driver, the picture tools and a font for the window's title.
ci_packages=$(awk '/apt-get install/ { on = 1 }
    on {
        for (i = 1; i <= NF; i++)
            if ($i ~ /^[a-z0-9][a-z0-9.+-]+$/ && $i != "apt-get" && $i != "install") print $i
        if ($0 !~ /\\$/) exit
    }' "$source_dir/.ci/run")
[ -n "$ci_packages" ] || { echo "run-demo.sh: found no package list in .ci/run" >&2; exit 1; }
# shellcheck disable=SC2206 # package names never contain spaces or wildcards
packages=($ci_packages xvfb xdotool imagemagick fonts-wqy-microhei)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -qx "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "run-demo.sh: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi

# --- build ---------------------------------------------------------------------------------
configure=(cmake -S "$source_dir" -B "$build_dir")
# An existing build directory keeps its build type: changing it would rebuild everything.
[ -f "$build_dir/CMakeCache.txt" ] || configure+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
as_user "${configure[@]}"
as_user cmake --build "$build_dir" -j"$jobs" --target tevrin-offline-update-tool \
    tevrin-offline-update-daemon tevrin-tool-walkthrough tevrin-dev-wm \
    tevrin-dev-sessionmanager tevrin-dev-abrecovery tevrin-dev-logind tevrin-dev-screensaver
build_dir=$(cd "$build_dir" && pwd)

# --- the system ----------------------------------------------------------------------------
# shellcheck source=tools/devenv.sh
source "$source_dir/tools/devenv.sh"

display_reachable() { [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; }
if [ "$use_display" = 1 ] && ! display_reachable; then
    [ -n "${DISPLAY:-}" ] && echo "run-demo.sh: cannot open display $DISPLAY; using a virtual one"
    use_display=0
fi
# The tool gets a throw-away home; the display's key stays the one found in the real home.
if [ "$use_display" = 1 ] && [ -z "${XAUTHORITY:-}" ] && [ -f "$HOME/.Xauthority" ]; then
    export XAUTHORITY="$HOME/.Xauthority"
fi

devenv_begin tevrin-demo
[ "$use_display" = 1 ] || devenv_start_xvfb
devenv_start_buses
devenv_tool_environment
devenv_start_desktop_services "$build_dir"
devenv_start_daemon "$build_dir"
devenv_make_sample tevrin-probe-demo
echo "run-demo.sh: $devenv_probe $(devenv_probe_version) installed; the sample package offers 2.0"

# What this run leaves behind to read: the logs of every program it started.
keep_logs() {
    local logs="$build_dir/demo-logs"
    rm -rf "$logs"
    mkdir -p "$logs"
    cp "$devenv_work"/*.log "$logs/" 2>/dev/null || true
    cp "$XDG_CACHE_HOME/tevrin/tevrin-offline-update-tool/tevrin-offline-update-tool.log" \
        "$logs/tool-file.log" 2>/dev/null || true
    [ -z "${SUDO_USER:-}" ] || chown -R "$SUDO_USER:" "$logs"
    echo "logs of this run: $logs (the daemon also appends to /var/log/tevrin-offline-update-daemon.log)"
}

walked=1
if [ "$use_display" = 1 ]; then
    devenv_start_recovery "$build_dir" demo
    echo "run-demo.sh: the tool is open on $DISPLAY; go through the upgrade, then close its window"
    HOME="$devenv_home" "$build_dir/tool/tevrin-offline-update-tool" "$devenv_sample" \
        >"$devenv_work/tool.log" 2>&1 || true
else
    # A slow backup leaves time to see the progress screen before the upgrade ends.
    devenv_start_recovery "$build_dir" demo --job-delay 4000
    echo "run-demo.sh: walking the tool through the upgrade on a virtual display"
    if HOME="$devenv_home" "$build_dir/tools/walkthrough/tevrin-tool-walkthrough" \
        --shots "$devenv_work/shots" "$devenv_sample" >"$devenv_work/walkthrough.log" 2>&1; then
        grep -o 'check result: .*' "$devenv_work/walkthrough.log" | head -n1 || true
    else
        echo "run-demo.sh: the walkthrough stopped: $(tail -n 20 "$devenv_work/walkthrough.log")" >&2
        walked=0
    fi
    mkdir -p "$shots_dir"
    for shot in "$devenv_work/shots"/*.png; do
        [ -f "$shot" ] || continue
        cp "$shot" "$shots_dir/"
        [ -z "${SUDO_USER:-}" ] || chown "$SUDO_USER:" "$shots_dir" "$shots_dir/${shot##*/}"
        echo "$shots_dir/${shot##*/}"
    done
fi
devenv_stop "$devenv_recovery_pid"
keep_logs
devenv_stop_daemon

# --- summary -------------------------------------------------------------------------------
version=$(devenv_probe_version)
upgraded=no
[ "$version" = 2.0 ] && upgraded=yes
echo "upgraded: $upgraded ($devenv_probe ${version:-not installed}; the package offered 2.0)"
reboot=no
[ "$(devenv_reboot_requests)" -gt 0 ] && reboot=yes
held=no
devenv_shutdown_was_held && held=yes
echo "shutdown was held off during the upgrade: $held"
echo "reboot requested: $reboot (the session manager stand-in only records it; nothing was rebooted)"
left=$(devenv_left_behind)
echo "left behind: ${left:-nothing (no mount below /run/tevrin-offline-update, no loop device of this run)}"
[ -z "$left" ] || exit 1
# On a display the user decides how far to go; the walkthrough has to get to the end.
if [ "$use_display" = 0 ] && { [ "$walked" = 0 ] || [ "$upgraded" = no ] || [ "$reboot" = no ]; }; then
    exit 1
fi
