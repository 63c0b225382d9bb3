#!/usr/bin/python3
"""From an F1 key press to the last message of its pass at a JACK or ALSA
receiver.

    f1_latency.py VELMORA RECEIVER PARAMETERS PRESSES

Runs the real Linux program on a private Xvfb, with a configuration of
PARAMETERS parameters, opens the receiver's port with Alt+O, then presses F1
PRESSES times, one press 20 to 30 ms (a random time) after the previous pass
has arrived, so that presses fall at every point of a JACK period. Each press is
sent through the XTEST extension from this process, so that its moment is
known: the time right before the key event is flushed to the X server.
The receiver stamps each message with the CLOCK_MONOTONIC time of its
arrival, the clock of time.monotonic_ns(): RECEIVER is either jack_receiver
(the time of the process cycle that brought it, on the JACK server named by
JACK_DEFAULT_SERVER) or tests/vm/alsa_receiver.py (an ALSA sequencer port).

Prints one JSON object: the latencies in milliseconds, in press order.
"""
import ctypes
import json
import os
import random
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

from startup_time import start_xvfb, stop


class KeyPresser:
    """Presses keys on an X display through XTEST (libX11 and libXtst)."""

    def __init__(self, display):
        self.x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
        self.xtest = ctypes.cdll.LoadLibrary("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.xtest.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                 ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError("cannot open display " + display)

    def press(self, key):
        """Presses and releases the key; the monotonic nanoseconds of the press."""
        code = self.x11.XKeysymToKeycode(self.display, self.x11.XStringToKeysym(key.encode()))
        self.xtest.XTestFakeKeyEvent(self.display, code, 1, 0)
        pressed = time.monotonic_ns()
        self.x11.XFlush(self.display)
        self.xtest.XTestFakeKeyEvent(self.display, code, 0, 0)
        self.x11.XFlush(self.display)
        return pressed


class Receiver:
    """The receiver's lines: (nanoseconds, bytes) for each message."""

    def __init__(self, program, client):
        if program.endswith(".py"):
            command = ["/usr/bin/python3", program, client, "input", "-t"]
        else:
            command = [program, "-s", os.environ["JACK_DEFAULT_SERVER"], "-n", client, "-t"]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE)
        self.pending = b""
        # Python starts slowly on an emulated CPU.
        if not self.line(time.monotonic() + 30).startswith("ready"):
            raise RuntimeError("the receiver did not get ready")

    def line(self, deadline):
        while b"\n" not in self.pending:
            left = deadline - time.monotonic()
            ready, _, _ = select.select([self.process.stdout], [], [], max(0.0, left))
            if not ready:
                return ""
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                return ""
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode()

    def messages(self, count, timeout):
        """The next count messages' arrival times; fewer when they stop coming."""
        times = []
        deadline = time.monotonic() + timeout
        while len(times) < count:
            line = self.line(deadline)
            if not line:
                break
            fields = line.split()
            if fields[0].isdigit() and len(fields) > 1:
                times.append(int(fields[0]))
        return times


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    program, receiver_program = sys.argv[1], sys.argv[2]
    parameters, presses = int(sys.argv[3]), int(sys.argv[4])
    work = tempfile.mkdtemp(prefix="velmora-f1-")
    xvfb = velmora = receiver = None
    try:
        xvfb, display = start_xvfb()
        shutil.copy(program, os.path.join(work, "Velmora"))
        with open(os.path.join(work, "Velmora.cfg"), "w") as configuration:
            for controller in range(parameters):
                configuration.write(f"P{controller} {controller % 128} 0 127\n")
        runtime = os.path.join(work, "runtime")
        os.mkdir(runtime, 0o700)
        # The program's diagnostics list the outputs.
        environment = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
                           XDG_RUNTIME_DIR=runtime, VELMORA_DEBUG="winmm")
        client = f"vf{os.getpid()}"
        receiver = Receiver(receiver_program, client)
        diagnostics = open(os.path.join(work, "diagnostics"), "w+")
        velmora = subprocess.Popen([os.path.join(work, "Velmora")], env=environment,
                                   stdout=subprocess.DEVNULL, stderr=diagnostics)
        window = subprocess.run(["timeout", "10", "xdotool", "search", "--sync", "--onlyvisible",
                                 "--name", "^Velmora $"], env=environment, capture_output=True,
                                text=True).stdout.split()
        if not window:
            raise RuntimeError("no Velmora window")
        # Without a window manager the focus must be given; it then stays.
        subprocess.run(["xdotool", "windowfocus", "--sync", window[0]], env=environment,
                       check=True)
        keys = KeyPresser(display)
        # From the Open button to the output list, down to the receiver's port.
        diagnostics.seek(0)
        said = diagnostics.read()
        position = re.search(r"output (\d+): %s: ?input\n" % client, said)
        if position is None:
            raise RuntimeError("the receiver's port is not listed:\n" + said)
        subprocess.run(["xdotool", "key", "shift+Tab", "shift+Tab", "Home"] +
                       ["Down"] * int(position.group(1)) + ["alt+o"], env=environment, check=True)
        time.sleep(1.0)  # the open connects and waits for the graph
        latencies = []
        pauses = random.Random(1)
        for press in range(presses):
            pressed = keys.press("F1")
            arrivals = receiver.messages(parameters, 5)
            if len(arrivals) != parameters:
                raise RuntimeError(f"press {press}: {len(arrivals)} of {parameters} arrived")
            latencies.append((arrivals[-1] - pressed) / 1e6)
            time.sleep(pauses.uniform(0.02, 0.03))
        print(json.dumps({"parameters": parameters, "latencies_ms": latencies}))
    finally:
        for process in (velmora, receiver and receiver.process, xvfb):
            if process is not None:
                stop(process)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
