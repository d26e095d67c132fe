#!/usr/bin/python3
"""The build's device font against the collection it was cut from:

    device_font_test.py NotoSansCJK-Regular.ttc BUILT.ttc

For each of the two faces: the same full name, in the same order; every character that
the build was asked to keep and the original has is still there; the glyphs of all
Latin-1 characters and of a fixed sample of the others draw the same outlines with the
same advance; and the two faces share one outline table.
"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "host"))
import subset_device_font  # noqa: E402
from fontTools.pens.recordingPen import RecordingPen  # noqa: E402
from fontTools.ttLib import TTCollection, TTFont  # noqa: E402

SAMPLE = 3000


def main():
    source, built = sys.argv[1], sys.argv[2]
    failures = []
    wanted = subset_device_font.characters()
    numbers = subset_device_font.face_numbers(source)
    collection = TTCollection(built, lazy=True)
    if len(collection.fonts) != len(numbers):
        failures.append(f"{len(collection.fonts)} faces, expected {len(numbers)}")
    outline_tables = {font.reader.tables["CFF "].offset for font in collection.fonts}
    if len(outline_tables) != 1:
        failures.append(f"the faces do not share their outlines: {sorted(outline_tables)}")
    for index, number in enumerate(numbers):
        original = TTFont(source, fontNumber=number, lazy=True)
        cut = TTFont(built, fontNumber=index, lazy=True)
        name = original["name"].getDebugName(4)
        if cut["name"].getDebugName(4) != name:
            failures.append(f"face {index} is {cut['name'].getDebugName(4)}, expected {name}")
            continue
        before, after = original.getBestCmap(), cut.getBestCmap()
        lost = [c for c in wanted if c in before and c not in after]
        if lost:
            failures.append(f"{name}: {len(lost)} characters lost, e.g. " + " ".join(f"U+{c:04X}" for c in lost[:8]))
        if len(after) < 20000:
            failures.append(f"{name}: only {len(after)} characters")
        kept = [c for c in wanted if c in before and c in after]
        sample = [c for c in kept if c < 0x100] + random.Random(2026).sample(kept, min(SAMPLE, len(kept)))
        old_glyphs, new_glyphs = original.getGlyphSet(), cut.getGlyphSet()
        differing = []
        for c in sample:
            old_pen, new_pen = RecordingPen(), RecordingPen()
            old_glyphs[before[c]].draw(old_pen)
            new_glyphs[after[c]].draw(new_pen)
            if old_pen.value != new_pen.value or old_glyphs[before[c]].width != new_glyphs[after[c]].width:
                differing.append(c)
        if differing:
            failures.append(f"{name}: {len(differing)} of {len(sample)} glyphs differ, e.g. U+{differing[0]:04X}")
        print(f"{name}: {len(after)} characters, {len(sample)} glyphs compared")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
