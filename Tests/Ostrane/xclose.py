#!/usr/bin/python3
"""Closes a top-level window the way a window manager does: a WM_DELETE_WINDOW client message.

  xclose.py WINDOW_ID
"""
import sys

from Xlib import X, display, protocol


def main():
    d = display.Display()
    window = d.create_resource_object("window", int(sys.argv[1], 0))
    protocols = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(event, event_mask=X.NoEventMask)
    # A round trip: the server has handled the request before this connection goes away.
    d.sync()
    d.close()


if __name__ == "__main__":
    main()
