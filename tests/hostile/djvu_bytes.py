"""Small writers for the container, shared by the hostile-input scripts."""
import struct


def chunk(cid, payload):
    data = cid.encode() + struct.pack('>I', len(payload)) + payload
    return data + (b'\0' if len(payload) % 2 else b'')


def form(kind, children):
    return chunk('FORM', kind.encode() + b''.join(children))


def file_of(form_bytes):
    return b'AT&T' + form_bytes


def info(width, height, dpi=300, flags=1):
    return chunk('INFO', struct.pack('>HHBB', width, height, 24, 0) + struct.pack('<H', dpi) + bytes([22, flags]))


def iw44_first(width, height, slices, data, grey=True):
    head = bytes([0, slices, 0x81 if grey else 0x01, 2]) + struct.pack('>HH', width, height) + b'\x80'
    return head + data


def mmr(width, height, data, flags=0):
    return b'MMR' + bytes([flags]) + struct.pack('>HH', width, height) + data


def chunks(data, start=12, end=None):
    """(offset, id, length) of the chunks directly inside the form that starts at start - 12."""
    end = len(data) if end is None else end
    at, out = start + 4, []
    while at + 8 <= end:
        cid = data[at:at + 4].decode('latin-1')
        length = struct.unpack('>I', data[at + 4:at + 8])[0]
        out.append((at, cid, length))
        at += 8 + length + (length & 1)
    return out
