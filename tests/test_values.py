"""Value text round trips through a single cell: numbers, strings, nested objects."""

import json
import random

import pytest

import tarvel_codec


def cell(text):
    """The document of one row whose only member "v" holds `text`."""
    out = tarvel_codec.columnarize(b'[{"v":' + text + b"}]")
    assert type(out) is bytes
    head, tail = b'{"columns":["v"],"rows":[[', b']],"constants":{}}'
    assert out.startswith(head) and out.endswith(tail), out
    return out[len(head):-len(tail)]


# Floats are rebuilt from a 64-bit significand and a decimal exponent by
# multiplying or dividing by the nearest double of a power of ten; past 2**53
# or |exponent| > 22 this is not the correctly rounded double, on purpose.
NUMBERS = [
    ("0", "0"), ("-1", "-1"), ("-0", "-0.0"), ("-0.0", "-0.0"),
    ("9007199254740993", "9007199254740993"),
    ("18446744073709551615", "18446744073709551615"),
    ("10000000000000000999", "10000000000000000999"),
    ("18446744073709551616", "1.8446744073709552e+19"),
    ("-9223372036854775808", "-9223372036854775808"),
    ("-9223372036854775809", "-9.223372036854776e+18"),
    # at the longest digit counts that can fit, the digits decide
    ("9999999999999999999", "9999999999999999999"),
    ("-999999999999999999", "-999999999999999999"),
    ("-1000000000000000000", "-1000000000000000000"),
    ("-9999999999999999999", "-1e+19"),
    ("99999999999999999999", "1e+20"),
    ("18446744073709551625", "1.8446744073709552e+19"),
    ("-9223372036854775818", "-9.223372036854776e+18"),
    ("100000000000000000000", "1e+20"),
    ("123456789012345678901234567890", "1.2345678901234568e+29"),
    ("1e0", "1.0"), ("1E2", "100.0"), ("1E+2", "100.0"), ("1E6", "1000000.0"),
    ("1.50", "1.5"), ("-1.5", "-1.5"), ("12.5", "12.5"), ("0.1", "0.1"), ("123.456", "123.456"),
    ("2.5e-3", "0.0025"), ("0.00012", "0.00012"), ("0.00001", "0.00001"),
    ("0.000001", "1e-6"), ("1.5e-7", "1.5e-7"),
    # the zeros after the point are counted eight bytes at a time: seven, eight and more
    ("0.0000000123", "1.23e-8"), ("0.00000000123", "1.23e-9"), ("-0.000000000000123", "-1.23e-13"),
    ("1e15", "1000000000000000.0"), ("1e16", "1e+16"), ("1.5e16", "1.5e+16"), ("2e16", "2e+16"),
    ("1e22", "1e+22"), ("1.5e308", "1.5e+308"),
    ("5e-324", "5e-324"), ("1.7976931348623157e+308", "1.7976931348623157e+308"),
    ("1.000000000000000005", "1.0"),
    ("3.14159265358979323846264338327950288", "3.141592653589793"),
    ("9007199254740993.0", "9007199254740994.0"),
    ("9007199254740992.0", "9007199254740992.0"),
    ("0.000000000000000000000000000001", "9.999999999999999e-31"),
    ("4.4501477170144023e-308", "4.450147717014403e-308"),
    # the digit 9 passes 18446744073709551615; the 0 after it must not be taken
    ("1844674407370955161.90e-18", "1.8446744073709553"),
    ("184467440737095516190e-20", "1.8446744073709553"),
    ("1e-400", "0.0"), ("-1e-400", "-0.0"), ("1E-999", "0.0"), ("123.456e-789", "0.0"),
    ("0e400", "0.0"), ("1e-99999999999", "0.0"), ("0e99999999999", "0.0"),
    ("-0e99999999999", "-0.0"), ("1e-2147483648", "0.0"),
    # around the short paths: integers of 18 and 19 digits, decimals already in written form
    # (at most 15 significant digits), long digit runs, long shortest forms
    ("123456789012345678", "123456789012345678"), ("-123456789012345678", "-123456789012345678"),
    ("1234567890123456789", "1234567890123456789"), ("-1234567890123456789", "-1234567890123456789"),
    ("12.0", "12.0"), ("12.00", "12.0"), ("0.10", "0.1"), ("0.0001", "0.0001"), ("-0.00001", "-0.00001"),
    ("12345678901234.5", "12345678901234.5"), ("123456789012345.6", "123456789012345.6"),
    ("0.000123456789012345", "0.000123456789012345"), ("12345678.87654321", "12345678.87654321"),
    ("1234567890.123456789", "1234567890.1234567"), ("0.30000000000000004", "0.30000000000000004"),
    ("98765432109876543", "98765432109876543"), ("123456789.0", "123456789.0"),
    # long floats kept as written only where both their digits and their layout are the writer's:
    # a neighbour of the shortest digits, the fixed conversion's own rounding, other spellings
    ("0.32246804867337353", "0.32246804867337353"), ("0.32246804867337354", "0.32246804867337353"),
    ("1.5075984453569572e-108", "1.5075984453569572e-108"), ("358467984779.5627", "358467984779.5627"),
    ("-2.887634839120568e-10", "-2.8876348391205676e-10"), ("-2.887634839120568E-10", "-2.8876348391205676e-10"),
    ("2.8876348391205680e-10", "2.887634839120568e-10"), ("1.2345678901234567e16", "1.2345678901234568e+16"),
    ("1.2345e+15", "1234500000000000.0"), ("1.2345678901234567e-5", "0.000012345678901234568"),
    ("0.00012345678901234567", "0.00012345678901234567"), ("9.999999999999999e+22", "1e+23"),
    ("2.2250738585072014e-308", "2.2250738585072014e-308"),
    # sixteen digits below 2**53: kept, or replaced where a shorter text or a nearer
    # neighbour reads back as the same double; and just past 2**53, with the double rounding
    ("1.234567890123456", "1.234567890123456"), ("8.000000000000001", "8.000000000000002"),
    ("8.444529763028279", "8.44452976302828"), ("8.680833483987741", "8.68083348398774"),
    ("-81.05980619624491", "-81.0598061962449"),
    ("8444.529763028279", "8444.529763028278"), ("8656.160904301048", "8656.160904301049"),
    ("900719925474099.1", "900719925474099.1"), ("0.0008000000000000001", "0.0008000000000000001"),
    ("8.444529763028279e-7", "8.444529763028278e-7"), ("-8.000000000000001e-7", "-8.000000000000001e-7"),
    ("8.656160904301048e+21", "8.656160904301048e+21"),
    ("900719925474099.3", "900719925474099.2"), ("9.999999999999999", "10.0"),
    ("941873820581.2702", "941873820581.2701"), ("99842.35508716458", "99842.35508716459"),
    ("0.009630647062995286", "0.009630647062995285"),
    # seventeen digits: kept where they are the nearest of the texts that read back as x,
    # rewritten where S, past 2**53, was rounded before the division
    ("1.1780235643736914", "1.1780235643736914"), ("12345.678901234567", "12345.678901234567"),
    ("3.7200731926774235", "3.720073192677423"), ("439525416626.55164", "439525416626.5517"),
    # "%.17g" prints that read back as a double whose shortest text is the print less its last
    # digit, the new last digit raised or not: one such text, or the nearer of two; and prints
    # settled by the full search, two digits shorter or another seventeenth digit
    ("96.411439019574971", "96.41143901957497"), ("-660.61152540073169", "-660.6115254007317"),
    ("9247.1083462769675", "9247.108346276967"), ("68.407709782323167", "68.40770978232317"),
    ("58.938477331233734", "58.938477331233734"), ("8.1567420900912708", "8.15674209009127"),
    ("2018.8536818782991", "2018.8536818782993"),
    # "%.17g" prints read back past a multiple of ten: one digit shorter from the multiples of
    # ten on x's side, the new last digit lowered, kept or raised, and where that side is past a
    # multiple of a hundred
    ("0.00071280619205798691", "0.0007128061920579869"), ("-9259791.9074833799", "-9259791.907483378"),
    ("6375.9186372448309", "6375.918637244831"), ("0.76444411676185609", "0.7644441167618562"),
    ("1.4661099069584801", "1.46610990695848"), ("-2.0835924519592999", "-2.0835924519593"),
    # seventeen digits padded with zeros or nines, as "%.17g" prints shorter values (rewritten,
    # by the fixed conversion's rounding), and a shortest text that looks padded (kept)
    ("43.420273000000009", "43.42027300000001"), ("-65.613616999999977", "-65.61361699999998"),
    ("6.3331058132000075", "6.3331058132000075"), ("1.0000000000000009e-5", "0.000010000000000000008"),
    # and where x is the value before the run of zeros or nines (the digit before a run of
    # nines raised, a 0 as well), also below one, or is not; a run from the point on is
    # written "I.0"
    ("-65.566101000000003", "-65.566101"), ("43.909987999999998", "43.909988"),
    ("0.12099999999999999", "0.121"), ("0.00012300000000000001", "0.000123"), ("43.000000000000001", "43.0"),
    ("8.4499999999999991", "8.449999999999998"),  # x the double below 8.45
    # below one, with more fraction digits than a significand holds, zeros after the point
    # not counted: 19 significant digits or fewer, then 20 and 21
    ("0.00023281575290311706", "0.00023281575290311703"),
    ("0.0000000000000000001234567890123456789", "1.2345678901234568e-19"),
    ("0." + "0" * 300 + "7", "7e-301"),
    ("-0.00000000000000000000012345678901234567890", "-1.2345678901234568e-22"),
    ("0." + "0" * 5 + "18446744073709551616", "1.8446744073709552e-6"),
    ("0.000012345678901234567891", "0.000012345678901234568"),
    # I.F with an exponent part and 0.F, read in one go: one to three exponent digits (more, or
    # a zero before them, are read as well), the writer's layout or not, out of range below
    ("1.5e00001", "15.0"), ("2.5E-00003", "0.0025"), ("0.5e3", "500.0"), ("12.5e20", "1.25e+21"),
    ("7.859975089090694e-06", "7.859975089090694e-6"), ("-7.859975089090694e-06", "-7.859975089090694e-6"),
    ("1.5E+16", "1.5e+16"), ("1.2345678901234567e-300", "1.234567890123457e-300"),
    ("1.5e-330", "0.0"), ("9.9e-324", "1e-323"), ("1.2345678901234567891e5", "123456.78901234567"),
    ("0.000", "0.0"), ("0.00000123456789012345", "1.23456789012345e-6"),
    # D.F with an exponent part: one to three exponent digits with or without a sign, short
    # decimals, both ends of the range, a zero ending the fraction, a zero before the
    # exponent's digits, up to 19 digits
    ("4.5e1", "45.0"), ("9.5e-5", "0.000095"), ("8.5e-1", "0.85"), ("1.5e+0", "1.5"), ("1.5e16", "1.5e+16"),
    ("1.5e15", "1500000000000000.0"), ("1.25e100", "1.25e+100"), ("-1.25E-100", "-1.25e-100"),
    ("1.0e-100", "1e-100"), ("1.5e-0100", "1.5e-100"), ("-7.5e22", "-7.5e+22"), ("7.5e23", "7.5e+23"),
    ("2.5e-324", "5e-324"), ("1.5e-1000", "0.0"), ("1.7976931348623157e308", "1.7976931348623157e+308"),
    ("1.23456789012345678e-5", "0.000012345678901234568"), ("1.234567890123456789e5", "123456.78901234567"),
    # at the exponents where the writer's layout begins and ends, and other spellings of it
    ("1.2345678901234567e15", "1234567890123456.8"), ("1.234567890123456e15", "1234567890123456.0"),
    ("1.234567890123456e+15", "1234567890123456.0"), ("1.2345678901234568e+15", "1234567890123456.8"),
    ("1.234567890123456e+16", "1.234567890123456e+16"), ("1.234567890123456E+16", "1.234567890123456e+16"),
    ("1.2345678901234567e-6", "1.2345678901234567e-6"), ("1.234567890123456e-6", "1.234567890123456e-6"),
    # exponents printed with a leading zero, as C and Python print those from -6 to -9: kept
    # but for the zero, or a unit or two off, and other exponents with zeros written anew
    ("3.6995516654807923e-07", "3.6995516654807923e-7"), ("8.235705112332644e-08", "8.235705112332645e-8"),
    ("-7.789725856978318e-08", "-7.789725856978319e-8"), ("9.646329473090614e-10", "9.646329473090612e-10"),
    ("1.2345678901234567e-05", "0.000012345678901234568"), ("1.2345678901234567e-010", "1.2345678901234568e-10"),
    ("1.2345678901234567e-006", "1.2345678901234567e-6"), ("9.9999999999999995e-06", "0.00001"),
    ("1.234567890123456e-5", "0.00001234567890123456"), ("1.234567890123456e-05", "0.00001234567890123456"),
    ("0.000012345678901234560", "0.00001234567890123456"), ("0.12345678901234567", "0.12345678901234568"),
    ("0.12345678901234567891", "0.12345678901234568"),
    # seventeen digits of single-precision values, as embeddings are printed: kept, or a few
    # units off where the fixed steps come to another double (below 1/64 as well), ties to even
    ("-0.009211690165102482", "-0.009211690165102482"), ("0.11000445485115051", "0.11000445485115053"),
    ("-0.027316274121403694", "-0.027316274121403698"), ("-0.019241366535425186", "-0.019241366535425183"),
    ("0.014795077033340931", "0.014795077033340933"), ("0.0012237393530085683", "0.0012237393530085685"),
    ("0.12665176391601562", "0.12665176391601562"), ("0.11005783081054688", "0.11005783081054688"),
    # far below one, the text's last digit coarser than the double: kept only where the double
    # is within reach of it, and never where a longer text is as near (seventeen digits)
    ("-5.97753227572071e-10", "-5.97753227572071e-10"), ("8.8160091207856e-10", "8.816009120785601e-10"),
    ("1.958834791993231e-10", "1.9588347919932307e-10"), ("-8.2473205602609357e-11", "-8.247320560260936e-11"),
]


