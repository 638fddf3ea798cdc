#!/usr/bin/env node
// Draws the program's icons and writes them as RGBA PNG files:
//   marrowdex  the application icon, three coloured building bricks stacked as a pyramid
//   document   a document in the tree, two ruled pages, one behind the other
//   catalog    a catalog in the tree, stacked folders under a magnifying glass
// The 16-pixel images are hand-set pixel grids, so that the tree view shows them crisp; the
// larger ones are drawn from shapes, anti-aliased by sampling every pixel 8 x 8 times.
//
//   node scripts/draw-icons.mjs [OUTPUT_DIR]     write them (default: resources/icons of this repo)
//   node scripts/draw-icons.mjs --check DIR      exit 1 unless DIR holds exactly these pixels
//
// Plain Node 18+, no packages. The pixels are a pure function of this file. The check decodes
// the files and compares pixels, not bytes, because another zlib may compress differently.

import { mkdirSync, readFileSync, readdirSync, realpathSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { deflateSync, inflateSync } from 'node:zlib';

// ---------------------------------------------------------------------------------------------
// Colours: [r, g, b] or [r, g, b, alpha 0..1].

const rgb = (hex, alpha = 1) => [(hex >> 16) & 0xff, (hex >> 8) & 0xff, hex & 0xff, alpha];

const BRICKS = {
  red: { body: rgb(0xe8493d), light: rgb(0xf57b6f), shade: rgb(0xc9352b), edge: rgb(0x8f2119) },
  blue: { body: rgb(0x2f80e8), light: rgb(0x68a6f5), shade: rgb(0x2166c4), edge: rgb(0x164a8f) },
  yellow: { body: rgb(0xf7c22f), light: rgb(0xffdd72), shade: rgb(0xdca414), edge: rgb(0x96690a) },
};

const PAGE = { edge: rgb(0x858d98), paper: rgb(0xffffff), back: rgb(0xf3f5f8), text: rgb(0xa3b6cc) };

const FOLDER = {
  edge: rgb(0x4f7cab),
  back: rgb(0xa7c8ea),
  middle: rgb(0xbcd6f1),
  front: rgb(0xd3e5f8),
  light: rgb(0xe6f1fc),
};

const LENS = {
  rim: rgb(0x2e333b),
  grip: rgb(0x4a515c),
  back: rgb(0xe4effb),
  glass: rgb(0xf4f9ff, 0.4),
  shine: rgb(0xffffff, 0.9),
};

// ---------------------------------------------------------------------------------------------
// The 16-pixel grids. '.' is transparent; every other letter is a colour of the grid's palette.

const MARROWDEX_16 = {
  palette: {
    y: BRICKS.yellow.edge, Y: BRICKS.yellow.body, L: BRICKS.yellow.light, S: BRICKS.yellow.shade,
    r: BRICKS.red.edge, R: BRICKS.red.body, P: BRICKS.red.light, Q: BRICKS.red.shade,
    b: BRICKS.blue.edge, B: BRICKS.blue.body, C: BRICKS.blue.light, D: BRICKS.blue.shade,
  },
  rows: [
    '................',
    '.....yyyyyy.....',
    '....yLLLLLLy....',
    '....yYYYYYYy....',
    '....yYYYYYYy....',
    '....yYYYYYYy....',
    '....ySSSSSSy....',
    '.....yyyyyy.....',
    '..rrrrr..bbbbb..',
    '.rPPPPPrbCCCCCb.',
    '.rRRRRRrbBBBBBb.',
    '.rRRRRRrbBBBBBb.',
    '.rRRRRRrbBBBBBb.',
    '.rQQQQQrbDDDDDb.',
    '..rrrrr..bbbbb..',
    '................',
  ],
};

const DOCUMENT_16 = {
  palette: { '#': PAGE.edge, W: PAGE.paper, V: PAGE.back, t: PAGE.text },
  rows: [
    '................',
    '.....##########.',
    '.....#VVVVVVVV#.',
    '.....#VVVVVVVV#.',
    '.##########VVV#.',
    '.#WWWWWWWW#VVV#.',
    '.#WttttttW#ttV#.',
    '.#WWWWWWWW#VVV#.',
    '.#WttttttW#ttV#.',
    '.#WWWWWWWW#VVV#.',
    '.#WttttttW#ttV#.',
    '.#WWWWWWWW#####.',
    '.#WttttWWW#.....',
    '.#WWWWWWWW#.....',
    '.##########.....',
    '................',
  ],
};

const CATALOG_16 = {
  palette: {
    o: FOLDER.edge, M: FOLDER.back, F: FOLDER.front, H: FOLDER.light,
    k: LENS.rim, h: LENS.grip, g: LENS.back, w: rgb(0xffffff),
  },
  rows: [
    '....oooo........',
    '....oMMMooooooo.',
    '.ooooMMMMMMMMMo.',
    '.oHHHoooooooMMo.',
    '.oHHHHHHHHHoMMo.',
    '.oFFFFFFFFFoMMo.',
    '.oFFFFFFFFFoMMo.',
    '.oFFFFFFFkkkMMo.',
    '.oFFFFFFkwggkMo.',
    '.oFFFFFkwggggko.',
    '.oFFFFFkgggggk..',
    '.oFFFFFkgggggk..',
    '.oooooookgggk...',
    '.........kkk.hh.',
    '..............hh',
    '...............h',
  ],
};

// ---------------------------------------------------------------------------------------------
// Shapes are point tests over pixel coordinates (x right, y down) with a bounding box.

const box = (x0, y0, x1, y1, inside) => ({ x0, y0, x1, y1, inside });

function roundRect(x0, y0, x1, y1, r) {
  return box(x0, y0, x1, y1, (x, y) => {
    if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
    const dx = Math.max(x0 + r - x, 0, x - (x1 - r));
    const dy = Math.max(y0 + r - y, 0, y - (y1 - r));
    return dx * dx + dy * dy <= r * r;
  });
}

// The same rounded rectangle shrunk by d on every side: an outline is the shape in the edge
// colour with its inset painted over it.
const inset = ([x0, y0, x1, y1, r], d) => roundRect(x0 + d, y0 + d, x1 - d, y1 - d, Math.max(r - d, 0));

function circle(cx, cy, r) {
  return box(cx - r, cy - r, cx + r, cy + r, (x, y) => (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r);
}

// A thick line with round ends: every point within r of the segment a-b.
function capsule(ax, ay, bx, by, r) {
  const vx = bx - ax;
  const vy = by - ay;
  const len2 = vx * vx + vy * vy;
  return box(Math.min(ax, bx) - r, Math.min(ay, by) - r, Math.max(ax, bx) + r, Math.max(ay, by) + r, (x, y) => {
    const t = Math.min(1, Math.max(0, ((x - ax) * vx + (y - ay) * vy) / len2));
    const dx = x - ax - t * vx;
    const dy = y - ay - t * vy;
    return dx * dx + dy * dy <= r * r;
  });
}

const union = (...s) =>
  box(
    Math.min(...s.map((a) => a.x0)),
    Math.min(...s.map((a) => a.y0)),
    Math.max(...s.map((a) => a.x1)),
    Math.max(...s.map((a) => a.y1)),
    (x, y) => s.some((a) => a.inside(x, y)),
  );

const intersect = (a, b) =>
  box(Math.max(a.x0, b.x0), Math.max(a.y0, b.y0), Math.min(a.x1, b.x1), Math.min(a.y1, b.y1), (x, y) => a.inside(x, y) && b.inside(x, y));

const subtract = (a, b) => box(a.x0, a.y0, a.x1, a.y1, (x, y) => a.inside(x, y) && !b.inside(x, y));

// Every point with y0 <= y < y1, to cut a band off another shape.
const band = (y0, y1) => box(-Infinity, y0, Infinity, y1, (x, y) => y >= y0 && y < y1);

// ---------------------------------------------------------------------------------------------
// A canvas of premultiplied RGBA floats; each fill covers a pixel by the share of its samples
// that fall inside the shape.

const SAMPLES = 8;

class Canvas {
  constructor(size) {
    this.size = size;
    this.px = new Float64Array(size * size * 4);
  }

  fill(shape, [r, g, b, alpha = 1]) {
    const n = SAMPLES;
    const x0 = Math.max(0, Math.floor(shape.x0));
    const y0 = Math.max(0, Math.floor(shape.y0));
    const x1 = Math.min(this.size, Math.ceil(shape.x1));
    const y1 = Math.min(this.size, Math.ceil(shape.y1));
    for (let py = y0; py < y1; py++) {
      for (let px = x0; px < x1; px++) {
        let hits = 0;
        for (let j = 0; j < n; j++) {
          for (let i = 0; i < n; i++) {
            if (shape.inside(px + (i + 0.5) / n, py + (j + 0.5) / n)) hits++;
          }
        }
        if (hits === 0) continue;
        const k = (alpha * hits) / (n * n);
        const o = (py * this.size + px) * 4;
        const p = this.px;
        p[o] = (r / 255) * k + p[o] * (1 - k);
        p[o + 1] = (g / 255) * k + p[o + 1] * (1 - k);
        p[o + 2] = (b / 255) * k + p[o + 2] * (1 - k);
        p[o + 3] = k + p[o + 3] * (1 - k);
      }
    }
  }

  // Straight (not premultiplied) 8-bit RGBA; fully transparent pixels are all zero.
  rgba() {
    const out = new Uint8Array(this.size * this.size * 4);
    for (let o = 0; o < out.length; o += 4) {
      const a = this.px[o + 3];
      const a8 = Math.round(a * 255);
      if (a8 === 0) continue;
      for (let c = 0; c < 3; c++) out[o + c] = Math.min(255, Math.round((this.px[o + c] / a) * 255));
      out[o + 3] = a8;
    }
    return out;
  }
}

function fromGrid(name, { palette, rows }) {
  const size = rows.length;
  const out = new Uint8Array(size * size * 4);
  rows.forEach((row, y) => {
    if (row.length !== size) throw new Error(`${name}: row ${y} is ${row.length} wide, want ${size}`);
    [...row].forEach((ch, x) => {
      if (ch === '.') return;
      const colour = palette[ch];
      if (!colour) throw new Error(`${name}: row ${y} uses '${ch}', which has no colour`);
      const [r, g, b, alpha = 1] = colour;
      out.set([r, g, b, Math.round(alpha * 255)], (y * size + x) * 4);
    });
  });
  return out;
}

// ---------------------------------------------------------------------------------------------
// The drawings. Each is laid out on a 256-unit square; u() scales a length to the target size
// and q() also rounds it to whole pixels, so that straight edges land on pixel borders.

function scale(size) {
  const u = (v) => (v * size) / 256;
  const q = (v) => Math.round(u(v));
  // Outlines: 1 pixel at 32 and 48, thicker as the icon grows.
  const line = Math.max(1, Math.round(size / 36));
  return { u, q, line };
}

// A brick: a rounded block with a light top band and a shaded bottom band, and studs on top
// like a building brick. Studs are drawn first so the brick's own top edge runs over them.
function brick(c, s, [x0, y0, x1, y1], colours, studs) {
  const { u, q, line } = s;
  const r = u(16);
  for (const [sx0, sx1] of studs) {
    const stud = [q(sx0), q(y0 - 16), q(sx1), q(y0) + r, u(7)];
    c.fill(roundRect(...stud), colours.edge);
    c.fill(intersect(inset(stud, line), band(-Infinity, q(y0))), colours.light);
  }
  const outer = [q(x0), q(y0), q(x1), q(y1), r];
  const inner = inset(outer, line);
  c.fill(roundRect(...outer), colours.edge);
  c.fill(inner, colours.body);
  c.fill(intersect(inner, band(-Infinity, q(y0 + 22))), colours.light);
  c.fill(intersect(inner, band(q(y1 - 24), Infinity)), colours.shade);
}

function drawMarrowdex(size) {
  const c = new Canvas(size);
  const s = scale(size);
  brick(c, s, [12, 138, 126, 238], BRICKS.red, [[34, 64]]);
  brick(c, s, [130, 138, 244, 238], BRICKS.blue, [[192, 222]]);
  brick(c, s, [71, 38, 185, 138], BRICKS.yellow, [[93, 123], [133, 163]]);
  return c.rgba();
}

// A ruled page: white paper in a grey frame, pale lines of text with a short last line.
function page(c, s, [x0, y0, x1, y1], paper) {
  const { q, line } = s;
  const outer = [q(x0), q(y0), q(x1), q(y1), 0];
  c.fill(roundRect(...outer), PAGE.edge);
  c.fill(inset(outer, line), paper);
  // Whole-pixel line pitch, so the lines stay evenly spaced at every size.
  const thick = Math.max(1, q(9));
  const pitch = q(30);
  const rows = [0, 1, 2, 3, 4].map((i) => q(y0 + 40) + i * pitch);
  rows.forEach((y, i) => {
    const end = i === rows.length - 1 ? x0 + 80 : x1 - 24;
    c.fill(roundRect(q(x0 + 24), y, q(end), y + thick, 0), PAGE.text);
  });
}

function drawDocument(size) {
  const c = new Canvas(size);
  const s = scale(size);
  page(c, s, [82, 12, 236, 206], PAGE.back);
  page(c, s, [22, 52, 176, 246], PAGE.paper);
  return c.rgba();
}

// A closed folder: a tab on the upper left and the body below it.
function folder(c, s, [x0, y0, x1, y1], body) {
  const { u, q, line } = s;
  const r = u(12);
  const top = q(y0 + 20);
  // The tab reaches down into the body, so that their insets overlap and leave no seam.
  const tab = [q(x0), q(y0), q(x0 + 70), top + 2 * line + r + 2, r];
  const main = [q(x0), top, q(x1), q(y1), r];
  c.fill(union(roundRect(...tab), roundRect(...main)), FOLDER.edge);
  c.fill(union(inset(tab, line), inset(main, line)), body);
  // The front edge of the body catches the light.
  c.fill(intersect(inset(main, line), band(-Infinity, top + line + q(16))), FOLDER.light);
}

// The folders behind each other, back to front; two of them where three would crowd.
function folders(c, s) {
  const stack =
    c.size > 48
      ? [[78, 14, 242, 150, FOLDER.back], [46, 44, 210, 182, FOLDER.middle], [14, 74, 178, 212, FOLDER.front]]
      : [[72, 20, 242, 164, FOLDER.back], [14, 66, 190, 214, FOLDER.front]];
  for (const [x0, y0, x1, y1, body] of stack) folder(c, s, [x0, y0, x1, y1], body);
}

// Paints on c only inside the disc, with everything enlarged m times about its centre.
function magnified(c, cx, cy, r, m) {
  const disc = circle(cx, cy, r);
  const view = (shape) =>
    box(cx + (shape.x0 - cx) * m, cy + (shape.y0 - cy) * m, cx + (shape.x1 - cx) * m, cy + (shape.y1 - cy) * m, (x, y) =>
      shape.inside(cx + (x - cx) / m, cy + (y - cy) / m),
    );
  return { size: c.size, fill: (shape, colour) => c.fill(intersect(disc, view(shape)), colour) };
}

function drawCatalog(size) {
  const c = new Canvas(size);
  const s = scale(size);
  const { u } = s;
  folders(c, s);

  // The magnifying glass: a short handle towards the lower right corner, a dark rim round a
  // pale lens with a glint on its upper left. Large enough, the lens shows the folders enlarged.
  const cx = u(160);
  const cy = u(160);
  const rim = Math.max(1.5, Math.round(u(15)));
  // The rim's outer edge on a whole radius keeps the ring from blurring at small sizes.
  const r = Math.round(u(58) + rim / 2) - rim / 2;
  const d = Math.SQRT1_2;
  if (size > 48) {
    c.fill(capsule(cx + r * d, cy + r * d, u(238), u(238), u(16)), LENS.rim);
    c.fill(capsule(cx + (r + u(24)) * d, cy + (r + u(24)) * d, u(236), u(236), u(9)), LENS.grip);
  } else {
    c.fill(capsule(cx + r * d, cy + r * d, u(236), u(236), Math.max(1.25, u(13))), LENS.grip);
  }
  c.fill(circle(cx, cy, r), LENS.back);
  if (size > 48) {
    folders(magnified(c, cx, cy, r, 1.35), s);
    c.fill(circle(cx, cy, r), LENS.glass);
  }
  const glint = subtract(circle(cx, cy, r - rim / 2 - u(8)), circle(cx + u(9), cy + u(9), r - rim / 2 - u(8)));
  c.fill(intersect(glint, box(0, 0, cx, cy, (x, y) => x < cx && y < cy)), LENS.shine);
  c.fill(subtract(circle(cx, cy, r + rim / 2), circle(cx, cy, r - rim / 2)), LENS.rim);
  return c.rgba();
}

// File name stem, sizes, and how each size is drawn.
export const ICONS = [
  { name: 'marrowdex', sizes: [16, 32, 48, 64, 128, 256], draw: drawMarrowdex, grid: MARROWDEX_16 },
  { name: 'document', sizes: [16, 32, 48, 256], draw: drawDocument, grid: DOCUMENT_16 },
  { name: 'catalog', sizes: [16, 32, 48, 256], draw: drawCatalog, grid: CATALOG_16 },
];

// Every file this script writes, with its pixels: [{ file, size, pixels }].
export function render() {
  const out = [];
  for (const { name, sizes, draw, grid } of ICONS) {
    for (const size of sizes) {
      const pixels = size === grid.rows.length ? fromGrid(name, grid) : draw(size);
      out.push({ file: `${name}-${size}.png`, size, pixels });
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// PNG: 8-bit RGBA, not interlaced; one IDAT; each row filtered with whichever of the five
// filters leaves the smallest sum of bytes taken as signed values.

const SIGNATURE = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);

const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});

function crc32(bytes) {
  let c = 0xffffffff;
  for (const b of bytes) c = CRC_TABLE[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

function chunk(type, data) {
  const head = Buffer.alloc(8);
  head.writeUInt32BE(data.length, 0);
  head.write(type, 4, 'latin1');
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])), 0);
  return Buffer.concat([head, data, crc]);
}

