-- Tests of the works-order and task routines, on the demo data, in one
-- rolled-back transaction (run by scripts/db.sh test).

\set ON_ERROR_STOP 1
BEGIN;

-- Manual assignment: refusals change nothing.
DO $$
DECLARE
    c   record;
    res record;
BEGIN
    INSERT INTO works_order (wo_no, movement_type, client, warehouse, area, order_no, status)
    VALUES ('WO000090', 'PICK', 'C02', 'W2', 'BULK', 'SO2001', 'OPEN');
    FOR c IN
        SELECT *
        FROM (VALUES
            ('no movement type', 'JOE', '', 'C01', 'SO1001', -3),
            ('unknown movement type', 'JOE', 'SWEEP', 'C01', 'SO1001', -4),
            ('no client', 'JOE', 'PICK', NULL, 'SO1001', -5),
            ('no order', 'JOE', 'PICK', 'C01', '', -7),
            ('no works order for the order', 'JOE', 'PICK', 'C01', 'SO1002', -8),
            ('another movement type', 'JOE', 'PUTAWAY', 'C01', 'SO1001', -8)
        ) AS t(name, operator, movement_type, client, order_no, status)
    LOOP
        SELECT * INTO res FROM assign_whse_task_manual(c.operator, c.movement_type, c.client, c.order_no, c.operator);
        ASSERT res.sqlstatus = c.status AND res.wo_number IS NULL,
            format('%s: got %s "%s" %s', c.name, res.sqlstatus, res.sqlmsg, res.wo_number);
    END LOOP;
    ASSERT (SELECT sqlstatus FROM assign_whse_task_manual('ANN', 'PICK', 'C02', 'SO2001', 'ANN')) = -93,
        'ANN does not work for C02';
    DELETE FROM operator_warehouse WHERE operator = 'JOE' AND warehouse = 'W2';
    ASSERT (SELECT sqlstatus FROM assign_whse_task_manual('JOE', 'PICK', 'C02', 'SO2001', 'JOE')) = -9,
        'JOE does not work in W2 any more';
    ASSERT NOT EXISTS (SELECT 1 FROM works_order WHERE assigned_to = 'JOE'), 'a refusal changed nothing';
END
$$;

-- Manual assignment of SO1001's pick.
DO $$
DECLARE
    res record;
BEGIN
    SELECT * INTO res FROM assign_whse_task_manual('joe', 'pick', ' C01 ', 'SO1001', 'JOE');
    ASSERT res.sqlstatus = 0 AND res.wo_number = 'WO000002', format('assigned: %s', res);
    ASSERT (SELECT status || assigned_to FROM works_order WHERE wo_no = 'WO000002') = 'ASSIGNEDJOE', 'works order';
    ASSERT (SELECT count(*) FROM task WHERE wo_no = 'WO000002' AND status = 'ASSIGNED' AND assigned_to = 'JOE') = 3,
        'its tasks';
    ASSERT (SELECT count(*) FROM activity WHERE wo_no = 'WO000002' AND status = 'ASSIGNED' AND assigned_to = 'JOE') = 3,
        'its activities';
    SELECT * INTO res FROM assign_whse_task_manual('JOE', 'PICK', 'C01', 'SO1001', 'JOE');
    ASSERT res.sqlstatus = 0 AND res.wo_number = 'WO000002' AND res.sqlmsg LIKE '%already%', 'again';
    SELECT * INTO res FROM assign_whse_task_manual('ANN', 'PICK', 'C01', 'SO1001', 'ANN');
    ASSERT res.sqlstatus = -10 AND res.wo_number IS NULL, format('taken by another: %s', res);
END
$$;

-- Taking the next works order.
DO $$
DECLARE
    res record;
