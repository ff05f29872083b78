// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// How the program carries a failed system call, wherever it happens: its errno value (Windows
// errors are mapped to the same numbers), the system's own words for it, which may be empty,
// and the system's own number. The German words for it are chosen by the errno value
// (rewrite/savereasons.h). No failure: number 0.
struct SystemError
{
    static constexpr int NoErrno = -1; // a Windows error without an errno value

    int number = 0;
    QString words;
    int systemNumber = 0; // the Windows error; on Linux the errno value again

    bool failed() const { return number != 0; }
};
