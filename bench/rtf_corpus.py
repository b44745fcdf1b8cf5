#!/usr/bin/env python3
"""RTF written by other programs, read by the note engine and by the search's text scan,
against LibreOffice as the reference reader.

  bench/rtf_corpus.py --cli build/zorbek-cli [--cli OLD=/path/to/old/zorbek-cli] [--out DIR]

For every RTF file of the corpus (tests/data/rtf-corpus and tests/testdata/rtf):
  - LibreOffice (soffice --headless --convert-to txt) gives the reference text (list numbers
    and bullets at the start of its lines are left out of the comparison);
  - `zorbek-cli convert F.rtf F.txt` gives the engine's text, `zorbek-cli text F.rtf` the
    search's; each is compared with the reference (similarity of their words, 0..1);
  - round trip: `zorbek-cli convert F.rtf F.esr` writes the note as the program saves it, and
    LibreOffice reads both the original and the written file as HTML; the formats of the text
    (bold, italic, underline, colours, sizes), the tables (rows, cells) and the pictures found
    in both are compared.
Prints, for each zorbek-cli given, the median and p10 similarity, the files under 0.95 (with
their scores), and the round-trip counts. Not part of the test suite (LibreOffice is slow).
"""
import argparse
import difflib
import html.parser
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import unicodedata

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS_DIRS = [os.path.join(ROOT, "tests", "data", "rtf-corpus"),
               os.path.join(ROOT, "tests", "testdata", "rtf")]


def corpus():
    files = []
    for d in CORPUS_DIRS:
        for base, _, names in os.walk(d):
            files += [os.path.join(base, n) for n in names if n.lower().endswith(".rtf")]
    return sorted(files)


# List numbers and bullets that LibreOffice's text export puts before list paragraphs: they are
# made by the reader, not text of the document (the engine's text export leaves them out).
LIST_MARKER = re.compile(r"^[ \t]*(?:[\u2022\u25e6\u25aa\u25cf\u00b7\u2013\u2212\uf0b7-]|"
                         r"\(?(?:\d+|[a-zA-Z]|[ivxlcdmIVXLCDM]+)[.)])[ \t]+", re.M)


# LibreOffice keeps the bytes of a symbol font as private-use codes U+F020..U+F0FF; the engine
# gives the characters they show. Compared as the Symbol font shows them (the symbol font that
# documents use most).
SYMBOL_FONT = [
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220D,
    0x0028, 0x0029, 0x2217, 0x002B, 0x002C, 0x2212, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393,
    0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9,
    0x039E, 0x03A8, 0x0396, 0x005B, 0x2234, 0x005D, 0x22A5, 0x005F,
    0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
    0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF,
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9,
    0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0xF07F,
    0xF080, 0xF081, 0xF082, 0xF083, 0xF084, 0xF085, 0xF086, 0xF087,
    0xF088, 0xF089, 0xF08A, 0xF08B, 0xF08C, 0xF08D, 0xF08E, 0xF08F,
    0xF090, 0xF091, 0xF092, 0xF093, 0xF094, 0xF095, 0xF096, 0xF097,
    0xF098, 0xF099, 0xF09A, 0xF09B, 0xF09C, 0xF09D, 0xF09E, 0xF09F,
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663,
    0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192, 0x2193,
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022,
    0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0x23D0, 0x23AF, 0x21B5,
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229,
    0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5,
    0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3,
    0x22C4, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C,
    0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA,
    0xF0F0, 0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F,
    0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD, 0xF0FF,
]
SYMBOL_PUA = {0xF020 + i: c for i, c in enumerate(SYMBOL_FONT)}


def words(text):
    text = text.translate(SYMBOL_PUA)
    text = unicodedata.normalize("NFC", text)
    text = LIST_MARKER.sub("", text)
    # Object replacement characters (pictures) and soft hyphens are not text.
    text = text.replace("\ufffc", " ").replace("\u00ad", "").replace("\u00a0", " ")
    return re.findall(r"\w+|[^\w\s]", text)


def similarity(a, b):
    wa, wb = words(a), words(b)
    if not wa and not wb:
        return 1.0
    return difflib.SequenceMatcher(None, wa, wb, autojunk=False).ratio()


