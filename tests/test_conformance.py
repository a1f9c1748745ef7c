"""The JSON conformance corpus and real-world payloads from the shared folder."""

import json
import os
import re
from pathlib import Path

import pytest

import tarvel_codec

SHARED = Path(os.environ.get("TARVEL_SHARED") or Path(__file__).resolve().parents[2] / "shared")
PARSING = SHARED / "jsontestsuite" / "test_parsing"
GITHUB = SHARED / "realworld" / "github"
if not PARSING.is_dir():
    pytest.skip(f"shared test data not found at {SHARED} (set TARVEL_SHARED)", allow_module_level=True)

INVALID = "invalid row-oriented JSON: "
NOT_ROW = "expected a JSON object row, got: "
POSITION = re.compile(r" at line [1-9][0-9]* column [0-9]+\Z")


def files(folder, pattern):
    return [pytest.param(p, id=p.name) for p in sorted(folder.glob(pattern))]


def outcome(path):
    try:
        return tarvel_codec.columnarize(path.read_bytes())
    except RuntimeError as exc:
        assert type(exc) is RuntimeError
        return str(exc)


@pytest.mark.parametrize("path", files(PARSING, "y_*.json"))
def test_accepted(path):
    result = outcome(path)
    if path.read_bytes().lstrip(b" \t\r\n").startswith(b"["):
        if isinstance(result, bytes):
            assert list(json.loads(result)) == ["columns", "rows", "constants"]
        else:
            assert result.startswith(NOT_ROW), result
            json.loads(result[len(NOT_ROW):])
    else:
        assert isinstance(result, str) and result.startswith(INVALID + "invalid type: "), result
        assert ", expected a sequence at line " in result and POSITION.search(result), result


@pytest.mark.parametrize("path", files(PARSING, "n_*.json"))
def test_rejected(path):
    result = outcome(path)
    assert isinstance(result, str) and result.startswith(INVALID), result
    assert POSITION.search(result), result


UNLEADING = "lone leading surrogate in hex escape"
HEX_END = "unexpected end of hex escape"
BAD_UTF8 = "invalid unicode code point"
MAP = "invalid type: map, expected a sequence at line 1 column 0"

# Outcomes the rules decide for the files the corpus leaves open (whole error text).
DECIDED = {
    "i_number_double_huge_neg_exp.json": NOT_ROW + "0.0",
    "i_number_huge_exp.json": INVALID + "number out of range at line 1 column 136",
    "i_number_neg_int_huge_exp.json": INVALID + "number out of range at line 1 column 9",
    "i_number_pos_double_huge_exp.json": INVALID + "number out of range at line 1 column 10",
    "i_number_real_neg_overflow.json": INVALID + "number out of range at line 1 column 15",
    "i_number_real_pos_overflow.json": INVALID + "number out of range at line 1 column 14",
    "i_number_real_underflow.json": NOT_ROW + "0.0",
    "i_number_too_big_neg_int.json": NOT_ROW + "-1.2312312312312312e+29",
    "i_number_too_big_pos_int.json": NOT_ROW + "1e+20",
    "i_number_very_big_negative_int.json": NOT_ROW + "-2.3746237467327687e+47",
    "i_object_key_lone_2nd_surrogate.json": INVALID + MAP,
    "i_string_1st_surrogate_but_2nd_missing.json": INVALID + HEX_END + " at line 1 column 9",
    "i_string_1st_valid_surrogate_2nd_invalid.json": INVALID + UNLEADING + " at line 1 column 14",
    "i_string_UTF-16LE_with_BOM.json": INVALID + "expected value at line 1 column 1",
    "i_string_UTF-8_invalid_sequence.json": INVALID + BAD_UTF8 + " at line 1 column 9",
    "i_string_UTF8_surrogate_U+D800.json": INVALID + BAD_UTF8 + " at line 1 column 6",
    "i_string_incomplete_surrogate_and_escape_valid.json": INVALID + HEX_END + " at line 1 column 10",
    "i_string_incomplete_surrogate_pair.json": INVALID + UNLEADING + " at line 1 column 8",
    "i_string_incomplete_surrogates_escape_valid.json": INVALID + UNLEADING + " at line 1 column 14",
    "i_string_invalid_lonely_surrogate.json": INVALID + HEX_END + " at line 1 column 9",
    "i_string_invalid_surrogate.json": INVALID + HEX_END + " at line 1 column 9",
    "i_string_invalid_utf-8.json": INVALID + BAD_UTF8 + " at line 1 column 4",
    "i_string_inverted_surrogates_U+1D11E.json": INVALID + UNLEADING + " at line 1 column 8",
    "i_string_iso_latin_1.json": INVALID + BAD_UTF8 + " at line 1 column 4",
    "i_string_lone_second_surrogate.json": INVALID + UNLEADING + " at line 1 column 8",
    "i_string_lone_utf8_continuation_byte.json": INVALID + BAD_UTF8 + " at line 1 column 4",
    "i_string_not_in_unicode_range.json": INVALID + BAD_UTF8 + " at line 1 column 7",
    "i_string_overlong_sequence_2_bytes.json": INVALID + BAD_UTF8 + " at line 1 column 5",
    "i_string_overlong_sequence_6_bytes.json": INVALID + BAD_UTF8 + " at line 1 column 9",
    "i_string_overlong_sequence_6_bytes_null.json": INVALID + BAD_UTF8 + " at line 1 column 9",
    "i_string_truncated-utf-8.json": INVALID + BAD_UTF8 + " at line 1 column 5",
    "i_string_utf16BE_no_BOM.json": INVALID + "expected value at line 1 column 1",
    "i_string_utf16LE_no_BOM.json": INVALID + "expected value at line 1 column 2",
    "i_structure_500_nested_arrays.json": INVALID + "recursion limit exceeded at line 1 column 128",
    "i_structure_UTF-8_BOM_empty_object.json": INVALID + "expected value at line 1 column 1",
}


@pytest.mark.parametrize("path", files(PARSING, "i_*.json"))
def test_decided(path):
    assert outcome(path) == DECIDED[path.name]


@pytest.mark.parametrize("path", files(GITHUB, "*.json"))
def test_real_world_structure(path):
    payload = path.read_bytes()
    source = json.loads(payload)
    if not (isinstance(source, list) and all(isinstance(row, dict) for row in source)):
        pytest.skip("not an array of objects")
    doc = json.loads(tarvel_codec.columnarize(payload))
    assert list(doc) == ["columns", "rows", "constants"]
    columns, rows, constants = doc["columns"], doc["rows"], doc["constants"]
    assert len(set(columns)) == len(columns) and not set(columns) & constants.keys()
    assert len(rows) == len(source) and all(len(cells) == len(columns) for cells in rows)
    assert len(source) >= 2 or not constants
    keys = list(dict.fromkeys(k for row in source for k in row))
    assert [k for k in keys if k in columns] == columns
    assert [k for k in keys if k in constants] == list(constants)
    for key in keys:
        present = [row.get(key) is not None for row in source]
        if key in constants:
            assert all(present)
        elif key not in columns:
            assert not any(present), key
    for row, cells in zip(source, rows):
        assert [row.get(c) is not None for c in columns] == [v is not None for v in cells]
