"""Deterministic, realistic row-oriented JSON payloads for the benchmark.

Each shape is a row generator driven by a seeded random.Random, so the same
(shape, size) always gives the same bytes on every machine. Rows are encoded one
by one and joined, which is byte-identical to json.dumps of the whole list and
lets the generator stop as soon as the target size is reached.
"""
from __future__ import annotations

import json
import math
import random
import struct
import time
from dataclasses import dataclass
from typing import Callable, Iterator

SIZES = {"1KB": 1_000, "100KB": 100_000, "10MB": 10_000_000}


@dataclass(frozen=True)
class Payload:
    shape: str
    size_label: str
    data: bytes


# Word pools: mostly ASCII, with non-ASCII and characters that need escapes.
_WORDS = ("alpha", "bravo", "delta", "kilo", "orbit", "vector", "ledger", "quartz",
          "nimbus", "harbor", "signal", "cobalt", "meadow", "pixel", "summit", "tundra")
_NAMES = ("Ana Müller", "José García", "Zoë Chen", "Łukasz Nowak", "Björk Guðmundsdóttir",
          "田中 太郎", "Иван Петров", "O'Brien \"Ozzy\"", "Renée Dupont", "Ahmed Al-Sayed",
          "李小龙", "Søren Kierkegaard", "plain user", "C:\\Users\\admin", "tab\tname")
_CITIES = ("Zürich", "São Paulo", "Kraków", "Reykjavík", "東京", "Lyon", "Austin", "Oslo")
_LOG_TEXT = ("connection reset by peer", "Ошибка подключения к базе данных",
             "请求超时，正在重试", "user said \"hello\" then left", "path C:\\temp\\new\\file.txt",
             "emoji check 🚀✨ passed", "timeout after 30s\nretrying", "naïve café résumé",
             "tab\tseparated\tvalues", "unicode escape \u0001 control", "ratio 3/4 of budget")

# Review sentences per language: accented Latin, Cyrillic, Japanese, Chinese and emoji, as user
# text mostly is; each review is written in one of them.
_REVIEWS = {
    "en": ("Great product, would buy again.", "Shipping took two weeks.", "The battery lasts all day!",
           "Not what I expected — the color is off.", "Works as described."),
    "fr": ("Très bon produit, je le recommande.", "La livraison a été rapide et soignée.",
           "Un peu cher, mais la qualité est là.", "Déçu par la finition."),
    "de": ("Sehr gute Qualität, schnelle Lieferung.", "Größe passt, Farbe wie abgebildet.",
           "Würde ich wieder kaufen."),
    "es": ("¡Excelente! Llegó antes de lo previsto.", "La batería dura poco, pero el diseño es bonito."),
    "ru": ("Отличный товар, всем рекомендую.", "Доставка заняла две недели."),
    "ja": ("とても良い商品です。", "配送が早くて助かりました。"),
    "zh": ("质量很好，物流很快。", "包装有点简单，但是东西不错。"),
    "emoji": ("Love it 😍👍", "Meh 🤷 it's fine", "Five stars ⭐⭐⭐⭐⭐"),
}


def _iso(rng: random.Random, base: int = 1_700_000_000) -> str:
    t = base + rng.randrange(0, 30_000_000)
    return time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(t)) + f".{rng.randrange(1000):03d}Z"


def _any_float(rng: random.Random) -> float:
    """A float of any magnitude and digit count, with the occasional special form."""
    pick = rng.random()
    if pick < 0.05:
        return rng.choice((0.0, -0.0, 1e16, 1.5e16, 100.0, 5e-324, 1.7976931348623157e308))
    if pick < 0.35:
        return round(rng.uniform(-1000, 1000), rng.randrange(0, 4))
    return math.ldexp(rng.random() + 0.5, rng.randrange(-1000, 1000)) * rng.choice((1, -1))


def _rest_rows(rng: random.Random) -> Iterator[dict]:
    user_id = rng.randrange(1, 1 << 40)
    while True:
        user_id += rng.randrange(1, 50)
        row = {
            "id": user_id,
            "global_id": rng.randrange(1 << 63, 1 << 64) if rng.random() < 0.3 else rng.randrange(1 << 53),
            "object": "user",
            "api_version": "2024-01",
            "login": rng.choice(_WORDS) + str(rng.randrange(10_000)),
            "name": rng.choice(_NAMES),
            "active": rng.random() < 0.8,
            "balance": round(rng.uniform(-500, 5000), 2),
            "deleted_at": None,
            "created_at": _iso(rng),
            "address": {"city": rng.choice(_CITIES), "zip": f"{rng.randrange(100000):05d}",
                        "geo": {"lat": round(rng.uniform(-90, 90), 6), "lng": round(rng.uniform(-180, 180), 6)}},
            "tags": rng.sample(_WORDS, rng.randrange(0, 4)),
        }
        if rng.random() < 0.3:
            row["nickname"] = rng.choice(_NAMES)
        if rng.random() < 0.1:
            row["manager_id"] = None if rng.random() < 0.5 else rng.randrange(1, 1 << 40)
        yield row


