// The numbered message catalogue and the access log.
#pragma once

#include "platform/services.h"

#include <QString>

namespace kvr {

struct CatalogMessage {
    QString text;
    QString title;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::Information;
    int defaultButton = 0;
};

// The box a code shows (text with its number suffix, title, buttons and icon).
CatalogMessage catalogMessage(int code);
// Shows the catalogue message; returns the button pressed (1 = OK, 2 = Cancel).
int ShowMessage(int code);

// Appends "yyyy/mm/dd hh:nn  " + message to Log_Access.txt in the program folder,
// rotating the log first when it is larger than 100000 bytes.
void WriteAccessLog(const QString& message);

} // namespace kvr
