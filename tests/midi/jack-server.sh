#!/usr/bin/env bash
# Starts and stops a private JACK server with the dummy backend, for tests.
#
#   jack-server.sh start NAME [OWNER_PID]
#       Starts `jackd -n NAME -d dummy`, waits until it takes clients and
#       prints its PID. With OWNER_PID the server is also stopped, and what it
#       left behind cleared, once that process has ended: a test that
#       crashes leaves nothing behind. Fails (status 1, the server's output
#       on stderr, nothing left running) if the server is not up within 5 s.
#   jack-server.sh stop PID NAME
#       Stops the server of that PID (SIGTERM, SIGKILL after 2 s) and returns
#       once it is gone; anything but a jackd serving NAME is left alone.
#       Then clears what a server of that NAME left if it did not end cleanly
#       (killed, crashed): its files in /dev/shm and its entry in JACK's
#       shared registry, which has room for 8 servers only and never takes
#       back the entry of a dead server of another name.
#
# Clients find the server through the environment:
#   export JACK_DEFAULT_SERVER=NAME JACK_NO_AUDIO_RESERVATION=1
#
# Typical use in a test script:
#   name="velmora-test-$$"
#   pid=$(tests/midi/jack-server.sh start "$name" $$) || exit 1
#   trap 'tests/midi/jack-server.sh stop "$pid" "$name"' EXIT
#
# JACK_SERVER_FLAGS adds server options (e.g. "-r": no realtime scheduling);
# JACK_DUMMY_OPTIONS replaces the backend's defaults ("-r 48000 -p 256").
set -uo pipefail

export JACK_NO_AUDIO_RESERVATION=1

usage() {
    sed -n '2,22s/^# \{0,1\}//p' "$0" >&2
    exit 2
}

# True while PID is a live process (a zombie has ended).
is_running() {
    local state
    state=$(sed -n 's/^State:[[:space:]]*\([A-Z]\).*/\1/p' "/proc/$1/status" 2>/dev/null)
    [ -n "$state" ] && [ "$state" != Z ]
}

# True while PID is a live jackd serving NAME.
is_our_server() {
    local command
    [ -r "/proc/$1/cmdline" ] || return 1
    command=$(tr '\0' ' ' <"/proc/$1/cmdline" 2>/dev/null) || return 1
    [ "$(cat "/proc/$1/comm" 2>/dev/null)" = jackd ] && [[ "$command" == *" -n $2 "* ]] &&
        is_running "$1"
}

# True once the server NAME takes clients.
is_ready() {
    jack_wait -s "$1" -c 2>/dev/null | grep -qx running
}

# Ends PID: SIGTERM, then SIGKILL after 2 s. False if it would not end.
end_process() {
    local pid=$1 signal i
    for signal in TERM KILL; do
        kill -"$signal" "$pid" 2>/dev/null
        for ((i = 0; i < 40; i++)); do
            is_running "$pid" || return 0
            sleep 0.05
        done
    done
    echo "jack-server.sh: process $pid did not stop" >&2
    return 1
}

# Waits until PID has been reaped: JACK takes a zombie for a live server.
wait_reaped() {
    local i
    for ((i = 0; i < 100; i++)); do
        [ -e "/proc/$1" ] || return 0
        sleep 0.02
    done
}

jack_server() {
    # shellcheck disable=SC2086  # the options are lists of words
    exec jackd ${JACK_SERVER_FLAGS:-} -n "$1" -d dummy ${JACK_DUMMY_OPTIONS:--r 48000 -p 256}
}

# A server that did not end cleanly leaves its files and its entry in the
# registry. Without the files a server of the same name starts, takes the
# entry over and gives it back when it stops cleanly.
clear_leftovers() {
    local name=$1 uid pid i
    uid=$(id -u)
    # Another server of this name is running: the files and entry are its own.
    is_ready "$name" && return 0
    rm -f "/dev/shm/jack_${name}_${uid}_"* "/dev/shm/jack_sem.${uid}_${name}_"*
    grep -qaF -- "jack-${uid}:${name}:" /dev/shm/jack-shm-registry 2>/dev/null || return 0
    jack_server "$name" </dev/null >/dev/null 2>&1 &
    pid=$!
    for ((i = 0; i < 100; i++)); do
        if ! is_running "$pid" || is_ready "$name"; then
            break
        fi
        sleep 0.05
    done
    end_process "$pid"
    wait "$pid" 2>/dev/null
    rm -f "/dev/shm/jack_${name}_${uid}_"* "/dev/shm/jack_sem.${uid}_${name}_"*
}

# Runs the server as its parent, so that it is reaped at once when it ends,
# and looks after it for OWNER (may be empty). Runs in a session of its own:
# signals to the caller's process group do not reach it.
supervise() {
    local name=$1 owner=$2 pidfile=$3 log=$4 pid
    jack_server "$name" </dev/null >"$log" 2>&1 &
    pid=$!
    echo "$pid" >"$pidfile"
    while is_running "$pid"; do
        if [ -n "$owner" ] && ! kill -0 "$owner" 2>/dev/null; then
            end_process "$pid"
            break
        fi
        sleep 0.1
    done
    wait "$pid" 2>/dev/null
    if [ -n "$owner" ]; then
        while kill -0 "$owner" 2>/dev/null; do
            sleep 0.5
        done
        clear_leftovers "$name"
    fi
}

start_server() {
    local name=$1 owner=$2 pidfile log pid="" i
    if is_ready "$name"; then
        echo "jack-server.sh: a JACK server '$name' is running already" >&2
        return 1
    fi
    pidfile=$(mktemp "${TMPDIR:-/tmp}/jack-server.XXXXXX") || return 1
    log=$(mktemp "${TMPDIR:-/tmp}/jack-server.XXXXXX") || return 1
    setsid "$0" supervise "$name" "$owner" "$pidfile" "$log" </dev/null >/dev/null 2>&1 &
    for ((i = 0; i < 100; i++)); do
        pid=$(cat "$pidfile" 2>/dev/null)
        [ -n "$pid" ] && break
        sleep 0.02
    done
    for ((i = 0; i < 100; i++)); do
        if [ -z "$pid" ] || ! is_running "$pid"; then
            break
        fi
        if is_ready "$name"; then
            rm -f "$pidfile" "$log"
            echo "$pid"
            return 0
        fi
        sleep 0.05
    done
    echo "jack-server.sh: JACK server '$name' did not start:" >&2
    cat "$log" >&2
    if [ -n "$pid" ]; then
        end_process "$pid"
        wait_reaped "$pid"
    fi
    clear_leftovers "$name"
    rm -f "$pidfile" "$log"
    return 1
}

stop_server() {
    local pid=$1 name=$2 result=0
    if is_our_server "$pid" "$name"; then
        end_process "$pid" || result=1
    fi
    wait_reaped "$pid"
    clear_leftovers "$name"
    return $result
}

case "${1:-}:$#" in
    start:2 | start:3) start_server "$2" "${3:-}" ;;
    stop:3) stop_server "$2" "$3" ;;
    supervise:5) supervise "$2" "$3" "$4" "$5" ;;
    *) usage ;;
esac
