// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/accessibility.h"

#include "app/controls.h"
#include "app/namedcomboboxaccessible.h"
#include "app/noticelabelaccessible.h"
#include "app/progresslabelaccessible.h"
#include "browse/drivelist.h"
#include "rating/starareaaccessible.h"
#include "rating/starrow.h"
#include "rating/starrowaccessible.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>

using namespace Qt::StringLiterals;

namespace {

// Qt asks every installed factory, the latest first, for each class from the object's own up,
// before its own interfaces; null leaves the object to the next factory and to Qt. A widget that
// is being destroyed has lost its own class by the time Qt asks, so it never reaches the
// branches below.
QAccessibleInterface *windowAccessibility(const QString &className, QObject *object)
{
    if (className == "StarRow"_L1)
        return new StarRowAccessible(static_cast<StarRow *>(object));
    if (className == "QComboBox"_L1 && NamedComboBoxAccessible::fits(object))
        return new NamedComboBoxAccessible(static_cast<QComboBox *>(object));
    if (className == "QFrame"_L1)
        return new StarAreaAccessible(static_cast<QWidget *>(object));
    // Named as the control table names them right after they are made, before anything asks.
    if (className == "QLabel"_L1 && object->objectName() == "lblprobar"_L1)
        return new ProgressLabelAccessible(static_cast<QLabel *>(object));
    if (className == "QLabel"_L1 && object->objectName() == "chosenFileLine"_L1)
        return new NoticeLabelAccessible(static_cast<QLabel *>(object));
    return nullptr;
}

} // namespace

void useWindowAccessibility()
{
    QAccessible::installFactory(windowAccessibility); // Qt keeps each factory once
}

void exposeStarRows(const Controls &c)
{
    new StarRow(*c.cbostar[0], c.imgstar, c.cbostar[0]->accessibleName(), c.Frame2);
    new StarRow(*c.cbostar[1], c.imgstarm, c.cbostar[1]->accessibleName(), c.Frame2);
}

void announceListEntries(const Controls &c, QObject *context)
{
    for (QComboBox *list : {static_cast<QComboBox *>(c.drvlaufwerk), c.cbostar[0], c.cbostar[1]})
        QObject::connect(list, &QComboBox::currentIndexChanged, context,
                         [list] { NamedComboBoxAccessible::announceEntry(list); });
}
