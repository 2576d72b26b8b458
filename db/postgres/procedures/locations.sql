-- Location and pallet enquiries: what a location and a pallet hold, which
-- locations and pallets match a typed beginning, where a product is stored
-- (with grades), the stock records of a product and the serial numbers of a
-- location or a pallet. They only read.
--
-- Stock "held" in a place is every stock line there that is not despatched
-- and has a quantity. Typed beginnings match case-blind ("a-0" finds A-01-1);
-- every other code is matched exactly after trimming, and an empty argument
-- is no filter where the routine says so.

SELECT drop_routines('rf_get_location_items', 'rf_get_location_cartons', 'rf_get_location_serial_nos',
                     'get_matching_location', 'get_matching_location_pallet',
                     'rf_get_warehouse_location_pallet', 'rf_get_item_locations',
                     'rf_get_item_locations_grade', 'rf_get_item_recnums', 'rf_get_pallet_items',
                     'rf_get_pallet_items3', 'rf_get_pallet_carton_items3', 'rf_get_pallet_location',
                     'rf_get_pallet_serial_nos', 'rf_get_matching_pallet', 'rf_get_matching_pallet2');
DROP VIEW IF EXISTS held_stock_v;

-- Held stock lines with the product's description and the dimensions of the
-- line, taken from the product's unit where the line carries none.
CREATE VIEW held_stock_v AS
SELECT s.*,
       p.description                           AS item_description,
       p.serial_no_flag,
       p.num_serial,
       coalesce(s.item_width, u.item_width)   AS width,
       coalesce(s.item_depth, u.item_depth)   AS depth,
       coalesce(s.item_height, u.item_height) AS height,
       coalesce(s.item_weight, u.item_weight) AS weight,
       l.zone,
       l.area
FROM stock s
JOIN product p ON p.client = s.client AND p.item_no = s.item_no
JOIN product_uom u ON u.client = s.client AND u.item_no = s.item_no AND u.uom = s.uom
JOIN location l ON l.warehouse = s.warehouse AND l.location = s.location
WHERE s.status <> 'DESPATCHED' AND s.qty > 0;

------------------------------------------------------------------------------
-- Locations
------------------------------------------------------------------------------

-- Every held line in a location (cartons included). No location, no rows.
CREATE FUNCTION rf_get_location_items(warehouse text, location text)
RETURNS TABLE (rec_num bigint, client text, item_no text, item_description text, pallet text,
               carton_no text, uom text, qty numeric, qty_rcvd numeric, qty_avail numeric,
               qty_booked numeric, grade text, lot_no text, batch_no text, supplier text,
               owner text, expiry_date date, prod_date date, item_size text, item_color text,
               item_class text, item_width numeric, item_depth numeric, item_height numeric,
               item_weight numeric, "Status" text)
LANGUAGE sql STABLE AS $$
    SELECT h.rec_num, h.client, h.item_no, h.item_description, h.pallet, h.carton_no, h.uom, h.qty,
           h.qty_rcvd, h.qty_avail, h.qty_booked, h.grade, h.lot_no, h.batch_no, h.supplier,
           h.owner, h.expiry_date, h.prod_date, h.item_size, h.item_color, h.item_class, h.width,
           h.depth, h.height, h.weight, h.status
    FROM held_stock_v h
    WHERE h.warehouse = btrim($1) AND h.location = btrim($2)
    ORDER BY h.item_no, h.pallet NULLS LAST, h.carton_no NULLS LAST, h.rec_num;
$$;

-- The held lines of a location that are in cartons.
CREATE FUNCTION rf_get_location_cartons(warehouse text, location text)
RETURNS TABLE (rec_num bigint, client text, item_no text, item_description text, pallet_no text,
               carton_no text, uom text, qty numeric, qty_rcvd numeric, qty_avail numeric,
               qty_booked numeric, grade text, lot_no text, batch_no text, supplier text,
               owner text, expiry_date date, prod_date date)
