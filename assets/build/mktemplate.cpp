// Build tool: writes the keyed template database from SQL files.
//   kvr_mktemplate OUTPUT.MDB FILE.sql...
// The SQL files are run in the order given, each inside one transaction.
#include "platform/database.h"
#include "platform/passwords.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: kvr_mktemplate OUTPUT.MDB FILE.sql...\n");
        return 2;
    }
    const QString out = args[1];
    const QString tmp = out + ".tmp";
    QFile::remove(tmp);
    try {
        auto conn = kvr::db::Connection::create(tmp, kvr::kProgramPassword);
        for (int i = 2; i < args.size(); ++i) {
            QFile f(args[i]);
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(args[i]));
                return 1;
            }
            QString sql = QString::fromUtf8(f.readAll());
            conn->beginTransaction();
            // Statements end with ";" at the end of a line.
            QString current;
            for (const QString& line : sql.split('\n')) {
                QString t = line.trimmed();
                if (t.startsWith("--") || t.isEmpty()) continue;
                current += line + "\n";
                if (t.endsWith(";")) {
                    conn->execute(current);
                    current.clear();
                }
            }
            if (!current.trimmed().isEmpty()) conn->execute(current);
            conn->commit();
        }
        conn->close();
    } catch (const kvr::RuntimeError& e) {
        std::fprintf(stderr, "kvr_mktemplate: [%d] %s\n", e.number, qPrintable(e.description));
        QFile::remove(tmp);
        return 1;
    }
    QFile::remove(tmp + "-journal");
    QFile::remove(out);
    if (!QFile::rename(tmp, out)) return 1;
    return 0;
}
