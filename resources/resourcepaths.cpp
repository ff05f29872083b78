// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/resourcepaths.h"

using namespace Qt::StringLiterals;

namespace ResourcePaths {

QString iconPath()
{
    return u":/icon.ico"_s;
}

QString bannerPath()
{
    return u":/banner.gif"_s;
}

QString fullStarPath()
{
    return u":/imgstarv.bmp"_s;
}

QString halfStarPath()
{
    return u":/imgstarh.bmp"_s;
}

QString emptyStarPath()
{
    return u":/imgstarl.bmp"_s;
}

} // namespace ResourcePaths
