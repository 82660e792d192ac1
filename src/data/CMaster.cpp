#include "CMaster.h"

#include "RecordUtil.h"
#include "platform/services.h"

#include <QFile>
#include <QStringDecoder>

#include <QRegularExpression>
#include <iconv.h>

namespace kvr {

QDate NoDate() {
    return QDate(1753, 1, 1);
}

QStringList SplitMasterLine(const QString& line) {
    QStringList fields;
    const int n = int(line.size());
    int i = 0;
    while (i <= n && fields.size() < 11) {
        // Blanks before an opening quote do not count.
        int j = i;
        while (j < n && (line[j] == ' ' || line[j] == '\t'))
            ++j;
        if (j < n && line[j] == '"') {
            int close = int(line.indexOf('"', j + 1));
            if (close < 0) close = n;
            fields << line.mid(j + 1, close - j - 1);
            int comma = int(line.indexOf(',', close));
            if (comma < 0) break;
            i = comma + 1;
        } else {
            int comma = int(line.indexOf(',', i));
            if (comma < 0) {
                fields << line.mid(i).trimmed();
                break;
            }
            fields << line.mid(i, comma - i).trimmed();
            i = comma + 1;
        }
    }
    return fields;
}

namespace {

// The leading integer of a field (0 when there is none), as the list's numbers are read.
qint32 numberOf(const QString& field) {
    static const QRegularExpression re(R"(^\s*([+-]?\d+))");
    auto m = re.match(field);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

} // namespace

QDate ParseMasterDate(const QString& text) {
    const QString t = text.trimmed();
    for (const char* f : {"yyyy/MM/dd", "yyyy/M/d", "yyyy-MM-dd", "yyyy-M-d", "yyyyMMdd"}) {
        QDate d = QDate::fromString(t, f);
        if (d.isValid()) return d;
    }
    QDate d = QDate::fromString(t.left(10), "yyyy-MM-dd");
    return d.isValid() ? d : NoDate();
}

MasterFile ParseMasterText(const QString& text) {
    MasterFile out;
    out.date = NoDate();
    QString all = text;
    if (all.startsWith(QChar(0xFEFF))) all.remove(0, 1);
    for (const QString& raw : all.split('\n')) {
        QString line = raw;
        if (line.endsWith('\r')) line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('\'')) continue;
        const QStringList f = SplitMasterLine(line);
        if (f.size() < 5) continue;
        MasterLine m;
        m.IDLG = numberOf(f[0]);
        m.IDSG = numberOf(f[1]);
        m.SeqNo = numberOf(f[2]);
        m.SGName = f[3];
        m.SGComment = f[4];
        if (m.IDLG == 0 && m.IDSG == 0 && m.SeqNo == 0) out.date = ParseMasterDate(m.SGName);
        out.lines << m;
    }
    return out;
}

namespace {

// Converts CP932 bytes through the C library; false for bytes that are not CP932.
bool decodeCp932(const QByteArray& bytes, QString& out) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == iconv_t(-1)) return false;
    QByteArray utf8(bytes.size() * 3 + 4, Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char* outPtr = utf8.data();
    size_t outLeft = size_t(utf8.size());
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == size_t(-1) || inLeft != 0) return false;
    utf8.truncate(utf8.size() - qsizetype(outLeft));
    out = QString::fromUtf8(utf8);
    return true;
}

} // namespace

QString DecodeMasterBytes(const QByteArray& bytes, bool* ok) {
    *ok = true;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) return text;
    if (decodeCp932(bytes, text)) return text;
    *ok = false;
    return QString();
}

MasterFile ReadMasterFile(const QString& path) {
    QFile f(path);
    MasterFile none;
    none.date = NoDate();
    if (!f.open(QIODevice::ReadOnly)) return none;
    bool ok = false;
    const QString text = DecodeMasterBytes(f.readAll(), &ok);
    if (!ok) {
        none.readable = false;
        return none;
    }
    return ParseMasterText(text);
}

void CMaster::ClearBuffer() {
    IDLG = IDSG = SeqNo = 0;
    SGName.clear();
    SGComment.clear();
    UpDate = now();
}

namespace {

template <typename F> void skipFailure(F&& f) {
    try {
        f();
    } catch (const RuntimeError&) {
    }
}

} // namespace

void CMaster::RecSetGet(const db::Recordset& rs) {
    skipFailure([&] { IDLG = rs.value("IDLG").toInt(); });
    skipFailure([&] { IDSG = rs.value("IDSG").toInt(); });
    skipFailure([&] { SeqNo = rs.value("SeqNo").toInt(); });
    skipFailure([&] { SGName = textOf(rs, "SGName"); });
    skipFailure([&] { SGComment = textOf(rs, "SGComment"); });
    skipFailure([&] { UpDate = rs.value("UpDate").toDateTime(); });
}

void CMaster::RecSetPut(db::Recordset& rs) const {
    skipFailure([&] { rs.setValue("IDLG", IDLG); });
    skipFailure([&] { rs.setValue("IDSG", IDSG); });
    skipFailure([&] { rs.setValue("SeqNo", SeqNo); });
    skipFailure([&] { rs.setValue("SGName", SGName); });
    skipFailure([&] { rs.setValue("SGComment", SGComment); });
    skipFailure([&] { rs.setValue("UpDate", dateValue(UpDate)); });
}

} // namespace kvr
