"""Column layout, constant folding and the exact bytes of the output document."""

import json
import random

import pytest

import tarvel_codec


def doc(columns, rows, constants):
    return ('{"columns":%s,"rows":%s,"constants":%s}' % (columns, rows, constants)).encode()


LAYOUTS = [
    # rows and columns
    ("no-rows", b"[]", doc("[]", "[]", "{}")),
    ("one-empty-row", b"[{}]", doc("[]", "[[]]", "{}")),
    ("two-empty-rows", b"[{},{}]", doc("[]", "[[],[]]", "{}")),
    ("single-row-drops-null", b'[{"a":1,"b":null,"c":"x"}]', doc('["a","c"]', '[[1,"x"]]', "{}")),
    ("missing-keys-null", b'[{"a":1,"b":2},{"b":3,"c":4}]', doc('["a","b","c"]', "[[1,2,null],[null,3,4]]", "{}")),
    ("first-appearance", b'[{"b":1},{"a":2,"b":3},{"c":4,"a":5}]',
     doc('["b","a","c"]', "[[1,null,null],[3,2,null],[null,5,4]]", "{}")),
    ("cells-follow-columns", b'[{"a":1,"k":2,"b":3},{"b":4,"k":2,"a":5}]', doc('["a","b"]', "[[1,3],[5,4]]", '{"k":2}')),
    ("case-sensitive", b'[{"a":1,"A":2},{"a":3,"A":4}]', doc('["a","A"]', "[[1,2],[3,4]]", "{}")),
    ("all-null-dropped", b'[{"a":null},{"a":null}]', doc("[]", "[[],[]]", "{}")),
    ("all-null-or-missing", b'[{"a":null},{},{"b":1,"a":null}]', doc('["b"]', "[[null],[null],[1]]", "{}")),
    ("some-null", b'[{"a":null},{"a":null},{"a":5}]', doc('["a"]', "[[null],[null],[5]]", "{}")),
    ("null-first-not-constant", b'[{"a":null},{"a":1},{"a":1}]', doc('["a"]', "[[null],[1],[1]]", "{}")),
    ("missing-last", b'[{"a":1},{"a":1},{}]', doc('["a"]', "[[1],[1],[null]]", "{}")),
    ("missing-first", b'[{},{"a":1},{"a":1}]', doc('["a"]', "[[null],[1],[1]]", "{}")),
    ("null-and-constant-mixed", b'[{"n":null,"c":1,"v":1},{"n":null,"c":1,"v":2}]', doc('["v"]', "[[1],[2]]", '{"c":1}')),
    # constants
    ("all-constant", b'[{"a":1,"b":"x"},{"a":1,"b":"x"}]', doc("[]", "[[],[]]", '{"a":1,"b":"x"}')),
    ("constants-first-appearance", b'[{"x":1,"b":2,"a":3},{"a":3,"b":2,"x":1}]', doc("[]", "[[],[]]", '{"x":1,"b":2,"a":3}')),
    ("constant-leaves-columns", b'[{"b":1,"a":2},{"c":3,"a":2}]', doc('["b","c"]', "[[1,null],[null,3]]", '{"a":2}')),
    ("differs-in-third-row", b'[{"a":1},{"a":1},{"a":2}]', doc('["a"]', "[[1],[1],[2]]", "{}")),
    ("false-constant", b'[{"a":false},{"a":false}]', doc("[]", "[[],[]]", '{"a":false}')),
    ("empty-string-key-and-value", b'[{"":""},{"":""}]', doc("[]", "[[],[]]", '{"":""}')),
    ("empty-containers", b'[{"a":[],"b":{}},{"a":[],"b":{}}]', doc("[]", "[[],[]]", '{"a":[],"b":{}}')),
    ("decoded-strings-equal", rb'[{"a":"\u00e9"},{"a":"' + "é".encode() + b'"}]', doc("[]", "[[],[]]", '{"a":"é"}')),
    ("false-vs-null", b'[{"a":false},{"a":null}]', doc('["a"]', "[[false],[null]]", "{}")),
    ("number-vs-string", b'[{"a":1},{"a":"1"}]', doc('["a"]', '[[1],["1"]]', "{}")),
    ("boolean-vs-number", b'[{"a":true},{"a":1}]', doc('["a"]', "[[true],[1]]", "{}")),
    # top-level numbers compare by exact value; the first row's form wins
    ("int-then-float", b'[{"a":1},{"a":1.0}]', doc("[]", "[[],[]]", '{"a":1}')),
    ("float-then-int", b'[{"a":1.0},{"a":1}]', doc("[]", "[[],[]]", '{"a":1.0}')),
    ("hundred", b'[{"a":100},{"a":1E2},{"a":100.0}]', doc("[]", "[[],[],[]]", '{"a":100}')),
    ("zero-minus-zero", b'[{"a":0},{"a":-0.0}]', doc("[]", "[[],[]]", '{"a":0}')),
    ("minus-zero-first", b'[{"a":-0},{"a":0}]', doc("[]", "[[],[]]", '{"a":-0.0}')),
    ("negative-int-float", b'[{"a":-5},{"a":-5.0}]', doc("[]", "[[],[]]", '{"a":-5}')),
    ("int-vs-exponent-float", b'[{"a":10000000000000000},{"a":1e16}]', doc("[]", "[[],[]]", '{"a":10000000000000000}')),
    ("zero-int-vs-minus-zero-first", b'[{"a":-0.0},{"a":0}]', doc("[]", "[[],[]]", '{"a":-0.0}')),
    ("float-zeros", b'[{"a":-0.0},{"a":0e5}]', doc("[]", "[[],[]]", '{"a":-0.0}')),
    ("float-spellings", b'[{"a":1.5},{"a":15e-1},{"a":1.50}]', doc("[]", "[[],[],[]]", '{"a":1.5}')),
    ("floats-one-ulp-apart", b'[{"a":0.30000000000000004},{"a":0.3}]',
     doc('["a"]', "[[0.30000000000000004],[0.3]]", "{}")),
    ("int-vs-fraction", b'[{"a":1},{"a":1.5}]', doc('["a"]', "[[1],[1.5]]", "{}")),
    ("zero-vs-subnormal", b'[{"a":0},{"a":5e-324}]', doc('["a"]', "[[0],[5e-324]]", "{}")),
    ("subnormal-vs-zero", b'[{"a":-2.2250738585072e-308},{"a":-0}]',
     doc('["a"]', "[[-2.2250738585072e-308],[-0.0]]", "{}")),
    # texts that agree up to a point, a digit, or an end
    ("int-vs-float-next-digit", b'[{"a":1234},{"a":1235.0}]', doc('["a"]', "[[1234],[1235.0]]", "{}")),
    ("negative-int-vs-float-next-digit", b'[{"a":-1234},{"a":-1233.0}]', doc('["a"]', "[[-1234],[-1233.0]]", "{}")),
    ("int-vs-float-point-inside", b'[{"a":123},{"a":12.3}]', doc('["a"]', "[[123],[12.3]]", "{}")),
    ("ints-one-longer", b'[{"a":12},{"a":120}]', doc('["a"]', "[[12],[120]]", "{}")),
    ("big-int-equals-exponent-float", b'[{"a":12345678901234567168},{"a":1.2345678901234567e19}]',
     doc("[]", "[[],[]]", '{"a":12345678901234567168}')),
    ("ints-same-double", b'[{"a":9007199254740993},{"a":9007199254740992}]',
     doc('["a"]', "[[9007199254740993],[9007199254740992]]", "{}")),
    ("ids-same-double", b'[{"id":1234567890123456789},{"id":1234567890123456790}]',
     doc('["id"]', "[[1234567890123456789],[1234567890123456790]]", "{}")),
    ("int-vs-float-above-2-53", b'[{"a":9007199254740993},{"a":9007199254740993.0}]',
     doc('["a"]', "[[9007199254740993],[9007199254740994.0]]", "{}")),
    ("int-equals-float-2-53", b'[{"a":9007199254740992},{"a":9007199254740992.0}]',
     doc("[]", "[[],[]]", '{"a":9007199254740992}')),
    ("u64-max-vs-2-64", b'[{"a":18446744073709551615},{"a":18446744073709551616}]',
     doc('["a"]', "[[18446744073709551615],[1.8446744073709552e+19]]", "{}")),
    ("i64-min-float", b'[{"a":-9223372036854775808},{"a":-9223372036854775808.0}]',
     doc("[]", "[[],[]]", '{"a":-9223372036854775808}')),
    # nested values use strict equality: the number class counts, key order does not
    ("nested-array-classes", b'[{"a":[1]},{"a":[1.0]}]', doc('["a"]', "[[[1]],[[1.0]]]", "{}")),
    ("nested-object-classes", b'[{"a":{"x":1}},{"a":{"x":1.0}}]', doc('["a"]', '[[{"x":1}],[{"x":1.0}]]', "{}")),
    ("object-key-order-ignored", b'[{"a":{"x":1,"y":2}},{"a":{"y":2,"x":1}}]', doc("[]", "[[],[]]", '{"a":{"x":1,"y":2}}')),
    ("object-copied-whole", b'[{"a":{"y":1,"x":2}},{"a":{"x":3}}]', doc('["a"]', '[[{"y":1,"x":2}],[{"x":3}]]', "{}")),
    ("object-extra-key", b'[{"a":{"x":1}},{"a":{"x":1,"y":2}}]', doc('["a"]', '[[{"x":1}],[{"x":1,"y":2}]]', "{}")),
    ("object-missing-key", b'[{"a":{"x":1,"y":2}},{"a":{"x":1}}]', doc('["a"]', '[[{"x":1,"y":2}],[{"x":1}]]', "{}")),
    ("object-null-vs-other-key", b'[{"a":{"x":null,"y":1}},{"a":{"y":1,"z":null}}]',
     doc('["a"]', '[[{"x":null,"y":1}],[{"y":1,"z":null}]]', "{}")),
    ("nested-null-vs-missing", b'[{"a":{"x":null}},{"a":{}}]', doc('["a"]', '[[{"x":null}],[{}]]', "{}")),
    ("array-lengths", b'[{"a":[1,2]},{"a":[1]}]', doc('["a"]', "[[[1,2]],[[1]]]", "{}")),
    # the first elements of nested containers settle most inequalities before a full comparison
    ("deep-first-zero", b'[{"a":[[0.0],2]},{"a":[[-0.0],2]}]', doc("[]", "[[],[]]", '{"a":[[0.0],2]}')),
    ("deep-first-class", b'[{"a":[[1],2]},{"a":[[1.0],2]}]', doc('["a"]', "[[[[1],2]],[[[1.0],2]]]", "{}")),
    # nested first elements that open alike or not: settled there, or compared through
    ("nested-zeros-open-differently", b'[{"a":[0.0,1]},{"a":[-0.0,1]}]', doc("[]", "[[],[]]", '{"a":[0.0,1]}')),
    ("nested-minus-zero-first", b'[{"a":{"x":-0.0}},{"a":{"x":0.0}}]', doc("[]", "[[],[]]", '{"a":{"x":-0.0}}')),
    ("nested-zero-classes-open-differently", b'[{"a":[0,1]},{"a":[-0.0,1]}]', doc('["a"]', "[[[0,1]],[[-0.0,1]]]", "{}")),
    ("nested-first-differs-late", b'[{"a":[1234,1]},{"a":[1235,1]}]', doc('["a"]', "[[[1234,1]],[[1235,1]]]", "{}")),
    ("nested-first-prefix", b'[{"a":[12,1]},{"a":[123,1]}]', doc('["a"]', "[[[12,1]],[[123,1]]]", "{}")),
    ("nested-first-equal-rest-differs", b'[{"a":[true,1]},{"a":[true,2]}]', doc('["a"]', "[[[true,1]],[[true,2]]]", "{}")),
    ("deep-first-kind", b'[{"a":[[1]]},{"a":[{"x":1}]}]', doc('["a"]', '[[[[1]]],[[{"x":1}]]]', "{}")),
    ("deep-first-then-rest", b'[{"a":[[1],2]},{"a":[[1],3]}]', doc('["a"]', "[[[[1],2]],[[[1],3]]]", "{}")),
    ("deep-object-order", b'[{"a":{"k":{"x":1,"y":2},"z":0}},{"a":{"k":{"y":2,"x":1},"z":0}}]',
     doc("[]", "[[],[]]", '{"a":{"k":{"x":1,"y":2},"z":0}}')),
    ("deep-empty-vs-full", b'[{"a":[[]]},{"a":[[1]]}]', doc('["a"]', "[[[[]]],[[[1]]]]", "{}")),
    # nested values compared member by member: settled by a later member, or by their ends, or
    # through a full comparison where keys come in another order after a common start
    ("later-member-differs", b'[{"a":{"x":"s","y":[1,{"p":2}]}},{"a":{"x":"s","y":[1,{"p":3}]}}]',
     doc('["a"]', '[[{"x":"s","y":[1,{"p":2}]}],[{"x":"s","y":[1,{"p":3}]}]]', "{}")),
    ("later-zeros-spelled-apart", b'[{"a":{"x":"s","y":[1,0.0]}},{"a":{"x":"s","y":[1,-0.0]}}]',
     doc("[]", "[[],[]]", '{"a":{"x":"s","y":[1,0.0]}}')),
    ("later-class-differs", b'[{"a":{"x":"s","y":1}},{"a":{"x":"s","y":1.0}}]',
     doc('["a"]', '[[{"x":"s","y":1}],[{"x":"s","y":1.0}]]', "{}")),
    ("later-keys-reordered", b'[{"a":{"x":1,"y":2,"z":{"p":1,"q":2}}},{"a":{"x":1,"z":{"q":2,"p":1},"y":2}}]',
     doc("[]", "[[],[]]", '{"a":{"x":1,"y":2,"z":{"p":1,"q":2}}}')),
    ("later-array-longer", b'[{"a":{"x":1,"y":[1,2]}},{"a":{"x":1,"y":[1,2,3]}}]',
     doc('["a"]', '[[{"x":1,"y":[1,2]}],[{"x":1,"y":[1,2,3]}]]', "{}")),
    ("later-object-has-more", b'[{"a":[1,{"x":1}]},{"a":[1,{"x":1,"y":2}]}]',
     doc('["a"]', '[[[1,{"x":1}]],[[1,{"x":1,"y":2}]]]', "{}")),
    ("later-empty-vs-full", b'[{"a":[1,{}]},{"a":[1,{"x":1}]}]', doc('["a"]', '[[[1,{}]],[[1,{"x":1}]]]', "{}")),
    ("later-string-vs-number", b'[{"a":[1,"2"]},{"a":[1,2]}]', doc('["a"]', '[[[1,"2"]],[[1,2]]]', "{}")),
    ("later-escaped-key-then-zeros", '[{"a":{"x":1,"k\\"q":{"e\\u00e9":2},"z":0.0}},{"a":{"x":1,"k\\"q":{"eé":2},"z":-0.0}}]'.encode(),
     doc("[]", "[[],[]]", '{"a":{"x":1,"k\\"q":{"eé":2},"z":0.0}}')),
    # nested objects spaced as json's default writes them come out compact: spaces after commas
    # and colons left out, anything else (a repeated key, a number written again, an escape,
    # other whitespace) as the general reader writes it
    ("spaced-object", b'[{"a": {"x": 1, "y": [1, "s", {"z": null}], "w": {}}}, {"a": {"x": 2, "y": [], "w": {"q": true}}}]',
     doc('["a"]', '[[{"x":1,"y":[1,"s",{"z":null}],"w":{}}],[{"x":2,"y":[],"w":{"q":true}}]]', "{}")),
    ("spaced-object-rewritten", b'[{"a": {"x": 1.50, "k": "\\u00e9", "t": ["a", "b"]}}, {"a": {"x": 1e2, "x": 3, "t": ["c", "d"]}}]',
     doc('["a"]', '[[{"x":1.5,"k":"é","t":["a","b"]}],[{"x":3,"t":["c","d"]}]]', "{}")),
    ("spaced-object-other-whitespace", b'[{"a": {"x":  1, "y": [1 , 2]}}, {"a": {"x": 1,\t"y": [1, 2]}}]',
     doc("[]", "[[],[]]", '{"a":{"x":1,"y":[1,2]}}')),
    # a row that repeats a key keeps its last value, for the layout as for the rows
    ("repeat-breaks-constant", b'[{"a":1,"b":2},{"a":1,"b":3},{"a":1,"b":4,"a":2}]',
     doc('["a","b"]', "[[1,2],[1,3],[2,4]]", "{}")),
    ("repeat-restores-constant", b'[{"a":1},{"a":1},{"a":2,"a":1}]', doc("[]", "[[],[],[]]", '{"a":1}')),
    ("repeat-in-first-row", b'[{"a":2,"b":0,"a":1},{"b":5,"a":1}]', doc('["b"]', "[[0],[5]]", '{"a":1}')),
    ("repeat-to-null", b'[{"a":null},{"a":1,"a":null}]', doc("[]", "[[],[]]", "{}")),
    # the document text
    ("whitespace-dropped", b' \t\r\n[ \t\r\n{ \t\r\n"a" \t\r\n: \t\r\n1.50 \t\r\n, "b" : [1, 2]} \t\r\n] \t\r\n',
     doc('["a","b"]', "[[1.5,[1,2]]]", "{}")),
    ("exp-float-cell", b'[{"a":1E2}]', doc('["a"]', "[[100.0]]", "{}")),
    ("escaped-names-and-values", b'[{"q\\"k":"a\\nb","s\\\\":"\\t"},{"q\\"k":"a\\nb","s\\\\":"x"}]',
     doc('["s\\\\"]', '[["\\t"],["x"]]', '{"q\\"k":"a\\nb"}')),
    ("non-ascii-raw", '[{"é":"日"},{"é":"😀"}]'.encode(), doc('["é"]', '[["日"],["😀"]]', "{}")),
    # nested objects whose first member is the same string with an escape, then reordered
    ("nested-equal-after-escaped-string",
     b'[{"c":{"k":"a\\"b","x":1,"y":2},"v":1},{"c":{"k":"a\\"b","y":2,"x":1},"v":2}]',
     doc('["v"]', "[[1],[2]]", '{"c":{"k":"a\\"b","x":1,"y":2}}')),
    ("nested-differ-after-escape", b'[{"c":{"k":"a\\"b","x":1}},{"c":{"k":"a\\"c","x":1}}]',
     doc('["c"]', '[[{"k":"a\\"b","x":1}],[{"k":"a\\"c","x":1}]]', "{}")),
    # first member strings longer than a word: differing at the end, equal, with an escape past
    # the first word, and one the other's prefix
    ("nested-link-differs-at-end", b'[{"c":{"u":"https://x.org/items/12","x":1}},{"c":{"u":"https://x.org/items/13","x":1}}]',
     doc('["c"]', '[[{"u":"https://x.org/items/12","x":1}],[{"u":"https://x.org/items/13","x":1}]]', "{}")),
    ("nested-link-equal-reordered",
     b'[{"c":{"u":"https://x.org/items/12","x":1,"y":2}},{"c":{"u":"https://x.org/items/12","y":2,"x":1}}]',
     doc("[]", "[[],[]]", '{"c":{"u":"https://x.org/items/12","x":1,"y":2}}')),
    ("nested-escape-past-a-word",
     b'[{"c":{"u":"0123456789\\"abc","x":1,"y":2}},{"c":{"u":"0123456789\\"abc","y":2,"x":1}}]',
     doc("[]", "[[],[]]", '{"c":{"u":"0123456789\\"abc","x":1,"y":2}}')),
    ("nested-differ-after-escape-past-a-word",
     b'[{"c":{"u":"0123456789\\"abc","x":1}},{"c":{"u":"0123456789\\"abd","x":1}}]',
     doc('["c"]', '[[{"u":"0123456789\\"abc","x":1}],[{"u":"0123456789\\"abd","x":1}]]', "{}")),
    ("nested-string-prefix-of-other", b'[{"c":{"u":"abcdefgh","x":1}},{"c":{"u":"abcdefghX","x":1}}]',
     doc('["c"]', '[[{"u":"abcdefgh","x":1}],[{"u":"abcdefghX","x":1}]]', "{}")),
    # the string's end inside a word, followed by zeros that are equal but spelled apart
    ("nested-string-then-zeros", b'[{"a":["abcdefg",0.0]},{"a":["abcdefg",-0.0]}]',
     doc("[]", "[[],[]]", '{"a":["abcdefg",0.0]}')),
    ("nested-escaped-backslash-then-zeros", b'[{"a":["abcdefg\\\\",0.0]},{"a":["abcdefg\\\\",-0.0]}]',
     doc("[]", "[[],[]]", '{"a":["abcdefg\\\\",0.0]}')),
]


