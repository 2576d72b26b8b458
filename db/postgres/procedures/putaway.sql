-- Putaway and replenishment: received pallets waiting for putaway, their
-- destinations chosen and reserved, pallets put away and their tasks closed;
-- one received line topped up into a pick face; pick faces and top-up
-- locations of a product; replenishment tasks closed.
--
-- A pallet waits for putaway while it holds stock in status RECEIVING (check-in
-- leaves received stock so, at the receiving location). Each such stock line
-- belongs to an open PUTAWAY activity of a works order for its receipt; check-in
-- normally creates them, and the routines here create any that are missing.
-- An open activity's warehouse_to/location_to is the destination reserved for
-- its pallet.
--
-- How a putaway location is chosen for a pallet (pa_choose_location):
--   1. a destination already reserved for the pallet is kept while the
--      location is active and can still take it;
--   2. otherwise an empty bulk location (no stock, no pallet headed there) of
--      the pallet's warehouse in a zone where the pallet's product is already
--      stored;
--   3. otherwise an empty bulk location in any zone of that warehouse;
--   4. otherwise a bulk location with room for one more pallet (max_pallets),
--      zones of the product first;
--   within each rule the lowest pick sequence, then the location code, wins.
-- The choice is reserved on the pallet's putaway activities, so the next
-- pallet is not sent to the same place.
--
-- Putting a pallet away moves all its stock into the scanned location (bulk
-- or pick face, with room for the pallet), sets it AVAILABLE (or HOLD when it
-- was received on hold), journals a PUTAWAY movement per line, adds the
-- quantity to the purchase order lines received, and records the move on the
-- putaway activities; a task and its works order are completed once all
-- their activities are.
--
-- Status codes and refusals as in stock.sql, whose stk_* helpers these
-- routines use.

SELECT drop_routines(
    'pa_waiting_pallet', 'pa_ensure_activities', 'pa_choose_location', 'pa_locate', 'pa_put_away',
    'pa_count_putaway', 'pa_face_qty', 'pa_called_pallet', 'pa_pallet_location', 'pa_pallet_moved',
    'pa_close_task',
    'rf_get_putaway_pallet', 'rf_get_putaway_pallet_location', 'rf_get_putaway_pallet_location2',
    'rf_close_putaway_task', 'rf_receipt_allocate_putaway_location', 'rf_receipt_find_putaway_location',
    'rf_receipt_pallet_putaway', 'rf_putaway_stock_movements_pallet', 'rf_putaway_stock_movements_pallet2',
    'rf_receipt_topup_putaway', 'rf_get_item_topup_location', 'rf_get_item_pickface', 'rf_close_replenish_task');

------------------------------------------------------------------------------
-- Helpers
------------------------------------------------------------------------------

-- The stored label of a pallet waiting for putaway, refused otherwise. A
-- client or receipt, when given, must be the pallet's.
CREATE FUNCTION pa_waiting_pallet(p_label text, p_client text, p_receipt_no text)
RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_pallet  text := stk_known_pallet(p_label);
    v_client  text := btrim(coalesce(p_client, ''));
    v_receipt text := btrim(coalesce(p_receipt_no, ''));
BEGIN
    IF NOT EXISTS (SELECT 1 FROM stock s WHERE s.pallet = v_pallet AND s.status = 'RECEIVING' AND s.qty > 0) THEN
        PERFORM refuse(-3, format('Pallet %s is not waiting for putaway.', v_pallet));
    END IF;
    IF v_client <> '' AND NOT EXISTS (SELECT 1 FROM stock s
                                      WHERE s.pallet = v_pallet AND s.status = 'RECEIVING' AND s.qty > 0
                                        AND s.client = v_client) THEN
        PERFORM refuse(-2, format('Pallet %s holds no stock of client %s.', v_pallet, v_client));
    END IF;
    IF v_receipt <> '' AND NOT EXISTS (SELECT 1 FROM stock s
                                       WHERE s.pallet = v_pallet AND s.status = 'RECEIVING' AND s.qty > 0
                                         AND s.receipt_no = v_receipt
                                         AND (v_client = '' OR s.client = v_client)) THEN
        PERFORM refuse(-2, format('Pallet %s is not on receipt %s.', v_pallet, v_receipt));
    END IF;
    RETURN v_pallet;
END
$$;

-- Give every waiting stock line of the pallet an open PUTAWAY activity: one
-- task per line under the open putaway works order of its receipt (a new
-- works order when there is none).
CREATE FUNCTION pa_ensure_activities(p_pallet text, p_operator text)
RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
    v_line  record;
    v_wo    text;
    v_task  integer;
