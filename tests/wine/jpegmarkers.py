#!/usr/bin/env python3
"""Prints the marker structure of a JPEG file: one line per marker with its length,
leaving out the contents of the quantisation tables and of the entropy-coded data."""
import sys
d = open(sys.argv[1], 'rb').read()
i = 2
out = ['SOI'] if d[:2] == b'\xff\xd8' else ['NO-SOI']
while i < len(d):
    if d[i] != 0xFF:
        print('bad marker at', i); sys.exit(1)
    m = d[i + 1]
    if m == 0xD9:
        out.append('EOI'); break
    n = (d[i + 2] << 8) | d[i + 3]
    seg = d[i + 4:i + 2 + n]
    if m == 0xDB:
        out.append(f'DQT len={n}')
    else:
        out.append(f'{m:02X} len={n} {seg.hex()}')
    i += 2 + n
    if m == 0xDA:  # skip entropy-coded data
        while i < len(d) - 1 and not (d[i] == 0xFF and d[i + 1] not in (0x00,) and not 0xD0 <= d[i + 1] <= 0xD7):
            i += 1
print('\n'.join(out))
