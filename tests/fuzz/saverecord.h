// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Checks the line reader and the rewrite rule against a plain reference model. In: arbitrary
// bytes, a reader block size and two rating indexes. Out: the output bytes, the line count and
// the asterisk row after each line, from the product and from the model, and where they differ.

#include <QByteArray>
#include <QList>
#include <QString>

// What a save of some bytes produces: the output file's bytes, how many lines were read and
// the asterisk count shown after each line.
struct SaveRecord
{
    QByteArray output;
    qsizetype lineCount = 0;
    QList<int> asterisks;
};

// Empty when both records are the same, else where they first part, readably.
QString describeDifference(const SaveRecord &product, const SaveRecord &model);
