// A run-time error: an error number and its description, raised by the database
// layer (and other platform layers) and trapped by the routine that handles it.
#pragma once

#include <QString>

#include <stdexcept>

namespace kvr {

struct RuntimeError : std::runtime_error {
    RuntimeError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), number(number), description(description) {}
    int number;
    QString description;
};

} // namespace kvr
