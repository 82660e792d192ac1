// Conversion of an old-format member database (TPatient with a date "BirthDay" and a
// boolean "Sex") into the current format: the old file is kept under a dated name,
// a copy of the template beside the member database receives patients 1-30 with their
// examinations from the dated copy, and then replaces the member database in one rename.
#include "CPatient.h"

#include "CNextAutoNumber.h"
#include "SchemaMaintenance.h"
#include "data/ADODBMain.h"
#include "platform/disk.h"
#include "platform/passwords.h"
#include "platform/services.h"
#include "shell/AppState.h"
#include "shell/FileUtil.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace kvr {

QString ConversionStagingPath() {
    return app().MemberFolder + "/.KVR-DB-converting.MDB";
}

bool CPatient::CheckOldFormat() {
    if (!QFileInfo::exists(app().MemberFolder + "/KVR-DB.MDB")) return false;
    bool current = false;
    OpenMemberDb();
    try {
        db::Recordset rs(memberConn(), "SELECT * FROM TPatient");
        current = rs.fieldType("BirthDay") == db::adVarWChar && rs.fieldType("Sex") == db::adSmallInt;
    } catch (const RuntimeError&) {
        current = false;
    }
    CloseMemberDb();
    return !current;
}

int CPatient::CheckTable() {
    if (!CheckOldFormat()) return 0;
    const QString memberDb = app().memberDbPath();
    const QString oldCopy =
        app().MemberFolder + "/" + "KVR-DB" + "_" + now().toString("yyyyMMdd_HHmm") + ".mdb";
    const QString templateDb = deliveredFolder() + "/KVR-DB_ORG.MDB";

    // The files are swapped with the member connection closed. The new database is made
    // beside the old one from the template, filled, and only then renamed over it: until
    // that rename the member database is the old file, untouched.
    CloseMemberDbForce();
    const QString staging = ConversionStagingPath();
    DeleteFile(staging + "-journal");
    DeleteFile(staging);
    if (QFileInfo::exists(oldCopy)) DeleteFile(oldCopy);
    bool ok = CopyFile(memberDb, oldCopy) && CopyFile(templateDb, staging);
    if (ok) {
        setMemberSource(staging);
        ok = ImportOldDatabase(oldCopy);
        setMemberSource(memberDb);
    }
    ok = ok && ::rename(QFile::encodeName(staging).constData(), QFile::encodeName(memberDb).constData()) == 0;
    if (ok) SyncToDisk(app().MemberFolder, true);
    DeleteFile(staging + "-journal");
    if (!ok) {
        CloseMemberDbForce();
        CloseImportDbForce();
        DeleteFile(staging);
        msgBox("旧形式のデータベースを最新形式に変換できませんでした。\r\n\r\nヴェルダ学会事務局へ連絡をお願"
               "いします。",
               "変換エラー", MsgButtons::Ok, MsgIcon::Critical);
        return 1;
    }
    msgBox("旧形式のデータベースを最新形式に変換しました。", "変換完了", MsgButtons::Ok,
           MsgIcon::Information);
    return 0;
}

namespace {

// The old date column as "yyyy/mm/dd" text (empty for Null).
QString birthDayText(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return QString();
    if (v.typeId() == QMetaType::QDateTime || v.typeId() == QMetaType::QDate) {
        const QDate d = v.toDate();
        return d.isValid() ? d.toString("yyyy/MM/dd") : QString();
    }
    const QDateTime dt = db::dateFromDb(v.toString());
    return dt.isValid() ? dt.date().toString("yyyy/MM/dd") : v.toString();
}

bool isTextType(int type) {
    return type == db::adVarWChar || type == db::adLongVarWChar;
}

} // namespace

bool CPatient::ImportOldDatabase(const QString& path) {
    setImportSource(path);
    slot(Slot::Import).password = kProgramPassword;
    OpenImportDbHold();
    OpenMemberDbHold();
    bool ok = true;
    {
        db::Recordset src;
        db::Recordset dst;
        db::ConnectionPtr mem = memberConn();
        try {
            db::ConnectionPtr old = importConn();
            mem->beginTransaction();

            src.open(old, "SELECT * FROM TPatient WHERE ID<=30");
            dst.open(mem, "SELECT * FROM TPatient WHERE ID IS NULL", {}, db::OpenMode::Write);
            for (; !src.eof(); src.moveNext()) {
                dst.addNew();
                for (int i = 0; i < src.fieldCount(); ++i) {
                    const QString name = src.fieldName(i);
                    if (!dst.hasField(name)) continue;
                    QVariant v = src.value(i);
                    if (name.compare("BirthDay", Qt::CaseInsensitive) == 0)
                        v = birthDayText(v);
                    else if (name.compare("Sex", Qt::CaseInsensitive) == 0)
                        v = v.toBool() ? 1 : 0;
                    else if (v.isNull() && isTextType(dst.fieldType(name)))
                        v = QString("");
                    dst.setValue(name, v);
                }
                dst.update();
            }

            src.open(old, "SELECT * FROM TExamData WHERE PatientID<=30");
            dst.open(mem, "SELECT * FROM TExamData WHERE ID IS NULL", {}, db::OpenMode::Write);
            for (; !src.eof(); src.moveNext()) {
                dst.addNew();
                for (int i = 0; i < src.fieldCount(); ++i) {
                    const QString name = src.fieldName(i);
                    if (!dst.hasField(name) || name.compare("ID", Qt::CaseInsensitive) == 0 ||
                        name.compare("Comment", Qt::CaseInsensitive) == 0)
                        continue;
                    dst.setValue(name, src.value(i));
                }
                dst.setValue("ID", GetNextNumberOn(mem, "TExamData"));
                dst.setValue("Comment", StageLabelOf(src.value("CommentID").toInt()));
                dst.update();
            }
            mem->commit();
        } catch (const RuntimeError&) {
            ok = false;
            try {
                if (mem) mem->rollback();
            } catch (const RuntimeError&) {
            }
        }
    }
    CloseImportDbForce();
    CloseMemberDbForce();
    return ok;
}

} // namespace kvr
