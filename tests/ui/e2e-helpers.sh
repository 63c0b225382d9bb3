# The dialog-driving helpers of the end-to-end tests of the real Linux
# program (tests/ui/e2e-velmora, tests/vm/alsa-e2e), sourced by them.
#
# Needs: $program (the built program), $work (a private folder the caller
# removes), the array pids (what the caller stops on the way out). Sets up
# the program's copy with three known parameters and a private X server.
# Later: $received (the file to read the messages from), $window (the
# dialog's window), $program_pid.

fail() {
    echo "FAIL: $*" >&2
    for log in "$work"/*.log "$work"/stderr; do
        [ -s "$log" ] && { echo "--- ${log##*/}" >&2; tail -n 20 "$log" >&2; }
    done
    exit 1
}

# Waits up to $2 seconds (default 5) for the command in the remaining
# arguments to succeed.
wait_for() {
    local seconds=$1 i
    shift
    for ((i = 0; i < seconds * 20; i++)); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}

# The program's own copy, with a configuration of three known parameters.
mkdir -p "$work/program" "$work/runtime"
chmod 700 "$work/runtime"
cp "$program" "$work/program/Velmora" || exit 1
cat >"$work/program/Velmora.cfg" <<'EOF'
# label  controller  minimum  maximum
Cutoff      74   20  127
Resonance   71    0   90
Pan         10   32   96
EOF
controllers=(4A 47 0A)
minimums=(20 0 32)
maximums=(127 90 96)

# A private X server on a free display.
started=$("$(dirname "${BASH_SOURCE[0]}")/../xvfb/start-xvfb" "$work/xvfb.log") ||
    fail "Xvfb did not start"
read -r DISPLAY xvfb_pid <<<"$started"
pids+=("$xvfb_pid")
export DISPLAY
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$work/runtime"
# Never some other test's JACK server, never one started on demand.
export JACK_DEFAULT_SERVER="velmora-ui-$$-$RANDOM" JACK_NO_START_SERVER=1 \
    JACK_NO_AUDIO_RESERVATION=1

# The messages so far, one "STATUS CONTROLLER VALUE" line each.
messages() {
    grep -E '^[0-9A-F]{2} [0-9A-F]{2} [0-9A-F]{2}( |$)' "$received" | cut -d' ' -f1-3
}
count_at_least() { [ "$(messages | wc -l)" -ge "$1" ]; }

# Checks that messages from number $1 on are exactly one pass on channel $2.
check_pass() {
    local first=$1 channel=$2 i status controller value
    local status_expected
    status_expected=$(printf '%02X' $((0xB0 + channel - 1)))
    wait_for 5 count_at_least $((first + 3)) ||
        fail "pass $((first / 3 + 1)): $(($(messages | wc -l) - first)) of 3 messages arrived"
    sleep 0.2
    [ "$(messages | wc -l)" -eq $((first + 3)) ] || fail "pass $((first / 3 + 1)): too many messages"
    for i in 0 1 2; do
        read -r status controller value <<<"$(messages | sed -n "$((first + i + 1))p")"
        [ "$status" = "$status_expected" ] ||
            fail "pass $((first / 3 + 1)), message $((i + 1)): status $status, expected $status_expected"
        [ "$controller" = "${controllers[$i]}" ] ||
            fail "pass $((first / 3 + 1)), message $((i + 1)): controller $controller"
        value=$((16#$value))
        [ "$value" -gt "${minimums[$i]}" ] && [ "$value" -le "${maximums[$i]}" ] ||
            fail "pass $((first / 3 + 1)), message $((i + 1)): value $value out of range"
    done
}

# Keys go to the window with the input focus; there is no window manager to
# give it, so each step gives it again.
keys() {
    xdotool windowfocus --sync "$window" 2>/dev/null || fail "cannot focus the window"
    xdotool key --delay 30 "$@"
}

# Presses the keys, the last of which ends the program; it must go with
# status 0.
expect_clean_end() {
    keys "$@"
    wait_for 5 eval '! kill -0 "$program_pid" 2>/dev/null' || fail "Escape did not end the program"
    wait "$program_pid"
    status=$?
    pids=("${pids[@]/$program_pid/}")
    [ "$status" -eq 0 ] || fail "the program ended with status $status"
}
