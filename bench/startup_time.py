#!/usr/bin/python3
"""Start-up time of a program, from its start to a sign that it is ready.

    startup_time.py window RUNS -- COMMAND...
        to its first window shown: the first MapNotify of a top-level window
        on a private Xvfb, as xev on the root window reports it
    startup_time.py line RUNS PATTERN -- COMMAND...
        to the first line of its standard output that starts with PATTERN

Each run starts the program anew and stops it (by its PID) once it is
ready. Prints one JSON object: the times in seconds, their minimum and
median.
"""
import json
import os
import select
import signal
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "xvfb"))
from x_server import start_xvfb, stop_xvfb  # noqa: E402  (shared with the tests)


def stop(process):
    """Ends a child process, or the X server of start_xvfb by its PID."""
    if isinstance(process, int):
        stop_xvfb(process)
        return
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=3)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def read_line_until(stream, deadline):
    """The next line of a pipe, or None when none came before the deadline."""
    line = b""
    while time.monotonic() < deadline:
        ready, _, _ = select.select([stream], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            return None
        byte = os.read(stream.fileno(), 1)
        if not byte:
            return None
        if byte == b"\n":
            return line.decode(errors="replace")
        line += byte
    return None


def time_to_window(runs, command):
    xvfb, display = start_xvfb()
    environment = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
    xev = subprocess.Popen(["stdbuf", "-oL", "xev", "-root", "-event", "substructure"],
                           env=environment, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    times = []
    try:
        time.sleep(0.5)  # xev selects its events on the root window
        for _ in range(runs):
            start = time.monotonic()
            program = subprocess.Popen(command, env=environment, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            shown = None
            deadline = start + 30
            while shown is None:
                line = read_line_until(xev.stdout, deadline)
                if line is None:
                    break
                if line.startswith("MapNotify event"):
                    shown = time.monotonic()
            stop(program)
            if shown is None:
                raise RuntimeError("no window shown within 30 s: " + " ".join(command))
            times.append(shown - start)
            # What the program's end reports (unmap, destroy) is not the next
            # run's business.
            while read_line_until(xev.stdout, time.monotonic() + 0.3) is not None:
                pass
    finally:
        stop(xev)
        stop(xvfb)
    return times


def time_to_line(runs, pattern, command):
    times = []
    for _ in range(runs):
        start = time.monotonic()
        program = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        ready = None
        deadline = start + 30
        while ready is None:
            line = read_line_until(program.stdout, deadline)
            if line is None:
                break
            if line.startswith(pattern):
                ready = time.monotonic()
        stop(program)
        if ready is None:
            raise RuntimeError("no line '%s' within 30 s: %s" % (pattern, " ".join(command)))
        times.append(ready - start)
    return times


def main():
    arguments = sys.argv[1:]
    if "--" not in arguments or len(arguments) < 4:
        sys.exit(__doc__)
    separator = arguments.index("--")
    mode, runs, rest, command = arguments[0], int(arguments[1]), arguments[2:separator], \
        arguments[separator + 1:]
    if mode == "window" and not rest:
        times = time_to_window(runs, command)
    elif mode == "line" and len(rest) == 1:
        times = time_to_line(runs, rest[0], command)
    else:
        sys.exit(__doc__)
    print(json.dumps({"seconds": times, "min": min(times), "median": statistics.median(times)}))


if __name__ == "__main__":
    main()
