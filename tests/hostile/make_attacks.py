#!/usr/bin/env python3
"""One crafted file per known attack class on DjVu decoders, and what tessaline must make of it.

Usage: make_attacks.py OUTDIR JB2_PAYLOADS    writes the files
       make_attacks.py --check TESSALINE DIR [--max-rss-mib N] [--max-cpu-seconds S]
                                              draws each file of DIR as a 256-pixel thumbnail, within
                                              those bounds of peak memory and processor time
The files are small and committed (tests/regress/thumbnail/, where the thumbnail fuzzer's replay
runs them too); this script says how each was made. Writing needs DjVuLibre's `bzz`, and the
JB2 records come from the test program jb2_attack_payloads (tests/jb2/), given as JB2_PAYLOADS.
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile

from djvu_bytes import chunk, file_of, form, info, iw44_first, mmr
from measured import run_measured


def bzz(data, block_kib=None):
    with tempfile.TemporaryDirectory() as tmp:
        src, dst = os.path.join(tmp, 'in'), os.path.join(tmp, 'out')
        with open(src, 'wb') as f:
            f.write(data)
        subprocess.run(['bzz', '-e%d' % block_kib if block_kib else '-e', src, dst], check=True)
        with open(dst, 'rb') as f:
            return f.read()


def page(*layers, width=64, height=64):
    return form('DJVU', [info(width, height)] + list(layers))


def bundled(components, offsets=None, count=None, packed=None):
    """components: (id, flags, form bytes). offsets/count/packed replace the true values."""
    n = len(components)
    ids = b''.join(c[0].encode() + b'\0' for c in components)
    table = b''.join(struct.pack('>I', len(c[2]))[1:] for c in components)
    table += bytes(c[1] for c in components) + ids
    packed = bzz(table) if packed is None else packed
    dirm_len = 3 + 4 * n + len(packed)
    at, true_offsets = 16 + 8 + dirm_len + (dirm_len & 1), []
    for c in components:
        true_offsets.append(at)
        at += len(c[2]) + (len(c[2]) & 1)
    offsets = true_offsets if offsets is None else offsets
    dirm = bytes([0x81]) + struct.pack('>H', n if count is None else count)
    dirm += b''.join(struct.pack('>I', o) for o in offsets) + packed
    return file_of(form('DJVM', [chunk('DIRM', dirm)] + [c[2] for c in components]))


def nested(depth):
    inner = chunk('TXTa', b'x')
    for _ in range(depth):
        inner = form('DJVI', [inner])
    return inner


def incl(name):
    return chunk('INCL', name.encode())


PAGE, INCLUDE = 1, 0
# A ZP stream of ones keeps the decoder on its cheapest path for as long as it runs.
ONES = b'\xff' * 4096


def attacks(jb2_payloads):
    def jb2(name):
        return subprocess.run([jb2_payloads, name], check=True, capture_output=True).stdout

    def jb2_page(name):
        return file_of(page(chunk('Sjbz', jb2(name))))

    one = [('p1.djvu', PAGE, page())]
    two = one + [('p2.djvu', PAGE, page())]
    return {
        # Directory over-read: offsets past the end, at the directory itself, a count the table lacks.
        'dirm_offset_past_end.djvu': bundled(one, offsets=[0x7FFFFFF0]),
        'dirm_offsets_at_directory.djvu': bundled(two, offsets=[12, 12]),
        'dirm_count_past_table.djvu': bundled(one, count=65535),
        # A directory whose compressed table claims a 4 MiB block of zeros.
        'bzz_block_of_4mib.djvu': bundled(one, packed=bzz(bytes(4 << 20), 4096)),
        # Recursion: a page including itself, two components including each other, deep forms.
        'incl_self.djvu': bundled([('p1.djvu', PAGE, page(incl('p1.djvu')))]),
        'incl_mutual.djvu': bundled([('p1.djvu', PAGE, page(incl('a.djvi'))),
                                     ('a.djvi', INCLUDE, form('DJVI', [incl('b.djvi')])),
                                     ('b.djvi', INCLUDE, form('DJVI', [incl('a.djvi')]))]),
        'form_nesting_deep.djvu': file_of(page(nested(3000))),
        # Sizes: an image larger than its page; the largest page with a foreground of its own size,
        # whose pixels would pass 32 bits; the largest page and image with the most slices.
        'bg44_larger_than_page.djvu': file_of(page(chunk('BG44', iw44_first(65535, 65535, 140, ONES)))),
        'fg44_bytes_past_32_bits.djvu': file_of(page(chunk('FG44', iw44_first(65535, 65535, 1, ONES[:64], False)),
                                                     width=65535, height=65535)),
        'bg44_largest_most_slices.djvu': file_of(page(chunk('BG44', iw44_first(65535, 65535, 140, ONES)),
                                                      width=65535, height=65535)),
        # The largest page with a colour foreground at a twelfth of its size, which a thumbnail
        # needs only a small reduction of.
        'fg44_twelfth_of_largest.djvu': file_of(page(chunk('FG44', iw44_first(5462, 5462, 140, ONES, False)),
                                                     width=65535, height=65535)),
        # IW44 slices past the format's limits: many first-chunk-like refinements of 255 slices.
        'iw44_slices_past_limit.djvu': file_of(page(chunk('BG44', iw44_first(64, 64, 255, ONES[:64])),
                                                    *[chunk('BG44', bytes([i, 255]) + ONES[:64]) for i in range(1, 40)])),
        # MMR: white make-up codes of 2560 run on past the row; rows of the largest mask.
        'mmr_runs_leave_row.djvu': file_of(page(chunk('Smmr', mmr(64, 64, bytes.fromhex('001f') * 32)))),
        'mmr_largest_rows.djvu': file_of(page(chunk('Smmr', mmr(65535, 65535, bytes.fromhex('2a') * 256)),
                                              width=65535, height=65535)),
        'mask_other_size.djvu': file_of(page(chunk('Smmr', mmr(32, 64, bytes.fromhex('2a') * 16)))),
        # JB2: copies of a shape partly and far outside the page, on every side; shapes larger
        # than the page (each with its picture as drawn, the same shapes cut to the page); a
        # refinement with nothing to refine; a page counting more shapes than its included
        # dictionary holds and copying one past its end; a shape past the size limit.
        'jb2_blits_outside_page.djvu': jb2_page('blits_outside_page'),
        'jb2_blits_outside_page_as_drawn.djvu': jb2_page('blits_outside_page_as_drawn'),
        'jb2_shapes_larger_than_page.djvu': jb2_page('shapes_larger_than_page'),
        'jb2_shapes_larger_than_page_as_drawn.djvu': jb2_page('shapes_larger_than_page_as_drawn'),
        'jb2_refine_missing_shape.djvu': jb2_page('refine_missing'),
        'jb2_dictionary_index_past_end.djvu': bundled([
            ('p1.djvu', PAGE, page(incl('dict.djbz'), chunk('Sjbz', jb2('page_naming_three')))),
            ('dict.djbz', INCLUDE, form('DJVI', [chunk('Djbz', jb2('dictionary_of_one'))]))]),
        'jb2_shape_past_limit.djvu': jb2_page('shape_past_limit'),
    }


# What each file must give: 'refused' (exit status 1, with this text in the library's message
# when one is given), 'drawn', 'drawn as' (drawn, and its mask at full size is, pixel for pixel,
# what ddjvu draws for the file named: the same shapes cut to the page, where ddjvu's own
# clipping of the file itself differs) or 'any' (a picture or a refusal: the format allows the
# file). Either way the run ends by itself, without a signal.
EXPECTED = {
    'dirm_offset_past_end.djvu': ('refused', ''),
    'dirm_offsets_at_directory.djvu': ('refused', ''),
    'dirm_count_past_table.djvu': ('refused', ''),
    'bzz_block_of_4mib.djvu': ('any', ''),
    'incl_self.djvu': ('refused', ''),
    'incl_mutual.djvu': ('refused', ''),
    'form_nesting_deep.djvu': ('refused', ''),
    'bg44_larger_than_page.djvu': ('refused', 'Incorrect size in BG44 chunk'),
    'fg44_bytes_past_32_bits.djvu': ('refused', 'exceeds 2GB'),
    'bg44_largest_most_slices.djvu': ('refused', 'needs too much work'),
    'fg44_twelfth_of_largest.djvu': ('drawn', ''),
    'iw44_slices_past_limit.djvu': ('any', ''),
    'mmr_runs_leave_row.djvu': ('refused', ''),
    'mmr_largest_rows.djvu': ('refused', ''),
    'mask_other_size.djvu': ('refused', 'Incorrect size in Smmr chunk'),
    'jb2_blits_outside_page.djvu': ('drawn as', 'jb2_blits_outside_page_as_drawn.djvu'),
    'jb2_shapes_larger_than_page.djvu': ('drawn as', 'jb2_shapes_larger_than_page_as_drawn.djvu'),
    'jb2_refine_missing_shape.djvu': ('refused', 'Shape index out of range'),
    'jb2_dictionary_index_past_end.djvu': ('refused', 'Shape count mismatch'),
    'jb2_shape_past_limit.djvu': ('refused', 'shape too large'),
}


def pgm_pixels(path):
    with open(path, 'rb') as f:
        data = f.read()
    fields, at = [], 0
    while len(fields) < 4:  # magic, width, height, maximum
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    return fields[:3], data[at + 1:]


def mask_as_ddjvu(tessaline, path, reference, tmp):
    ours, ref = os.path.join(tmp, 'ours.pgm'), os.path.join(tmp, 'ref.pgm')
    subprocess.run([tessaline, 'render', '--layers', 'mask', path, ours], check=True, timeout=30)
    subprocess.run(['ddjvu', '-format=pgm', '-mode=mask', reference, ref], check=True, timeout=30)
    return pgm_pixels(ours) == pgm_pixels(ref)


def check(tessaline, folder, max_rss, max_cpu):
    failed = 0
    names = sorted(n for n in os.listdir(folder) if n in EXPECTED)
    for name in sorted(set(EXPECTED) - set(names)):
        print('FAIL %s: missing' % name)
        failed += 1
    with tempfile.TemporaryDirectory() as tmp:
        for name in names:
            want, text = EXPECTED[name]
            status, rss, cpu, err = run_measured([tessaline, 'thumbnail', '--verbose', '-s', '256',
                                                  os.path.join(folder, name), os.path.join(tmp, 'out.pgm')], 30)
            if os.WIFSIGNALED(status):
                got = 'signal %d' % os.WTERMSIG(status)
            else:
                got = {0: 'drawn', 1: 'refused'}.get(os.WEXITSTATUS(status), 'status %d' % os.WEXITSTATUS(status))
            err = err.strip().replace('\n', ' | ')
            good = got == want or (want == 'any' and got in ('drawn', 'refused'))
            if want == 'drawn as' and got == 'drawn':
                good = mask_as_ddjvu(tessaline, os.path.join(folder, name), os.path.join(folder, text), tmp)
                got, text = '%s as %s' % (got, text if good else 'NOT ' + text), ''
            good = good and text in err and not (max_rss and rss > max_rss) and not (max_cpu and cpu > max_cpu)
            failed += not good
            print('%s %s: %s, %d MiB, %.2f s: %s' % ('ok  ' if good else 'FAIL', name, got, rss, cpu, err[:240]))
    print('%d passed, %d failed' % (len(EXPECTED) - failed, failed))
    return 1 if failed else 0


def main():
    if sys.argv[1] == '--check':
        ap = argparse.ArgumentParser()
        ap.add_argument('tessaline')
        ap.add_argument('folder')
        ap.add_argument('--max-rss-mib', type=int, default=0)
        ap.add_argument('--max-cpu-seconds', type=float, default=0)
        args = ap.parse_args(sys.argv[2:])
        sys.exit(check(args.tessaline, args.folder, args.max_rss_mib, args.max_cpu_seconds))
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, data in attacks(sys.argv[2]).items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
