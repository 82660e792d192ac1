#include "ExamSession.h"

#include "chart/ChartStats.h"
#include "data/ADODBMain.h"
#include "data/DataObjects.h"
#include "data/RecordUtil.h"
#include "exam/ExamObjects.h"
#include "platform/database.h"
#include "shell/AppState.h"

#include <optional>

namespace kvr {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The stage labels read from TComType, index = stage code.
QStringList& labels() {
    static QStringList l;
    return l;
}

// Runs body on the member connection (counted open) under the "[Error:" Retry/Cancel
// box. False when the user gave up.
bool withMemberDb(const std::function<void(const db::ConnectionPtr&)>& body) {
    MemberDbUse use;
    return runWithRetryBox([&] { body(memberConn()); });
}

QDate dateOf(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return {};
    if (v.typeId() == QMetaType::QString) return db::dateFromDb(v.toString()).date();
    return v.toDateTime().date();
}

// The earliest examination date of a stage, invalid when the patient has none.
QDate stageDate(const db::ConnectionPtr& conn, int patientId, int stage) {
    db::Recordset rs(conn,
                     "SELECT ExamDate FROM TExamData WHERE PatientID = ? AND CommentID=? ORDER BY ExamDate",
                     {patientId, stage});
    return rs.eof() ? QDate() : dateOf(rs.value("ExamDate"));
}

bool hasRows(const db::ConnectionPtr& conn, int patientId, const QDate& date) {
    db::Recordset rs(conn, "SELECT ID FROM TExamData WHERE PatientID=? AND ExamDate=?", {patientId, date});
    return !rs.eof();
}

// A number typed into a date box: decimal digits only (full-width digits too).
std::optional<int> numberOf(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 4) return std::nullopt;
    int n = 0;
    for (QChar c : t) {
        const int d = c.digitValue();
        if (d < 0) return std::nullopt;
        n = n * 10 + d;
    }
    return n;
}

// Fills one slot as a new examination record.
void prepareSlot(CExamData& slot, int row, int subExam, int patientId, const QDate& date, int chargeId,
                 const ToothStatus& status) {
    slot.ClearBuffer();
    slot.PatientID = patientId;
    slot.ExamDate = date.startOfDay();
    slot.Row = row;
    slot.Examination = 2;
    slot.SubExam = subExam;
    for (int t = 0; t < kTeeth; ++t)
        slot.setNBui(t, status[t]);
    slot.ChargeID = chargeId;
    slot.CommentID = 0;
    slot.Comment.clear();
}

// The slots a save writes: the four item rows that have an item, then 9 and 10.
QList<int> usedSlots() {
    QList<int> used;
    for (int i = 0; i < 4; ++i)
        if (SubExams()[i].ID != 0) used << i;
    used << kBleedingSlot << kPusSlot;
    return used;
}

// The patient row with the two box texts (added when missing), also into ThePatient().
void writePatientRow(const db::ConnectionPtr& conn, int patientId, const QString& inClinicNumber,
                     const QString& caseNumber) {
    CPatient& p = ThePatient();
    db::Recordset rs(conn, "SELECT * FROM TPatient WHERE ID=?", {patientId}, db::OpenMode::Write);
    if (rs.eof()) {
        p.ClearBuffer();
        rs.addNew();
    } else {
        p.RecSetGet(rs);
    }
    p.ID = patientId;
    p.KalteNumber = inClinicNumber;
    p.Address1 = caseNumber;
    p.AppName = "KVR-DB";
    p.UpDate = now();
    p.RecSetPut(rs);
    rs.update();
}

