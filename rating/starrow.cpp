// SPDX-License-Identifier: GPL-3.0-or-later
#include "rating/starrow.h"

#include "rewrite/ratings.h"

#include <QAccessible>
#include <QComboBox>

using namespace Qt::StringLiterals;

QString starRowWords(int ratingIndex)
{
    if (ratingIndex < 0)
        return {};
    const QString stars = ratingIndex % 2 == 0 ? QString::number(ratingIndex / 2)
                                               : u"%1,5"_s.arg(ratingIndex / 2);
    return u"%1 von %2 Sternen"_s.arg(stars).arg((RatingIndexCount - 1) / 2);
}

StarRow::StarRow(QComboBox &list, const std::array<Picture *, 6> &pictures,
                 const QString &description, QObject *area)
    : QObject(area), m_list(&list), m_description(description)
{
    std::copy(pictures.begin(), pictures.end(), m_pictures.begin());
    connect(&list, &QComboBox::currentIndexChanged, this, &StarRow::announceRating);
}

QString StarRow::ratingWords() const
{
    return m_list ? starRowWords(m_list->currentIndex()) : QString();
}

QRect StarRow::screenRect() const
{
    QRect united;
    for (const Picture *picture : m_pictures) {
        if (picture && picture->isVisible())
            united |= QRect(picture->mapToGlobal(QPoint(0, 0)), picture->size());
    }
    return united;
}

bool StarRow::isShown() const
{
    const Picture *first = m_pictures[0];
    return first && first->isVisible();
}

// Building the event asks for the row's accessibility; with no screen reader listening there
// is nobody to tell, and nothing is built.
void StarRow::announceRating()
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}
