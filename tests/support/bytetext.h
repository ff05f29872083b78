// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

// Byte strings from literals that keep their full length, embedded NULs included.
template <qsizetype N>
QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

inline QByteArray spaces(qsizetype count)
{
    return QByteArray(count, ' ');
}