LANGUAGE sql STABLE AS $$
    SELECT h.rec_num, h.client, h.item_no, h.item_description, h.pallet, h.carton_no, h.uom, h.qty,
           h.qty_rcvd, h.qty_avail, h.qty_booked, h.grade, h.lot_no, h.batch_no, h.supplier,
           h.owner, h.expiry_date, h.prod_date
    FROM held_stock_v h
    WHERE h.warehouse = btrim($1) AND h.location = btrim($2) AND h.carton_no IS NOT NULL
    ORDER BY h.carton_no, h.item_no, h.rec_num;
$$;

-- Serial numbers in stock in a location, of one client and item when given.
-- A unit is where its stock line is; one without a stock line is where it
-- was last recorded.
CREATE FUNCTION rf_get_location_serial_nos(warehouse text, location text, client text, item_no text)
RETURNS TABLE (serial_no text, client text, item_no text, pallet text, rec_num bigint, status text,
               warranty_no text, warranty_end date)
LANGUAGE sql STABLE AS $$
    SELECT n.serial_no, n.client, n.item_no, coalesce(s.pallet, n.pallet), n.rec_num, n.status,
           n.warranty_no, n.warranty_end
    FROM serial_number n
    LEFT JOIN stock s ON s.rec_num = n.rec_num
    WHERE n.status IN ('RECEIVED', 'INSTOCK')
      AND coalesce(s.warehouse, n.warehouse) = btrim($1)
      AND coalesce(s.location, n.location) = btrim($2)
      AND (nullif(btrim($3), '') IS NULL OR n.client = btrim($3))
      AND (nullif(btrim($4), '') IS NULL OR n.item_no = btrim($4))
    ORDER BY n.client, n.item_no, n.serial_no;
$$;

-- Locations of a warehouse (every warehouse when none is given) whose code
-- begins with the typed text (every location when it is empty).
CREATE FUNCTION get_matching_location(warehouse text, location text)
RETURNS TABLE (location text, zone text, warehouse text, area text, location_type text, status text)
LANGUAGE sql STABLE AS $$
    SELECT l.location, l.zone, l.warehouse, l.area, l.location_type, l.status
    FROM location l
    WHERE (nullif(btrim($1), '') IS NULL OR l.warehouse = btrim($1))
      AND starts_with(upper(l.location), upper(coalesce(btrim($2), '')))
    ORDER BY l.location, l.warehouse;
$$;

-- Pallets held in the locations whose code begins with the typed text.
CREATE FUNCTION get_matching_location_pallet(warehouse text, location text)
RETURNS TABLE (pallet text, warehouse text, location text, zone text, client text, lines bigint,
               qty numeric)
LANGUAGE sql STABLE AS $$
    SELECT h.pallet, h.warehouse, h.location, min(h.zone), min(h.client), count(*), sum(h.qty)
    FROM held_stock_v h
    WHERE h.pallet IS NOT NULL
      AND (nullif(btrim($1), '') IS NULL OR h.warehouse = btrim($1))
      AND starts_with(upper(h.location), upper(coalesce(btrim($2), '')))
    GROUP BY h.pallet, h.warehouse, h.location
    ORDER BY h.location, h.pallet;
$$;

-- The pallets held in a warehouse, in one location when given, whose label
-- begins with the typed text (every pallet when it is empty).
CREATE FUNCTION rf_get_warehouse_location_pallet(warehouse text, location text, pallet text)
RETURNS TABLE (pallet text, warehouse text, location text, client text, items text, lines bigint,
               qty numeric)
LANGUAGE sql STABLE AS $$
    SELECT h.pallet, h.warehouse, h.location, min(h.client),
           string_agg(DISTINCT h.item_no, ',' ORDER BY h.item_no), count(*), sum(h.qty)
    FROM held_stock_v h
    WHERE h.pallet IS NOT NULL
      AND (nullif(btrim($1), '') IS NULL OR h.warehouse = btrim($1))
      AND (nullif(btrim($2), '') IS NULL OR h.location = btrim($2))
      AND starts_with(upper(h.pallet), upper(coalesce(btrim($3), '')))
    GROUP BY h.pallet, h.warehouse, h.location
    ORDER BY h.warehouse, h.location, h.pallet;
