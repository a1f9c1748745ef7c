"""The benchmark's figures against their goals, drawn as one picture (matplotlib, from the
bench extra): tarvel ÷ the orjson pipeline and tarvel ÷ the bare parse, per payload."""
from __future__ import annotations

from pathlib import Path

import report
from rounds import Workload


def draw(workloads: list[Workload], mbps: dict, out_sizes: dict, path: Path) -> None:
    import matplotlib
    matplotlib.use("Agg")  # no screen needed
    import matplotlib.pyplot as plt

    shown = [w for w in workloads if w.size_label != "1KB"]
    labels = [f"{w.shape} {w.size_label}" for w in shown]
    key = lambda w, name: (w.shape, w.size_label, name)  # noqa: E731
    pipeline = [mbps[key(w, report.OURS)] / mbps[key(w, report.ORJSON)] for w in shown]
    share = [report.parse_share(w, mbps, out_sizes) or 0.0 for w in shown]
    fig, (left, right) = plt.subplots(1, 2, figsize=(11, 0.32 * len(shown) + 1.5), sharey=True)
    rows = range(len(shown))
    for axis, values, goal, title in ((left, pipeline, 5, "× the orjson pipeline (goal ≥ 5)"),
                                      (right, share, 0.5, "share of the bare simdjson parse (goal ≥ 0.5)")):
        colours = ["tab:green" if v >= goal else "tab:red" for v in values]
        axis.barh(rows, values, color=colours)
        axis.axvline(goal, color="black", linestyle="--", linewidth=1)
        axis.set_title(title, fontsize=10)
        axis.grid(axis="x", alpha=0.3)
    left.set_yticks(list(rows), labels, fontsize=8)
    left.invert_yaxis()
    fig.suptitle("tarvel_codec.columnarize, input MB/s ratios (python bench/run.py --chart)", fontsize=11)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)
