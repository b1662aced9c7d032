#!/usr/bin/env python3
"""Renders the program's pictures: the nine button PNGs (res/png/*.png) and
the program icons (res/quillomat.ico, res/quillomat-small.ico).

Plain Python, no imaging library: each shape is a function telling whether a
point is inside it, and every pixel is sampled 4 x 4 times for smooth edges.
Run it again after changing a drawing and commit what it writes.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.join(HERE, "..", "res")
SS = 4  # samples per pixel side

GREY = (200, 200, 206)
WHITE = (255, 255, 255)
GREEN = (34, 197, 94)
RED = (239, 68, 68)
INDIGO = (79, 70, 229)
DARK = (45, 45, 48)


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]  # premultiplied RGBA, 0..1

    def fill(self, inside, color, alpha=1.0, box=None):
        """Composites a shape over the canvas; box limits the pixels looked at."""
        r, g, b = (c / 255.0 for c in color)
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(x0) - 1), max(0, int(y0) - 1)
        x1, y1 = min(self.w, int(math.ceil(x1)) + 1), min(self.h, int(math.ceil(y1)) + 1)
        step = 1.0 / SS
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = 0
                for sy in range(SS):
                    y = py + (sy + 0.5) * step
                    for sx in range(SS):
                        if inside(px + (sx + 0.5) * step, y):
                            hits += 1
                if hits:
                    a = alpha * hits / (SS * SS)
                    p = self.px[py * self.w + px]
                    p[0] = r * a + p[0] * (1 - a)
                    p[1] = g * a + p[1] * (1 - a)
                    p[2] = b * a + p[2] * (1 - a)
                    p[3] = a + p[3] * (1 - a)

    def rgba(self):
        out = bytearray()
        for p in self.px:
            a = p[3]
            if a <= 0:
                out += b"\0\0\0\0"
            else:
                out += bytes(min(255, round(c / a * 255)) for c in p[:3]) + bytes([min(255, round(a * 255))])
        return bytes(out)


# --- shapes -----------------------------------------------------------------

def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width):
    inner = (r - width) ** 2
    return lambda x, y: inner <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rect(x0, y0, x1, y1, radius=0.0):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        if radius <= 0:
            return True
        dx = max(x0 + radius - x, 0, x - (x1 - radius))
        dy = max(y0 + radius - y, 0, y - (y1 - radius))
        return dx * dx + dy * dy <= radius * radius
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def segment(ax, ay, bx, by, width):
    """A thick line with round ends."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    half2 = (width / 2) ** 2

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        px, py = ax + t * dx - x, ay + t * dy - y
        return px * px + py * py <= half2
    return inside


def arc(cx, cy, r, width, start_deg, end_deg):
    """A ring segment between two angles (degrees, y down, 0 = right)."""
    inner, outer = (r - width / 2) ** 2, (r + width / 2) ** 2

    def inside(x, y):
        d = (x - cx) ** 2 + (y - cy) ** 2
        if not inner <= d <= outer:
            return False
        angle = math.degrees(math.atan2(y - cy, x - cx)) % 360
        return start_deg <= angle <= end_deg
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, hole):
    return lambda x, y: shape(x, y) and not hole(x, y)


# --- the pictures -----------------------------------------------------------

def record(w=122, h=121):
    c = Canvas(w, h)
    cx, cy, r = w / 2, h / 2, min(w, h) / 2 - 2
    c.fill(circle(cx, cy, r), GREEN)
    c.fill(polygon([(cx - r * 0.28, cy - r * 0.42), (cx - r * 0.28, cy + r * 0.42), (cx + r * 0.46, cy)]), WHITE)
    return c


def stop(w=124, h=120):
    c = Canvas(w, h)
    cx, cy, r = w / 2, h / 2, min(w, h) / 2 - 2
    c.fill(circle(cx, cy, r), RED)
    s = r * 0.36
    c.fill(rect(cx - s, cy - s, cx + s, cy + s, radius=r * 0.06), WHITE)
    return c


