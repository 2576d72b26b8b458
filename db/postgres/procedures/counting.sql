-- Routines of cycle counting: whether a location may be counted, the stock
-- it holds, the start of its count, counted lines and cartons, the end of
-- the count (differences become stock adjustments) and count tasks.
--
-- A location under count has status COUNTING and one OPEN count_location
-- row naming its stocktake; nothing moves in or out until the count is
-- finished. Counted quantities are kept in count_line against the system
-- quantity of the stock line; the stock changes only when the count ends.

SELECT drop_routines('cc_date_arg', 'cc_start_count', 'rf_check_location_status',
                     'rf_cc_get_location_stock', 'rf_initialise_rf_stkcount_location',
                     'rf_cc_update_cycle_count', 'rf_update_rf_stkcount_carton',
                     'rf_update_rf_stkcount_location', 'rf_close_count_task');

-- A date typed on the handheld: yyyy-mm-dd (or with "/"), dd/mm/yyyy,
-- dd-mm-yyyy, dd.mm.yyyy or yyyymmdd. Null for an empty text; refused, naming
-- the text, when it is no date.
CREATE FUNCTION cc_date_arg(p_text text, p_what text)
RETURNS date
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE
    t text := btrim(p_text);
BEGIN
    IF coalesce(t, '') = '' THEN
        RETURN NULL;
    END IF;
    BEGIN
        IF t ~ '^\d{4}[-/]\d{1,2}[-/]\d{1,2}$' THEN
            RETURN to_date(translate(t, '/', '-'), 'YYYY-MM-DD');
        ELSIF t ~ '^\d{1,2}[-/.]\d{1,2}[-/.]\d{4}$' THEN
            RETURN to_date(translate(t, '/.', '--'), 'DD-MM-YYYY');
        ELSIF t ~ '^\d{8}$' THEN
            RETURN to_date(t, 'YYYYMMDD');
        END IF;
    EXCEPTION
        WHEN OTHERS THEN
            NULL;
    END;
    PERFORM refuse(-20, format('%s %s is not a date.', p_what, t));
END
$$;

-- The open count of a location, started when there is none: the location
-- must be ACTIVE, and the count joins the newest open count of that type in
-- the warehouse that has not counted the location yet (a new stocktake when
-- there is none): a location counted again is a new round under a new
-- stocktake, and the lines of its earlier count stand. status 0 with the
-- stocktake, or a negative status and the reason. p_resume_for: when the
-- location is already being counted, only this operator may carry on
-- (Null: anyone may).
CREATE FUNCTION cc_start_count(p_warehouse text, p_location text, p_client text, p_operator text,
                               p_count_type text, p_resume_for text)
RETURNS TABLE (status integer, msg text, ref text, zone text, started boolean)
LANGUAGE plpgsql AS $$
DECLARE
    v_loc     location%ROWTYPE;
    v_open    count_location%ROWTYPE;
    v_ref     text;
    v_next    bigint;
    v_pass    integer;
BEGIN
    SELECT l.* INTO v_loc
    FROM location l
    WHERE l.warehouse = p_warehouse AND l.location = p_location
    FOR UPDATE;
    IF NOT FOUND THEN
        RETURN QUERY SELECT -10, format('Location %s not found in warehouse %s.', p_location, p_warehouse),
                            NULL::text, NULL::text, false;
        RETURN;
    END IF;
    IF v_loc.status = 'BLOCKED' THEN
        RETURN QUERY SELECT -11, format('Location %s is blocked and cannot be counted.', p_location),
                            NULL::text, v_loc.zone, false;
        RETURN;
    END IF;

    SELECT c.* INTO v_open
    FROM count_location c
    WHERE c.warehouse = p_warehouse AND c.location = p_location AND c.status = 'OPEN'
    ORDER BY c.started_at DESC
    LIMIT 1;
    IF FOUND THEN
        IF p_resume_for IS NOT NULL AND v_open.started_by IS DISTINCT FROM p_resume_for THEN
            RETURN QUERY SELECT -12, format('Location %s is already being counted by %s (stocktake %s).',
                                            p_location, v_open.started_by, v_open.stocktake_ref),
                                v_open.stocktake_ref, v_loc.zone, false;
            RETURN;
        END IF;
        IF v_open.client IS DISTINCT FROM p_client AND v_open.client IS NOT NULL THEN
            RETURN QUERY SELECT -13, format('Location %s is being counted for client %s.',
                                            p_location, v_open.client),
                                v_open.stocktake_ref, v_loc.zone, false;
            RETURN;
        END IF;
        RETURN QUERY SELECT 0, format('Count of %s under stocktake %s resumed.', p_location, v_open.stocktake_ref),
                            v_open.stocktake_ref, v_loc.zone, false;
        RETURN;
    END IF;

    FOR v_pass IN 1 .. 2 LOOP
        SELECT h.stocktake_ref INTO v_ref
        FROM count_header h
        WHERE h.warehouse = p_warehouse AND h.count_type = p_count_type AND h.status = 'OPEN'
          AND NOT EXISTS (SELECT 1 FROM count_location c
                          WHERE c.stocktake_ref = h.stocktake_ref AND c.warehouse = p_warehouse
                            AND c.location = p_location)
        ORDER BY h.created_at DESC, h.stocktake_ref DESC
        LIMIT 1;
        EXIT WHEN v_ref IS NOT NULL OR v_pass = 2;
        -- Looked for again under the lock: a count started meanwhile may
        -- have opened one.
        LOCK TABLE count_header IN SHARE ROW EXCLUSIVE MODE;
    END LOOP;
    IF v_ref IS NULL THEN
        -- New references are numbered after the highest one in use.
        SELECT coalesce(max(substr(h.stocktake_ref, 3)::bigint), 0) + 1 INTO v_next
        FROM count_header h
        WHERE h.stocktake_ref ~ '^(CC|ST)\d+$';
        v_ref := CASE p_count_type WHEN 'STOCKTAKE' THEN 'ST' ELSE 'CC' END || lpad(v_next::text, 6, '0');
        INSERT INTO count_header (stocktake_ref, warehouse, count_type, maker)
        VALUES (v_ref, p_warehouse, p_count_type, p_operator);
    END IF;

    INSERT INTO count_location (stocktake_ref, warehouse, location, client, status, started_by)
    VALUES (v_ref, p_warehouse, p_location, p_client, 'OPEN', p_operator);

    UPDATE location l SET status = 'COUNTING'
    WHERE l.warehouse = p_warehouse AND l.location = p_location;

    RETURN QUERY SELECT 0, format('Count of %s started under stocktake %s.', p_location, v_ref),
                        v_ref, v_loc.zone, true;