$$;

------------------------------------------------------------------------------
-- Products
------------------------------------------------------------------------------

-- Where a client's product is held, line by line, in one warehouse or all.
-- Loose stock (cartons in pick faces) has no pallet.
CREATE FUNCTION rf_get_item_locations(warehouse text, client text, item_no text)
RETURNS TABLE (warehouse text, location text, pallet text, uom text, qty numeric, "Status" text,
               rec_num bigint, carton_no text, grade text, qty_avail numeric)
LANGUAGE sql STABLE AS $$
    SELECT h.warehouse, h.location, h.pallet, h.uom, h.qty, h.status, h.rec_num, h.carton_no,
           h.grade, h.qty_avail
    FROM held_stock_v h
    WHERE (nullif(btrim($1), '') IS NULL OR h.warehouse = btrim($1))
      AND h.client = btrim($2) AND h.item_no = btrim($3)
    ORDER BY h.warehouse, h.location, h.pallet NULLS LAST, h.rec_num;
$$;

-- Where a product is held, per place, pallet, grade, unit and status.
CREATE FUNCTION rf_get_item_locations_grade(warehouse text, client text, item_no text)
RETURNS TABLE (item_no text, warehouse text, location text, zone text, pallet text, grade text,
               uom text, qty numeric, qty_avail numeric, status text, lines bigint)
LANGUAGE sql STABLE AS $$
    SELECT h.item_no, h.warehouse, h.location, h.zone, h.pallet, h.grade, h.uom, sum(h.qty),
           sum(h.qty_avail), h.status, count(*)
    FROM held_stock_v h
    WHERE (nullif(btrim($1), '') IS NULL OR h.warehouse = btrim($1))
      AND h.client = btrim($2) AND h.item_no = btrim($3)
    GROUP BY h.item_no, h.warehouse, h.location, h.zone, h.pallet, h.grade, h.uom, h.status
    ORDER BY h.grade, h.warehouse, h.location, h.pallet NULLS LAST;
$$;

-- The held stock lines of a product.
CREATE FUNCTION rf_get_item_recnums(client text, item_no text, warehouse text)
RETURNS TABLE (rec_num bigint, pallet text, location text, warehouse text, carton_no text,
               "Status" text, qty numeric, qty_avail numeric, qty_booked numeric, uom text,
               grade text, lot_no text, batch_no text, supplier text, customer text,
               item_size text, item_color text, item_class text, prod_date date,
               expiry_date date, receipt_date date, origin_country text)
LANGUAGE sql STABLE AS $$
    SELECT h.rec_num, h.pallet, h.location, h.warehouse, h.carton_no, h.status, h.qty, h.qty_avail,
           h.qty_booked, h.uom, h.grade, h.lot_no, h.batch_no, h.supplier, h.customer,
           h.item_size, h.item_color, h.item_class, h.prod_date, h.expiry_date, h.receipt_date,
           h.origin_country
    FROM held_stock_v h
    WHERE h.client = btrim($1) AND h.item_no = btrim($2)
      AND (nullif(btrim($3), '') IS NULL OR h.warehouse = btrim($3))
    ORDER BY h.rec_num;
$$;

------------------------------------------------------------------------------
-- Pallets
------------------------------------------------------------------------------

-- What a pallet holds, each line carrying the pallet's place and a status:
-- 0 with the lines; otherwise one row with a negative status, the reason and
-- nothing else (-1 no label, -2 unknown pallet, -3 nothing held on it).
CREATE FUNCTION rf_get_pallet_items(pallet text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, warehouse text, location text, rec_num bigint,
               client text, item_no text, "Description" text, uom text, qty numeric,
               qty_avail numeric, grade text, lot_no text, batch_no text, expiry_date date,
               supplier text, owner text, prod_date date, item_size text, item_color text,
               item_class text, item_width numeric, item_depth numeric, item_height numeric,
               item_weight numeric, "Status" text, maker text, last_update timestamp(0),
               "Currency" text, unit_cost numeric, ppq_packing text, ppq_qty numeric,
               serial_no_flag text, num_serial integer, carton_no text)
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_pallet text := nullif(btrim(rf_get_pallet_items.pallet), '');
    v_lines  integer;
