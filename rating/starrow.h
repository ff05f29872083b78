// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rating/picture.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <array>

class QComboBox;

// A row of six star pictures as screen readers meet it: one picture named by the rating it
// shows ("3,5 von 6 Sternen"), described by the list it mirrors ("Startsterne"). A sighted
// user takes the six pictures in at a glance; read one by one, six nameless images say nothing.
// Made a child of the area that holds the pictures, so that the area's accessibility shows the
// rows in place of their pictures (StarAreaAccessible). Tells screen readers when its list's
// rating changes.
class StarRow : public QObject
{
    Q_OBJECT

public:
    StarRow(QComboBox &list, const std::array<Picture *, 6> &pictures, const QString &description,
            QObject *area);

    // "3,5 von 6 Sternen"; empty while the list has no rating.
    QString ratingWords() const;
    QString description() const { return m_description; }
    // Where the six pictures stand on the screen; empty while they are hidden.
    QRect screenRect() const;
    bool isShown() const;

private:
    void announceRating();

    QPointer<QComboBox> m_list;
    std::array<QPointer<Picture>, 6> m_pictures;
    QString m_description;
};

// The words for rating index k (k/2 stars), German style: "0 von 6 Sternen", "3,5 von 6 Sternen".
QString starRowWords(int ratingIndex);
