# Type stub of the extension module tarvel_codec, installed as the stub-only package
# tarvel_codec-stubs so that type checkers find it.

__all__ = ["columnarize"]

__version__: str

def columnarize(payload: bytes, min_rows: int = 20) -> bytes: ...
