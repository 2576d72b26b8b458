// Putaway: pallet -> the location the warehouse chooses -> the location scanned -> the pallet
// moved there and its putaway tasks closed. Replenishment: task or pallet -> the reserve
// location scanned -> the pick face scanned with the quantity moved -> the task closed.

import { call, failure } from './api.js';
import { isQty, same, samePallet } from './common.js';
import { menu } from './signon.js';
import { T } from './texts.js';
import { fail, ok, show } from './ui.js';

// The open activities of a movement type for the client in the warehouse: all of them, or
// (for a list to choose from) as many as one reply carries.
function activities(movementType, limit = '') {
  return call('rf_query_stock_movements', { movement_type: movementType, limit });
}

export function putaway() {
  show({
    title: T.putaway.title,
    fields: [{ name: 'pallet', label: T.putaway.scan }],
    empty: waiting,
    back: menu,
    submit: async ({ pallet }) => {
      // A putaway task (works order, or works order/task) stands for its pallet.
      if (!/^WO/i.test(pallet)) return locate(pallet);
      const task = (await activities('PUTAWAY')).records.find((a) => same(a.get('wo_no'), pallet) || same(`${a.get('wo_no')}/${a.get('task_no')}`, pallet));
      return task ? locate(task.get('pallet_from')) : fail(T.putaway.noTask(pallet));
    },
  });
}

async function waiting() {
  const open = await activities('PUTAWAY', 'Y');
  const byPallet = new Map();
  for (const a of open.records) {
    const pallet = a.get('pallet_from');
    if (pallet && !byPallet.has(pallet)) byPallet.set(pallet, a);
  }
  if (!byPallet.size) return fail(T.putaway.none);
  show({
    title: T.putaway.waiting,
    choices: [...byPallet].map(([pallet, a]) => ({
      label: pallet,
      detail: `${a.get('item_no')} ${a.get('qty')} ${a.get('uom')} ${a.get('location_from')}`,
      run: () => locate(pallet),
    })),
    more: open.more,
    back: menu,
  });
}

async function locate(pallet) {
  const [place, open] = await Promise.all([call('rf_get_putaway_pallet_location', { pallet }), activities('PUTAWAY')]);
  if (!place.ok) return fail(failure(place));
  const tasks = open.records.filter((a) => samePallet(a.get('pallet_from'), pallet));
  const warehouse = place.get('warehouse_to');
  const suggested = place.get('location_to');
  show({
    title: T.putaway.title,
    info: [
      [T.pallet, tasks[0] ? tasks[0].get('pallet_from') : pallet],
      ...tasks.map((a) => `${a.get('item_no')} ${a.get('qty')} ${a.get('uom')}`),
      T.putaway.goTo,
      { text: `${suggested}`, big: true },
    ],
    fields: [{ name: 'location', label: T.scanLocation }],
    back: putaway,
    submit: ({ location }) => {
      if (same(location, suggested)) return putAway(pallet, warehouse, location, tasks);
      // Another location than the one chosen: asked once more before the pallet moves.
      show({
        title: T.putaway.title,
        info: [[T.pallet, pallet], T.putaway.otherThan(suggested), { text: location.toUpperCase(), big: true }],
        choices: [{ label: T.putaway.confirmOther, run: () => putAway(pallet, warehouse, location, tasks) }],
        back: () => locate(pallet),
      });
    },
  });
}

async function putAway(pallet, warehouse, location, tasks) {
  const moved = await call('rf_putaway_stock_movements_pallet', { pallet, warehouse_to: warehouse, location_to: location });
  if (!moved.ok) return fail(failure(moved));
  const done = [];
  for (const key of new Set(tasks.map((a) => `${a.get('wo_no')}/${a.get('task_no')}`))) {
    const [wo, task] = key.split('/');
    const closed = await call('rf_close_putaway_task', {
      wo_no: wo,
      task_no: task,
      activity_no: '',
      qty: '',
      reason_code: '',
      pallet,
      warehouse,
      location,
    });
    if (!closed.ok) {
      putaway();
      return fail(`${moved.message} ${failure(closed)}`, { keep: true });
    }
    done.push(key);
  }
  ok(done.length ? `${moved.message} ${T.putaway.closed(done.join(', '))}` : moved.message);
  putaway();
}

export function replenish() {
  show({
    title: T.replenish.title,
    fields: [{ name: 'task', label: T.replenish.task }],
    empty: replenishList,
    back: menu,
    submit: async ({ task }) => {
      const found = (await activities('REPLENISH')).records.find(
        (a) => same(a.get('wo_no'), task) || same(`${a.get('wo_no')}/${a.get('task_no')}`, task) || samePallet(a.get('pallet_from'), task),
      );
      if (!found) return fail(T.replenish.unknown(task));
      fromScan(found);
    },
  });
}

async function replenishList() {
  const open = await activities('REPLENISH', 'Y');
  if (!open.records.length) return fail(T.replenish.none);
  show({
    title: T.replenish.title,
    more: open.more,
    choices: open.records.map((a) => ({
      label: `${a.get('location_to')} ${a.get('item_no')}`,
      detail: `${a.get('qty')} ${a.get('uom')} ${T.from} ${a.get('location_from')} ${a.get('wo_no')}/${a.get('task_no')}`,
      run: () => fromScan(a),
    })),
    back: menu,
  });
}

function describe(a) {
  return [`${a.get('item_no')} ${a.get('qty')} ${a.get('uom')}`, a.get('pallet_from') ? [T.pallet, a.get('pallet_from')] : ''].filter(Boolean);
}

function fromScan(a) {
  show({
    title: T.replenish.title,
    info: [...describe(a), T.replenish.takeFrom, { text: a.get('location_from'), big: true }],
    fields: [{ name: 'location', label: T.scanLocation }],
    back: replenish,
    submit: ({ location }) =>
      same(location, a.get('location_from')) || samePallet(a.get('pallet_from'), location)
        ? toScan(a)
        : fail(T.wrongLocation(a.get('location_from'))),
  });
}

function toScan(a) {
  show({
    title: T.replenish.title,
    info: [...describe(a), T.replenish.bringTo, { text: a.get('location_to'), big: true }],
    fields: [
      { name: 'location', label: T.scanLocation },
      { name: 'qty', label: T.qty, kind: 'qty', value: a.get('qty') },
      { name: 'reason', label: T.reasonIfShort, optional: true },
    ],
    back: () => fromScan(a),
    submit: async ({ location, qty, reason }) => {
      if (!same(location, a.get('location_to'))) return fail(T.wrongLocation(a.get('location_to')), { field: 'location' });
      if (!isQty(qty)) return fail(T.badQty(qty), { field: 'qty' });
      const reply = await call('rf_close_replenish_task', {
        wo_no: a.get('wo_no'),
        task_no: a.get('task_no'),
        activity_no: a.get('activity_no'),
        qty,
        reason_code: reason,
      });
      if (!reply.ok) return fail(failure(reply));
      ok(reply.message);
      replenish();
    },
  });
}