@pytest.mark.parametrize("text, expected", [pytest.param(t, e, id=t) for t, e in NUMBERS])
def test_number(text, expected):
    assert cell(text.encode()) == expected.encode()


STRINGS = [
    ("quote", rb'"a\"b"', rb'"a\"b"'),
    ("backslash", rb'"\\"', rb'"\\"'),
    ("slash", rb'"\/"', b'"/"'),
    ("short-escapes", rb'"\b\f\n\r\t"', rb'"\b\f\n\r\t"'),
    ("u-short-escapes", rb'"\u0008\u000C\u000a\u000D\u0009"', rb'"\b\f\n\r\t"'),
    ("u-quote-backslash-slash", rb'"\u0022\u005c\u002F"', rb'"\"\\/"'),
    ("u-controls", rb'"\u001f\u001B\u0001"', rb'"\u001f\u001b\u0001"'),
    ("u-controls-upper-hex", rb'"\u001F\u000B\u000e\u0010"', rb'"\u001f\u000b\u000e\u0010"'),
    ("u-nul", rb'"a\u0000b"', rb'"a\u0000b"'),
    ("u-del", rb'"\u007f"', b'"\x7f"'),
    ("raw-del", b'"\x7f"', b'"\x7f"'),
    ("u-latin", rb'"\u00e9\u00C9"', '"éÉ"'.encode()),
    ("u-letters", rb'"\u0041b"', b'"Ab"'),
    ("surrogate-pair", rb'"\ud83d\ude00"', '"😀"'.encode()),
    ("surrogate-pair-upper", rb'"\uD834\uDD1E"', b'"\xf0\x9d\x84\x9e"'),
    ("highest-pair", rb'"\udbff\udfff"', b'"\xf4\x8f\xbf\xbf"'),
    ("u-line-separator-and-ffff", rb'"\u2028\uffff"', b'"\xe2\x80\xa8\xef\xbf\xbf"'),
    ("raw-utf8", '"é日😀"'.encode(), '"é日😀"'.encode()),
    ("empty", b'""', b'""'),
    ("kept-and-rewritten-escapes-in-one-run", rb'"abc\"def\\ghi\njkl\/mno\u00e9pqr\tstu\b\f\r"',
     '"abc\\"def\\\\ghi\\njkl/mnoépqr\\tstu\\b\\f\\r"'.encode()),
    ("escapes-back-to-back", rb'"\/\n\/\"\u0041\\\\"', rb'"/\n/\"A\\\\"'),
    # text written with \u for every non-ASCII character: runs longer than one batch, every
    # length of UTF-8 from them, and the escapes that end a run
    ("u-long-run", rb'"' + rb'\u65e5\u00e9' * 12 + rb'\u0041\ud83d\ude00\u00e9\n\u00e9\/\u07ff\u0800\u0080"',
     b'"' + "日é".encode() * 12 + b'A\xf0\x9f\x98\x80\xc3\xa9\\n\xc3\xa9/\xdf\xbf\xe0\xa0\x80\xc2\x80"'),
]


