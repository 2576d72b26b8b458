// Moving stock: a whole pallet to another location, or part of one stock line (chosen from
// what a location holds) to another location and pallet.

import { call, failure } from './api.js';
import { isQty } from './common.js';
import { menu } from './signon.js';
import { T } from './texts.js';
import { fail, ok, show } from './ui.js';

export function move() {
  show({
    title: T.move.title,
    choices: [
      { label: T.move.pallet, run: movePallet },
      { label: T.move.item, run: moveItem },
    ],
    back: menu,
  });
}

function movePallet() {
  show({
    title: T.move.pallet,
    fields: [{ name: 'pallet', label: T.pallet }],
    back: move,
    submit: async ({ pallet }) => {
      const where = await call('rf_get_pallet_location', { pallet });
      if (where.empty || where.status < 0) return fail(failure(where, T.unknownPallet(pallet)));
      show({
        title: T.move.pallet,
        info: [[T.pallet, pallet], [T.at, `${where.get('warehouse')} ${where.get('location')}`], where.status > 0 ? where.message : ''].filter(Boolean),
        fields: [{ name: 'location', label: T.toLocation }],
        back: movePallet,
        submit: async ({ location }) => {
          const reply = await call('rf_pallet_relocation', { pallet, warehouse: where.get('warehouse'), location, grade: '' });
          if (!reply.ok) return fail(failure(reply));
          ok(reply.message);
          movePallet();
        },
      });
    },
  });
}

function moveItem() {
  show({
    title: T.move.item,
    fields: [{ name: 'location', label: T.fromLocation }],
    back: move,
    submit: async ({ location }) => {
      const held = await call('rf_get_location_items', { location });
      if (!held.records.length) return fail(T.emptyLocation(location));
      show({
        title: T.move.item,
        info: [[T.at, location]],
        choices: held.records.map((r) => ({
          label: `${r.get('item_no')} ${r.get('qty_avail')} ${r.get('uom')}`,
          detail: [r.get('pallet'), r.get('item_description')].filter(Boolean).join(' '),
          run: () => moveLine(location, r),
        })),
        back: moveItem,
      });
    },
  });
}

function moveLine(from, r) {
  show({
    title: T.move.item,
    info: [`${r.get('item_no')} ${r.get('item_description')}`, [T.at, from], r.get('pallet') ? [T.pallet, r.get('pallet')] : ''].filter(Boolean),
    fields: [
      { name: 'qty', label: T.qtyUom(r.get('uom')), kind: 'qty', value: r.get('qty_avail') },
      { name: 'location', label: T.toLocation },
      { name: 'pallet', label: T.move.toPallet, optional: true },
    ],
    back: moveItem,
    submit: async ({ qty, location, pallet }) => {
      if (!isQty(qty)) return fail(T.badQty(qty), { field: 'qty' });
      const reply = await call('rf_item_relocation2', { rec_num: r.get('rec_num'), location, pallet, qty, grade: '' });
      if (!reply.ok) return fail(failure(reply));
      ok(reply.message);
      moveItem();
    },
  });
}
