-- Warehouse tasks and works orders: an operator takes the next works order of
-- an area and movement type, or takes the works order of one order by hand;
-- works orders are looked up and listed; the task information of an order,
-- the stock movements waiting in a warehouse and the outstanding tasks of a
-- works order are reported.
--
-- A works order is "unfinished" while its status is OPEN, ASSIGNED or
-- INPROGRESS. Assigning a works order assigns its open tasks and activities
-- to the same operator.

SELECT drop_routines('assign_works_order_to', 'assign_whse_task_manual', 'assign_works_order',
                     'rf_get_wo', 'get_unfinished_works_order', 'rf_get_stock_movements_task_info',
                     'rf_query_stock_movements', 'rpt_os_tasks');

-- Assign a works order, its open tasks and its open activities to an
-- operator. The caller has locked the works order.
CREATE FUNCTION assign_works_order_to(p_wo_no text, p_operator text, p_maker text)
RETURNS void
LANGUAGE sql AS $$
    UPDATE works_order w
    SET status = 'ASSIGNED', assigned_to = p_operator, maker = p_maker
    WHERE w.wo_no = p_wo_no;
    UPDATE task t
    SET status = CASE WHEN t.status = 'OPEN' THEN 'ASSIGNED' ELSE t.status END, assigned_to = p_operator
    WHERE t.wo_no = p_wo_no AND t.status IN ('OPEN', 'ASSIGNED');
    UPDATE activity a
    SET status = CASE WHEN a.status = 'OPEN' THEN 'ASSIGNED' ELSE a.status END, assigned_to = p_operator
    WHERE a.wo_no = p_wo_no AND a.status IN ('OPEN', 'ASSIGNED');
$$;

-- Take the works order of one order by hand: the unfinished works order of
-- the movement type for the client's order is assigned to the operator.
-- Answers one row: status 0, a message and the works order number; or a
-- negative status, the reason and no number (nothing changed then).
CREATE FUNCTION assign_whse_task_manual(operator text, movement_type text, client text, order_no text,
                                        maker text DEFAULT NULL)
RETURNS TABLE (sqlstatus integer, sqlmsg text, wo_number text)
LANGUAGE plpgsql AS $$
DECLARE
    v_operator text;
    v_type     text := upper(btrim(assign_whse_task_manual.movement_type));
    v_client   text := btrim(assign_whse_task_manual.client);
    v_order    text := btrim(assign_whse_task_manual.order_no);
    v_maker    text := coalesce(nullif(upper(btrim(assign_whse_task_manual.maker)), ''),
                                upper(btrim(assign_whse_task_manual.operator)));
    v_wo       works_order%ROWTYPE;
BEGIN
    v_operator := active_operator(assign_whse_task_manual.operator, assign_whse_task_manual.client);
    IF coalesce(v_type, '') = '' THEN
        PERFORM refuse(-3, 'Movement type is required.');
    END IF;
    IF NOT EXISTS (SELECT 1 FROM movement_type m WHERE m.movement_type = v_type) THEN
        PERFORM refuse(-4, format('Movement type %s is not known.', v_type));
    END IF;
    IF coalesce(v_client, '') = '' THEN
        PERFORM refuse(-5, 'Client is required.');
    END IF;
    IF coalesce(v_order, '') = '' THEN
        PERFORM refuse(-7, 'Order number is required.');
    END IF;

    SELECT w.* INTO v_wo
    FROM works_order w
    WHERE w.client = v_client AND w.order_no = v_order AND w.movement_type = v_type
      AND w.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS')
    ORDER BY w.created_at DESC, w.wo_no DESC
    LIMIT 1
    FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-8, format('No unfinished %s works order for order %s of client %s.',
                                  v_type, v_order, v_client));
    END IF;
    IF NOT EXISTS (SELECT 1 FROM operator_warehouse ow
                   WHERE ow.operator = v_operator AND ow.warehouse = v_wo.warehouse) THEN
        PERFORM refuse(-9, format('Operator %s does not work in warehouse %s.', v_operator, v_wo.warehouse));
    END IF;
    IF v_wo.assigned_to = v_operator THEN
        RETURN QUERY SELECT 0, format('Works order %s is already assigned to %s.', v_wo.wo_no, v_operator),
                            v_wo.wo_no;
        RETURN;
    END IF;
    IF v_wo.assigned_to IS NOT NULL AND v_wo.status <> 'OPEN' THEN
        PERFORM refuse(-10, format('Works order %s is assigned to %s.', v_wo.wo_no, v_wo.assigned_to));
    END IF;

    PERFORM assign_works_order_to(v_wo.wo_no, v_operator, v_maker);
    RETURN QUERY SELECT 0, format('Works order %s (%s of %s) assigned to %s.', v_wo.wo_no, v_type, v_order,
                                  v_operator), v_wo.wo_no;
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Task not assigned'),
                            NULL::text;
