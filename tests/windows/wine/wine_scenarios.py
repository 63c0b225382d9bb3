#!/usr/bin/env python3
"""End-to-end scenarios of Velmora.exe under Wine, driven with the keyboard.

  wine_scenarios.py OPTIONS setup          make the desktop (Xvfb + Wine prefix)
  wine_scenarios.py OPTIONS run NAME...    run scenarios on that desktop
  wine_scenarios.py OPTIONS cleanup        stop the desktop
  wine_scenarios.py OPTIONS all            all three, stopping the desktop whatever happens

OPTIONS: --run-dir DIR --velmora Velmora.exe --winmm winmm.dll --probe window-probe.exe
Screenshots go to DIR/screenshots, each scenario's files to DIR/scenarios/NAME.
"""

import argparse
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import wine_harness as wine  # noqa: E402
from wine_harness import (IDCANCEL, IDC_ABOUT_BUTTON, IDC_CHANNEL_COMBO,  # noqa: E402
                          IDC_OPEN_BUTTON, IDC_OUTPUT_COMBO, IDC_RANDOMIZE_BUTTON, IDOK,
                          MESSAGE_ICON_ID, Failure)

CONFIGURATION_MISSING = (
    "Can't find the configuration file Velmora.cfg. Please check that it is installed in the "
    "same directory as this program. You should quit now, 'cos I can't do anything without "
    "that file.")
NO_OUTPUT_SELECTED = "Can't open MIDI output, because no output has been selected."
OUTPUT_IN_USE = "Can't open MIDI output, something else has probably already opened it."
NO_OUTPUT_OPEN = "Can't Randomize, you haven't opened a MIDI port yet."

# A configuration as a Windows user writes it (CR LF line ends), with a comment
# and an empty line that make no parameter. Ranges stay within 0 to 127.
CONFIGURATION = (b"# Stand-in synthesizer\r\n"
                 b"Cutoff      74   0 127\r\n"
                 b"\r\n"
                 b"Resonance   71  20  40\r\n"
                 b"Attack      73  64  64\r\n"
                 b"Release     72   0   1\r\n"
                 b"Pan         10  32  96\r\n")
PARAMETERS = [("Cutoff", 74, 0, 127), ("Resonance", 71, 20, 40), ("Attack", 73, 64, 64),
              ("Release", 72, 0, 1), ("Pan", 10, 32, 96)]

# The dialog's tab order: its template order, without the group box and icons.
TAB_ORDER = [IDC_OPEN_BUTTON, IDC_RANDOMIZE_BUTTON, IDC_ABOUT_BUTTON, IDCANCEL, IDC_OUTPUT_COMBO,
             IDC_CHANNEL_COMBO]


def check(condition, message):
    if not condition:
        raise Failure(message)


def handle_of(device):
    return wine.HANDLE_BASE + device


# --------------------------------------------------------------------------
# Checks shared by the scenarios.


def allowed_values(minimum, maximum):
    """The data bytes a parameter's value can arrive as: minimum + 1 to
    maximum, or the value itself when both are equal."""
    values = [minimum] if minimum == maximum else range(minimum + 1, maximum + 1)
    return {value & 0x7F for value in values}


def check_randomize_pass(calls, handle, channel, what):
    """One message per parameter, in file order, on the channel, to the handle;
    returns the values sent."""
    names = [c.name for c in calls]
    check(names == ["midiOutShortMsg"] * len(PARAMETERS),
          f"{what}: expected {len(PARAMETERS)} midiOutShortMsg calls, got {calls}")
    values = []
    for call, (label, controller, minimum, maximum) in zip(calls, PARAMETERS):
        message = call.number("message")
        status, data1, data2 = message & 0xFF, (message >> 8) & 0xFF, (message >> 16) & 0xFF
        context = f"{what}, parameter {label}: {call}"
        check(call.number("handle") == handle, f"{context}: expected handle {handle:#x}")
        check(call.result == 0, f"{context}: the stand-in refused the message")
        check(status == 0xB0 | channel,
              f"{context}: expected status {0xB0 | channel:#04x} (channel index {channel})")
        check(data1 == controller, f"{context}: expected controller {controller}")
        check(data2 in allowed_values(minimum, maximum),
              f"{context}: value {data2} outside {minimum + 1 if minimum < maximum else minimum}"
              f"..{maximum}")
        check(message >> 24 == 0, f"{context}: expected a 3-byte message")
        values.append(data2)
    return values


