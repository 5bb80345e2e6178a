#!/usr/bin/env bash
# Measures the kivo program under a flapping telephony service and a burst of sticker outcomes,
# with nobody closing its popups: LOSSES times Vanish/Appear of kivo-sim-telephony, then
# OUTCOMES injected 0x0F03 events, on a private bus and a temporary KIVO_ROOT. Prints KIVO's
# VmRSS, VmHWM and VmStk (kB, from /proc/PID/status) at the start and after each phase, and
# whether KIVO still runs and handles a QCop message.
#   measure-popup-flood.sh BIN_DIR [LOSSES] [OUTCOMES]     (BIN_DIR: build/bin)
set -euo pipefail
bin=$(cd "${1:?usage: $0 BIN_DIR [LOSSES] [OUTCOMES]}" && pwd)
losses=${2:-5000}
outcomes=${3:-3000}
if [ -z "${KIVO_MEASURE_BUS:-}" ]; then
    exec env KIVO_MEASURE_BUS=1 dbus-run-session -- "$0" "$@"
fi

root=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$root"
}
trap cleanup EXIT
mkdir -p "$root/etc/kivo"
echo "356=1" >"$root/etc/kivo/flexbits"
export KIVO_ROOT=$root QT_QPA_PLATFORM=offscreen
unset VEK_APP_WRITE_PATH

sim() { busctl --user call org.kivo.Sim.Telephony /org/kivo/Sim org.kivo.Sim.Telephony "$@"; }
"$bin/kivo-sim-telephony" >/dev/null 2>&1 &
pids+=($!)
until sim Status >/dev/null 2>&1; do sleep 0.1; done
"$bin/kivo" 2>"$root/kivo.log" &
kivo=$!
pids+=("$kivo")
until grep -q "value of kivo_tapi" "$root/kivo.log" 2>/dev/null; do sleep 0.1; done
sleep 1

figures() {
    awk '/^(VmRSS|VmHWM|VmStk):/ { printf "%s %s kB  ", $1, $2 }' "/proc/$kivo/status"
    echo
}
# A QCop message KIVO traces once it has handled everything sent before it.
handled() {
    local marker=$1
    busctl --user emit /QCop org.kivo.QCop Message ssay kivo_listen_channel "$marker" 0
    for _ in $(seq 600); do
        grep -q "Received data from channel $marker" "$root/kivo.log" && return 0
        kill -0 "$kivo" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

echo "start:            $(figures)"
start=$(date +%s)
for ((i = 0; i < losses; i++)); do
    sim Vanish u 0 >/dev/null
    sim Appear >/dev/null
done
handled losses && echo "after $losses losses ($(($(date +%s) - start)) s): $(figures)"
start=$(date +%s)
for ((i = 0; i < outcomes; i++)); do
    sim InjectEvent qay 3843 4 6 0 0 0 >/dev/null
done
handled outcomes && echo "after $outcomes outcomes ($(($(date +%s) - start)) s): $(figures)"
echo "outcomes traced: $(grep -o 'Processing tapi event' "$root/kivo.log" | wc -l)"
if kill -0 "$kivo" 2>/dev/null; then echo "kivo: running"; else echo "kivo: ended"; fi