BEGIN
    FOR v_line IN
        SELECT s.*, l.area
        FROM stock s
        JOIN location l ON l.warehouse = s.warehouse AND l.location = s.location
        WHERE s.pallet = p_pallet AND s.status = 'RECEIVING' AND s.qty > 0
          AND NOT EXISTS (SELECT 1 FROM activity a
                          WHERE a.rec_num = s.rec_num AND a.movement_type = 'PUTAWAY'
                            AND a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS'))
        ORDER BY s.rec_num
    LOOP
        SELECT w.wo_no INTO v_wo
        FROM works_order w
        WHERE w.movement_type = 'PUTAWAY' AND w.client IS NOT DISTINCT FROM v_line.client
          AND w.order_no = coalesce(v_line.receipt_no, '') AND w.warehouse = v_line.warehouse
          AND w.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS')
        ORDER BY w.wo_no
        LIMIT 1;
        IF NOT FOUND THEN
            v_wo := next_works_order_no();
            INSERT INTO works_order (wo_no, movement_type, client, warehouse, area, order_no, priority, maker)
            SELECT v_wo, 'PUTAWAY', v_line.client, v_line.warehouse, v_line.area, coalesce(v_line.receipt_no, ''),
                   coalesce((SELECT m.default_priority FROM movement_type m WHERE m.movement_type = 'PUTAWAY'), 5),
                   p_operator;
        END IF;
        SELECT coalesce(max(t.task_no), 0) + 1 INTO v_task FROM task t WHERE t.wo_no = v_wo;
        INSERT INTO task (wo_no, task_no, client, order_no, line_no, item_no, uom, qty)
        VALUES (v_wo, v_task, v_line.client, coalesce(v_line.receipt_no, ''), v_line.receipt_line,
                v_line.item_no, v_line.uom, v_line.qty);
        INSERT INTO activity (wo_no, task_no, activity_no, movement_type, client, item_no, uom, qty, rec_num,
                              warehouse_from, location_from, area_from, pallet_from, carton_from, receipt_no,
                              receipt_line)
        VALUES (v_wo, v_task, 1, 'PUTAWAY', v_line.client, v_line.item_no, v_line.uom, v_line.qty,
                v_line.rec_num, v_line.warehouse, v_line.location, v_line.area, v_line.pallet,
                v_line.carton_no, v_line.receipt_no, v_line.receipt_line);
    END LOOP;
END
$$;

-- The putaway location for a pallet by the rules in the header; NULL when no
-- location can take it.
CREATE FUNCTION pa_choose_location(p_pallet text)
RETURNS location
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_warehouse text;
    v_location  location%ROWTYPE;
BEGIN
    SELECT s.warehouse INTO v_warehouse
    FROM stock s
    WHERE s.pallet = p_pallet AND s.status = 'RECEIVING' AND s.qty > 0
    ORDER BY s.rec_num
    LIMIT 1;

    -- 1. The reserved destination, while it can still take the pallet.
    SELECT l.* INTO v_location
    FROM activity a
    JOIN stock s ON s.rec_num = a.rec_num AND s.pallet = p_pallet
    JOIN location l ON l.warehouse = a.warehouse_to AND l.location = a.location_to
    WHERE a.movement_type = 'PUTAWAY' AND a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS')
      AND l.status = 'ACTIVE' AND l.location_type IN ('BULK', 'PICKFACE')
      AND (l.max_pallets = 0 OR stk_pallets_in(l.warehouse, l.location, p_pallet) < l.max_pallets)
    LIMIT 1;
    IF FOUND THEN
        RETURN v_location;
    END IF;

    -- 2 to 4. Empty locations first, zones of the product first.
    SELECT l.* INTO v_location
    FROM location l
    CROSS JOIN LATERAL (
        SELECT stk_pallets_in(l.warehouse, l.location, p_pallet) AS pallets,
               EXISTS (SELECT 1 FROM stock x
                       WHERE x.warehouse = l.warehouse AND x.location = l.location AND x.qty > 0
                         AND x.status <> 'DESPATCHED') AS has_stock,
               EXISTS (SELECT 1
                       FROM stock x
                       JOIN location xl ON xl.warehouse = x.warehouse AND xl.location = x.location
                       JOIN stock mine ON mine.pallet = p_pallet AND mine.status = 'RECEIVING'
                                      AND mine.client = x.client AND mine.item_no = x.item_no
                       WHERE x.warehouse = l.warehouse AND xl.zone = l.zone AND xl.location_type = 'BULK'
                         AND x.qty > 0 AND x.status IN ('AVAILABLE', 'HOLD')) AS product_zone) AS o
    WHERE l.warehouse = v_warehouse AND l.location_type = 'BULK' AND l.status = 'ACTIVE'
      AND (l.max_pallets = 0 OR o.pallets < l.max_pallets)
    ORDER BY (o.pallets > 0 OR o.has_stock), NOT o.product_zone, l.pick_seq, l.location
    LIMIT 1;
    IF FOUND THEN
        RETURN v_location;
    END IF;
    RETURN NULL;
END
$$;

-- Choose and reserve the putaway location of a waiting pallet; refused when
-- no location can take it.
CREATE FUNCTION pa_locate(p_pallet text, p_operator text)
RETURNS location
LANGUAGE plpgsql AS $$
DECLARE
    v_location location%ROWTYPE;
    v_try      integer;
BEGIN
    PERFORM pa_ensure_activities(p_pallet, p_operator);
    -- Lock the chosen location and look again: a pallet reserved there by a
    -- call that finished meanwhile may have filled it.
    FOR v_try IN 1 .. 5 LOOP
        v_location := pa_choose_location(p_pallet);
        EXIT WHEN v_location.location IS NULL;
        PERFORM stk_lock_location(v_location.warehouse, v_location.location);
        EXIT WHEN v_location.max_pallets = 0
               OR stk_pallets_in(v_location.warehouse, v_location.location, p_pallet) < v_location.max_pallets;
        v_location := NULL;
    END LOOP;
    IF v_location.location IS NULL THEN
        PERFORM refuse(-5, format('No free putaway location for pallet %s.', p_pallet));
    END IF;
    UPDATE activity a
    SET warehouse_to = v_location.warehouse, location_to = v_location.location
    FROM stock s
    WHERE s.rec_num = a.rec_num AND s.pallet = p_pallet AND a.movement_type = 'PUTAWAY'
      AND a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS');
    RETURN v_location;
END
$$;

-- Count qty of a stock line (in its unit) as put away on the purchase order
-- line it was received against.
CREATE FUNCTION pa_count_putaway(p_rec_num bigint, p_qty numeric)
RETURNS void
LANGUAGE sql AS $$
    UPDATE purchase_order_line pl
    SET qty_putaway = trim_scale(round(pl.qty_putaway + p_qty * su.luom_equivalent / pu.luom_equivalent, 6)),
        last_update = localtimestamp(0)
    FROM stock s
    JOIN receipt_line rl ON rl.client = s.client AND rl.receipt_no = s.receipt_no AND rl.line_no = s.receipt_line
    JOIN product_uom su ON su.client = s.client AND su.item_no = s.item_no AND su.uom = s.uom,
         product_uom pu
    WHERE s.rec_num = p_rec_num AND pl.client = rl.client AND pl.order_no = rl.po_no
      AND pl.line_no = rl.po_line_no AND pu.client = pl.client AND pu.item_no = pl.item_no AND pu.uom = pl.uom;
$$;

-- Put a waiting pallet away into a location (see the header) of the given
-- warehouse (blank: the pallet's). With
-- p_complete its putaway activities are completed and count the quantity
-- moved as done; otherwise they stay in progress, their quantity done left to
-- the close of their task (rf_close_putaway_task). Returns the destination.
CREATE FUNCTION pa_put_away(p_pallet text, p_warehouse text, p_location text, p_operator text,
                            p_complete boolean)
RETURNS location
LANGUAGE plpgsql AS $$
DECLARE
    v_dest   location%ROWTYPE;
    v_there  integer;
    v_line   record;
    v_wos    text[] := '{}';
BEGIN
    IF coalesce(btrim(p_location), '') = '' THEN
        PERFORM refuse(-1, 'Putaway location is required.');
    END IF;
    v_dest := stk_location(coalesce(nullif(btrim(p_warehouse), ''),
                                    (SELECT s.warehouse FROM stock s WHERE s.pallet = p_pallet LIMIT 1)),
                           p_location);
    IF v_dest.location_type NOT IN ('BULK', 'PICKFACE') THEN
        PERFORM refuse(-5, format('Location %s is a %s location; pallets are put away into storage.',
                                  v_dest.location, lower(v_dest.location_type)));
    END IF;
    IF v_dest.max_pallets > 0 THEN
        PERFORM stk_lock_location(v_dest.warehouse, v_dest.location);
        v_there := stk_pallets_in(v_dest.warehouse, v_dest.location, p_pallet);
        IF v_there >= v_dest.max_pallets THEN
            PERFORM refuse(-5, format('Location %s/%s is full: it holds or expects %s of its %s pallets.',
                                      v_dest.warehouse, v_dest.location, v_there, v_dest.max_pallets));
        END IF;
    END IF;
    PERFORM pa_ensure_activities(p_pallet, p_operator);

    FOR v_line IN
        SELECT DISTINCT ON (s.rec_num) s.rec_num, s.qty, s.carton_no, s.receipt_no,
               coalesce(nullif((SELECT rl.status FROM receipt_line rl
                                WHERE rl.client = s.client AND rl.receipt_no = s.receipt_no
                                  AND rl.line_no = s.receipt_line), 'RECEIVING'), 'AVAILABLE') AS status_to,
               a.wo_no, a.task_no, a.activity_no
        FROM stock s
        LEFT JOIN activity a ON a.rec_num = s.rec_num AND a.movement_type = 'PUTAWAY'
                            AND a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS')
        WHERE s.pallet = p_pallet AND s.status = 'RECEIVING' AND s.qty > 0
        ORDER BY s.rec_num, a.wo_no, a.task_no, a.activity_no
    LOOP
        PERFORM stk_move_line(v_line.rec_num, v_line.qty, v_dest.warehouse, v_dest.location, p_pallet,
                              v_line.carton_no, NULL, v_line.status_to, 'PUTAWAY',
                              'Putaway of receipt ' || coalesce(v_line.receipt_no, ''), NULL, p_operator, false,
                              v_line.wo_no, v_line.task_no, v_line.activity_no);
        PERFORM pa_count_putaway(v_line.rec_num, v_line.qty);
        UPDATE activity a
        SET qty_done = a.qty_done + CASE WHEN p_complete THEN v_line.qty ELSE 0 END,
            warehouse_to = v_dest.warehouse, location_to = v_dest.location,
            status = CASE WHEN p_complete THEN 'COMPLETED' ELSE 'INPROGRESS' END,
            completed_by = CASE WHEN p_complete THEN p_operator END,
            completed_at = CASE WHEN p_complete THEN localtimestamp(0) END
        WHERE a.wo_no = v_line.wo_no AND a.task_no = v_line.task_no AND a.activity_no = v_line.activity_no;
        IF v_line.wo_no IS NOT NULL THEN
            v_wos := v_wos || v_line.wo_no;
        END IF;
    END LOOP;

    UPDATE carton c
    SET warehouse = v_dest.warehouse, location = v_dest.location, maker = p_operator, last_update = localtimestamp(0)
    WHERE (c.client, c.carton_no) IN (SELECT s.client, s.carton_no FROM stock s
                                      WHERE s.pallet = p_pallet AND s.carton_no IS NOT NULL);
    IF p_complete THEN
        PERFORM complete_finished_tasks(w, p_operator) FROM unnest(v_wos) AS w;
    END IF;
    RETURN v_dest;
END
$$;

-- The quantity of a product in a pick face, in the pick face's unit.
CREATE FUNCTION pa_face_qty(p_warehouse text, p_location text, p_client text, p_item_no text, p_uom text)
RETURNS numeric
LANGUAGE sql STABLE AS $$
    SELECT coalesce(trim_scale(round(sum(s.qty * su.luom_equivalent / fu.luom_equivalent), 6)), 0)
    FROM stock s
    JOIN product_uom su ON su.client = s.client AND su.item_no = s.item_no AND su.uom = s.uom
    JOIN product_uom fu ON fu.client = s.client AND fu.item_no = s.item_no AND fu.uom = p_uom
    WHERE s.warehouse = p_warehouse AND s.location = p_location AND s.client = p_client
      AND s.item_no = p_item_no AND s.qty > 0 AND s.status IN ('AVAILABLE', 'HOLD');
$$;

------------------------------------------------------------------------------
-- Pallet putaway
------------------------------------------------------------------------------

-- The pallets waiting for putaway, with their reserved destination (blank
-- until one is chosen), works order, receipt and assigned operator.
CREATE FUNCTION rf_get_putaway_pallet()
RETURNS TABLE (pallet_no text, warehouse_to text, location_to text, wo_no text, receipt_no text,
               assigned_to text)
LANGUAGE sql STABLE AS $$
    SELECT w.pallet, w.warehouse_to, w.location_to, w.wo_no, w.receipt_no, w.assigned_to
    FROM (SELECT DISTINCT ON (s.pallet)
                 s.pallet, a.warehouse_to, a.location_to, a.wo_no, s.receipt_no, a.assigned_to
          FROM stock s
          LEFT JOIN activity a ON a.rec_num = s.rec_num AND a.movement_type = 'PUTAWAY'
                              AND a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS')
          WHERE s.status = 'RECEIVING' AND s.qty > 0 AND s.pallet IS NOT NULL
          ORDER BY s.pallet, a.location_to NULLS LAST, a.wo_no) AS w
    ORDER BY w.wo_no NULLS LAST, w.pallet;
$$;

-- The waiting pallet a putaway call names, after the operator check: of any
-- client when p_client is Null, else of that client, and of that receipt when
-- p_receipt_no is not Null (a blank client or receipt is refused).
CREATE FUNCTION pa_called_pallet(p_client text, p_receipt_no text, p_pallet text)
RETURNS text
LANGUAGE plpgsql STABLE AS $$
BEGIN
    IF btrim(p_client) = '' OR btrim(p_receipt_no) = '' THEN
        PERFORM refuse(-1, CASE WHEN p_receipt_no IS NULL THEN 'Client is required.'
                                ELSE 'Client and receipt number are required.' END);
    END IF;
    RETURN pa_waiting_pallet(p_pallet, p_client, p_receipt_no);
END
$$;

-- Choose and reserve the putaway location of a waiting pallet
-- (pa_called_pallet).
CREATE FUNCTION pa_pallet_location(p_client text, p_receipt_no text, p_pallet text, p_operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, warehouse_to text, location_to text)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator text;
    v_pallet   text;
    v_location location%ROWTYPE;
BEGIN
    v_operator := active_operator(p_operator);
    v_pallet := pa_called_pallet(p_client, p_receipt_no, p_pallet);
    v_location := pa_locate(v_pallet, v_operator);
    RETURN QUERY SELECT 0, format('Put pallet %s away to %s/%s.', v_pallet, v_location.warehouse,
                                  v_location.location), v_location.warehouse, v_location.location;
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'No putaway location'),
                            ''::text, ''::text;
END
$$;

CREATE FUNCTION rf_get_putaway_pallet_location(p_pallet text, p_operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, warehouse_to text, location_to text)
LANGUAGE sql AS $$
    SELECT * FROM pa_pallet_location(NULL, NULL, p_pallet, p_operator);
$$;

CREATE FUNCTION rf_get_putaway_pallet_location2(p_client text, p_pallet_no text, p_operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, warehouse_to text, location_to text)
LANGUAGE sql AS $$
    SELECT * FROM pa_pallet_location(coalesce(p_client, ''), NULL, p_pallet_no, p_operator);
$$;

-- Close a putaway or replenishment task: its open activities of the movement
-- type (all of them, or the one named), each for the quantity confirmed. That
-- is all the activity has open unless p_qty says otherwise; a task of several
-- activities takes another quantity one activity at a time. Less than is open
-- needs a reason code; more is refused.
--   * PUTAWAY: what is open is what the pallet brought (top-ups into pick
--     faces already count as done). A pallet still waiting is put away into
--     the location given (or its reserved one) first; a pallet already put
--     away must stand in the location given.
--   * REPLENISH: the quantity moves from the booked reserve line into the pick
--     face; what is not moved is released from the booking.
-- Answers the message of success.
CREATE FUNCTION pa_close_task(p_movement_type text, p_wo_no text, p_task_no numeric, p_activity_no numeric,
                              p_qty numeric, p_reason_code text, p_pallet text, p_warehouse text,
                              p_location text, p_operator text)
RETURNS text
LANGUAGE plpgsql AS $$
DECLARE
    v_operator text := active_operator(p_operator);
    v_putaway  boolean := p_movement_type = 'PUTAWAY';
    v_what     text := CASE WHEN p_movement_type = 'PUTAWAY' THEN 'putaway' ELSE 'replenishment' END;
    v_wo       text := btrim(coalesce(p_wo_no, ''));
    v_reason   text := upper(btrim(coalesce(p_reason_code, '')));
    v_task     text;
    v_count    integer;
    v_total    numeric;
    v_act      activity%ROWTYPE;
    v_line     stock%ROWTYPE;
    v_open     numeric;
    v_qty      numeric;
    v_moved    numeric := 0;
    v_given    text;
BEGIN
    IF v_wo = '' OR p_task_no IS NULL THEN
        PERFORM refuse(-1, 'Works order and task number are required.');
    END IF;
    v_task := format('%s task %s/%s', initcap(v_what), v_wo, p_task_no);
    SELECT count(*), sum(a.qty - a.qty_done) INTO v_count, v_total
    FROM activity a
    WHERE a.wo_no = v_wo AND a.task_no = p_task_no AND (p_activity_no IS NULL OR a.activity_no = p_activity_no)
      AND a.movement_type = p_movement_type AND a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS');
    IF v_count = 0 THEN
        IF EXISTS (SELECT 1 FROM activity a
                   WHERE a.wo_no = v_wo AND a.task_no = p_task_no AND a.movement_type = p_movement_type
                     AND (p_activity_no IS NULL OR a.activity_no = p_activity_no)) THEN
            PERFORM refuse(-3, v_task || ' is already closed.');
        END IF;
        PERFORM refuse(-2, v_task || ' not found.');
    END IF;
    IF v_count > 1 AND p_qty IS NOT NULL AND p_qty <> v_total THEN
        PERFORM refuse(-1, format('%s has %s activities; close them one by one for a different quantity.', v_task,
                                  v_count));
    END IF;

    FOR v_act IN
        SELECT a.*
        FROM activity a
        WHERE a.wo_no = v_wo AND a.task_no = p_task_no AND (p_activity_no IS NULL OR a.activity_no = p_activity_no)
          AND a.movement_type = p_movement_type AND a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS')
        ORDER BY a.activity_no
        FOR UPDATE
    LOOP
        SELECT s.* INTO v_line FROM stock s WHERE s.rec_num = v_act.rec_num;
        IF v_putaway AND coalesce(btrim(p_pallet), '') <> ''
           AND stk_pallet(p_pallet) IS DISTINCT FROM v_act.pallet_from THEN
            PERFORM refuse(-2, format('%s is for pallet %s, not %s.', v_task, coalesce(v_act.pallet_from, '(none)'),
                                      btrim(p_pallet)));
        END IF;
        v_open := v_act.qty - v_act.qty_done;
        v_qty := CASE WHEN v_count > 1 THEN v_open ELSE coalesce(p_qty, v_open) END;
        IF v_qty < 0 OR v_qty > v_open THEN
            PERFORM refuse(-4, format('Cannot close %s task %s/%s for %s %s: the task has %s %s to %s.', v_what, v_wo,
                                      p_task_no, qty_text(v_qty), v_act.uom, qty_text(v_open), v_act.uom,
                                      CASE WHEN v_putaway THEN 'put away' ELSE 'replenish' END));
        END IF;
        IF v_qty < v_open AND v_reason = '' THEN
            PERFORM refuse(-1, format('A short %s (%s of %s %s) needs a reason code.', v_what, qty_text(v_qty),
                                      qty_text(v_open), v_act.uom));
        END IF;

        IF v_putaway THEN
            IF v_line.status = 'RECEIVING' THEN
                PERFORM pa_put_away(v_line.pallet,
                                    coalesce(nullif(btrim(p_warehouse), ''), v_act.warehouse_to, v_line.warehouse),
                                    coalesce(nullif(btrim(p_location), ''), v_act.location_to), v_operator, false);
                SELECT s.* INTO v_line FROM stock s WHERE s.rec_num = v_act.rec_num;
            ELSIF coalesce(btrim(p_location), '') <> '' THEN
                v_given := coalesce(nullif(btrim(p_warehouse), ''), v_line.warehouse) || '/' || btrim(p_location);
                IF v_given <> v_line.warehouse || '/' || v_line.location THEN
                    PERFORM refuse(-5, format('Pallet %s was put away to %s/%s, not %s.',
                                              coalesce(v_line.pallet, '(none)'), v_line.warehouse, v_line.location,
                                              v_given));
                END IF;
            END IF;
            v_act.warehouse_to := v_line.warehouse;
            v_act.location_to := v_line.location;
        ELSE
            IF v_act.rec_num IS NULL OR v_act.location_to IS NULL THEN
                PERFORM refuse(-3, v_task || ' names no stock line or pick face.');
            END IF;
            IF v_qty > 0 THEN
                -- Refuses more than the stock line has booked.
                PERFORM stk_move_line(v_act.rec_num, v_qty, v_act.warehouse_to, v_act.location_to, NULL, NULL, NULL,
                                      NULL, 'REPLENISH', 'Replenishment', nullif(v_reason, ''), v_operator, true,
                                      v_act.wo_no, v_act.task_no, v_act.activity_no);
            END IF;
            -- Release what stays booked for this activity on the reserve line.
            UPDATE stock s
            SET qty_booked = greatest(s.qty_booked - (v_open - v_qty), 0)
            WHERE s.rec_num = v_act.rec_num AND v_open > v_qty;
        END IF;

        UPDATE activity a
        SET status = 'COMPLETED', qty_done = a.qty_done + v_qty, reason_code = nullif(v_reason, ''),
            warehouse_to = v_act.warehouse_to, location_to = v_act.location_to,
            completed_by = v_operator, completed_at = localtimestamp(0)
        WHERE a.wo_no = v_act.wo_no AND a.task_no = v_act.task_no AND a.activity_no = v_act.activity_no;
        v_moved := v_moved + v_qty;
    END LOOP;
    PERFORM complete_finished_tasks(v_wo, v_operator);

    IF v_putaway THEN
        RETURN format('%s closed: %s %s of %s in %s/%s.', v_task, qty_text(coalesce(p_qty, v_total)), v_line.uom,
                      v_line.item_no, v_line.warehouse, v_line.location);
    END IF;
    RETURN format('%s closed: %s %s of %s moved into %s.', v_task, qty_text(v_moved), v_act.uom, v_act.item_no,
                  v_act.location_to);
END
$$;

-- Close a putaway task (pa_close_task).
CREATE FUNCTION rf_close_putaway_task(p_wo_no text, p_task_no numeric, p_activity_no numeric, p_qty numeric,
                                      p_reason_code text, p_pallet text, p_warehouse text, p_location text,
                                      p_operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
BEGIN
    RETURN QUERY SELECT 0, pa_close_task('PUTAWAY', p_wo_no, p_task_no, p_activity_no, p_qty, p_reason_code,
                                         p_pallet, p_warehouse, p_location, p_operator);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE),
                            failure_message(SQLSTATE, SQLERRM, 'Putaway task not closed');
END
$$;

-- Choose and reserve a putaway location for every waiting pallet of a
-- checked-in receipt. Pallets for which no location is free keep waiting
-- (the status then says how many).
CREATE FUNCTION rf_receipt_allocate_putaway_location(p_client text, p_receipt_no text, p_operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, pallets integer, allocated integer)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator  text;
    v_client    text := btrim(coalesce(p_client, ''));
    v_receipt   text := btrim(coalesce(p_receipt_no, ''));
    v_status    text;
    v_pallet    text;
    v_pallets   integer := 0;
    v_allocated integer := 0;
BEGIN
    v_operator := active_operator(p_operator);
    IF v_client = '' OR v_receipt = '' THEN
        PERFORM refuse(-1, 'Client and receipt number are required.');
    END IF;
    SELECT r.status INTO v_status FROM receipt r WHERE r.client = v_client AND r.receipt_no = v_receipt;
    IF NOT FOUND THEN
        PERFORM refuse(-2, format('Receipt %s not found for client %s.', v_receipt, v_client));
    END IF;
    IF v_status = 'OPEN' THEN
        PERFORM refuse(-3, format('Receipt %s is not checked in yet.', v_receipt));
    END IF;

    FOR v_pallet IN
        SELECT DISTINCT s.pallet
        FROM stock s
        WHERE s.client = v_client AND s.receipt_no = v_receipt AND s.status = 'RECEIVING' AND s.qty > 0
          AND s.pallet IS NOT NULL
        ORDER BY s.pallet
    LOOP
        v_pallets := v_pallets + 1;
        BEGIN
            PERFORM pa_locate(v_pallet, v_operator);
            v_allocated := v_allocated + 1;
        EXCEPTION
            WHEN SQLSTATE 'TW000' THEN
                NULL;  -- no room for this pallet; it keeps waiting
        END;
    END LOOP;
    IF v_pallets = 0 THEN
        PERFORM refuse(-3, format('Receipt %s has no pallets waiting for putaway.', v_receipt));
    END IF;

    IF v_allocated = v_pallets THEN
        RETURN QUERY SELECT 0, format('%s pallet%s of receipt %s ha%s a putaway location.', v_pallets,
                                      CASE WHEN v_pallets = 1 THEN '' ELSE 's' END, v_receipt,
                                      CASE WHEN v_pallets = 1 THEN 's' ELSE 've' END), v_pallets, v_allocated;
    ELSE
        RETURN QUERY SELECT -5, format('%s of %s pallets of receipt %s have a putaway location; no free location '
                                       'for the others.', v_allocated, v_pallets, v_receipt), v_pallets,
                            v_allocated;
    END IF;
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE),
                            failure_message(SQLSTATE, SQLERRM, 'Putaway locations not allocated'),
                            0, 0;
