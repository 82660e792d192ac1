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
    // The files put into the program folder, forced away, read-only: whether it is chosen.
    const std::tuple<const char*, QStringList, bool, bool, bool> cases[] = {
        {"build or copied folder", {"KVR-DB_ORG.MDB", "TMaster.txt"}, false, false, true},
        {"forced to the data folder", {"KVR-DB_ORG.MDB", "TMaster.txt"}, true, false, false},
        {"read-only folder", {"KVR-DB_ORG.MDB", "TMaster.txt"}, false, true, false},
        {"template missing", {"TMaster.txt"}, false, false, false},
        {"master list missing", {"KVR-DB_ORG.MDB"}, false, false, false},
        {"empty folder", {}, false, false, false},
    };
    for (auto [what, delivered, force, readOnly, programFolder] : cases) {
        SCOPED_TRACE(what);
        if (readOnly && geteuid() == 0) continue; // root writes into read-only folders
        QTemporaryDir root;
        const QString program = root.path() + "/prog", data = root.path() + "/data";
        QDir().mkpath(program);
        for (const QString& f : delivered)
            ASSERT_TRUE(QFile(program + "/" + f).open(QIODevice::WriteOnly));
        if (readOnly) QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_EQ(chooseWritableFolder(program + "/", data, force), programFolder ? program : data);
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

} // namespace
