#!/usr/bin/env bash
# Runs one test with its own temporary HOME, XDG directories and D-Bus session bus.
# The bus (and the gvfs metadata daemon it activates) sees the same temporary HOME.
set -eu
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavrune-test.XXXXXX")
# The gvfs metadata daemon may still be flushing its files as the bus goes away; removing the scratch
# directory then fails once. Try again shortly, and never let the clean-up decide the test's result.
cleanup() {
    # Files may vanish under chmod as the daemon finishes: nothing here may fail the script (set -e
    # would turn a failed command in this trap into the test's exit status).
    set +e
    chmod -R u+rwX "$scratch" 2>/dev/null
    for _ in 1 2 3 4 5; do
        rm -rf "$scratch" 2>/dev/null && return 0
        sleep 0.2
    done
    return 0
}
trap cleanup EXIT
export HOME="$scratch/home"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache"
export XDG_STATE_HOME="$HOME/.local/state"
export XDG_RUNTIME_DIR="$scratch/runtime"
export TMPDIR="$scratch/tmp"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME" "$TMPDIR"
mkdir -m 0700 -p "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# The tests compare English texts: they run in English whatever the developer's language.
export LANGUAGE=en LC_ALL=C.UTF-8
# gvfs may not see a display here; keep it from trying to reach one.
unset DISPLAY WAYLAND_DISPLAY
dbus-run-session -- "$@"
