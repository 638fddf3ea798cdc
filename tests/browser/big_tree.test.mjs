// A large index page in headless Chromium: 10k entries written by the real marrowdex-index, and
// a catalog of 3000 documents. Only the rows in view are drawn, so the checks walk the tree as a
// reader does: scrolling, clicking, typing, tabbing.
//
//   node big_tree.test.mjs --index-tool PATH --initdb PATH --js DIR

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { launchChromium } from './chromium.mjs';
import { folderSql, pageEntries, wideSql, writeIndexPage } from './sample_pages.mjs';

function option(name) {
  const at = process.argv.indexOf(name);
  if (at < 0 || at + 1 >= process.argv.length) {
    throw new Error(`missing ${name}; usage: node big_tree.test.mjs --index-tool PATH --initdb PATH --js DIR`);
  }
  return path.resolve(process.argv[at + 1]);
}

const tools = { indexTool: option('--index-tool'), initdb: option('--initdb'), scriptFolder: option('--js') };
const SIZE = 10_000;
const INBOX = 3000;

let work;
let browser;
let context;
let widePage;
let folderPage;

before(async () => {
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'marrowdex-big-tree-'));
  widePage = writeIndexPage({ ...tools, home: path.join(work, 'wide'), sql: (home) => wideSql(SIZE, home) });
  folderPage = writeIndexPage({ ...tools, home: path.join(work, 'inbox'), sql: (home) => folderSql(INBOX, home) });
  ({ browser, context } = await launchChromium());
  context.setDefaultTimeout(10_000);
});

after(async () => {
  await browser?.close();
  fs.rmSync(work, { recursive: true, force: true });
});

// The tree as the page's add() lines give it: entries in drawing order when everything is open
// (depth first, children in the order added), with each entry's index in the add() calls, which
// the drawn link ids carry.
function treeOf(page) {
  const entries = pageEntries(page).map(([id, pid, name, url], index) => ({ id, pid, name, url, index }));
  const kids = new Map();
  for (const e of entries) {
    if (!kids.has(e.pid)) kids.set(e.pid, []);
    kids.get(e.pid).push(e);
  }
  const order = [];
  const stack = [...(kids.get('-1') || [])].reverse();
  while (stack.length) {
    const e = stack.pop();
    order.push(e);
    stack.push(...[...(kids.get(e.id) || [])].reverse());
  }
  const byIndex = new Map(entries.map((e) => [e.index, e]));
  return { entries, kids, order, byIndex };
}

async function open(page) {
  const tab = await context.newPage();
  await tab.setViewportSize({ width: 1000, height: 900 });
  const errors = [];
  tab.on('pageerror', (e) => errors.push(e.message));
  tab.on('console', (m) => m.type() === 'error' && errors.push(m.text()));
  await tab.goto(pathToFileURL(page).href);
  return { tab, errors };
}

// Entry indexes of the rows on the page, in order, with where each row is on the screen.
const drawn = (tab) => tab.$$eval('.dTreeNode', (rows) => rows.map((row) => {
  const r = row.getBoundingClientRect();
  return { index: Number(row.querySelector('a[id]').id.replace(/^d-s/, '')), top: r.top, bottom: r.bottom };
}));

// Scrolls from the top of the tree to its end `step` pixels at a time and returns the entries of the
// rows seen in the window, in order, each once. Fails when the rows in view are not one run of
// the expected order or leave a gap on the screen.
async function walk(tab, order, step = 860) {
  const position = new Map(order.map((e, at) => [e.index, at]));
  const seen = [];
  await tab.evaluate(() => scrollTo(0, 0));
  for (let k = 0; k < 1000; k++) {
    await tab.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
    const rows = await drawn(tab);
    const screen = await tab.evaluate(() => innerHeight);
    const inView = rows.filter((r) => r.bottom > 0 && r.top < screen);
    for (let k = 1; k < inView.length; k++) {
      assert.equal(position.get(inView[k].index), position.get(inView[k - 1].index) + 1, `rows in view at step ${k} follow each other`);
      assert.equal(inView[k].top, inView[k - 1].bottom, `no gap between rows at step ${k}`);
    }
    for (const r of inView) if (!seen.length || position.get(r.index) > position.get(seen[seen.length - 1])) seen.push(r.index);
    const atEnd = await tab.evaluate(() => scrollY + innerHeight >= document.documentElement.scrollHeight - 1);
    if (atEnd) break;
    await tab.evaluate((by) => scrollBy(0, by), step);
  }
  return seen;
}

