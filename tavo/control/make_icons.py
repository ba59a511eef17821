#!/usr/bin/env python3
"""Writes the control's toolbox bitmap (16 x 15, 16 colours) and its icon (32 x 32 and
16 x 16, 16 colours): a red ring on white, the picture the control draws."""
import struct
import sys

PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def picture(w, h):
    rows = []
    cx, cy = (w - 1) / 2, (h - 1) / 2
    for y in range(h):
        row = []
        for x in range(w):
            d = ((x - cx) / (w / 2)) ** 2 + ((y - cy) / (h / 2)) ** 2
            row.append(9 if 0.45 <= d <= 1.0 else (0 if d > 1.0 and (x in (0, w - 1) or y in (0, h - 1)) else 15))
        rows.append(row)
    return rows


def pixels_4bpp(rows, w):
    stride = ((w * 4 + 31) // 32) * 4
    out = b''
    for row in reversed(rows):  # bottom-up
        line = bytearray(stride)
        for x, v in enumerate(row):
            line[x // 2] |= v << (4 if x % 2 == 0 else 0)
        out += bytes(line)
    return out


def table():
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)


def dib(w, h, for_icon):
    rows = picture(w, h)
    xor = pixels_4bpp(rows, w)
    header = struct.pack('<IiiHHIIiiII', 40, w, h * 2 if for_icon else h, 1, 4, 0, 0, 0, 0, 16, 0)
    data = header + table() + xor
    if for_icon:
        mask_stride = ((w + 31) // 32) * 4
        data += bytes(mask_stride * h)  # everything opaque
    return data


def write_bmp(path):
    d = dib(16, 15, False)
    with open(path, 'wb') as f:
        f.write(struct.pack('<2sIHHI', b'BM', 14 + len(d), 0, 0, 14 + 40 + 64) + d)


def write_ico(path):
    images = [dib(32, 32, True), dib(16, 16, True)]
    sizes = [32, 16]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    write_bmp(sys.argv[1])
    write_ico(sys.argv[2])
