#!/usr/bin/env python3
"""Writes firmware/charrom.asm, the free 2K character ROM: 256 glyphs of 8 x 8 pixels, eight
bytes each, bit 7 the leftmost pixel, the glyph of code c at c * 8.

The printable ASCII glyphs are drawn below as ASCII art ('#' lit, '.' dark), eight to a band
with the band's characters named above it (SP is the space). The graphics codes are built from rules (box
lines, quarter and sextant blocks, eighth bars) or drawn like the letters.

Code map: 0x00 blank; 0x01-0x0B thin box-drawing pieces (horizontal, vertical, the corners
top-left, top-right, bottom-left, bottom-right, the tees opening right, left, down, up, and the
cross) and 0x0C-0x16 the same pieces heavy; 0x17-0x1A arrows up, down, left, right; 0x1B-0x1E
heart, diamond, club, spade; 0x1F face; 0x20-0x7E ASCII; 0x7F solid block; 0x80-0x8F quarter
blocks (bit 0 top left, 1 top right, 2 bottom left, 3 bottom right); 0x90-0xCF sextants, two
columns by three rows (bit 0 top left ... bit 5 bottom right); 0xD0-0xD2 light, medium and dark
shade; 0xD3 stripes; 0xD4-0xDB bars rising 1 to 8 lines from the bottom; 0xDC-0xE3 bars 1 to 8
pixels wide from the left; 0xE4-0xE6 diagonals rising, falling and crossed; 0xE7 grid;
0xE8-0xEB half-cell triangles; 0xEC disc; 0xED ring; 0xEE dot; 0xEF small square; 0xF0-0xF3
rounded corners; 0xF4-0xF7 cell edges top, bottom, left, right; 0xF8 note; 0xF9 figure;
0xFA invader; 0xFB star; 0xFC tick; 0xFD cross; 0xFE degree sign; 0xFF the other checkerboard.

Run by hand after changing a glyph:  python3 scripts/make_charrom.py
The build only assembles the .asm it writes; commit both files."""

import os
import sys

# ---------------------------------------------------------------- drawn glyphs

