#!/usr/bin/env python3
"""Writes assets/template/03_content.sql: the content of the template database.

The item definitions (TSubExam), the treatment stage rows (TComType), the default
staff record (TCharge) and the sample patients 98 and 99 with examinations at all
four treatment stages. The examination rows use the stored text encoding: three
characters a cell over Data1-Data4 (144 characters each), six characters a signed
status word in Bui.

Run from anywhere:  python3 scripts/make-template-content.py
The output is deterministic (fixed random seeds).
"""
import os
import random

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "assets", "template", "03_content.sql")

NO_VALUE = 128
MISSING, PONTIC, IMPLANT, OTHER, DECIDUOUS = 0x8000, 0x4000, 0x2000, 0x1000, 0x0400

# Plaque surface bits of the first-pass cell (tooth t) and of the second-pass cell
# (tooth t + 48, surfaces not examined yet).
BUCCAL, MESIAL, LINGUAL, DISTAL = 1, 2, 4, 8
ALL_SURFACES = 15

STAGES = {1: "初診時", 2: "基本治療終了時", 3: "ＳＰＴ移行時", 4: "最新ＳＰＴ時"}

# Site index of the two-letter site labels per quadrant.
SITE = {
    0: {"BM": 2, "BC": 1, "BD": 0, "LM": 5, "LC": 4, "LD": 3},
    1: {"BM": 0, "BC": 1, "BD": 2, "LM": 3, "LC": 4, "LD": 5},
    2: {"BM": 5, "BC": 4, "BD": 3, "LM": 2, "LC": 1, "LD": 0},
    3: {"BM": 3, "BC": 4, "BD": 5, "LM": 0, "LC": 1, "LD": 2},
}


def quadrant(t):
    return t // 8


def is_remaining(status):
    return status & (MISSING | PONTIC | IMPLANT) == 0


def furcation_kind(t):
    if t in (0, 1, 2, 13, 14, 15):
        return 3
    if t in (3, 4, 11, 12):
        return 21
    if t in (16, 17, 18, 29, 30, 31):
        return 22
    return -1


# Sites at which the furcation of a tooth is examined, by furcation kind.
FURCATION_SITES = {3: (1, 3, 5), 21: (0, 2), 22: (1, 4)}


def sql_text(s):
    return "'" + s.replace("'", "''") + "'"


def encode_cells(cells):
    assert len(cells) == 192
    text = "".join("%3d" % c for c in cells)
    return [text[i * 144:(i + 1) * 144] for i in range(4)]


def encode_bui(words):
    assert len(words) == 32
    out = ""
    for w in words:
        signed = w - 0x10000 if w & 0x8000 else w
        out += "%6d" % signed
    return out


# ------------------------------------------------------------------ item definitions

SUBEXAMS = [
    # Pocket depth: six sites per tooth; bands 1-3 / 4-5 / 6 mm and more.
    dict(ID=2, Name="歯周ポケット", Mode=3, Status=0, CEJ=0, DisplayRow=1,
         BtnName=["1", "2", "3", "4", "5"], BtnVal=[1, 2, 3, 4, 5, 6, 7, 8, 9, 10],
         ValColor=[0x000000FF, 0x00000000, 0x000000FF, 0x0000C0FF],
         Brightness=[255, 255, 224, 176], GradPart=[1, 4, 6], SubName=["出血", "排膿", ""]),
    # Mobility: one value per tooth, degree 0-3; implants may be examined.
    dict(ID=1, Name="動揺度", Mode=1, Status=IMPLANT, CEJ=0, DisplayRow=2,
         BtnName=["0", "1", "2", "3", ""], BtnVal=[0, 1, 2, 3, 0, 0, 0, 0, 0, 0],
         ValColor=[0x00FF0000, 0x00000000, 0x00FF0000, 0x00808080],
         Brightness=[255, 240, 208, 176], GradPart=[1, 2, 3], SubName=["", "", ""]),
    # Furcation involvement: six-site cells at the furcation sites; 0 = no lesion.
    dict(ID=13, Name="根分岐部病変", Mode=6, Status=0, CEJ=0, DisplayRow=3,
         BtnName=["無", "Ⅰ度", "Ⅱ度", "Ⅲ度", ""], BtnVal=[0, 1, 2, 3, 0, 0, 0, 0, 0, 0],
         ValColor=[0x0000A0FF, 0x00000000, 0x0000A0FF, 0x00808080],
         Brightness=[255, 240, 208, 176], GradPart=[1, 2, 3], SubName=["", "", ""]),
    # Plaque: two passes per tooth (buccal side, lingual side); surface bit masks.
    dict(ID=3, Name="プラーク", Mode=4, Status=OTHER, CEJ=0, DisplayRow=4,
         BtnName=["あり", "なし", "", "", ""], BtnVal=[1, 0, BUCCAL, MESIAL, LINGUAL, DISTAL, 0, 0, 0, 0],
         ValColor=[0x000000FF, 0x00000000, 0x000000FF, 0x00C0C0C0],
         Brightness=[255, 255, 255, 255], GradPart=[1, 2, 4], SubName=["頬側", "舌側", ""]),
]


