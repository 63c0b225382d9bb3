#!/usr/bin/python3
"""What a musician might write instead of Velmora: a short mido script that
sends one random Control Change per configured parameter to a JACK MIDI port.

    python_peer.py OUTPUT CONFIGURATION PASSES PAUSE_MS

Prints the same lines as velmora_pass_timer ("ready NS", "pass I START_NS
END_NS", "close NS_TAKEN"), with time.monotonic_ns(), which is the same
CLOCK_MONOTONIC that jack_receiver -t stamps arrivals with.
"""
import random
import sys
import time

import mido


def read_parameters(path):
    parameters = []
    with open(path) as file:
        for line in file:
            if not line.strip() or line.startswith("#"):
                continue
            fields = line.split()[1:4]
            controller, minimum, maximum = (int(field) for field in fields)
            parameters.append((controller, minimum, maximum))
    return parameters


def main():
    output_name, configuration, passes, pause_ms = sys.argv[1:5]
    parameters = read_parameters(configuration)
    mido.set_backend("mido.backends.rtmidi/UNIX_JACK")
    with mido.open_output(output_name) as port:
        print("ready", time.monotonic_ns(), flush=True)
        for number in range(int(passes)):
            start = time.monotonic_ns()
            for controller, minimum, maximum in parameters:
                value = random.randint(min(minimum + 1, maximum), maximum)
                port.send(mido.Message("control_change", channel=0, control=controller,
                                       value=value))
            end = time.monotonic_ns()
            print("pass", number, start, end, flush=True)
            time.sleep(int(pause_ms) / 1000)
        close_start = time.monotonic_ns()
    print("close", time.monotonic_ns() - close_start, flush=True)


if __name__ == "__main__":
    main()