// The writing part of a save: the stage clearing, the removal of the replaced rows and
// the new rows, all in one transaction (one commit; a save that fails here leaves the
// examinations as they were). Returns the rows as written (for the slots) through
// written.
bool writeExamination(const SaveRequest& r, int action, const QDate& date,
                      std::array<CExamData, kExamSlots>& written) {
    const QString label = StageLabel(r.stage);
    const QList<int> used = usedSlots();
    return InMemberTransaction([&](const db::ConnectionPtr& conn) {
        written = ExamSlots();
        conn->execute("UPDATE TExamData SET CommentID=0, Comment='' WHERE PatientID=? AND CommentID=?",
                      {r.patientId, r.stage});
        if (action == kSaveNewReplace || action == kSaveMoveReplace)
            conn->execute("DELETE FROM TExamData WHERE PatientID=? AND ExamDate=?", {r.patientId, date});
        if (action == kSaveLoaded || action == kSaveMoveReplace)
            conn->execute("DELETE FROM TExamData WHERE PatientID=? AND ExamDate=?",
                          {r.patientId, r.loadedDate});
        db::Recordset rs(conn, "SELECT * FROM TExamData WHERE ID=?", {-1}, db::OpenMode::Write);
        const QDateTime stamp = now();
        for (int i : used) {
            CExamData& row = written[i];
            row.ID = GetNextNumber("TExamData");
            row.PatientID = r.patientId;
            row.ExamDate = date.startOfDay();
            row.Row = i;
            if (row.Examination == 0) row.Examination = 2;
            row.SubExam = i < 4 ? SubExams()[i].ID : 2;
            row.ChargeID = r.chargeId;
            row.CommentID = qint16(r.stage);
            row.Comment = label;
            row.UpDate = stamp;
            for (int t = 0; t < kTeeth; ++t)
                row.setNBui(t, r.status[t]);
            rs.addNew();
            row.RecSetPut(rs);
            rs.update();
        }
    });
}

MsgResult question(const QString& text, const QString& title, MsgButtons buttons = MsgButtons::YesNo,
                   int defaultButton = 0) {
    return msgBox(text, title, buttons, MsgIcon::Exclamation, defaultButton);
}

void critical(const QString& text, const QString& title) {
    msgBox(text, title, MsgButtons::Ok, MsgIcon::Critical);
}

} // namespace

bool InMemberTransaction(const std::function<void(const db::ConnectionPtr&)>& body) {
    return withMemberDb([&](const db::ConnectionPtr& conn) {
        conn->beginTransaction();
        try {
            body(conn);
            conn->commit();
        } catch (...) {
            try {
                conn->rollback();
            } catch (...) {
            }
            throw;
        }
    });
}

// ------------------------------------------------------------------ stage labels

QStringList LoadStageLabels() {
    QStringList l;
    for (int i = 0; i <= kMaxStageCode; ++i)
        l << QString();
    const bool ok = withMemberDb([&](const db::ConnectionPtr& conn) {
        for (QString& s : l)
            s.clear();
        db::Recordset rs(conn, "SELECT * FROM TComType ORDER BY ID");
        for (; !rs.eof(); rs.moveNext()) {
            const int code = rs.value("ID").toInt();
            if (code >= 0 && code <= kMaxStageCode) l[code] = textOf(rs, "Comment");
        }
    });
    if (ok) labels() = l;
    return labels().isEmpty() ? l : labels();
}

QString StageLabel(int stageCode) {
    if (labels().isEmpty()) LoadStageLabels();
    return stageCode >= 0 && stageCode < labels().size() ? labels()[stageCode] : QString();
}

// ------------------------------------------------------------------ item rows, staff

bool LoadSubExamRows() {
    std::array<CSubExam, 4> items;
    const bool ok = withMemberDb([&](const db::ConnectionPtr& conn) {
        for (int i = 0; i < 4; ++i) {
            items[i].ClearBuffer();
            db::Recordset rs(conn, "SELECT * FROM TSubExam WHERE DisplayRow=?", {i + 1});
            if (!rs.eof()) items[i].RecSetGet(rs);
        }
    });
    if (ok) SubExams() = items;
    return ok;
}

bool LoadCharge(int chargeId) {
    CCharge charge;
    bool found = false;
    const bool ok = withMemberDb([&](const db::ConnectionPtr& conn) {
        charge.ClearBuffer();
        db::Recordset rs(conn, "SELECT * FROM TCharge WHERE ID=?", {chargeId});
        found = !rs.eof();
        if (found) charge.RecSetGet(rs);
    });
    if (ok) TheCharge() = charge;
    return ok && found;
}

// ------------------------------------------------------------------ patients

QList<int> ListPatients() {
    QList<int> ids;
    for (int i = 1; i <= 30; ++i)
        ids << i;
    ids << 98 << 99;
    return ids;
}

