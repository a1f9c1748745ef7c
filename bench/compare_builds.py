"""Two builds of the module side by side: median CPU time per call of each, and their ratio.

    python bench/compare_builds.py A.so B.so [--rounds N]

For example a local `pip install .` build against the wheel of packaging/manylinux_wheel.sh
(unzip it first), or one commit's build against another's. Both are loaded into one process
(under package names of their own, so that neither replaces the other), checked to give the
same bytes on every payload, then timed in alternating order, round by round. Time is the
thread's CPU time, not the wall clock: a busy machine takes the processor away from the run
now and then, which wall-clock medians show as noise of a tenth or more.

    python bench/compare_builds.py A.so B.so --control --rounds 101

`--control` times a copy of A as a third build: its ratio to A is what the run cannot tell
apart from no change (on a shared machine up to 6% at 11 rounds, mostly within 1% at 101).
"""
from __future__ import annotations

import argparse
import importlib.util
import json
import shutil
import statistics
import tempfile
import time
from pathlib import Path
from types import ModuleType
from typing import Callable

from payloads import SHAPES, make_payload
from realworld import corpus_payloads, github_payloads


def load(path: str, package: str) -> ModuleType:
    location = importlib.util.spec_from_file_location(f"{package}.tarvel_codec", path)
    module = importlib.util.module_from_spec(location)
    location.loader.exec_module(module)
    return module


def workloads(module: ModuleType, files: list[str]) -> list[tuple[str, Callable[[], object]]]:
    """(name, call) per payload: the generated shapes at 100 KB and 1 KB, the corpus files and the
    recorded responses (as one pass over all of them, and over the arrays among them printed
    with an indent of two) when they are present, and any payload files given."""
    work = [(f"{shape} {size}", make_payload(shape, size).data) for size in ("100KB", "1KB") for shape in SHAPES]
    work += list(corpus_payloads().items())
    work += [(Path(name).stem, Path(name).read_bytes()) for name in files]
    calls = [(name, lambda data=data: module.columnarize(data)) for name, data in work]
    recorded = github_payloads()
    if recorded:
        calls.append(("github all", lambda: [module.columnarize(data) for data in recorded]))
        pretty = [json.dumps(json.loads(data), indent=2, ensure_ascii=False).encode() for data in recorded]
        pretty = [data for data in pretty if data.startswith(b"[")]
        calls.append(("github pretty", lambda: [module.columnarize(data) for data in pretty]))
    return calls


def per_call(call: Callable[[], object], repeat: int) -> float:
    start = time.thread_time()
    for _ in range(repeat):
        call()
    return (time.thread_time() - start) / repeat


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("a", help="the first build's extension module file")
    parser.add_argument("b", help="the second build's extension module file")
    parser.add_argument("--rounds", type=int, default=21)
    parser.add_argument("--files", nargs="*", default=[], help="payload files to time as well")
    parser.add_argument("--control", action="store_true", help="time a copy of A too, as the run's noise")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="tarvel_compare_") as folder:
        paths = [args.a, args.b]
        if args.control:  # a file of its own, so that it is mapped apart from A
            paths.append(shutil.copy(args.a, Path(folder) / Path(args.a).name))
        builds = [load(path, f"build_{i}") for i, path in enumerate(paths)]
        compare(builds, args.rounds, args.files)


def compare(builds: list[ModuleType], rounds: int, files: list[str]) -> None:
    """Prints each payload's median time per call for A and B, B/A, and A2/A for a control."""
    control = len(builds) > 2
    print(f"{'payload':17} {'A µs':>9} {'B µs':>9} {'B/A':>6}" + (f" {'A2/A':>6}" if control else ""))
    for calls in zip(*(workloads(build, files) for build in builds)):
        name = calls[0][0]
        outputs = [call() for _, call in calls]
        if any(output != outputs[0] for output in outputs[1:]):
            raise SystemExit(f"{name}: the builds give different output")
        repeat = max(1, int(0.02 / max(per_call(calls[0][1], 3), 1e-7)))  # about 20 ms a sample
        times: list[list[float]] = [[] for _ in calls]
        for round_number in range(rounds):
            shift = round_number % len(calls)  # each build takes each place in turn
            for i in list(range(len(calls)))[shift:] + list(range(len(calls)))[:shift]:
                times[i].append(per_call(calls[i][1], repeat))
        medians = [statistics.median(t) for t in times]
        line = f"{name:17} {medians[0] * 1e6:9.2f} {medians[1] * 1e6:9.2f} {medians[1] / medians[0]:6.3f}"
        print(line + (f" {medians[2] / medians[0]:6.3f}" if control else ""))


if __name__ == "__main__":
    main()
