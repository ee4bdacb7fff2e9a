# shellcheck shell=bash
# Sourced by the development scripts (tools/run-demo.sh, tools/screenshots.sh): a private
# environment for the tool and the daemon on this machine. A virtual X display, private session
# and system buses, the development stand-ins for the desktop's window manager, session manager
# and A/B recovery service, and a sample package that upgrades a throw-away probe package.
# Nothing of the machine's desktop or buses is touched, and nothing is ever rebooted.
#
# Use:
#   source tools/devenv.sh
#   devenv_begin NAME        a work directory /tmp/NAME.XXXXXX; everything is undone on exit
#   devenv_start_xvfb        (only without a display of one's own)
#   devenv_start_buses
#   devenv_tool_environment
#   devenv_start_desktop_services
#   devenv_start_daemon      (root)
#   devenv_make_sample PROBE (root)
#
# Messages name the calling script; set devenv_prog before sourcing to name it differently.

devenv_prog=${devenv_prog:-${0##*/}}
devenv_source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
devenv_source_list=/etc/tevrin-offline-update/update.list

devenv_work=
devenv_home=
devenv_sample=
devenv_reboots=
devenv_daemon_pid=
devenv_loops_before=
devenv_recovery_pid=
devenv_probe=
devenv_probe_installed=0
devenv_made_source_list=0
# Only the processes started here, each by its own id; stopped in reverse order.
devenv_pids=()

devenv_fail() {
    echo "$devenv_prog: $*" >&2
    exit 1
}

# Waits up to $1 seconds for the command in the remaining arguments to succeed.
devenv_wait_for() {
    local seconds=$1
    shift
    local tries=$((seconds * 10))
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

devenv_file_has_content() { [ -s "$1" ]; }

devenv_begin() { # name
    devenv_work=$(mktemp -d "/tmp/$1.XXXXXX")
    # The daemon mounts the package below the caller's home; the tool's is a throw-away one.
    devenv_home="$devenv_work/home"
    trap devenv_cleanup EXIT
    # A signal ends the script through exit, so that the cleanup runs for it too.
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
}

devenv_cleanup() {
    set +e
    [ -n "$devenv_daemon_pid" ] && kill -CONT "$devenv_daemon_pid" 2>/dev/null
    local i pid
    for ((i = ${#devenv_pids[@]} - 1; i >= 0; i--)); do
        kill "${devenv_pids[i]}" 2>/dev/null
    done
    for pid in "${devenv_pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    [ "$devenv_probe_installed" = 1 ] && dpkg --purge "$devenv_probe" >/dev/null 2>&1
    [ "$devenv_made_source_list" = 1 ] && rm -f "$devenv_source_list"
    [ -n "$devenv_work" ] && rm -rf "$devenv_work"
}

# Stops one process started here (and forgets nothing: the cleanup tolerates it being gone).
devenv_stop() { # pid
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

devenv_start_xvfb() {
    # -noreset: a display that nothing holds open would otherwise reset between two programs
    # and refuse the second one for a moment.
    Xvfb -displayfd 3 -screen 0 "${TEVRIN_XVFB_SCREEN:-1280x800x24}" -nolisten tcp -noreset 3>"$devenv_work/display" \
        2>"$devenv_work/xvfb.log" &
    devenv_pids+=($!)
    devenv_wait_for 20 devenv_file_has_content "$devenv_work/display" ||
        devenv_fail "Xvfb did not start (see $devenv_work/xvfb.log)"
    DISPLAY=":$(head -n1 "$devenv_work/display")"
    export DISPLAY
}

devenv_start_buses() {
    cat >"$devenv_work/session.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$devenv_work/session-bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
    # The machine's system bus policy, cut down: only the daemon's own policy file (and the
    # recovery stand-in's) lets anyone own or call a name.
    cat >"$devenv_work/system.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$devenv_work/system-bus</listen>
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
  <include>$devenv_source_dir/data/com.tevrin.offline.update.daemon.conf</include>
  <include>$devenv_source_dir/tools/devabrecovery/com.tevrin.ABRecovery.conf</include>
  <include>$devenv_source_dir/tools/devlogind/org.freedesktop.login1.conf</include>
</busconfig>
EOF
    devenv_start_bus session
    devenv_start_bus system
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$devenv_work/session.address")
    DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$devenv_work/system.address")
    export DBUS_SESSION_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS
}

devenv_start_bus() { # session|system
    dbus-daemon --config-file="$devenv_work/$1.conf" --nofork --print-address=1 \
        >"$devenv_work/$1.address" &
    devenv_pids+=($!)
    devenv_wait_for 10 devenv_file_has_content "$devenv_work/$1.address" ||
        devenv_fail "the $1 bus did not start"
}

# What the tool reads from its surroundings, kept inside the work directory.
devenv_tool_environment() {
    export QT_QPA_PLATFORM=xcb
    export XDG_RUNTIME_DIR="$devenv_work/runtime" XDG_CACHE_HOME="$devenv_work/cache"
    export XDG_CONFIG_HOME="$devenv_work/config"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    mkdir -p "$devenv_home"
    # The tool reads one settings key; with the schema compiled here it gets its default value
    # without the machine's settings store.
    if command -v glib-compile-schemas >/dev/null; then
        mkdir -p "$devenv_work/schemas"
        cp "$devenv_source_dir/data/com.tevrin.offline.update.gschema.xml" "$devenv_work/schemas/"
        glib-compile-schemas "$devenv_work/schemas"
        export GSETTINGS_SCHEMA_DIR="$devenv_work/schemas" GSETTINGS_BACKEND=memory
    fi
}

# The window manager stand-in answers the wallpaper the progress screen blurs; the session
# manager stand-in records every reboot request in $devenv_reboots instead of rebooting; the
# screen saver stand-in records in $devenv_screensaver_record when blanking was held off.
devenv_start_desktop_services() { # build-dir
    local devservices="$1/tools/devservices"
    devenv_reboots="$devenv_work/reboots"
    convert -size 1280x800 gradient:'#1b3a5c-#4f8fc0' "$devenv_work/wallpaper.png"
    "$devservices/tevrin-dev-wm" --background "$devenv_work/wallpaper.png" \
        >"$devenv_work/wm.log" 2>&1 &
    devenv_pids+=($!)
    "$devservices/tevrin-dev-sessionmanager" --record "$devenv_reboots" \
        >"$devenv_work/sessionmanager.log" 2>&1 &
    devenv_pids+=($!)
    devenv_screensaver_record="$devenv_work/screensaver-record.log"
    "$devservices/tevrin-dev-screensaver" --record "$devenv_screensaver_record" \
        >"$devenv_work/screensaver.log" 2>&1 &
    devenv_pids+=($!)
    devenv_wait_for 10 grep -qx ready "$devenv_work/screensaver.log" ||
        devenv_fail "tevrin-dev-screensaver did not start: $(cat "$devenv_work/screensaver.log")"
    devenv_wait_for 10 grep -qx ready "$devenv_work/wm.log" ||
        devenv_fail "tevrin-dev-wm did not start: $(cat "$devenv_work/wm.log")"
    devenv_wait_for 10 grep -qx ready "$devenv_work/sessionmanager.log" ||
        devenv_fail "tevrin-dev-sessionmanager did not start: $(cat "$devenv_work/sessionmanager.log")"
}

# Whether the daemon held shutdown off at some time and let it go again.
devenv_shutdown_was_held() {
    grep -q ' taken [0-9]* "shutdown:sleep"' "$devenv_logind_record" &&
        grep -q ' closed [0-9]' "$devenv_logind_record"
}

devenv_daemon_on_bus() {
    dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:com.tevrin.offline.update.daemon |
        grep -q "boolean true"
}

# The real daemon, as root, on the private system bus, beside the login manager stand-in, which
# records in $devenv_logind_record when shutdown was held off. The daemon also appends to its
# usual log, /var/log/tevrin-offline-update-daemon.log.
devenv_start_daemon() { # build-dir
    devenv_logind_record="$devenv_work/logind-record.log"
    "$1/tools/devlogind/tevrin-dev-logind" --record "$devenv_logind_record" \
        >"$devenv_work/logind.log" 2>&1 &
    devenv_pids+=($!)
    devenv_wait_for 10 grep -q ' ready$' "$devenv_logind_record" ||
        devenv_fail "tevrin-dev-logind did not start: $(cat "$devenv_work/logind.log")"
    devenv_loops_before=$(devenv_daemon_loops)
    "$1/daemon/tevrin-offline-update-daemon" >"$devenv_work/daemon.log" 2>&1 &
    devenv_daemon_pid=$!
    devenv_pids+=("$devenv_daemon_pid")
    devenv_wait_for 20 devenv_daemon_on_bus ||
        devenv_fail "the daemon did not start: $(tail -n 20 "$devenv_work/daemon.log")"
}

# Loop devices the daemon set up for packages, one "device file" a line.
devenv_daemon_loops() {
    losetup -n -l -O NAME,BACK-FILE 2>/dev/null |
        grep -E ' (/run|/var/lib)/tevrin-offline-update/' | sort || true
}

# Stops the daemon. Its mounts live in its own mount namespace and go with it, and with them
# the loop devices under them, which the kernel releases a moment later.
devenv_stop_daemon() {
    devenv_stop "$devenv_daemon_pid"
    devenv_wait_for 10 devenv_no_loops_of_ours || true
}

devenv_own_loops() {
    comm -13 <(printf '%s\n' "$devenv_loops_before") <(devenv_daemon_loops) | grep .
}

devenv_no_loops_of_ours() { ! devenv_own_loops; }

# What the daemon run here left on the machine: mounts below its run directory (in the
# machine's namespace) and loop devices of packages that were not there before it started.
devenv_left_behind() {
    findmnt -rn -o TARGET | grep '^/run/tevrin-offline-update' || true
    devenv_own_loops || true
}

# The A/B recovery stand-in with the given options (see tevrin-dev-abrecovery --help); its
# output goes to $devenv_work/recovery-NAME.log. Stop it with devenv_stop "$devenv_recovery_pid".
devenv_start_recovery() { # build-dir name [options...]
    local program="$1/tools/devabrecovery/tevrin-dev-abrecovery" log="$devenv_work/recovery-$2.log"
    shift 2
    "$program" "$@" >"$log" 2>&1 &
    devenv_recovery_pid=$!
    devenv_pids+=("$devenv_recovery_pid")
}

# Installs the throw-away package PROBE at version 1.0 and builds $devenv_sample, an offline
# update package offering PROBE 2.0. The probe is purged on exit.
devenv_make_sample() { # probe
    devenv_probe=$1
    [ -f "$devenv_source_list" ] || {
        install -D -m 644 "$devenv_source_dir/data/update.list" "$devenv_source_list"
        devenv_made_source_list=1
    }
    local old_probe new_probe
    old_probe=$("$devenv_source_dir/tools/make-probe-deb" "$devenv_probe" 1.0 "$devenv_work/probe-1")
    new_probe=$("$devenv_source_dir/tools/make-probe-deb" "$devenv_probe" 2.0 "$devenv_work/probe-2")
    dpkg -i "$old_probe" >/dev/null
    devenv_probe_installed=1
    printf '{"type": 1, "data": {"systemType": "desktop", "cveId": "", "archs": "%s"}}\n' \
        "$(dpkg --print-architecture)" >"$devenv_work/info.json"
    devenv_sample="$devenv_work/sample.oup"
    "$devenv_source_dir/tools/tevrin-oup-build" build --manifest "$devenv_work/info.json" \
        --output "$devenv_sample" "$new_probe" >"$devenv_work/build.log" 2>&1 ||
        devenv_fail "cannot build the sample: $(cat "$devenv_work/build.log")"
}

# The installed version of the probe package, or nothing.
devenv_probe_version() {
    dpkg-query -W -f='${Status} ${Version}\n' "$devenv_probe" 2>/dev/null |
        sed -n 's/^install ok installed //p'
}

# How many reboots the session manager stand-in was asked for.
devenv_reboot_requests() {
    if [ -f "$devenv_reboots" ]; then
        grep -cx RequestReboot "$devenv_reboots" || true
    else
        echo 0
    fi
}