def _metric_rows(rng: random.Random) -> Iterator[dict]:
    ts = 1_700_000_000_000
    hosts = [f"web-{i:02d}" for i in range(12)]
    while True:
        ts += rng.randrange(1, 1000)
        yield {
            "ts": ts,
            "host": rng.choice(hosts),
            "region": "eu-west-1",
            "cpu": rng.random() * 100,
            "mem_bytes": rng.randrange(1 << 36),
            "load": [rng.random() * 8, rng.random() * 8, rng.random() * 8],
            "latency_s": rng.random() / 1000,
            "rate": rng.random() * 1e12,
            "drift": rng.gauss(0, 1e-9),
            "value": _any_float(rng),
            "extra": _any_float(rng),
            "count": rng.randrange(-1000, 100_000),
            "healthy": rng.random() < 0.97,
        }


def _log_rows(rng: random.Random) -> Iterator[dict]:
    levels = ("DEBUG", "INFO", "INFO", "INFO", "WARN", "ERROR")
    while True:
        message = " | ".join(rng.choice(_LOG_TEXT) for _ in range(rng.randrange(2, 9)))
        row = {
            "ts": _iso(rng),
            "level": rng.choice(levels),
            "service": "checkout",
            "trace_id": f"{rng.getrandbits(128):032x}",
            "logger": "app." + rng.choice(_WORDS),
            "message": message,
            "duration_ms": round(rng.expovariate(0.05), 3),
        }
        if rng.random() < 0.1:
            row["exception"] = "Traceback (most recent call last):\n" + "".join(
                f"  File \"/srv/app/{rng.choice(_WORDS)}.py\", line {rng.randrange(1, 900)}\n" for _ in range(5))
        yield row


def _sparse_rows(rng: random.Random) -> Iterator[dict]:
    keys = [f"{rng.choice(_WORDS)}_{i:03d}" for i in range(400)]
    # Skewed popularity: a few keys are common, most are rare, as in event properties.
    weights = [1.0 / (i + 1) ** 0.7 for i in range(len(keys))]
    makers: list[Callable[[], object]] = [
        lambda: rng.randrange(-10**6, 10**12), lambda: rng.choice(_WORDS), lambda: rng.random() * 1e3,
        lambda: rng.random() < 0.5, lambda: None, lambda: rng.choice(_NAMES)]
    kinds = [rng.randrange(len(makers)) for _ in keys]
    while True:
        picked = dict.fromkeys(rng.choices(range(len(keys)), weights, k=15))
        yield {"event_id": rng.getrandbits(48), **{keys[i]: makers[kinds[i]]() for i in picked}}


def _search_rows(rng: random.Random) -> Iterator[dict]:
    doc = 0
    while True:
        doc += 1
        score = rng.uniform(0.5, 30)
        yield {
            "_index": "products-2024",
            "_id": f"p{doc:08d}",
            "_score": score,
            "_source": {
                "title": f"{rng.choice(_WORDS).title()} {rng.choice(_WORDS)} {rng.choice(_CITIES)}",
                "price": round(rng.uniform(1, 2000), 2),
                "in_stock": rng.random() < 0.7,
                "variants": [{"sku": f"{doc}-{v}", "size": rng.choice("SMLX"), "stock": rng.randrange(50)}
                             for v in range(rng.randrange(1, 4))],
            },
            "highlight": {"title": [f"…<em>{rng.choice(_WORDS)}</em> match…"]},
            "sort": [score, doc],
            "inner_hits": [{"_id": f"c{rng.getrandbits(32):x}", "_score": rng.random()} for _ in range(rng.randrange(0, 3))],
        }


def _review_rows(rng: random.Random) -> Iterator[dict]:
    review = 0
    while True:
        review += 1
        lang = rng.choice(tuple(_REVIEWS))
        yield {
            "id": review,
            "product_id": f"B0{rng.getrandbits(32):08X}",
            "rating": rng.randrange(1, 6),
            "lang": lang,
            "author": rng.choice(_NAMES),
            "title": rng.choice(_REVIEWS[lang]),
            "body": " ".join(rng.choice(_REVIEWS[lang]) for _ in range(rng.randrange(1, 6))),
            "verified": rng.random() < 0.8,
            "helpful_votes": rng.randrange(200),
            "created_at": _iso(rng),
        }


def _float32(x: float) -> float:
    """x rounded to single precision, as Python sees a numpy float32: repr then prints up to 17
    digits (0.1 becomes 0.10000000149011612)."""
    return struct.unpack("f", struct.pack("f", x))[0]


