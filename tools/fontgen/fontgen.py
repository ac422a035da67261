#!/usr/bin/env python3
"""Writes the glyph table of the text overlay's bitmap font.

Reads the 12-pixel Helvetica X11 bitmap font (xfonts-75dpi, helvR12-ISO8859-1)
through pcf2bdf, or a BDF file directly, and writes a C++ fragment with one
glyph record per code from 32 to 255 in the layout of gpu/text/BitmapFont.h.

    python3 tools/fontgen/fontgen.py [--pcf FILE.pcf.gz | --bdf FILE.bdf]
                                     [--output gpu/text/Helvetica12Glyphs.inc]

BDF gives, per glyph, `BBX w h xoff yoff`, `DWIDTH dx dy` and the bitmap rows
top row first in hexadecimal. A record takes width w, height h, origin
(-xoff, -yoff) and advance dx; its rows are stored bottom row first, each
padded to whole bytes with the most significant bit leftmost, as glBitmap
reads them with an unpack alignment of 1. Bits past the width are cleared.

Needs only Python 3 and the pcf2bdf program (Debian packages xfonts-75dpi and
pcf2bdf, installed by scripts/install-deps.sh). The output is deterministic, so
regenerating an unchanged font rewrites the same bytes.
"""

import argparse
import gzip
import os
import subprocess
import sys
import tempfile

DEFAULT_PCF = "/usr/share/fonts/X11/75dpi/helvR12-ISO8859-1.pcf.gz"
DEFAULT_OUTPUT = os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "gpu", "text",
    "Helvetica12Glyphs.inc")
FIRST_CODE = 32
CODE_COUNT = 224


class FontError(Exception):
    pass


def bdf_from_pcf(pcf_path):
    """Runs pcf2bdf on a (possibly gzip-compressed) PCF file, returns BDF text."""
    opener = gzip.open if pcf_path.endswith(".gz") else open
    with opener(pcf_path, "rb") as src:
        pcf = src.read()
    with tempfile.TemporaryDirectory() as tmp:
        pcf_file = os.path.join(tmp, "font.pcf")
        bdf_file = os.path.join(tmp, "font.bdf")
        with open(pcf_file, "wb") as dst:
            dst.write(pcf)
        subprocess.run(["pcf2bdf", "-o", bdf_file, pcf_file], check=True)
        with open(bdf_file, encoding="latin-1") as f:
            return f.read()


def parse_bdf(text):
    """Returns (font name, {code: glyph dict}) for the encoded glyphs of a BDF."""
    name = None
    glyphs = {}
    glyph = None
    rows = None
    for line_no, line in enumerate(text.splitlines(), 1):
        fields = line.split()
        if not fields:
            continue
        key = fields[0]
        if rows is not None:
            if key == "ENDCHAR":
                glyph["rows"] = rows
                if glyph.get("code", -1) >= 0:
                    glyphs[glyph["code"]] = glyph
                glyph, rows = None, None
            else:
                rows.append(bytes.fromhex(key))
        elif key == "FONT":
            name = line[len("FONT"):].strip()
        elif key == "STARTCHAR":
            glyph = {"name": line[len("STARTCHAR"):].strip()}
        elif glyph is None:
            continue
        elif key == "ENCODING":
            glyph["code"] = int(fields[1])
        elif key == "DWIDTH":
            glyph["advance"] = int(fields[1])
        elif key == "BBX":
            glyph["bbx"] = tuple(int(v) for v in fields[1:5])
        elif key == "BITMAP":
            rows = []
    if name is None:
        raise FontError("no FONT line")
    for code, g in glyphs.items():
        if "bbx" not in g or "advance" not in g:
            raise FontError("glyph %d lacks BBX or DWIDTH" % code)
        width, height = g["bbx"][0], g["bbx"][1]
        if len(g["rows"]) != height:
            raise FontError("glyph %d has %d rows, BBX says %d"
                            % (code, len(g["rows"]), height))
        row_bytes = (width + 7) // 8
        if any(len(r) < row_bytes for r in g["rows"]):
            raise FontError("glyph %d has a row shorter than its width" % code)
    return name, glyphs


