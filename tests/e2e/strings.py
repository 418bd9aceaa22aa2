"""The program's texts in both languages, read from the string tables' one
source (res/strings.inc), so the end-to-end tests compare with exactly what
the program was built from."""

import os
import re

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "res", "strings.inc")

_LITERAL = r'"((?:[^"\\]|\\.)*)"'
_LINE = re.compile(r"STRING_EN(_JA)?\((\d+),\s*\w+,\s*" + _LITERAL + r"(?:,\s*" + _LITERAL + r")?\)")
_ESCAPES = {"n": "\n", "\\": "\\", '"': '"', "t": "\t"}


def _unescape(text):
    return re.sub(r"\\(.)", lambda m: _ESCAPES.get(m.group(1), m.group(1)), text)


def load():
    """{"en": {id: text}, "ja": {id: text}}; English-only texts stand in both."""
    tables = {"en": {}, "ja": {}}
    with open(SOURCE, encoding="utf-8") as f:
        for m in _LINE.finditer(f.read()):
            number, english, japanese = int(m.group(2)), _unescape(m.group(3)), m.group(4)
            tables["en"][number] = english
            tables["ja"][number] = _unescape(japanese) if japanese is not None else english
    if len(tables["en"]) < 30:
        raise RuntimeError(f"only {len(tables['en'])} strings read from {SOURCE}")
    return tables


TEXTS = load()


def text(lang, number):
    return TEXTS[lang][number]