def expect_no_new_calls(program, what):
    calls = program.take_calls()
    check(calls == [], f"{what}: unexpected calls {calls}")


def randomize(program, keys, handle, channel, what):
    """Presses `keys` on the dialog and checks the Randomize pass it makes."""
    expect_no_new_calls(program, f"before {what}")
    program.keys(program.dialog(), *keys)
    program.wait_for_calls(f"{what}: {len(PARAMETERS)} messages",
                           lambda new: len(new) >= len(PARAMETERS))
    return check_randomize_pass(program.take_calls(), handle, channel, what)


def expect_calls(program, keys, expected, what):
    """Presses keys and waits for exactly the expected calls (name, checks)."""
    program.keys(program.dialog(), *keys)
    program.wait_for_calls(what, lambda new: len(new) >= len(expected))
    calls = program.take_calls()
    check([c.name for c in calls] == [name for name, _ in expected],
          f"{what}: expected calls {[name for name, _ in expected]}, got {calls}")
    for call, (_, arguments) in zip(calls, expected):
        for key, value in arguments.items():
            if key == "result":
                actual = call.result
            elif key in call.arguments:
                actual = call.number(key)
            else:
                actual = int(call.extra.get(key, "-1"), 0)
            check(actual == value, f"{what}: {call}: expected {key}={value}")
    return calls


def open_output(program, device, keys=("alt+o",)):
    expect_calls(program, keys, [("midiOutOpen", {
        "device": device, "callback": 0, "instance": 0, "flags": 0, "result": 0,
        "handle": handle_of(device)})], f"Open of device {device}")
    program.wait_for_screen("the dialog in its Open state", lambda s: is_open_state(s.dialog()))
    check_state(program.dialog(), is_open=True)


def close_output(program, device):
    expect_calls(program, ["alt+c"], [("midiOutClose", {
        "handle": handle_of(device), "result": 0})], f"Close of device {device}")
    program.wait_for_screen("the dialog in its Closed state",
                            lambda s: not is_open_state(s.dialog()))
    check_state(program.dialog(), is_open=False)


def is_open_state(dialog):
    return dialog.control(IDC_OPEN_BUTTON)["text"] == "&Close MIDI"


def check_state(dialog, is_open):
    """The Open button's text and which lists are enabled, in Open or Closed."""
    state = "Open" if is_open else "Closed"
    expected_text = "&Close MIDI" if is_open else "&Open MIDI"
    text = dialog.control(IDC_OPEN_BUTTON)["text"]
    check(text == expected_text, f"{state} state: Open button reads {text!r}")
    check(dialog.control(IDC_OUTPUT_COMBO)["enabled"] != is_open,
          f"{state} state: output list should be {'disabled' if is_open else 'enabled'}")
    for control_id in (IDC_CHANNEL_COMBO, IDC_RANDOMIZE_BUTTON, IDC_ABOUT_BUTTON, IDCANCEL,
                       IDC_OPEN_BUTTON):
        check(dialog.control(control_id)["enabled"],
              f"{state} state: control {control_id} should be enabled")


