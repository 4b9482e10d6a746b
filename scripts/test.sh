#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Starts an X server
# (Xvfb with a window manager) and a PulseAudio null sink when none is
# running, and stops only what it started.
#
#   scripts/test.sh [CTEST ARGS]              build/, then a short fuzzing pass
#   scripts/test.sh --sanitize [CTEST ARGS]   build-sanitize/, with ASan + UBSan
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"

sanitize=
if [ "${1:-}" = --sanitize ]; then
    sanitize=1
    shift
    export ORLENTA_BUILD="$root/build-sanitize"
    # Leaks inside the system's own libraries (D-Bus) are
    # theirs; tests/lsan.supp names them and nothing of ours.
    export ASAN_OPTIONS=detect_leaks=1
    export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    "$root/scripts/build.sh" -DORLENTA_SANITIZE=ON
else
    "$root/scripts/build.sh"
fi
build=${ORLENTA_BUILD:-$root/build}

started=()
cleanup() {
    for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
    if [ -n "${started_pulse:-}" ]; then pulseaudio --kill 2>/dev/null || true; fi
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    for n in $(seq 90 120); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    started+=($!)
    export DISPLAY=":$n"
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    openbox >/dev/null 2>&1 &
    started+=($!)
fi

# A session bus of the run's own: the program takes its name there, and a
# desktop session's bus must not see the tests' instances.
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$bus")
started+=("$(sed -n 2p <<<"$bus")")

if ! pactl info >/dev/null 2>&1; then
    pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
        --load="module-null-sink sink_name=nullsink" \
        --load=module-native-protocol-unix >/dev/null 2>&1
    started_pulse=1
    for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
fi

# A short fuzzing pass over the file parsers where clang is there (scripts/deps.sh
# installs it); skipped when a subset of tests was asked for.
if [ -z "$sanitize" ] && [ $# -eq 0 ] && command -v clang++ >/dev/null 2>&1; then
    "$root/scripts/fuzz.sh" "${ORLENTA_FUZZ_SECONDS:-30}"
fi

cd "$build"
ctest --output-on-failure "$@"
