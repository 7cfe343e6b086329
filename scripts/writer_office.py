"""The office for the Writer extension's scripts: a private user profile
with the extension installed, one office process listening on a loopback
port, documents loaded into it, and what the extension's trace says Writer
had the recognizer do.

Used by scripts/writer-scan.sh, tests/writer_test.py,
scripts/writer-screenshot.sh and scripts/writer_bench.py. Run by
/usr/bin/python3 (python3-uno)."""
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.append("/usr/lib/libreoffice/program")
import uno  # noqa: E402
import unohelper  # noqa: E402
from com.sun.star.beans import PropertyValue  # noqa: E402
from com.sun.star.frame import XStatusListener  # noqa: E402
from com.sun.star.util import URL  # noqa: E402

SOFFICE = "/usr/lib/libreoffice/program/soffice"
UNOPKG = "/usr/lib/libreoffice/program/unopkg"
# The office refuses per-user extension installs as root; it then runs as
# this unprivileged user on a profile that user owns.
NOBODY = 65534


# Run as its own process: sleeps, then ends the office's process group and
# removes the profile.
WATCHDOG = """
import os, shutil, signal, sys, time
time.sleep(float(sys.argv[1]))
try:
    os.killpg(int(sys.argv[2]), signal.SIGKILL)
except ProcessLookupError:
    pass
shutil.rmtree(sys.argv[3], ignore_errors=True)
"""


class OfficeError(Exception):
    pass


def prop(name, value):
    p = PropertyValue()
    p.Name, p.Value = name, value
    return p


