#!/usr/bin/python3
"""The real program driven over the accessibility bus, as a screen-reader user drives it.

A copy of the built program folder runs in a private X server with private session and
accessibility buses: a new member, patient 1, a new 初診時 examination typed on the
keyboard, saved; then the saved rows are read with the sqlcipher command.

usage: entry_flow.py PROGRAM_FOLDER PASSWORDS_HEADER (the key is read from the header)
Exit status: 0 passed, 1 failed, 77 skipped (no X server can be started). On failure the
program's windows and output are shown; KVR_E2E_SCREENSHOT=file keeps the final screen.
"""
import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
MEMBER = "123456"
TITLE = "歯周検査ソフト　KVR-Chart-DB Ver.1"

processes = []  # every process started here, for the clean-up
desktop_env = {}  # the environment of the private desktop, once it is up


class Failure(Exception):
    pass


def log(text):
    print(f"[e2e {time.monotonic() - T0:5.1f}s] {text}", flush=True)


def die_with_parent():
    # A child of a run that is killed outright (no clean-up) ends with it.
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def start(args, env, **kw):
    p = subprocess.Popen(args, env=env, start_new_session=True, preexec_fn=die_with_parent, **kw)
    processes.append(p)
    return p


def kill_group(p, sig):
    try:
        os.killpg(p.pid, sig)
    except ProcessLookupError:
        pass