END
$$;

-- May this location be counted? Answers its zone. The third parameter is the
-- zone, given empty.
CREATE PROCEDURE rf_check_location_status(warehouse text, location text, INOUT zone text DEFAULT NULL,
                                          INOUT sqlstatus integer DEFAULT NULL,
                                          INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    v_warehouse text := nullif(btrim(rf_check_location_status.warehouse), '');
    v_location  text := nullif(btrim(rf_check_location_status.location), '');
    v_loc       location%ROWTYPE;
    v_open      count_location%ROWTYPE;
BEGIN
    zone := NULL;
    IF v_warehouse IS NULL THEN
        sqlstatus := -1;
        sqlmsg := 'Warehouse is required.';
        RETURN;
    END IF;
    IF v_location IS NULL THEN
        sqlstatus := -2;
        sqlmsg := 'Location is required.';
        RETURN;
    END IF;

    SELECT l.* INTO v_loc
    FROM location l
    WHERE l.warehouse = v_warehouse AND l.location = v_location;
    IF NOT FOUND THEN
        sqlstatus := -3;
        sqlmsg := format('Location %s not found in warehouse %s.', v_location, v_warehouse);
        RETURN;
    END IF;
    zone := v_loc.zone;

    IF v_loc.status = 'BLOCKED' THEN
        sqlstatus := -4;
        sqlmsg := format('Location %s is blocked and cannot be counted.', v_location);
        RETURN;
    END IF;
    SELECT c.* INTO v_open
    FROM count_location c
    WHERE c.warehouse = v_warehouse AND c.location = v_location AND c.status = 'OPEN'
    ORDER BY c.started_at DESC
    LIMIT 1;
    IF FOUND OR v_loc.status = 'COUNTING' THEN
        sqlstatus := -5;
        sqlmsg := format('Location %s is already being counted%s.', v_location,
                         CASE WHEN v_open.stocktake_ref IS NOT NULL
                              THEN format(' by %s (stocktake %s)', v_open.started_by, v_open.stocktake_ref)
                              ELSE '' END);
        RETURN;
    END IF;

    sqlstatus := 0;
    sqlmsg := format('Location %s in zone %s may be counted.', v_location, v_loc.zone);
EXCEPTION
    WHEN OTHERS THEN
        zone := NULL;
        sqlstatus := -99;
        sqlmsg := 'Location not checked: ' || SQLERRM;
END
$$;

-- The stock lines of a location, with what has been counted of them so far
-- under the location's open count (count_qty Null: not counted yet).
CREATE FUNCTION rf_cc_get_location_stock(warehouse text, location text)
RETURNS TABLE (rec_num bigint, client text, item_no text, description text, pallet text, carton_no text,
               uom text, system_qty numeric, count_qty numeric, grade text, lot_no text, batch_no text,
               expiry_date date, prod_date date, item_size text, item_color text, item_class text,
               owner text, status text, stocktake_ref text)
LANGUAGE sql STABLE AS $$
    SELECT s.rec_num, s.client, s.item_no, s.item_description, s.pallet, s.carton_no, s.uom, s.qty,
           cl.count_qty, s.grade, s.lot_no, s.batch_no, s.expiry_date, s.prod_date, s.item_size,
           s.item_color, s.item_class, s.owner, s.status, c.stocktake_ref
    FROM stock_line_v s
    LEFT JOIN count_location c
           ON c.warehouse = s.warehouse AND c.location = s.location AND c.status = 'OPEN'
    LEFT JOIN count_line cl
           ON cl.stocktake_ref = c.stocktake_ref AND cl.warehouse = c.warehouse
          AND cl.location = c.location AND cl.rec_num = s.rec_num
    WHERE s.warehouse = btrim($1) AND s.location = btrim($2)
      AND s.status <> 'DESPATCHED' AND (s.qty > 0 OR cl.count_qty IS NOT NULL)
      AND (c.client IS NULL OR c.client = s.client)
    ORDER BY s.pallet NULLS LAST, s.carton_no NULLS LAST, s.item_no, s.rec_num;
$$;

-- Start counting a location (for one client's stock, or all when client is
-- empty). Calling it again for the count under way resumes it.
CREATE FUNCTION rf_initialise_rf_stkcount_location(warehouse text, location text, client text, operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, stocktake_ref text, zone text, lines integer)
LANGUAGE plpgsql AS $$
DECLARE
    v_warehouse text := nullif(btrim(rf_initialise_rf_stkcount_location.warehouse), '');
    v_location  text := nullif(btrim(rf_initialise_rf_stkcount_location.location), '');
    v_client    text := nullif(btrim(rf_initialise_rf_stkcount_location.client), '');
    v_operator  text;
    v_status    integer;
    v_msg       text;
    v_ref       text;
    v_zone      text;
    v_lines     integer;
BEGIN
    IF v_warehouse IS NULL OR v_location IS NULL THEN
        PERFORM refuse(-1, 'Warehouse and location are required.');
    END IF;
    v_operator := active_operator(rf_initialise_rf_stkcount_location.operator);
    IF v_client IS NOT NULL AND NOT EXISTS (SELECT 1 FROM client c WHERE c.client = v_client) THEN
        PERFORM refuse(-3, format('Client %s not found.', v_client));
    END IF;

    -- A refused start still answers the stocktake and zone it names.
    SELECT s.status, s.msg, s.ref, s.zone INTO v_status, v_msg, v_ref, v_zone
    FROM cc_start_count(v_warehouse, v_location, v_client, v_operator, 'CYCLECOUNT', v_operator) AS s;
    IF v_status <> 0 THEN
        PERFORM refuse(v_status, v_msg);
    END IF;

    SELECT count(*) INTO v_lines
    FROM stock s
    WHERE s.warehouse = v_warehouse AND s.location = v_location AND s.status <> 'DESPATCHED' AND s.qty > 0
      AND (v_client IS NULL OR s.client = v_client);

    RETURN QUERY SELECT 0, v_msg || format(' %s stock line%s to count.', v_lines,
                                           CASE WHEN v_lines = 1 THEN '' ELSE 's' END),
                        v_ref, v_zone, v_lines;
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Count not started'),
                            v_ref, v_zone, 0;
END
$$;

-- Record one counted line of a location under count: a stock line named by
-- rec_num, or stock the system does not know of (rec_num empty). The counted
-- quantity is kept against the line's system quantity; the stock changes
-- when the count is finished. replace_flag 'Y': a line counted again takes
-- the new quantity; otherwise the quantity is added to the earlier count.
-- A location not yet under count is started under count_type.
CREATE FUNCTION rf_cc_update_cycle_count(
    operator text, replace_flag text, warehouse text, location text, pallet text, client text,
    item_no text, uom text, system_qty numeric, count_qty numeric, grade text, stocktake_ref text,
    count_type text, rec_num numeric, lot_no text, batch_no text, expiry_date text, prod_date text,
    item_size text, item_color text, item_class text, owner text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, counted_rec_num bigint, counted_uom text, held_qty numeric,
               counted_qty numeric, difference numeric)
LANGUAGE plpgsql AS $$
DECLARE
    v_operator   text;
    v_replace    boolean := coalesce(upper(btrim(replace_flag)), 'Y') = 'Y';
    v_warehouse  text := nullif(btrim(rf_cc_update_cycle_count.warehouse), '');
    v_location   text := nullif(btrim(rf_cc_update_cycle_count.location), '');
    v_pallet     text := nullif(btrim(rf_cc_update_cycle_count.pallet), '');
    v_client     text := nullif(btrim(rf_cc_update_cycle_count.client), '');
    v_item       text := nullif(btrim(rf_cc_update_cycle_count.item_no), '');
    v_uom        text := nullif(btrim(rf_cc_update_cycle_count.uom), '');
    v_count      numeric := rf_cc_update_cycle_count.count_qty;
    v_grade      text := coalesce(btrim(rf_cc_update_cycle_count.grade), '');
    v_ref        text := nullif(btrim(rf_cc_update_cycle_count.stocktake_ref), '');
    v_type       text := coalesce(nullif(upper(btrim(count_type)), ''), 'CYCLECOUNT');
    v_rec_num    bigint;
    v_lot        text := coalesce(btrim(rf_cc_update_cycle_count.lot_no), '');
    v_batch      text := coalesce(btrim(rf_cc_update_cycle_count.batch_no), '');
    v_expiry     date;
    v_prod       date;
    v_size       text := coalesce(btrim(rf_cc_update_cycle_count.item_size), '');
    v_color      text := coalesce(btrim(rf_cc_update_cycle_count.item_color), '');
    v_class      text := coalesce(btrim(rf_cc_update_cycle_count.item_class), '');
    v_owner      text := nullif(btrim(rf_cc_update_cycle_count.owner), '');
    v_start      record;
    v_line       stock%ROWTYPE;
    v_open       count_location%ROWTYPE;
    v_eq_count   numeric;
    v_eq_line    numeric;
    v_qty        numeric;
    v_existing   count_line%ROWTYPE;
    v_total      numeric;
    v_found_line boolean := false;
BEGIN
    v_operator := active_operator(rf_cc_update_cycle_count.operator);
    IF v_warehouse IS NULL OR v_location IS NULL THEN
        PERFORM refuse(-2, 'Warehouse and location are required.');
    END IF;
    IF v_count IS NULL THEN
        PERFORM refuse(-3, 'Counted quantity is required.');
    END IF;
    IF v_count < 0 THEN
        PERFORM refuse(-4, format('Counted quantity %s refused: a quantity cannot be negative.', qty_text(v_count)));
    END IF;
    IF v_type NOT IN ('CYCLECOUNT', 'STOCKTAKE') THEN
        PERFORM refuse(-5, format('Count type %s is not known.', v_type));
    END IF;
    IF rf_cc_update_cycle_count.rec_num IS NOT NULL AND rf_cc_update_cycle_count.rec_num <> 0 THEN
        IF rf_cc_update_cycle_count.rec_num <> trunc(rf_cc_update_cycle_count.rec_num)
           OR rf_cc_update_cycle_count.rec_num < 0 THEN
            PERFORM refuse(-6, format('Stock record %s is not a record number.', rf_cc_update_cycle_count.rec_num));
        END IF;
        v_rec_num := rf_cc_update_cycle_count.rec_num;
    END IF;
    v_expiry := cc_date_arg(expiry_date, 'Expiry date');
    v_prod := cc_date_arg(prod_date, 'Production date');

    -- The count under way, or a new one.
    SELECT * INTO v_start FROM cc_start_count(v_warehouse, v_location, v_client, v_operator, v_type, NULL);
    IF v_start.status <> 0 THEN
        PERFORM refuse(v_start.status, v_start.msg);
    END IF;
    IF v_ref IS NOT NULL AND v_ref <> v_start.ref THEN
        PERFORM refuse(-20, format('Location %s is counted under stocktake %s, not %s.', v_location, v_start.ref,
                                   v_ref));
    END IF;
    v_ref := v_start.ref;
    SELECT c.* INTO v_open
    FROM count_location c
    WHERE c.stocktake_ref = v_ref AND c.warehouse = v_warehouse AND c.location = v_location;

    IF v_rec_num IS NOT NULL THEN
        SELECT s.* INTO v_line FROM stock s WHERE s.rec_num = v_rec_num;
        IF NOT FOUND OR v_line.warehouse <> v_warehouse OR v_line.location <> v_location
           OR v_line.status = 'DESPATCHED' THEN
            PERFORM refuse(-20, format('Stock record %s is not held at %s.', v_rec_num, v_location));
        END IF;
        IF v_client IS NOT NULL AND v_line.client <> v_client THEN
            PERFORM refuse(-20, format('Stock record %s belongs to client %s, not %s.', v_rec_num, v_line.client,
                                       v_client));
        END IF;
        IF v_open.client IS NOT NULL AND v_line.client <> v_open.client THEN
            PERFORM refuse(-20, format('Location %s is being counted for client %s only.', v_location, v_open.client));
        END IF;
        IF v_item IS NOT NULL AND v_line.item_no <> v_item THEN
            PERFORM refuse(-20, format('Stock record %s holds item %s, not %s.', v_rec_num, v_line.item_no, v_item));
        END IF;
        v_client := v_line.client;
        v_item := v_line.item_no;
        v_uom := coalesce(v_uom, v_line.uom);
    ELSE
        -- Stock found that the system does not hold here.
        v_client := coalesce(v_client, v_open.client);
        IF v_client IS NULL OR v_item IS NULL OR v_uom IS NULL THEN
            PERFORM refuse(-20, 'Client, item and unit are required for stock without a record number.');
        END IF;
        IF v_open.client IS NOT NULL AND v_client <> v_open.client THEN
            PERFORM refuse(-20, format('Location %s is being counted for client %s only.', v_location, v_open.client));
        END IF;
        IF NOT EXISTS (SELECT 1 FROM product p WHERE p.client = v_client AND p.item_no = v_item) THEN
            PERFORM refuse(-20, format('Item %s not found for client %s.', v_item, v_client));
        END IF;
        -- The line the system already holds for it, when the page sent none.
        SELECT s.* INTO v_line
        FROM stock s
        WHERE s.warehouse = v_warehouse AND s.location = v_location AND s.client = v_client
          AND s.item_no = v_item AND s.uom = v_uom AND s.status <> 'DESPATCHED'
          AND s.pallet IS NOT DISTINCT FROM v_pallet AND s.grade = v_grade AND s.lot_no = v_lot
          AND s.batch_no = v_batch AND s.expiry_date IS NOT DISTINCT FROM v_expiry
          AND s.carton_no IS NULL
        ORDER BY s.rec_num
        LIMIT 1;
        v_found_line := NOT FOUND;
        IF NOT v_found_line THEN
            v_rec_num := v_line.rec_num;
        END IF;
    END IF;

    -- The counted quantity in the unit of the stock line.
    SELECT u.luom_equivalent INTO v_eq_count
    FROM product_uom u
    WHERE u.client = v_client AND u.item_no = v_item AND u.uom = v_uom;
    IF v_eq_count IS NULL THEN
        PERFORM refuse(-20, format('Unit %s is not a unit of item %s.', v_uom, v_item));
    END IF;
    IF v_found_line THEN
        v_qty := v_count;
    ELSE
        SELECT u.luom_equivalent INTO v_eq_line
        FROM product_uom u
        WHERE u.client = v_client AND u.item_no = v_item AND u.uom = v_line.uom;
        v_qty := trim_scale(v_count * v_eq_count / v_eq_line);
        v_uom := v_line.uom;
    END IF;

    IF v_found_line THEN
        SELECT l.* INTO v_existing
        FROM count_line l
        WHERE l.stocktake_ref = v_ref AND l.warehouse = v_warehouse AND l.location = v_location
          AND l.rec_num IS NULL AND l.client = v_client AND l.item_no = v_item AND l.uom = v_uom
          AND l.pallet IS NOT DISTINCT FROM v_pallet AND l.grade = v_grade AND l.lot_no = v_lot
          AND l.batch_no = v_batch AND l.expiry_date IS NOT DISTINCT FROM v_expiry
        FOR UPDATE;
    ELSE
        SELECT l.* INTO v_existing
        FROM count_line l
        WHERE l.stocktake_ref = v_ref AND l.warehouse = v_warehouse AND l.location = v_location
          AND l.rec_num = v_rec_num
        FOR UPDATE;
    END IF;

    IF v_existing.count_line_id IS NOT NULL THEN
        v_total := CASE WHEN v_replace THEN v_qty ELSE v_existing.count_qty + v_qty END;
        UPDATE count_line l
        SET count_qty = v_total,
            system_qty = CASE WHEN v_found_line THEN 0 ELSE v_line.qty END,
            counted_by = v_operator,
            counted_at = localtimestamp(0)
        WHERE l.count_line_id = v_existing.count_line_id;
    ELSE
        v_total := v_qty;
        INSERT INTO count_line (stocktake_ref, warehouse, location, pallet, carton_no, client, item_no, uom,
                                rec_num, system_qty, count_qty, grade, lot_no, batch_no, expiry_date, prod_date,
                                item_size, item_color, item_class, owner, counted_by)
        SELECT v_ref, v_warehouse, v_location,
               CASE WHEN v_found_line THEN v_pallet ELSE v_line.pallet END,
               CASE WHEN v_found_line THEN NULL ELSE v_line.carton_no END,
               v_client, v_item, v_uom, v_rec_num,
               CASE WHEN v_found_line THEN 0 ELSE v_line.qty END,
               v_total,
               CASE WHEN v_found_line THEN v_grade ELSE v_line.grade END,
               CASE WHEN v_found_line THEN v_lot ELSE v_line.lot_no END,
               CASE WHEN v_found_line THEN v_batch ELSE v_line.batch_no END,
               CASE WHEN v_found_line THEN v_expiry ELSE v_line.expiry_date END,
               CASE WHEN v_found_line THEN v_prod ELSE v_line.prod_date END,
               CASE WHEN v_found_line THEN v_size ELSE v_line.item_size END,
               CASE WHEN v_found_line THEN v_color ELSE v_line.item_color END,
               CASE WHEN v_found_line THEN v_class ELSE v_line.item_class END,
               CASE WHEN v_found_line THEN v_owner ELSE v_line.owner END,
               v_operator;
    END IF;

    RETURN QUERY
    SELECT 0,
           CASE WHEN v_found_line
                THEN format('Found %s %s of %s at %s: not held by the system; recorded for stocktake %s.',
                            trim_scale(v_total), v_uom, v_item, v_location, v_ref)
                WHEN v_total = v_line.qty
                THEN format('Counted %s %s of %s on record %s: as held.', trim_scale(v_total), v_uom, v_item, v_rec_num)
                ELSE format('Counted %s %s of %s on record %s: the system holds %s (difference %s).',
                            trim_scale(v_total), v_uom, v_item, v_rec_num, trim_scale(v_line.qty),
                            trim_scale(v_total - v_line.qty))
           END,
           v_rec_num, v_uom,
           CASE WHEN v_found_line THEN 0::numeric ELSE v_line.qty END,
           v_total,
           v_total - CASE WHEN v_found_line THEN 0::numeric ELSE v_line.qty END;
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Count not recorded'),
                            NULL::bigint, NULL::text, NULL::numeric, NULL::numeric, NULL::numeric;
END
$$;

-- Count a carton found in a location under count: a sealed carton is counted
-- whole, each of its stock lines at its system quantity.
CREATE FUNCTION rf_update_rf_stkcount_carton(warehouse text, location text, client text, carton_no text,
                                             operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, carton text, lines integer, qty numeric)
LANGUAGE plpgsql AS $$
DECLARE
    v_warehouse text := nullif(btrim(rf_update_rf_stkcount_carton.warehouse), '');
    v_location  text := nullif(btrim(rf_update_rf_stkcount_carton.location), '');
    v_client    text := nullif(btrim(rf_update_rf_stkcount_carton.client), '');
    v_carton    text := nullif(btrim(rf_update_rf_stkcount_carton.carton_no), '');
    v_operator  text;
    v_box       carton%ROWTYPE;
    v_start     record;
    v_line      stock%ROWTYPE;
    v_lines     integer := 0;
    v_qty       numeric := 0;
BEGIN
    v_operator := active_operator(rf_update_rf_stkcount_carton.operator);
    IF v_warehouse IS NULL OR v_location IS NULL THEN
        PERFORM refuse(-2, 'Warehouse and location are required.');
    END IF;
    IF v_client IS NULL OR v_carton IS NULL THEN
        PERFORM refuse(-3, 'Client and carton number are required.');
    END IF;

    SELECT c.* INTO v_box FROM carton c WHERE c.client = v_client AND c.carton_no = v_carton;
    IF NOT FOUND THEN
        PERFORM refuse(-4, format('Carton %s not found for client %s.', v_carton, v_client));
    END IF;
    IF v_box.warehouse IS DISTINCT FROM v_warehouse OR v_box.location IS DISTINCT FROM v_location THEN
        PERFORM refuse(-5, format('Carton %s is recorded at %s %s; relocate it before counting it here.',
                                  v_carton, coalesce(v_box.warehouse, '?'), coalesce(v_box.location, '?')));
    END IF;

    SELECT * INTO v_start FROM cc_start_count(v_warehouse, v_location, v_client, v_operator, 'CYCLECOUNT', NULL);
    IF v_start.status <> 0 THEN
        PERFORM refuse(v_start.status, v_start.msg);
    END IF;

    FOR v_line IN
        SELECT s.*
        FROM stock s
        WHERE s.client = v_client AND s.carton_no = v_carton AND s.status <> 'DESPATCHED'
          AND s.warehouse = v_warehouse AND s.location = v_location
        ORDER BY s.rec_num
    LOOP
        UPDATE count_line l
        SET count_qty = v_line.qty, system_qty = v_line.qty, counted_by = v_operator, counted_at = localtimestamp(0)
        WHERE l.stocktake_ref = v_start.ref AND l.warehouse = v_warehouse AND l.location = v_location
          AND l.rec_num = v_line.rec_num;
        IF NOT FOUND THEN
            INSERT INTO count_line (stocktake_ref, warehouse, location, pallet, carton_no, client, item_no, uom,
                                    rec_num, system_qty, count_qty, grade, lot_no, batch_no, expiry_date,
                                    prod_date, item_size, item_color, item_class, owner, counted_by)
            VALUES (v_start.ref, v_warehouse, v_location, v_line.pallet, v_carton, v_client, v_line.item_no,
                    v_line.uom, v_line.rec_num, v_line.qty, v_line.qty, v_line.grade, v_line.lot_no,
                    v_line.batch_no, v_line.expiry_date, v_line.prod_date, v_line.item_size, v_line.item_color,
                    v_line.item_class, v_line.owner, v_operator);
        END IF;
        v_lines := v_lines + 1;
        v_qty := v_qty + v_line.qty;
    END LOOP;
    IF v_lines = 0 THEN
        PERFORM refuse(-6, format('Carton %s holds no stock.', v_carton));
    END IF;

    RETURN QUERY SELECT 0, format('Carton %s counted: %s line%s, %s units, for stocktake %s.', v_carton, v_lines,
                                  CASE WHEN v_lines = 1 THEN '' ELSE 's' END, trim_scale(v_qty), v_start.ref),
                        v_carton, v_lines, v_qty;
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE),
                            failure_message(SQLSTATE, SQLERRM, 'Carton count not recorded'),
                            
                            v_carton, 0, NULL::numeric;
