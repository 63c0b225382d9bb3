#!/usr/bin/python3
"""Turns one bench/run-bench run into the figures of docs/PERFORMANCE.md.

    report.py RESULTS_DIR

Reads what run-bench left in RESULTS_DIR and prints a Markdown summary: each
figure with its yardstick and their ratio.
"""
import json
import os
import statistics
import sys

MIDI_CABLE_CC_SECONDS = 30 / 31250  # 3 bytes of 10 bits at 31,250 baud: 0.96 ms


def load_json(directory, name):
    path = os.path.join(directory, name)
    if not os.path.exists(path):
        return None
    with open(path) as file:
        return json.load(file)


def benchmarks(report):
    """Name -> entry, the median of the repetitions where there are some."""
    entries = {}
    for entry in (report or {}).get("benchmarks", []):
        if entry.get("error_occurred"):
            continue
        name = entry.get("run_name", entry["name"])
        # "BM_PassToJack/iterations:400/manual_time" is BM_PassToJack here.
        name = "/".join(part for part in name.split("/")
                        if not part.startswith("iterations:") and part not in
                        ("manual_time", "real_time"))
        if entry.get("run_type") == "aggregate":
            if entry.get("aggregate_name") == "median":
                entries[name] = entry
        else:
            entries.setdefault(name, entry)
    return entries


def seconds(entry, key="real_time"):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[entry.get("time_unit", "ns")]
    return entry[key] * scale


def read_lines(directory, name):
    path = os.path.join(directory, name)
    if not os.path.exists(path):
        return []
    with open(path) as file:
        return [line.split() for line in file if line.strip()]


def passes_and_arrivals(directory, sender, parameters):
    """Per pass: send time and time from its start to its last arrival."""
    passes = [(int(f[1]), int(f[2]), int(f[3])) for f in read_lines(directory, sender + "-passes.log")
              if f[0] == "pass"]
    arrivals = [int(f[0]) for f in read_lines(directory, sender + "-arrivals.log")
                if f[0].isdigit()]
    sends = [(end - start) / 1e9 for _, start, end in passes]
    latencies = []
    for index, (_, start, _) in enumerate(passes):
        chunk = arrivals[index * parameters:(index + 1) * parameters]
        if len(chunk) == parameters:
            latencies.append((max(chunk) - start) / 1e9)
    return {"passes": len(passes), "expected": len(passes) * parameters,
            "arrived": len(arrivals), "sends": sends, "latencies": latencies}


def wc_net_rate(wc, name):
    """wc -l's MB/s with the time of `wc -l` on an empty file taken off, or
    None when that leaves too little to measure."""
    if name not in wc or "empty" not in wc:
        return None
    net = wc[name]["seconds"] - wc["empty"]["seconds"]
    if net < 0.5 * wc[name]["seconds"]:
        return None
    return wc[name]["bytes"] / net / 1e6


def ms(value):
    return "%.3f ms" % (value * 1e3)


def us(value):
    return "%.2f µs" % (value * 1e6) if value >= 1e-6 else "%.1f ns" % (value * 1e9)


