"""Runs Velmora.exe under Wine on a private X server, drives it with keys and
reads what it did: the stand-in winmm's call log and the windows on screen.

The desktop (an Xvfb server and a Wine prefix) is made once per test run by
`setup` and stopped by `cleanup`; a watchdog stops it too if the test runner
dies first. Every scenario runs the program in a folder of its own, with its
own copy of Velmora.exe, the stand-in winmm.dll and its settings, and
(optionally) a Velmora.cfg.
"""

import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import time
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent.parent / "xvfb"))
from x_server import start_xvfb  # noqa: E402  (shared with the bench)

DIALOG_TITLE = "Velmora "
STATE_FILE = "desktop.json"
SCREEN = (1024, 768)
HANDLE_BASE = 0x5100  # the stand-in's handle of device 0
# Waits are this many times longer on a slow machine, such as the emulated
# CPU of the virtual machine of tests/vm.
TIME_SCALE = float(os.environ.get("VELMORA_WINE_TIME_SCALE", "1"))

# IDs of the dialog's controls.
IDOK, IDCANCEL = 1, 2
IDC_OUTPUT_COMBO, IDC_CHANNEL_COMBO = 1000, 1001
IDC_OPEN_BUTTON, IDC_RANDOMIZE_BUTTON, IDC_ABOUT_BUTTON = 1002, 1003, 1005
MESSAGE_TEXT_ID = 0xFFFF  # the text of a message box
MESSAGE_ICON_ID = 0x0440  # the icon of a message box


class Failure(Exception):
    """A check failed; the message says what was expected and what was seen."""


def log_note(text):
    print(text, flush=True)


# --------------------------------------------------------------------------
# Processes: started with their output in files (never in the test runner's
# pipes, or it would wait for them), stopped by PID.


def process_start_time(pid):
    """The kernel's start time of a process, to tell it from a later one that
    reuses its PID; None when there is no such process."""
    try:
        with open(f"/proc/{pid}/stat", "rb") as stat:
            fields = stat.read().rsplit(b")", 1)[1].split()
        return int(fields[19])
    except (OSError, IndexError, ValueError):
        return None


def is_running(pid, start_time):
    return pid > 0 and process_start_time(pid) == start_time


def stop_process(pid, start_time, grace=5.0):
    if not is_running(pid, start_time):
        return
    for sig, wait in ((signal.SIGTERM, grace), (signal.SIGKILL, 5.0)):
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + wait
        while time.monotonic() < deadline:
            # Our own children are reaped here; others vanish by themselves.
            try:
                os.waitpid(pid, os.WNOHANG)
            except ChildProcessError:
                pass
            state = _process_state(pid)
            if state is None or state == "Z" or process_start_time(pid) != start_time:
                return
            time.sleep(0.05)


def _process_state(pid):
    try:
        with open(f"/proc/{pid}/stat", "rb") as stat:
            return stat.read().rsplit(b")", 1)[1].split()[0].decode()
    except (OSError, IndexError):
        return None


def find_tool(name):
    path = shutil.which(name)
    if path is None:
        raise Failure(f"{name} is not installed; run scripts/install-deps")
    return path


# --------------------------------------------------------------------------
# The desktop: Xvfb, the Wine prefix and the watchdog.


def wine_environment(state, extra_overrides="", alsa=False):
    env = dict(os.environ)
    env.update(
        DISPLAY=state["display"],
        WINEPREFIX=state["prefix"],
        WINEARCH="win64",
        WINEDEBUG="-all",
        # No Mono or Gecko installers, no menu entries in $HOME, no ALSA probing
        # (but where Wine's own MIDI over ALSA is the point).
        WINEDLLOVERRIDES=";".join(
            filter(None, ["mscoree,mshtml=", "winemenubuilder.exe=d",
                          "" if alsa else "winealsa.drv=d", extra_overrides])),
    )
    env.pop("WAYLAND_DISPLAY", None)
    return env


def run_wine_tool(state, arguments, log_path, timeout):
    with open(log_path, "ab") as log:
        result = subprocess.run(arguments, env=wine_environment(state), stdin=subprocess.DEVNULL,
                                stdout=log, stderr=subprocess.STDOUT, timeout=timeout,
                                check=False)
    if result.returncode != 0:
        raise Failure(f"{' '.join(arguments)} failed with {result.returncode}; see {log_path}")