def pause(w=139, h=138):
    c = Canvas(w, h)
    cx, cy, r = w / 2, h / 2, min(w, h) / 2 - 3
    c.fill(ring(cx, cy, r, r * 0.09), GREY)
    bw, bh = r * 0.16, r * 0.46
    c.fill(rect(cx - r * 0.26 - bw / 2, cy - bh, cx - r * 0.26 + bw / 2, cy + bh, radius=bw * 0.3), GREY)
    c.fill(rect(cx + r * 0.26 - bw / 2, cy - bh, cx + r * 0.26 + bw / 2, cy + bh, radius=bw * 0.3), GREY)
    return c


def resume(w=141, h=138):
    c = Canvas(w, h)
    cx, cy, r = w / 2, h / 2, min(w, h) / 2 - 3
    c.fill(ring(cx, cy, r, r * 0.09), GREY)
    bw, bh = r * 0.13, r * 0.42
    c.fill(rect(cx - r * 0.42 - bw / 2, cy - bh, cx - r * 0.42 + bw / 2, cy + bh, radius=bw * 0.3), GREY)
    c.fill(rect(cx - r * 0.18 - bw / 2, cy - bh, cx - r * 0.18 + bw / 2, cy + bh, radius=bw * 0.3), GREY)
    c.fill(polygon([(cx + r * 0.04, cy - bh), (cx + r * 0.04, cy + bh), (cx + r * 0.52, cy)]), GREY)
    return c


def region(w=131, h=123):
    c = Canvas(w, h)
    m, t = 30, 6.5  # square inset and line width
    x0, y0, x1, y1 = m, m * h / w, w - m, h - m * h / w
    dash, gap = 11, 7
    pieces = []
    # Dashes along each side, starting from the corners.
    for (ax, ay, bx, by) in ((x0, y0, x1, y0), (x1, y0, x1, y1), (x1, y1, x0, y1), (x0, y1, x0, y0)):
        length = math.hypot(bx - ax, by - ay)
        ux, uy = (bx - ax) / length, (by - ay) / length
        pos = 0.0
        while pos < length:
            end = min(length, pos + dash)
            pieces.append(segment(ax + ux * pos, ay + uy * pos, ax + ux * end, ay + uy * end, t * 0.8))
            pos = end + gap
    c.fill(union(*pieces), GREY)
    # Arrows from the corners outward.
    for (sx, sy, dx, dy) in ((x0, y0, -1, -1), (x1, y0, 1, -1), (x1, y1, 1, 1), (x0, y1, -1, 1)):
        bx, by = sx + dx * 6, sy + dy * 6
        tx, ty = sx + dx * 24, sy + dy * 22
        c.fill(segment(bx, by, tx, ty, t), GREY)
        c.fill(union(segment(tx, ty, tx - dx * 11, ty, t), segment(tx, ty, tx, ty - dy * 11, t)), GREY)
    return c


def full_screen(w=141, h=128):
    c = Canvas(w, h)
    t = 7
    mx0, my0, mx1, my1 = 6, 6, w - 6, h - 30
    c.fill(minus(rect(mx0, my0, mx1, my1, radius=9), rect(mx0 + t, my0 + t, mx1 - t, my1 - t, radius=3)), GREY)
    # Stand.
    c.fill(rect(w / 2 - 7, my1, w / 2 + 7, h - 12), GREY)
    c.fill(rect(w / 2 - 30, h - 13, w / 2 + 30, h - 5, radius=4), GREY)
    # Filled screen area with corner marks around it.
    ix0, iy0, ix1, iy1 = mx0 + 30, my0 + 24, mx1 - 30, my1 - 24
    c.fill(rect(ix0, iy0, ix1, iy1, radius=2), GREY)
    k, lt = 11, 4.5
    for (x, y, dx, dy) in ((mx0 + 16, my0 + 13, 1, 1), (mx1 - 16, my0 + 13, -1, 1),
                           (mx1 - 16, my1 - 13, -1, -1), (mx0 + 16, my1 - 13, 1, -1)):
        c.fill(union(segment(x, y, x + dx * k, y, lt), segment(x, y, x, y + dy * k, lt)), GREY)
    return c


