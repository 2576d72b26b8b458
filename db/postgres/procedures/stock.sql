-- Stock movement and cartons: stock lines, pallets and cartons moved, a stock
-- line's quantity corrected, stock created, pallet numbers drawn, serial
-- numbers put on pallets, cartons created, mapped, split, queried and listed.
-- (rf_adjust_carton_qty is in frame.sql.) The stk_* helpers below are shared
-- with the putaway routines (putaway.sql).
--
-- Rules kept by every routine here:
--   * nothing goes negative: a move or a carton of more than a stock line has
--     available (qty - qty_booked) is refused, saying how much there is;
--   * every change of stock is journalled in stock_movement, in the same
--     transaction;
--   * a location under count (status COUNTING) or BLOCKED takes no moves in
--     or out; RECEIVING stock moves only by putaway;
--   * a pallet label may be given with or without its check character.
--
-- Status codes (besides those of common.sql): -1 a required value is missing
-- or malformed; -2 not found; -3 refused in the state the stock, pallet or
-- carton is in; -4 the quantity is refused; -5 the location is refused. A
-- refused call changes nothing.

SELECT drop_routines(
    'stk_number', 'stk_rec_num', 'stk_date', 'stk_pallet', 'stk_known_pallet',
    'stk_location', 'stk_location_open', 'stk_lock_location', 'stk_pallets_in', 'stk_new_line',
    'stk_empty_containers', 'stk_move_line', 'stk_move_pallet',
    'stk_product', 'stk_grade', 'stk_check_uom', 'stk_line_to_move', 'stk_movable_pallet',
    'rf_item_relocation', 'rf_item_relocation2', 'rf_location_transfer', 'rf_pallet_relocation',
    'rf_relocate_carton', 'rf_update_pallet_location_qty', 'rf_next_pallet_no', 'rf_create_stock',
    'rf_update_serial_pallet', 'rf_create_carton', 'rf_map_carton', 'rf_split_carton', 'rf_query_carton',
    'rf_get_carton_items');

------------------------------------------------------------------------------
-- Helpers
------------------------------------------------------------------------------

-- A number typed on the handheld: NULL when blank (refused when p_required),
-- refused when it is not a plain decimal number.
CREATE FUNCTION stk_number(p_text text, p_what text, p_required boolean DEFAULT false)
RETURNS numeric
LANGUAGE plpgsql AS $$
DECLARE
    v_text text := btrim(coalesce(p_text, ''));
BEGIN
    IF v_text = '' AND p_required THEN
        PERFORM refuse(-1, p_what || ' is required.');
    END IF;
    IF v_text = '' THEN
        RETURN NULL;
    END IF;
    IF v_text !~ '^[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)$' THEN
        PERFORM refuse(-1, format('%s ''%s'' is not a number.', p_what, v_text));
    END IF;
    RETURN v_text::numeric;
END
$$;

-- A stock line number typed or handed back by the handheld; required.
CREATE FUNCTION stk_rec_num(p_text text)
RETURNS bigint
LANGUAGE plpgsql AS $$
DECLARE
    v_text text := btrim(coalesce(p_text, ''));
BEGIN
    IF v_text = '' THEN
        PERFORM refuse(-1, 'Stock line number is required.');
    END IF;
    IF v_text !~ '^[0-9]{1,18}$' THEN
        PERFORM refuse(-1, format('Stock line number ''%s'' is not a number.', v_text));
    END IF;
    RETURN v_text::bigint;
END
$$;

-- A date typed on the handheld: yyyy-mm-dd, yyyy/mm/dd, yyyymmdd, dd/mm/yyyy,
-- dd-mm-yyyy or "dd Mon yyyy"; NULL when blank; refused otherwise.
CREATE FUNCTION stk_date(p_text text, p_what text)
RETURNS date
LANGUAGE plpgsql AS $$
DECLARE
    v_text text := btrim(coalesce(p_text, ''));
    v_date date;
BEGIN
    IF v_text = '' THEN
        RETURN NULL;
    END IF;
    BEGIN
        IF v_text ~ '^[0-9]{4}[-/][0-9]{1,2}[-/][0-9]{1,2}( .*)?$' THEN
            v_date := to_date(split_part(replace(v_text, '/', '-'), ' ', 1), 'YYYY-MM-DD');
        ELSIF v_text ~ '^[0-9]{8}$' THEN
            v_date := to_date(v_text, 'YYYYMMDD');
        ELSIF v_text ~ '^[0-9]{1,2}[-/.][0-9]{1,2}[-/.][0-9]{4}$' THEN
            v_date := to_date(translate(v_text, '/.', '--'), 'DD-MM-YYYY');
        ELSIF v_text ~* '^[0-9]{1,2} [a-z]{3} [0-9]{4}$' THEN
            v_date := to_date(v_text, 'DD Mon YYYY');
        END IF;
    EXCEPTION
        WHEN OTHERS THEN
            v_date := NULL;
    END;
    IF v_date IS NULL THEN
        PERFORM refuse(-1, format('%s ''%s'' is not a date.', p_what, v_text));
    END IF;
    RETURN v_date;
END
$$;

-- The stored label of a pallet given with or without its check character;
-- NULL when no such pallet is known.
CREATE FUNCTION stk_pallet(p_label text)
RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_label  text := btrim(coalesce(p_label, ''));
    v_stored text;
BEGIN
    IF v_label = '' THEN
        RETURN NULL;
    END IF;
    SELECT p.pallet INTO v_stored FROM pallet p WHERE p.pallet = v_label;
    IF NOT FOUND THEN
        SELECT p.pallet INTO v_stored FROM pallet p WHERE p.pallet = v_label || pallet_check_char(v_label);
    END IF;
    RETURN v_stored;
END
$$;

-- The stored label of a pallet given with or without its check character;
-- refused when blank or unknown.
CREATE FUNCTION stk_known_pallet(p_label text)
RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_pallet text := stk_pallet(p_label);
BEGIN
    IF coalesce(btrim(p_label), '') = '' THEN
        PERFORM refuse(-1, 'Pallet is required.');
    END IF;
    IF v_pallet IS NULL THEN
        PERFORM refuse(-2, format('Pallet %s not found.', btrim(p_label)));
    END IF;
    RETURN v_pallet;
END
$$;

-- A location, refused when unknown.
CREATE FUNCTION stk_location(p_warehouse text, p_location text)
RETURNS location
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_location location%ROWTYPE;
BEGIN
    IF coalesce(btrim(p_location), '') = '' THEN
        PERFORM refuse(-1, 'Location is required.');
    END IF;
    SELECT l.* INTO v_location
    FROM location l
    WHERE l.warehouse = btrim(coalesce(p_warehouse, '')) AND l.location = btrim(p_location);
    IF NOT FOUND THEN
        PERFORM refuse(-5, format('Location %s/%s not found.', btrim(coalesce(p_warehouse, '')),
                                  btrim(p_location)));
    END IF;
    RETURN v_location;
END
$$;

-- Refuse moves into or out of a location under count or blocked.
CREATE FUNCTION stk_location_open(p_warehouse text, p_location text)
RETURNS void
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_status text;
BEGIN
    SELECT l.status INTO v_status FROM location l WHERE l.warehouse = p_warehouse AND l.location = p_location;
    IF v_status = 'COUNTING' THEN
        PERFORM refuse(-5, format('Location %s/%s is being counted; no stock moves in or out.',
                                  p_warehouse, p_location));
    ELSIF v_status = 'BLOCKED' THEN
        PERFORM refuse(-5, format('Location %s/%s is blocked.', p_warehouse, p_location));
    END IF;
END
$$;

-- Lock a location's row while a pallet is counted into it, so that two calls
-- cannot both take its last place.
CREATE FUNCTION stk_lock_location(p_warehouse text, p_location text)
RETURNS void
LANGUAGE sql AS $$
    SELECT NULL FROM location l WHERE l.warehouse = p_warehouse AND l.location = p_location FOR UPDATE;
$$;