def _vector_rows(rng: random.Random) -> Iterator[dict]:
    chunk = 0
    while True:
        chunk += 1
        yield {
            "id": f"chunk-{chunk:06d}",
            "score": rng.random(),
            "tokens": [rng.randrange(50_000) for _ in range(rng.randrange(8, 24))],
            "bbox": [round(rng.uniform(0, 600), 2) for _ in range(4)],
            "embedding": [_float32(rng.gauss(0, 0.08)) for _ in range(32)],
            "source": {"doc": f"report-{rng.randrange(40)}.pdf", "page": rng.randrange(1, 300)},
        }


def _optional_rows(rng: random.Random) -> Iterator[dict]:
    """Records whose empty fields are left out, as serializers that skip nulls write them: every
    row holds its keys in one order, each optional one there or not. A key's column comes from
    the first row that holds it, so most rows come out of column order."""
    fields: list[tuple[str, float, Callable[[], object]]] = [
        ("email", 0.9, lambda: f"{rng.choice(_WORDS)}{rng.randrange(1000)}@example.com"),
        ("phone", 0.6, lambda: f"+1-555-{rng.randrange(10_000):04d}"),
        ("age", 0.7, lambda: rng.randrange(18, 90)),
        ("score", 0.8, lambda: round(rng.uniform(0, 100), 2)),
        ("verified", 0.9, lambda: rng.random() < 0.5),
        ("city", 0.75, lambda: rng.choice(_CITIES)),
        ("company", 0.5, lambda: rng.choice(_WORDS).title() + " Inc."),
        ("title", 0.5, lambda: rng.choice(("engineer", "manager", "analyst", "director"))),
        ("signup_at", 0.95, lambda: _iso(rng)),
        ("last_login_at", 0.7, lambda: _iso(rng)),
        ("plan", 0.8, lambda: rng.choice(("free", "pro", "team"))),
        ("seats", 0.4, lambda: rng.randrange(1, 500)),
        ("tags", 0.6, lambda: rng.sample(_WORDS, rng.randrange(1, 4))),
        ("referrer", 0.3, lambda: rng.choice(("ads", "search", "friend", "newsletter"))),
        ("name", 0.85, lambda: rng.choice(_NAMES)),
    ]
    account = 0
    while True:
        account += rng.randrange(1, 20)
        row: dict[str, object] = {"id": account}
        for name, presence, make in fields:
            if rng.random() < presence:
                row[name] = make()
        yield row


# How a shape's rows are written: json.dumps keyword arguments, or "indent" for the whole array
# pretty-printed with two spaces (as json.dumps(rows, indent=2) writes it).
_COMPACT = {"separators": (",", ":"), "ensure_ascii": False}
_SPACED = {"ensure_ascii": False}  # json's default ", " and ": "
_PRETTY = {"indent": 2, "ensure_ascii": False}
_PRETTY_ASCII = {"indent": 2, "ensure_ascii": True}  # every non-ASCII character as \u escapes
_DEFAULT = {}  # json.dumps as called without arguments: ", ", ": " and ensure_ascii

# shape -> (row generator, how its rows are written)
SHAPES: dict[str, tuple[Callable[[random.Random], Iterator[dict]], dict]] = {
    "rest": (_rest_rows, _SPACED),
    "metrics": (_metric_rows, _COMPACT),
    "logs": (_log_rows, _COMPACT),
    "sparse": (_sparse_rows, _COMPACT),
    "search": (_search_rows, _COMPACT),
    "pretty": (_rest_rows, _PRETTY),        # an API response as a person would look at it
    "escaped": (_log_rows, _PRETTY_ASCII),  # the same with Python's default ensure_ascii
    "reviews": (_review_rows, _DEFAULT),    # user text in several scripts, all of it \u escapes
    "vectors": (_vector_rows, _SPACED),     # retrieval results: arrays of ints and floats
    "optional": (_optional_rows, _COMPACT),  # records that leave out their empty fields
}


def _encode_rows(rows: Iterator[dict], style: dict, target: int) -> str:
    """Rows encoded one by one until the array reaches `target` bytes (at least 2 rows); the
    text is byte-identical to json.dumps of the whole list with the same arguments."""
    indent = style.get("indent")
    if indent:
        item_sep, opening, closing = ",\n", "[\n", "\n]"
        pad = " " * indent
        encode = lambda row: pad + json.dumps(row, **style).replace("\n", "\n" + pad)  # noqa: E731
    else:
        item_sep = style.get("separators", (", ", ": "))[0]
        opening, closing = "[", "]"
        encode = lambda row: json.dumps(row, **style)  # noqa: E731
    parts, total = [], len(opening) + len(closing)
    for row in rows:
        text = encode(row)
        parts.append(text)
        total += len(text.encode()) + len(item_sep)
        if total >= target and len(parts) >= 2:
            break
    return opening + item_sep.join(parts) + closing


def make_payload(shape: str, size_label: str) -> Payload:
    """Rows of `shape` until the encoded array reaches the target size (at least 2 rows)."""
    rows, style = SHAPES[shape]
    rng = random.Random(f"{shape}/{size_label}")
    return Payload(shape, size_label, _encode_rows(rows(rng), style, SIZES[size_label]).encode())
