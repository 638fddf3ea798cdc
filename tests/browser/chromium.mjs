// Debian's Chromium driven by playwright-core; the browser is never downloaded.

import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const chromiumPath = process.env.MARROWDEX_CHROMIUM || '/usr/bin/chromium';

// A browser with a profile of its own that goes with it. Closed networks refuse Chromium's
// background connections, so those are switched off. The profile folder also names the
// browser's processes (see rendererMemory).
export async function launchChromium() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'marrowdex-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  const browser = {
    close: async () => {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
  return { browser, context, profile };
}

function procText(pid, file) {
  try {
    return fs.readFileSync(`/proc/${pid}/${file}`, 'utf8');
  } catch {
    return ''; // the process has ended meanwhile
  }
}

function statusKiB(status, field) {
  const m = status.match(new RegExp(`^${field}:\\s+(\\d+) kB`, 'm'));
  return m ? Number(m[1]) : 0;
}

// Resident and peak resident memory (bytes) of the largest renderer process of the browser that
// runs on `profile`: with one page open, that is the page's renderer (the start page's and a
// spare one stay small). Linux only: the processes are found through /proc.
export function rendererMemory(profile) {
  let best = { rss: 0, peak: 0 };
  for (const pid of fs.readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
    // Processes forked from the zygote show their arguments as one string.
    const args = procText(pid, 'cmdline').split(/[\0 ]/);
    if (!args.includes('--type=renderer') || !args.includes(`--user-data-dir=${profile}`)) continue;
    if (args.includes('--top-chrome-webui')) continue;
    const status = procText(pid, 'status');
    const rss = statusKiB(status, 'VmRSS') * 1024;
    if (rss > best.rss) best = { rss, peak: statusKiB(status, 'VmHWM') * 1024 };
  }
  if (best.rss === 0) throw new Error(`no renderer of the browser on ${profile} was found`);
  return best;
}
