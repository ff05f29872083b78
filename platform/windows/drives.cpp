// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives.h"

#include <QDir>

#include <windows.h>

using namespace Qt::StringLiterals;

namespace {

// The volume name of a fixed disk ("C:\ (System)"); other drives are not asked: an empty card
// reader or a lost network share could keep the list waiting, or show the system's "no disk"
// box.
QString displayName(const QString &root)
{
    const QString native = QDir::toNativeSeparators(root);
    const auto *path = reinterpret_cast<const wchar_t *>(native.utf16());
    if (GetDriveTypeW(path) != DRIVE_FIXED)
        return native;
    wchar_t label[MAX_PATH + 1] = {};
    // This thread alone: the process-wide mode is the program's (failCriticalErrorsQuietly()).
    DWORD previous = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous);
    const bool named = GetVolumeInformationW(path, label, MAX_PATH + 1, nullptr, nullptr,
                                             nullptr, nullptr, 0)
        && label[0] != 0;
    SetThreadErrorMode(previous, nullptr);
    return named ? u"%1 (%2)"_s.arg(native, QString::fromWCharArray(label)) : native;
}

} // namespace

// Drive letters come from the system's drive mask, as Windows lists them.
QList<Drive> systemDrives()
{
    QList<Drive> drives;
    const DWORD letters = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if (!(letters & (1U << letter)))
            continue;
        const QString root = QChar(u'A' + letter) + u":/"_s;
        drives.append(Drive{root, displayName(root)});
    }
    return drives;
}