def microphone(struck, w=133, h=133):
    c = Canvas(w, h)
    cx = w / 2
    body = rect(cx - 17, 16, cx + 17, 78, radius=17)
    holder = arc(cx, 56, 31, 7, 0, 180)
    stem = rect(cx - 3.5, 86, cx + 3.5, 106)
    base = rect(cx - 21, 103, cx + 21, 110, radius=3.5)
    mic = union(body, holder, stem, base)
    if struck:
        a, b = (cx - 40, 18), (cx + 40, 112)
        gap = segment(a[0], a[1], b[0], b[1], 20)
        c.fill(minus(mic, gap), GREY)
        c.fill(segment(a[0], a[1], b[0], b[1], 8), GREY)
    else:
        c.fill(mic, GREY)
    return c


def webcam(w=130, h=127):
    c = Canvas(w, h)
    cx, cy = w / 2, 50
    c.fill(ring(cx, cy, 44, 8), GREY)
    c.fill(ring(cx, cy, 27, 7), GREY)
    c.fill(circle(cx, cy, 11), GREY)
    c.fill(circle(cx + 5, cy - 5, 3.5), DARK)  # glint
    c.fill(rect(cx - 5, cy + 43, cx + 5, h - 16), GREY)
    c.fill(rect(cx - 30, h - 17, cx + 30, h - 8, radius=4.5), GREY)
    return c


def app_icon(size):
    c = Canvas(size, size)
    s = size / 32.0
    c.fill(rect(0.5 * s, 0.5 * s, 31.5 * s, 31.5 * s, radius=6 * s), INDIGO)
    c.fill(ring(16 * s, 16 * s, 11 * s, 2.6 * s), WHITE)
    c.fill(circle(16 * s, 16 * s, 5.5 * s), RED)
    return c


# --- file formats -----------------------------------------------------------

def png_bytes(canvas):
    raw = canvas.rgba()
    stride = canvas.w * 4
    rows = b"".join(b"\0" + raw[y * stride:(y + 1) * stride] for y in range(canvas.h))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", canvas.w, canvas.h, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


def ico_bytes(canvases):
    """An icon file of 32-bit BGRA images with their AND masks."""
    images = []
    for c in canvases:
        raw = c.rgba()
        xor = bytearray()
        for y in reversed(range(c.h)):  # bottom-up
            for x in range(c.w):
                r, g, b, a = raw[(y * c.w + x) * 4:(y * c.w + x) * 4 + 4]
                xor += bytes([b, g, r, a])
        mask_stride = ((c.w + 31) // 32) * 4
        mask = bytearray(mask_stride * c.h)  # all 0: alpha decides
        header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        images.append((c, header + bytes(xor) + bytes(mask)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in images:
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    pictures = {
        150: record(), 151: pause(), 152: resume(), 153: stop(), 154: region(),
        155: full_screen(), 156: microphone(False), 157: microphone(True), 158: webcam(),
    }
    names = {150: "record", 151: "pause", 152: "resume", 153: "stop", 154: "region",
             155: "fullscreen", 156: "mic-on", 157: "mic-off", 158: "webcam"}
    os.makedirs(os.path.join(RES, "png"), exist_ok=True)
    for ident, canvas in pictures.items():
        path = os.path.join(RES, "png", "%d-%s.png" % (ident, names[ident]))
        with open(path, "wb") as f:
            f.write(png_bytes(canvas))
    with open(os.path.join(RES, "quillomat.ico"), "wb") as f:
        f.write(ico_bytes([app_icon(48), app_icon(32), app_icon(16)]))
    with open(os.path.join(RES, "quillomat-small.ico"), "wb") as f:
        f.write(ico_bytes([app_icon(16), app_icon(32)]))


if __name__ == "__main__":
    main()
