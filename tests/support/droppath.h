// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/filenames.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

// Drags a file or folder over `widget` and drops it there, as a file manager does: its address
// holds the name's bytes, percent-escaped ("file:///C:/..." on Windows).
inline void dropPath(QWidget *widget, const QString &path)
{
    QByteArray bytes = systemFileName(path);
    if (!bytes.startsWith('/'))
        bytes.prepend('/');
    QMimeData data;
    data.setUrls({QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/:"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(widget, &enter);
    QApplication::sendEvent(widget, &drop);
}
