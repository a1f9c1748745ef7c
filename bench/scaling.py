"""Throughput of 2 threads against 1: shows that the transform runs without the GIL.

Each thread calls the function in a loop on the same payload until a shared
deadline; throughput is the bytes all threads finished divided by the wall time.
"""
from __future__ import annotations

import statistics
import threading
import time
from typing import Callable


def _throughput(run: Callable[[bytes], object], payload: bytes, threads: int, seconds: float) -> float:
    """Input bytes per second with `threads` threads calling `run` for `seconds`."""
    counts = [0] * threads
    start_gate = threading.Barrier(threads + 1)
    deadline = [0.0]

    def worker(slot: int) -> None:
        start_gate.wait()
        calls, stop = 0, deadline[0]
        while time.perf_counter() < stop:
            run(payload)
            calls += 1
        counts[slot] = calls

    workers = [threading.Thread(target=worker, args=(i,)) for i in range(threads)]
    for w in workers:
        w.start()
    begin = time.perf_counter()
    deadline[0] = begin + seconds
    start_gate.wait()
    for w in workers:
        w.join()
    return sum(counts) * len(payload) / (time.perf_counter() - begin)


def thread_scaling(run: Callable[[bytes], object], payload: bytes, seconds: float, rounds: int) -> float:
    """Median over rounds of throughput(2 threads) / throughput(1 thread).

    Each round measures in the order 1, 2, 2, 1 threads, so a load that drifts
    during the round weighs on both sides alike.
    """
    ratios = []
    for _ in range(rounds):
        one = _throughput(run, payload, 1, seconds)
        two = _throughput(run, payload, 2, seconds) + _throughput(run, payload, 2, seconds)
        one += _throughput(run, payload, 1, seconds)
        ratios.append(two / one)
    return statistics.median(ratios)
