// Index pages of large knowledge bases, written by the real marrowdex-index from a database
// made by marrowdex-initdb and filled with the sqlite3 shell. Shared by the browser tests and
// the tree script benchmark.

import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

// One project is a catalog with three loose documents and four sub-catalogs of 50 documents:
// 208 rows, three levels. One project in ten has a Chinese name. Ids are fixed by position,
// so the first N rows form a whole tree.
export const PROJECT_ROWS = 208;
const SUBS = ['Reports', 'Minutes', 'Correspondence', 'Drafts'];
const KINDS = ['report', 'minutes', 'letter', 'draft'];

function sqlText(text) {
  return `'${text.replace(/'/g, "''")}'`;
}

function settingsSql(home) {
  return `UPDATE SYS_CONFIG SET ROOT_DIR = ${sqlText(home)}, FIRST_RUNNING = 0;`;
}

// FILE_NODE rows of `rows` entries in projects as above.
export function wideSql(rows, home) {
  const projects = Math.ceil(rows / PROJECT_ROWS);
  const pick = (list) => `CASE sub ${list.map((s, n) => `WHEN ${n} THEN '${s}'`).join(' ')} END`;
  return `
${settingsSql(home)}
BEGIN;
WITH RECURSIVE
  p(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM p WHERE i < ${projects - 1}),
  o(k) AS (SELECT 0 UNION ALL SELECT k + 1 FROM o WHERE k < ${PROJECT_ROWS - 1}),
  cell AS (
    SELECT i, k, i * ${PROJECT_ROWS} + k + 1 AS id,
           CASE WHEN k >= 4 THEN (k - 4) / 51 ELSE -1 END AS sub,
           CASE WHEN k >= 4 THEN (k - 4) % 51 ELSE -1 END AS pos
    FROM p, o),
  named AS (
    SELECT id,
      CASE
        WHEN k = 0 THEN CASE WHEN i % 10 = 3 THEN printf('项目 %04d 年度资料', i) ELSE printf('Project %04d', i) END
        WHEN k < 4 THEN printf('notes-%04d-%d.txt', i, k)
        WHEN pos = 0 THEN ${pick(SUBS)}
        ELSE printf('%s-%04d-%02d-%02d.pdf', ${pick(KINDS)}, 2015 + (id % 9), 1 + (id % 12), 1 + (id % 28))
      END AS name,
      CASE WHEN k = 0 THEN 0 WHEN k < 4 OR pos = 0 THEN i * ${PROJECT_ROWS} + 1
           ELSE i * ${PROJECT_ROWS} + 4 + sub * 51 + 1 END AS parent,
      CASE WHEN k = 0 OR pos = 0 THEN 0 ELSE 1 END AS type,
      CASE WHEN k = 0 THEN 1 WHEN k < 4 OR pos = 0 THEN 2 ELSE 3 END AS level
    FROM cell WHERE id <= ${rows})
INSERT INTO FILE_NODE (FILE_ID, FILE_NAME, PARENT_ID, COMMENT, FILETYPE, RAW_FILE_NAME, PATH_LEVEL)
  SELECT id, name, parent, '', type, CASE WHEN type = 1 THEN name ELSE '' END, level FROM named;
COMMIT;`;
}

// One catalog, "Inbox", holding `children` documents.
export function folderSql(children, home) {
  return `
${settingsSql(home)}
BEGIN;
INSERT INTO FILE_NODE VALUES (1, 'Inbox', 0, '', 0, '', 1);
WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < ${children})
INSERT INTO FILE_NODE SELECT n + 1, printf('scan-%06d.pdf', n), 1, '', 1, printf('scan-%06d.pdf', n), 2 FROM c;
COMMIT;`;
}

// Makes the Home Directory `home` with a copy of the script folder, fills a database there
// with `sql(home)` and has marrowdex-index write the page, its texts in the language of `lang`.
// Returns the page.
export function writeIndexPage({ indexTool, initdb, scriptFolder, home, sql, lang = 'en_US.UTF-8' }) {
  fs.mkdirSync(home, { recursive: true });
  fs.cpSync(scriptFolder, path.join(home, 'js'), { recursive: true });
  const db = `${home}.db`;
  fs.rmSync(db, { force: true });
  try {
    execFileSync(initdb, [db]);
    execFileSync('sqlite3', [db], { input: sql(home) });
    const env = { ...process.env, LC_ALL: '', LC_MESSAGES: '', LANG: lang };
    return execFileSync(indexTool, [db], { env, encoding: 'utf8' }).trim();
  } finally {
    fs.rmSync(db, { force: true });
  }
}

// The entries of an index page as its add() lines give them: [id, pid, name, url], in order.
// Only plain script strings are read back (the samples above need no escapes).
export function pageEntries(page) {
  const entry = /^d\.add\((-?\d+),(-?\d+),'((?:[^'\\]|\\.)*)','((?:[^'\\]|\\.)*)'/gm;
  return [...fs.readFileSync(page, 'utf8').matchAll(entry)].map((m) => [m[1], m[2], m[3], m[4]]);
}
