"""The contenders: tarvel_codec and what a user would do without it.

Each contender is a function bytes -> object. A missing package does not stop the
benchmark: the contender is listed in `skipped` with the reason instead.
"""
from __future__ import annotations

import json
import threading
from dataclasses import dataclass
from typing import Callable

from layout import columnar_document


@dataclass(frozen=True)
class Contender:
    name: str
    run: Callable[[bytes], object]
    makes_document: bool  # False for the bare parse and the round trip: they return the row count


def stdlib_pipeline(payload: bytes) -> bytes:
    document = columnar_document(json.loads(payload))
    return json.dumps(document, separators=(",", ":"), ensure_ascii=False).encode()


def _orjson_pipeline() -> Callable[[bytes], bytes]:
    import orjson

    def orjson_pipeline(payload: bytes) -> bytes:
        return orjson.dumps(columnar_document(orjson.loads(payload)))
    return orjson_pipeline


def _orjson_round_trip() -> Callable[[bytes], int]:
    import orjson

    def orjson_round_trip(payload: bytes) -> int:
        # The parse and the serialisation every orjson pipeline does, with no layout between:
        # a floor under the pipeline's time that no Python layout can go below.
        rows = orjson.loads(payload)
        orjson.dumps(rows)
        return len(rows)
    return orjson_round_trip


def _simdjson_parse() -> Callable[[bytes], object]:
    import simdjson

    local = threading.local()  # a pysimdjson Parser must not be shared between threads

    def simdjson_parse(payload: bytes) -> int:
        parser = getattr(local, "parser", None)
        if parser is None:
            parser = local.parser = simdjson.Parser()
        # parse() builds the whole DOM tape before returning; only Python proxies are lazy.
        # Take the length and drop the proxy at once, so the parser can be reused.
        return len(parser.parse(payload))
    return simdjson_parse


def _ours() -> Callable[[bytes], bytes]:
    from tarvel_codec import columnarize
    return columnarize


def load_contenders(include_ours: bool = True) -> tuple[list[Contender], dict[str, str]]:
    """The contenders whose packages import, in table order, and the reasons for the others."""
    wanted = [("tarvel_codec", _ours, True, "pip install ."),
              ("stdlib", lambda: stdlib_pipeline, True, ""),
              ("orjson", _orjson_pipeline, True, "pip install '.[bench]'"),
              ("simdjson parse", _simdjson_parse, False, "pip install '.[bench]'"),
              ("orjson round trip", _orjson_round_trip, False, "pip install '.[bench]'")]
    contenders, skipped = [], {}
    for name, factory, makes_document, install_hint in wanted:
        if name == "tarvel_codec" and not include_ours:
            skipped[name] = "left out (--only-competitors)"
            continue
        try:
            contenders.append(Contender(name, factory(), makes_document))
        except ImportError as exc:
            skipped[name] = f"package missing ({exc}); {install_hint}"
    return contenders, skipped
