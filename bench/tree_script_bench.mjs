// The index page's tree script in headless Chromium on large pages written by marrowdex-index,
// side by side with a plain nested <ul> of the same entries measured in the same run.
//
//   node bench/tree_script_bench.mjs --index-tool PATH --initdb PATH [--work-dir DIR]
//        [--js DIR] [--sizes 10000,100000,1000000] [--repeats N] [--plain-repeats N]
//        [--folder-children N] [--timeout SECONDS] [--keep]
//
// The pages (about 300 MB at a million entries, with the plain list) go into a temporary folder
// that is removed at the end, also on Ctrl+C; with --keep they stay, and the run says where.
//
// Prints figures only; nothing passes or fails. See bench/README.md.

import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { launchChromium, rendererMemory } from '../tests/browser/chromium.mjs';
import { folderSql, pageEntries, wideSql, writeIndexPage } from '../tests/browser/sample_pages.mjs';

const repo = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');

function option(name, fallback) {
  const eq = process.argv.find((a) => a.startsWith(`--${name}=`));
  if (eq) return eq.slice(name.length + 3);
  const at = process.argv.indexOf(`--${name}`);
  if (at >= 0 && at + 1 < process.argv.length) return process.argv[at + 1];
  if (fallback === undefined) throw new Error(`missing --${name}`);
  return fallback;
}

const indexTool = path.resolve(option('index-tool'));
const initdb = path.resolve(option('initdb'));
const keep = process.argv.includes('--keep');
const given = option('work-dir', '');
const work = given ? path.resolve(given) : fs.mkdtempSync(path.join(os.tmpdir(), 'marrowdex-tree-bench-'));
if (!given && !keep) {
  process.on('exit', () => fs.rmSync(work, { recursive: true, force: true }));
  process.on('SIGINT', () => process.exit(130));
}
const scriptFolder = path.resolve(option('js', path.join(repo, 'resources', 'js')));
const sizes = option('sizes', '10000,100000,1000000').split(',').map(Number);
const repeatsOption = option('repeats', '');
const plainRepeatsOption = option('plain-repeats', '');
const folderChildren = Number(option('folder-children', '100000'));
const timeout = Number(option('timeout', '600')) * 1000;

// Rounds per figure: fewer for the sizes that take minutes.
const repeats = (n) => Number(repeatsOption || (n >= 1_000_000 ? 3 : n >= 100_000 ? 3 : 5));
const plainRepeats = (n) => Number(plainRepeatsOption || (n >= 1_000_000 ? 1 : repeats(n)));

// ---- Pages ----------------------------------------------------------------------------------

// The page's own cost: a tree script that only counts its add() calls, so that what remains of
// a load is reading and running the page's script.
const FLOOR_SCRIPT = `function dTree() { this.n = 0; }
dTree.prototype.add = function () { this.n++; };
dTree.prototype.toString = function () { return '<div class="clip">' + this.n + '</div>'; };
`;

function writeFloorPage(page) {
  const home = path.join(path.dirname(page), 'floor');
  fs.mkdirSync(path.join(home, 'js'), { recursive: true });
  fs.writeFileSync(path.join(home, 'js', 'dtree.js'), FLOOR_SCRIPT);
  fs.copyFileSync(page, path.join(home, path.basename(page)));
  return path.join(home, path.basename(page));
}

function writePage(name, sql) {
  return writeIndexPage({ indexTool, initdb, scriptFolder, home: path.join(work, name), sql });
}

// The same entries as nested lists of plain links, read back from the page's add() lines.
function writePlainList(page) {
  const kids = new Map();
  for (const [id, pid, name, url] of pageEntries(page)) {
    if (!kids.has(pid)) kids.set(pid, []);
    kids.get(pid).push([id, name, url]);
  }
  const out = ['<!DOCTYPE html>\n<html><head><meta charset="utf-8" /><title>plain list</title></head><body>\n'];
  // Depth-first with an explicit stack: an item's list follows its link.
  const stack = [[kids.get('-1') || [], 0]];
  out.push('<ul>');
  while (stack.length) {
    const top = stack[stack.length - 1];
    if (top[1] === top[0].length) {
      stack.pop();
      out.push(stack.length ? '</ul></li>\n' : '</ul>\n');
      continue;
    }
    const [id, name, url] = top[0][top[1]++];
    out.push(`<li><a href="${url.replace(/"/g, '&quot;')}" target="_blank">${name}</a>`);
    if (kids.has(id)) {
      out.push('<ul>');
      stack.push([kids.get(id), 0]);
    } else {
      out.push('</li>\n');
    }
  }
  out.push('</body></html>\n');
  const plain = path.join(path.dirname(page), 'plain.html');
  fs.writeFileSync(plain, out.join(''));
  return plain;
}

// ---- Measuring ------------------------------------------------------------------------------

// Resolves at the start of the frame after the next one: everything changed before has been
// styled, laid out and painted.
const FRAME = `new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)))`;

