// The handheld pages (www/) in a real browser, at the two screen sizes of the handhelds in
// use: headless Chromium drives each workflow through `talwen serve --www` on the reference
// database with the keys a scanner and a keypad send (text and Enter), and checks what the
// database holds afterwards, the red status of a wrong scan, and that a refused form keeps
// what was typed. Every screen is saved as a picture in the output folder.
//
// The orders the workflows use are made for each run (numbered from the clock), so the test
// can run again on the same database. Environment: see support.mjs.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { readdirSync, rmSync } from 'node:fs';
import { join } from 'node:path';
import { launchBrowser, out, sql, startServer } from './support.mjs';

const SIZES = [
  { name: '320x480', width: 320, height: 480 },
  { name: '240x320', width: 240, height: 320 },
];
const run = String(Date.now() % 1e8);

let server;
let browser;

before(async () => {
  server = await startServer({ signOn: true }); // the pages work with the signed sign-on
  browser = await launchBrowser();
  for (const name of readdirSync(out)) if (name.startsWith('handheld-')) rmSync(join(out, name)); // an earlier run's
});

after(async () => {
  if (browser) await browser.close();
  if (server) server.stop();
});

// A handheld at one screen size: its page and the keys an operator presses.
class Handheld {
  constructor(page, size) {
    this.page = page;
    this.size = size;
    this.shots = 0;
  }

  // Type (or scan) text into the focused field and press Enter; wait for the answer.
  async enter(text = '') {
    if (text) await this.page.keyboard.insertText(text);
    await this.page.keyboard.press('Enter');
    await this.page.waitForFunction(() => !document.body.classList.contains('busy'));
  }

  async back() {
    await this.page.keyboard.press('Escape');
    await this.page.waitForFunction(() => !document.body.classList.contains('busy'));
  }

  async title() {
    return this.page.textContent('#title');
  }

  // The status line: its kind (good, bad, note or none) and its text.
  async status() {
    return this.page.$eval('#status', (s) => [s.className, s.textContent]);
  }

  async expectStatus(kind, pattern) {
    const [shownKind, text] = await this.status();
    assert.equal(shownKind, kind, `status "${text}"`);
    assert.match(text, pattern);
  }

  async values() {
    return this.page.$$eval('#form input', (inputs) => Object.fromEntries(inputs.map((i) => [i.name, i.value])));
  }

  async big() {
    return this.page.textContent('li.big');
  }

  // Save the screen; it must fit the width and keep its controls large enough to touch.
  async shot(name) {
    const n = String(++this.shots).padStart(2, '0');
    await this.page.screenshot({ path: join(out, `handheld-${this.size.name}-${n}-${name}.png`) });
    const layout = await this.page.evaluate(() => ({
      overflow: document.documentElement.scrollWidth - window.innerWidth,
      small: [...document.querySelectorAll('input, button')]
        .filter((e) => e.getBoundingClientRect().height < 34)
        .map((e) => e.outerHTML.slice(0, 60)),
    }));
    assert.equal(layout.overflow, 0, `${name}: no horizontal scrolling`);
    assert.deepEqual(layout.small, [], `${name}: touch targets`);
  }

  async beeps() {
    return Number(await this.page.evaluate(() => document.body.dataset.beeps || 0));
  }

  // Choose the menu entry with this label by its number.
  async menu(label) {
    const labels = await this.page.$$eval('#choices button', (bs) => bs.map((b) => b.childNodes[1].textContent));
    const n = labels.indexOf(label);
    assert.ok(n >= 0, `menu entry ${label} in ${labels}`);
    await this.enter(String(n + 1));
  }
}

