#!/usr/bin/env python3
"""Makes the image test files and their reference pixels.

Most files are written by ImageMagick; forms it does not write (top-down rows,
the plain 16- and 32-bit layouts, a V4 header, 10-bit masks, RLE4, RLE deltas,
icons with palettes or PNG images) are put together here from ImageMagick's
own output. Every reference X.rgba is ImageMagick's decoding of X
(`convert X -depth 8 rgba:X.rgba`), 4 bytes per pixel, rows top to bottom.
Run from this folder; needs ImageMagick 6.
"""
import struct
import subprocess
import zlib


def im(*args):
    subprocess.run(['convert', *args], check=True)


def read(name):
    with open(name, 'rb') as f:
        return f.read()


def write(name, data):
    with open(name, 'wb') as f:
        f.write(data)


def rgba(name, frame=''):
    im(name + frame, '-depth', '8', 'rgba:' + name.rsplit('.', 1)[0] + '.rgba')


def pixels(png):
    """RGBA rows (top first) of an image as ImageMagick decodes it."""
    out = subprocess.run(['convert', png, '-depth', '8', 'rgba:-'], check=True,
                         capture_output=True).stdout
    w, h = map(int, subprocess.run(['identify', '-format', '%w %h', png], check=True,
                                   capture_output=True, text=True).stdout.split())
    return w, h, [[tuple(out[(y * w + x) * 4:(y * w + x) * 4 + 4]) for x in range(w)]
                  for y in range(h)]


def bmp(info, table, bits):
    off = 14 + len(info) + len(table)
    return b'BM' + struct.pack('<IHHI', off + len(bits), 0, 0, off) + info + table + bits


def info40(w, h, bpp, comp, size=0, used=0):
    return struct.pack('<IiiHHIIiiII', 40, w, h, 1, bpp, comp, size, 3780, 3780, used, 0)


def rows(w, h, bpp, getrow, topdown=False):
    stride = (w * bpp + 31) // 32 * 4
    order = range(h) if topdown else range(h - 1, -1, -1)
    return b''.join(getrow(y).ljust(stride, b'\0') for y in order)


# Sources: 13 x 7 (odd width, so every bit depth needs row padding).
im('-size', '13x7', 'gradient:red-blue', '-fill', 'lime', '-draw', 'point 1,1',
   '-fill', 'yellow', '-draw', 'rectangle 3,2 6,4', '-fill', 'white', '-draw', 'point 12,6',
   '-fill', 'black', '-draw', 'point 0,6', 'src.png')
im('src.png', '-alpha', 'set', '-channel', 'A', '-fx', 'i/12', '+channel', 'alpha.png')
W, H, SRC = pixels('src.png')
rgba('src.png')
rgba('alpha.png')
_, _, ALPHA = pixels('alpha.png')

# Written by ImageMagick.
im('src.png', '-type', 'truecolor', 'BMP3:rgb24.bmp')
im('src.png', '-type', 'truecolor', 'BMP2:core24.bmp')
im('src.png', '-type', 'palette', 'BMP2:core4.bmp')
im('src.png', '-type', 'palette', 'BMP3:pal4.bmp')
im('src.png', '-monochrome', 'BMP3:pal1.bmp')
im('src.png', '-type', 'palette', '-compress', 'RLE', 'BMP3:rle8.bmp')
im('src.png', '-define', 'bmp:subtype=RGB565', 'BMP:rgb565.bmp')
im('src.png', '-define', 'bmp:subtype=RGB555', 'BMP:rgb555.bmp')
im('alpha.png', 'BMP:argb32.bmp')
im('alpha.png', '-define', 'bmp:subtype=ARGB1555', 'BMP:argb1555.bmp')
im('alpha.png', '-define', 'bmp:subtype=ARGB4444', 'BMP:argb4444.bmp')

