// A member folder with a fresh copy of the built template as the member database.
#pragma once

#include "data/ADODBMain.h"
#include "data/DataObjects.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "shell/AppState.h"
#include "support/test_services.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace kvr::test {

// Every row the queries return, one line each with its fields joined by '|'.
inline QString rowsText(const db::ConnectionPtr& c, const QStringList& queries) {
    QStringList lines;
    for (const QString& sql : queries)
        for (db::Recordset rs(c, sql); !rs.eof(); rs.moveNext()) {
            QStringList fields;
            for (int i = 0; i < rs.fieldCount(); ++i)
                fields << rs.value(i).toString();
            lines << fields.join('|');
        }
    return lines.join('\n');
}

inline void writeText(const QString& path, const QString& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
}

// An old-format member database (date BirthDay, boolean Sex) at path.
inline void WriteOldFormatDb(const QString& path, bool withExams) {
    auto c = db::Connection::create(path, kProgramPassword);
    c->execute("CREATE TABLE TPatient (ID INTEGER NOT NULL PRIMARY KEY, KalteNumber VARCHAR(50), Name "
               "VARCHAR(100), BirthDay DATETIME, Sex BIT, TEL VARCHAR(50), \"UpDate\" DATETIME)");
    c->execute("INSERT INTO TPatient VALUES (1, 'A-1', '旧　一郎', '1960-05-06 00:00:00', 1, NULL, NULL), "
               "(2, 'A-2', '旧　花子', NULL, 0, '03', NULL), "
               "(31, 'A-31', '対象外', '1970-01-01 00:00:00', 1, '', NULL)");
    if (withExams) {
        c->execute("CREATE TABLE TExamData (ID INTEGER NOT NULL PRIMARY KEY, PatientID INTEGER, ExamDate "
                   "DATETIME, \"Row\" INTEGER, Examination INTEGER, SubExam INTEGER, CommentID SMALLINT, "
                   "Comment VARCHAR(100), Data1 VARCHAR(144), Bui VARCHAR(192))");
        c->execute("INSERT INTO TExamData VALUES "
                   "(5, 1, '2010-04-01 00:00:00', 0, 2, 2, 2, 'old', '  3  4', '-32768'), "
                   "(6, 1, '2010-05-01 00:00:00', 0, 2, 2, 7, 'x', '', ''), "
                   "(7, 31, '2010-04-01 00:00:00', 0, 2, 2, 1, '', '', '')");
    }
    c->close();
}

class MemberDbTest : public ::testing::Test {
protected:
    void SetUp() override {
        t = installTestServices();
        closeAllConnections();
        resetAppState();
        ResetDataObjects();
        app().MemberNo = "123456";
        app().MemberFolder = t.paths->app + "/123456";
        app().MemberDbFile = "/KVR-DB-123456.MDB";
        QDir().mkpath(app().MemberFolder);
        const QString templatePath = t.paths->app + "/KVR-DB_ORG.MDB";
        ASSERT_TRUE(CopyTemplateTo(templatePath) && CopyTemplateTo(memberPath()));
        setMemberSource(memberPath());
        setTemplateSource(templatePath);
    }
    void TearDown() override { closeAllConnections(); }

    QString memberPath() const { return app().memberDbPath(); }
    // A direct connection to the member database (outside the connection slots).
    db::ConnectionPtr direct() { return db::Connection::open(memberPath(), kProgramPassword); }
    QVariant scalar(const QString& sql, const QVariantList& params = {}) {
        return direct()->scalar(sql, params);
    }
    static QByteArray hashOf(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }

    TestServices t;
};

} // namespace kvr::test
