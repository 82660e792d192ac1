#!/usr/bin/python3
"""Walkthrough: a new member brings the previous version's database and prints a case.

Drives the real built program (a copy of the program folder, its own HOME) in a private X
server over the accessibility bus, with the harness of tests/e2e/entry_flow.py, the way a
new user goes:

1. starts the program with a new member number and accepts the entry screen's offer to
   import the previous version's data, which opens the tools screen on the import tab;
2. presses "インポート実行" on the preset path (no previous version on this machine:
   refused), then picks, in the file dialog, an Access file that is not the previous
   version's (the shared DateTest file: refused, naming what it lacks), then the previous
   version's file brought on a USB stick (an SQLCipher file keyed with the previous
   version's password, written here from the template's sample examinations: patients 1-3
   with Japanese names, and a patient 98 that must not be copied);
3. chooses the second option (delete only the patients the file brings), imports, answers
   every box and times the import from "はい" to the completion box;
4. back on the entry screen, picks each imported patient and reads its examination list;
5. opens the chart screen for patient 1 and writes its chart sheet and data sheet as PDF
   files into HOME/Desktop/KVR-DB-SAVE; checks them with pdftotext and pdffonts and
   renders their first pages with pdftoppm;
6. reads the member database with sqlcipher: the patients, their rows, the sample patient
   98 untouched, the import marker.

Screenshots are written to docs/screenshots/ (import-walkthrough-*.png: the import tab
filled in, the entry screen with imported patient 1, the first pages of the chart sheet's
and the data sheet's PDF files); the chart screen goes into the work folder. With KVR_WALK_SHOTS=0 all
stay in the work folder, which KVR_WALK_KEEP=1 keeps. KVR_WALK_LARGE=1 adds patients 4-30
with 200 examination rows each to the previous version's file, to time a full import.
This is a tool to run by hand after `make build`, not a test:

    scripts/walkthrough/import_previous.py build/app

Exit status 0 when every step went as expected, 1 when one did not.
"""
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import steps as s  # noqa: E402
from steps import e, MAIN_TITLE, TOOLS_TITLE  # noqa: E402

MEMBER = "135790"
CHART_TITLE = "チャート表示・印刷"
DIALOG_TITLE = "旧版KVR-ChartのDBファイルを選択して下さい"
SHARED_TESTDATA = os.environ.get("KVR_SHARED_TESTDATA", "/work/shared/testdata")  # as the tests' CMake cache
LARGE = os.environ.get("KVR_WALK_LARGE") == "1"  # 30 patients, 200 rows each for 4-30

# The previous version's case patients: number, name, reading, birth day, sex, chart number,
# case number (kept in Address1, as this program keeps it), the template's sample patient
# whose examinations they get, and the stages taken.
PATIENTS = [
    (1, "山田　太郎", "ヤマダ　タロウ", "1958/06/12", 0, "K-0101", "A101", 99, (1, 2, 3, 4)),
    (2, "佐藤　恵子", "サトウ　ケイコ", "1972/02/29", 1, "K-0102", "", 98, (1, 2, 3, 4)),
    (3, "鈴木　一郎", "スズキ　イチロウ", "1949/11/03", 0, "K-0103", "A103", 99, (1, 2)),
]


def constant(name):
    return s.constant("src/platform/passwords.h", name)