def check_controls(dialog, outputs, channel_index=0):
    """The texts of the dialog and its lists: `outputs` as (name, device ID)."""
    texts = {IDC_RANDOMIZE_BUTTON: "&Randomize (F1)", IDC_ABOUT_BUTTON: "&About",
             IDCANCEL: "&Quit"}
    for control_id, text in texts.items():
        actual = dialog.control(control_id)["text"]
        check(actual == text, f"control {control_id} reads {actual!r}, expected {text!r}")
    groups = [c for c in dialog.controls_of("Button") if c["text"] == "MIDI Output / Channel"]
    check(len(groups) == 1, "expected the group box 'MIDI Output / Channel'")
    output_list = dialog.control(IDC_OUTPUT_COMBO)
    items = [(item["text"], item["data"]) for item in output_list["items"]]
    check(items == outputs, f"output list holds {items}, expected {outputs}")
    expected_selection = 0 if outputs else -1
    check(output_list["selected"] == expected_selection,
          f"output list selection {output_list['selected']}, expected {expected_selection}")
    channels = dialog.control(IDC_CHANNEL_COMBO)
    names = [item["text"] for item in channels["items"]]
    expected_names = [f"MIDI Channel {n}" for n in range(1, 17)]
    check(names == expected_names, f"channel list holds {names}")
    check(channels["selected"] == channel_index,
          f"channel list selection {channels['selected']}, expected {channel_index}")


def wait_for_dialog(program):
    return program.wait_for_screen(
        "the dialog, shown and enabled",
        lambda s: [w for w in s.titled(wine.DIALOG_TITLE) if w.visible and w.enabled
                   and not s.message_boxes()])


def check_listing(calls, devices, failing_caps=None):
    """Listing asks for the device count before every turn, and the
    capabilities of every device with the record's size."""
    expected = []
    for device in range(devices):
        expected += [("midiOutGetNumDevs", None), ("midiOutGetDevCapsA", device)]
    expected.append(("midiOutGetNumDevs", None))
    actual = [(c.name, c.number("device") if c.name == "midiOutGetDevCapsA" else None)
              for c in calls]
    check(actual == expected, f"listing with {devices} devices: expected {expected}, got {calls}")
    for call in calls:
        if call.name == "midiOutGetNumDevs":
            check(call.result == devices, f"{call}: expected {devices}")
        else:
            check(call.number("size") == 52, f"{call}: expected the 52-byte MIDIOUTCAPSA")
            expected_result = 0 if call.number("device") != failing_caps else 6
            check(call.result == expected_result, f"{call}: expected result {expected_result}")


def expect_message_box(program, keys, caption, text, icon, shot, before_dialog=False,
                       on_seen=None):
    """Presses keys on the dialog (none: the box comes by itself), then checks
    the one message box: caption, text, owner, one OK button, icon colour; and
    dismisses it with Enter. `on_seen` is called while the box is up."""
    if keys:
        program.keys(program.dialog(), *keys)
    screen = program.wait_for_screen(f"message box {caption!r}", lambda s: s.message_boxes() and s)
    boxes = screen.message_boxes()
    check(len(boxes) == 1, f"expected one message box, found {screen.summary()}")
    box = boxes[0]
    what = f"message box {caption!r} ({shot})"
    if on_seen is not None:
        on_seen()
    check(box.title == caption, f"{what}: caption is {box.title!r}")
    dialog = screen.dialog()
    check(box.owner == dialog.hwnd, f"{what}: not owned by the dialog")
    check(not dialog.enabled, f"{what}: the dialog is not disabled while the box is up")
    check(dialog.visible != before_dialog,
          f"{what}: dialog {'already' if before_dialog else 'not'} shown")
    actual = box.message_text()
    if callable(text):
        check(text(actual), f"{what}: unexpected text {actual!r}")
    else:
        check(actual == text, f"{what}: text {actual!r}, expected {text!r}")
    buttons = [(c["id"], c["text"]) for c in box.controls_of("Button") if c["visible"]]
    check(buttons == [(IDOK, "OK")], f"{what}: buttons {buttons}, expected only OK")
    # The icon is drawn by the platform: error is red, information blue.
    icon_control = box.control(MESSAGE_ICON_ID)
    check(icon_control["visible"], f"{what}: no icon shown")
    screen_picture = program.screenshot(shot, box)
    red, blue = screen_picture.crop(*icon_control["rect"]).colour_counts()
    if icon == "error":
        check(red >= 100 and blue < 20, f"{what}: icon is not the error icon (red {red}, "
              f"blue {blue} pixels)")
    else:
        check(blue >= 100 and red < 20, f"{what}: icon is not the information icon (red {red}, "
              f"blue {blue} pixels)")
    program.keys(box, "Return")
    wait_for_dialog(program)
    return box


