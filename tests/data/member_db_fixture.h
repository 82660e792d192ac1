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
        templatePath = t.paths->app + "/KVR-DB_ORG.MDB";
        ASSERT_TRUE(QFile::copy(builtAppFolder() + "/KVR-DB_ORG.MDB", templatePath));
        ASSERT_TRUE(QFile::copy(templatePath, memberPath()));
        QFile::setPermissions(templatePath, QFile::ReadOwner | QFile::WriteOwner);
        QFile::setPermissions(memberPath(), QFile::ReadOwner | QFile::WriteOwner);
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
    QString templatePath;
};

} // namespace kvr::test
