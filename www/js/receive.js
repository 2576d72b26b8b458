// Receiving: a purchase order (or a receipt already open) -> the receipt header -> item,
// quantity and the attributes the product asks for -> the line stored (and its serial
// numbers) -> the receipt's lines, deleted when wrong -> check-in or closing.

import { call, failure } from './api.js';
import { identify, isQty, same, serials, today } from './common.js';
import { device, session } from './session.js';
import { menu } from './signon.js';
import { T } from './texts.js';
import { fail, ok, show } from './ui.js';

export function receive() {
  show({
    title: T.receive.title,
    fields: [{ name: 'order', label: T.receive.order }],
    empty: listOpen,
    back: menu,
    submit: ({ order }) => open(order),
  });
}

async function listOpen() {
  const [receipts, orders] = await Promise.all([call('rf_get_open_receipts', { receipt_no: '' }), call('rf_get_open_pos')]);
  const choices = [
    ...receipts.records.map((r) => ({
      label: r.get('receipt_no'),
      detail: `${r.get('status')} ${r.get('client_po_no')}`,
      run: () => open(r.get('receipt_no')),
    })),
    ...orders.records.map((o) => ({ label: o.get('po_no'), detail: o.get('supplier_name'), run: () => open(o.get('po_no')) })),
  ];
  if (!choices.length) return fail(T.receive.nothingOpen);
  show({ title: T.receive.open, choices, back: menu });
}

// A receipt number carries on with that receipt; an order number starts a new receipt.
async function open(code) {
  const receipts = await call('rf_get_open_receipts', { receipt_no: code });
  const found = receipts.records.find((r) => same(r.get('receipt_no'), code));
  if (found) {
    const po = found.get('client_po_no');
    const lines = po ? (await call('rf_get_po', { po_no: po, limit: '' })).records : [];
    return scanItem({ receipt: found.get('receipt_no'), po, lines });
  }
  const order = await call('rf_get_po', { po_no: code, limit: '' });
  if (!order.records.length) return fail(T.receive.unknown(code));
  const po = order.records[0].get('po_no');
  const stations = (await call('rf_get_check_in_station')).top.all('station');
  if (!stations.length) return fail(T.receive.noStation(session.get().warehouse));
  const known = [device.get().station, session.get().checkIn].find((s) => stations.includes(s));
  if (known) return createReceipt(po, order.records, known);
  show({
    title: T.receive.station,
    info: [T.enterTakes(stations[0])],
    choices: stations.map((station) => ({ label: station, run: () => createReceipt(po, order.records, station) })),
    empty: () => createReceipt(po, order.records, stations[0]),
    back: receive,
  });
}

async function createReceipt(po, lines, station) {
  const reply = await call('rf_check_in_header', {
    receipt_no: '',
    station,
    receipt_date: today(),
    receipt_type: 'PO',
    client_po_no: po,
    remarks: '',
  });
  if (!reply.ok) return fail(failure(reply));
  session.update({ checkIn: station });
  ok(reply.message);
  scanItem({ receipt: reply.get('receipt_no'), po, lines });
}

function scanItem(r) {
  show({
    title: T.receive.receipt(r.receipt),
    info: [
      [T.receive.po, r.po],
      ...r.lines.map((l) => `${l.get('item_no')} ${T.receive.left(l.get('qty_balanced'), l.get('uom'))}`),
    ],
    fields: [{ name: 'item', label: T.item }],
    empty: () => receiptMenu(r),
    back: receive,
    submit: async ({ item }) => {
      const found = await identify(item);
      if (!found) return fail(T.unknownItem(item));
      const product = await call('rf_get_product_info', { item_no: found.item });
      lineForm(r, found, product.top);
    },
  });
}

// The attributes a product asks for on receipt: [flag, session key, label].
const ATTRIBUTES = [
  ['lot_no_flag', 'lot', 'lot'],
  ['batch_no_flag', 'batch', 'batch'],
  ['expiry_date_flag', 'expiry_date', 'expiry'],
  ['production_date_flag', 'prod_date', 'made'],
  ['item_size_flag', 'size', 'size'],
  ['item_color_flag', 'color', 'color'],
  ['item_class_flag', 'class', 'class'],
  ['dimensions_flag', 'width', 'width'],
  ['dimensions_flag', 'depth', 'depth'],
  ['dimensions_flag', 'height', 'height'],
  ['weight_required', 'weight', 'weight'],
];

