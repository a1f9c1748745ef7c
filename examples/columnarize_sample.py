"""Columnarize the sample payload shipped beside this script and show what it saves."""
import sys
from pathlib import Path

import tarvel_codec

path = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("users.json")
payload = path.read_bytes()
document = tarvel_codec.columnarize(payload)
print(document.decode("utf-8"))
saved = len(payload) - len(document)
print(f"\n{path.name}: {len(payload)} bytes in, {len(document)} bytes out, {saved} bytes saved "
      f"({saved / len(payload):.0%})")
