// Files written whole or not at all.
//
// The bytes go to a new temporary file in the target's folder; every write is checked, the data
// are flushed to the disk (fsync) and the file closed with its error checked; only then does the
// temporary file replace the target in one rename. On any failure the old file is untouched and
// the temporary file is removed. A target that is a symbolic link keeps the link: its target is
// replaced. The new file keeps the permissions of the file it replaces.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace telv {

// True when path now holds exactly bytes. False otherwise, with the reason in *error (when
// error is not null): the system's text for the failure, e.g. "No space left on device".
// Safe to call from any thread.
bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error);

// For tests: the steps of WriteWholeFile that a fault can be injected into.
enum class WholeFileStep { Open, Write, Sync, Rename };

// For tests: from now on every WriteWholeFile fails at `step` with the error number
// `errorNumber` (ENOSPC, EACCES, ...), as the system call would; at the Write step the first
// `bytesBefore` bytes of each file are written before the failure. Affects every thread.
void InjectWholeFileFault(WholeFileStep step, int errorNumber, std::size_t bytesBefore = 0);
void ClearWholeFileFault();

}  // namespace telv
