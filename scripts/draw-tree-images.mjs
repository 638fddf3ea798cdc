#!/usr/bin/env node
// Draws the tree menu's icons from the pixel grids below and writes them as GIF89a files.
//
//   node scripts/draw-tree-images.mjs [OUTPUT_DIR]      (default: resources/js/img of this repo)
//
// Plain Node 18+, no packages. The output is a pure function of this file, so a second run
// writes byte-identical files; the test suite regenerates into a temp dir and compares.

import { mkdirSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const SIZE = 18;

// One palette for all icons; '.' is the transparent background. Each GIF carries only the
// colours it uses, in this order, so the files stay small and stable.
export const PALETTE = {
  '.': null,
  l: [0x8c, 0x96, 0xa3], // connector lines
  x: [0x7d, 0x88, 0x96], // +/- box border
  W: [0xff, 0xff, 0xff], // +/- box and page fill
  s: [0x2f, 0x3b, 0x4a], // + and - signs
  k: [0x9c, 0x74, 0x14], // folder outline
  Y: [0xff, 0xe4, 0x8a], // folder highlight
  y: [0xf5, 0xc5, 0x42], // folder body
  o: [0xe0, 0xa8, 0x2e], // folder shade
  m: [0x6b, 0x7a, 0x8f], // page outline
  t: [0x9f, 0xb3, 0xcc], // page text lines
  h: [0x7b, 0x4a, 0x1f], // bookcase wood
  B: [0xf1, 0xe3, 0xc8], // bookcase back
  r: [0xc0, 0x39, 0x2b], // books
  b: [0x2e, 0x6f, 0xb7],
  g: [0x3c, 0x9a, 0x50],
  v: [0x8e, 0x44, 0xad],
  u: [0xe6, 0xa2, 0x3c],
};

const FOLDER = [
  '..................',
  '..................',
  '..................',
  '.kkkkkk...........',
  '.kYYYYYk..........',
  '.kYYYYYYkkkkkkkkk.',
  '.kYYYYYYYYYYYYYYk.',
  '.kyyyyyyyyyyyyyyk.',
  '.kyyyyyyyyyyyyyyk.',
  '.kyyyyyyyyyyyyyyk.',
  '.kyyyyyyyyyyyyyyk.',
  '.kyyyyyyyyyyyyyyk.',
  '.kyyyyyyyyyyyyyyk.',
  '.kooooooooooooook.',
  '.kkkkkkkkkkkkkkkk.',
  '..................',
  '..................',
  '..................',
];

// The back panel stays upright, the front flap leans open towards the bottom left.
const FOLDER_OPEN = [
  '..................',
  '..................',
  '..................',
  '.kkkkkk...........',
  '.kYYYYYk..........',
  '.kyyyyyykkkkkkk...',
  '.kyyyyyyyyyyyyk...',
  '.kyyykkkkkkkkkkkk.',
  '.kyykYYYYYYYYYYYk.',
  '.kyykYYYYYYYYYYYk.',
  '.kykYYYYYYYYYYYk..',
  '.kykYYYYYYYYYYYk..',
  '.kkYYYYYYYYYYYk...',
  '.kkoooooooooook...',
  '.kkkkkkkkkkkkkk...',
  '..................',
  '..................',
  '..................',
];

const PAGE = [
  '..................',
  '...mmmmmmmmm......',
  '...mWWWWWWWmm.....',
  '...mWWWWWWWmWm....',
  '...mWWWWWWWmmmm...',
  '...mWWWWWWWWWWm...',
  '...mWttttttttWm...',
  '...mWWWWWWWWWWm...',
  '...mWttttttttWm...',
  '...mWWWWWWWWWWm...',
  '...mWttttttttWm...',
  '...mWWWWWWWWWWm...',
  '...mWtttttWWWWm...',
  '...mWWWWWWWWWWm...',
  '...mWWWWWWWWWWm...',
  '...mmmmmmmmmmmm...',
  '..................',
  '..................',
];

// A small bookcase: two shelves of books on little feet.
const ROOT = [
  '..................',
  '.hhhhhhhhhhhhhhhh.',
  '.hBBBBBBBBBBBBBBh.',
  '.hBrrBBBggBBBBBBh.',
  '.hBrrbbBggvvBuuBh.',
  '.hBrrbbBggvvBuuBh.',
  '.hBrrbbBggvvBuuBh.',
  '.hBrrbbBggvvBuuBh.',
  '.hhhhhhhhhhhhhhhh.',
  '.hBBBBBBBBBBBBBBh.',
  '.hBggBBBrrBBBBBBh.',
  '.hBggbbBrruuBvvBh.',
  '.hBggbbBrruuBvvBh.',
  '.hBggbbBrruuBvvBh.',
  '.hBggbbBrruuBvvBh.',
  '.hhhhhhhhhhhhhhhh.',
  '.hh............hh.',
  '..................',
];

// Connectors are composed rather than typed out, so that every one of them meets its
// neighbours exactly: the line runs through column 8 and row 8, dotted on even pixels. The
// height is even, so the dots keep their rhythm from one row of the tree to the next.
const MID = 8;
const BOX_LO = 4;
const BOX_HI = 12;

function blank() {
  return Array.from({ length: SIZE }, () => Array(SIZE).fill('.'));
}

function dots(grid, fromRow, toRow, fromCol, toCol) {
  for (let r = fromRow; r <= toRow; r++) {
    for (let c = fromCol; c <= toCol; c++) {
      if ((r + c) % 2 === 0) grid[r][c] = 'l';
    }
  }
}

function connector({ up = false, down = false, right = false, box = null }) {
  const g = blank();
  // A box covers the middle; the lines stop at its border.
  const stopHi = box ? BOX_LO - 1 : MID;
  const startLo = box ? BOX_HI + 1 : MID;
  if (up) dots(g, 0, stopHi, MID, MID);
  if (down) dots(g, startLo, SIZE - 1, MID, MID);
  if (right) dots(g, MID, MID, startLo, SIZE - 1);
  if (box) {
    for (let r = BOX_LO; r <= BOX_HI; r++) {
      for (let c = BOX_LO; c <= BOX_HI; c++) {
        const edge = r === BOX_LO || r === BOX_HI || c === BOX_LO || c === BOX_HI;
        const corner = (r === BOX_LO || r === BOX_HI) && (c === BOX_LO || c === BOX_HI);
        g[r][c] = corner ? '.' : edge ? 'x' : 'W';
      }
    }
    for (let i = MID - 2; i <= MID + 2; i++) {
      g[MID][i] = 's';
      if (box === 'plus') g[i][MID] = 's';
    }
  }
  return g.map((row) => row.join(''));
}

// File name and pixels of every icon, keyed like the script's icon set.
export const ICONS = {
  root: { file: 'root.gif', rows: ROOT },
  folder: { file: 'folder.gif', rows: FOLDER },
  folderOpen: { file: 'folder-open.gif', rows: FOLDER_OPEN },
  node: { file: 'page.gif', rows: PAGE },
  empty: { file: 'empty.gif', rows: connector({}) },
  line: { file: 'line.gif', rows: connector({ up: true, down: true }) },
  join: { file: 'join.gif', rows: connector({ up: true, down: true, right: true }) },
  joinBottom: { file: 'join-end.gif', rows: connector({ up: true, right: true }) },
  plus: { file: 'plus.gif', rows: connector({ up: true, down: true, right: true, box: 'plus' }) },
  plusBottom: { file: 'plus-end.gif', rows: connector({ up: true, right: true, box: 'plus' }) },
  minus: { file: 'minus.gif', rows: connector({ up: true, down: true, right: true, box: 'minus' }) },
  minusBottom: { file: 'minus-end.gif', rows: connector({ up: true, right: true, box: 'minus' }) },
  nlPlus: { file: 'plus-bare.gif', rows: connector({ box: 'plus' }) },
  nlMinus: { file: 'minus-bare.gif', rows: connector({ box: 'minus' }) },
};

// Variable-width LZW as GIF wants it: codes packed least significant bit first, the code
// width growing as the table fills, a clear code when it reaches 4096 entries.
function lzw(pixels, minCodeSize) {
  const clear = 1 << minCodeSize;
  const end = clear + 1;
  const bytes = [];
  let acc = 0;
  let accBits = 0;
  let width = minCodeSize + 1;
  let next = end + 1;
  let table = new Map();

  const emit = (code) => {
    acc |= code << accBits;
    accBits += width;
    while (accBits >= 8) {
      bytes.push(acc & 0xff);
      acc >>>= 8;
      accBits -= 8;
    }
  };

  emit(clear);
  let prefix = pixels[0];
  for (let i = 1; i < pixels.length; i++) {
    const k = pixels[i];
    const key = prefix * 256 + k;
    const known = table.get(key);
    if (known !== undefined) {
      prefix = known;
      continue;
    }
    emit(prefix);
    if (next === 4096) {
      emit(clear);
      table = new Map();
      width = minCodeSize + 1;
      next = end + 1;
    } else {
      // The decoder adds each entry one code later than we do, so the width grows when the
      // entry about to be added no longer fits, not when the last one filled the range.
      if (next >= 1 << width) width++;
      table.set(key, next++);
    }
    prefix = k;
  }
  emit(prefix);
  emit(end);
  if (accBits > 0) bytes.push(acc & 0xff);
  return bytes;
}

function check(name, rows) {
  if (rows.length !== SIZE) throw new Error(`${name}: ${rows.length} rows, want ${SIZE}`);
  rows.forEach((row, i) => {
    if (row.length !== SIZE) throw new Error(`${name}: row ${i} is ${row.length} wide, want ${SIZE}`);
    for (const ch of row) {
      if (!(ch in PALETTE)) throw new Error(`${name}: row ${i} uses '${ch}', which has no colour`);
    }
  });
}

export function encodeGif(name, rows) {
  check(name, rows);
  const used = new Set(rows.join(''));
  used.add('.');
  const colours = Object.keys(PALETTE).filter((ch) => used.has(ch)); // '.' first: index 0
  let depth = 1; // table holds 2^depth entries
  while (1 << depth < colours.length) depth++;
  const index = new Map(colours.map((ch, i) => [ch, i]));
  const pixels = [];
  for (const row of rows) for (const ch of row) pixels.push(index.get(ch));

  const out = [];
  const u16 = (v) => out.push(v & 0xff, v >> 8);
  out.push(...Buffer.from('GIF89a', 'ascii'));
  u16(SIZE);
  u16(SIZE);
  out.push(0x80 | 0x70 | (depth - 1), 0, 0); // global table, 8-bit colour resolution
  for (let i = 0; i < 1 << depth; i++) {
    // The transparent slot and any padding are written as white, so the file does not
    // depend on anything but the grid.
    const rgb = PALETTE[colours[i]] ?? [0xff, 0xff, 0xff];
    out.push(...rgb);
  }
  out.push(0x21, 0xf9, 0x04, 0x01, 0, 0, 0, 0); // graphic control: index 0 is transparent
  out.push(0x2c);
  u16(0);
  u16(0);
  u16(SIZE);
  u16(SIZE);
  out.push(0);
  const minCodeSize = Math.max(2, depth);
  out.push(minCodeSize);
  const data = lzw(pixels, minCodeSize);
  for (let i = 0; i < data.length; i += 255) {
    const block = data.slice(i, i + 255);
    out.push(block.length, ...block);
  }
  out.push(0, 0x3b);
  return Buffer.from(out);
}

export function writeAll(dir) {
  mkdirSync(dir, { recursive: true });
  for (const [name, { file, rows }] of Object.entries(ICONS)) {
    writeFileSync(path.join(dir, file), encodeGif(name, rows));
  }
}

const self = fileURLToPath(import.meta.url);
if (process.argv[1] && path.resolve(process.argv[1]) === self) {
  const dir = process.argv[2]
    ? path.resolve(process.argv[2])
    : path.join(path.dirname(self), '..', 'resources', 'js', 'img');
  try {
    writeAll(dir);
    console.log(`wrote ${Object.keys(ICONS).length} icons to ${dir}`);
  } catch (err) {
    console.error(`draw-tree-images: ${err.message}`);
    process.exit(1);
  }
}
