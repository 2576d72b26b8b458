-- Tests of the receiving routines, on the demo data. Everything runs in one
-- transaction that is rolled back. A failed check raises an error naming the
-- case (run by scripts/db.sh test).

\set ON_ERROR_STOP 1
\ir support/ledger.sql
BEGIN;
SELECT pg_temp.ledger_open();

-- Dates typed on the handheld.
DO $$
DECLARE
    c record;
BEGIN
    FOR c IN
        SELECT * FROM (VALUES
            ('2009-01-05', date '2009-01-05'), ('2009/1/5', date '2009-01-05'), ('05/01/2009', date '2009-01-05'),
            ('5-1-2009', date '2009-01-05'), ('05.01.2009', date '2009-01-05'),
            ('2009-01-05 10:15:00', date '2009-01-05'), (' 29/02/2008 ', date '2008-02-29'),
            ('29/02/2009', NULL), ('01/13/2009', NULL), ('20090105', NULL), ('', NULL), ('soon', NULL)
        ) AS t(txt, expected)
    LOOP
        ASSERT receiving_date(c.txt) IS NOT DISTINCT FROM c.expected,
            format('receiving_date(%L) gave %s', c.txt, receiving_date(c.txt));
    END LOOP;
END
$$;

-- A delivery against purchase order PO1004: header, lines, duplicates and
-- over-receipt refused, a correction, a deletion, serial numbers, check-in
-- with putaway tasks, and a second check-in refused.
DO $$
DECLARE
    v_receipt text;
    v_line    integer;
    v_status  integer;
    v_msg     text;
    v_stock   bigint := (SELECT count(*) FROM stock);
    v_wo      text;
    res       record;
