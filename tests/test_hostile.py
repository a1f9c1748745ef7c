"""Payloads built to hurt. Expected documents are assembled from each payload's structure with string joins."""
import importlib.util
import itertools
import math
import random
from decimal import Decimal

import pytest

from tarvel_codec import columnarize
pytestmark = []
if importlib.util.find_spec("pytest_timeout"):
    pytestmark.append(pytest.mark.timeout(600))

PARSE = "invalid row-oriented JSON: "
MILLION = 1_000_000


def doc(columns, rows, constants=""):
    """The columnar document from compact texts: column names, the cell texts of each row, constant members."""
    cols = ",".join(f'"{c}"' for c in columns)
    body = ",".join("[" + ",".join(cells) + "]" for cells in rows)
    return f'{{"columns":[{cols}],"rows":[{body}],"constants":{{{constants}}}}}'.encode()


def fails(payload, message):
    with pytest.raises(RuntimeError) as info:
        columnarize(payload if isinstance(payload, bytes) else payload.encode())
    assert info.type is RuntimeError and info.value.args == (message,)


def at(text, offset):
    """' at line L column C' for the byte at offset."""
    return f" at line {text.count(chr(10), 0, offset) + 1} column {offset - text.rfind(chr(10), 0, offset)}"


def at_end(text):
    return f" at line {text.count(chr(10)) + 1} column {len(text) - text.rfind(chr(10)) - 1}"


def float_text(x):
    """The shortest round-trip digits of x laid out as the codec writes floats."""
    if x == 0:
        return "-0.0" if math.copysign(1, x) < 0 else "0.0"
    sign, digits, exp = Decimal(repr(x)).normalize().as_tuple()
    d, s = "".join(map(str, digits)), "-" if sign else ""
    e = len(d) - 1 + exp
    if e >= 16 or e <= -6:
        return f"{s}{d[0]}{'.' + d[1:] if len(d) > 1 else ''}e{'+' if e >= 0 else '-'}{abs(e)}"
    if e >= len(d) - 1:
        return s + d + "0" * (e - len(d) + 1) + ".0"
    return s + d[:e + 1] + "." + d[e + 1:] if e >= 0 else s + "0." + "0" * (-e - 1) + d


