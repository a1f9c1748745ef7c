"""Optional real payloads, when the shared folder sits beside the repository: recorded REST list
responses, and the classic JSON benchmark files cut into row arrays.

They are read in place and never copied into the project; when the folder is absent the
benchmark simply runs without them.
"""
from __future__ import annotations

from pathlib import Path

_SHARED = (Path(__file__).resolve().parents[2] / "shared", Path("/work/shared"))


def _files(folder: str) -> list[Path]:
    for shared in _SHARED:
        files = sorted((shared / folder).glob("*.json")) if (shared / folder).is_dir() else []
        if files:
            return files
    return []


def github_payloads() -> tuple[bytes, ...]:
    """Every recorded response body, in file-name order; empty when none are present."""
    return tuple(f.read_bytes() for f in _files("realworld/github"))


def corpus_payloads() -> dict[str, bytes]:
    """Each benchmark file by its name without the extension; empty when none are present."""
    return {f.stem: f.read_bytes() for f in _files("corpora")}
