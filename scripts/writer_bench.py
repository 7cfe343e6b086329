"""What the extension costs Writer: the office process's CPU time to load a
document and run recognition over all of it, with the extension installed
and without it, for two generated documents:

  paragraph  one paragraph of about 50,000 characters holding about 5,000
             stock names, Latin and Chinese by turns with text of the
             other script between them, which Writer hands over in about
             5,000 runs;
  pages      about 300 pages of ordinary paragraphs, a few names in each.

Each figure is the median of RUNS office starts (a fresh profile each),
the user and system time of soffice.bin from the load until the office is
idle again (and, with the extension, until the trace shows recognize calls
over every paragraph). Prints the figures and their ratios; a measurement,
not a test: it passes or fails nothing.
  writer_bench.py OXT DATA-FOLDER [TOOL] [--runs N] [--only paragraph|pages] [--tags N]
TOOL (build/bin/varnoke) counts the tags each document should get."""
import argparse
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import writer_office as w  # noqa: E402

TICK = os.sysconf("SC_CLK_TCK")
WORDS = ("the market report said shares of several companies rose while others fell after the quarterly results "
         "were published analysts expect demand to grow next year as exports recover and costs stay low in most "
         "sectors investors watched the currency bond yields and the central bank which kept its rate unchanged "
         "trading volume was higher than last week").split()


def stock_names(data):
    """The list's names: Latin ones, and Chinese ones that hold no other
    name (each occurrence is one tag)."""
    names = [e.findtext("StockName") or "" for e in ET.parse(os.path.join(data, "varnokeL.xml")).iter(
        "KestriaStockList")]
    names = [n for n in names if n]
    latin = [n for n in names if n.isascii() and n.isalpha()]
    chinese = [n for n in names if all("\u4e00" <= c <= "\u9fff" for c in n)
               and not any(o != n and o in n for o in names)]
    return latin, chinese


def paragraph_document(latin, chinese, tags=5000):
    """Names of the two scripts by turns, each followed by text of its own
    script: every name opens a run of another script."""
    parts = []
    for i in range(tags):
        if i % 2 == 0:
            parts.append(f"{latin[i // 2 % len(latin)]} rose, ")
        else:
            parts.append(f"{chinese[i // 2 % len(chinese)]}股價上揚")
    return ["".join(parts)]


def pages_document(latin, chinese, paragraphs=2100):
    """Ordinary paragraphs of 60 to 110 words; most hold a Latin name, some
    a Chinese one too."""
    rng = random.Random(1)
    lines = []
    for i in range(paragraphs):
        words = [rng.choice(WORDS) for _ in range(rng.randint(60, 110))]
        words[0] = words[0].capitalize()
        if i % 3 != 2:
            words.insert(rng.randrange(len(words)), rng.choice(latin))
        if i % 4 == 0:
            words.insert(rng.randrange(len(words)), rng.choice(chinese))
        lines.append(" ".join(words) + ".")
    return lines


def flat_odf(lines):
    """A flat ODF text document of these paragraphs: unlike a text file's
    import, it keeps a long paragraph whole."""
    body = "".join(f"<text:p>{escape(line)}</text:p>\n" for line in lines)
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
            'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2" '
            'office:mimetype="application/vnd.oasis.opendocument.text">\n'
            f"<office:body><office:text>\n{body}</office:text></office:body></office:document>\n")