END
$$;

-- Choose and reserve the putaway location of one waiting pallet of a receipt.
CREATE PROCEDURE rf_receipt_find_putaway_location(p_client text, p_receipt_no text, p_pallet_no text,
                                                  p_operator text, INOUT warehouse text DEFAULT NULL,
                                                  INOUT location text DEFAULT NULL,
                                                  INOUT sqlstatus integer DEFAULT NULL,
                                                  INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
BEGIN
    SELECT nullif(l.warehouse_to, ''), nullif(l.location_to, ''), l.sqlstatus, l.sqlmsg
    INTO warehouse, location, sqlstatus, sqlmsg
    FROM pa_pallet_location(coalesce(p_client, ''), coalesce(p_receipt_no, ''), p_pallet_no, p_operator) AS l;
END
$$;

-- Put a waiting pallet of a receipt away into the scanned location and close
-- its putaway tasks.
CREATE PROCEDURE rf_receipt_pallet_putaway(p_client text, p_receipt_no text, p_pallet_no text, p_warehouse text,
                                           p_location text, p_operator text, INOUT sqlstatus integer DEFAULT NULL,
                                           INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
BEGIN
    SELECT m.sqlstatus, m.sqlmsg INTO sqlstatus, sqlmsg
    FROM pa_pallet_moved(coalesce(p_client, ''), coalesce(p_receipt_no, ''), p_pallet_no, p_warehouse, p_location,
                         p_operator, true) AS m;
END
$$;

-- Put a waiting pallet (pa_called_pallet) away into a location. With
-- p_complete its putaway tasks are closed; otherwise they stay in progress
-- until closed (rf_close_putaway_task).
CREATE FUNCTION pa_pallet_moved(p_client text, p_receipt_no text, p_pallet text, p_warehouse_to text,
                                p_location_to text, p_operator text, p_complete boolean)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator text;
    v_pallet   text;
    v_dest     location%ROWTYPE;
BEGIN
    v_operator := active_operator(p_operator);
    v_pallet := pa_called_pallet(p_client, p_receipt_no, p_pallet);
    v_dest := pa_put_away(v_pallet, p_warehouse_to, p_location_to, v_operator, p_complete);
    RETURN QUERY SELECT 0, format('Pallet %s put away to %s/%s.', v_pallet, v_dest.warehouse, v_dest.location);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Pallet not put away');
END
$$;

CREATE FUNCTION rf_putaway_stock_movements_pallet(p_pallet text, p_warehouse_to text, p_location_to text,
                                                  p_operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE sql AS $$
    SELECT * FROM pa_pallet_moved(NULL, NULL, p_pallet, p_warehouse_to, p_location_to, p_operator, false);
$$;

CREATE FUNCTION rf_putaway_stock_movements_pallet2(p_client text, p_pallet_no text, p_warehouse_to text,
                                                   p_location_to text, p_operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE sql AS $$
    SELECT * FROM pa_pallet_moved(coalesce(p_client, ''), NULL, p_pallet_no, p_warehouse_to, p_location_to,
                                  p_operator, false);
$$;

------------------------------------------------------------------------------
-- Top-up putaway and replenishment
------------------------------------------------------------------------------

-- Top up a pick face of the product straight from a checked-in receipt.
--   * line_no names a received line still waiting for putaway: qty of its
--     stock moves into the pick face (more than the line holds is refused);
--     the line's putaway task counts it, and completes when nothing is left;
--   * line_no blank (or naming no line yet): the line is received straight
--     into the pick face, with the attributes given, as a new receipt line
--     (numbered line_no, or the next number) and a new stock line; the
--     receipt must be checked in and not closed.
-- Answers the receipt line number in line_no.
CREATE PROCEDURE rf_receipt_topup_putaway(
    p_client text, p_receipt_no text, INOUT line_no integer, p_pallet text, p_item_no text, p_uom text,
    p_qty double precision, p_grade text, p_lot text, p_batch text, p_supplier text, p_customer text,
    p_receipt_date text, p_expiry_date text, p_prod_date text, p_size text, p_color text, p_class text,
    p_width double precision, p_depth double precision, p_height double precision, p_weight double precision,
    p_currency text, p_unit_price double precision, p_ppq_packing text, p_ppq_qty double precision,
    p_user_defined text, p_status text, p_warehouse text, p_location text, p_operator text,
    INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator text;
    v_client   text := btrim(coalesce(p_client, ''));
    v_receipt  receipt%ROWTYPE;
    v_product  product%ROWTYPE;
    v_dest     location%ROWTYPE;
    v_qty      numeric := p_qty::numeric;
    v_line_no  integer := line_no;
    v_rl       receipt_line%ROWTYPE;
    v_stock    stock%ROWTYPE;
    v_act      activity%ROWTYPE;
    v_uom      text;
    v_status   text := upper(btrim(coalesce(p_status, '')));
    v_pallet   text;
    v_rec_num  bigint;
    v_moved    bigint;
    v_expiry   date;
    v_prod     date;
    v_rdate    date;
    v_ref      text;
BEGIN
    v_operator := active_operator(p_operator);
    IF v_client = '' OR coalesce(btrim(p_receipt_no), '') = '' THEN
        PERFORM refuse(-1, 'Client and receipt number are required.');
    END IF;
    SELECT r.* INTO v_receipt FROM receipt r WHERE r.client = v_client AND r.receipt_no = btrim(p_receipt_no);
    IF NOT FOUND THEN
        PERFORM refuse(-2, format('Receipt %s not found for client %s.', btrim(p_receipt_no), v_client));
    END IF;
    IF v_receipt.status = 'OPEN' THEN
        PERFORM refuse(-3, format('Receipt %s is not checked in yet.', v_receipt.receipt_no));
    END IF;
    IF v_qty IS NULL OR v_qty <= 0 THEN
        PERFORM refuse(-4, format('Quantity %s refused: a top-up needs a quantity above 0.',
                                  coalesce(qty_text(v_qty), 'blank')));
    END IF;
    IF v_line_no IS NOT NULL AND v_line_no <= 0 THEN
        PERFORM refuse(-1, format('Line number %s refused: line numbers start at 1.', v_line_no));
    END IF;
    IF v_line_no IS NOT NULL THEN
        SELECT rl.* INTO v_rl
        FROM receipt_line rl
        WHERE rl.client = v_client AND rl.receipt_no = v_receipt.receipt_no AND rl.line_no = v_line_no;
    END IF;
    v_dest := stk_location(coalesce(nullif(btrim(p_warehouse), ''), v_receipt.warehouse), p_location);

    IF v_rl.line_no IS NOT NULL THEN
        -- A received line: move part or all of its waiting stock into the pick face.
        IF coalesce(btrim(p_item_no), '') NOT IN ('', v_rl.item_no) THEN
            PERFORM refuse(-2, format('Receipt line %s is for item %s, not %s.', v_line_no, v_rl.item_no,
                                      btrim(p_item_no)));
        END IF;
        SELECT s.* INTO v_stock FROM stock s WHERE s.rec_num = v_rl.rec_num;
        IF v_stock.rec_num IS NULL OR v_stock.status <> 'RECEIVING' OR v_stock.qty = 0 THEN
            PERFORM refuse(-3, format('Receipt line %s is not waiting for putaway.', v_line_no));
        END IF;
        IF upper(coalesce(btrim(p_uom), '')) NOT IN ('', v_stock.uom) THEN
            PERFORM refuse(-1, format('Receipt line %s is kept in %s, not %s.', v_line_no, v_stock.uom,
                                      upper(btrim(p_uom))));
        END IF;
        IF NOT EXISTS (SELECT 1 FROM pick_face f
                       WHERE f.warehouse = v_dest.warehouse AND f.location = v_dest.location
                         AND f.client = v_client AND f.item_no = v_rl.item_no) THEN
            PERFORM refuse(-5, format('Location %s is not a pick face of item %s.', v_dest.location,
                                      v_rl.item_no));
        END IF;
        v_ref := format('Top-up putaway of receipt %s line %s', v_receipt.receipt_no, v_line_no);
        SELECT a.* INTO v_act
        FROM activity a
        WHERE a.rec_num = v_stock.rec_num AND a.movement_type = 'PUTAWAY'
          AND a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS')
        ORDER BY a.wo_no, a.task_no, a.activity_no
        LIMIT 1;
        -- Refuses more than the line holds.
        v_moved := stk_move_line(v_stock.rec_num, v_qty, v_dest.warehouse, v_dest.location, NULL, NULL, NULL,
                                 CASE WHEN v_rl.status = 'HOLD' THEN 'HOLD' ELSE 'AVAILABLE' END, 'PUTAWAY', v_ref,
                                 NULL, v_operator, false, v_act.wo_no, v_act.task_no, v_act.activity_no);
        PERFORM pa_count_putaway(v_moved, v_qty);
        UPDATE activity a
        SET qty_done = a.qty_done + v_qty,
            status = CASE WHEN v_qty = v_stock.qty THEN 'COMPLETED' ELSE a.status END,
            warehouse_to = CASE WHEN v_qty = v_stock.qty THEN v_dest.warehouse ELSE a.warehouse_to END,
            location_to = CASE WHEN v_qty = v_stock.qty THEN v_dest.location ELSE a.location_to END,
            completed_by = CASE WHEN v_qty = v_stock.qty THEN v_operator END,
            completed_at = CASE WHEN v_qty = v_stock.qty THEN localtimestamp(0) END
        WHERE a.rec_num = v_stock.rec_num AND a.movement_type = 'PUTAWAY'
          AND a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS');
        PERFORM complete_finished_tasks(a.wo_no, v_operator)
        FROM activity a
        WHERE a.rec_num = v_stock.rec_num AND a.movement_type = 'PUTAWAY'
        GROUP BY a.wo_no;
        line_no := v_line_no;
        sqlstatus := 0;
        sqlmsg := format('%s %s of %s from receipt line %s topped up into %s.', qty_text(v_qty), v_stock.uom,
                         v_rl.item_no, v_line_no, v_dest.location);
        RETURN;
    END IF;

    -- A new line received straight into the pick face.
    IF v_receipt.status = 'CLOSED' THEN
        PERFORM refuse(-3, format('Receipt %s is closed; it takes no new lines.', v_receipt.receipt_no));
    END IF;
    v_product := stk_product(v_client, p_item_no);
    IF NOT EXISTS (SELECT 1 FROM pick_face f
                   WHERE f.warehouse = v_dest.warehouse AND f.location = v_dest.location
                     AND f.client = v_client AND f.item_no = v_product.item_no) THEN
        PERFORM refuse(-5, format('Location %s is not a pick face of item %s.', v_dest.location,
                                  v_product.item_no));
    END IF;
    PERFORM stk_location_open(v_dest.warehouse, v_dest.location);
    v_uom := stk_check_uom(v_product, p_uom);
    IF v_status = '' THEN
        v_status := 'AVAILABLE';
    ELSIF v_status NOT IN ('AVAILABLE', 'HOLD') THEN
        PERFORM refuse(-1, format('Status %s refused: topped-up stock is AVAILABLE or HOLD.', v_status));
    END IF;
    IF v_product.serial_no_flag = 'Y' THEN
        PERFORM refuse(-3, format('Item %s is serial controlled; receive it with its serial numbers.',
                                  v_product.item_no));
    END IF;
    IF coalesce(p_width, 0) < 0 OR coalesce(p_depth, 0) < 0 OR coalesce(p_height, 0) < 0
       OR coalesce(p_weight, 0) < 0 OR coalesce(p_unit_price, 0) < 0 THEN
        PERFORM refuse(-1, 'Dimensions, weight and price cannot be negative.');
    END IF;
    IF p_ppq_qty IS NOT NULL AND p_ppq_qty <= 0 THEN
        PERFORM refuse(-1, 'Packing quantity must be above 0.');
    END IF;
    v_expiry := stk_date(p_expiry_date, 'Expiry date');
    v_prod := stk_date(p_prod_date, 'Production date');
    v_rdate := coalesce(stk_date(p_receipt_date, 'Receipt date'), v_receipt.receipt_date);
    IF v_product.expiry_date_flag = 'Y' AND v_expiry IS NULL THEN
        PERFORM refuse(-1, format('Item %s needs an expiry date.', v_product.item_no));
    END IF;
    IF coalesce(btrim(p_pallet), '') <> '' THEN
        v_pallet := coalesce(stk_pallet(p_pallet), ensure_pallet(p_pallet, v_client, v_operator));
    END IF;
    IF v_line_no IS NULL THEN
        SELECT coalesce(max(rl.line_no), 0) + 1 INTO v_line_no
        FROM receipt_line rl
        WHERE rl.client = v_client AND rl.receipt_no = v_receipt.receipt_no;
    END IF;

    INSERT INTO stock (client, item_no, warehouse, location, uom, qty, qty_rcvd, grade, lot_no, batch_no,
                       expiry_date, prod_date, item_size, item_color, item_class, item_width, item_depth,
                       item_height, item_weight, supplier, customer, currency, unit_cost, ppq_packing, ppq_qty,
                       receipt_no, receipt_line, receipt_date, status, maker, last_update)
    VALUES (v_client, v_product.item_no, v_dest.warehouse, v_dest.location, v_uom, v_qty, v_qty,
            coalesce(nullif(upper(btrim(coalesce(p_grade, ''))), ''), v_product.default_grade),
            btrim(coalesce(p_lot, '')), btrim(coalesce(p_batch, '')), v_expiry, v_prod,
            btrim(coalesce(p_size, '')), btrim(coalesce(p_color, '')), btrim(coalesce(p_class, '')),
            p_width, p_depth, p_height, p_weight,
            coalesce(nullif(btrim(coalesce(p_supplier, '')), ''), v_receipt.supplier),
            coalesce(nullif(btrim(coalesce(p_customer, '')), ''), v_receipt.customer),
            upper(btrim(coalesce(p_currency, ''))), round(p_unit_price::numeric, 2),
            btrim(coalesce(p_ppq_packing, '')), p_ppq_qty, v_receipt.receipt_no, v_line_no, v_rdate, v_status,
            v_operator, localtimestamp(0))
    RETURNING stock.rec_num INTO v_rec_num;

    INSERT INTO receipt_line (client, receipt_no, line_no, pallet, item_no, uom, qty, grade, lot_no, batch_no,
                              supplier, customer, expiry_date, prod_date, item_size, item_color, item_class, width,
                              depth, height, weight, currency, unit_price, ppq_packing, ppq_qty, user_defined,
                              status, rec_num, maker)
    SELECT s.client, s.receipt_no, s.receipt_line, v_pallet, s.item_no, s.uom, s.qty, s.grade, s.lot_no,
           s.batch_no, s.supplier, s.customer, s.expiry_date, s.prod_date, s.item_size, s.item_color,
           s.item_class, s.item_width, s.item_depth, s.item_height, s.item_weight, s.currency, s.unit_cost,
           s.ppq_packing, s.ppq_qty, btrim(coalesce(p_user_defined, '')), v_status, s.rec_num, v_operator
    FROM stock s
    WHERE s.rec_num = v_rec_num;

    INSERT INTO stock_movement (movement_type, client, item_no, rec_num, rec_num_to, uom, qty, qty_before,
                                qty_after, warehouse_to, location_to, pallet_to, grade, reference, operator)
    SELECT 'RECEIPT', s.client, s.item_no, s.rec_num, s.rec_num, s.uom, s.qty, 0, s.qty, s.warehouse,
           s.location, v_pallet, s.grade,
           format('Top-up putaway of receipt %s line %s', v_receipt.receipt_no, v_line_no), v_operator
    FROM stock s
    WHERE s.rec_num = v_rec_num;

    line_no := v_line_no;
    sqlstatus := 0;
    sqlmsg := format('%s %s of %s received as line %s into %s.', qty_text(v_qty), v_uom, v_product.item_no,
                     v_line_no, v_dest.location);
EXCEPTION
    WHEN unique_violation THEN
        line_no := NULL;
        sqlstatus := -3;
        sqlmsg := format('Receipt line %s exists already.', v_line_no);
    WHEN OTHERS THEN
        line_no := NULL;
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Top-up not done');
END
$$;

-- The pick faces of a product (in one warehouse, or all when blank), in pick
-- sequence, with their levels and what they hold now.
CREATE FUNCTION rf_get_item_pickface(p_warehouse text, p_client text, p_item_no text)
RETURNS TABLE (warehouse text, location text, uom text, min_qty numeric, max_qty numeric, qty numeric)
LANGUAGE sql STABLE AS $$
    SELECT f.warehouse, f.location, f.uom, f.min_qty, f.max_qty,
           pa_face_qty(f.warehouse, f.location, f.client, f.item_no, f.uom)
    FROM pick_face f
    JOIN location l ON l.warehouse = f.warehouse AND l.location = f.location
    WHERE f.client = btrim($2) AND f.item_no = btrim($3)
      AND (coalesce(btrim($1), '') = '' OR f.warehouse = btrim($1))
    ORDER BY f.warehouse, l.pick_seq, f.location;
$$;

-- The pick faces of a product that have room to be topped up (below their
-- maximum), the emptiest first, with the room left.
CREATE FUNCTION rf_get_item_topup_location(p_warehouse text, p_client text, p_item_no text)
RETURNS TABLE (warehouse text, location text, uom text, qty numeric, max_qty numeric, room numeric)
LANGUAGE sql STABLE AS $$
    SELECT f.warehouse, f.location, f.uom, f.qty, f.max_qty, f.max_qty - f.qty
    FROM (SELECT p.*, pa_face_qty(p.warehouse, p.location, p.client, p.item_no, p.uom) AS qty
          FROM pick_face p
          WHERE p.client = btrim($2) AND p.item_no = btrim($3)
            AND (coalesce(btrim($1), '') = '' OR p.warehouse = btrim($1))) AS f
    JOIN location l ON l.warehouse = f.warehouse AND l.location = f.location
    WHERE l.status = 'ACTIVE' AND f.qty < f.max_qty
    ORDER BY f.qty / nullif(f.max_qty, 0) NULLS LAST, l.pick_seq, f.location;
$$;

-- Close a replenishment task (pa_close_task).
CREATE FUNCTION rf_close_replenish_task(p_wo_no text, p_task_no numeric, p_activity_no numeric, p_qty numeric,
                                        p_reason_code text, p_operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
BEGIN
    RETURN QUERY SELECT 0, pa_close_task('REPLENISH', p_wo_no, p_task_no, p_activity_no, p_qty, p_reason_code,
                                         NULL, NULL, NULL, p_operator);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE),
                            failure_message(SQLSTATE, SQLERRM, 'Replenishment task not closed');
END
$$;
