-- Routines of picking and despatch: pick lists, pick confirmation, pick and
-- carton-pick tasks, matching pallets, pending task orders, sales order
-- enquiries, despatch lists and despatch confirmation, and the serial numbers
-- shipped against an order.
--
-- How an order travels:
--   1. rf_extract_order_picklist allocates each open order line from the
--      stock that holds it (first expiring first), books the quantities on
--      the stock lines and writes one PICK activity per stock line in a works
--      order of the sales order (task n = order line n). Running it again
--      allocates only what is still unallocated.
--   2. rf_confirm_item_picked (and rf_pick_sales_detail2 without a pick
--      list) moves picked stock onto an outbound pallet in a despatch lane:
--      the stock line becomes PICKED for the order line, the order line's
--      qty_picked grows, the pallet goes on the order's despatch list.
--   3. rf_close_pick_task / rf_close_carton_pick_task finish the activities;
--      what was not picked is released and back-ordered (with a reason).
--   4. rf_confirm_despatch loads a listed pallet onto a trip: its picked
--      stock leaves (qty 0, DESPATCHED), order lines count it despatched.
--
-- Quantities are in the order line's unit: stock is allocated from stock
-- lines of that unit. qty_allocated of an order line is what is picked plus
-- what open pick activities still hold, so allocation never exceeds the order.
-- Refusals answer a negative sqlstatus and a message and change nothing.
-- Task, activity, line and stock record numbers that the handheld sends as
-- numbers are numeric parameters checked by pick_whole: the call bridge
-- would round a fraction onto an integer parameter, and so onto another
-- task or line; a fraction is refused instead.

SELECT drop_routines(
    'pick_staging_location', 'pick_move_stock', 'pick_destination',
    'pick_add_despatch_pallet', 'pick_refresh_order', 'pick_refresh_works_order',
    'pick_record_so_serial', 'pick_whole', 'pick_order', 'pick_serves', 'pick_line_pallets',
    'rf_extract_order_picklist', 'rf_confirm_item_picked', 'rf_close_pick_task',
    'rf_close_carton_pick_task', 'rf_pick_find_matching_pallet', 'rf_pick_sales_detail2',
    'rf_get_pending_task_order', 'rf_query_sales_order', 'rf_query_sales_order2',
    'rf_query_sales_detail2', 'rf_rpt_outstanding_sales_order', 'rf_extract_despatch_list',
    'rf_get_despatch_pallet_items', 'rf_confirm_despatch', 'rf_update_so_serial',
    'rf_update_so_serial_warranty', 'rf_remove_so_serial');

------------------------------------------------------------------------------
-- Helpers
------------------------------------------------------------------------------

-- A task, activity, line or stock record number that the handheld sends as
-- a number: Null stays Null; a fraction, or a number beyond the range of
-- p_max either way, is refused rather than rounded onto another task or line.
CREATE FUNCTION pick_whole(p_value numeric, p_what text, p_max bigint DEFAULT 2147483647)
RETURNS bigint
LANGUAGE plpgsql AS $$
BEGIN
    IF p_value IS NULL THEN
        RETURN NULL;
    END IF;
    IF p_value <> trunc(p_value) THEN
        PERFORM refuse(-39, format('%s %s is not a whole number.', p_what, qty_text(p_value)));
    END IF;
    IF abs(p_value) > p_max THEN
        PERFORM refuse(-39, format('%s %s is out of range.', p_what, qty_text(p_value)));
    END IF;
    RETURN p_value::bigint;
END
$$;

-- A sales order of a client, locked: refused when unknown, when a customer
-- given is not the order's, or when a despatch given is not the order's. An
-- order without a despatch takes the one given.
CREATE FUNCTION pick_order(p_client text, p_so_no text, p_customer text, p_despatch text)
RETURNS sales_order
LANGUAGE plpgsql AS $$
DECLARE
    o sales_order%ROWTYPE;
BEGIN
    SELECT * INTO o FROM sales_order so WHERE so.client = p_client AND so.order_no = p_so_no FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-5, format('Sales order %s not found for client %s.', p_so_no, p_client));
    END IF;
    IF coalesce(p_customer, '') <> '' AND p_customer <> o.customer THEN
        PERFORM refuse(-6, format('Sales order %s belongs to customer %s, not %s.', p_so_no, o.customer,
                                  p_customer));
    END IF;
    IF coalesce(p_despatch, '') <> '' AND o.despatch NOT IN ('', p_despatch) THEN
        PERFORM refuse(-11, format('Sales order %s leaves with despatch %s, not %s.', p_so_no, o.despatch,
                                   p_despatch));
    END IF;
    IF coalesce(p_despatch, '') <> '' AND o.despatch = '' THEN
        UPDATE sales_order so SET despatch = p_despatch WHERE so.client = p_client AND so.order_no = p_so_no;
        o.despatch := p_despatch;
    END IF;
    RETURN o;
END
$$;

-- May this stock line serve the order line? Stock of the line's client and
-- item, available, of the grade, lot and batch the line names (any when it
-- names none), not expired, and not owned by a customer other than the
-- order's.
CREATE FUNCTION pick_serves(p_stock stock, p_line sales_order_line, p_customer text)
RETURNS boolean
LANGUAGE sql STABLE AS $$
    SELECT p_stock.client = p_line.client AND p_stock.item_no = p_line.item_no AND p_stock.status = 'AVAILABLE'
       AND (p_line.grade = '' OR p_stock.grade = p_line.grade)
       AND (p_line.lot_no = '' OR p_stock.lot_no = p_line.lot_no)
       AND (p_line.batch_no = '' OR p_stock.batch_no = p_line.batch_no)
       AND (p_stock.expiry_date IS NULL OR p_stock.expiry_date >= current_date)
       AND (coalesce(p_stock.owner, '') = '' OR p_stock.owner = p_customer);
$$;

-- The pallets in the active pick faces and bulk locations of the order's
-- warehouse that hold free stock able to serve the order line, with what is
-- free on each in the product's lowest unit; first expiring first.
CREATE FUNCTION pick_line_pallets(p_order sales_order, p_line sales_order_line)
RETURNS TABLE (pallet text, location text, qty_free_luom numeric, uom text, expiry_date date)
LANGUAGE sql STABLE AS $$
    SELECT st.pallet, st.location, sum(st.qty_avail * u.luom_equivalent), p.lowest_uom, min(st.expiry_date)
    FROM stock st
    JOIN location loc ON loc.warehouse = st.warehouse AND loc.location = st.location
    JOIN product p ON p.client = st.client AND p.item_no = st.item_no
    JOIN product_uom u ON u.client = st.client AND u.item_no = st.item_no AND u.uom = st.uom
    WHERE st.warehouse = p_order.warehouse AND st.qty_avail > 0 AND st.pallet IS NOT NULL
      AND loc.location_type IN ('PICKFACE', 'BULK') AND loc.status = 'ACTIVE'
      AND pick_serves(st, p_line, p_order.customer)
    GROUP BY st.pallet, st.location, p.lowest_uom, loc.pick_seq
    ORDER BY min(st.expiry_date) NULLS LAST, loc.pick_seq, st.location, st.pallet;
$$;

-- The despatch lane where a warehouse gathers picked stock: its first active
-- DESPATCH location; refuses when it has none.
CREATE FUNCTION pick_staging_location(p_warehouse text)
RETURNS text
LANGUAGE plpgsql AS $$
DECLARE
    v_location text;
BEGIN
    SELECT l.location INTO v_location
    FROM location l
    WHERE l.warehouse = p_warehouse AND l.location_type = 'DESPATCH' AND l.status = 'ACTIVE'
    ORDER BY l.pick_seq, l.location
    LIMIT 1;
    IF v_location IS NULL THEN
        PERFORM refuse(-9, format('Warehouse %s has no despatch location for picked stock.', p_warehouse));
    END IF;
    RETURN v_location;
END
$$;

-- Check an outbound pallet for an order and register it when new. Answers
-- the location the pallet stands in: where its picked stock already is, or
-- p_location for a pallet that holds nothing yet. Refuses a pallet that holds
-- stock in store (other than p_source_rec_num, which is moving onto it whole)
-- or that is being loaded for another order.
CREATE FUNCTION pick_destination(p_client text, p_so_no text, p_pallet text, p_warehouse text,
                                 p_location text, p_source_rec_num bigint, p_operator text)
RETURNS text
LANGUAGE plpgsql AS $$
DECLARE
    v_pallet   text := btrim(p_pallet);
    v_status   text;
    v_other    text;
    v_location text;
BEGIN
    IF coalesce(v_pallet, '') = '' THEN
        PERFORM refuse(-30, 'Destination pallet is required.');
    END IF;
    SELECT p.status INTO v_status FROM pallet p WHERE p.pallet = v_pallet FOR UPDATE;
    IF v_status = 'DESPATCHED' THEN
        PERFORM refuse(-31, format('Pallet %s has been despatched and cannot be picked onto.', v_pallet));
    END IF;
    IF EXISTS (SELECT 1
               FROM stock s
               WHERE s.pallet = v_pallet AND s.qty > 0 AND s.status <> 'PICKED'
                 AND s.rec_num IS DISTINCT FROM p_source_rec_num) THEN
        PERFORM refuse(-32, format('Pallet %s holds stock in store; pick onto an empty or outbound pallet.',
                                   v_pallet));
    END IF;
    SELECT s.so_no INTO v_other
    FROM stock s
    WHERE s.pallet = v_pallet AND s.status = 'PICKED' AND s.qty > 0
      AND (s.client <> p_client OR s.so_no IS DISTINCT FROM p_so_no)
    LIMIT 1;
    IF FOUND THEN
        PERFORM refuse(-33, format('Pallet %s is being loaded for order %s.', v_pallet, v_other));
    END IF;
    SELECT s.location INTO v_location
    FROM stock s
    WHERE s.pallet = v_pallet AND s.status = 'PICKED' AND s.qty > 0 AND s.warehouse = p_warehouse
    LIMIT 1;
    PERFORM ensure_pallet(v_pallet, p_client, p_operator);
    UPDATE pallet p SET status = 'ACTIVE' WHERE p.pallet = v_pallet AND p.status = 'EMPTY';
    RETURN coalesce(v_location, p_location);
END
$$;

-- Move p_qty of a stock line onto a pallet in a location as stock PICKED for
-- an order line, releasing p_release of the line's booking. The caller has
-- checked the quantities. The whole line moves when it all goes; otherwise
-- the picked part joins a like picked line on the pallet or becomes a new
-- line. Journals a PICK movement; answers the picked line's rec_num.
CREATE FUNCTION pick_move_stock(p_rec_num bigint, p_qty numeric, p_release numeric, p_pallet text,
                                p_warehouse text, p_location text, p_so_no text, p_so_line integer,
                                p_operator text, p_wo_no text, p_task_no integer, p_activity_no integer)
RETURNS bigint
LANGUAGE plpgsql AS $$
DECLARE
    s        stock%ROWTYPE;
    v_to     bigint;
    v_carton text;
