-- Tests of the cycle-counting routines, on the demo data. Everything runs in
-- one transaction that is rolled back.

\set ON_ERROR_STOP 1
\ir support/ledger.sql
BEGIN;
SELECT pg_temp.ledger_open();

-- Whether a location may be counted.
DO $$
DECLARE
    c      record;
    zone   text;
    status integer;
    msg    text;
BEGIN
    UPDATE location SET status = 'BLOCKED' WHERE warehouse = 'W1' AND location = 'D-20-2';
    UPDATE location SET status = 'COUNTING' WHERE warehouse = 'W1' AND location = 'D-20-1';
    FOR c IN
        SELECT *
        FROM (VALUES
            ('free location', 'W1', ' A-01-1 ', 'BA', 0, 'Location A-01-1 in zone BA may be counted.'),
            ('no warehouse', '', 'A-01-1', NULL, -1, 'Warehouse is required.'),
            ('no location', 'W1', NULL, NULL, -2, 'Location is required.'),
            ('unknown location', 'W1', 'Z-99', NULL, -3, 'Location Z-99 not found in warehouse W1.'),
            ('location of another warehouse', 'W2', 'A-01-1', NULL, -3, 'Location A-01-1 not found in warehouse W2.'),
            ('blocked location', 'W1', 'D-20-2', 'BC', -4, 'Location D-20-2 is blocked and cannot be counted.'),
            ('location being counted', 'W1', 'D-20-1', 'BC', -5, 'Location D-20-1 is already being counted.')
        ) AS t(name, warehouse, location, zone, status, msg)
    LOOP
        -- The zone goes in as the empty text and comes back.
        zone := '';
        CALL rf_check_location_status(c.warehouse, c.location, zone, status, msg);
        ASSERT status = c.status AND msg = c.msg AND zone IS NOT DISTINCT FROM c.zone,
            format('%s: got %s "%s" zone %s', c.name, status, msg, zone);
    END LOOP;
    UPDATE location SET status = 'ACTIVE' WHERE warehouse = 'W1' AND location IN ('D-20-1', 'D-20-2');
END
$$;

-- A count with a difference, a found line and a carton, finished into stock
-- adjustments.
DO $$
DECLARE
    res      record;
    status   integer;
    msg      text;
    zone     text;
    n        integer;
    moves    bigint;
    new_line stock%ROWTYPE;
