#!/usr/bin/python3
"""Inside a freshly installed system, as an ordinary user: starts the program the way the
desktop does (from the installed desktop entry), and makes and saves a first examination.

Run by scripts/fresh-install-check.sh in its chroot, next to a copy of tests/e2e/entry_flow.py
(the private desktop and the steps of the entry are taken from there). Starts a private X
server and the buses, launches the desktop entry with `gio launch` (or, without it, runs its
Exec line), measures the time until the start screen shows, reads the data folder the start
screen names, creates member 123456, enters and saves a 初診時 examination of patient 1,
reads the saved rows back with sqlcipher and ends the program with 終了. Screenshots of the start screen and of the entry
screen after the save go to SHOT_FOLDER.

usage: fresh_install_driver.py PASSWORDS_HEADER SHOT_FOLDER
Exit status: 0 passed, 1 failed.
"""
import glob
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import entry_flow as e  # noqa: E402

DATA = os.path.expanduser("~/.local/share/KVR-Chart-DB")
launched = []


def desktop_entry():
    entries = glob.glob("/usr/share/applications/*KVRChartDB*.desktop")
    if len(entries) != 1:
        raise e.Failure(f"installed desktop entries: {entries}")
    return entries[0]


def launch_command(entry):
    """What the desktop runs for the entry: `gio launch` where GLib's tool is installed,
    otherwise its Exec line without the field codes."""
    if shutil.which("gio"):
        return ["gio", "launch", entry]
    line = next(ln for ln in open(entry, encoding="utf-8") if ln.startswith("Exec="))
    return [a for a in shlex.split(line[5:].strip()) if not re.fullmatch(r"%[a-zA-Z]", a)]


def screenshot(env, path):
    subprocess.run(["import", "-window", "root", path], env=env, check=True, timeout=30)
    e.log(f"screenshot {path}")


def run(key, shots, work):
    env = e.start_desktop(work, home=os.path.expanduser("~"))
    if env is None:
        raise e.Failure("no X server could be started")
    entry = desktop_entry()
    command = launch_command(entry)
    e.log(f"launching {os.path.basename(entry)}: {' '.join(command)}")
    started = time.monotonic()
    # gio ends once the program runs; the program stays in its process group.
    launched.append(e.start(command, e.program_env(env), cwd=env["HOME"],
                            stdout=open(os.path.join(work, "program.log"), "w"), stderr=subprocess.STDOUT))
    splash = e.window_named(e.TITLE)
    shown = e.wait_for("the folder line of the explanation panel",
                       lambda: e.find(splash, name="フォルダ", role="label", prefix=True)).name
    e.log(f"start screen after {time.monotonic() - started:.2f} s: {shown}")
    if os.path.join(DATA, e.MEMBER) not in shown:
        raise e.Failure(f"the start screen names {shown!r}, not {DATA}")
    e.activate(env, e.TITLE)
    screenshot(env, os.path.join(shots, "fresh-install-start-screen.png"))
    e.enter_and_save(env)
    time.sleep(0.5)  # the success box has gone: let the entry screen redraw
    screenshot(env, os.path.join(shots, "fresh-install-entry-screen-saved.png"))
    e.check_saved(os.path.join(DATA, e.MEMBER, f"KVR-DB-{e.MEMBER}.MDB"), key)

    # Ended as the user ends it: 終了, no backup, the compaction window closes the program.
    e.press(e.wait_for("the end button", lambda: next(
        (n for n in (e.find(w, desc="CmdEnd") for w in e.windows()) if n), None)))
    e.answer_box("バックアップ確認", "データのバックアップを実行しますか", "いいえ")
    e.wait_for("the program to end", lambda: e.the_app() is None, 60)
    e.log(f"program ended; member folder: {sorted(os.listdir(os.path.join(DATA, e.MEMBER)))}")


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    key = re.search(r'kProgramPassword\s*=\s*"([^"]*)"', open(sys.argv[1], encoding="utf-8").read()).group(1)
    os.makedirs(sys.argv[2], exist_ok=True)

    def on_signal(signum, frame):
        raise e.Failure(f"stopped by signal {signum}")

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGALRM, on_signal)
    signal.alarm(120)
    work = tempfile.mkdtemp(prefix="kvr-fresh-")
    status = 1
    try:
        run(key, sys.argv[2], work)
        status = 0
    except e.Failure as failure:
        e.report_failure(failure, work)
    finally:
        signal.alarm(0)
        for p in launched:
            try:
                os.killpg(p.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        e.stop_all()
        shutil.rmtree(work, ignore_errors=True)
    print("PASSED" if status == 0 else "FAILED", flush=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
