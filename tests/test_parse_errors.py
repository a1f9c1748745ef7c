"""Rejected payloads: every parse error with its exact text, line and column."""

import json
import random

import pytest

import tarvel_codec

INVALID = "invalid row-oriented JSON: "
NOT_ROW = "expected a JSON object row, got: "
CTRL = "control character (\\u0000-\\u001F) found while parsing a string"


def table(*rows):
    return [pytest.param(payload, expected, id=name) for name, payload, expected in rows]


def error_of(payload):
    with pytest.raises(RuntimeError) as info:
        tarvel_codec.columnarize(payload)
    assert type(info.value) is RuntimeError and len(info.value.args) == 1
    return str(info.value)


# Positions: the column counts the bytes of the line up to and including the
# offending byte; at the end of the input it is the length of the last line.
SYNTAX = table(
    ("empty", b"", "EOF while parsing a value at line 1 column 0"),
    ("two-spaces", b"  ", "EOF while parsing a value at line 1 column 2"),
    ("whitespace-ending-in-lf", b" \t\r\n", "EOF while parsing a value at line 2 column 0"),
    ("bom", b"\xef\xbb\xbf[]", "expected value at line 1 column 1"),
    ("form-feed-before", b"\x0c[]", "expected value at line 1 column 1"),
    ("form-feed-inside", b"[\x0c]", "expected value at line 1 column 2"),
    ("nbsp-inside", b"[\xc2\xa0]", "expected value at line 1 column 2"),
    ("nul", b"[nul]", "expected ident at line 1 column 5"),
    ("fals", b"[fals]", "expected ident at line 1 column 6"),
    ("True", b"[True]", "expected value at line 1 column 2"),
    ("nulll", b"[nulll]", "expected `,` or `]` at line 1 column 6"),
    ("eof-in-literal", b"[tru", "EOF while parsing a value at line 1 column 4"),
    # the same as a row's member values, where a whole word is read at once
    ("member-nulll", b'[{"a":nulll,"b":1}]', "expected `,` or `}` at line 1 column 11"),
    ("member-fals", b'[{"a":fals,"b":1}]', "expected ident at line 1 column 11"),
    ("member-falsE", b'[{"a":falsE,"b":1}]', "expected ident at line 1 column 11"),
    ("member-tru-eof", b'[{"a":tru', "EOF while parsing a value at line 1 column 9"),
    ("NaN", b"[NaN]", "expected value at line 1 column 2"),
    # numbers
    ("leading-zero", b"[01]", "invalid number at line 1 column 3"),
    ("neg-leading-zero", b"[-01]", "invalid number at line 1 column 4"),
    ("member-leading-zero", b'[{"a":01,"b":1}]', "invalid number at line 1 column 8"),
    ("member-zero-point", b'[{"a":0.,"b":1}]', "invalid number at line 1 column 9"),
    ("leading-point", b"[.5]", "expected value at line 1 column 2"),
    ("plus-sign", b"[+1]", "expected value at line 1 column 2"),
    ("trailing-point", b"[5.]", "invalid number at line 1 column 4"),
    ("point-then-exp", b"[1.e5]", "invalid number at line 1 column 4"),
    ("exp-no-digits", b"[1e]", "invalid number at line 1 column 4"),
    ("exp-sign-no-digits", b"[1E+]", "invalid number at line 1 column 5"),
    ("minus-alone", b"[-]", "invalid number at line 1 column 3"),
    ("hex", b"[0x10]", "expected `,` or `]` at line 1 column 3"),
    ("two-points", b"[1.5.3]", "expected `,` or `]` at line 1 column 5"),
    ("eof-after-minus", b"[-", "EOF while parsing a value at line 1 column 2"),
    ("eof-after-point", b"[1.", "EOF while parsing a value at line 1 column 3"),
    ("eof-after-exp-sign", b"[1e-", "EOF while parsing a value at line 1 column 4"),
    ("eof-after-digits", b"[12", "EOF while parsing a list at line 1 column 3"),
    ("1e400", b"[1e400]", "number out of range at line 1 column 6"),
    ("exp-int32-max", b"[1e2147483647]", "number out of range at line 1 column 13"),
    ("exp-text-overflow", b"[1e99999999999]", "number out of range at line 1 column 14"),
    ("exp-overflow-in-row", b'[{"a":1.5E+99999999999}]', "number out of range at line 1 column 22"),
    ("long-significand-overflow", b"[123456789012345678901234567890e290]",
     "number out of range at line 1 column 35"),
    # long floats of 16 to 19 digits take a path of their own
    ("long-float-overflow", b'[{"a":1.7976931348623159e+308}]', "number out of range at line 1 column 29"),
    ("long-float-exp-no-digits", b"[1.2345678901234567e]", "invalid number at line 1 column 21"),
    ("long-float-eof-after-exp-sign", b"[1.2345678901234567e+", "EOF while parsing a value at line 1 column 21"),
    ("long-float-four-digit-exp", b"[1.234567890123456e1000]", "number out of range at line 1 column 23"),
    ("short-float-exp-sign-no-digits", b'[{"a":1.5e+}]', "invalid number at line 1 column 12"),
    ("short-float-overflow", b'[{"a":1.5e309}]', "number out of range at line 1 column 13"),
    # strings
    ("raw-tab", b'["a\tb"]', CTRL + " at line 1 column 4"),
    ("raw-nul", b'["\x00"]', CTRL + " at line 1 column 3"),
    ("raw-lf", b'["ab\n"]', CTRL + " at line 1 column 5"),
    ("raw-lf-in-key", b'[{"a\nb":1}]', CTRL + " at line 1 column 5"),
    ("ctrl-after-bad-utf8", b'["\xff\x01"]', CTRL + " at line 1 column 4"),
    ("escape-x", rb'["\x"]', "invalid escape at line 1 column 4"),
    ("escape-quote", rb"""["\'"]""", "invalid escape at line 1 column 4"),
    ("escape-bad-hex", rb'["\uZZZZ"]', "invalid escape at line 1 column 8"),
    ("escape-short-hex", rb'["\u12"]', "invalid escape at line 1 column 8"),
    ("eof-in-u-escape", rb'["\u12"', "EOF while parsing a string at line 1 column 7"),
    ("eof-after-kept-escapes", b'["ab\\n\\"', "EOF while parsing a string at line 1 column 8"),
    ("eof-after-backslash", b'["a\\', "EOF while parsing a string at line 1 column 4"),
    ("eof-before-quote-bad-utf8", b'["\xff', "EOF while parsing a string at line 1 column 3"),
    ("lone-lead-then-quote", rb'["\ud83d"]', "unexpected end of hex escape at line 1 column 9"),
    ("lone-lead-then-letter", rb'["\ud83dx"]', "unexpected end of hex escape at line 1 column 9"),
    ("lead-then-other-escape", rb'["\ud83d\n"]', "unexpected end of hex escape at line 1 column 10"),
    ("lone-trail", rb'["\ude00"]', "lone leading surrogate in hex escape at line 1 column 8"),
    ("lead-then-bmp", rb'["\ud83d\u0041"]', "lone leading surrogate in hex escape at line 1 column 14"),
    ("lead-then-lead", rb'["\ud83d\ud83d"]', "lone leading surrogate in hex escape at line 1 column 14"),
    ("lead-then-bad-hex", rb'["\ud83d\uZZZZ"]', "invalid escape at line 1 column 14"),
    # a run of \u escapes decoded together stops at the first it cannot take alone
    ("run-then-bad-hex", rb'["\u00e9\u65e5\u00zz"]', "invalid escape at line 1 column 20"),
    ("run-then-lone-trail", rb'["\u00e9\u65e5\ude00"]', "lone leading surrogate in hex escape at line 1 column 20"),
    ("run-then-lone-lead", rb'["\u00e9\ud83d"]', "unexpected end of hex escape at line 1 column 15"),
    ("run-cut-by-the-end", rb'["\u00e9\u65e5\u00', "EOF while parsing a string at line 1 column 18"),
    ("run-then-bad-escape", rb'["\u00e9\u65e5\x"]', "invalid escape at line 1 column 16"),
    ("run-then-control", b'["\\u00e9\\u65e5\x01"]', CTRL + " at line 1 column 15"),
    ("bad-utf8", b'["\xff"]', "invalid unicode code point at line 1 column 4"),
    ("truncated-utf8", b'["ab\xc3"]', "invalid unicode code point at line 1 column 6"),
    ("encoded-surrogate", b'["\xed\xa0\x80"]', "invalid unicode code point at line 1 column 6"),
    ("bad-utf8-with-escape", b'["\xff\\n"]', "invalid unicode code point at line 1 column 6"),
    ("bad-utf8-key", b'[{"\xff":1}]', "invalid unicode code point at line 1 column 5"),
    # arrays and objects
    ("trailing-comma", b"[1,]", "trailing comma at line 1 column 4"),
    ("trailing-comma-lines", b"[\n1,\n]", "trailing comma at line 3 column 1"),
    ("trailing-comma-object", b'[{"a":1,}]', "trailing comma at line 1 column 9"),
    ("comma-then-brace", b"[1,}", "expected value at line 1 column 4"),
    ("comma-then-bracket-in-object", b'[{"a":1,]', "key must be a string at line 1 column 9"),
    ("leading-comma", b"[,1]", "expected value at line 1 column 2"),
    ("double-comma", b"[1,,2]", "expected value at line 1 column 4"),
    ("missing-comma", b"[1 2]", "expected `,` or `]` at line 1 column 4"),
    ("run-trailing-comma", b'[{"a": [1, 2,]}]', "trailing comma at line 1 column 14"),
    ("run-missing-comma", b'[{"a": [1,2 3]}]', "expected `,` or `]` at line 1 column 13"),
    ("run-double-comma", b'[{"a": [1,, 2]}]', "expected value at line 1 column 11"),
    ("run-bad-number", b'[{"a": [1, -]}]', "invalid number at line 1 column 13"),
    ("run-out-of-range", b'[{"a": [1, "x", 2, 1e400]}]', "number out of range at line 1 column 24"),
    ("run-eof", b'[{"a": [1, 2', "EOF while parsing a list at line 1 column 12"),
    ("run-eof-after-comma", b'[{"a": [1, 2,', "EOF while parsing a value at line 1 column 13"),
    ("missing-colon", b'[{"a" 1}]', "expected `:` at line 1 column 7"),
    ("missing-member-comma", b'[{"a":1 "b":2}]', "expected `,` or `}` at line 1 column 9"),
    ("missing-member-value", b'[{"a":}]', "expected value at line 1 column 7"),
    ("number-key", b"[{1:2}]", "key must be a string at line 1 column 3"),
    ("comma-first-member", b"[{,}]", "key must be a string at line 1 column 3"),
    ("wrong-closer-object", b'[{"a":1}}', "expected `,` or `]` at line 1 column 9"),
    ("eof-after-bracket", b"[", "EOF while parsing a list at line 1 column 1"),
    ("eof-after-element", b"[1", "EOF while parsing a list at line 1 column 2"),
    ("eof-after-row", b'[{"a":1}', "EOF while parsing a list at line 1 column 8"),
    ("eof-after-comma", b"[1,", "EOF while parsing a value at line 1 column 3"),
    ("eof-after-brace", b"[{", "EOF while parsing an object at line 1 column 2"),
    ("eof-after-key", b'[{"a"', "EOF while parsing an object at line 1 column 5"),
    ("eof-after-colon", b'[{"a":', "EOF while parsing a value at line 1 column 6"),
    ("eof-after-member", b'[{"a":1', "EOF while parsing an object at line 1 column 7"),
    ("eof-after-member-comma", b'[{"a":1,', "EOF while parsing a value at line 1 column 8"),
    # after the array
    ("trailing-x", b"[]x", "trailing characters at line 1 column 3"),
    ("second-array", b"[][]", "trailing characters at line 1 column 3"),
    ("trailing-comma-after-array", b'[{"a":1}],', "trailing characters at line 1 column 10"),
    ("trailing-form-feed", b"[]\x0c", "trailing characters at line 1 column 3"),
    ("trailing-later-line", b"[]\n\nx", "trailing characters at line 3 column 1"),
    # line feeds end lines; a carriage return is an ordinary byte
    ("crlf", b"[1,\r\n2 3]", "expected `,` or `]` at line 2 column 3"),
    ("cr-only", b"[1,\r2 3]", "expected `,` or `]` at line 1 column 7"),
    ("ident-third-line", b"[\n\n  nul]", "expected ident at line 3 column 6"),
    ("eof-after-final-lf", b"[1,\n", "EOF while parsing a value at line 2 column 0"),
    ("eof-list-after-lf", b"[\n  ", "EOF while parsing a list at line 2 column 2"),
    ("raw-lf-second-line", b'[\n"ab\n"]', CTRL + " at line 2 column 4"),
    ("raw-lf-opens-string", b'[\n"\n"]', CTRL + " at line 2 column 2"),
    ("bad-utf8-second-line", b'[\n"\xff"]', "invalid unicode code point at line 2 column 3"),
    ("out-of-range-second-line", b"[\n1e400]", "number out of range at line 2 column 5"),
    ("columns-count-bytes", b'["\xc3\xa9" x]', "expected `,` or `]` at line 1 column 7"),
)


