-- Stock movement and carton routines, on the demo data. Everything runs in one
-- transaction that is rolled back; a failed assertion stops the script.
\ir support/ledger.sql
BEGIN;
SELECT pg_temp.ledger_open();

-- Nothing goes below zero nor below what open tasks have booked: each of
-- these quantities is refused, and a refusal changes nothing.
DO $$
DECLARE
    c      record;
    v_row  record;
    v_before text;
    v_now    text;
BEGIN
    SELECT format('%s %s %s %s %s', sum(qty), sum(qty_booked), count(*), (SELECT count(*) FROM carton),
                  (SELECT count(*) FROM stock_movement))
    INTO v_before FROM stock;
    FOR c IN
        SELECT * FROM (VALUES
            ('more than the line holds', -4,
             $c$CALL rf_item_relocation('', '', '', 'B-20-3', '', '', '1', '121', '', 'joe')$c$),
            ('more than is not booked', -4,
             $c$CALL rf_item_relocation2('5', 'W1', 'B-20-2', '', '97', '', 'joe')$c$),
            ('a negative move', -4,
             $c$CALL rf_item_relocation2('1', 'W1', 'B-20-2', '', '-1', '', 'joe')$c$),
            ('a carton of more than lies loose', -4,
             $c$SELECT * FROM rf_create_carton('W1', 'A-01-2', 'C01', 'A1001', '', 241, 'EA', 'CX1', 'joe')$c$),
            ('a split of more than the carton holds', -4,
             $c$SELECT * FROM rf_split_carton('C01', 'CTN3', 'CX3', 13, 'joe')$c$),
            ('a correction below the booked quantity', -4,
             $c$CALL rf_update_pallet_location_qty('5', '', '23', 'DOC', 'joe')$c$),
            ('a negative correction', -4,
             $c$CALL rf_update_pallet_location_qty('6', '', '-1', 'DOC', 'joe')$c$),
            ('a carton below its booked quantity', -12,
             $c$SELECT * FROM rf_adjust_carton_qty('C01', 'CTN1', 5, 'joe')$c$),
            ('a negative carton', -4, $c$SELECT * FROM rf_adjust_carton_qty('C01', 'CTN9', -1, 'joe')$c$),
            ('created stock of nothing', -4,
             $c$SELECT * FROM rf_create_stock('W1', 'C-19-1', 'C01', 'A1002', '', 'EA', 0, 'F1', 'joe')$c$),
            ('a top-up of more than the received line', -4,
             $c$CALL rf_receipt_topup_putaway('C01', 'R000001', 1, '', 'A1001', 'EA', 121, '', '', '', '', '', '', '',
                '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'W1', 'P-01', 'joe')$c$),
            ('a putaway close of more than the pallet brought', -4,
             $c$SELECT * FROM rf_close_putaway_task('WO000001', 1, NULL, 121, '', '', '', '', 'joe')$c$),
            ('a replenishment of more than was booked', -4,
             $c$SELECT * FROM rf_close_replenish_task('WO000004', 1, NULL, 25, '', 'joe')$c$),
            ('a pick of more than was allocated', -20,
             $c$SELECT * FROM rf_confirm_item_picked('WO000002', 1, 1, '', 1, 'SO1001', 'C01', 'A1001', 'EA', 7, '',
                '', '', NULL, '', 'OUTX', 'joe')$c$),
            ('a pick from a pallet without the item', -26,
             $c$CALL rf_pick_sales_detail2('C01', 'SO1002', '2', '1', 'P0000093', 'OUTX', '', 'joe')$c$)
        ) AS t(name, status, call)
    LOOP
        EXECUTE c.call INTO v_row;
        ASSERT (to_jsonb(v_row) ->> 'sqlstatus')::integer = c.status, format('%s: %s', c.name, v_row);
    END LOOP;
    SELECT format('%s %s %s %s %s', sum(qty), sum(qty_booked), count(*), (SELECT count(*) FROM carton),
                  (SELECT count(*) FROM stock_movement))
    INTO v_now FROM stock;
    ASSERT v_now = v_before, format('a refusal changed stock: %s, then %s', v_before, v_now);
END
$$;

-- Item relocation by stock line number.
DO $$
DECLARE
    v_status integer;
    v_msg    text;
    v_to     bigint;
BEGIN
    -- rec_num 1: 120 EA of A1001 on pallet P0000017 in A-01-1.
    CALL rf_item_relocation('P000001', 'W1', 'A-01-1', 'B-20-3', 'C01', '', '1', '500', 'EA', 'joe', v_status, v_msg);
    ASSERT v_status = -4 AND v_msg = 'Cannot move 500 EA of A1001: stock line 1 has only 120 EA available.', v_msg;
    CALL rf_item_relocation('', '', '', 'B-20-3', 'C01', 'A1002', '1', '5', '', 'joe', v_status, v_msg);
    ASSERT v_status = -2, format('another item: %s', v_msg);
    CALL rf_item_relocation('', '', 'A-01-2', 'B-20-3', '', '', '1', '5', '', 'joe', v_status, v_msg);
    ASSERT v_status = -2, format('another location: %s', v_msg);
    CALL rf_item_relocation('', '', '', 'ZZ-99', '', '', '1', '5', '', 'joe', v_status, v_msg);
    ASSERT v_status = -5 AND v_msg = 'Location W1/ZZ-99 not found.', v_msg;
    CALL rf_item_relocation('', '', '', 'B-20-3', '', '', '1', '-5', '', 'joe', v_status, v_msg);
    ASSERT v_status = -4, format('negative: %s', v_msg);
    CALL rf_item_relocation('', '', '', 'B-20-3', '', '', '1', 'lots', '', 'joe', v_status, v_msg);
    ASSERT v_status = -1 AND v_msg = 'Quantity ''lots'' is not a number.', v_msg;
    CALL rf_item_relocation('', '', '', 'B-20-3', '', '', 'x1', '5', '', 'joe', v_status, v_msg);
    ASSERT v_status = -1, format('bad line number: %s', v_msg);
    CALL rf_item_relocation('', '', '', 'RCV-01', '', '', '153', '5', '', 'joe', v_status, v_msg);
    ASSERT v_status = -3, format('waiting for putaway: %s', v_msg);

    CALL rf_item_relocation('P000001', 'W1', 'A-01-1', 'B-20-3', 'C01', 'A1001', '1', '20', 'ea', 'joe', v_status,
                            v_msg);
    ASSERT v_status = 0 AND v_msg = '20 EA of A1001 moved from A-01-1 to B-20-3.', v_msg;
    ASSERT (SELECT qty FROM stock WHERE rec_num = 1) = 100, 'the line keeps 100';
    SELECT m.rec_num_to INTO v_to
    FROM stock_movement m
    WHERE m.movement_type = 'RELOCATE' AND m.rec_num = 1 AND m.qty = 20 AND m.qty_before = 120 AND m.qty_after = 100
      AND m.location_to = 'B-20-3' AND m.pallet_from = 'P0000017' AND m.pallet_to IS NULL;
    ASSERT (SELECT qty || location || coalesce(pallet, '-') FROM stock WHERE rec_num = v_to) = '20B-20-3-',
        'loose at the destination';

    -- A second move to the same place joins that line.
    CALL rf_item_relocation('', '', '', 'B-20-3', '', '', '1', '10', '', 'joe', v_status, v_msg);
    ASSERT v_status = 0 AND (SELECT qty FROM stock WHERE rec_num = v_to) = 30, 'joined';

    -- Moving the whole line keeps its number and empties its pallet.
    CALL rf_item_relocation('', '', '', 'B-20-3', '', '', '1', '90', '', 'joe', v_status, v_msg);
    ASSERT v_status = 0 AND (SELECT location || qty FROM stock WHERE rec_num = 1) = 'B-20-390', v_msg;
    ASSERT (SELECT status FROM pallet WHERE pallet = 'P0000017') = 'EMPTY', 'the pallet is empty';
END
$$;

-- Item relocation onto a pallet and into a grade.
DO $$
DECLARE
    v_status integer;
    v_msg    text;
BEGIN
    CALL rf_item_relocation2('2', 'W1', 'B-20-2', 'P0000031', '5', '', 'joe', v_status, v_msg);
    ASSERT v_status = -3, format('pallet stands elsewhere: %s', v_msg);
    CALL rf_item_relocation2('2', 'W1', 'B-20-2', '', '5', 'Z', 'joe', v_status, v_msg);
    ASSERT v_status = -1, format('unknown grade: %s', v_msg);
    CALL rf_item_relocation2('2', 'W1', 'B-20-2', 'NEWPAL1', '5', 'b', 'joe', v_status, v_msg);
    ASSERT v_status = 0 AND v_msg = '5 EA of A1001 moved to W1/B-20-2 on pallet NEWPAL1, grade B.', v_msg;
    ASSERT EXISTS (SELECT 1 FROM stock s
                   WHERE s.pallet = 'NEWPAL1' AND s.location = 'B-20-2' AND s.grade = 'B' AND s.qty = 5),
        'on the new pallet';
    CALL rf_item_relocation2('2', '', 'A-01-2', '', '5', 'C', 'joe', v_status, v_msg);
    ASSERT v_status = 0 AND EXISTS (SELECT 1 FROM stock_movement m WHERE m.movement_type = 'GRADE' AND m.rec_num = 2),
        format('a regrade in place: %s', v_msg);
END
$$;

-- Whole pallets.
DO $$
DECLARE
    v_status integer;
    v_msg    text;
BEGIN
    CALL rf_location_transfer('P0000031', 'W1', 'A-01-2', 'joe', v_status, v_msg);
    ASSERT v_status = -5 AND v_msg LIKE 'Location W1/A-01-2 is full%', v_msg;
    CALL rf_location_transfer('P0000031', 'W2', 'C-01-1', 'joe', v_status, v_msg);
    ASSERT v_status = -2, format('wrong warehouse: %s', v_msg);
    CALL rf_location_transfer('P0001014', 'W1', 'C-20-1', 'joe', v_status, v_msg);
    ASSERT v_status = -3, format('waiting for putaway: %s', v_msg);
    CALL rf_location_transfer('P0000055', 'W1', 'C-20-1', 'joe', v_status, v_msg);
    ASSERT v_status = -3, format('booked for replenishment: %s', v_msg);
    CALL rf_location_transfer('P000003', 'W1', 'C-20-1', 'joe', v_status, v_msg);
    ASSERT v_status = 0, v_msg;
    ASSERT (SELECT location FROM stock WHERE pallet = 'P0000031') = 'C-20-1', 'moved';

    CALL rf_pallet_relocation('P0000031', 'W2', 'X-05', 'q', 'joe', v_status, v_msg);
    ASSERT v_status = 0 AND v_msg = 'Pallet P0000031 moved to W2/X-05 (1 stock line), grade Q.', v_msg;
    ASSERT (SELECT warehouse || location || grade FROM stock WHERE pallet = 'P0000031') = 'W2X-05Q',
        'moved and regraded';
    ASSERT (SELECT count(*) FROM stock_movement m WHERE m.pallet_from = 'P0000031') = 2, 'both moves journalled';
    CALL rf_pallet_relocation('NOPE', 'W1', 'C-20-1', '', 'joe', v_status, v_msg);
    ASSERT v_status = -2, v_msg;
END
$$;

-- Quantity corrections.
DO $$
DECLARE
    v_status integer;
    v_msg    text;
BEGIN
    CALL rf_update_pallet_location_qty('6', '', '-1', 'DOC1', 'joe', v_status, v_msg);
    ASSERT v_status = -4, format('negative: %s', v_msg);
    CALL rf_update_pallet_location_qty('6', '', '200', '', 'joe', v_status, v_msg);
    ASSERT v_status = -1 AND v_msg = 'Document reference is required for a quantity correction.', v_msg;
    CALL rf_update_pallet_location_qty('5', '', '10', 'DOC1', 'joe', v_status, v_msg);
    ASSERT v_status = -4, format('below the booked 24: %s', v_msg);
    CALL rf_update_pallet_location_qty('6', 'BOX', '10', 'DOC1', 'joe', v_status, v_msg);
    ASSERT v_status = -1, format('not a unit of the item: %s', v_msg);
    CALL rf_update_pallet_location_qty('6', '', '230', 'DOC1', 'joe', v_status, v_msg);
    ASSERT v_status = 0 AND v_msg = 'Stock line 6 corrected from 240 EA to 230 EA (DOC1).', v_msg;
    ASSERT EXISTS (SELECT 1 FROM stock_movement m
                   WHERE m.movement_type = 'ADJUST' AND m.rec_num = 6 AND m.qty = -10 AND m.reference = 'DOC1'),
        'journalled with its document';
    CALL rf_update_pallet_location_qty('6', 'CTN', '20', 'DOC2', 'joe', v_status, v_msg);
    ASSERT v_status = 0 AND (SELECT uom || qty FROM stock WHERE rec_num = 6) = 'CTN20', v_msg;
    ASSERT (SELECT m.qty_before || '/' || m.qty_after || '/' || m.qty FROM stock_movement m
            WHERE m.reference = 'DOC2' AND m.uom = 'CTN') = '19.166667/20/0.833333', 'journalled in cartons';
END
$$;

-- Pallet numbers, created stock, serial numbers on pallets.
DO $$
DECLARE
    v_pallet text;
    v_status integer;
    v_msg    text;
    r        record;
BEGIN
    CALL rf_next_pallet_no('C01', '', v_pallet);
    ASSERT v_pallet ~ '^P[0-9]{7}$' AND right(v_pallet, 1) = pallet_check_char(left(v_pallet, 7)), v_pallet;
    ASSERT EXISTS (SELECT 1 FROM pallet p WHERE p.pallet = v_pallet AND p.client = 'C01'), 'registered';
    CALL rf_next_pallet_no('NOPE', '', v_pallet);
    ASSERT v_pallet IS NULL, 'no number for an unknown client';

    SELECT * INTO r FROM rf_create_stock('W1', 'C-19-1', 'C01', 'A1002', '', 'EA', 12, '', 'joe');
    ASSERT r.sqlstatus = -1, format('no reference: %s', r);
    SELECT * INTO r FROM rf_create_stock('W1', 'RCV-01', 'C01', 'A1002', '', 'EA', 12, 'FOUND1', 'joe');
    ASSERT r.sqlstatus = -5, format('not in a receiving location: %s', r);
    SELECT * INTO r FROM rf_create_stock('W1', 'C-19-1', 'C01', 'A1002', '', 'EA', 0, 'FOUND1', 'joe');
    ASSERT r.sqlstatus = -4, format('nothing: %s', r);
    SELECT * INTO r FROM rf_create_stock('W1', 'C-19-1', 'C01', 'A1002', '', 'EA', 12, 'FOUND1', 'joe');
    ASSERT r.sqlstatus = 0 AND r.rec_num IS NOT NULL, format('%s', r);
    ASSERT EXISTS (SELECT 1 FROM stock_movement m
                   WHERE m.movement_type = 'CREATE' AND m.rec_num = r.rec_num AND m.reference = 'FOUND1'),
        'journalled';

    -- rec_num 39: 4 units of the serial-controlled A1020 on pallet 39, each with its serial number.
    CALL rf_update_serial_pallet('C01', 'A1020', 'SN-NEW', 'P000039', 'joe', v_status, v_msg);
    ASSERT v_status = -4, format('every unit has one: %s', v_msg);
    UPDATE serial_number SET status = 'DELETED' WHERE rec_num = 39 AND serial_no LIKE '%01';
    CALL rf_update_serial_pallet('C01', 'A1020', 'SN-NEW', 'P000039', 'joe', v_status, v_msg);
    ASSERT v_status = 0, v_msg;
    ASSERT (SELECT pallet || rec_num FROM serial_number WHERE serial_no = 'SN-NEW')
           = 'P000039' || pallet_check_char('P000039') || '39', 'on the pallet''s line';
    CALL rf_update_serial_pallet('C01', 'A1020', 'SN-NEW', 'P0000017', 'joe', v_status, v_msg);
    ASSERT v_status = -3, format('the pallet holds no A1020: %s', v_msg);
END
$$;

SELECT pg_temp.ledger_check('moves and corrections');
ROLLBACK;
BEGIN;
SELECT pg_temp.ledger_open();

-- Cartons.
DO $$
DECLARE
    r        record;
    v_status integer;
    v_msg    text;
BEGIN
    -- rec_num 2: 240 EA of A1001 on pallet P0000024 in A-01-2.
    SELECT * INTO r FROM rf_create_carton('W1', 'A-01-2', 'C01', 'A1001', '', 300, 'EA', 'CX1', 'joe');
    ASSERT r.sqlstatus = -4 AND r.sqlmsg = 'Cannot pack 300 EA of A1001: A-01-2 holds only 240 EA outside cartons.',
        format('%s', r);
    SELECT * INTO r FROM rf_create_carton('W1', 'A-01-2', 'C01', 'A1001', '', 24, 'EA', 'CTN1', 'joe');
    ASSERT r.sqlstatus = -3, format('label in use: %s', r);
    SELECT * INTO r FROM rf_create_carton('W1', 'A-01-2', 'C01', 'A1001', '', 24, 'EA', 'CX1', 'joe');
    ASSERT r.sqlstatus = 0 AND r.carton_no = 'CX1', format('%s', r);
    ASSERT (SELECT qty FROM stock WHERE rec_num = 2) = 216, 'taken from the pallet line';
    ASSERT (SELECT qty || pallet FROM stock WHERE carton_no = 'CX1') = '24P0000024', 'packed on the same pallet';

    SELECT * INTO r FROM rf_split_carton('C01', 'CX1', 'CX2', 30, 'joe');
    ASSERT r.sqlstatus = -4, format('over-split: %s', r);
    SELECT * INTO r FROM rf_split_carton('C01', 'CTN51', 'CX2', 1, 'joe');
    ASSERT r.sqlstatus = -3, format('a mixed carton: %s', r);
    SELECT * INTO r FROM rf_split_carton('C01', 'CX1', 'CX2', 10, 'joe');
    ASSERT r.sqlstatus = 0 AND r.sqlmsg = '10 EA of A1001 moved from carton CX1 to carton CX2; 14 EA left.',
        format('%s', r);
    ASSERT (SELECT parent_carton_no FROM carton WHERE carton_no = 'CX2') = 'CX1', 'child knows its parent';
    SELECT * INTO r FROM rf_split_carton('C01', 'CTN3', 'CX3', 12, 'joe');
    ASSERT r.sqlstatus = 0 AND (SELECT status FROM carton WHERE carton_no = 'CTN3') = 'EMPTY',
        format('a carton split whole is empty: %s', r);

    SELECT * INTO r FROM rf_adjust_carton_qty('C01', 'CX2', 8, 'joe');
    ASSERT r.sqlstatus = 0, format('%s', r);
    ASSERT (SELECT sum(qty) FROM rf_query_carton('C01', 'CX2', 'joe')) = 8, 'query shows the adjusted quantity';
    ASSERT (SELECT count(*) FROM rf_query_carton('C01', 'CTN51', 'joe')) = 2, 'two lines';
    ASSERT (SELECT count(*) FROM rf_query_carton('C01', 'NOPE', 'joe')) = 0, 'unknown carton';

    SELECT * INTO r FROM rf_get_carton_items('C01', 'CX1');
    ASSERT r.sqlstatus = 0 AND r.warehouse = 'W1' AND r.location = 'A-01-2' AND r.qty_avail = 14
           AND r."Description" IS NOT NULL, format('%s', r);
    SELECT * INTO r FROM rf_get_carton_items('C01', 'NOPE');
    ASSERT r.sqlstatus = -2, format('%s', r);

    SELECT * INTO r FROM rf_relocate_carton('W1', 'C-18-1', 'C01', 'CX1', 'joe');
    ASSERT r.sqlstatus = 0, format('%s', r);
    ASSERT (SELECT location || coalesce(pallet, '-') FROM stock WHERE carton_no = 'CX1') = 'C-18-1-',
        'off the pallet, in the new location';
    ASSERT (SELECT location FROM carton WHERE carton_no = 'CX1') = 'C-18-1', 'carton follows';

    SELECT * INTO r FROM rf_map_carton('W1', 'C-17-1', 'C01', 'CX1', 'joe');
    ASSERT r.sqlstatus = -3, format('stock elsewhere: %s', r);
    SELECT * INTO r FROM rf_map_carton('W1', 'C-17-1', 'C01', 'CX9', 'joe');
    ASSERT r.sqlstatus = 0 AND (SELECT status || location FROM carton WHERE carton_no = 'CX9') = 'EMPTYC-17-1',
        format('%s', r);
    SELECT * INTO r FROM rf_map_carton('W1', 'C-18-1', 'C01', 'CX1', 'joe');
    ASSERT r.sqlstatus = 0, format('%s', r);

    ASSERT (SELECT count(*) FROM stock_movement m WHERE m.carton_to IN ('CX1', 'CX2')) = 3,
        'packing, splitting and moving are journalled';
END
$$;

-- A location under count takes no moves.
DO $$
DECLARE
    v_status integer;
    v_msg    text;
BEGIN
    UPDATE location SET status = 'COUNTING' WHERE warehouse = 'W1' AND location = 'C-20-2';
    CALL rf_item_relocation('', '', '', 'C-20-2', '', '', '1', '1', '', 'joe', v_status, v_msg);
    ASSERT v_status = -5 AND v_msg = 'Location W1/C-20-2 is being counted; no stock moves in or out.', v_msg;
END
$$;

SELECT pg_temp.ledger_check('cartons');
ROLLBACK;
