"""Texts of the web application."""


def UTF8(text):
    """The text as a str; bytes are read as UTF-8."""
    if text is None:
        return ""
    if isinstance(text, bytes):
        return text.decode("utf-8", errors="replace")
    return str(text)
