"""Packs the installer's long texts. Reads the string definitions of
ty_product.h and the texts of ty_texts.def (string literals and names of
earlier definitions, as the C preprocessor joins them) and writes into the
output folder:
  ty_texts.h          one name per text, in the order of the file, and
                      TY_TEXTS_SIZE, the bytes of all of them unpacked
  ty_texts_packed.cpp the texts one after the other, each closed by its zero
                      byte, compressed by libbzip2; where each one starts
Usage: ty_pack_texts.py PRODUCT_H TEXTS_DEF OUTPUT_FOLDER [NAME=VALUE...]
NAME=VALUE replaces a string definition (the version of an earlier build)."""

import bz2
import os
import re
import sys

DEFINE = re.compile(r'^#define[ \t]+(\w+)[ \t]*((?:[^\n]*\\\n)*[^\n]*)', re.M)
TOKEN = re.compile(r'"((?:[^"\\\n]|\\.)*)"|(\w+)|(\S)')
COMMENT = re.compile(r'"(?:[^"\\\n]|\\.)*"|//[^\n]*')
ESCAPE = re.compile(r'\\(x[0-9a-fA-F]+|[0-7]{1,3}|.)')
SIMPLE = {'n': 10, 't': 9, 'r': 13, 'a': 7, 'b': 8, 'f': 12, 'v': 11,
          '\\': 92, '"': 34, "'": 39, '?': 63}


def literal_bytes(text):
    def byte(match):
        code = match.group(1)
        if code[0] == 'x':
            return chr(int(code[1:], 16))
        if code[0] in '01234567':
            return chr(int(code, 8))
        return chr(SIMPLE[code])
    return ESCAPE.sub(byte, text).encode('latin-1')


def string_value(body, known):
    """The bytes a definition stands for, or None when it is no string."""
    value, found = b'', False
    for match in TOKEN.finditer(body.replace('\\\n', ' ')):
        literal, name, other = match.groups()
        if other is not None or (name is not None and name not in known):
            return None
        value += known[name] if name is not None else literal_bytes(literal)
        found = True
    return value if found else None


def definitions(path, known):
    with open(path, encoding='latin-1') as f:
        # Comments go, string literals (with their "//" in addresses) stay.
        source = COMMENT.sub(lambda m: m.group(0) if m.group(0)[0] == '"' else '', f.read())
    names = []
    for name, body in DEFINE.findall(source):
        value = string_value(body, known)
        if value is not None and name not in known:
            known[name] = value
            names.append(name)
    return names


def main(product_h, texts_def, folder, *replacements):
    known = {}
    for replacement in replacements:
        name, value = replacement.split('=', 1)
        known[name] = value.encode('latin-1')
    definitions(product_h, known)
    texts = definitions(texts_def, known)
    unpacked, starts = b'', []
    for name in texts:
        starts.append(len(unpacked))
        unpacked += known[name] + b'\0'
    if len(unpacked) > 0xFFFF:
        sys.exit('ty_pack_texts: the texts do not fit 16-bit offsets')
    packed = bz2.compress(unpacked, 1)
    os.makedirs(folder, exist_ok=True)
    header = ['// Made by cmake/ty_pack_texts.py from src/common/ty_texts.def.',
              '#ifndef TY_TEXTS_H', '#define TY_TEXTS_H', '',
              f'#define TY_TEXTS_SIZE {len(unpacked)}', '', 'enum TyText {']
    header += [f'    {name},' for name in texts]
    header += ['    TY_TEXT_COUNT', '};', '',
               '// The text, from the texts unpacked at the first call (ty_texts.cpp).',
               'const char *tyText(TyText text);', '', '#endif', '']
    rows = [', '.join(str(b) for b in packed[i:i + 24]) for i in range(0, len(packed), 24)]
    data = ['// Made by cmake/ty_pack_texts.py from src/common/ty_texts.def.',
            '#include "ty_texts.h"', '',
            f'extern const unsigned tyPackedTextsSize = {len(packed)};',
            f'extern const unsigned char tyPackedTexts[{len(packed)}] = {{']
    data += [f'    {row},' for row in rows]
    data += ['};', f'extern const unsigned short tyTextStarts[TY_TEXT_COUNT] = {{',
             '    ' + ', '.join(str(s) for s in starts), '};', '']
    for name, lines in (('ty_texts.h', header), ('ty_texts_packed.cpp', data)):
        path = os.path.join(folder, name)
        text = '\n'.join(lines)
        # Unchanged files keep their time: nothing is compiled again.
        if not os.path.exists(path) or open(path).read() != text:
            with open(path, 'w') as f:
                f.write(text)


if __name__ == '__main__':
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
