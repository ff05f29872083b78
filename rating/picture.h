// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

// A picture control: shows the image it holds scaled to its box. Starts hidden and empty.
class Picture : public QLabel
{
    Q_OBJECT

public:
    explicit Picture(QWidget *parent = nullptr);

    // Takes the image held by another picture (shared, not copied pixel by pixel).
    void setImageFrom(const Picture &other);

    bool hasImage() const;

    // Which image is held: pictures holding the same image share this key; 0 for none.
    qint64 imageKey() const;

protected:
    // Draws as QLabel draws a scaled image, but pictures holding the same image in boxes of the
    // same size share one scaled copy: a star row's six pictures scale one image once, not six
    // times.
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap scaledImage(QSize box) const;
};