def start_desktop_xvfb(run_dir):
    try:
        return start_xvfb(run_dir / "xvfb.log", f"{SCREEN[0]}x{SCREEN[1]}")
    except (RuntimeError, subprocess.TimeoutExpired) as failure:
        raise Failure(f"{failure}; see {run_dir / 'xvfb.log'}") from None


def read_state(run_dir):
    try:
        return json.loads((run_dir / STATE_FILE).read_text())
    except (OSError, ValueError):
        return None


def teardown(state, run_dir):
    """Stops everything the desktop `state` describes; safe to call twice."""
    prefix = Path(state["prefix"])
    if (prefix / "system.reg").exists():
        # Ends every Wine process of this prefix, and its server; no other.
        try:
            run_wine_tool(state, [find_tool("wineserver"), "-k"], run_dir / "wine-setup.log", 30)
        except (Failure, subprocess.TimeoutExpired):
            pass
    stop_process(state["xvfb_pid"], state["xvfb_start"])
    watchdog = state.get("watchdog_pid")
    if watchdog and watchdog != os.getpid():
        stop_process(watchdog, state.get("watchdog_start"), grace=1.0)
    if not state.get("prefix_made_before"):
        shutil.rmtree(prefix, ignore_errors=True)
    try:
        if read_state(run_dir) == state:
            (run_dir / STATE_FILE).unlink()
    except OSError:
        pass


