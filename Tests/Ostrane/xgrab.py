#!/usr/bin/python3
"""Writes what a window shows on the X server: its width and height on the first line, then its
pixels, four bytes each, row after row.

  xgrab.py WINDOW_ID OUT
"""
import sys

from Xlib import X, display


def main():
    d = display.Display()
    window = d.create_resource_object("window", int(sys.argv[1], 0))
    geometry = window.get_geometry()
    image = window.get_image(0, 0, geometry.width, geometry.height, X.ZPixmap, 0xFFFFFFFF)
    with open(sys.argv[2], "wb") as out:
        out.write(b"%d %d\n" % (geometry.width, geometry.height))
        out.write(image.data)
    d.close()


if __name__ == "__main__":
    main()
