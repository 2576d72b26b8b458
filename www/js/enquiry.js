// Enquiries: what an item is and where it is held, what a location holds, where a pallet
// stands and what is on it. Each screen answers below the scan field and waits for the next.

import { call } from './api.js';
import { identify } from './common.js';
import { session } from './session.js';
import { menu } from './signon.js';
import { T } from './texts.js';
import { fail, show } from './ui.js';

export function enquiry() {
  show({
    title: T.enquiry.title,
    choices: [
      { label: T.enquiry.item, run: () => lookup(T.enquiry.item, T.item, itemLines) },
      { label: T.enquiry.location, run: () => lookup(T.enquiry.location, T.location, locationLines) },
      { label: T.enquiry.pallet, run: () => lookup(T.enquiry.pallet, T.pallet, palletLines) },
    ],
    back: menu,
  });
}

// A scan field whose answer (lines, or a refusal) is shown on the same screen.
function lookup(title, label, answer, lines = []) {
  show({
    title,
    answer: lines,
    fields: [{ name: 'scan', label }],
    back: enquiry,
    submit: async ({ scan }) => {
      const found = await answer(scan);
      if (typeof found !== 'string') return lookup(title, label, answer, found);
      lookup(title, label, answer);
      return fail(found);
    },
  });
}

// The page with the item's picture and stock figures, for this client and item.
function picturePage(item) {
  const query = new URLSearchParams({
    function: 'webrpt_get_item_image2_qty',
    client: session.get().client,
    item_start: item,
    item_end: item,
  });
  return `talwen/http_talwen.asp?${query}`;
}

async function itemLines(scan) {
  const found = await identify(scan);
  if (!found) return T.unknownItem(scan);
  const [product, held] = await Promise.all([
    call('rf_get_product_description', { item_no: found.item }),
    call('rf_get_item_locations2', { item_no: found.item }),
  ]);
  const p = product.top;
  return [
    { text: found.item, big: true },
    p.get('description'),
    [T.enquiry.status, p.get('status')],
    [T.enquiry.category, `${p.get('category')} ${p.get('product_group')}`],
    ...held.records.map((r) => `${r.get('location')} ${r.get('qty')} ${r.get('uom')} ${r.get('pallet')} ${r.get('status')}`),
    held.records.length ? '' : T.enquiry.noStock,
    { text: T.enquiry.picture, href: picturePage(found.item) },
  ].filter(Boolean);
}

async function locationLines(scan) {
  const held = await call('rf_get_location_items', { location: scan });
  if (!held.records.length) return T.emptyLocation(scan);
  return [
    { text: scan.toUpperCase(), big: true },
    ...held.records.map((r) =>
      [r.get('item_no'), r.get('qty_avail'), r.get('uom'), Number(r.get('qty_booked')) ? T.enquiry.booked(r.get('qty_booked')) : '', r.get('pallet')]
        .filter(Boolean)
        .join(' '),
    ),
  ];
}

async function palletLines(scan) {
  const [where, held] = await Promise.all([call('rf_get_pallet_location', { pallet: scan }), call('rf_get_pallet_items3', { pallet: scan })]);
  if (where.empty || where.status < 0) return where.message || T.unknownPallet(scan);
  return [
    { text: `${where.get('warehouse')} ${where.get('location')}`, big: true },
    where.status > 0 ? where.message : '',
    ...held.records.map((r) => `${r.get('item_no')} ${r.get('qty_avail')} ${r.get('uom')} ${r.get('grade')}`),
  ].filter(Boolean);
}
