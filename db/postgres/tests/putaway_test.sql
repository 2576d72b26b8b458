-- Putaway and replenishment routines, on the demo data. Everything runs in one
-- transaction that is rolled back; a failed assertion stops the script.
\ir support/ledger.sql
BEGIN;
SELECT pg_temp.ledger_open();

-- The receipt R000001 pallets wait at RCV-01 with reserved destinations.
DO $$
DECLARE
    r record;
BEGIN
    SELECT * INTO r FROM rf_get_putaway_pallet() WHERE pallet_no = 'P0001014';
    ASSERT r.wo_no = 'WO000001' AND r.receipt_no = 'R000001' AND r.location_to = 'D-01-1',
        format('waiting pallet listed with its task: %s', r);
    ASSERT (SELECT count(*) FROM rf_get_putaway_pallet()) = 2, 'only the received pallets wait';

    -- The reserved destination is kept; the label may lack its check character.
    SELECT * INTO r FROM rf_get_putaway_pallet_location('P000101', 'joe');
    ASSERT r.sqlstatus = 0 AND r.warehouse_to = 'W1' AND r.location_to = 'D-01-1', format('kept: %s', r);

    -- Refusals.
    SELECT * INTO r FROM rf_get_putaway_pallet_location('P0000017', 'joe');
    ASSERT r.sqlstatus = -3 AND r.sqlmsg = 'Pallet P0000017 is not waiting for putaway.', format('%s', r);
    SELECT * INTO r FROM rf_get_putaway_pallet_location('NOPE', 'joe');
    ASSERT r.sqlstatus = -2 AND r.location_to = '', format('%s', r);
    SELECT * INTO r FROM rf_get_putaway_pallet_location2('C02', 'P0001014', 'joe');
    ASSERT r.sqlstatus = -2, format('another client''s pallet: %s', r);
END
$$;

-- Without reservations: an empty bulk location of the product's zone, and
-- never the one just reserved for another pallet.
DO $$
DECLARE
    a record;
    b record;
    r record;
    v_zone text;
BEGIN
    UPDATE activity SET warehouse_to = NULL, location_to = NULL WHERE wo_no = 'WO000001';
    SELECT * INTO a FROM rf_get_putaway_pallet_location2('C01', 'P0001014', 'joe');
    SELECT * INTO b FROM rf_get_putaway_pallet_location2('C01', 'P0001021', 'joe');
    ASSERT a.sqlstatus = 0 AND b.sqlstatus = 0, format('%s %s', a, b);
    ASSERT a.location_to <> b.location_to, 'two pallets, two locations';
    SELECT l.zone INTO v_zone FROM location l WHERE l.warehouse = 'W1' AND l.location = a.location_to;
    ASSERT v_zone = 'BA', format('A1001 is stored in zone BA, got %s', v_zone);
    ASSERT NOT EXISTS (SELECT 1 FROM stock s WHERE s.location = a.location_to AND s.qty > 0), 'an empty location';
    ASSERT (SELECT location_to FROM activity WHERE wo_no = 'WO000001' AND task_no = 1) = a.location_to,
        'the choice is reserved';

    SELECT * INTO r FROM rf_receipt_allocate_putaway_location('C01', 'R000001', 'joe');
    ASSERT r.sqlstatus = 0 AND r.pallets = 2 AND r.allocated = 2, format('%s', r);
    SELECT * INTO r FROM rf_receipt_allocate_putaway_location('C01', 'R000002', 'joe');
    ASSERT r.sqlstatus = -3, format('an open receipt: %s', r);
END
$$;

-- Putting a pallet away and closing its task.
DO $$
DECLARE
    r record;
    s stock%ROWTYPE;
