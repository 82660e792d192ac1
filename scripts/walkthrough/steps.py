"""Steps shared by the walkthroughs in this folder.

A walkthrough drives the real program the way a new user would: a copy of the built
program folder runs in a private X server with its own HOME (so its desktop folder is
HOME/Desktop), and the driver works its screens over the accessibility bus with the
harness of tests/e2e/entry_flow.py. This module adds what every walkthrough needs on top
of that harness: the desktop that outlives one run of the program (the program is
started, ends and is started again on the same folders), the start with a member
number, examinations typed on the entry screen, the tools screen and its tabs, window
screenshots cropped to the window, and reading the member database with sqlcipher.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# Debian's python3-pyatspi is there for the system's Python only (not imported here: it
# connects to the accessibility bus on import, before the private desktop is up).
if not any(os.path.isdir(os.path.join(p, "pyatspi")) for p in sys.path if p) and os.path.exists("/usr/bin/python3") \
        and os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3"):
    os.execv("/usr/bin/python3", ["/usr/bin/python3", os.path.abspath(sys.argv[0]), *sys.argv[1:]])

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
import entry_flow as e  # noqa: E402  (the private desktop and the control finders)

Failure = e.Failure
log = e.log
MAIN_TITLE = e.TITLE + " (ヴェルダ学会 専門医・認定医・認定歯科衛生士用)"
TOOLS_TITLE = "追加情報／ツール"
SCREENSHOTS = os.path.join(REPO, "docs", "screenshots")


def constant(header, name):
    """A string constant of a C++ header of the program (the database key, the archive
    password), so that the walkthrough uses what the program is built with."""
    text = open(os.path.join(REPO, header), encoding="utf-8").read()
    match = re.search(name + r'\s*=\s*"([^"]*)"', text)
    if not match:
        raise Failure(f"no {name} in {header}")
    return match.group(1)


DB_KEY = constant("src/platform/passwords.h", "kProgramPassword")


class Desktop:
    """The private desktop: X server, session and accessibility buses, HOME, and the
    program folder copied from the build."""

    def __init__(self, program_folder, work):
        self.work = work
        env = {k: v for k, v in os.environ.items() if not k.startswith(("DBUS_", "AT_SPI", "XDG_", "QT_", "KVR_"))}
        self.home = os.path.join(work, "home")
        for d in (self.home, os.path.join(work, "runtime"), os.path.join(work, "tmp")):
            os.makedirs(d, mode=0o700)
        env.update(HOME=self.home, XDG_RUNTIME_DIR=os.path.join(work, "runtime"), TMPDIR=os.path.join(work, "tmp"),
                   LANG="C.UTF-8")
        display = e.start_x(env)
        if display is None:
            raise Failure("no X server could be started (Xvfb missing or failing)")
        env["DISPLAY"] = display
        with open(os.path.join(work, "display"), "w") as f:
            f.write(display[1:])
        env["DBUS_SESSION_BUS_ADDRESS"] = e.start_session_bus(env, work)
        e.start_accessibility_bus(env)
        e.desktop_env.update(env)
        os.environ.update({k: env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "HOME", "XDG_RUNTIME_DIR")})
        import pyatspi  # noqa: F401  (connects on import)
        self.env = env
        self.app = os.path.join(work, "app")
        shutil.copytree(program_folder, self.app)
        self.program = None
        self.runs = 0
        log(f"private desktop on {display}, program folder {self.app}")

    @property
    def save_folder(self):
        """Where the program writes PDF files and the submission archive: the desktop
        folder as Qt resolves it without XDG settings (HOME/Desktop), then KVR-DB-SAVE."""
        return os.path.join(self.home, "Desktop", "KVR-DB-SAVE")

    def member_db(self, member):
        return os.path.join(self.app, member, f"KVR-DB-{member}.MDB")

    def start(self, member, new, shots=False, import_offer="いいえ"):
        """Starts the program, gives the member number and returns the entry screen. A new
        member is offered the import of the previous version once: answered with
        import_offer (the offer's text is kept in self.offer). With shots, the start screen
        is photographed (and the new-member question over it)."""
        self.runs += 1
        app_env = dict(self.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1", QT_QPA_PLATFORM="xcb")
        self.program = e.start([os.path.join(self.app, "KVRChartDB")], app_env, cwd=self.work,
                               stdout=open(os.path.join(self.work, f"program-{self.runs}.log"), "w"),
                               stderr=subprocess.STDOUT)
        t0 = time.monotonic()
        splash = e.window_named(e.TITLE)
        number = e.wait_for("the member number box", lambda: e.find(splash, name="会員番号を入力してください。", role="text"))
        number.queryEditableText().setTextContents(member)
        if shots:
            self.shot(e.TITLE, "start-screen.png")
        e.press(e.find(splash, name="OK", role="push button"))
        if new:
            if shots:
                e.wait_for("the new-member question", lambda: any(w.name == "確認" for w in e.windows()))
                self.shot(e.TITLE, "start-screen-new-member.png")
            e.answer_box("確認", "新規の会員番号", "はい")
        first = e.wait_for("the entry screen or the sound box", lambda: next(
            (w for w in e.windows() if w.name == MAIN_TITLE or "音声ミキサー" in e.description(w)), None), 30)
        if first.name != MAIN_TITLE:
            e.answer_box("エラー", "音声ミキサーをオープンできません。", "OK")
        main = e.window_named(MAIN_TITLE)
        if new:
            self.offer = e.answer_box("インポート確認", "旧版KVR-Chartインポート", import_offer)
        log(f"member {member}: entry screen after {time.monotonic() - t0:.1f} s")
        return main

    def wait_ended(self, timeout=30):
        e.wait_for("the program's end", lambda: self.program.poll() is not None, timeout)
        return self.program.returncode

    def keys(self, *names):
        e.keys(self.env, *names)

    def activate(self, title):
        e.activate(self.env, title)

    def shot(self, title, name, folder=None):
        """The screen within the program's window of this title (with any box or list
        open over it), as docs/screenshots/NAME (into the work folder instead when
        KVR_WALK_SHOTS is 0, into folder when given)."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + re.escape(title) + "$"],
                               env=self.env, capture_output=True, text=True, timeout=10).stdout.split()
        if not found:
            raise Failure(f"no X window named {title!r} to photograph")
        geometry = dict(line.split("=", 1) for line in subprocess.run(
            ["xdotool", "getwindowgeometry", "--shell", found[-1]], env=self.env, capture_output=True, text=True,
            timeout=10).stdout.split())
        crop = f"{geometry['WIDTH']}x{geometry['HEIGHT']}+{geometry['X']}+{geometry['Y']}"
        folder = folder or (self.work if os.environ.get("KVR_WALK_SHOTS") == "0" else SCREENSHOTS)
        out = os.path.join(folder, name)
        time.sleep(0.4)  # the last repaint
        subprocess.run(["import", "-window", "root", "-crop", crop, "+repage", "-strip", "-define",
                        "png:compression-level=9", out], env=self.env, check=True, timeout=30)
        log(f"screenshot {out} ({os.path.getsize(out) // 1024} kB)")
        return out