@pytest.mark.parametrize("text, expected", [pytest.param(t, e, id=i) for i, t, e in STRINGS])
def test_string(text, expected):
    assert cell(text) == expected


@pytest.mark.parametrize("before", [b"", b"x" * 5, b"x" * 15, "überé".encode() * 2])
@pytest.mark.parametrize("text, expected", [pytest.param(t, e, id=i) for i, t, e in STRINGS])
def test_string_inside_longer_text(text, expected, before):
    """The same strings amid text that is scanned many bytes at a time."""
    after = " and some text after it, 日本".encode()
    assert cell(b'"' + before + text[1:-1] + after + b'"') == b'"' + before + expected[1:-1] + after + b'"'


# Text written with escapes for its non-ASCII characters, as Python's json.dumps writes it by
# default: long runs of them (the words of a script), single ones among ASCII, surrogate pairs,
# escapes kept or rewritten, of every length around the steps the text is read in. The json
# module reads it back, and writes what is expected.
ESCAPED_PIECES = ["word ", "a", "\\u00e9", "\\u65e5", "\\u0416\\u0435\\u043b", "\\ud83d\\ude80", "\\uD834\\uDD1E",
                  "\\n", '\\"', "\\\\", "\\/", "\\u0041", "\\u001b", "\\u000A", "é", "日本"]