@pytest.mark.parametrize("payload, expected", [pytest.param(p, e, id=i) for i, p, e in LAYOUTS])
def test_layout(payload, expected):
    out = tarvel_codec.columnarize(payload)
    assert type(out) is bytes
    assert out == expected



def test_wide_rows_in_any_key_order():
    """Rows of a wide table in column order, reversed, shuffled and sparse, one after another:
    every cell lands in its column, across more than one 64-column word."""
    keys = ["k%d" % i for i in range(150)]
    rng = random.Random(5)
    orders = [keys, keys[::-1], rng.sample(keys, len(keys)), keys, rng.sample(keys, 20), sorted(rng.sample(keys, 9)),
              keys[140:] + keys[:3]]
    rows = [{key: r * 1000 + i for i, key in enumerate(order)} for r, order in enumerate(orders)]
    payload = "[" + ",".join("{" + ",".join('"%s":%d' % kv for kv in row.items()) + "}" for row in rows) + "]"
    expected_rows = ",".join("[" + ",".join(str(row[k]) if k in row else "null" for k in keys) + "]" for row in rows)
    columns = "[" + ",".join('"%s"' % k for k in keys) + "]"
    assert tarvel_codec.columnarize(payload.encode()) == doc(columns, "[" + expected_rows + "]", "{}")


