"""Columnarize the sample payload shipped beside this script (or the file named on the command
line) and show what it saves: against the payload as given, and against the same payload
compacted, without the whitespace that a pretty-printed file carries."""
import json
import sys
from pathlib import Path

import tarvel_codec

path = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("users.json")
payload = path.read_bytes()
document = tarvel_codec.columnarize(payload)
compacted = json.dumps(json.loads(payload), separators=(",", ":"), ensure_ascii=False).encode("utf-8")
print(document.decode("utf-8"))
print()
for against, size in (("the payload as given", len(payload)), ("the payload compacted", len(compacted))):
    saved = size - len(document)
    print(f"{path.name}: {size} bytes in ({against}), {len(document)} bytes out, {saved} bytes saved "
          f"({saved / size:.0%})")
