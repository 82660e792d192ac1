#!/usr/bin/python3
"""Walkthrough: additional information, submission archive, backup, restore and the end
of the program, tried as a new user would.

Drives the real program and regenerates the screenshots in docs/screenshots/ (the
additional information filled in, the tabs "提出用ファイル作成" and "データの管理" with
their results, the backup window and the compaction window at the end). In a private X server with its own HOME: member 123456
starts as a new member and examines two patients; the first archive attempt is refused
with the completeness report; the additional information of both patients is filled in
on the tools screen; the archive is made and opened with 7-Zip (a wrong password is
refused), the extracted database opened with sqlcipher and compared row for row with
the member database. Then a backup into a folder chosen in the folder dialog, a third
patient examined, the backup restored through the file dialog, and the entry screen
shown to have reloaded the restored data (the third patient is gone). Finally the
program is closed with "終了": the backup question, the backup window and the
compaction window, after which the database is checked once more.

usage: submission_backup.py PROGRAM_FOLDER   (for example build/app)
Set KVR_WALK_SHOTS=0 to leave docs/screenshots/ alone, KVR_WALK_KEEP=1 to keep the work
folder. Exit status 0 when every step went through.
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import steps as s  # noqa: E402

e = s.e
MEMBER = "123456"
ARCHIVE_PASSWORD = s.constant("src/tools/EncryptedZip.h", "kSubmissionArchivePassword")

# The required items of the additional information and how they are filled: text to
# type, a box to tick, or the entry of a list (0 the first) to step down to.
ADDITIONAL = [
    ("TxtBirthDay", "197005"), ("CmbSex", 1), ("ChkChiefComplaint(0)", True), ("CmbSmokingHistory", 0),
    ("CmbMedicalHistory", 0), ("TxtMissingToothNum", "2"), ("CmbKvrDiagnosis", 0), ("CmbKvrDiagnosisLW", 1),
    ("CmbKvrDiagnosisCA", 0), ("CmbNewDiagnosisStage", 2), ("CmbNewDiagnosisGrade", 1),
    ("CmbPerioSurgeryTreatment", 1),
]
# What the table holds afterwards (the master codes of those entries).
STORED = {"BirthDay": "1970/05/01", "Sex": "1", "SmokingHistory": "0", "MedicalHistory": "0", "MissingToothNum": "2",
          "KvrDiagnosis": "1", "KvrDiagnosisLW": "2", "KvrDiagnosisCA": "1", "NewDiagnosisStage": "3",
          "NewDiagnosisGrade": "2", "PerioSurgeryTreatment": "1"}


def fill_additional(desk, main, patient):
    """The patient's additional information filled on the tools screen and saved."""
    s.pick_patient(desk, main, patient)
    tools = s.open_tools(desk, main)
    desk.activate(s.TOOLS_TITLE)
    e.wait_for("the additional information", lambda: e.find(tools, desc="TxtBirthDay"))
    inputs = s.controls(tools, [desc for desc, _ in ADDITIONAL] + ["CmdSave", "CmdEnd"])
    for desc, what in ADDITIONAL:
        control = inputs[desc]
        if isinstance(what, str):
            control.queryEditableText().setTextContents(what)
        elif what is True:
            e.press(control)
        else:  # a list opened (a focus request does not reach a list), stepped down, chosen
            e.press(control)
            time.sleep(0.3)
            desk.keys(*["Down"] * what, "Return")
            time.sleep(0.2)
    if patient == 1:
        desk.shot(s.TOOLS_TITLE, "tools-additional-info.png")
    e.press(inputs["CmdSave"])
    e.answer_box("保存", "患者追加情報は保存されました。", "OK")
    e.press(inputs["CmdEnd"])
    e.wait_for("the tools screen to close", lambda: not any(w.name == s.TOOLS_TITLE for w in e.windows()))
    columns = ", ".join(STORED)
    stored = dict(zip(STORED, s.sql(desk.member_db(MEMBER), f"SELECT {columns} FROM TPatientAdd WHERE ID={patient};")[0]))
    if stored != STORED:
        raise s.Failure(f"patient {patient}: stored {stored}")
    s.log(f"patient {patient}: additional information saved and read back ({len(STORED)} required items)")


def seven_zip(*args):
    return subprocess.run(["7z", *args], capture_output=True, text=True, timeout=120)