BEGIN
    CALL rf_next_receipt_num('C01', 'JOE', v_receipt);
    ASSERT v_receipt ~ '^R\d{6}$' AND NOT EXISTS (SELECT 1 FROM receipt r WHERE r.client = 'C01' AND r.receipt_no = v_receipt),
        'a new number: ' || coalesce(v_receipt, 'NULL');
    CALL rf_check_in_header('C01', v_receipt, 'W1', 'CHK1', '05/01/2009', 'PO', '', 'TRK1', '', '', '', 'PO1004',
                            '', 'DN1', 'Created through RF Terminal.', 'joe', v_status, v_msg);
    ASSERT v_status = 0 AND v_msg = format('Receipt %s created at station CHK1.', v_receipt),
        format('header: %s %s %s', v_receipt, v_status, v_msg);
    ASSERT (SELECT r.supplier = 'SUP004' AND r.zone = 'RCV' AND r.receipt_date = date '2009-01-05' AND r.status = 'OPEN'
            FROM receipt r WHERE r.client = 'C01' AND r.receipt_no = v_receipt), 'header takes the order''s supplier';

    -- Line 1: the serial-controlled item, on a pallet labelled for it.
    v_line := 99;
    CALL rf_check_duplicate_receipt_detail('C01', v_receipt, v_line, '', 'A1015', 'EA', 2, '', '', '', '', '', '', '',
                                           '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'JOE',
                                           v_status, v_msg);
    ASSERT v_status = 0 AND v_line = 1, format('line 1: %s %s %s', v_line, v_status, v_msg);
    ASSERT (SELECT rl.pallet LIKE 'P%' AND rl.po_no = 'PO1004' AND rl.po_line_no = 1 AND rl.unit_price = 19.50
            FROM receipt_line rl WHERE rl.client = 'C01' AND rl.receipt_no = v_receipt AND rl.line_no = 1),
        'line 1 gets a new pallet and its order line';

    -- Line 2 with user-defined fields; the same goods again are a duplicate.
    CALL rf_check_duplicate_receipt_detail('C01', v_receipt, v_line, 'PX1', 'A1016', 'EA', 10, '', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL,
                                           'colour=red;origin=FR', '', 'JOE', v_status, v_msg);
    ASSERT v_status = 0 AND v_line = 2, format('line 2: %s %s', v_status, v_msg);
    CALL rf_check_duplicate_receipt_detail('C01', v_receipt, v_line, 'PX1', 'A1016', 'EA', 4, '', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '',
                                           'JOE', v_status, v_msg);
    ASSERT v_status = -30 AND v_line = 2
           AND v_msg = 'Duplicate line: pallet PX1 already holds 10 EA of A1016 on line 2; change that line instead.',
        format('duplicate: %s %s %s', v_line, v_status, v_msg);

    -- More than the order expects is refused; a correction within it is not.
    CALL rf_check_duplicate_receipt_detail('C01', v_receipt, v_line, 'PX2', 'A1018', 'EA', 50, '', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '',
                                           'JOE', v_status, v_msg);
    ASSERT v_status = -18 AND v_line IS NULL
           AND v_msg = 'Quantity 50 EA of A1018 is above the 48 EA that purchase order PO1004 still expects.',
        format('over-receipt: %s %s', v_status, v_msg);
    CALL rf_check_duplicate_receipt_detail('C01', v_receipt, v_line, 'PX2', 'A1018', 'EA', 40, '', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '',
                                           'JOE', v_status, v_msg);
    ASSERT v_status = 0 AND v_line = 3, format('line 3: %s %s', v_status, v_msg);
    v_line := 3;
    CALL rf_update_receipt_detail('C01', v_receipt, v_line, '', 'A1018', 'EA', 30, '', '', '', '', '', '', '', '', '',
                                  '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'JOE', v_status, v_msg,
                                  NULL, NULL);
    ASSERT v_status = 0 AND v_line = 3 AND v_msg = 'Line 3 updated: 30 EA of A1018 on pallet PX2.',
        format('update: %s %s', v_status, v_msg);
    v_line := 3;
    CALL rf_update_receipt_detail('C01', v_receipt, v_line, '', 'A1018', 'EA', 49, '', '', '', '', '', '', '', '', '',
                                  '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'JOE', v_status, v_msg,
                                  NULL, NULL);
    ASSERT v_status = -18, format('update above the order: %s %s', v_status, v_msg);
    CALL rf_check_duplicate_receipt_detail('C01', v_receipt, v_line, 'PX2', 'A1018', 'EA', 40, '', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '',
                                           'JOE', v_status, v_msg);
    ASSERT v_status = -30 AND v_line = 3, format('a duplicate is told before the quantity: %s %s', v_status, v_msg);
    v_line := 3;
    CALL rf_update_receipt_detail('C01', v_receipt, v_line, 'PX1', 'A1016', 'EA', 1, '', '', '', '', '', '', '', '', '',
                                  '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'JOE', v_status, v_msg,
                                  NULL, NULL);
    ASSERT v_status = -30 AND v_line = 3
           AND v_msg = 'Duplicate line: pallet PX1 already holds 10 EA of A1016 on line 2; change that line instead.',
        format('an update onto another line''s goods: %s %s', v_status, v_msg);

    -- An item not on the order; a line deleted.
    CALL rf_check_duplicate_receipt_detail('C01', v_receipt, v_line, 'PX3', 'A1001', 'EA', 1, '', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '',
                                           'JOE', v_status, v_msg);
    ASSERT v_status = -19 AND v_msg = 'Item A1001 is not on purchase order PO1004.', v_msg;
    CALL rf_check_duplicate_receipt_detail('C01', v_receipt, v_line, 'PX3', 'A1016', 'EA', 1, '', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '',
                                           'JOE', v_status, v_msg);
    ASSERT v_status = 0 AND v_line = 4, v_msg;
    CALL rf_delete_receipt_line('C01', v_receipt, '4', 'JOE', v_status, v_msg);
    ASSERT v_status = 0 AND v_msg = format('Line 4 (1 EA of A1016) deleted from receipt %s.', v_receipt), v_msg;
    CALL rf_delete_receipt_line('C01', v_receipt, 'x', 'JOE', v_status, v_msg);
    ASSERT v_status = -20, v_msg;

    -- User-defined fields by line number, listed per item.
    SELECT * INTO res FROM rf_update_receipt_detail_udf('C01', v_receipt, 2, NULL, NULL, 'A1016', NULL, NULL, NULL,
        NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
        'colour=blue;lot=7', NULL, 'JOE');
    ASSERT res.sqlstatus = 0, res.sqlmsg;
    SELECT * INTO res FROM rf_receipt_item_udf('C01', v_receipt, NULL, NULL, NULL, 'A1016', NULL, NULL, NULL, NULL,
        NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
        NULL, 'JOE');
    ASSERT res.line_no = 2 AND res.udf = 'colour=blue;lot=7;origin=FR' AND res.user_defined = 'colour=blue;lot=7',
        format('udf listing: %s', res);

    -- Check-in waits for the serial numbers.
    CALL receipt_checkin('C01', v_receipt, 'JOE', 'Y', v_status, v_msg);
    ASSERT v_status = -8 AND v_msg = 'Line 1 (A1015) has 0 of its 2 serial numbers; scan them all before check-in.',
        v_msg;
    CALL rf_update_receipt_serial('C01', 'A1015', 'SNX-1', v_receipt, date '2009-01-05', '', '', 'JOE', v_status, v_msg);
    ASSERT v_status = 0 AND v_msg = format('Serial number SNX-1 recorded on receipt %s line 1 (1 of 2).', v_receipt), v_msg;
    CALL rf_update_receipt_serial('C01', 'A1015', 'SNX-1', v_receipt, date '2009-01-05', '', '', 'JOE', v_status, v_msg);
    ASSERT v_status = -21, v_msg;
    CALL rf_update_receipt_serial('C01', 'A1016', 'SNX-5', v_receipt, date '2009-01-05', '', '', 'JOE', v_status, v_msg);
    ASSERT v_status = -10 AND v_msg = 'Item A1016 is not serial controlled.', v_msg;
    CALL rf_update_receipt_serial2('C01', 'A1015', 'SNX-2', v_receipt, 1, date '2009-01-05', '', '', 'JOE', v_status,
                                   v_msg);
    ASSERT v_status = 0, v_msg;
    CALL rf_update_receipt_serial2('C01', 'A1015', 'SNX-3', v_receipt, 1, date '2009-01-05', '', '', 'JOE', v_status,
                                   v_msg);
    ASSERT v_status = -23, v_msg;
    CALL rf_remove_receipt_serial('C01', 'A1015', 'SNX-2', v_receipt, 'JOE', v_status, v_msg);
    ASSERT v_status = 0, v_msg;
    CALL rf_update_receipt_serial2('C01', 'A1015', 'SNX-3', v_receipt, 1, date '2009-01-05', '', '', 'JOE', v_status,
                                   v_msg);
    ASSERT v_status = 0, v_msg;
    v_line := 1;
    CALL rf_update_receipt_detail('C01', v_receipt, v_line, '', 'A1015', 'EA', 1, '', '', '', '', '', '', '', '', '',
                                  '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'JOE', v_status, v_msg,
                                  NULL, NULL);
    ASSERT v_status = -22, format('fewer units than serial numbers: %s', v_msg);

    -- Check-in: stock at the station's receiving location, a putaway task per
    -- line, the order counts what it received.
    CALL receipt_checkin('C01', v_receipt, 'JOE', 'Y', v_status, v_msg);
    ASSERT v_status = 0 AND v_msg LIKE format('Receipt %s checked in: 3 lines on 3 pallets at RCV-01, putaway works order WO%%. The receipt is closed.', v_receipt),
        v_msg;
    ASSERT (SELECT count(*) FROM stock) = v_stock + 3, 'three stock lines';
    ASSERT NOT EXISTS (SELECT 1 FROM receipt_line rl JOIN stock s ON s.rec_num = rl.rec_num
                       WHERE rl.client = 'C01' AND rl.receipt_no = v_receipt
                         AND NOT (s.location = 'RCV-01' AND s.status = 'RECEIVING' AND s.pallet = rl.pallet
                                  AND s.qty = rl.qty AND s.receipt_line = rl.line_no)),
        'each line is a stock line at RCV-01';
    SELECT w.wo_no INTO v_wo FROM works_order w WHERE w.order_no = v_receipt AND w.movement_type = 'PUTAWAY';
    ASSERT (SELECT count(*) FROM activity a WHERE a.wo_no = v_wo AND a.location_from = 'RCV-01'
                                               AND a.location_to IS NOT NULL AND a.rec_num IS NOT NULL) = 3,
        'one putaway activity per line, each with a destination';
    ASSERT (SELECT count(DISTINCT a.location_to) FROM activity a WHERE a.wo_no = v_wo) = 3,
        'each pallet its own destination';
    ASSERT (SELECT array_agg(pl.qty_received ORDER BY pl.line_no)::text FROM purchase_order_line pl
            WHERE pl.client = 'C01' AND pl.order_no = 'PO1004') = '{2,10,30}', 'order quantities received';
    ASSERT (SELECT po.status = 'PARTIAL' AND po.last_receipt_no = v_receipt FROM purchase_order po
            WHERE po.client = 'C01' AND po.order_no = 'PO1004'), 'order partly received';
    ASSERT (SELECT count(*) FROM serial_number sn WHERE sn.receipt_no = v_receipt AND sn.status = 'INSTOCK'
                                                   AND sn.location = 'RCV-01') = 2, 'serial numbers in stock';
    ASSERT (SELECT count(*) FROM stock_movement m WHERE m.movement_type = 'RECEIPT'
                                                   AND m.reference LIKE 'Receipt ' || v_receipt || ' line %') = 3, 'journal';

    CALL receipt_checkin('C01', v_receipt, 'JOE', 'Y', v_status, v_msg);
    ASSERT v_status = -4 AND v_msg = format('Receipt %s is already checked in and closed.', v_receipt), v_msg;
    SELECT * INTO res FROM rf_receipt_checkin_without_closing('C01', v_receipt, 'JOE', 'Y');
    ASSERT res.sqlstatus = -4, res.sqlmsg;
    CALL rf_check_duplicate_receipt_detail('C01', v_receipt, v_line, 'PX9', 'A1016', 'EA', 1, '', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '',
                                           'JOE', v_status, v_msg);
    ASSERT v_status = -4 AND v_msg = format('Receipt %s is closed.', v_receipt), v_msg;
    CALL rf_update_receipt_serial_adjustment('C01', 'A1015', 'SNX-7', v_receipt, 'JOE', v_status, v_msg);
    ASSERT v_status = -23, v_msg;
    CALL rf_update_receipt_serial_adjustment('C01', 'A1015', 'SNX-1', v_receipt, 'JOE', v_status, v_msg);
    ASSERT v_status = -21 AND v_msg = 'Serial number SNX-1 of A1015 is already known (instock).', v_msg;
    ASSERT EXISTS (SELECT 1 FROM rf_get_item_closed_receipts('C01', 'A1016') i
                   WHERE i.receipt_no = v_receipt AND i."Status" = 'CLOSED'), 'closed receipts of an item';