def subexam_sql(d):
    cols = ["ID", "Name", "Mode", "Status", "CEJ", "DisplayRow"]
    vals = [str(d["ID"]), sql_text(d["Name"]), str(d["Mode"]), str(d["Status"]), str(d["CEJ"]),
            str(d["DisplayRow"])]
    for i in range(5):
        cols.append("Btn%dName" % i)
        vals.append(sql_text(d["BtnName"][i]))
    for i in range(10):
        cols.append("Btn%dVal" % i)
        vals.append(str(d["BtnVal"][i]))
    for i in range(4):
        cols.append("ValColor%d" % i)
        vals.append(str(d["ValColor"][i]))
    for i in range(4):
        cols.append("Brightness%d" % i)
        vals.append(str(d["Brightness"][i]))
    for i in range(3):
        cols.append("GradPart%d" % i)
        vals.append(str(d["GradPart"][i]))
    for i in range(3):
        cols.append("SubName%d" % i)
        vals.append(sql_text(d["SubName"][i]))
    return 'INSERT INTO "TSubExam" (%s) VALUES (%s);' % (", ".join('"%s"' % c for c in cols), ", ".join(vals))


# ------------------------------------------------------------------ staff record

# Route pattern 1: upper teeth right to left, then lower teeth left to right.
# Six-site order by chart row: upper buccal R->L, upper palatal L->R, lower lingual
# R->L, lower buccal L->R (one continuous path round the arches).
CHARGE = dict(
    ID=1, Name="標準設定", VectorPattern=1,
    PocketPattern=0, PocketVector="URB8ULB1ULL8URL1LRL8LLL1LLB8LRB1",
    PocketPatternKihon=1,
    # Tooth by tooth, per quadrant segment of 12 characters: buccal first, then
    # lingual, each in the travel direction of route pattern 1.
    PocketVectorKihon="BDBCBMLMLCLD" + "BMBCBDLDLCLM" + "BMBCBDLDLCLM" + "BDBCBMLMLCLD",
    # Two passes: buccal side round both arches, then lingual side back.
    PlaquePattern="URB8ULB1LLB8LRB1LRL8LLL1ULL8URL1",
    PlaquePosition="33",
    PocketPosition="  1  1  1  1  1  1", PocketPositionKihon="  1  1  1  1  1  1",
)
assert len(CHARGE["PocketVectorKihon"]) == 48


def charge_sql(c):
    cols = list(c.keys()) + ["UpDate"]
    vals = []
    for k in c:
        v = c[k]
        vals.append(str(v) if isinstance(v, int) else sql_text(v))
    vals.append("'2024-08-01 00:00:00'")
    return 'INSERT INTO "TCharge" (%s) VALUES (%s);' % (", ".join('"%s"' % k for k in cols), ", ".join(vals))


# ------------------------------------------------------------------ sample patients


class Patient:
    def __init__(self, pid, name, ruby, birthday, sex, kalte, seed):
        self.pid, self.name, self.ruby, self.birthday, self.sex, self.kalte = pid, name, ruby, birthday, sex, kalte
        self.rng = random.Random(seed)


def make_depths(rng, severity, status):
    """Initial pocket depths: severity maps tooth -> (mesial/distal depth, centre depth)."""
    cells = [NO_VALUE] * 192
    for t in range(32):
        if not is_remaining(status[t]):
            continue
        prox, centre = severity.get(t, (3, 2))
        q = quadrant(t)
        for label, site in SITE[q].items():
            base = centre if label[1] == "C" else prox
            if label[0] == "L" and label[1] != "C":
                base += rng.choice((0, 0, 1))
            d = base + rng.choice((-1, 0, 0, 0, 1))
            cells[t * 6 + site] = max(1, min(12, d))
    return cells


