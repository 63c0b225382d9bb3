#!/usr/bin/python3
"""What F1 presses sound like on a real synthesizer: amsynth over JACK.

    amsynth_presses.py [--every-line | --whole-ranges] VELMORA CONFIGURATION
                       CONTROLLERS PRESSES

Runs amsynth headless on the JACK server named by JACK_DEFAULT_SERVER, with
CONTROLLERS as its controller map, and the real Linux program on a private
Xvfb with CONFIGURATION as its Velmora.cfg (with --every-line, its commented
parameter lines turned on; with --whole-ranges, those too and every range
opened to 0 to 127, as a file that only copies a description's full ranges
would be), its first listed output opened with Alt+O: a
relay port of this script that passes everything on to amsynth's MIDI input
and notes what came. Then, PRESSES times: F1 (through XTEST), and once the
press's Control Changes have reached amsynth, a fresh note (A3) held for a
second while amsynth's output is recorded. Each press is judged:
audible (RMS above -50 dBFS), unclipped (peak below full scale), in tune
(fundamental within 50 cents of the note, octaves allowed); useful is all
three. Diversity is the mean distance between the presses' spectra (third-
octave bands, in dB, each press's level taken off), over the audible ones,
and again over the useful ones: the variety a musician can keep.

Prints one JSON object: the summary and, per press, the values received and
what was measured.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import jack
import numpy

from f1_latency import KeyPresser
from startup_time import start_xvfb, stop

NOTE = 57  # A3, 220 Hz: every octave amsynth's oscillators reach stays audible
VELOCITY = 100
HOLD_SECONDS = 1.0
RELEASE_SECONDS = 0.4  # recorded too: a release can clip
SKIP_SECONDS = 0.05  # the first moments of a note are its click, not its pitch
AUDIBLE_DBFS = -50.0
IN_TUNE_CENTS = 50.0
NOTE_OFF, NOTE_ON, CONTROL_CHANGE = 0x80, 0x90, 0xB0
ALL_SOUND_OFF = 120


class Rig:
    """Two JACK clients between Velmora and amsynth. The player passes on to
    amsynth what Velmora sends it, noting each message, and adds the notes; the
    recorder records amsynth's output. Their callbacks only move bytes and
    samples; everything else happens in the main thread."""

    def __init__(self):
        tag = str(os.getpid())
        self.player = jack.Client("vplay" + tag, no_start_server=True)
        self.recorder = jack.Client("vrec" + tag, no_start_server=True)
        self.rate = self.recorder.samplerate
        # Registered before amsynth starts, so that Velmora lists it first.
        self.relay = self.player.midi_inports.register("synth")
        self.notes = self.player.midi_outports.register("notes")
        self.inputs = [self.recorder.inports.register(side) for side in ("left", "right")]
        self.outgoing = []  # written by the main thread, taken by the player's callback
        self.received = []  # the player's callback appends, the main thread takes; under lock
        self.recording = None  # list of blocks while recording, set by the main thread
        self.lock = threading.Lock()
        self.player.set_process_callback(self._play)
        self.recorder.set_process_callback(self._record)
        self.player.activate()
        self.recorder.activate()

    def connect(self, synth):
        self.player.connect(self.notes, synth + ":midi_in")
        for side, port in zip(("L out", "R out"), self.inputs):
            self.recorder.connect(f"{synth}:{side}", port)

    def _play(self, frames):
        self.notes.clear_buffer()
        for offset, data in self.relay.incoming_midi_events():
            message = bytes(data)
            self.notes.write_midi_event(offset, message)
            with self.lock:
                self.received.append(message)
        with self.lock:
            outgoing, self.outgoing = self.outgoing, []
        for message in outgoing:
            self.notes.write_midi_event(frames - 1, message)

    def _record(self, frames):
        blocks = self.recording
        if blocks is not None:
            blocks.append(numpy.stack([port.get_array().copy() for port in self.inputs]))

    def send(self, *messages):
        with self.lock:
            self.outgoing.extend(bytes(message) for message in messages)

    def wait_for_controls(self, count, timeout):
        """The next count Control Changes Velmora sent, in the order sent."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with self.lock:
                if len(self.received) >= count:
                    break
            time.sleep(0.002)
        with self.lock:
            received, self.received = self.received, []
        return [message for message in received if message[0] & 0xF0 == CONTROL_CHANGE]

    def play_note(self):
        """Holds the note and records it: a (2, frames) array from note-on."""
        self.recording = []
        self.send((NOTE_ON, NOTE, VELOCITY))
        time.sleep(HOLD_SECONDS)
        self.send((NOTE_OFF, NOTE, 0))
        time.sleep(RELEASE_SECONDS)
        blocks, self.recording = self.recording, None
        # Voices and reverb die down before the next press is judged.
        self.send((CONTROL_CHANGE, ALL_SOUND_OFF, 0))
        time.sleep(0.2)
        return numpy.concatenate(blocks, axis=1)

    def close(self):
        for client in (self.player, self.recorder):
            client.deactivate()
            client.close()


