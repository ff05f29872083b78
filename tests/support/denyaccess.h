// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/filenames.h"

#include <QDir>
#include <QString>

#ifdef Q_OS_WIN
#include <windows.h>

#include <aclapi.h>

#include <string>

// Everyone denied everything, or allowed everything again, as a Windows user locks a folder;
// Wine turns the list into mode bits (000 for a denial). Windows lets the owner allow again, Wine
// does not (tests/windows/as-user.sh clears what is left). Links advapi32.
inline bool denyEveryone(const QString &folder, bool deny)
{
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
        return false;
    alignas(DWORD) char buffer[256];
    auto *acl = reinterpret_cast<ACL *>(buffer);
    const bool made = InitializeAcl(acl, sizeof buffer, ACL_REVISION)
        && (deny ? AddAccessDeniedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, everyone)
                 : AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, everyone));
    FreeSid(everyone);
    std::wstring path = QDir::toNativeSeparators(folder).toStdWString();
    return made
        && SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, acl, nullptr)
        == ERROR_SUCCESS;
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