-- How many pallets a location holds or has been promised, leaving out one
-- pallet: pallets with stock there, and pallets whose open putaway or
-- relocation activity is headed there.
CREATE FUNCTION stk_pallets_in(p_warehouse text, p_location text, p_except_pallet text)
RETURNS integer
LANGUAGE sql STABLE AS $$
    SELECT count(DISTINCT x.pallet)::integer
    FROM (SELECT s.pallet
          FROM stock s
          WHERE s.warehouse = p_warehouse AND s.location = p_location AND s.pallet IS NOT NULL
            AND s.qty > 0 AND s.status <> 'DESPATCHED'
          UNION ALL
          SELECT a.pallet_from
          FROM activity a
          WHERE a.warehouse_to = p_warehouse AND a.location_to = p_location AND a.pallet_from IS NOT NULL
            AND a.movement_type IN ('PUTAWAY', 'RELOCATE') AND a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS')) x
    WHERE x.pallet IS DISTINCT FROM p_except_pallet;
$$;

-- A new stock line of p_qty with the attributes of the line p_from, in a
-- place, on a pallet (NULL: loose) and in a carton (NULL: none), of a grade
-- and status, picked for an order line when one is named. Answers its number.
CREATE FUNCTION stk_new_line(p_from stock, p_qty numeric, p_warehouse text, p_location text, p_pallet text,
                             p_carton text, p_grade text, p_status text, p_so_no text, p_so_line integer,
                             p_operator text)
RETURNS bigint
LANGUAGE sql AS $$
    INSERT INTO stock (client, item_no, warehouse, location, pallet, carton_no, uom, qty, qty_booked, qty_rcvd,
                       grade, lot_no, batch_no, expiry_date, prod_date, item_size, item_color, item_class,
                       item_width, item_depth, item_height, item_weight, supplier, owner, customer, origin_country,
                       currency, unit_cost, ppq_packing, ppq_qty, receipt_no, receipt_line, receipt_date, so_no,
                       so_line_no, status, maker, last_update)
    VALUES ((p_from).client, (p_from).item_no, p_warehouse, p_location, p_pallet, p_carton, (p_from).uom, p_qty, 0,
            p_qty, p_grade, (p_from).lot_no, (p_from).batch_no, (p_from).expiry_date, (p_from).prod_date,
            (p_from).item_size, (p_from).item_color, (p_from).item_class, (p_from).item_width, (p_from).item_depth,
            (p_from).item_height, (p_from).item_weight, (p_from).supplier, (p_from).owner, (p_from).customer,
            (p_from).origin_country, (p_from).currency, (p_from).unit_cost, (p_from).ppq_packing, (p_from).ppq_qty,
            (p_from).receipt_no, (p_from).receipt_line, (p_from).receipt_date, p_so_no, p_so_line, p_status,
            p_operator, localtimestamp(0))
    RETURNING rec_num;
$$;

-- A pallet and a carton of a client that hold nothing any more are empty.
CREATE FUNCTION stk_empty_containers(p_client text, p_pallet text, p_carton text, p_operator text)
RETURNS void
LANGUAGE sql AS $$
    UPDATE pallet p SET status = 'EMPTY'
    WHERE p.pallet = p_pallet AND p.status = 'ACTIVE'
      AND NOT EXISTS (SELECT 1 FROM stock s WHERE s.pallet = p.pallet AND s.qty > 0 AND s.status <> 'DESPATCHED');
    UPDATE carton c SET status = 'EMPTY', maker = p_operator, last_update = localtimestamp(0)
    WHERE c.client = p_client AND c.carton_no = p_carton AND c.status = 'ACTIVE'
      AND NOT EXISTS (SELECT 1 FROM stock s
                      WHERE s.client = c.client AND s.carton_no = c.carton_no AND s.qty > 0
                        AND s.status <> 'DESPATCHED');
$$;

-- Move p_qty of stock line p_rec_num to a location, onto p_pallet and into
-- p_carton (NULL: loose), with a new grade and status when given (NULL:
-- kept). The whole line moves in place, keeping its number; part of a line
-- joins an identical line at the destination or becomes a new line. With
-- p_from_booked the quantity is taken from the line's booked part (the task
-- that booked it is being done). Journals the move and returns the number of
-- the line that holds the moved quantity.
CREATE FUNCTION stk_move_line(p_rec_num bigint, p_qty numeric, p_warehouse text, p_location text,
                              p_pallet text, p_carton text, p_grade text, p_status text,
                              p_movement_type text, p_reference text, p_reason text, p_operator text,
                              p_from_booked boolean DEFAULT false, p_wo_no text DEFAULT NULL,
                              p_task_no integer DEFAULT NULL, p_activity_no integer DEFAULT NULL)
RETURNS bigint
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_line      stock%ROWTYPE;
    v_available numeric;
    v_grade     text;
    v_status    text;
    v_to        bigint;
BEGIN
    SELECT s.* INTO v_line FROM stock s WHERE s.rec_num = p_rec_num FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-2, format('Stock line %s not found.', p_rec_num));
    END IF;
    IF p_qty IS NULL OR p_qty <= 0 THEN
        PERFORM refuse(-4, format('Quantity %s refused: a move needs a quantity above 0.',
                                  coalesce(qty_text(p_qty), 'blank')));
    END IF;
    v_available := CASE WHEN p_from_booked THEN v_line.qty_booked ELSE v_line.qty - v_line.qty_booked END;
    IF p_qty > v_available THEN
        PERFORM refuse(-4, format('Cannot move %s %s of %s: stock line %s has only %s %s %s.',
                                  qty_text(p_qty), v_line.uom, v_line.item_no, v_line.rec_num,
                                  qty_text(v_available), v_line.uom,
                                  CASE WHEN p_from_booked THEN 'booked' ELSE 'available' END));
    END IF;
    v_grade := coalesce(p_grade, v_line.grade);
    v_status := coalesce(p_status, v_line.status);
    IF v_line.warehouse = p_warehouse AND v_line.location = p_location
       AND v_line.pallet IS NOT DISTINCT FROM p_pallet AND v_line.carton_no IS NOT DISTINCT FROM p_carton
       AND v_line.grade = v_grade AND v_line.status = v_status THEN
        PERFORM refuse(-5, format('Stock line %s is already in %s/%s.', v_line.rec_num, p_warehouse,
                                  p_location));
    END IF;
    PERFORM stk_location_open(v_line.warehouse, v_line.location);
    PERFORM stk_location_open(p_warehouse, p_location);

    IF p_qty = v_line.qty THEN
        UPDATE stock s
        SET warehouse = p_warehouse, location = p_location, pallet = p_pallet, carton_no = p_carton,
            grade = v_grade, status = v_status,
            qty_booked = CASE WHEN p_from_booked THEN s.qty_booked - p_qty ELSE s.qty_booked END,
            maker = p_operator, last_update = localtimestamp(0)
        WHERE s.rec_num = v_line.rec_num;
        UPDATE serial_number n
        SET pallet = p_pallet, warehouse = p_warehouse, location = p_location, maker = p_operator,
            last_update = localtimestamp(0)
        WHERE n.rec_num = v_line.rec_num;
        v_to := v_line.rec_num;
    ELSE
        UPDATE stock s
        SET qty = s.qty - p_qty,
            qty_booked = CASE WHEN p_from_booked THEN s.qty_booked - p_qty ELSE s.qty_booked END,
            maker = p_operator, last_update = localtimestamp(0)
        WHERE s.rec_num = v_line.rec_num;

        SELECT s.rec_num INTO v_to
        FROM stock s
        WHERE s.client = v_line.client AND s.item_no = v_line.item_no AND s.uom = v_line.uom
          AND s.warehouse = p_warehouse AND s.location = p_location
          AND s.pallet IS NOT DISTINCT FROM p_pallet AND s.carton_no IS NOT DISTINCT FROM p_carton
          AND s.grade = v_grade AND s.status = v_status AND s.lot_no = v_line.lot_no
          AND s.batch_no = v_line.batch_no AND s.expiry_date IS NOT DISTINCT FROM v_line.expiry_date
          AND s.prod_date IS NOT DISTINCT FROM v_line.prod_date AND s.item_size = v_line.item_size
          AND s.item_color = v_line.item_color AND s.item_class = v_line.item_class
          AND s.owner IS NOT DISTINCT FROM v_line.owner AND s.so_no IS NOT DISTINCT FROM v_line.so_no
          AND s.so_line_no IS NOT DISTINCT FROM v_line.so_line_no AND s.rec_num <> v_line.rec_num
        ORDER BY s.rec_num
        LIMIT 1
        FOR UPDATE;

        IF FOUND THEN
            UPDATE stock s
            SET qty = s.qty + p_qty, maker = p_operator, last_update = localtimestamp(0)
            WHERE s.rec_num = v_to;
        ELSE
            v_to := stk_new_line(v_line, p_qty, p_warehouse, p_location, p_pallet, p_carton, v_grade, v_status,
                                 v_line.so_no, v_line.so_line_no, p_operator);
        END IF;
    END IF;

    -- A pallet or carton left without stock is empty; one that receives stock is in use.
    PERFORM stk_empty_containers(v_line.client, v_line.pallet, v_line.carton_no, p_operator);
    UPDATE pallet p SET status = 'ACTIVE' WHERE p.pallet = p_pallet AND p.status = 'EMPTY';
    UPDATE carton c SET status = 'ACTIVE', maker = p_operator, last_update = localtimestamp(0)
    WHERE c.client = v_line.client AND c.carton_no = p_carton AND c.status = 'EMPTY';

    INSERT INTO stock_movement (movement_type, client, item_no, rec_num, rec_num_to, uom, qty, qty_before,
                                qty_after, warehouse_from, location_from, pallet_from, carton_from,
                                warehouse_to, location_to, pallet_to, carton_to, grade, reason_code,
                                reference, wo_no, task_no, activity_no, operator)
    VALUES (p_movement_type, v_line.client, v_line.item_no, v_line.rec_num, v_to, v_line.uom, p_qty,
            v_line.qty, v_line.qty - p_qty, v_line.warehouse, v_line.location, v_line.pallet,
            v_line.carton_no, p_warehouse, p_location, p_pallet, p_carton, v_grade, nullif(p_reason, ''),
            coalesce(p_reference, ''), p_wo_no, p_task_no, p_activity_no, p_operator);
    RETURN v_to;
