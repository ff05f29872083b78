// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/systemcalls.h"

#include <cstring>

using namespace Qt::StringLiterals;

SystemError makeSystemError(int number)
{
    char buffer[256];
    // The GNU strerror_r, safe when several saves run at once.
    const QString words = QString::fromLocal8Bit(strerror_r(number, buffer, sizeof buffer));
    return {number, words.startsWith("Unknown error"_L1) ? QString() : words, number};
}

FileType fileTypeOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileType::Regular;
    if (S_ISDIR(mode))
        return FileType::Folder;
    if (S_ISFIFO(mode))
        return FileType::Fifo;
    if (S_ISSOCK(mode))
        return FileType::Socket;
    if (S_ISCHR(mode))
        return FileType::CharacterDevice;
    if (S_ISBLK(mode))
        return FileType::BlockDevice;
    return FileType::Other;
}