def sql(database, statements, key=DB_KEY):
    """Rows of the statements on a file of the program (key and page size of its files,
    or another key), each row a list of columns."""
    script = f"PRAGMA key='{key}';\nPRAGMA cipher_page_size=4096;\n.mode list\n{statements}\n"
    out = subprocess.run(["sqlcipher", database], input=script, capture_output=True, text=True, timeout=60)
    if out.returncode != 0 or "Error" in out.stderr:
        raise Failure(f"sqlcipher on {database}: {out.stderr.strip()}")
    return [line.split("|") for line in out.stdout.splitlines() if line and line != "ok"]


def content(database):
    """What a member database holds for the user: patients, examination rows (with their
    data columns) and additional information, as sorted row lists per table."""
    return {
        "TPatient": sql(database, 'SELECT ID, Name, BirthDay FROM TPatient ORDER BY ID;'),
        "TExamData": sql(database, 'SELECT PatientID, ExamDate, "Row", CommentID, Data1, Data2 FROM TExamData '
                                   'ORDER BY PatientID, ExamDate, "Row";'),
        "TPatientAdd": sql(database, "SELECT * FROM TPatientAdd ORDER BY ID;"),
    }


def counts(rows):
    return ", ".join(f"{table} {len(r)}" for table, r in rows.items())


# ------------------------------------------------------------------ entry screen

def click(desk, node):
    """A mouse click in the middle of the control (where a focus request over the
    accessibility bus is not enough, for example away from the entry grid)."""
    import pyatspi
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1"], env=desk.env,
                   check=True, timeout=10)


def pick_patient(desk, main, patient):
    """The patient typed into the patient list and left with Tab."""
    desk.activate("ヴェルダ学会")
    patients = e.wait_for("the patient list", lambda: e.find(main, desc="CmbOutNo"))
    edit = e.find(patients, role="text") or patients
    click(desk, edit)
    e.wait_for("the patient list focused", lambda: e.focused(main, "CmbOutNo"))
    desk.keys("ctrl+a", *str(patient), "Tab")
    e.wait_for(f"patient {patient}",
               lambda: e.name_of(e.find(main, desc="CmbOutNo")) == str(patient) and e.focused(main, "TxtInNo"))


def add_examination(desk, main, patient, date, depths):
    """A new examination of the patient on date (yyyy, mm, dd) at the stage 初診時 with
    the pocket depths typed on the keyboard (each a string of key names), saved with
    Ctrl+S and the two boxes after the save confirmed."""
    pick_patient(desk, main, patient)
    e.press(e.find(main, name="新規検査", role="push button"))
    e.wait_for("the year box focused", lambda: e.focused(main, "TxtY"))
    y, m, d = date
    desk.keys(*y, "Return", *m, "Return", *d, "Return", "Down", "Return")
    e.wait_for("the stage 初診時", lambda: e.name_of(e.find(main, desc="CmbStage")) == "初診時")
    e.wait_for("the grid focused", lambda: e.focused(main, "FraGrid"))
    desk.keys(*depths, "ctrl+s")
    e.answer_box("チェック", "■以下の検査で未検査があります。", "OK")
    e.answer_box("正常終了", "正常に保存されました。", "OK")
    log(f"patient {patient}: examination {'/'.join(date)} saved")