BEGIN
    IF v_pallet IS NULL THEN
        RETURN QUERY SELECT -1, 'Pallet label is required.'::text, NULL::text, NULL::text, NULL::bigint,
            NULL::text, NULL::text, NULL::text, NULL::text, NULL::numeric, NULL::numeric, NULL::text,
            NULL::text, NULL::text, NULL::date, NULL::text, NULL::text, NULL::date, NULL::text,
            NULL::text, NULL::text, NULL::numeric, NULL::numeric, NULL::numeric, NULL::numeric,
            NULL::text, NULL::text, NULL::timestamp(0), NULL::text, NULL::numeric, NULL::text,
            NULL::numeric, NULL::text, NULL::integer, NULL::text;
        RETURN;
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pallet p WHERE p.pallet = v_pallet) THEN
        RETURN QUERY SELECT -2, format('Pallet %s not found.', v_pallet), NULL::text, NULL::text,
            NULL::bigint, NULL::text, NULL::text, NULL::text, NULL::text, NULL::numeric,
            NULL::numeric, NULL::text, NULL::text, NULL::text, NULL::date, NULL::text, NULL::text,
            NULL::date, NULL::text, NULL::text, NULL::text, NULL::numeric, NULL::numeric,
            NULL::numeric, NULL::numeric, NULL::text, NULL::text, NULL::timestamp(0), NULL::text,
            NULL::numeric, NULL::text, NULL::numeric, NULL::text, NULL::integer, NULL::text;
        RETURN;
    END IF;
    SELECT count(*) INTO v_lines FROM held_stock_v h WHERE h.pallet = v_pallet;
    IF v_lines = 0 THEN
        RETURN QUERY SELECT -3, format('Pallet %s holds no stock.', v_pallet), NULL::text, NULL::text,
            NULL::bigint, NULL::text, NULL::text, NULL::text, NULL::text, NULL::numeric,
            NULL::numeric, NULL::text, NULL::text, NULL::text, NULL::date, NULL::text, NULL::text,
            NULL::date, NULL::text, NULL::text, NULL::text, NULL::numeric, NULL::numeric,
            NULL::numeric, NULL::numeric, NULL::text, NULL::text, NULL::timestamp(0), NULL::text,
            NULL::numeric, NULL::text, NULL::numeric, NULL::text, NULL::integer, NULL::text;
        RETURN;
    END IF;
    RETURN QUERY
    SELECT 0, format('Pallet %s holds %s line%s.', v_pallet, v_lines, CASE WHEN v_lines = 1 THEN '' ELSE 's' END),
           h.warehouse, h.location, h.rec_num, h.client, h.item_no, h.item_description, h.uom, h.qty,
           h.qty_avail, h.grade, h.lot_no, h.batch_no, h.expiry_date, h.supplier, h.owner,
           h.prod_date, h.item_size, h.item_color, h.item_class, h.width, h.depth, h.height,
           h.weight, h.status, h.maker, h.last_update, h.currency, h.unit_cost::numeric,
           h.ppq_packing, h.ppq_qty, h.serial_no_flag, h.num_serial, h.carton_no
    FROM held_stock_v h
    WHERE h.pallet = v_pallet
    ORDER BY h.rec_num;
END
$$;

-- The held lines of a pallet with their full attributes.
CREATE FUNCTION rf_get_pallet_items3(pallet text)
RETURNS TABLE (rec_num bigint, client text, item_no text, item_description text, uom text,
               qty numeric, qty_rcvd numeric, qty_avail numeric, qty_booked numeric, grade text,
               lot_no text, batch_no text, supplier text, owner text, receipt_date date,
               expiry_date date, prod_date date, item_size text, item_color text,
               item_class text, item_width numeric, item_depth numeric, item_height numeric,
               item_weight numeric, ppq_packing text, ppq_qty numeric, "Currency" text,
               unit_cost numeric, warehouse text, location text, carton_no text)
