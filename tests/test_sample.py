"""The sample of the README's first command: its document and both savings it reports."""

import json
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

from tarvel_codec import columnarize

SAMPLE = Path(__file__).resolve().parents[1] / "examples" / "columnarize_sample.py"


@pytest.mark.parametrize(
    "text",
    [
        b'[\n  {"id": 1, "kind": "user", "n": 1.50},\n  {"id": 2, "kind": "user", "n": 1E2}\n]\n',
        b'[{"a":"caf\xc3\xa9"},{"a":"\\u00e9"}]',
    ],
    ids=["pretty_printed", "compact_non_ascii"],
)
def test_sample_reports_savings_against_the_payload_and_its_compact_form(tmp_path, text):
    payload = tmp_path / "rows.json"
    payload.write_bytes(text)
    environment = dict(os.environ, PYTHONIOENCODING="utf-8")  # a pipe's default on Windows is not UTF-8
    out = subprocess.run(
        [sys.executable, str(SAMPLE), str(payload)], check=True, capture_output=True, encoding="utf-8",
        env=environment,
    ).stdout
    document = columnarize(text)
    compacted = json.dumps(json.loads(text), separators=(",", ":"), ensure_ascii=False).encode("utf-8")
    first_line, blank, *savings = out.splitlines()
    assert (first_line.encode("utf-8"), blank) == (document, "")
    reported = [tuple(map(int, re.match(r"rows\.json: (\d+) bytes in .*, (\d+) bytes out, (-?\d+) bytes saved", line).groups()))
                for line in savings]
    assert reported == [
        (len(text), len(document), len(text) - len(document)),
        (len(compacted), len(document), len(compacted) - len(document)),
    ]
