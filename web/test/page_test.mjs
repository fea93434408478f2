// The control page in Debian's chromium against a served gateway: what the
// operator sees on the page, and what the head gets (the simulator's log).
//   PTZ_LOGIN=USER:PASSWORD node page_test.mjs PAGE_URL PACKET_LOG(file or URL) SCREENSHOT.png
// The camera is reached by a name, as on a network; last, another site's page tries to move it.
import { execFile } from 'node:child_process';
import { readFile } from 'node:fs/promises';
import { createServer } from 'node:http';
import { promisify } from 'node:util';
import { resolve } from 'node:path';
import { chromium } from 'playwright-core';

const [pageUrl, logSource, screenshot] = process.argv.slice(2);
const [username, password] = (process.env.PTZ_LOGIN ?? '').split(':');
const packetLog = async () => /^https?:/.test(logSource)
  ? (await promisify(execFile)('curl', ['-sS', '--digest', '-u', `${username}:${password}`, logSource])).stdout
  : readFile(logSource, 'utf8');
const camera = new URL(pageUrl);
camera.hostname = 'camera.test';
let seen = 0; // log characters already matched: each check looks at newer packets only
async function headGets(bytes) { // the packet's log line, once the head has it
  for (let i = 0; i < 100; i++, await new Promise((r) => setTimeout(r, 100))) {
    const log = await packetLog(), at = log.indexOf(`  ${bytes}  `, seen), end = log.indexOf('\n', at);
    if (at >= 0 && end > 0) return log.slice(log.lastIndexOf('\n', at) + 1, (seen = end + 1));
  }
  throw new Error(`the head never got ${bytes}`);
}
const expectText = (locator, text) => locator.filter({ hasText: text }).first().waitFor();

const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--disable-gpu',
  '--disable-quic', '--no-first-run', '--disable-background-networking', '--disable-component-update',
  '--disable-sync', '--host-resolver-rules=MAP camera.test 127.0.0.1, MAP elsewhere.test 127.0.0.1'] });