END
$$;

-- Check-in without closing, more lines, a second check-in, closing.
DO $$
DECLARE
    v_receipt text := '';
    v_line    integer;
    v_status  integer;
    v_msg     text;
    res       record;
BEGIN
    CALL rf_check_in_header('C01', v_receipt, 'W1', 'CHK2', '', '', '', '', '', '', 'SUP002', '', '', '', '', 'ann',
                            v_status, v_msg);
    ASSERT v_status = 0, v_msg;
    CALL rf_check_duplicate_receipt_detail('C01', v_receipt, v_line, 'PY1', 'A1003', 'EA', 5, 'b', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', 'hold',
                                           'ANN', v_status, v_msg);
    ASSERT v_status = 0, v_msg;
    SELECT * INTO res FROM rf_receipt_checkin_without_closing('C01', v_receipt, 'ANN', 'N');
    ASSERT res.sqlstatus = 0 AND res.sqlmsg = format('Receipt %s checked in: 1 line on 1 pallet at RCV-02, no putaway tasks.',
                                                    v_receipt), res.sqlmsg;
    ASSERT (SELECT s.status = 'HOLD' AND s.grade = 'B' FROM stock s WHERE s.receipt_no = v_receipt AND s.pallet = 'PY1'),
        'without putaway the stock takes the line''s status';
    SELECT * INTO res FROM rf_receipt_checkin_without_closing('C01', v_receipt, 'ANN', 'Y');
    ASSERT res.sqlstatus = -7 AND res.sqlmsg = format('Receipt %s is already checked in: no lines are waiting.', v_receipt),
        res.sqlmsg;

    CALL rf_check_duplicate_receipt_detail('C01', v_receipt, v_line, 'PY1', 'A1004', 'EA', 6, '', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '',
                                           'ANN', v_status, v_msg);
    ASSERT v_status = 0 AND v_line = 2, format('a second line on the checked-in pallet: %s', v_msg);
    CALL rf_close_receipt2('C01', v_receipt, 'ANN', v_status, v_msg);
    ASSERT v_status = -10 AND v_msg = format('Receipt %s has 1 line not checked in; check in or delete it first.', v_receipt),
        v_msg;
    v_line := 1;
    CALL rf_update_receipt_detail('C01', v_receipt, v_line, '', 'A1003', 'EA', 4, '', '', '', '', '', '', '', '', '',
                                  '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'ANN', v_status, v_msg,
                                  NULL, NULL);
    ASSERT v_status = -21 AND v_msg = 'Line 1 is checked in and can no longer be changed.', v_msg;
    CALL rf_check_duplicate_receipt_detail('C01', v_receipt, v_line, 'PY1', 'A1005', 'EA', 1, '', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '',
                                           'ANN', v_status, v_msg);
    ASSERT v_status = 0 AND v_line = 3, v_msg;
    CALL rf_update_receipt_serial('C01', 'A1005', 'SNY-1', v_receipt, NULL, '', 'PY1', 'ANN', v_status, v_msg);
    ASSERT v_status = 0, v_msg;
    SELECT * INTO res FROM rf_receipt_checkin_without_closing('C01', v_receipt, 'ANN', 'Y');
    ASSERT res.sqlstatus = 0 AND res.sqlmsg LIKE '%2 lines on 1 pallet at RCV-02, putaway works order WO%', res.sqlmsg;
    ASSERT (SELECT count(DISTINCT a.location_to) FROM activity a WHERE a.receipt_no = v_receipt
                                                                   AND a.movement_type = 'PUTAWAY') = 1,
        'the lines of one pallet go to one destination';
    CALL rf_close_receipt2('C01', v_receipt, 'ANN', v_status, v_msg);
    ASSERT v_status = 0 AND v_msg = format('Receipt %s closed.', v_receipt), v_msg;
    CALL rf_close_receipt2('C01', v_receipt, 'ANN', v_status, v_msg);
    ASSERT v_status = -4 AND v_msg = format('Receipt %s is already closed.', v_receipt), v_msg;