END
$$;

-- Finish the count of a location: every stock line takes its counted
-- quantity (a line not counted was not found: 0), stock found that the system
-- did not hold becomes new stock lines, and each difference is journalled as
-- a COUNT movement under the count type and stocktake. The location is open
-- for moves again.
CREATE FUNCTION rf_update_rf_stkcount_location(warehouse text, location text, client text, operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, stocktake_ref text, lines_counted integer, lines_adjusted integer)
LANGUAGE plpgsql AS $$
DECLARE
    v_warehouse text := nullif(btrim(rf_update_rf_stkcount_location.warehouse), '');
    v_location  text := nullif(btrim(rf_update_rf_stkcount_location.location), '');
    v_client    text := nullif(btrim(rf_update_rf_stkcount_location.client), '');
    v_operator  text;
    v_open      count_location%ROWTYPE;
    v_type      text;
    v_reference text;
    r           record;
    v_counted   integer := 0;
    v_adjusted  integer := 0;
    v_new       bigint;
    v_held      integer;
BEGIN
    v_operator := active_operator(rf_update_rf_stkcount_location.operator);
    IF v_warehouse IS NULL OR v_location IS NULL THEN
        PERFORM refuse(-2, 'Warehouse and location are required.');
    END IF;

    PERFORM 1 FROM location l WHERE l.warehouse = v_warehouse AND l.location = v_location FOR UPDATE;
    SELECT c.* INTO v_open
    FROM count_location c
    WHERE c.warehouse = v_warehouse AND c.location = v_location AND c.status = 'OPEN'
    ORDER BY c.started_at DESC
    LIMIT 1
    FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-3, format('Location %s is not being counted.', v_location));
    END IF;
    IF v_client IS NOT NULL AND v_open.client IS NOT NULL AND v_client <> v_open.client THEN
        PERFORM refuse(-4, format('Location %s is being counted for client %s.', v_location, v_open.client));
    END IF;
    SELECT h.count_type INTO v_type FROM count_header h WHERE h.stocktake_ref = v_open.stocktake_ref;
    v_reference := v_type || ' ' || v_open.stocktake_ref;

    SELECT count(*) INTO v_counted
    FROM count_line l
    WHERE l.stocktake_ref = v_open.stocktake_ref AND l.warehouse = v_warehouse AND l.location = v_location;
    SELECT count(*) INTO v_held
    FROM stock s
    WHERE s.warehouse = v_warehouse AND s.location = v_location AND s.status <> 'DESPATCHED' AND s.qty > 0
      AND (v_open.client IS NULL OR s.client = v_open.client);
    -- Finishing a count in which nothing was counted would write all stock
    -- off: an empty location is counted by counting its lines as 0.
    IF v_counted = 0 AND v_held > 0 THEN
        PERFORM refuse(-5, format('Nothing has been counted at %s, which holds %s stock line%s; count them '
                                  '(an empty line as 0) before finishing.', v_location, v_held,
                                  CASE WHEN v_held = 1 THEN '' ELSE 's' END));
    END IF;

    -- Lines the system holds: counted quantity, or 0 when not counted.
    FOR r IN
        SELECT s.rec_num, s.client, s.item_no, s.uom, s.qty, s.qty_booked, s.pallet, s.carton_no, s.grade,
               cl.count_line_id, coalesce(cl.count_qty, 0) AS new_qty
        FROM stock s
        LEFT JOIN count_line cl
               ON cl.stocktake_ref = v_open.stocktake_ref AND cl.warehouse = v_warehouse
              AND cl.location = v_location AND cl.rec_num = s.rec_num
        WHERE s.warehouse = v_warehouse AND s.location = v_location AND s.status <> 'DESPATCHED'
          AND (v_open.client IS NULL OR s.client = v_open.client)
        ORDER BY s.rec_num
        FOR UPDATE OF s
    LOOP
        IF r.new_qty = r.qty THEN
            CONTINUE;
        END IF;
        IF r.new_qty < r.qty_booked THEN
            PERFORM refuse(-20, format('Record %s: counted %s %s is below the %s booked for open tasks; finish or '
                                       'cancel them first.', r.rec_num, qty_text(r.new_qty), r.uom,
                                       qty_text(r.qty_booked)));
        END IF;
        UPDATE stock s
        SET qty = r.new_qty, maker = v_operator, last_update = localtimestamp(0)
        WHERE s.rec_num = r.rec_num;
        INSERT INTO stock_movement (movement_type, client, item_no, rec_num, uom, qty, qty_before, qty_after,
                                    warehouse_from, location_from, pallet_from, carton_from, grade, reason_code,
                                    reference, operator)
        VALUES ('COUNT', r.client, r.item_no, r.rec_num, r.uom, r.new_qty - r.qty, r.qty, r.new_qty,
                v_warehouse, v_location, r.pallet, r.carton_no, r.grade, 'CNT', v_reference, v_operator);
        IF r.count_line_id IS NOT NULL THEN
            UPDATE count_line l SET adjusted = true, system_qty = r.qty WHERE l.count_line_id = r.count_line_id;
        END IF;
        v_adjusted := v_adjusted + 1;
    END LOOP;

    -- Stock found that the system did not hold.
    FOR r IN
        SELECT l.*
        FROM count_line l
        WHERE l.stocktake_ref = v_open.stocktake_ref AND l.warehouse = v_warehouse AND l.location = v_location
          AND l.rec_num IS NULL AND l.count_qty > 0
        ORDER BY l.count_line_id
        FOR UPDATE
    LOOP
        IF r.pallet IS NOT NULL THEN
            PERFORM ensure_pallet(r.pallet, r.client, v_operator);
        END IF;
        INSERT INTO stock (client, item_no, warehouse, location, pallet, uom, qty, qty_rcvd, grade, lot_no, batch_no,
                           expiry_date, prod_date, item_size, item_color, item_class, owner, status, maker)
        VALUES (r.client, r.item_no, v_warehouse, v_location, r.pallet, r.uom, r.count_qty, r.count_qty, r.grade,
                r.lot_no, r.batch_no, r.expiry_date, r.prod_date, r.item_size, r.item_color, r.item_class, r.owner,
                'AVAILABLE', v_operator)
        RETURNING stock.rec_num INTO v_new;
        INSERT INTO stock_movement (movement_type, client, item_no, rec_num, uom, qty, qty_before, qty_after,
                                    warehouse_to, location_to, pallet_to, grade, reason_code, reference, operator)
        VALUES ('COUNT', r.client, r.item_no, v_new, r.uom, r.count_qty, 0, r.count_qty, v_warehouse, v_location,
                r.pallet, r.grade, 'FOUND', v_reference, v_operator);
        UPDATE count_line l SET adjusted = true, rec_num = v_new WHERE l.count_line_id = r.count_line_id;
        v_adjusted := v_adjusted + 1;
    END LOOP;

    UPDATE count_location c
    SET status = 'COUNTED', finished_by = v_operator, finished_at = localtimestamp(0)
    WHERE c.stocktake_ref = v_open.stocktake_ref AND c.warehouse = v_warehouse AND c.location = v_location;
    UPDATE location l
    SET status = 'ACTIVE', last_count_date = localtimestamp(0)
    WHERE l.warehouse = v_warehouse AND l.location = v_location AND l.status = 'COUNTING';

    RETURN QUERY SELECT 0, format('Count of %s finished for stocktake %s: %s line%s counted, %s adjusted.',
                                  v_location, v_open.stocktake_ref, v_counted, CASE WHEN v_counted = 1 THEN '' ELSE 's' END,
                                  v_adjusted),
                        v_open.stocktake_ref, v_counted, v_adjusted;
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Count not finished'),
                            v_open.stocktake_ref, 0, 0;