@pytest.mark.parametrize("seed", range(60))
def test_escaped_text_as_the_json_module_reads_it(seed):
    rng = random.Random(seed)
    pieces = rng.choices(ESCAPED_PIECES, weights=[4, 4, 3, 3, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1], k=rng.randrange(1, 300))
    text = '"' + "".join(pieces) + '"'
    assert cell(text.encode()) == json.dumps(json.loads(text), ensure_ascii=False).encode()


DOCUMENTS = [
    ("nested-member-order", b'[{"v":{"z":1,"a":[{"y":null,"b":true}],"m":{}}}]',
     b'{"columns":["v"],"rows":[[{"z":1,"a":[{"y":null,"b":true}],"m":{}}]],"constants":{}}'),
    ("nested-whitespace", b'[ { "v" : [ 1 , { "b" : [ ] } ] } ]',
     b'{"columns":["v"],"rows":[[[1,{"b":[]}]]],"constants":{}}'),
    ("mixed-array", b'[{"v":[1,-1,1.0,"x",null,true,false,[],{}]}]',
     b'{"columns":["v"],"rows":[[[1,-1,1.0,"x",null,true,false,[],{}]]],"constants":{}}'),
    ("row-duplicate", b'[{"a":1,"b":2,"a":3}]', b'{"columns":["a","b"],"rows":[[3,2]],"constants":{}}'),
    ("row-duplicate-null-last", b'[{"a":1,"b":2,"a":null}]', b'{"columns":["b"],"rows":[[2]],"constants":{}}'),
    ("row-duplicate-null-first", b'[{"a":null,"b":1,"a":2}]',
     b'{"columns":["a","b"],"rows":[[2,1]],"constants":{}}'),
    ("nested-duplicate", b'[{"v":{"a":1,"b":2,"a":3}}]', b'{"columns":["v"],"rows":[[{"a":3,"b":2}]],"constants":{}}'),
    ("deep-duplicate", b'[{"v":[{"x":{"k":1,"k":{"z":0}}}]}]',
     b'{"columns":["v"],"rows":[[[{"x":{"k":{"z":0}}}]]],"constants":{}}'),
    ("escaped-key-duplicate", rb'[{"a":1,"\u0061":2}]', b'{"columns":["a"],"rows":[[2]],"constants":{}}'),
    ("escaped-key-across-rows", rb'[{"\u0061":1},{"a":2}]', b'{"columns":["a"],"rows":[[1],[2]],"constants":{}}'),
    ("escaped-key-constant", rb'[{"\u0061":1},{"a":1}]', b'{"columns":[],"rows":[[],[]],"constants":{"a":1}}'),
    ("nested-escaped-key-duplicate", b'[{"v":{"\\u00e9":1,"\xc3\xa9":2}}]',
     '{"columns":["v"],"rows":[[{"é":2}]],"constants":{}}'.encode()),
    # repeats seen through siblings, enclosing objects and closed objects of the same row
    ("repeat-after-nested-same-key", b'[{"a":1,"b":[{"a":2},{"a":3,"a":4}],"a":5}]',
     b'{"columns":["a","b"],"rows":[[5,[{"a":2},{"a":4}]]],"constants":{}}'),
    ("repeat-around-inner-object", b'[{"k":{"x":1},"h":[{"x":2,"y":{"x":3},"x":4}]}]',
     b'{"columns":["k","h"],"rows":[[{"x":1},[{"x":4,"y":{"x":3}}]]],"constants":{}}'),
    ("repeat-after-siblings", b'[{"h":[{"a":1},{"a":2}],"a":3,"a":4},{"a":5,"h":{"a":6,"h":7,"a":8}}]',
     b'{"columns":["h","a"],"rows":[[[{"a":1},{"a":2}],4],[{"a":8,"h":7},5]],"constants":{}}'),
    ("repeat-deep-enclosing", b'[{"o":{"a":1,"p":{"q":{"a":2},"a":3},"a":4}}]',
     b'{"columns":["o"],"rows":[[{"a":4,"p":{"q":{"a":2},"a":3}}]],"constants":{}}'),
    ("repeat-after-closed-deeper", b'[{"o":{"x":{"y":{"a":1}},"a":2,"a":3}}]',
     b'{"columns":["o"],"rows":[[{"x":{"y":{"a":1}},"a":3}]],"constants":{}}'),
    ("repeat-around-array", b'[{"o":[{"a":1}],"p":{"a":2,"q":[{"a":3}],"a":4}}]',
     b'{"columns":["o","p"],"rows":[[[{"a":1}],{"a":4,"q":[{"a":3}]}]],"constants":{}}'),
    # runs of numbers, separated with and without spaces, ended by other values
    ("number-runs", b'[{"v":[1, -2,3.50 ,0.25,\t1E2, "x", 4, [5,6], 7,-0]}]',
     b'{"columns":["v"],"rows":[[[1,-2,3.5,0.25,100.0,"x",4,[5,6],7,-0.0]]],"constants":{}}'),
    ("key-escapes", rb'[{"a\"b\/c\u00e9\n\u0000":1}]',
     '{"columns":["a\\"b/cé\\n\\u0000"],"rows":[[1]],"constants":{}}'.encode()),
]