END
$$;

-- Refusals that change nothing.
DO $$
DECLARE
    v_receipt text;
    v_line    integer;
    v_status  integer;
    v_msg     text;
    v_lines   bigint := (SELECT count(*) FROM receipt_line);
    c         record;
BEGIN
    FOR c IN
        SELECT * FROM (VALUES
            ('unknown client', 'C09', 'R000002', 'A1006', 'JOE', '', '', '', -1, 'Client C09 is not known.'),
            ('operator of another client', 'C02', 'R000001', 'B2001', 'ANN', '', '', '', -93,
             'Operator ANN may not work for client C02.'),
            ('unknown receipt', 'C01', 'R999999', 'A1006', 'JOE', '', '', '', -3,
             'Receipt R999999 not found for client C01.'),
            ('closed receipt', 'C02', 'R000001', 'B2001', 'JOE', '', '', '', -4, 'Receipt R000001 is closed.'),
            ('unknown item', 'C01', 'R000002', 'ZZZ', 'JOE', '', '', '', -10, 'Item ZZZ is not a product of client C01.'),
            ('item not announced', 'C01', 'R000002', 'A1001', 'JOE', '', '', '', -17,
             'Item A1001 is not on the shipping notice of receipt R000002.'),
            ('bad expiry date', 'C01', 'R000002', 'A1006', 'JOE', '31/02/2026', '', '', -13,
             'Expiry date 31/02/2026 is not a date (yyyy-mm-dd or dd/mm/yyyy).'),
            ('unknown unit', 'C01', 'R000002', 'A1006', 'JOE', '', 'BOX', '', -11, 'Item A1006 has no unit BOX.'),
            ('above the notice', 'C01', 'R000002', 'A1006', 'JOE', '', 'CTN', '', -18,
             'Quantity 200 CTN of A1006 is above the 5 CTN that the shipping notice of receipt R000002 still expects.')
        ) AS t(name, client, receipt_no, item_no, op, expiry, uom, pallet, status, msg)
    LOOP
        v_line := NULL;
        CALL rf_check_duplicate_receipt_detail(c.client, c.receipt_no, v_line, c.pallet, c.item_no, c.uom, 200, '', '',
                                               '', '', '', '', c.expiry, '', '', '', '', NULL, NULL, NULL, NULL, '',
                                               NULL, '', NULL, '', '', c.op, v_status, v_msg);
        ASSERT v_status = c.status AND v_msg = c.msg, format('%s: got %s "%s"', c.name, v_status, v_msg);
    END LOOP;

    -- A pallet already stored somewhere.
    SELECT s.pallet, s.warehouse, s.location INTO c
    FROM stock s
    WHERE s.client = 'C01' AND s.status = 'AVAILABLE' AND s.pallet IS NOT NULL AND s.qty > 0
      AND s.receipt_no IS NULL
    ORDER BY s.rec_num
    LIMIT 1;
    CALL rf_check_duplicate_receipt_detail('C01', 'R000002', v_line, c.pallet, 'A1006', '', 1, '', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '',
                                           'JOE', v_status, v_msg);
    ASSERT v_status = -16 AND v_msg = format('Pallet %s is already in stock at %s %s.', c.pallet, c.warehouse,
                                             c.location), format('pallet in stock: %s %s', v_status, v_msg);

    -- C02 food needs batch and expiry.
    CALL rf_check_in_header('C02', v_receipt, 'W1', 'CHK1', '2026-01-05', 'PO', '', '', '', '', '', 'PO2001', '', '', '',
                            'JOE', v_status, v_msg);
    ASSERT v_status = 0 AND v_receipt ~ '^R\d{6}$', v_msg;
    CALL rf_check_duplicate_receipt_detail('C02', v_receipt, v_line, 'PZ1', 'B2001', 'EA', 12, '', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '',
                                           'JOE', v_status, v_msg);
    ASSERT v_status = -15 AND v_msg = 'Item B2001 needs a batch number.', v_msg;
    ASSERT (SELECT count(*) FROM receipt_line) = v_lines, 'refusals stored nothing';

    v_receipt := '';
    CALL rf_check_in_header('C01', v_receipt, 'W1', 'RF01', '', 'PO', '', '', '', '', '', '', '', '', '', 'JOE',
                            v_status, v_msg);
    ASSERT v_status = -6 AND v_msg = 'Station RF01 is not a check-in station of warehouse W1.', v_msg;
    CALL rf_check_in_header('C01', v_receipt, 'W1', 'CHK1', '13/13/2026', 'PO', '', '', '', '', '', '', '', '', '',
                            'JOE', v_status, v_msg);
    ASSERT v_status = -7, v_msg;
    CALL rf_check_in_header('C01', v_receipt, 'W1', 'CHK1', '', 'PO', '', '', '', '', '', 'PO9999', '', '', '', 'JOE',
                            v_status, v_msg);
    ASSERT v_status = -10 AND v_msg = 'Purchase order PO9999 not found for client C01.', v_msg;
    v_receipt := 'R000001';
    CALL rf_check_in_header('C01', v_receipt, 'W1', 'CHK1', '', 'PO', '', '', '', '', '', '', '', '', '', 'JOE',
                            v_status, v_msg);
    ASSERT v_status = -4, v_msg;