def check_archive(desk, archive, member_rows):
    listing = seven_zip("l", "-slt", archive).stdout
    inner = [line.split(" = ", 1)[1] for line in listing.splitlines() if line.startswith("Path = ")][1:]
    method = [line.split(" = ", 1)[1] for line in listing.splitlines() if line.startswith("Method = ")]
    s.log(f"archive {os.path.basename(archive)}: {os.path.getsize(archive)} bytes, holds {inner}, method {method}")
    expected = os.path.basename(archive)[:-3] + "MDB"
    if inner != [expected]:
        raise s.Failure(f"the archive holds {inner}")
    out = os.path.join(desk.work, "extracted")
    wrong = seven_zip("x", "-pWRONG", "-y", "-o" + out + "-wrong", archive)
    if wrong.returncode == 0:
        raise s.Failure("7-Zip extracted the archive with a wrong password")
    t0 = time.monotonic()
    right = seven_zip("x", "-p" + ARCHIVE_PASSWORD, "-y", "-o" + out, archive)
    if right.returncode != 0:
        raise s.Failure(f"7-Zip could not extract: {right.stdout[-500:]} {right.stderr[-500:]}")
    s.log(f"7z x with the password: {time.monotonic() - t0:.2f} s; a wrong password refused "
          f"({wrong.stdout.strip().splitlines()[-1] if wrong.stdout.strip() else wrong.returncode})")
    extracted = os.path.join(out, expected)
    rows = s.content(extracted)
    if rows != member_rows:
        raise s.Failure("the extracted database differs from the member database")
    s.log(f"extracted database equals the member database: {s.counts(rows)}")
    beside = os.path.join(desk.save_folder, expected)
    if not os.path.isfile(beside) or open(beside, "rb").read() != open(extracted, "rb").read():
        raise s.Failure("the database copy beside the archive differs from the archived one")


def submission(desk, main):
    # Without additional information the check writes its report and makes no archive.
    tools = s.open_tools(desk, main)
    s.select_tab(tools, "提出用ファイル作成")
    e.press(e.wait_for("the kind 認定医", lambda: e.find(tools, desc="OptSyubetu(1)")))
    s.press_named(tools, "CmdUploadKVRDB")
    report = os.path.join(desk.app, MEMBER, "Log_Error.txt")
    e.wait_for("the completeness report", lambda: os.path.isfile(report) and os.path.getsize(report) > 0, 20)
    lines = open(report, encoding="utf-8").read().splitlines()
    s.log(f"first attempt refused, Log_Error.txt: {lines}")
    if lines != ["患者番号:1  追加情報が入力されていません。", "患者番号:2  追加情報が入力されていません。"]:
        raise s.Failure(f"report {lines}")
    if os.path.isdir(desk.save_folder) and any(f.endswith(".zip") for f in os.listdir(desk.save_folder)):
        raise s.Failure("an archive was made in spite of the report")
    s.press_named(tools, "CmdEnd")
    e.wait_for("the tools screen to close", lambda: not any(w.name == s.TOOLS_TITLE for w in e.windows()))

    for patient in (1, 2):
        fill_additional(desk, main, patient)

    tools = s.open_tools(desk, main)
    s.select_tab(tools, "提出用ファイル作成")
    if not e.find(tools, desc="OptSyubetu(1)").getState().contains(__import__("pyatspi").STATE_CHECKED):
        raise s.Failure("the kind chosen before is not selected on opening again")
    t0 = time.monotonic()
    s.press_named(tools, "CmdUploadKVRDB")
    e.answer_box("完了", "ファイル作成が完了しました。", "OK", timeout=60)
    s.log(f"archive made in {time.monotonic() - t0:.2f} s (button to completion box)")
    if open(report, encoding="utf-8").read():
        raise s.Failure("the report is not empty after a complete check")
    desk.shot(s.TOOLS_TITLE, "tools-submission-tab.png")
    archives = [f for f in os.listdir(desk.save_folder) if f.endswith(".zip")]
    s.log(f"desktop folder {desk.save_folder}: {sorted(os.listdir(desk.save_folder))}")
    if len(archives) != 1 or not archives[0].startswith(f"N_{MEMBER}_") or not archives[0].endswith("_KVR-DB.zip"):
        raise s.Failure(f"archives {archives}")
    name = archives[0]
    if not s.text_of(tools, "LblUploadKVRDBName").endswith("：" + os.path.join(desk.save_folder, name)):
        raise s.Failure(f"the archive label reads {s.text_of(tools, 'LblUploadKVRDBName')!r}")
    check_archive(desk, os.path.join(desk.save_folder, name), s.content(desk.member_db(MEMBER)))
    return tools


