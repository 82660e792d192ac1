// A member folder with a fresh member database and the desktop's submission folder.
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

// Expects the boxes shown since the last clear to be this one alone (the last one when
// earlier questions were answered: expectBox(t, ..., 1)).
inline void expectBox(const TestServices& t, const QString& text, const QString& title, MsgIcon icon,
                      int index = 0) {
    ASSERT_EQ(t.boxes->shown.size(), index + 1) << text.toStdString();
    const MsgBoxRequest& b = t.boxes->shown[index];
    EXPECT_EQ(b.title + ": " + b.text, title + ": " + text);
    EXPECT_EQ(b.icon, icon) << text.toStdString();
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

    std::shared_ptr<RecordingShell> shell;
};

} // namespace kvr::test