LANGUAGE sql STABLE AS $$
    SELECT h.rec_num, h.client, h.item_no, h.item_description, h.uom, h.qty, h.qty_rcvd,
           h.qty_avail, h.qty_booked, h.grade, h.lot_no, h.batch_no, h.supplier, h.owner,
           h.receipt_date, h.expiry_date, h.prod_date, h.item_size, h.item_color, h.item_class,
           h.width, h.depth, h.height, h.weight, h.ppq_packing, h.ppq_qty, h.currency, h.unit_cost,
           h.warehouse, h.location, h.carton_no
    FROM held_stock_v h
    WHERE h.pallet = btrim($1)
    ORDER BY h.rec_num;
$$;

-- A client's held lines on a pallet, carton by carton (loose lines last).
CREATE FUNCTION rf_get_pallet_carton_items3(client text, pallet_no text)
RETURNS TABLE (rec_num bigint, client text, item_no text, item_description text, uom text,
               qty numeric, qty_rcvd numeric, qty_avail numeric, qty_booked numeric, grade text,
               lot_no text, batch_no text, supplier text, owner text, receipt_date date,
               expiry_date date, prod_date date, item_size text, item_color text,
               item_class text, item_width numeric, item_depth numeric, item_height numeric,
               item_weight numeric, ppq_packing text, ppq_qty numeric, "Currency" text,
               unit_cost numeric, carton_no text, warehouse text, location text)
LANGUAGE sql STABLE AS $$
    SELECT h.rec_num, h.client, h.item_no, h.item_description, h.uom, h.qty, h.qty_rcvd,
           h.qty_avail, h.qty_booked, h.grade, h.lot_no, h.batch_no, h.supplier, h.owner,
           h.receipt_date, h.expiry_date, h.prod_date, h.item_size, h.item_color, h.item_class,
           h.width, h.depth, h.height, h.weight, h.ppq_packing, h.ppq_qty, h.currency, h.unit_cost,
           h.carton_no, h.warehouse, h.location
    FROM held_stock_v h
    WHERE h.client = btrim($1) AND h.pallet = btrim($2)
    ORDER BY h.carton_no NULLS LAST, h.rec_num;
$$;

-- Where a pallet stands: status 0 and its place; 1 when its lines stand in
-- more than one place (the first is answered, the message names them all);
-- negative with the reason otherwise (-1 no label, -2 unknown pallet,
-- -3 despatched, -4 nothing held on it).
CREATE FUNCTION rf_get_pallet_location(pallet text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, warehouse text, location text, zone text)
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_pallet text := nullif(btrim(rf_get_pallet_location.pallet), '');
    v_status text;
    v_places text[];
    v_first  record;
BEGIN
    IF v_pallet IS NULL THEN
        RETURN QUERY SELECT -1, 'Pallet label is required.'::text, NULL::text, NULL::text, NULL::text;
        RETURN;
    END IF;
    SELECT p.status INTO v_status FROM pallet p WHERE p.pallet = v_pallet;
    IF NOT FOUND THEN
        RETURN QUERY SELECT -2, format('Pallet %s not found.', v_pallet), NULL::text, NULL::text, NULL::text;
        RETURN;
    END IF;
    IF v_status = 'DESPATCHED' THEN
        RETURN QUERY SELECT -3, format('Pallet %s was despatched.', v_pallet), NULL::text, NULL::text, NULL::text;
        RETURN;
    END IF;
    SELECT array_agg(DISTINCT h.warehouse || ' ' || h.location) INTO v_places
    FROM held_stock_v h
    WHERE h.pallet = v_pallet;
    IF v_places IS NULL THEN
        RETURN QUERY SELECT -4, format('Pallet %s holds no stock.', v_pallet), NULL::text, NULL::text, NULL::text;
        RETURN;
    END IF;
    SELECT h.warehouse, h.location, h.zone INTO v_first
    FROM held_stock_v h
    WHERE h.pallet = v_pallet
    ORDER BY h.warehouse, h.location
    LIMIT 1;
    IF cardinality(v_places) = 1 THEN
        RETURN QUERY SELECT 0, format('Pallet %s is in %s %s.', v_pallet, v_first.warehouse, v_first.location),
            v_first.warehouse, v_first.location, v_first.zone;
    ELSE
        RETURN QUERY SELECT 1, format('Pallet %s stands in %s places: %s.', v_pallet, cardinality(v_places),
                                      array_to_string(v_places, ', ')),
            v_first.warehouse, v_first.location, v_first.zone;
    END IF;
