"""The benchmark: tarvel_codec against the pipelines a user would write, and the parse limit.

    python bench/run.py            # full run, a few minutes
    python bench/run.py --quick    # under a minute

Checks every contender's output first, then times all of them interleaved round by
round and prints medians and ratios from this one run; see bench/README.md.
"""
from __future__ import annotations

import argparse
import hashlib
import sys
import tempfile
from dataclasses import dataclass
from pathlib import Path

import fresh_process
import machine
import memory_probe
import report
from payloads import SHAPES, SIZES, make_payload
from pipelines import load_contenders
from realworld import corpus_payloads, github_payloads
from rounds import Workload, interleaved_medians
from scaling import thread_scaling
from verify import Verdict, check_workload


@dataclass(frozen=True)
class Settings:
    rounds: int  # for the payloads under 1 MB, whose samples are short and cheap
    big_rounds: int  # for the ~10 MB payloads, where the Python pipelines take seconds a call
    min_sample_seconds: float  # small payloads are timed in batches at least this long
    thread_seconds: float
    thread_rounds: int


QUICK = Settings(rounds=9, big_rounds=3, min_sample_seconds=0.005, thread_seconds=0.2, thread_rounds=2)
FULL = Settings(rounds=21, big_rounds=7, min_sample_seconds=0.03, thread_seconds=0.5, thread_rounds=3)


def build_workloads() -> list[Workload]:
    workloads = [Workload(shape, size, (make_payload(shape, size).data,)) for size in SIZES for shape in SHAPES]
    real = github_payloads()
    if real:
        workloads.append(Workload("github", "real", real))
    workloads += [Workload(name, "corpus", (data,)) for name, data in corpus_payloads().items()]
    return workloads


def checked_contenders(workloads: list[Workload], include_ours: bool) -> dict:
    """Contenders whose output matched the reference on every workload, by name."""
    contenders, skipped = load_contenders(include_ours)
    for name, reason in skipped.items():
        print(f"skip {name}: {reason}")
    verdicts = {c.name: Verdict() for c in contenders}
    for w in workloads:
        check_workload(contenders, w.payloads, verdicts)
    passed = {}
    for contender in contenders:
        verdict = verdicts[contender.name]
        if verdict.failure:
            print(f"skip {contender.name}: output check {verdict.describe()}")
        else:
            print(f"check {contender.name} on {len(workloads)} workloads: "
                  f"{'parses every payload' if not contender.makes_document else verdict.describe()}")
            passed[contender.name] = contender.run
    return passed


def print_threads(workloads: list[Workload], run, settings: Settings) -> list[float]:
    print(f"2 threads ÷ 1 thread, tarvel_codec on the ~100 KB payloads (load before: {machine.load_average()})")
    ratios = []
    hundred = [w for w in workloads if w.size_label == "100KB"]
    for w in hundred:
        ratios.append(thread_scaling(run, w.payloads[0], settings.thread_seconds, settings.thread_rounds))
        print(f"  {w.shape:<8} {ratios[-1]:.2f}x")
    # The same figure for a call known to run without the GIL tells whether this machine,
    # at this moment, has a second core to give at all.
    sha256 = lambda b: hashlib.sha256(b).digest()  # noqa: E731
    control = thread_scaling(sha256, hundred[0].payloads[0], settings.thread_seconds, settings.thread_rounds)
    print(f"  control: hashlib.sha256 (runs without the GIL) {control:.2f}x; load after: {machine.load_average()}")
    return ratios


def print_memory(workloads: list[Workload]) -> list[float]:
    print("peak extra resident memory of one call on the ~10 MB payloads (fresh process each)")
    multiples = []
    with tempfile.TemporaryDirectory(prefix="tarvel_bench_") as folder:
        for w in workloads:
            if w.size_label != "10MB":
                continue
            path = Path(folder) / f"{w.shape}.json"
            path.write_bytes(w.payloads[0])
            try:
                got = memory_probe.measure(path)
            except RuntimeError as exc:
                print(f"  {w.shape:<8} probe failed: {exc}")
                continue
            extra = got["peak"] - got["baseline"]
            multiples.append(extra / max(got["output"], got["payload"]))  # sparse: the output
            print(f"  {w.shape:<8} {extra / 1e6:7.1f} MB = {extra / got['payload']:.2f}x payload, "
                  f"{extra / got['output']:.2f}x output")
    return multiples


def print_fresh_process(workloads: list[Workload], rounds: int) -> None:
    print("tarvel_codec per call in a process that sees only that workload, ÷ in one that")
    print("transformed a 10 MB payload first (the main run's state); same calls, one process each")
    prime = next((w for w in workloads if w.size_label == "10MB"), None)
    if prime is None:
        print("  skipped: no 10 MB payload")
        return
    with tempfile.TemporaryDirectory(prefix="tarvel_bench_") as folder:
        prime_path = Path(folder) / "prime.json"
        prime_path.write_bytes(prime.payloads[0])
        for w in workloads:
            if w.size_label == "10MB" or w.nbytes >= 10_000_000:
                continue
            paths = []
            for i, payload in enumerate(w.payloads):
                paths.append(Path(folder) / f"{w.shape}-{w.size_label}-{i}.json")
                paths[-1].write_bytes(payload)
            try:
                fresh, primed = fresh_process.measure(paths, prime_path, rounds)
            except RuntimeError as exc:
                print(f"  {w.shape:<17} {w.size_label:<6} failed: {exc}")
                continue
            print(f"  {w.shape:<17} {w.size_label:<6} {fresh * 1e6:10.1f} µs  {fresh / primed:5.2f}x")