function paeth(a, b, c) {
  const p = a + b - c;
  const pa = Math.abs(p - a);
  const pb = Math.abs(p - b);
  const pc = Math.abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The predictor of filter type t for byte i of a row, given the row above (prev) and the
// bytes of this row already reconstructed (cur); 4 bytes per pixel.
function predict(t, cur, prev, i) {
  const a = i >= 4 ? cur[i - 4] : 0;
  const b = prev ? prev[i] : 0;
  const c = i >= 4 && prev ? prev[i - 4] : 0;
  return t === 0 ? 0 : t === 1 ? a : t === 2 ? b : t === 3 ? (a + b) >> 1 : paeth(a, b, c);
}

export function encodePng(size, pixels) {
  const stride = size * 4;
  const raw = Buffer.alloc((stride + 1) * size);
  for (let y = 0; y < size; y++) {
    const row = pixels.subarray(y * stride, (y + 1) * stride);
    const prev = y > 0 ? pixels.subarray((y - 1) * stride, y * stride) : null;
    let best = null;
    let bestCost = Infinity;
    for (let t = 0; t < 5; t++) {
      const f = new Uint8Array(stride);
      let cost = 0;
      for (let i = 0; i < stride; i++) {
        f[i] = (row[i] - predict(t, row, prev, i)) & 0xff;
        cost += f[i] < 128 ? f[i] : 256 - f[i];
      }
      if (cost < bestCost) [best, bestCost] = [{ t, f }, cost];
    }
    raw[y * (stride + 1)] = best.t;
    raw.set(best.f, y * (stride + 1) + 1);
  }
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(size, 0);
  ihdr.writeUInt32BE(size, 4);
  ihdr.set([8, 6, 0, 0, 0], 8); // 8 bits, RGBA, deflate, adaptive filtering, no interlace
  return Buffer.concat([
    SIGNATURE,
    chunk('IHDR', ihdr),
    chunk('IDAT', deflateSync(raw, { level: 9 })),
    chunk('IEND', Buffer.alloc(0)),
  ]);
}

// Reads back what encodePng writes (and any other 8-bit RGBA, non-interlaced PNG whose
// extra chunks can be skipped): { width, height, pixels }.
export function decodePng(buf) {
  if (buf.length < 8 || !buf.subarray(0, 8).equals(SIGNATURE)) throw new Error('not a PNG file');
  let pos = 8;
  let header = null;
  const idat = [];
  for (;;) {
    if (pos + 12 > buf.length) throw new Error('file ends inside a chunk');
    const len = buf.readUInt32BE(pos);
    const type = buf.toString('latin1', pos + 4, pos + 8);
    const end = pos + 12 + len;
    if (end > buf.length) throw new Error(`${type} chunk runs past the end of the file`);
    if (crc32(buf.subarray(pos + 4, pos + 8 + len)) !== buf.readUInt32BE(pos + 8 + len)) {
      throw new Error(`${type} chunk has a bad CRC`);
    }
    const data = buf.subarray(pos + 8, pos + 8 + len);
    pos = end;
    if (type === 'IHDR') {
      header = { width: data.readUInt32BE(0), height: data.readUInt32BE(4), form: [...data.subarray(8, 13)] };
      if (header.form.join() !== '8,6,0,0,0') throw new Error(`not 8-bit non-interlaced RGBA (${header.form})`);
    } else if (type === 'IDAT') {
      idat.push(data);
    } else if (type === 'IEND') {
      break;
    }
  }
  if (!header || idat.length === 0) throw new Error('no IHDR or no IDAT chunk');
  const { width, height } = header;
  const stride = width * 4;
  const raw = inflateSync(Buffer.concat(idat));
  if (raw.length !== (stride + 1) * height) throw new Error(`image data is ${raw.length} bytes, want ${(stride + 1) * height}`);
  const pixels = new Uint8Array(stride * height);
  for (let y = 0; y < height; y++) {
    const t = raw[y * (stride + 1)];
    if (t > 4) throw new Error(`row ${y} has filter type ${t}`);
    const f = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const cur = pixels.subarray(y * stride, (y + 1) * stride);
    const prev = y > 0 ? pixels.subarray((y - 1) * stride, y * stride) : null;
    for (let i = 0; i < stride; i++) cur[i] = (f[i] + predict(t, cur, prev, i)) & 0xff;
  }
  return { width, height, pixels };
}

// ---------------------------------------------------------------------------------------------

function write(dir) {
  mkdirSync(dir, { recursive: true });
  const icons = render();
  for (const { file, size, pixels } of icons) writeFileSync(path.join(dir, file), encodePng(size, pixels));
  console.log(`wrote ${icons.length} icons to ${dir}`);
}

// The first difference between DIR and what we draw now, or null.
function compare(dir) {
  const icons = render();
  for (const { file, size, pixels } of icons) {
    let png;
    try {
      png = decodePng(readFileSync(path.join(dir, file)));
    } catch (err) {
      return err.code === 'ENOENT' ? `${file}: missing` : `${file}: ${err.message}`;
    }
    if (png.width !== size || png.height !== size) return `${file}: ${png.width}x${png.height}, want ${size}x${size}`;
    for (let i = 0; i < pixels.length; i++) {
      if (png.pixels[i] !== pixels[i]) {
        const p = i >> 2;
        return `${file}: pixel (${p % size}, ${Math.floor(p / size)}) differs from what this script draws`;
      }
    }
  }
  const known = new Set(icons.map((i) => i.file));
  const extra = readdirSync(dir).filter((f) => f.endsWith('.png') && !known.has(f)).sort();
  return extra.length ? `${extra[0]}: not one of the icons this script draws` : null;
}

// Run as a program, not imported. Node resolves symbolic links in import.meta.url but not
// in argv, so compare real paths: through a linked path the check must still run.
const self = fileURLToPath(import.meta.url);
let invoked = null;
try {
  invoked = realpathSync(process.argv[1] ?? '');
} catch {
  // not started from a file
}
if (invoked === realpathSync(self)) {
  const args = process.argv.slice(2);
  try {
    if (args[0] === '--check') {
      if (args.length !== 2) throw new Error('usage: draw-icons.mjs --check DIR');
      const dir = path.resolve(args[1]);
      const problem = compare(dir);
      if (problem) {
        console.error(`draw-icons: ${path.join(dir, problem)}`);
        process.exit(1);
      }
      console.log(`${dir}: every icon matches the drawing`);
    } else {
      if (args.length > 1 || args[0]?.startsWith('-')) throw new Error('usage: draw-icons.mjs [OUTPUT_DIR]');
      write(args[0] ? path.resolve(args[0]) : path.join(path.dirname(self), '..', 'resources', 'icons'));
    }
  } catch (err) {
    console.error(`draw-icons: ${err.message}`);
    process.exit(1);
  }
}
