// Small helpers shared by the record classes of the data store.
#pragma once

#include "platform/database.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace kvr {

// A text column as a string; a Null column reads as the empty string.
inline QString textOf(const db::Recordset& rs, const QString& column) {
    QVariant v = rs.value(column);
    return v.isNull() || !v.isValid() ? QString() : v.toString();
}

// A date-time field as a column value: an invalid date is written as Null.
inline QVariant dateValue(const QDateTime& dt) {
    return dt.isValid() ? QVariant(dt) : QVariant();
}

// Keeps the counted member connection open for one scope.
class MemberDbUse {
public:
    MemberDbUse();
    ~MemberDbUse();
    MemberDbUse(const MemberDbUse&) = delete;
    MemberDbUse& operator=(const MemberDbUse&) = delete;
};

} // namespace kvr