def tab_cycle(program, skipped=()):
    """Presses Tab round the dialog once and checks that the focus follows the
    template order, leaving out `skipped` controls."""
    order = [c for c in TAB_ORDER if c not in skipped]
    start = program.dialog().focus_id()
    check(start in order, f"focus on {start}, expected one of {order} before Tab")
    focus = start
    for _ in order:
        expected = order[(order.index(focus) + 1) % len(order)]
        program.keys(program.dialog(), "Tab")
        program.wait_for_screen(f"Tab from {focus} to {expected}",
                                lambda s, f=focus: s.dialog().focus_id() != f)
        focus = program.dialog().focus_id()
        check(focus == expected, f"Tab: focus went to {focus}, expected {expected}")


def focus_control(program, control_id):
    """Moves the focus to a control with Tab, as a user would."""
    for _ in TAB_ORDER:
        focus = program.dialog().focus_id()
        if focus == control_id:
            return
        program.keys(program.dialog(), "Tab")
        program.wait_for_screen("the focus to move", lambda s, f=focus: s.dialog().focus_id() != f)
    raise Failure(f"could not reach control {control_id} with Tab")


def select(program, control_id, key, index):
    """Changes a list's selection with an arrow key while it has the focus."""
    focus_control(program, control_id)
    program.keys(program.dialog(), key)
    screen = program.wait_for_screen(
        f"entry {index} selected in list {control_id}",
        lambda s: s.dialog().control(control_id)["selected"] == index and s)
    check(not screen.message_boxes(), f"changing list {control_id} showed {screen.summary()}")


def quit_with(program, action, open_device, what):
    """Ends the dialog with `action` and checks that an open output was
    closed, and nothing else happened, before the program ended with 0."""
    expect_no_new_calls(program, f"before {what}")
    action()
    program.wait_exit()
    calls = program.take_calls()
    expected = ["midiOutClose"] if open_device is not None else []
    check([c.name for c in calls] == expected, f"{what}: expected calls {expected}, got {calls}")
    if open_device is not None:
        check(calls[0].number("handle") == handle_of(open_device) and calls[0].result == 0,
              f"{what}: {calls[0]}: expected the open device's handle")
    lines = [c.line for c in program.calls()]
    check(lines and lines[-1] == "detach",
          f"{what}: the program did not unload winmm: {lines[-3:]}")


def click_close_box(program):
    dialog = program.dialog()
    check(dialog.close_box is not None, "the dialog has no close box")
    program.click(*dialog.close_box)


# --------------------------------------------------------------------------
# Scenarios.


def missing_configuration(context):
    """No Velmora.cfg: the error comes before the dialog, then the dialog works
    with no parameters."""
    program = wine.Program(context, "missing_configuration", devices=2)
    with running(program):
        # The configuration is read before any device is listed.
        expect_message_box(program, None, "Error", CONFIGURATION_MISSING, "error",
                           "configuration-missing", before_dialog=True,
                           on_seen=lambda: check(program.midi_calls() == [],
                                                 f"winmm called before the configuration "
                                                 f"message: {program.midi_calls()}"))
        listing = program.take_calls()
        check_listing(listing, 2)
        check_controls(program.dialog(), [("Stand-in Synth 0", 0), ("Stand-in Synth 1", 1)])
        open_output(program, 0)
        # F1 and the button send nothing; Close proves both were handled first.
        expect_calls(program, ["F1", "alt+r", "alt+c"],
                     [("midiOutClose", {"handle": handle_of(0), "result": 0})],
                     "F1 and Randomize with no parameters, then Close")
        quit_with(program, lambda: program.keys(program.dialog(), "alt+q"), None, "Quit")


