"""Interleaved timing: each round times every contender once on every workload.

On a shared, noisy machine a slow minute then hurts every contender alike, and the
median over rounds discards the outliers. Small payloads are timed in batches long
enough for the clock, and reported per call.
"""
from __future__ import annotations

import statistics
import time
from dataclasses import dataclass
from typing import Callable


@dataclass(frozen=True)
class Workload:
    shape: str
    size_label: str
    payloads: tuple[bytes, ...]  # one payload, or a set of small real-world ones

    @property
    def nbytes(self) -> int:
        return sum(map(len, self.payloads))


def _one_pass(run: Callable[[bytes], object], payloads: tuple[bytes, ...], repeats: int) -> float:
    """Seconds for one call on every payload, averaged over `repeats` passes."""
    clock = time.perf_counter
    start = clock()
    for _ in range(repeats):
        for payload in payloads:
            run(payload)
    return (clock() - start) / repeats


def calibrate(run: Callable[[bytes], object], payloads: tuple[bytes, ...], min_seconds: float) -> int:
    """Passes per sample so that one sample lasts at least min_seconds (1 for big payloads)."""
    if sum(map(len, payloads)) >= 1_000_000:
        return 1  # one call is long enough; spares a slow pipeline one more call
    once = max(_one_pass(run, payloads, 1), 1e-7)
    return max(1, round(min_seconds / once))


def interleaved_medians(workloads: list[Workload], contenders: dict[str, Callable[[bytes], object]],
                        rounds: int, min_seconds: float) -> dict[tuple[str, str, str], float]:
    """Median seconds per pass, keyed by (shape, size_label, contender name)."""
    repeats = {(w.shape, w.size_label, name): calibrate(run, w.payloads, min_seconds)
               for w in workloads for name, run in contenders.items()}
    samples: dict[tuple[str, str, str], list[float]] = {key: [] for key in repeats}
    names = list(contenders)
    for index in range(rounds):
        order = names[index % len(names):] + names[:index % len(names)]  # no fixed first place
        for w in workloads:
            for name in order:
                key = (w.shape, w.size_label, name)
                samples[key].append(_one_pass(contenders[name], w.payloads, repeats[key]))
    return {key: statistics.median(values) for key, values in samples.items()}
