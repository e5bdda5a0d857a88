// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The bytes of a file, or of one slice of it, read into memory. They stay as read whatever later
// happens to the file: a catalog emptied or rewritten in place while the program runs changes
// nothing in the program.
struct TFileBytes {
    enum TStatus { Read, CannotOpen, EmptyFile, ReadFailed };
    TStatus Status = CannotOpen;
    QByteArray Bytes;
    std::int64_t FileSize = 0; // the whole file's, when it was opened
    QString Reason;            // the system's text for a failed read
};

// Reads `length` bytes of the file from `offset` on (up to its end when length is negative); a
// slice that reaches past the end, or a file that shrinks meanwhile, gives the bytes there are.
// Only a regular file is read.
TFileBytes ReadFileBytes(const QString& path, std::int64_t offset = 0, std::int64_t length = -1);