def randomize_outputs_and_channels(context):
    program = wine.Program(context, "randomize", devices=4, failing_caps=1, refused_open=3,
                           configuration=CONFIGURATION)
    with running(program):
        wait_for_dialog(program)
        check_listing(program.take_calls(), 4, failing_caps=1)
        dialog = program.dialog()
        outputs = [("Stand-in Synth 0", 0), ("Stand-in Synth 2", 2), ("Stand-in Synth 3", 3)]
        check_controls(dialog, outputs)
        check_state(dialog, is_open=False)
        program.screenshot("dialog-closed", dialog)
        tab_cycle(program)

        # The second entry is device 2: the failed device 1 is not listed.
        select(program, IDC_OUTPUT_COMBO, "Down", 1)
        open_output(program, 2)
        program.screenshot("dialog-open", program.dialog())
        values = randomize(program, ["F1"], handle_of(2), 0, "F1 on channel 1")
        values += randomize(program, ["alt+r"], handle_of(2), 0, "Randomize on channel 1")
        # While open, the output list is disabled, so Tab passes it by.
        tab_cycle(program, skipped=[IDC_OUTPUT_COMBO])

        # A new channel takes effect at the next Randomize; F1 works while the
        # list has the focus.
        select(program, IDC_CHANNEL_COMBO, "Down", 1)
        select(program, IDC_CHANNEL_COMBO, "Down", 2)
        values += randomize(program, ["F1"], handle_of(2), 2, "F1 on channel 3")
        values += randomize(program, ["alt+r"], handle_of(2), 2, "Randomize on channel 3")
        cutoffs = values[0::len(PARAMETERS)]
        check(len(set(cutoffs)) > 1, f"four passes sent the same Cutoff value {cutoffs}")

        close_output(program, 2)
        select(program, IDC_OUTPUT_COMBO, "Up", 0)
        open_output(program, 0)
        randomize(program, ["alt+r"], handle_of(0), 2, "Randomize on device 0, channel 3")
        quit_with(program, lambda: program.keys(program.dialog(), "alt+q"), 0,
                  "Quit while open")


def refused_device(context):
    program = wine.Program(context, "refused_device", devices=4, failing_caps=1, refused_open=3,
                           configuration=CONFIGURATION)
    with running(program):
        wait_for_dialog(program)
        check_listing(program.take_calls(), 4, failing_caps=1)
        select(program, IDC_OUTPUT_COMBO, "Down", 1)
        select(program, IDC_OUTPUT_COMBO, "Down", 2)
        expect_message_box(program, ["alt+o"], "Error", OUTPUT_IN_USE, "error", "open-refused")
        calls = program.take_calls()
        check([(c.name, c.number("device") if c.arguments else None, c.result) for c in calls]
              == [("midiOutOpen", 3, 4)], f"refused Open: expected one refused midiOutOpen "
              f"of device 3, got {calls}")
        check_state(program.dialog(), is_open=False)
        # The handle stayed null: Randomize still finds no open output.
        expect_message_box(program, ["F1"], "Error", NO_OUTPUT_OPEN, "error", "f1-after-refused")
        expect_message_box(program, ["alt+r"], "Error", NO_OUTPUT_OPEN, "error",
                           "randomize-after-refused")
        expect_no_new_calls(program, "Randomize with no output open")

        select(program, IDC_OUTPUT_COMBO, "Up", 1)
        open_output(program, 2)
        close_output(program, 2)
        open_output(program, 2)
        randomize(program, ["F1"], handle_of(2), 0, "F1 after Close and Open again")
        quit_with(program, lambda: program.keys(program.dialog(), "Escape"), 2,
                  "Escape while open")


def no_devices(context):
    program = wine.Program(context, "no_devices", devices=0, configuration=CONFIGURATION)
    with running(program):
        wait_for_dialog(program)
        check_listing(program.take_calls(), 0)
        check_controls(program.dialog(), [])
        expect_message_box(program, ["alt+o"], "Error", NO_OUTPUT_SELECTED, "error",
                           "open-no-output")
        expect_message_box(program, ["F1"], "Error", NO_OUTPUT_OPEN, "error", "f1-not-open")
        expect_message_box(program, ["alt+r"], "Error", NO_OUTPUT_OPEN, "error",
                           "randomize-not-open")

        def about_text(text):
            lines = text.split("\n")
            return len(lines) == 4 and lines[:2] == ["Velmora", "Version 2"] and all(lines[2:])

        expect_message_box(program, ["alt+a"], "About", about_text, "information", "about")
        expect_no_new_calls(program, "messages with no output")
        quit_with(program, lambda: click_close_box(program), None, "close box")


