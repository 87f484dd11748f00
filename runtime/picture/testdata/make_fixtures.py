#!/usr/bin/python3
"""Writes the picture fixtures beside this script, each made by a real tool
(Pillow, ImageMagick, netpbm, libjpeg-turbo's cjpeg), so the decoders meet
files as other programs write them. Run by hand; the outputs are committed.

Two patterns:
  probe  4 x 3, twelve distinct colours, no two rows or columns alike, so a
         flipped, mirrored or shifted decode shows (the tests hold the same
         table);
  quads  32 x 32 in four 16 x 16 flat quadrants (red, green / blue, yellow),
         for lossy formats, checked at the quadrant centres.
"""
import io
import os
import subprocess
import sys

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))

PROBE = [
    [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)],
    [(0, 0, 0), (255, 255, 0), (0, 255, 255), (255, 0, 255)],
    [(128, 128, 128), (255, 128, 0), (0, 0, 128), (0, 128, 128)],
]
# Alpha per probe pixel for the formats that carry it.
PROBE_ALPHA = [
    [255, 128, 0, 64],
    [255, 255, 200, 1],
    [0, 255, 100, 255],
]
QUADS = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0)]


def out(name, data):
    path = os.path.join(HERE, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def run(args, stdin=None):
    return subprocess.run(args, input=stdin, check=True,
                          stdout=subprocess.PIPE).stdout


def probe_rgb():
    im = Image.new('RGB', (4, 3))
    for y, row in enumerate(PROBE):
        for x, c in enumerate(row):
            im.putpixel((x, y), c)
    return im


def probe_rgba():
    im = Image.new('RGBA', (4, 3))
    for y, row in enumerate(PROBE):
        for x, c in enumerate(row):
            im.putpixel((x, y), c + (PROBE_ALPHA[y][x],))
    return im


def probe_palette():
    im = probe_rgb().convert('P', palette=Image.ADAPTIVE, colors=12)
    # ADAPTIVE may merge colours; build the palette by hand instead.
    flat = [c for row in PROBE for c in row]
    im = Image.new('P', (4, 3))
    im.putpalette([v for c in flat for v in c])
    for i in range(12):
        im.putpixel((i % 4, i // 4), i)
    return im


def quads(mode='RGB'):
    im = Image.new('RGB', (32, 32))
    for i, c in enumerate(QUADS):
        x0, y0 = (i % 2) * 16, (i // 2) * 16
        for y in range(16):
            for x in range(16):
                im.putpixel((x0 + x, y0 + y), c)
    return im


def save(im, **kw):
    b = io.BytesIO()
    im.save(b, **kw)
    return b.getvalue()


def ppm(im):
    return save(im.convert('RGB'), format='PPM')


def magick(im, *args, fmt='PNG'):
    # -strip leaves out time stamps, so the files come out the same each run.
    return run(['/usr/bin/convert', 'png:-'] + list(args) +
               ['-strip', fmt + ':-'],
               stdin=save(im, format='PNG'))


def make_png():
    out('png/pil_rgb8.png', save(probe_rgb(), format='PNG'))
    out('png/pil_rgba8.png', save(probe_rgba(), format='PNG'))
    pal = probe_palette()
    pal.info['transparency'] = bytes([255, 128, 0, 64, 255, 255, 200, 1,
                                      0, 255, 100, 255])
    out('png/pil_palette_trns.png',
        save(pal, format='PNG', transparency=pal.info['transparency']))
    out('png/pil_palette4.png', save(probe_palette(), format='PNG', bits=4))
    la = probe_rgba().convert('LA')
    out('png/pil_grey_alpha.png', save(la, format='PNG'))
    out('png/magick_rgb16.png', magick(probe_rgb(), fmt='PNG48'))
    out('png/magick_rgba16.png', magick(probe_rgba(), fmt='PNG64'))
    out('png/magick_interlaced.png',
        magick(probe_rgba(), '-interlace', 'PNG', fmt='PNG32'))
    out('png/netpbm_interlaced.png',
        run(['pnmtopng', '-interlace', '-force'], stdin=ppm(probe_rgb())))
    # Grey at every depth from netpbm, which writes the depth of the maxval.
    for depth in (1, 2, 4, 8, 16):
        out('png/netpbm_grey%d.png' % depth,
            run(['pnmtopng', '-force'],
                stdin=run(['pamdepth', str((1 << depth) - 1)],
                          stdin=save(grey_ramp(), format='PPM'))))


def grey_ramp():
    """4 x 3 grey, each row a shifted ramp 0, 85, 170, 255 (exact at 2 bits;
    1 bit keeps 0 and 255 only)."""
    grey = Image.new('L', (4, 3))
    for y in range(3):
        for x in range(4):
            grey.putpixel((x, y), [0, 85, 170, 255][(x + y) % 4])
    return grey


def make_jpeg():
    q = quads()
    out('jpeg/cjpeg_baseline.jpg', run(['cjpeg', '-quality', '95'],
                                       stdin=ppm(q)))
    out('jpeg/cjpeg_progressive.jpg',
        run(['cjpeg', '-quality', '95', '-progressive'], stdin=ppm(q)))
    out('jpeg/cjpeg_grey.jpg',
        run(['cjpeg', '-quality', '95', '-grayscale'], stdin=ppm(q)))
    out('jpeg/magick_420.jpg', magick(q, '-quality', '95',
                                      '-sampling-factor', '2x2', fmt='JPEG'))
    out('jpeg/pil_444.jpg', save(q, format='JPEG', quality=95,
                                 subsampling=0))
    # Pillow writes CMYK inverted, as Adobe does, and says so in APP14.
    cmyk = Image.new('CMYK', (32, 32))
    inks = [(0, 255, 255, 0), (255, 0, 255, 0), (255, 255, 0, 0),
            (0, 0, 255, 0)]
    for i, c in enumerate(inks):
        x0, y0 = (i % 2) * 16, (i // 2) * 16
        for y in range(16):
            for x in range(16):
                cmyk.putpixel((x0 + x, y0 + y), c)
    adobe = save(cmyk, format='JPEG', quality=95)
    out('jpeg/pil_cmyk_adobe.jpg', adobe)
    # The same samples without the APP14 segment read as plain CMYK, where
    # the stored values are ink amounts.
    at = adobe.find(b'\xff\xee')
    assert at > 0
    length = adobe[at + 2] << 8 | adobe[at + 3]
    out('jpeg/cmyk_plain.jpg', adobe[:at] + adobe[at + 2 + length:])
    out('jpeg/magick_cmyk.jpg', magick(q, '-colorspace', 'CMYK',
                                       '-quality', '95', fmt='JPEG'))


def make_bmp():
    rgb, rgba, pal = probe_rgb(), probe_rgba(), probe_palette()
    out('bmp/pil_24.bmp', save(rgb, format='BMP'))
    out('bmp/pil_8.bmp', save(pal, format='BMP'))
    out('bmp/pil_32.bmp', save(rgba, format='BMP'))
    out('bmp/magick_core.bmp', magick(rgb, fmt='BMP2'))
    out('bmp/magick_info24.bmp', magick(rgb, '-type', 'TrueColor', fmt='BMP3'))
    out('bmp/magick_v5_alpha.bmp', magick(rgba, fmt='BMP'))
    out('bmp/magick_rgb565.bmp',
        magick(rgb, '-define', 'bmp:subtype=RGB565', fmt='BMP'))
    out('bmp/magick_rle8.bmp', magick(rgb, '-type', 'Palette', '-compress',
                                      'RLE', fmt='BMP3'))
    # Top-down: Pillow's 24-bit file with its rows turned round and its
    # height negated.
    b = bytearray(save(rgb, format='BMP'))
    off = int.from_bytes(b[10:14], 'little')
    stride = (4 * 3 + 3) // 4 * 4
    rows = [b[off + i * stride:off + (i + 1) * stride] for i in range(3)]
    b[off:off + 3 * stride] = b''.join(reversed(rows))
    b[22:26] = (-3).to_bytes(4, 'little', signed=True)
    out('bmp/top_down_24.bmp', bytes(b))
    out('bmp/netpbm_4.bmp', run(['ppmtobmp', '-windows'], stdin=ppm(rgb)))
    out('bmp/netpbm_os2_4.bmp', run(['ppmtobmp', '-os2'], stdin=ppm(rgb)))


def make_ico():
    big = Image.new('RGBA', (8, 8), (0, 0, 255, 255))
    big.paste(probe_rgba(), (0, 0))
    out('ico/pil_png.ico', save(big, format='ICO', sizes=[(8, 8)]))
    out('ico/magick_sizes.ico',
        magick(big.resize((32, 32), Image.NEAREST), '-define',
               'icon:auto-resize=32,16', fmt='ICO'))
    out('ico/magick_4bit.ico', magick(big, '-type', 'PaletteAlpha',
                                      '-colors', '12', fmt='ICO'))
    cur = bytearray(magick(big, fmt='ICO'))
    cur[2] = 2  # a cursor; planes and depth become the hot spot
    cur[6 + 4:6 + 8] = (3).to_bytes(2, 'little') + (5).to_bytes(2, 'little')
    out('ico/cursor.cur', bytes(cur))


def make_pcx():
    out('pcx/pil_rgb.pcx', save(probe_rgb(), format='PCX'))
    out('pcx/pil_palette.pcx', save(probe_palette(), format='PCX'))
    out('pcx/pil_grey.pcx', save(grey_ramp(), format='PCX'))
    out('pcx/magick_rgb.pcx', magick(probe_rgb(), fmt='PCX'))
    out('pcx/magick_palette.pcx', magick(probe_rgb(), '-type', 'Palette',
                                         fmt='PCX'))
    out('pcx/netpbm_rgb.pcx', run(['ppmtopcx', '-24bit'],
                                  stdin=ppm(probe_rgb())))
    out('pcx/netpbm_palette.pcx', run(['ppmtopcx', '-8bit'],
                                      stdin=ppm(probe_rgb())))


def make_gif():
    pal = probe_palette()
    out('gif/pil_still.gif', save(pal, format='GIF'))
    out('gif/netpbm_interlaced.gif',
        run(['ppmtogif', '-interlace'], stdin=ppm(probe_rgb())))
    # Three frames on a 4 x 3 screen: red, then a green 2 x 1 patch at 1, 1
    # that is cleared to nothing afterwards, then a blue pixel at 3, 2 with
    # the patch's spot showing through. Delays 0, 50 and 200 ms.
    frames = []
    for colour in [(255, 0, 0), (0, 255, 0), (0, 0, 255)]:
        frames.append(Image.new('RGB', (4, 3), colour))
    a = Image.new('RGBA', (4, 3), (255, 0, 0, 255))
    b = Image.new('RGBA', (4, 3), (255, 0, 0, 255))
    b.paste((0, 255, 0, 255), (1, 1, 3, 2))
    c = Image.new('RGBA', (4, 3), (255, 0, 0, 255))
    c.paste((0, 0, 255, 255), (3, 2, 4, 3))
    out('gif/pil_anim.gif', save(a, format='GIF', save_all=True,
                                 append_images=[b, c], duration=[0, 50, 200],
                                 loop=2, disposal=[1, 2, 1]))
    pngs = [save(im, format='PNG') for im in (a, b, c)]
    paths = []
    for i, data in enumerate(pngs):
        path = '/tmp/yk_gif_frame%d.png' % i
        with open(path, 'wb') as f:
            f.write(data)
        paths.append(path)
    out('gif/magick_anim.gif',
        run(['/usr/bin/convert', '-delay', '5', '-loop', '0'] + paths +
            ['-layers', 'Optimize', 'GIF:-']))
    out('gif/magick_transparent.gif', magick(probe_rgba(), '-channel', 'A',
                                             '-threshold', '50%', fmt='GIF'))


def png_chunk(kind, body):
    import zlib
    return (len(body).to_bytes(4, 'big') + kind + body +
            zlib.crc32(kind + body).to_bytes(4, 'big'))


def png_with_size(w, h):
    """A grey 8-bit PNG whose header claims w x h, with one short IDAT."""
    import zlib
    ihdr = w.to_bytes(4, 'big') + h.to_bytes(4, 'big') + bytes([8, 0, 0, 0, 0])
    return (b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', ihdr) +
            png_chunk(b'IDAT', zlib.compress(bytes(64))) +
            png_chunk(b'IEND', b''))


def make_malformed():
    good = save(probe_rgb(), format='PNG')
    out('malformed/png_truncated_header.png', good[:20])
    out('malformed/png_truncated_rows.png', good[:-20])
    out('malformed/png_width_0.png', png_with_size(0, 10))
    out('malformed/png_65535x65535.png', png_with_size(65535, 65535))
    out('malformed/png_16385x1.png', png_with_size(16385, 1))
    bad_crc = bytearray(good)
    bad_crc[29] ^= 0xFF  # IHDR's CRC
    out('malformed/png_bad_header_crc.png', bytes(bad_crc))
    jpeg = run(['cjpeg'], stdin=ppm(quads()))
    out('malformed/jpeg_header_only.jpg', jpeg[:120])
    out('malformed/jpeg_no_frame.jpg', b'\xff\xd8\xff\xd9\0\0\0\0')
    sof = jpeg.find(b'\xff\xc0')
    zero = bytearray(jpeg)
    zero[sof + 7:sof + 9] = b'\0\0'  # width 0
    out('malformed/jpeg_width_0.jpg', bytes(zero))
    huge = bytearray(jpeg)
    huge[sof + 5:sof + 9] = b'\xff\xff\xff\xff'  # 65535 x 65535
    out('malformed/jpeg_65535x65535.jpg', bytes(huge))

    bmp = bytearray(save(probe_palette(), format='BMP'))
    out('malformed/bmp_truncated_header.bmp', bytes(bmp[:30]))
    out('malformed/bmp_truncated_rows.bmp', bytes(bmp[:-8]))
    w0 = bytearray(bmp)
    w0[18:22] = (0).to_bytes(4, 'little')
    out('malformed/bmp_width_0.bmp', bytes(w0))
    big = bytearray(bmp)
    big[18:26] = (65535).to_bytes(4, 'little') * 2
    out('malformed/bmp_65535x65535.bmp', bytes(big))
    few = bytearray(bmp)
    few[46:50] = (2).to_bytes(4, 'little')  # two colours, index 11 used
    out('malformed/bmp_index_past_palette.bmp', bytes(few))
    rle = bytearray(magick(probe_rgb(), '-type', 'Palette', '-compress', 'RLE',
                           fmt='BMP3'))
    off = int.from_bytes(rle[10:14], 'little')
    rle[off:off + 2] = bytes([9, 0])  # a run of 9 in a row of 4
    out('malformed/bmp_rle_run_past_row.bmp', bytes(rle))

    ico = bytearray(magick(Image.new('RGBA', (8, 8), (0, 0, 255, 255)),
                           fmt='ICO'))
    ico[18:22] = (1 << 20).to_bytes(4, 'little')
    out('malformed/ico_entry_outside_file.ico', bytes(ico))
    ico = bytearray(magick(Image.new('RGBA', (8, 8), (0, 0, 255, 255)),
                           fmt='ICO'))
    ico[14:18] = (1 << 31).to_bytes(4, 'little')
    out('malformed/ico_entry_size_past_end.ico', bytes(ico))
    out('malformed/cur_truncated_directory.cur', b'\0\0\2\0\5\0' + bytes(10))

    gif = bytearray(save(probe_palette(), format='GIF'))
    at = gif.find(b'\x2c', 13 + 3 * 16)
    gif[at + 1:at + 5] = bytes([100, 0, 100, 0])  # frame at 100, 100
    out('malformed/gif_frame_outside_screen.gif', bytes(gif))
    gif0 = bytearray(save(probe_palette(), format='GIF'))
    gif0[6:8] = b'\0\0'
    out('malformed/gif_width_0.gif', bytes(gif0))
    gifbig = bytearray(save(probe_palette(), format='GIF'))
    gifbig[6:10] = b'\xff\xff\xff\xff'
    out('malformed/gif_65535x65535.gif', bytes(gifbig))
    out('malformed/gif_truncated_first_frame.gif',
        save(probe_palette(), format='GIF')[:-6])

    pcx = save(probe_palette(), format='PCX')
    out('malformed/pcx_truncated_rows.pcx', pcx[:134])
    back = bytearray(pcx)
    back[8:10] = b'\0\0'
    back[4:6] = b'\5\0'  # x max before x min
    out('malformed/pcx_negative_width.pcx', bytes(back))
    wide = bytearray(pcx)
    wide[8:10] = b'\xff\xff'
    out('malformed/pcx_65535_wide.pcx', bytes(wide))


def main():
    for make in (make_png, make_jpeg, make_bmp, make_ico, make_pcx, make_gif,
                 make_malformed):
        make()


if __name__ == '__main__':
    sys.exit(main())
