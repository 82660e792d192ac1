// The version-update tab's data: the member's contact details (row 0 of TImage and the
// hand-over file "Info.txt" for the updater), the replacement of the updater by the
// ".new" file it delivered, and the start of the updater.
#pragma once

#include <QString>

namespace kvr {

struct ContactInfo {
    QString clinic; // 所属医療機関名、または、医院名
    QString person; // 担当者名
    QString mail;   // 担当者のE-mail
};

// The updater beside the program: "VQKVRDBVerUp" (no extension on this platform), and
// the replacement it delivers, "VQKVRDBVerUp.new".
QString UpdaterPath();
QString UpdaterReplacementPath();
QString InfoFilePath();

// Reads row 0 of TImage (after the table's structure check); false when it is missing.
bool LoadContactInfo(ContactInfo& info);
// Writes row 0 (added when missing; ExamDate today, UpDate now) and "Info.txt" anew.
bool SaveContactInfo(const ContactInfo& info);
// The four lines of "Info.txt" for the member number.
QString InfoText(const QString& memberNo, const ContactInfo& info);
// Replaces the updater by its ".new" file when there is one. True when replaced.
bool ReplaceUpdater();
// "バージョンアップの確認": refuses empty boxes; starts the updater and ends the program.
// Returns (without ending) when a box is empty or the updater cannot be started.
void StartVersionUp(const ContactInfo& info);

} // namespace kvr