def enter_and_close_box(context):
    """Enter leaves the dialog open; its close box ends it and closes the output.
    The program's folder has a name that no ANSI code page holds whole."""
    program = wine.Program(context, "enter_and_close_box in Dan’s Synth – Łódź Синт", devices=1,
                           configuration=CONFIGURATION)
    with running(program):
        wait_for_dialog(program)
        check_listing(program.take_calls(), 1)
        open_output(program, 0)
        focus_control(program, IDC_CHANNEL_COMBO)
        # Enter with no push button focused is IDOK; the F1 after it still
        # finds the dialog, and its output, there.
        randomize(program, ["Return", "F1"], handle_of(0), 0, "F1 after Enter")
        check(program.dialog().visible, "Enter closed the dialog")
        check_state(program.dialog(), is_open=True)
        quit_with(program, lambda: click_close_box(program), 0, "close box while open")


# What Wine's own winmm and ALSA MIDI driver list in the virtual machine of
# tests/vm, with the receiver "synth - input" of this scenario, in Wine's
# order: programs' ports first.
ALSA_OUTPUTS = ["synth - input", "Midi Through Port-0", "VirMIDI 0-0", "VirMIDI 0-1",
                "VirMIDI 0-2", "VirMIDI 0-3", "f_midi - f_midi", "USB Synth - USB Synth MIDI 1"]
RECEIVER = Path(__file__).resolve().parents[2] / "vm" / "alsa_receiver.py"


def real_winmm_alsa(context):
    """Wine's own winmm over ALSA (only in the virtual machine of tests/vm):
    the list shows the sequencer's ports and a pass reaches a receiver."""
    received = context.run_dir / "alsa-received"
    with open(received, "wb") as output:
        receiver = subprocess.Popen(["/usr/bin/python3", str(RECEIVER), "synth", "input"],
                                    stdout=output, stderr=subprocess.DEVNULL)
    def lines():
        return received.read_text().splitlines()

    try:
        deadline = time.monotonic() + 30
        while not lines() and time.monotonic() < deadline:
            time.sleep(0.1)
        check(lines() == ["ready synth:input"], f"the receiver did not start: {lines()}")
        program = wine.Program(context, "real_winmm_alsa", 0, configuration=CONFIGURATION,
                               real_winmm=True)
        with running(program):
            wait_for_dialog(program)
            dialog = program.dialog()
            outputs = [item["text"] for item in dialog.control(IDC_OUTPUT_COMBO)["items"]]
            check(outputs == ALSA_OUTPUTS, f"Wine's ALSA outputs: {outputs}")
            program.keys(program.dialog(), "alt+o")
            program.wait_for_screen("the output open", lambda s: is_open_state(s.dialog()))
            program.keys(program.dialog(), "F1")
            program.wait_for("a pass at the receiver", lambda: len(lines()) > len(PARAMETERS))
            time.sleep(0.5)
            messages = [[int(byte, 16) for byte in line.split()] for line in lines()[1:]]
            check([m[:2] for m in messages] == [[0xB0, c] for _, c, _, _ in PARAMETERS],
                  f"the receiver got {lines()[1:]}")
            for message, (label, _, minimum, maximum) in zip(messages, PARAMETERS):
                check(message[2] in allowed_values(minimum, maximum),
                      f"{label}: value {message[2]} out of range")
            program.keys(program.dialog(), "Escape")
            # Wine's ALSA driver crashes the process as it ends, whether an
            # output was opened or not (docs/PERFORMANCE.md, known limits).
            code = program.process.wait(timeout=15 * wine.TIME_SCALE)
            check(code in (0, -signal.SIGSEGV), f"the program ended with exit code {code}")
            if code != 0:
                print("known limit: Wine's ALSA driver crashed at the end", flush=True)
    finally:
        receiver.terminate()
        receiver.wait()


