// Power-cut simulation for the tests. A test program that links power_cut.cpp passes its
// own file system calls (and those of SQLCipher and Qt) through a recorder. The child
// doing one operation calls PowerCutStart on its work folder; from then on:
//
// - every operation on a file or folder under that folder is one letter of a journal:
//   w a write (write, pwrite, pwrite64), t a truncation, f a flush (fsync, fdatasync),
//   c a creation (open with O_CREAT of a missing file, mkdir), r a rename or link,
//   u a removal (unlink, remove, rmdir);
// - what a power cut would leave is kept beside: each file's content as of its last
//   flush and each folder's entries as of its last flush, starting from the state at
//   PowerCutStart (taken as flushed);
// - at operation kPowerCutAtVar (1-based, right after it was done) the child writes
//   that state as a folder tree to kPowerCutDiskVar and kills itself with SIGKILL;
// - at operation kFaultAtVar, when it is a write or a flush, the call fails with the
//   error kFaultErrnoVar (ENOSPC or EIO) without doing anything; the next ones work.
//
// Files are followed by inode, so a rename moves the flushed content with the name and a
// rename or removal whose folder was not flushed comes back after the cut.
#pragma once

#include <QList>
#include <QString>

#include <string>

namespace kvr::test {

inline const char* const kPowerCutAtVar = "KVR_POWER_CUT_AT";
inline const char* const kPowerCutDiskVar = "KVR_POWER_CUT_DISK";
inline const char* const kFaultAtVar = "KVR_FAULT_AT";
inline const char* const kFaultErrnoVar = "KVR_FAULT_ERRNO";
inline const char* const kPowerCutLongVar = "KVR_POWER_CUT_LONG";

// Starts recording under root (an absolute path), with the state of root as flushed.
void PowerCutStart(const QString& root);
// Stops recording and faults; the journal of operations so far.
std::string PowerCutStop();
// True once an injected fault was returned.
bool PowerCutFaulted();

// The crash points of a journal (1-based): every flush, creation, rename, removal and
// truncation, the first, middle and last write of each run of writes, then randomCount
// more at random (fixed seed), without repeats.
QList<int> PowerCutPoints(const std::string& ops, unsigned seed, int randomCount);
// The operations worth a fault: every write and every flush (1-based).
QList<int> FaultPoints(const std::string& ops);

} // namespace kvr::test
