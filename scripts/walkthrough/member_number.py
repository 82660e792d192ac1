#!/usr/bin/python3
"""Walkthrough: the member number change, tried as a new user would.

Drives the real program and regenerates the screenshots in docs/screenshots/ (the start
screen and its new-member question, the chart screen, the tabs "操作マニュアル他",
"バージョンアップ" and "データの管理" of the tools screen, the last with the new number typed).
In a private X server with its own HOME: member 123456 starts as a new member, three
patients get an examination each on the entry screen, the chart screen of the sample
patient 99 is photographed, the tools screen is opened and its tabs photographed (the
contact details typed on "バージョンアップ"); on
"データの管理" the number is changed to 654321 (typed in full-width digits), every box
answered, and the program ends by itself. The folders are checked (the new one holds
only its database, the old one is set aside with a time stamp), the program is started
again with 654321 and every patient and examination is found on the entry screen and,
row for row, in the database (sqlcipher).

usage: member_number.py PROGRAM_FOLDER   (for example build/app)
Set KVR_WALK_SHOTS=0 to leave docs/screenshots/ alone, KVR_WALK_KEEP=1 to keep the work
folder. Exit status 0 when every step went through.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import steps as s  # noqa: E402

e = s.e
OLD, NEW = "123456", "654321"
PATIENTS = {  # patient: (examination date, pocket depths typed from the first site on)
    1: (("2024", "05", "10"), ["4", "plus", "5", "3", "2", "6"]),
    2: (("2024", "06", "03"), ["3", "3", "2", "4"]),
    3: (("2024", "07", "22"), ["5", "slash", "1", "2", "3"]),
}

CONTACT = {"TxtClinic": "さくら歯科医院", "TxtTanto": "山田　花子", "TxtMail": "yamada@sakura-dental.example.jp"}


def entry_list(desk, main, patient):
    """The examination list of the patient as the entry screen shows it."""
    s.pick_patient(desk, main, patient)
    return e.wait_for(f"the examinations of patient {patient}",
                      lambda: e.name_of(e.find(main, desc="CmbEntry")), 10)


def photograph_chart(desk, main):
    s.pick_patient(desk, main, 99)
    e.press(e.find(main, desc="CmdChartDR"))
    chart = e.window_named("チャート表示・印刷")
    e.wait_for("the chart's figures", lambda: e.find(chart, desc="BtnEnd"), 20)
    desk.shot("チャート表示・印刷", "chart-screen.png")
    e.press(e.find(chart, desc="BtnEnd"))
    e.wait_for("the chart screen to close", lambda: not any(w.name == "チャート表示・印刷" for w in e.windows()))


def walk(desk):
    main = desk.start(OLD, new=True, shots=True)
    for patient, (date, depths) in PATIENTS.items():
        s.add_examination(desk, main, patient, date, depths)
    shown_before = {p: entry_list(desk, main, p) for p in PATIENTS}
    s.log(f"entry screen lists {shown_before}")
    photograph_chart(desk, main)

    tools = s.open_tools(desk, main)
    for caption, shot in (("操作マニュアル他", "tools-manual-tab.png"), ("バージョンアップ", "tools-version-up-tab.png")):
        s.select_tab(tools, caption)
        if caption == "バージョンアップ":  # the contact details as a member fills them in
            for desc, text in CONTACT.items():
                s.set_text(tools, desc, text)
        desk.shot(s.TOOLS_TITLE, shot)
    s.select_tab(tools, "データの管理")
    before = s.content(desk.member_db(OLD))
    s.log(f"member {OLD} holds {s.counts(before)}")
    current = s.text_of(tools, "TxtKNoFrom")
    if current != OLD:
        raise s.Failure(f"the current number reads {current!r}")

    # The new number as a Japanese keyboard often types it: full-width digits.
    s.set_text(tools, "TxtKNoTo", "６５４３２１")
    desk.shot(s.TOOLS_TITLE, "tools-member-number-change.png")
    button = e.find(tools, desc="CmdConvKNo")
    t0 = time.monotonic()
    e.press(button)
    text = e.answer_box("完了", "会員番号の変更が完了しました。", "OK", timeout=60)
    changed = time.monotonic() - t0
    status = desk.wait_ended()
    s.log(f"change done in {changed:.2f} s (button to completion box), program ended with status {status}")
    if "プログラムを再起動してください。" not in text:
        raise s.Failure(f"completion box reads {text!r}")

    folders = sorted(f for f in os.listdir(desk.app) if f[:1].isdigit() and os.path.isdir(os.path.join(desk.app, f)))
    set_aside = [f for f in folders if f.startswith(OLD + "_")]
    s.log(f"member folders now: {folders}")
    if OLD in folders or len(set_aside) != 1 or NEW not in folders:
        raise s.Failure(f"folders after the change: {folders}")
    if os.listdir(os.path.join(desk.app, NEW)) != [f"KVR-DB-{NEW}.MDB"]:
        raise s.Failure(f"the new folder holds {sorted(os.listdir(os.path.join(desk.app, NEW)))}")
    kept = sorted(os.listdir(os.path.join(desk.app, set_aside[0])))
    s.log(f"set-aside folder {set_aside[0]} holds {kept}")
    if s.content(os.path.join(desk.app, set_aside[0], f"KVR-DB-{OLD}.MDB")) != before:
        raise s.Failure("the set-aside database differs from the database before the change")
    after = s.content(desk.member_db(NEW))
    if after != before:
        raise s.Failure("the new database differs from the database before the change")
    code = s.sql(desk.member_db(NEW), "SELECT ClinicCode FROM TClinicCode WHERE ID=0;")
    if code != [[NEW]]:
        raise s.Failure(f"the clinic code reads {code}")
    s.log(f"member {NEW} holds the same rows ({s.counts(after)}), clinic code {code[0][0]}")

    # A new start with the new number: no new-member question, the same examinations.
    t0 = time.monotonic()
    main = desk.start(NEW, new=False)
    s.log(f"restart with {NEW}: {time.monotonic() - t0:.1f} s to the entry screen")
    shown_after = {p: entry_list(desk, main, p) for p in PATIENTS}
    s.log(f"entry screen lists {shown_after}")
    if shown_after != shown_before:
        raise s.Failure(f"entry screen before {shown_before}, after {shown_after}")
    tools = s.open_tools(desk, main)
    s.select_tab(tools, "データの管理")
    if s.text_of(tools, "TxtKNoFrom") != NEW:
        raise s.Failure(f"the current number now reads {s.text_of(tools, 'TxtKNoFrom')!r}")
    s.log(f"tools screen shows the current number {NEW}")


if __name__ == "__main__":
    sys.exit(s.run_main(__doc__, walk, 480))