@pytest.mark.parametrize("payload, expected", [pytest.param(p, e, id=i) for i, p, e in DOCUMENTS])
def test_objects_and_keys(payload, expected):
    assert tarvel_codec.columnarize(payload) == expected


@pytest.mark.parametrize("payload, expected", [pytest.param(p, e, id=i) for i, p, e in DOCUMENTS])
def test_objects_and_keys_spaced(payload, expected):
    """Spaced out (no key or string here holds a colon or a comma), nested values are read
    member by member instead of copied as they stand."""
    assert tarvel_codec.columnarize(payload.replace(b":", b": ").replace(b",", b",\n  ")) == expected


def test_repeats_inside_a_non_row_element():
    # The element is quoted in the error with its compact text, repeats resolved.
    with pytest.raises(RuntimeError) as info:
        tarvel_codec.columnarize(b'[{"a":1},[{"a":2,"b":{"a":3},"a":4}]]')
    assert str(info.value) == 'expected a JSON object row, got: [{"a":4,"b":{"a":3}}]'



# Nested values of compact rows are checked and copied as they stand, each key's length first
# guessed from the object at the same place in the row before. These are the cases where a
# guess must not be trusted, or where the copy must give way to reading member by member.
NESTED_COPIES = [
    ("same-length-other-key", b'[{"v":{"ab":1,"cd":2}},{"v":{"xy":1,"ab":2}}]',
     b'{"columns":["v"],"rows":[[{"ab":1,"cd":2}],[{"xy":1,"ab":2}]],"constants":{}}'),
    ("repeat-after-guessed-lengths", b'[{"v":{"ab":1,"cd":2}},{"v":{"ab":1,"ab":2}}]',
     b'{"columns":["v"],"rows":[[{"ab":1,"cd":2}],[{"ab":2}]],"constants":{}}'),
    ("repeat-in-later-element", b'[{"v":[{"ab":1},{"ab":2,"ab":3}]}]',
     b'{"columns":["v"],"rows":[[[{"ab":1},{"ab":3}]]],"constants":{}}'),
    ("long-keys-alike-in-first-8-bytes", b'[{"v":{"abcdefghX":1,"abcdefghY":2}},{"v":{"abcdefghX":1,"abcdefghX":2}}]',
     b'{"columns":["v"],"rows":[[{"abcdefghX":1,"abcdefghY":2}],[{"abcdefghX":2}]],"constants":{}}'),
    # (the spaces after the payload let the guess be checked 16 bytes at a time)
    ("guessed-end-at-non-ascii", b'[{"v":{"ab":1}},{"v":{"ab\xc3:1}}]' + b" " * 16,
     "invalid row-oriented JSON: EOF while parsing a string at line 1 column 47"),
    ("guessed-end-at-backslash", b'[{"v":{"ab":1}},{"v":{"ab\\:1}}]' + b" " * 16,
     "invalid row-oriented JSON: invalid escape at line 1 column 27"),
    ("key-with-kept-escape", b'[{"v":{"ab":1}},{"v":{"ab\\n":1,"ab":2}}]',
     b'{"columns":["v"],"rows":[[{"ab":1}],[{"ab\\n":1,"ab":2}]],"constants":{}}'),
    # Objects that begin with the keys of the one before them (padded: keys are taken as known
    # only where 16 bytes can be read)
    ("repeat-after-shorter-object", b'[{"v":{"a":1,"b":2,"c":3}},{"v":{"a":1,"c":2}},{"v":{"a":1,"c":2,"c":3}}]' + b" " * 16,
     b'{"columns":["v"],"rows":[[{"a":1,"b":2,"c":3}],[{"a":1,"c":2}],[{"a":1,"c":3}]],"constants":{}}'),
    ("repeat-of-a-known-key", b'[{"v":{"a":1,"b":2}},{"v":{"a":1,"b":2,"a":3}}]' + b" " * 16,
     b'{"columns":["v"],"rows":[[{"a":1,"b":2}],[{"a":3,"b":2}]],"constants":{}}'),
    ("repeat-of-a-known-key-in-array", b'[{"v":[{"a":1,"b":2}]},{"v":[{"a":1,"b":2},{"a":1,"b":2,"b":3}]}]' + b" " * 16,
     b'{"columns":["v"],"rows":[[[{"a":1,"b":2}]],[[{"a":1,"b":2},{"a":1,"b":3}]]],"constants":{}}'),
    # A number written again (1.50) is read with the rest of its run only inside an array
    ("number-after-a-members-number", b'[{"v":{"a":1.50,2}}]',
     "invalid row-oriented JSON: key must be a string at line 1 column 17"),
    ("spaced-number-after-a-members-number", b'[{"v":{"a":1.50, 2}}]',
     "invalid row-oriented JSON: key must be a string at line 1 column 18"),
    ("run-in-an-array-then-a-member", b'[{"v":{"a":[1.50,2],"b":1.50}}]',
     b'{"columns":["v"],"rows":[[{"a":[1.5,2],"b":1.5}]],"constants":{}}'),
    ("known-key-then-no-colon", b'[{"v":{"ab" :1}},{"v":{"ab" "x"}}]' + b" " * 16,
     "invalid row-oriented JSON: expected `:` at line 1 column 29"),
    ("known-key-then-comma", b'[{"v":{"ab":1}},{"v":{"ab",1}}]' + b" " * 32,
     "invalid row-oriented JSON: expected `:` at line 1 column 27"),
    ("keys-alike-in-first-16-bytes", b'[{"v":{"a":1,"abcdefghijklmnop_1":2}},{"v":{"a":1,"abcdefghijklmnop_2":2,"abcdefghijklmnop_2":3}}]' + b" " * 32,
     b'{"columns":["v"],"rows":[[{"a":1,"abcdefghijklmnop_1":2}],[{"a":1,"abcdefghijklmnop_2":3}]],"constants":{}}'),
    ("keys-of-30-bytes-alike-but-the-last", ('[{"v":{"a":1,"%sx":2}},{"v":{"a":1,"%sy":2,"%sy":3}}]' % (("k" * 29,) * 3) + " " * 32).encode(),
     ('{"columns":["v"],"rows":[[{"a":1,"%sx":2}],[{"a":1,"%sy":3}]],"constants":{}}' % (("k" * 29,) * 2)).encode()),
    ("long-key-between-known-keys", ('[{"v":{"a":1,"%s":2,"b":3}},{"v":{"a":1,"%s":2,"b":3}},{"v":{"a":1,"k":2,"b":3,"k":4}}]'
                                     % ("k" * 31, "k" * 31) + " " * 16).encode(),
     ('{"columns":["v"],"rows":[[{"a":1,"%s":2,"b":3}],[{"a":1,"%s":2,"b":3}],[{"a":1,"k":4,"b":3}]],"constants":{}}'
      % ("k" * 31, "k" * 31)).encode()),
]


