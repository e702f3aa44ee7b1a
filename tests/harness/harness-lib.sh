# shellcheck shell=bash
# Shared helpers for the harness scripts; sourced, not run.

harness_die() { echo "${HARNESS_NAME:-harness}: $*" >&2; exit 125; }

# Runs the function CLEANUP on every exit of the script: an ordinary end, a
# failure, and INT, TERM or HUP, which end it with 130, 143 or 129. CLEANUP
# begins with `local status=$?` and `harness_cleanup_begins`, and ends with
# `exit "$status"`.
harness_on_exit() {
    trap "$1" EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
}

# The first step of a clean-up: it runs once, and no signal ends it
# halfway. A script whose command has ended is often sent TERM by its own
# parent a moment later, while it is still ending its servers and removing
# its folder; with TERM's default action back, that signal killed it there
# and left the folder behind. Whoever sends it waits, and kills it only
# after a grace (harness_stop_pid).
harness_cleanup_begins() {
    trap - EXIT
    trap '' INT TERM HUP
}

# True when this process has only loopback and cannot set the clock; the same
# test that `isolated` applies before it runs anything.
harness_is_isolated() {
    local links bounding
    links=$(ip -o link show 2>/dev/null | awk -F': ' '{print $2}' | tr '\n' ' ')
    [[ "$links" == "lo " ]] || return 1
    bounding=$(awk '/^CapBnd:/ {print $2}' /proc/self/status)
    (( ((0x$bounding >> 25) & 1) == 0 ))
}

harness_require_isolation() {
    harness_is_isolated \
        || harness_die "not isolated (needs a network namespace with only loopback and no CAP_SYS_TIME); run it through tests/harness/isolated"
}

# Waits until COMMAND succeeds, retrying every 0.1 s up to LIMIT seconds;
# gives up early when COMMAND returns 2.
# A bound on start-up only; nothing measures how fast things are.
harness_wait_until() {
    local limit=$1; shift
    local tries=$(( limit * 10 ))
    local rc
    while (( tries-- > 0 )); do
        if "$@"; then return 0; else rc=$?; fi
        (( rc != 2 )) || return 1   # 2: give up at once (e.g. the process died)
        sleep 0.1
    done
    return 1
}

harness_alive() { [[ -n "${1:-}" ]] && kill -0 "$1" 2>/dev/null; }
harness_gone() { ! harness_alive "$1"; }

# The grace with-peers and with-wine give the command they run. That
# command may end its own children on TERM, each within the default grace:
# with-wine run by with-peers ends its program, its wineserver and its
# Xvfb, and removes its prefix; a driver script run by with-wine ends its
# helpers. Killed halfway, it would leave the rest running.
HARNESS_COMMAND_GRACE=30

# Ends one process we started: TERM, then KILL if it lingers past GRACE
# seconds (default 10); reaps it. A script that ends its own children on
# TERM needs more than the grace it gives each of them
# (HARNESS_COMMAND_GRACE).
#   harness_stop_pid PID [GRACE]
harness_stop_pid() {
    local pid=${1:-} grace=${2:-10}
    harness_alive "$pid" || { wait "$pid" 2>/dev/null || true; return 0; }
    kill -TERM "$pid" 2>/dev/null || true
    harness_wait_until "$grace" harness_gone "$pid" || kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
