// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileBytes.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

TFileBytes ReadFileBytes(const QString& path, std::int64_t offset, std::int64_t length)
{
    TFileBytes file;
    // Only a file: a named pipe put where a file was expected would block the program on open.
    if (!QFileInfo(path).isFile())
        return file;
    QFile handle(path);
    if (!handle.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return file;
    file.FileSize = handle.size();
    if (file.FileSize <= 0) {
        file.Status = TFileBytes::EmptyFile;
        return file;
    }
    std::int64_t wanted = 0;
    if (offset >= 0 && offset < file.FileSize)
        wanted = length < 0 ? file.FileSize - offset : std::min(length, file.FileSize - offset);
    if (wanted > 0 && !handle.seek(offset)) {
        file.Status = TFileBytes::ReadFailed;
        file.Reason = handle.errorString();
        return file;
    }
    file.Bytes.resize(qsizetype(wanted));
    std::int64_t done = 0;
    while (done < wanted) {
        const qint64 n = handle.read(file.Bytes.data() + done, wanted - done);
        if (n < 0) {
            file.Status = TFileBytes::ReadFailed;
            file.Reason = handle.errorString();
            file.Bytes.clear();
            return file;
        }
        if (n == 0)
            break; // the file has shrunk since it was opened
        done += n;
    }
    file.Bytes.resize(qsizetype(done));
    file.Status = TFileBytes::Read;
    return file;
}
