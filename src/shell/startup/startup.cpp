#include "startup.h"

#include "MemberFolder.h"
#include "PFrmSplash.h"
#include "chart/PFrmChartDR.h"
#include "chart/ToothPictures.h"
#include "data/ADODBMain.h"
#include "data/CClinicCode.h"
#include "data/CMaster.h"
#include "data/CPatient.h"
#include "data/DataObjects.h"
#include "data/PFrmCompact.h"
#include "data/SchemaMaintenance.h"
#include "exam/ExamObjects.h"
#include "exam/ExamSession.h"
#include "exam/PFrmInput.h"
#include "exam/PFrmPlayWave.h"
#include "platform/desktop_shell.h"
#include "platform/services.h"
#include "platform/single_instance.h"
#include "shell/AppState.h"
#include "shell/FileUtil.h"
#include "tools/PFrmBackup.h"
#include "tools/CPatientAdd.h"
#include "tools/PFrmImport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QTranslator>

namespace kvr {

namespace {

void releaseAtEnd() {
    closeAllConnections();
}

} // namespace

bool CheckDbVersion() {
    OpenMemberDb();
    int number = 0;
    const bool ok = runWithRetryBox([&] {
        db::Recordset rs(memberConn(), "SELECT * FROM TVersion WHERE ID=1");
        number = 0;
        if (!rs.eof())
            number = rs.value("Major").toInt() * 10000 + rs.value("Minor").toInt() * 1000 +
                     rs.value("Revision").toInt();
        rs.close();
    });
    CloseMemberDb();
    return ok && number >= 1000;
}

void WriteVersionFile() {
    QFile f(appFolder() + "/VersionKVRDB.txt");
    // A version file that cannot be written does not stop the start.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    f.write(QString("Version=%1.%2.%3\r\n")
                .arg(KVR_VERSION_MAJOR)
                .arg(KVR_VERSION_MINOR)
                .arg(KVR_VERSION_PATCH)
                .toUtf8());
}

void InitAppPaths() {
    setTemplateSource(deliveredFolder() + "/KVR-DB_ORG.MDB");
    // The link to sibling charting products stays off.
    const QString desktop = GetSpecialFolderPath(0);
    // A desktop without its folder (common on minimal Linux desktops) gets one.
    if (!desktop.isEmpty() && !QFileInfo(desktop).isDir()) QDir().mkpath(desktop);
    app().SaveFolder = desktop + "/" + "KVR-DB-SAVE";
    if (!CheckFolder(app().SaveFolder)) MakeFolder(app().SaveFolder);
}

void StartupMaintenance() {
    // 8. The shared record objects, in their order.
    TheClinicCode();
    ThePatient();
    ThePatientAdd();
    TheCharge();
    TheExamData();
    TheNextAutoNumber();
    TheMaster();
    ExamSlots();
    SubExams();
    ToothCursors();

    // The steps below share one connection: each open of a keyed file costs a key derivation.
    OpenMemberDbHold();

    // 9. Master list from TMaster.txt, additional-information table, clinic code.
    TheMaster().CheckTable();
    ThePatientAdd().CheckTable();
    LoadClinicCode();
    // A database whose first start was cut short before the member number became its
    // clinic code gets it now (a member's clinic code is never empty otherwise).
    if (TheClinicCode().ClinicCode.trimmed().isEmpty() && !app().MemberNo.isEmpty())
        SaveClinicCode(app().MemberNo);

    // 10. Old-format conversion, sample patients.
    ThePatient().CheckTable();
    RefreshSamplePatients();

    // 11. Stage table, stored stage labels and item definitions; examination-record upgrade.
    // The indexes let both find their rows without reading the whole examination table;
    // a database that cannot take them (read-only, full disk) still starts.
    try {
        EnsureExamIndexes(memberConn());
    } catch (const RuntimeError&) {
    }
    RepairStageTables();
    UpgradeExamItem3();
    CloseMemberDbForce();
}

