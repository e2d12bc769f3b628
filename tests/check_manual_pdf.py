#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The help PDF made from a Markdown manual, read back with poppler's tools.

    check_manual_pdf.py MANUAL.md MANUAL.pdf

- Its bookmarks name every chapter and section of the Markdown in order, sections under their
  chapter, each pointing at the page where that heading stands in large type.
- Its contents list names each chapter and section with that same page number.
- No page but the last is nearly empty: what it shows reaches at least a fifth of the way
  down the text area.
"""
import re
import subprocess
import sys
import tempfile
import unicodedata
import xml.etree.ElementTree as ET
from pathlib import Path

# The text area of the pages, as the PDF maker sets it: A4, 25 mm from each edge.
PAGE_HEIGHT_MM = 297.0
TEXT_TOP_MM = 25.0
TEXT_BOTTOM_MM = 272.0
MIN_FILL = 0.2

failures = []


def plain(text):
    """Text as poppler gives it, with ligatures (\ufb00 for "ff") spelt out and blanks folded."""
    return " ".join(unicodedata.normalize("NFKC", text).split())


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def headings_of(markdown):
    """(level, text) of the first- and second-level headings after the title."""
    headings = []
    fenced = False
    for line in markdown.splitlines():
        if line.startswith("```"):
            fenced = not fenced
            continue
        match = re.match(r"^(#{1,2}) (.+)$", line)
        if match and not fenced:
            headings.append((len(match.group(1)), " ".join(match.group(2).split())))
    return headings[1:]


def outline_of(xml):
    """(level, title, page) of the PDF's bookmarks, as pdftohtml lists them."""
    entries = []

    def walk(element, level):
        for child in element:
            if child.tag == "item":
                entries.append((level, " ".join("".join(child.itertext()).split()),
                                int(child.get("page", "0"))))
            elif child.tag == "outline":
                walk(child, level + 1)

    root = ET.fromstring(xml)
    outline = root.find("outline")
    if outline is not None:
        walk(outline, 1)
    return entries


def lines_of(xml):
    """Per page: the lines of text as (top, font size, text)."""
    root = ET.fromstring(xml)
    sizes = {}
    pages = []
    for page in root.iter("page"):
        for spec in page.iter("fontspec"):
            sizes[spec.get("id")] = int(spec.get("size"))
        lines = []
        for text in page.iter("text"):
            lines.append((int(text.get("top")), sizes[text.get("font")],
                          plain("".join(text.itertext()))))
        pages.append(lines)
    return pages


def ink_reach(pgm):
    """How far down the text area the lowest dark pixel of a page lies, 0 to 1."""
    data = pgm.read_bytes()
    fields = data.split(maxsplit=4)  # P5 width height maxval pixels
    width, height = int(fields[1]), int(fields[2])
    pixels = fields[4][-width * height:]
    per_mm = height / PAGE_HEIGHT_MM
    first = int(TEXT_TOP_MM * per_mm)
    last = int(TEXT_BOTTOM_MM * per_mm)
    lowest = first
    for y in range(first, min(last + 1, height)):
        row = pixels[y * width:(y + 1) * width]
        if min(row) < 160:
            lowest = y
    return (lowest - first) / (last - first)


def main():
    markdown_path, pdf_path = sys.argv[1], sys.argv[2]
    headings = headings_of(Path(markdown_path).read_text(encoding="utf-8"))
    xml = subprocess.run(["pdftohtml", "-xml", "-i", "-stdout", "-q", pdf_path],
                         check=True, capture_output=True, text=True).stdout
    outline = outline_of(xml)
    pages = lines_of(xml)
    body_size = min(size for lines in pages for _, size, _ in lines)

    # The bookmarks: the chapters and sections in order, and nothing else but the contents.
    listed = [(level, title) for level, title, _ in outline]
    wanted = [(level, text) for level, text in headings]
    if [entry for entry in listed if entry in wanted] != wanted:
        fail("the bookmarks %s are not the headings %s" % (listed, wanted))
    if len(listed) > len(wanted) + 1:
        fail("more bookmarks than headings and the contents: %s" % listed)
    page_of = {}
    for level, title, page in outline:
        if (level, title) not in wanted:
            continue
        page_of[title] = page
        # A long heading may take two lines.
        large = [text for _, size, text in pages[page - 1]
                 if size > body_size] if 1 <= page <= len(pages) else []
        if title not in " ".join(large):
            fail("bookmark \"%s\" points at page %d, where it is no heading" % (title, page))

    # The contents: each heading with its page number, on the same line.
    for _, title in wanted:
        found = False
        for lines in pages[:3]:
            for top, size, text in lines:
                if text != title or size != body_size:
                    continue
                numbers = [other for other_top, _, other in lines
                           if abs(other_top - top) <= 2 and other.isdigit()]
                found = found or numbers == [str(page_of.get(title))]
        if not found:
            fail("the contents do not give \"%s\" its page %s" % (title, page_of.get(title)))

    # Nearly empty pages.
    with tempfile.TemporaryDirectory() as work:
        subprocess.run(["pdftoppm", "-gray", "-r", "30", pdf_path, work + "/page"], check=True)
        rendered = sorted(Path(work).glob("page-*.pgm"))
        if len(rendered) != len(pages):
            fail("%d pages rendered, %d read" % (len(rendered), len(pages)))
        for number, pgm in enumerate(rendered[:-1], start=1):
            reach = ink_reach(pgm)
            if reach < MIN_FILL:
                fail("page %d is nearly empty: its content ends %.0f %% down the page"
                     % (number, reach * 100))

    print("%s: %d bookmarks, %d pages, %d failed" % (pdf_path, len(outline), len(pages),
                                                    len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
