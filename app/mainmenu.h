// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <functional>

class QMainWindow;

// "&Datei" with "&Ende" (Ctrl+Q) and "&Info" with "&Info" (Ctrl+I). Each item is the only
// member, index 0, of its group; the handlers get that index.
void createMainMenu(QMainWindow &window, std::function<void(qint16)> MnuDateiItemClick,
                    std::function<void(qint16)> MnuInfoItemClick);

// The about box text: the product and its version, a single LF, the credit line.
QString aboutText();