def soffice(files, fmt, outdir):
    """Converts files with LibreOffice into outdir; returns {input: output path}."""
    os.makedirs(outdir, exist_ok=True)
    profile = "file://" + os.path.join(outdir, ".profile")
    out = {}
    for i in range(0, len(files), 40):
        chunk = files[i:i + 40]
        subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless",
                        "--convert-to", fmt, "--outdir", outdir] + chunk,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
    ext = fmt.split(":")[0]
    for f in files:
        o = os.path.join(outdir, os.path.splitext(os.path.basename(f))[0] + "." + ext)
        if os.path.exists(o):
            out[f] = o
    return out


def read(path):
    with open(path, "rb") as f:
        data = f.read()
    return data.decode("utf-8", "replace").lstrip("\ufeff")


def run_cli(cli, args, timeout=60):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    try:
        p = subprocess.run([cli] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=timeout, env=env)
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired:
        return "hang", b""


class Formats(html.parser.HTMLParser):
    """What LibreOffice's HTML shows of a document's formats."""

    def __init__(self):
        super().__init__()
        self.stack = []
        self.bold = self.italic = self.underline = 0
        self.colours, self.sizes = set(), set()
        self.rows = self.cells = self.pictures = 0
        self.text = []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        style = a.get("style", "") or ""
        if tag == "img":
            self.pictures += 1
            return
        if tag in ("br", "meta", "link", "col", "hr"):
            return
        if tag == "tr":
            self.rows += 1
        if tag in ("td", "th"):
            self.cells += 1
        entry = {"tag": tag}
        # Headings and table heading cells are bold as HTML shows them.
        if (tag in ("b", "strong", "th", "h1", "h2", "h3", "h4", "h5", "h6") or
                re.search(r"font-weight:\s*(bold|[6-9]00)", style)):
            entry["b"] = True
        if tag in ("i", "em") or "font-style: italic" in style:
            entry["i"] = True
        if tag == "u" or "text-decoration: underline" in style:
            entry["u"] = True
        colour = a.get("color") or (re.search(r"(?<![-\w])color:\s*(#[0-9a-fA-F]{6})", style) or [None, None])[1]
        if colour:
            entry["c"] = colour.lower()
        size = re.search(r"font-size:\s*([\d.]+)pt", style)
        if size:
            entry["s"] = float(size.group(1))
        self.stack.append(entry)

    def handle_endtag(self, tag):
        for k in range(len(self.stack) - 1, -1, -1):
            if self.stack[k]["tag"] == tag:
                del self.stack[k:]
                break

    def handle_data(self, data):
        n = len(re.sub(r"\s", "", data))
        if not n or any(e["tag"] in ("style", "title", "script", "head") for e in self.stack):
            return
        self.text.append(data)
        on = lambda key: any(key in e for e in self.stack)
        if on("b"):
            self.bold += n
        if on("i"):
            self.italic += n
        if on("u"):
            self.underline += n
        for e in reversed(self.stack):
            if "c" in e:
                if e["c"] != "#000000":
                    self.colours.add(e["c"])
                break
        for e in reversed(self.stack):
            if "s" in e:
                self.sizes.add(e["s"])
                break


def formats(path):
    p = Formats()
    p.feed(read(path))
    return p