def backup_and_restore(desk, main, tools):
    usb = os.path.join(desk.home, "USB-backup")
    os.makedirs(usb)
    s.select_tab(tools, "データの管理")
    s.press_named(tools, "CmdPathBackUp")
    s.choose_in_file_dialog(desk, "バックアップデータを保存するフォルダの指定", usb, "選択")
    settings = os.path.join(desk.app, MEMBER, "KVR.INI")
    e.wait_for("the chosen folder saved", lambda: usb in open(settings, encoding="utf-8").read())
    e.wait_for("the chosen folder shown", lambda: s.text_of(tools, "LblPathBackUp").endswith("：" + usb))
    ini = open(settings, encoding="utf-8").read().strip()
    s.log(f"backup folder chosen in the folder dialog; KVR.INI: {ini!r}")
    if ini != "BackUpPath=" + usb:
        raise s.Failure(f"KVR.INI holds {ini!r}")
    backup_name = s.text_of(tools, "TxtFile")
    t0 = time.monotonic()
    s.press_named(tools, "CmdBackUp")
    e.wait_for("the backup's result", lambda: s.text_of(tools, "LblResultBackUp") == "バックアップ結果", 30)
    backup = os.path.join(usb, backup_name)
    s.log(f"backup {backup_name} in {time.monotonic() - t0:.2f} s: {s.text_of(tools, 'LblDesBackUp')}")
    before = s.content(desk.member_db(MEMBER))
    if s.content(backup) != before:
        raise s.Failure("the backup differs from the member database")
    s.press_named(tools, "CmdEnd")
    e.wait_for("the tools screen to close", lambda: not any(w.name == s.TOOLS_TITLE for w in e.windows()))

    # Work after the backup, which the restore takes back.
    s.add_examination(desk, main, 3, ("2024", "08", "01"), ["6", "5", "4"])
    changed = s.content(desk.member_db(MEMBER))
    s.log(f"after the backup: {s.counts(changed)}")

    tools = s.open_tools(desk, main)
    s.select_tab(tools, "データの管理")
    s.press_named(tools, "CmdPathRestore")
    s.choose_in_file_dialog(desk, "復元するファイルの指定", backup, "開く")
    e.wait_for("the chosen backup shown", lambda: s.text_of(tools, "LblPathRestore").endswith("：" + backup))
    s.press_named(tools, "CmdRestore")
    t0 = time.monotonic()
    e.answer_box("復元確認", "復元を実行してもよろしいですか？", "はい")
    e.wait_for("the restore's result", lambda: s.text_of(tools, "LblResultRestore") == "復元結果", 30)
    s.log(f"restore in {time.monotonic() - t0:.2f} s: {s.text_of(tools, 'LblSrcRestore')}, "
          f"{s.text_of(tools, 'LblDesRestoreBackup')}")
    if s.text_of(tools, "LblSrcRestore") != "復元元：" + backup:
        raise s.Failure(f"restored from {s.text_of(tools, 'LblSrcRestore')!r}")
    desk.shot(s.TOOLS_TITLE, "tools-data-management-tab.png")
    safety = s.text_of(tools, "LblDesRestoreBackup").split("：", 1)[1]
    if s.content(desk.member_db(MEMBER)) != before:
        raise s.Failure("the member database does not hold the backup's rows after the restore")
    if s.content(safety) != changed:
        raise s.Failure("the safety copy does not hold the rows from before the restore")
    s.press_named(tools, "CmdEnd")
    e.wait_for("the tools screen to close", lambda: not any(w.name == s.TOOLS_TITLE for w in e.windows()))

    # The entry screen reads the restored file: patient 3's examination is gone.
    s.pick_patient(desk, main, 3)
    shown = e.name_of(e.find(main, desc="CmbEntry")) or ""
    s.log(f"entry screen, patient 3 after the restore: examination list reads {shown!r}")
    if shown not in ("", "検査一覧"):  # an empty list reads its caption
        raise s.Failure(f"the entry screen still lists {shown!r} for patient 3")
    s.pick_patient(desk, main, 1)
    shown = e.name_of(e.find(main, desc="CmbEntry"))
    if shown != "2024/05/10  初診時":
        raise s.Failure(f"the entry screen lists {shown!r} for patient 1")
    return before


def closing(desk, main, restored):
    desk.activate("ヴェルダ学会")
    s.press_named(main, "CmdEnd")
    e.answer_box("バックアップ確認", "データのバックアップを実行しますか？", "はい")
    window = e.window_named("バックアップ")
    desk.shot("バックアップ", "backup-window-at-exit.png")
    t0 = time.monotonic()
    s.press_named(window, "CmdBackUp")
    e.wait_for("the compaction window", lambda: any(w.name == "最適化" or "最適化" in (w.name or "")
                                                    for w in e.windows()), 30)
    title = next(w.name for w in e.windows() if "最適化" in (w.name or ""))
    desk.shot(title, "compaction-window.png")
    status = desk.wait_ended(60)
    s.log(f"backup window and compaction: program ended {time.monotonic() - t0:.1f} s after the backup "
          f"button, status {status}")
    after = s.content(desk.member_db(MEMBER))
    integrity = s.sql(desk.member_db(MEMBER), "PRAGMA integrity_check;")
    if after != restored:
        raise s.Failure("the compacted database differs")
    s.log(f"compacted database: {os.path.getsize(desk.member_db(MEMBER))} bytes, same rows, "
          f"integrity {integrity or 'ok'}; member folder: {sorted(os.listdir(os.path.join(desk.app, MEMBER)))}")


def walk(desk):
    main = desk.start(MEMBER, new=True)
    s.add_examination(desk, main, 1, ("2024", "05", "10"), ["4", "plus", "5", "3"])
    s.add_examination(desk, main, 2, ("2024", "06", "03"), ["3", "2", "2"])
    tools = submission(desk, main)
    restored = backup_and_restore(desk, main, tools)
    closing(desk, main, restored)


if __name__ == "__main__":
    sys.exit(s.run_main(__doc__, walk, 600))
