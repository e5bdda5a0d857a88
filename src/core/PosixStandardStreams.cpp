// SPDX-License-Identifier: GPL-3.0-or-later
#include "StandardStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

bool OpenClosedStandardStreams()
{
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // open() takes the lowest free number, which is this one: those below it are open. Output
        // that goes nowhere is output that cannot be written: opened for reading only, standard
        // output fails each write (EBADF) as the closed descriptor would have, and the program
        // says so. Standard error stays quiet, as its closing asked.
        const int opened = ::open("/dev/null", fd == STDERR_FILENO ? O_WRONLY : O_RDONLY);
        if (opened != fd) {
            if (opened >= 0)
                ::close(opened);
            return false;
        }
    }
    return true;
}