BEGIN
    SELECT * INTO s FROM stock WHERE stock.rec_num = p_rec_num FOR UPDATE;
    v_carton := s.carton_no;
    IF p_qty = s.qty AND p_release = s.qty_booked THEN
        -- A carton travels with its only line; a line taken out of a mixed
        -- carton leaves the carton behind.
        IF s.carton_no IS NOT NULL
           AND EXISTS (SELECT 1 FROM stock o
                       WHERE o.client = s.client AND o.carton_no = s.carton_no AND o.rec_num <> s.rec_num
                         AND o.qty > 0) THEN
            v_carton := NULL;
        END IF;
        UPDATE stock t
        SET warehouse = p_warehouse, location = p_location, pallet = p_pallet, carton_no = v_carton,
            qty_booked = 0, status = 'PICKED', so_no = p_so_no, so_line_no = p_so_line, maker = p_operator,
            last_update = localtimestamp(0)
        WHERE t.rec_num = p_rec_num;
        v_to := p_rec_num;
        IF v_carton IS NOT NULL THEN
            UPDATE carton c
            SET warehouse = p_warehouse, location = p_location, pallet = p_pallet, maker = p_operator,
                last_update = localtimestamp(0)
            WHERE c.client = s.client AND c.carton_no = v_carton;
        END IF;
    ELSE
        UPDATE stock t
        SET qty = t.qty - p_qty, qty_booked = t.qty_booked - p_release, maker = p_operator,
            last_update = localtimestamp(0)
        WHERE t.rec_num = p_rec_num;

        SELECT t.rec_num INTO v_to
        FROM stock t
        WHERE t.pallet = p_pallet AND t.warehouse = p_warehouse AND t.location = p_location
          AND t.status = 'PICKED' AND t.client = s.client AND t.item_no = s.item_no AND t.uom = s.uom
          AND t.so_no = p_so_no AND t.so_line_no IS NOT DISTINCT FROM p_so_line AND t.carton_no IS NULL
          AND t.grade = s.grade AND t.lot_no = s.lot_no AND t.batch_no = s.batch_no
          AND t.expiry_date IS NOT DISTINCT FROM s.expiry_date
        LIMIT 1
        FOR UPDATE;
        IF FOUND THEN
            UPDATE stock t
            SET qty = t.qty + p_qty, qty_rcvd = t.qty_rcvd + p_qty, maker = p_operator,
                last_update = localtimestamp(0)
            WHERE t.rec_num = v_to;
        ELSE
            v_to := stk_new_line(s, p_qty, p_warehouse, p_location, p_pallet, NULL, s.grade, 'PICKED', p_so_no,
                                 p_so_line, p_operator);
        END IF;
    END IF;

    -- A pallet or carton left without stock is empty.
    PERFORM stk_empty_containers(s.client, s.pallet, s.carton_no, p_operator);

    INSERT INTO stock_movement (movement_type, client, item_no, rec_num, rec_num_to, uom, qty, qty_before,
                                qty_after, warehouse_from, location_from, pallet_from, carton_from,
                                warehouse_to, location_to, pallet_to, carton_to, grade, reference, wo_no,
                                task_no, activity_no, operator)
    VALUES ('PICK', s.client, s.item_no, s.rec_num, v_to, s.uom, p_qty, s.qty, s.qty - p_qty,
            s.warehouse, s.location, s.pallet, s.carton_no, p_warehouse, p_location, p_pallet,
            CASE WHEN v_to = s.rec_num THEN v_carton END, s.grade,
            format('Sales order %s line %s', p_so_no, p_so_line), p_wo_no, p_task_no, p_activity_no,
            p_operator);
    RETURN v_to;
END
$$;

-- Put a pallet on an order's despatch list (once).
CREATE FUNCTION pick_add_despatch_pallet(p_client text, p_so_no text, p_pallet text, p_warehouse text,
                                         p_location text)
RETURNS void
LANGUAGE sql AS $$
    INSERT INTO despatch_pallet (client, order_no, pallet, despatch, warehouse, location, carrier)
    SELECT o.client, o.order_no, p_pallet, o.despatch, p_warehouse, p_location, o.carrier
    FROM sales_order o
    WHERE o.client = p_client AND o.order_no = p_so_no
    ON CONFLICT ON CONSTRAINT despatch_pallet_pkey DO UPDATE
        SET warehouse = excluded.warehouse, location = excluded.location
        WHERE despatch_pallet.status = 'PENDING';
$$;

-- Work out an order's line quantities and statuses again from its picks and
-- open pick activities, then the order's status.
CREATE FUNCTION pick_refresh_order(p_client text, p_so_no text)
RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    WITH open_picks AS (
        SELECT a.so_line_no AS line_no, sum(a.qty - a.qty_done) AS qty
        FROM activity a
        WHERE a.client = p_client AND a.so_no = p_so_no AND a.movement_type = 'PICK'
          AND a.status NOT IN ('COMPLETED', 'CANCELLED')
        GROUP BY a.so_line_no
    ), figures AS (
        SELECT l.line_no, l.qty_picked + coalesce(op.qty, 0) AS allocated
        FROM sales_order_line l
        LEFT JOIN open_picks op ON op.line_no = l.line_no
        WHERE l.client = p_client AND l.order_no = p_so_no
    )
    UPDATE sales_order_line l
    SET qty_allocated = f.allocated,
        status = CASE
            WHEN l.status = 'CANCELLED' THEN 'CANCELLED'
            WHEN l.qty_picked + l.qty_backorder >= l.qty AND l.qty_picked > 0
                 AND l.qty_despatched >= l.qty_picked THEN 'DESPATCHED'
            WHEN l.qty_picked + l.qty_backorder >= l.qty THEN 'PICKED'
            WHEN l.qty_picked > 0 THEN 'PICKING'
            WHEN f.allocated > 0 THEN 'ALLOCATED'
            ELSE 'OPEN'
        END,
        last_update = localtimestamp(0)
    FROM figures f
    WHERE l.client = p_client AND l.order_no = p_so_no AND l.line_no = f.line_no;

    UPDATE sales_order o
    SET status = CASE
            WHEN o.status = 'CANCELLED' THEN 'CANCELLED'
            WHEN f.all_gone AND f.any_despatched THEN 'DESPATCHED'
            WHEN f.all_picked THEN 'PICKED'
            WHEN f.any_picked THEN 'PICKING'
            WHEN f.any_allocated THEN 'ALLOCATED'
            ELSE 'OPEN'
        END,
        last_update = localtimestamp(0)
    FROM (SELECT bool_and(l.status IN ('DESPATCHED', 'CANCELLED')
                          OR (l.status = 'PICKED' AND l.qty_picked = 0)) AS all_gone,
                 bool_or(l.status = 'DESPATCHED') AS any_despatched,
                 bool_and(l.status IN ('PICKED', 'DESPATCHED', 'CANCELLED')) AS all_picked,
                 bool_or(l.status IN ('PICKING', 'PICKED', 'DESPATCHED')) AS any_picked,
                 bool_or(l.status = 'ALLOCATED') AS any_allocated,
                 count(*) AS lines
          FROM sales_order_line l
          WHERE l.client = p_client AND l.order_no = p_so_no) AS f
    WHERE o.client = p_client AND o.order_no = p_so_no AND f.lines > 0;
END
$$;

-- Work out the tasks and the works order again from their activities: a
-- task is COMPLETED when none of its activities is open (CANCELLED when all
-- were cancelled), INPROGRESS once something is done; the works order
-- follows its tasks the same way.
CREATE FUNCTION pick_refresh_works_order(p_wo_no text, p_operator text)
RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    UPDATE task t
    SET qty = f.qty,
        qty_done = f.qty_done,
        status = CASE
            WHEN f.open = 0 AND f.cancelled = f.activities THEN 'CANCELLED'
            WHEN f.open = 0 THEN 'COMPLETED'
            WHEN f.qty_done > 0 OR f.done > 0 THEN 'INPROGRESS'
            WHEN t.status IN ('COMPLETED', 'CANCELLED') THEN 'OPEN'
            ELSE t.status
        END,
        completed_by = CASE WHEN f.open = 0 THEN coalesce(t.completed_by, p_operator) END,
        completed_at = CASE WHEN f.open = 0 THEN coalesce(t.completed_at, localtimestamp(0)) END
    FROM (SELECT a.task_no,
                 coalesce(sum(a.qty) FILTER (WHERE a.status <> 'CANCELLED'), 0) AS qty,
                 sum(a.qty_done) AS qty_done,
                 count(*) AS activities,
                 count(*) FILTER (WHERE a.status NOT IN ('COMPLETED', 'CANCELLED')) AS open,
                 count(*) FILTER (WHERE a.status = 'COMPLETED') AS done,
                 count(*) FILTER (WHERE a.status = 'CANCELLED') AS cancelled
          FROM activity a
          WHERE a.wo_no = p_wo_no
          GROUP BY a.task_no) AS f
    WHERE t.wo_no = p_wo_no AND t.task_no = f.task_no;

    UPDATE works_order w
    SET status = CASE
            WHEN f.open = 0 AND f.cancelled = f.tasks THEN 'CANCELLED'
            WHEN f.open = 0 THEN 'COMPLETED'
            WHEN f.started > 0 THEN 'INPROGRESS'
            WHEN w.status IN ('COMPLETED', 'CANCELLED') THEN 'OPEN'
            ELSE w.status
        END,
        completed_at = CASE WHEN f.open = 0 THEN coalesce(w.completed_at, localtimestamp(0)) END
    FROM (SELECT count(*) AS tasks,
                 count(*) FILTER (WHERE t.status NOT IN ('COMPLETED', 'CANCELLED')) AS open,
                 count(*) FILTER (WHERE t.status IN ('INPROGRESS', 'COMPLETED')) AS started,
                 count(*) FILTER (WHERE t.status = 'CANCELLED') AS cancelled
          FROM task t
          WHERE t.wo_no = p_wo_no) AS f
    WHERE w.wo_no = p_wo_no AND f.tasks > 0;
END
$$;

------------------------------------------------------------------------------
-- Order picking
------------------------------------------------------------------------------

-- The pick list of a sales order. Allocates what is still unallocated on the
-- order's open lines: stock of the line's item and unit in the order's
-- warehouse, available, unexpired, not held for another customer, in a pick
-- face or bulk location, first expiring first; each stock line used is
-- booked and gets a PICK activity (task = order line) in the order's open
-- works order, made when needed and assigned to assign_to. Then answers the
-- open pick activities of the order, one row each with sqlstatus 0; or one
-- row with a negative sqlstatus and the reason when nothing can be picked.
-- pick_qty is not used (the handheld sends Null). A despatch given is
-- recorded on an order that has none.
CREATE FUNCTION rf_extract_order_picklist(client text, customer text, so_no text, pick_qty numeric,
                                          despatch text, operator text, assign_to text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, works_order text, line_no integer, task_no integer,
               activity integer, movement_type text, item_no text, "Description" text,
               warehouse_from text, location_from text, area_from text, pallet_from text,
               rec_num bigint, qty numeric, uom text)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_client    text := btrim(rf_extract_order_picklist.client);
    v_customer  text := btrim(rf_extract_order_picklist.customer);
    v_so_no     text := btrim(rf_extract_order_picklist.so_no);
    v_despatch  text := btrim(rf_extract_order_picklist.despatch);
    v_operator  text;
    v_assignee  text;
    o           sales_order%ROWTYPE;
    l           sales_order_line%ROWTYPE;
    s           record;
    v_staging   text;
    v_wo_no     text;
    v_need      numeric;
    v_take      numeric;
    v_act_no    integer;
    v_allocated integer := 0;
    v_short     text[] := '{}';
    v_rows      integer;
    v_status    text;