@pytest.mark.parametrize("payload, expected", [pytest.param(p, e, id=i) for i, p, e in NESTED_COPIES])
def test_nested_copies(payload, expected):
    if isinstance(expected, str):
        with pytest.raises(RuntimeError) as info:
            tarvel_codec.columnarize(payload, 1)
        assert str(info.value) == expected
    else:
        assert tarvel_codec.columnarize(payload, 1) == expected


@pytest.mark.parametrize("keys", [1, 23, 24, 25, 40])
def test_nested_object_with_many_keys_and_a_repeat(keys):
    # The first key comes again last: it keeps its place and takes the last value.
    members = ",".join('"k%d":%d' % (i, i) for i in range(keys))
    row = '{"v":{%s,"k0":-1}}' % members
    expected_object = "{%s}" % ",".join('"k%d":%d' % (i, -1 if i == 0 else i) for i in range(keys))
    out = tarvel_codec.columnarize(("[" + row + "," + row + "]").encode())
    assert out == ('{"columns":[],"rows":[[],[]],"constants":{"v":%s}}' % expected_object).encode()


@pytest.mark.parametrize("levels", [14, 15, 16, 17, 18, 124, 125])
def test_deeply_nested_member_values(levels):
    value = "[" * levels + "1" + "]" * levels
    payload = ('[{"v":%s},{"v":2}]' % value).encode()
    assert tarvel_codec.columnarize(payload) == ('{"columns":["v"],"rows":[[%s],[2]],"constants":{}}' % value).encode()
    broken = ('[{"v":%s}]' % ("[" * levels + "1," + "]" * levels)).encode()
    with pytest.raises(RuntimeError) as info:
        tarvel_codec.columnarize(broken)
    assert str(info.value) == "invalid row-oriented JSON: trailing comma at line 1 column %d" % (levels + 9)