// Runs `action` in the page and returns the seconds until its frame is done.
async function timed(tab, action) {
  return tab.evaluate(`(async () => { const t0 = performance.now(); ${action}; await ${FRAME};
    return (performance.now() - t0) / 1000; })()`);
}

async function openPage(context, page) {
  // The start page's tab, so that one renderer holds the page.
  const tab = context.pages()[0] ?? (await context.newPage());
  tab.setDefaultTimeout(timeout);
  const errors = [];
  tab.on('pageerror', (e) => errors.push(e.message));
  await tab.goto(pathToFileURL(page).href, { waitUntil: 'load', timeout });
  const loaded = await tab.evaluate(`(async () => { await ${FRAME}; return performance.now() / 1000; })()`);
  return { tab, loaded, errors };
}

// The largest gap between two frames while the view jumps through the whole tree, a screenful
// at a time in big strides and then in small steps, as a dragged scroll bar and a wheel would.
async function scrollFrames(tab) {
  return tab.evaluate(`(async () => {
    const frame = () => new Promise((r) => requestAnimationFrame(r));
    const end = document.documentElement.scrollHeight - innerHeight;
    const at = [];
    for (let k = 0; k <= 120; k++) at.push(Math.round(end * k / 120));
    for (let k = 1; k <= 60; k++) at.push(Math.round(end / 2) + k * 53);
    for (let k = 1; k <= 60; k++) at.push(Math.round(end / 2) - k * 160);
    let worst = 0;
    let last = await frame();
    for (const y of at) {
      scrollTo(0, y);
      const now = await frame();
      worst = Math.max(worst, now - last);
      last = now;
    }
    return { worst: worst / 1000, height: document.documentElement.scrollHeight };
  })()`);
}

// Each keystroke of typing the query, then Escape: seconds until its frame is done.
async function searchKeystrokes(tab, query) {
  return tab.evaluate(`(async (query) => {
    const field = document.querySelector('.dtree input');
    if (!field) return null;
    const times = [];
    for (let n = 1; n <= query.length; n++) {
      const t0 = performance.now();
      field.value = query.slice(0, n);
      field.dispatchEvent(new Event('input', { bubbles: true }));
      await ${FRAME};
      times.push((performance.now() - t0) / 1000);
    }
    const shown = document.querySelector('.dtree .clip').scrollHeight;
    const t0 = performance.now();
    field.dispatchEvent(new KeyboardEvent('keydown', { key: 'Escape', bubbles: true }));
    await ${FRAME};
    times.push((performance.now() - t0) / 1000);
    return { times, shown };
  })(${JSON.stringify(query)})`);
}

const median = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return s.length ? (s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2) : NaN;
};
const best = (xs) => (xs.length ? Math.min(...xs) : NaN);

// A fresh browser per round, so that no round inherits another's memory or caches.
async function withBrowser(fn) {
  const { browser, context, profile } = await launchChromium();
  try {
    return await fn(context, profile);
  } finally {
    await browser.close();
  }
}

// Guards a step that may take longer than the bound (the old script's expand all at 1M).
async function bounded(promise) {
  let timer;
  const limit = new Promise((_, fail) => { timer = setTimeout(() => fail(new Error('over the time bound')), timeout); });
  try {
    return await Promise.race([promise, limit]);
  } finally {
    clearTimeout(timer);
  }
}

async function treeRound(page, size) {
  return withBrowser(async (context, profile) => {
    const r = {};
    const { tab, loaded, errors } = await openPage(context, page);
    r.load = loaded;
    r.loadMemory = rendererMemory(profile);
    try {
      r.expand = await bounded(timed(tab, 'd.openAll()'));
      r.openMemory = rendererMemory(profile);
      const s = await bounded(scrollFrames(tab));
      r.scroll = s.worst;
      r.height = s.height;
      r.close = await bounded(timed(tab, 'd.closeAll()'));
      await tab.evaluate('scrollTo(0, 0)');
      const search = await bounded(searchKeystrokes(tab, 'report-2019'));
      if (search) {
        r.keystroke = Math.max(...search.times);
        r.keystrokeMedian = median(search.times);
      }
      r.peak = rendererMemory(profile).peak;
    } catch (e) {
      r.failed = `${e.message} (${size} entries)`;
    }
    if (errors.length) r.failed = `script errors: ${errors.join('; ')}`;
    return r;
  });
}

// A load alone: the plain list, or the page with the counting script.
async function plainRound(page) {
  return withBrowser(async (context, profile) => {
    const { loaded } = await openPage(context, page);
    return { load: loaded, memory: rendererMemory(profile) };
  });
}

async function folderRound(page) {
  return withBrowser(async (context) => {
    const { tab } = await openPage(context, page);
    const open = await timed(tab, `document.querySelector('.dTreeNode a:not([id])').click()`);
    const close = await timed(tab, `document.querySelector('.dTreeNode a:not([id])').click()`);
    return { open, close };
  });
}

// ---- Report ---------------------------------------------------------------------------------