@pytest.mark.parametrize("payload, expected", SYNTAX)
def test_syntax_error(payload, expected):
    assert error_of(payload) == INVALID + expected


# Text written with escapes for its non-ASCII characters (long runs of them, ASCII between,
# escapes kept as they stand) is read many bytes at a time: what ends it is reported where it
# stands, however far into that text it comes.
ESCAPED_TEXT = ["word ", "x", "\\u00e9", "\\u65e5\\u672c\\u8a9e", "\\ud83d\\ude80", "\\n", '\\"']
AFTER_ESCAPED_TEXT = [  # name, what ends the text, where the error is from its start
    ("control", "\x01", lambda at: CTRL + f" at line 1 column {at + 1}"),
    ("control-then-escape", "\x01\\u00e9", lambda at: CTRL + f" at line 1 column {at + 1}"),
    ("quote-then-escape", '"\\u00e9', lambda at: f"expected `,` or `]` at line 1 column {at + 2}"),
    ("bad-escape", "\\x", lambda at: f"invalid escape at line 1 column {at + 2}"),
    ("bad-hex", "\\u00g0", lambda at: f"invalid escape at line 1 column {at + 6}"),
    ("lone-trail", "\\ude00", lambda at: f"lone leading surrogate in hex escape at line 1 column {at + 6}"),
    ("lead-then-letter", "\\ud83dx", lambda at: f"unexpected end of hex escape at line 1 column {at + 7}"),
    ("lead-then-bmp", "\\ud83d\\u00e9", lambda at: f"lone leading surrogate in hex escape at line 1 column {at + 12}"),
]