def stop_all():
    for p in reversed(processes):
        if p.poll() is None:
            kill_group(p, signal.SIGTERM)
    deadline = time.monotonic() + 3
    for p in reversed(processes):
        try:
            p.wait(max(0.1, deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            kill_group(p, signal.SIGKILL)
            p.wait()


def wait_for(what, probe, timeout=15.0, interval=0.1):
    """Calls probe until it returns something true; fails after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            result = probe()
        except Exception:  # objects come and go while windows open and close
            result = None
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure(f"timed out waiting for {what}")
        time.sleep(interval)


# ------------------------------------------------------------------ the private desktop

def alive(pid):
    """True while the process runs (a zombie has ended)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (OSError, IndexError):
        return False


def display_in_use(n):
    """True when display n has a running server (a lock left by a killed one is stale:
    Xvfb takes such a display over)."""
    try:
        pid = int(open(f"/tmp/.X{n}-lock").read().strip())
    except FileNotFoundError:
        return os.path.exists(f"/tmp/.X11-unix/X{n}")
    except ValueError:
        return True
    return alive(pid)


def start_x(env):
    """Xvfb on the first free display from :90 on; None when no X server can start."""
    if not shutil.which("Xvfb"):
        return None
    for n in range(90, 140):
        if display_in_use(n):
            continue
        p = start(["Xvfb", f":{n}", "-screen", "0", "1440x900x24", "-nolisten", "tcp", "-noreset"], env,
                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and p.poll() is None:
            if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                return f":{n}"
            time.sleep(0.05)
        kill_group(p, signal.SIGKILL)
        p.wait()
    return None


def start_session_bus(env, folder):
    address = "unix:path=" + os.path.join(folder, "session-bus")
    start(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address], env,
          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for("the session bus", lambda: os.path.exists(os.path.join(folder, "session-bus")), 10)
    return address


def start_accessibility_bus(env):
    start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env,
          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def bus_ready():
        out = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                              "org.a11y.Bus.GetAddress"], env=env, capture_output=True, text=True, timeout=5)
        return out.returncode == 0 and "unix:" in out.stdout

    wait_for("the accessibility bus", bus_ready, 15)


# ------------------------------------------------------------------ finding controls

def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def the_app():
    import pyatspi
    desktop = pyatspi.Registry.getDesktop(0)
    return next((a for a in map(desktop.getChildAtIndex, range(desktop.childCount))
                 if a is not None and a.name in ("KVRChartDB", "KVR-Chart-DB")), None)


def windows():
    app = the_app()
    return [app.getChildAtIndex(i) for i in range(app.childCount)] if app else []


def description(node):
    try:
        return node.description or ""
    except Exception:
        return ""


def find(root, name=None, role=None, desc=None, prefix=False):
    def fits(n):
        return ((role is None or n.getRoleName() == role) and (desc is None or description(n) == desc)
                and (name is None or ((n.name or "").startswith(name) if prefix else n.name == name)))
    return next((n for n in walk(root) if fits(n)), None)


def window_named(name):
    return wait_for(f"the window {name!r}", lambda: next((w for w in windows() if w.name == name), None))


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click"):
            action.doAction(i)
            return
    action.doAction(0)


def answer_box(title, text_part, button, timeout=15.0):
    """Waits for the message box with this title whose text holds text_part and presses
    the button whose name starts with button. Returns the box text."""
    def box():
        return next((w for w in windows() if w.name == title and text_part in description(w)), None)

    w = wait_for(f"the box {title!r} ({text_part})", box, timeout)
    text = description(w)
    press(wait_for(f"the button {button!r}", lambda: find(w, name=button, role="push button", prefix=True)))
    wait_for(f"the box {title!r} to close", lambda: w not in windows() or not box(), 10)
    return text


def activate(env, title):
    """Gives the X input focus to the program's window of this title (there is no window
    manager to do it)."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title], env=env,
                           capture_output=True, text=True, timeout=10).stdout.split()
    if not found:
        raise Failure(f"no X window named {title!r}")
    subprocess.run(["xdotool", "windowfocus", "--sync", found[-1]], env=env, check=True, timeout=10)


def keys(env, *names):
    subprocess.run(["xdotool", "key", "--delay", "40", *names], env=env, check=True, timeout=20)


def name_of(node):
    node.clearCache()
    return node.name


def focused(node, desc):
    n = find(node, desc=desc)
    n.clearCache()
    import pyatspi
    return n.getState().contains(pyatspi.STATE_FOCUSED)


# ------------------------------------------------------------------ the run

def start_desktop(work, home=None):
    """The private desktop in the folder work: X server, session and accessibility buses, a
    fresh HOME (or the given one), XDG_RUNTIME_DIR and TMPDIR; returns its environment, None
    without X server."""
    env = {k: v for k, v in os.environ.items() if not k.startswith(("DBUS_", "AT_SPI", "XDG_", "QT_", "KVR_"))}
    home, runtime, tmp = home or os.path.join(work, "home"), os.path.join(work, "runtime"), os.path.join(work, "tmp")
    for d in (home, runtime, tmp):
        os.makedirs(d, mode=0o700, exist_ok=d == home)
    env.update(HOME=home, XDG_RUNTIME_DIR=runtime, TMPDIR=tmp, LANG="C.UTF-8")

    display = start_x(env)
    if display is None:
        return None
    env["DISPLAY"] = display
    desktop_env.update(env)
    with open(os.path.join(work, "display"), "w") as f:
        f.write(display[1:])
    log(f"X server on {display}")
    env["DBUS_SESSION_BUS_ADDRESS"] = start_session_bus(env, work)
    start_accessibility_bus(env)
    log("session and accessibility buses up")

    # The driver's own connection to the buses.
    os.environ.update({k: env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "HOME", "XDG_RUNTIME_DIR")})
    import pyatspi  # noqa: F401  (connects on import)
    return env


def program_env(env):
    """The desktop's environment as the program gets it: accessibility on, drawn on X."""
    return dict(env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1", QT_QPA_PLATFORM="xcb")


def start_program(program, env, work, **extra):
    """The program of the private desktop env, its output in work/program.log."""
    return start([program], dict(program_env(env), **extra), cwd=work,
                 stdout=open(os.path.join(work, "program.log"), "w"), stderr=subprocess.STDOUT)


def run(program_folder, key, work):
    env = start_desktop(work)
    if env is None:
        return skip("no X server could be started (Xvfb missing or failing)")
    app_folder = os.path.join(work, "app")
    shutil.copytree(program_folder, app_folder)
    program = start_program(os.path.join(app_folder, "KVRChartDB"), env, work)
    enter_and_save(env)
    check_saved(os.path.join(app_folder, MEMBER, f"KVR-DB-{MEMBER}.MDB"), key)
    if program.poll() is not None:
        raise Failure("the program ended on its own")
    return 0


def new_member(splash, member):
    """On the start screen: the member number typed, OK, the new-member question answered."""
    number = wait_for("the member number box",
                      lambda: find(splash, name="会員番号を入力してください。", role="text"))
    number.queryEditableText().setTextContents(member)
    press(find(splash, name="OK", role="push button"))
    log("new-member question answered: " + answer_box("確認", "新規の会員番号", "はい").splitlines()[0])


def enter_and_save(env):
    """From the start screen of a program without members: member MEMBER made, patient 1,
    a new 初診時 examination with the depths of the first tooth, saved."""
    new_member(window_named(TITLE), MEMBER)

    # Without a sound device (as here) the voice player says so once; then the entry
    # screen, where the import offer of a new member database is declined.
    main_title = TITLE + " (ヴェルダ学会 専門医・認定医・認定歯科衛生士用)"
    first = wait_for("the entry screen or the sound box", lambda: next(
        (w for w in windows() if w.name == main_title or "音声ミキサー" in description(w)), None))
    if first.name != main_title:
        answer_box("エラー", "音声ミキサーをオープンできません。", "OK")
        log("no sound device: its box confirmed")
    main = window_named(main_title)
    answer_box("インポート確認", "旧版KVR-Chartインポート", "いいえ")
    log("entry screen shown, import offer declined")

    # Patient 1, typed into the patient list and left with Tab.
    activate(env, "ヴェルダ学会")
    wait_for("the patient list", lambda: find(main, desc="CmbOutNo")).queryComponent().grabFocus()
    wait_for("the patient list focused", lambda: focused(main, "CmbOutNo"))
    keys(env, "1", "Tab")
    wait_for("patient 1", lambda: name_of(find(main, desc="CmbOutNo")) == "1" and focused(main, "TxtInNo"))

    # A new examination: the date on the keyboard, Enter through the boxes, the stage.
    press(find(main, name="新規検査", role="push button"))
    wait_for("the year box focused", lambda: focused(main, "TxtY"))
    keys(env, "2", "0", "2", "4", "Return", "0", "8", "Return", "1", "4", "Return", "Down", "Return")
    wait_for("the stage 初診時", lambda: name_of(find(main, desc="CmbStage")) == "初診時")
    wait_for("the grid focused", lambda: focused(main, "FraGrid"))
    log("new examination 2024/08/14 初診時")

    # The buccal depths of the first tooth: 4, then "+" marks bleeding at the next site,
    # which gets 5, then 3; the tooth's cell reads them.
    keys(env, "4", "plus", "5", "3")
    cell = wait_for("the first tooth's values", lambda: (lambda n: n.startswith("18 BD 4、BC 5 出血、BM 3、") and n)(
        name_of(find(main, desc="Th0"))), 10)
    log(f"tooth cell read: {cell}")

    # Save with Ctrl+S; the post-save check and the success box are read and confirmed.
    keys(env, "ctrl+s")
    answer_box("チェック", "■以下の検査で未検査があります。", "OK")
    log("saved: " + answer_box("正常終了", "正常に保存されました。", "OK").splitlines()[0])


def check_saved(database, key):
    """The member database holds the examination enter_and_save typed."""
    sql = (f"PRAGMA key='{key}';\n"
           "PRAGMA cipher_page_size=4096;\n"
           "SELECT \"Row\", CommentID, Comment, ExamDate, substr(Data1, 1, 36) FROM TExamData "
           "WHERE PatientID=1 ORDER BY \"Row\";\n")
    out = subprocess.run(["sqlcipher", database], input=sql, capture_output=True, text=True, timeout=20)
    rows = {r[0]: r for r in (line.split("|") for line in out.stdout.strip().splitlines())}
    log(f"stored rows: {list(rows)}")
    if list(rows) != ["0", "1", "2", "3", "9", "10"]:
        raise Failure(f"stored rows {out.stdout!r} {out.stderr!r}")
    for r in rows.values():
        if r[1:4] != ["1", "初診時", "2024-08-14 00:00:00"]:
            raise Failure(f"row {r[0]} stored as {r!r}")
    # The first tooth's three depths, bleeding where the 5 is.
    depths, bleeding = ([int(rows[r][4][i:i + 3]) for i in range(0, 36, 3)] for r in ("0", "9"))
    if sorted(d for d in depths if d != 128) != [3, 4, 5] or bleeding != [1 if d == 5 else 128 for d in depths]:
        raise Failure(f"the first tooth stored as {rows['0'][4]!r} {rows['9'][4]!r}")
    log("database checked")


def report_failure(failure, work):
    """What failed, the program's windows and the end of its output (work/program.log)."""
    print(f"FAILED: {failure}", flush=True)
    try:  # (without the buses the accessibility library ends the process: not asked then)
        for w in windows() if desktop_env else []:
            print(f"  window {w.getRoleName()} {w.name!r} {description(w)[:60]!r}", flush=True)
    except Exception:
        pass
    log_file = os.path.join(work, "program.log")
    if os.path.exists(log_file):
        print("program output:\n" + open(log_file, errors="replace").read()[-3000:], flush=True)


def sweep_stale_runs():
    """Ends what an earlier run killed outright (SIGKILL, no clean-up) left behind: the
    processes whose command line names its folder (the accessibility bus daemon, started
    by the launcher, does not die with it), then the folder itself."""
    base = tempfile.gettempdir()
    for name in os.listdir(base):
        folder = os.path.join(base, name)
        pid_file = os.path.join(folder, "driver.pid")
        if not name.startswith("kvr-e2e-") or not os.path.exists(pid_file):
            continue
        try:
            if alive(int(open(pid_file).read())):
                continue  # that run is still going
        except ValueError:
            pass
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                if int(pid) != os.getpid() and folder.encode() in open(f"/proc/{pid}/cmdline", "rb").read():
                    os.kill(int(pid), signal.SIGKILL)
            except OSError:
                pass
        try:  # the X server's lock and socket
            n = int(open(os.path.join(folder, "display")).read())
            if not display_in_use(n):
                for leftover in (f"/tmp/.X{n}-lock", f"/tmp/.X11-unix/X{n}"):
                    if os.path.exists(leftover):
                        os.remove(leftover)
        except (OSError, ValueError):
            pass
        shutil.rmtree(folder, ignore_errors=True)


def skip(why):
    print(f"SKIPPED: {why}", flush=True)
    return SKIP


def harness(run_in, seconds, screenshot=False):
    """run_in(work) in a fresh work folder with a time limit of seconds; every process
    started is ended and the folder removed afterwards. Returns the exit status."""
    def on_signal(signum, frame):
        raise Failure(f"stopped by signal {signum}")

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGALRM, on_signal)
    signal.alarm(seconds)  # the whole run, clean-up excluded
    sweep_stale_runs()
    work = tempfile.mkdtemp(prefix="kvr-e2e-")
    with open(os.path.join(work, "driver.pid"), "w") as f:
        f.write(str(os.getpid()))
    status = 1
    try:
        status = run_in(work)
    except Failure as failure:
        report_failure(failure, work)
    finally:
        signal.alarm(0)
        shot = screenshot and os.environ.get("KVR_E2E_SCREENSHOT")
        if shot and desktop_env:
            subprocess.run(["import", "-window", "root", shot], env=desktop_env, timeout=20)
        stop_all()
        shutil.rmtree(work, ignore_errors=True)
    if status == 0:
        print("PASSED", flush=True)
    return status


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    match = re.search(r'kProgramPassword\s*=\s*"([^"]*)"', open(sys.argv[2], encoding="utf-8").read())
    if not match:
        print(f"no program password in {sys.argv[2]}")
        return 2
    return harness(lambda work: run(sys.argv[1], match.group(1), work), 55, screenshot=True)


T0 = time.monotonic()
if __name__ == "__main__":
    sys.exit(main())