try {
  const context = await browser.newContext({ viewport: { width: 390, height: 844 }, hasTouch: true });
  const page = await context.newPage();
  // The operator logs in once, as in the browser's dialog; then the browser's login cache serves.
  await context.setHTTPCredentials({ username, password, origin: camera.origin });
  await page.goto(camera.href);
  await context.setHTTPCredentials(null);
  const log = page.getByRole('list', { name: 'Commands sent' }).getByRole('listitem');
  const button = (name) => page.getByRole('button', { name, exact: true });
  const hold = (name) => button(name).hover().then(() => page.mouse.down());
  // Up-right at full speed moves both axes; the release stops them.
  await page.getByLabel('Pan and tilt speed').fill('45');
  await hold('Up right');
  const drive = await headGets('81 01 06 01 16 12 02 01 FF');
  await expectText(log, 'PTS9595 → pTS9595 [90 41] [90 51]');
  await page.waitForTimeout(700);
  await page.mouse.up();
  await headGets('81 01 06 01 16 12 03 03 FF');
  await expectText(log, 'PTS5050 → pTS5050');
  if (!drive.includes('(moving: pan, tilt')) throw new Error(`the head did not move: ${drive}`);
  if ((await log.filter({ hasText: 'PTS9595' }).count()) !== 1) throw new Error('a held move repeated');
  // The window losing focus (another comes to the front) ends a key's press.
  await page.getByLabel('Pan and tilt speed').fill('30');
  await button('Home').focus(); // the slider takes arrows as its own
  await page.keyboard.down('ArrowLeft');
  await headGets('81 01 06 01 11 10 01 03 FF');
  // A speed change while held goes out.
  await page.getByLabel('Pan and tilt speed').evaluate((e) => (e.value = '40') && e.dispatchEvent(new Event('input')));
  await headGets('81 01 06 01 14 10 01 03 FF');
  await (await context.newCDPSession(page)).send('Emulation.setFocusEmulationEnabled', { enabled: false });
  const other = await context.newPage();
  await other.bringToFront();
  await headGets('81 01 06 01 14 10 03 03 FF');
  await other.close().then(() => page.keyboard.up('ArrowLeft'));
  // The head answers in 500 ms, so that the queue holds what follows. Leaving
  // the page just after a release still stops.
  const slowly = (r) => promisify(execFile)('curl', ['-sS', '--digest', '-u', `${username}:${password}`,
    r.request().url().replace(camera.hostname, '127.0.0.1')]).then(({ stdout }) =>
    setTimeout(() => r.fulfill({ body: stdout }).catch(() => {}), 500));
  await page.route('**/cgi-bin/**', slowly);
  await page.getByLabel('Pan and tilt speed').fill('20');
  await hold('Down');
  await headGets('81 01 06 01 10 06 03 02 FF');
  await page.mouse.up().then(() => page.goto(camera.href));
  await headGets('81 01 06 01 10 06 03 03 FF');
  // A hidden page (a phone locking its screen) ends a press, and a move
  // queued before does not follow its stop. Headless chromium never hides a
  // page itself, so the page is told it is hidden.
  await page.getByLabel('Pan and tilt speed').fill('20');
  await button('Home').focus();
  await page.keyboard.down('ArrowRight');
  await headGets('81 01 06 01 07 10 02 03 FF');
  await page.keyboard.down('ArrowUp');
  await page.evaluate(() => Object.defineProperty(document, 'visibilityState', { value: 'hidden' })
    && document.dispatchEvent(new Event('visibilitychange')));
  await headGets('81 01 06 01 07 10 03 03 FF');
  await page.waitForTimeout(1000);
  if ((await packetLog()).includes('02 01 FF', seen)) throw new Error('a queued move followed the stop');
  await page.keyboard.up('ArrowUp').then(() => page.keyboard.up('ArrowRight'));
  await page.unroute('**/cgi-bin/**');
  // Zoom held tele, then home and the two queries.
  await page.reload();
  // '+' typed with Shift, Shift let go first: the key comes up as '='.
  await button('Home').focus();
  await page.keyboard.down('Shift').then(() => page.keyboard.down('Equal'));
  await headGets('81 01 04 07 24 FF');
  await page.keyboard.up('Shift').then(() => page.keyboard.up('Equal'));
  await headGets('81 01 04 07 00 FF');
  // A focused pad button moves while Enter is held.
  await button('Up').focus().then(() => page.keyboard.down('Enter'));
  await headGets('81 01 06 01 10 07 03 01 FF');
  await page.keyboard.up('Enter');
  await headGets('81 01 06 01 10 07 03 03 FF');
  await page.getByLabel('Zoom speed').fill('40');
  await hold('Tele');
  await headGets('81 01 04 07 26 FF');
  await page.mouse.up();
  await headGets('81 01 04 07 00 FF');
  await expectText(log, 'Z50 → zS50');
  await button('Home').click();
  await headGets('81 01 06 04 FF');
  await button('Ask position').click();
  await expectText(page.getByLabel('Position answer'), 'aPC800080000 (fixed answer');
  await button('Ask zoom').click();
  await expectText(page.getByLabel('Zoom answer'), 'GZ555 (fixed answer');
  if (await log.filter({ hasText: 'failed' }).count()) throw new Error('a request failed');
  // The head down (the answer alone), then the camera out of reach.
  const status = page.getByRole('status');
  await page.route('**/cgi-bin/**', (r) => r.fulfill({ body: 'aPC80008000' }));
  await button('Home').click().then(() => expectText(status, 'the camera head did not answer'));
  await page.route('**/cgi-bin/**', (r) => r.abort('connectionrefused'));
  await button('Home').click().then(() => expectText(status, 'no connection to the camera'));
  await page.screenshot({ path: screenshot, fullPage: true });
  // While the operator is logged in, another site's <img> and no-cors fetch get answers, no moves.
  const before = await packetLog();
  const elsewhere = createServer((_, res) => res.setHeader('Content-Type', 'text/html').end(`<img src="${camera.origin}/cgi-bin/ptz_cgi?cmd=%23PTS9999&res=1"
    onerror="document.title = 'refused'"><script>fetch('${camera.origin}/cgi-bin/ptz_cgi?cmd=%23Z99&res=1',
    { mode: 'no-cors' }).then(() => { document.body.dataset.answer = 'yes'; })</script>`));
  await new Promise((r) => elsewhere.listen(0, '127.0.0.1', r));
  const site = await context.newPage();
  await site.goto(`http://elsewhere.test:${elsewhere.address().port}/`);
  await site.waitForFunction(() => document.title === 'refused' && document.body.dataset.answer);
  await site.waitForTimeout(1000);
  elsewhere.close();
  const after = (await packetLog()).slice(before.length);
  if (/  81 01 /.test(after)) throw new Error(`another site's page moved the head: ${after}`);
  console.log(`page: press, release, speed, blur, leaving, hidden, shift, enter, zoom, home, queries, silent head; another site moved nothing; screenshot ${resolve(screenshot)}`);
} finally {
  await browser.close();
}
