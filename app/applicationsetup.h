// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Names, version, icon, style and language (German) of the application, set once right after
// QApplication is created; shared by the program's main() and the start-up benchmark so the two
// cannot drift apart.
void setUpApplication();
