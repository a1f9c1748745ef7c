# Type stub of the extension module tarvel_codec.

__all__ = ["columnarize"]

def columnarize(payload: bytes, min_rows: int = 20) -> bytes: ...
