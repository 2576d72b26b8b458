// The item image pages in a real browser: headless Chromium opens both pages through
// `talwen serve` on the reference database, checks that every demo item shows its picture
// (loaded, not broken) or none, and its classification; then changes the filters, submits the
// form and checks the filtered result. Screenshots of each page go to the output folder.
//
// Environment: see support.mjs.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { readdirSync } from 'node:fs';
import { join } from 'node:path';
import { images, launchBrowser, out, startServer } from './support.mjs';

// The demo products (db/postgres/demo.sql): number, class, group, category.
const products = [
  ['A1001', 'TOOL', 'FAST', 'HAND TOOLS'], ['A1002', 'TOOL', 'FAST', 'HAND TOOLS'],
  ['A1003', 'TOOL', 'SLOW', 'HAND TOOLS'], ['A1004', 'TOOL', 'FAST', 'HAND TOOLS'],
  ['A1005', 'ELEC', 'FAST', 'POWER TOOLS'], ['A1006', 'ELEC', 'FAST', 'LIGHTING'],
  ['A1007', 'ELEC', 'FAST', 'CABLES'], ['A1008', 'HOME', 'FAST', 'SAFETY'],
  ['A1009', 'HOME', 'FAST', 'SAFETY'], ['A1010', 'ELEC', 'SLOW', 'POWER TOOLS'],
  ['A1011', 'HOME', 'FAST', 'FIXINGS'], ['A1012', 'HOME', 'FAST', 'FIXINGS'],
  ['A1013', 'HOME', 'FAST', 'FIXINGS'], ['A1014', 'HOME', 'SLOW', 'PAINTING'],
  ['A1015', 'ELEC', 'FAST', 'ELECTRONICS'], ['A1016', 'HOME', 'FAST', 'PAINTING'],
  ['A1017', 'TOOL', 'SLOW', 'HAND TOOLS'], ['A1018', 'TOOL', 'FAST', 'HAND TOOLS'],
  ['A1019', 'TOOL', 'SLOW', 'HAND TOOLS'], ['A1020', 'ELEC', 'SLOW', 'POWER TOOLS'],
  ['A1021', 'HOME', 'BULKY', 'HOUSEHOLD'], ['A1022', 'HOME', 'BULKY', 'HOUSEHOLD'],
  ['A1023', 'HOME', 'SLOW', 'FIXINGS'], ['A1024', 'HOME', 'FAST', 'SECURITY'],
  ['A1025', 'ELEC', 'FAST', 'SAFETY'], ['A1026', 'HOME', 'FAST', 'PAINTING'],
  ['A1027', 'HOME', 'BULKY', 'GARDEN'], ['A1028', 'TOOL', 'SLOW', 'GARDEN'],
  ['A1029', 'TOOL', 'BULKY', 'GARDEN'], ['A1030', 'ELEC', 'SLOW', 'ELECTRONICS'],
  ['B2001', 'FOOD', 'FAST', 'CEREAL'], ['B2002', 'FOOD', 'FAST', 'CEREAL'],
  ['B2003', 'FOOD', 'FAST', 'GRAINS'], ['B2004', 'FOOD', 'FAST', 'GRAINS'],
  ['B2005', 'FOOD', 'FAST', 'OILS'], ['B2006', 'FOOD', 'FAST', 'CANNED'],
  ['B2007', 'FOOD', 'FAST', 'CANNED'], ['B2008', 'FOOD', 'FAST', 'CANNED'],
  ['B2009', 'FOOD', 'SLOW', 'SPREADS'], ['B2010', 'FOOD', 'FAST', 'SPREADS'],
  ['B2011', 'FOOD', 'SLOW', 'DRINKS'], ['B2012', 'FOOD', 'FAST', 'DRINKS'],
  ['B2013', 'FOOD', 'FAST', 'SNACKS'], ['B2014', 'FOOD', 'FAST', 'SNACKS'],
  ['B2015', 'FOOD', 'SLOW', 'SPREADS'], ['B2016', 'FOOD', 'FAST', 'CANNED'],
  ['B2017', 'FOOD', 'SLOW', 'GRAINS'], ['B2018', 'FOOD', 'FAST', 'SNACKS'],
  ['B2019', 'FOOD', 'FAST', 'DRINKS'], ['B2020', 'FOOD', 'FAST', 'CANNED'],
].map(([item, productClass, group, category]) => ({ item, productClass, group, category }));

// Products with a picture: the files of the image folder.
const pictured = new Set(readdirSync(images).filter((f) => f.endsWith('.jpg')).map((f) => f.slice(0, -4).toUpperCase()));

let server;
let browser;
let base;

before(async () => {
  server = await startServer();
  base = server.base;
  browser = await launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  if (server) server.stop();
});

