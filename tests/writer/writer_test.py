"""The extension in the real application: Writer loads a document with
stock names in three scripts from a private profile where unopkg installed
Varnoke.oxt (and, standing in for the office's system shell execute
service, tests/writer/shell_recorder.py). Checked: Writer itself called the
recognizer over every paragraph, the tags it committed are those `varnoke
scan` finds in the same paragraphs, Writer kept them (read back through
`.uno:OpenSmartTagMenuOnCursor`), the action component's verbs and
captions per locale are those of `varnoke verbs`, and a verb invoked
through the office's API hands `varnoke invoke`'s address to the office's
shell service; a ProductID that is no web address reaches nothing.
  writer_test.py VARNOKE OXT SOURCE-ROOT"""
import os
import subprocess
import sys
import tempfile
import zipfile

root = sys.argv[3]
sys.path.insert(0, os.path.join(root, "scripts"))
import writer_office as w  # noqa: E402
from com.sun.star.container import XStringKeyMap  # noqa: E402
from com.sun.star.text import XTextMarkup  # noqa: E402

tool, oxt = sys.argv[1], sys.argv[2]
here = os.path.join(root, "tests", "writer")
document = os.path.join(here, "three_scripts.txt")
TYPE = "urn:schemas-varnoke:smarttags#varnoke"
failures = []


def check(name, expected, actual):
    if expected != actual:
        failures.append(name)
        print(f"FAIL: {name}\n  expected: {expected!r}\n  actual:   {actual!r}")


def run(*args, stdin=None):
    return subprocess.run([tool, *args], input=stdin, capture_output=True, text=True, check=True).stdout


def scan(text):
    """`varnoke scan` over one paragraph, by position as Writer's order is."""
    rows = [line.split("\t") for line in run("scan", stdin=text).splitlines()]
    return sorted(([int(s), int(n), pid, t] for s, n, pid, t in rows), key=lambda tag: tag[0])


def recorder_package(folder):
    """The shell recorder as an extension of its own."""
    path = os.path.join(folder, "shell_recorder.oxt")
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("META-INF/manifest.xml", '<?xml version="1.0" encoding="UTF-8"?>\n'
                   '<manifest:manifest xmlns:manifest="http://openoffice.org/2001/manifest">'
                   '<manifest:file-entry manifest:full-path="recorder.components" '
                   'manifest:media-type="application/vnd.sun.star.uno-components"/></manifest:manifest>\n')
        z.writestr("description.xml", '<?xml version="1.0" encoding="UTF-8"?>\n'
                   '<description xmlns="http://openoffice.org/extensions/description/2006">'
                   '<identifier value="varnoke.test.shellrecorder"/><version value="1"/></description>\n')
        z.writestr("recorder.components", '<?xml version="1.0" encoding="UTF-8"?>\n'
                   '<components xmlns="http://openoffice.org/2010/uno-components">'
                   '<component loader="com.sun.star.loader.Python" uri="shell_recorder.py">'
                   '<implementation name="varnoke.test.ShellRecorder">'
                   '<service name="com.sun.star.system.SystemShellExecute"/></implementation>'
                   '</component></components>\n')
        z.write(os.path.join(here, "shell_recorder.py"), "shell_recorder.py")
    return path


def locale(language, country):
    loc = w.uno.createUnoStruct("com.sun.star.lang.Locale")
    loc.Language, loc.Country = language, country
    return loc


class KeyMap(w.unohelper.Base, XStringKeyMap):
    """Properties as a document could carry them."""

    def __init__(self, **values):
        self.values = values

    def getValue(self, key):
        return self.values[key]

    def hasValue(self, key):
        return key in self.values

    def insertValue(self, key, value):
        self.values[key] = value

    def getCount(self):
        return len(self.values)

    def getKeyByIndex(self, i):
        return list(self.values)[i]

    def getValueByIndex(self, i):
        return list(self.values.values())[i]


class Markup(w.unohelper.Base, XTextMarkup):
    """A paragraph's markup object that records what is committed."""

    def __init__(self):
        self.committed = []

    def getMarkupInfoContainer(self):
        return KeyMap()

    def commitStringMarkup(self, kind, name, start, length, container):
        self.committed.append((start, length, container.getValue("ProductID")))

    def commitTextRangeMarkup(self, kind, name, range_, container):
        self.committed.append(("range", name))


