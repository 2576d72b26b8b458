-- Picking and despatch on the demo data: allocation, picks, short picks,
-- direct picks, serial numbers and despatch. Runs in a transaction that is
-- rolled back; any failed assertion stops the file (run by scripts/db.sh test).

\set ON_ERROR_STOP 1
\ir support/ledger.sql
BEGIN;
SELECT pg_temp.ledger_open();

DO $$
DECLARE
    r        record;
    v_status integer;
    v_msg    text;
    v_wo     text;
    v_n      numeric;
    v_qty    numeric;
BEGIN
    -- Extraction allocates every open line, first expiring first, and books
    -- the stock; a second extraction allocates nothing more.
    SELECT count(*), min(sqlstatus), max(sqlstatus), min(works_order) INTO v_n, v_status, v_qty, v_wo
    FROM rf_extract_order_picklist('C02', 'CUST001', 'SO2001', NULL, '', 'joe', 'joe');
    ASSERT v_status = 0 AND v_qty = 0 AND v_n = 2, 'SO2001 gives two picks';
    ASSERT (SELECT a.rec_num FROM activity a WHERE a.wo_no = v_wo AND a.task_no = 1) = 61,
        'line 1 takes the stock that expires first';
    SELECT sum(a.qty) INTO v_n FROM activity a WHERE a.wo_no = v_wo;
    PERFORM * FROM rf_extract_order_picklist('C02', '', 'SO2001', NULL, '', 'joe', 'joe');
    ASSERT (SELECT sum(a.qty) FROM activity a WHERE a.so_no = 'SO2001') = v_n, 'a second extraction allocates nothing';
    ASSERT (SELECT qty_booked FROM stock WHERE rec_num = 61) = 24, 'the allocated stock is booked once';
    ASSERT (SELECT string_agg(status || ':' || qty_allocated, ',' ORDER BY line_no)
            FROM sales_order_line WHERE client = 'C02' AND order_no = 'SO2001') = 'ALLOCATED:24,ALLOCATED:12',
        'the lines are allocated';

    -- A pick list row splits nothing by itself: the pallet label is whole.
    ASSERT (SELECT pallet_from FROM rf_extract_order_picklist('C02', '', 'SO2001', NULL, '', 'joe', 'joe')
            WHERE task_no = 1) = 'P0000611', 'the pick list names the source pallet';

    -- More than allocated, or than the stock line can give, is refused and
    -- changes nothing.
    SELECT sqlstatus INTO v_status
    FROM rf_confirm_item_picked(v_wo, 1, 1, '', 1, 'SO2001', 'C02', 'B2001', 'EA', 25, '', '', '', NULL, '', 'OUTA', 'joe');
    ASSERT v_status = -20, 'picking more than allocated is refused';
    SELECT sqlstatus INTO v_status
    FROM rf_confirm_item_picked(v_wo, 1, 1, '', 1, 'SO2001', 'C02', 'B2001', 'EA', 13, '', '', '', 131, '', 'OUTA', 'joe');
    ASSERT v_status = -26, 'picking more than a stock line holds is refused';
    ASSERT (SELECT qty FROM stock WHERE rec_num = 131) = 12 AND NOT EXISTS (SELECT 1 FROM pallet WHERE pallet = 'OUTA'),
        'a refusal changes nothing';

    -- A pick moves the stock onto the outbound pallet in a despatch lane.
    SELECT sqlstatus, sqlmsg INTO v_status, v_msg
    FROM rf_confirm_item_picked(v_wo, 1, 1, 'CUST001', 1, 'SO2001', 'C02', 'B2001', 'EA', 20, 'P0000611', 'W1',
                                'B-01-1', 61, '', 'OUTA', 'joe');
    ASSERT v_status = 0, v_msg;
    ASSERT (SELECT qty || '/' || qty_booked FROM stock WHERE rec_num = 61) = '100/4', 'the source keeps the rest';
    ASSERT (SELECT sum(qty) FROM stock WHERE pallet = 'OUTA' AND status = 'PICKED' AND so_no = 'SO2001'
              AND location = 'DSP-01') = 20, 'the picked stock is on the outbound pallet';
    ASSERT (SELECT qty_picked FROM sales_order_line WHERE client = 'C02' AND order_no = 'SO2001' AND line_no = 1) = 20,
        'the order line counts the pick';
    ASSERT EXISTS (SELECT 1 FROM stock_movement WHERE movement_type = 'PICK' AND rec_num = 61 AND qty = 20),
        'the pick is journalled';

    -- Closing short needs a known reason; the rest is released and
    -- back-ordered.
    SELECT sqlstatus INTO v_status FROM rf_close_pick_task(v_wo, 1, 1, 20, '', 'joe');
    ASSERT v_status = -28, 'a short close needs a reason';
    SELECT sqlstatus INTO v_status FROM rf_close_pick_task(v_wo, 1, 1, 21, 'SHORT', 'joe');
    ASSERT v_status = -27, 'the quantity closed must be what was confirmed';
    SELECT sqlstatus INTO v_status FROM rf_close_pick_task(v_wo, 1, 1, 20, 'SHORT', 'joe');
    ASSERT v_status = 0, 'a short close with a reason';
    ASSERT (SELECT qty_booked FROM stock WHERE rec_num = 61) = 0, 'the short quantity is released';
    ASSERT (SELECT qty_backorder || '/' || status FROM sales_order_line
            WHERE client = 'C02' AND order_no = 'SO2001' AND line_no = 1) = '4/PICKED', 'the short part is back-ordered';
    ASSERT (SELECT status || reason_code FROM activity WHERE wo_no = v_wo AND task_no = 1) = 'COMPLETEDSHORT',
        'the activity is closed with its reason';

    -- A direct pick from a pallet takes the line's own allocation there
    -- first, and refuses more than the pallet can give.
    CALL rf_pick_sales_detail2('C02', 'SO2001', '2', '13', 'P0000796', 'OUTA', '', 'joe', v_status, v_msg);
    ASSERT v_status = -20, 'a direct pick beyond the line is refused';
    CALL rf_update_pallet_location_qty('79', '', '12', 'Recount', 'joe', v_status, v_msg);
    CALL rf_pick_sales_detail2('C02', 'SO2001', '2', '12', 'P0000796', 'OUTA', '', 'joe', v_status, v_msg);
    ASSERT v_status = 0, v_msg;
    ASSERT (SELECT status FROM activity WHERE wo_no = v_wo AND task_no = 2) = 'COMPLETED', 'the allocation is used';
    ASSERT (SELECT status FROM pallet WHERE pallet = 'P0000796') = 'EMPTY', 'a pallet picked bare is empty';
    ASSERT (SELECT status FROM works_order WHERE wo_no = v_wo) = 'COMPLETED', 'the works order is done';
    ASSERT (SELECT status FROM sales_order WHERE client = 'C02' AND order_no = 'SO2001') = 'PICKED', 'the order is picked';

    -- The despatch list shows the pallet; despatch empties it onto the trip.
    ASSERT (SELECT count(*) FROM rf_extract_despatch_list('C02', '', 'SO2001') WHERE pallet = 'OUTA') = 1,
        'the picked pallet is on the despatch list';
    ASSERT (SELECT string_agg(item_no || '=' || qty, ',' ORDER BY item_no)
            FROM rf_get_despatch_pallet_items('C02', 'SO2001', 'OUTA')) = 'B2001=20,B2010=12', 'its contents';
    SELECT sqlstatus INTO v_status
    FROM rf_confirm_despatch('C02', 'CUST001', 'SO2001', '', 'OUTA', 'T77', 'TRK', 'R1', 'PARCELPRO', 'Bo', 'joe');
    ASSERT v_status = 0, 'despatch confirmed';
    ASSERT NOT EXISTS (SELECT 1 FROM stock WHERE pallet = 'OUTA' AND qty > 0), 'the stock left';
    ASSERT (SELECT string_agg(status, ',') FROM despatch_pallet WHERE order_no = 'SO2001') = 'DESPATCHED',
        'the pallet is despatched';
    ASSERT (SELECT status FROM sales_order WHERE client = 'C02' AND order_no = 'SO2001') = 'DESPATCHED',
        'the order is despatched';
    SELECT sqlstatus INTO v_status
    FROM rf_confirm_despatch('C02', 'CUST001', 'SO2001', '', 'OUTA', 'T77', 'TRK', 'R1', 'PARCELPRO', 'Bo', 'joe');
    ASSERT v_status = -43, 'a pallet is despatched once';

    -- Serial numbers: only for serialised items, no more than were picked.
    PERFORM * FROM rf_extract_order_picklist('C01', '', 'SO1002', NULL, '', 'joe', 'joe');
    SELECT a.wo_no INTO v_wo FROM activity a WHERE a.so_no = 'SO1002' LIMIT 1;
    CALL rf_update_so_serial('C01', 'A1005', 'SNA1005-10501', '', 'SO1002', '', 'joe', v_status, v_msg);
    ASSERT v_status = -60, 'no serial numbers before the item is picked';
    PERFORM * FROM rf_confirm_item_picked(v_wo, 1, 1, '', 1, 'SO1002', 'C01', 'A1005', 'EA', 1, '', '', '', NULL,
                                          '', 'OUTB', 'joe');
    CALL rf_update_so_serial('C01', 'A1005', 'SNA1005-10501', '', 'SO1002', '', 'joe', v_status, v_msg);
    ASSERT v_status = 0, v_msg;
    CALL rf_update_so_serial('C01', 'A1005', 'SNA1005-10502', '', 'SO1002', '', 'joe', v_status, v_msg);
    ASSERT v_status = -61, 'one unit picked takes one serial number';
    CALL rf_update_so_serial_warranty('C01', 'A1005', 'SNA1005-10501', 'SO1002', 1, 'WR-1', v_wo, 1, 1, 'joe',
                                      v_status, v_msg);
    ASSERT v_status = 0, v_msg;
    ASSERT (SELECT warranty_no || '/' || pallet || '/' || status FROM serial_number
            WHERE item_no = 'A1005' AND serial_no = 'SNA1005-10501') = 'WR-1/OUTB/PICKED', 'the serial is on the order';
    CALL rf_update_so_serial('C01', 'A1008', 'S1', '', 'SO1002', '', 'joe', v_status, v_msg);
    ASSERT v_status = -53, 'an item without serial numbers is refused';
    CALL rf_remove_so_serial('C01', 'A1005', 'SNA1005-10501', 'SO1002', 'joe', v_status, v_msg);
    ASSERT v_status = 0, v_msg;
    ASSERT (SELECT status FROM serial_number WHERE item_no = 'A1005' AND serial_no = 'SNA1005-10501') = 'INSTOCK',
        'a removed serial number is back in stock';
    -- Despatched with its pallet, a serial number leaves for good.
    CALL rf_update_so_serial('C01', 'A1005', 'SNA1005-10501', '', 'SO1002', '', 'joe', v_status, v_msg);
    SELECT sqlstatus INTO v_status FROM rf_confirm_despatch('C01', '', 'SO1002', '', 'OUTB', 'T79', '', '', '', '',
                                                            'joe');
    ASSERT v_status = 0 AND (SELECT status || '/' || delivery_order FROM serial_number
                             WHERE item_no = 'A1005' AND serial_no = 'SNA1005-10501') = 'DESPATCHED/T79',
        'the serial number left on the trip';
    CALL rf_remove_so_serial('C01', 'A1005', 'SNA1005-10501', 'SO1002', 'joe', v_status, v_msg);
    ASSERT v_status = -58, format('a despatched serial number stays on its order: %s', v_msg);

    -- Task, activity and line numbers are whole: a fraction is refused, not
    -- rounded onto another pick.
    PERFORM * FROM rf_extract_order_picklist('C01', '', 'SO1003', NULL, '', 'joe', 'joe');
    SELECT a.wo_no INTO v_wo FROM activity a WHERE a.so_no = 'SO1003' LIMIT 1;
    SELECT sqlstatus, sqlmsg INTO v_status, v_msg
    FROM rf_confirm_item_picked(v_wo, 2.6, 1, '', NULL, 'SO1003', 'C01', '', '', 1, '', '', '', NULL, '', 'OUTC', 'joe');
    ASSERT v_status = -39 AND v_msg = 'Task 2.6 is not a whole number.', 'a fractional task is refused';
    SELECT sqlstatus INTO v_status
    FROM rf_confirm_item_picked(v_wo, 3, 1, '', 2.9, 'SO1003', 'C01', '', '', 1, '', '', '', NULL, '', 'OUTC', 'joe');
    ASSERT v_status = -39, 'a fractional line is refused';
    SELECT sqlstatus, sqlmsg INTO v_status, v_msg FROM rf_close_pick_task(v_wo, 1e12, 0, 0, 'SHORT', 'joe');
    ASSERT v_status = -39 AND v_msg = 'Task 1000000000000 is out of range.', 'a task beyond the range is refused';
    SELECT sqlstatus INTO v_status FROM rf_close_carton_pick_task(v_wo, 3, 0.5, '124', 'joe');
    ASSERT v_status = -39, 'a fractional activity is refused';
    ASSERT (SELECT sum(qty_done) FROM activity WHERE wo_no = v_wo) = 0, 'the refusals picked nothing';

    -- A task closed with nothing picked is cancelled, its quantity back-ordered.
    SELECT sqlstatus, sqlmsg INTO v_status, v_msg FROM rf_close_pick_task(v_wo, 2, 0, 0, 'SHORT', 'joe');
    ASSERT v_status = 0, v_msg;
    ASSERT (SELECT status || '/' || qty FROM task WHERE wo_no = v_wo AND task_no = 2) = 'CANCELLED/0',
        'the task is cancelled';
    ASSERT (SELECT qty_backorder FROM sales_order_line WHERE client = 'C01' AND order_no = 'SO1003' AND line_no = 2) = 50,
        'the line back-orders it all';
    ASSERT (SELECT qty_booked FROM stock WHERE rec_num = 113) = 0, 'its stock is released';

    -- A carton picked whole leaves with its pallet.
    SELECT sqlstatus, sqlmsg INTO v_status, v_msg FROM rf_close_carton_pick_task(v_wo, 3, 0, '124', 'joe');
    ASSERT v_status = 0, v_msg;
    SELECT d.pallet INTO v_msg FROM despatch_pallet d WHERE d.client = 'C01' AND d.order_no = 'SO1003';
    SELECT sqlstatus INTO v_status FROM rf_confirm_despatch('C01', '', 'SO1003', '', v_msg, 'T78', '', '', '', '', 'joe');
    ASSERT v_status = 0, 'the carton pallet is despatched';
    ASSERT (SELECT status || '/' || pallet FROM carton WHERE client = 'C01' AND carton_no = 'CTN24') = 'DESPATCHED/' || v_msg,
        'the carton left with the pallet';

    -- Bookings of picked-from stock always match what open picks still hold.
    FOR r IN
        SELECT s.rec_num, s.qty_booked,
               coalesce((SELECT sum(a.qty - a.qty_done) FROM activity a
                         WHERE a.rec_num = s.rec_num AND a.status NOT IN ('COMPLETED', 'CANCELLED')), 0) AS held
        FROM stock s
        WHERE EXISTS (SELECT 1 FROM activity a WHERE a.rec_num = s.rec_num AND a.movement_type = 'PICK')
          AND NOT EXISTS (SELECT 1 FROM activity a WHERE a.rec_num = s.rec_num AND a.movement_type <> 'PICK')
    LOOP
        ASSERT r.qty_booked = r.held, format('stock record %s books %s but picks hold %s', r.rec_num, r.qty_booked, r.held);
    END LOOP;
