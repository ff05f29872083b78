// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/systemcalls.h"

SystemError makeSystemError(int number)
{
    return SystemError::ofErrno(number);
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
