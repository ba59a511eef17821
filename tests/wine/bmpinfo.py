#!/usr/bin/env python3
"""Prints the BMP header fields of a file as name=value lines."""
import struct, sys
d = open(sys.argv[1], 'rb').read()
t, size, r1, r2, off = struct.unpack('<2sIHHI', d[:14])
(bisize, w, h, planes, bits, comp, sizeimage, xp, yp, clrused, clrimp) = struct.unpack('<IiiHHIIiiII', d[14:54])
for k, v in dict(type=t.decode(), bfSize=size, bfReserved1=r1, bfReserved2=r2, bfOffBits=off, biSize=bisize,
                 biWidth=w, biHeight=h, biPlanes=planes, biBitCount=bits, biCompression=comp,
                 biSizeImage=sizeimage, biXPelsPerMeter=xp, biYPelsPerMeter=yp, biClrUsed=clrused,
                 biClrImportant=clrimp, fileLength=len(d)).items():
    print(f'{k}={v}')
