#pragma once

#include <QString>

namespace kvr {

// Flushes a file, or a folder's entries (new, renamed or removed names), to disk; false
// when it cannot be opened or flushed (errno then tells why).
bool SyncToDisk(const QString& path, bool folder = false);

} // namespace kvr
