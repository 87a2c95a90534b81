"""GNOME's thumbnail factory as the client of the installed tessaline and its entry.

Usage: gnome_thumbnail_factory.py CMAKE BUILD_DIR FIXTURE_DIR

Installs the build into a private prefix below /usr/local/lib (the factory's sandbox shows
the thumbnailer only /usr) and makes the factory, found through XDG_DATA_DIRS and PATH, write
the thumbnails of a single page and a bundle into a private cache. An indirect index cannot be
thumbnailed in the sandbox, which shows the program only that one file: it must fail cleanly.
Exit status 77 (skipped) only when the sandbox cannot run; the thumbnailer then still runs
unsandboxed, as its command line would be run without the sandbox.
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

SIZE = 128  # the factory's "normal" size
SKIPPED = 77
SANDBOX_NAME = "gnome-desktop-file-to-thumbnail.djvu"  # the name the sandbox gives its input


def png_facts(path):
    """(width, height, {key: text}) of a PNG file, from its IHDR, tEXt and zTXt chunks."""
    data = open(path, "rb").read()
    pos, width, height, texts = 8, 0, 0, {}
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height = struct.unpack(">II", body[:8])
        elif kind == b"tEXt":
            key, value = body.split(b"\0", 1)
            texts[key.decode()] = value.decode("latin-1")
        elif kind == b"zTXt":
            key, rest = body.split(b"\0", 1)
            texts[key.decode()] = zlib.decompress(rest[1:]).decode("latin-1")
        pos += 12 + length
    return width, height, texts


def expected_size(tessaline, path):
    """The thumbnail rule on page 1's displayed size: longer side SIZE, the other truncated."""
    info = json.loads(subprocess.run([tessaline, "info", "--json", path], check=True,
                                     capture_output=True, text=True).stdout)
    w, h = info["pages"][0]["width"], info["pages"][0]["height"]
    return (SIZE, h * SIZE // w) if w >= h else (w * SIZE // h, SIZE)


def sandbox_works(tessaline):
    """Whether bubblewrap can run the program with /usr alone, as the factory runs it."""
    try:
        return subprocess.run(["bwrap", "--ro-bind", "/usr", "/usr", "--symlink", "usr/lib", "/lib",
                               "--symlink", "usr/lib64", "/lib64", "--symlink", "usr/bin", "/bin",
                               "--proc", "/proc", "--dev", "/dev", "--unshare-all", "--die-with-parent",
                               tessaline, "--version"], capture_output=True).returncode == 0
    except OSError:
        return False


def run_like_sandbox(tessaline, index, work):
    """The thumbnailer on an indirect index that is alone in its folder and renamed."""
    alone = os.path.join(work, "alone")
    os.makedirs(alone)
    shutil.copy(index, os.path.join(alone, SANDBOX_NAME))
    return subprocess.run([tessaline, "thumbnail", "-s", str(SIZE), os.path.join(alone, SANDBOX_NAME),
                           os.path.join(alone, "out.png")], capture_output=True, text=True)


class Check:
    def __init__(self):
        self.failures = []

    def __call__(self, ok, what):
        print(("ok   " if ok else "FAIL ") + what)
        if not ok:
            self.failures.append(what)


def check_png(check, name, path, size, uri, mtime):
    width, height, texts = png_facts(path)
    check((width, height) == size, "%s: %dx%d, expected %dx%d" % ((name, width, height) + size))
    check(texts.get("Thumb::URI") == uri, "%s: Thumb::URI %r" % (name, texts.get("Thumb::URI")))
    check(texts.get("Thumb::MTime") == str(mtime), "%s: Thumb::MTime %r, file %d" %
          (name, texts.get("Thumb::MTime"), mtime))


def through_factory(check, tessaline, docs, indirect):
    import gi
    gi.require_version("GnomeDesktop", "3.0")
    from gi.repository import Gio, GLib, GnomeDesktop

    factory = GnomeDesktop.DesktopThumbnailFactory.new(GnomeDesktop.DesktopThumbnailSize.NORMAL)

    def facts(path):
        f = Gio.File.new_for_path(path)
        info = f.query_info("standard::content-type,time::modified", 0, None)
        return f.get_uri(), info.get_content_type(), info.get_attribute_uint64("time::modified")

    for name, path in docs:
        uri, mime, mtime = facts(path)
        check(factory.can_thumbnail(uri, mime, mtime), "%s (%s): the factory has a thumbnailer" % (name, mime))
        try:
            pixbuf = factory.generate_thumbnail(uri, mime, None)
        except GLib.Error as e:
            check(False, "%s: the factory failed: %s" % (name, e.message))
            continue
        factory.save_thumbnail(pixbuf, uri, mtime, None)
        saved = factory.lookup(uri, mtime)
        check(saved is not None, "%s: saved as %s" % (name, saved))
        if saved:
            check_png(check, name, saved, expected_size(tessaline, path), uri, mtime)

    uri, mime, mtime = facts(indirect)
    try:
        factory.generate_thumbnail(uri, mime, None)
        check(False, "indirect index: the factory made a thumbnail without the components")
    except GLib.Error as e:
        # Unsandboxed, the components next to the index would be found: failing shows the sandbox.
        check("exited with code 1" in e.message, "indirect index: the sandboxed thumbnailer fails: %s" % e.message)


def unsandboxed(check, tessaline, docs, work):
    for name, path in docs:
        out = os.path.join(work, name + ".png")
        # The entry's Exec line, expanded as the factory does: %s size, %i input, %o output.
        done = subprocess.run([tessaline, "thumbnail", "-s", str(SIZE), path, out])
        check(done.returncode == 0, "%s: thumbnailer exit status %d" % (name, done.returncode))
        if done.returncode == 0:
            width, height, _ = png_facts(out)
            check((width, height) == expected_size(tessaline, path), "%s: %dx%d" % (name, width, height))


def main():
    cmake, build, fixtures = sys.argv[1:4]
    docs = [("single page", os.path.join(fixtures, "container/photo.djvu")),
            ("bundled", os.path.join(fixtures, "container/doc.djvu"))]
    indirect_dir = os.path.join(fixtures, "container/doc_indirect")
    indirect = os.path.join(indirect_dir, "index.djvu")
    os.makedirs("/usr/local/lib", exist_ok=True)
    prefix = tempfile.mkdtemp(prefix="tessaline-client-", dir="/usr/local/lib")
    work = tempfile.mkdtemp(prefix="tessaline-client-")
    try:
        subprocess.run([cmake, "--install", build, "--prefix", prefix], check=True, stdout=subprocess.DEVNULL)
        tessaline = os.path.join(prefix, "bin", "tessaline")
        # Set before GLib first reads them: it keeps the first values for the process's life.
        os.environ["PATH"] = os.path.join(prefix, "bin") + ":" + os.environ.get("PATH", "/usr/bin:/bin")
        os.environ["XDG_DATA_DIRS"] = os.path.join(prefix, "share") + ":/usr/share"
        os.environ["XDG_DATA_HOME"] = os.path.join(work, "data")
        os.environ["XDG_CACHE_HOME"] = os.path.join(work, "cache")
        check = Check()

        alone = run_like_sandbox(tessaline, indirect, work)
        components = [f for f in os.listdir(indirect_dir) if f != "index.djvu"]
        named = [c for c in components if c in alone.stderr]
        check(alone.returncode == 1, "indirect index alone: exit status %d" % alone.returncode)
        check(len(alone.stderr.strip().splitlines()) == 1 and named,
              "indirect index alone: one line naming a component: %r" % alone.stderr)

        if sandbox_works(tessaline):
            through_factory(check, tessaline, docs, indirect)
        else:
            unsandboxed(check, tessaline, docs, work)
            if not check.failures:
                print("SKIPPED: bubblewrap cannot make its sandbox here (no user namespaces or mount rights), "
                      "so the factory cannot run thumbnailers; the entry's command ran unsandboxed instead")
                return SKIPPED
        return 1 if check.failures else 0
    finally:
        shutil.rmtree(prefix, ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