BEGIN
    SELECT * INTO r FROM rf_putaway_stock_movements_pallet('P0001014', 'W1', 'RCV-02', 'joe');
    ASSERT r.sqlstatus = -5, format('no putaway into a receiving location: %s', r);
    SELECT * INTO r FROM rf_putaway_stock_movements_pallet('P0001014', 'W1', 'A-01-1', 'joe');
    ASSERT r.sqlstatus = -5 AND r.sqlmsg LIKE 'Location W1/A-01-1 is full%', format('%s', r);
    SELECT * INTO r FROM rf_putaway_stock_movements_pallet('P0001014', '', 'D-05-1', 'joe');
    ASSERT r.sqlstatus = 0, format('%s', r);

    SELECT * INTO s FROM stock WHERE rec_num = 153;
    ASSERT s.location = 'D-05-1' AND s.status = 'AVAILABLE' AND s.qty = 120 AND s.pallet = 'P0001014',
        format('%s', s);
    ASSERT EXISTS (SELECT 1 FROM stock_movement m
                   WHERE m.movement_type = 'PUTAWAY' AND m.rec_num = 153 AND m.qty = 120
                     AND m.location_from = 'RCV-01' AND m.location_to = 'D-05-1' AND m.wo_no = 'WO000001'
                     AND m.task_no = 1 AND m.operator = 'JOE'), 'the move is journalled';
    ASSERT NOT EXISTS (SELECT 1 FROM rf_get_putaway_pallet() WHERE pallet_no = 'P0001014'), 'no longer waiting';
    ASSERT (SELECT status FROM activity WHERE wo_no = 'WO000001' AND task_no = 1) = 'INPROGRESS', 'in progress';

    SELECT * INTO r FROM rf_close_putaway_task('WO000001', 1, NULL, 500, '', '', '', '', 'joe');
    ASSERT r.sqlstatus = -4, format('over-close: %s', r);
    SELECT * INTO r FROM rf_close_putaway_task('WO000001', 1, NULL, 100, '', '', '', '', 'joe');
    ASSERT r.sqlstatus = -1 AND r.sqlmsg LIKE '%needs a reason code.', format('%s', r);
    SELECT * INTO r FROM rf_close_putaway_task('WO000001', 1, NULL, NULL, '', 'P000101', 'W1', 'D-05-2', 'joe');
    ASSERT r.sqlstatus = -5, format('put elsewhere: %s', r);
    SELECT * INTO r FROM rf_close_putaway_task('WO000001', 1, NULL, NULL, '', 'P0000017', '', '', 'joe');
    ASSERT r.sqlstatus = -2, format('another pallet: %s', r);
    SELECT * INTO r FROM rf_close_putaway_task('WO000001', 1, 1, 120, '', 'P000101', 'W1', 'D-05-1', 'joe');
    ASSERT r.sqlstatus = 0, format('%s', r);
    ASSERT (SELECT status FROM task WHERE wo_no = 'WO000001' AND task_no = 1) = 'COMPLETED', 'task done';
    ASSERT (SELECT status FROM works_order WHERE wo_no = 'WO000001') = 'OPEN', 'one task left';
    SELECT * INTO r FROM rf_close_putaway_task('WO000001', 1, NULL, NULL, '', '', '', '', 'joe');
    ASSERT r.sqlstatus = -3, format('closed twice: %s', r);
    SELECT * INTO r FROM rf_close_putaway_task('WO999999', 1, NULL, NULL, '', '', '', '', 'joe');
    ASSERT r.sqlstatus = -2, format('%s', r);
END
$$;

-- Putaway straight from the receipt closes the task and the works order, and
-- counts the quantity on the purchase order.
DO $$
DECLARE
    v_status integer;
    v_msg    text;
BEGIN
    CALL rf_receipt_pallet_putaway('C01', 'R000002', 'P0001021', 'W1', 'D-05-2', 'joe', v_status, v_msg);
    ASSERT v_status = -2, format('wrong receipt: %s', v_msg);
    CALL rf_receipt_pallet_putaway('C01', 'R000001', 'P0001021', 'W1', 'D-05-2', 'joe', v_status, v_msg);
    ASSERT v_status = 0 AND v_msg = 'Pallet P0001021 put away to W1/D-05-2.', v_msg;
    ASSERT (SELECT status FROM works_order WHERE wo_no = 'WO000001') = 'COMPLETED', 'works order done';
    ASSERT (SELECT qty_putaway FROM purchase_order_line WHERE order_no = 'PO1001' AND line_no = 2) = 240,
        'purchase order line counts the putaway';
    CALL rf_receipt_pallet_putaway('C01', 'R000001', 'P0001021', 'W1', 'D-05-3', 'joe', v_status, v_msg);
    ASSERT v_status = -3, format('put away twice: %s', v_msg);
END
$$;

SELECT pg_temp.ledger_check('putaway');
ROLLBACK;
BEGIN;
SELECT pg_temp.ledger_open();

-- Finding a location for one pallet of a receipt.
DO $$
DECLARE
    v_warehouse text;
    v_location  text;
    v_status    integer;
    v_msg       text;
