# The helpers of the end-to-end tests in the virtual machine (alsa-e2e,
# pipewire-e2e), sourced after tests/ui/e2e-helpers.sh: receivers, the
# messages in their files, choosing an output, the dialog's answer time.

# What a receiver's file holds as "STATUS CONTROLLER VALUE" lines: hex bytes
# one message a line, or as amidi dumps raw MIDI, with running status, or
# aseqdump's Control Change lines (channels counted from 0).
messages() {
    awk '/Control change/ {
        sub(/.*Control change */, "")
        gsub(/[^0-9]+/, " ")
        split($0, field, " ")
        printf "%02X %02X %02X\n", 176 + field[1], field[2], field[3]
        next
    }
    /^[0-9A-F ]*$/ {
        gsub(/ /, "")
        for (i = 1; i < length($0); i += 2) {
            byte = substr($0, i, 2)
            if (byte ~ /^[89A-F]/) { status = byte; data = "" }
            else if ((data = data " " byte) ~ /^ .. ..$/) { print status data; data = "" }
        }
    }' "$received"
}

# Starts a receiver that writes to $work/$1; its PID in receiver[$1].
declare -A receiver
start_receiver() {
    local name=$1
    shift
    "$@" >"$work/$name" 2>"$work/$name.log" &
    receiver[$name]=$!
    pids+=($!)
}
gadget_side() { amidi -l | awk '$3 == "f_midi" { print $2 }'; }
start_gadget_reader() {
    local device
    wait_for 10 eval 'device=$(gadget_side); [ -n "$device" ]' || fail "no USB gadget"
    start_receiver "$1" amidi -p "$device" -d
}

# Chooses the output at position $1 of the list and opens it; the Open
# button has the focus.
open_output() {
    keys shift+Tab shift+Tab Home
    [ "$1" -gt 0 ] && keys $(printf 'Down %.0s' $(seq "$1"))
    keys alt+o
    sleep 0.5
}
# Checks the pass that F1 sends, on channel 2, to the receiver writing
# $work/$1: its first, or the one from its message $2 on.
f1_reaches() {
    echo "-- $1"
    received=$work/$1
    keys F1
    check_pass "${2:-0}" 2
}

# The milliseconds from Alt+A to the About box (closed again), which the
# dialog shows once it has handled the keys before.
about_box_ms() {
    local started about
    started=$(date +%s%N)
    keys alt+a
    about=$(timeout 60 xdotool search --sync --onlyvisible --name '^About$' | head -n 1)
    [ -n "$about" ] || fail "no About box"
    echo $((($(date +%s%N) - started) / 1000000))
    xdotool windowfocus --sync "$about" key Return
    wait_for 20 eval '! xdotool search --onlyvisible --name "^About$" >/dev/null' ||
        fail "the About box did not close"
}
