// Cycle counting: location -> its stock lines counted one by one (blind: the system's
// quantity is not shown) -> stock found that the system did not know of -> the count
// finished, which adjusts the stock.

import { call, failure } from './api.js';
import { identify, isQty } from './common.js';
import { session } from './session.js';
import { menu } from './signon.js';
import { T } from './texts.js';
import { fail, ok, show } from './ui.js';

export function count() {
  show({
    title: T.count.title,
    fields: [{ name: 'location', label: T.location }],
    back: menu,
    submit: ({ location }) => start(location),
  });
}

async function start(location) {
  const check = await call('rf_check_location_status', { location });
  if (check.status !== 0) return fail(failure(check));
  const begun = await call('rf_initialise_rf_stkcount_location', { location });
  if (!begun.ok) return fail(failure(begun));
  const stock = await call('rf_cc_get_location_stock', { location });
  const { client } = session.get();
  const c = {
    location,
    ref: begun.records[0] ? begun.records[0].get('stocktake_ref') : '',
    lines: stock.records.filter((l) => l.get('client') === client),
  };
  ok(begun.message);
  countLine(c, 0);
}

// The attributes of a stock line the counted line carries back.
const KEPT = ['lot_no', 'batch_no', 'expiry_date', 'prod_date', 'item_size', 'item_color', 'item_class', 'owner', 'grade'];

function countLine(c, i) {
  if (i >= c.lines.length) return other(c);
  const l = c.lines[i];
  show({
    title: T.count.of(i + 1, c.lines.length),
    info: [
      [T.location, c.location],
      l.get('pallet') ? [T.pallet, l.get('pallet')] : '',
      l.get('carton_no') ? [T.carton, l.get('carton_no')] : '',
      `${l.get('item_no')} ${l.get('description')}`,
      ...['lot_no', 'batch_no', 'expiry_date'].filter((k) => l.get(k)).map((k) => [T.count.detail[k], l.get(k)]),
    ].filter(Boolean),
    fields: [{ name: 'qty', label: T.qtyUom(l.get('uom')), kind: 'qty', value: l.get('count_qty') }],
    back: count,
    submit: async ({ qty }) => {
      if (!isQty(qty)) return fail(T.badQty(qty));
      const kept = Object.fromEntries(KEPT.map((k) => [k, l.get(k)]));
      const reply = await call('rf_cc_update_cycle_count', {
        ...kept,
        location: c.location,
        pallet: l.get('pallet'),
        client: l.get('client'),
        item_no: l.get('item_no'),
        uom: l.get('uom'),
        system_qty: l.get('system_qty'),
        count_qty: qty,
        stocktake_ref: c.ref,
        rec_num: l.get('rec_num'),
      });
      if (!reply.ok) return fail(failure(reply));
      ok(reply.message);
      countLine(c, i + 1);
    },
  });
}

// Stock in the location that was not on the list; Enter on an empty scan finishes.
function other(c) {
  show({
    title: T.count.title,
    info: [[T.location, c.location], T.count.otherHelp],
    fields: [{ name: 'item', label: T.item }],
    empty: () => finish(c),
    back: count,
    submit: async ({ item }) => {
      const found = await identify(item);
      if (!found) return fail(T.unknownItem(item));
      show({
        title: T.count.title,
        info: [[T.location, c.location], `${found.item} ${found.description}`],
        fields: [
          { name: 'qty', label: T.qty, kind: 'qty' },
          { name: 'uom', label: T.uom, value: found.uom },
          { name: 'pallet', label: T.pallet, optional: true },
        ],
        back: () => other(c),
        submit: async ({ qty, uom, pallet }) => {
          if (!isQty(qty)) return fail(T.badQty(qty), { field: 'qty' });
          const reply = await call('rf_cc_update_cycle_count', {
            location: c.location,
            pallet,
            item_no: found.item,
            uom,
            system_qty: '0',
            count_qty: qty,
            stocktake_ref: c.ref,
            rec_num: '',
          });
          if (!reply.ok) return fail(failure(reply));
          ok(reply.message);
          other(c);
        },
      });
    },
  });
}

async function finish(c) {
  const reply = await call('rf_update_rf_stkcount_location', { location: c.location });
  if (!reply.ok) return fail(failure(reply));
  ok(reply.message);
  count();
}
