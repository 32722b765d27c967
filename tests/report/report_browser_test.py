#!/usr/bin/env python3
"""The report as a browser shows it.

Writes the report of a simulated computer (three dives with samples and one
without) and reads it with an XML parser: it is well formed, every row of the
table links to a dive section, and the dives with samples have a plot.  Then
headless Chromium renders it to a PNG, and the pixels are read: the page is
not blank, there is one plot box per dive with samples, and in each box the
profile line has been drawn in its colour.  The plot's background and line
colours are read from the page's own style sheet.

Usage: report_browser_test.py TALVEK_REPORT_SAMPLE WORK_DIR
Exit 77 (skipped) when no Chromium is installed, after the parser's checks.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
import zlib
from collections import Counter

SKIP = 77


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def find_chromium():
    for name in (os.environ.get("TALVEK_CHROMIUM", ""), "chromium", "chromium-browser"):
        if name and shutil.which(name):
            return shutil.which(name)
    return None


def read_png(path):
    """Width, height and rows of (r, g, b) tuples of an 8-bit RGB/RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail("not a PNG: " + path)
    pos, idat = 8, b""
    width = height = depth = colour = None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace != 0:
                fail("unexpected PNG format: depth %d colour %d interlace %d"
                     % (depth, colour, interlace))
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    low = int.from_bytes(b"\x7f" * stride, "big")
    high = int.from_bytes(b"\x80" * stride, "big")
    rows, previous = [], bytes(stride)
    at = 0
    for _ in range(height):
        kind = raw[at]
        line = raw[at + 1:at + 1 + stride]
        at += 1 + stride
        if kind == 2:
            # Up: bytewise sums without carries, all bytes at once.
            a = int.from_bytes(line, "big")
            b = int.from_bytes(previous, "big")
            line = (((a & low) + (b & low)) ^ ((a ^ b) & high)).to_bytes(stride, "big")
        elif kind != 0:
            line = bytearray(line)
            up = previous
            for i in range(stride):
                left = line[i - channels] if i >= channels else 0
                if kind == 1:
                    line[i] = (line[i] + left) & 0xFF
                elif kind == 3:
                    line[i] = (line[i] + ((left + up[i]) >> 1)) & 0xFF
                else:
                    corner = up[i - channels] if i >= channels else 0
                    u = up[i]
                    p = left + u - corner
                    pa, pb, pc = abs(p - left), abs(p - u), abs(p - corner)
                    pred = left if pa <= pb and pa <= pc else (u if pb <= pc else corner)
                    line[i] = (line[i] + pred) & 0xFF
            line = bytes(line)
        rows.append(list(zip(line[0::channels], line[1::channels], line[2::channels])))
        previous = line
    return width, height, rows


def css_colour(page, pattern):
    m = re.search(pattern, page)
    if not m:
        fail("style sheet has no rule matching " + pattern)
    h = m.group(1)
    return tuple(int(h[i:i + 2], 16) for i in (1, 3, 5))


def near(a, b, tolerance):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def plot_boxes(rows, background):
    """Row bands holding a long run of the plot background, as boxes."""
    bands, start, last = [], None, None
    for y, row in enumerate(rows):
        if row.count(background) >= 200:
            if start is None or y - last > 4:  # grid lines cross a box
                if start is not None:
                    bands.append((start, last))
                start = y
            last = y
    if start is not None:
        bands.append((start, last))
    boxes = []
    for top, bottom in bands:
        if bottom - top < 80:
            continue
        lefts = [row.index(background) for row in rows[top:bottom + 1] if background in row]
        rights = [len(row) - 1 - row[::-1].index(background) for row in rows[top:bottom + 1]
                  if background in row]
        boxes.append((min(lefts), top, max(rights), bottom))
    return boxes


