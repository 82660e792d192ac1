// The tools tests' member folder: a fresh member database, the desktop's submission folder,
// and the helpers to write files and records and to compare the message boxes shown.
#pragma once

#include "data/member_db_fixture.h"
#include "tools/CPatientAdd.h"

#include <QProcess>

namespace kvr::test {

inline void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Writes the additional information r into the member database (a new row or over its row).
inline void storePatientAdd(const CPatientAdd& r) {
    OpenMemberDb();
    db::Recordset rs(memberConn(), "SELECT * FROM TPatientAdd WHERE ID=?", {r.ID}, db::OpenMode::Write);
    if (rs.eof()) rs.addNew();
    r.RecSetPut(rs);
    rs.update();
    rs.close();
    CloseMemberDb();
}

// Every box shown since the last clear, as "title: text".
inline QStringList boxTexts(const TestServices& t) {
    QStringList out;
    for (const MsgBoxRequest& b : t.boxes->shown)
        out << b.title + ": " + b.text;
    return out;
}

// Expects the boxes shown since the last clear to be this one alone (the last one when
// earlier questions were answered: expectBox(t, ..., 1)).
inline void expectBox(const TestServices& t, const QString& text, const QString& title, MsgIcon icon,
                      int index = 0) {
    ASSERT_EQ(t.boxes->shown.size(), index + 1) << text.toStdString();
    EXPECT_EQ(boxTexts(t)[index], title + ": " + text);
    EXPECT_EQ(t.boxes->shown[index].icon, icon) << text.toStdString();
}

// Files no database can be read from, made in folder from the bytes of a whole database:
// a text, an empty file, its first half, an unencrypted database, a gigabyte of noise from its
// start (to be refused from its first page, without reading it all), and the whole file
// with an interrupted change's journal beside it (reading it would mean playing the
// journal back into the user's file: expectJournalKept). Returns their paths in this order.
inline QStringList writeUnreadableFiles(const QString& folder, const QByteArray& whole) {
    QStringList paths;
    for (const char* name : {"notes", "empty", "half", "plain", "random", "journaled"})
        paths << folder + "/" + name + ".MDB";
    writeFile(paths[0], "これはデータベースではありません");
    writeFile(paths[1], "");
    writeFile(paths[2], whole.left(whole.size() / 2));
    const db::ConnectionPtr plain = db::Connection::create(paths[3], "");
    for (const char* table : {"TVersion", "TPatient", "TExamData"})
        plain->execute(QString("CREATE TABLE %1 (ID INTEGER)").arg(table));
    writeFile(paths[4], QByteArray(1 << 16, 'x'));
    EXPECT_TRUE(QFile::resize(paths[4], qint64(1) << 30));
    writeFile(paths[5], whole);
    writeFile(paths[5] + "-journal", QByteArray(512, 'j'));
    return paths;
}

inline void expectJournalKept(const QString& folder, const QByteArray& whole) {
    EXPECT_TRUE(readFile(folder + "/journaled.MDB") == whole);
    EXPECT_TRUE(readFile(folder + "/journaled.MDB-journal") == QByteArray(512, 'j'));
}

class ToolsTest : public MemberDbTest {
protected:
    void SetUp() override {
        MemberDbTest::SetUp();
        shell = t.shell;
        app().SaveFolder = t.paths->desktop + "/KVR-DB-SAVE";
        QDir().mkpath(app().SaveFolder);
        ResetPatientAdd();
        ASSERT_EQ(ThePatientAdd().CheckTable(), 0);
        ResetDataObjects();
        LoadClinicCode();
    }
    void addPatient(int id) {
        direct()->execute("INSERT INTO TPatient (ID, Name) VALUES (?, ?)", {id, "患者" + QString::number(id)});
    }
    // Runs a program to its end; its exit code (-1 when it did not run).
    static int run(const QString& program, const QStringList& args, QByteArray* out = nullptr) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        if (!p.waitForFinished(120000)) return -1;
        if (out) *out = p.readAll();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    QStringList boxTexts() const { return test::boxTexts(t); }

    std::shared_ptr<RecordingShell> shell;
};

} // namespace kvr::test