END
$$;

-- Give an operator a works order of an area and movement type (any area or
-- movement type when not given): the operator's own unfinished one when
-- there is one, else the most urgent open one in the operator's warehouses
-- and clients (by the operator's task priorities when no movement type is
-- given, then by the works order's priority). Answers one row: the works
-- order, status 0 and a message; or no works order, a negative status and
-- the reason.
CREATE FUNCTION assign_works_order(operator text, area text, movement_type text, maker text DEFAULT NULL)
RETURNS TABLE (works_order text, sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
DECLARE
    v_operator text;
    v_area     text := nullif(btrim(assign_works_order.area), '');
    v_type     text := nullif(upper(btrim(assign_works_order.movement_type)), '');
    v_maker    text := coalesce(nullif(upper(btrim(assign_works_order.maker)), ''),
                                upper(btrim(assign_works_order.operator)));
    v_default  text;
    v_wo       works_order%ROWTYPE;
    v_what     text;
BEGIN
    v_operator := active_operator(assign_works_order.operator);
    SELECT o.default_warehouse INTO v_default FROM operator o WHERE o.operator = v_operator;
    IF v_type IS NOT NULL AND NOT EXISTS (SELECT 1 FROM movement_type m WHERE m.movement_type = v_type) THEN
        PERFORM refuse(-3, format('Movement type %s is not known.', v_type));
    END IF;
    v_what := concat_ws(' ', coalesce(v_type, 'open'), 'works order',
                        CASE WHEN v_area IS NOT NULL THEN 'in area ' || v_area END);

    SELECT w.* INTO v_wo
    FROM works_order w
    WHERE w.assigned_to = v_operator AND w.status IN ('ASSIGNED', 'INPROGRESS')
      AND (v_area IS NULL OR w.area = v_area)
      AND (v_type IS NULL OR w.movement_type = v_type)
    ORDER BY w.priority, w.created_at, w.wo_no
    LIMIT 1;
    IF FOUND THEN
        RETURN QUERY SELECT v_wo.wo_no, 0, format('Works order %s (%s) is already yours.', v_wo.wo_no,
                                                  v_wo.movement_type);
        RETURN;
    END IF;

    SELECT w.* INTO v_wo
    FROM works_order w
    LEFT JOIN operator_task_priority tp ON tp.operator = v_operator AND tp.movement_type = w.movement_type
    WHERE w.status = 'OPEN' AND w.assigned_to IS NULL
      AND (v_area IS NULL OR w.area = v_area)
      AND (v_type IS NULL OR w.movement_type = v_type)
      AND w.warehouse IN (SELECT ow.warehouse FROM operator_warehouse ow WHERE ow.operator = v_operator)
      AND (w.client IS NULL
           OR w.client IN (SELECT oc.client FROM operator_client oc WHERE oc.operator = v_operator))
    ORDER BY w.warehouse IS DISTINCT FROM v_default, tp.priority NULLS LAST, w.priority, w.created_at,
             w.wo_no
    LIMIT 1
    FOR UPDATE OF w SKIP LOCKED;
    IF NOT FOUND THEN
        PERFORM refuse(-4, format('No %s to take.', v_what));
    END IF;

    PERFORM assign_works_order_to(v_wo.wo_no, v_operator, v_maker);
    RETURN QUERY SELECT v_wo.wo_no, 0, format('Works order %s (%s) assigned to %s.', v_wo.wo_no,
                                              concat_ws(' of ', v_wo.movement_type, nullif(v_wo.order_no, '')),
                                              v_operator);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT NULL::text, failure_status(SQLSTATE),
                            failure_message(SQLSTATE, SQLERRM, 'Works order not assigned');
END
$$;

-- A works order with its task counts; no row when it is unknown.
CREATE FUNCTION rf_get_wo(wo_no text)
RETURNS TABLE (works_order text, status text, movement text, assigned_to text, client text,
               warehouse text, area text, order_no text, priority integer, tasks bigint,
               open_tasks bigint, created_at timestamp(0))
LANGUAGE sql STABLE AS $$
    SELECT w.wo_no, w.status, w.movement_type, w.assigned_to, w.client, w.warehouse, w.area,
           w.order_no, w.priority,
           (SELECT count(*) FROM task t WHERE t.wo_no = w.wo_no),
           (SELECT count(*) FROM task t
            WHERE t.wo_no = w.wo_no AND t.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS')),
           w.created_at
    FROM works_order w
    WHERE w.wo_no = upper(btrim($1));
$$;

-- The operator's unfinished works orders of a movement type (every type when
-- not given). assigned_only 0 adds the open works orders nobody has taken in
-- the operator's warehouses; the handheld asks with 1.
CREATE FUNCTION get_unfinished_works_order(operator text, assigned_only integer, movement_type text)
RETURNS TABLE (works_order text, status text, movement text, assigned_to text, client text,
               warehouse text, area text, order_no text, priority integer)
LANGUAGE sql STABLE AS $$
    SELECT w.wo_no, w.status, w.movement_type, w.assigned_to, w.client, w.warehouse, w.area,
           w.order_no, w.priority
    FROM works_order w
    WHERE (nullif(btrim($3), '') IS NULL OR w.movement_type = upper(btrim($3)))
      AND ((w.assigned_to = upper(btrim($1)) AND w.status IN ('ASSIGNED', 'INPROGRESS'))
           OR (coalesce($2, 1) = 0 AND w.status = 'OPEN' AND w.assigned_to IS NULL
               AND w.warehouse IN (SELECT ow.warehouse FROM operator_warehouse ow
                                   WHERE ow.operator = upper(btrim($1)))))
    ORDER BY w.assigned_to NULLS LAST, w.priority, w.wo_no;
$$;

-- The works order of an order and movement type (any type when not given;
-- the latest unfinished one first) and the order's own status: the sales
-- order's for picking, the receipt's for putaway, whichever exists
-- otherwise. No row when neither the works order nor the order is known.
CREATE FUNCTION rf_get_stock_movements_task_info(client text, order_no text, movement_type text)
RETURNS TABLE (wo_no text, wo_status text, wo_assigned_to text, order_status text,
               movement_type text, tasks bigint, open_tasks bigint)
LANGUAGE sql STABLE AS $$
    WITH arg AS (
        SELECT btrim($1) AS client, btrim($2) AS order_no, nullif(upper(btrim($3)), '') AS type
    ),
    wo AS (
        SELECT w.*
        FROM works_order w, arg
        WHERE w.client = arg.client AND w.order_no = arg.order_no
          AND (arg.type IS NULL OR w.movement_type = arg.type)
        ORDER BY w.status IN ('COMPLETED', 'CANCELLED'), w.created_at DESC, w.wo_no DESC
        LIMIT 1
    ),
    doc AS (
        SELECT CASE WHEN coalesce((SELECT wo.movement_type FROM wo), arg.type) = 'PUTAWAY'
                    THEN coalesce(r.status, so.status)
                    ELSE coalesce(so.status, r.status) END AS status
        FROM arg
        LEFT JOIN sales_order so ON so.client = arg.client AND so.order_no = arg.order_no
        LEFT JOIN receipt r ON r.client = arg.client AND r.receipt_no = arg.order_no
    )
    SELECT wo.wo_no, wo.status, wo.assigned_to, doc.status, coalesce(wo.movement_type, arg.type),
           (SELECT count(*) FROM task t WHERE t.wo_no = wo.wo_no),
           (SELECT count(*) FROM task t
            WHERE t.wo_no = wo.wo_no AND t.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS'))
    FROM arg
    CROSS JOIN doc
    LEFT JOIN wo ON true
    WHERE wo.wo_no IS NOT NULL OR doc.status IS NOT NULL;
$$;

-- The stock movements waiting in a warehouse: activities not yet done, of a
-- client and movement type when given, with the quantity still to move.
CREATE FUNCTION rf_query_stock_movements(client text, warehouse text, movement_type text)
RETURNS TABLE (item_no text, wo_no text, task_no integer, activity_no integer, movement_type text,
               client text, uom text, qty numeric, warehouse text, location_from text,
               pallet_from text, carton_from text, location_to text, order_no text, status text,
               assigned_to text)
LANGUAGE sql STABLE AS $$
    SELECT a.item_no, a.wo_no, a.task_no, a.activity_no, a.movement_type, a.client, a.uom,
           a.qty - a.qty_done, coalesce(a.warehouse_from, a.warehouse_to), a.location_from,
           a.pallet_from, a.carton_from, a.location_to, coalesce(a.so_no, a.receipt_no, w.order_no),
           a.status, a.assigned_to
    FROM activity a
    JOIN works_order w ON w.wo_no = a.wo_no
    WHERE a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS')
      AND (nullif(btrim($1), '') IS NULL OR a.client = btrim($1))
      AND (nullif(btrim($2), '') IS NULL OR coalesce(a.warehouse_from, a.warehouse_to) = btrim($2))
      AND (nullif(btrim($3), '') IS NULL OR a.movement_type = upper(btrim($3)))
    ORDER BY w.priority, a.wo_no, a.task_no, a.activity_no;
$$;

-- The outstanding tasks of a works order: every activity not yet done (and
-- every unfinished task without activities), with what is left to move.
CREATE FUNCTION rpt_os_tasks(wo_no text)
RETURNS TABLE (wo_no text, task_no integer, activity_no integer, movement_type text,
               sales_order text, line_no integer, item_no text, uom text, qty numeric,
               qty_done numeric, location_from text, pallet_from text, location_to text,
               status text, assigned_to text)
LANGUAGE sql STABLE AS $$
    SELECT t.wo_no, t.task_no, a.activity_no, coalesce(a.movement_type, w.movement_type),
           coalesce(a.so_no, CASE WHEN w.movement_type = 'PICK' THEN nullif(t.order_no, '') END),
           coalesce(a.so_line_no, t.line_no), coalesce(a.item_no, t.item_no),
           coalesce(a.uom, t.uom), coalesce(a.qty, t.qty), coalesce(a.qty_done, t.qty_done),
           a.location_from, a.pallet_from, a.location_to, coalesce(a.status, t.status),
           coalesce(a.assigned_to, t.assigned_to)
    FROM works_order w
    JOIN task t ON t.wo_no = w.wo_no
    LEFT JOIN activity a ON a.wo_no = t.wo_no AND a.task_no = t.task_no
    WHERE w.wo_no = upper(btrim($1))
      AND t.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS')
      AND (a.activity_no IS NULL OR a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS'))
    ORDER BY t.task_no, a.activity_no;
$$;