BEGIN
    IF coalesce(v_client, '') = '' THEN
        PERFORM refuse(-1, 'Client is required.');
    END IF;
    IF coalesce(v_so_no, '') = '' THEN
        PERFORM refuse(-2, 'Sales order number is required.');
    END IF;
    v_operator := active_operator(rf_extract_order_picklist.operator);
    SELECT op.operator INTO v_assignee
    FROM operator op
    WHERE op.operator = upper(btrim(rf_extract_order_picklist.assign_to)) AND op.status = 'ACTIVE';

    o := pick_order(v_client, v_so_no, v_customer, v_despatch);
    IF o.status IN ('DESPATCHED', 'CANCELLED') THEN
        PERFORM refuse(-7, format('Sales order %s is %s and cannot be picked.', v_so_no, lower(o.status)));
    END IF;
    IF o.warehouse IS NULL THEN
        PERFORM refuse(-8, format('Sales order %s names no warehouse to pick from.', v_so_no));
    END IF;
    v_staging := pick_staging_location(o.warehouse);

    SELECT w.wo_no INTO v_wo_no
    FROM works_order w
    WHERE w.client = v_client AND w.order_no = v_so_no AND w.movement_type = 'PICK'
      AND w.status NOT IN ('COMPLETED', 'CANCELLED')
    ORDER BY w.wo_no
    LIMIT 1
    FOR UPDATE;

    FOR l IN
        SELECT ol.*
        FROM sales_order_line ol
        WHERE ol.client = v_client AND ol.order_no = v_so_no
          AND ol.status NOT IN ('CANCELLED', 'PICKED', 'DESPATCHED')
        ORDER BY ol.line_no
        FOR UPDATE
    LOOP
        v_need := l.qty - l.qty_backorder - l.qty_allocated;
        CONTINUE WHEN v_need <= 0;
        FOR s IN
            SELECT st.rec_num, st.qty_avail, st.warehouse, st.location, st.pallet, loc.area
            FROM stock st
            JOIN location loc ON loc.warehouse = st.warehouse AND loc.location = st.location
            WHERE st.uom = l.uom AND st.warehouse = o.warehouse AND st.qty_avail > 0
              AND loc.location_type IN ('PICKFACE', 'BULK') AND loc.status = 'ACTIVE'
              AND pick_serves(st, l, o.customer)
            ORDER BY st.expiry_date NULLS LAST, st.receipt_date NULLS LAST,
                     (loc.location_type = 'PICKFACE') DESC, loc.pick_seq, st.rec_num
            FOR UPDATE OF st
        LOOP
            v_take := least(v_need, s.qty_avail);
            IF v_wo_no IS NULL THEN
                v_wo_no := next_works_order_no();
                INSERT INTO works_order (wo_no, movement_type, client, warehouse, area, order_no, priority,
                                         status, assigned_to, maker)
                SELECT v_wo_no, 'PICK', v_client, o.warehouse, NULL, v_so_no, mt.default_priority,
                       CASE WHEN v_assignee IS NULL THEN 'OPEN' ELSE 'ASSIGNED' END, v_assignee, v_operator
                FROM movement_type mt
                WHERE mt.movement_type = 'PICK';
                IF NOT FOUND THEN
                    PERFORM refuse(-12, 'Movement type PICK is not set up.');
                END IF;
            END IF;
            INSERT INTO task (wo_no, task_no, client, order_no, line_no, item_no, uom, qty, status, assigned_to)
            VALUES (v_wo_no, l.line_no, v_client, v_so_no, l.line_no, l.item_no, l.uom, v_take,
                    CASE WHEN v_assignee IS NULL THEN 'OPEN' ELSE 'ASSIGNED' END, v_assignee)
            ON CONFLICT ON CONSTRAINT task_pkey DO UPDATE
                SET qty = task.qty + excluded.qty,
                    status = CASE WHEN task.status IN ('COMPLETED', 'CANCELLED') THEN 'OPEN' ELSE task.status END;
            SELECT coalesce(max(a.activity_no), 0) + 1 INTO v_act_no
            FROM activity a
            WHERE a.wo_no = v_wo_no AND a.task_no = l.line_no;
            INSERT INTO activity (wo_no, task_no, activity_no, movement_type, client, item_no, uom, qty, rec_num,
                                  warehouse_from, location_from, area_from, pallet_from, carton_from,
                                  warehouse_to, location_to, so_no, so_line_no, status, assigned_to)
            SELECT v_wo_no, l.line_no, v_act_no, 'PICK', v_client, l.item_no, l.uom, v_take, st.rec_num,
                   st.warehouse, st.location, s.area, st.pallet, st.carton_no, o.warehouse, v_staging,
                   v_so_no, l.line_no, CASE WHEN v_assignee IS NULL THEN 'OPEN' ELSE 'ASSIGNED' END, v_assignee
            FROM stock st
            WHERE st.rec_num = s.rec_num;
            UPDATE stock st
            SET qty_booked = st.qty_booked + v_take, maker = v_operator, last_update = localtimestamp(0)
            WHERE st.rec_num = s.rec_num;
            v_allocated := v_allocated + 1;
            v_need := v_need - v_take;
            EXIT WHEN v_need = 0;
        END LOOP;
        IF v_need > 0 THEN
            v_short := v_short || format('line %s short by %s %s', l.line_no, qty_text(v_need), l.uom);
        END IF;
    END LOOP;

    IF v_wo_no IS NOT NULL THEN
        PERFORM pick_refresh_works_order(v_wo_no, v_operator);
    END IF;
    PERFORM pick_refresh_order(v_client, v_so_no);

    SELECT count(*) INTO v_rows
    FROM activity a
    JOIN works_order w ON w.wo_no = a.wo_no
    WHERE w.client = v_client AND w.order_no = v_so_no AND w.movement_type = 'PICK'
      AND a.movement_type = 'PICK' AND a.status NOT IN ('COMPLETED', 'CANCELLED') AND a.qty > a.qty_done;
    IF v_rows = 0 THEN
        SELECT so.status INTO v_status FROM sales_order so WHERE so.client = v_client AND so.order_no = v_so_no;
        IF v_status = 'PICKED' THEN
            PERFORM refuse(-10, format('Sales order %s is picked; nothing is left to pick.', v_so_no));
        END IF;
        PERFORM refuse(-10, format('Nothing to pick for sales order %s: no stock is available (%s).',
                                   v_so_no, CASE WHEN cardinality(v_short) = 0 THEN 'no open lines'
                                                 ELSE array_to_string(v_short, ', ') END));
    END IF;

    RETURN QUERY
    SELECT 0,
           format('%s pick%s for sales order %s; %s allocated now%s.', v_rows,
                  CASE WHEN v_rows = 1 THEN '' ELSE 's' END, v_so_no, v_allocated,
                  CASE WHEN cardinality(v_short) = 0 THEN '' ELSE '; ' || array_to_string(v_short, ', ') END),
           a.wo_no, a.so_line_no, a.task_no, a.activity_no, a.movement_type, a.item_no, p.description,
           a.warehouse_from, a.location_from, a.area_from, coalesce(a.pallet_from, ''), a.rec_num,
           a.qty - a.qty_done, a.uom
    FROM activity a
    JOIN works_order w ON w.wo_no = a.wo_no
    LEFT JOIN product p ON p.client = a.client AND p.item_no = a.item_no
    LEFT JOIN location loc ON loc.warehouse = a.warehouse_from AND loc.location = a.location_from
    WHERE w.client = v_client AND w.order_no = v_so_no AND w.movement_type = 'PICK'
      AND a.movement_type = 'PICK' AND a.status NOT IN ('COMPLETED', 'CANCELLED') AND a.qty > a.qty_done
    ORDER BY a.wo_no, loc.pick_seq, a.location_from, a.task_no, a.activity_no;
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Pick list not extracted'),
                            NULL::text, NULL::integer, NULL::integer, NULL::integer, NULL::text, NULL::text,
                            NULL::text, NULL::text, NULL::text, NULL::text, NULL::text, NULL::bigint, NULL::numeric,
                            NULL::text;
END
$$;

