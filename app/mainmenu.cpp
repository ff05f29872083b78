// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainmenu.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

using namespace Qt::StringLiterals;

namespace {

void addMenu(QMainWindow &window, const QString &name, const QString &caption,
             const QString &itemCaption, QKeyCombination shortcut,
             std::function<void(qint16)> click)
{
    QMenu *menu = window.menuBar()->addMenu(caption);
    menu->setObjectName(name);
    QAction *item = menu->addAction(itemCaption);
    item->setObjectName(name + "Item"_L1);
    item->setShortcut(shortcut);
    QObject::connect(item, &QAction::triggered, &window, [click] { click(0); });
}

} // namespace

void createMainMenu(QMainWindow &window, std::function<void(qint16)> MnuDateiItemClick,
                    std::function<void(qint16)> MnuInfoItemClick)
{
    addMenu(window, u"MnuDatei"_s, u"&Datei"_s, u"&Ende"_s, Qt::CTRL | Qt::Key_Q,
            std::move(MnuDateiItemClick));
    addMenu(window, u"MnuInfo"_s, u"&Info"_s, u"&Info"_s, Qt::CTRL | Qt::Key_I,
            std::move(MnuInfoItemClick));
}

// A message box wraps lines wider than half the screen; the credit line stays short enough for
// a 1280-pixel screen at twice the scale, and its hyphen does not break (U+2011), so that
// narrower still it moves to a line of its own whole instead of splitting the name.
QString aboutText()
{
    return u"Kelvora Stärkeneditor v"_s + QLatin1StringView(KELVORA_VERSION) + u'\n'
        + u"Vom Kelvora\u2011Entwicklerteam."_s;
}
