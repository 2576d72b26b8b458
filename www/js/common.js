// Steps the workflows share: naming an item from a scan, comparing scans, serial numbers,
// reason codes, dates.

import { call, failure } from './api.js';
import { T } from './texts.js';
import { fail, ok, show } from './ui.js';

// The product a scan names: an item number or one of its barcodes. Answers the item, the
// unit the barcode stands for and the description; null when nothing matches.
export async function identify(scan) {
  const reply = await call('rf_get_barcode_item_no', { barcode_no: scan });
  const found = reply.records[0];
  if (!found) return null;
  return { item: found.get('item_no'), uom: found.get('uom'), description: found.get('description') };
}

// Two codes are the same scan when they differ at most in letter case and blanks around.
export function same(a, b) {
  return String(a ?? '').trim().toUpperCase() === String(b ?? '').trim().toUpperCase();
}

// A pallet label scanned whole, or typed without its check character.
export function samePallet(label, scan) {
  if (!label) return false;
  return same(label, scan) || same(label.slice(0, -1), scan);
}

// A quantity as typed: a plain decimal number, at least 0.
export function isQty(text) {
  return /^\d+(\.\d+)?$/.test(String(text).trim());
}

// Today on this handheld, as yyyy-mm-dd.
export function today() {
  const d = new Date();
  const two = (n) => String(n).padStart(2, '0');
  return `${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())}`;
}

// Scan count serial numbers one by one; record(serial) makes the call. done() follows the
// last; Escape or Enter on an empty field leaves the rest for later (back()).
export function serials({ title, item, count, record, done, back }) {
  let n = 1;
  const next = () =>
    show({
      title,
      info: [item, T.serialOf(n, count)],
      fields: [{ name: 'serial', label: T.serial }],
      back,
      submit: async ({ serial }) => {
        const reply = await record(serial);
        if (!reply.ok) return fail(failure(reply));
        ok(reply.message);
        n += 1;
        return n > count ? done() : next();
      },
    });
  next();
}

// The reason codes as choices, each filling the reason of the screen that asked.
export async function reasonChoices(pick) {
  const reply = await call('rf_get_reason_codes');
  return reply.top.all('reasoncode').map((code) => ({ label: code, run: () => pick(code) }));
}