# 8 bits with a short colour table (clrUsed) holding pal4.bmp's colours.
p4 = read('pal4.bmp')
ncol = struct.unpack_from('<I', p4, 46)[0] or 16
pal = p4[54:54 + 4 * ncol]
off4 = struct.unpack_from('<I', p4, 10)[0]
stride4 = (W * 4 + 31) // 32 * 4
idx = [[(p4[off4 + (H - 1 - y) * stride4 + x // 2] >> (0 if x & 1 else 4)) & 15 for x in range(W)]
       for y in range(H)]
write('pal8.bmp', bmp(info40(W, H, 8, 0, used=ncol), pal, rows(W, H, 8, lambda y: bytes(idx[y]))))

# Top-down 24 bits.
rgb24 = lambda y: b''.join(bytes((p[2], p[1], p[0])) for p in SRC[y])
write('topdown24.bmp', bmp(info40(W, -H, 24, 0), b'', rows(W, H, 24, rgb24, topdown=True)))

# Plain 16 bits: 5-5-5 without masks, the pixel words taken from rgb555.bmp.
r555 = read('rgb555.bmp')
off = struct.unpack_from('<I', r555, 10)[0]
write('rgb16.bmp', bmp(info40(W, H, 16, 0), b'', r555[off:]))

# Plain 32 bits with the fourth byte zero everywhere (shown opaque), and with alpha.
write('rgb32.bmp', bmp(info40(W, H, 32, 0), b'',
                       rows(W, H, 32, lambda y: b''.join(bytes((p[2], p[1], p[0], 0))
                                                         for p in SRC[y]))))
write('rgb32a.bmp', bmp(info40(W, H, 32, 0), b'',
                        rows(W, H, 32, lambda y: b''.join(bytes((p[2], p[1], p[0], p[3]))
                                                          for p in ALPHA[y]))))

# V4 (108-byte) header cut from ImageMagick's V5 file.
a32 = read('argb32.bmp')
v5 = a32[14:14 + 124]
off = struct.unpack_from('<I', a32, 10)[0]
write('v4argb32.bmp', bmp(struct.pack('<I', 108) + v5[4:108], b'', a32[off:]))

# 40-byte header with three 10-bit masks after it (10-10-10-2 layout).
def p1010(p):
    c = [round(v * 1023 / 255) for v in p[:3]]
    return struct.pack('<I', (c[0] << 20) | (c[1] << 10) | c[2])
write('bf101010.bmp', bmp(info40(W, H, 32, 3), struct.pack('<3I', 0x3FF00000, 0xFFC00, 0x3FF),
                          rows(W, H, 32, lambda y: b''.join(p1010(p) for p in SRC[y]))))

# RLE4 with every escape: runs, absolute runs (odd length, padded), end of
# line, a delta move and end of bitmap. Skipped pixels keep index 0.
def rle4(idx):
    out = bytearray()
    for y in range(H - 1, -1, -1):
        row = idx[y]
        if y == 3:  # from (2, row 3) jump right by 5 and up one row to (7, row 4)
            out += bytes((2, (row[0] << 4) | row[1], 0, 2, 5, 1))
            nxt = idx[y - 1]
            lit = nxt[7:]
            out += bytes((0, len(lit)))
            packed = bytes((lit[i] << 4) | (lit[i + 1] if i + 1 < len(lit) else 0)
                           for i in range(0, len(lit), 2))
            out += packed + (b'\0' if len(packed) & 1 else b'')
            out += b'\0\0'
            continue
        if y == 2:
            continue
        x = 0
        while x < W:
            n = 1
            while x + n < W and row[x + n] == row[x]:
                n += 1
            if n >= 2 or W - x < 3:
                out += bytes((n, (row[x] << 4) | row[x]))
                x += n
            else:
                lit = row[x:x + 3]  # 3 pixels in 2 bytes: no padding needed
                out += bytes((0, 3, (lit[0] << 4) | lit[1], lit[2] << 4))
                x += 3
        out += b'\0\0'
    out += b'\0\1'
    return bytes(out)
d4 = rle4(idx)
write('rle4.bmp', bmp(info40(W, H, 4, 2, size=len(d4), used=ncol), pal, d4))

# RLE8 with a delta move: a run on the bottom row, a jump right by 6 and up by
# 1, a run there, end of line, an absolute run, end of bitmap.
d8 = bytes((3, idx[H - 1][0], 0, 2, 6, 1, 2, idx[H - 2][9], 0, 0,
            0, 5, *idx[H - 3][:5], 0, 0, 1))
# ImageMagick reads as many bytes as the uncompressed pixels would take.
d8 = d8.ljust(16 * H, b'\0')
write('rle8delta.bmp', bmp(info40(W, H, 8, 1, size=len(d8), used=ncol), pal, d8))

for name in ['rgb24', 'core24', 'core4', 'pal4', 'pal1', 'rle8', 'rgb565', 'rgb555', 'argb32',
             'argb1555', 'argb4444', 'pal8', 'topdown24', 'rgb16', 'rgb32', 'rgb32a',
             'v4argb32', 'bf101010', 'rle4', 'rle8delta']:
    rgba(name + '.bmp')

# Icons. ImageMagick's own: 16 and 32 pixels, 32 bits with AND masks.
im('alpha.png', '-define', 'icon:auto-resize=32,16', 'im.ico')
im('im.ico[0]', '-depth', '8', 'rgba:im.rgba')  # the 32-pixel image, the one to choose


def ico(entries):
    """entries: (width, height, colours, bpp, data)"""
    head = struct.pack('<3H', 0, 1, len(entries))
    off = 6 + 16 * len(entries)
    dir_, body = b'', b''
    for w, h, colours, bpp, data in entries:
        dir_ += struct.pack('<4B2H2I', w & 255, h & 255, colours, 0, 1, bpp, len(data),
                            off + len(body))
        body += data
    return head + dir_ + body


def dib_icon(w, h, bpp, palette, index_rows, mask_rows):
    info = struct.pack('<IiiHHIIiiII', 40, w, 2 * h, 1, bpp, 0, 0, 0, 0, 0, 0)
    xor = rows(w, h, bpp, lambda y: pack_bits(index_rows[y], bpp))
    and_ = rows(w, h, 1, lambda y: pack_bits(mask_rows[y], 1))
    return info + palette + xor + and_


def pack_bits(vals, bpp):
    out, acc, n = bytearray(), 0, 0
    for v in vals:
        acc = (acc << bpp) | v
        n += bpp
        if n == 8:
            out.append(acc)
            acc, n = 0, 0
    if n:
        out.append(acc << (8 - n))
    return bytes(out)


# A 4-bit 16 x 16 image with a mask (a transparent diagonal band) beside a
# 1-bit 8 x 8 image; the 4-bit one is chosen.
IW = 16
ipal = pal.ljust(64, b'\0')
irows = [[(x + y) % ncol for x in range(IW)] for y in range(IW)]
imask = [[1 if abs(x - y) < 2 else 0 for x in range(IW)] for y in range(IW)]
mono = b'\0\0\0\0\xff\xff\xff\0'
write('pal4.ico', ico([
    (8, 8, 2, 1, dib_icon(8, 8, 1, mono, [[(x ^ y) & 1 for x in range(8)] for y in range(8)],
                          [[0] * 8] * 8)),
    (IW, IW, 16, 4, dib_icon(IW, IW, 4, ipal, irows, imask)),
]))
im('pal4.ico[1]', '-depth', '8', 'rgba:pal4ico.rgba')

# A PNG image (24 x 20, from alpha.png) beside a smaller 32-bit one: the PNG is chosen.
im('alpha.png', '-resize', '24x20!', 'PNG32:icopng.png')
im('icopng.png', '-depth', '8', 'rgba:pngico.rgba')
small = read('im.ico')
s_off = struct.unpack_from('<I', small, 6 + 16 + 12)[0]
s_len = struct.unpack_from('<I', small, 6 + 16 + 8)[0]
write('png.ico', ico([(16, 16, 0, 32, small[s_off:s_off + s_len]),
                      (24, 20, 0, 32, read('icopng.png'))]))

# JPEG: 40 x 30 so that there are several blocks.
im('-size', '40x30', 'gradient:orange-navy', '-fill', 'white', '-draw', 'circle 20,15 28,15',
   '-fill', 'green', '-draw', 'rectangle 2,2 9,9', 'jsrc.png')
im('jsrc.png', '-quality', '90', 'rgb.jpg')
im('jsrc.png', '-colorspace', 'gray', '-quality', '90', 'gray.jpg')
im('jsrc.png', '-colorspace', 'cmyk', '-quality', '90', 'cmyk.jpg')
im('jsrc.png', '-quality', '90', '-interlace', 'JPEG', 'progressive.jpg')
for name in ['rgb', 'gray', 'cmyk', 'progressive']:
    rgba(name + '.jpg')