ASCII_BANDS = r"""
SP '!' '"' '#' '$' '%' '&' "'"
........ ...##... .##.##.. .##.##.. ...#.... .##...#. ..###... ...##...
........ ...##... .##.##.. #######. .#####.. .##..##. .##.##.. ...##...
........ ...##... .#..#... .##.##.. #..#.... ....##.. ..###... ..##....
........ ...##... ........ .##.##.. .#####.. ...##... .###.##. ........
........ ...##... ........ #######. ...#..#. ..##.... ##.###.. ........
........ ........ ........ .##.##.. .#####.. .##..##. ##..##.. ........
........ ...##... ........ ........ ...#.... #...##.. .###.##. ........
........ ........ ........ ........ ........ ........ ........ ........

'(' ')' '*' '+' ',' '-' '.' '/'
....##.. .##..... ........ ........ ........ ........ ........ ......#.
...##... ..##.... .##..##. ...##... ........ ........ ........ .....##.
..##.... ...##... ..####.. ...##... ........ ........ ........ ....##..
..##.... ...##... ######## .######. ........ .######. ........ ...##...
..##.... ...##... ..####.. ...##... ...##... ........ ........ ..##....
...##... ..##.... .##..##. ...##... ...##... ........ ...##... .##.....
....##.. .##..... ........ ........ ..##.... ........ ...##... ##......
........ ........ ........ ........ ........ ........ ........ ........

'0' '1' '2' '3' '4' '5' '6' '7'
.#####.. ...##... .#####.. .#####.. ....###. #######. ..####.. #######.
##...##. ..###... ##...##. ##...##. ...####. ##...... .##..... ##...##.
##..###. ...##... .....##. .....##. ..##.##. ######.. ##...... ....##..
##.#.##. ...##... ...###.. ..####.. .##..##. .....##. ######.. ...##...
###..##. ...##... .##..... .....##. #######. .....##. ##...##. ..##....
##...##. ...##... ##...... ##...##. .....##. ##...##. ##...##. ..##....
.#####.. .######. #######. .#####.. .....##. .#####.. .#####.. ..##....
........ ........ ........ ........ ........ ........ ........ ........

'8' '9' ':' ';' '<' '=' '>' '?'
.#####.. .#####.. ........ ........ ....##.. ........ .##..... .#####..
##...##. ##...##. ...##... ...##... ...##... ........ ..##.... ##...##.
##...##. ##...##. ...##... ...##... ..##.... .######. ...##... .....##.
.#####.. .######. ........ ........ .##..... ........ ....##.. ...###..
##...##. .....##. ...##... ...##... ..##.... .######. ...##... ...##...
##...##. ....##.. ...##... ...##... ...##... ........ ..##.... ........
.#####.. .####... ........ ..##.... ....##.. ........ .##..... ...##...
........ ........ ........ ........ ........ ........ ........ ........

'@' 'A' 'B' 'C' 'D' 'E' 'F' 'G'
.#####.. ..###... ######.. .#####.. #####... #######. #######. .#####..
##...##. .##.##.. ##...##. ##...##. ##..##.. ##...... ##...... ##...##.
##.####. ##...##. ##...##. ##...... ##...##. ##...... ##...... ##......
##.####. #######. ######.. ##...... ##...##. #####... #####... ##.####.
##.###.. ##...##. ##...##. ##...... ##...##. ##...... ##...... ##...##.
##...... ##...##. ##...##. ##...##. ##..##.. ##...... ##...... ##...##.
.#####.. ##...##. ######.. .#####.. #####... #######. ##...... .######.
........ ........ ........ ........ ........ ........ ........ ........

'H' 'I' 'J' 'K' 'L' 'M' 'N' 'O'
##...##. .######. ....###. ##...##. ##...... ##...##. ##...##. .#####..
##...##. ...##... .....##. ##..##.. ##...... ###.###. ###..##. ##...##.
##...##. ...##... .....##. ##.##... ##...... #######. ####.##. ##...##.
#######. ...##... .....##. ####.... ##...... ##.#.##. ##.####. ##...##.
##...##. ...##... ##...##. ##.##... ##...... ##...##. ##..###. ##...##.
##...##. ...##... ##...##. ##..##.. ##...... ##...##. ##...##. ##...##.
##...##. .######. .#####.. ##...##. #######. ##...##. ##...##. .#####..
........ ........ ........ ........ ........ ........ ........ ........

'P' 'Q' 'R' 'S' 'T' 'U' 'V' 'W'
######.. .#####.. ######.. .#####.. .######. ##...##. ##...##. ##...##.
##...##. ##...##. ##...##. ##...##. ...##... ##...##. ##...##. ##...##.
##...##. ##...##. ##...##. ##...... ...##... ##...##. ##...##. ##...##.
######.. ##...##. ######.. .#####.. ...##... ##...##. ##...##. ##.#.##.
##...... ##.#.##. ##.##... .....##. ...##... ##...##. .##.##.. #######.
##...... ##..##.. ##..##.. ##...##. ...##... ##...##. ..###... ###.###.
##...... .###.##. ##...##. .#####.. ...##... .#####.. ...#.... ##...##.
........ ........ ........ ........ ........ ........ ........ ........

'X' 'Y' 'Z' '[' '\' ']' '^' '_'
##...##. .##..##. #######. ..####.. ##...... ..####.. ...#.... ........
.##.##.. .##..##. ....##.. ..##.... .##..... ....##.. ..###... ........
..###... .##..##. ...##... ..##.... ..##.... ....##.. .##.##.. ........
..###... ..####.. ..##.... ..##.... ...##... ....##.. ##...##. ........
.##.##.. ...##... .##..... ..##.... ....##.. ....##.. ........ ........
##...##. ...##... ##...... ..##.... .....##. ....##.. ........ ........
##...##. ...##... #######. ..####.. ......#. ..####.. ........ ........
........ ........ ........ ........ ........ ........ ........ ########

'`' 'a' 'b' 'c' 'd' 'e' 'f' 'g'
..##.... ........ ##...... ........ .....##. ........ ...###.. ........
...##... ........ ##...... ........ .....##. ........ ..##.##. ........
....##.. .####... #####... .#####.. .######. .#####.. ..##.... .######.
........ ....##.. ##..##.. ##...... ##...##. ##...##. .####... ##...##.
........ .#####.. ##...##. ##...... ##...##. #######. ..##.... ##...##.
........ ##..##.. ##...##. ##...... ##...##. ##...... ..##.... .######.
........ .###.##. ######.. .#####.. .######. .#####.. ..##.... .....##.
........ ........ ........ ........ ........ ........ ........ .#####..

'h' 'i' 'j' 'k' 'l' 'm' 'n' 'o'
##...... ...##... ....##.. ##...... ..###... ........ ........ ........
##...... ........ ........ ##...... ...##... ........ ........ ........
######.. ..###... ...###.. ##..##.. ...##... ##.##... ######.. .#####..
##...##. ...##... ....##.. ##.##... ...##... #######. ##...##. ##...##.
##...##. ...##... ....##.. ####.... ...##... ##.#.##. ##...##. ##...##.
##...##. ...##... ....##.. ##.##... ...##... ##.#.##. ##...##. ##...##.
##...##. ..####.. ....##.. ##..##.. ..####.. ##...##. ##...##. .#####..
........ ........ .####... ........ ........ ........ ........ ........

'p' 'q' 'r' 's' 't' 'u' 'v' 'w'
........ ........ ........ ........ ..##.... ........ ........ ........
........ ........ ........ ........ ..##.... ........ ........ ........
######.. .######. ##.###.. .######. ######.. ##...##. ##...##. ##...##.
##...##. ##...##. ###..##. ##...... ..##.... ##...##. ##...##. ##.#.##.
##...##. ##...##. ##...... .#####.. ..##.... ##...##. .##.##.. ##.#.##.
######.. .######. ##...... .....##. ..##.##. ##...##. ..###... #######.
##...... .....##. ##...... ######.. ...###.. .######. ...#.... .##.##..
##...... .....##. ........ ........ ........ ........ ........ ........

'x' 'y' 'z' '{' '|' '}' '~'
........ ........ ........ ....###. ...##... .###.... .###..#.
........ ........ ........ ...##... ...##... ...##... ##.###..
##...##. ##...##. #######. ...##... ...##... ...##... ........
.##.##.. ##...##. ....##.. .###.... ...##... ....###. ........
..###... ##...##. ..##.... ...##... ...##... ...##... ........
.##.##.. .######. .##..... ...##... ...##... ...##... ........
##...##. .....##. #######. ....###. ...##... .###.... ........
........ .#####.. ........ ........ ...##... ........ ........
"""