def write_previous_file(path, template):
    """The previous version's file: its two tables with its columns (no defaults), the
    patients above with the template's sample examinations four years earlier, and a
    sample patient 98 of its own."""
    rows = []
    for pid, name, ruby, birth, sex, kalte, case, source, stages in PATIENTS:
        rows.append(f"INSERT INTO TPatient VALUES ({pid}, '654321', '{kalte}', '{ruby}', '{name}', '{birth}', {sex},"
                    f" '03-1234-5678', '100-0001', '{case}', '', NULL, NULL, 0, 'KVR-Chart',"
                    f" '2020-09-01 10:00:00');")
        rows.append(f"INSERT INTO TExamData SELECT {pid} * 1000 + ID, {pid}, datetime(ExamDate, '-4 years'), Row,"
                    " Examination, SubExam, PocketFree, StartTime, EndTime, ChargeID, IsPrinted,"
                    " datetime(ExamDate, '-4 years'), CommentID, Comment, Data1, Data2, Data3, Data4, Bui"
                    f" FROM org.TExamData WHERE PatientID={source} AND CommentID IN {stages + (0,)};")
    if LARGE:  # patients 4-30 with 200 rows each: the template's 99 again and again, a week apart
        for pid in range(4, 31):
            rows.append(f"INSERT INTO TPatient (ID, KalteNumber, Name, Ruby, BirthDay, Sex) VALUES ({pid},"
                        f" 'K-{pid:04}', '患者{pid}', 'カンジャ{pid}', '1960/04/01', {pid % 2});")
            rows.append("WITH RECURSIVE k(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM k WHERE n < 8)"
                        f" INSERT INTO TExamData SELECT {pid} * 100000 + n * 1000 + ID, {pid},"
                        " datetime(ExamDate, '-4 years', (-7 * n) || ' days'), Row, Examination, SubExam,"
                        " PocketFree, StartTime, EndTime, ChargeID, IsPrinted, ExamDate, CommentID, Comment,"
                        " Data1, Data2, Data3, Data4, Bui FROM org.TExamData, k WHERE PatientID=99"
                        " ORDER BY n, ID LIMIT 200;")
    sql = f"""
CREATE TABLE TPatient ("ID" INTEGER NOT NULL PRIMARY KEY, ClinicCode VARCHAR(50), KalteNumber VARCHAR(50),
  Ruby VARCHAR(100), Name VARCHAR(100), BirthDay VARCHAR(10), Sex SMALLINT, TEL VARCHAR(50), Post VARCHAR(20),
  Address1 VARCHAR(200), Address2 VARCHAR(200), NextExamDate DATETIME, LastExamDate DATETIME, "Lock" TINYINT,
  AppName VARCHAR(100), "UpDate" DATETIME);
CREATE TABLE TExamData ("ID" INTEGER NOT NULL PRIMARY KEY, PatientID INTEGER, ExamDate DATETIME, "Row" INTEGER,
  Examination INTEGER, SubExam INTEGER, PocketFree SMALLINT, StartTime DATETIME, EndTime DATETIME,
  ChargeID INTEGER, IsPrinted BIT, "UpDate" DATETIME, CommentID SMALLINT, Comment VARCHAR(100),
  Data1 VARCHAR(144), Data2 VARCHAR(144), Data3 VARCHAR(144), Data4 VARCHAR(144), Bui VARCHAR(192));
PRAGMA cipher_default_page_size=4096;
ATTACH DATABASE '{template}' AS org KEY '{constant("kProgramPassword")}';
BEGIN;
{chr(10).join(rows)}
INSERT INTO TPatient (ID, KalteNumber, Name, Ruby, BirthDay, Sex) VALUES (98, 'S-98', '旧版見本', 'キュウバンミホン',
  '1950/01/01', 0);
COMMIT;
SELECT PatientID, count(*) FROM TExamData GROUP BY PatientID;"""
    counts = s.sql(path, sql, constant("kPreviousVersionPassword"))
    e.log(f"previous version's file {path}: examination rows per patient {counts}")
    return {int(p): int(n) for p, n in counts}


