#!/usr/bin/env python3
"""Writes drawing documents (flat OpenDocument, .fodg) that use what office programs put into
metafiles beyond clip art: gradients of every style, hatches, transparency,
shadows, bitmaps with transparent parts, text in Latin and Chinese, charts made of shapes, and
slide-like pages.

    office-documents.py DIR COUNT SEED

Each document is one page with no margins, so that a metafile exported from it covers the same
area as a PNG of the page.
"""
import base64
import random
import struct
import sys
import zlib

NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
      'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
      'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
      'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" '
      'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" '
      'xmlns:xlink="http://www.w3.org/1999/xlink"')

WORDS = ['Quarterly sales', 'Harbour map', 'Garden plan', '季度报告', '项目进度', 'Northern line',
         '图例', 'Total 1,024', 'Draft', '会议纪要']


def png(width, height, pixel):
    """A PNG with an alpha channel; pixel(x, y) gives (r, g, b, a)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw += bytes(pixel(x, y))

    def chunk(kind, body):
        return (struct.pack('>I', len(body)) + kind + body +
                struct.pack('>I', zlib.crc32(kind + body)))
    return (b'\x89PNG\r\n\x1a\n' +
            chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(bytes(raw))) + chunk(b'IEND', b''))


class Document:
    def __init__(self, rng, width, height):
        self.rng, self.width, self.height = rng, width, height
        self.shared, self.styles, self.shapes = [], [], []

    def colour(self):
        return '#%02x%02x%02x' % tuple(self.rng.randrange(256) for _ in range(3))

    def style(self, props, paragraph=''):
        name = 'gr%d' % (len(self.styles) + 1)
        self.styles.append('<style:style style:name="%s" style:family="graphic">'
                           '<style:graphic-properties %s/>%s</style:style>'
                           % (name, props, paragraph))
        return name

    def box(self, min_w=1.5, min_h=1.0):
        w = self.rng.uniform(min_w, self.width / 2)
        h = self.rng.uniform(min_h, self.height / 2)
        x = self.rng.uniform(0, self.width - w)
        y = self.rng.uniform(0, self.height - h)
        return 'svg:x="%.3fcm" svg:y="%.3fcm" svg:width="%.3fcm" svg:height="%.3fcm"' % (x, y, w, h)

    def stroke(self):
        if self.rng.random() < 0.4:
            return 'draw:stroke="none"'
        dash = ''
        if self.rng.random() < 0.3:
            self.shared.append('<draw:stroke-dash draw:name="d%d" draw:style="rect" draw:dots1="1" '
                               'draw:dots1-length="0.2cm" draw:distance="0.1cm"/>'
                               % len(self.shared))
            dash = ' draw:stroke-dash="d%d"' % (len(self.shared) - 1)
            return 'draw:stroke="dash"%s svg:stroke-color="%s" svg:stroke-width="%.2fcm"' % (
                dash, self.colour(), self.rng.uniform(0, 0.1))
        return 'draw:stroke="solid" svg:stroke-color="%s" svg:stroke-width="%.2fcm"' % (
            self.colour(), self.rng.uniform(0, 0.15))

    def gradient(self):
        n = 'g%d' % len(self.shared)
        style = self.rng.choice(['linear', 'axial', 'radial', 'ellipsoid', 'square', 'rectangular'])
        self.shared.append('<draw:gradient draw:name="%s" draw:style="%s" draw:start-color="%s" '
                           'draw:end-color="%s" draw:angle="%d" draw:border="%d%%" '
                           'draw:cx="%d%%" draw:cy="%d%%"/>'
                           % (n, style, self.colour(), self.colour(), self.rng.randrange(0, 3600, 150),
                              self.rng.choice([0, 0, 20]), self.rng.randrange(20, 80),
                              self.rng.randrange(20, 80)))
        return 'draw:fill="gradient" draw:fill-gradient-name="%s"' % n

    def hatch(self):
        n = 'h%d' % len(self.shared)
        self.shared.append('<draw:hatch draw:name="%s" draw:style="%s" draw:color="%s" '
                           'draw:distance="%.2fcm" draw:rotation="%d"/>'
                           % (n, self.rng.choice(['single', 'double', 'triple']), self.colour(),
                              self.rng.uniform(0.1, 0.4), self.rng.randrange(0, 1800, 150)))
        solid = self.rng.random() < 0.5
        return 'draw:fill="hatch" draw:fill-hatch-name="%s" draw:fill-hatch-solid="%s" ' \
               'draw:fill-color="%s"' % (n, 'true' if solid else 'false', self.colour())

    def fill(self):
        # A graded transparency is left out: the metafile export draws such a fill opaque.
        kind = self.rng.choice(['solid', 'solid', 'gradient', 'hatch', 'transparent'])
        if kind == 'gradient':
            return self.gradient()
        if kind == 'hatch':
            return self.hatch()
        props = 'draw:fill="solid" draw:fill-color="%s"' % self.colour()
        if kind == 'transparent':
            props += ' draw:opacity="%d%%"' % self.rng.randrange(25, 80)
        return props

    def shadow(self):
        if self.rng.random() < 0.25:
            return (' draw:shadow="visible" draw:shadow-offset-x="0.2cm" '
                    'draw:shadow-offset-y="0.2cm" draw:shadow-color="#808080"')
        return ''

    def add_shape(self):
        kind = self.rng.choice(['rect', 'ellipse', 'polygon', 'rect', 'ellipse'])
        st = self.style(self.fill() + ' ' + self.stroke() + self.shadow())
        if kind == 'polygon':
            n = self.rng.randrange(3, 8)
            pts = ' '.join('%d,%d' % (self.rng.randrange(1000), self.rng.randrange(1000))
                           for _ in range(n))
            self.shapes.append('<draw:polygon draw:style-name="%s" %s svg:viewBox="0 0 1000 1000" '
                               'draw:points="%s"/>' % (st, self.box(), pts))
        else:
            self.shapes.append('<draw:%s draw:style-name="%s" %s/>' % (kind, st, self.box()))

    def add_text(self, size=None, words=None):
        size = size or self.rng.choice([12, 18, 24, 36])
        st = self.style('draw:fill="none" draw:stroke="none" fo:min-height="0cm"',
                        '<style:text-properties fo:font-size="%dpt" fo:color="%s" '
                        'style:font-size-asian="%dpt" fo:font-weight="%s"/>'
                        % (size, self.colour(), size,
                           self.rng.choice(['normal', 'bold'])))
        self.shapes.append('<draw:frame draw:style-name="%s" %s><draw:text-box><text:p>%s</text:p>'
                           '</draw:text-box></draw:frame>'
                           % (st, self.box(4, 1.5), words or self.rng.choice(WORDS)))

    def add_bitmap(self):
        w, h = self.rng.randrange(16, 64), self.rng.randrange(16, 64)
        c1, c2 = [tuple(self.rng.randrange(256) for _ in range(3)) for _ in range(2)]
        round_ = self.rng.random() < 0.5

        def pixel(x, y):
            inside = (x - w / 2) ** 2 / (w / 2) ** 2 + (y - h / 2) ** 2 / (h / 2) ** 2 <= 1
            c = c1 if (x // 4 + y // 4) % 2 else c2
            return (*c, 255 if inside or not round_ else 0)
        data = base64.b64encode(png(w, h, pixel)).decode()
        st = self.style('draw:fill="none" draw:stroke="none"' + self.shadow())
        self.shapes.append('<draw:frame draw:style-name="%s" %s><draw:image><office:binary-data>%s'
                           '</office:binary-data></draw:image></draw:frame>' % (st, self.box(), data))

    def add_line(self):
        st = self.style('draw:stroke="solid" svg:stroke-color="%s" svg:stroke-width="%.2fcm"'
                        % (self.colour(), self.rng.uniform(0, 0.2)))
        self.shapes.append('<draw:line draw:style-name="%s" svg:x1="%.2fcm" svg:y1="%.2fcm" '
                           'svg:x2="%.2fcm" svg:y2="%.2fcm"/>'
                           % (st, self.rng.uniform(0, self.width), self.rng.uniform(0, self.height),
                              self.rng.uniform(0, self.width), self.rng.uniform(0, self.height)))

    def add_chart(self):
        """A bar chart: axes, bars (some with gradients, some hatched), labels."""
        left, bottom, top = 2.0, self.height - 2.0, 2.5
        bars = self.rng.randrange(3, 8)
        width = (self.width - left - 1.0) / bars
        axis = self.style('draw:stroke="solid" svg:stroke-color="#000000" svg:stroke-width="0.03cm"')
        self.shapes.append('<draw:line draw:style-name="%s" svg:x1="%.2fcm" svg:y1="%.2fcm" '
                           'svg:x2="%.2fcm" svg:y2="%.2fcm"/>' % (axis, left, bottom, self.width - 0.5, bottom))
        self.shapes.append('<draw:line draw:style-name="%s" svg:x1="%.2fcm" svg:y1="%.2fcm" '
                           'svg:x2="%.2fcm" svg:y2="%.2fcm"/>' % (axis, left, bottom, left, top))
        for i in range(bars):
            h = self.rng.uniform(0.5, bottom - top)
            st = self.style(self.fill() + ' ' + self.stroke())
            self.shapes.append('<draw:rect draw:style-name="%s" svg:x="%.2fcm" svg:y="%.2fcm" '
                               'svg:width="%.2fcm" svg:height="%.2fcm"/>'
                               % (st, left + i * width + 0.15 * width, bottom - h, 0.7 * width, h))
        self.add_text(18, self.rng.choice(WORDS))

    def xml(self):
        return ('<?xml version="1.0" encoding="UTF-8"?>\n<office:document %s office:version="1.3" '
                'office:mimetype="application/vnd.oasis.opendocument.graphics">'
                '<office:styles>%s</office:styles><office:automatic-styles>'
                '<style:page-layout style:name="PM1"><style:page-layout-properties '
                'fo:page-width="%.2fcm" fo:page-height="%.2fcm" fo:margin-top="0cm" '
                'fo:margin-bottom="0cm" fo:margin-left="0cm" fo:margin-right="0cm"/>'
                '</style:page-layout>%s</office:automatic-styles><office:master-styles>'
                '<style:master-page style:name="Default" style:page-layout-name="PM1"/>'
                '</office:master-styles><office:body><office:drawing><draw:page draw:name="p1" '
                'draw:master-page-name="Default">%s</draw:page></office:drawing></office:body>'
                '</office:document>\n'
                % (NS, ''.join(self.shared), self.width, self.height, ''.join(self.styles),
                   ''.join(self.shapes)))


def document(rng, kind):
    if kind == 'slide':
        d = Document(rng, 25.4, 19.05)
        back = d.style(d.gradient() + ' draw:stroke="none"')
        d.shapes.append('<draw:rect draw:style-name="%s" svg:x="0cm" svg:y="0cm" '
                        'svg:width="25.4cm" svg:height="3.5cm"/>' % back)
        d.add_text(36)
        for _ in range(3):
            d.add_text(24)
        d.add_shape()
        d.add_bitmap()
        return d
    d = Document(rng, rng.uniform(8, 20), rng.uniform(6, 15))
    if kind == 'chart':
        d.add_chart()
        return d
    for _ in range(rng.randrange(4, 10)):
        rng.choice([d.add_shape, d.add_shape, d.add_shape, d.add_text, d.add_bitmap, d.add_line])()
    return d


def main():
    out, count, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(seed)
    kinds = ['drawing', 'drawing', 'chart', 'slide']
    for i in range(count):
        kind = kinds[i % len(kinds)]
        with open('%s/doc%02d-%s.fodg' % (out, i + 1, kind), 'w', encoding='utf-8') as f:
            f.write(document(rng, kind).xml())


if __name__ == '__main__':
    main()