END
$$;

-- Move every stock line of a pallet to a location, with a new grade and
-- status when given. Refused when the pallet holds nothing, has booked stock,
-- or the location has no room for one more pallet. Returns the number of
-- lines moved.
CREATE FUNCTION stk_move_pallet(p_pallet text, p_warehouse text, p_location text, p_grade text,
                                p_status text, p_movement_type text, p_reference text, p_operator text)
RETURNS integer
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_location location%ROWTYPE := stk_location(p_warehouse, p_location);
    v_line     record;
    v_lines    integer := 0;
    v_there    integer;
BEGIN
    PERFORM 1
    FROM stock s
    WHERE s.pallet = p_pallet AND s.qty > 0 AND s.status <> 'DESPATCHED'
    FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-3, format('Pallet %s holds no stock.', p_pallet));
    END IF;
    IF EXISTS (SELECT 1 FROM stock s
               WHERE s.pallet = p_pallet AND s.qty > 0 AND s.status <> 'DESPATCHED' AND s.qty_booked > 0) THEN
        PERFORM refuse(-3, format('Pallet %s holds stock booked for open tasks; finish them first.',
                                  p_pallet));
    END IF;
    IF v_location.max_pallets > 0 AND NOT EXISTS (
            SELECT 1 FROM stock s
            WHERE s.pallet = p_pallet AND s.warehouse = v_location.warehouse
              AND s.location = v_location.location AND s.qty > 0) THEN
        PERFORM stk_lock_location(v_location.warehouse, v_location.location);
        v_there := stk_pallets_in(v_location.warehouse, v_location.location, p_pallet);
        IF v_there >= v_location.max_pallets THEN
            PERFORM refuse(-5, format('Location %s/%s is full: it holds or expects %s of its %s pallets.',
                                      v_location.warehouse, v_location.location, v_there,
                                      v_location.max_pallets));
        END IF;
    END IF;

    FOR v_line IN
        SELECT s.rec_num, s.qty, s.carton_no
        FROM stock s
        WHERE s.pallet = p_pallet AND s.qty > 0 AND s.status <> 'DESPATCHED'
        ORDER BY s.rec_num
    LOOP
        PERFORM stk_move_line(v_line.rec_num, v_line.qty, v_location.warehouse, v_location.location, p_pallet,
                              v_line.carton_no, p_grade, p_status, p_movement_type, p_reference, NULL,
                              p_operator);
        v_lines := v_lines + 1;
    END LOOP;

    UPDATE carton c
    SET warehouse = v_location.warehouse, location = v_location.location, maker = p_operator,
        last_update = localtimestamp(0)
    WHERE c.pallet = p_pallet
       OR (c.client, c.carton_no) IN (SELECT s.client, s.carton_no FROM stock s
                                      WHERE s.pallet = p_pallet AND s.carton_no IS NOT NULL);
    RETURN v_lines;
END
$$;

-- A product of a client, refused when unknown or not active.
CREATE FUNCTION stk_product(p_client text, p_item_no text)
RETURNS product
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_product product%ROWTYPE;
BEGIN
    IF coalesce(btrim(p_client), '') = '' THEN
        PERFORM refuse(-1, 'Client is required.');
    END IF;
    IF coalesce(btrim(p_item_no), '') = '' THEN
        PERFORM refuse(-1, 'Item number is required.');
    END IF;
    SELECT p.* INTO v_product FROM product p WHERE p.client = btrim(p_client) AND p.item_no = btrim(p_item_no);
    IF NOT FOUND THEN
        PERFORM refuse(-2, format('Item %s not found for client %s.', btrim(p_item_no), btrim(p_client)));
    END IF;
    IF v_product.status <> 'ACTIVE' THEN
        PERFORM refuse(-3, format('Item %s is %s.', v_product.item_no, lower(v_product.status)));
    END IF;
    RETURN v_product;
END
$$;

-- A grade typed on the handheld, in upper case; NULL when blank, refused when
-- it is not a known grade.
CREATE FUNCTION stk_grade(p_grade text)
RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_grade text := nullif(upper(btrim(coalesce(p_grade, ''))), '');
BEGIN
    IF v_grade IS NOT NULL AND NOT EXISTS (SELECT 1 FROM parameter_tbl t
                                           WHERE t.param_table = 'GRADE' AND t.param_code = v_grade) THEN
        PERFORM refuse(-1, format('Grade %s is not a known grade.', v_grade));
    END IF;
    RETURN v_grade;
END
$$;

-- The unit to keep stock of a product in: the one given, which must be one
-- of the product's units, or the product's lowest unit when none is given.
CREATE FUNCTION stk_check_uom(p_product product, p_uom text)
RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_uom text := upper(btrim(coalesce(p_uom, '')));
BEGIN
    IF v_uom = '' THEN
        RETURN p_product.lowest_uom;
    END IF;
    IF NOT EXISTS (SELECT 1 FROM product_uom u
                   WHERE u.client = p_product.client AND u.item_no = p_product.item_no AND u.uom = v_uom) THEN
        PERFORM refuse(-1, format('%s is not a unit of item %s.', v_uom, p_product.item_no));
    END IF;
    RETURN v_uom;
END
$$;

------------------------------------------------------------------------------
-- Stock relocation and pallet updates
------------------------------------------------------------------------------

