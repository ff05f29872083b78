// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/filenames.h"

#include <QDir>
#include <QString>

#ifdef Q_OS_WIN
#include <windows.h>

#include <sddl.h>

// Everyone denied everything, or allowed everything again, as a Windows user locks a folder;
// Wine turns the list into mode bits (000 for a denial). Windows lets the owner allow again, Wine
// does not (tests/windows/as-user.sh clears what is left). Links advapi32.
inline bool denyEveryone(const QString &folder, bool deny)
{
    PSECURITY_DESCRIPTOR rights = nullptr;
    const bool done = ConvertStringSecurityDescriptorToSecurityDescriptorW(
                          deny ? L"D:P(D;;FA;;;WD)" : L"D:P(A;;FA;;;WD)", SDDL_REVISION_1, &rights,
                          nullptr)
        && SetFileSecurityW(reinterpret_cast<const wchar_t *>(folder.utf16()),
                            DACL_SECURITY_INFORMATION, rights);
    LocalFree(rights);
    return done;
}

#else

#include <sys/stat.h>

inline bool denyEveryone(const QString &folder, bool deny)
{
    return ::chmod(systemFileName(folder).constData(), deny ? 0 : 0755) == 0;
}

#endif

// Whether the folder could be read all the same: a privileged user reads anything.
inline bool stillReadable(const QString &folder)
{
    return !QDir(folder).entryList().isEmpty();
}