# Orders of containers: "[" an array, "{" an object holding its child under the key "k".
MIXES = {
    "arrays": lambda n: "[" * n,
    "objects": lambda n: "{" * n,
    "alternating": lambda n: ("[{" * n)[:n],
    "alternating-objects-first": lambda n: ("{[" * n)[:n],
    "arrays-then-objects": lambda n: "[" * (n // 2) + "{" * (n - n // 2),
    "objects-then-arrays": lambda n: "{" * (n // 2) + "[" * (n - n // 2),
    "random": lambda n: "".join(random.Random(n).choices("[{", k=n)),
}


def openers(kinds):
    return ['[' if k == "[" else '{"k":' for k in kinds]


def nest(kinds, leaf="0", sep=""):
    closes = "".join("]" if k == "[" else "}" for k in reversed(kinds))
    return sep.join(openers(kinds)) + sep + leaf + closes


@pytest.mark.parametrize("sep", ["", "\n "])
@pytest.mark.parametrize("mix", MIXES)
def test_nesting_at_and_past_the_limit(mix, sep):
    kinds = MIXES[mix](127)
    # 127 levels with the top-level array: the first kind is the row itself.
    payload = "[" + sep + nest(kinds[:126], sep=sep) + "]"
    inner = nest(kinds[:126])
    if kinds[0] == "{":
        assert columnarize(payload.encode()) == doc(["k"], [[nest(kinds[1:126])]])
    else:
        fails(payload, "expected a JSON object row, got: " + inner)
    # One level more: the 128th bracket fails, wherever it stands.
    payload = "[" + sep + nest(kinds, sep=sep) + "]"
    offset = len("[" + sep + sep.join(openers(kinds[:126])) + sep)
    assert payload[offset] in "[{"
    fails(payload, PARSE + "recursion limit exceeded" + at(payload, offset))


@pytest.mark.parametrize("mix", ["arrays", "objects", "random"])
def test_a_million_open_brackets(mix):
    opens = openers(MIXES[mix](MILLION))
    payload = "[" + "".join(opens)
    fails(payload, PARSE + "recursion limit exceeded" + at(payload, 1 + len("".join(opens[:126]))))


@pytest.mark.parametrize("mix", MIXES)
def test_deep_values_compared_during_folding(mix):
    kinds = MIXES[mix](125)  # row at level 2, the value's containers at levels 3 to 127
    v, w = nest(kinds), nest(kinds, leaf="0.0")
    assert columnarize(f'[{{"a":{v}}},{{"a":{v}}}]'.encode()) == doc([], [[], []], f'"a":{v}')
    # Below the top level the number class counts: 0 and 0.0 differ.
    assert columnarize(f'[{{"a":{v}}},{{"a":{w}}}]'.encode()) == doc(["a"], [[v], [w]])


@pytest.mark.parametrize("payload, message", [
    ("[" + ",".join(["{}"] * (MILLION - 1) + ["7"]) + "]", "expected a JSON object row, got: 7"),
    ("[" + ",".join(["1"] * MILLION) + "]", "expected a JSON object row, got: 1"),
    ('["s",' + "{}," * MILLION + "[]]", 'expected a JSON object row, got: "s"'),
    ("[7," + "{}," * MILLION + "]", PARSE + "trailing comma"),  # a syntax error at the end wins over the early 7
    ("[" + "{}," * MILLION + "{]", PARSE + "key must be a string"),
])
def test_a_million_elements_failing(payload, message):
    fails(payload, message + (at(payload, len(payload) - 1) if message.startswith(PARSE) else ""))


def test_a_million_empty_rows():
    assert columnarize(("[" + ",".join(["{}"] * MILLION) + "]").encode()) == doc([], [[]] * MILLION)


def test_a_row_with_100000_keys_and_its_reordered_twin():
    n = 100_000
    first = [f'"k{i}":{i}' for i in range(n)]
    assert columnarize(f'[{{{",".join(first)}}}]'.encode()) == doc(
        [f"k{i}" for i in range(n)], [[str(i) for i in range(n)]])
    # Second row: the same keys backwards; odd keys hold another value there.
    second = [f'"k{i}":{i if i % 2 == 0 else -i}' for i in reversed(range(n))]
    got = columnarize(f'[{{{",".join(first)}}},{{{",".join(second)}}}]'.encode())
    odd = range(1, n, 2)
    assert got == doc([f"k{i}" for i in odd], [[str(i) for i in odd], [str(-i) for i in odd]],
                      ",".join(first[0::2]))


def _blocks(pair, count):
    """All 2**count keys made of count two-byte blocks from pair."""
    keys = [""]
    for _ in range(count):
        keys = [k + b for k in keys for b in pair]
    return keys


KEY_SETS = {
    # Same length and prefix, one byte changed at every position.
    "one-byte-apart": ["k" * 64] + ["k" * p + c + "k" * (63 - p) for p in range(64)
                                    for c in "abcdefghijlmnopqrstuvwxyz0123456789"],
    # h*33+c (djb2): "Aa" and "B@" add the same to the hash, so all these keys hash alike.
    "djb2": _blocks(("Aa", "B@"), 15),
    # h*31+c: "Aa" and "BB" collide the same way.
    "times-31": _blocks(("Aa", "BB"), 15),
    # FNV-1 and FNV-1a: the low 5 bits of the hash depend only on the low 5 bits of each byte.
    "fnv-low-bits": ["".join(t) for t in itertools.product("!Aa", repeat=9)][:20000],
}


@pytest.mark.parametrize("name", KEY_SETS)
def test_crafted_keys(name):
    keys = KEY_SETS[name]
    odd = len(keys) // 2
    # Row 1 names every key twice: the second value replaces the first in place.
    row1 = ",".join(f'"{k}":0' for k in keys) + "," + ",".join(f'"{k}":{i}' for i, k in enumerate(keys))
    row2 = ",".join(f'"{keys[i]}":{-1 if i == odd else i}' for i in reversed(range(len(keys))))
    got = columnarize(f'[{{{row1}}},{{{row2}}}]'.encode())
    assert got == doc([keys[odd]], [[str(odd)], ["-1"]],
                      ",".join(f'"{k}":{i}' for i, k in enumerate(keys) if i != odd))


def test_large_objects_compared_in_another_order():
    members = [f'"k{i}":{i}' for i in range(100_000)]
    shuffled = members[:]
    random.Random(7).shuffle(shuffled)
    a, b = "{" + ",".join(members) + "}", "{" + ",".join(shuffled) + "}"
    assert columnarize(f'[{{"a":{a}}},{{"a":{b}}}]'.encode()) == doc([], [[], []], f'"a":{a}')
    c = b.replace('"k99999":99999', '"k99999":-1')
    assert columnarize(f'[{{"a":{a}}},{{"a":{c}}}]'.encode()) == doc(["a"], [[a], [c]])


def test_a_100_megabyte_string():
    s = b"0123456789abcdef" * (100 * 2**20 // 16)
    assert columnarize(b'[{"s":"' + s + b'"}]') == b'{"columns":["s"],"rows":[["' + s + b'"]],"constants":{}}'
    n = 2**20  # escapes decoded and written back in their compact form
    got = columnarize(b'[{"s":"' + rb'\u00e9\/\t\"\u0001\ud83d\ude00x' * n + b'"}]')
    assert got == b'{"columns":["s"],"rows":[["' + '\u00e9/\\t\\"\\u0001\U0001f600x'.encode() * n + b'"]],"constants":{}}'


@pytest.mark.parametrize("payload, message", [
    (" " * MILLION, "EOF while parsing a value"),
    (" \t\r\n" * 2**18, "EOF while parsing a value"),
    ("\n" * 1000 + "\t\t\r", "EOF while parsing a value"),
    ("[", "EOF while parsing a list"),
    ("[" + " \n" * 100_000, "EOF while parsing a list"),
    ("[{}," + "\r\n" * 1000, "EOF while parsing a value"),
])
def test_payloads_that_end_early(payload, message):
    fails(payload, PARSE + message + at_end(payload))


# Number texts and the float each becomes (None: too large for a double).
D = 2 * MILLION
NUMBERS = [
    ("0." + "1" * D, float_text(float(11111111111111111111) / 1e20)),
    ("1" * D + f"e-{D}", float_text(float(11111111111111111111) / 1e20)),
    ("123456789" * 200_000 + f"e-{1_800_000 - 10}", float_text(float(12345678912345678912) / 1e10)),
    ("9" * 300 + ".5", float_text(float(9999999999999999999) * 1e281)),
    ("0." + "0" * D + "1", "0.0"),
    ("-0." + "0" * D + "1", "-0.0"),
    ("1" * 400, None),
    ("1e" + "0" * 5000 + "1", "10.0"),
    ("1e-" + "0" * 5000 + "1", "0.1"),
    ("1E+" + "0" * 5000 + "22", "1e+22"),
    ("1e-" + "9" * 5000, "0.0"),
    ("-1e-" + "9" * 5000, "-0.0"),
    ("0e" + "9" * 5000, "0.0"),
    ("1e" + "9" * 5000, None),
    ("1e2147483647", None),
]


@pytest.mark.parametrize("number, text", NUMBERS, ids=[f"{n[:12]}..{len(n)}" for n, _ in NUMBERS])
def test_extreme_number_texts(number, text):
    payload = f'[{{"a":{number}}}]'
    if text is None:
        fails(payload, PARSE + "number out of range" + at(payload, 5 + len(number)))
    else:
        assert columnarize(payload.encode()) == doc(["a"], [[text]])


# Decimals of 16 significant digits below 2**53 with at most 22 digits after the point: the
# fixed conversion steps round them once, so Python's own shortest round trip is the oracle.
# Many lie where a shorter or a nearer text reads back as the same double (8 <= digits < 9.007).
def sixteen_digit_decimals(seed, count):
    rng = random.Random(seed)
    for _ in range(count):
        significand = rng.choice([rng.randrange(10**15, 2**53), rng.randrange(8 * 10**15, 2**53)])
        digits = str(significand)
        point = rng.randrange(-4, 16)  # digits before the point; below 1, zeros after it
        text = "0." + "0" * -point + digits if point <= 0 else digits[:point] + "." + digits[point:]
        exponent = rng.choice(["", "", f"e-{rng.randrange(0, 7)}", f"e+{rng.randrange(0, 7)}"])
        if exponent and point > 0:
            text = digits[0] + "." + digits[1:] + exponent  # d.ddd e±X, still within 22 places
        yield rng.choice(["", "-"]) + text


@pytest.mark.parametrize("seed", range(4))
def test_sixteen_digit_decimals_against_the_shortest_round_trip(seed):
    texts = list(sixteen_digit_decimals(seed, 3000))
    payload = '[{"a":[' + ",".join(texts) + "]}]"
    expected = "[" + ",".join(float_text(float(t)) for t in texts) + "]"
    assert columnarize(payload.encode()) == doc(["a"], [[expected]])


def _members(pairs):
    return "{" + ",".join(f'"{k}":{v}' for k, v in pairs) + "}"


@pytest.mark.parametrize("width", [5, 41, 300])
def test_last_row_longer_in_member_order_than_in_column_order(width):
    """The last row holds every key in reverse, with one-digit values: read in member order it
    would open with a run of nulls longer than the whole row, right at the document's end."""
    keys = [f"k{i}" for i in range(width)]
    first = _members((k, i + 10) for i, k in enumerate(keys))
    last = _members((k, 1) for k in reversed(keys))
    assert columnarize(f"[{first},{last}]".encode()) == doc(keys, [[str(i + 10) for i in range(width)], ["1"] * width])


def test_one_row_that_repeats_its_keys_after_a_new_one():
    """A new key between a row's keys and their repeats: its column comes after every repeated
    key's, so the row cannot be written in member order."""
    keys = [f"k{i}" for i in range(1, 41)]
    pairs = [("a", 1), *((k, 2) for k in keys), ("zz", 4), *((k, 3) for k in keys)]
    assert columnarize(f"[{_members(pairs)}]".encode()) == doc(["a", *keys, "zz"], [["1", *["3"] * 40, "4"]])


# Small payloads keep their cells, key text and document in the call's own block. Numbers that
# grow when written back ("1e15" is "1000000000000000.0") make the cells outgrow the payload
# and the block, on either side of the size where the cells stop being kept there.
@pytest.mark.parametrize("count", [1, 60, 200, 797, 798, 811, 812, 3000])
def test_cells_that_outgrow_a_small_payload(count):
    texts = [f"{1 + i % 9}e{15 - i % 3}" for i in range(count)]
    key = "k" * (count % 50 + 1)
    payload = f'[{{"{key}":[{",".join(texts)}]}},{{"{key}":0}}]'.encode()
    written = ",".join(repr(float(t)) for t in texts)
    assert columnarize(payload) == doc([key], [[f"[{written}]"], ["0"]])