function lineForm(r, found, product) {
  const po = r.lines.find((l) => same(l.get('item_no'), found.item));
  const fields = [
    { name: 'qty', label: T.qty, kind: 'qty' },
    { name: 'uom', label: T.uom, value: found.uom || (po && po.get('uom')) || '' },
    ...ATTRIBUTES.filter(([flag]) => product.get(flag) === 'Y').map(([, name, label]) => ({
      name,
      label: T.receive.attribute[label],
      kind: ['width', 'depth', 'height', 'weight'].includes(name) ? 'qty' : 'scan',
    })),
    { name: 'pallet', label: T.receive.pallet, optional: true },
  ];
  show({
    title: T.receive.receipt(r.receipt),
    info: [`${found.item} ${found.description}`, po ? T.receive.left(po.get('qty_balanced'), po.get('uom')) : T.receive.notOnOrder],
    fields,
    back: () => scanItem(r),
    submit: async (values) => {
      if (!isQty(values.qty)) return fail(T.badQty(values.qty), { field: 'qty' });
      const reply = await call('rf_check_duplicate_receipt_detail', {
        receipt_no: r.receipt,
        line_no: '',
        item_no: found.item,
        ...values,
      });
      if (!reply.ok) return fail(failure(reply));
      ok(reply.message);
      const perUnit = Number(product.get('num_serial')) || 1;
      if (product.get('serial_no_flag') !== 'Y') return scanItem(r);
      serials({
        title: T.receive.receipt(r.receipt),
        item: `${found.item} ${found.description}`,
        count: Math.ceil(Number(values.qty) * perUnit),
        record: (serial) =>
          call('rf_update_receipt_serial2', {
            item_no: found.item,
            serial_no: serial,
            receipt_no: r.receipt,
            receipt_date: today(),
            receipt_line: reply.get('line_no'),
            supplier: '',
            pallet: '',
          }),
        done: () => scanItem(r),
        back: () => scanItem(r),
      });
    },
  });
}

function receiptMenu(r) {
  const finish = (fn, message) => async () => {
    const reply = await call(fn, { receipt_no: r.receipt });
    if (!reply.ok) return fail(failure(reply));
    ok(reply.message || message);
    return fn === 'rf_receipt_checkin_without_closing' ? scanItem(r) : receive();
  };
  show({
    title: T.receive.receipt(r.receipt),
    choices: [
      { label: T.receive.lines, run: () => lines(r) },
      { label: T.receive.checkIn, detail: T.receive.checkInHelp, run: finish('rf_receipt_checkin') },
      { label: T.receive.checkInOpen, run: finish('rf_receipt_checkin_without_closing') },
      { label: T.receive.close, run: finish('rf_close_receipt2') },
    ],
    back: () => scanItem(r),
  });
}

async function lines(r, afterDelete = false) {
  const reply = await call('rf_get_receipt_detail3', { receipt_no: r.receipt });
  if (!reply.records.length) return afterDelete ? scanItem(r) : fail(T.receive.noLines);
  show({
    title: T.receive.linesOf(r.receipt),
    choices: reply.records.map((l) => ({
      label: `${l.get('item_no')} ${l.get('qty')} ${l.get('uom')}`,
      detail: `${T.receive.line(l.get('line_no'))} ${l.get('pallet')}${l.get('checked_in') === 'Y' ? ` ${T.receive.checkedIn}` : ''}`,
      run: () => line(r, l),
    })),
    back: () => receiptMenu(r),
  });
}

function line(r, l) {
  const shown = ['lot_no', 'batch_no', 'expiry_date', 'prod_date', 'serial_qty'].filter((k) => l.get(k) && l.get(k) !== '0');
  show({
    title: T.receive.line(l.get('line_no')),
    info: [
      `${l.get('item_no')} ${l.get('item_description')}`,
      [T.qty, `${l.get('qty')} ${l.get('uom')}`],
      [T.pallet, l.get('pallet')],
      ...shown.map((k) => [T.receive.detail[k], l.get(k)]),
    ],
    choices: [
      {
        label: T.receive.deleteLine,
        run: async () => {
          const reply = await call('rf_delete_receipt_line', { receipt_no: r.receipt, line_no: l.get('line_no') });
          if (!reply.ok) return fail(failure(reply));
          ok(reply.message);
          return lines(r, true);
        },
      },
    ],
    back: () => lines(r),
  });
}
