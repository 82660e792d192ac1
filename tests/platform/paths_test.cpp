// Where the written files go: beside a writable program folder that holds its delivered
// files, otherwise into the user's data folder.
#include "platform/services.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace kvr;

namespace {

struct Case {
    const char* what;
    QStringList delivered; // files put into the program folder
    bool force;
    bool expectProgramFolder;
};

TEST(WritableFolder, ProgramFolderOnlyWhenItIsACompleteWritableCopy) {
    const Case cases[] = {
        {"build or copied folder", {"KVR-DB_ORG.MDB", "TMaster.txt"}, false, true},
        {"forced to the data folder", {"KVR-DB_ORG.MDB", "TMaster.txt"}, true, false},
        {"template missing", {"TMaster.txt"}, false, false},
        {"master list missing", {"KVR-DB_ORG.MDB"}, false, false},
        {"empty folder", {}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir root;
        const QString program = root.path() + "/prog", data = root.path() + "/data";
        QDir().mkpath(program);
        for (const QString& f : c.delivered) {
            QFile file(program + "/" + f);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        EXPECT_EQ(chooseWritableFolder(program + "/", data, c.force), c.expectProgramFolder ? program : data);
    }
}

TEST(WritableFolder, InstalledLocationsAlwaysUseTheDataFolder) {
    for (const char* installed : {"/usr/lib/kvr-chart-db", "/opt/kvr-chart-db"})
        EXPECT_EQ(chooseWritableFolder(installed, "/home/u/.local/share/KVR-Chart-DB", false),
                  "/home/u/.local/share/KVR-Chart-DB");
}

TEST(WritableFolder, ReadOnlyProgramFolderUsesTheDataFolder) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    QTemporaryDir root;
    const QString program = root.path() + "/prog";
    QDir().mkpath(program);
    for (const char* f : {"/KVR-DB_ORG.MDB", "/TMaster.txt"}) {
        QFile file(program + f);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(chooseWritableFolder(program, root.path() + "/data", false), root.path() + "/data");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace
