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

    // Whether the same call may succeed a moment later. Windows refuses a file that another
    // program holds open (a virus scanner, the search indexer, a cloud client or Explorer's
    // preview open a file just written), and denies access to a file being deleted; Linux has
    // nothing of the kind.
    enum class Transience {
        Lasting,
        InUse,   // another program has the file open in a way that excludes this use
        Passing, // another short-lived state, such as a file being deleted or scanned
    };

    int number = 0;
    QString words;
    int systemNumber = 0; // the Windows error; on Linux the errno value again
    Transience transience = Transience::Lasting;

    // A failure the program itself names by its errno value, without the system's words.
    static SystemError ofErrno(int errorNumber) { return {errorNumber, {}, errorNumber}; }

    bool failed() const { return number != 0; }
    bool transient() const { return transience != Transience::Lasting; }
};
