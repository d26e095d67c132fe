#!/usr/bin/python3
"""Makes the player's device font: the two faces of Noto Sans CJK's collection that the
player page names, cut down to the characters a lesson's device text can hold.

    subset_device_font.py NotoSansCJK-Regular.ttc OUTPUT.ttc

Ruffle keeps a copy of the whole collection for every face it reads, so the collection
it gets is made as small as the characters allow. Kept: Latin-1, general punctuation,
currency signs, CJK symbols and punctuation, kana, full-width forms, and every character
that the GBK code page (CP936) encodes, which is what old lessons are written in.

Both faces keep the same glyphs in the same order (the ones either face needs), so their
outline table (CFF) comes out the same and the collection holds it once, as the original
does. The glyphs are numbered afresh: Ruffle keeps a slot for every glyph id of a face up
to the highest, and the original numbers some 65,500. The outlines are copied as they
are, without the hints of the rasterisers (Ruffle turns outlines into shapes of its own
and reads no hint) and without the tables Ruffle does not read (vertical metrics,
OpenType layout): the faces look as before, in less room.
"""
import os
import sys

from fontTools import subset
from fontTools.ttLib import TTCollection, TTFont

FACES = ("Noto Sans CJK SC", "Noto Sans Mono CJK SC")

RANGES = (
    (0x0020, 0x007E),  # ASCII
    (0x00A0, 0x00FF),  # Latin-1
    (0x2000, 0x206F),  # general punctuation
    (0x20A0, 0x20CF),  # currency signs (the euro of CP936's 0x80)
    (0x3000, 0x303F),  # CJK symbols and punctuation
    (0x3040, 0x30FF),  # hiragana, katakana
    (0xFF00, 0xFFEF),  # half-width and full-width forms
)


def gbk_characters():
    characters = set()
    for lead in range(0x81, 0xFF):
        for trail in range(0x40, 0xFF):
            if trail == 0x7F:
                continue
            try:
                characters.update(ord(c) for c in bytes((lead, trail)).decode("gbk"))
            except UnicodeDecodeError:
                pass
    return characters


def characters():
    wanted = gbk_characters()
    for first, last in RANGES:
        wanted.update(range(first, last + 1))
    return sorted(wanted)


def face_numbers(path):
    collection = TTCollection(path, lazy=True)
    numbers = []
    for name in FACES:
        found = [i for i, font in enumerate(collection.fonts) if font["name"].getDebugName(4) == name]
        if not found:
            sys.exit(f"{path}: no face named {name}")
        numbers.append(found[0])
    return numbers


def options():
    result = subset.Options()
    result.name_IDs = ["*"]
    result.name_languages = ["*"]
    result.notdef_outline = True
    result.glyph_names = False
    result.hinting = False  # Ruffle draws the outlines alone; hints would only take room
    # Ruffle lays text out horizontally, kerns from a 'kern' table alone (these faces have
    # none) and substitutes nothing.
    result.drop_tables += ["vhea", "vmtx", "VORG", "GSUB", "GPOS"]
    # Only the glyphs that the characters map to: Ruffle looks glyphs up in the character
    # map and applies no substitution, so the glyphs reached only through one (the other
    # languages' local forms, vertical forms: some 17,700 more) would never be drawn.
    result.layout_closure = False
    return result


def glyphs_needed(path, number, unicodes):
    """The glyphs one face maps the characters to (its Unicode character maps and their
    variation sequences), and .notdef: what the subsetter keeps for the characters when
    it follows no substitution."""
    font = TTFont(path, fontNumber=number, lazy=True)
    wanted = set(unicodes)
    glyphs = {".notdef"}
    for table in font["cmap"].tables:
        if table.format == 14:
            for sequences in table.uvsDict.values():
                glyphs.update(glyph for code, glyph in sequences if code in wanted and glyph is not None)
        elif table.isUnicode():
            glyphs.update(glyph for code, glyph in table.cmap.items() if code in wanted)
    return glyphs


def main():
    source, output = sys.argv[1], sys.argv[2]
    unicodes = characters()
    numbers = face_numbers(source)
    glyphs = set()
    for number in numbers:
        glyphs |= glyphs_needed(source, number, unicodes)
    collection = TTCollection()
    for number in numbers:
        # The original's time stamps stay: the same input makes the same file.
        font = TTFont(source, fontNumber=number, recalcTimestamp=False)
        subsetter = subset.Subsetter(options())
        subsetter.populate(glyphs=glyphs, unicodes=unicodes)
        subsetter.subset(font)
        collection.fonts.append(font)
    # Written aside and renamed: a build stopped half-way leaves no broken font behind.
    partial = output + ".partial"
    collection.save(partial, shareTables=True)
    os.replace(partial, output)


if __name__ == "__main__":
    main()