QString PatientListText(int patientId) {
    return QString::number(patientId);
}

bool LoadPatient(int patientId) {
    bool found = false;
    CPatient& p = ThePatient();
    const bool ok = withMemberDb([&](const db::ConnectionPtr& conn) {
        db::Recordset rs(conn, "SELECT * FROM TPatient WHERE ID=?", {patientId});
        found = !rs.eof();
        if (found)
            p.RecSetGet(rs);
        else
            p.ClearBuffer();
    });
    return ok && found;
}

QString InClinicNumberOf(const CPatient& patient) {
    return patient.KalteNumber;
}

QString CaseNumberOf(const CPatient& patient) {
    return patient.Address1;
}

bool SavePatient(int patientId, const QString& inClinicNumber, const QString& caseNumber) {
    return withMemberDb(
        [&](const db::ConnectionPtr& conn) { writePatientRow(conn, patientId, inClinicNumber, caseNumber); });
}

bool CheckTypedPatientNumber(const QString& text, const QList<int>& patients, int& selected) {
    selected = 0;
    const QString t = text.trimmed();
    if (t.isEmpty()) return true;
    for (int id : patients) {
        if (PatientListText(id) == t) {
            selected = id;
            return true;
        }
    }
    critical(kPatientOutOfRangeText, kPatientOutOfRangeTitle);
    return false;
}

// ------------------------------------------------------------------ examinations

QString ExamEntryText(const QDate& date, int stage) {
    return ExamDateText(date) + "  " + StageLabel(stage);
}

QList<ExamEntry> ListExaminations(int patientId) {
    QList<ExamEntry> entries;
    StageLabel(0); // the labels are read before the list
    withMemberDb([&](const db::ConnectionPtr& conn) {
        entries.clear();
        db::Recordset rs(conn,
                         "SELECT ExamDate, CommentID FROM TExamData WHERE PatientID=? GROUP BY ExamDate, "
                         "CommentID ORDER BY ExamDate",
                         {patientId});
        for (; !rs.eof(); rs.moveNext()) {
            ExamEntry e;
            e.date = dateOf(rs.value("ExamDate"));
            e.stage = rs.value("CommentID").toInt();
            e.text = ExamEntryText(e.date, e.stage);
            entries << e;
        }
    });
    return entries;
}

bool LoadExamination(int patientId, const QDate& date, ToothStatus* status) {
    std::array<CExamData, kExamSlots> loaded;
    ToothStatus words{};
    const bool ok = withMemberDb([&](const db::ConnectionPtr& conn) {
        for (CExamData& s : loaded)
            s.ClearBuffer();
        words.fill(0);
        bool haveWords = false;
        db::Recordset rs(conn, "SELECT * FROM TExamData WHERE PatientID=? AND ExamDate=?", {patientId, date});
        for (; !rs.eof(); rs.moveNext()) {
            CExamData row;
            row.RecSetGet(rs);
            int slot = -1;
            if (row.Row == kBleedingSlot || row.Row == kPusSlot) {
                slot = row.Row;
            } else {
                for (int i = 0; i < 4; ++i)
                    if (SubExams()[i].ID != 0 && SubExams()[i].ID == row.SubExam) slot = i;
            }
            if (slot < 0) continue;
            loaded[slot] = row;
            if (!haveWords || slot == 0) words = row.statusWords();
            haveWords = true;
        }
    });
    if (!ok) return false;
    ExamSlots() = loaded;
    if (status) *status = words;
    return true;
}

void PrepareNewExaminationWithStatus(int patientId, const QDate& date, int chargeId,
                                     const ToothStatus& status) {
    std::array<CExamData, kExamSlots>& exam = ExamSlots();
    for (CExamData& s : exam)
        s.ClearBuffer();
    for (int i = 0; i < 4; ++i)
        prepareSlot(exam[i], i, SubExams()[i].Mode, patientId, date, chargeId, status);
    for (int i : {kBleedingSlot, kPusSlot})
        prepareSlot(exam[i], i, 2, patientId, date, chargeId, status);
}