// What the page shows of each item block: number, description, picture and classification.
async function readItems(page) {
  return page.$$eval('table#AutoNumber3', (headers) => headers.map((header) => {
    const detail = header.nextElementSibling;
    const cells = (table) => [...table.querySelectorAll('td')].map((td) => td.textContent);
    const head = cells(header);
    const rows = [...detail.querySelectorAll('tr')].map((tr) => [...tr.querySelectorAll('td')].map((td) => td.textContent));
    const img = detail.querySelector('img');
    // The quantity table follows the line breaks after the detail table, before the rule.
    let quantities = null;
    let next = detail.nextElementSibling;
    while (next && next.tagName === 'BR') next = next.nextElementSibling;
    if (next && next.id === 'AutoNumber5') {
      quantities = [...next.querySelectorAll('tr')[1].querySelectorAll('td')].map((td) => td.textContent);
    }
    return {
      item: head[2],
      description: head[5],
      imageFile: head[8],
      src: img.getAttribute('src'),
      loaded: img.complete && img.naturalWidth > 0,
      naturalWidth: img.naturalWidth,
      productClass: rows[0][2],
      group: rows[1][2],
      status: rows[2][2],
      category: rows[3][2],
      quantities,
    };
  }));
}

// Wait until every picture has finished loading (or failed).
async function settleImages(page) {
  await page.waitForFunction(() => [...document.images].every((img) => img.getAttribute('src') === '' || img.complete));
}

function checkItems(items, expected, label) {
  assert.deepEqual(items.map((i) => i.item), expected.map((p) => p.item), `${label}: the items in order`);
  for (const [n, shown] of items.entries()) {
    const want = expected[n];
    assert.equal(shown.productClass, want.productClass, `${label} ${want.item}: product class`);
    assert.equal(shown.group, want.group, `${label} ${want.item}: product group`);
    assert.equal(shown.category, want.category, `${label} ${want.item}: category`);
    assert.equal(shown.status, 'ACTIVE', `${label} ${want.item}: status`);
    assert.ok(shown.description.length > 0, `${label} ${want.item}: description`);
    if (pictured.has(want.item)) {
      const address = `${base}/image/${want.item.toLowerCase()}.jpg`;
      assert.equal(shown.src, address, `${label} ${want.item}: image address`);
      assert.equal(shown.imageFile, address, `${label} ${want.item}: image file link`);
      assert.ok(shown.loaded, `${label} ${want.item}: the image loads (naturalWidth ${shown.naturalWidth})`);
      assert.equal(shown.naturalWidth, 266, `${label} ${want.item}: the demo picture`);
    } else {
      assert.equal(shown.src, '', `${label} ${want.item}: no image`);
      assert.equal(shown.imageFile, '', `${label} ${want.item}: no image file`);
    }
  }
}

test('every demo item shows its picture and classification', async () => {
  assert.equal(pictured.size, 29, 'the demo pictures');
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  const failed = [];
  page.on('requestfailed', (request) => failed.push(request.url()));
  await page.goto(`${base}/talwen/http_talwen.asp?function=webrpt_get_item_image2`);
  await settleImages(page);
  assert.equal(await page.title(), 'Item Image');
  checkItems(await readItems(page), products, 'item image page');
  assert.deepEqual(failed, [], 'no request failed');
  await page.screenshot({ path: join(out, 'item_image.png'), fullPage: true });

  // Filter: tools that move fast, submitted through the page's own form.
  await page.selectOption('select[name=product_class]', 'TOOL');
  await page.selectOption('select[name=product_group]', 'FAST');
  await Promise.all([page.waitForNavigation(), page.click('input[name=B1]')]);
  await settleImages(page);
  const fastTools = products.filter((p) => p.productClass === 'TOOL' && p.group === 'FAST');
  checkItems(await readItems(page), fastTools, 'fast tools');
  assert.equal(await page.$eval('select[name=product_class]', (s) => s.value), 'TOOL', 'the filter is kept');
  assert.equal(await page.$eval('select[name=product_group]', (s) => s.value), 'FAST', 'the filter is kept');
  await page.screenshot({ path: join(out, 'item_image_filtered.png'), fullPage: true });
  await page.close();
});

test('the quantity page shows stock and filters by class', async () => {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  await page.goto(`${base}/talwen/http_talwen.asp?function=webrpt_get_item_image2_qty&client=C01`);
  await settleImages(page);
  assert.equal(await page.title(), 'Item Image (with Qty)');
  const items = await readItems(page);
  checkItems(items, products.filter((p) => p.item.startsWith('A')), 'quantity page');
  const hammer = items.find((i) => i.item === 'A1001');
  assert.deepEqual(hammer.quantities, ['EA', '498', '372', '120', '6', '6', '0', '6', '120', '372'],
    'A1001: on hand, available, received, ordered, picking, pending despatch, reserved, on order, free');
  assert.equal(await page.$eval('select[name=product_class]', (s) => s.options[s.selectedIndex].text), 'All Classes');
  assert.equal(await page.$eval('select[name=show_all_status]', (s) => s.value), 'N');
  await page.screenshot({ path: join(out, 'item_image_qty.png'), fullPage: true });

  await page.selectOption('select[name=product_class]', 'ELEC');
  await Promise.all([page.waitForNavigation(), page.click('input[name=B1]')]);
  await settleImages(page);
  const electrical = products.filter((p) => p.item.startsWith('A') && p.productClass === 'ELEC');
  const filtered = await readItems(page);
  checkItems(filtered, electrical, 'electrical goods');
  assert.ok(filtered.every((i) => i.quantities && i.quantities[0] === 'EA'), 'every item has its quantities');
  assert.equal(await page.$eval('select[name=product_group]', (s) => s.options[s.selectedIndex].text), 'All Groups');
  await page.screenshot({ path: join(out, 'item_image_qty_filtered.png'), fullPage: true });
  await page.close();
});
