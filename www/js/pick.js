// Picking: order -> its pick list (extracted once) -> an outbound pallet -> for each pick:
// the location, the item and quantity, the serial numbers -> each pick task closed when its
// last pick is done (a reason for what was short). Despatch: order -> a pallet of its
// despatch list -> its contents, trip and vehicle -> despatch confirmed.

import { call, failure } from './api.js';
import { identify, isQty, reasonChoices, same, samePallet, serials } from './common.js';
import { session } from './session.js';
import { menu } from './signon.js';
import { T } from './texts.js';
import { fail, note, ok, show } from './ui.js';

function orderScreen(title, then, empty, value = '') {
  show({
    title,
    fields: [{ name: 'order', label: T.order, value }],
    empty,
    back: menu,
    submit: ({ order }) => then(order),
  });
}

// The order's header; null (with the refusal shown) when there is none.
async function header(order) {
  const reply = await call('rf_query_sales_order2', { customer: '', so_no: order });
  if (reply.empty) {
    fail(T.unknownOrder(order));
    return null;
  }
  return {
    so: reply.get('so_no'),
    customer: reply.get('customer'),
    name: reply.get('customer_name'),
    despatch: reply.get('despatch'),
  };
}

export function pick() {
  orderScreen(T.pick.title, pickOrder, outstanding);
}

async function outstanding() {
  const reply = await call('rf_rpt_outstanding_sales_order', { customer: '', despatch: '' });
  if (!reply.records.length) return fail(T.pick.noOrders);
  show({
    title: T.pick.orders,
    choices: reply.records.map((o) => ({
      label: o.get('so_no'),
      detail: `${o.get('customer_name')} ${o.get('delivery_date')}`,
      run: () => pickOrder(o.get('so_no')),
    })),
    back: menu,
  });
}

// A pick of the list: its tab-separated values by position.
function pickOf(v) {
  return {
    wo: v[0],
    line: v[1],
    task: v[2],
    activity: v[3],
    item: v[5],
    description: v[6],
    warehouse: v[7],
    location: v[8],
    pallet: (v[10] ?? '') + (v[11] ?? ''),
    rec: v[12],
    qty: v[13],
    uom: v[14],
    picked: 0,
  };
}

async function pickOrder(order) {
  const o = await header(order);
  if (!o) return;
  const [list, lines] = await Promise.all([
    call('rf_extract_order_picklist', { customer: o.customer, so_no: o.so, despatch: o.despatch }),
    call('rf_query_sales_detail2', { customer: o.customer, so_no: o.so }),
  ]);
  o.picks = list.rows.map(pickOf);
  if (!o.picks.length) return fail(failure(list, T.pick.nothing(o.so)));
  o.serials = new Map(
    lines.records.filter((l) => l.get('serial_no_flag') === 'Y').map((l) => [l.get('line_no'), Number(l.get('num_serial')) || 1]),
  );
  ok(T.pick.listed(o.picks.length, o.so));
  outboundPallet(o);
}

function outboundPallet(o) {
  show({
    title: T.pick.title,
    info: [`${o.so} ${o.name}`, T.pick.palletHelp],
    fields: [{ name: 'pallet', label: T.pick.outbound }],
    empty: async () => {
      const reply = await call('rf_next_pallet_no', { customer: o.customer });
      const label = reply.get('pallet_no');
      if (!label) return fail(T.pick.noLabel);
      note(T.pick.newPallet(label));
      o.to = label;
      pickAt(o, 0);
    },
    back: pick,
    submit: ({ pallet }) => {
      o.to = pallet;
      pickAt(o, 0);
    },
  });
}

function pickAt(o, i) {
  if (i >= o.picks.length) return picked(o);
  const p = o.picks[i];
  show({
    title: T.pick.of(i + 1, o.picks.length),
    info: [
      { text: p.location, big: true },
      p.pallet ? [T.pallet, p.pallet] : '',
      `${p.item} ${p.description}`,
      [T.qty, `${p.qty} ${p.uom}`],
    ].filter(Boolean),
    fields: [{ name: 'location', label: T.scanLocation }],
    empty: () => pickMenu(o, i),
    back: () => pickMenu(o, i),
    submit: ({ location }) =>
      same(location, p.location) || samePallet(p.pallet, location) ? pickItem(o, i) : fail(T.wrongLocation(p.location)),
  });
}

function pickMenu(o, i) {
  show({
    title: T.pick.of(i + 1, o.picks.length),
    choices: [
      { label: T.pick.notFound, run: () => afterPick(o, i) },
      { label: T.pick.leave, run: pick },
    ],
    back: () => pickAt(o, i),
  });
}

function pickItem(o, i) {
  const p = o.picks[i];
  show({
    title: T.pick.of(i + 1, o.picks.length),
    info: [[T.location, p.location], `${p.item} ${p.description}`, [T.pick.toPallet, o.to]],
    fields: [
      { name: 'item', label: T.item },
      { name: 'qty', label: T.qtyUom(p.uom), kind: 'qty', value: p.qty },
    ],
    back: () => pickAt(o, i),
    submit: async ({ item, qty }) => {
      if (!same(item, p.item)) {
        const found = await identify(item);
        if (!found || !same(found.item, p.item)) return fail(T.wrongItem(p.item));
      }
      if (!isQty(qty)) return fail(T.badQty(qty), { field: 'qty' });
      if (Number(qty) > 0) {
        const reply = await call('rf_confirm_item_picked', {
          customer: o.customer,
          so_no: o.so,
          wo_no: p.wo,
          task: p.task,
          activity: p.activity,
          line_no: p.line,
          item_no: p.item,
          uom: p.uom,
          qty,
          source: p.pallet,
          warehouse: p.warehouse,
          location: p.location,
          rec_num: p.rec,
          despatch: o.despatch,
          destination: o.to,
        });
        if (!reply.ok) return fail(failure(reply));
        ok(reply.message);
        p.picked = Number(qty);
      }
      const perUnit = o.serials.get(p.line);
      if (!perUnit || !p.picked) return afterPick(o, i);
      serials({
        title: T.pick.of(i + 1, o.picks.length),
        item: `${p.item} ${p.description}`,
        count: Math.ceil(p.picked * perUnit),
        record: (serial) =>
          call('rf_update_so_serial', { item_no: p.item, serial_no: serial, customer: o.customer, so_no: o.so, pallet: o.to }),
        done: () => afterPick(o, i),
        back: () => afterPick(o, i),
      });
    },
  });
}

