// What the real-browser tests share: the database settings, `talwen serve` on a free port,
// headless Chromium, and psql on the same database.
//
// Environment: TALWEN_PGHOST, TALWEN_PGPORT, TALWEN_PGDATABASE, TALWEN_PGUSER,
// TALWEN_PGPASSWORD (scripts/db.sh env); TALWEN_BINARY (default build/talwen); CHROMIUM
// (default /usr/bin/chromium); TALWEN_BROWSER_OUT (default build/browser-test).
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { randomBytes } from 'node:crypto';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
export const out = resolve(process.env.TALWEN_BROWSER_OUT || join(root, 'build/browser-test'));
export const images = join(root, 'db/postgres/images');
const binary = process.env.TALWEN_BINARY || join(root, 'build/talwen');
const browserPath = process.env.CHROMIUM || '/usr/bin/chromium';
const DB_KEYS = ['TALWEN_PGHOST', 'TALWEN_PGPORT', 'TALWEN_PGDATABASE', 'TALWEN_PGUSER', 'TALWEN_PGPASSWORD'];

// Start `talwen serve` on the reference database (and the handheld's files, www/) on a free
// port; answers the base address and a stop function. With signOn, every call but the
// sign-on needs the signed sign-on cookie.
export async function startServer({ signOn = false } = {}) {
  for (const name of DB_KEYS) {
    assert.ok(process.env[name], `${name} is not set: run eval "$(scripts/db.sh env)" first`);
  }
  mkdirSync(out, { recursive: true });
  const workDir = mkdtempSync(join(tmpdir(), 'talwen-browser-'));
  const ini = join(workDir, 'talwen.INI');
  writeFileSync(ini, [
    '[veldrawms]',
    'Provider=PostgreSQL',
    `Data Source=${process.env.TALWEN_PGHOST}`,
    `Port=${process.env.TALWEN_PGPORT}`,
    `Initial Catalog=${process.env.TALWEN_PGDATABASE}`,
    `User ID=${process.env.TALWEN_PGUSER}`,
    `Password=${process.env.TALWEN_PGPASSWORD}`,
    '[GENERAL]',
    `IMAGE FOLDER=${images}`,
    ...(signOn ? ['REQUIRE SIGN-ON=Y', `SIGN-ON KEY=${randomBytes(32).toString('hex')}`] : []),
    '',
  ].join('\n'));
  const child = spawn(binary, ['serve', '--config', ini, '--listen', '127.0.0.1:0', '--threads', '4', '--www', join(root, 'www')], {
    stdio: ['ignore', 'ignore', 'pipe'],
  });
  const port = await new Promise((resolveStart, rejectStart) => {
    let text = '';
    const timer = setTimeout(() => rejectStart(new Error(`talwen serve did not start:\n${text}`)), 15000);
    child.stderr.on('data', (chunk) => {
      text += chunk;
      const match = /listening on http:\/\/[^\s]*:(\d+)\//.exec(text);
      if (match) {
        clearTimeout(timer);
        resolveStart(Number(match[1]));
      }
    });
    child.on('exit', (code) => {
      clearTimeout(timer);
      rejectStart(new Error(`talwen serve exited with ${code}:\n${text}`));
    });
  });
  return {
    base: `http://127.0.0.1:${port}`,
    stop() {
      child.kill('SIGTERM');
      rmSync(workDir, { recursive: true, force: true });
    },
  };
}

export function launchBrowser() {
  return chromium.launch({
    executablePath: browserPath,
    headless: true,
    args: ['--no-sandbox', '--disable-dev-shm-usage', '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--disable-default-apps', '--disable-sync', '--no-first-run'],
  });
}

// The rows of a query on the test database, fields joined by '|' and rows by newlines.
export function sql(query) {
  const env = {
    ...process.env,
    PGHOST: process.env.TALWEN_PGHOST,
    PGPORT: process.env.TALWEN_PGPORT,
    PGDATABASE: process.env.TALWEN_PGDATABASE,
    PGUSER: process.env.TALWEN_PGUSER,
    PGPASSWORD: process.env.TALWEN_PGPASSWORD,
  };
  const run = spawnSync('psql', ['-X', '-q', '-A', '-t', '-v', 'ON_ERROR_STOP=1', '-c', query], { env, encoding: 'utf8' });
  assert.equal(run.status, 0, `psql failed: ${run.stderr}`);
  return run.stdout.trim();
}
