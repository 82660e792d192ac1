// Keyboard entry of the examination entry screen, without the screen: which key
// completes which entry token ("12", "*+", "." ...) with the pending prefix, and
// what a token does for an item of a given entry mode.
//
// Keys (main keyboard and numeric keypad alike):
//   Left, Backspace      previous position        Right, Enter, Return   next position
//   "/"                  prefix "/" (tens: "/", "2" gives 12)
//   "*"                  prefix "*" ("*", "+" gives "*+")
//   "0"-"9"              the digit, or 10 + digit after "/"
//   "+", "-"             "+" / "-", or "*+" / "*-" after "*"
//   "."                  "."
// Modifier keys alone leave the prefix as it is; any other key clears it.
#pragma once

#include <QString>

namespace kvr {

struct KeyStep {
    enum Kind {
        Ignored, // not an entry key (the prefix is cleared)
        Pending, // a modifier alone: nothing happens, the prefix stays
        Prefix,  // "/" or "*" remembered
        Prev,    // move to the previous position (ends the bulk modes)
        Next,    // move to the next position (ends the bulk modes)
        Token,   // a completed entry token
    };
    Kind kind = Ignored;
    QString token; // for Token: "0".."19", "+", "-", "*+", "*-", "."
};

// Reads one key press. key is a Qt::Key code, text the key's text (may be empty).
// prefix is the pending prefix ("", "/" or "*"); it is updated (set by a prefix key,
// cleared by every other key except a lone modifier).
KeyStep readEntryKey(int key, const QString& text, QString& prefix);

struct EntryAction {
    enum Kind {
        Reject,        // the item does not accept the token ("phone1.wav")
        Value,         // enter value
        NoLesion,      // the furcation no-lesion value
        Clear,         // clear the value at the cursor
        SetBleeding,   // bleeding mark at the cursor site
        ClearBleeding, //
        SetPus,        // pus mark at the cursor site
        ClearPus,      //
    };
    Kind kind = Reject;
    int value = 0;
    bool operator==(const EntryAction&) const = default;
};

// What a completed token does for an item of the given entry mode:
//   mode 1 (one value per tooth)  "0"-"3" value, "." clear
//   mode 3 (pocket)               "1"-"16" value, "+"/"-" bleeding, "*+"/"*-" pus, "." clear
//   mode 6 (furcation)            "0" no-lesion value, "1"-"3" value, "." clear
//   other modes                   nothing (plaque is entered with its buttons and clicks)
EntryAction entryActionFor(const QString& token, int mode);

} // namespace kvr