# Pictures for the remaining graphics codes, drawn the same way, keyed by code.
PICTURE_BANDS = r"""
0x17 0x18 0x19 0x1A 0x1B 0x1C 0x1D 0x1E
...##... ...##... ...#.... ....#... .##.##.. ...#.... ..###... ...#....
..####.. ...##... ..##.... ....##.. #######. ..###... ..###... ..###...
.######. ...##... .######. .######. #######. .#####.. ##.#.##. .#####..
...##... ...##... #######. ######## .#####.. #######. #######. #######.
...##... .######. .######. .######. ..###... .#####.. ##.#.##. #######.
...##... ..####.. ..##.... ....##.. ...#.... ..###... ...#.... ...#....
...##... ...##... ...#.... ....#... ........ ...#.... ..###... ..###...
........ ........ ........ ........ ........ ........ ........ ........

0x1F 0xF8 0xF9 0xFA 0xFB 0xFC 0xFD 0xFE
.#####.. ...####. ...##... ..#..#.. ...#.... ........ ........ ..###...
#.....#. ...#..#. ...##... ...##... #..#..#. .......# ##....## .##.##..
#.#.#.#. ...#..#. .######. .######. .#.#.#.. ......#. .##..##. .##.##..
#.....#. ...#..#. #..##..# ##.##.## ..###... .....#.. ..####.. ..###...
#.#.#.#. .###.##. ...##... ######## #######. #...#... ..####.. ........
#..#..#. ####.### ..#..#.. #.####.# ..###... .#.#.... .##..##. ........
.#####.. .##..##. .##..##. #.#..#.# .#.#.#.. ..#..... ##....## ........
........ ........ ........ ...##... #..#..#. ........ ........ ........
"""

