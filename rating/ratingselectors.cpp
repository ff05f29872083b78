// SPDX-License-Identifier: GPL-3.0-or-later
#include "rating/ratingselectors.h"

#include <QComboBox>

namespace {

enum class Star { Full, Half, Empty };

Star starAt(int position, int k)
{
    // Integer division truncates toward zero, so a list without a selection (-1) gives m = 0;
    // -1 is odd, so that row would start with a half star. Nothing in the window draws it.
    const int m = k / 2;
    if (position < m)
        return Star::Full;
    if (position == m && k % 2 != 0)
        return Star::Half;
    return Star::Empty;
}

qint16 selectedRatingIndex(const QComboBox &list)
{
    return static_cast<qint16>(list.currentIndex());
}

// Never lowers the maximum and never touches the start. The assignment runs the handler for
// the maximum list before it returns.
void raiseMaximumToStart(const StarControls &controls)
{
    const qint16 start = selectedRatingIndex(*controls.cbostar[0]);
    const qint16 maximum = selectedRatingIndex(*controls.cbostar[1]);
    if (start > maximum)
        controls.cbostar[1]->setCurrentIndex(start);
}

} // namespace

void cbostarClick(const StarControls &controls, qint16 index)
{
    raiseMaximumToStart(controls);

    const bool startRow = index == 0;
    const auto &row = startRow ? controls.imgstar : controls.imgstarm;
    // Read again: the coupling step may just have raised the maximum.
    const int k = selectedRatingIndex(*controls.cbostar[startRow ? 0 : 1]);
    drawStarRow(row, k, *controls.imgstarv, *controls.imgstarh, *controls.imgstarl);
}

void drawStarRow(const std::array<Picture *, 6> &row, int k, const Picture &full,
                 const Picture &half, const Picture &empty)
{
    for (std::size_t position = 0; position < row.size(); ++position) {
        Picture *picture = row[position];
        switch (starAt(static_cast<int>(position), k)) {
        case Star::Full:
            picture->setImageFrom(full);
            break;
        case Star::Half:
            picture->setImageFrom(half);
            break;
        case Star::Empty:
            picture->setImageFrom(empty);
            break;
        }
        picture->show();
    }
}

void connectRatingSelectors(const StarControls &controls, QObject *context)
{
    for (qint16 member : {qint16(0), qint16(1)}) {
        QObject::connect(controls.cbostar[static_cast<std::size_t>(member)],
                         &QComboBox::currentIndexChanged, context,
                         [controls, member] { cbostarClick(controls, member); });
    }
}
