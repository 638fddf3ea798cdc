// The index page as a reader sees it: a database with awkward names goes through the real
// marrowdex-index, and the page it writes is opened from disk in headless Chromium.
//
// node index_page.test.mjs --index-tool PATH --initdb PATH --js DIR

import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launchChromium } from './chromium.mjs';

function option(name) {
  const at = process.argv.indexOf(name);
  if (at < 0 || at + 1 >= process.argv.length) {
    throw new Error(`missing ${name}; usage: node index_page.test.mjs --index-tool PATH --initdb PATH --js DIR`);
  }
  return path.resolve(process.argv[at + 1]);
}

const indexTool = option('--index-tool');
const initdb = option('--initdb');
const scriptFolder = option('--js');

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'marrowdex-page-'));
const home = path.join(work, "Knowledge & 'Notes' #1 50%");
const database = path.join(work, 'mymwdx.db');

// [FILE_ID, FILE_NAME, PARENT_ID, FILETYPE, RAW_FILE_NAME, PATH_LEVEL]; names carry every
// character that could end a script string, open a tag or break a link.
const rows = [
  [1, '知识库 目录', 0, 0, '', 1],
  [2, `it's "quoted"`, 1, 0, '', 2],
  [3, 'back\\slash', 2, 1, 'back\\slash #1?.txt', 3],
  [4, 'line\nbreak\r\nand\u2028separator', 1, 1, 'line break.txt', 2],
  [5, '<em>not emphasised<em> & &amp; 100%', 0, 0, '', 1],
  [6, '</script><script>window.injected = 1</script>', 5, 1, 'script.txt', 2],
  [7, '中文文档', 5, 1, '中文 文档 "x".txt', 2],
  [8, 'Empty catalog', 0, 0, '', 1],
];

// Where each node lives on disk: its parent's path and its name on disk.
const diskPath = new Map([[0, home]]);
for (const [id, name, parent, type, raw] of rows) {
  diskPath.set(id, path.join(diskPath.get(parent), type === 0 ? name : raw));
}

function sqlText(text) {
  return `'${text.replace(/'/g, "''")}'`;
}

function setUp() {
  fs.mkdirSync(home);
  fs.cpSync(scriptFolder, path.join(home, 'js'), { recursive: true });
  for (const [id, , , type] of rows) {
    if (type === 0) {
      fs.mkdirSync(diskPath.get(id), { recursive: true });
    } else {
      fs.writeFileSync(diskPath.get(id), `document ${id}\n`);
    }
  }
  execFileSync(initdb, [database]);
  const sql = [`UPDATE SYS_CONFIG SET ROOT_DIR = ${sqlText(home)}, FIRST_RUNNING = 0;`];
  for (const [id, name, parent, type, raw, level] of rows) {
    sql.push(`INSERT INTO FILE_NODE VALUES (${id}, ${sqlText(name)}, ${parent}, '', ${type}, ${sqlText(raw)}, ${level});`);
  }
  execFileSync('sqlite3', [database], { input: sql.join('\n') });
}

function writePage() {
  // Chinese texts, so the page's own words are Chinese too.
  const env = { ...process.env, LC_ALL: '', LC_MESSAGES: '', LANG: 'zh_CN.UTF-8' };
  const printed = execFileSync(indexTool, [database], { env, encoding: 'utf8' });
  const page = printed.trim();
  assert.equal(page, path.join(home, 'mwdx_index.html'));
  return page;
}

// A name as markup shows it: HTML reads every CR LF and lone CR as LF.
function shown(name) {
  return name.replace(/\r\n?/g, '\n');
}

async function check(page) {
  const { browser, context } = await launchChromium();
  try {
    const tab = await context.newPage();
    tab.setDefaultTimeout(10_000);
    const problems = [];
    tab.on('pageerror', (error) => problems.push(`script error: ${error.message}`));
    tab.on('console', (message) => {
      if (message.type() === 'error') problems.push(`console: ${message.text()}`);
    });
    tab.on('requestfailed', (request) => problems.push(`failed to load ${request.url()}`));
    await tab.goto(`file://${page.split('/').map(encodeURIComponent).join('/')}`);
    await tab.waitForLoadState('load');

    assert.equal(await tab.evaluate(() => document.title), 'zuzuv');
    assert.equal(await tab.evaluate(() => window.injected), undefined, 'a name ran as script');

    // The page's links run their script a moment after the click, so each check waits for its
    // state (and fails when it does not come within the timeout).
    const entries = tab.locator('.dtree a.node, .dtree a.nodeSel');
    const entry = (name) => entries.filter({ hasText: name.split(/[\r\n\u2028]/)[0] }).first();
    const deepest = entry(rows[2][1]);

    // Expand All shows every entry; each shows its name literally, exactly once.
    await tab.getByText('展开所有节点', { exact: true }).click();
    await deepest.waitFor({ state: 'visible' });
    const texts = await entries.allTextContents();
    for (const [id, name] of rows) {
      assert.equal(texts.filter((text) => text === shown(name)).length, 1, `entry ${id} shows ${JSON.stringify(name)}; entries: ${JSON.stringify(texts)}`);
    }
    assert.equal(texts.filter((text) => text === 'zuzuv').length, 1, 'the root entry');

    // The links lead to the nodes' own directories and files.
    const heading = await tab.locator('h1 a').getAttribute('href');
    assert.equal(decodeURIComponent(new URL(heading).pathname), home, 'heading link');
    for (const [id, name] of rows) {
      const href = await entry(name).evaluate((a) => a.href);
      assert.equal(decodeURIComponent(new URL(href).pathname), diskPath.get(id), `link of entry ${id}: ${href}`);
    }

    for (const [id, name] of rows) {
      assert.ok(await entry(name).isVisible(), `entry ${id} visible after Expand All`);
    }
    // Close All hides the nested ones.
    await tab.getByText('收起所有节点', { exact: true }).click();
    for (const [, name, parent] of rows) {
      if (parent !== 0) {
        await entry(name).waitFor({ state: 'hidden' });
      }
    }
    await tab.getByText('展开所有节点', { exact: true }).click();
    await deepest.waitFor({ state: 'visible' });

    // No image is broken: every icon the tree draws has loaded.
    const images = await tab.evaluate(() =>
      [...document.images].map((img) => ({ src: img.src, ok: img.complete && img.naturalWidth > 0 })));
    assert.ok(images.length >= rows.length, `only ${images.length} images drawn`);
    for (const image of images) assert.ok(image.ok, `broken image ${image.src}`);

    // A document's link opens that very file, special characters and all.
    const documentHref = await entry('back\\slash').evaluate((a) => a.href);
    const viewer = await context.newPage();
    await viewer.goto(documentHref);
    assert.equal((await viewer.locator('body').innerText()).trim(), 'document 3');

    assert.deepEqual(problems, [], 'no errors while showing the page');
  } finally {
    await browser.close();
  }
}

try {
  setUp();
  const page = writePage();
  const bytes = fs.readFileSync(page);
  assert.ok(bytes.subarray(0, 9).equals(Buffer.from('<!DOCTYPE')), 'the page starts with its doctype');
  await check(page);
  console.log('index page in Chromium: ok');
} finally {
  fs.rmSync(work, { recursive: true, force: true });
}
