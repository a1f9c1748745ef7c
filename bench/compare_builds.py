"""Two builds of the module side by side: median CPU time per call of each, and their ratio.

    python bench/compare_builds.py A.so B.so [--rounds N]

For example a local `pip install .` build against the wheel of packaging/manylinux_wheel.sh
(unzip it first), or one commit's build against another's. Both are loaded into one process
(under package names of their own, so that neither replaces the other), checked to give the
same bytes on every payload, then timed in alternating order, round by round. Time is the
thread's CPU time, not the wall clock: a busy machine takes the processor away from the run
now and then, which wall-clock medians show as noise of a tenth or more.
"""
from __future__ import annotations

import argparse
import importlib.util
import json
import statistics
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
    args = parser.parse_args()
    first, second = load(args.a, "build_a"), load(args.b, "build_b")
    print(f"{'payload':17} {'A µs':>9} {'B µs':>9} {'B/A':>6}")
    for (name, call_a), (_, call_b) in zip(workloads(first, args.files), workloads(second, args.files)):
        if call_a() != call_b():
            raise SystemExit(f"{name}: the two builds give different output")
        repeat = max(1, int(0.02 / max(per_call(call_a, 3), 1e-7)))  # about 20 ms a sample
        times_a, times_b = [], []
        for round_number in range(args.rounds):
            order = [(call_a, times_a), (call_b, times_b)]
            for call, times in order if round_number % 2 == 0 else reversed(order):
                times.append(per_call(call, repeat))
        a, b = statistics.median(times_a), statistics.median(times_b)
        print(f"{name:17} {a * 1e6:9.2f} {b * 1e6:9.2f} {b / a:6.3f}")


if __name__ == "__main__":
    main()