def unescape(field):
    out, i = [], 0
    while i < len(field):
        c = field[i]
        if c == "\\" and i + 1 < len(field):
            out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}.get(field[i + 1], field[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def read_trace(path):
    """The recognize calls in the trace, in call order: dicts with app,
    locale, mode, start and length (the run Writer asked for), controller,
    paragraph (the id the trace gives the paragraph), first (whether the
    call is the first for it, the one that carries its text), text (the
    whole paragraph, from that first call; None while it is not in the
    trace) and tags (lists of [START, LENGTH, PRODUCTID, TEXT], START
    1-based in the paragraph, as `varnoke scan` prints them), and the
    invoke lines."""
    calls, invokes, texts = [], [], {}
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            # The last piece is a line still being written, or nothing.
            lines = f.read().split("\n")[:-1]
    except FileNotFoundError:
        return calls, invokes
    for line in lines:
        fields = line.split("\t")
        if fields[0] == "recognize" and len(fields) in (8, 9):
            calls.append(dict(app=unescape(fields[1]), locale=fields[2], mode=int(fields[3]),
                              start=int(fields[4]), length=int(fields[5]), controller=fields[6] == "controller",
                              paragraph=fields[7], first=len(fields) == 9, tags=[], ended=False))
            if len(fields) == 9:
                texts[fields[7]] = unescape(fields[8])
        elif fields[0] == "tag" and len(fields) == 5 and calls:
            calls[-1]["tags"].append([int(fields[1]), int(fields[2]), unescape(fields[3]), unescape(fields[4])])
        elif fields[0] == "end" and calls:
            calls[-1]["ended"] = True
        elif fields[0] == "invoke" and len(fields) == 5:
            invokes.append(dict(verb=int(fields[1]), effect=fields[2], url=unescape(fields[3])))
    # Threads may trace a paragraph's later calls before its first one.
    for c in calls:
        c["text"] = texts.get(c["paragraph"])
    return calls, invokes


def paragraph_objects(text):
    """The paragraphs of a text in document order, those in tables too."""
    e = text.createEnumeration()
    while e.hasMoreElements():
        p = e.nextElement()
        if p.supportsService("com.sun.star.text.TextTable"):
            for name in p.getCellNames():
                yield from paragraph_objects(p.getCellByName(name))
        elif p.supportsService("com.sun.star.text.Paragraph"):
            yield p


def text_parts(doc):
    """Every text of a document Writer runs recognition over, in the order
    writer-scan reports them: the body (its tables in place), the headers
    and then the footers of the page styles in use (right or shared, left,
    first page), the footnotes, the endnotes and the text frames. Drawing
    shapes are left out: Writer does not recognize in them."""
    yield doc.getText()
    styles = doc.getStyleFamilies().getByName("PageStyles")
    used = [styles.getByName(n) for n in styles.getElementNames()]
    used = [s for s in used if s.isInUse()]
    for kind in ("Header", "Footer"):
        for style in used:
            if not style.getPropertyValue(kind + "IsOn"):
                continue
            yield style.getPropertyValue(kind + "Text")
            if not style.getPropertyValue(kind + "IsShared"):
                yield style.getPropertyValue(kind + "TextLeft")
            if not style.getPropertyValue("FirstIsShared"):
                yield style.getPropertyValue(kind + "TextFirst")
    for notes in (doc.getFootnotes(), doc.getEndnotes()):
        for i in range(notes.getCount()):
            yield notes.getByIndex(i)
    frames = doc.getTextFrames()
    for name in frames.getElementNames():
        yield frames.getByName(name)


def document_paragraphs(doc):
    """The paragraphs of every part of the document (text_parts), in order."""
    for part in text_parts(doc):
        if part is not None:
            yield from paragraph_objects(part.getText())


def recognized_text(paragraph):
    """A paragraph's text as Writer hands it to the recognizer: its string,
    but a footnote's or an endnote's anchor is one zero-width space there
    where getString() gives its citation."""
    out = []
    portions = paragraph.createEnumeration()
    while portions.hasMoreElements():
        portion = portions.nextElement()
        out.append("\u200b" if portion.getPropertyValue("TextPortionType") == "Footnote" else portion.getString())
    return "".join(out)


class _State(unohelper.Base, XStatusListener):
    def __init__(self):
        self.event = None

    def statusChanged(self, event):
        self.event = event

    def disposing(self, source):
        pass


class Office:
    """A private profile in a temporary folder, always removed; every
    office process is started with a time limit and killed on the way out."""

    def __init__(self, extensions, visible=False, env=None, home_files=None, timeout=90, lifetime=240):
        """`env` is added to the office's environment; `home_files` too,
        each value a file name made a path in the profile's folder. Each
        office step has `timeout` seconds; after `lifetime` seconds a
        watchdog kills the office and removes the profile, even when this
        process was killed or hangs in a call into the office."""
        self.extensions = list(extensions)
        self.visible = visible
        self.env = dict(env or {})
        self.home_files = dict(home_files or {})
        self.timeout = timeout
        self.lifetime = lifetime
        self.process = None
        self.watchdog = None
        self.tmp = None

    # --- set-up -------------------------------------------------------
    def __enter__(self):
        try:
            self._setup()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def _prefix(self):
        if os.geteuid() != 0:
            return []
        return ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", "--"]

    def _own(self, path):
        if os.geteuid() == 0:
            os.chown(path, NOBODY, NOBODY)

    def path(self, name):
        return os.path.join(self.home, name)

    def _environment(self):
        env = {k: v for k, v in os.environ.items() if k in ("PATH", "LANG", "LC_ALL", "DISPLAY", "XAUTHORITY", "TZ")}
        env.update(HOME=self.home, TMPDIR=self.home, XDG_CONFIG_HOME=self.path(".config"),
                   XDG_CACHE_HOME=self.path(".cache"), XDG_RUNTIME_DIR=self.home)
        if not self.visible:
            env["SAL_USE_VCLPLUGIN"] = "svp"
        else:
            env["SAL_USE_VCLPLUGIN"] = "gen"
        # Every office process of the profile traces into one file.
        env["VARNOKE_WRITER_TRACE"] = self.trace
        env.update(self.env)
        env.update({k: self.path(v) for k, v in self.home_files.items()})
        return env

    def _run(self, args, what):
        try:
            r = subprocess.run(self._prefix() + args, env=self._environment(), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=self.timeout,
                               start_new_session=True)
        except subprocess.TimeoutExpired:
            raise OfficeError(f"{what} did not finish within {self.timeout} s")
        if r.returncode != 0:
            raise OfficeError(f"{what} failed ({r.returncode}): {r.stdout.decode(errors='replace').strip()}")
        return r.stdout.decode(errors="replace")

    def _setup(self):
        # Under /tmp when root: the unprivileged user must reach it.
        self.tmp = tempfile.mkdtemp(prefix="varnoke-writer-", dir="/tmp" if os.geteuid() == 0 else None)
        os.chmod(self.tmp, 0o755)
        self.home = os.path.join(self.tmp, "home")
        os.mkdir(self.home, 0o755)
        self.trace = self.path("trace.txt")
        self._own(self.home)
        self.profile_url = uno.systemPathToFileUrl(self.path("profile"))
        env_arg = f"-env:UserInstallation={self.profile_url}"
        # A first start creates the profile: a profile only unopkg has
        # touched loses the extension's registration on the next start.
        self._run([SOFFICE, "--headless", "--norestore", "--nologo", "--terminate_after_init", env_arg],
                  "the office's first start")
        for oxt in self.extensions:
            copy = self.path(os.path.basename(oxt))
            shutil.copyfile(oxt, copy)
            os.chmod(copy, 0o644)
            self._run([UNOPKG, "add", "--suppress-license", copy, env_arg], f"unopkg add {os.path.basename(oxt)}")
        self.listed = self._run([UNOPKG, "list", env_arg], "unopkg list")
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        accept = f"--accept=socket,host=127.0.0.1,port={port};urp;StarOffice.ComponentContext"
        args = [SOFFICE, "--norestore", "--nologo", "--nodefault", "--nolockcheck", accept, env_arg]
        if not self.visible:
            args.insert(1, "--headless")
        self.process = subprocess.Popen(self._prefix() + args, env=self._environment(), stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self.watchdog = subprocess.Popen(
            [sys.executable, "-c", WATCHDOG, str(self.lifetime), str(self.process.pid), self.tmp],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.monotonic() + self.timeout
        while True:
            try:
                self.context = resolver.resolve(
                    f"uno:socket,host=127.0.0.1,port={port};urp;StarOffice.ComponentContext")
                break
            except Exception:
                if self.process.poll() is not None:
                    raise OfficeError(f"the office exited ({self.process.returncode}) before it accepted a connection")
                if time.monotonic() > deadline:
                    raise OfficeError(f"the office did not accept a connection within {self.timeout} s")
                time.sleep(0.2)
        self.smgr = self.context.ServiceManager
        self.desktop = self.create("com.sun.star.frame.Desktop")
        self.switch_smart_tags_on()

    def create(self, service, *args):
        if args:
            return self.smgr.createInstanceWithArgumentsAndContext(service, args, self.context)
        return self.smgr.createInstanceWithContext(service, self.context)

    def switch_smart_tags_on(self):
        provider = self.create("com.sun.star.configuration.ConfigurationProvider")
        node = provider.createInstanceWithArguments(
            "com.sun.star.configuration.ConfigurationUpdateAccess",
            (prop("nodepath", "/org.openoffice.Office.Common/SmartTags/Writer"),))
        node.setPropertyValue("RecognizeSmartTags", True)
        node.commitChanges()

    # --- documents ----------------------------------------------------
    def load(self, path):
        """Loads a copy of the file (a stale lock file beside the original
        would make the load return nothing)."""
        name = os.path.basename(path)
        copy = os.path.join(self.path("docs"), name)
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        self._own(os.path.dirname(copy))
        shutil.copyfile(path, copy)
        os.chmod(copy, 0o644)
        args = [prop("Hidden", not self.visible), prop("ReadOnly", True)]
        if name.lower().endswith(".txt"):
            args += [prop("FilterName", "Text (encoded)"), prop("FilterOptions", "UTF8,LF,,,")]
        doc = self.desktop.loadComponentFromURL(uno.systemPathToFileUrl(copy), "_blank", 0, tuple(args))
        if doc is None or not hasattr(doc, "getText"):
            raise OfficeError(f"Writer did not open {path} as a text document")
        return doc

    def wait_for_recognition(self, doc, seconds=30, texts=None, poll=0.1):
        """Waits until finished recognize calls in the trace cover every
        character of every paragraph that has text; returns the
        paragraphs' texts in document order and the calls. Raises when
        time runs out. `texts`, when given, are the paragraphs' texts
        already known, so that the office is not asked for them."""
        if texts is None:
            texts = [recognized_text(p) for p in document_paragraphs(doc)]
        wanted = {t for t in texts if t}
        deadline = time.monotonic() + seconds
        while True:
            calls, _ = read_trace(self.trace)
            runs = latest_runs(calls)
            missing = {t for t in wanted if not covers(t, runs.get(t, {}))}
            if not missing:
                return texts, calls
            if time.monotonic() > deadline:
                first = next(i for i, t in enumerate(texts) if t in missing)
                raise OfficeError(f"Writer did not run recognition over {len(missing)} paragraph(s) within "
                                  f"{seconds} s (the first is paragraph {first + 1})")
            time.sleep(poll)

    def smart_tag_state(self, doc, paragraph, offset):
        """What `.uno:OpenSmartTagMenuOnCursor` reports with the view cursor
        at `offset` in the paragraph: a dict of its state, or None when the
        command is disabled there (no smart tag)."""
        para = list(paragraph_objects(doc.getText()))[paragraph]
        cursor = para.getText().createTextCursorByRange(para.getStart())
        cursor.goRight(offset, False)
        controller = doc.getCurrentController()
        controller.getViewCursor().gotoRange(cursor, False)
        url = URL()
        url.Complete = ".uno:OpenSmartTagMenuOnCursor"
        _, url = self.create("com.sun.star.util.URLTransformer").parseStrict(url)
        dispatch = controller.getFrame().queryDispatch(url, "", 0)
        if dispatch is None:
            return None
        listener = _State()
        dispatch.addStatusListener(listener, url)
        dispatch.removeStatusListener(listener, url)
        event = listener.event
        if event is None or not event.IsEnabled:
            return None
        state = event.State
        state = getattr(state, "value", state)
        return {p.Name: p.Value for p in state}

    # --- the way out --------------------------------------------------
    def unopkg(self, *args):
        """unopkg on the profile (with the office stopped): its output."""
        return self._run([UNOPKG, *args, f"-env:UserInstallation={self.profile_url}"], f"unopkg {args[0]}")

    def stop(self):
        """Ends the office: asked first, killed when it does not go."""
        if self.process is None:
            return
        try:
            if self.process.poll() is None:
                try:
                    self.desktop.terminate()
                except Exception:
                    pass
                try:
                    self.process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    pass
        finally:
            # The launcher's child may outlive it in the same session.
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.process.wait()
            self.process = None

    def __exit__(self, *exc):
        try:
            self.stop()
        finally:
            if self.watchdog is not None:
                # Its sleep too: the whole session it was started in.
                os.killpg(self.watchdog.pid, signal.SIGKILL)
                self.watchdog.wait()
            if self.tmp:
                shutil.rmtree(self.tmp, ignore_errors=True)
        return False


def latest_runs(calls):
    """Per paragraph text, the last finished call for each run start."""
    runs = {}
    for c in calls:
        if c["ended"] and c["text"] is not None:
            runs.setdefault(c["text"], {})[c["start"]] = c
    return runs


def covers(text, runs):
    """True when the runs called over `text` cover all of it."""
    end = 0
    for start in sorted(runs):
        if start > end:
            return False
        end = max(end, start + runs[start]["length"])
    return end >= len(text)


def paragraph_tags(runs):
    """The tags committed over one paragraph's runs, by position (commit
    order among equal starts)."""
    tags = [tag for start in sorted(runs) for tag in runs[start]["tags"]]
    return sorted(tags, key=lambda tag: tag[0])


def document_tags(texts, calls):
    """(paragraph index, [START, LENGTH, PRODUCTID, TEXT]) for every tag, in
    document order."""
    runs = latest_runs(calls)
    return [(i, tag) for i, t in enumerate(texts) if t for tag in paragraph_tags(runs.get(t, {}))]


def scan(path, oxt, seconds=30):
    """writer-scan.sh: the tags Writer had the recognizer commit in FILE;
    with OXT "bundled", through the extension the office bundles."""
    if not os.path.isfile(path):
        print(f"writer-scan: {path}: no such file", file=sys.stderr)
        return 2
    try:
        with Office([] if oxt == "bundled" else [oxt]) as office:
            doc = office.load(path)
            texts, calls = office.wait_for_recognition(doc, seconds)
            if any(t for t in texts) and not any(c["app"] == "Writer" for c in calls):
                raise OfficeError("Writer never called the recognizer")
            for _, (start, length, pid, text) in document_tags(texts, calls):
                print(f"{pid}\t{text}")
            doc.close(True)
    except OfficeError as e:
        print(f"writer-scan: {e}", file=sys.stderr)
        return 1
    return 0


def screenshot(path, oxt, out, geometry):
    """writer-screenshot.sh: the office with a window on the display DISPLAY
    names, FILE open in it, photographed once its tags are underlined."""
    try:
        with Office([oxt], visible=True) as office:
            doc = office.load(path)
            office.wait_for_recognition(doc, 60)
            settings = doc.getCurrentController().getViewSettings()
            settings.setPropertyValue("ZoomType", 3)  # by value
            settings.setPropertyValue("ZoomValue", 160)
            # The underlines are painted after recognition, on the next idle.
            time.sleep(3)
            r = subprocess.run(["import", "-window", "root", "-crop", geometry, "+repage", out],
                               capture_output=True, text=True, timeout=60)
            if r.returncode != 0:
                raise OfficeError(f"import failed: {r.stderr.strip()}")
    except OfficeError as e:
        print(f"writer-screenshot: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "scan":
        sys.exit(scan(sys.argv[2], sys.argv[3]))
    if len(sys.argv) == 6 and sys.argv[1] == "screenshot":
        sys.exit(screenshot(*sys.argv[2:]))
    print("usage: writer_office.py scan FILE OXT | screenshot FILE OXT OUT.png GEOMETRY", file=sys.stderr)
    sys.exit(2)