SCENARIOS = {
    "missing_configuration": missing_configuration,
    "randomize": randomize_outputs_and_channels,
    "refused_device": refused_device,
    "no_devices": no_devices,
    "enter_and_close_box": enter_and_close_box,
    "real_winmm_alsa": real_winmm_alsa,
}


class running:
    """Starts the program; on leaving, ends whatever is left of it, and on a
    failure saves what the screen and the log showed."""

    def __init__(self, program):
        self.program = program

    def __enter__(self):
        self.program.start()
        return self.program

    def __exit__(self, kind, value, traceback):
        if kind is not None:
            try:
                shots = self.program.context.run_dir / "screenshots"
                shots.mkdir(exist_ok=True)
                wine.capture_screen(self.program.env).save_png(
                    shots / f"failed-{self.program.name}.png")
                print(f"windows: {self.program.look().summary()}", file=sys.stderr)
            except Exception as error:  # noqa: BLE001 - diagnostics only
                print(f"(no diagnostics: {error})", file=sys.stderr)
            print(f"log of {self.program.name}:", file=sys.stderr)
            for call in self.program.calls()[-20:]:
                print(f"  {call.line}", file=sys.stderr)
        self.program.stop()
        return False


# --------------------------------------------------------------------------


class Context:
    def __init__(self, arguments):
        self.run_dir = Path(arguments.run_dir).resolve()
        self.velmora_exe = Path(arguments.velmora).resolve()
        self.winmm_dll = Path(arguments.winmm).resolve()
        self.probe_exe = Path(arguments.probe).resolve()
        self.state = None

    def attach(self):
        self.state = wine.read_state(self.run_dir)
        if self.state is None:
            raise Failure(f"no desktop in {self.run_dir}: run 'setup' first")


def run_scenarios(context, names):
    context.attach()
    failed = []
    for name in names:
        started = time.monotonic()
        try:
            SCENARIOS[name](context)
            print(f"PASS {name} ({time.monotonic() - started:.1f} s)", flush=True)
        except Failure as failure:
            print(f"FAIL {name}: {failure}", flush=True)
            failed.append(name)
        except (OSError, subprocess.SubprocessError) as error:
            print(f"FAIL {name}: {error!r}", flush=True)
            failed.append(name)
    return 1 if failed else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--run-dir", required=True)
    parser.add_argument("--velmora", default="Velmora.exe")
    parser.add_argument("--winmm", default="winmm.dll")
    parser.add_argument("--probe", default="window-probe.exe")
    parser.add_argument("--parent", type=int)
    parser.add_argument("--token")
    parser.add_argument("command", choices=["setup", "cleanup", "run", "all", "watchdog"])
    parser.add_argument("scenarios", nargs="*", help=", ".join(SCENARIOS))
    arguments = parser.parse_args()
    unknown = [name for name in arguments.scenarios if name not in SCENARIOS]
    if unknown:
        parser.error(f"unknown scenarios {unknown}; there are {list(SCENARIOS)}")
    context = Context(arguments)

    # A terminated run still stops what it started (the finally blocks).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    watchdog_command = [sys.executable, str(Path(__file__).resolve()), "--run-dir",
                        str(context.run_dir), "watchdog"]
    try:
        if arguments.command == "setup":
            # The desktop lives as long as the test runner that asked for it.
            wine.setup(context.run_dir, watchdog_command, os.getppid())
            return 0
        if arguments.command == "cleanup":
            wine.cleanup(context.run_dir)
            return 0
        if arguments.command == "watchdog":
            wine.watchdog(context.run_dir, arguments.parent, arguments.token)
            return 0
        names = arguments.scenarios or [name for name in SCENARIOS if name != "real_winmm_alsa"]
        if arguments.command == "run":
            return run_scenarios(context, names)
        started = time.monotonic()
        wine.setup(context.run_dir, watchdog_command, os.getpid())
        try:
            return run_scenarios(context, names)
        finally:
            wine.cleanup(context.run_dir)
            print(f"all scenarios: {time.monotonic() - started:.1f} s", flush=True)
    except Failure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
