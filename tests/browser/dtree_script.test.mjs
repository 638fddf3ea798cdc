// The tree menu script (resources/js) in a real headless Chromium, on pages opened from disk
// the way the index page is: page.html in a Home Directory beside a copy of js/.
//
//   node tests/browser/dtree_script.test.mjs

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { cpSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { launchChromium } from './chromium.mjs';
import { ICONS, PALETTE, SIZE } from '../../scripts/draw-tree-images.mjs';

const repo = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
let home;
let browser;
let context;

before(async () => {
  home = mkdtempSync(path.join(tmpdir(), 'marrowdex-dtree-'));
  cpSync(path.join(repo, 'resources', 'js'), path.join(home, 'js'), { recursive: true });
  ({ browser, context } = await launchChromium());
  context.setDefaultTimeout(10_000); // a missing element fails fast instead of after 30 s
});

after(async () => {
  await browser?.close();
  rmSync(home, { recursive: true, force: true });
});

// Writes a page laid out like the index page around the given add() calls and opens it.
// Returns the page and the list that collects its script errors.
async function open(name, obj, calls) {
  writeFileSync(path.join(home, name), `<!DOCTYPE html>
<html><head><meta charset="utf-8" />
<link rel="StyleSheet" href="js/dtree.css" type="text/css" />
<script type="text/javascript" src="js/dtree.js"></script>
</head><body>
<div class="dtree">
<p><a href="javascript: ${obj}.openAll();">Expand All</a> | <a href="javascript: ${obj}.closeAll();">Close All</a></p>
<script type="text/javascript">
<!--
${obj} = new dTree('${obj}');
${calls}
document.write(${obj});
 //-->
</script>
</div></body></html>`);
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  page.on('console', (m) => m.type() === 'error' && errors.push(m.text()));
  await page.goto(pathToFileURL(path.join(home, name)).href);
  return { page, errors };
}

// Each drawn row: its name, the name of the folder it sits in, and its images' file names. The
// rows are one flat list; a row's folder is the nearest row above it with one image less.
const rows = (page) => page.$$eval('.dTreeNode', (all) => {
  const lastAt = []; // the last row's name by number of images
  return all.map((row) => {
    const images = [...row.querySelectorAll('img')];
    const text = row.querySelector('a[id]').textContent;
    lastAt.length = images.length;
    lastAt[images.length] = text;
    return [text, images.length > 1 ? lastAt[images.length - 1] : null,
      images.map((img) => img.getAttribute('src').split('/').pop())];
  });
});

const row = (page, text) => page.locator('.dTreeNode').filter({ has: page.getByText(text, { exact: true }) });
const name = (page, text) => row(page, text).locator('a[id]');
const shown = async (page, ...names) => Promise.all(names.map((n) => name(page, n).isVisible()));
const toggle = (page, text) => row(page, text).locator('a:not([id]) img');

async function allImagesLoaded(page) {
  await page.waitForFunction(() => [...document.images].every((img) => img.complete));
  const widths = await page.$$eval('img', (all) => all.map((img) => `${img.getAttribute('src')}:${img.naturalWidth}`));
  assert.ok(widths.length > 0);
  assert.deepEqual(widths.filter((w) => w.endsWith(':0')), [], 'images that did not load');
}

test('default tree: nesting, order, odd input, opening, closing and selecting', async () => {
  const { page, errors } = await open('page.html', 'd', `
d.add(100,-1,'Marrowdex','/home/u/kb','','_blank','js/img/folder.gif');
d.add(7001,100,'Catalog A','/home/u/kb/Catalog A','say "hi"','_blank','js/img/folder.gif');
d.add(9,7001,'Second (replaced)','/old','','_blank');
d.add(42,7001,'Notes &amp; more.txt','/home/u/kb/Catalog A/Notes.txt','','_blank');
d.add(9,7001,'Second','/home/u/kb/Catalog A/Second.txt','','_blank');
d.add(55,5000,'Early child');
d.add(5000,100,'目录 &lt;B&gt;','','','','','',true);
d.add(66,12345,'Orphan');
d.add(77,78,'Cycle a');
d.add(78,77,'Cycle b');
d.add(3000000000,100,'Last folder','/home/u/kb/Last');
d.add(31,3000000000,'Deep','/home/u/kb/Last/Deep.txt');`);

  // Closed folders' contents are drawn on first opening.
  assert.deepEqual(await rows(page), [
    ['Marrowdex', null, ['folder.gif']],
    ['Catalog A', 'Marrowdex', ['plus.gif', 'folder.gif']],
    ['目录 <B>', 'Marrowdex', ['minus.gif', 'folder-open.gif']],
    ['Early child', '目录 <B>', ['line.gif', 'join-end.gif', 'page.gif']],
    ['Last folder', 'Marrowdex', ['plus-end.gif', 'folder.gif']],
  ]);
  const catalog = await name(page, 'Catalog A').evaluate((a) => [a.getAttribute('href'), a.target, a.title]);
  assert.deepEqual(catalog, ['/home/u/kb/Catalog A', '_blank', 'say "hi"']);
  assert.equal(await name(page, '目录 <B>').getAttribute('href'), null);
  // The script's default icons are exactly the generated files.
  const icons = await page.evaluate(() => d.icon);
  assert.deepEqual(icons, Object.fromEntries(Object.entries(ICONS).map(([k, v]) => [k, `js/img/${v.file}`])));

  assert.deepEqual(await shown(page, 'Catalog A', 'Notes & more.txt', 'Early child', 'Deep'), [true, false, true, false]);
  await toggle(page, 'Catalog A').click();
  assert.deepEqual(await shown(page, 'Notes & more.txt', 'Second'), [true, true]);
  assert.match(await toggle(page, 'Catalog A').getAttribute('src'), /\/minus\.gif$/);
  await toggle(page, 'Catalog A').click();
  assert.deepEqual(await shown(page, 'Notes & more.txt'), [false]);

  await page.evaluate(() => d.openAll());
  assert.deepEqual(await rows(page), [
    ['Marrowdex', null, ['folder.gif']],
    ['Catalog A', 'Marrowdex', ['minus.gif', 'folder.gif']],
    ['Notes & more.txt', 'Catalog A', ['line.gif', 'join.gif', 'page.gif']],
    ['Second', 'Catalog A', ['line.gif', 'join-end.gif', 'page.gif']],
    ['目录 <B>', 'Marrowdex', ['minus.gif', 'folder-open.gif']],
    ['Early child', '目录 <B>', ['line.gif', 'join-end.gif', 'page.gif']],
    ['Last folder', 'Marrowdex', ['minus-end.gif', 'folder-open.gif']],
    ['Deep', 'Last folder', ['empty.gif', 'join-end.gif', 'page.gif']],
  ]);
  assert.deepEqual(await shown(page, 'Notes & more.txt', 'Early child', 'Deep'), [true, true, true]);
  await page.evaluate(() => d.closeAll());
  assert.deepEqual(await shown(page, 'Catalog A', 'Notes & more.txt', 'Early child', 'Deep'), [true, false, false, false]);
  const icon = row(page, '目录 <B>').locator('img').last();
  assert.match(await icon.getAttribute('src'), /\/folder\.gif$/, 'closed default folder icon');

  await page.evaluate(() => d.openTo(42, true));
  assert.deepEqual(await shown(page, 'Notes & more.txt', 'Early child'), [true, false]);
  assert.deepEqual(await page.$$eval('.nodeSel', (a) => a.map((e) => e.textContent)), ['Notes & more.txt']);
  await page.evaluate(() => d.openTo(55));
  await name(page, 'Early child').click();
  assert.deepEqual(await page.$$eval('.nodeSel', (a) => a.map((e) => e.textContent)), ['Early child']);

  await allImagesLoaded(page);
  assert.deepEqual(errors, []);
});

test('no lines, folders that toggle by name, one open folder per level', async () => {
  const { page, errors } = await open('plain.html', 'tree', `
tree.config.useLines = false;
tree.config.folderLinks = false;
tree.config.closeSameLevel = true;
tree.config.useStatusText = true;
tree.add(1,-1,'Base','/b');
tree.add(2,1,'Folder one','/b/one');
tree.add(3,2,'Alpha','/b/one/alpha.txt');
tree.add(4,1,'Folder two','/b/two');
tree.add(5,4,'Beta','/b/two/beta.txt');
tree.openAll();`);

  // openAll before drawing opens both folders, closeSameLevel notwithstanding.
  assert.deepEqual(await rows(page), [
    ['Base', null, ['root.gif']],
    ['Folder one', 'Base', ['minus-bare.gif', 'folder-open.gif']],
    ['Alpha', 'Folder one', ['empty.gif', 'empty.gif', 'page.gif']],
    ['Folder two', 'Base', ['minus-bare.gif', 'folder-open.gif']],
    ['Beta', 'Folder two', ['empty.gif', 'empty.gif', 'page.gif']],
  ]);
  assert.equal(await name(page, 'Folder one').getAttribute('href'), '#');
  assert.equal(await name(page, 'Alpha').getAttribute('href'), '/b/one/alpha.txt');

  await name(page, 'Folder two').click();
  assert.deepEqual(await shown(page, 'Alpha', 'Beta'), [true, false]);
  await name(page, 'Folder two').click();
  assert.deepEqual(await shown(page, 'Alpha', 'Beta'), [false, true]);
  assert.match(await toggle(page, 'Folder one').getAttribute('src'), /plus-bare\.gif$/);
  await page.evaluate(() => tree.openTo(3));
  assert.deepEqual(await shown(page, 'Alpha', 'Beta'), [true, false]);

  await name(page, 'Alpha').hover();
  assert.equal(await page.evaluate(() => window.status), 'Alpha');
  await allImagesLoaded(page);
  assert.deepEqual(errors, []);
});

test('every icon decodes to exactly the pixels it was drawn from', async () => {
  const page = await context.newPage();
  const files = Object.values(ICONS).map(({ file }) =>
    `data:image/gif;base64,${readFileSync(path.join(home, 'js', 'img', file)).toString('base64')}`);
  const decoded = await page.evaluate(async (urls) => Promise.all(urls.map(async (url) => {
    const img = new Image();
    img.src = url;
    await img.decode();
    const canvas = Object.assign(document.createElement('canvas'), { width: img.width, height: img.height });
    const g = canvas.getContext('2d');
    g.drawImage(img, 0, 0);
    return [img.width, img.height, [...g.getImageData(0, 0, img.width, img.height).data]];
  })), files);
  Object.entries(ICONS).forEach(([key, { rows: grid }], n) => {
    const [w, h, rgba] = decoded[n];
    assert.deepEqual([w, h], [SIZE, SIZE], key);
    const want = grid.join('').split('').flatMap((ch) => (PALETTE[ch] ? [...PALETTE[ch], 255] : [0, 0, 0, 0]));
    const got = rgba.map((v, i) => (rgba[i - (i % 4) + 3] === 0 ? 0 : v)); // colour of transparent pixels is moot
    assert.deepEqual(got, want, `${key} pixels`);
  });
});
