// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Resources. In: the images that make-resources.sh draws (icon.ico, banner.gif, imgstar*.bmp,
// folder-*.png), turned into pixel arrays while building (embed-images.py). Out: those images,
// ready to show without decoding anything at start-up: the window icon (32 x 32 and 16 x 16,
// sixteen colours), the 400 x 100 banner, the full, half and empty star bitmaps (43 x 41) that
// the rating rows copy, and the folder list's open and closed folders (16 x 16 and 32 x 32).
// Qt's own German texts are built in beside them as a Qt resource, at
// ":/translations/qtbase_de.qm". Linking kelvora_resources is all it takes; no init call is
// needed.

#include <QIcon>
#include <QImage>

namespace Images {

QIcon windowIcon();
QImage banner();
QImage fullStar();  // template of imgstarv
QImage halfStar();  // template of imgstarh
QImage emptyStar(); // template of imgstarl
QIcon openFolderIcon();
QIcon closedFolderIcon();

} // namespace Images