def glyph_bytes(g):
    """The bitmap bottom row first, rows padded to bytes, bits past width cleared."""
    width = g["bbx"][0]
    row_bytes = (width + 7) // 8
    out = []
    for row in reversed(g["rows"]):
        row = bytearray(row[:row_bytes])
        spare = row_bytes * 8 - width
        if row_bytes:
            row[-1] &= (0xFF << spare) & 0xFF
        out.extend(row)
    return out


def describe(code):
    if 32 < code < 127 and chr(code) not in "\\'":
        return "'%s'" % chr(code)
    return "%d" % code


def float_literal(value):
    return "%.1ff" % value


def render(name, glyphs, source):
    codes = [c for c in range(FIRST_CODE, FIRST_CODE + CODE_COUNT) if c in glyphs]
    lines = [
        "// Glyph table of the text overlay's bitmap font: generated data, do not edit.",
        "// Source: %s (xfonts-75dpi) through pcf2bdf." % source,
        "// Regenerate from the repository root with",
        "//     python3 tools/fontgen/fontgen.py",
        "// Included by gpu/text/Helvetica12.cpp; the record layout is in BitmapFont.h.",
        "",
        "constexpr const char fontName[] = \"%s\";" % name.lower(),
        "",
        "// Rows bottom first, whole bytes per row, most significant bit leftmost.",
        "constexpr std::uint8_t bitmapBytes[] = {",
    ]
    offsets = {}
    offset = 0
    for code in codes:
        data = glyph_bytes(glyphs[code])
        offsets[code] = offset
        offset += len(data)
        hex_bytes = ", ".join("0x%02x" % b for b in data)
        lines.append("    /* %s */ %s," % (describe(code), hex_bytes))
    lines += ["};", "", "constexpr Glyph glyphRecords[%d] = {" % len(codes)]
    index = {}
    for i, code in enumerate(codes):
        g = glyphs[code]
        width, height, xoff, yoff = g["bbx"]
        index[code] = i
        lines.append("    /* %s */ {%d, %d, %s, %s, %s, bitmapBytes + %d}," % (
            describe(code), width, height, float_literal(-xoff),
            float_literal(-yoff), float_literal(g["advance"]), offsets[code]))
    lines += ["};", "", "// One entry per code from %d; null where the font has no glyph."
              % FIRST_CODE, "constexpr const Glyph* glyphTable[%d] = {" % CODE_COUNT]
    for code in range(FIRST_CODE, FIRST_CODE + CODE_COUNT):
        entry = ("glyphRecords + %d" % index[code]) if code in index else "nullptr"
        lines.append("    /* %s */ %s," % (describe(code), entry))
    lines += ["};", ""]
    return "\n".join(lines)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    source = parser.add_mutually_exclusive_group()
    source.add_argument("--pcf", default=DEFAULT_PCF, help="PCF font, may be .gz")
    source.add_argument("--bdf", help="BDF font instead of a PCF")
    parser.add_argument("--output", default=DEFAULT_OUTPUT, help="file to write")
    args = parser.parse_args(argv)
    try:
        if args.bdf:
            with open(args.bdf, encoding="latin-1") as f:
                text = f.read()
            source_name = os.path.basename(args.bdf)
        else:
            text = bdf_from_pcf(args.pcf)
            source_name = os.path.basename(args.pcf)
        name, glyphs = parse_bdf(text)
        output = render(name, glyphs, source_name)
    except (OSError, subprocess.CalledProcessError, FontError, ValueError) as e:
        print("fontgen: %s" % e, file=sys.stderr)
        return 1
    with open(args.output, "w", encoding="ascii", newline="\n") as f:
        f.write(output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
