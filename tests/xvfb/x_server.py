"""A private X server for the tests and benches in Python: start-xvfb beside
this file, which the shell scripts use as well."""
import os
import signal
import subprocess
import time
from pathlib import Path

START_XVFB = Path(__file__).resolve().with_name("start-xvfb")


def start_xvfb(log=os.devnull, screen="1024x768"):
    """Starts Xvfb on a free display: (its PID, its display, as ":12"). It
    runs in a session of its own until stop_xvfb or a signal ends it."""
    result = subprocess.run([str(START_XVFB), str(log), screen], stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            start_new_session=True, timeout=60, check=False)
    if result.returncode != 0:
        raise RuntimeError(result.stderr.strip() or "Xvfb did not start")
    display, pid = result.stdout.split()
    return int(pid), display


def stop_xvfb(pid):
    """Ends the server and waits, at most a few seconds, for it to go."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + 3
        while time.monotonic() < deadline:
            try:
                with open(f"/proc/{pid}/stat", "rb") as stat:
                    # A zombie is gone but for its parent's wait.
                    if stat.read().rsplit(b")", 1)[1].split()[0] == b"Z":
                        return
            except (OSError, IndexError):
                return
            time.sleep(0.05)