# Arrays of numbers inside arrays (coordinates, pairs, matrix rows) are read without the
# general step per array where compact; a space after every '[' makes the general step read
# them, and the two must agree to the byte, and on errors.
NUMBER_ROWS = [
    ("pairs", b"[[1,2],[3,4]]", b"[[1,2],[3,4]]"),
    ("spaced-elements", b"[[1, 2], [3, 4]]", b"[[1,2],[3,4]]"),
    ("floats-written-again", b"[[1.50,2e2],[-0.0,0.1e1]]", b"[[1.5,200.0],[-0.0,1.0]]"),
    ("string-in-a-later-row", b'[[1,2],[3,"a"],[5,6]]', b'[[1,2],[3,"a"],[5,6]]'),
    ("space-before-close", b"[[1,2 ],[3,4]]", b"[[1,2],[3,4]]"),
    ("number-between-rows", b"[[1,2],3,[4]]", b"[[1,2],3,[4]]"),
    ("rows-of-rows", b"[[[1,2],[3,4]],[[5,6]]]", b"[[[1,2],[3,4]],[[5,6]]]"),
    ("empty-row", b"[[1,2],[],[3]]", b"[[1,2],[],[3]]"),
    ("object-after-rows", b'[[1,2],{"a":[3,4]}]', b'[[1,2],{"a":[3,4]}]'),
    ("rows-on-lines", b"[[1,2],\n  [3,4]\n]", b"[[1,2],[3,4]]"),
    ("trailing-comma", b"[[1,2],[3,4],]", "trailing comma at line 1 column 20"),
    ("leading-zero", b"[[1,2],[01]]", "invalid number at line 1 column 16"),
    ("no-comma-after-row", b"[[1,2]x]", "expected `,` or `]` at line 1 column 13"),
    ("unclosed", b"[[1,2],[3,4]", "expected `,` or `]` at line 1 column 19"),
]


