// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/fontfamilies.h"

#include <QFontDatabase>

QStringList installedFamilies(const QStringList &families)
{
    const QStringList installed = QFontDatabase::families();
    for (const QString &family : families) {
        if (installed.contains(family, Qt::CaseInsensitive))
            return {family};
    }
    return families;
}
