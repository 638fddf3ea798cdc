// Debian's Chromium driven by playwright-core; the browser is never downloaded.

import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const chromiumPath = process.env.MARROWDEX_CHROMIUM || '/usr/bin/chromium';

// A browser with a profile of its own that goes with it. Closed networks refuse Chromium's
// background connections, so those are switched off.
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
  return { browser, context };
}