class Walk(s.Desktop):
    def __init__(self, program_folder, work):
        super().__init__(program_folder, work)
        self.findings = []

    def note(self, text):
        self.findings.append(text)
        e.log(text)

    def choose_file(self, tools, path):
        """CmdPathImpKVRChart, then Qt's own file dialog (there is no desktop environment):
        the path typed into its file-name box and the dialog accepted."""
        e.press(e.find(tools, desc="CmdPathImpKVRChart"))
        s.choose_in_file_dialog(self, DIALOG_TITLE, path, "開く")
        shown = e.wait_for("the chosen path", lambda: path_shown(tools) == path and path)
        e.log(f"file chosen: {shown}")

    def run(self):
        prev_dir = os.path.join(self.home, "USB")
        os.makedirs(prev_dir)
        prev_file = os.path.join(prev_dir, "VAZUZ2.MDB")
        exam_rows = write_previous_file(prev_file, os.path.join(self.app, "KVR-DB_ORG.MDB"))
        access_file = os.path.join(prev_dir, "DateTestDatabase.mdb")
        shutil.copy(os.path.join(SHARED_TESTDATA, "DateTestDatabase.mdb"), access_file)
        os.chmod(access_file, 0o600)

        # 1. A new member; the entry screen's import offer accepted.
        main = self.start(MEMBER, new=True, import_offer="はい")
        self.note(f"import offer accepted: {self.offer.splitlines()[0]}")
        # No patient is chosen yet, so the tools screen says its information tab is hidden.
        text = e.answer_box("確認", "追加情報は表示されません", "OK")
        self.note(f"then: {text.strip()}")
        tools = e.window_named(TOOLS_TITLE)
        tab = e.wait_for("the import tab", lambda: e.find(tools, desc="CmdImpKVRChart"))
        e.wait_for("the import tab shown", lambda: showing(tab))
        preset = path_shown(tools)
        self.note(f"tools screen opened on the import tab; preset path {preset}")
        if preset != os.path.join(self.work, "KVR2", "VAZUZ2.MDB"):
            raise e.Failure(f"preset path {preset!r}")

        # 2. The preset names no file here; an Access file without the tables is refused.
        e.press(tab)
        text = e.answer_box("指定エラー", "", "OK")
        self.note(f"preset path refused: {text.strip()}")
        self.choose_file(tools, access_file)
        e.press(tab)
        text = e.answer_box("指定エラー", "", "OK")
        self.note(f"Access file without the tables refused: {' '.join(text.split())}")
        if os.path.exists(os.path.join(self.app, MEMBER, f"KVR-DB-{MEMBER}.MDB")) and \
                self.patients() != [["98", "見本　太郎", "1965/03/18"], ["99", "見本　花子", "1980/11/02"]]:
            raise e.Failure("the member database changed by a refused import")

        # 3. The previous version's file, option 1, the import.
        self.choose_file(tools, prev_file)
        e.press(e.find(tools, desc="OptBefore(1)"))
        e.wait_for("option 1 chosen", lambda: checked(e.find(tools, desc="OptBefore(1)")))
        self.shot(TOOLS_TITLE, "import-walkthrough-tab-filled.png")
        e.press(tab)
        e.answer_box("確認", "インポートを開始します。", "はい")
        t0 = time.monotonic()
        done = e.answer_box("完了", "", "OK", timeout=60)
        elapsed = time.monotonic() - t0
        self.note(f"import completed in {elapsed:.2f} s (from はい to the completion box): {done.strip()}")
        if "インポートが完了しました" not in done:
            raise e.Failure(f"unexpected completion text {done!r}")
        e.press(e.find(tools, desc="CmdEnd"))
        e.wait_for("the tools screen to close", lambda: not any(w.name == TOOLS_TITLE for w in e.windows()), 15)

        # 4. The imported patients on the entry screen.
        for pid, _, _, _, _, kalte, case, _, stages in PATIENTS:
            entries = self.pick_patient(main, pid)
            shown = (text_of(e.find(main, desc="TxtInNo")), text_of(e.find(main, desc="TxtApplyNo")))
            self.note(f"entry screen, patient {pid}: 院内番号, 症例番号 {shown}, examinations {entries}")
            if len(entries) != len(stages) or shown != (kalte, case):
                raise e.Failure(f"patient {pid} shows {shown} and lists {entries}")
        self.pick_patient(main, 1)
        self.shot(MAIN_TITLE, "import-walkthrough-entry-patient1.png")

        # 5. The chart screen of patient 1; both sheets of a specialist written as PDF.
        e.press(e.find(main, desc="CmdChartDR"))
        chart = e.window_named(CHART_TITLE)
        for button in ("BtnPrintChart3", "BtnPrintData3"):
            e.press(e.wait_for(f"the button {button}", lambda: e.find(chart, desc=button)))
            text = e.answer_box("完了", "プリンタへの出力が完了しました。", "OK", timeout=60)
            self.note(f"{button}: {text.strip()}")
        self.shot(CHART_TITLE, "import-walkthrough-chart-screen.png", folder=self.work)
        self.check_pdfs()
        e.press(e.find(chart, name="入力画面に戻る", role="push button"))
        e.wait_for("the chart screen to close", lambda: not any(w.name == CHART_TITLE for w in e.windows()), 15)

        # 6. What the member database holds.
        patients = self.patients()
        self.note(f"member patients: {patients}")
        expected = [[str(p), n, b] for p, n, _, b, *_ in PATIENTS] + \
            [[str(p), f"患者{p}", "1960/04/01"] for p in range(4, 31) if LARGE] + \
            [["98", "見本　太郎", "1965/03/18"], ["99", "見本　花子", "1980/11/02"]]
        if patients != expected:
            raise e.Failure(f"member patients {patients}")
        counts = {int(p): int(n) for p, n in self.member_sql(
            "SELECT PatientID, count(*) FROM TExamData WHERE PatientID<=30 GROUP BY PatientID;")}
        marker = self.member_sql("SELECT ClinicName FROM TClinicCode;")
        self.note(f"member examination rows {counts} (file had {exam_rows}); ClinicName {marker}")
        if counts != {p: n for p, n in exam_rows.items() if p <= 30} or marker != [["1"]]:
            raise e.Failure("the member database does not hold the import")
        if self.program.poll() is not None:
            raise e.Failure("the program ended on its own")

    def pick_patient(self, main, pid):
        """The patient typed into the patient list and left with Tab; returns the
        examination list's entries."""
        import pyatspi
        e.activate(self.env, "ヴェルダ学会")
        combo = e.wait_for("the patient list", lambda: e.find(main, desc="CmbOutNo"))
        edit = e.find(combo, role="text") or combo
        x, y, w, h = edit.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1"], env=self.env,
                       check=True, timeout=10)
        e.wait_for("the patient list focused", lambda: e.focused(main, "CmbOutNo"))
        e.keys(self.env, "ctrl+a", *str(pid), "Tab")
        e.wait_for(f"patient {pid}", lambda: e.name_of(e.find(main, desc="CmbOutNo")) == str(pid))
        entries = e.find(main, desc="CmbEntry")
        time.sleep(0.5)
        return combo_items(entries)

    def check_pdfs(self):
        folder = os.path.join(self.home, "Desktop", "KVR-DB-SAVE")
        pdfs = sorted(f for f in os.listdir(folder) if f.endswith(".pdf"))
        self.note(f"KVR-DB-SAVE holds {pdfs}")
        if len(pdfs) != 2:
            raise e.Failure(f"PDF files {pdfs}")
        for name in pdfs:
            path = os.path.join(folder, name)
            text = subprocess.run(["pdftotext", "-layout", path, "-"], capture_output=True, text=True).stdout
            fonts = subprocess.run(["pdffonts", path], capture_output=True, text=True).stdout.splitlines()[2:]
            pages = subprocess.run(["pdfinfo", path], capture_output=True, text=True).stdout
            pages = re.search(r"Pages:\s+(\d+)", pages).group(1)
            embedded = all(" yes " in f for f in fonts)
            self.note(f"{name}: {pages} page(s), {os.path.getsize(path) // 1024} kB, fonts "
                      f"{sorted({f.split()[0].split('+')[-1] for f in fonts})} all embedded: {embedded}; "
                      f"text {' '.join(text.split())[:160]!r}")
            chart = "_C_" in name
            docs = s.SCREENSHOTS if os.environ.get("KVR_WALK_SHOTS") != "0" else self.work
            out = os.path.join(docs,
                               "import-walkthrough-" + ("chart-sheet" if chart else "data-sheet"))
            subprocess.run(["pdftoppm", "-r", "60", "-png", "-f", "1", "-l", "1", "-singlefile", path, out],
                           check=True, timeout=60)
            e.log(f"first page rendered to {out}.png")
            if not embedded:
                raise e.Failure(f"{name} has fonts that are not embedded")

    def member_sql(self, statements):
        return s.sql(self.member_db(MEMBER), statements)

    def patients(self):
        return self.member_sql("SELECT ID, Name, BirthDay FROM TPatient ORDER BY ID;")


def showing(node):
    import pyatspi
    node.clearCache()
    return node.getState().contains(pyatspi.STATE_SHOWING)


def checked(node):
    import pyatspi
    node.clearCache()
    return node.getState().contains(pyatspi.STATE_CHECKED)


def text_of(node):
    """What a label or text box shows."""
    node.clearCache()
    try:
        return node.queryText().getText(0, -1)
    except NotImplementedError:
        return node.name or ""


def path_shown(tools):
    """The path of LblImpKVRChart, read as a screen reader hears it: after its caption."""
    return e.name_of(e.find(tools, desc="LblImpKVRChart")).split("：", 1)[-1]


def combo_items(combo):
    """The entries of a combo box's list."""
    combo.clearCache()
    for n in e.walk(combo):
        if n.getRoleName() == "list":
            return [n.getChildAtIndex(i).name for i in range(n.childCount)]
    return []


def walk(desk):
    try:
        desk.run()
    finally:
        print("\nwhat was seen:\n" + "\n".join("  " + f for f in desk.findings), flush=True)


if __name__ == "__main__":
    sys.exit(s.run_main(__doc__, walk, 240, Walk))