-- Confirm one pick of a pick list: qty of the activity (wo_no, task_no,
-- activity_no) taken from a stock line (rec_num, or the activity's own when
-- Null; when given, pallet, warehouse and location must be where that line
-- is) onto the destination pallet, which stands in the activity's despatch
-- lane. Refuses more than the activity still has to pick, or more than the
-- stock line can give. The order line counts the quantity picked and the
-- pallet goes on the order's despatch list.
CREATE FUNCTION rf_confirm_item_picked(wo_no text, task_no numeric, activity_no numeric, customer text,
                                       line_no numeric, so_no text, client text, item_no text, uom text,
                                       qty numeric, pallet_from text, warehouse text, location text,
                                       rec_num numeric, despatch text, destination text, operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_wo_no    text := btrim(rf_confirm_item_picked.wo_no);
    v_client   text := btrim(rf_confirm_item_picked.client);
    v_so_no    text := btrim(rf_confirm_item_picked.so_no);
    v_customer text := btrim(rf_confirm_item_picked.customer);
    v_item     text := btrim(rf_confirm_item_picked.item_no);
    v_uom      text := btrim(rf_confirm_item_picked.uom);
    v_pallet   text := btrim(rf_confirm_item_picked.pallet_from);
    v_wh       text := btrim(rf_confirm_item_picked.warehouse);
    v_loc      text := btrim(rf_confirm_item_picked.location);
    v_despatch text := btrim(rf_confirm_item_picked.despatch);
    v_qty      numeric := rf_confirm_item_picked.qty;
    v_operator text;
    a          activity%ROWTYPE;
    s          stock%ROWTYPE;
    o          sales_order%ROWTYPE;
    v_left     numeric;
    v_release  numeric;
    v_dest_loc text;
    v_dest     text := btrim(rf_confirm_item_picked.destination);
    v_task     integer;
    v_act      integer;
    v_line     integer;
    v_rec      bigint;
BEGIN
    v_operator := active_operator(rf_confirm_item_picked.operator);
    v_task := pick_whole(rf_confirm_item_picked.task_no, 'Task');
    v_act := pick_whole(rf_confirm_item_picked.activity_no, 'Activity');
    v_line := pick_whole(rf_confirm_item_picked.line_no, 'Line');
    v_rec := pick_whole(rf_confirm_item_picked.rec_num, 'Stock record', 999999999999999999);
    IF v_wo_no IS NULL OR v_task IS NULL OR v_act IS NULL THEN
        PERFORM refuse(-13, 'Works order, task and activity are required.');
    END IF;
    IF v_qty IS NULL OR v_qty <= 0 THEN
        PERFORM refuse(-14, format('Quantity %s refused: a pick must be more than 0.',
                                   coalesce(qty_text(v_qty), 'Null')));
    END IF;

    SELECT * INTO a
    FROM activity act
    WHERE act.wo_no = v_wo_no AND act.task_no = v_task AND act.activity_no = v_act
    FOR UPDATE;
    IF NOT FOUND OR a.movement_type <> 'PICK' THEN
        PERFORM refuse(-15, format('Pick %s/%s/%s not found.', v_wo_no, v_task, v_act));
    END IF;
    IF a.status IN ('COMPLETED', 'CANCELLED') THEN
        PERFORM refuse(-16, format('Pick %s/%s/%s is closed.', v_wo_no, a.task_no, a.activity_no));
    END IF;
    IF coalesce(v_client, '') <> '' AND v_client <> a.client
       OR coalesce(v_so_no, '') <> '' AND v_so_no <> a.so_no
       OR v_line IS NOT NULL AND v_line <> a.so_line_no THEN
        PERFORM refuse(-17, format('Pick %s/%s/%s is for sales order %s line %s.', v_wo_no, a.task_no,
                                   a.activity_no, a.so_no, a.so_line_no));
    END IF;
    IF coalesce(v_item, '') <> '' AND v_item <> a.item_no THEN
        PERFORM refuse(-18, format('Pick %s/%s/%s is for item %s, not %s.', v_wo_no, a.task_no,
                                   a.activity_no, a.item_no, v_item));
    END IF;
    IF coalesce(v_uom, '') <> '' AND v_uom <> a.uom THEN
        PERFORM refuse(-19, format('Pick %s/%s/%s is counted in %s, not %s.', v_wo_no, a.task_no,
                                   a.activity_no, a.uom, v_uom));
    END IF;
    o := pick_order(a.client, a.so_no, v_customer, v_despatch);

    v_left := a.qty - a.qty_done;
    IF v_qty > v_left THEN
        PERFORM refuse(-20, format('Quantity %s %s refused: only %s %s is left to pick on %s/%s/%s.',
                                   qty_text(v_qty), a.uom, qty_text(v_left), a.uom,
                                   v_wo_no, a.task_no, a.activity_no));
    END IF;

    SELECT * INTO s
    FROM stock st
    WHERE st.rec_num = coalesce(v_rec, a.rec_num)
    FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-21, format('Stock record %s not found.',
                                   coalesce(v_rec, a.rec_num)));
    END IF;
    IF s.client <> a.client OR s.item_no <> a.item_no OR s.uom <> a.uom THEN
        PERFORM refuse(-22, format('Stock record %s holds %s %s, not %s %s.', s.rec_num, s.item_no,
                                   s.uom, a.item_no, a.uom));
    END IF;
    IF coalesce(v_pallet, '') <> '' AND v_pallet IS DISTINCT FROM s.pallet THEN
        PERFORM refuse(-23, format('Stock record %s is not on pallet %s.', s.rec_num, v_pallet));
    END IF;
    IF coalesce(v_wh, '') <> '' AND v_wh <> s.warehouse OR coalesce(v_loc, '') <> '' AND v_loc <> s.location THEN
        PERFORM refuse(-24, format('Stock record %s is in %s %s, not %s.', s.rec_num, s.warehouse,
                                   s.location, coalesce(nullif(v_loc, ''), v_wh)));
    END IF;
    IF s.status <> 'AVAILABLE' THEN
        PERFORM refuse(-25, format('Stock record %s is %s and cannot be picked.', s.rec_num,
                                   lower(s.status)));
    END IF;
    -- Picking from the allocated line uses its booking; from another line,
    -- only what is free there, and the allocated line's booking is released.
    v_release := CASE WHEN s.rec_num = a.rec_num THEN least(v_qty, s.qty_booked) ELSE 0 END;
    IF s.qty - s.qty_booked + v_release < v_qty THEN
        PERFORM refuse(-26, format('Quantity %s %s refused: stock record %s has only %s %s to pick.',
                                   qty_text(v_qty), a.uom, s.rec_num,
                                   qty_text(s.qty - s.qty_booked + v_release), s.uom));
    END IF;
    IF s.rec_num IS DISTINCT FROM a.rec_num AND a.rec_num IS NOT NULL THEN
        UPDATE stock st
        SET qty_booked = greatest(st.qty_booked - v_qty, 0), last_update = localtimestamp(0)
        WHERE st.rec_num = a.rec_num;
    END IF;

    v_dest_loc := pick_destination(a.client, a.so_no, v_dest, coalesce(a.warehouse_to, s.warehouse),
                                   coalesce(a.location_to, pick_staging_location(s.warehouse)),
                                   CASE WHEN v_qty = s.qty THEN s.rec_num END, v_operator);
    PERFORM pick_move_stock(s.rec_num, v_qty, v_release, v_dest, coalesce(a.warehouse_to, s.warehouse),
                            v_dest_loc, a.so_no, a.so_line_no, v_operator, a.wo_no, a.task_no, a.activity_no);

    UPDATE activity act
    SET qty_done = act.qty_done + v_qty,
        status = CASE WHEN act.qty_done + v_qty >= act.qty THEN 'COMPLETED' ELSE 'INPROGRESS' END,
        pallet_to = v_dest,
        warehouse_to = coalesce(a.warehouse_to, s.warehouse),
        location_to = v_dest_loc,
        completed_by = CASE WHEN act.qty_done + v_qty >= act.qty THEN v_operator END,
        completed_at = CASE WHEN act.qty_done + v_qty >= act.qty THEN localtimestamp(0) END
    WHERE act.wo_no = a.wo_no AND act.task_no = a.task_no AND act.activity_no = a.activity_no;

    UPDATE sales_order_line ol
    SET qty_picked = ol.qty_picked + v_qty, maker = v_operator, last_update = localtimestamp(0)
    WHERE ol.client = a.client AND ol.order_no = a.so_no AND ol.line_no = a.so_line_no;
    PERFORM pick_add_despatch_pallet(a.client, a.so_no, v_dest, coalesce(a.warehouse_to, s.warehouse), v_dest_loc);
    PERFORM pick_refresh_works_order(a.wo_no, v_operator);
    PERFORM pick_refresh_order(a.client, a.so_no);

    RETURN QUERY SELECT 0, format('Picked %s %s of %s from stock record %s onto pallet %s in %s.',
                                  qty_text(v_qty), a.uom, a.item_no, s.rec_num, v_dest, v_dest_loc);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Pick not confirmed');
END
$$;

