"""Optional real-world payloads: recorded REST list responses, when they sit beside the repo.

They are read in place and never copied into the project; when the folder is
absent the benchmark simply runs without them.
"""
from __future__ import annotations

from pathlib import Path

_CANDIDATES = (Path(__file__).resolve().parents[2] / "shared" / "realworld" / "github",
               Path("/work/shared/realworld/github"))


def github_payloads() -> tuple[bytes, ...]:
    """Every recorded response body, in file-name order; empty when none are present."""
    for folder in _CANDIDATES:
        files = sorted(folder.glob("*.json")) if folder.is_dir() else []
        if files:
            return tuple(f.read_bytes() for f in files)
    return ()
