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

TEST(WritableFolder, ProgramFolderOnlyWhenItIsACompleteWritableCopy) {
    const struct {
        const char* what;
        QStringList delivered; // files put into the program folder
        bool force, readOnly, expectProgramFolder;
    } cases[] = {
        {"build or copied folder", {"KVR-DB_ORG.MDB", "TMaster.txt"}, false, false, true},
        {"forced to the data folder", {"KVR-DB_ORG.MDB", "TMaster.txt"}, true, false, false},
        {"read-only folder", {"KVR-DB_ORG.MDB", "TMaster.txt"}, false, true, false},
        {"template missing", {"TMaster.txt"}, false, false, false},
        {"master list missing", {"KVR-DB_ORG.MDB"}, false, false, false},
        {"empty folder", {}, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.readOnly && geteuid() == 0) continue; // root writes into read-only folders
        QTemporaryDir root;
        const QString program = root.path() + "/prog", data = root.path() + "/data";
        QDir().mkpath(program);
        for (const QString& f : c.delivered) {
            QFile file(program + "/" + f);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        if (c.readOnly) QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_EQ(chooseWritableFolder(program + "/", data, c.force), c.expectProgramFolder ? program : data);
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

} // namespace
