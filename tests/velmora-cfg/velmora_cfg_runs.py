#!/usr/bin/env python3
"""Runs velmora-cfg on the committed cases and compares everything it
prints and writes with the committed expectations.

  velmora_cfg_runs.py check PROGRAM [--wine RUN_DIR]
      `check` on every file of check/, a folder and a missing file, then with
      no FILE where there is no Velmora.cfg; its report, errors and exit
      statuses must equal check.expected, and --help must succeed. With --wine, PROGRAM is
      velmora-cfg.exe, run under Wine in the prefix of the desktop in RUN_DIR.
  velmora_cfg_runs.py import PROGRAM
      `import` of import/csv/; the files written must equal import/expected/,
      its report and exit status import/expected.log, and every file written
      must pass `check` with nothing to warn about. Run again over a file the
      user changed and a link to a file outside, it keeps both unless --force
      is given, and even then writes nothing through the link.
"""

import argparse
import difflib
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
IMPORTED = ["Acme/Hostile.csv", "Acme/copy.csv", "Acme/Kinds.csv", "Odd/Names.csv", "Odd/Unicode.csv",
            "Odd/Loud.csv", "Odd/Devices.csv", "Empty/Nothing.csv", "Broken/NoHeader.csv"]


def run(command, cwd, env=None, merge_errors=False):
    # Output to a file, not a pipe: Wine's helper processes inherit it and
    # would keep a pipe open after the program has ended.
    with tempfile.TemporaryFile() as output, tempfile.TemporaryFile() as errors:
        result = subprocess.run(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                stdout=output, stderr=output if merge_errors else errors,
                                timeout=120, check=False)
        output.seek(0)
        # A Windows console program ends its lines with CR LF.
        text = output.read().replace(b"\r\n", b"\n").decode("utf-8", "replace")
    return text + f"exit status: {result.returncode}\n"


def same(what, expected, actual):
    if expected == actual:
        return True
    sys.stdout.writelines(difflib.unified_diff(
        expected.splitlines(keepends=True), actual.splitlines(keepends=True),
        f"expected {what}", f"actual {what}"))
    return False


def wine_command(run_dir):
    sys.path.insert(0, str(HERE.parent / "windows" / "wine"))
    import wine_harness  # noqa: E402
    state = wine_harness.read_state(Path(run_dir))
    if state is None:
        raise SystemExit(f"no Wine desktop in {run_dir}: run the wine.desktop_setup test first")
    return [wine_harness.find_tool("wine")], wine_harness.wine_environment(state)


def check(program, run_dir):
    prefix, env = wine_command(run_dir) if run_dir else ([], None)
    cases = sorted(f"check/{path.name}" for path in (HERE / "check").iterdir())
    report = run(prefix + [program, "check"] + cases + ["check", "check/missing.cfg"], HERE, env,
                 True)
    report += run(prefix + [program, "check"], HERE / "check", env, True)
    helped = run(prefix + [program, "--help"], HERE, env).endswith("exit status: 0\n")
    return same("check report", (HERE / "check.expected").read_text(encoding="utf-8"),
                report) and helped


def tree(folder):
    return {str(path.relative_to(folder)): path.read_bytes()
            for path in sorted(folder.rglob("*")) if path.is_file()}


def import_files(program):
    with tempfile.TemporaryDirectory(prefix="velmora-cfg-import.") as work:
        work = Path(work)
        shutil.copytree(HERE / "import" / "csv", work / "csv")
        command = [program, "import", "--snapshot", "2026-06-30", "-o", "out"]
        log = run(command + [f"csv/{name}" for name in IMPORTED], work)
        expected, written = tree(HERE / "import" / "expected"), tree(work / "out")
        ok = True
        for name in sorted(set(expected) | set(written)):
            ok &= same(name, expected.get(name, b"").decode("utf-8"),
                       written.get(name, b"").decode("utf-8"))
        checked = run([program, "check"] + sorted(str(work / "out" / name) for name in written),
                      work)
        if not checked.endswith("exit status: 0\n"):
            print(f"the files written do not pass the check:\n{checked}")
            ok = False

        user_file, link = work / "out/Acme/Hostile.cfg", work / "out/Acme/HOSTILE (2).cfg"
        user_file.write_text("mine\n")
        link.unlink()
        link.symlink_to(work / "outside.cfg")
        (work / "outside.cfg").write_text("outside\n")
        again = command + ["csv/Acme/Hostile.csv", "csv/Acme/copy.csv"]
        log += run(again, work)
        ok &= user_file.read_text() == "mine\n"
        log += run(again + ["--force"], work)
        ok &= user_file.read_bytes() == expected["Acme/Hostile.cfg"]
        ok &= (work / "outside.cfg").read_text() == "outside\n" and link.is_symlink()
        return ok & same("import report",
                         (HERE / "import" / "expected.log").read_text(encoding="utf-8"), log)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["check", "import"])
    parser.add_argument("program")
    parser.add_argument("--wine", metavar="RUN_DIR")
    arguments = parser.parse_args()
    if arguments.command == "check":
        ok = check(arguments.program, arguments.wine)
    else:
        ok = import_files(arguments.program)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
