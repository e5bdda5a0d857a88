#include "FileBytes.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

TFileBytes ReadFileBytes(const QString& path, std::int64_t offset, std::int64_t length)
{
    TFileBytes file;
    // Without blocking: a named pipe put where a file was expected must not stop the program.
    const int handle = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (handle < 0)
        return file;
    struct stat status {};
    if (fstat(handle, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(handle);
        return file;
    }
    file.FileSize = status.st_size;
    if (file.FileSize <= 0) {
        ::close(handle);
        file.Status = TFileBytes::EmptyFile;
        return file;
    }
    std::int64_t wanted = 0;
    if (offset >= 0 && offset < file.FileSize)
        wanted = length < 0 ? file.FileSize - offset : std::min(length, file.FileSize - offset);
    file.Bytes.resize(qsizetype(wanted));
    std::int64_t done = 0;
    while (done < wanted) {
        const ssize_t n = ::pread(handle, file.Bytes.data() + done, std::size_t(wanted - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            file.Status = TFileBytes::ReadFailed;
            file.Reason = QString::fromLocal8Bit(std::strerror(errno));
            file.Bytes.clear();
            ::close(handle);
            return file;
        }
        if (n == 0)
            break; // the file has shrunk since it was opened
        done += n;
    }
    file.Bytes.resize(qsizetype(done));
    ::close(handle);
    file.Status = TFileBytes::Read;
    return file;
}