def print_targets(workloads: list[Workload], mbps: dict, medians: dict, out_sizes: dict, threads: list[float],
                  memory: list[float]) -> None:
    """The worst case of each figure against its goal, over the generated shapes at 100 KB and
    10 MB and every real payload (the 1 KB figure over the 1 KB shapes)."""
    big = [w for w in workloads if w.size_label != "1KB"]
    small = [w for w in workloads if w.size_label == "1KB"]
    key = lambda w, name: (w.shape, w.size_label, name)  # noqa: E731
    figures = [
        ("min tarvel ÷ orjson pipeline", ">= 5", 5, True,
         [(w, mbps[key(w, report.OURS)] / mbps[key(w, report.ORJSON)]) for w in big]),
        ("min tarvel ÷ simdjson parse (bytes: larger of in and out)", ">= 0.5", 0.5, True,
         [(w, report.parse_share(w, mbps, out_sizes)) for w in big]),
        ("max per-call time tarvel ÷ orjson pipeline, 1KB", "<= 0.1", 0.1, False,
         [(w, medians[key(w, report.OURS)] / medians[key(w, report.ORJSON)]) for w in small]),
        ("min 2 threads ÷ 1 thread, 100KB", ">= 1.8", 1.8, True, [(None, t) for t in threads]),
        ("max peak extra memory ÷ payload (sparse: ÷ output), 10MB", "<= 2", 2, False, [(None, m) for m in memory]),
    ]
    print("goals (worst case: generated shapes at 100KB and 10MB, and the real payloads)")
    for label, goal, bound, at_least, values in figures:
        if not values:
            print(f"  {label:<58} -      goal {goal}: not measured")
            continue
        where, worst = (min if at_least else max)(values, key=lambda v: v[1])
        met = worst >= bound if at_least else worst <= bound
        short = [f"{w.shape} {w.size_label}" for w, v in values if w and (v < bound if at_least else v > bound)]
        print(f"  {label:<58} {worst:6.2f} goal {goal}: {'met' if met else 'NOT met: ' + ', '.join(short)}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="fewer, shorter rounds: under a minute")
    parser.add_argument("--only-competitors", action="store_true", help="leave tarvel_codec out")
    parser.add_argument("--rounds", type=int, help="override the number of timing rounds")
    parser.add_argument("--chart", metavar="PNG", help="also draw the figures against the goals (matplotlib)")
    parser.add_argument("--markdown", action="store_true", help="also print the goals' figures as a Markdown table")
    args = parser.parse_args()
    settings = QUICK if args.quick else FULL
    if args.rounds:
        settings = Settings(args.rounds, args.rounds, settings.min_sample_seconds, settings.thread_seconds,
                            settings.thread_rounds)

    print(machine.describe())
    print(f"mode: {'quick' if args.quick else 'full'}, {settings.rounds} interleaved rounds "
          f"({settings.big_rounds} for 10 MB); command: "
          f"python bench/run.py {' '.join(sys.argv[1:])}".rstrip())
    workloads = build_workloads()
    contenders = checked_contenders(workloads, not args.only_competitors)
    if not contenders:
        print("nothing to time")
        return 1
    small = [w for w in workloads if w.nbytes < 1_000_000]
    big = [w for w in workloads if w.nbytes >= 1_000_000]
    medians = interleaved_medians(small, contenders, settings.rounds, settings.min_sample_seconds)
    medians.update(interleaved_medians(big, contenders, settings.big_rounds, settings.min_sample_seconds))
    mbps = report.throughput(workloads, medians, list(contenders))
    ours = contenders.get(report.OURS)
    out_sizes = {(w.shape, w.size_label): sum(len(ours(p)) for p in w.payloads) for w in workloads} if ours else {}
    print()
    report.print_throughput(workloads, mbps, out_sizes)
    if report.ROUND_TRIP in contenders and report.ORJSON in contenders:
        print()
        report.print_round_trip(workloads, mbps)
    print()
    report.print_latency(workloads, medians)
    threads, memory = [], []
    if ours:
        print()
        threads = print_threads(workloads, ours, settings)
        print()
        memory = print_memory(workloads)
        print()
        print_fresh_process(workloads, settings.rounds)
    else:
        print("\nthreads and memory figures skipped: tarvel_codec is not being timed")
    if ours and report.ORJSON in contenders and report.SIMDJSON in contenders:
        print()
        print_targets(workloads, mbps, medians, out_sizes, threads, memory)
    if args.markdown and ours and report.ORJSON in contenders and report.SIMDJSON in contenders:
        print()
        report.print_markdown_summary(workloads, mbps, medians, out_sizes)
    if args.chart and ours and report.ORJSON in contenders and report.SIMDJSON in contenders:
        import chart
        chart.draw(workloads, mbps, out_sizes, Path(args.chart))
        print(f"\nchart written to {args.chart}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
