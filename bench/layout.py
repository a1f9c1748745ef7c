"""The columnar layout in pure Python: what a user would write without tarvel_codec.

Same semantics as columnarize: columns in first-appearance order, keys null or
absent in every row dropped, keys with one equal non-null value in every row of a
table of at least two rows lifted into "constants" (first row's value), cells
aligned with columns. Written with the fast idioms (C-level dict and map calls
where they exist) so the competitor pipelines are not handicapped.
"""
from __future__ import annotations

from itertools import chain

_NUMBERS = (int, float)  # bool is excluded on purpose: type(True) is bool, not int


def strict_equal(a: object, b: object) -> bool:
    """JSON value equality where the number class counts (1 != 1.0, true != 1)."""
    if type(a) is not type(b) or a != b:
        return False  # Python's == is looser than ours, never stricter
    if type(a) is list:
        return all(strict_equal(x, y) for x, y in zip(a, b))
    if type(a) is dict:
        return all(strict_equal(v, b[k]) for k, v in a.items())
    return True


def cells_equal(a: object, b: object) -> bool:
    """Constant folding's comparison: top-level numbers compare as doubles."""
    if type(a) in _NUMBERS and type(b) in _NUMBERS:
        return float(a) == float(b)
    return strict_equal(a, b)


def columnar_document(rows: object) -> dict:
    """The columnar document {"columns", "rows", "constants"} for a parsed payload."""
    if type(rows) is not list or not all(type(row) is dict for row in rows):
        raise ValueError("expected a JSON array of objects")
    non_null = {k for row in rows for k, v in row.items() if v is not None}
    keys = [k for k in dict.fromkeys(chain.from_iterable(rows)) if k in non_null]
    constants = {}
    if len(rows) >= 2:
        first = rows[0]
        for key in keys:
            value = first.get(key)
            if value is not None and all(cells_equal(row.get(key), value) for row in rows):
                constants[key] = value
    columns = [k for k in keys if k not in constants]
    cells = [list(map(row.get, columns)) for row in rows]
    return {"columns": columns, "rows": cells, "constants": constants}
