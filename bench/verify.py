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
from dataclasses import dataclass

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


def check_document(output: bytes, ref: dict, ref_text: str) -> int:
    """0 when exact, else how many floats needed the tolerance; raises Mismatch otherwise."""
    if type(output) is not bytes:
        raise Mismatch(f"result is {type(output).__name__}, not bytes")
    parsed = json.loads(output)
    # json.dumps spells 1, 1.0 and true differently, so equal text means equal kinds too.
    if json.dumps(parsed, ensure_ascii=False) == ref_text:
        return 0
    return _compare(parsed, ref, "$")


@dataclass
class Verdict:
    failure: str | None = None
    near_floats: int = 0  # floats equal only within the tolerance, over all payloads checked

    def describe(self) -> str:
        if self.failure:
            return f"FAILED: {self.failure}"
        if self.near_floats:
            return f"equal; {self.near_floats} float(s) within {_MAX_ULPS} ulp, the rest exact"
        return "exact"


def check_workload(contenders: list[Contender], payloads: tuple[bytes, ...], verdicts: dict[str, Verdict]) -> None:
    """Checks every contender on every payload, adding to its verdict; the first failure sticks."""
    for payload in payloads:
        rows = json.loads(payload)
        ref = columnar_document(rows)
        ref_text = json.dumps(ref, ensure_ascii=False)
        for contender in contenders:
            verdict = verdicts[contender.name]
            if verdict.failure:
                continue
            try:
                result = contender.run(payload)
                if contender.makes_document:
                    verdict.near_floats += check_document(result, ref, ref_text)
                elif result != len(rows):
                    raise Mismatch(f"parse saw {result!r} elements, expected {len(rows)}")
            except Exception as exc:  # any failure disqualifies the contender, with its reason
                verdict.failure = f"{type(exc).__name__}: {exc}"