-- Close a pick task, or one activity of it (activity_no given): pick_qty is
-- what the operator picked in all (Null: what was confirmed), and must be
-- what was confirmed. What was allocated and not picked is short: it needs a
-- known reason code, its booking is released and the order line
-- back-orders it. Activities with nothing picked are cancelled.
CREATE FUNCTION rf_close_pick_task(wo_no text, task_no numeric, activity_no numeric, pick_qty numeric,
                                   reason_code text, operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_wo_no    text := btrim(rf_close_pick_task.wo_no);
    v_task     integer;
    v_act      integer;
    v_reason   text := upper(btrim(rf_close_pick_task.reason_code));
    v_operator text;
    v_planned  numeric;
    v_done     numeric;
    v_open     integer;
    v_uom      text;
    v_short    numeric;
    v_client   text;
    v_so_no    text;
    a          activity%ROWTYPE;
BEGIN
    v_operator := active_operator(rf_close_pick_task.operator);
    v_task := pick_whole(rf_close_pick_task.task_no, 'Task');
    v_act := nullif(pick_whole(rf_close_pick_task.activity_no, 'Activity'), 0);
    IF v_wo_no IS NULL OR v_task IS NULL THEN
        PERFORM refuse(-13, 'Works order and task are required.');
    END IF;
    PERFORM 1 FROM works_order w WHERE w.wo_no = v_wo_no FOR UPDATE;
    SELECT sum(act.qty), sum(act.qty_done),
           count(*) FILTER (WHERE act.status NOT IN ('COMPLETED', 'CANCELLED')),
           min(act.uom), min(act.client), min(act.so_no)
    INTO v_planned, v_done, v_open, v_uom, v_client, v_so_no
    FROM activity act
    WHERE act.wo_no = v_wo_no AND act.task_no = v_task AND (v_act IS NULL OR act.activity_no = v_act)
      AND act.movement_type = 'PICK';
    IF v_planned IS NULL THEN
        PERFORM refuse(-15, format('Pick task %s/%s%s not found.', v_wo_no, v_task,
                                   coalesce('/' || v_act, '')));
    END IF;
    IF v_open = 0 THEN
        RETURN QUERY SELECT 0, format('Pick task %s/%s%s is already closed.', v_wo_no, v_task,
                                      coalesce('/' || v_act, ''));
        RETURN;
    END IF;
    IF rf_close_pick_task.pick_qty > v_planned THEN
        PERFORM refuse(-20, format('Quantity %s %s refused: only %s %s was allocated to this task.',
                                   qty_text(rf_close_pick_task.pick_qty), v_uom,
                                   qty_text(v_planned), v_uom));
    END IF;
    IF coalesce(rf_close_pick_task.pick_qty, v_done) <> v_done THEN
        PERFORM refuse(-27, format('%s %s is confirmed picked on this task, not %s; confirm the picks before closing.',
                                   qty_text(v_done), v_uom, qty_text(rf_close_pick_task.pick_qty)));
    END IF;
    v_short := v_planned - v_done;
    IF v_short > 0 THEN
        IF coalesce(v_reason, '') = '' THEN
            PERFORM refuse(-28, format('%s %s short: a reason code is required.', qty_text(v_short), v_uom));
        END IF;
        IF NOT EXISTS (SELECT 1 FROM parameter_tbl p
                       WHERE p.param_table = 'REASONCODE' AND p.param_code = v_reason) THEN
            PERFORM refuse(-29, format('Reason code %s is not known.', v_reason));
        END IF;
    END IF;

    FOR a IN
        SELECT * FROM activity act
        WHERE act.wo_no = v_wo_no AND act.task_no = v_task AND (v_act IS NULL OR act.activity_no = v_act)
          AND act.movement_type = 'PICK' AND act.status NOT IN ('COMPLETED', 'CANCELLED')
        FOR UPDATE
    LOOP
        IF a.qty > a.qty_done AND a.rec_num IS NOT NULL THEN
            UPDATE stock st
            SET qty_booked = greatest(st.qty_booked - (a.qty - a.qty_done), 0), last_update = localtimestamp(0)
            WHERE st.rec_num = a.rec_num;
        END IF;
        UPDATE activity act
        SET status = CASE WHEN a.qty_done > 0 THEN 'COMPLETED' ELSE 'CANCELLED' END,
            reason_code = CASE WHEN a.qty > a.qty_done THEN v_reason ELSE act.reason_code END,
            completed_by = v_operator, completed_at = localtimestamp(0)
        WHERE act.wo_no = a.wo_no AND act.task_no = a.task_no AND act.activity_no = a.activity_no;
        IF a.qty > a.qty_done THEN
            UPDATE sales_order_line ol
            SET qty_backorder = ol.qty_backorder + (a.qty - a.qty_done), maker = v_operator,
                last_update = localtimestamp(0)
            WHERE ol.client = a.client AND ol.order_no = a.so_no AND ol.line_no = a.so_line_no;
        END IF;
    END LOOP;

    PERFORM pick_refresh_works_order(v_wo_no, v_operator);
    IF v_so_no IS NOT NULL THEN
        PERFORM pick_refresh_order(v_client, v_so_no);
    END IF;
    RETURN QUERY SELECT 0, format('Pick task %s/%s%s closed: %s %s picked%s.', v_wo_no, v_task,
                                  coalesce('/' || v_act, ''), qty_text(v_done), v_uom,
                                  CASE WHEN v_short > 0
                                       THEN format(', %s %s short (%s)', qty_text(v_short), v_uom, v_reason)
                                       ELSE '' END);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Pick task not closed');
END
$$;

-- Close a carton pick: the stock lines named in picked_rec_num (numbers
-- separated by commas, semicolons or blanks) are the cartons picked for the
-- activities of the task (or of activity_no). Each carton goes whole onto
-- the order's latest outbound pallet in the warehouse (a new pallet is
-- issued when the order has none) as picked stock; a line must be in a
-- carton and hold exactly what its activity still has to pick. Activities
-- whose lines are not named stay open.
CREATE FUNCTION rf_close_carton_pick_task(wo_no text, task_no numeric, activity_no numeric,
                                          picked_rec_num text, operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_wo_no    text := btrim(rf_close_carton_pick_task.wo_no);
    v_task     integer;
    v_act      integer;
    v_operator text;
    v_word     text;
    v_recs     bigint[] := '{}';
    v_rec      bigint;
    a          activity%ROWTYPE;
    s          stock%ROWTYPE;
    v_loc      text;
    v_dest     text;
    v_picked   integer := 0;
    v_open     integer;
    v_client   text;
    v_so_no    text;
BEGIN
    v_operator := active_operator(rf_close_carton_pick_task.operator);
    v_task := pick_whole(rf_close_carton_pick_task.task_no, 'Task');
    v_act := nullif(pick_whole(rf_close_carton_pick_task.activity_no, 'Activity'), 0);
    IF v_wo_no IS NULL OR v_task IS NULL THEN
        PERFORM refuse(-13, 'Works order and task are required.');
    END IF;
    FOREACH v_word IN ARRAY regexp_split_to_array(btrim(coalesce(picked_rec_num, ''), ' ,;'), '[\s,;]+') LOOP
        CONTINUE WHEN v_word = '';
        IF v_word !~ '^\d{1,18}$' THEN
            PERFORM refuse(-34, format('%s is not a stock record number.', v_word));
        END IF;
        v_recs := v_recs || v_word::bigint;
    END LOOP;
    IF cardinality(v_recs) = 0 THEN
        PERFORM refuse(-35, 'No picked stock record numbers given.');
    END IF;
    PERFORM 1 FROM works_order w WHERE w.wo_no = v_wo_no FOR UPDATE;

    FOREACH v_rec IN ARRAY v_recs LOOP
        SELECT * INTO a
        FROM activity act
        WHERE act.wo_no = v_wo_no AND act.task_no = v_task AND (v_act IS NULL OR act.activity_no = v_act)
          AND act.movement_type = 'PICK' AND act.status NOT IN ('COMPLETED', 'CANCELLED')
          AND act.rec_num = v_rec
        ORDER BY act.activity_no
        LIMIT 1
        FOR UPDATE;
        IF NOT FOUND THEN
            PERFORM refuse(-36, format('Stock record %s is not an open carton pick of task %s/%s.',
                                       v_rec, v_wo_no, v_task));
        END IF;
        SELECT * INTO s FROM stock st WHERE st.rec_num = v_rec FOR UPDATE;
        IF s.carton_no IS NULL THEN
            PERFORM refuse(-37, format('Stock record %s is not in a carton; confirm it as an item pick.', v_rec));
        END IF;
        IF s.status <> 'AVAILABLE' THEN
            PERFORM refuse(-25, format('Stock record %s is %s and cannot be picked.', v_rec, lower(s.status)));
        END IF;
        IF s.qty <> a.qty - a.qty_done THEN
            PERFORM refuse(-38, format('Carton %s holds %s %s but the pick is for %s %s; pick it item by item.',
                                       s.carton_no, qty_text(s.qty), s.uom,
                                       qty_text(a.qty - a.qty_done), a.uom));
        END IF;
        SELECT d.pallet INTO v_dest
        FROM despatch_pallet d
        JOIN pallet pl ON pl.pallet = d.pallet
        WHERE d.client = a.client AND d.order_no = a.so_no AND d.status = 'PENDING' AND d.warehouse = s.warehouse
        ORDER BY pl.created_at DESC, d.pallet DESC
        LIMIT 1;
        IF NOT FOUND THEN
            v_dest := issue_pallet(a.client, (SELECT so.customer FROM sales_order so
                                              WHERE so.client = a.client AND so.order_no = a.so_no), v_operator);
        END IF;
        v_loc := pick_destination(a.client, a.so_no, v_dest, s.warehouse,
                                  coalesce(a.location_to, pick_staging_location(s.warehouse)), NULL, v_operator);
        PERFORM pick_move_stock(s.rec_num, s.qty, s.qty_booked, v_dest, s.warehouse, v_loc, a.so_no,
                                a.so_line_no, v_operator, a.wo_no, a.task_no, a.activity_no);
        UPDATE activity act
        SET qty_done = act.qty, status = 'COMPLETED', pallet_to = v_dest, warehouse_to = s.warehouse,
            location_to = v_loc, completed_by = v_operator, completed_at = localtimestamp(0)
        WHERE act.wo_no = a.wo_no AND act.task_no = a.task_no AND act.activity_no = a.activity_no;
        UPDATE sales_order_line ol
        SET qty_picked = ol.qty_picked + s.qty, maker = v_operator, last_update = localtimestamp(0)
        WHERE ol.client = a.client AND ol.order_no = a.so_no AND ol.line_no = a.so_line_no;
        PERFORM pick_add_despatch_pallet(a.client, a.so_no, v_dest, s.warehouse, v_loc);
        v_client := a.client;
        v_so_no := a.so_no;
        v_picked := v_picked + 1;
    END LOOP;

    PERFORM pick_refresh_works_order(v_wo_no, v_operator);
    PERFORM pick_refresh_order(v_client, v_so_no);
    SELECT count(*) INTO v_open
    FROM activity act
    WHERE act.wo_no = v_wo_no AND act.task_no = v_task AND (v_act IS NULL OR act.activity_no = v_act)
      AND act.status NOT IN ('COMPLETED', 'CANCELLED');
    RETURN QUERY SELECT 0, format('Carton pick %s/%s: %s carton line%s picked%s.', v_wo_no, v_task, v_picked,
                                  CASE WHEN v_picked = 1 THEN '' ELSE 's' END,
                                  CASE WHEN v_open > 0 THEN format(', %s still open', v_open) ELSE '' END);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Carton pick not closed');
END
$$;

-- Pallets that can serve a sales order line: pallets in pick faces and bulk
-- of the order's warehouse holding available, unexpired stock of the line's
-- item (and grade, lot and batch when the line names them), with what is
-- free on each in the product's lowest unit; first expiring first. The
-- pallets are the result set "pallets"; none is a status of -1.
CREATE PROCEDURE rf_pick_find_matching_pallet(client text, so_no text, line_no text,
                                              INOUT sqlstatus integer DEFAULT NULL,
                                              INOUT sqlmsg text DEFAULT NULL,
                                              INOUT pallets refcursor DEFAULT NULL)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_client text := btrim(rf_pick_find_matching_pallet.client);
    v_so_no  text := btrim(rf_pick_find_matching_pallet.so_no);
    v_line   text := btrim(rf_pick_find_matching_pallet.line_no);
    l        sales_order_line%ROWTYPE;
    o        sales_order%ROWTYPE;
    v_count  integer;
BEGIN
    IF coalesce(v_client, '') = '' OR coalesce(v_so_no, '') = '' THEN
        PERFORM refuse(-1, 'Client and sales order number are required.');
    END IF;
    IF coalesce(v_line, '') !~ '^\d{1,9}$' THEN
        PERFORM refuse(-2, format('Line number "%s" is not a line number.', coalesce(v_line, '')));
    END IF;
    SELECT * INTO o FROM sales_order so WHERE so.client = v_client AND so.order_no = v_so_no;
    SELECT * INTO l
    FROM sales_order_line ol
    WHERE ol.client = v_client AND ol.order_no = v_so_no AND ol.line_no = v_line::integer;
    IF NOT FOUND THEN
        PERFORM refuse(-5, format('Sales order %s has no line %s.', v_so_no, v_line));
    END IF;

    SELECT count(*) INTO v_count FROM pick_line_pallets(o, l);
    OPEN pallets FOR SELECT * FROM pick_line_pallets(o, l);

    IF v_count = 0 THEN
        sqlstatus := -6;
        sqlmsg := format('No pallet holds free stock of %s for line %s of sales order %s.',
                         l.item_no, l.line_no, v_so_no);
    ELSE
        sqlstatus := 0;
        sqlmsg := format('%s pallet%s can serve line %s (%s).', v_count, CASE WHEN v_count = 1 THEN '' ELSE 's' END,
                         l.line_no, l.item_no);
    END IF;
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Matching pallets not found');
END
$$;

-- Pick a sales order line straight from a pallet onto an outbound pallet,
-- without a pick list: pick_qty of the line's item and unit from the stock
-- on pallet_from, first expiring first. What open pick activities of the
-- line hold on that pallet is used first (and those picks count as done);
-- then free stock. Refuses more than the line still needs or than the
-- pallet can give. Open picks of the line that the order no longer needs
-- are then released.
CREATE PROCEDURE rf_pick_sales_detail2(client text, so_no text, line_no text, pick_qty text,
                                       pallet_from text, pallet_to text, despatch text, operator text,
                                       INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_client   text := btrim(rf_pick_sales_detail2.client);
    v_so_no    text := btrim(rf_pick_sales_detail2.so_no);
    v_line_txt text := btrim(rf_pick_sales_detail2.line_no);
    v_qty_txt  text := btrim(rf_pick_sales_detail2.pick_qty);
    v_from     text := btrim(rf_pick_sales_detail2.pallet_from);
    v_to       text := btrim(rf_pick_sales_detail2.pallet_to);
    v_despatch text := btrim(rf_pick_sales_detail2.despatch);
    v_operator text;
    v_qty      numeric;
    v_need     numeric;
    v_usable   numeric;
    v_take     numeric;
    v_excess   numeric;
    v_dest_loc text;
    v_wh       text;
    o          sales_order%ROWTYPE;
    l          sales_order_line%ROWTYPE;
    s          record;
    a          activity%ROWTYPE;
    v_wos      text[] := '{}';
    v_wo       text;
BEGIN
    IF coalesce(v_client, '') = '' OR coalesce(v_so_no, '') = '' THEN
        PERFORM refuse(-1, 'Client and sales order number are required.');
    END IF;
    v_operator := active_operator(rf_pick_sales_detail2.operator);
    IF coalesce(v_line_txt, '') !~ '^\d{1,9}$' THEN
        PERFORM refuse(-2, format('Line number "%s" is not a line number.', coalesce(v_line_txt, '')));
    END IF;
    IF coalesce(v_qty_txt, '') !~ '^\d{0,12}(\.\d{1,6})?$' OR coalesce(v_qty_txt, '') IN ('', '.') THEN
        PERFORM refuse(-14, format('Quantity "%s" refused: give the quantity picked.', coalesce(v_qty_txt, '')));
    END IF;
    v_qty := v_qty_txt::numeric;
    IF v_qty <= 0 THEN
        PERFORM refuse(-14, format('Quantity %s refused: a pick must be more than 0.', qty_text(v_qty)));
    END IF;
    IF coalesce(v_from, '') = '' THEN
        PERFORM refuse(-23, 'The pallet picked from is required.');
    END IF;
    IF v_from = v_to THEN
        PERFORM refuse(-32, format('Pallet %s cannot be picked onto itself.', v_from));
    END IF;

    o := pick_order(v_client, v_so_no, NULL, v_despatch);
    IF o.status IN ('DESPATCHED', 'CANCELLED') THEN
        PERFORM refuse(-7, format('Sales order %s is %s and cannot be picked.', v_so_no, lower(o.status)));
    END IF;
    SELECT * INTO l
    FROM sales_order_line ol
    WHERE ol.client = v_client AND ol.order_no = v_so_no AND ol.line_no = v_line_txt::integer
    FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-5, format('Sales order %s has no line %s.', v_so_no, v_line_txt));
    END IF;
    IF l.status = 'CANCELLED' THEN
        PERFORM refuse(-7, format('Line %s of sales order %s is cancelled.', l.line_no, v_so_no));
    END IF;
    v_need := l.qty - l.qty_picked - l.qty_backorder;
    IF v_qty > v_need THEN
        PERFORM refuse(-20, format('Quantity %s %s refused: line %s of sales order %s needs only %s %s more.',
                                   qty_text(v_qty), l.uom, l.line_no, v_so_no,
                                   qty_text(greatest(v_need, 0)), l.uom));
    END IF;

    -- What the pallet can give this line: free stock, plus what this line's
    -- open picks hold there.
    SELECT sum(st.qty_avail + coalesce(b.held, 0)), min(st.warehouse) INTO v_usable, v_wh
    FROM stock st
    LEFT JOIN (SELECT act.rec_num, sum(act.qty - act.qty_done) AS held
               FROM activity act
               WHERE act.client = v_client AND act.so_no = v_so_no AND act.so_line_no = l.line_no
                 AND act.movement_type = 'PICK' AND act.status NOT IN ('COMPLETED', 'CANCELLED')
               GROUP BY act.rec_num) b ON b.rec_num = st.rec_num
    WHERE st.pallet = v_from AND st.uom = l.uom AND pick_serves(st, l, o.customer);
    IF coalesce(v_usable, 0) < v_qty THEN
        PERFORM refuse(-26, format('Quantity %s %s refused: pallet %s has only %s %s of %s to pick for this line.',
                                   qty_text(v_qty), l.uom, v_from, qty_text(coalesce(v_usable, 0)),
                                   l.uom, l.item_no));
    END IF;
    IF v_wh <> o.warehouse THEN
        PERFORM refuse(-24, format('Pallet %s is in warehouse %s; sales order %s ships from %s.',
                                   v_from, v_wh, v_so_no, o.warehouse));
    END IF;
    v_dest_loc := pick_destination(v_client, v_so_no, v_to, v_wh, pick_staging_location(v_wh), NULL, v_operator);

    v_need := v_qty;
    FOR s IN
        SELECT st.rec_num
        FROM stock st
        WHERE st.pallet = v_from AND st.uom = l.uom AND pick_serves(st, l, o.customer)
        ORDER BY st.expiry_date NULLS LAST, st.rec_num
        FOR UPDATE OF st
    LOOP
        -- First the line's own picks on this stock line.
        FOR a IN
            SELECT * FROM activity act
            WHERE act.client = v_client AND act.so_no = v_so_no AND act.so_line_no = l.line_no
              AND act.rec_num = s.rec_num AND act.movement_type = 'PICK'
              AND act.status NOT IN ('COMPLETED', 'CANCELLED')
            ORDER BY act.wo_no, act.task_no, act.activity_no
            FOR UPDATE
        LOOP
            EXIT WHEN v_need = 0;
            v_take := least(v_need, a.qty - a.qty_done);
            PERFORM pick_move_stock(s.rec_num, v_take, v_take, v_to, v_wh, v_dest_loc, v_so_no, l.line_no,
                                    v_operator, a.wo_no, a.task_no, a.activity_no);
            UPDATE activity act
            SET qty_done = act.qty_done + v_take,
                status = CASE WHEN act.qty_done + v_take >= act.qty THEN 'COMPLETED' ELSE 'INPROGRESS' END,
                pallet_to = v_to, warehouse_to = v_wh, location_to = v_dest_loc,
                completed_by = CASE WHEN act.qty_done + v_take >= act.qty THEN v_operator END,
                completed_at = CASE WHEN act.qty_done + v_take >= act.qty THEN localtimestamp(0) END
            WHERE act.wo_no = a.wo_no AND act.task_no = a.task_no AND act.activity_no = a.activity_no;
            v_wos := v_wos || a.wo_no;
            v_need := v_need - v_take;
        END LOOP;
        EXIT WHEN v_need = 0;
        -- Then what is free on it.
        SELECT least(v_need, st.qty_avail) INTO v_take
        FROM stock st
        WHERE st.rec_num = s.rec_num AND st.status = 'AVAILABLE';
        IF coalesce(v_take, 0) > 0 THEN
            PERFORM pick_move_stock(s.rec_num, v_take, 0, v_to, v_wh, v_dest_loc, v_so_no, l.line_no,
                                    v_operator, NULL, NULL, NULL);
            v_need := v_need - v_take;
        END IF;
        EXIT WHEN v_need = 0;
    END LOOP;

    UPDATE sales_order_line ol
    SET qty_picked = ol.qty_picked + v_qty, maker = v_operator, last_update = localtimestamp(0)
    WHERE ol.client = v_client AND ol.order_no = v_so_no AND ol.line_no = l.line_no;

    -- Release open picks of the line beyond what it still needs, last first.
    SELECT (ol.qty_picked + ol.qty_backorder) - ol.qty INTO v_excess
    FROM sales_order_line ol
    WHERE ol.client = v_client AND ol.order_no = v_so_no AND ol.line_no = l.line_no;
    SELECT v_excess + coalesce(sum(act.qty - act.qty_done), 0) INTO v_excess
    FROM activity act
    WHERE act.client = v_client AND act.so_no = v_so_no AND act.so_line_no = l.line_no
      AND act.movement_type = 'PICK' AND act.status NOT IN ('COMPLETED', 'CANCELLED');
    FOR a IN
        SELECT * FROM activity act
        WHERE act.client = v_client AND act.so_no = v_so_no AND act.so_line_no = l.line_no
          AND act.movement_type = 'PICK' AND act.status NOT IN ('COMPLETED', 'CANCELLED')
        ORDER BY act.wo_no DESC, act.task_no DESC, act.activity_no DESC
        FOR UPDATE
    LOOP
        EXIT WHEN v_excess <= 0;
        v_take := least(v_excess, a.qty - a.qty_done);
        UPDATE stock st
        SET qty_booked = greatest(st.qty_booked - v_take, 0), last_update = localtimestamp(0)
        WHERE st.rec_num = a.rec_num;
        UPDATE activity act
        SET qty = act.qty - v_take,
            status = CASE WHEN act.qty - v_take > act.qty_done THEN act.status
                          WHEN act.qty_done > 0 THEN 'COMPLETED' ELSE 'CANCELLED' END,
            completed_by = CASE WHEN act.qty - v_take > act.qty_done THEN act.completed_by ELSE v_operator END,
            completed_at = CASE WHEN act.qty - v_take > act.qty_done THEN act.completed_at
                                ELSE localtimestamp(0) END
        WHERE act.wo_no = a.wo_no AND act.task_no = a.task_no AND act.activity_no = a.activity_no;
        v_wos := v_wos || a.wo_no;
        v_excess := v_excess - v_take;
    END LOOP;

    PERFORM pick_add_despatch_pallet(v_client, v_so_no, v_to, v_wh, v_dest_loc);
    FOR v_wo IN SELECT DISTINCT unnest(v_wos) LOOP
        PERFORM pick_refresh_works_order(v_wo, v_operator);
    END LOOP;
    PERFORM pick_refresh_order(v_client, v_so_no);

    sqlstatus := 0;
    sqlmsg := format('Picked %s %s of %s for line %s from pallet %s onto pallet %s in %s.', qty_text(v_qty),
                     l.uom, l.item_no, l.line_no, v_from, v_to, v_dest_loc);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Order line not picked');
END
$$;

-- Orders with open tasks of a movement type (all types when Null): the
-- order's number as order_ref and the client's own reference as client_ref
-- (a sales order's reference number, a receipt's reference), with how many
-- tasks are open, most urgent first.
CREATE FUNCTION rf_get_pending_task_order(p_client text, p_movement_type text)
RETURNS TABLE (client text, order_ref text, client_ref text, movement_type text, open_tasks bigint,
               priority integer)
LANGUAGE sql STABLE AS $$
    SELECT w.client, w.order_no, coalesce(so.reference_no, r.receipt_ref_no, ''), w.movement_type,
           count(DISTINCT (t.wo_no, t.task_no)), min(w.priority)
    FROM works_order w
    JOIN task t ON t.wo_no = w.wo_no AND t.status NOT IN ('COMPLETED', 'CANCELLED')
    LEFT JOIN sales_order so ON so.client = w.client AND so.order_no = w.order_no
    LEFT JOIN receipt r ON r.client = w.client AND r.receipt_no = w.order_no
    WHERE w.client = btrim(p_client) AND w.order_no <> ''
      AND w.status NOT IN ('COMPLETED', 'CANCELLED')
      AND (coalesce(btrim(p_movement_type), '') = '' OR w.movement_type = upper(btrim(p_movement_type)))
    GROUP BY w.client, w.order_no, so.reference_no, r.receipt_ref_no, w.movement_type
    ORDER BY min(w.priority), w.order_no;
$$;

------------------------------------------------------------------------------
-- Sales order enquiries
------------------------------------------------------------------------------

-- The header of a sales order (of the customer, when one is given) with its
-- status as status2.
CREATE FUNCTION rf_query_sales_order2(p_client text, p_customer text, p_so_no text)
RETURNS TABLE (client text, order_no text, customer text, customer_name text, dlvr_to text, dlvr_street text,
               dlvr_bldg text, dlvr_town text, dlvr_country text, dlvr_postcode text, despatch text,
               delivery_date date, remarks text, status2 text)
LANGUAGE sql STABLE AS $$
    SELECT o.client, o.order_no, o.customer, c.customer_name, o.dlvr_to, o.dlvr_street, o.dlvr_bldg,
           o.dlvr_town, o.dlvr_country, o.dlvr_postcode, o.despatch, o.delivery_date, o.remarks, o.status
    FROM sales_order o
    JOIN customer c ON c.client = o.client AND c.customer = o.customer
    WHERE o.client = btrim(p_client) AND o.order_no = btrim(p_so_no)
      AND (coalesce(btrim(p_customer), '') = '' OR o.customer = btrim(p_customer));
$$;

-- The same without the status.
CREATE FUNCTION rf_query_sales_order(p_client text, p_customer text, p_so_no text)
RETURNS TABLE (client text, order_no text, customer text, customer_name text, dlvr_to text, dlvr_street text,
               dlvr_bldg text, dlvr_town text, dlvr_country text, dlvr_postcode text, despatch text,
               delivery_date date, remarks text)
LANGUAGE sql STABLE AS $$
    SELECT o.client, o.order_no, o.customer, o.customer_name, o.dlvr_to, o.dlvr_street, o.dlvr_bldg, o.dlvr_town,
           o.dlvr_country, o.dlvr_postcode, o.despatch, o.delivery_date, o.remarks
    FROM rf_query_sales_order2(p_client, p_customer, p_so_no) AS o;
$$;

-- The lines of a sales order with their quantities and what the handheld
-- needs of the product (serial numbers per unit, lowest unit).
CREATE FUNCTION rf_query_sales_detail2(p_client text, p_customer text, p_so_no text)
RETURNS TABLE (client text, customer text, reference_no text, order_no text, line_no integer, org_item text,
               item_no text, uom text, qty numeric, qty_picked numeric, qty_backorder numeric,
               qty_scanpack numeric, item_description text, serial_no_flag text, num_serial integer,
               lowest_uom text, luom_equivalent numeric, "Status" text)
LANGUAGE sql STABLE AS $$
    SELECT l.client, o.customer, o.reference_no, l.order_no, l.line_no, l.org_item, l.item_no, l.uom, l.qty,
           l.qty_picked, l.qty_backorder, l.qty_scanpack, p.description, p.serial_no_flag, p.num_serial,
           p.lowest_uom, u.luom_equivalent, l.status
    FROM sales_order o
    JOIN sales_order_line l ON l.client = o.client AND l.order_no = o.order_no
    JOIN product p ON p.client = l.client AND p.item_no = l.item_no
    JOIN product_uom u ON u.client = l.client AND u.item_no = l.item_no AND u.uom = l.uom
    WHERE o.client = btrim(p_client) AND o.order_no = btrim(p_so_no)
      AND (coalesce(btrim(p_customer), '') = '' OR o.customer = btrim(p_customer))
    ORDER BY l.line_no;
$$;

-- Sales orders not yet despatched (nor cancelled), of a customer and a
-- despatch when given, soonest delivery first.
CREATE FUNCTION rf_rpt_outstanding_sales_order(p_client text, p_customer text, p_despatch text)
RETURNS TABLE (client text, order_no text, customer text, customer_name text, dlvr_to text, despatch text,
               delivery_date date, status text)
LANGUAGE sql STABLE AS $$
    SELECT o.client, o.order_no, o.customer, c.customer_name, o.dlvr_to, o.despatch, o.delivery_date, o.status
    FROM sales_order o
    JOIN customer c ON c.client = o.client AND c.customer = o.customer
    WHERE o.client = btrim(p_client) AND o.status NOT IN ('DESPATCHED', 'CANCELLED')
      AND (coalesce(btrim(p_customer), '') = '' OR o.customer = btrim(p_customer))
      AND (coalesce(btrim(p_despatch), '') = '' OR o.despatch = btrim(p_despatch))
    ORDER BY o.delivery_date NULLS LAST, o.order_no;
$$;

------------------------------------------------------------------------------
-- Despatch
------------------------------------------------------------------------------

-- Picked pallets waiting for despatch: the pending pallets of the despatch
-- lists that hold picked stock, of one order or of all the client's orders
-- (of one customer when given).
CREATE FUNCTION rf_extract_despatch_list(p_client text, p_customer text, p_so_no text)
RETURNS TABLE (warehouse text, customer text, sales_order text, pallet text, despatch text, location text,
               lines bigint)
LANGUAGE sql STABLE AS $$
    SELECT d.warehouse, o.customer, d.order_no, d.pallet, coalesce(nullif(d.despatch, ''), o.despatch),
           d.location, count(s.rec_num)
    FROM despatch_pallet d
    JOIN sales_order o ON o.client = d.client AND o.order_no = d.order_no
    JOIN stock s ON s.client = d.client AND s.so_no = d.order_no AND s.pallet = d.pallet
                AND s.status = 'PICKED' AND s.qty > 0
    WHERE d.client = btrim(p_client) AND d.status = 'PENDING'
      AND (coalesce(btrim(p_customer), '') = '' OR o.customer = btrim(p_customer))
      AND (coalesce(btrim(p_so_no), '') = '' OR d.order_no = btrim(p_so_no))
    GROUP BY d.warehouse, o.customer, d.order_no, d.pallet, d.despatch, o.despatch, d.location
    ORDER BY d.order_no, d.pallet;
$$;

-- What a despatch pallet holds for an order (for every order of the client
-- when none is given): picked quantities by item and unit.
CREATE FUNCTION rf_get_despatch_pallet_items(p_client text, p_so_no text, p_pallet text)
RETURNS TABLE (client text, item_no text, "Description" text, uom text, qty numeric, sales_order text)
LANGUAGE sql STABLE AS $$
    SELECT s.client, s.item_no, p.description, s.uom, sum(s.qty), s.so_no
    FROM stock s
    JOIN product p ON p.client = s.client AND p.item_no = s.item_no
    WHERE s.client = btrim(p_client) AND s.pallet = btrim(p_pallet) AND s.status = 'PICKED' AND s.qty > 0
      AND (coalesce(btrim(p_so_no), '') = '' OR s.so_no = btrim(p_so_no))
    GROUP BY s.client, s.item_no, p.description, s.uom, s.so_no
    ORDER BY s.so_no, s.item_no, s.uom;
$$;

-- Despatch a pallet of an order's despatch list onto a trip: its picked
-- stock for the order leaves the warehouse (journalled, quantity 0,
-- DESPATCHED), the order lines count it despatched, the serial numbers
-- recorded on it are despatched, and the pallet is marked despatched with
-- the trip, vehicle, route, carrier and driver (and so are the cartons that
-- travelled on it and hold nothing more).
CREATE FUNCTION rf_confirm_despatch(client text, customer text, so_no text, despatch text, pallet text,
                                    trip text, vehicle text, route text, carrier text, driver text,
                                    operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_client   text := btrim(rf_confirm_despatch.client);
    v_customer text := btrim(rf_confirm_despatch.customer);
    v_so_no    text := btrim(rf_confirm_despatch.so_no);
    v_despatch text := btrim(rf_confirm_despatch.despatch);
    v_pallet   text := btrim(rf_confirm_despatch.pallet);
    v_trip     text := btrim(rf_confirm_despatch.trip);
    v_carrier  text := upper(btrim(rf_confirm_despatch.carrier));
    v_operator text;
    o          sales_order%ROWTYPE;
    d          despatch_pallet%ROWTYPE;
    s          stock%ROWTYPE;
    v_lines    integer := 0;
    v_serials  integer;
    v_cartons  text[] := '{}';
BEGIN
    IF coalesce(v_client, '') = '' OR coalesce(v_so_no, '') = '' THEN
        PERFORM refuse(-1, 'Client and sales order number are required.');
    END IF;
    IF coalesce(v_pallet, '') = '' THEN
        PERFORM refuse(-30, 'Pallet is required.');
    END IF;
    v_operator := active_operator(rf_confirm_despatch.operator);
    IF coalesce(v_trip, '') = '' THEN
        PERFORM refuse(-40, 'Trip is required.');
    END IF;
    IF coalesce(v_carrier, '') <> '' AND NOT EXISTS (SELECT 1 FROM carrier c WHERE c.carrier = v_carrier) THEN
        PERFORM refuse(-41, format('Carrier %s is not known.', v_carrier));
    END IF;
    o := pick_order(v_client, v_so_no, v_customer, NULL);
    SELECT * INTO d
    FROM despatch_pallet dp
    WHERE dp.client = v_client AND dp.order_no = v_so_no AND dp.pallet = v_pallet
    FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-42, format('Pallet %s is not on the despatch list of sales order %s.', v_pallet, v_so_no));
    END IF;
    IF d.status = 'DESPATCHED' THEN
        PERFORM refuse(-43, format('Pallet %s left on trip %s.', v_pallet, d.trip));
    END IF;
    IF coalesce(v_despatch, '') <> '' AND coalesce(nullif(d.despatch, ''), o.despatch) NOT IN ('', v_despatch) THEN
        PERFORM refuse(-11, format('Pallet %s leaves with despatch %s, not %s.', v_pallet,
                                   coalesce(nullif(d.despatch, ''), o.despatch), v_despatch));
    END IF;

    FOR s IN
        SELECT * FROM stock st
        WHERE st.client = v_client AND st.so_no = v_so_no AND st.pallet = v_pallet AND st.status = 'PICKED'
          AND st.qty > 0
        ORDER BY st.rec_num
        FOR UPDATE
    LOOP
        INSERT INTO stock_movement (movement_type, client, item_no, rec_num, uom, qty, qty_before, qty_after,
                                    warehouse_from, location_from, pallet_from, carton_from, grade, reference,
                                    operator)
        VALUES ('DESPATCH', s.client, s.item_no, s.rec_num, s.uom, s.qty, s.qty, 0, s.warehouse, s.location,
                s.pallet, s.carton_no, s.grade,
                format('Sales order %s line %s, trip %s', v_so_no, s.so_line_no, v_trip), v_operator);
        UPDATE stock st
        SET qty = 0, qty_booked = 0, status = 'DESPATCHED', maker = v_operator, last_update = localtimestamp(0)
        WHERE st.rec_num = s.rec_num;
        UPDATE sales_order_line ol
        SET qty_despatched = ol.qty_despatched + s.qty, maker = v_operator, last_update = localtimestamp(0)
        WHERE ol.client = v_client AND ol.order_no = v_so_no AND ol.line_no = s.so_line_no;
        IF s.carton_no IS NOT NULL THEN
            v_cartons := v_cartons || s.carton_no;
        END IF;
        v_lines := v_lines + 1;
    END LOOP;
    IF v_lines = 0 THEN
        PERFORM refuse(-44, format('Pallet %s holds no picked stock of sales order %s.', v_pallet, v_so_no));
    END IF;

    UPDATE serial_number sn
    SET status = 'DESPATCHED', delivery_order = v_trip, delivery_date = current_date, maker = v_operator,
        last_update = localtimestamp(0)
    WHERE sn.client = v_client AND sn.sales_order = v_so_no AND sn.pallet = v_pallet AND sn.status = 'PICKED';
    GET DIAGNOSTICS v_serials = ROW_COUNT;

    UPDATE despatch_pallet dp
    SET status = 'DESPATCHED', despatch = coalesce(nullif(v_despatch, ''), nullif(dp.despatch, ''), o.despatch),
        trip = v_trip, vehicle = coalesce(btrim(rf_confirm_despatch.vehicle), ''),
        route = coalesce(btrim(rf_confirm_despatch.route), ''), carrier = coalesce(nullif(v_carrier, ''), dp.carrier),
        driver = coalesce(btrim(rf_confirm_despatch.driver), ''), despatched_by = v_operator,
        despatched_at = localtimestamp(0)
    WHERE dp.client = v_client AND dp.order_no = v_so_no AND dp.pallet = v_pallet;
    UPDATE pallet p
    SET status = 'DESPATCHED'
    WHERE p.pallet = v_pallet AND NOT EXISTS (SELECT 1 FROM stock st WHERE st.pallet = v_pallet AND st.qty > 0);
    -- A carton that went whole onto the pallet leaves with it.
    UPDATE carton c
    SET status = 'DESPATCHED', maker = v_operator, last_update = localtimestamp(0)
    WHERE c.client = v_client AND c.carton_no = ANY (v_cartons) AND c.status = 'ACTIVE'
      AND NOT EXISTS (SELECT 1 FROM stock st WHERE st.client = c.client AND st.carton_no = c.carton_no AND st.qty > 0);
    PERFORM pick_refresh_order(v_client, v_so_no);

    RETURN QUERY SELECT 0, format('Pallet %s of sales order %s despatched on trip %s: %s stock line%s, %s serial number%s.',
                                  v_pallet, v_so_no, v_trip, v_lines, CASE WHEN v_lines = 1 THEN '' ELSE 's' END,
                                  v_serials, CASE WHEN v_serials = 1 THEN '' ELSE 's' END);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Despatch not confirmed');
END
$$;

------------------------------------------------------------------------------
-- Serial numbers shipped against an order
------------------------------------------------------------------------------

-- Record a serial number against a sales order line (line p_so_line, or
-- the order's first line of the item when 0 or Null), on an outbound pallet
-- (p_pallet, or the order's picked pallet of the item), with the warranty
-- and task it is recorded under. A serial already on the order is changed.
-- The item must be serial controlled, and an order takes no more serial
-- numbers of an item than the picked quantity has units times the serial
-- numbers per unit. Answers the message; refuses through refuse().
CREATE FUNCTION pick_record_so_serial(p_client text, p_item_no text, p_serial_no text, p_customer text,
                                      p_so_no text, p_so_line integer, p_pallet text, p_warranty_no text,
                                      p_wo_no text, p_task_no integer, p_activity integer, p_operator text)
RETURNS text
LANGUAGE plpgsql AS $$
DECLARE
    v_client   text := btrim(p_client);
    v_item     text := btrim(p_item_no);
    v_serial   text := btrim(p_serial_no);
    v_customer text := btrim(p_customer);
    v_so_no    text := btrim(p_so_no);
    v_pallet   text := nullif(btrim(p_pallet), '');
    v_warranty text := nullif(btrim(p_warranty_no), '');
    v_wo_no    text := nullif(btrim(p_wo_no), '');
    v_operator text;
    o          sales_order%ROWTYPE;
    p          product%ROWTYPE;
    sn         serial_number%ROWTYPE;
    v_line     integer;
    v_allowed  numeric;
    v_recorded integer;
    v_rec_num  bigint;
    v_known    boolean;
    v_on_order boolean;
BEGIN
    IF coalesce(v_client, '') = '' OR coalesce(v_so_no, '') = '' THEN
        PERFORM refuse(-1, 'Client and sales order number are required.');
    END IF;
    IF coalesce(v_item, '') = '' THEN
        PERFORM refuse(-50, 'Item number is required.');
    END IF;
    IF coalesce(v_serial, '') = '' THEN
        PERFORM refuse(-51, 'Serial number is required.');
    END IF;
    v_operator := active_operator(p_operator);
    o := pick_order(v_client, v_so_no, v_customer, NULL);
    IF o.status IN ('DESPATCHED', 'CANCELLED') THEN
        PERFORM refuse(-7, format('Sales order %s is %s; its serial numbers cannot change.', v_so_no,
                                  lower(o.status)));
    END IF;
    SELECT * INTO p FROM product pr WHERE pr.client = v_client AND pr.item_no = v_item;
    IF NOT FOUND THEN
        PERFORM refuse(-52, format('Item %s not found for client %s.', v_item, v_client));
    END IF;
    IF p.serial_no_flag <> 'Y' THEN
        PERFORM refuse(-53, format('Item %s is not serial controlled.', v_item));
    END IF;
    IF coalesce(p_so_line, 0) <> 0 THEN
        SELECT ol.line_no INTO v_line
        FROM sales_order_line ol
        WHERE ol.client = v_client AND ol.order_no = v_so_no AND ol.line_no = p_so_line;
        IF NOT FOUND THEN
            PERFORM refuse(-54, format('Sales order %s has no line %s.', v_so_no, p_so_line));
        END IF;
        IF NOT EXISTS (SELECT 1 FROM sales_order_line ol
                       WHERE ol.client = v_client AND ol.order_no = v_so_no AND ol.line_no = p_so_line
                         AND ol.item_no = v_item) THEN
            PERFORM refuse(-55, format('Line %s of sales order %s is not for item %s.', p_so_line, v_so_no,
                                       v_item));
        END IF;
    ELSE
        SELECT ol.line_no INTO v_line
        FROM sales_order_line ol
        WHERE ol.client = v_client AND ol.order_no = v_so_no AND ol.item_no = v_item AND ol.status <> 'CANCELLED'
        ORDER BY ol.line_no
        LIMIT 1;
        IF NOT FOUND THEN
            PERFORM refuse(-55, format('Sales order %s has no line for item %s.', v_so_no, v_item));
        END IF;
    END IF;
    IF v_wo_no IS NOT NULL AND NOT EXISTS (SELECT 1 FROM works_order w WHERE w.wo_no = v_wo_no) THEN
        PERFORM refuse(-56, format('Works order %s not found.', v_wo_no));
    END IF;
    IF v_pallet IS NOT NULL AND NOT EXISTS (SELECT 1 FROM pallet pl WHERE pl.pallet = v_pallet) THEN
        PERFORM refuse(-57, format('Pallet %s is not known.', v_pallet));
    END IF;

    SELECT * INTO sn
    FROM serial_number s
    WHERE s.client = v_client AND s.item_no = v_item AND s.serial_no = v_serial
    FOR UPDATE;
    v_known := FOUND;
    v_on_order := v_known AND sn.sales_order IS NOT DISTINCT FROM v_so_no AND sn.status = 'PICKED';
    IF v_known AND sn.status = 'DESPATCHED' THEN
        PERFORM refuse(-58, format('Serial number %s left the warehouse on sales order %s.', v_serial,
                                   coalesce(sn.sales_order, '(none)')));
    END IF;
    IF v_known AND sn.status = 'PICKED' AND sn.sales_order IS DISTINCT FROM v_so_no THEN
        PERFORM refuse(-59, format('Serial number %s is picked for sales order %s.', v_serial,
                                   coalesce(sn.sales_order, '(none)')));
    END IF;

    IF NOT v_on_order THEN
        SELECT coalesce(sum(ol.qty_picked * u.luom_equivalent), 0) * p.num_serial INTO v_allowed
        FROM sales_order_line ol
        JOIN product_uom u ON u.client = ol.client AND u.item_no = ol.item_no AND u.uom = ol.uom
        WHERE ol.client = v_client AND ol.order_no = v_so_no AND ol.item_no = v_item;
        SELECT count(*) INTO v_recorded
        FROM serial_number s
        WHERE s.client = v_client AND s.item_no = v_item AND s.sales_order = v_so_no
          AND s.status IN ('PICKED', 'DESPATCHED');
        IF v_allowed = 0 THEN
            PERFORM refuse(-60, format('Nothing of item %s is picked on sales order %s yet.', v_item, v_so_no));
        END IF;
        IF v_recorded >= v_allowed THEN
            PERFORM refuse(-61, format('All %s serial numbers of item %s picked on sales order %s are recorded.',
                                       qty_text(v_allowed), v_item, v_so_no));
        END IF;
    END IF;

    SELECT st.rec_num, coalesce(v_pallet, st.pallet) INTO v_rec_num, v_pallet
    FROM stock st
    WHERE st.client = v_client AND st.so_no = v_so_no AND st.item_no = v_item AND st.status = 'PICKED'
      AND st.qty > 0 AND (v_pallet IS NULL OR st.pallet = v_pallet)
    ORDER BY st.so_line_no = v_line DESC, st.rec_num
    LIMIT 1;

    IF NOT v_known THEN
        INSERT INTO serial_number (client, item_no, serial_no, status, rec_num, pallet, warehouse, location,
                                   customer, sales_order, line_no, wo_no, task_no, activity, warranty_no,
                                   warranty_start, maker)
        SELECT v_client, v_item, v_serial, 'PICKED', v_rec_num, v_pallet, st.warehouse, st.location,
               o.customer, v_so_no, v_line, v_wo_no, nullif(p_task_no, 0), nullif(p_activity, 0),
               coalesce(v_warranty, ''), CASE WHEN v_warranty IS NOT NULL THEN current_date END, v_operator
        FROM (SELECT NULL) AS one
        LEFT JOIN stock st ON st.rec_num = v_rec_num;
    ELSE
        UPDATE serial_number s
        SET status = 'PICKED',
            rec_num = coalesce(v_rec_num, s.rec_num),
            pallet = coalesce(v_pallet, s.pallet),
            warehouse = coalesce((SELECT st.warehouse FROM stock st WHERE st.rec_num = v_rec_num), s.warehouse),
            location = coalesce((SELECT st.location FROM stock st WHERE st.rec_num = v_rec_num), s.location),
            customer = o.customer, sales_order = v_so_no, line_no = v_line,
            wo_no = coalesce(v_wo_no, s.wo_no),
            task_no = coalesce(nullif(p_task_no, 0), s.task_no),
            activity = coalesce(nullif(p_activity, 0), s.activity),
            warranty_no = coalesce(v_warranty, s.warranty_no),
            warranty_start = CASE WHEN v_warranty IS NOT NULL AND v_warranty <> s.warranty_no THEN current_date
                                  ELSE s.warranty_start END,
            maker = v_operator, last_update = localtimestamp(0)
        WHERE s.client = v_client AND s.item_no = v_item AND s.serial_no = v_serial;
    END IF;
    INSERT INTO serial_event (client, item_no, serial_no, event, reference, operator)
    VALUES (v_client, v_item, v_serial,
            CASE WHEN v_on_order THEN 'ORDER CHANGED' ELSE 'ORDER RECORDED' END,
            format('Sales order %s line %s%s', v_so_no, v_line, coalesce(', warranty ' || v_warranty, '')),
            v_operator);
    RETURN CASE WHEN v_on_order
                THEN format('Serial number %s changed on sales order %s line %s.', v_serial, v_so_no, v_line)
                ELSE format('Serial number %s recorded on sales order %s line %s.', v_serial, v_so_no, v_line)
           END;
END
$$;

-- Record a serial number shipped against a sales order (on a pallet).
CREATE PROCEDURE rf_update_so_serial(client text, item_no text, serial_no text, customer text, so_no text,
                                     pallet text, operator text, INOUT sqlstatus integer DEFAULT NULL,
                                     INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
BEGIN
    sqlmsg := pick_record_so_serial(client, item_no, serial_no, customer, so_no, NULL, pallet, NULL, NULL, NULL,
                                    NULL, operator);
    sqlstatus := 0;
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Serial number not recorded');
END
$$;

-- Record or change a serial number on a sales order line with its warranty
-- number and the task it was picked under (so_line, task_no and activity 0:
-- not given).
CREATE PROCEDURE rf_update_so_serial_warranty(client text, item_no text, serial_no text, so_no text,
                                              so_line integer, warranty_no text, wo_no text, task_no integer,
                                              activity integer, operator text,
                                              INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
BEGIN
    sqlmsg := pick_record_so_serial(client, item_no, serial_no, NULL, so_no, so_line, NULL, warranty_no, wo_no,
                                    task_no, activity, operator);
    sqlstatus := 0;
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Serial number not recorded');
END
$$;

-- Take a serial number off a sales order it has not left with: it goes back
-- in stock (or is deleted when it was only ever known from this order).
CREATE PROCEDURE rf_remove_so_serial(client text, item_no text, serial_no text, so_no text, operator text,
                                     INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    v_client   text := btrim(rf_remove_so_serial.client);
    v_item     text := btrim(rf_remove_so_serial.item_no);
    v_serial   text := btrim(rf_remove_so_serial.serial_no);
    v_so_no    text := btrim(rf_remove_so_serial.so_no);
    v_operator text;
    sn         serial_number%ROWTYPE;
BEGIN
    v_operator := active_operator(rf_remove_so_serial.operator);
    SELECT * INTO sn
    FROM serial_number s
    WHERE s.client = v_client AND s.item_no = v_item AND s.serial_no = v_serial
    FOR UPDATE;
    IF NOT FOUND OR sn.sales_order IS DISTINCT FROM v_so_no OR sn.status NOT IN ('PICKED', 'DESPATCHED') THEN
        PERFORM refuse(-62, format('Serial number %s of item %s is not recorded against sales order %s.',
                                   coalesce(v_serial, ''), coalesce(v_item, ''), coalesce(v_so_no, '')));
    END IF;
    IF sn.status = 'DESPATCHED' THEN
        PERFORM refuse(-58, format('Serial number %s left the warehouse on sales order %s.', v_serial, v_so_no));
    END IF;
    UPDATE serial_number s
    SET status = CASE WHEN s.receipt_no IS NULL AND s.receipt_date IS NULL THEN 'DELETED' ELSE 'INSTOCK' END,
        customer = NULL, sales_order = NULL, line_no = NULL, wo_no = NULL, task_no = NULL, activity = NULL,
        maker = v_operator, last_update = localtimestamp(0)
    WHERE s.client = v_client AND s.item_no = v_item AND s.serial_no = v_serial;
    INSERT INTO serial_event (client, item_no, serial_no, event, reference, operator)
    VALUES (v_client, v_item, v_serial, 'ORDER REMOVED', format('Sales order %s', v_so_no), v_operator);
    sqlstatus := 0;
    sqlmsg := format('Serial number %s removed from sales order %s.', v_serial, v_so_no);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Serial number not removed');
END
$$;