void PrepareNewExamination(int patientId, const QDate& date, int chargeId, ToothStatus& status) {
    // When the database gives up, every tooth counts as present.
    if (!withMemberDb([&](const db::ConnectionPtr& conn) {
            CExamData::SetLastBui(patientId, date.startOfDay(), status, conn);
        }))
        status.fill(0);
    PrepareNewExaminationWithStatus(patientId, date, chargeId, status);
}

void SetSlotsToothStatus(const ToothStatus& status) {
    for (CExamData& s : ExamSlots())
        for (int t = 0; t < kTeeth; ++t)
            s.setNBui(t, status[t]);
}

// ------------------------------------------------------------------ saving

QDate ParseExamDate(const QString& year, const QString& month, const QString& day) {
    const auto y = numberOf(year), m = numberOf(month), d = numberOf(day);
    if (!y || !m || !d || *y < 100) return {};
    return QDate(*y, *m, *d); // invalid for 30 February and the like
}

QString ExamDateText(const QDate& date) {
    // The year is not padded: the no-examination date reads "100/01/01".
    return QStringLiteral("%1/%2/%3")
        .arg(date.year())
        .arg(date.month(), 2, 10, QChar('0'))
        .arg(date.day(), 2, 10, QChar('0'));
}

QString OverwriteQuestionText() {
    return "指定された検査日のデータが存在します。上書きしますか？" + kCrLf + kCrLf + "はい　：上書きする" +
           kCrLf + "いいえ：検査日入力に戻る";
}

QString ChangeDateQuestionText(const QString& oldDate, const QString& newDate) {
    return oldDate + "の検査データの検査日を" + newDate + "に変更しますか？" + kCrLf + kCrLf +
           "はい　　　：変更する" + kCrLf + "いいえ　　：この検査日（" + newDate + "）を追加する" + kCrLf +
           "キャンセル：検査日入力に戻る";
}

int DecideSaveAction(bool isNew, const QDate& loadedDate, const QDate& newDate, bool dateHasRows) {
    auto overwrite = [](int yes) {
        return question(OverwriteQuestionText(), "上書確認") == MsgResult::Yes ? yes : int(kSaveNone);
    };
    if (isNew) return dateHasRows ? overwrite(kSaveNewReplace) : kSaveNew;
    if (newDate == loadedDate) return kSaveLoaded;
    const MsgResult r = question(ChangeDateQuestionText(ExamDateText(loadedDate), ExamDateText(newDate)),
                                 "確認", MsgButtons::YesNoCancel);
    if (r == MsgResult::Yes) return dateHasRows ? overwrite(kSaveMoveReplace) : kSaveLoaded;
    if (r == MsgResult::No) return dateHasRows ? overwrite(kSaveNewReplace) : kSaveNew;
    return kSaveNone;
}

bool DateHasRows(int patientId, const QDate& date) {
    bool rows = false;
    withMemberDb([&](const db::ConnectionPtr& conn) { rows = hasRows(conn, patientId, date); });
    return rows;
}

SaveOutcome SaveExamination(const SaveRequest& r) {
    SaveOutcome out;
    if (r.patientId <= 0) {
        critical("患者番号を指定してください。", "患者番号エラー");
        out.focus = SaveFocus::PatientList;
        return out;
    }
    const QDate date = ParseExamDate(r.year, r.month, r.day);
    if (!date.isValid()) {
        critical("正しい検査日を入力してください。", "検査日エラー");
        out.focus = SaveFocus::DateYear;
        return out;
    }
    if (r.stage < 0) {
        critical("治療ステージを指定してください。", "治療ステージエラー");
        out.focus = SaveFocus::StageList;
        return out;
    }
    // The patient row comes first, on its own, before anything is asked: the boxes of the
    // patient are kept even when the user then turns the save back.
    if (!SavePatient(r.patientId, r.inClinicNumber, r.caseNumber)) return out;
    // The new date's rows only matter when the date is not the loaded one.
    bool dateRows = false;
    if (r.isNew || date != r.loadedDate) {
        if (!withMemberDb(
                [&](const db::ConnectionPtr& conn) { dateRows = hasRows(conn, r.patientId, date); }))
            return out;
    }
    out.action = DecideSaveAction(r.isNew, r.loadedDate, date, dateRows);
    if (out.action == kSaveNone) {
        out.focus = SaveFocus::DateYear;
        return out;
    }

    std::array<CExamData, kExamSlots> written;
    if (!writeExamination(r, out.action, date, written)) return out;
    ExamSlots() = written;
    out.saved = true;
    out.savedDate = date;
    return out;
}

