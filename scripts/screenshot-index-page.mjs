#!/usr/bin/env node
// Takes the help pages' pictures of the index page with a search: a small sample knowledge base
// goes through the real marrowdex-initdb and marrowdex-index, once with English texts and once
// with Chinese ones, and headless Chromium shows each page after typing into its search field.
//
//   node scripts/screenshot-index-page.mjs [--index-tool PATH] [--initdb PATH] [--out DIR]
//
// Defaults: the tools of build-test/, pictures into docs/ (index-page-search.png and
// index-page-search-zh.png). Needs the npm packages of tests/browser (scripts/test.sh installs them).

import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { launchChromium } from '../tests/browser/chromium.mjs';
import { writeIndexPage } from '../tests/browser/sample_pages.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');

function option(name, fallback) {
  const at = process.argv.indexOf(name);
  return path.resolve(at >= 0 && at + 1 < process.argv.length ? process.argv[at + 1] : fallback);
}

const tools = {
  indexTool: option('--index-tool', path.join(root, 'build-test/src/tools/marrowdex-index')),
  initdb: option('--initdb', path.join(root, 'build-test/src/tools/marrowdex-initdb')),
  scriptFolder: path.join(root, 'resources/js'),
};
const out = option('--out', path.join(root, 'docs'));

// [id, English name, Chinese name, parent, type (0 catalog, 1 document), file name]
const ROWS = [
  [1, 'Physics', '物理', 0, 0], [2, 'Mathematics', '数学', 0, 0], [3, 'Recipes', '菜谱', 0, 0], [4, 'Travel', '旅行', 0, 0],
  [5, 'Optics', '光学', 1, 0], [6, 'Thermodynamics', '热力学', 1, 0],
  [7, 'Feynman Lectures, Volume 1', '费曼物理学讲义 第一卷', 1, 1, 'feynman-lectures-1.pdf'],
  [8, 'Exam notes 2026', '2026 考试笔记', 1, 1, 'exam-notes-2026.odt'],
  [9, 'Lens equations', '透镜公式', 5, 1, 'lens-equations.pdf'],
  [10, 'Lecture notes: mirrors', '课堂笔记：平面镜', 5, 1, 'mirrors.pdf'],
  [11, 'Carnot cycle', '卡诺循环', 6, 1, 'carnot.pdf'],
  [12, 'Linear algebra', '线性代数', 2, 0],
  [13, 'Notes on eigenvalues', '特征值笔记', 12, 1, 'eigenvalues.md'],
  [14, 'Matrix cheat sheet', '矩阵速查表', 12, 1, 'matrices.pdf'],
  [15, 'Puzzles', '趣味数学题', 2, 1, 'puzzles.txt'],
  [16, "Grandma's apple pie", '外婆的苹果派', 3, 1, 'apple-pie.jpg'],
  [17, 'Bread baking notes', '烤面包笔记', 3, 1, 'bread.txt'],
  [18, 'Iceland 2025', '冰岛 2025', 4, 0],
  [19, 'Route and notes', '路线和旅行笔记', 18, 1, 'route.odt'],
  [20, 'Tickets', '车票', 18, 1, 'tickets.pdf'],
];

// Each language: its locale, which the page's own words follow, the names and the text typed.
const SAMPLES = {
  en: { lang: 'en_US.UTF-8', query: 'notes', rows: ROWS.map(([id, en, , ...rest]) => [id, en, ...rest]) },
  zh: { lang: 'zh_CN.UTF-8', query: '笔记', rows: ROWS.map(([id, , zh, ...rest]) => [id, zh, ...rest]) },
};

function sampleSql({ rows }, home) {
  const text = (t) => `'${t.replace(/'/g, "''")}'`;
  const level = new Map([[0, 0]]);
  const values = rows.map(([id, name, parent, type, file = '']) => {
    level.set(id, level.get(parent) + 1);
    return `(${id}, ${text(name)}, ${parent}, '', ${type}, ${text(file)}, ${level.get(id)})`;
  });
  return `UPDATE SYS_CONFIG SET ROOT_DIR = ${text(home)}, FIRST_RUNNING = 0;
INSERT INTO FILE_NODE (FILE_ID, FILE_NAME, PARENT_ID, COMMENT, FILETYPE, RAW_FILE_NAME, PATH_LEVEL) VALUES
${values.join(',\n')};`;
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'marrowdex-page-shot-'));
const { browser, context } = await launchChromium();
try {
  for (const [language, sample] of Object.entries(SAMPLES)) {
    const home = path.join(work, language, 'Knowledge');
    const page = writeIndexPage({ ...tools, home, sql: (h) => sampleSql(sample, h), lang: sample.lang });
    const tab = await context.newPage();
    await tab.setViewportSize({ width: 560, height: 430 });
    await tab.goto(pathToFileURL(page).href);
    await tab.getByPlaceholder('🔍').pressSequentially(sample.query);
    await tab.evaluate(() => document.fonts.ready);
    const file = path.join(out, language === 'en' ? 'index-page-search.png' : `index-page-search-${language}.png`);
    await tab.screenshot({ path: file });
    console.log(`wrote ${file}`);
    await tab.close();
  }
} finally {
  await browser.close();
  fs.rmSync(work, { recursive: true, force: true });
}