bool Main(const StartupOptions& options) {
    AppState& a = app();
    setProgramEndCleanup(releaseAtEnd);

    // 1. One running copy only.
    SingleInstance* instance = options.instance;
    if (!instance) {
        static SingleInstance programLock;
        instance = &programLock;
    }
    if (!instance->acquire()) {
        msgBox("すでに起動されています。プログラムを終了します。", "２重起動", MsgButtons::Ok,
               MsgIcon::Critical);
        endProgram(0);
    }

    // 2.
    a.AppBackColor = 16313593;

    // 3. A base database for new member folders.
    const QString templateDb = deliveredFolder() + "/KVR-DB_ORG.MDB";
    const QString baseDb = appFolder() + "/KVR-DB.MDB";
    if (!CheckFile(baseDb)) {
        CopyFile(templateDb, baseDb);
        waitMs(1000);
    }

    // 4. The member number.
    a.StartCancelled = false;
    {
        PFrmSplash splash;
        splash.onMemberDatabaseCreated = [] {
            // The member number becomes the clinic code of the new database.
            LoadClinicCode();
            TheClinicCode().ClinicName.clear();
            SaveClinicCode(app().MemberNo);
        };
        if (options.runSplash)
            options.runSplash(splash);
        else
            splash.exec();
    }
    if (a.StartCancelled) endProgram(0);

    // 5.
    InitAppPaths();
    RemoveLeftovers(appFolder(), a.MemberFolder, a.SaveFolder);

    // 6. The database version.
    if (!CheckDbVersion()) {
        msgBox("データベースのバージョンが一致しません。", "バージョンエラー", MsgButtons::Ok,
               MsgIcon::Critical);
        endProgram(1);
    }

    // 7.
    WriteVersionFile();

    // 8-11.
    StartupMaintenance();

    // 12. The tooth picture table of the chart screen and the sheets.
    BuildToothPictureTable(deliveredFolder() + "/BMP");

    // 13. The voice player, loaded hidden.
    LoadPlayWave();

    // 14.
    a.VoiceOn = true;
    a.CurrentExamDate = now();
    a.InputModes[0] = 0;
    a.InputModes[1] = 1;
    a.InputModes[2] = 0;
    a.InputModes[3] = 1;

    // 15. The examination entry screen; the program runs as long as it is open.
    auto* w = new PFrmInput();
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->showChart = [w](QWidget* parent, int startTab) {
        PFrmChartDR chart(w->currentPatient(), parent);
        chart.SSTab1->setCurrentIndex(startTab);
        chart.exec();
    };
    w->showTools = [w](QWidget*, int startTab) { ShowToolsScreen(w, startTab); };
    w->show();
    return true;
}

void setupJapaneseUi() {
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase_ja", "qtmultimedia_ja"}) {
        auto* t = new QTranslator(qApp);
        if (t->load(name, dir))
            QCoreApplication::installTranslator(t);
        else
            delete t;
    }
    for (const char* family : {"IPAPGothic", "IPAGothic", "IPAexGothic"}) {
        if (QFontDatabase::hasFamily(family)) {
            QFont f(family);
            f.setPointSize(10);
            QApplication::setFont(f);
            break;
        }
    }
}

int runProgram(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("KVR-Chart-DB");
    QApplication::setApplicationVersion(KVR_VERSION_STRING);
    installDesktopServices();
    installDesktopShell();
    setupJapaneseUi();
    // Closing the entry screen: the backup question, then the compaction window ends the program.
    PFrmInput::closing.askBackup = true;
    PFrmInput::closing.showBackup = [](QWidget* parent) {
        PFrmBackup window(parent);
        window.exec();
    };
    PFrmInput::closing.endProgram = [] {
        PFrmCompact window;
        window.run();
    };
    if (!Main()) return 0;
    const int code = QApplication::exec();
    closeAllConnections();
    return code;
}

} // namespace kvr