def check_structure(page, plotted):
    """The page parses as XML; the table's links reach dive sections."""
    try:
        root = ElementTree.fromstring(page)
    except ElementTree.ParseError as e:
        fail("the page is not well formed: %s" % e)
    ids = {e.get("id") for e in root.iter() if e.get("id")}
    rows = root.findall("./body/table/tbody/tr")
    links = [a.get("href") for row in rows for a in row.iter("a")]
    if len(links) != len(rows) or not links:
        fail("%d table rows but %d links" % (len(rows), len(links)))
    for href in links:
        if not href.startswith("#") or href[1:] not in ids:
            fail("the link %s reaches nothing" % href)
    sections = [s for s in root.iter("section") if s.get("class") == "dive"]
    with_plot = [s for s in sections if s.find("svg") is not None]
    if len(sections) != len(rows) or len(with_plot) != plotted:
        fail("%d sections, %d with a plot, for %d rows and %d dives with samples"
             % (len(sections), len(with_plot), len(rows), plotted))
    print("structure: %d rows, %d sections, %d plots" % (len(rows), len(sections),
                                                         len(with_plot)))


def main():
    if len(sys.argv) != 3:
        fail("usage: report_browser_test.py TALVEK_REPORT_SAMPLE WORK_DIR")
    sample, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    page_path = os.path.join(work, "report.html")
    shot = os.path.join(work, "report.png")
    for stale in (page_path, shot):
        if os.path.exists(stale):
            os.remove(stale)

    counts = subprocess.run([sample, page_path, "--type", "2", "--dives", "3", "--seed", "3",
                             "--no-sample-dive"], check=True, capture_output=True, text=True)
    m = re.match(r"dives (\d+) plotted (\d+)", counts.stdout)
    if not m:
        fail("sample tool said: " + counts.stdout)
    dives, plotted = int(m.group(1)), int(m.group(2))
    if plotted != 3 or dives != 4:
        fail("expected 3 dives with samples and 1 without, got %d of %d" % (plotted, dives))

    with open(page_path, encoding="utf-8") as f:
        page = f.read()
    check_structure(page, plotted)
    chromium = find_chromium()
    if not chromium:
        print("SKIP: Chromium is not installed (scripts/setup.sh installs Debian's chromium)")
        return SKIP
    background = css_colour(page, r"svg \.bg\{fill:(#[0-9a-f]{6})")
    line = css_colour(page, r"svg path\.depth\{[^}]*stroke:(#[0-9a-f]{6})")

    profile = tempfile.mkdtemp(prefix="talvek-chromium-")
    try:
        result = subprocess.run(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--user-data-dir=" + profile, "--hide-scrollbars",
             "--force-device-scale-factor=1", "--window-size=1000,1900",
             "--screenshot=" + shot, "file://" + os.path.abspath(page_path)],
            capture_output=True, text=True, timeout=120)
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    if result.returncode != 0 or not os.path.exists(shot):
        fail("Chromium made no screenshot (exit %d): %s" % (result.returncode,
                                                           result.stderr[-2000:]))

    width, height, rows = read_png(shot)
    print("screenshot %dx%d: %s" % (width, height, shot))

    # Not blank: a good share of the page is not white, and there is dark
    # text at the top (the header and the table).
    inked = width * height - sum(row.count((255, 255, 255)) for row in rows)
    if inked < 0.03 * width * height:
        fail("the page is nearly blank: %d of %d pixels inked" % (inked, width * height))
    dark = sum(n for row in rows[:300] for p, n in Counter(row).items() if max(p) < 90)
    if dark < 500:
        fail("no text at the top of the page (%d dark pixels)" % dark)

    boxes = plot_boxes(rows, background)
    print("plot boxes: %s" % boxes)
    if len(boxes) != plotted:
        fail("expected %d plot boxes, found %d" % (plotted, len(boxes)))
    for n, (left, top, right, bottom) in enumerate(boxes, 1):
        if right - left < 300:
            fail("plot %d is only %d pixels wide" % (n, right - left))
        drawn, first, last = 0, right, left
        for row in rows[top:bottom + 1]:
            part = row[left:right + 1]
            for p, count in Counter(part).items():
                if near(p, line, 40):
                    drawn += count
                    first = min(first, left + part.index(p))
                    last = max(last, right - part[::-1].index(p))
        # The line crosses the whole box: hundreds of pixels of its colour,
        # from the left edge (the dive's start) well into the right half.
        if drawn < 300:
            fail("plot %d has %d pixels of the profile colour" % (n, drawn))
        if first > left + 10 or last < left + (right - left) // 2:
            fail("plot %d: the profile covers columns %d..%d of %d..%d"
                 % (n, first, last, left, right))
        print("plot %d: %d profile pixels in columns %d..%d" % (n, drawn, first, last))
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