BEGIN
    CALL rf_receipt_find_putaway_location('C01', 'R000001', 'P000102', 'joe', v_warehouse, v_location, v_status,
                                          v_msg);
    ASSERT v_status = 0 AND v_warehouse = 'W1' AND v_location = 'D-01-2', format('%s %s %s', v_status, v_location,
                                                                              v_msg);
    CALL rf_receipt_find_putaway_location('C01', 'R000001', 'P0000017', 'joe', v_warehouse, v_location, v_status,
                                          v_msg);
    ASSERT v_status = -3 AND v_warehouse IS NULL AND v_location IS NULL, v_msg;
END
$$;

-- Top-up putaway: part of a received line into its pick face, then a new
-- line received straight into it.
DO $$
DECLARE
    v_line   integer;
    v_status integer;
    v_msg    text;
    v_before numeric;
BEGIN
    SELECT qty INTO v_before FROM rf_get_item_pickface('W1', 'C01', 'A1001') WHERE location = 'P-01';
    v_line := 1;
    CALL rf_receipt_topup_putaway('C01', 'R000001', v_line, '', 'A1001', 'EA', 20, '', '', '', '', '', '', '', '',
                                  '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'W1', 'P-01',
                                  'joe', v_status, v_msg);
    ASSERT v_status = 0 AND v_line = 1, format('%s %s', v_status, v_msg);
    ASSERT (SELECT qty FROM stock WHERE rec_num = 153) = 100, 'the received line gave 20';
    ASSERT (SELECT qty FROM rf_get_item_pickface('W1', 'C01', 'A1001') WHERE location = 'P-01') = v_before + 20,
        'the pick face got 20';
    ASSERT (SELECT qty_done FROM activity WHERE wo_no = 'WO000001' AND task_no = 1) = 20, 'the task counts it';

    v_line := 1;
    CALL rf_receipt_topup_putaway('C01', 'R000001', v_line, '', 'A1001', 'EA', 500, '', '', '', '', '', '', '', '',
                                  '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'W1', 'P-01',
                                  'joe', v_status, v_msg);
    ASSERT v_status = -4 AND v_line IS NULL
           AND v_msg = 'Cannot move 500 EA of A1001: stock line 153 has only 100 EA available.', v_msg;
    -- No quantity, from the received line or as a new line, is refused before anything moves.
    FOR v_line, v_before IN SELECT * FROM (VALUES (1, 0), (NULL, 0), (NULL, -3)) AS c(line, qty) LOOP
        CALL rf_receipt_topup_putaway('C01', 'R000001', v_line, '', 'A1001', 'EA', v_before, '', '', '', '', '', '',
                                      '', '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'W1',
                                      'P-01', 'joe', v_status, v_msg);
        ASSERT v_status = -4 AND v_msg LIKE 'Quantity % refused: a top-up needs a quantity above 0.',
            format('a top-up of %s: %s %s', v_before, v_status, v_msg);
    END LOOP;
    ASSERT (SELECT qty FROM stock WHERE rec_num = 153) = 100, 'nothing more left the received line';
    ASSERT NOT EXISTS (SELECT 1 FROM receipt_line WHERE client = 'C01' AND receipt_no = 'R000001' AND line_no > 2),
        'no line of nothing';
    v_line := 1;
    CALL rf_receipt_topup_putaway('C01', 'R000001', v_line, '', 'A1001', 'EA', 5, '', '', '', '', '', '', '', '',
                                  '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'W1', 'P-02',
                                  'joe', v_status, v_msg);
    ASSERT v_status = -5, format('not its pick face: %s', v_msg);

    v_line := NULL;
    CALL rf_receipt_topup_putaway('C01', 'R000001', v_line, 'P000101', '', 'EA', 6, 'A', 'L9', 'B9', '', '',
                                  '2026-01-02', '31/12/2030', '', '', '', '', 1.5, NULL, NULL, NULL, 'usd', 4.5,
                                  '', NULL, 'udf', '', 'W1', 'P-01', 'joe', v_status, v_msg);
    ASSERT v_status = -1 AND v_msg = 'Item number is required.', format('no product: %s', v_msg);
    CALL rf_receipt_topup_putaway('C01', 'R000001', v_line, 'P000101', 'A1001', 'EA', 6, 'A', 'L9', 'B9', '', '',
                                  '2026-01-02', '31/12/2030', '', '', '', '', 1.5, NULL, NULL, NULL, 'usd', 4.5,
                                  '', NULL, 'udf', '', 'W1', 'P-01', 'joe', v_status, v_msg);
    ASSERT v_status = 0 AND v_line = 3, format('%s %s %s', v_status, v_line, v_msg);
    ASSERT EXISTS (SELECT 1 FROM receipt_line rl
                   JOIN stock s ON s.rec_num = rl.rec_num
                   WHERE rl.client = 'C01' AND rl.receipt_no = 'R000001' AND rl.line_no = 3 AND rl.pallet = 'P0001014'
                     AND s.location = 'P-01' AND s.qty = 6 AND s.lot_no = 'L9' AND s.expiry_date = '2030-12-31'
                     AND s.item_width = 1.5 AND s.currency = 'USD' AND s.status = 'AVAILABLE'), 'line 3 received';
    ASSERT EXISTS (SELECT 1 FROM stock_movement m
                   WHERE m.movement_type = 'RECEIPT' AND m.location_to = 'P-01' AND m.qty = 6), 'journalled';

    v_line := NULL;
    CALL rf_receipt_topup_putaway('C01', 'R000001', v_line, '', 'A1001', 'EA', 1, '', '', '', '', '', '', 'soon',
                                  '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'W1', 'P-01',
                                  'joe', v_status, v_msg);
    ASSERT v_status = -1 AND v_msg = 'Expiry date ''soon'' is not a date.', v_msg;
    CALL rf_receipt_topup_putaway('C01', 'R000002', v_line, '', 'A1006', 'EA', 1, '', '', '', '', '', '', '',
                                  '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'W1', 'P-06',
                                  'joe', v_status, v_msg);
    ASSERT v_status = -3, format('receipt not checked in: %s', v_msg);
    UPDATE receipt SET status = 'CLOSED' WHERE client = 'C01' AND receipt_no = 'R000001';
    CALL rf_receipt_topup_putaway('C01', 'R000001', v_line, '', 'A1001', 'EA', 1, '', '', '', '', '', '', '',
                                  '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'W1', 'P-01',
                                  'joe', v_status, v_msg);
    ASSERT v_status = -3, format('a closed receipt takes no new line: %s', v_msg);
    v_line := 1;
    CALL rf_receipt_topup_putaway('C01', 'R000001', v_line, '', '', '', 100, '', '', '', '', '', '', '',
                                  '', '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'W1', 'P-01',
                                  'joe', v_status, v_msg);
    ASSERT v_status = 0 AND (SELECT status FROM activity WHERE wo_no = 'WO000001' AND task_no = 1) = 'COMPLETED',
        format('the rest of a waiting line of a closed receipt completes its task: %s', v_msg);