test('expand all, scroll to every entry, close all, open one folder', async () => {
  const tree = treeOf(widePage);
  const { tab, errors } = await open(widePage);
  const projects = tree.kids.get(tree.kids.get('-1')[0].id);

  // Closed: the root and its projects, drawn only as far as the screen needs.
  let rows = await drawn(tab);
  assert.equal(rows[0].index, tree.order[0].index);
  assert.deepEqual(rows.slice(1).map((r) => r.index), projects.slice(0, rows.length - 1).map((e) => e.index));
  assert.ok(rows.length < 150, `${rows.length} rows drawn for a screen of 50`);

  await tab.getByText('Expand All', { exact: true }).click();
  await tab.locator('.dTreeNode').nth(3).filter({ hasText: 'notes-0000-2.txt' }).waitFor();
  rows = await drawn(tab);
  assert.ok(rows.length < 150, `${rows.length} rows drawn after Expand All`);
  // Every entry is reached by scrolling, in order, and the document is as tall as all rows.
  const seen = await walk(tab, tree.order);
  assert.equal(seen.length, tree.order.length);
  assert.deepEqual(seen, tree.order.map((e) => e.index));
  const height = await tab.evaluate(() => document.querySelector('.dtree .clip').offsetHeight);
  assert.equal(height, tree.order.length * 18);
  // The last row: the last document of the last catalog of the last project, no lines to its left.
  const last = await tab.locator('.dTreeNode').last().evaluate((row) =>
    [row.textContent, [...row.querySelectorAll('img')].map((img) => img.getAttribute('src').split('/').pop())]);
  assert.deepEqual(last, [tree.order[tree.order.length - 1].name, ['empty.gif', 'empty.gif', 'join-end.gif', 'page.gif']]);

  // A list taller than the browser can lay out is scrolled through in proportion: every entry
  // is still reached, a screen's worth of rows at a time.
  await tab.evaluate(() => {
    d._maxHeight = 40_000;
    d.openAll();
  });
  assert.equal(await tab.evaluate(() => document.querySelector('.dtree .clip').offsetHeight), 40_000);
  const step = Math.floor((860 * (40_000 - 900)) / (height - 900));
  assert.deepEqual(await walk(tab, tree.order, step), tree.order.map((e) => e.index));
  await tab.evaluate(() => {
    d._maxHeight = 30_000_000;
  });

  await tab.getByText('Close All', { exact: true }).click();
  await tab.evaluate(() => scrollTo(0, 0));
  await tab.locator('.dTreeNode').nth(2).filter({ hasText: projects[1].name }).waitFor();
  assert.equal(await tab.evaluate(() => document.querySelector('.dtree .clip').offsetHeight), (1 + projects.length) * 18);

  // Opening one project shows its own entries right under it, and nothing else opens.
  const project = projects[2];
  const toggle = tab.locator(`#d-j${project.index}`);
  assert.match(await toggle.getAttribute('src'), /\/plus\.gif$/);
  await toggle.click();
  const children = tree.kids.get(project.id);
  rows = await drawn(tab);
  const at = rows.findIndex((r) => r.index === project.index);
  assert.deepEqual(rows.slice(at + 1, at + 1 + children.length).map((r) => r.index), children.map((e) => e.index));
  assert.equal(rows[at + 1 + children.length].index, projects[3].index);
  assert.match(await toggle.getAttribute('src'), /\/minus\.gif$/);
  assert.equal(await tab.evaluate(() => document.querySelector('.dtree .clip').offsetHeight), (1 + projects.length + children.length) * 18);
  await toggle.click();
  assert.equal(await tab.evaluate(() => document.querySelector('.dtree .clip').offsetHeight), (1 + projects.length) * 18);

  assert.deepEqual(errors, []);
  await tab.close();
});

test('a folder of 3000 documents opens, scrolls to its end and closes', async () => {
  const tree = treeOf(folderPage);
  const { tab, errors } = await open(folderPage);
  const inbox = tree.order[1];
  await tab.locator(`#d-j${inbox.index}`).click();
  assert.deepEqual(await walk(tab, tree.order), tree.order.map((e) => e.index));
  await tab.evaluate(() => scrollTo(0, 0));
  await tab.locator(`#d-j${inbox.index}`).click();
  assert.deepEqual((await drawn(tab)).map((r) => r.index), [tree.order[0].index, inbox.index]);
  assert.equal(await tab.evaluate(() => document.documentElement.scrollHeight <= innerHeight), true);
  assert.deepEqual(errors, []);
  await tab.close();
});

