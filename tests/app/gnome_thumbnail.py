"""Asks GNOME's thumbnail factory (the one Files uses) about a file.

Usage: gnome_thumbnail.py FILE MIME OUT.png
Prints "accepted" when the factory found a thumbnailer entry it can run for
the type, then "made WxH" or "not made: REASON" after trying to make the
thumbnail. Exit 0 when accepted, 3 when not, 77 when the factory is missing.
"""
import os
import sys

try:
    import gi
    gi.require_version("GnomeDesktop", "3.0")
    from gi.repository import Gio, GnomeDesktop
except (ImportError, ValueError) as e:
    print("no factory:", e)
    sys.exit(77)

path, mime, out = sys.argv[1:4]
factory = GnomeDesktop.DesktopThumbnailFactory.new(GnomeDesktop.DesktopThumbnailSize.NORMAL)
uri = Gio.File.new_for_path(path).get_uri()
if not factory.can_thumbnail(uri, mime, int(os.stat(path).st_mtime)):
    print("not accepted")
    sys.exit(3)
print("accepted")
try:
    pixbuf = factory.generate_thumbnail(uri, mime, None)
    pixbuf.savev(out, "png", [], [])
    print("made %dx%d" % (pixbuf.get_width(), pixbuf.get_height()))
except Exception as e:  # the factory's sandbox sees only /usr
    print("not made:", e)
sys.exit(0)
