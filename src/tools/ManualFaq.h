// The operating manual and the FAQ page of the tab "操作マニュアル他".
//
// The FAQ page is "/KVR/FAQ.html" on the server named by the key "FAQ/Server" of
// "KVRServer.ini" in the program folder ("https://host" or "https://host/base"); without
// that setting the FAQ page shipped in the program folder ("FAQ.html") is opened.
#pragma once

#include <QString>

namespace kvr {

QString ManualPath();
// The URL or file the FAQ button opens.
QString FaqTarget();
// Open with the desktop's default program; a missing file or a failed open gets a box.
void OpenManual();
void OpenFaq();

} // namespace kvr
