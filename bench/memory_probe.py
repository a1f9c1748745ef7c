"""Peak extra resident memory of one columnarize call, in a fresh process.

Run as `python memory_probe.py PAYLOAD_FILE`: reads the payload, resets the
kernel's peak-RSS mark, calls columnarize once and prints one JSON line with the
baseline and peak resident bytes. A fresh process per payload keeps the peaks of
earlier work out of the figure. `measure` runs it from the benchmark.
"""
from __future__ import annotations

import gc
import json
import resource
import subprocess
import sys
from pathlib import Path


def _status_bytes(field: str) -> int | None:
    try:
        for line in Path("/proc/self/status").read_text().splitlines():
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    except OSError:
        pass
    return None


def _reset_peak() -> bool:
    """Writing 5 to clear_refs resets VmHWM to the current RSS (Linux 4.0 and later)."""
    try:
        Path("/proc/self/clear_refs").write_text("5")
        return True
    except OSError:
        return False


def probe(path: str) -> dict:
    from tarvel_codec import columnarize
    columnarize(b"[]")  # loads the module's code pages before the baseline
    payload = Path(path).read_bytes()
    gc.collect()
    fresh_peak = _reset_peak()
    rss = _status_bytes("VmRSS")
    # Without a resettable mark, the baseline is the peak so far (an underestimate of the extra).
    baseline = rss if fresh_peak and rss else resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    output = columnarize(payload)
    peak = _status_bytes("VmHWM") or resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    return {"baseline": baseline, "peak": peak, "payload": len(payload), "output": len(output)}


def measure(path: Path) -> dict:
    """Runs the probe in a fresh interpreter; raises RuntimeError with its stderr on failure."""
    done = subprocess.run([sys.executable, __file__, str(path)], capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(done.stderr.strip().splitlines()[-1] if done.stderr.strip() else "probe failed")
    return json.loads(done.stdout)


if __name__ == "__main__":
    print(json.dumps(probe(sys.argv[1])))
