// File, folder, text and platform routines shared by every subsystem.
//
// None of them raises an error to its caller: each traps its own errors, shows its
// labelled box where it has one, and answers with a boolean (or an empty string, or -1).
// Paths are full paths with "/" separators.
#pragma once

#include <QDate>
#include <QString>
#include <QVariant>

class QLineEdit;
class QWidget;

namespace kvr {

bool CheckFolder(const QString& path);
bool MakeFolder(const QString& path);
bool DeleteFolder(const QString& path);
// mode 1: delete an existing target first.
bool CopyFolder(const QString& source, const QString& target, int mode);
bool CheckFile(const QString& path);
bool DeleteFile(const QString& path);
// Copies source over target. The target is replaced atomically: an interrupted copy
// leaves the old target or the new one, never a partial file.
bool CopyFile(const QString& source, const QString& target);
bool RenameFile(const QString& source, const QString& target);
// The name (without folder, lower case for wildcard masks) of the first file that
// matches pattern ("folder/*.mdb"), or the empty string.
QString CheckDir(const QString& pattern, int attributes = 0);
qint64 GetFileSize(const QString& path);
QString FileNameOf(const QString& path);
// Starts the program and waits until it has ended; true when starting failed.
bool ShellAndWait(const QString& command, int windowStyle = 1);
// 0 desktop, 38 programs folder; the empty string for other ids.
QString GetSpecialFolderPath(int folderId);
QString GetOSVersion();
// 0 valid or empty, -1 not a number, -2 contains a comma (each with its box).
int CheckNumericInput(const QString& text);
int CountCommas(const QVariant& text);
QString RemoveControlChars(const QVariant& text);
int CalcAge(const QDate& birth);
void SelectAllText(QLineEdit* edit);
void CenterForm(QWidget* window);
void SetTopMost(QWidget* window);

// Full-width to half-width conversion (digits, letters, signs and the ideographic space).
QString toHalfWidth(const QString& text);
// The platform's numeric test: digits with an optional sign, decimal point, exponent,
// thousands commas and surrounding blanks.
bool isNumeric(const QString& text);

} // namespace kvr
