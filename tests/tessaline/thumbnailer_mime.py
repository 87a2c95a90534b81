"""The thumbnailer entry's MimeType list against the shared MIME database.

Usage: thumbnailer_mime.py ENTRY FIXTURE_DIR

The entry must list exactly the types (with their aliases) that the database gives the .djvu
and .djv names, and the type that GIO finds for a single page, a bundle and an indirect index
(content sniffing, as file managers do) must be one of them.
"""
import configparser
import sys
import xml.etree.ElementTree as ET

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio  # noqa: E402

DATABASE = "/usr/share/mime/packages/freedesktop.org.xml"
NS = "{http://www.freedesktop.org/standards/shared-mime-info}"


def database_types():
    """Every type whose globs match .djvu or .djv files, and their aliases."""
    types = set()
    for mime in ET.parse(DATABASE).getroot().iter(NS + "mime-type"):
        globs = {g.get("pattern") for g in mime.iter(NS + "glob")}
        if globs & {"*.djvu", "*.djv"}:
            types.add(mime.get("type"))
            types.update(a.get("type") for a in mime.iter(NS + "alias"))
    return types


def entry_types(path):
    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(path)
    return {t for t in entry["Thumbnailer Entry"]["MimeType"].split(";") if t}


def content_type(path):
    return Gio.File.new_for_path(path).query_info("standard::content-type", 0, None).get_content_type()


def main():
    entry_path, fixtures = sys.argv[1], sys.argv[2]
    listed, known = entry_types(entry_path), database_types()
    failures = []
    if "image/vnd.djvu+multipage" not in known:
        failures.append("the database has no image/vnd.djvu+multipage: is shared-mime-info too old?")
    if listed != known:
        failures.append("entry lists %s, the database has %s" % (sorted(listed), sorted(known)))
    cases = [("single page", "container/photo.djvu", "image/vnd.djvu"),
             ("bundled", "container/doc.djvu", "image/vnd.djvu+multipage"),
             ("indirect index", "container/doc_indirect/index.djvu", "image/vnd.djvu+multipage")]
    for kind, name, expected in cases:
        found = content_type("%s/%s" % (fixtures, name))
        print("%s (%s): %s" % (kind, name, found))
        if found != expected:
            failures.append("%s: GIO says %s, not %s" % (kind, found, expected))
        if found not in listed:
            failures.append("%s: %s is not in the entry" % (kind, found))
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