def fundamental(signal, rate):
    """The median fundamental frequency of the voiced frames (YIN's cumulative
    mean normalized difference), or None when fewer than half are voiced."""
    window, longest_period = 2048, int(rate / 25)
    shortest_period = int(rate / 4000)
    frequencies, frames = [], 0
    for start in range(0, len(signal) - window - longest_period, window // 2):
        frames += 1
        frame = signal[start:start + window + longest_period]
        energy = numpy.cumsum(frame ** 2)
        base = energy[window - 1]
        shifted = energy[window - 1 + numpy.arange(1, longest_period)] - energy[
            numpy.arange(0, longest_period - 1)]
        spectrum = numpy.fft.rfft(frame, 2 * len(frame))
        correlation = numpy.fft.irfft(
            spectrum * numpy.conj(numpy.fft.rfft(frame[:window], 2 * len(frame))))
        difference = base + shifted - 2 * correlation[1:longest_period]
        lags = numpy.arange(1, longest_period)
        normalized = difference * lags / numpy.maximum(numpy.cumsum(difference), 1e-12)
        candidates = numpy.nonzero(normalized[shortest_period:] < 0.2)[0]
        if len(candidates) == 0:
            continue
        lag = candidates[0] + shortest_period
        while lag + 1 < len(normalized) and normalized[lag + 1] < normalized[lag]:
            lag += 1  # down to the dip's bottom
        if 0 < lag < len(normalized) - 1:  # a parabola through the bottom
            left, middle, right = normalized[lag - 1:lag + 2]
            curvature = left - 2 * middle + right
            lag += 0.5 * (left - right) / curvature if curvature > 0 else 0
        frequencies.append(rate / (lag + 1))
    if frames == 0 or len(frequencies) * 2 < frames:
        return None
    return float(numpy.median(frequencies))


def band_profile(signal, rate):
    """Power in third-octave bands from 50 Hz to 16 kHz, in dB, the loudest
    band at 0 and nothing below -60."""
    size = 4096
    frames = [signal[start:start + size] * numpy.hanning(size)
              for start in range(0, len(signal) - size, size // 2)]
    power = numpy.mean([numpy.abs(numpy.fft.rfft(frame)) ** 2 for frame in frames], axis=0)
    frequencies = numpy.fft.rfftfreq(size, 1 / rate)
    edges = 50 * 2 ** (numpy.arange(0, 25) / 3)
    bands = numpy.array([power[(frequencies >= low) & (frequencies < high)].sum() + 1e-20
                         for low, high in zip(edges[:-1], edges[1:])])
    decibels = 10 * numpy.log10(bands)
    return numpy.maximum(decibels - decibels.max(), -60.0)


def judge(recording, rate):
    held = recording[:, int(SKIP_SECONDS * rate):int(HOLD_SECONDS * rate)]
    mono = held.mean(axis=0)
    rms = float(numpy.sqrt(numpy.mean(held ** 2)))
    level = 20 * numpy.log10(max(rms, 1e-10))
    peak = float(numpy.abs(recording).max())
    frequency = fundamental(mono, rate) if level > AUDIBLE_DBFS else None
    note_frequency = 440 * 2 ** ((NOTE - 69) / 12)
    cents = None
    if frequency:
        cents = 1200 * numpy.log2(frequency / note_frequency)
        cents = float((cents + 600) % 1200 - 600)  # any octave of the note
    result = {"rms_dbfs": round(float(level), 1), "peak": round(peak, 3),
              "fundamental_hz": frequency and round(frequency, 1),
              "cents": cents if cents is None else round(cents, 1),
              "audible": bool(level > AUDIBLE_DBFS), "unclipped": peak < 1.0,
              "in_tune": cents is not None and abs(cents) <= IN_TUNE_CENTS}
    result["useful"] = result["audible"] and result["unclipped"] and result["in_tune"]
    return result, (band_profile(mono, rate) if result["audible"] else None)


def diversity(profiles):
    """Mean RMS difference in dB between the band profiles of every two presses."""
    distances = [float(numpy.sqrt(numpy.mean((first - second) ** 2)))
                 for index, first in enumerate(profiles) for second in profiles[index + 1:]]
    return round(sum(distances) / len(distances), 1) if distances else None


# A commented parameter line, perhaps with a comment of its own: deleting the
# first # turns it on.
COMMENTED_PARAMETER = re.compile(r"#(?=[A-Za-z]\S*\s+\d+\s+\d+\s+\d+(\s|$))")


# An active parameter line's range.
PARAMETER_RANGE = re.compile(r"^([A-Za-z]\S*\s+\d+\s+)\d+\s+\d+")


def configuration_lines(configuration, every_line, whole_ranges):
    with open(configuration) as file:
        lines = file.read().splitlines()
    if every_line or whole_ranges:
        lines = [COMMENTED_PARAMETER.sub("", line, count=1) if line.startswith("#") else line
                 for line in lines]
    if whole_ranges:
        lines = [PARAMETER_RANGE.sub(r"\g<1>0 127", line, count=1) for line in lines]
    return lines


def messages_per_press(program, lines):
    """How many Control Changes one press sends, by the program's own reader
    (velmora_sent_parameters, built beside it in the bench build): one per
    parameter line with a controller number, repeated controllers too."""
    tool = os.path.join(os.path.dirname(program), "bench", "velmora_sent_parameters")
    with tempfile.NamedTemporaryFile("w", suffix=".cfg") as file:
        file.write("\n".join(lines) + "\n")
        file.flush()
        listed = subprocess.run([tool, file.name], check=True, capture_output=True, text=True)
    return len(listed.stdout.splitlines())


def wait_for_ports(client_name, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        ports = subprocess.run(["jack_lsp", "-s", os.environ["JACK_DEFAULT_SERVER"]],
                               capture_output=True, text=True).stdout.split("\n")
        if f"{client_name}:midi_in" in ports and f"{client_name}:R out" in ports:
            return
        time.sleep(0.1)
    raise RuntimeError("amsynth did not show its ports")


def start_amsynth(work, controllers):
    """amsynth without its window and with a home of its own, so that the
    user's settings, presets and controller map are neither read nor changed."""
    home = os.path.join(work, "home")
    os.makedirs(os.path.join(home, ".config", "amsynth"))
    shutil.copy(controllers, os.path.join(home, ".config", "amsynth", "controllers"))
    name = f"amsynth{os.getpid()}"
    environment = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                       XDG_DATA_HOME=os.path.join(home, ".local", "share"))
    environment.pop("DISPLAY", None)
    process = subprocess.Popen(["amsynth", "-x", "-n", name, "--jack_autoconnect=false"],
                               env=environment, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    wait_for_ports(name, 10)
    return process, name


def start_velmora(work, program, lines, display):
    shutil.copy(program, os.path.join(work, "Velmora"))
    with open(os.path.join(work, "Velmora.cfg"), "w") as file:
        file.write("\n".join(lines) + "\n")
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    environment = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
                       XDG_RUNTIME_DIR=runtime)
    process = subprocess.Popen([os.path.join(work, "Velmora")], env=environment,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    window = subprocess.run(["timeout", "10", "xdotool", "search", "--sync", "--onlyvisible",
                             "--name", "^Velmora $"], env=environment, capture_output=True,
                            text=True).stdout.split()
    if not window:
        raise RuntimeError("no Velmora window")
    # Without a window manager the focus must be given; it then stays.
    subprocess.run(["xdotool", "windowfocus", "--sync", window[0]], env=environment, check=True)
    subprocess.run(["xdotool", "key", "alt+o"], env=environment, check=True)
    time.sleep(1.0)  # the open connects and waits for the graph
    return process


def main():
    arguments = sys.argv[1:]
    every_line = arguments[:1] == ["--every-line"]
    whole_ranges = arguments[:1] == ["--whole-ranges"]
    if every_line or whole_ranges:
        arguments = arguments[1:]
    if len(arguments) != 4:
        sys.exit(__doc__)
    # The callbacks run in Python threads: they get the interpreter sooner.
    sys.setswitchinterval(0.0005)
    program, configuration, controllers, presses = arguments[:3] + [int(arguments[3])]
    lines = configuration_lines(configuration, every_line, whole_ranges)
    expected = messages_per_press(program, lines)
    work = tempfile.mkdtemp(prefix="velmora-amsynth-")
    xvfb = velmora = synth = rig = None
    try:
        rig = Rig()
        synth, synth_name = start_amsynth(work, controllers)
        rig.connect(synth_name)
        xvfb, display = start_xvfb()
        velmora = start_velmora(work, program, lines, display)
        keys = KeyPresser(display)
        recordings, sent, lost = [], [], 0
        while len(recordings) < presses:
            keys.press("F1")
            messages = rig.wait_for_controls(expected, 5)
            if len(messages) < expected:
                # The relay missed a cycle on a busy machine, so amsynth did
                # not get the whole press either: it does not count.
                lost += 1
                if lost > presses // 5:
                    raise RuntimeError(f"{lost} presses did not all come through")
                rig.wait_for_controls(expected, 0.5)  # what came late
                continue
            time.sleep(0.02)  # amsynth takes them in its next cycle
            recordings.append(rig.play_note())
            sent.append({message[1]: message[2] for message in messages})
        # Judged once all is played: the work would keep the callbacks from
        # their cycles.
        results, profiles, useful_profiles = [], [], []
        for recording, values in zip(recordings, sent):
            result, profile = judge(recording, rig.rate)
            result["values"] = {str(controller): value for controller, value in values.items()}
            results.append(result)
            if profile is not None:
                profiles.append(profile)
                if result["useful"]:
                    useful_profiles.append(profile)
        share = {key: round(100 * sum(r[key] for r in results) / presses)
                 for key in ("useful", "audible", "in_tune", "unclipped")}
        print(json.dumps({"configuration": os.path.basename(configuration),
                          "every_line": every_line, "whole_ranges": whole_ranges,
                          "presses": presses, "lost_presses": lost,
                          "parameters": expected, "percent": share,
                          "diversity_db": diversity(profiles),
                          "useful_diversity_db": diversity(useful_profiles),
                          "per_press": results}))
    finally:
        if rig is not None:
            rig.close()
        for process in (velmora, synth, xvfb):
            if process is not None:
                stop(process)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