@pytest.mark.parametrize("value, expected", [pytest.param(v, e, id=i) for i, v, e in NUMBER_ROWS])
def test_number_rows(value, expected):
    for text in (value, value.replace(b"[", b"[ ")):
        if isinstance(expected, bytes):
            assert cell(text) == expected
            continue
        with pytest.raises(RuntimeError) as info:
            cell(text)
        message = str(info.value).removeprefix("invalid row-oriented JSON: ")
        # the spaced text has the same error further on
        assert message == expected if text == value else message.split(" at ")[0] == expected.split(" at ")[0]


def test_number_rows_at_the_depth_limit():
    rows = b"[1,2],[3,4]"
    fits = b"[" * 124 + rows + b"]" * 124
    assert cell(fits) == fits
    with pytest.raises(RuntimeError) as info:
        cell(b"[" + fits + b"]")
    assert str(info.value) == "invalid row-oriented JSON: recursion limit exceeded at line 1 column 132"


def spaced_after_brackets(text):
    """A space after every '[' outside strings (which hold no escapes here)."""
    out, inside = bytearray(), False
    for byte in text:
        out.append(byte)
        inside ^= byte == ord('"')
        if byte == ord("[") and not inside:
            out += b" "
    return bytes(out)


@pytest.mark.parametrize("seed", range(40))
def test_number_rows_read_either_way(seed):
    # Random rows of numbers and other values, some damaged: compact and spaced the same.
    rng = random.Random(seed)
    pieces = ["1", "-2", "0.5", "1e3", "12345678901234567890", "1.2345678901234567", '"a"', "null", "01", "-"]

    def value(depth):
        if depth > 2 or rng.random() < 0.3:
            return rng.choice(pieces)
        return "[" + rng.choice([",", ", "]).join(value(depth + 1) for _ in range(rng.randrange(4))) + "]"

    for _ in range(50):
        text = value(0).encode()
        if rng.random() < 0.3:
            at = rng.randrange(len(text))
            text = text[:at] + rng.choice([b"", b"]", b"[", b","]) + text[at + 1:]
        outcomes = []
        for variant in (text, spaced_after_brackets(text)):
            try:
                outcomes.append(tarvel_codec.columnarize(b'[{"v":' + variant + b'},{"v":' + variant + b"}]", 1))
            except RuntimeError as error:
                outcomes.append(str(error).split(" at line")[0])
        assert outcomes[0] == outcomes[1], text


def test_nested_repeats_in_every_row():
    # Rows whose nested objects keep repeating a key, then rows that do not: the output is the
    # same whether or not the copy is still tried by then.
    rows = ['{"v":{"a":%d,"b":0,"a":%d}}' % (i, -i) for i in range(40)] + ['{"v":{"a":%d,"b":0}}' % i for i in range(10)]
    out = tarvel_codec.columnarize(("[" + ",".join(rows) + "]").encode())
    cells = ['[{"a":%d,"b":0}]' % -i for i in range(40)] + ['[{"a":%d,"b":0}]' % i for i in range(10)]
    assert out == ('{"columns":["v"],"rows":[%s],"constants":{}}' % ",".join(cells)).encode()


@pytest.mark.parametrize("n", [0, 1, 14, 15, 16, 17, 29, 30, 31, 32, 33, 47, 64, 65, 125, 126, 127, 128, 129, 200])
def test_text_lengths_around_block_copies(n):
    """Strings, integers, floats and nested keys of n bytes or so, in the middle of the
    payload and at its very end, where fewer bytes follow them than a block copy reads."""
    s = "x" * n
    k = "k" * max(n, 1)
    i = "9" * min(max(n, 1), 18)
    f = "0." + "1" * min(max(n - 2, 1), 15)
    row = '{"s":"%s","i":%s,"f":%s,"o":{"%s":"%s"}}' % (s, i, f, k, s)
    last = '{"o":{"%s":%s},"f":%s,"i":%s,"s":"%s"}' % (k, i, f, i, s + "y")
    payload = ("[" + row + "," + last + "]").encode()
    # i and f repeat in both rows: they become constants
    expected = ('{"columns":["s","o"],"rows":[["%s",{"%s":"%s"}],["%s",{"%s":%s}]],'
                '"constants":{"i":%s,"f":%s}}' % (s, k, s, s + "y", k, i, i, f)).encode()
    assert tarvel_codec.columnarize(payload) == expected