# ------------------------------------------------------------------ tools screen

def open_tools(desk, main):
    e.press(e.wait_for("the tools button", lambda: e.find(main, desc="CmdImport")))
    tools = e.window_named(TOOLS_TITLE)
    e.wait_for("the tab control", lambda: e.find(tools, desc="SSTabTool"))
    return tools


TAB_CONTROLS = {  # a control on each tab, showing once the tab is selected
    "追加情報": "TxtBirthDay", "提出用ファイル作成": "CmdUploadKVRDB", "データの管理": "CmdBackUp",
    "操作マニュアル他": "CmdManual", "バージョンアップ": "CmdVersionUp",
}


def showing(node):
    import pyatspi
    node.clearCache()
    return node.getState().contains(pyatspi.STATE_SHOWING)


def select_tab(tools, caption):
    e.press(e.wait_for(f"the tab {caption!r}", lambda: e.find(tools, name=caption, role="page tab")))
    control = e.wait_for(f"the tab's {TAB_CONTROLS[caption]}", lambda: e.find(tools, desc=TAB_CONTROLS[caption]))
    e.wait_for(f"the tab {caption!r} shown", lambda: showing(control))


def controls(root, descs):
    """The controls of these design names, found in one walk over the window (a walk
    over the tools screen's hundreds of controls takes seconds)."""
    wanted, found = set(descs), {}
    for node in e.walk(root):
        d = e.description(node)
        if d in wanted and d not in found:
            found[d] = node
            if len(found) == len(wanted):
                break
    missing = wanted - set(found)
    if missing:
        raise Failure(f"controls not found: {sorted(missing)}")
    return found


def set_text(root, desc, text):
    box = e.wait_for(f"the box {desc}", lambda: e.find(root, desc=desc))
    box.queryEditableText().setTextContents(text)
    return box


def press_named(root, desc):
    e.press(e.wait_for(f"the button {desc}", lambda: e.find(root, desc=desc)))


def text_of(root, desc):
    """What a text box or label shows (a box's accessible name is its caption)."""
    node = e.wait_for(f"the control {desc}", lambda: e.find(root, desc=desc))
    node.clearCache()
    try:
        text = node.queryText()
        return text.getText(0, -1)
    except NotImplementedError:
        return node.name or ""


def choose_in_file_dialog(desk, title, path, button_prefix):
    """Answers Qt's own file dialog (the program runs without a desktop environment, so
    Qt shows its widget dialog): the path typed into its file name box and the accept
    button pressed. Returns the dialog's window for a screenshot taken before."""
    dialog = e.window_named(title)
    edit = e.wait_for("the file name box of the dialog", lambda: next(
        (n for n in e.walk(dialog) if n.getRoleName() == "text" and n.getState().contains(
            __import__("pyatspi").STATE_EDITABLE)), None))
    edit.queryEditableText().setTextContents(path)
    e.press(e.wait_for(f"the button {button_prefix!r}",
                       lambda: e.find(dialog, name=button_prefix, role="push button", prefix=True)))
    e.wait_for(f"the dialog {title!r} to close", lambda: not any(w.name == title for w in e.windows()), 10)


# ------------------------------------------------------------------ running a walkthrough

def run_main(doc, body, timeout, desktop=Desktop):
    """The command line of a walkthrough: PROGRAM_FOLDER; body(desktop) does the work on
    a desktop of the given class.
    Exit status 0 when it went through, 1 when a step failed (the program's windows and
    output are shown)."""
    if len(sys.argv) != 2:
        print(doc)
        return 2

    def on_signal(signum, frame):
        raise Failure(f"stopped by signal {signum}")

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGALRM, on_signal)
    signal.alarm(timeout)
    e.sweep_stale_runs()
    work = tempfile.mkdtemp(prefix="kvr-e2e-")  # the harness's sweep knows this prefix
    with open(os.path.join(work, "driver.pid"), "w") as f:
        f.write(str(os.getpid()))
    status = 1
    try:
        body(desktop(os.path.abspath(sys.argv[1]), work))
        status = 0
    except Failure as failure:
        print(f"FAILED: {failure}", flush=True)
        try:
            for w in e.windows():
                print(f"  window {w.getRoleName()} {w.name!r} {e.description(w)[:80]!r}", flush=True)
        except Exception:
            pass
        for name in sorted(os.listdir(work)):
            if name.startswith("program-"):
                print(f"{name}:\n" + open(os.path.join(work, name), errors="replace").read()[-2000:], flush=True)
    finally:
        signal.alarm(0)
        e.stop_all()
        if os.environ.get("KVR_WALK_KEEP"):
            print(f"work folder kept: {work}", flush=True)
        else:
            shutil.rmtree(work, ignore_errors=True)
    print("DONE" if status == 0 else "FAILED", flush=True)
    return status
