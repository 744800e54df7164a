"""Reads the demo game's picture back: its layout is tools/demo_game/pattern.h's, computed again."""
from dataclasses import dataclass

CODE_BITS = 16
FRAMES_PER_SECOND = 60


@dataclass
class Layout:
    width: int
    height: int
    block: int
    code_x: int
    code_y: int


def layout_for(width, height):
    block = max(24, width // 26)
    return Layout(width, height, block, (width - CODE_BITS * block) // 2, height * 64 // 100)


@dataclass
class Reading:
    kind: str          # "code", "white", "black" or "unreadable"
    number: int = -1   # the frame number for "code"


def _mean(buf, stride, x0, y0, w, h):
    total = 0
    for y in range(y0, y0 + h):
        row = buf[y * stride + x0:y * stride + x0 + w]
        total += sum(row)
    return total / (w * h)


def read_picture(buf, width, height, game_width, game_height):
    """Classifies one luma picture (width x height) that shows the whole game window."""
    lay = layout_for(game_width, game_height)
    sx, sy = width / game_width, height / game_height
    whole = _mean(buf, width, 0, 0, width, height) if width * height <= 1 << 16 else \
        sum(buf[::97]) / len(buf[::97])
    if whole > 235:
        return Reading("white")
    if whole < 20:
        return Reading("black")
    number = 0
    for i in range(CODE_BITS):
        # The middle half of each block: far from the edges that scaling and coding blur.
        cx = (lay.code_x + (i + 0.5) * lay.block) * sx
        cy = (lay.code_y + 0.5 * lay.block) * sy
        half = max(1, int(lay.block * sx / 4)), max(1, int(lay.block * sy / 4))
        v = _mean(buf, width, int(cx) - half[0], int(cy) - half[1], 2 * half[0], 2 * half[1])
        if v > 170:
            number = number << 1 | 1
        elif v < 85:
            number <<= 1
        else:
            return Reading("unreadable")
    return Reading("code", number)


def read_clip(path, game_width, game_height, limit=None, crop=None, scale=(320, 180)):
    """Readings of every picture of a clip, in order. The pictures show the whole game window,
    or, with crop (x, y, w, h in the clip's pixels), show it in that rectangle."""
    from media import gray_frames
    w, h = scale
    return [read_picture(buf, w, h, game_width, game_height)
            for buf in gray_frames(path, w, h, limit, crop)]


def numbers(readings):
    return [r.number for r in readings if r.kind == "code"]