for (const [index, size] of SIZES.entries()) {
  describe(`handheld at ${size.name}`, () => {
    let context;
    let h;
    const tag = `${run}${index}`;
    let received = ''; // the pallet received and put away

    before(async () => {
      context = await browser.newContext({ viewport: { width: size.width, height: size.height } });
      const page = await context.newPage();
      page.on('pageerror', (e) => assert.fail(`page error: ${e.message}`));
      h = new Handheld(page, size);
      await page.goto(server.base);
    });

    after(async () => {
      if (context) await context.close();
    });

    test('sign on: a wrong password is refused, then warehouse and client by Enter alone', async () => {
      assert.equal(await h.title(), 'Sign on');
      await h.shot('sign-on');
      await h.enter('JOE');
      await h.enter('wrong');
      await h.expectStatus('bad', /Operator or password is not correct/);
      assert.equal(await h.beeps(), 1, 'the error tone');
      assert.deepEqual(await h.values(), { operator: 'JOE', password: '' }, 'the operator is kept');
      await h.shot('sign-on-refused');
      await h.enter('joe123');
      assert.equal(await h.title(), 'Warehouse');
      await h.shot('warehouse');
      await h.enter();
      assert.equal(await h.title(), 'Client');
      await h.shot('client');
      await h.enter();
      assert.equal(await h.title(), 'Menu');
      await h.shot('menu');
      const kept = await h.page.evaluate(() => JSON.stringify(sessionStorage));
      const session = JSON.parse(JSON.parse(kept)['talwen.session']);
      assert.deepEqual([session.operator, session.warehouse, session.client], ['JOE', 'W1', 'C01']);
      assert.doesNotMatch(kept, /joe123/, 'the password is never kept');
    });

    test('receive a purchase order line, check it in and put the pallet away', async () => {
      const po = `POH${tag}`;
      sql(`INSERT INTO purchase_order (client, order_no, supplier, warehouse, status, maker)
           VALUES ('C01', '${po}', 'SUP004', 'W1', 'OPEN', 'JOE');
           INSERT INTO purchase_order_line (client, order_no, line_no, item_no, uom, qty)
           VALUES ('C01', '${po}', 1, 'A1016', 'EA', 20)`);
      await h.menu('Receive');
      await h.enter(`NO${tag}`);
      await h.expectStatus('bad', /No open PO or receipt/);
      await h.enter(po);
      if ((await h.title()) === 'Check-in station') await h.enter();
      const receipt = (await h.title()).replace('Receipt ', '');
      await h.expectStatus('good', new RegExp(`Receipt ${receipt} created`));
      await h.shot('receipt');
      await h.enter('A1016');
      await h.shot('receipt-line');
      await h.enter('25');
      await h.enter();
      await h.enter();
      await h.expectStatus('bad', /above the 20 EA that purchase order/);
      assert.deepEqual(await h.values(), { qty: '25', uom: 'EA', pallet: '' }, 'the refused line keeps what was typed');
      await h.shot('receipt-line-refused');
      await h.enter('12');
      await h.enter();
      await h.enter();
      await h.expectStatus('good', /Line 1 stored: 12 EA of A1016 on pallet/);
      await h.enter();
      await h.shot('receipt-menu');
      await h.enter('2');
      await h.expectStatus('good', /checked in/);
      const [pallet, stock] = sql(`SELECT l.pallet, s.location || ' ' || s.qty || ' ' || s.status FROM receipt_line l
                                   JOIN stock s ON s.rec_num = l.rec_num
                                   WHERE l.client = 'C01' AND l.receipt_no = '${receipt}'`).split('|');
      assert.equal(stock, 'RCV-01 12 RECEIVING');
      assert.equal(sql(`SELECT status FROM receipt WHERE client = 'C01' AND receipt_no = '${receipt}'`), 'CLOSED');

      await h.back();
      await h.menu('Put away');
      await h.enter('P0000000');
      await h.expectStatus('bad', /P0000000/);
      assert.deepEqual(await h.values(), { pallet: '' }, 'the scan field is cleared for the next scan');
      await h.enter(pallet);
      const target = await h.big();
      await h.shot('putaway-location');
      await h.enter('RCV-02'); // not the location chosen: asked again, then refused
      assert.equal(await h.big(), 'RCV-02');
      await h.shot('putaway-other');
      await h.enter('1');
      await h.expectStatus('bad', /RCV-02/);
      await h.enter('0');
      await h.enter(target);
      await h.expectStatus('good', new RegExp(`put away to W1/${target}.*Task WO\\d+/1 closed`));
      assert.equal(sql(`SELECT location || ' ' || status FROM stock WHERE pallet = '${pallet}'`), `${target} AVAILABLE`);
      received = pallet;
      assert.equal(sql(`SELECT string_agg(a.status, ',') FROM activity a JOIN stock s ON s.rec_num = a.rec_num
                        WHERE s.pallet = '${pallet}' AND a.movement_type = 'PUTAWAY'`), 'COMPLETED');
      await h.back();
      assert.equal(await h.title(), 'Menu');
    });

    test('pick an order onto a new pallet and despatch it', async () => {
      const so = `SOH${tag}`;
      sql(`INSERT INTO sales_order (client, order_no, customer, reference_no, warehouse, despatch, delivery_date,
                                    dlvr_to, carrier, maker)
           VALUES ('C01', '${so}', 'CUST003', 'HANDHELD', 'W1', 'DSPH${tag}', current_date + 1, 'Goods in',
                   'REDVAN', 'JOE');
           INSERT INTO sales_order_line (client, order_no, line_no, org_item, item_no, uom, qty)
           VALUES ('C01', '${so}', 1, 'A1011', 'A1011', 'EA', 5)`);
      await h.menu('Pick');
      await h.enter(so);
      await h.expectStatus('good', /1 picks on/);
      await h.enter(); // a new outbound pallet
      const [, drawn] = await h.status();
      const out = /pallet (\S+):/.exec(drawn)[1];
      assert.equal(await h.title(), 'Pick 1/1');
      const location = await h.big();
      await h.shot('pick-location');
      await h.enter('D-20-1');
      await h.expectStatus('bad', new RegExp(`Wrong place: go to ${location}`));
      await h.enter(location);
      await h.shot('pick-item');
      await h.enter('A1012');
      await h.enter();
      await h.expectStatus('bad', /Wrong item: pick A1011/);
      assert.deepEqual(await h.values(), { item: 'A1012', qty: '5' }, 'the refused pick keeps what was typed');
      await h.enter('A1011');
      await h.enter();
      await h.expectStatus('good', new RegExp(`Picked 5 EA of A1011 .* onto pallet ${out}`));
      assert.equal(await h.title(), `${so} picked`);
      assert.equal(sql(`SELECT status FROM sales_order WHERE client = 'C01' AND order_no = '${so}'`), 'PICKED');
      assert.equal(sql(`SELECT string_agg(t.status, ',') FROM task t JOIN works_order w USING (wo_no)
                        WHERE w.client = 'C01' AND w.order_no = '${so}'`), 'COMPLETED');
      await h.shot('picked');

      await h.enter('1'); // despatch
      await h.enter('P0000000');
      await h.expectStatus('bad', /is not to go with/);
      await h.enter(out);
      await h.shot('despatch');
      await h.enter(`TRIP${tag}`);
      await h.enter('TRK-1');
      await h.enter();
      await h.enter('NOSUCH');
      await h.enter('Sam');
      await h.expectStatus('bad', /Carrier NOSUCH is not known/);
      assert.equal((await h.values()).trip, `TRIP${tag}`, 'the refused despatch keeps what was typed');
      await h.page.fill('#f-carrier', 'REDVAN');
      await h.page.fill('#f-driver', 'Sam Carter');
      await h.enter();
      await h.expectStatus('good', new RegExp(`Pallet ${out} despatched on TRIP${tag}`));
      assert.equal(sql(`SELECT status || ' ' || trip || ' ' || carrier FROM despatch_pallet
                        WHERE client = 'C01' AND order_no = '${so}'`), `DESPATCHED TRIP${tag} REDVAN`);
      assert.equal(sql(`SELECT status FROM sales_order WHERE client = 'C01' AND order_no = '${so}'`), 'DESPATCHED');
      assert.equal(sql(`SELECT string_agg(qty || ' ' || status, ',') FROM stock WHERE pallet = '${out}'`), '0 DESPATCHED');
      await h.back();
      assert.equal(await h.title(), 'Menu');
    });

    test('count a location with a difference', async () => {
      // A location of C01 holding one line that nothing has booked: the index-th such, by name.
      const [location, recNum, qty] = sql(`SELECT s.location, s.rec_num, s.qty FROM stock s
          JOIN product p ON p.client = s.client AND p.item_no = s.item_no AND p.serial_no_flag = 'N'
          WHERE s.client = 'C01' AND s.warehouse = 'W1' AND s.location LIKE 'A-1%' AND s.qty > 1
            AND s.item_no <> 'A1001' AND s.qty_booked = 0
            AND NOT EXISTS (SELECT 1 FROM stock o WHERE o.warehouse = s.warehouse AND o.location = s.location
                            AND o.rec_num <> s.rec_num AND o.qty > 0)
          ORDER BY s.location OFFSET ${index} LIMIT 1`).split('|');
      await h.menu('Cycle count');
      await h.enter('Z-99-9');
      await h.expectStatus('bad', /Z-99-9/);
      await h.enter(location);
      assert.equal(await h.title(), 'Count 1/1');
      await h.shot('count-line');
      const counted = Number(qty) - 1;
      await h.enter(String(counted));
      await h.expectStatus('good', new RegExp(`difference -1`));
      await h.shot('count-other');
      await h.enter(); // nothing else here: finish
      await h.expectStatus('good', /1 adjusted/);
      assert.equal(sql(`SELECT qty FROM stock WHERE rec_num = ${recNum}`), String(counted));
      assert.equal(sql(`SELECT qty_before || '>' || qty_after FROM stock_movement
                        WHERE rec_num = ${recNum} AND movement_type = 'COUNT' ORDER BY movement_id DESC LIMIT 1`),
        `${qty}>${counted}`);
      await h.back();
      assert.equal(await h.title(), 'Menu');
    });

    test('move a pallet, then replenish a pick face', async () => {
      const free = sql(`SELECT l.location FROM location l
          WHERE l.warehouse = 'W1' AND l.location_type = 'BULK' AND l.status = 'ACTIVE'
            AND NOT EXISTS (SELECT 1 FROM stock s WHERE s.warehouse = l.warehouse AND s.location = l.location AND s.qty > 0)
            AND NOT EXISTS (SELECT 1 FROM activity a WHERE a.warehouse_to = l.warehouse AND a.location_to = l.location
                            AND a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS'))
          ORDER BY l.location DESC LIMIT 1`);
      await h.menu('Move stock');
      await h.enter('1');
      await h.enter(received);
      await h.shot('move-pallet');
      await h.enter('NOWHERE');
      await h.expectStatus('bad', /NOWHERE/);
      await h.enter(free);
      await h.expectStatus('good', new RegExp(`moved to W1/${free}`));
      assert.equal(sql(`SELECT string_agg(DISTINCT location, ',') FROM stock WHERE pallet = '${received}' AND qty > 0`), free);
      await h.back();
      await h.back();

      // A replenishment of pick face P-14 from the first bulk line of its product.
      const wo = `WOH${tag}`;
      const [recNum, from] = sql(`SELECT rec_num, location FROM stock WHERE client = 'C01' AND item_no = 'A1014'
                                  AND location LIKE 'A-%' AND qty - qty_booked >= 10 ORDER BY rec_num LIMIT 1`).split('|');
      const faceQty = () => sql(`SELECT coalesce(sum(qty), 0) FROM stock WHERE location = 'P-14' AND item_no = 'A1014'`);
      const before = Number(faceQty());
      sql(`INSERT INTO works_order (wo_no, movement_type, client, warehouse, area, order_no, priority, status, maker)
           VALUES ('${wo}', 'REPLENISH', 'C01', 'W1', 'PICK', '', 2, 'OPEN', 'JOE');
           INSERT INTO task (wo_no, task_no, client, order_no, item_no, uom, qty, status)
           VALUES ('${wo}', 1, 'C01', '', 'A1014', 'EA', 10, 'OPEN');
           INSERT INTO activity (wo_no, task_no, activity_no, movement_type, client, item_no, uom, qty, rec_num,
                                 warehouse_from, location_from, area_from, pallet_from, warehouse_to, location_to, status)
           SELECT '${wo}', 1, 1, 'REPLENISH', client, item_no, uom, 10, rec_num, warehouse, location, 'BULK', pallet,
                  'W1', 'P-14', 'OPEN' FROM stock WHERE rec_num = ${recNum};
           UPDATE stock SET qty_booked = qty_booked + 10 WHERE rec_num = ${recNum}`);
      await h.menu('Replenish');
      await h.enter(`${wo}/1`);
      assert.equal(await h.big(), from);
      await h.shot('replenish-from');
      await h.enter('P-14');
      await h.expectStatus('bad', new RegExp(`go to ${from}`));
      await h.enter(from);
      await h.shot('replenish-to');
      await h.enter('P-14');
      await h.enter();
      await h.enter();
      await h.expectStatus('good', new RegExp(`Replenishment task ${wo}/1 closed: 10 EA of A1014 moved into P-14`));
      assert.equal(Number(faceQty()), before + 10);
      assert.equal(sql(`SELECT status FROM activity WHERE wo_no = '${wo}'`), 'COMPLETED');
      await h.back();
      assert.equal(await h.title(), 'Menu');
    });

    test('enquiries answer below the scan and link the item pictures', async () => {
      await h.menu('Enquiry');
      await h.enter('1');
      await h.enter('9310000000018'); // the each barcode of A1001
      const answer = await h.page.$$eval('#answer li', (ls) => ls.map((l) => l.textContent));
      assert.equal(answer[0], 'A1001');
      assert.ok(answer.some((l) => l.startsWith('P-01 ')), answer.join(' / '));
      const link = await h.page.getAttribute('#answer a', 'href');
      assert.match(link, /function=webrpt_get_item_image2_qty&client=C01&item_start=A1001&item_end=A1001/);
      await h.shot('enquiry-item');
      await h.enter('NOSUCH');
      await h.expectStatus('bad', /Unknown item NOSUCH/);
      assert.deepEqual(await h.page.$$eval('#answer li', (ls) => ls.length), 0, 'the earlier answer goes');
      await h.enter(); // an empty scan goes back
      await h.back();
      assert.equal(await h.title(), 'Menu');
    });

    test('a scan read twice at once counts once', async () => {
      // On the menu a wrong number is refused at once, with the error tone: the scanner's
      // second read of the same text right after it is ignored; the same scan later is not.
      assert.equal(await h.title(), 'Menu');
      const tones = await h.beeps();
      await h.page.evaluate(async () => {
        const input = document.getElementById('f-choice');
        for (let i = 0; i < 2; i++) {
          input.value = '99';
          input.dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter', bubbles: true }));
          await Promise.resolve();
        }
      });
      await h.expectStatus('bad', /No choice 99/);
      assert.equal(await h.beeps(), tones + 1, 'the second read was ignored');
      await h.page.waitForTimeout(150); // past the 100 ms in which a second read is ignored
      await h.enter('99');
      assert.equal(await h.beeps(), tones + 2, 'a later scan counts');
    });

    test('calls that bring no answer: no connection, an empty reply, an ended sign-on', async () => {
      const gateway = '**/talwen/http_talwen.asp';
      await h.menu('Put away');
      await h.page.route(gateway, (route) => route.abort('connectionrefused'));
      await h.enter('P0000017');
      await h.expectStatus('bad', /No connection/);
      assert.deepEqual(await h.values(), { pallet: 'P0000017' }, 'what was typed stays');
      await h.page.unroute(gateway);

      // An empty reply is a failure, told by the gateway's reason when it gives one.
      await h.page.route(gateway, (route) =>
        route.fulfill({ status: 200, body: '', headers: { 'Talwen-Error': 'Database time-out, try again' } }));
      await h.page.fill('#f-pallet', 'P0000024');
      await h.enter();
      await h.expectStatus('bad', /^Database time-out, try again$/);
      assert.deepEqual(await h.values(), { pallet: 'P0000024' }, 'what was typed stays');
      await h.page.unroute(gateway);

      await h.page.route(gateway, (route) => route.fulfill({ status: 401, body: '' }));
      await h.page.fill('#f-pallet', 'P0000031');
      await h.enter();
      await h.page.unroute(gateway);
      assert.equal(await h.title(), 'Sign on');
      await h.expectStatus('bad', /sign on again/);
      assert.equal((await h.values()).operator, 'JOE');
      assert.equal(await h.page.evaluate(() => sessionStorage.getItem('talwen.session')), null);
      await h.shot('signed-out');
    });
  });
}
