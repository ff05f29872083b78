#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Asks an X window to close as a window manager's close button does: the WM_DELETE_WINDOW
message. xdotool's windowclose destroys the window instead, which no user can do.
Usage: closewindow.py WINDOW_ID (on $DISPLAY)."""
import ctypes
import sys

ClientMessage = 33


class ClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5),
                ("padding", ctypes.c_long * 12)]  # up to an XEvent's 192 bytes


x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                           ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

display = x11.XOpenDisplay(None)
if not display:
    sys.exit("closewindow: cannot open the display")
window = int(sys.argv[1])
event = ClientMessageEvent(type=ClientMessage, window=window, format=32,
                           message_type=x11.XInternAtom(display, b"WM_PROTOCOLS", 0))
event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x11.XCloseDisplay(display)  # flushes
