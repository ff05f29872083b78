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
    switch (mode & S_IFMT) {
    case S_IFREG: return FileType::Regular;
    case S_IFDIR: return FileType::Folder;
    case S_IFIFO: return FileType::Fifo;
    case S_IFSOCK: return FileType::Socket;
    case S_IFCHR: return FileType::CharacterDevice;
    case S_IFBLK: return FileType::BlockDevice;
    default: return FileType::Other;
    }
}
