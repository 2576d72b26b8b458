// The handheld's reader of tagged replies (www/js/reply.js), on the shapes the engine writes.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { Reply, TOO_MANY } from '../../www/js/reply.js';

const fields = (r) => r.records.map((f) => Object.fromEntries(f.pairs));

test('status replies: number, message, success', () => {
  const cases = [
    // text, status, message, ok
    ['<sqlstatus>0</sqlstatus><sqlmsg>Done.</sqlmsg>', 0, 'Done.', true],
    ['<sqlstatus>-18</sqlstatus><sqlmsg>Quantity 5 is above the 3 expected.</sqlmsg><line_no></line_no>', -18, 'Quantity 5 is above the 3 expected.', false],
    ['<receipt_no>R1</receipt_no><sqlstatus>0</sqlstatus><sqlmsg></sqlmsg>', 0, '', true],
    ['<sqlstatus>OK</sqlstatus>', NaN, '', false], // a status that is not a number is no success
    ['<sqlstatus>-6</sqlstatus>', -6, '', false], // a status without a message
    ['<record><sqlstatus>0</sqlstatus><sqlmsg>Started.</sqlmsg><lines>2</lines></record>', 0, 'Started.', true],
    ['', null, '', false], // the empty reply of a failed call
    ['<station>CHK1</station>', null, '', true],
  ];
  for (const [text, status, message, ok] of cases) {
    const r = new Reply(text);
    assert.ok(Object.is(r.status, status), `${text}: status ${r.status}`);
    assert.equal(r.message, message, text);
    assert.equal(r.ok, ok, text);
  }
});

test('records, repeated tags, empty values and names in any case', () => {
  const r = new Reply(
    '<count>2</count><record><client>C01</client><item_no>A1</item_no><Description>Hammer</Description>' +
      '<barcode></barcode></record><record><client>C01</client><item_no>A2</item_no><Description></Description>' +
      '<barcode>93</barcode></record>',
  );
  assert.equal(r.get('count'), '2');
  assert.deepEqual(fields(r), [
    { client: 'C01', item_no: 'A1', Description: 'Hammer', barcode: '' },
    { client: 'C01', item_no: 'A2', Description: '', barcode: '93' },
  ]);
  assert.equal(r.records[0].get('description'), 'Hammer', 'a column is found without regard to case');
  assert.equal(r.records[0].get('missing'), '');
  const menu = new Reply('<PUTAWAY>1</PUTAWAY><RECEIPT>1</RECEIPT><station>A</station><station>B</station>');
  assert.deepEqual(menu.top.names(), ['PUTAWAY', 'RECEIPT', 'station', 'station']);
  assert.deepEqual(menu.top.all('station'), ['A', 'B']);
});

test('values are taken as written: tag-like text, "<", "&", line breaks', () => {
  const r = new Reply('<record><item_no>A<1></item_no><remarks>x < y & <b>z</b>\nnext</remarks></record><sqlmsg>a</b></sqlmsg>');
  assert.deepEqual(fields(r), [{ item_no: 'A<1>', remarks: 'x < y & <b>z</b>\nnext' }]);
  assert.equal(r.get('sqlmsg'), 'a</b>');
});

test('the cut-off record of a long list is not a record', () => {
  const r = new Reply(`<record><location>A-01-1</location><zone>BA</zone></record><record><location>${TOO_MANY}</location></record>`);
  assert.equal(r.more, true);
  assert.deepEqual(fields(r), [{ location: 'A-01-1', zone: 'BA' }]);
  assert.equal(new Reply('<record><location>A</location></record>').more, false);
});

test('tab-separated records keep empty values, the last tab ends the row', () => {
  const r = new Reply('<record>WO1\t2\t2\t1\tPICK\tA1005\tDrill\tW1\tP-05\tPICK\t\t\t105\t4\tEA\t</record><record>W1\tCUST3\tSO1\tP000010\t4\tD1\t</record>');
  assert.equal(r.records.length, 0);
  assert.deepEqual(r.rows, [
    ['WO1', '2', '2', '1', 'PICK', 'A1005', 'Drill', 'W1', 'P-05', 'PICK', '', '', '105', '4', 'EA'],
    ['W1', 'CUST3', 'SO1', 'P000010', '4', 'D1'],
  ]);
});

test('text that is not a run of elements is kept as text', () => {
  for (const text of ['0', 'oops <b', '<a>unclosed', '<a>x</a>trailing']) {
    const r = new Reply(text);
    assert.equal(r.text, text);
    assert.deepEqual([r.records.length, r.rows.length, r.top.pairs.length], [0, 0, 0], text);
  }
});
