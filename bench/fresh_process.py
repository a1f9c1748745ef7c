"""Time of columnarize in a process that has seen nothing but one workload, against one that
handled a 10 MB payload first.

The main run checks every contender on every payload first, the 10 MB ones included, and
that leaves the allocator's thresholds raised for the rest of the run. A service that only
ever sees payloads of tens or hundreds of KB never gets there: its calls must not pay for
fresh memory every time. Both processes make the same calls, so the ratio shows the
allocator's part alone. `measure` runs them from the benchmark;
`python fresh_process.py ROUNDS PRIME_FILE|- FILE...` is the child.
"""
from __future__ import annotations

import json
import statistics
import subprocess
import sys
import time
from pathlib import Path


def _child(rounds: int, prime: str, paths: list[str]) -> None:
    from tarvel_codec import columnarize
    payloads = [Path(p).read_bytes() for p in paths]
    if prime != "-":
        columnarize(Path(prime).read_bytes())
    for payload in payloads:  # the first call of each, as any process makes it
        columnarize(payload)
    once = time.thread_time()
    for payload in payloads:
        columnarize(payload)
    repeats = max(1, round(0.01 / max(time.thread_time() - once, 1e-7)))
    samples = []
    for _ in range(rounds):
        start = time.thread_time()
        for _ in range(repeats):
            for payload in payloads:
                columnarize(payload)
        samples.append((time.thread_time() - start) / repeats)
    print(json.dumps(statistics.median(samples)))


def _run(rounds: int, prime: str, paths: list[Path]) -> float:
    proc = subprocess.run([sys.executable, __file__, str(rounds), prime, *map(str, paths)],
                          capture_output=True, text=True, timeout=600)
    if proc.returncode != 0:
        raise RuntimeError(proc.stderr.strip().splitlines()[-1] if proc.stderr.strip() else "no output")
    return float(proc.stdout.split()[-1])


def measure(paths: list[Path], prime: Path, rounds: int) -> tuple[float, float]:
    """Median seconds of one pass over the payloads in `paths`: in a fresh interpreter, and in
    one that transformed the payload in `prime` first."""
    return _run(rounds, "-", paths), _run(rounds, str(prime), paths)


if __name__ == "__main__":
    _child(int(sys.argv[1]), sys.argv[2], sys.argv[3:])