def readable(value):
    return ms(value) if value >= 1e-3 else us(value)


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def main():
    directory = sys.argv[1]
    core = benchmarks(load_json(directory, "core.json"))
    midi = benchmarks(load_json(directory, "midi.json"))
    listing = benchmarks(load_json(directory, "listing.json"))
    wc = load_json(directory, "wc.json") or {}
    settings = dict(line.strip().split("=", 1) for line in open(os.path.join(directory, "settings.txt"))
                    if "=" in line)
    period = float(settings.get("jack_period_frames", 256)) / float(settings.get("jack_rate", 48000))
    parameters = int(settings.get("parameters", 128))
    out = []

    out.append("## Software time per Control Change (goal: at most 1% of 0.96 ms)\n")
    out.append("| path | per pass of %d | per Control Change | share of 0.96 ms |" % parameters)
    out.append("|---|---|---|---|")
    rows = [("program only (RandomInRange + packing + a counting midiOutShortMsg)",
             core.get("BM_RandomizePassNoService/%d" % parameters)),
            ("through winmm to JACK (queued for the next cycle)", midi.get("BM_PassToJack")),
            ("through winmm to the monitor (a text line to /dev/null)",
             midi.get("BM_PassToMonitor"))]
    for label, entry in rows:
        if entry is None:
            out.append("| %s | not measured | | |" % label)
            continue
        per_pass = seconds(entry)
        per_cc = per_pass / parameters
        out.append("| %s | %s | %s | %.4f%% |" % (label, us(per_pass), us(per_cc),
                                                  100 * per_cc / MIDI_CABLE_CC_SECONDS))
    out.append("")

    out.append("## The output list where neither MIDI API answers, and the monitor\n")
    out.append("| call | time | goal | within |")
    out.append("|---|---|---|---|")
    monitor = midi.get("BM_PassToMonitor")
    for label, entry, per, goal in (
            ("a new list (midiOutGetNumDevs, looking for both APIs)", listing.get("BM_NewList"),
             1, 0.5),
            ("a turn of the dialog's listing (midiOutGetDevCapsA, midiOutGetNumDevs)",
             listing.get("BM_ListingTurn"), 1, 100e-6),
            ("midiOutShortMsg to the monitor", monitor, parameters, 1e-3)):
        if entry is None:
            out.append("| %s | not measured | under %s | |" % (label, readable(goal)))
            continue
        time = seconds(entry) / per
        out.append("| %s | %s | under %s | %s |" % (label, readable(time), readable(goal),
                                                   "yes" if time < goal else "**no**"))
    out.append("")

    out.append("## Randomize command to the last message received, %d parameters "
               "(yardstick: one JACK period, %s)\n" % (parameters, ms(period)))
    out.append("| sender | passes | messages arrived | send time per pass (median) | "
               "to last arrival: median | p95 | max | median / period |")
    out.append("|---|---|---|---|---|---|---|---|")
    figures = {}
    for sender, label in (("velmora", "Velmora (RandomizeAll through winmm)"),
                          ("python", "Python peer (mido + python-rtmidi)")):
        result = passes_and_arrivals(directory, sender, parameters)
        figures[sender] = result
        if not result["latencies"]:
            out.append("| %s | %d | %d of %d | | not measured | | | |" % (
                label, result["passes"], result["arrived"], result["expected"]))
            continue
        median = statistics.median(result["latencies"])
        out.append("| %s | %d | %d of %d | %s | %s | %s | %s | %.2f |" % (
            label, result["passes"], result["arrived"], result["expected"],
            us(statistics.median(result["sends"])), ms(median),
            ms(percentile(result["latencies"], 0.95)), ms(max(result["latencies"])),
            median / period))
    if figures["velmora"]["sends"] and figures["python"]["sends"]:
        out.append("\nPython peer / Velmora, send time per pass: %.0f×; to last arrival: %.2f×" % (
            statistics.median(figures["python"]["sends"]) /
            statistics.median(figures["velmora"]["sends"]),
            statistics.median(figures["python"]["latencies"]) /
            statistics.median(figures["velmora"]["latencies"])))
    out.append("")

    out.append("## F1 key press to the last of %d messages at a receiver "
               "(yardstick: one JACK period, %s)\n" % (parameters, ms(period)))
    out.append("| program | presses | median | p95 | min | max | median / period | p95 / period |")
    out.append("|---|---|---|---|---|---|---|---|")
    f1 = load_json(directory, "f1-latency.json")
    if f1 is None:
        out.append("| Velmora (Linux, on Xvfb, key sent through XTEST) | not measured | | | | | | |")
    else:
        latencies = [value / 1000 for value in f1["latencies_ms"]]
        median = statistics.median(latencies)
        p95 = percentile(latencies, 0.95)
        out.append("| Velmora (Linux, on Xvfb, key sent through XTEST) | %d | %s | %s | %s | %s | "
                   "%.2f | %.2f |" % (len(latencies), ms(median), ms(p95), ms(min(latencies)),
                                      ms(max(latencies)), median / period, p95 / period))
    # The ALSA sequencer and PipeWire run only in the virtual machine, on an
    # emulated CPU: no JACK period to compare with.
    for name, label in (("f1-latency-alsa.json", "Velmora (Linux) to an ALSA sequencer port, in "
                          "the virtual machine of tests/vm (emulated CPU)"),
                        ("f1-latency-pipewire.json", "Velmora (Linux, pw-jack) to a JACK port on "
                         "PipeWire beside amsynth, in the virtual machine (emulated CPU)")):
        result = load_json(directory, name)
        if result is not None:
            latencies = [value / 1000 for value in result["latencies_ms"]]
            out.append("| %s | %d | %s | %s | %s | %s | | |" % (
                label, len(latencies), ms(statistics.median(latencies)),
                ms(percentile(latencies, 0.95)), ms(min(latencies)), ms(max(latencies))))
    out.append("")

    out.append("## F1 presses on amsynth, each followed by a note "
               "(goals: at least 80% useful with the shipped file, 70% with the file "
               "velmora-cfg imports from `bench/amsynth-description.csv`)\n")
    out.append("| amsynth.cfg | run | presses | parameters | useful | audible | in tune | "
               "unclipped | diversity (dB) | diversity of the useful (dB) |")
    out.append("|---|---|---|---|---|---|---|---|---|---|")
    for lines, label in (("shipped", "as shipped"),
                         ("every-line", "every line active"),
                         ("imported", "imported from its description"),
                         ("imported-whole", "imported, every line on, every range whole")):
        for run in (1, 2, 3):
            result = load_json(directory, "amsynth-%s-%d.json" % (lines, run))
            if result is None:
                out.append("| %s | %d | not measured | | | | | | | |" % (label, run))
                continue
            share = result["percent"]
            out.append("| %s | %d | %d | %d | %d%% | %d%% | %d%% | %d%% | %s | %s |" % (
                label, run, result["presses"], result["parameters"], share["useful"],
                share["audible"], share["in_tune"], share["unclipped"], result["diversity_db"],
                result.get("useful_diversity_db")))
    out.append("")

    out.append("## Configuration reading (goal: at least 50 MB/s), against `wc -l` on the same file\n")
    out.append("| file | size | Velmora: one read (wall) | MB/s | lines/s | first read MB/s | "
               "heap bytes per parameter | `wc -l` MB/s (whole process) | Velmora / wc | "
               "`wc -l` MB/s (less its start-up) | Velmora / wc |")
    out.append("|---|---|---|---|---|---|---|---|---|---|---|")
    for lines in (1000, 100000, 1000000):
        name = "lines-%d.cfg" % lines
        entry = core.get("BM_ReadConfiguration/%d" % lines)
        first = core.get("BM_ReadConfigurationFirstRead/%d" % lines)
        if entry is None:
            continue
        size = wc.get(name, {}).get("bytes", 0)
        velmora = entry["bytes_per_second"] / 1e6
        wc_rate = size / wc[name]["seconds"] / 1e6 if name in wc else float("nan")
        wc_net = wc_net_rate(wc, name)
        out.append("| %s lines | %.2f MB | %s | %.1f | %.2f M | %s | %.1f | %.1f | %.3f | %s | %s |" % (
            format(lines, ","), size / 1e6, ms(seconds(entry)), velmora, entry["lines/s"] / 1e6,
            "%.1f" % (first["bytes_per_second"] / 1e6) if first else "",
            entry["heap_bytes_per_parameter"], wc_rate, velmora / wc_rate,
            "%.0f" % wc_net if wc_net else "n/a", "%.3f" % (velmora / wc_net) if wc_net else ""))
    for megabytes in (1, 10, 100):
        entry = core.get("BM_ReadRandomBytes/%d" % megabytes)
        if entry is None:
            continue
        name = "random-%d-no-ctrl-z.bin" % (megabytes << 20)
        wc_rate = (wc[name]["bytes"] / wc[name]["seconds"] / 1e6) if name in wc else None
        wc_net = wc_net_rate(wc, name)
        velmora = entry["bytes_per_second"] / 1e6
        out.append("| random bytes, no Ctrl-Z, %d MB (%s parameters) | %.1f MB | %s | %.1f | %.2f M | "
                   "| %.1f | %s | %s | %s | %s |" % (
                       megabytes, format(int(entry["parameters"]), ","), (megabytes << 20) / 1e6,
                       ms(seconds(entry)), velmora, entry["lines/s"] / 1e6, entry["heap_bytes_per_parameter"],
                       "%.1f" % wc_rate if wc_rate else "",
                       "%.3f" % (velmora / wc_rate) if wc_rate else "",
                       "%.0f" % wc_net if wc_net else "n/a",
                       "%.3f" % (velmora / wc_net) if wc_net else ""))
    # A linear reader takes ten times as long for ten times the input; a
    # quadratic one a hundred times.
    for small, big, label in (("BM_ReadConfiguration/100000", "BM_ReadConfiguration/1000000",
                               "1,000,000 lines against 100,000"),
                              ("BM_ReadRandomBytes/1", "BM_ReadRandomBytes/10",
                               "10 MB of random bytes against 1 MB")):
        if core.get(small) and core.get(big):
            ratio = seconds(core[big]) / seconds(core[small])
            out.append("\nTen times the input, %s: %.1f times as long (goal: under 25, %s)." % (
                label, ratio, "met" if ratio < 25 else "**not met**"))
    entry = core.get("BM_ReadRandomBytesWithControlZ/100")
    if entry is not None:
        out.append("\nPlain random bytes, 100 MB: the first Ctrl-Z ends the file after %d "
                   "parameter(s); the read takes %s." % (int(entry["parameters"]),
                                                      us(seconds(entry))))
    out.append("")

    out.append("## Start-up\n")
    out.append("| program | to | runs | min | median |")
    out.append("|---|---|---|---|---|")
    for name, label, to in (
            ("startup-velmora.json", "Velmora (Linux, Qt dialog, on Xvfb)", "dialog shown"),
            ("startup-pass-timer.json", "velmora_pass_timer (C++, same MIDI service)",
             "JACK port open"),
            ("startup-python.json", "Python peer (python3, mido, python-rtmidi)",
             "JACK port open")):
        result = load_json(directory, name)
        if result is None:
            out.append("| %s | %s | not measured | | |" % (label, to))
            continue
        out.append("| %s | %s | %d | %s | %s |" % (label, to, len(result["seconds"]),
                                                   ms(result["min"]), ms(result["median"])))
    velmora = load_json(directory, "startup-velmora.json")
    python = load_json(directory, "startup-python.json")
    if velmora and python:
        out.append("\nPython peer / Velmora, median start-up: %.2f×" % (
            python["median"] / velmora["median"]))
    print("\n".join(out))


if __name__ == "__main__":
    main()