END
$$;

-- A shipping notice: scanned lines count against its items.
DO $$
DECLARE
    v_line   integer;
    v_status integer;
    v_msg    text;
    res      record;
    v_qty    numeric;
    v_uom    text;
    v_rm     text;
    v_serial integer;
BEGIN
    CALL rf_check_duplicate_receipt_detail('C01', 'R000002', v_line, 'PN1', 'A1006', 'CTN', 2, '', '', '', '', '', '',
                                           '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '',
                                           'JOE', v_status, v_msg);
    ASSERT v_status = 0 AND v_msg = 'Line 1 stored: 2 CTN of A1006 on pallet PN1.', v_msg;
    SELECT * INTO res FROM rf_get_receipt_asn_item('C01', 'R000002', 1);
    ASSERT res.line_no = 1 AND res.qty_received = 48 AND res.qty_balanced = 72, format('notice item: %s', res);
    CALL rf_check_receipt_item_qty('C01', 'R000002', 'A1006', v_qty, v_uom, v_rm, v_serial);
    ASSERT v_qty = 72 AND v_uom = 'EA' AND v_rm = 'OPEN' AND v_serial = 0,
        format('expected: %s %s %s %s', v_qty, v_uom, v_rm, v_serial);
    CALL rf_check_receipt_item_qty('C01', 'R777777', 'A1006', v_qty, v_uom, v_rm, v_serial);
    ASSERT v_qty = 0 AND v_uom = 'EA' AND v_rm = 'UNKNOWN' AND v_serial = 0, 'unknown receipt';
    CALL rf_delete_receipt_line('C01', 'R000002', '1', 'JOE', v_status, v_msg);
    ASSERT (SELECT a.qty_received FROM asn_line a WHERE a.client = 'C01' AND a.receipt_no = 'R000002'
                                                   AND a.asn_line_no = 1) = 0, 'deletion returns the notice quantity';
