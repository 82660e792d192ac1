#include "CExamData.h"

#include "data/ADODBMain.h"
#include "data/RecordUtil.h"
#include "data/SchemaMaintenance.h"
#include "platform/database.h"
#include "platform/services.h"

namespace kvr {

namespace {

int decodePiece(QStringView piece, const char* column) {
    bool ok = false;
    const QStringView trimmed = piece.trimmed();
    int v = trimmed.toInt(&ok);
    if (!ok && !trimmed.isEmpty())
        throw RuntimeError(13, QString("Type mismatch in column %1: '%2'").arg(column, piece.toString()));
    return v;
}

QString textOf(const db::Recordset& rs, const char* column) {
    QVariant v = rs.value(column);
    return v.isNull() ? QString() : v.toString();
}

} // namespace

QString encodeCells(const std::array<std::uint8_t, kCells>& cells) {
    QString out;
    out.reserve(kCells * 3);
    for (std::uint8_t c : cells)
        out += QString::number(c).rightJustified(3, ' ');
    return out;
}

void decodeCells(const QString& text, std::array<std::uint8_t, kCells>& cells) {
    cells.fill(0);
    const int pieces = (int(text.size()) + 2) / 3;
    for (int k = 0; k < pieces && k < kCells; ++k)
        cells[k] = std::uint8_t(decodePiece(QStringView(text).mid(k * 3, 3), "Data"));
}

QString encodeStatusWords(const std::array<std::uint16_t, kTeeth>& words) {
    QString out;
    out.reserve(kTeeth * 6);
    for (std::uint16_t w : words)
        out += QString::number(std::int16_t(w)).rightJustified(6, ' ');
    return out;
}

void decodeStatusWords(const QString& text, std::array<std::uint16_t, kTeeth>& words) {
    words.fill(0);
    const int pieces = (int(text.size()) + 5) / 6;
    for (int k = 0; k < pieces && k < kTeeth; ++k)
        words[k] = std::uint16_t(std::int16_t(decodePiece(QStringView(text).mid(k * 6, 6), "Bui")));
}

CExamData::CExamData() {
    data_.fill(kNoValue);
    bui_.fill(0);
}

std::uint8_t CExamData::bData(int index) const {
    return index >= 0 && index < kCells ? data_[index] : 0;
}
void CExamData::setBData(int index, std::uint8_t value) {
    if (index >= 0 && index < kCells) data_[index] = value;
}
std::uint16_t CExamData::nBui(int index) const {
    return index >= 0 && index < kTeeth ? bui_[index] : 0;
}
void CExamData::setNBui(int index, std::uint16_t value) {
    if (index >= 0 && index < kTeeth) bui_[index] = value;
}

void CExamData::ClearBuffer() {
    ID = PatientID = Row = Examination = SubExam = ChargeID = 0;
    PocketFree = CommentID = 0;
    IsPrinted = false;
    const QDateTime t = now();
    ExamDate = StartTime = EndTime = UpDate = t;
    Comment.clear();
    data_.fill(kNoValue);
    bui_.fill(0);
}

void CExamData::RecSetGet(const db::Recordset& rs) {
    ID = rs.value("ID").toInt();
    PatientID = rs.value("PatientID").toInt();
    ExamDate = rs.value("ExamDate").toDateTime();
    Row = rs.value("Row").toInt();
    Examination = rs.value("Examination").toInt();
    SubExam = rs.value("SubExam").toInt();
    PocketFree = qint16(rs.value("PocketFree").toInt());
    StartTime = rs.value("StartTime").toDateTime();
    EndTime = rs.value("EndTime").toDateTime();
    ChargeID = rs.value("ChargeID").toInt();
    IsPrinted = rs.value("IsPrinted").toBool();
    UpDate = rs.value("UpDate").toDateTime();
    CommentID = qint16(rs.value("CommentID").toInt());
    Comment = textOf(rs, "Comment");
    decodeCells(textOf(rs, "Data1") + textOf(rs, "Data2") + textOf(rs, "Data3") + textOf(rs, "Data4"), data_);
    decodeStatusWords(textOf(rs, "Bui"), bui_);
}

void CExamData::RecSetPut(db::Recordset& rs) const {
    rs.setValue("ID", ID);
    rs.setValue("PatientID", PatientID);
    rs.setValue("ExamDate", dateValue(ExamDate));
    rs.setValue("Row", Row);
    rs.setValue("Examination", Examination);
    rs.setValue("SubExam", SubExam);
    rs.setValue("PocketFree", PocketFree);
    rs.setValue("StartTime", dateValue(StartTime));
    rs.setValue("EndTime", dateValue(EndTime));
    rs.setValue("ChargeID", ChargeID);
    rs.setValue("IsPrinted", IsPrinted);
    rs.setValue("UpDate", dateValue(UpDate));
    rs.setValue("CommentID", CommentID);
    rs.setValue("Comment", Comment);
    const QString text = encodeCells(data_);
    rs.setValue("Data1", text.mid(0, 144));
    rs.setValue("Data2", text.mid(144, 144));
    rs.setValue("Data3", text.mid(288, 144));
    rs.setValue("Data4", text.mid(432, 144));
    rs.setValue("Bui", encodeStatusWords(bui_));
}

qint16 CExamData::GetRestToothCount() const {
    qint16 n = 0;
    for (std::uint16_t w : bui_)
        if (isRemainingTooth(w)) ++n;
    return n;
}

QChar toothLabel(int tooth, std::uint16_t status) {
    if (tooth < 0 || tooth >= kTeeth) return QChar(' ');
    return QChar((status & kDeciduous) ? kDeciduousToothLabels[tooth] : kToothLabels[tooth]);
}

void CExamData::GetRestToothStr(QString& upper, QString& lower) const {
    upper.clear();
    lower.clear();
    for (int t = 0; t < kTeeth; ++t) {
        QChar c = isRemainingTooth(bui_[t]) ? toothLabel(t, bui_[t]) : QChar(' ');
        (t < 16 ? upper : lower) += c;
    }
}

bool CExamData::SetLastBui(qint32 patientId, const QDateTime& examDate,
                           std::array<std::uint16_t, kTeeth>& status,
                           const std::shared_ptr<db::Connection>& conn) {
    status.fill(0);
    std::unique_ptr<MemberDbUse> use;
    db::ConnectionPtr c = conn;
    if (!c) {
        use = std::make_unique<MemberDbUse>();
        c = memberConn();
    }
    db::Recordset rs(
        c, "SELECT * FROM TExamData WHERE PatientID=? AND ExamDate<? AND \"Row\"=0 ORDER BY ExamDate DESC",
        {patientId, examDate.date().startOfDay()});
    if (rs.eof()) return false;
    decodeStatusWords(textOf(rs, "Bui"), status);
    return true;
}

int UpgradeExamItem3() {
    // A failing statement is skipped and the upgrade goes on with the next one.
    auto attempt = [](auto&& statement) {
        try {
            statement();
            return true;
        } catch (const RuntimeError&) {
            return false;
        }
    };
    int changedRows = 0;
    MemberDbUse use;
    db::ConnectionPtr conn = memberConn();
    if (!conn) return 0;
    const bool inTransaction = attempt([&] { conn->beginTransaction(); });
    db::Recordset rs;
    if (attempt([&] {
            rs.open(conn, "SELECT * FROM TExamData WHERE " + ExamItem3WorkCondition(), {},
                    db::OpenMode::Write);
        })) {
        for (; !rs.eof(); rs.moveNext()) {
            attempt([&] {
                CExamData e;
                e.RecSetGet(rs);
                bool changed = false;
                for (int t = 0; t < kTeeth; ++t) {
                    if (e.bData(t + 48) == kNoValue) {
                        e.setBData(t + 48, e.bData(t) != kNoValue ? 0 : 15);
                        changed = true;
                    }
                    if ((e.nBui(t) & (kImplant | kPontic)) && e.bData(t) != kNoValue) {
                        e.setBData(t, kNoValue);
                        e.setBData(t + 48, 15);
                        changed = true;
                    }
                }
                if (changed) {
                    e.RecSetPut(rs);
                    rs.update();
                    ++changedRows;
                }
            });
        }
        rs.close();
    }
    attempt([&] {
        db::Recordset v(conn, "SELECT * FROM TVersion WHERE ID=1", {}, db::OpenMode::Write);
        if (!v.eof()) {
            v.setValue("Major", 1);
            v.setValue("Minor", 0);
            v.setValue("Revision", 1);
            v.update();
        }
    });
    if (inTransaction && !attempt([&] { conn->commit(); })) attempt([&] { conn->rollback(); });
    return changedRows;
}

int FurcationKind(int tooth) {
    if ((tooth >= 0 && tooth <= 2) || (tooth >= 13 && tooth <= 15)) return 3;
    if ((tooth >= 3 && tooth <= 4) || (tooth >= 11 && tooth <= 12)) return 21;
    if ((tooth >= 16 && tooth <= 18) || (tooth >= 29 && tooth <= 31)) return 22;
    return -1;
}

bool isFurcationSiteOfKind(int furcationKind, int site) {
    switch (furcationKind) {
    case 3:
        return site == 1 || site == 3 || site == 5;
    case 21:
        return site == 0 || site == 2;
    case 22:
        return site == 1 || site == 4;
    default:
        return false;
    }
}

} // namespace kvr