def percentile(values, q):
    values = sorted(values)
    if not values:
        return float("nan")
    k = (len(values) - 1) * q
    lo, hi = int(k), min(int(k) + 1, len(values) - 1)
    return values[lo] + (values[hi] - values[lo]) * (k - lo)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", action="append", required=True,
                    help="zorbek-cli to measure, as PATH or NAME=PATH; repeatable")
    ap.add_argument("--out", default=None, help="keep the converted files here")
    ap.add_argument("--no-roundtrip", action="store_true")
    args = ap.parse_args()
    if not shutil.which("soffice"):
        sys.exit("soffice not found: install libreoffice-writer-nogui")
    clis = []
    for c in args.cli:
        name, _, path = c.rpartition("=")
        clis.append((name or "now", os.path.abspath(path)))
    work = args.out or tempfile.mkdtemp(prefix="rtf-corpus-")
    files = corpus()
    print(f"{len(files)} files; work directory {work}")
    # LibreOffice names its output after the input's base name: copy each file under a
    # unique name first.
    src = os.path.join(work, "src")
    os.makedirs(src, exist_ok=True)
    names = {}
    for i, f in enumerate(files):
        n = os.path.join(src, f"{i:04d}.rtf")
        shutil.copyfile(f, n)
        names[n] = os.path.relpath(f, ROOT)
    inputs = sorted(names)
    reference = soffice(inputs, "txt:Text (encoded):UTF8", os.path.join(work, "lo-txt"))
    lo_html = {} if args.no_roundtrip else soffice(inputs, "html", os.path.join(work, "lo-html"))
    print(f"LibreOffice read {len(reference)} of {len(inputs)}")

    for name, cli in clis:
        out = os.path.join(work, name)
        os.makedirs(out, exist_ok=True)
        engine, search, failures = {}, {}, []
        written = []
        for f in inputs:
            if f not in reference:
                continue
            ref = read(reference[f])
            base = os.path.join(out, os.path.basename(f)[:-4])
            rc, _ = run_cli(cli, ["convert", f, base + ".txt"])
            if rc == 0 and os.path.exists(base + ".txt"):
                engine[f] = similarity(read(base + ".txt"), ref)
            else:
                failures.append((names[f], "convert", rc))
                engine[f] = 0.0
            rc, text = run_cli(cli, ["text", f])
            if rc == 0:
                search[f] = similarity(text.decode("utf-8", "replace"), ref)
            else:
                failures.append((names[f], "text", rc))
                search[f] = 0.0
            if not args.no_roundtrip:
                rc, _ = run_cli(cli, ["convert", f, base + ".esr"])
                if rc == 0:
                    shutil.copyfile(base + ".esr", base + ".rtf")
                    written.append((f, base + ".rtf"))
        print(f"\n== {name}: {cli}")
        for label, scores in (("engine (convert)", engine), ("search text (text)", search)):
            v = list(scores.values())
            low = sorted((s, names[f]) for f, s in scores.items() if s < 0.95)
            print(f"{label}: median {statistics.median(v):.3f}  p10 {percentile(v, 0.10):.3f}  "
                  f"under 0.95: {len(low)} of {len(v)}")
            for s, n in low:
                print(f"    {s:.3f}  {n}")
        for n, what, rc in failures:
            print(f"  failure: {n} {what} -> {rc}")
        if args.no_roundtrip:
            continue
        back = soffice([w for _, w in written], "html", os.path.join(out, "lo-html"))
        keys = ["text", "bold", "italic", "underline", "colours", "sizes", "rows", "cells",
                "pictures"]
        have = {k: 0 for k in keys}
        kept = {k: 0 for k in keys}
        lost = {k: [] for k in keys}
        for f, w in written:
            if f not in lo_html or w not in back:
                continue
            a, b = formats(lo_html[f]), formats(back[w])
            checks = {
                "text": (True, similarity(" ".join(a.text), " ".join(b.text)) >= 0.95),
                "bold": (a.bold > 0, abs(a.bold - b.bold) <= max(2, a.bold // 20)),
                "italic": (a.italic > 0, abs(a.italic - b.italic) <= max(2, a.italic // 20)),
                "underline": (a.underline > 0,
                              abs(a.underline - b.underline) <= max(2, a.underline // 20)),
                "colours": (bool(a.colours), a.colours <= b.colours),
                "sizes": (bool(a.sizes), a.sizes <= b.sizes),
                "rows": (a.rows > 0, a.rows == b.rows),
                "cells": (a.cells > 0, a.cells == b.cells),
                "pictures": (a.pictures > 0, a.pictures == b.pictures),
            }
            for k, (applies, ok) in checks.items():
                if not applies:
                    continue
                have[k] += 1
                if ok:
                    kept[k] += 1
                else:
                    lost[k].append(names[f])
        print("round trip (read, write, read by LibreOffice), files keeping / files having:")
        for k in keys:
            print(f"  {k:10s} {kept[k]:4d} / {have[k]:<4d}" +
                  (f"   lost in: {', '.join(lost[k][:8])}" + (" ..." if len(lost[k]) > 8 else "")
                   if lost[k] else ""))


if __name__ == "__main__":
    main()
