// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Value conversions. In: a 16-bit value, a number, or a text of binary digits. Out: the
// unsigned reading of a 16-bit value, sixteen binary digits, or the number those digits stand
// for. Pure functions; nothing else in the program is read or changed.
//
// No handler or other part of the program calls these. They exist because the main window
// offers them as operations of its own: Form1::CUint and Form1::Dec2Bin publicly, Form1::Bin2Dec
// privately, each forwarding here.

#include <QString>
#include <QtGlobal>

namespace ValueConversions {

// The unsigned reading of the same sixteen bits: 0..32767 unchanged, -1 gives 65535, -32768
// gives 32768.
qint32 CUint(qint16 intValue);

// Exactly sixteen characters '0' and '1', most significant first.
// Throws std::invalid_argument for a value outside 0..65535, which has no such text.
QString Dec2Bin(qint32 Dec);

// Reads binary digits: each character that is exactly '1' adds 2 to the power of its distance
// from the end of the text; every other character (blank, letter, sign, '2') adds nothing.
// Empty text gives 0. Throws std::overflow_error once the total reaches 2^31.
qint32 Bin2Dec(const QString &text);

} // namespace ValueConversions
