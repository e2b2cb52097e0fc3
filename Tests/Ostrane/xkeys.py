#!/usr/bin/python3
"""Gives each named keysym a keycode of its own on the X server, once, before a client starts.

  xkeys.py KEYSYM_NAME...

A tool that maps a key only for the moment it types it races the client's reading of the keymap;
a mapping made beforehand is simply there.
"""
import sys

from Xlib import X, XK, display


def main():
    d = display.Display()
    first = d.display.info.min_keycode
    count = d.display.info.max_keycode - first + 1
    mapping = d.get_keyboard_mapping(first, count)
    free = [first + i for i, syms in enumerate(mapping) if not any(syms)]
    for name in sys.argv[1:]:
        keysym = XK.string_to_keysym(name)
        if keysym == X.NoSymbol or not free:
            sys.exit("cannot map " + name)
        code = free.pop()
        d.change_keyboard_mapping(code, [(keysym, keysym)])
    d.sync()
    d.close()


if __name__ == "__main__":
    main()