// After the last pick of a task, the task is closed with what was picked in all; a task
// that came short asks for the reason first.
async function afterPick(o, i) {
  const p = o.picks[i];
  p.handled = true;
  const task = o.picks.filter((q) => q.wo === p.wo && q.task === p.task);
  if (task.some((q) => !q.handled)) return pickAt(o, i + 1);
  const total = task.reduce((sum, q) => sum + q.picked, 0);
  const short = task.some((q) => q.picked < Number(q.qty));
  const close = async (reason) => {
    const reply = await call('rf_close_pick_task', {
      wo_no: p.wo,
      task_no: p.task,
      activity_no: '',
      pick_qty: String(total),
      reason_code: reason,
    });
    if (!reply.ok) return fail(failure(reply));
    if (reason) ok(reply.message); // a whole pick has told its own confirmation already
    pickAt(o, i + 1);
  };
  if (!short) return close('');
  const choices = await reasonChoices(close);
  show({
    title: T.pick.short,
    info: [`${p.item} ${T.pick.shortBy(task.reduce((s, q) => s + Number(q.qty), 0) - total, p.uom)}`],
    choices,
    back: () => pickAt(o, i),
  });
}

function picked(o) {
  const choices = [{ label: T.pick.next, run: pick }];
  if ((session.get().rights || []).includes('DESPATCH')) {
    choices.unshift({ label: T.menu.despatch, run: () => despatchOrder(o.so) });
  }
  show({ title: T.pick.done(o.so), info: [[T.pick.toPallet, o.to]], choices, back: pick });
}

export function despatch(order = '') {
  orderScreen(T.despatch.title, despatchOrder, waiting, order);
}

// The pallets on despatch lists of the client, for one order or all.
async function despatchList(o) {
  const reply = await call('rf_extract_despatch_list', { customer: o ? o.customer : '', so_no: o ? o.so : '' });
  return reply.rows.map((v) => ({ so: v[2], pallet: (v[3] ?? '') + (v[4] ?? ''), despatch: v[5] }));
}

async function waiting() {
  const pallets = await despatchList(null);
  if (!pallets.length) return fail(T.despatch.none);
  show({
    title: T.despatch.waiting,
    choices: pallets.map((p) => ({ label: p.pallet, detail: p.so, run: () => despatchOrder(p.so, p.pallet) })),
    back: menu,
  });
}

async function despatchOrder(order, pallet = '') {
  const o = await header(order);
  if (!o) return;
  const pallets = await despatchList(o);
  if (!pallets.length) return fail(T.despatch.nothing(o.so));
  const chosen = pallets.find((p) => samePallet(p.pallet, pallet));
  if (chosen) return confirm(o, chosen.pallet);
  show({
    title: T.despatch.title,
    info: [`${o.so} ${o.name}`, ...pallets.map((p) => p.pallet)],
    fields: [{ name: 'pallet', label: T.pallet }],
    empty: () =>
      show({
        title: T.despatch.title,
        choices: pallets.map((p) => ({ label: p.pallet, run: () => confirm(o, p.pallet) })),
        back: () => despatchOrder(o.so),
      }),
    back: despatch,
    submit: ({ pallet: scan }) => {
      const found = pallets.find((p) => samePallet(p.pallet, scan));
      return found ? confirm(o, found.pallet) : fail(T.despatch.notListed(scan, o.so));
    },
  });
}

async function confirm(o, pallet) {
  const items = await call('rf_get_despatch_pallet_items', { so_no: o.so, pallet });
  show({
    title: T.despatch.pallet(pallet),
    info: [o.so, ...items.rows.map((v) => `${v[1]} ${v[4]} ${v[3]}`)],
    fields: [
      { name: 'trip', label: T.despatch.trip },
      { name: 'vehicle', label: T.despatch.vehicle, optional: true },
      { name: 'route', label: T.despatch.route, optional: true },
      { name: 'carrier', label: T.despatch.carrier, optional: true },
      { name: 'driver', label: T.despatch.driver, kind: 'text', optional: true },
    ],
    back: () => despatchOrder(o.so),
    submit: async (values) => {
      // The despatch answers only yes or no: name an unknown carrier before asking.
      if (values.carrier) {
        const known = await call('rf_get_carrier', { carrier: values.carrier, limit: '' });
        if (!known.records.some((r) => same(r.get('carrier'), values.carrier))) {
          return fail(T.despatch.noCarrier(values.carrier), { field: 'carrier' });
        }
      }
      const reply = await call('rf_confirm_despatch', { customer: o.customer, so_no: o.so, despatch: o.despatch, pallet, ...values });
      if (reply.text !== '0') return fail(T.despatch.refused);
      ok(T.despatch.done(pallet, values.trip));
      const left = await despatchList(o);
      return left.length ? despatchOrder(o.so) : despatch();
    },
  });
}
