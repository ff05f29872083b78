// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the program carries a failed system call, wherever it happens: its errno value (Windows
// errors are mapped to the same numbers) and the system's own number. The German words for it
// are chosen by the errno value (rewrite/savereasons.h); the system's own words are not kept,
// as they would be English on most systems. No failure: number 0.
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
    int systemNumber = 0; // the Windows error; on Linux the errno value again
    Transience transience = Transience::Lasting;

    // A failure named by its errno value alone, where no other system number stands behind it.
    static SystemError ofErrno(int errorNumber) { return {errorNumber, errorNumber}; }

    bool failed() const { return number != 0; }
    bool transient() const { return transience != Transience::Lasting; }
};
