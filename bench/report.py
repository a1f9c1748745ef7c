"""Printing the figures: the throughput table and the per-call latency table."""
from __future__ import annotations

from rounds import Workload

OURS, ORJSON, STDLIB, SIMDJSON = "tarvel_codec", "orjson", "stdlib", "simdjson parse"
ROUND_TRIP = "orjson round trip"


def _ratio(a: float | None, b: float | None) -> str:
    return f"{a / b:.2f}" if a and b else "-"


def _share(value: float | None) -> str:
    return f"{value:.2f}" if value else "-"


def _mbps(value: float | None) -> str:
    return f"{value:.1f}" if value else "-"


def _size(nbytes: int) -> str:
    return f"{nbytes / 1e6:.2f} MB" if nbytes >= 1e6 else f"{nbytes / 1e3:.1f} KB"


def throughput(workloads: list[Workload], medians: dict, present: list[str]) -> dict:
    """Input MB/s per (shape, size_label, contender) for the contenders that ran."""
    return {(w.shape, w.size_label, name): w.nbytes / medians[(w.shape, w.size_label, name)] / 1e6
            for w in workloads for name in present}


def parse_share(w: Workload, mbps: dict, out_sizes: dict) -> float | None:
    """tarvel's speed as a share of the bare parse of the same bytes; where the document is
    larger than the payload (sparse tables), tarvel's bytes are the document's."""
    ours, parse = mbps.get((w.shape, w.size_label, OURS)), mbps.get((w.shape, w.size_label, SIMDJSON))
    if not ours or not parse:
        return None
    return ours * max(1.0, out_sizes.get((w.shape, w.size_label), 0) / w.nbytes) / parse


def print_throughput(workloads: list[Workload], mbps: dict, out_sizes: dict) -> None:
    head = (f"{'shape':<17} {'size':<6} {'input':>10} | {'tarvel':>8} {'stdlib':>8} {'orjson':>8} "
            f"{'simdjson':>8} | {'÷orjson':>8} {'÷simdjson':>9} | {'out/in':>6}")
    print("input MB/s, median of the rounds (simdjson = bare parse, the limit; ÷ = tarvel ÷ that;")
    print("÷simdjson counts the output's bytes where the output is larger than the input)")
    print(head)
    print("-" * len(head))
    for w in workloads:
        get = lambda name: mbps.get((w.shape, w.size_label, name))  # noqa: E731
        out = out_sizes.get((w.shape, w.size_label))
        print(f"{w.shape:<17} {w.size_label:<6} {_size(w.nbytes):>10} | {_mbps(get(OURS)):>8} "
              f"{_mbps(get(STDLIB)):>8} {_mbps(get(ORJSON)):>8} {_mbps(get(SIMDJSON)):>8} | "
              f"{_ratio(get(OURS), get(ORJSON)):>8} {_share(parse_share(w, mbps, out_sizes)):>9} | "
              f"{(f'{out / w.nbytes:.2f}' if out else '-'):>6}")


def print_latency(workloads: list[Workload], medians: dict) -> None:
    print("per-call latency on the ~1 KB payloads, median (µs); ratio = tarvel ÷ orjson pipeline")
    for w in workloads:
        if w.size_label != "1KB":
            continue
        ours, theirs = medians.get((w.shape, "1KB", OURS)), medians.get((w.shape, "1KB", ORJSON))
        us = lambda s: f"{s * 1e6:8.2f}" if s else "       -"  # noqa: E731
        print(f"  {w.shape:<8} tarvel {us(ours)}   orjson pipeline {us(theirs)}   ratio {_ratio(ours, theirs)}")


def print_round_trip(workloads: list[Workload], mbps: dict) -> None:
    """How much of the orjson pipeline's time is orjson's own parse and dump, without the layout."""
    print("orjson round trip (orjson.loads + orjson.dumps of the rows, no layout): the floor of any orjson pipeline;")
    print("tarvel is 5x the pipeline when tarvel÷it reaches 5 x pipeline÷it")
    print(f"  {'shape':<17} {'size':<6} {'MB/s':>8} | {'tarvel÷it':>9} {'pipeline÷it':>11} {'5 x that':>9}")
    for w in workloads:
        if w.size_label == "1KB":
            continue
        get = lambda name: mbps.get((w.shape, w.size_label, name))  # noqa: E731
        pipeline = get(ORJSON) / get(ROUND_TRIP) if get(ORJSON) and get(ROUND_TRIP) else None
        print(f"  {w.shape:<17} {w.size_label:<6} {_mbps(get(ROUND_TRIP)):>8} | "
              f"{_ratio(get(OURS), get(ROUND_TRIP)):>9} {_ratio(get(ORJSON), get(ROUND_TRIP)):>11} "
              f"{(f'{5 * pipeline:.2f}' if pipeline else '-'):>9}")


def print_markdown_summary(workloads: list[Workload], mbps: dict, medians: dict, out_sizes: dict) -> None:
    """The goals' figures as one Markdown table, for the README."""
    print("| payload | size | tarvel MB/s | × orjson pipeline | share of bare parse |")
    print("|---|---:|---:|---:|---:|")
    for w in workloads:
        if w.size_label == "1KB":
            continue
        get = lambda name: mbps.get((w.shape, w.size_label, name))  # noqa: E731
        label = w.shape if w.size_label in ("corpus", "real") else f"{w.shape} {w.size_label}"
        print(f"| {label} | {_size(w.nbytes)} | {_mbps(get(OURS))} | {_ratio(get(OURS), get(ORJSON))} | "
              f"{_share(parse_share(w, mbps, out_sizes))} |")
    small = [w for w in workloads if w.size_label == "1KB"]
    ratios = [(w.shape, medians[(w.shape, "1KB", OURS)] / medians[(w.shape, "1KB", ORJSON)]) for w in small
              if (w.shape, "1KB", OURS) in medians and (w.shape, "1KB", ORJSON) in medians]
    if ratios:
        worst = max(ratios, key=lambda r: r[1])
        print(f"| 1 KB shapes, per-call time ÷ the orjson pipeline's (worst: {worst[0]}) | | | "
              f"{min(r for _, r in ratios):.2f} to {worst[1]:.2f} | |")