# ---------------------------------------------------------------- drawing helpers

def parse_bands(text, key_of):
    """Reads bands of side-by-side 8 x 8 pictures: one line of keys, then eight pixel rows."""
    glyphs = {}
    lines = [line for line in text.split("\n") if line.strip()]
    if len(lines) % 9:
        sys.exit("a band must be a key line and eight pixel rows")
    for start in range(0, len(lines), 9):
        keys = [key_of(k) for k in lines[start].split()]
        rows = [line.split() for line in lines[start + 1:start + 9]]
        for row in rows:
            if len(row) != len(keys):
                sys.exit("band %r: a pixel row has %d pictures for %d keys" %
                         (lines[start], len(row), len(keys)))
        for i, key in enumerate(keys):
            glyph = []
            for row in rows:
                cells = row[i].ljust(8, ".")
                if len(cells) != 8 or set(cells) - {".", "#"}:
                    sys.exit("glyph %r: bad pixel row %r" % (key, row[i]))
                glyph.append(sum(0x80 >> x for x, c in enumerate(cells) if c == "#"))
            if key in glyphs:
                sys.exit("glyph %r drawn twice" % (key,))
            glyphs[key] = glyph
    return glyphs


def char_key(token):
    if token == "SP":
        return 0x20
    if len(token) != 3 or token[0] != token[2] or token[0] not in "'\"":
        sys.exit("bad character key %r" % token)
    return ord(token[1])


def from_pixels(lit):
    """A glyph from a predicate lit(x, y) over the 8 x 8 cell, x = 0 the leftmost pixel."""
    return [sum(0x80 >> x for x in range(8) if lit(x, y)) for y in range(8)]


def box_piece(north, east, south, west, heavy):
    """A box-drawing piece whose lines run from the centre to the named edges."""
    lo, hi = (3, 4) if heavy else (3, 3)
    def lit(x, y):
        on_row = lo <= y <= hi
        on_col = lo <= x <= hi
        return ((on_row and west and x <= hi) or (on_row and east and x >= lo) or
                (on_col and north and y <= hi) or (on_col and south and y >= lo))
    return from_pixels(lit)


def quarter_block(bits):
    """Bit 0 top left, 1 top right, 2 bottom left, 3 bottom right."""
    return from_pixels(lambda x, y: bits >> ((2 if y >= 4 else 0) + (1 if x >= 4 else 0)) & 1)


def sextant_block(bits):
    """Two columns by three rows of 3, 2 and 3 lines; bit 0 top left, bit 5 bottom right."""
    band = lambda y: 0 if y < 3 else (1 if y < 5 else 2)
    return from_pixels(lambda x, y: bits >> (band(y) * 2 + (1 if x >= 4 else 0)) & 1)


def rounded_corner(corner):
    """A thin rounded corner joining two edges, in the thin box line's row and column."""
    arcs = {
        "tl": ["........", "........", "........", ".....###", "....#...", "...#....", "...#....", "...#...."],
        "tr": ["........", "........", "........", "##......", "..#.....", "...#....", "...#....", "...#...."],
        "bl": ["...#....", "...#....", "...#....", "....#...", ".....###", "........", "........", "........"],
        "br": ["...#....", "...#....", "..#.....", "##......", "........", "........", "........", "........"],
    }
    return [sum(0x80 >> x for x, c in enumerate(row) if c == "#") for row in arcs[corner]]


# ---------------------------------------------------------------- the character set