@pytest.mark.parametrize("count", [1, 2, 5, 9, 20, 60, 200])
@pytest.mark.parametrize("ending, message", [pytest.param(e, m, id=n) for n, e, m in AFTER_ESCAPED_TEXT])
def test_error_after_escaped_text(count, ending, message):
    rng = random.Random(count)
    text = '["' + "".join(rng.choice(ESCAPED_TEXT) for _ in range(count))
    assert error_of((text + ending + ' and more text after it"]').encode()) == INVALID + message(len(text))
    # cut short instead, where fewer bytes are left than are read at once
    assert error_of(text.encode()) == INVALID + f"EOF while parsing a string at line 1 column {len(text)}"


# The top-level value is not an array: scalars are read whole and point at
# their last byte; an object is not read and points before its brace.
TOP_LEVEL = table(
    ("null", b"null", "invalid type: null, expected a sequence at line 1 column 4"),
    ("true", b" true ", "invalid type: boolean `true`, expected a sequence at line 1 column 5"),
    ("int", b"5", "invalid type: integer `5`, expected a sequence at line 1 column 1"),
    ("negative-int", b"-5", "invalid type: integer `-5`, expected a sequence at line 1 column 2"),
    ("u64-max", b"18446744073709551615",
     "invalid type: integer `18446744073709551615`, expected a sequence at line 1 column 20"),
    ("i64-min", b"-9223372036854775808",
     "invalid type: integer `-9223372036854775808`, expected a sequence at line 1 column 20"),
    ("float", b"1.50", "invalid type: floating point `1.5`, expected a sequence at line 1 column 4"),
    ("float-exp", b"1E2", "invalid type: floating point `100.0`, expected a sequence at line 1 column 3"),
    ("minus-zero", b"-0", "invalid type: floating point `-0.0`, expected a sequence at line 1 column 2"),
    ("2-pow-64", b"18446744073709551616",
     "invalid type: floating point `1.8446744073709552e+19`, expected a sequence at line 1 column 20"),
    ("small-float", b"0.000001", "invalid type: floating point `1e-6`, expected a sequence at line 1 column 8"),
    ("int-then-junk", b"5 x", "invalid type: integer `5`, expected a sequence at line 1 column 1"),
    ("null-second-line", b"\nnull", "invalid type: null, expected a sequence at line 2 column 4"),
    ("string", b'"ab"', 'invalid type: string "ab", expected a sequence at line 1 column 4'),
    ("string-second-line", b' \n "ab"', 'invalid type: string "ab", expected a sequence at line 2 column 5'),
    ("string-quotes", rb'"a\"b\\c\/"', r'invalid type: string "a\"b\\c/", expected a sequence at line 1 column 11'),
    ("string-single-quote", b"\"it's\"", "invalid type: string \"it's\", expected a sequence at line 1 column 6"),
    ("string-short-escapes", rb'"\t\r\n\u0000"',
     r'invalid type: string "\t\r\n\0", expected a sequence at line 1 column 14'),
    ("string-controls", rb'"\u0001\u001f\u007f"',
     r'invalid type: string "\u{1}\u{1f}\u{7f}", expected a sequence at line 1 column 20'),
    ("combining-mark", rb'"e\u0301"', r'invalid type: string "e\u{301}", expected a sequence at line 1 column 9'),
    ("combining-mark-raw", b'"e\xcc\x81"', r'invalid type: string "e\u{301}", expected a sequence at line 1 column 5'),
    ("enclosing-mark", rb'"\u20dd"', r'invalid type: string "\u{20dd}", expected a sequence at line 1 column 8'),
    ("format-chars", rb'"\u200b\u00ad\ufeff"',
     r'invalid type: string "\u{200b}\u{ad}\u{feff}", expected a sequence at line 1 column 20'),
    ("private-use", rb'"\ue000\udb80\udc00"',
     r'invalid type: string "\u{e000}\u{f0000}", expected a sequence at line 1 column 20'),
    ("unassigned", rb'"\u0378"', r'invalid type: string "\u{378}", expected a sequence at line 1 column 8'),
    ("separators", rb'"\u00a0\u2028\u3000 "',
     r'invalid type: string "\u{a0}\u{2028}\u{3000} ", expected a sequence at line 1 column 21'),
    ("printable-raw", '"é日😀"'.encode(), 'invalid type: string "é日😀", expected a sequence at line 1 column 11'),
    ("object", b'{"a":1}', "invalid type: map, expected a sequence at line 1 column 0"),
    ("broken-object", b'{"a":', "invalid type: map, expected a sequence at line 1 column 0"),
    ("object-after-spaces", b"  {", "invalid type: map, expected a sequence at line 1 column 2"),
    ("object-opens-line", b"\n{}", "invalid type: map, expected a sequence at line 2 column 0"),
    ("object-indented-line-2", b" \n  {x", "invalid type: map, expected a sequence at line 2 column 2"),
    ("eof-in-literal", b"nul", "EOF while parsing a value at line 1 column 3"),
    ("bad-literal", b"nulx", "expected ident at line 1 column 4"),
    ("control-in-string", b'"a\x01"', CTRL + " at line 1 column 3"),
    ("bad-utf8-string", b'"\xff"', "invalid unicode code point at line 1 column 3"),
    ("lone-surrogate", rb'"\ud800"', "unexpected end of hex escape at line 1 column 8"),
    ("leading-zero", b"01", "invalid number at line 1 column 2"),
    ("minus-alone", b"-", "EOF while parsing a value at line 1 column 1"),
    ("out-of-range", b"1e400", "number out of range at line 1 column 5"),
    ("closing-bracket", b"]", "expected value at line 1 column 1"),
)