END
$$;

-- Cartons announced on a receipt: checked one by one, checked in by list.
DO $$
DECLARE
    res    record;
    v_rows integer;
BEGIN
    INSERT INTO receipt_line (client, receipt_no, line_no, pallet, carton_no, item_no, uom, qty, supplier, maker)
    VALUES ('C01', 'R000002', 7, NULL, 'CTN901', 'A1006', 'EA', 24, 'SUP002', 'JOE'),
           ('C01', 'R000002', 8, NULL, 'CTN902', 'A1007', 'EA', 12, 'SUP002', 'JOE'),
           ('C01', 'R000002', 9, NULL, 'CTN902', 'A1006', 'EA', 6, 'SUP002', 'JOE');
    SELECT * INTO res FROM rf_receipt_check_carton('C01', 'R000002', 'CTN902', 'JOE');
    ASSERT res.sqlstatus = 0 AND res.sqlmsg = 'Carton CTN902 is expected on receipt R000002: 12 EA A1007, 6 EA A1006.',
        res.sqlmsg;
    SELECT * INTO res FROM rf_receipt_check_carton('C01', 'R000001', 'CTN902', 'JOE');
    ASSERT res.sqlstatus = -12 AND res.sqlmsg = 'Carton CTN902 belongs to receipt R000002, not R000001.', res.sqlmsg;
    SELECT * INTO res FROM rf_receipt_check_carton('C01', 'R000002', 'CTN7', 'JOE');
    ASSERT res.sqlstatus = -13 AND res.sqlmsg = 'Carton CTN7 is already in stock at W1 P-07.', res.sqlmsg;
    SELECT * INTO res FROM rf_receipt_check_carton('C01', 'R000002', 'CTN999', 'JOE');
    ASSERT res.sqlstatus = -14 AND res.sqlmsg = 'Carton CTN999 is not expected on receipt R000002.', res.sqlmsg;

    SELECT count(*) INTO v_rows FROM rf_get_carton_rd('C01', 'CTN902', 'JOE');
    ASSERT v_rows = 2, 'carton contents';

    SELECT * INTO res FROM rf_receipt_checkin_carton_list('C01', 'R000002', 'CTN902,CTN999', 'JOE', 'Y');
    ASSERT res.sqlstatus = -11 AND res.sqlmsg = 'Cartons not waiting on receipt R000002: CTN999.', res.sqlmsg;
    SELECT * INTO res FROM rf_receipt_checkin_carton_list('C01', 'R000002', ' CTN902 ', 'JOE', 'Y');
    ASSERT res.sqlstatus = 0 AND res.sqlmsg LIKE 'Receipt R000002 checked in: 2 lines on 0 pallets at RCV-02%', res.sqlmsg;
    ASSERT (SELECT c.location = 'RCV-02' FROM carton c WHERE c.client = 'C01' AND c.carton_no = 'CTN902'),
        'the carton stands at the receiving location';
    ASSERT (SELECT r.status FROM receipt r WHERE r.client = 'C01' AND r.receipt_no = 'R000002') = 'CHECKEDIN',
        'carton check-in keeps the receipt open';
    SELECT * INTO res FROM rf_receipt_checkin_carton_list2('C01', 'CTN901;CTN902', 'JOE', 'Y');
    ASSERT res.sqlstatus = -11 AND res.sqlmsg = 'Cartons not waiting on an open receipt of client C01: CTN902.', res.sqlmsg;
    SELECT * INTO res FROM rf_receipt_checkin_carton_list2('C01', 'CTN901', 'JOE', 'Y');
    ASSERT res.sqlstatus = 0 AND res.sqlmsg LIKE 'Receipt R000002 checked in: 1 line%', res.sqlmsg;
    ASSERT (SELECT count(*) FROM stock s WHERE s.receipt_no = 'R000002' AND s.carton_no IN ('CTN901', 'CTN902')) = 3,
        'carton stock';
