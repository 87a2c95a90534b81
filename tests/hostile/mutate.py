#!/usr/bin/env python3
"""The hostile corpus: mutations of the test fixtures, made here with a fixed seed, each drawn as
a 256-pixel thumbnail by tessaline in a child process. Every run must end by itself with status
0 (a picture) or 1 (the file refused), never by a signal, a sanitizer report or the hang guard,
and, when --max-rss-mib is given, within that peak resident memory.

Usage: mutate.py TESSALINE FIXTURES COUNT [--max-rss-mib N] [--hang-seconds S] [--keep DIR]
"""
import argparse
import os
import random
import re
import struct
import subprocess
import sys
import tempfile
import threading
from concurrent.futures import ThreadPoolExecutor

from djvu_bytes import form

SEED = 20261206
MAX_FIXTURE_BYTES = 256 << 10


def fixtures(root):
    found = []
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            if name.endswith('.djvu') and os.path.getsize(path) <= MAX_FIXTURE_BYTES:
                found.append(path)
    return sorted(found)


def walk_chunks(data):
    """(offset, id) of every chunk header, forms included, found by following the lengths."""
    out, stack = [], [(4, len(data))]
    while stack:
        at, end = stack.pop()
        while at + 8 <= end:
            cid = data[at:at + 4]
            length = struct.unpack('>I', data[at + 4:at + 8])[0]
            out.append((at, cid))
            body = at + 8
            if cid == b'FORM' and length >= 4:
                stack.append((body + 4, min(end, body + length)))
            at = body + length + (length & 1)
    return out


def flip_bits(data, rng):
    for _ in range(rng.randint(1, 8)):
        i = rng.randrange(len(data))
        data[i] ^= 1 << rng.randrange(8)


def byte_run(data, rng):
    at = rng.randrange(len(data))
    n = min(len(data) - at, rng.randint(1, 64))
    data[at:at + n] = bytes([rng.choice([0, 0xFF, rng.randrange(256)])]) * n


def truncate(data, rng):
    del data[rng.randrange(1, len(data)):]


def length_lie(data, rng):
    heads = walk_chunks(data)
    at, _ = rng.choice(heads)
    old = struct.unpack('>I', data[at + 4:at + 8])[0]
    new = rng.choice([0, 1, 3, old - 1, old + 1, old + 4096, 0x7FFFFFFF, 0xFFFFFFFF, rng.randrange(1 << 32)])
    data[at + 4:at + 8] = struct.pack('>I', new & 0xFFFFFFFF)


def info_extremes(data, rng):
    for at, cid in walk_chunks(data):
        if cid == b'INFO' and at + 12 <= len(data):
            w, h = rng.choice([0, 1, 2, 65535]), rng.choice([0, 1, 3, 65535])
            data[at + 8:at + 12] = struct.pack('>HH', w, h)


def header_extremes(data, rng):
    # The size fields of an IW44 first chunk or an MMR header, pushed to their ends.
    for at, cid in walk_chunks(data):
        if cid in (b'BG44', b'FG44') and data[at + 8:at + 9] == b'\0' and at + 16 <= len(data):
            data[at + 9] = rng.choice([data[at + 9], 140, 255])
            data[at + 12:at + 16] = struct.pack('>HH', rng.choice([1, 65535]), rng.choice([1, 65535]))
        elif cid == b'Smmr' and at + 16 <= len(data):
            data[at + 12:at + 16] = struct.pack('>HH', rng.choice([1, 65535]), rng.choice([1, 65535]))


