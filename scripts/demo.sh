#!/usr/bin/env bash
# Builds KIVO and runs it against the simulators on a demo root: a private session bus, the
# telephony and FTS engine simulators, sample panic data, and KIVO itself. Without a display it
# runs in a virtual X display served by a VNC server on 127.0.0.1 only.
#
# With --modem, the telephony service is the one a phone with ModemManager gets: kivo-mm-bridge
# against kivo-sim-modemmanager, which stands in for the daemon on a second private bus given
# to both as the system bus.
set -euo pipefail
modem=0
case "${1:-}" in
    --modem) modem=1 ;;
    "") ;;
    *) echo "Usage: $0 [--modem]" >&2; exit 2 ;;
esac
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh" demo
"$top/scripts/build.sh"
bin=${KIVO_BUILD_DIR:-$top/build}/bin
root=${KIVO_DEMO_ROOT:-$top/build/demo-root}

pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

# The demo root: feature flag 356 on, the settings folder, the volatile folder, panic samples.
mkdir -p "$root/etc/kivo" "$root/vek_user/download/appwrite/kivo" "$root/tmp"
[ -f "$root/etc/kivo/flexbits" ] || printf '# device feature flags\n356=1\n' >"$root/etc/kivo/flexbits"
if [ -x "$bin/kivo-sample-data" ] && [ ! -e "$root/veklocal/panic" ]; then
    "$bin/kivo-sample-data" "$root" >/dev/null
fi
export KIVO_ROOT=$root
echo "Demo root: $root"

# A private session bus for KIVO and the simulators.
bus_info=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=$(echo "$bus_info" | sed -n 1p)
pids+=("$(echo "$bus_info" | sed -n 2p)")
echo "Private session bus: $DBUS_SESSION_BUS_ADDRESS"
echo "  drive it from another shell with: export DBUS_SESSION_BUS_ADDRESS='$DBUS_SESSION_BUS_ADDRESS'"

log=$root/demo-logs
mkdir -p "$log"
sims="kivo-sim-telephony kivo-sim-fts"
if [ "$modem" = 1 ]; then
    sims=kivo-sim-fts
    # The stand-in daemon on a bus of its own, as ModemManager is on the system bus.
    system_info=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
    export DBUS_SYSTEM_BUS_ADDRESS=$(echo "$system_info" | sed -n 1p)
    pids+=("$(echo "$system_info" | sed -n 2p)")
    "$bin/kivo-sim-modemmanager" >"$log/kivo-sim-modemmanager.log" 2>&1 &
    pids+=("$!")
    for _ in $(seq 50); do
        busctl --address="$DBUS_SYSTEM_BUS_ADDRESS" status org.freedesktop.ModemManager1 \
            >/dev/null 2>&1 && break
        sleep 0.1
    done
    "$bin/kivo-mm-bridge" 2>"$log/kivo-mm-bridge.log" &
    pids+=("$!")
    cat <<MSG
Started kivo-sim-modemmanager (log: $log/kivo-sim-modemmanager.log) on the system bus
  $DBUS_SYSTEM_BUS_ADDRESS
and kivo-mm-bridge (log: $log/kivo-mm-bridge.log). The modem is a Quectel EG25 in debug
mode camped on EARFCN 1300; it hears cells on 6300 and 3050 too. Try the Cell Sticker on 6300
(Mode Entered) and on 6200 (Failed for Unknown Reason after 60 s). Steer the modem with
  busctl --user call org.kivo.Sim.ModemManager /org/kivo/Sim org.kivo.Sim.ModemManager Status
(see sim/README.md).
MSG
fi
for sim in $sims; do
    if [ -x "$bin/$sim" ]; then
        "$bin/$sim" >"$log/$sim.log" 2>&1 &
        pids+=("$!")
        echo "Started $sim (log: $log/$sim.log)"
    fi
done

if [ -z "${DISPLAY:-}" ]; then
    display=:${KIVO_DEMO_DISPLAY:-71}
    port=${KIVO_DEMO_VNC_PORT:-5971}
    Xvfb "$display" -screen 0 240x320x24 -nolisten tcp >"$log/xvfb.log" 2>&1 &
    pids+=("$!")
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X${display#:}" ] && break
        sleep 0.1
    done
    x11vnc -display "$display" -localhost -rfbport "$port" -forever -shared -nopw -quiet \
        >"$log/x11vnc.log" 2>&1 &
    pids+=("$!")
    export DISPLAY=$display
    cat <<MSG
No display here: KIVO runs in the virtual display $display (240 x 320), served by a VNC
server that listens on 127.0.0.1:$port only.
  Connect on this machine:   vncviewer 127.0.0.1:$port
  From another machine:      ssh -L $port:127.0.0.1:$port $(whoami)@$(hostname)
                             then vncviewer 127.0.0.1:$port there
MSG
fi
export QT_QPA_PLATFORM=xcb
echo "Starting KIVO (keys: arrows, Return, F1 left soft key, F2/Escape right soft key)."
echo "KIVO's traces: $log/kivo.log. Exit on the main menu ends the demo."
# In the background, so that a signal to this script ends KIVO and everything else too.
"$bin/kivo" 2>"$log/kivo.log" &
kivo_pid=$!
pids+=("$kivo_pid")
status=0
wait "$kivo_pid" || status=$?
exit "$status"
