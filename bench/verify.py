"""Output checks run before any timing: every contender must compute the same thing.

The reference is the pure-Python layout over json.loads. Outputs are compared as
parsed structures, not bytes, because float text differs between encoders (ours
writes 1e+16 and 100.0 where others may write 1e16). The comparison is strict on
kinds, number classes and key order; the only tolerance is a few units in the last
place on floats, since a decimal reader may round long digit strings differently
from Python's correctly rounded one.
"""
from __future__ import annotations

import json
import math

from layout import columnar_document
from pipelines import Contender

_MAX_ULPS = 4


class Mismatch(Exception):
    pass


def _near_floats(a: float, b: float) -> bool:
    return abs(a - b) <= _MAX_ULPS * math.ulp(max(abs(a), abs(b)))


def _compare(ours: object, ref: object, path: str) -> int:
    """Number of floats that differ within tolerance; raises Mismatch on anything else."""
    if type(ours) is not type(ref):
        raise Mismatch(f"{path}: {type(ours).__name__} {ours!r:.60} vs {type(ref).__name__} {ref!r:.60}")
    if type(ours) is list:
        if len(ours) != len(ref):
            raise Mismatch(f"{path}: length {len(ours)} vs {len(ref)}")
        return sum(_compare(x, y, f"{path}[{i}]") for i, (x, y) in enumerate(zip(ours, ref)))
    if type(ours) is dict:
        if list(ours) != list(ref):
            raise Mismatch(f"{path}: keys {list(ours)!r:.120} vs {list(ref)!r:.120}")
        return sum(_compare(v, ref[k], f"{path}.{k}") for k, v in ours.items())
    if ours == ref:
        return 0
    if type(ours) is float and _near_floats(ours, ref):
        return 1
    raise Mismatch(f"{path}: {ours!r:.60} vs {ref!r:.60}")


def check_document(output: bytes, ref: dict, ref_text: str) -> str:
    """'exact', or how many floats were within tolerance; raises Mismatch otherwise."""
    if type(output) is not bytes:
        raise Mismatch(f"result is {type(output).__name__}, not bytes")
    parsed = json.loads(output)
    # json.dumps spells 1, 1.0 and true differently, so equal text means equal kinds too.
    if json.dumps(parsed, ensure_ascii=False) == ref_text:
        return "exact"
    near = _compare(parsed, ref, "$")
    return f"equal, {near} float(s) within {_MAX_ULPS} ulp"


def check_workload(contenders: list[Contender], payloads: tuple[bytes, ...]) -> dict[str, str]:
    """Per contender: a note on how its output matched, or 'FAILED: ...' with the first problem."""
    notes: dict[str, set[str]] = {c.name: set() for c in contenders}
    failed: dict[str, str] = {}
    for payload in payloads:
        rows = json.loads(payload)
        ref = columnar_document(rows)
        ref_text = json.dumps(ref, ensure_ascii=False)
        for contender in contenders:
            if contender.name in failed:
                continue
            try:
                result = contender.run(payload)
                if contender.makes_document:
                    notes[contender.name].add(check_document(result, ref, ref_text))
                elif result != len(rows):
                    raise Mismatch(f"parse saw {result!r} elements, expected {len(rows)}")
                else:
                    notes[contender.name].add("parses")
            except Exception as exc:  # any failure disqualifies the contender, with its reason
                failed[contender.name] = f"FAILED: {type(exc).__name__}: {exc}"
    return {name: failed.get(name) or "; ".join(sorted(found)) for name, found in notes.items()}
