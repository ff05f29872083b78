// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Resources. In: the images that make-resources.sh draws, compiled in by CMake. Out: their Qt
// resource paths: the window icon (32 x 32 and 16 x 16, sixteen colours), the 400 x 100 banner,
// the full, half and empty star bitmaps (43 x 41, 24-bit) that the rating rows copy. Qt's own
// German texts are built in beside them, at ":/translations/qtbase_de.qm".
// Linking kelvora_resources is all it takes for the paths to resolve; no init call is needed.

#include <QString>

namespace ResourcePaths {

QString iconPath();      // ":/icon.ico"
QString bannerPath();    // ":/banner.gif"
QString fullStarPath();  // ":/imgstarv.bmp", template of imgstarv
QString halfStarPath();  // ":/imgstarh.bmp", template of imgstarh
QString emptyStarPath(); // ":/imgstarl.bmp", template of imgstarl

} // namespace ResourcePaths