test('a name far down a long page shows as written: the page says it is UTF-8', async () => {
  // A megabyte of ASCII names before the first other one: a browser that guesses the encoding
  // from the first bytes takes such a page for Latin-1.
  const home = path.join(work, 'late');
  const page = writeIndexPage({
    ...tools, home,
    sql: (home) => `${folderSql(20_000, home)}\nINSERT INTO FILE_NODE VALUES (20002, '年度资料.pdf', 1, '', 1, '年度资料.pdf', 2);`,
  });
  assert.ok(fs.statSync(page).size > 1_000_000);
  const { tab, errors } = await open(page);
  assert.equal(await tab.evaluate(() => document.characterSet), 'UTF-8');
  await tab.getByPlaceholder('🔍').fill('年度');
  assert.deepEqual(await tab.locator('.dTreeNode a[id]').allTextContents(), ['Marrowdex', 'Inbox', '年度资料.pdf']);
  assert.deepEqual(errors, []);
  await tab.close();
});

test('search: matching entries with their folders open, any case and script; Escape clears', async () => {
  const tree = treeOf(widePage);
  const { tab, errors } = await open(widePage);
  const field = tab.getByPlaceholder('🔍');
  const found = () => tab.locator('.dtree-found').textContent();
  const rowCount = () => tab.evaluate(() => document.querySelector('.dtree .clip').offsetHeight / 18);
  const before = await drawn(tab);

  // What the results must be: the matches, and every entry above one, in tree order.
  const parent = new Map(tree.entries.map((e) => [e.id, e.pid]));
  const results = (text) => {
    const keep = new Set();
    for (const e of tree.entries) {
      if (!e.name.toLowerCase().includes(text)) continue;
      for (let id = e.id; id !== '-1' && !keep.has(id); id = parent.get(id)) keep.add(id);
    }
    return tree.order.filter((e) => keep.has(e.id));
  };
  const matches = (text) => tree.entries.filter((e) => e.name.toLowerCase().includes(text)).length;
  const indexes = (entries) => entries.map((e) => e.index);

  // Any case, typed key by key; every result is reached by scrolling.
  await field.pressSequentially('REPORT-2016-02');
  let want = results('report-2016-02');
  assert.ok(want.length > 100, `${want.length} results`);
  assert.equal(await found(), String(matches('report-2016-02')));
  assert.equal(await rowCount(), want.length);
  assert.deepEqual(await walk(tab, want), indexes(want));
  // The folders above a match are drawn open, the last result of each folder ends its line.
  await tab.evaluate(() => scrollTo(0, 0));
  const reports = tab.locator('.dTreeNode').filter({ has: tab.getByText('Reports', { exact: true }) }).first();
  assert.match(await reports.locator('a:not([id]) img').getAttribute('src'), /\/minus-end\.gif$/);

  // Chinese names, matching in their middle.
  await field.fill('年度资料');
  want = results('年度资料');
  assert.equal(want.length, 1 + matches('年度资料'));
  assert.deepEqual(indexes(await drawn(tab)), indexes(want));
  assert.equal(await found(), String(matches('年度资料')));

  // Nothing matches: no rows.
  await field.fill('no such entry');
  assert.deepEqual(await drawn(tab), []);
  assert.equal(await found(), '0');

  // Closing a folder in the results hides its matches; Escape brings the tree back as it was.
  await field.fill('minutes-2019-02');
  want = results('minutes-2019-02');
  assert.equal(await rowCount(), want.length);
  const minutes = want.find((e) => e.name === 'Minutes');
  const inside = want.filter((e) => e.pid === minutes.id).length;
  await tab.locator(`#d-j${minutes.index}`).click();
  assert.equal(await rowCount(), want.length - inside);
  assert.match(await tab.locator(`#d-j${minutes.index}`).getAttribute('src'), /\/plus(-end)?\.gif$/);
  await field.press('Escape');
  assert.equal(await field.inputValue(), '');
  assert.equal(await found(), '');
  assert.deepEqual(indexes(await drawn(tab)), indexes(before));

  // An entry selected among the results stays in view, its folders open, when the search ends.
  await field.fill('draft-2021-04-2');
  const pick = results('draft-2021-04-2').filter((e) => e.name.includes('draft-2021-04-2'))[2];
  const link = tab.locator(`#d-s${pick.index}`);
  await link.evaluate((a) => a.removeAttribute('href')); // select it without opening the file
  await link.click();
  await field.press('Escape');
  const selected = tab.locator('.nodeSel');
  assert.equal(await selected.getAttribute('id'), `d-s${pick.index}`);
  const box = await selected.boundingBox();
  assert.ok(box && box.y >= 0 && box.y + box.height <= 900, `selected entry at ${box?.y}`);
  assert.deepEqual(errors, []);
  await tab.close();
});