END
$$;

SELECT pg_temp.ledger_check('top-up');

-- Pick faces and top-up locations.
DO $$
BEGIN
    ASSERT (SELECT count(*) FROM rf_get_item_pickface('W1', 'C01', 'A1001')) = 1, 'one pick face';
    ASSERT (SELECT count(*) FROM rf_get_item_pickface('', 'C01', 'A1001')) = 1, 'any warehouse';
    ASSERT (SELECT count(*) FROM rf_get_item_pickface('W1', 'C01', 'NOPE')) = 0, 'unknown item';
    ASSERT (SELECT location FROM rf_get_item_topup_location('W1', 'C01', 'A1003')) = 'P-03', 'room in P-03';
    INSERT INTO stock (client, item_no, warehouse, location, uom, qty, maker)
    VALUES ('C01', 'A1003', 'W1', 'P-03', 'CTN', 3, 'JOE');
    ASSERT (SELECT count(*) FROM rf_get_item_topup_location('W1', 'C01', 'A1003')) = 0,
        'a full pick face (48 EA) has no room';
END
$$;

ROLLBACK;
BEGIN;
SELECT pg_temp.ledger_open();

-- A line partly topped up into its pick face, then its pallet put away: the
-- task's close confirms what the pallet brought, and the task counts both.
DO $$
DECLARE
    v_line   integer := 1;
    v_status integer;
    v_msg    text;
    r        record;