def read_lines(path):
    return open(path, encoding="utf-8").read().splitlines() if os.path.exists(path) else []


with tempfile.TemporaryDirectory() as scratch, \
        w.Office([oxt, recorder_package(scratch)], home_files={"VARNOKE_SHELL_RECORD": "shell.txt"}) as office:
    doc = office.load(document)
    texts, calls = office.wait_for_recognition(doc)
    runs = w.latest_runs(calls)

    # Writer called, with its own name and a controller, over every
    # paragraph; the tags of a paragraph's runs are the tool's.
    check("callers", {("Writer", True)}, {(c["app"], c["controller"]) for c in calls})
    check("paragraphs with text", 4, len([t for t in texts if t]))
    for i, text in enumerate(texts):
        if text:
            check(f"tags of paragraph {i + 1}", scan(text), w.paragraph_tags(runs[text]))
    check("one paragraph in several runs", True, any(len(runs[t]) > 1 for t in texts if t))
    found = {tag[3]: tag[2] for _, tag in w.document_tags(texts, calls)}
    # Latin, Traditional, Simplified, a code and a name across two scripts.
    for name, pid in [("QIRVEN", "2365"), ("暻達半導體", "2303"), ("东骅实业", "1733"), ("2303", "2303"),
                      ("琉晟KY", "1476")]:
        check(f"tag {name}", pid, found.get(name))

    # Writer kept them: the smart-tag menu's state at each tag.
    action = None
    for i, tag in w.document_tags(texts, calls):
        state = office.smart_tag_state(doc, i, tag[0] - 1 + tag[1] - 1)
        if state is None:
            check(f"smart tag kept at {tag[3]}", "a smart tag", None)
            continue
        maps = state["StringKeyMaps"]
        ids = {m.getValue("ProductID") for m in maps if m.hasValue("ProductID")}
        check(f"ProductID kept at {tag[3]}", True, tag[2] in ids)
        action = state["ActionComponents"][0][0]
        check("action implementation", "varnoke.writer.StockActions", action.getImplementationName())
        if tag[3] == "暻達半導體":
            kept = state
    check("no smart tag on plain text", None, office.smart_tag_state(doc, 4, 3))

    # The run a call is given: only tags that start in it are committed,
    # whatever start and length arrive. The calls for a paragraph reuse its
    # matches; one of the same length with other text gets its own; one with
    # more matches than the recognizer keeps is scanned again by each call.
    recognizer = office.create("com.sun.star.smarttags.SmartTagRecognizer")
    paragraph, other, many = "暻達半導體(2303)", "暻達半導體(2302)", "2303" * 70000
    labels = {paragraph: paragraph, other: other, many: "2303 x 70000"}
    rows = [(paragraph, 0, 11, [(0, 2, "2302"), (0, 5, "2303"), (6, 4, "2303")]),
            (paragraph, 0, 5, [(0, 2, "2302"), (0, 5, "2303")]), (paragraph, 5, 6, [(6, 4, "2303")]),
            (paragraph, 1, 10, [(6, 4, "2303")]),
            (paragraph, -5, 1000, [(0, 2, "2302"), (0, 5, "2303"), (6, 4, "2303")]),
            (paragraph, 20, 5, []), (paragraph, 0, -1, []), (paragraph, 7, 0, []),
            (other, 0, 11, [(0, 2, "2302"), (6, 4, "2302"), (0, 5, "2303")]), (paragraph, 5, 6, [(6, 4, "2303")]),
            (other, 5, 6, [(6, 4, "2302")]), (other, 0, 5, [(0, 2, "2302"), (0, 5, "2303")]),
            (many, 0, 8, [(0, 4, "2303"), (4, 4, "2303")]),
            (many, 279990, 10, [(279992, 4, "2303"), (279996, 4, "2303")]), (many, 3, 1, [])]
    for text, start, length, expected in rows:
        markup = Markup()
        recognizer.recognize(text, start, length,
                             w.uno.Enum("com.sun.star.smarttags.SmartTagRecognizerMode", "PARAGRAPH"),
                             locale("zh", "TW"), markup, "Writer", None, None)
        check(f"run {labels[text]} {start},{length}", expected, markup.committed)
    # The trace carries each paragraph's text once, with its first call.
    direct = [c for c in w.read_trace(office.trace)[0] if not c["controller"]]
    check("paragraph text traced with the first call only",
          [(labels[text], text not in [r[0] for r in rows[:i]]) for i, (text, *_) in enumerate(rows)],
          [(labels.get(c["text"], c["text"]), c["first"]) for c in direct])

    # The verbs and their captions per locale, as the tool gives them.
    controller = kept["Controller"]
    count = action.getActionCount(TYPE, controller, kept["StringKeyMaps"][0])
    verbs = [action.getActionID(TYPE, i, controller) for i in range(count)]
    for (language, country), lcid in [(("en", "US"), "1033"), (("zh", "TW"), "1028"), (("zh", "CN"), "2052")]:
        loc = locale(language, country)
        got = "".join(f"{v}\t{action.getActionCaptionFromID(v, 'Writer', loc, None, '', '', controller, None)}\t"
                      f"{action.getActionNameFromID(v, controller)}\n" for v in verbs)
        check(f"verbs {language}-{country}", run("verbs", "--locale", lcid, "--app", "Writer"), got)
        check(f"recognizer name {language}-{country}", run("info", "--locale", lcid).splitlines()[1],
              recognizer.getName(loc))
    try:
        action.invokeAction(4, "Writer", controller, None, kept["StringKeyMaps"][0], "", "", locale("en", "US"))
        check("the spreadsheet's verb refused", "IllegalArgumentException", "invoked")
    except Exception as e:
        check("the spreadsheet's verb refused", "com.sun.star.lang.IllegalArgumentException", type(e).__name__)

    # Verb 0 on Writer's own tag: the office's shell service gets the address.
    bag = next(m for m in kept["StringKeyMaps"] if m.getValue("ProductID") == "2303")
    action.invokeAction(0, "Writer", controller, kept["TextRange"], bag, kept["RangeText"], "", locale("en", "US"))
    expected = run("invoke", "0", "2303", "--dry-run").strip()
    # URIS_ONLY (2): the service refuses anything but an absolute address.
    check("address handed to the shell service", [f"{expected}\t\t2"], read_lines(office.path("shell.txt")))
    # A ProductID no document should carry: the guard stops it.
    hostile = KeyMap(ProductID='1" --new-window file:///etc/passwd')
    action.invokeAction(0, "Writer", controller, None, hostile, "", "", locale("en", "US"))
    check("hostile ProductID opens nothing", 1, len(read_lines(office.path("shell.txt"))))
    _, invokes = w.read_trace(office.trace)
    check("invocations traced", ["opened", "refused"], [i["effect"] for i in invokes])
    doc.close(True)
    office.stop()
    office.unopkg("remove", "varnoke.writer")
    check("removed with unopkg", ["varnoke.test.shellrecorder"],
          [line.split()[1] for line in office.unopkg("list").splitlines() if line.startswith("Identifier:")])

