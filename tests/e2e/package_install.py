#!/usr/bin/python3
"""The Debian package, installed and started the way a new user starts it.

The .deb of make package (or one made with cpack when that is older than the program) is
unpacked with dpkg -x; the launcher, desktop entry, icons and delivered files must be in
place. The unpacked program, driven over the accessibility bus in a private desktop
(entry_flow.py), must name the user's data folder on its start screen and make a new
member's folder there, writing nothing into the installed tree.

usage: package_install.py BUILD_FOLDER
Exit status: 0 passed, 1 failed, 77 skipped (no dpkg-deb, cpack or X server).
"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import entry_flow as e  # noqa: E402  (the private desktop and the control finders)

MEMBER = "246810"
APPID = "org.kvrchartdb.KVRChartDB"


def snapshot(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder) for d, _, fs in os.walk(folder) for f in fs)


def unpack(build, work):
    """The package (the one make package made when it is newer than the program, else a new
    one) unpacked; returns the root it was unpacked into."""
    program = os.path.getmtime(os.path.join(build, "app", "KVRChartDB"))
    made = [os.path.join(build, f) for f in os.listdir(build) if f.startswith("kvr-chart-db_") and f.endswith(".deb")]
    made = [f for f in made if os.path.getmtime(f) >= program]
    pkg = os.path.join(work, "pkg")
    if len(made) == 1:
        os.makedirs(pkg)
        shutil.copy(made[0], pkg)
    out = made and subprocess.CompletedProcess([], 0, "", "") or subprocess.run(
        ["cpack", "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", pkg],
        capture_output=True, text=True, timeout=120)
    debs = [f for f in os.listdir(pkg) if f.endswith(".deb")] if out.returncode == 0 else []
    if len(debs) != 1 or not debs[0].startswith("kvr-chart-db_"):
        raise e.Failure(f"cpack made {debs}: {out.stdout[-1500:]} {out.stderr[-1500:]}")
    deb = os.path.join(pkg, debs[0])
    fields = subprocess.run(["dpkg-deb", "-f", deb, "Depends"], capture_output=True, text=True).stdout
    for needed in ("fonts-ipafont", "qt6-translations-l10n", "libqt6widgets6", "libsqlcipher"):
        if needed not in fields:
            raise e.Failure(f"the package does not depend on {needed}: {fields!r}")
    root = os.path.join(work, "root")
    subprocess.run(["dpkg", "-x", deb, root], check=True, timeout=60)
    e.log(f"{debs[0]} unpacked")
    return root


def check_layout(root):
    lib = os.path.join(root, "usr/lib/kvr-chart-db")
    expected = ["usr/bin/kvr-chart-db", "usr/lib/kvr-chart-db/KVRChartDB", "usr/lib/kvr-chart-db/KVR-DB_ORG.MDB",
                "usr/lib/kvr-chart-db/TMaster.txt", f"usr/share/applications/{APPID}.desktop",
                f"usr/share/metainfo/{APPID}.metainfo.xml", "usr/share/icons/hicolor/scalable/apps/kvr-chart-db.svg",
                "usr/share/doc/kvr-chart-db/copyright"]
    expected += [f"usr/share/icons/hicolor/{n}x{n}/apps/kvr-chart-db.png" for n in (16, 32, 48, 256)]
    missing = [p for p in expected if not os.path.isfile(os.path.join(root, p))]
    if missing:
        raise e.Failure(f"missing from the package: {missing}")
    for sub in ("wave", "BMP"):
        if not os.listdir(os.path.join(lib, sub)):
            raise e.Failure(f"the package has an empty {sub}/")
    # Only delivered files beside the program: nothing a run of the build wrote.
    written = [p for p in snapshot(lib) if p.startswith(("KVR-DB.MDB", "KVR.INI", "Log_")) or p[:1].isdigit()]
    if written:
        raise e.Failure(f"files of a run in the package: {written}")
    launcher = open(os.path.join(root, "usr/bin/kvr-chart-db")).read()
    if "/usr/lib/kvr-chart-db/KVRChartDB" not in launcher:
        raise e.Failure(f"the launcher does not start the installed program: {launcher!r}")


def run(build, work):
    for tool in ("dpkg-deb", "cpack"):
        if not shutil.which(tool):
            return e.skip(f"{tool} is not installed")
    root = unpack(build, work)
    check_layout(root)
    lib = os.path.join(root, "usr/lib/kvr-chart-db")
    before = snapshot(lib)

    env = e.start_desktop(work)
    if env is None:
        return e.skip("no X server could be started (Xvfb missing or failing)")
    # The tests run as root, who may write into the unpacked tree: the program is told to
    # behave as for a normal user of an installed package.
    e.start_program(os.path.join(lib, "KVRChartDB"), env, work, KVR_CHART_DB_USER_DATA="1")

    data = os.path.join(env["HOME"], ".local/share/KVR-Chart-DB")
    splash = e.window_named(e.TITLE)
    shown = e.wait_for("the folder line of the explanation panel",
                       lambda: e.find(splash, name="フォルダ", role="label", prefix=True)).name
    if os.path.join(data, "123456") not in shown:
        raise e.Failure(f"the start screen names {shown!r}, not the data folder")
    e.log(f"start screen: {shown}")
    e.new_member(splash, MEMBER)
    member_db = os.path.join(data, MEMBER, f"KVR-DB-{MEMBER}.MDB")
    e.wait_for("the member database in the data folder", lambda: os.path.isfile(member_db), 20)
    e.log(f"member folder made: {os.path.dirname(member_db)}")
    # The base database, made from the installed template, went aside under its dated name.
    if not any(f.startswith("KVR-DB-") and f.endswith(".MDB") for f in os.listdir(data)):
        raise e.Failure(f"no dated base database in the data folder: {snapshot(data)}")
    if snapshot(lib) != before:
        raise e.Failure(f"the program wrote into its installed folder: {set(snapshot(lib)) - set(before)}")
    return 0


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    return e.harness(lambda work: run(sys.argv[1], work), 240)  # a package made here by cpack takes most of it


if __name__ == "__main__":
    sys.exit(main())
