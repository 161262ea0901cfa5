#!/usr/bin/env bash
# Runs one test with its own temporary HOME, XDG directories and D-Bus session bus.
# The bus (and the gvfs metadata daemon it activates) sees the same temporary HOME.
set -eu
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavrune-test.XXXXXX")
trap 'chmod -R u+rwX "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
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
# gvfs may not see a display here; keep it from trying to reach one.
unset DISPLAY WAYLAND_DISPLAY
dbus-run-session -- "$@"
