// A member folder 123456 holding a fresh copy of the template database, its connection
// opened and held with the stage labels and item rows loaded, as the entry screen holds it.
#pragma once

#include "data/ADODBMain.h"
#include "exam/ExamObjects.h"
#include "exam/ExamSession.h"
#include "shell/AppState.h"
#include "support/test_services.h"

#include <QDir>
#include <QFile>

namespace kvr::bench {

struct HeldTemplateMember {
    test::TestServices t = test::installTestServices();
    HeldTemplateMember() {
        app().MemberFolder = t.paths->app + "/123456";
        app().MemberDbFile = "/KVR-DB-123456.MDB";
        QDir().mkpath(app().MemberFolder);
        QFile::copy(test::builtAppFolder() + "/KVR-DB_ORG.MDB", app().memberDbPath());
        QFile::setPermissions(app().memberDbPath(), QFile::ReadOwner | QFile::WriteOwner);
        closeAllConnections();
        setMemberSource(app().memberDbPath());
        OpenMemberDbHold();
        LoadStageLabels();
        LoadSubExamRows();
    }
    ~HeldTemplateMember() { closeAllConnections(); }
};

} // namespace kvr::bench