@pytest.mark.parametrize("payload, expected", TOP_LEVEL)
def test_top_level_not_an_array(payload, expected):
    assert error_of(payload) == INVALID + expected


# The whole payload is parsed before any element's kind is looked at.
PRECEDENCE = table(
    ("syntax-after-scalar", b'[1,{"a":}]', INVALID + "expected value at line 1 column 9"),
    ("trailing-after-scalar", b"[1]x", INVALID + "trailing characters at line 1 column 4"),
    ("eof-after-null", b"[null,{}", INVALID + "EOF while parsing a list at line 1 column 8"),
    ("bad-utf8-after-scalar", b'[1,"\xff"]', INVALID + "invalid unicode code point at line 1 column 6"),
    ("depth-after-scalar", b"[1," + b"[" * 127, INVALID + "recursion limit exceeded at line 1 column 130"),
    ("string", b'[{},"s",1]', NOT_ROW + '"s"'),
    ("float", b"[{}, 1.50, null]", NOT_ROW + "1.5"),
    ("array", b'[[1, {"b" : 2}]]', NOT_ROW + '[1,{"b":2}]'),
    ("empty-array", b"[{}, [ ]]", NOT_ROW + "[]"),
    ("escaped-string", rb'["a\u00e9\/\n"]', NOT_ROW + '"a\u00e9/\\n"'),
    ("control-escapes", rb'["\u001B\u0000"]', NOT_ROW + '"\\u001b\\u0000"'),
    ("minus-zero", b"[-0]", NOT_ROW + "-0.0"),
    ("after-rows", b'[{"a":1},{"b":2},false,"x"]', NOT_ROW + "false"),
    ("duplicate-in-element", b'[[{"k":1e16,"k":[]}]]', NOT_ROW + '[{"k":[]}]'),
)