@pytest.mark.parametrize("width", [63, 64, 65, 130, 4096, 4097])
def test_rows_in_any_key_order_with_cells_of_no_column(width):
    """Shuffled, sparse rows that also hold a constant key and a key that is null wherever it
    appears: those cells have no column and must not shift the others, at widths around the
    64-column words and around 64 such words."""
    keys = ["k%d" % i for i in range(width)]
    rng = random.Random(width)
    samples = [keys[::-1]] + [rng.sample(keys, min(width, 1 + rng.randrange(40))) for _ in range(12)]
    rows = [{key: i for i, key in enumerate(keys)}]
    for r, sample in enumerate(samples, start=1):
        rows.append({key: r * 100000 + i for i, key in enumerate(sample)})
    texts = []
    for row in rows:
        members = ['"%s":%d' % kv for kv in row.items()]
        members.insert(rng.randrange(len(members) + 1), '"c":7')
        members.insert(rng.randrange(len(members) + 1), '"z":null')
        texts.append("{" + ",".join(members) + "}")
    payload = ("[" + ",".join(texts) + "]").encode()
    expected_rows = ",".join("[" + ",".join(str(row[k]) if k in row else "null" for k in keys) + "]" for row in rows)
    columns = "[" + ",".join('"%s"' % k for k in keys) + "]"
    assert tarvel_codec.columnarize(payload) == doc(columns, "[" + expected_rows + "]", '{"c":7}')