BEGIN
    SELECT * INTO res FROM assign_works_order('JOE', 'PICK', 'PICK', 'JOE');
    ASSERT res.works_order = 'WO000002' AND res.sqlstatus = 0, format('JOE keeps his own first: %s', res);
    SELECT * INTO res FROM assign_works_order('JOE', '', '', 'JOE');
    ASSERT res.works_order = 'WO000002', format('his own of any type and area: %s', res);
    SELECT * INTO res FROM assign_works_order('ANN', 'PICK', '', 'ANN');
    ASSERT res.works_order = 'WO000004' AND res.sqlstatus = 0, format('the open replenishment: %s', res);
    SELECT * INTO res FROM assign_works_order('ANN', 'RCV', 'PICK', 'ANN');
    ASSERT res.works_order IS NULL AND res.sqlstatus = -4 AND res.sqlmsg = 'No PICK works order in area RCV to take.',
        format('nothing to take: %s', res);
    ASSERT (SELECT sqlstatus FROM assign_works_order('ANN', '', 'SWEEP', 'ANN')) = -3, 'unknown type';

    -- By the operator's task priorities: ANN picks before she puts away.
    UPDATE works_order SET status = 'OPEN', assigned_to = NULL WHERE wo_no IN ('WO000002', 'WO000004');
    UPDATE works_order SET status = 'COMPLETED' WHERE wo_no = 'WO000003';
    SELECT * INTO res FROM assign_works_order('ANN', '', '', 'ANN');
    ASSERT res.works_order = 'WO000002', format('ANN: PICK first: %s', res);
    SELECT * INTO res FROM assign_works_order('JOE', '', '', 'JOE');
    ASSERT res.works_order = 'WO000001', format('JOE: PUTAWAY first: %s', res);
END
$$;

-- Look-ups and reports.
DO $$
DECLARE
    res record;
BEGIN
    SELECT * INTO res FROM rf_get_wo('WO000001');
    ASSERT res.works_order = 'WO000001' AND res.movement = 'PUTAWAY' AND res.tasks = 2, format('rf_get_wo: %s', res);
    ASSERT (SELECT count(*) FROM rf_get_wo('WO999999')) = 0, 'unknown works order';

    ASSERT (SELECT string_agg(works_order, ',' ORDER BY works_order) FROM get_unfinished_works_order('JOE', 1, ''))
        = 'WO000001', 'JOE holds the putaway';
    ASSERT (SELECT string_agg(works_order, ',' ORDER BY works_order) FROM get_unfinished_works_order('JOE', 0, NULL))
        = 'WO000001,WO000004', 'and may see the open ones';
    ASSERT (SELECT count(*) FROM get_unfinished_works_order('JOE', 1, 'PICK')) = 0, 'JOE holds no pick';

    SELECT * INTO res FROM rf_get_stock_movements_task_info('C01', 'SO1001', 'PICK');
    ASSERT res.wo_no = 'WO000002' AND res.wo_assigned_to = 'ANN' AND res.order_status = 'ALLOCATED',
        format('task info: %s', res);
    SELECT * INTO res FROM rf_get_stock_movements_task_info('C01', 'R000001', '');
    ASSERT res.wo_no = 'WO000001' AND res.order_status = 'CHECKEDIN', format('receipt: %s', res);
    SELECT * INTO res FROM rf_get_stock_movements_task_info('C01', 'SO1003', 'PICK');
    ASSERT res.wo_no IS NULL AND res.order_status = 'OPEN', format('an order without works order: %s', res);
    ASSERT (SELECT count(*) FROM rf_get_stock_movements_task_info('C01', 'NOPE', 'PICK')) = 0, 'unknown order';

    ASSERT (SELECT count(*) FROM rf_query_stock_movements('C01', 'W1', '')) = 6, 'six activities wait in W1';
    ASSERT (SELECT count(*) FROM rf_query_stock_movements('', 'W1', 'pick')) = 3, 'three picks';
    ASSERT (SELECT count(*) FROM rf_query_stock_movements('C01', 'W2', '')) = 0, 'none in W2';

    UPDATE activity SET status = 'COMPLETED', qty_done = qty WHERE wo_no = 'WO000002' AND task_no = 1;
    UPDATE task SET status = 'COMPLETED' WHERE wo_no = 'WO000002' AND task_no = 1;
    UPDATE activity SET qty_done = 4, status = 'INPROGRESS' WHERE wo_no = 'WO000002' AND task_no = 2;
    ASSERT (SELECT string_agg(task_no::text || ':' || sales_order || ':' || (qty - qty_done), ',' ORDER BY task_no)
            FROM rpt_os_tasks('WO000002')) = '2:SO1001:8,3:SO1001:24', 'the outstanding picks';
    ASSERT (SELECT sum(qty) FROM rf_query_stock_movements('C01', 'W1', 'PICK')) = 32, 'what is left to pick';
    ASSERT (SELECT location_from FROM rpt_os_tasks('WO000001') WHERE task_no = 1) = 'RCV-01', 'putaway from the dock';
    ASSERT (SELECT sales_order FROM rpt_os_tasks('WO000001') WHERE task_no = 1) IS NULL, 'no order line for putaway';
END
$$;

ROLLBACK;
