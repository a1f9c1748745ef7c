"""Two builds of tarvel_codec side by side: each workload timed with both, interleaved round by
round in one process, and the second's time ÷ the first's printed (below 1 means faster).

    python bench/compare.py OLD.so NEW.so [--rounds N]

The builds' extension files are loaded under the module's own name, one after the other, each
from its own path. Both must give the same bytes on every payload, or nothing is timed.
"""
from __future__ import annotations

import argparse
import importlib.machinery
import importlib.util
import statistics
import sys

from rounds import interleaved_medians
from run import build_workloads


def load_build(path: str):
    """The columnarize function of the extension file at `path`."""
    loader = importlib.machinery.ExtensionFileLoader("tarvel_codec", path)
    spec = importlib.util.spec_from_file_location("tarvel_codec", path, loader=loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    sys.modules.pop("tarvel_codec", None)  # the next build loads afresh
    return module.columnarize


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--rounds", type=int, default=15)
    args = parser.parse_args()
    builds = {"old": load_build(args.old), "new": load_build(args.new)}
    workloads = build_workloads()
    for w in workloads:
        for payload in w.payloads:
            if builds["old"](payload) != builds["new"](payload):
                print(f"the builds differ on {w.shape} {w.size_label}: nothing timed")
                return 1
    small = [w for w in workloads if w.nbytes < 1_000_000]
    big = [w for w in workloads if w.nbytes >= 1_000_000]
    medians = interleaved_medians(small, builds, args.rounds, 0.03)
    medians.update(interleaved_medians(big, builds, max(3, args.rounds // 3), 0.03))
    ratios = []
    print(f"{'shape':<17} {'size':<6} {'old µs':>10} {'new µs':>10} {'new÷old':>8}")
    for w in workloads:
        old, new = medians[(w.shape, w.size_label, "old")], medians[(w.shape, w.size_label, "new")]
        ratios.append(new / old)
        print(f"{w.shape:<17} {w.size_label:<6} {old * 1e6:10.1f} {new * 1e6:10.1f} {new / old:8.3f}")
    print(f"new ÷ old: median {statistics.median(ratios):.3f}, worst {max(ratios):.3f}, best {min(ratios):.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
