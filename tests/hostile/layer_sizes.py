#!/usr/bin/env python3
"""Layer sizes against the page: encoder output with its INFO (or the layer's header) patched,
drawn by tessaline and by ddjvu. Each row says what both must do: 'ok' (a picture) or 'size'
(refused for its size; ours names the chunk). Rows where the two differ are deliberate.

Usage: layer_sizes.py TESSALINE FIXTURES
"""
import glob
import os
import struct
import subprocess
import sys
import tempfile

from djvu_bytes import chunk, chunks, file_of, form

# (layer, page size or None for the encoder's, layer header size or None, ours, ddjvu)
TABLE = [
    ('BG44', None, None, 'ok', 'ok'),
    ('BG44', (600, 399), None, 'ok', 'ok'),      # halved, rounded up
    ('BG44', (3589, 2389), None, 'ok', 'ok'),    # the smallest page at a twelfth
    ('BG44', (3600, 2400), None, 'ok', 'ok'),    # the largest
    ('BG44', (3601, 2400), None, 'size', 'size'),
    ('BG44', (3900, 2600), None, 'size', 'size'),  # a thirteenth
    ('BG44', (299, 200), None, 'size', 'size'),    # larger than the page
    ('BG44', (600, 200), None, 'size', 'size'),    # a factor per side
    ('BG44', (300, 201), None, 'size', 'size'),
    ('BG44', None, (65535, 65535), 'size', 'size'),
    ('FG44', None, None, 'ok', 'ok'),
    ('FG44', (3600, 2400), None, 'ok', 'ok'),
    ('FG44', (301, 200), None, 'size', 'size'),
    ('Sjbz', None, None, 'ok', 'ok'),
    ('Sjbz', (301, 200), None, 'size', 'size'),
    ('Sjbz', (300, 199), None, 'size', 'size'),
    ('Sjbz', (150, 100), None, 'size', 'size'),
    # The reference draws a mask at half the page; a mask is the page's own size here.
    ('Sjbz', (600, 400), None, 'size', 'ok'),
    ('Smmr', None, None, 'ok', 'ok'),
    ('Smmr', 'wider', None, 'size', 'size'),
    ('Smmr', 'double', None, 'size', 'ok'),
]


def pnm(path, magic, w, h, pixels):
    with open(path, 'wb') as f:
        f.write(b'%s\n%d %d\n%s' % (magic, w, h, b'255\n' if magic == b'P6' else b''))
        f.write(pixels)


def encoder_pages(tmp, fixtures):
    w, h = 300, 200
    pnm(os.path.join(tmp, 'bg.ppm'), b'P6', w, h,
        bytes(v for y in range(h) for x in range(w) for v in (x * 255 // w, y * 255 // h, 128)))
    rows = bytearray()
    for y in range(h):
        rows += bytes(0xFF if 40 <= y < 120 and 2 <= i < 16 else 0 for i in range((w + 7) // 8))
    pnm(os.path.join(tmp, 'mask.pbm'), b'P4', w, h, bytes(rows))
    subprocess.run(['c44', os.path.join(tmp, 'bg.ppm'), os.path.join(tmp, 'BG44.djvu')], check=True)
    subprocess.run(['cjb2', os.path.join(tmp, 'mask.pbm'), os.path.join(tmp, 'Sjbz.djvu')], check=True)
    with open(os.path.join(tmp, 'BG44.djvu'), 'rb') as f:
        bg = f.read()
    first = {c[1]: bg[c[0] + 8:c[0] + 8 + c[2]] for c in reversed(chunks(bg))}
    pages = {'BG44': bg, 'FG44': file_of(form('DJVU', [chunk('INFO', first['INFO']), chunk('FG44', first['BG44'])])),
             'Sjbz': open(os.path.join(tmp, 'Sjbz.djvu'), 'rb').read()}
    for path in sorted(glob.glob(os.path.join(fixtures, 'mmr', '*.djvu'))):
        data = open(path, 'rb').read()
        if data[12:16] == b'DJVU' and any(c[1] == 'Smmr' for c in chunks(data)):
            pages['Smmr'] = data
            break
    return pages


def patched(data, layer, page, header):
    out = bytearray(data)
    listing = chunks(out)
    info = next(c[0] for c in listing if c[1] == 'INFO')
    w, h = struct.unpack('>HH', out[info + 8:info + 12])
    if page == 'wider':
        page = (w + 1, h)
    elif page == 'double':
        page = (2 * w, 2 * h)
    if page:
        out[info + 8:info + 12] = struct.pack('>HH', *page)
    if header:
        at = next(c[0] for c in listing if c[1] == layer)
        out[at + 12:at + 16] = struct.pack('>HH', *header)
    return bytes(out)


def ours(tessaline, path, out):
    r = subprocess.run([tessaline, 'thumbnail', '--verbose', '-s', '256', path, out],
                       capture_output=True, text=True, timeout=60)
    if r.returncode == 0:
        return 'ok', ''
    return ('size' if 'Incorrect size in ' in r.stderr else 'other'), r.stderr


def reference(path, out):
    # ddjvu decodes on a thread of its own and now and then reports a failed page without the
    # decoder's message (only "Cannot decode page"): ask again before taking that as its answer.
    for _ in range(5):
        r = subprocess.run(['ddjvu', '-format=ppm', '-size=256x256', path, out], capture_output=True, text=True,
                           timeout=60)
        if 'Incorrect size' in r.stderr:
            return 'size', r.stderr
        if r.returncode == 0 or r.stderr.strip() != 'ddjvu: Cannot decode page 1.':
            break
    return ('ok' if r.returncode == 0 and not r.stderr else 'other'), r.stderr


def main():
    tessaline, fixtures = sys.argv[1], sys.argv[2]
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        pages = encoder_pages(tmp, fixtures)
        for layer, page, header, want_ours, want_ref in TABLE:
            path = os.path.join(tmp, 'case.djvu')
            with open(path, 'wb') as f:
                f.write(patched(pages[layer], layer, page, header))
            got_ours, err = ours(tessaline, path, os.path.join(tmp, 'out.pgm'))
            if got_ours == 'size' and ('Incorrect size in %s chunk' % layer) not in err:
                got_ours = 'other'
            got_ref, ref_err = reference(path, os.path.join(tmp, 'ref.ppm'))
            good = got_ours == want_ours and got_ref == want_ref
            failed += not good
            print('%s %s page %s header %s: ours %s, ddjvu %s%s' % (
                'ok  ' if good else 'FAIL', layer, page, header, got_ours, got_ref,
                '' if good else ' (want %s, %s)\n%s%s' % (want_ours, want_ref, err, ref_err)))
    print('%d passed, %d failed' % (len(TABLE) - failed, failed))
    sys.exit(1 if failed else 0)


if __name__ == '__main__':
    main()
