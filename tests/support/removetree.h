#pragma once

#include "platform/filenames.h"

#include <QString>

#include <cstdio>
#include <ftw.h>

// Removes a folder and all in it. QDir::removeRecursively() (and so QTemporaryDir) skips names
// that are not valid text, which would leave the folder behind.
inline bool removeTree(const QString &folder)
{
    const auto remove = [](const char *path, const struct stat *, int, FTW *) {
        return ::remove(path);
    };
    return ::nftw(systemFileName(folder).constData(), remove, 16, FTW_DEPTH | FTW_PHYS) == 0;
}
