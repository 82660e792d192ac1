// Program-wide state set up at start-up and kept for the whole run.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

namespace kvr {

struct AppState {
    QString MemberNo;     // six-digit member number chosen at start
    QString MemberFolder; // appFolder() + "/" + MemberNo
    QString MemberDbFile; // "/KVR-DB-" + MemberNo + ".MDB" (leading separator, no folder)
    bool StartCancelled = false;
    // Background of the start screen's check box and other screen parts (0x00BBGGRR).
    std::uint32_t AppBackColor = 16313593;
    QString SaveFolder; // desktop folder "KVR-DB-SAVE"
    bool VoiceOn = true;
    QDateTime CurrentExamDate;
    // Entry-screen mode values set at start-up (0, 1, 0, 1).
    int InputModes[4] = {0, 1, 0, 1};

    QString memberDbPath() const { return MemberFolder + MemberDbFile; }
};

AppState& app();

// The program's title and subtitle, and the main window's title made of both.
inline constexpr const char* kProgramTitle = "歯周検査ソフト　KVR-Chart-DB Ver.1";
inline constexpr const char* kProgramSubtitle = "ヴェルダ学会 専門医・認定医・認定歯科衛生士用";
QString mainWindowTitle();

// Resets the state (tests).
void resetAppState();

// The colour 0x00BBGGRR as a QColor-compatible RGB triple.
inline int colorRed(std::uint32_t bgr) {
    return int(bgr & 0xFF);
}
inline int colorGreen(std::uint32_t bgr) {
    return int((bgr >> 8) & 0xFF);
}
inline int colorBlue(std::uint32_t bgr) {
    return int((bgr >> 16) & 0xFF);
}

} // namespace kvr