END
$$;

-- Look-ups.
DO $$
DECLARE
    v_no text;
BEGIN
    ASSERT (SELECT count(*) FROM rf_get_check_in_station('W1')) = 2, 'W1 check-in stations';
    ASSERT (SELECT count(*) FROM rf_get_open_receipts('C01', '') o WHERE o.receipt_no IN ('R000001', 'R000002')) = 2,
        'open receipts';
    ASSERT NOT EXISTS (SELECT 1 FROM rf_get_open_receipts('C01', '') o WHERE o."Status" = 'CLOSED'),
        'no closed receipt among the open ones';
    ASSERT (SELECT string_agg(o.receipt_no, ',' ORDER BY o.receipt_no) FROM rf_get_open_receipts('C01', 'R00000') o
            WHERE o.receipt_no IN ('R000001', 'R000002')) = 'R000001,R000002', 'open receipts by prefix';
    ASSERT NOT EXISTS (SELECT 1 FROM rf_get_open_receipts('C01', 'R00000') o WHERE NOT starts_with(o.receipt_no, 'R00000')),
        'only receipts with the prefix';
    ASSERT NOT EXISTS (SELECT 1 FROM rf_get_open_receipts('C02', '') o WHERE o.receipt_no = 'R000001'),
        'the closed receipt is not listed';
    ASSERT (SELECT count(*) FROM get_po_detail('C01', 'PO1001')) = 2, 'order lines';
    ASSERT (SELECT count(*) FROM get_po2('C01', 'PO1004')) = 3, 'one order';
    ASSERT (SELECT m."Container" FROM rf_get_receipt_master('C01', 'R000002') m) = 'MSCU4471203', 'header';
    ASSERT (SELECT count(*) FROM rf_get_receipt_type()) = 4, 'receipt types';
    ASSERT (SELECT count(*) FROM rf_get_receipt_detail3('C01', 'R000001')) = 2, 'receipt lines';
    ASSERT (SELECT i.receipt_no FROM rf_get_item_closed_receipts('C02', 'B2001') i) = 'R000001', 'closed receipts';
    CALL rf_next_warrant_receipt('C02', v_no);
    ASSERT v_no ~ '^W\d{6}$', 'warrant number: ' || coalesce(v_no, 'NULL');
    CALL rf_next_warrant_receipt('C09', v_no);
    ASSERT v_no IS NULL, 'no warrant number for an unknown client';
END
$$;

SELECT pg_temp.ledger_check('receiving');
ROLLBACK;