def build():
    table = [None] * 256
    table[0x00] = [0] * 8

    # Box drawing: thin pieces 0x01-0x0B, heavy 0x0C-0x16, in this order of joined edges.
    pieces = [  # (north, east, south, west)
        (0, 1, 0, 1), (1, 0, 1, 0), (0, 1, 1, 0), (0, 0, 1, 1), (1, 1, 0, 0), (1, 0, 0, 1),
        (1, 1, 1, 0), (1, 0, 1, 1), (0, 1, 1, 1), (1, 1, 0, 1), (1, 1, 1, 1)]
    for i, edges in enumerate(pieces):
        table[0x01 + i] = box_piece(*edges, heavy=False)
        table[0x0C + i] = box_piece(*edges, heavy=True)

    for code, glyph in parse_bands(ASCII_BANDS, char_key).items():
        table[code] = glyph
    table[0x7F] = [0xFF] * 8                       # solid block: the editor's cursor

    for bits in range(16):
        table[0x80 + bits] = quarter_block(bits)
    for bits in range(64):
        table[0x90 + bits] = sextant_block(bits)

    table[0xD0] = from_pixels(lambda x, y: (x + 2 * y) % 4 == 0)      # light shade
    table[0xD1] = from_pixels(lambda x, y: (x + y) % 2 == 0)          # medium shade
    table[0xD2] = from_pixels(lambda x, y: (x + 2 * y) % 4 != 0)      # dark shade
    table[0xD3] = from_pixels(lambda x, y: y % 2 == 0)                # horizontal stripes
    for n in range(1, 9):
        table[0xD3 + n] = from_pixels(lambda x, y, n=n: y >= 8 - n)   # 0xD4-0xDB: rising bars
        table[0xDB + n] = from_pixels(lambda x, y, n=n: x < n)        # 0xDC-0xE3: bars from the left

    table[0xE4] = from_pixels(lambda x, y: x + y == 7)                # diagonals
    table[0xE5] = from_pixels(lambda x, y: x == y)
    table[0xE6] = from_pixels(lambda x, y: x == y or x + y == 7)
    table[0xE7] = from_pixels(lambda x, y: x == 0 or y == 0)          # grid, repeats across cells
    table[0xE8] = from_pixels(lambda x, y: x <= y)                    # half-cell triangles
    table[0xE9] = from_pixels(lambda x, y: x + y >= 7)
    table[0xEA] = from_pixels(lambda x, y: x + y <= 7)
    table[0xEB] = from_pixels(lambda x, y: x >= y)
    centre = lambda x, y: (x - 3.5) ** 2 + (y - 3.5) ** 2
    table[0xEC] = from_pixels(lambda x, y: centre(x, y) <= 12.5)      # disc
    table[0xED] = from_pixels(lambda x, y: 6 <= centre(x, y) <= 12.5)  # ring
    table[0xEE] = from_pixels(lambda x, y: centre(x, y) <= 2.5)       # dot
    table[0xEF] = from_pixels(lambda x, y: 2 <= x <= 5 and 2 <= y <= 5)  # small square
    for i, corner in enumerate(("tl", "tr", "bl", "br")):
        table[0xF0 + i] = rounded_corner(corner)
    table[0xF4] = from_pixels(lambda x, y: y == 0)                    # frame edges
    table[0xF5] = from_pixels(lambda x, y: y == 7)
    table[0xF6] = from_pixels(lambda x, y: x == 0)
    table[0xF7] = from_pixels(lambda x, y: x == 7)
    table[0xFF] = from_pixels(lambda x, y: (x + y) % 2 == 1)          # the other medium shade

    for code, glyph in parse_bands(PICTURE_BANDS, lambda t: int(t, 16)).items():
        if table[code] is not None:
            sys.exit("picture for 0x%02X clashes with a built glyph" % code)
        table[code] = glyph

    missing = [c for c in range(256) if table[c] is None]
    if missing:
        sys.exit("no glyph for " + ", ".join("0x%02X" % c for c in missing))
    return table


def describe(code):
    if 0x20 <= code < 0x7F:
        return repr(chr(code))
    return "0x%02X" % code


def write_asm(table, path):
    out = ["; Vantorel free character ROM: 256 glyphs of 8 x 8, bit 7 leftmost, code c at c * 8.",
           "; Written by scripts/make_charrom.py; change the drawings there, not here.",
           ""]
    for code, glyph in enumerate(table):
        out.append("; %s" % describe(code))
        for row in glyph:
            art = "".join("#" if row & (0x80 >> x) else "." for x in range(8))
            out.append("        db 0x%02X      ; %s" % (row, art))
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    table = build()
    write_asm(table, os.path.join(root, "firmware", "charrom.asm"))


if __name__ == "__main__":
    main()