@pytest.mark.parametrize("payload, expected", PRECEDENCE)
def test_precedence(payload, expected):
    assert error_of(payload) == expected


def nested(levels):
    """Arrays and objects alternating, `levels` deep counting the outer array."""
    opens = ["[" if i % 2 == 0 else '{"k":' for i in range(levels)]
    closes = ["]" if i % 2 == 0 else "}" for i in range(levels)]
    return ("".join(opens) + "".join(reversed(closes))).encode()


def test_127_levels_parse():
    payload = nested(127)
    inner = payload[len(b'[{"k":'):-len(b"}]")]
    assert tarvel_codec.columnarize(payload) == b'{"columns":["k"],"rows":[[' + inner + b']],"constants":{}}'


def test_depth_is_given_back_on_close():
    deep = b"[" * 125 + b"]" * 125
    payload = b'[{"a":' + deep + b',"b":' + deep + b"}]"
    assert tarvel_codec.columnarize(payload) == b'{"columns":["a","b"],"rows":[[' + deep + b"," + deep + b']],"constants":{}}'


@pytest.mark.parametrize("payload, expected", table(
    ("arrays", b"[" * 128 + b"]" * 128, "line 1 column 128"),
    ("mixed", nested(128), "line 1 column 380"),
    ("mixed-brace-on-new-line", nested(128)[:379] + b"\n" + nested(128)[379:], "line 2 column 1"),
))
def test_128_levels_fail(payload, expected):
    assert error_of(payload) == INVALID + "recursion limit exceeded at " + expected