BEGIN
    SELECT coalesce(max(movement_id), 0) INTO moves FROM stock_movement;

    SELECT * INTO res FROM rf_initialise_rf_stkcount_location('W1', 'A-01-1', 'C01', 'joe');
    ASSERT res.sqlstatus = 0 AND res.stocktake_ref = 'CC000001' AND res.zone = 'BA' AND res.lines = 1,
        format('start: got %s "%s" %s', res.sqlstatus, res.sqlmsg, res.stocktake_ref);
    ASSERT (SELECT l.status FROM location l WHERE l.warehouse = 'W1' AND l.location = 'A-01-1') = 'COUNTING',
        'start: location not marked';

    zone := '';
    CALL rf_check_location_status('W1', 'A-01-1', zone, status, msg);
    ASSERT status = -5 AND msg = 'Location A-01-1 is already being counted by JOE (stocktake CC000001).',
        format('check while counted: got %s "%s"', status, msg);
    SELECT * INTO res FROM rf_initialise_rf_stkcount_location('W1', 'A-01-1', 'C01', 'ANN');
    ASSERT res.sqlstatus = -12, format('another operator starts: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_initialise_rf_stkcount_location('W1', 'A-01-1', 'C01', 'JOE');
    ASSERT res.sqlstatus = 0 AND res.sqlmsg LIKE 'Count of A-01-1 under stocktake CC000001 resumed.%',
        format('same operator resumes: got %s "%s"', res.sqlstatus, res.sqlmsg);

    -- Record 1 holds 120 EA: counted 10 CTN of 12 = 120, then replaced by 118 EA.
    SELECT * INTO res FROM rf_cc_update_cycle_count('JOE', 'Y', 'W1', 'A-01-1', 'P0000017', 'C01', 'A1001', 'CTN',
                                                    120, 10, 'A', 'CC000001', 'CYCLECOUNT', 1, '', '', '', '', '',
                                                    '', '', '');
    ASSERT res.sqlstatus = 0 AND res.counted_qty = 120 AND res.counted_uom = 'EA' AND res.difference = 0
           AND res.sqlmsg = 'Counted 120 EA of A1001 on record 1: as held.',
        format('count in cartons: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_cc_update_cycle_count('JOE', 'Y', 'W1', 'A-01-1', 'P0000017', 'C01', 'A1001', 'EA',
                                                    120, 116, 'A', '', 'CYCLECOUNT', 1, '', '', '', '', '', '', '',
                                                    '');
    ASSERT res.sqlstatus = 0 AND res.counted_qty = 116 AND res.difference = -4,
        format('recount replaces: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_cc_update_cycle_count('JOE', 'N', 'W1', 'A-01-1', 'P0000017', 'C01', 'A1001', 'EA',
                                                    120, 2, 'A', '', 'CYCLECOUNT', 1, '', '', '', '', '', '', '', '');
    ASSERT res.sqlstatus = 0 AND res.counted_qty = 118 AND res.held_qty = 120,
        format('a second go adds: got %s "%s"', res.sqlstatus, res.sqlmsg);

    -- Stock the system does not hold here.
    SELECT * INTO res FROM rf_cc_update_cycle_count('JOE', 'Y', 'W1', 'A-01-1', 'P0000999', 'C01', 'A1002', 'EA',
                                                    NULL, 5, 'A', '', 'CYCLECOUNT', NULL, 'L9', '', '2030-01-31',
                                                    '31/12/2024', '', '', '', '');
    ASSERT res.sqlstatus = 0 AND res.counted_rec_num IS NULL AND res.difference = 5,
        format('found stock: got %s "%s"', res.sqlstatus, res.sqlmsg);

    -- Refusals change nothing.
    SELECT count(*) INTO n FROM count_line;
    FOR res IN
        SELECT * FROM (VALUES
            ('negative count', -4, 'Counted quantity -1 refused: a quantity cannot be negative.',
             'A1001', 'EA', -1::numeric, 1::numeric, '', ''),
            ('missing count', -3, 'Counted quantity is required.', 'A1001', 'EA', NULL, 1, '', ''),
            ('record of another location', -20, 'Stock record 2 is not held at A-01-1.', 'A1001', 'EA', 1, 2, '', ''),
            ('item not on the record', -20, 'Stock record 1 holds item A1001, not A1002.', 'A1002', 'EA', 1, 1, '', ''),
            ('fractional record number', -6, 'Stock record 1.5 is not a record number.', 'A1001', 'EA', 1, 1.5, '', ''),
            ('unit of no product', -20, 'Unit BOX is not a unit of item A1001.', 'A1001', 'BOX', 1, 1, '', ''),
            ('no date', -20, 'Expiry date 2030-02-30 is not a date.', 'A1001', 'EA', 1, 1, '2030-02-30', ''),
            ('other stocktake', -20, 'Location A-01-1 is counted under stocktake CC000001, not CC000009.',
             'A1001', 'EA', 1, 1, '', 'CC000009')
        ) AS t(name, status, msg, item, uom, qty, rec, expiry, ref)
    LOOP
        DECLARE
            got record;
        BEGIN
            SELECT * INTO got FROM rf_cc_update_cycle_count('JOE', 'Y', 'W1', 'A-01-1', '', 'C01', res.item, res.uom,
                                                            1, res.qty, 'A', res.ref, 'CYCLECOUNT', res.rec, '', '',
                                                            res.expiry, '', '', '', '', '');
            ASSERT got.sqlstatus = res.status AND got.sqlmsg = res.msg,
                format('%s: got %s "%s"', res.name, got.sqlstatus, got.sqlmsg);
        END;
    END LOOP;
    ASSERT (SELECT count(*) FROM count_line) = n, 'a refused count line was stored';

    -- The listing shows what has been counted.
    SELECT r.count_qty INTO res FROM rf_cc_get_location_stock('W1', 'A-01-1') AS r WHERE r.rec_num = 1;
    ASSERT res.count_qty = 118, 'listing: counted quantity not shown';

    -- A carton is counted whole in its own location.
    SELECT * INTO res FROM rf_initialise_rf_stkcount_location('W1', 'P-09', 'C01', 'JOE');
    SELECT * INTO res FROM rf_update_rf_stkcount_carton('W1', 'P-09', 'C01', 'CTN9', 'JOE');
    ASSERT res.sqlstatus = 0 AND res.lines = 1 AND res.qty = 48,
        format('carton: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_update_rf_stkcount_carton('W1', 'A-01-1', 'C01', 'CTN9', 'JOE');
    ASSERT res.sqlstatus = -5, format('carton elsewhere: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_update_rf_stkcount_carton('W1', 'P-09', 'C02', 'CTN9', 'JOE');
    ASSERT res.sqlstatus = -4, format('carton of another client: got %s "%s"', res.sqlstatus, res.sqlmsg);

    -- Finish: the difference and the found stock become COUNT movements.
    SELECT * INTO res FROM rf_update_rf_stkcount_location('W1', 'A-01-1', 'C01', 'JOE');
    ASSERT res.sqlstatus = 0 AND res.lines_counted = 2 AND res.lines_adjusted = 2,
        format('finish: got %s "%s"', res.sqlstatus, res.sqlmsg);
    ASSERT (SELECT qty FROM stock WHERE rec_num = 1) = 118, 'finish: counted quantity not stored';
    SELECT * INTO new_line FROM stock s WHERE s.location = 'A-01-1' AND s.item_no = 'A1002';
    ASSERT new_line.qty = 5 AND new_line.pallet = 'P0000999' AND new_line.lot_no = 'L9'
           AND new_line.expiry_date = DATE '2030-01-31' AND new_line.prod_date = DATE '2024-12-31',
        'finish: found stock not created as counted';
    ASSERT (SELECT count(*) FROM stock_movement m
            WHERE m.movement_id > moves AND m.movement_type = 'COUNT' AND m.reference = 'CYCLECOUNT CC000001'
              AND ((m.rec_num = 1 AND m.qty = -2 AND m.qty_before = 120 AND m.qty_after = 118 AND m.reason_code = 'CNT')
                   OR (m.rec_num = new_line.rec_num AND m.qty = 5 AND m.reason_code = 'FOUND'))) = 2,
        'finish: movements wrong';
    ASSERT (SELECT l.status FROM location l WHERE l.warehouse = 'W1' AND l.location = 'A-01-1') = 'ACTIVE'
           AND (SELECT l.last_count_date FROM location l WHERE l.warehouse = 'W1' AND l.location = 'A-01-1') IS NOT NULL,
        'finish: location not reopened';
    ASSERT (SELECT c.status FROM count_location c WHERE c.location = 'A-01-1') = 'COUNTED', 'finish: count not closed';
    ASSERT (SELECT bool_and(l.adjusted) FROM count_line l WHERE l.location = 'A-01-1'), 'finish: lines not marked';
    SELECT * INTO res FROM rf_update_rf_stkcount_location('W1', 'A-01-1', 'C01', 'JOE');
    ASSERT res.sqlstatus = -3, format('finish twice: got %s "%s"', res.sqlstatus, res.sqlmsg);

    -- Counted again: a new round under a new stocktake; the first count's lines stand.
    SELECT count(*) INTO n FROM count_line l WHERE l.stocktake_ref = 'CC000001' AND l.location = 'A-01-1';
    SELECT * INTO res FROM rf_initialise_rf_stkcount_location('W1', 'A-01-1', 'C01', 'JOE');
    ASSERT res.sqlstatus = 0 AND res.stocktake_ref = 'CC000002' AND res.lines = 2,
        format('second round: got %s "%s" %s', res.sqlstatus, res.sqlmsg, res.stocktake_ref);
    ASSERT (SELECT count(*) FROM count_line l WHERE l.stocktake_ref = 'CC000001' AND l.location = 'A-01-1') = n
           AND n = 2, 'second round: the first count''s lines were lost';
    ASSERT (SELECT c.status FROM count_location c WHERE c.stocktake_ref = 'CC000001' AND c.location = 'A-01-1')
           = 'COUNTED', 'second round: the first count reopened';
    ASSERT (SELECT h.count_type || ' ' || h.status FROM count_header h WHERE h.stocktake_ref = 'CC000002')
           = 'CYCLECOUNT OPEN', 'second round: no new stocktake';
    -- Another location still joins the open stocktake that has not counted it.
    SELECT * INTO res FROM rf_initialise_rf_stkcount_location('W1', 'A-01-2', 'C01', 'JOE');
    ASSERT res.sqlstatus = 0 AND res.stocktake_ref = 'CC000002',
        format('next location: got %s "%s" %s', res.sqlstatus, res.sqlmsg, res.stocktake_ref);

    -- The carton count matches the system: nothing moves.
    SELECT coalesce(max(movement_id), 0) INTO moves FROM stock_movement;
    SELECT * INTO res FROM rf_update_rf_stkcount_location('W1', 'P-09', '', 'JOE');
    ASSERT res.sqlstatus = 0 AND res.lines_adjusted = 0, format('carton finish: got %s "%s"', res.sqlstatus, res.sqlmsg);
    ASSERT (SELECT coalesce(max(movement_id), 0) FROM stock_movement) = moves, 'carton finish: journalled';
END
$$;

-- Finishing refused: nothing counted, or a count below the booked quantity.
DO $$
DECLARE
    res record;
BEGIN
    SELECT * INTO res FROM rf_initialise_rf_stkcount_location('W1', 'P-01', '', 'JOE');
    SELECT * INTO res FROM rf_update_rf_stkcount_location('W1', 'P-01', '', 'JOE');
    ASSERT res.sqlstatus = -5, format('nothing counted: got %s "%s"', res.sqlstatus, res.sqlmsg);

    -- CTN1 holds 12, 6 of them booked by a pick.
    SELECT * INTO res FROM rf_cc_update_cycle_count('JOE', 'Y', 'W1', 'P-01', '', 'C01', 'A1001', 'EA', 12, 5, 'A',
                                                    '', 'CYCLECOUNT', 101, '', '', '', '', '', '', '', '');
    SELECT * INTO res FROM rf_update_rf_stkcount_location('W1', 'P-01', '', 'JOE');
    ASSERT res.sqlstatus = -20 AND res.sqlmsg LIKE 'Record 101: counted 5 EA is below the 6 booked%',
        format('below booked: got %s "%s"', res.sqlstatus, res.sqlmsg);
    ASSERT (SELECT qty FROM stock WHERE rec_num = 101) = 12, 'below booked: stock changed';
    ASSERT (SELECT c.status FROM count_location c WHERE c.location = 'P-01') = 'OPEN', 'below booked: count closed';

    SELECT * INTO res FROM rf_cc_update_cycle_count('JOE', 'Y', 'W1', 'P-01', '', 'C01', 'A1001', 'EA', 12, 6, 'A',
                                                    '', 'CYCLECOUNT', 101, '', '', '', '', '', '', '', '');
    SELECT * INTO res FROM rf_update_rf_stkcount_location('W1', 'P-01', '', 'JOE');
    ASSERT res.sqlstatus = 0 AND (SELECT qty FROM stock WHERE rec_num = 101) = 6,
        format('down to the booked quantity: got %s "%s"', res.sqlstatus, res.sqlmsg);
END
$$;

-- A line the count did not find is written off at the finish: the
-- difference is journalled like any other.
DO $$
DECLARE
    res record;
BEGIN
    SELECT * INTO res FROM rf_cc_update_cycle_count('JOE', 'Y', 'W1', 'P-55', '', 'C01', 'A1001', 'EA', 6, 6, 'A',
                                                    '', 'CYCLECOUNT', 151, '', '', '', '', '', '', '', '');
    SELECT * INTO res FROM rf_update_rf_stkcount_location('W1', 'P-55', '', 'JOE');
    ASSERT res.sqlstatus = 0 AND res.lines_counted = 1 AND res.lines_adjusted = 1,
        format('finish: got %s "%s"', res.sqlstatus, res.sqlmsg);
    ASSERT (SELECT string_agg(rec_num || '=' || qty, ' ' ORDER BY rec_num) FROM stock WHERE rec_num IN (151, 152))
           = '151=6 152=0', 'the line not found is written off';
    ASSERT EXISTS (SELECT 1 FROM stock_movement m
                   WHERE m.movement_type = 'COUNT' AND m.rec_num = 152 AND m.qty = -10 AND m.qty_after = 0),
        'the write-off is journalled';
END
$$;

-- Count tasks close once their location has been counted.
DO $$
DECLARE
    res record;
BEGIN
    SELECT * INTO res FROM rf_close_count_task('WO000003', 1, 1, 0, 'ANN');
    ASSERT res.sqlstatus = -10, format('not counted: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_initialise_rf_stkcount_location('W1', 'C-10-1', '', 'ANN');
    SELECT * INTO res FROM rf_close_count_task('WO000003', 1, 1, 0, 'ANN');
    ASSERT res.sqlstatus = -9, format('count open: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_update_rf_stkcount_location('W1', 'C-10-1', '', 'ANN');
    ASSERT res.sqlstatus = 0, format('empty location: got %s "%s"', res.sqlstatus, res.sqlmsg);

    SELECT * INTO res FROM rf_close_count_task('WO000003', 1, 1, 0, 'JOE');
    ASSERT res.sqlstatus = -8, format('assigned to another: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_close_count_task('WO000001', 1, 1, 0, 'ANN');
    ASSERT res.sqlstatus = -5, format('not a count: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_close_count_task('WO000003', 1, 2, 0, 'ANN');
    ASSERT res.sqlstatus = -6, format('unknown activity: got %s "%s"', res.sqlstatus, res.sqlmsg);

    SELECT * INTO res FROM rf_close_count_task('WO000003', 1, 1, 0, 'ann');
    ASSERT res.sqlstatus = 0 AND res.sqlmsg = 'Count task 1 of works order WO000003 closed.',
        format('close: got %s "%s"', res.sqlstatus, res.sqlmsg);
    ASSERT (SELECT status FROM activity WHERE wo_no = 'WO000003') = 'COMPLETED'
           AND (SELECT status FROM task WHERE wo_no = 'WO000003') = 'COMPLETED'
           AND (SELECT status FROM works_order WHERE wo_no = 'WO000003') = 'COMPLETED',
        'close: task and works order not completed';
    SELECT * INTO res FROM rf_close_count_task('WO000003', 1, 1, 0, 'ANN');
    ASSERT res.sqlstatus = -7, format('close twice: got %s "%s"', res.sqlstatus, res.sqlmsg);
END
$$;

SELECT pg_temp.ledger_check('counting');
ROLLBACK;
