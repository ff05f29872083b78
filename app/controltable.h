// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>

// Where each control of the main window stands: left, top, width and height in twips
// (1/1440 inch, 15 to a pixel at 96 dpi), relative to the client area of its container.
struct TwipsRect
{
    int left;
    int top;
    int width;
    int height;

    // Logical pixels; Qt scales them for high-DPI screens.
    QRect toPixels() const;
};

namespace ControlTable {

inline constexpr TwipsRect ClientArea{0, 0, 6045, 6225};

// In the window.
inline constexpr TwipsRect Picture1{0, 0, 6060, 1560}; // 15 twips wider than the window: cut off
inline constexpr TwipsRect frame1{50, 1560, 3000, 4575};
inline constexpr TwipsRect Frame2{3000, 1560, 3000, 4575};

// In frame1.
inline constexpr TwipsRect drvlaufwerk{120, 240, 2775, 315};
inline constexpr TwipsRect Dirverzeichnis{120, 650, 2775, 1890};
inline constexpr TwipsRect Fildatei{120, 2640, 2775, 1845};

// In Frame2. Label2 and Label3 take their size from their text.
inline constexpr TwipsRect Label2{120, 480, 1455, 300};
inline constexpr TwipsRect Label3{120, 2400, 1500, 300};
inline constexpr TwipsRect cbostar0{1680, 480, 1215, 315};
inline constexpr TwipsRect cbostar1{1680, 2400, 1215, 315};
inline constexpr TwipsRect imgstarv{600, 1440, 405, 375};
inline constexpr TwipsRect imgstarh{1080, 1440, 405, 375};
inline constexpr TwipsRect imgstarl{1560, 1440, 405, 375};
inline constexpr TwipsRect btnspeichern{120, 3600, 1335, 375};
inline constexpr TwipsRect lblprobar{120, 4080, 2700, 435};
// What the chosen file carries now: two lines in the free strip above Label2.
inline constexpr TwipsRect chosenFileLine{120, 30, 2775, 435};

// Star row member i stands at left 120 + 480 × i; both rows share the six columns.
inline constexpr int StarRowTopStart = 960;
inline constexpr int StarRowTopMaximum = 2880;
constexpr TwipsRect starRowMember(int rowTop, int member)
{
    return {120 + 480 * member, rowTop, 405, 375};
}

} // namespace ControlTable