WELL_FORMED = ["é".encode(), "Ж".encode(), "\u07ff".encode(), "中".encode(), "\u0800".encode(), "\ud7ff".encode(),
               "\uffff".encode(), "\U00010000".encode(), "🚀".encode(), "\U0010ffff".encode()]
MALFORMED = [b"\xc0\x80", b"\xc1\xbf", b"\xe0\x9f\xbf", b"\xed\xa0\x80", b"\xf0\x8f\xbf\xbf", b"\xf4\x90\x80\x80",
             b"\xf5\x80\x80\x80", b"\xff", b"\x80", b"\xc3", b"\xe4\xb8", b"\xf0\x9f\x9a", b"\xc3\xc3\xa9"]


# Text around a sequence: (before, after) for an offset into the string.
SURROUNDINGS = {
    "non-latin": lambda offset: (("中文" * 6).encode()[:offset] + b"x" * (offset % 2), "Ошибка 请求超时".encode() + b" tail"),
    "ascii": lambda offset: (b"a" * offset, b" and plain text after it, enough of it to fill a block"),
    "escapes-after": lambda offset: (b"b" * offset, b"\\n\\\"q\\u00e9 and \\u0001 more"),
}


@pytest.mark.parametrize("surrounding", SURROUNDINGS)
@pytest.mark.parametrize("offset", [*range(0, 20, 3), *range(27, 34)])
@pytest.mark.parametrize("piece", WELL_FORMED + MALFORMED, ids=lambda b: b.hex())
def test_utf8_inside_a_run_of_text(piece, offset, surrounding):
    """A sequence at every place in a run of text, which is checked many bytes at a time (16
    or 32): well-formed text passes whole, anything else is refused at the closing quote. The
    later offsets put the sequence across the end of the first 32 bytes."""
    before, after = SURROUNDINGS[surrounding](offset)
    body = before + piece + after
    payload = b'[{"k":"' + body + b'"}]'
    try:
        text = json.loads('"%s"' % body.decode("utf-8"))
    except UnicodeDecodeError:
        column = payload.rindex(b'"') + 1
        assert error_of(payload) == "invalid row-oriented JSON: invalid unicode code point at line 1 column %d" % column
    else:
        cell = json.dumps(text, ensure_ascii=False)
        assert tarvel_codec.columnarize(payload) == ('{"columns":["k"],"rows":[[%s]],"constants":{}}' % cell).encode()