test('links lead to the files in a new window, and Tab goes through them all in order', async () => {
  const tree = treeOf(widePage);
  const { tab, errors } = await open(widePage);
  await tab.getByText('Expand All', { exact: true }).click();
  await tab.locator('.dTreeNode').nth(3).waitFor();

  // Links as the page gives them: the entry's path, opened in a new window.
  for (const e of tree.order.slice(0, 12)) {
    const link = tab.locator(`#d-s${e.index}`);
    assert.deepEqual(await link.evaluate((a) => [a.getAttribute('href'), a.target]), [e.url, '_blank']);
  }
  const popup = tab.waitForEvent('popup');
  await tab.locator(`#d-s${tree.order[2].index}`).click();
  await (await popup).close();

  // Tab from the search field: a folder's toggle, then its name; a document's name. Far past
  // the rows first drawn, each focused link is in view.
  const expected = [];
  for (const e of tree.order) {
    if (tree.kids.has(e.id) && e.pid !== '-1') expected.push(`toggle ${e.index}`);
    expected.push(`name ${e.index}`);
  }
  await tab.getByPlaceholder('🔍').focus();
  // In view: at least partly on the screen and not under the search field.
  const focused = () => tab.evaluate(() => {
    const el = document.activeElement;
    const r = el.getBoundingClientRect();
    const bar = document.querySelector('.dtree-search').getBoundingClientRect();
    const inView = r.bottom > Math.max(0, bar.bottom) && r.top < innerHeight;
    if (el.id.startsWith('d-s')) return [`name ${el.id.slice(3)}`, inView];
    const img = el.querySelector('img[id^="d-j"]');
    return [img ? `toggle ${img.id.slice(3)}` : el.outerHTML, inView];
  });
  const presses = 400;
  for (let k = 0; k < presses; k++) {
    await tab.keyboard.press('Tab');
    assert.deepEqual(await focused(), [expected[k], true], `Tab ${k + 1}`);
  }
  for (let k = presses - 2; k >= presses - 60; k--) {
    await tab.keyboard.press('Shift+Tab');
    assert.deepEqual(await focused(), [expected[k], true], `Shift+Tab back to ${k + 1}`);
  }
  // Tab from the last link drawn, and Shift+Tab from the first, before the page has scrolled:
  // the row beyond is drawn for it.
  // The scroll that the last key press caused is drawn first (its scroll event comes with the
  // next frame and may take the chosen link away), then the edge link is chosen.
  const edge = async (which) => {
    await tab.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
    const id = await tab.evaluate((which) => {
      const links = [...document.querySelectorAll('.dtree .clip a')];
      const link = which === 'last' ? links[links.length - 1] : links[0];
      link.focus({ preventScroll: true });
      return link.id || link.querySelector('img').id;
    }, which);
    return expected.indexOf(id.startsWith('d-s') ? `name ${id.slice(3)}` : `toggle ${id.slice(3)}`);
  };
  let from = await edge('last');
  await tab.keyboard.press('Tab');
  assert.deepEqual(await focused(), [expected[from + 1], true], 'Tab from the last link drawn');
  from = await edge('first');
  await tab.keyboard.press('Shift+Tab');
  assert.deepEqual(await focused(), [expected[from - 1], true], 'Shift+Tab from the first link drawn');
  // Enter on a focused toggle closes the folder; the focus stays on it.
  let at = expected.indexOf((await focused())[0]);
  const folderAt = expected.findIndex((x, k) => k > at && x.startsWith('toggle'));
  for (; at < folderAt; at++) await tab.keyboard.press('Tab');
  assert.deepEqual(await focused(), [expected[folderAt], true]);
  await tab.keyboard.press('Enter');
  assert.deepEqual(await focused(), [expected[folderAt], true]);
  assert.match(await tab.locator(`#d-j${expected[folderAt].split(' ')[1]}`).getAttribute('src'), /\/plus(-end)?\.gif$/);
  assert.deepEqual(errors, []);
  await tab.close();
});