END
$$;

-- Close the activity of a count task once the count of its location has
-- been finished (after the works order was made); the task and the works
-- order complete with their last activity.
CREATE FUNCTION rf_close_count_task(wo_no text, task_no numeric, activity_no numeric, count_qty numeric,
                                    operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
DECLARE
    v_wo       text := nullif(btrim(rf_close_count_task.wo_no), '');
    v_operator text;
    v_order    works_order%ROWTYPE;
    v_act      activity%ROWTYPE;
BEGIN
    v_operator := active_operator(rf_close_count_task.operator);
    IF v_wo IS NULL OR rf_close_count_task.task_no IS NULL OR rf_close_count_task.activity_no IS NULL THEN
        PERFORM refuse(-2, 'Works order, task and activity are required.');
    END IF;
    IF rf_close_count_task.count_qty < 0 THEN
        PERFORM refuse(-3, 'Counted quantity cannot be negative.');
    END IF;

    SELECT w.* INTO v_order FROM works_order w WHERE w.wo_no = v_wo FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-4, format('Works order %s not found.', v_wo));
    END IF;
    IF v_order.movement_type <> 'COUNT' THEN
        PERFORM refuse(-5, format('Works order %s is a %s order, not a count.', v_wo, v_order.movement_type));
    END IF;
    SELECT a.* INTO v_act
    FROM activity a
    WHERE a.wo_no = v_wo AND a.task_no = rf_close_count_task.task_no AND a.activity_no = rf_close_count_task.activity_no
    FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-6, format('Task %s activity %s of works order %s not found.',
                                  rf_close_count_task.task_no, rf_close_count_task.activity_no, v_wo));
    END IF;
    IF v_act.status IN ('COMPLETED', 'CANCELLED') THEN
        PERFORM refuse(-7, format('Task %s activity %s of works order %s is already %s.',
                                  v_act.task_no, v_act.activity_no, v_wo, lower(v_act.status)));
    END IF;
    IF v_act.assigned_to IS NOT NULL AND v_act.assigned_to <> v_operator THEN
        PERFORM refuse(-8, format('Task %s of works order %s is assigned to %s.', v_act.task_no, v_wo,
                                  v_act.assigned_to));
    END IF;
    IF EXISTS (SELECT 1 FROM count_location c
               WHERE c.warehouse = v_act.warehouse_from AND c.location = v_act.location_from AND c.status = 'OPEN') THEN
        PERFORM refuse(-9, format('The count of %s is still open; finish it first.', v_act.location_from));
    END IF;
    IF NOT EXISTS (SELECT 1 FROM count_location c
                   WHERE c.warehouse = v_act.warehouse_from AND c.location = v_act.location_from
                     AND c.status = 'COUNTED' AND c.finished_at >= v_order.created_at) THEN
        PERFORM refuse(-10, format('Location %s has not been counted since the task was set.',
                                   v_act.location_from));
    END IF;

    UPDATE activity a
    SET status = 'COMPLETED', qty_done = coalesce(rf_close_count_task.count_qty, 0), completed_by = v_operator,
        completed_at = localtimestamp(0)
    WHERE a.wo_no = v_wo AND a.task_no = v_act.task_no AND a.activity_no = v_act.activity_no;

    PERFORM complete_finished_tasks(v_wo, v_operator);
    UPDATE works_order w SET status = 'INPROGRESS' WHERE w.wo_no = v_wo AND w.status IN ('OPEN', 'ASSIGNED');

    RETURN QUERY SELECT 0, format('Count task %s of works order %s closed.', v_act.task_no, v_wo);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Count task not closed');
END
$$;
