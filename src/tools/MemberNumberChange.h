// Changing the member number: the member database moves to the folder of the new number
// as "KVR-DB-<new>.MDB", the old member folder is kept under "<old>_yyyyMMdd_HHmmss" and
// removed, and the clinic-code row takes the new number.
//
// The order makes an interruption at any instant harmless: the old folder disappears
// only after the new database and the set-aside copy are complete on disk, and it
// disappears in one step (renamed away before its files are deleted), so the data are
// always complete under the old number, or under the new one and the set-aside name.
#pragma once

#include <QString>

namespace kvr {

enum class MemberNoChange { Done, Empty, Invalid, TargetExists, Failed };

// The new number as it is checked: trimmed, half-width.
QString NormalizeMemberNo(const QString& text);

// Checks newNoText (the box's text) and changes the member number of the running
// program. Shows the refusal messages; the file routines show their own errors.
MemberNoChange ChangeMemberNumber(const QString& newNoText);

// The completion message and the end of the program.
[[noreturn]] void FinishMemberNumberChange();

} // namespace kvr
