// A member folder with a fresh member database and the desktop's submission folder.
#pragma once

#include "data/member_db_fixture.h"
#include "tools/CPatientAdd.h"

#include <QProcess>

namespace kvr::test {

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