def compact(value):
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


@pytest.mark.parametrize("width", [2, 20, 64, 65])
def test_rows_that_leave_out_fields(width):
    """Rows that each leave out some keys, the rest in one order: a key's column comes from the
    first row that holds it, so most rows are out of column order. Cells of every length (short
    ones are copied in fixed blocks, long ones in full), long cells in the last row near the end
    of the document, a constant and an all-null key among them, and a row that repeats a key."""
    rng = random.Random(width)
    keys = ["k%d" % i for i in range(width)]
    makers = [lambda r: r, lambda r: "s%d" % r, lambda r: "long text %d " % r * 4, lambda r: {"n": [r, "x" * (r % 50)]}]
    rows = []
    for r in range(40):
        row = [(key, makers[i % 4](r * 1000 + i)) for i, key in enumerate(keys) if rng.random() < 0.7]
        row.insert(rng.randrange(len(row) + 1), ("c", 7))
        row.insert(rng.randrange(len(row) + 1), ("z", None))
        rows.append(row)
    rows[-1] = [(key, "long text at the end %d " % i * 3) for i, key in enumerate(keys) if i > 0] + [("c", 7)]
    rows[5].append((next(k for k, _ in rows[5] if k[0] == "k"), "the later value of a repeated key"))
    payload = "[" + ",".join("{" + ",".join(compact(k) + ":" + compact(v) for k, v in row) + "}" for row in rows) + "]"
    decoded = [dict(row) for row in rows]  # a repeated key: the first place, the last value
    names = [k for k in dict.fromkeys(k for row in decoded for k in row) if k not in ("c", "z")]
    expected_rows = ",".join("[" + ",".join(compact(row[k]) if k in row else "null" for k in names) + "]" for row in decoded)
    columns = "[" + ",".join(compact(k) for k in names) + "]"
    assert tarvel_codec.columnarize(payload.encode()) == doc(columns, "[" + expected_rows + "]", '{"c":7}')