def setup(run_dir, watchdog_command, owner):
    """Makes the desktop for one test run and records it in the run folder."""
    run_dir.mkdir(parents=True, exist_ok=True)
    leftover = read_state(run_dir)
    if leftover is not None:
        log_note("stopping the desktop of an earlier run that was not cleaned up")
        teardown(leftover, run_dir)
    # A prefix made beforehand (VELMORA_WINE_PREFIX) saves wineboot, which
    # takes minutes on an emulated CPU; it is used as it is and kept.
    made_before = os.environ.get("VELMORA_WINE_PREFIX")
    prefix = Path(made_before) if made_before else run_dir / "prefix"
    if not made_before:
        if (prefix / "system.reg").exists():
            # A prefix left behind without its record may still have a server.
            subprocess.run([find_tool("wineserver"), "-k"],
                           env=dict(os.environ, WINEPREFIX=str(prefix)),
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30, check=False)
        shutil.rmtree(prefix, ignore_errors=True)
    for log in ("wine-setup.log", "xvfb.log"):
        (run_dir / log).unlink(missing_ok=True)

    started = time.monotonic()
    xvfb_pid, display = start_desktop_xvfb(run_dir)
    state = {"display": display, "xvfb_pid": xvfb_pid,
             "xvfb_start": process_start_time(xvfb_pid), "prefix": str(prefix),
             "prefix_made_before": bool(made_before),
             "token": f"{os.getpid()}-{time.time()}"}
    (run_dir / STATE_FILE).write_text(json.dumps(state))
    try:
        watchdog = subprocess.Popen(
            watchdog_command + ["--parent", str(owner), "--token", state["token"]],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        state.update(watchdog_pid=watchdog.pid, watchdog_start=process_start_time(watchdog.pid))
        (run_dir / STATE_FILE).write_text(json.dumps(state))

        log_path = run_dir / "wine-setup.log"
        wine, wineserver = find_tool("wine"), find_tool("wineserver")
        if not made_before:
            run_wine_tool(state, [wine, "wineboot", "--init"], log_path, 120)
            run_wine_tool(state, [wineserver, "-w"], log_path, 60)
        # Without a window manager Wine waits for one at every window close.
        run_wine_tool(state, [wine, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v",
                              "Managed", "/t", "REG_SZ", "/d", "N", "/f"], log_path, 60)
        run_wine_tool(state, [wineserver, "-w"], log_path, 60)
        # Debian's Wine does not look in its own font folder.
        fonts = prefix / "drive_c" / "windows" / "Fonts"
        fonts.mkdir(parents=True, exist_ok=True)
        for font in ("tahoma.ttf", "tahomabd.ttf", "marlett.ttf", "ms_sans_serif.ttf"):
            source = Path("/usr/share/wine/fonts") / font
            if source.exists():
                shutil.copy(source, fonts / font)
        # One server for the whole run, instead of one started per program.
        run_wine_tool(state, [wineserver, "-p"], log_path, 30)
    except BaseException:
        teardown(state, run_dir)
        raise
    log_note(f"desktop {display} and prefix {prefix} ready in "
             f"{time.monotonic() - started:.1f} s")


def cleanup(run_dir):
    state = read_state(run_dir)
    if state is None:
        log_note("no desktop to stop")
        return
    teardown(state, run_dir)
    log_note(f"stopped desktop {state['display']}")


def watchdog(run_dir, parent, token, limit=1800):
    """Stops the desktop when the test runner that made it is gone."""
    parent_start = process_start_time(parent)
    deadline = time.monotonic() + limit
    while True:
        time.sleep(1)
        state = read_state(run_dir)
        if state is None or state.get("token") != token:
            return
        if not is_running(parent, parent_start) or time.monotonic() > deadline:
            teardown(state, run_dir)
            return


# --------------------------------------------------------------------------
# Pictures: the X server's screen as RGB, and PNG files written with zlib.


class Picture:
    def __init__(self, width, height, pixels):
        self.width, self.height, self.pixels = width, height, pixels

    def crop(self, left, top, right, bottom):
        left, top = max(0, left), max(0, top)
        right, bottom = min(self.width, right), min(self.height, bottom)
        rows = [self.pixels[(y * self.width + left) * 3:(y * self.width + right) * 3]
                for y in range(top, bottom)]
        return Picture(right - left, bottom - top, b"".join(rows))

    def colour_counts(self):
        """Numbers of strongly red and strongly blue pixels."""
        red = blue = 0
        p = self.pixels
        for i in range(0, len(p), 3):
            r, g, b = p[i], p[i + 1], p[i + 2]
            if r >= 160 and g <= 100 and b <= 100:
                red += 1
            elif b >= 140 and r <= 120 and b > g + 30:
                blue += 1
        return red, blue

    def save_png(self, path):
        row = self.width * 3
        raw = b"".join(b"\0" + self.pixels[y * row:(y + 1) * row] for y in range(self.height))

        def chunk(kind, data):
            return (struct.pack(">I", len(data)) + kind + data
                    + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

        Path(path).write_bytes(
            b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def capture_screen(env):
    data = subprocess.run([find_tool("import"), "-window", "root", "-depth", "8", "ppm:-"],
                          env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=20,
                          check=True).stdout
    # P6 <width> <height> <maximum> then one white-space byte, then the pixels.
    fields = []
    position = 0
    while len(fields) < 4:
        while data[position:position + 1].isspace():
            position += 1
        if data[position:position + 1] == b"#":
            position = data.index(b"\n", position)
            continue
        end = position
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[position:end])
        position = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise Failure(f"unexpected screenshot format {fields}")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[position + 1:position + 1 + width * height * 3]
    return Picture(width, height, pixels)


# --------------------------------------------------------------------------
# What is on screen: the probe's view of the dialogs and message boxes.


class Window:
    def __init__(self, data):
        self.data = data
        self.title = data["title"]
        self.hwnd = data["hwnd"]
        self.controls = data["controls"]

    def __getattr__(self, name):
        try:
            return self.data[name]
        except KeyError:
            raise AttributeError(name) from None

    def control(self, control_id):
        found = [c for c in self.controls if c["id"] == control_id]
        if len(found) != 1:
            raise Failure(f"window {self.title!r} has {len(found)} controls with ID {control_id}")
        return found[0]

    def controls_of(self, class_name):
        return [c for c in self.controls if c["class"].lower() == class_name.lower()]

    def focus_id(self):
        for c in self.controls:
            if c["hwnd"] == self.focus:
                return c["id"]
        return None

    def message_text(self):
        return self.control(MESSAGE_TEXT_ID)["text"]


class Screen:
    def __init__(self, data):
        self.windows = [Window(w) for w in data["windows"]]

    def titled(self, title):
        return [w for w in self.windows if w.title == title]

    def dialog(self):
        found = self.titled(DIALOG_TITLE)
        if len(found) != 1:
            raise Failure(f"expected one dialog titled {DIALOG_TITLE!r}, found {len(found)}: "
                          f"{self.summary()}")
        return found[0]

    def message_boxes(self):
        return [w for w in self.windows if w.title != DIALOG_TITLE and w.visible]

    def summary(self):
        return "; ".join(f"{w.title!r} visible={w.visible} enabled={w.enabled}"
                         for w in self.windows) or "no windows"


class Probe:
    """A window-probe.exe that answers one line of JSON per request."""

    def __init__(self, probe_exe, env, stderr_path):
        with open(stderr_path, "ab") as errors:
            self.process = subprocess.Popen(
                [find_tool("wine"), str(probe_exe), "-"], env=env, stdin=subprocess.PIPE,
                stdout=subprocess.PIPE, stderr=errors)
        self.start_time = process_start_time(self.process.pid)

    def look(self):
        try:
            self.process.stdin.write(b"look\n")
            self.process.stdin.flush()
            line = self.process.stdout.readline()
        except BrokenPipeError:
            line = b""
        if not line:
            raise Failure("window-probe.exe ended unexpectedly")
        return Screen(json.loads(line.decode("latin-1")))

    def stop(self):
        try:
            self.process.stdin.close()
            self.process.wait(timeout=10)
        except (subprocess.TimeoutExpired, OSError):
            stop_process(self.process.pid, self.start_time)
            self.process.wait()


# --------------------------------------------------------------------------
# The stand-in winmm's log.

CALL = re.compile(r"^(\w+)\((.*)\) = (\d+)(?: (.*))?$")


class Call:
    def __init__(self, line):
        self.line = line
        match = CALL.match(line)
        if match is None:
            self.name, self.arguments, self.result, self.extra = line.split(" ")[0], {}, None, {}
            return
        self.name = match.group(1)
        self.arguments = dict(pair.split("=", 1) for pair in match.group(2).split(", ") if pair)
        self.result = int(match.group(3))
        self.extra = dict(pair.split("=", 1) for pair in (match.group(4) or "").split(" ")
                          if "=" in pair)

    def number(self, key):
        return int(self.arguments[key], 0)

    def __repr__(self):
        return self.line


# --------------------------------------------------------------------------
# One run of the program.


class Program:
    """One run of Velmora.exe: a copy of it in a folder of its own, or, given
    `installed_folder`, the program where it lies (an unpacked download)."""

    def __init__(self, context, name, devices, failing_caps=None, refused_open=None,
                 configuration=None, installed_folder=None, real_winmm=False):
        self.context = context
        self.name = name
        # Wine's own winmm, with its ALSA driver, or the stand-in beside the
        # program.
        self.env = (wine_environment(context.state, alsa=True) if real_winmm else
                    wine_environment(context.state, "winmm=n,b"))
        if installed_folder is None:
            self.folder = context.run_dir / "scenarios" / name
            shutil.rmtree(self.folder, ignore_errors=True)
            self.folder.mkdir(parents=True)
            shutil.copy(context.velmora_exe, self.folder / "Velmora.exe")
        else:
            self.folder = Path(installed_folder)
        if not real_winmm:
            shutil.copy(context.winmm_dll, self.folder / "winmm.dll")
            settings = [f"devices={devices}"]
            if failing_caps is not None:
                settings.append(f"failing_caps={failing_caps}")
            if refused_open is not None:
                settings.append(f"refused_open={refused_open}")
            (self.folder / "stand-in-winmm.ini").write_text("\n".join(settings) + "\n")
        if configuration is not None:
            (self.folder / "Velmora.cfg").write_bytes(configuration)
        self.log_path = self.folder / "stand-in-winmm.log"
        self.process = None
        self.probe = None
        self.read_calls = 0  # calls already looked at by `new_calls`

    # -- running --

    def start(self):
        # The pointer out of the way of the dialog and of the screenshots.
        subprocess.run([find_tool("xdotool"), "mousemove", str(SCREEN[0] - 1), str(SCREEN[1] - 1)],
                       env=self.env, stdin=subprocess.DEVNULL, capture_output=True, timeout=15,
                       check=True)
        with open(self.folder / "wine.log", "ab") as output:
            self.process = subprocess.Popen([find_tool("wine"), "Velmora.exe"], cwd=self.folder,
                                            env=self.env, stdin=subprocess.DEVNULL,
                                            stdout=output, stderr=subprocess.STDOUT)
        self.start_time = process_start_time(self.process.pid)
        self.probe = Probe(self.context.probe_exe, self.env, self.folder / "probe.log")

    def stop(self):
        """Ends whatever is left of this run; used after failures too."""
        if self.process is not None and self.process.poll() is None:
            stop_process(self.process.pid, self.start_time, grace=2.0)
            self.process.wait()
        if self.probe is not None:
            self.probe.stop()
            self.probe = None

    def wait_exit(self, timeout=15):
        try:
            code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"{self.name}: the program did not end within {timeout} s; "
                          f"windows: {self.look().summary()}") from None
        if code != 0:
            raise Failure(f"{self.name}: the program ended with exit code {code}, expected 0")

    # -- looking --

    def look(self):
        return self.probe.look()

    def calls(self):
        try:
            text = self.log_path.read_bytes().decode("latin-1")
        except FileNotFoundError:
            return []
        # A line still being written has no line end yet.
        return [Call(line) for line in text.split("\n")[:-1]]

    def midi_calls(self):
        return [c for c in self.calls() if c.name.startswith("midiOut")]

    def wait_for(self, description, condition, timeout=10.0, interval=0.05):
        """Polls `condition` (returning a true value when met) until the deadline."""
        timeout *= TIME_SCALE
        deadline = time.monotonic() + timeout
        while True:
            ended = self.process.poll() is not None
            result = condition()
            if result:
                return result
            if ended:
                raise Failure(f"{self.name}: the program ended (exit code "
                              f"{self.process.returncode}) while waiting for {description}; "
                              f"last calls: {self.midi_calls()[-5:]}")
            if time.monotonic() > deadline:
                raise Failure(f"{self.name}: timed out after {timeout} s waiting for "
                              f"{description}; windows: {self.look().summary()}; "
                              f"last calls: {self.midi_calls()[-5:]}")
            time.sleep(interval)

    def wait_for_screen(self, description, condition, timeout=10.0):
        """Polls the windows until `condition(screen)` returns a true value."""
        found = []

        def check():
            screen = self.look()
            value = condition(screen)
            if value:
                found.append(value)
            return value

        self.wait_for(description, check, timeout)
        return found[-1]

    def wait_for_calls(self, description, condition, timeout=10.0):
        """Waits until `condition(new calls)` holds for the calls that arrived
        since the last `take_calls`."""
        return self.wait_for(description,
                             lambda: condition(self.midi_calls()[self.read_calls:]), timeout)

    def take_calls(self):
        """The MIDI calls since the previous take."""
        calls = self.midi_calls()
        new = calls[self.read_calls:]
        self.read_calls = len(calls)
        return new

    def dialog(self):
        return self.look().dialog()

    # -- doing --

    def keys(self, window, *keys):
        """Sends keys to a window (dialog or message box) through the X server,
        as a user's key presses."""
        xdotool = find_tool("xdotool")
        subprocess.run([xdotool, "windowfocus", "--sync", str(window.x11), "key", "--delay", "30",
                        *keys], env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=15, check=True)

    def click(self, x, y):
        subprocess.run([find_tool("xdotool"), "mousemove", "--sync", str(x), str(y), "click", "1"],
                       env=self.env, stdin=subprocess.DEVNULL, capture_output=True, timeout=15,
                       check=True)

    def screenshot(self, name, window):
        """Saves the window (by its rectangle on screen) once its picture stops
        changing, and returns the whole screen's picture."""
        left, top, right, bottom = window.rect
        previous = None
        deadline = time.monotonic() + 5
        while True:
            screen = capture_screen(self.env)
            picture = screen.crop(left, top, right, bottom)
            if picture.pixels == previous or time.monotonic() > deadline:
                break
            previous = picture.pixels
            time.sleep(0.1)
        shots = self.context.run_dir / "screenshots"
        shots.mkdir(exist_ok=True)
        picture.save_png(shots / f"{name}.png")
        screen.save_png(shots / f"{name}-screen.png")
        return screen