def heal(rng, cells, status, stage):
    """Depths after therapy: deeper sites improve more."""
    out = [NO_VALUE] * 192
    for i, d in enumerate(cells):
        if d == NO_VALUE or not is_remaining(status[i // 6]):
            continue
        if stage == 2:
            gain = 2 if d >= 5 else 1 if d == 4 else 0
        elif stage == 3:
            gain = 1 if d >= 5 else 0
        else:  # latest SPT: stable, a few sites change by one millimetre
            gain = rng.choice((0, 0, 0, 0, 0, 0, 1, -1))
        out[i] = max(1, min(12, d - gain))
    return out


def marks(rng, depths, rate_by_depth):
    """Bleeding or pus marks (1) at measured sites, more likely at deeper sites."""
    out = [NO_VALUE] * 192
    for i, d in enumerate(depths):
        if d == NO_VALUE:
            continue
        p = rate_by_depth(d)
        if rng.random() < p:
            out[i] = 1
    return out


def plaque_cells(rng, status, rate):
    cells = [NO_VALUE] * 192
    for t in range(32):
        if is_remaining(status[t]):
            bits = 0
            for b in (BUCCAL, MESIAL, LINGUAL, DISTAL):
                if rng.random() < rate:
                    bits |= b
            cells[t] = bits
            cells[t + 48] = 0  # every surface examined
        else:
            cells[t + 48] = ALL_SURFACES  # nothing examined on this tooth
    return cells


def mobility_cells(mobility, status):
    cells = [NO_VALUE] * 192
    for t in range(32):
        s = status[t]
        if s & (MISSING | PONTIC) and not s & IMPLANT:
            continue
        cells[t] = 0 if s & IMPLANT else mobility.get(t, 0)
    return cells


def furcation_cells(furcation, status):
    cells = [NO_VALUE] * 192
    for t in range(32):
        kind = furcation_kind(t)
        if kind < 0 or not is_remaining(status[t]):
            continue
        for site in FURCATION_SITES[kind]:
            cells[t * 6 + site] = furcation.get((t, site), 0)
    return cells


def pcr(cells, status):
    surfaces = plaque = 0
    for t in range(32):
        if is_remaining(status[t]) and not cells[t] & 128:
            surfaces += 4
            plaque += bin(cells[t]).count("1")
    return 100.0 * plaque / surfaces if surfaces else 0.0


def bop(depths, bleeding, status):
    counted = bleed = 0
    for i, d in enumerate(depths):
        if d != NO_VALUE and is_remaining(status[i // 6]):
            counted += 1
            bleed += bleeding[i] == 1
    return 100.0 * bleed / counted if counted else 0.0


def build_patient(p, stages):
    """stages: list of dicts with keys date, status, mobility, furcation, plaque_rate, bop, pus."""
    rng = p.rng
    rows = []
    depths = None
    summary = []
    for n, st in enumerate(stages, start=1):
        status = st["status"]
        if n == 1:
            depths = make_depths(rng, st["severity"], status)
        else:
            depths = heal(rng, depths, status, n)
            for t in range(32):  # teeth lost since the last stage
                if not is_remaining(status[t]):
                    for s in range(6):
                        depths[t * 6 + s] = NO_VALUE
        bleeding = marks(rng, depths, st["bop"])
        pus = marks(rng, depths, st["pus"])
        plaque = plaque_cells(rng, status, st["plaque_rate"])
        items = [
            (0, 2, depths),
            (1, 1, mobility_cells(st["mobility"], status)),
            (2, 13, furcation_cells(st["furcation"], status)),
            (3, 3, plaque),
            (9, 2, bleeding),
            (10, 2, pus),
        ]
        for row, subexam, cells in items:
            rows.append(dict(PatientID=p.pid, ExamDate=st["date"], Row=row, SubExam=subexam, CommentID=n,
                             Comment=STAGES[n], cells=cells, bui=status))
        measured = [d for i, d in enumerate(depths) if d != NO_VALUE and is_remaining(status[i // 6])]
        summary.append((n, st["date"], sum(1 for s in status if is_remaining(s)), len(measured),
                        100.0 * sum(1 for d in measured if d >= 4) / max(1, len(measured)),
                        sum(1 for d in measured if d >= 6), bop(depths, bleeding, status), pcr(plaque, status)))
    return rows, summary


def patient_sql(p, last_exam):
    return ('INSERT INTO "TPatient" ("ID", "ClinicCode", "KalteNumber", "Ruby", "Name", "BirthDay", "Sex", "TEL", '
            '"Post", "Address1", "Address2", "NextExamDate", "LastExamDate", "Lock", "AppName", "UpDate") VALUES '
            "(%d, '', %s, %s, %s, %s, %d, '', '', '', '', NULL, '%s', 0, 'KVR-DB', '2024-08-01 00:00:00');"
            % (p.pid, sql_text(p.kalte), sql_text(p.ruby), sql_text(p.name), sql_text(p.birthday), p.sex,
               last_exam))


def exam_sql(key, r):
    d1, d2, d3, d4 = encode_cells(r["cells"])
    date = r["ExamDate"] + " 00:00:00"
    start = r["ExamDate"] + " 10:00:00"
    end = r["ExamDate"] + " 10:30:00"
    return ('INSERT INTO "TExamData" ("ID", "PatientID", "ExamDate", "Row", "Examination", "SubExam", "PocketFree", '
            '"StartTime", "EndTime", "ChargeID", "IsPrinted", "UpDate", "CommentID", "Comment", "Data1", "Data2", '
            '"Data3", "Data4", "Bui") VALUES (%d, %d, \'%s\', %d, 2, %d, 0, \'%s\', \'%s\', 1, 0, \'%s\', %d, %s, '
            "'%s', '%s', '%s', '%s', '%s');"
            % (key, r["PatientID"], date, r["Row"], r["SubExam"], start, end, end, r["CommentID"],
               sql_text(r["Comment"]), d1, d2, d3, d4, encode_bui(r["bui"])))


def status_words(missing=(), implants=(), pontics=(), deciduous=()):
    w = [0] * 32
    for t in missing:
        w[t] |= MISSING
    for t in implants:
        w[t] = IMPLANT
    for t in pontics:
        w[t] = PONTIC
    for t in deciduous:
        w[t] |= DECIDUOUS
    return w


def sample_98():
    p = Patient(98, "見本　太郎", "ミホン　タロウ", "1965/03/18", 0, "見本-98", 9801)
    # Generalised periodontitis (stage III, grade B): wisdom teeth missing, an implant
    # at 46, a bridge 35-[36]-37, the hopeless 17 extracted during basic therapy.
    wisdom = (0, 15, 16, 31)
    s1 = status_words(missing=wisdom, implants=(18,), pontics=(29,))
    s2 = status_words(missing=wisdom + (1,), implants=(18,), pontics=(29,))
    severity = {1: (9, 6), 2: (7, 4), 3: (5, 3), 4: (4, 3), 5: (4, 2), 6: (3, 2), 7: (4, 3),
                8: (4, 3), 9: (4, 2), 10: (4, 2), 11: (5, 3), 12: (5, 3), 13: (6, 4), 14: (7, 5),
                17: (7, 4), 19: (5, 3), 20: (4, 3), 21: (4, 2), 22: (5, 3), 23: (5, 4),
                24: (5, 4), 25: (5, 3), 26: (4, 2), 27: (4, 3), 28: (5, 3), 30: (6, 4)}
    mob1 = {1: 3, 2: 1, 14: 1, 17: 2, 22: 1, 23: 1, 24: 1, 25: 1, 30: 1}
    mob2 = {2: 1, 17: 1, 23: 1, 24: 1}
    mob3 = {17: 1}
    furc1 = {(1, 1): 3, (1, 3): 2, (2, 1): 2, (2, 3): 1, (13, 1): 1, (14, 5): 2, (17, 1): 2, (17, 4): 1,
             (30, 1): 1, (4, 0): 1}
    furc2 = {(2, 1): 2, (13, 1): 1, (14, 5): 1, (17, 1): 2, (30, 1): 1}
    furc3 = {(2, 1): 1, (14, 5): 1, (17, 1): 1}
    stages = [
        dict(date="2023-04-10", status=s1, severity=severity, mobility=mob1, furcation=furc1, plaque_rate=0.55,
             bop=lambda d: 0.85 if d >= 6 else 0.6 if d >= 4 else 0.2,
             pus=lambda d: 0.35 if d >= 7 else 0.08 if d >= 5 else 0.0),
        dict(date="2023-07-24", status=s2, mobility=mob2, furcation=furc2, plaque_rate=0.22,
             bop=lambda d: 0.5 if d >= 5 else 0.25 if d >= 4 else 0.06, pus=lambda d: 0.1 if d >= 6 else 0.0),
        dict(date="2024-01-22", status=s2, mobility=mob3, furcation=furc3, plaque_rate=0.14,
             bop=lambda d: 0.5 if d >= 5 else 0.25 if d >= 4 else 0.05, pus=lambda d: 0.0),
        dict(date="2024-07-29", status=s2, mobility=mob3, furcation=furc3, plaque_rate=0.17,
             bop=lambda d: 0.4 if d >= 5 else 0.15 if d >= 4 else 0.04, pus=lambda d: 0.0),
    ]
    return p, stages


def sample_99():
    p = Patient(99, "見本　花子", "ミホン　ハナコ", "1980/11/02", 1, "見本-99", 9901)
    # Localised periodontitis (stage II, grade A): wisdom teeth 18, 28, 48 missing, the
    # deciduous second molar retained in place of 25, 36 missing and replaced by an
    # implant before the move to SPT.
    wisdom = (0, 15, 16)
    s1 = status_words(missing=wisdom + (29,), deciduous=(12,))
    s3 = status_words(missing=wisdom, implants=(29,), deciduous=(12,))
    severity = {1: (5, 3), 2: (6, 4), 3: (4, 2), 13: (5, 3), 14: (5, 3), 17: (6, 4), 18: (5, 3),
                30: (5, 4), 31: (4, 3), 12: (3, 2), 22: (4, 2), 23: (4, 2), 24: (4, 2), 25: (4, 2)}
    mob1 = {2: 1, 13: 1, 17: 1, 30: 1, 12: 2}
    mob2 = {12: 1, 17: 1}
    mob3 = {12: 1}
    furc1 = {(2, 1): 1, (2, 5): 1, (13, 1): 1, (17, 1): 2, (30, 4): 1}
    furc2 = {(17, 1): 1, (30, 4): 1}
    furc3 = {(17, 1): 1}
    stages = [
        dict(date="2023-05-15", status=s1, severity=severity, mobility=mob1, furcation=furc1, plaque_rate=0.42,
             bop=lambda d: 0.8 if d >= 5 else 0.5 if d >= 4 else 0.15,
             pus=lambda d: 0.2 if d >= 6 else 0.0),
        dict(date="2023-08-21", status=s1, mobility=mob2, furcation=furc2, plaque_rate=0.18,
             bop=lambda d: 0.45 if d >= 4 else 0.05, pus=lambda d: 0.0),
        dict(date="2024-01-29", status=s3, mobility=mob3, furcation=furc3, plaque_rate=0.12,
             bop=lambda d: 0.3 if d >= 4 else 0.03, pus=lambda d: 0.0),
        dict(date="2024-08-05", status=s3, mobility=mob3, furcation=furc3, plaque_rate=0.1,
             bop=lambda d: 0.3 if d >= 4 else 0.04, pus=lambda d: 0.0),
    ]
    return p, stages


def main():
    lines = [
        "-- Content of the template database. Generated by scripts/make-template-content.py;",
        "-- edit the script, not this file.",
        "",
        "-- Treatment stage types.",
    ]
    lines.append("INSERT INTO \"TComType\" (\"ID\", \"Comment\", \"CommentDR\", \"CommentDH\", \"DR\", \"DH\") "
                 "VALUES (0, '', '', '', 1, 1);")
    for code, label in STAGES.items():
        lines.append("INSERT INTO \"TComType\" (\"ID\", \"Comment\", \"CommentDR\", \"CommentDH\", \"DR\", \"DH\") "
                     "VALUES (%d, %s, %s, %s, 1, 1);" % (code, sql_text(label), sql_text(label), sql_text(label)))
    lines += ["", "-- Examination item definitions (entry-screen rows 1-4)."]
    lines += [subexam_sql(d) for d in SUBEXAMS]
    lines += ["", "-- The default staff record and its entry order."]
    lines.append(charge_sql(CHARGE))

    key = 1
    report = []
    for make in (sample_98, sample_99):
        p, stages = make()
        rows, summary = build_patient(p, stages)
        lines += ["", "-- Sample patient %d." % p.pid]
        lines.append(patient_sql(p, stages[-1]["date"] + " 00:00:00"))
        for r in rows:
            lines.append(exam_sql(key, r))
            key += 1
        for s in summary:
            report.append("-- patient %d stage %d %s: teeth %d, sites %d, >=4mm %.1f%%, >=6mm %d, BOP %.1f%%, "
                          "PCR %.1f%%" % ((p.pid,) + s))
    lines += ["", "-- Figures of the sample examinations (for checking the sheets):"] + report
    with open(OUT, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    print("\n".join(report))


if __name__ == "__main__":
    main()