# The command a user runs prints the same tags, in document order; a file
# that is not there is a message and status 2.
expected = "".join(f"{pid}\t{t}\n" for line in open(document, encoding="utf-8").read().split("\n") if line
                   for _, _, pid, t in scan(line))
missing = os.path.join(here, "no-such-document.odt")
# Every part Writer recognizes in, in the order writer-scan reports them:
# body, table, header, footer, footnote, endnote, frame.
every_part = "".join(f"{pid}\t{t}\n" for pid, t in [("2365", "QIRVEN"), ("2303", "2303"), ("1101", "峻磐水泥"),
                                                     ("3019", "ZALTRA"), ("1476", "琉晟KY"), ("1733", "东骅实业"),
                                                     ("2351", "鑫汇科技")])
for path, status, stdout, stderr in [(document, 0, expected, ""),
                                     (os.path.join(here, "every_part.fodt"), 0, every_part, ""),
                                     (missing, 2, "", f"writer-scan: {missing}: no such file\n")]:
    out = subprocess.run([os.path.join(root, "scripts", "writer-scan.sh"), path], capture_output=True, text=True,
                         env=dict(os.environ, VARNOKE_OXT=oxt), timeout=320)
    check(f"writer-scan.sh {os.path.basename(path)}", (status, stdout, stderr),
          (out.returncode, out.stdout, out.stderr))

print(f"writer test: {len(failures)} failure(s)")
sys.exit(1 if failures else 0)
