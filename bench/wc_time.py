#!/usr/bin/python3
"""Times `wc -l` on files, the yardstick for reading configurations.

    wc_time.py RUNS FILE...

Prints one JSON object: for each file its size, its line count as wc gives
it, and the fastest of RUNS runs of the whole `wc -l` process (start-up
included, as a shell user would see it), in seconds; under "empty" the same
for an empty file, which is wc's start-up alone.
"""
import json
import os
import subprocess
import sys
import time


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    runs = int(sys.argv[1])
    results = {}
    for path in ["/dev/null"] + sys.argv[2:]:
        fastest = None
        lines = None
        for _ in range(runs):
            start = time.perf_counter()
            output = subprocess.run(["wc", "-l", path], check=True, stdout=subprocess.PIPE).stdout
            elapsed = time.perf_counter() - start
            fastest = elapsed if fastest is None else min(fastest, elapsed)
            lines = int(output.split()[0])
        name = "empty" if path == "/dev/null" else os.path.basename(path)
        size = 0 if path == "/dev/null" else os.path.getsize(path)
        results[name] = {"bytes": size, "lines": lines, "seconds": fastest}
    print(json.dumps(results))


if __name__ == "__main__":
    main()