KEY_FAMILIES = [
    ("lengths-0-to-20", ["", *("abcdefghijklmnopqrst"[:n] for n in range(1, 21))]),
    ("last-byte-differs", ["key_%02d" % i for i in range(40)] + ["long_key_abc%d" % i for i in range(10)]),
    ("one-byte-differs-anywhere", ["aaaaaaaaaaaaaaa"[:i] + "b" + "aaaaaaaaaaaaaaa"[i + 1:] for i in range(15)]),
    ("spaces-and-punctuation", ["a b", "a  b", " ", "  ", "~", "!#$%&'()*+,-./", "0123456789:;<=>"]),
    ("escaped-twins", ["a\\u0062c", "abc", "a\\/b", "a/b", "\\t", "tab"]),
    # Enough keys that probes collide, all alike in their first eight bytes.
    ("same-first-eight-bytes", ["commonpf%d" % i for i in range(3000)]),
]


@pytest.mark.parametrize("keys", [pytest.param(k, id=i) for i, k in KEY_FAMILIES])
def test_keys_found_in_any_order(keys):
    """Rows that hold look-alike keys in shuffled order: every cell lands under its own key,
    however the key was found (predicted, looked up by its bytes, or read in full)."""
    rng = random.Random(len(keys))
    orders = [keys] + [rng.sample(keys, rng.randrange(1, min(len(keys), 300) + 1)) for _ in range(30)]
    rows = [{key: r * 1000 + i for i, key in enumerate(order)} for r, order in enumerate(orders)]
    payload = "[" + ",".join("{" + ",".join('"%s":%d' % kv for kv in row.items()) + "}" for row in rows) + "]"
    got = json.loads(tarvel_codec.columnarize(payload.encode()))
    decoded = json.loads(payload)
    names = list(dict.fromkeys(k for row in decoded for k in row))
    assert got["columns"] == names
    assert got["rows"] == [[row.get(k) for k in names] for row in decoded]