BEGIN
    CALL rf_receipt_topup_putaway('C01', 'R000001', v_line, '', 'A1001', 'EA', 20, '', '', '', '', '', '', '', '',
                                  '', '', '', NULL, NULL, NULL, NULL, '', NULL, '', NULL, '', '', 'W1', 'P-01',
                                  'joe', v_status, v_msg);
    ASSERT v_status = 0, v_msg;
    SELECT * INTO r FROM rf_putaway_stock_movements_pallet('P0001014', 'W1', 'D-05-1', 'joe');
    ASSERT r.sqlstatus = 0, format('%s', r);
    SELECT * INTO r FROM rf_close_putaway_task('WO000001', 1, NULL, 101, '', '', '', '', 'joe');
    ASSERT r.sqlstatus = -4 AND r.sqlmsg = 'Cannot close putaway task WO000001/1 for 101 EA: the task has 100 EA '
                                           'to put away.', format('more than the pallet brought: %s', r);
    SELECT * INTO r FROM rf_close_putaway_task('WO000001', 1, NULL, 100, '', 'P0001014', 'W1', 'D-05-1', 'joe');
    ASSERT r.sqlstatus = 0 AND r.sqlmsg = 'Putaway task WO000001/1 closed: 100 EA of A1001 in W1/D-05-1.',
        format('the rest of the line is no short putaway: %s', r);
    ASSERT (SELECT status || ' ' || qty_done FROM activity WHERE wo_no = 'WO000001' AND task_no = 1)
           = 'COMPLETED 120', 'top-up and pallet both counted';
    ASSERT (SELECT status || ' ' || qty_done FROM task WHERE wo_no = 'WO000001' AND task_no = 1) = 'COMPLETED 120',
        'the task too';
END
$$;

SELECT pg_temp.ledger_check('top-up and putaway');
ROLLBACK;
BEGIN;
SELECT pg_temp.ledger_open();

-- Closing a replenishment task moves the booked stock into the pick face.
DO $$
DECLARE
    r record;
BEGIN
    SELECT * INTO r FROM rf_close_replenish_task('WO000004', 1, NULL, 30, '', 'joe');
    ASSERT r.sqlstatus = -4, format('over-replenish: %s', r);
    SELECT * INTO r FROM rf_close_replenish_task('WO000004', 1, NULL, 20, '', 'joe');
    ASSERT r.sqlstatus = -1, format('short without a reason: %s', r);
    SELECT * INTO r FROM rf_close_replenish_task('WO000004', 1, 1, NULL, '', 'joe');
    ASSERT r.sqlstatus = 0 AND r.sqlmsg = 'Replenishment task WO000004/1 closed: 24 EA of A1003 moved into P-03.',
        format('%s', r);
    ASSERT (SELECT qty || '/' || qty_booked FROM stock WHERE rec_num = 5) = '96/0', 'taken from the reserve line';
    ASSERT EXISTS (SELECT 1 FROM stock s
                   WHERE s.location = 'P-03' AND s.item_no = 'A1003' AND s.qty = 24 AND s.carton_no IS NULL),
        'loose in the pick face';
    ASSERT EXISTS (SELECT 1 FROM stock_movement m
                   WHERE m.movement_type = 'REPLENISH' AND m.rec_num = 5 AND m.qty = 24 AND m.wo_no = 'WO000004'),
        'journalled';
    ASSERT (SELECT status FROM works_order WHERE wo_no = 'WO000004') = 'COMPLETED', 'works order done';
    SELECT * INTO r FROM rf_close_replenish_task('WO000004', 1, NULL, NULL, '', 'joe');
    ASSERT r.sqlstatus = -3, format('closed twice: %s', r);
END
$$;

SELECT pg_temp.ledger_check('replenishment');
ROLLBACK;
BEGIN;
SELECT pg_temp.ledger_open();

-- A short replenishment with a reason releases the rest of the booking.
DO $$
DECLARE
    r record;
BEGIN
    SELECT * INTO r FROM rf_close_replenish_task('WO000004', 1, NULL, 10, 'dmg', 'joe');
    ASSERT r.sqlstatus = 0, format('%s', r);
    ASSERT (SELECT qty || '/' || qty_booked FROM stock WHERE rec_num = 5) = '110/0', 'booking released';
    ASSERT (SELECT reason_code || qty_done FROM activity WHERE wo_no = 'WO000004') = 'DMG10', 'reason kept';
END
$$;

SELECT pg_temp.ledger_check('short replenishment');
ROLLBACK;