END
$$;

SELECT pg_temp.ledger_check('picking and despatch');
ROLLBACK;

-- Allocation by rotation: an order line takes stock first expiring first,
-- then first received, pick faces before bulk; only stock that may serve
-- it (its unit and grade, available and unbooked, unexpired, in a usable
-- location of the order's warehouse, not another customer's), and never
-- more than the order asks or than the stock has.
BEGIN;
DO $$
DECLARE
    v_row    record;
    v_status integer;
    v_msg    text;
    v_cur    refcursor;
    v_listed text := '';
BEGIN
    UPDATE stock SET status = 'HOLD' WHERE client = 'C01' AND item_no = 'A1019';
    UPDATE location SET status = 'BLOCKED' WHERE warehouse = 'W1' AND location = 'D-12-2';
    INSERT INTO pallet (pallet, client) SELECT 'PROT' || n, 'C01' FROM generate_series(1, 13) AS n;
    INSERT INTO stock (client, item_no, warehouse, location, pallet, uom, qty, qty_booked, grade, expiry_date,
                       receipt_date, owner, status)
    VALUES ('C01', 'A1019', 'W1', 'D-10-1', 'PROT1', 'EA', 5, 0, 'A', DATE '2031-06-01', NULL, NULL, 'AVAILABLE'),
           ('C01', 'A1019', 'W1', 'D-10-2', 'PROT2', 'EA', 5, 0, 'A', DATE '2031-01-01', NULL, NULL, 'AVAILABLE'),
           ('C01', 'A1019', 'W1', 'P-19', NULL, 'EA', 5, 0, 'A', NULL, DATE '2024-01-01', NULL, 'AVAILABLE'),
           ('C01', 'A1019', 'W1', 'D-10-3', 'PROT4', 'EA', 5, 0, 'A', NULL, DATE '2023-01-01', NULL, 'AVAILABLE'),
           ('C01', 'A1019', 'W1', 'D-11-1', 'PROT5', 'EA', 5, 0, 'A', NULL, DATE '2024-01-01', NULL, 'AVAILABLE'),
           -- None of these may serve it.
           ('C01', 'A1019', 'W1', 'D-11-2', 'PROT6', 'EA', 50, 0, 'A', current_date - 1, NULL, NULL, 'AVAILABLE'),
           ('C01', 'A1019', 'W1', 'D-11-3', 'PROT7', 'EA', 50, 0, 'A', NULL, NULL, 'CUST002', 'AVAILABLE'),
           ('C01', 'A1019', 'W2', 'X-01', 'PROT8', 'EA', 50, 0, 'A', NULL, NULL, NULL, 'AVAILABLE'),
           ('C01', 'A1019', 'W1', 'D-12-1', 'PROT9', 'EA', 50, 0, 'B', NULL, NULL, NULL, 'AVAILABLE'),
           ('C01', 'A1019', 'W1', 'D-12-2', 'PROT10', 'EA', 50, 0, 'A', NULL, NULL, NULL, 'AVAILABLE'),
           ('C01', 'A1019', 'W1', 'D-12-3', 'PROT11', 'CTN', 5, 0, 'A', NULL, NULL, NULL, 'AVAILABLE'),
           ('C01', 'A1019', 'W1', 'D-13-1', 'PROT12', 'EA', 50, 50, 'A', NULL, NULL, NULL, 'AVAILABLE'),
           ('C01', 'A1019', 'W1', 'RCV-01', 'PROT13', 'EA', 50, 0, 'A', NULL, NULL, NULL, 'RECEIVING');
    INSERT INTO sales_order (client, order_no, customer, warehouse) VALUES ('C01', 'SO9901', 'CUST001', 'W1');
    INSERT INTO sales_order_line (client, order_no, line_no, org_item, item_no, uom, qty, grade)
    VALUES ('C01', 'SO9901', 1, 'A1019', 'A1019', 'EA', 22, 'A'),
           ('C01', 'SO9901', 2, 'A1019', 'A1019', 'EA', 10, 'A');

    -- The pallets that can serve line 1, first expiring first (pick faces
    -- hold no pallets; another unit counts in lowest units).
    CALL rf_pick_find_matching_pallet('C01', 'SO9901', '1', v_status, v_msg, v_cur);
    LOOP
        FETCH v_cur INTO v_row;
        EXIT WHEN NOT FOUND;
        v_listed := v_listed || v_row.pallet || ':' || v_row.qty_free_luom || ' ';
    END LOOP;
    ASSERT v_status = 0 AND v_listed = 'PROT2:5 PROT1:5 PROT4:5 PROT5:5 PROT11:50 ',
        format('matching pallets: %s "%s" %s', v_status, v_msg, v_listed);

    SELECT * INTO v_row FROM rf_extract_order_picklist('C01', '', 'SO9901', NULL, '', 'joe', '') LIMIT 1;
    ASSERT v_row.sqlstatus = 0 AND v_row.sqlmsg = '6 picks for sales order SO9901; 6 allocated now; line 2 short '
                                                  'by 7 EA.', format('%s', v_row);
    ASSERT (SELECT string_agg(a.so_line_no || ':' || a.location_from || ':' || a.qty, ' '
                              ORDER BY a.so_line_no, a.activity_no)
            FROM activity a WHERE a.so_no = 'SO9901')
           = '1:D-10-2:5 1:D-10-1:5 1:D-10-3:5 1:P-19:5 1:D-11-1:2 2:D-11-1:3', 'the rotation';
    ASSERT NOT EXISTS (SELECT 1 FROM stock s
                       WHERE s.client = 'C01' AND s.item_no = 'A1019'
                         AND s.qty_booked <> coalesce((SELECT sum(a.qty) FROM activity a
                                                       WHERE a.rec_num = s.rec_num AND a.so_no = 'SO9901'), 0)
                                             + CASE WHEN s.pallet = 'PROT12' THEN 50 ELSE 0 END),
        'each stock line booked by exactly what its picks take';
    ASSERT (SELECT string_agg(status || ':' || qty_allocated, ' ' ORDER BY line_no) FROM sales_order_line
            WHERE order_no = 'SO9901') = 'ALLOCATED:22 ALLOCATED:3', 'never more than the order, nor the stock';
END
$$;

ROLLBACK;