def office_process(office):
    """The pid of soffice.bin in the office's session."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        comm = stat[stat.index("(") + 1:stat.rindex(")")]
        fields = stat[stat.rindex(")") + 2:].split()
        if comm == "soffice.bin" and int(fields[3]) == office.process.pid:
            return int(entry)
    raise w.OfficeError("no soffice.bin in the office's session")


def cpu_seconds(pid):
    """User and system time of the process, all its threads, in seconds."""
    with open(f"/proc/{pid}/stat") as f:
        stat = f.read()
    fields = stat[stat.rindex(")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def wait_idle(pid, quiet=1.0, step=0.25, below=0.02, seconds=300):
    """Waits until the process has used less than `below` seconds of CPU
    over `quiet` seconds; returns its CPU time when that quiet began."""
    samples = [cpu_seconds(pid)]
    window = int(quiet / step)
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        time.sleep(step)
        samples.append(cpu_seconds(pid))
        if len(samples) > window and samples[-1] - samples[-1 - window] < below:
            return samples[-1 - window]
    raise w.OfficeError(f"the office did not go idle within {seconds} s")


def measure(path, lines, oxt):
    """One office start: CPU seconds and wall seconds to load the document
    and recognize it; with the extension also the recognize calls and tags
    the trace shows."""
    with w.Office([oxt] if oxt else [], timeout=300, lifetime=900) as office:
        pid = office_process(office)
        wait_idle(pid)
        before, start = cpu_seconds(pid), time.monotonic()
        doc = office.load(path)
        calls = []
        if oxt:
            _, calls = office.wait_for_recognition(doc, seconds=600, texts=lines, poll=0.5)
        after = wait_idle(pid)
        wall = time.monotonic() - start
        pages = doc.getCurrentController().getPropertyValue("PageCount")
        doc.close(True)
    tags = len(w.document_tags(lines, calls)) if oxt else None
    return after - before, wall, len(calls), tags, pages


def expected_tags(tool, data, path):
    if not tool:
        return None
    out = subprocess.run([tool, "scan", "--data", data, path], capture_output=True, text=True, check=True).stdout
    return len(out.splitlines())


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("oxt")
    parser.add_argument("data")
    parser.add_argument("tool", nargs="?")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--only", choices=("paragraph", "pages"))
    parser.add_argument("--tags", type=int, default=5000, help="names in the paragraph (default 5000)")
    args = parser.parse_args()
    latin, chinese = stock_names(args.data)
    documents = [("paragraph", paragraph_document(latin, chinese, args.tags)),
                 ("pages", pages_document(latin, chinese))]
    print(f"load average at the start: {' '.join(f'{x:.2f}' for x in os.getloadavg())} ({os.cpu_count()} CPUs)")
    results = []
    with tempfile.TemporaryDirectory() as folder:
        for name, lines in documents:
            if args.only and name != args.only:
                continue
            path = os.path.join(folder, f"{name}.fodt")
            with open(path, "w", encoding="utf-8") as f:
                f.write(flat_odf(lines))
            plain = os.path.join(folder, f"{name}.txt")
            with open(plain, "w", encoding="utf-8") as f:
                f.write("\n".join(lines) + "\n")
            chars = sum(len(line.encode("utf-16-le")) // 2 for line in lines)
            wanted = expected_tags(args.tool, args.data, plain)
            print(f"{name}: {len(lines)} paragraph(s), {chars} UTF-16 units, "
                  f"{wanted if wanted is not None else '?'} tags by varnoke scan")
            # By turns, so that both see the same load from whatever else runs.
            cpu = {"with": [], "without": []}
            for run in range(args.runs):
                for mode, oxt in (("with", args.oxt), ("without", None)):
                    seconds, wall, calls, tags, pages = measure(path, lines, oxt)
                    cpu[mode].append(seconds)
                    extra = f", {calls} recognize calls, {tags} tags" if oxt else ""
                    print(f"  run {run + 1} {mode:7}: {seconds:6.2f} s CPU, {wall:6.2f} s wall, {pages} pages"
                          f"{extra} (load {os.getloadavg()[0]:.2f})", flush=True)
                    if oxt and wanted is not None and tags != wanted:
                        print(f"  (the trace shows {tags} tags, varnoke scan {wanted})")
            results.append((name, statistics.median(cpu["with"]), statistics.median(cpu["without"])))
    print(f"load average at the end: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
    print(f"{'document':10} {'with (s)':>9} {'without (s)':>12} {'ratio':>6}   median of {args.runs}, "
          "soffice.bin user+sys")
    for name, with_, without in results:
        print(f"{name:10} {with_:9.2f} {without:12.2f} {with_ / without:6.2f}")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except w.OfficeError as e:
        print(f"writer-bench: {e}", file=sys.stderr)
        sys.exit(1)
