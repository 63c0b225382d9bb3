#!/usr/bin/python3
"""Prints what arrives at an ALSA sequencer port of its own.

    alsa_receiver.py CLIENT PORT [-t]

Makes the port PORT of a client named CLIENT, prints "ready CLIENT:PORT" once
it is there, then one line per MIDI message: its bytes in hex ("B0 4A 32");
with -t after the CLOCK_MONOTONIC nanoseconds of its arrival. A stopped
receiver (SIGSTOP) reads nothing: the sequencer keeps what it is sent until
its pool is full.
"""
import signal
import sys
import time

import rtmidi


def main():
    if len(sys.argv) not in (3, 4) or sys.argv[3:] not in ([], ["-t"]):
        sys.exit(__doc__)
    client, port, stamped = sys.argv[1], sys.argv[2], len(sys.argv) == 4
    receiver = rtmidi.MidiIn(rtmidi.API_LINUX_ALSA, name=client)

    def received(event, _):
        line = " ".join(f"{byte:02X}" for byte in event[0])
        if stamped:
            line = f"{time.monotonic_ns()} {line}"
        print(line, flush=True)

    receiver.set_callback(received)
    receiver.open_virtual_port(port)
    print(f"ready {client}:{port}", flush=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    while True:
        signal.pause()


if __name__ == "__main__":
    main()