const s = (v) => (Number.isFinite(v) ? v.toFixed(v < 10 ? 3 : 1) : '-');
const mb = (v) => (Number.isFinite(v) ? `${Math.round(v / 1e6)}` : '-');
const pair = (xs, f = s) => `${f(best(xs))} (${f(median(xs))})`;
const pick = (rounds, key) => rounds.map((r) => r[key]).filter((v) => v !== undefined);

function report(size, tree, plain, floor) {
  const load = pick(tree, 'load');
  const plainLoad = pick(plain, 'load');
  const expand = pick(tree, 'expand');
  const lines = [
    `${size} entries, ${tree.length} rounds (plain list ${plain.length}); best (median)`,
    `  page load, collapsed        ${pair(load)} s   memory ${pair(tree.map((r) => r.loadMemory.rss), mb)} MB, ` +
      `peak ${pair(tree.map((r) => r.loadMemory.peak), mb)} MB`,
    `  expand all                  ${pair(expand)} s   memory ${pair(pick(tree, 'openMemory').map((m) => m.rss), mb)} MB`,
    `  close all                   ${pair(pick(tree, 'close'))} s`,
    `  scrolling, longest frame    ${pair(pick(tree, 'scroll'))} s`,
    `  search keystroke, slowest   ${pair(pick(tree, 'keystroke'))} s  (median keystroke ${s(median(pick(tree, 'keystrokeMedian')))} s)`,
    `  renderer peak memory        ${pair(pick(tree, 'peak'), mb)} MB`,
    `  plain <ul> load             ${pair(plainLoad)} s   memory ${pair(plain.map((r) => r.memory.rss), mb)} MB`,
    `  page with a counting script ${pair(pick(floor, 'load'))} s   memory ${pair(floor.map((r) => r.memory.rss), mb)} MB, ` +
      `peak ${pair(floor.map((r) => r.memory.peak), mb)} MB`,
    `  ratios (medians): collapsed load / plain load ${s(median(load) / median(plainLoad))}, ` +
      `expand all / plain load ${s(median(expand) / median(plainLoad))}, ` +
      `collapsed load / counting script ${s(median(load) / median(pick(floor, 'load')))}`,
  ];
  for (const r of tree) if (r.failed) lines.push(`  round failed: ${r.failed}`);
  return lines.join('\n');
}

fs.mkdirSync(work, { recursive: true });
console.log(`script folder: ${scriptFolder}`);
const table = [];
for (const size of sizes) {
  const page = writePage(`wide-${size}`, (home) => wideSql(size, home));
  const plain = writePlainList(page);
  const floor = writeFloorPage(page);
  console.log(`${size} entries: page ${(fs.statSync(page).size / 1e6).toFixed(1)} MB, plain list ${(fs.statSync(plain).size / 1e6).toFixed(1)} MB`);
  const tree = [];
  const plainRounds = [];
  const floorRounds = [];
  // Interleaved, so that a busy spell of the machine falls on all of them.
  for (let k = 0; k < Math.max(repeats(size), plainRepeats(size)); k++) {
    if (k < repeats(size)) {
      tree.push(await treeRound(page, size));
      floorRounds.push(await plainRound(floor));
    }
    if (k < plainRepeats(size)) plainRounds.push(await plainRound(plain));
  }
  const text = report(size, tree, plainRounds, floorRounds);
  console.log(text);
  table.push({ size, tree, plain: plainRounds, floor: floorRounds });
  if (keep) console.log(`  kept ${page} and ${plain}`);
  else fs.rmSync(path.dirname(page), { recursive: true, force: true });
}

if (folderChildren > 0) {
  const page = writePage(`folder-${folderChildren}`, (home) => folderSql(folderChildren, home));
  const rounds = [];
  for (let k = 0; k < repeats(folderChildren); k++) rounds.push(await folderRound(page));
  console.log(`one folder of ${folderChildren} documents, ${rounds.length} rounds; best (median)`);
  console.log(`  open it                     ${pair(pick(rounds, 'open'))} s`);
  console.log(`  close it                    ${pair(pick(rounds, 'close'))} s`);
  if (keep) console.log(`  kept ${page}`);
  else fs.rmSync(path.dirname(page), { recursive: true, force: true });
}

// The summary, medians.
console.log('\nentries | collapsed load s | expand all s | close all s | renderer memory collapsed / open / peak MB | ' +
  'plain <ul> load s, MB | counting script load s | expand all / plain load');
for (const { size, tree, plain, floor } of table) {
  const med = (key) => median(pick(tree, key));
  console.log(`${size} | ${s(med('load'))} | ${s(med('expand'))} | ${s(med('close'))} | ` +
    `${mb(median(tree.map((r) => r.loadMemory.rss)))} / ${mb(median(pick(tree, 'openMemory').map((m) => m.rss)))} / ${mb(med('peak'))} | ` +
    `${s(median(pick(plain, 'load')))}, ${mb(median(plain.map((r) => r.memory.rss)))} | ${s(median(pick(floor, 'load')))} | ` +
    `${s(med('expand') / median(pick(plain, 'load')))}`);
}