def include_damage(data, rng):
    heads = [at for at, cid in walk_chunks(data) if cid in (b'INCL', b'DIRM')]
    if not heads:
        return flip_bits(data, rng)
    at = rng.choice(heads)
    length = struct.unpack('>I', data[at + 4:at + 8])[0]
    end = min(len(data), at + 8 + length)
    if data[at:at + 4] == b'INCL' or end - at <= 11:
        # Another component's name, or the page's own: cycles through the directory.
        names = [m.group() for m in re.finditer(rb'[\w.-]+\.djv[ui]', bytes(data))] or [b'x']
        data[at + 8:end] = rng.choice(names).ljust(end - at - 8, b' ')[:end - at - 8]
    else:
        # Directory: the count or an offset.
        field = rng.choice([at + 9, at + 11 + 4 * rng.randrange(max(1, (end - at - 11) // 4))])
        width = 2 if field == at + 9 else 4
        data[field:field + width] = rng.randrange(1 << (8 * width)).to_bytes(width, 'big')


def deep_nesting(data, rng):
    depth = rng.choice([40, 500, 5000])
    inner = bytes(data[4:])
    for _ in range(depth):
        inner = form('DJVI', [inner])
    data[4:] = inner


MUTATIONS = [flip_bits, flip_bits, byte_run, truncate, length_lie, length_lie, info_extremes,
             header_extremes, include_damage, deep_nesting]


def mutants(paths, count):
    rng = random.Random(SEED)
    originals = [open(p, 'rb').read() for p in paths]
    for i in range(count):
        k = rng.randrange(len(paths))
        data = bytearray(originals[k])
        for _ in range(rng.choice([1, 1, 1, 2, 3])):
            if len(data) > 16:
                rng.choice(MUTATIONS)(data, rng)
        yield i, paths[k], bytes(data)


def thumbnail(tessaline, src, out, hang_seconds, *options):
    """Wait status, peak resident memory (MiB) and error output of one 256-pixel thumbnail."""
    proc = subprocess.Popen([tessaline, 'thumbnail', *options, '-s', '256', src, out],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    timer = threading.Timer(hang_seconds, proc.kill)
    timer.start()
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    timer.cancel()
    proc.returncode = os.waitstatus_to_exitcode(status)  # reaped here, for the rusage
    return status, usage.ru_maxrss // 1024, err.decode('utf-8', 'replace')


def run(tessaline, data, workdir, index, hang_seconds):
    src, out = os.path.join(workdir, 'in%d.djvu' % index), os.path.join(workdir, 'out%d.pgm' % index)
    with open(src, 'wb') as f:
        f.write(data)
    result = thumbnail(tessaline, src, out, hang_seconds)
    for name in (src, out):
        if os.path.exists(name):
            os.remove(name)
    return result


def verdict(status, rss_mib, err, max_rss):
    if os.WIFSIGNALED(status):
        return 'signal %d (or the hang guard)' % os.WTERMSIG(status)
    if os.WEXITSTATUS(status) not in (0, 1):
        return 'exit status %d' % os.WEXITSTATUS(status)
    if 'Sanitizer' in err or 'runtime error' in err:
        return 'sanitizer report'
    if max_rss and rss_mib > max_rss:
        return 'peak memory %d MiB' % rss_mib
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('tessaline')
    ap.add_argument('fixtures')
    ap.add_argument('count', type=int)
    ap.add_argument('--max-rss-mib', type=int, default=0)
    ap.add_argument('--hang-seconds', type=float, default=20)
    ap.add_argument('--keep', help='folder for the files that failed')
    args = ap.parse_args()
    paths = fixtures(args.fixtures)
    if not paths:
        sys.exit('no fixtures under ' + args.fixtures)
    failures, worst, refused = [], (0, ''), 0
    with tempfile.TemporaryDirectory() as work, ThreadPoolExecutor(2) as pool:
        jobs = [(i, src, data, pool.submit(run, args.tessaline, data, work, i, args.hang_seconds))
                for i, src, data in mutants(paths, args.count)]
        for i, src, data, job in jobs:
            status, rss, err = job.result()
            worst = max(worst, (rss, os.path.relpath(src, args.fixtures)))
            refused += os.WIFEXITED(status) and os.WEXITSTATUS(status) == 1
            problem = verdict(status, rss, err, args.max_rss_mib)
            if problem:
                failures.append('mutant %d of %s: %s %s' % (i, src, problem, err.strip()[:300]))
                if args.keep:
                    os.makedirs(args.keep, exist_ok=True)
                    with open(os.path.join(args.keep, 'mutant%d.djvu' % i), 'wb') as f:
                        f.write(data)
    print('%d mutants of %d fixtures: %d refused, %d drawn; peak memory %d MiB (a mutant of %s)'
          % (args.count, len(paths), refused, args.count - refused - len(failures), worst[0], worst[1]))
    for line in failures:
        print(line)
    print('%d passed, %d failed' % (args.count - len(failures), len(failures)))
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
