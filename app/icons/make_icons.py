#!/usr/bin/env python3
"""Draws the program's icons (16x16 command icons, a 32x32 account icon) and
writes them as PNG files beside this script, and the program's desktop icon,
the account icon drawn smoothly at several sizes, into packaging/icons.
Standard library only."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

BLACK = (40, 40, 40, 255)
WHITE = (255, 255, 255, 255)
PAPER = (250, 246, 220, 255)
YELLOW = (240, 200, 70, 255)
BLUE = (40, 90, 200, 255)
GREEN = (30, 150, 50, 255)
RED = (210, 40, 40, 255)
GREY = (130, 130, 130, 255)
SKIN = (235, 180, 140, 255)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def dot(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, fill=None, line=None):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                edge = x in (x0, x1) or y in (y0, y1)
                c = line if edge and line else fill
                if c:
                    self.dot(x, y, c)

    def line(self, x0, y0, x1, y1, c):
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(n + 1):
            self.dot(round(x0 + (x1 - x0) * i / n), round(y0 + (y1 - y0) * i / n), c)

    def disc(self, cx, cy, r, c):
        for y in range(self.size):
            for x in range(self.size):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.dot(x, y, c)

    def glyph(self, x0, y0, rows, c):
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ch == '#':
                    self.dot(x0 + dx, y0 + dy, c)

    def png(self, name, folder=HERE):
        raw = b''.join(b'\x00' + bytes(v for p in row for v in p) for row in self.px)

        def chunk(kind, data):
            body = kind + data
            return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))

        header = struct.pack('>IIBBBBB', self.size, self.size, 8, 6, 0, 0, 0)
        data = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header)
                + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)


class SmoothCanvas(Canvas):
    """Takes the drawing of a Canvas of `grid` pixels and renders it at
    `size` pixels: cells as blocks, lines and discs as true shapes, each
    output pixel the average of SAMPLES x SAMPLES samples."""
    SAMPLES = 4

    def __init__(self, grid, size):
        super().__init__(size * self.SAMPLES)
        self.out = size
        self.unit = size * self.SAMPLES / grid

    def grid_point(self, px, py):
        return (px + 0.5) / self.unit - 0.5, (py + 0.5) / self.unit - 0.5

    def dot(self, x, y, c):
        u = self.unit
        for py in range(int(y * u), int((y + 1) * u)):
            for px in range(int(x * u), int((x + 1) * u)):
                Canvas.dot(self, px, py, c)

    def fill_where(self, inside, c):
        for py in range(self.size):
            for px in range(self.size):
                if inside(*self.grid_point(px, py)):
                    self.px[py][px] = c

    def line(self, x0, y0, x1, y1, c):
        dx, dy = x1 - x0, y1 - y0
        length2 = dx * dx + dy * dy or 1

        def near(gx, gy):
            t = max(0.0, min(1.0, ((gx - x0) * dx + (gy - y0) * dy) / length2))
            return (gx - x0 - t * dx) ** 2 + (gy - y0 - t * dy) ** 2 <= 0.25
        self.fill_where(near, c)

    def disc(self, cx, cy, r, c):
        self.fill_where(lambda gx, gy: (gx - cx) ** 2 + (gy - cy) ** 2 <= (r + 0.5) ** 2, c)

    def png(self, name, folder=HERE):
        n = self.SAMPLES
        small = []
        for y in range(self.out):
            row = []
            for x in range(self.out):
                block = [self.px[y * n + j][x * n + i] for j in range(n) for i in range(n)]
                alpha = sum(p[3] for p in block)
                if alpha == 0:
                    row.append((0, 0, 0, 0))
                    continue
                row.append(tuple(round(sum(p[k] * p[3] for p in block) / alpha) for k in range(3))
                           + (round(alpha / len(block)),))
            small.append(row)
        flat = Canvas(self.out)
        flat.px = small
        flat.png(name, folder)


def envelope(c, x0=1, y0=4, x1=14, y1=13):
    c.rect(x0, y0, x1, y1, fill=PAPER, line=BLACK)
    c.line(x0, y0, (x0 + x1) // 2, (y0 + y1) // 2, BLACK)
    c.line(x1, y0, (x0 + x1 + 1) // 2, (y0 + y1) // 2, BLACK)


def person(c):
    c.disc(6, 4, 2.6, SKIN)
    c.rect(2, 8, 10, 14, fill=BLUE, line=BLACK)


def cross(c, x, y, color=RED):
    for d in range(5):
        c.dot(x + d, y + d, color); c.dot(x + d + 1, y + d, color)
        c.dot(x + 4 - d, y + d, color); c.dot(x + 5 - d, y + d, color)


def plus(c, x, y):
    c.rect(x + 2, y, x + 3, y + 5, fill=GREEN)
    c.rect(x, y + 2, x + 5, y + 3, fill=GREEN)


def tick(c, x, y, color=GREEN):
    for i, (dx, dy) in enumerate([(0, 2), (1, 3), (2, 4), (3, 3), (4, 2), (5, 1), (6, 0)]):
        c.dot(x + dx, y + dy, color); c.dot(x + dx, y + dy + 1, color)


def boxes(c, ticked):
    for y in (1, 6, 11):
        c.rect(2, y, 6, y + 4, fill=WHITE, line=BLACK)
        c.rect(8, y + 2, 14, y + 2, fill=GREY)
        if ticked:
            c.line(3, y + 2, 4, y + 3, GREEN); c.line(4, y + 3, 6, y, GREEN)


DESKTOP_ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)

QUESTION = [" ### ", "#   #", "    #", "   # ", "  #  ", "     ", "  #  "]
BANG = ["#", "#", "#", "#", "#", " ", "#"]


def command_icons():
    icons = []
    c = Canvas(16); person(c); plus(c, 10, 1); icons.append(c)                     # 0 new account
    c = Canvas(16); person(c); c.line(15, 1, 9, 7, YELLOW); c.line(15, 2, 10, 7, BLACK)
    c.dot(9, 8, BLACK); icons.append(c)                                             # 1 properties
    c = Canvas(16); person(c); cross(c, 9, 1); icons.append(c)                      # 2 remove account
    c = Canvas(16); envelope(c, 0, 2, 11, 10); c.rect(12, 6, 13, 11, fill=BLUE)
    c.line(10, 11, 12, 14, BLUE); c.line(15, 11, 13, 14, BLUE); c.rect(12, 12, 13, 14, fill=BLUE)
    icons.append(c)                                                                 # 3 check messages
    c = Canvas(16); c.rect(6, 1, 9, 7, fill=BLUE); c.line(3, 7, 7, 11, BLUE); c.line(12, 7, 8, 11, BLUE)
    c.rect(4, 7, 11, 8, fill=BLUE); c.rect(5, 9, 10, 9, fill=BLUE); c.rect(6, 10, 9, 10, fill=BLUE)
    c.rect(1, 12, 14, 14, fill=GREY, line=BLACK); icons.append(c)                   # 4 download message
    c = Canvas(16); envelope(c, 0, 2, 11, 10); cross(c, 9, 9); icons.append(c)     # 5 remove messages
    c = Canvas(16); c.rect(1, 1, 14, 14, fill=WHITE, line=BLACK)
    c.glyph(7, 4, BANG, RED); c.glyph(8, 4, BANG, RED); tick(c, 2, 8); icons.append(c)  # 6 select spam
    c = Canvas(16); boxes(c, False); icons.append(c)                                # 7 deselect all
    c = Canvas(16); boxes(c, True); icons.append(c)                                 # 8 select all
    c = Canvas(16); c.disc(7.5, 7.5, 7.2, BLUE); c.glyph(5, 4, QUESTION, WHITE)
    c.glyph(6, 4, QUESTION, WHITE); icons.append(c)                                 # 9 help
    c = Canvas(16); c.rect(1, 0, 12, 15, fill=PAPER, line=BLACK)
    for y in (3, 6, 9, 12): c.rect(3, y, 9, y, fill=GREY)
    c.glyph(13, 4, BANG, RED); c.glyph(14, 4, BANG, RED); icons.append(c)          # 10 spam word list
    c = Canvas(16)
    for y, k in ((3, 4), (8, 10), (13, 6)):
        c.rect(1, y, 14, y, fill=GREY); c.rect(k - 1, y - 2, k + 1, y + 2, fill=BLUE, line=BLACK)
    icons.append(c)                                                                 # 11 general rules
    c = Canvas(16); person(c); tick(c, 8, 1); icons.append(c)                       # 12 trust sender
    return icons


def account_icon(c=None):
    c = c or Canvas(32)
    c.rect(2, 8, 29, 27, fill=PAPER, line=BLACK)
    c.line(2, 8, 15, 19, BLACK); c.line(29, 8, 16, 19, BLACK)
    c.line(2, 27, 12, 17, BLACK); c.line(29, 27, 19, 17, BLACK)
    c.disc(24, 7, 6.5, YELLOW)
    c.glyph(21, 3, [" ### ", "#   #", "# ###", "# # #", "# ###", "#    ", " ### "], BLACK)
    return c


if __name__ == '__main__':
    for n, icon in enumerate(command_icons()):
        icon.png('cmd%02d.png' % n)
    account_icon().png('account.png')
    desktop = os.path.join(HERE, '..', '..', 'packaging', 'icons')
    for size in DESKTOP_ICON_SIZES:
        account_icon(SmoothCanvas(32, size)).png('skimlet-%d.png' % size, desktop)