END
$$;

-- The serial numbers in stock on a pallet, of one client and item when
-- given. location_mode 'Y': those of the whole place the pallet stands in,
-- loose units and other pallets included.
CREATE FUNCTION rf_get_pallet_serial_nos(pallet text, client text, item_no text, location_mode text)
RETURNS TABLE (serial_no text, client text, item_no text, pallet text, warehouse text,
               location text, rec_num bigint, status text)
LANGUAGE sql STABLE AS $$
    WITH unit AS (
        SELECT n.serial_no, n.client, n.item_no, coalesce(s.pallet, n.pallet) AS pallet,
               coalesce(s.warehouse, n.warehouse) AS warehouse,
               coalesce(s.location, n.location) AS location, n.rec_num, n.status
        FROM serial_number n
        LEFT JOIN stock s ON s.rec_num = n.rec_num
        WHERE n.status IN ('RECEIVED', 'INSTOCK')
    ),
    place AS (
        SELECT DISTINCT h.warehouse, h.location FROM held_stock_v h WHERE h.pallet = btrim($1)
    )
    SELECT u.serial_no, u.client, u.item_no, u.pallet, u.warehouse, u.location, u.rec_num, u.status
    FROM unit u
    WHERE (CASE WHEN upper(btrim(coalesce($4, ''))) = 'Y'
                THEN EXISTS (SELECT 1 FROM place p WHERE p.warehouse = u.warehouse AND p.location = u.location)
                ELSE u.pallet = btrim($1) END)
      AND (nullif(btrim($2), '') IS NULL OR u.client = btrim($2))
      AND (nullif(btrim($3), '') IS NULL OR u.item_no = btrim($3))
    ORDER BY u.item_no, u.serial_no;
$$;

-- Pallets not despatched whose label begins with the typed text, with the
-- place they stand in (none for an empty pallet).
CREATE FUNCTION rf_get_matching_pallet(pallet text)
RETURNS TABLE (pallet text, client text, warehouse text, location text, lines bigint, qty numeric,
               status text)
LANGUAGE sql STABLE AS $$
    SELECT p.pallet, p.client, h.warehouse, h.location, coalesce(h.lines, 0), coalesce(h.qty, 0),
           p.status
    FROM pallet p
    LEFT JOIN LATERAL (
        SELECT min(x.warehouse) AS warehouse, min(x.location) AS location, count(*) AS lines,
               sum(x.qty) AS qty
        FROM held_stock_v x
        WHERE x.pallet = p.pallet
        HAVING count(*) > 0
    ) h ON true
    WHERE p.status <> 'DESPATCHED'
      AND starts_with(upper(p.pallet), upper(coalesce(btrim($1), '')))
    ORDER BY p.pallet;
$$;

-- Pallets held in a warehouse whose label begins with the typed text.
CREATE FUNCTION rf_get_matching_pallet2(pallet text, warehouse text)
RETURNS TABLE (pallet text, client text, warehouse text, location text, lines bigint, qty numeric)
LANGUAGE sql STABLE AS $$
    SELECT h.pallet, min(h.client), h.warehouse, min(h.location), count(*), sum(h.qty)
    FROM held_stock_v h
    WHERE h.pallet IS NOT NULL
      AND h.warehouse = btrim($2)
      AND starts_with(upper(h.pallet), upper(coalesce(btrim($1), '')))
    GROUP BY h.pallet, h.warehouse
    ORDER BY h.pallet;
$$;