QString SaveSuccessText() {
    return "正常に保存されました。　　" + kCrLf + kCrLf + "基準フォルダ： " + app().MemberFolder + kCrLf +
           kCrLf + "使用ファイル： " + app().MemberDbFile;
}

void ShowSaveSuccess() {
    msgBox(SaveSuccessText(), "正常終了", MsgButtons::Ok, MsgIcon::Information);
}

QString PostSaveDatabaseNotices(int patientId) {
    QString text;
    withMemberDb([&](const db::ConnectionPtr& conn) {
        text.clear();
        QString pct, count;
        if (CheckInitialCaseCriteria(conn, patientId, pct, count))
            text += kCrLf + "■初診時の症例は以下の通りです。" + kCrLf + "歯周ポケット４mm以上の部位が " +
                    pct + "％" + kCrLf + "６mm以上の歯周ポケットが " + count + "ヶ所" + kCrLf;
        if (CheckStagePeriod(conn, patientId))
            text += kCrLf + "■治療ステージの期間に問題がある場合があります｡";
    });
    return text;
}

// ------------------------------------------------------------------ stage interval

bool StageIntervalWarning(int patientId, int stage, const QDate& entered) {
    if (stage != 4 || !entered.isValid()) return false;
    bool warn = false;
    withMemberDb([&](const db::ConnectionPtr& conn) {
        warn = false;
        for (int earlier : {2, 3}) {
            const QDate d = stageDate(conn, patientId, earlier);
            if (d.isValid() && entered < d.addMonths(6)) {
                warn = true;
                return;
            }
        }
    });
    return warn;
}

// ------------------------------------------------------------------ unsaved changes

MsgResult AskSaveUnsaved() {
    return question(kUnsavedSaveText, "確認");
}

bool AskCloseUnsaved() {
    // Closing without saving loses the entries: No is the default answer.
    return question(kUnsavedCloseText, "確認", MsgButtons::YesNo, 1) == MsgResult::Yes;
}

// ------------------------------------------------------------------ deleting

bool DeleteExamination(int patientId, int stage, const QDate& date) {
    if (patientId <= 0) {
        critical("患者番号が指定されていません。", "患者番号エラー");
        return false;
    }
    if (stage < 0) {
        critical("治療ステージが指定されていません。", "治療ステージエラー");
        return false;
    }
    if (question("表示されているデータを削除します。よろしいですか？　　", "確認", MsgButtons::YesNo, 1) !=
        MsgResult::Yes)
        return false;
    // A new examination whose date boxes name no date has nothing stored to delete.
    int deleted = 0;
    if (date.isValid() && !InMemberTransaction([&](const db::ConnectionPtr& conn) {
            deleted =
                conn->execute("DELETE FROM TExamData WHERE PatientID=? AND ExamDate=?", {patientId, date});
        }))
        return false;
    // Only a deletion that happened is reported.
    if (deleted > 0)
        msgBox("表示されているデータを削除しました。", "表示データ削除完了", MsgButtons::Ok,
               MsgIcon::Information);
    return true;
}

bool DeletePatient(int patientId) {
    if (patientId <= 0) {
        critical("患者番号が指定されていません。", "患者番号エラー");
        return false;
    }
    if (question("表示されている患者番号の全データを削除します。よろしいですか？　　", "確認",
                 MsgButtons::YesNo, 1) != MsgResult::Yes)
        return false;
    if (!InMemberTransaction([&](const db::ConnectionPtr& conn) {
            conn->execute("DELETE FROM TExamData WHERE PatientID=?", {patientId});
            if (conn->tableExists("TPatientAdd"))
                conn->execute("DELETE FROM TPatientAdd WHERE ID=?", {patientId});
            conn->execute("DELETE FROM TPatient WHERE ID=?", {patientId});
        }))
        return false;
    msgBox("表示されている患者番号の全データを削除しました。", "１患者削除完了", MsgButtons::Ok,
           MsgIcon::Information);
    return true;
}

} // namespace kvr