-- Move part or all of one stock line to another location of its warehouse.
-- The moved units leave their pallet and carton and stand loose at the
-- destination. The pallet, location, client, item and unit given must be
-- those of the line (blank ones are not checked).
CREATE PROCEDURE rf_item_relocation(p_pallet text, p_warehouse text, p_location text, p_destination text,
                                    p_client text, p_item_no text, p_rec_num text, p_qty text, p_uom text,
                                    p_operator text, INOUT sqlstatus integer DEFAULT NULL,
                                    INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator text;
    v_rec_num  bigint;
    v_qty      numeric;
    v_line     stock%ROWTYPE;
    v_dest     location%ROWTYPE;
BEGIN
    v_operator := active_operator(p_operator);
    v_line := stk_line_to_move(p_rec_num);
    v_rec_num := v_line.rec_num;
    v_qty := stk_number(p_qty, 'Quantity', true);
    IF coalesce(btrim(p_client), '') NOT IN ('', v_line.client)
       OR coalesce(btrim(p_item_no), '') NOT IN ('', v_line.item_no) THEN
        PERFORM refuse(-2, format('Stock line %s holds item %s of client %s.', v_rec_num, v_line.item_no,
                                  v_line.client));
    END IF;
    IF upper(coalesce(btrim(p_uom), '')) NOT IN ('', v_line.uom) THEN
        PERFORM refuse(-1, format('Stock line %s is kept in %s, not %s.', v_rec_num, v_line.uom,
                                  upper(btrim(p_uom))));
    END IF;
    IF coalesce(btrim(p_pallet), '') <> '' AND stk_pallet(p_pallet) IS DISTINCT FROM v_line.pallet THEN
        PERFORM refuse(-2, format('Stock line %s is not on pallet %s.', v_rec_num, btrim(p_pallet)));
    END IF;
    IF coalesce(btrim(p_warehouse), '') NOT IN ('', v_line.warehouse)
       OR coalesce(btrim(p_location), '') NOT IN ('', v_line.location) THEN
        PERFORM refuse(-2, format('Stock line %s is in %s/%s.', v_rec_num, v_line.warehouse,
                                  v_line.location));
    END IF;
    IF coalesce(btrim(p_destination), '') = '' THEN
        PERFORM refuse(-1, 'Destination location is required.');
    END IF;
    v_dest := stk_location(v_line.warehouse, p_destination);

    PERFORM stk_move_line(v_rec_num, v_qty, v_dest.warehouse, v_dest.location, NULL, NULL, NULL, NULL,
                          'RELOCATE', 'Item relocation', NULL, v_operator);
    sqlstatus := 0;
    sqlmsg := format('%s %s of %s moved from %s to %s.', qty_text(v_qty), v_line.uom, v_line.item_no,
                     v_line.location, v_dest.location);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Item not moved');
END
$$;

-- Move part or all of one stock line to a warehouse and location, onto a
-- pallet (blank: loose; a new label is registered) and into a new grade
-- (blank: kept). A pallet standing in another location cannot take it.
CREATE PROCEDURE rf_item_relocation2(p_rec_num text, p_warehouse text, p_location text, p_pallet text,
                                     p_qty text, p_grade text, p_operator text,
                                     INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator text;
    v_rec_num  bigint;
    v_qty      numeric;
    v_line     stock%ROWTYPE;
    v_dest     location%ROWTYPE;
    v_pallet   text;
    v_grade    text;
    v_elsewhere text;
BEGIN
    v_operator := active_operator(p_operator);
    v_line := stk_line_to_move(p_rec_num);
    v_rec_num := v_line.rec_num;
    v_qty := stk_number(p_qty, 'Quantity', true);
    v_dest := stk_location(coalesce(nullif(btrim(p_warehouse), ''), v_line.warehouse), p_location);
    v_grade := stk_grade(p_grade);
    IF coalesce(btrim(p_pallet), '') <> '' THEN
        v_pallet := stk_pallet(p_pallet);
        IF v_pallet IS NULL THEN
            v_pallet := ensure_pallet(p_pallet, v_line.client, v_operator);
        END IF;
        SELECT s.warehouse || '/' || s.location INTO v_elsewhere
        FROM stock s
        WHERE s.pallet = v_pallet AND s.qty > 0 AND s.status <> 'DESPATCHED' AND s.rec_num <> v_rec_num
          AND (s.warehouse, s.location) <> (v_dest.warehouse, v_dest.location)
        LIMIT 1;
        IF FOUND THEN
            PERFORM refuse(-3, format('Pallet %s stands in %s, not in %s/%s.', v_pallet, v_elsewhere,
                                      v_dest.warehouse, v_dest.location));
        END IF;
    END IF;

    PERFORM stk_move_line(v_rec_num, v_qty, v_dest.warehouse, v_dest.location, v_pallet, NULL, v_grade, NULL,
                          CASE WHEN (v_dest.warehouse, v_dest.location) = (v_line.warehouse, v_line.location)
                                    AND v_grade IS DISTINCT FROM v_line.grade AND v_grade IS NOT NULL
                               THEN 'GRADE' ELSE 'RELOCATE' END,
                          'Item relocation', NULL, v_operator);
    sqlstatus := 0;
    sqlmsg := format('%s %s of %s moved to %s/%s%s%s.', qty_text(v_qty), v_line.uom, v_line.item_no,
                     v_dest.warehouse, v_dest.location,
                     CASE WHEN v_pallet IS NOT NULL THEN ' on pallet ' || v_pallet ELSE '' END,
                     CASE WHEN v_grade IS NOT NULL AND v_grade <> v_line.grade
                          THEN ', grade ' || v_grade ELSE '' END);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Item not moved');
END
$$;

-- A stock line to move, by the number typed or handed back by the handheld:
-- refused when unknown, despatched, or still waiting for putaway.
CREATE FUNCTION stk_line_to_move(p_rec_num text)
RETURNS stock
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_rec_num bigint := stk_rec_num(p_rec_num);
    v_line    stock%ROWTYPE;
BEGIN
    SELECT s.* INTO v_line FROM stock s WHERE s.rec_num = v_rec_num AND s.status <> 'DESPATCHED';
    IF NOT FOUND THEN
        PERFORM refuse(-2, format('Stock line %s not found.', v_rec_num));
    END IF;
    IF v_line.status = 'RECEIVING' THEN
        PERFORM refuse(-3, format('Stock line %s waits for putaway; put its pallet away first.', v_rec_num));
    END IF;
    RETURN v_line;
END
$$;

-- The pallet checks shared by the two pallet moves: the stored label of a
-- pallet that holds stock which may move.
CREATE FUNCTION stk_movable_pallet(p_pallet text)
RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_pallet text := stk_known_pallet(p_pallet);
BEGIN
    IF EXISTS (SELECT 1 FROM stock s WHERE s.pallet = v_pallet AND s.qty > 0 AND s.status = 'RECEIVING') THEN
        PERFORM refuse(-3, format('Pallet %s waits for putaway; put it away first.', v_pallet));
    END IF;
    RETURN v_pallet;
END
$$;

-- Move a whole pallet to another location of the warehouse it is in.
CREATE PROCEDURE rf_location_transfer(p_pallet text, p_warehouse text, p_destination text, p_operator text,
                                      INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator  text;
    v_pallet    text;
    v_warehouse text;
    v_from      text;
    v_dest      location%ROWTYPE;
    v_lines     integer;
BEGIN
    v_operator := active_operator(p_operator);
    v_pallet := stk_movable_pallet(p_pallet);
    SELECT s.warehouse, s.location INTO v_warehouse, v_from
    FROM stock s
    WHERE s.pallet = v_pallet AND s.qty > 0 AND s.status <> 'DESPATCHED'
    LIMIT 1;
    IF NOT FOUND THEN
        PERFORM refuse(-3, format('Pallet %s holds no stock.', v_pallet));
    END IF;
    IF coalesce(btrim(p_warehouse), '') NOT IN ('', v_warehouse) THEN
        PERFORM refuse(-2, format('Pallet %s is in warehouse %s, not %s.', v_pallet, v_warehouse,
                                  btrim(p_warehouse)));
    END IF;
    IF coalesce(btrim(p_destination), '') = '' THEN
        PERFORM refuse(-1, 'Destination location is required.');
    END IF;
    v_dest := stk_location(v_warehouse, p_destination);
    v_lines := stk_move_pallet(v_pallet, v_dest.warehouse, v_dest.location, NULL, NULL, 'RELOCATE',
                               'Location transfer', v_operator);
    sqlstatus := 0;
    sqlmsg := format('Pallet %s moved from %s to %s (%s stock line%s).', v_pallet, v_from, v_dest.location,
                     v_lines, CASE WHEN v_lines = 1 THEN '' ELSE 's' END);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Pallet not moved');
END
$$;

-- Move a whole pallet to a warehouse and location, regrading its stock when a
-- grade is given.
CREATE PROCEDURE rf_pallet_relocation(p_pallet text, p_warehouse text, p_location text, p_grade text,
                                      p_operator text, INOUT sqlstatus integer DEFAULT NULL,
                                      INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator text;
    v_pallet   text;
    v_grade    text;
    v_from     text;
    v_dest     location%ROWTYPE;
    v_lines    integer;
BEGIN
    v_operator := active_operator(p_operator);
    v_pallet := stk_movable_pallet(p_pallet);
    SELECT s.warehouse INTO v_from
    FROM stock s
    WHERE s.pallet = v_pallet AND s.qty > 0 AND s.status <> 'DESPATCHED'
    LIMIT 1;
    v_dest := stk_location(coalesce(nullif(btrim(p_warehouse), ''), v_from), p_location);
    v_grade := stk_grade(p_grade);
    v_lines := stk_move_pallet(v_pallet, v_dest.warehouse, v_dest.location, v_grade, NULL, 'RELOCATE',
                               'Pallet relocation', v_operator);
    sqlstatus := 0;
    sqlmsg := format('Pallet %s moved to %s/%s (%s stock line%s)%s.', v_pallet, v_dest.warehouse,
                     v_dest.location, v_lines, CASE WHEN v_lines = 1 THEN '' ELSE 's' END,
                     CASE WHEN v_grade IS NOT NULL THEN ', grade ' || v_grade ELSE '' END);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Pallet not moved');
END
$$;

-- Move a carton with all its stock to a warehouse and location. The carton
-- leaves the pallet it was on.
CREATE FUNCTION rf_relocate_carton(p_warehouse text, p_location text, p_client text, p_carton_no text,
                                   p_operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_client   text := btrim(coalesce(p_client, ''));
    v_carton   text := btrim(coalesce(p_carton_no, ''));
    v_operator text;
    v_box      carton%ROWTYPE;
    v_dest     location%ROWTYPE;
    v_line     record;
    v_lines    integer := 0;
BEGIN
    v_operator := active_operator(p_operator);
    IF v_client = '' OR v_carton = '' THEN
        PERFORM refuse(-1, 'Client and carton number are required.');
    END IF;
    SELECT c.* INTO v_box FROM carton c WHERE c.client = v_client AND c.carton_no = v_carton FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-2, format('Carton %s not found for client %s.', v_carton, v_client));
    END IF;
    IF v_box.status = 'DESPATCHED' THEN
        PERFORM refuse(-3, format('Carton %s has been despatched.', v_carton));
    END IF;
    v_dest := stk_location(coalesce(nullif(btrim(p_warehouse), ''), v_box.warehouse),
                           p_location);
    IF EXISTS (SELECT 1 FROM stock s
               WHERE s.client = v_client AND s.carton_no = v_carton AND s.qty > 0 AND s.status = 'RECEIVING') THEN
        PERFORM refuse(-3, format('Carton %s waits for putaway; put its pallet away first.', v_carton));
    END IF;
    IF EXISTS (SELECT 1 FROM stock s
               WHERE s.client = v_client AND s.carton_no = v_carton AND s.qty > 0 AND s.qty_booked > 0) THEN
        PERFORM refuse(-3, format('Carton %s holds stock booked for open tasks; finish them first.',
                                  v_carton));
    END IF;

    FOR v_line IN
        SELECT s.rec_num, s.qty
        FROM stock s
        WHERE s.client = v_client AND s.carton_no = v_carton AND s.qty > 0 AND s.status <> 'DESPATCHED'
        ORDER BY s.rec_num
    LOOP
        PERFORM stk_move_line(v_line.rec_num, v_line.qty, v_dest.warehouse, v_dest.location, NULL, v_carton,
                              NULL, NULL, 'RELOCATE', 'Carton relocation', NULL, v_operator);
        v_lines := v_lines + 1;
    END LOOP;

    UPDATE carton c
    SET warehouse = v_dest.warehouse, location = v_dest.location, pallet = NULL, maker = v_operator,
        last_update = localtimestamp(0)
    WHERE c.client = v_client AND c.carton_no = v_carton;

    RETURN QUERY SELECT 0, format('Carton %s moved to %s/%s (%s stock line%s).', v_carton, v_dest.warehouse,
                                  v_dest.location, v_lines, CASE WHEN v_lines = 1 THEN '' ELSE 's' END);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Carton not moved');
END
$$;

-- Correct the unit and quantity of one stock line, with the document that
-- justifies it. The quantity may not go below 0 nor below what tasks have
-- booked; serial-controlled stock is corrected through its serial numbers.
CREATE PROCEDURE rf_update_pallet_location_qty(p_rec_num text, p_new_uom text, p_new_qty text, p_docref text,
                                               p_operator text, INOUT sqlstatus integer DEFAULT NULL,
                                               INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator text;
    v_rec_num  bigint;
    v_qty      numeric;
    v_docref   text := btrim(coalesce(p_docref, ''));
    v_line     stock%ROWTYPE;
    v_product  product%ROWTYPE;
    v_uom      text;
    v_old_luom numeric;
    v_new_luom numeric;
    v_before   numeric;
    v_change   numeric;
BEGIN
    v_operator := active_operator(p_operator);
    v_rec_num := stk_rec_num(p_rec_num);
    v_qty := stk_number(p_new_qty, 'Quantity');
    IF v_qty IS NULL THEN
        PERFORM refuse(-1, 'New quantity is required.');
    END IF;
    IF v_qty < 0 THEN
        PERFORM refuse(-4, format('Quantity %s refused: stock cannot be negative.', qty_text(v_qty)));
    END IF;
    IF v_docref = '' THEN
        PERFORM refuse(-1, 'Document reference is required for a quantity correction.');
    END IF;
    SELECT s.* INTO v_line FROM stock s WHERE s.rec_num = v_rec_num FOR UPDATE;
    IF NOT FOUND OR v_line.status = 'DESPATCHED' THEN
        PERFORM refuse(-2, format('Stock line %s not found.', v_rec_num));
    END IF;
    IF v_line.status IN ('RECEIVING', 'PICKED') THEN
        PERFORM refuse(-3, format('Stock line %s is %s and cannot be corrected here.', v_rec_num,
                                  CASE v_line.status WHEN 'RECEIVING' THEN 'waiting for putaway'
                                                     ELSE 'picked for order ' || v_line.so_no END));
    END IF;
    PERFORM stk_location_open(v_line.warehouse, v_line.location);
    SELECT p.* INTO v_product FROM product p WHERE p.client = v_line.client AND p.item_no = v_line.item_no;
    v_uom := CASE WHEN coalesce(btrim(p_new_uom), '') = '' THEN v_line.uom
                  ELSE stk_check_uom(v_product, p_new_uom) END;
    SELECT u.luom_equivalent INTO v_old_luom
    FROM product_uom u WHERE u.client = v_line.client AND u.item_no = v_line.item_no AND u.uom = v_line.uom;
    SELECT u.luom_equivalent INTO v_new_luom
    FROM product_uom u WHERE u.client = v_line.client AND u.item_no = v_line.item_no AND u.uom = v_uom;
    -- The line's quantity before, and the change, in the new unit.
    v_before := trim_scale(round(v_line.qty * v_old_luom / v_new_luom, 6));
    v_change := v_qty - v_before;
    IF v_qty * v_new_luom < v_line.qty_booked * v_old_luom THEN
        PERFORM refuse(-4, format('Quantity %s %s is below the %s %s booked on stock line %s.',
                                  qty_text(v_qty), v_uom, qty_text(v_line.qty_booked), v_line.uom, v_rec_num));
    END IF;
    IF v_product.serial_no_flag = 'Y' AND v_change <> 0 THEN
        PERFORM refuse(-3, format('Item %s is serial controlled; correct its serial numbers instead.',
                                  v_line.item_no));
    END IF;
    IF v_uom = v_line.uom AND v_qty = v_line.qty THEN
        sqlstatus := 0;
        sqlmsg := format('Stock line %s already holds %s %s; nothing changed.', v_rec_num, qty_text(v_qty), v_uom);
        RETURN;
    END IF;

    UPDATE stock s
    SET uom = v_uom, qty = v_qty, qty_booked = trim_scale(round(s.qty_booked * v_old_luom / v_new_luom, 6)),
        maker = v_operator,
        last_update = localtimestamp(0)
    WHERE s.rec_num = v_rec_num;

    INSERT INTO stock_movement (movement_type, client, item_no, rec_num, rec_num_to, uom, qty, qty_before,
                                qty_after, warehouse_from, location_from, pallet_from, carton_from, grade,
                                reference, operator)
    VALUES ('ADJUST', v_line.client, v_line.item_no, v_rec_num, v_rec_num, v_uom, v_change, v_before, v_qty,
            v_line.warehouse, v_line.location, v_line.pallet, v_line.carton_no, v_line.grade, v_docref, v_operator);

    sqlstatus := 0;
    sqlmsg := format('Stock line %s corrected from %s %s to %s %s (%s).', v_rec_num, qty_text(v_line.qty),
                     v_line.uom, qty_text(v_qty), v_uom, v_docref);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Quantity not corrected');
END
$$;

-- Draw the next pallet label ('P', six digits, a check character) for a
-- client and, when given, a customer. NULL when the client or customer is
-- unknown (the handheld then shows no number).
CREATE PROCEDURE rf_next_pallet_no(p_client text, p_customer text, INOUT pallet text DEFAULT NULL)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_client   text := nullif(btrim(coalesce(p_client, '')), '');
    v_customer text := nullif(btrim(coalesce(p_customer, '')), '');
BEGIN
    pallet := NULL;
    IF v_client IS NULL OR NOT EXISTS (SELECT 1 FROM client c WHERE c.client = v_client) THEN
        RETURN;
    END IF;
    IF v_customer IS NOT NULL
       AND NOT EXISTS (SELECT 1 FROM customer c WHERE c.client = v_client AND c.customer = v_customer) THEN
        RETURN;
    END IF;
    pallet := issue_pallet(v_client, v_customer, NULL);
EXCEPTION
    WHEN OTHERS THEN
        pallet := NULL;
END
$$;

-- Create stock of a product in a location (loose, available), with the
-- reference of the document that justifies it.
CREATE FUNCTION rf_create_stock(p_warehouse text, p_location text, p_client text, p_item_no text, p_grade text,
                                p_uom text, p_qty numeric, p_ref_no text, p_operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, rec_num bigint)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator text;
    v_product  product%ROWTYPE;
    v_location location%ROWTYPE;
    v_uom      text;
    v_grade    text := upper(btrim(coalesce(p_grade, '')));
    v_qty      numeric := p_qty;
    v_ref      text := btrim(coalesce(p_ref_no, ''));
    v_rec_num  bigint;
BEGIN
    v_operator := active_operator(p_operator);
    v_product := stk_product(p_client, p_item_no);
    v_location := stk_location(p_warehouse, p_location);
    IF v_location.location_type IN ('RECEIVING', 'DESPATCH') THEN
        PERFORM refuse(-5, format('Location %s is a %s location; stock is created in storage.',
                                  v_location.location, lower(v_location.location_type)));
    END IF;
    PERFORM stk_location_open(v_location.warehouse, v_location.location);
    v_uom := stk_check_uom(v_product, p_uom);
    IF v_qty IS NULL THEN
        PERFORM refuse(-1, 'Quantity is required.');
    END IF;
    IF v_qty <= 0 THEN
        PERFORM refuse(-4, format('Quantity %s refused: created stock needs a quantity above 0.',
                                  qty_text(v_qty)));
    END IF;
    IF v_product.serial_no_flag = 'Y' THEN
        PERFORM refuse(-3, format('Item %s is serial controlled; receive it with its serial numbers.',
                                  v_product.item_no));
    END IF;
    IF v_ref = '' THEN
        PERFORM refuse(-1, 'Reference is required for created stock.');
    END IF;
    IF v_grade = '' THEN
        v_grade := v_product.default_grade;
    END IF;

    INSERT INTO stock (client, item_no, warehouse, location, uom, qty, qty_rcvd, grade, status, maker,
                       last_update)
    VALUES (v_product.client, v_product.item_no, v_location.warehouse, v_location.location, v_uom, v_qty,
            v_qty, v_grade, 'AVAILABLE', v_operator, localtimestamp(0))
    RETURNING stock.rec_num INTO v_rec_num;

    INSERT INTO stock_movement (movement_type, client, item_no, rec_num, rec_num_to, uom, qty, qty_before,
                                qty_after, warehouse_to, location_to, grade, reference, operator)
    VALUES ('CREATE', v_product.client, v_product.item_no, v_rec_num, v_rec_num, v_uom, v_qty, 0, v_qty,
            v_location.warehouse, v_location.location, v_grade, v_ref, v_operator);

    RETURN QUERY SELECT 0, format('%s %s of %s created in %s as stock line %s.', qty_text(v_qty), v_uom,
                                  v_product.item_no, v_location.location, v_rec_num), v_rec_num;
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Stock not created'),
                            NULL::bigint;
END
$$;

-- Put a serial number on a pallet: the pallet must hold the item, and a
-- stock line may not carry more serial numbers than units. A serial number
-- unknown so far is registered in stock.
CREATE PROCEDURE rf_update_serial_pallet(p_client text, p_item_no text, p_serial_no text, p_pallet text,
                                         p_operator text, INOUT sqlstatus integer DEFAULT NULL,
                                         INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator text;
    v_product  product%ROWTYPE;
    v_serial   text := btrim(coalesce(p_serial_no, ''));
    v_pallet   text;
    v_known    serial_number%ROWTYPE;
    v_line     stock%ROWTYPE;
BEGIN
    v_operator := active_operator(p_operator);
    v_product := stk_product(p_client, p_item_no);
    IF v_serial = '' THEN
        PERFORM refuse(-1, 'Serial number is required.');
    END IF;
    v_pallet := stk_known_pallet(p_pallet);
    SELECT n.* INTO v_known
    FROM serial_number n
    WHERE n.client = v_product.client AND n.item_no = v_product.item_no AND n.serial_no = v_serial
    FOR UPDATE;
    IF FOUND AND v_known.status IN ('PICKED', 'DESPATCHED', 'DELETED') THEN
        PERFORM refuse(-3, format('Serial number %s is %s.', v_serial, lower(v_known.status)));
    END IF;
    IF FOUND AND v_known.pallet = v_pallet THEN
        sqlstatus := 0;
        sqlmsg := format('Serial number %s is already on pallet %s.', v_serial, v_pallet);
        RETURN;
    END IF;

    -- The pallet's line of this item that still has room for a serial number.
    SELECT s.* INTO v_line
    FROM stock s
    WHERE s.pallet = v_pallet AND s.client = v_product.client AND s.item_no = v_product.item_no
      AND s.qty > 0 AND s.status NOT IN ('PICKED', 'DESPATCHED')
      AND (SELECT count(*) FROM serial_number n
           WHERE n.rec_num = s.rec_num AND n.status IN ('RECEIVED', 'INSTOCK')) < s.qty
    ORDER BY s.rec_num
    LIMIT 1;
    IF NOT FOUND THEN
        IF EXISTS (SELECT 1 FROM stock s
                   WHERE s.pallet = v_pallet AND s.client = v_product.client AND s.item_no = v_product.item_no
                     AND s.qty > 0 AND s.status NOT IN ('PICKED', 'DESPATCHED')) THEN
            PERFORM refuse(-4, format('Pallet %s already has a serial number for every unit of %s.',
                                      v_pallet, v_product.item_no));
        END IF;
        PERFORM refuse(-3, format('Pallet %s holds no %s.', v_pallet, v_product.item_no));
    END IF;

    INSERT INTO serial_number AS n (client, item_no, serial_no, status, rec_num, pallet, warehouse, location,
                                    receipt_no, receipt_line, receipt_date, supplier, maker)
    VALUES (v_product.client, v_product.item_no, v_serial,
            CASE WHEN v_line.status = 'RECEIVING' THEN 'RECEIVED' ELSE 'INSTOCK' END, v_line.rec_num,
            v_pallet, v_line.warehouse, v_line.location, v_line.receipt_no, v_line.receipt_line,
            v_line.receipt_date, v_line.supplier, v_operator)
    ON CONFLICT ON CONSTRAINT serial_number_pkey DO UPDATE
    SET rec_num = excluded.rec_num, pallet = excluded.pallet, warehouse = excluded.warehouse,
        location = excluded.location, maker = excluded.maker, last_update = localtimestamp(0);

    INSERT INTO serial_event (client, item_no, serial_no, event, reference, operator)
    VALUES (v_product.client, v_product.item_no, v_serial, 'PALLET', v_pallet, v_operator);

    sqlstatus := 0;
    sqlmsg := format('Serial number %s put on pallet %s.', v_serial, v_pallet);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Serial number not put on the pallet');
END
$$;

------------------------------------------------------------------------------
-- Cartons
------------------------------------------------------------------------------

-- Pack qty of an item (of a batch, when given) lying in a location into a
-- new carton there, taking the earliest expiring stock first. Stock already
-- in a carton, booked, picked or waiting for putaway is not taken.
CREATE FUNCTION rf_create_carton(p_warehouse text, p_location text, p_client text, p_item_no text,
                                 p_batch_no text, p_qty numeric, p_uom text, p_carton_no text, p_operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, carton_no text)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator text;
    v_product  product%ROWTYPE;
    v_location location%ROWTYPE;
    v_uom      text;
    v_batch    text := btrim(coalesce(p_batch_no, ''));
    v_carton   text := btrim(coalesce(p_carton_no, ''));
    v_qty      numeric := p_qty;
    v_left     numeric;
    v_take     numeric;
    v_have     numeric;
    v_line     record;
BEGIN
    v_operator := active_operator(p_operator);
    v_product := stk_product(p_client, p_item_no);
    v_location := stk_location(p_warehouse, p_location);
    v_uom := stk_check_uom(v_product, p_uom);
    IF v_carton = '' THEN
        PERFORM refuse(-1, 'Carton number is required.');
    END IF;
    IF EXISTS (SELECT 1 FROM carton c WHERE c.client = v_product.client AND c.carton_no = v_carton) THEN
        PERFORM refuse(-3, format('Carton %s already exists.', v_carton));
    END IF;
    IF v_qty IS NULL THEN
        PERFORM refuse(-1, 'Quantity is required.');
    END IF;
    IF v_qty <= 0 THEN
        PERFORM refuse(-4, format('Quantity %s refused: a carton needs a quantity above 0.', qty_text(v_qty)));
    END IF;
    SELECT coalesce(sum(s.qty - s.qty_booked), 0) INTO v_have
    FROM stock s
    WHERE s.client = v_product.client AND s.item_no = v_product.item_no AND s.uom = v_uom
      AND s.warehouse = v_location.warehouse AND s.location = v_location.location AND s.carton_no IS NULL
      AND s.status IN ('AVAILABLE', 'HOLD') AND (v_batch = '' OR s.batch_no = v_batch);
    IF v_qty > v_have THEN
        PERFORM refuse(-4, format('Cannot pack %s %s of %s: %s holds only %s %s%s outside cartons.',
                                  qty_text(v_qty), v_uom, v_product.item_no, v_location.location,
                                  qty_text(v_have), v_uom,
                                  CASE WHEN v_batch <> '' THEN ' of batch ' || v_batch ELSE '' END));
    END IF;

    INSERT INTO carton (client, carton_no, warehouse, location, maker)
    VALUES (v_product.client, v_carton, v_location.warehouse, v_location.location, v_operator);

    v_left := v_qty;
    FOR v_line IN
        SELECT s.rec_num, s.qty - s.qty_booked AS free, s.pallet
        FROM stock s
        WHERE s.client = v_product.client AND s.item_no = v_product.item_no AND s.uom = v_uom
          AND s.warehouse = v_location.warehouse AND s.location = v_location.location AND s.carton_no IS NULL
          AND s.status IN ('AVAILABLE', 'HOLD') AND (v_batch = '' OR s.batch_no = v_batch)
          AND s.qty - s.qty_booked > 0
        ORDER BY s.expiry_date NULLS LAST, s.rec_num
    LOOP
        EXIT WHEN v_left <= 0;
        v_take := least(v_left, v_line.free);
        PERFORM stk_move_line(v_line.rec_num, v_take, v_location.warehouse, v_location.location, v_line.pallet,
                              v_carton, NULL, NULL, 'SPLIT', 'Carton created', NULL, v_operator);
        v_left := v_left - v_take;
    END LOOP;

    RETURN QUERY SELECT 0, format('Carton %s created with %s %s of %s.', v_carton, qty_text(v_qty), v_uom,
                                  v_product.item_no), v_carton;
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Carton not created'),
                            NULL::text;
END
$$;

-- Record that a carton label stands in a location. A label not known yet is
-- registered as an empty carton there; a carton whose stock stands in
-- another location is moved with rf_relocate_carton instead.
CREATE FUNCTION rf_map_carton(p_warehouse text, p_location text, p_client text, p_carton_no text,
                              p_operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator text;
    v_client   text := btrim(coalesce(p_client, ''));
    v_carton   text := btrim(coalesce(p_carton_no, ''));
    v_location location%ROWTYPE;
    v_box      carton%ROWTYPE;
    v_where    text;
BEGIN
    v_operator := active_operator(p_operator);
    IF v_client = '' OR v_carton = '' THEN
        PERFORM refuse(-1, 'Client and carton number are required.');
    END IF;
    IF NOT EXISTS (SELECT 1 FROM client c WHERE c.client = v_client) THEN
        PERFORM refuse(-2, format('Client %s not found.', v_client));
    END IF;
    v_location := stk_location(p_warehouse, p_location);

    SELECT c.* INTO v_box FROM carton c WHERE c.client = v_client AND c.carton_no = v_carton FOR UPDATE;
    IF NOT FOUND THEN
        INSERT INTO carton (client, carton_no, warehouse, location, status, maker)
        VALUES (v_client, v_carton, v_location.warehouse, v_location.location, 'EMPTY', v_operator);
        RETURN QUERY SELECT 0, format('Carton %s registered in %s/%s.', v_carton, v_location.warehouse,
                                      v_location.location);
        RETURN;
    END IF;
    IF v_box.status = 'DESPATCHED' THEN
        PERFORM refuse(-3, format('Carton %s has been despatched.', v_carton));
    END IF;
    SELECT s.warehouse || '/' || s.location INTO v_where
    FROM stock s
    WHERE s.client = v_client AND s.carton_no = v_carton AND s.qty > 0 AND s.status <> 'DESPATCHED'
      AND (s.warehouse, s.location) <> (v_location.warehouse, v_location.location)
    LIMIT 1;
    IF FOUND THEN
        PERFORM refuse(-3, format('Carton %s holds stock in %s; relocate the carton to move it.', v_carton,
                                  v_where));
    END IF;
    UPDATE carton c
    SET warehouse = v_location.warehouse, location = v_location.location, maker = v_operator,
        last_update = localtimestamp(0)
    WHERE c.client = v_client AND c.carton_no = v_carton;
    RETURN QUERY SELECT 0, format('Carton %s mapped to %s/%s.', v_carton, v_location.warehouse,
                                  v_location.location);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Carton not mapped');
END
$$;

-- Move child_qty out of a carton holding one stock line into a new child
-- carton beside it (its parent_carton_no names the carton it came from).
CREATE FUNCTION rf_split_carton(p_client text, p_parent_carton_no text, p_child_carton_no text,
                                p_child_qty numeric, p_operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
    v_operator text;
    v_client   text := btrim(coalesce(p_client, ''));
    v_parent   text := btrim(coalesce(p_parent_carton_no, ''));
    v_child    text := btrim(coalesce(p_child_carton_no, ''));
    v_qty      numeric := p_child_qty;
    v_box      carton%ROWTYPE;
    v_lines    integer;
    v_line     stock%ROWTYPE;
BEGIN
    v_operator := active_operator(p_operator);
    IF v_client = '' OR v_parent = '' OR v_child = '' THEN
        PERFORM refuse(-1, 'Client, parent carton and child carton are required.');
    END IF;
    IF v_parent = v_child THEN
        PERFORM refuse(-1, 'The child carton needs a label of its own.');
    END IF;
    SELECT c.* INTO v_box FROM carton c WHERE c.client = v_client AND c.carton_no = v_parent FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-2, format('Carton %s not found for client %s.', v_parent, v_client));
    END IF;
    IF EXISTS (SELECT 1 FROM carton c WHERE c.client = v_client AND c.carton_no = v_child) THEN
        PERFORM refuse(-3, format('Carton %s already exists.', v_child));
    END IF;
    IF v_qty IS NULL THEN
        PERFORM refuse(-1, 'Child quantity is required.');
    END IF;
    IF v_qty <= 0 THEN
        PERFORM refuse(-4, format('Quantity %s refused: a split needs a quantity above 0.', qty_text(v_qty)));
    END IF;
    SELECT count(*) INTO v_lines
    FROM stock s
    WHERE s.client = v_client AND s.carton_no = v_parent AND s.qty > 0 AND s.status <> 'DESPATCHED';
    IF v_lines = 0 THEN
        PERFORM refuse(-3, format('Carton %s holds no stock.', v_parent));
    END IF;
    IF v_lines > 1 THEN
        PERFORM refuse(-3, format('Carton %s holds %s stock lines; a split by quantity needs a single line.',
                                  v_parent, v_lines));
    END IF;
    SELECT s.* INTO v_line
    FROM stock s
    WHERE s.client = v_client AND s.carton_no = v_parent AND s.qty > 0 AND s.status <> 'DESPATCHED';
    IF v_line.status IN ('RECEIVING', 'PICKED') THEN
        PERFORM refuse(-3, format('Carton %s is %s and cannot be split.', v_parent,
                                  CASE v_line.status WHEN 'RECEIVING' THEN 'waiting for putaway'
                                                     ELSE 'picked for order ' || v_line.so_no END));
    END IF;

    INSERT INTO carton (client, carton_no, warehouse, location, pallet, parent_carton_no, maker)
    VALUES (v_client, v_child, v_line.warehouse, v_line.location, v_box.pallet, v_parent, v_operator);
    -- Refuses a quantity above what the carton has available.
    PERFORM stk_move_line(v_line.rec_num, v_qty, v_line.warehouse, v_line.location, v_line.pallet, v_child,
                          NULL, NULL, 'SPLIT', 'Carton split from ' || v_parent, NULL, v_operator);

    RETURN QUERY SELECT 0, format('%s %s of %s moved from carton %s to carton %s; %s %s left.', qty_text(v_qty),
                                  v_line.uom, v_line.item_no, v_parent, v_child, qty_text(v_line.qty - v_qty),
                                  v_line.uom);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Carton not split');
END
$$;

-- The stock lines of a carton, one row each; no rows for an unknown carton.
CREATE FUNCTION rf_query_carton(p_client text, p_carton_no text, p_operator text)
RETURNS TABLE (item_no text, description text, carton_no text, parent_carton_no text, warehouse text,
               location text, pallet text, rec_num bigint, uom text, qty numeric, qty_avail numeric,
               grade text, lot_no text, batch_no text, expiry_date date, status text)
LANGUAGE sql STABLE AS $$
    SELECT s.item_no, p.description, c.carton_no, c.parent_carton_no, s.warehouse, s.location, s.pallet,
           s.rec_num, s.uom, s.qty, s.qty_avail, s.grade, s.lot_no, s.batch_no, s.expiry_date, s.status
    FROM carton c
    JOIN stock s ON s.client = c.client AND s.carton_no = c.carton_no
    JOIN product p ON p.client = s.client AND p.item_no = s.item_no
    WHERE c.client = btrim($1) AND c.carton_no = btrim($2) AND s.qty > 0 AND s.status <> 'DESPATCHED'
    ORDER BY s.item_no, s.rec_num;
$$;

-- The stock lines of a carton with their full attributes. Every row carries
-- sqlstatus 0 and the carton's warehouse and location; an unknown or empty
-- carton gives one row with a negative sqlstatus and the reason.
CREATE FUNCTION rf_get_carton_items(p_client text, p_carton_no text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, warehouse text, location text, rec_num bigint, client text,
               item_no text, "Description" text, uom text, qty_avail numeric, grade text, lot_no text,
               batch_no text, expiry_date date, supplier text, owner text, prod_date date, item_size text,
               item_color text, item_class text, item_width numeric, item_depth numeric, item_height numeric,
               item_weight numeric, "Status" text, maker text, last_update timestamp, "Currency" text,
               unit_cost numeric, ppq_packing text, ppq_qty numeric, serial_no_flag text, num_serial integer)
LANGUAGE plpgsql STABLE AS $$
#variable_conflict use_column
DECLARE
    v_client text := btrim(coalesce($1, ''));
    v_carton text := btrim(coalesce($2, ''));
BEGIN
    IF NOT EXISTS (SELECT 1 FROM carton c WHERE c.client = v_client AND c.carton_no = v_carton) THEN
        RETURN QUERY SELECT -2, format('Carton %s not found for client %s.', v_carton, v_client),
                            NULL::text, NULL::text, NULL::bigint, v_client, NULL::text, NULL::text, NULL::text,
                            NULL::numeric, NULL::text, NULL::text, NULL::text, NULL::date, NULL::text,
                            NULL::text, NULL::date, NULL::text, NULL::text, NULL::text, NULL::numeric,
                            NULL::numeric, NULL::numeric, NULL::numeric, NULL::text, NULL::text,
                            NULL::timestamp, NULL::text, NULL::numeric, NULL::text, NULL::numeric, NULL::text,
                            NULL::integer;
        RETURN;
    END IF;
    RETURN QUERY
    SELECT 0, 'Carton found.'::text, c.warehouse, c.location, s.rec_num, s.client, s.item_no, p.description,
           s.uom, s.qty_avail, s.grade, s.lot_no, s.batch_no, s.expiry_date, s.supplier, s.owner, s.prod_date,
           s.item_size, s.item_color, s.item_class, s.item_width, s.item_depth, s.item_height, s.item_weight,
           s.status, s.maker, s.last_update::timestamp, s.currency, s.unit_cost, s.ppq_packing, s.ppq_qty,
           p.serial_no_flag, p.num_serial
    FROM carton c
    JOIN stock s ON s.client = c.client AND s.carton_no = c.carton_no
    JOIN product p ON p.client = s.client AND p.item_no = s.item_no
    WHERE c.client = v_client AND c.carton_no = v_carton AND s.qty > 0 AND s.status <> 'DESPATCHED'
    ORDER BY s.rec_num;
    IF NOT FOUND THEN
        RETURN QUERY SELECT -3, format('Carton %s is empty.', v_carton), c.warehouse, c.location, NULL::bigint,
                            v_client, NULL::text, NULL::text, NULL::text, NULL::numeric, NULL::text, NULL::text,
                            NULL::text, NULL::date, NULL::text, NULL::text, NULL::date, NULL::text, NULL::text,
                            NULL::text, NULL::numeric, NULL::numeric, NULL::numeric, NULL::numeric, NULL::text,
                            NULL::text, NULL::timestamp, NULL::text, NULL::numeric, NULL::text, NULL::numeric,
                            NULL::text, NULL::integer
                     FROM carton c
                     WHERE c.client = v_client AND c.carton_no = v_carton;
    END IF;
END
$$;
