-- Routines of product and serial-number enquiries: product master data,
-- owners, units and packing, products found by key, description or barcode,
-- new barcodes and two-level unit dimensions; serial numbers traced through
-- their history, listed by product, warranty and pallet, warranty numbers
-- recorded and serial numbers deleted.

SELECT drop_routines('pr_operator_may', 'pr_like_pattern', 'rf_get_product_info', 'rf_get_product_description',
                     'rf_get_product_owner', 'rf_get_product_uom', 'rf_get_product_uom_2_level',
                     'rf_update_product_uom_2_level', 'rf_update_product_barcode', 'get_packing_qty',
                     'get_matching_product2', 'rf_get_barcode_item_no', 'rf_get_serial_no',
                     'rf_get_serial_warranty_nos', 'rf_get_serial_products', 'rf_get_available_serial_nos',
                     'rf_update_serial_warranty', 'rf_delete_serial_no');

------------------------------------------------------------------------------
-- Helpers
------------------------------------------------------------------------------

-- Functions whose answer has a column named like one of their inputs name
-- their inputs p_<name> (a routine cannot have both); the engine passes them
-- by position.

-- May this operator see the client's goods? An empty operator is not asked
-- about (enquiries made without one).
CREATE FUNCTION pr_operator_may(p_operator text, p_client text)
RETURNS boolean
LANGUAGE sql STABLE AS $$
    SELECT coalesce(btrim(p_operator), '') = '' OR operator_works_for(p_operator, p_client);
$$;

-- A LIKE pattern for a typed search text: the text matches anywhere, "*"
-- stands for any characters, and "%", "_" and "\" match themselves.
CREATE FUNCTION pr_like_pattern(p_text text)
RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT '%' || replace(regexp_replace(coalesce(btrim(p_text), ''), '([%_\\])', '\\\1', 'g'), '*', '%') || '%';
$$;

------------------------------------------------------------------------------
-- Products
------------------------------------------------------------------------------

-- A product's master data (the enquiry names of product_info_v).
CREATE FUNCTION rf_get_product_info(client text, item_no text)
RETURNS SETOF product_info_v
LANGUAGE sql STABLE AS $$
    SELECT v.* FROM product_info_v v WHERE v.client = btrim($1) AND v.item_no = btrim($2);
$$;

-- A product's master data by its item number, else by its alternate code,
-- else by one of its barcodes.
CREATE FUNCTION rf_get_product_description(client text, item_no text)
RETURNS SETOF product_info_v
LANGUAGE sql STABLE AS $$
    SELECT v.*
    FROM product_info_v v
    JOIN (SELECT p.item_no, 1 AS rank FROM product p WHERE p.client = btrim($1) AND p.item_no = btrim($2)
          UNION ALL
          SELECT p.item_no, 2 FROM product p WHERE p.client = btrim($1) AND p.alternate_code = btrim($2)
          UNION ALL
          SELECT b.item_no, 3 FROM barcode b WHERE b.client = btrim($1) AND b.barcode = btrim($2)) AS m
      ON v.client = btrim($1) AND v.item_no = m.item_no
    ORDER BY m.rank, v.item_no
    LIMIT 1;
$$;

-- The customers who own stock of a product.
CREATE FUNCTION rf_get_product_owner(client text, item_no text)
RETURNS TABLE (customer text, customer_name text)
LANGUAGE sql STABLE AS $$
    SELECT o.customer, c.customer_name
    FROM product_owner o
    JOIN customer c ON c.client = o.client AND c.customer = o.customer
    WHERE o.client = btrim($1) AND o.item_no = btrim($2)
    ORDER BY o.customer;
$$;

-- The units of a product, lowest first (one unit when uom is given).
CREATE FUNCTION rf_get_product_uom(p_client text, p_item_no text, p_uom text)
RETURNS TABLE (uom text, description text, uom_type text, uom_sequence integer, lowest_uom text,
               luom_equivalent numeric, child_uom text, child_uom_qty numeric, item_height numeric,
               item_width numeric, item_depth numeric, item_volume numeric, item_weight numeric)
LANGUAGE sql STABLE AS $$
    SELECT u.uom, t.description, t.uom_type, u.uom_sequence, p.lowest_uom, u.luom_equivalent, u.child_uom,
           u.child_uom_qty, u.item_height, u.item_width, u.item_depth, u.item_volume, u.item_weight
    FROM product p
    JOIN product_uom u ON u.client = p.client AND u.item_no = p.item_no
    JOIN uom t ON t.uom = u.uom
    WHERE p.client = btrim($1) AND p.item_no = btrim($2)
      AND (coalesce(btrim($3), '') = '' OR u.uom = btrim($3))
    ORDER BY u.uom_sequence;
$$;

-- The two levels of a product: the pallet level (the unit of type PALLET)
-- and the unit it holds. sqlstatus -1 when the product has no pallet level
-- (the item fields then show its highest unit). No row for an unknown
-- product.
CREATE FUNCTION rf_get_product_uom_2_level(client text, item_no text)
RETURNS TABLE (sqlstatus integer, sqlmsg text, item_uom text, item_height numeric, item_width numeric,
               item_depth numeric, item_weight numeric, pallet_uom text, pallet_width numeric,
               pallet_depth numeric, pallet_qty numeric)
LANGUAGE sql STABLE AS $$
    WITH p AS (
        SELECT p.client, p.item_no FROM product p WHERE p.client = btrim($1) AND p.item_no = btrim($2)
    ), plt AS (
        SELECT u.*
        FROM p
        JOIN product_uom u ON u.client = p.client AND u.item_no = p.item_no
        JOIN uom t ON t.uom = u.uom AND t.uom_type = 'PALLET'
        ORDER BY u.uom_sequence DESC
        LIMIT 1
    ), inner_unit AS (
        SELECT u.*
        FROM p
        JOIN product_uom u ON u.client = p.client AND u.item_no = p.item_no
        WHERE u.uom = coalesce((SELECT plt.child_uom FROM plt),
                               (SELECT max(x.uom) FILTER (WHERE x.uom_sequence = m.top)
                                FROM product_uom x
                                CROSS JOIN (SELECT max(y.uom_sequence) AS top FROM product_uom y
                                            WHERE y.client = p.client AND y.item_no = p.item_no) AS m
                                WHERE x.client = p.client AND x.item_no = p.item_no))
    )
    SELECT CASE WHEN plt.uom IS NULL THEN -1 ELSE 0 END,
           CASE WHEN plt.uom IS NULL THEN format('Item %s has no pallet level.', p.item_no)
                ELSE format('%s %s per %s.', trim_scale(plt.child_uom_qty), plt.child_uom, plt.uom) END,
           i.uom, i.item_height, i.item_width, i.item_depth, i.item_weight,
           plt.uom, plt.item_width, plt.item_depth, plt.child_uom_qty
    FROM p
    LEFT JOIN inner_unit i ON true
    LEFT JOIN plt ON true;
$$;

-- Record the dimensions of a two-level product: the size and weight of the
-- inner unit (its volume follows, in cubic metres from centimetres) and the
-- footprint of the pallet level with how many inner units it holds. The
-- pallet level's equivalent in lowest units follows from the new quantity;
-- it may not change while stock is held in pallet units.
CREATE FUNCTION rf_update_product_uom_2_level(client text, item_no text, item_uom text, item_height numeric,
                                              item_width numeric, item_depth numeric, item_weight numeric,
                                              pallet_width numeric, pallet_depth numeric, pallet_qty numeric,
                                              operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
DECLARE
    v_client   text := nullif(btrim(rf_update_product_uom_2_level.client), '');
    v_item     text := nullif(btrim(rf_update_product_uom_2_level.item_no), '');
    v_uom      text := nullif(btrim(rf_update_product_uom_2_level.item_uom), '');
    v_operator text;
    v_h        numeric := rf_update_product_uom_2_level.item_height;
    v_w        numeric := rf_update_product_uom_2_level.item_width;
    v_d        numeric := rf_update_product_uom_2_level.item_depth;
    v_kg       numeric := rf_update_product_uom_2_level.item_weight;
    v_pw       numeric := rf_update_product_uom_2_level.pallet_width;
    v_pd       numeric := rf_update_product_uom_2_level.pallet_depth;
    v_pq       numeric := rf_update_product_uom_2_level.pallet_qty;
    v_inner    product_uom%ROWTYPE;
    v_plt      product_uom%ROWTYPE;
    v_eq       numeric;
BEGIN
    v_operator := active_operator(rf_update_product_uom_2_level.operator, rf_update_product_uom_2_level.client);
    IF v_client IS NULL OR v_item IS NULL OR v_uom IS NULL THEN
        PERFORM refuse(-2, 'Client, item and unit are required.');
    END IF;
    IF v_h IS NULL OR v_w IS NULL OR v_d IS NULL OR v_kg IS NULL OR v_pw IS NULL OR v_pd IS NULL OR v_pq IS NULL THEN
        PERFORM refuse(-3, 'Every dimension and the pallet quantity are required.');
    END IF;
    IF least(v_h, v_w, v_d, v_kg, v_pw, v_pd) < 0 THEN
        PERFORM refuse(-4, 'Dimensions and weight cannot be negative.');
    END IF;
    IF v_pq <= 0 OR v_pq <> trunc(v_pq) THEN
        PERFORM refuse(-5, format('Pallet quantity %s refused: a pallet holds a whole number of %s.',
                                  trim_scale(v_pq), v_uom));
    END IF;

    PERFORM 1 FROM product p WHERE p.client = v_client AND p.item_no = v_item FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-7, format('Item %s not found for client %s.', v_item, v_client));
    END IF;
    SELECT u.* INTO v_inner
    FROM product_uom u
    WHERE u.client = v_client AND u.item_no = v_item AND u.uom = v_uom
    FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-8, format('Unit %s is not a unit of item %s.', v_uom, v_item));
    END IF;
    SELECT u.* INTO v_plt
    FROM product_uom u
    JOIN uom t ON t.uom = u.uom AND t.uom_type = 'PALLET'
    WHERE u.client = v_client AND u.item_no = v_item
    ORDER BY u.uom_sequence DESC
    LIMIT 1
    FOR UPDATE OF u;
    IF NOT FOUND THEN
        PERFORM refuse(-9, format('Item %s has no pallet level.', v_item));
    END IF;
    IF v_plt.uom = v_uom OR v_inner.uom_sequence >= v_plt.uom_sequence THEN
        PERFORM refuse(-10, format('Unit %s is not below the pallet level %s.', v_uom, v_plt.uom));
    END IF;

    v_eq := v_pq * v_inner.luom_equivalent;
    IF v_eq <> v_plt.luom_equivalent
       AND EXISTS (SELECT 1 FROM stock s
                   WHERE s.client = v_client AND s.item_no = v_item AND s.uom = v_plt.uom AND s.qty > 0) THEN
        PERFORM refuse(-11, format('Stock of %s is held in %s: its pallet quantity cannot change.',
                                   v_item, v_plt.uom));
    END IF;

    UPDATE product_uom u
    SET item_height = v_h, item_width = v_w, item_depth = v_d, item_weight = v_kg,
        item_volume = round(v_h * v_w * v_d / 1000000.0, 4), maker = v_operator, last_update = localtimestamp(0)
    WHERE u.client = v_client AND u.item_no = v_item AND u.uom = v_uom;
    UPDATE product_uom u
    SET item_width = v_pw, item_depth = v_pd, child_uom = v_uom, child_uom_qty = v_pq, luom_equivalent = v_eq,
        item_volume = round(u.item_height * v_pw * v_pd / 1000000.0, 4), maker = v_operator,
        last_update = localtimestamp(0)
    WHERE u.client = v_client AND u.item_no = v_item AND u.uom = v_plt.uom;
    UPDATE product p
    SET pallet_config = format('%s %s per %s', trim_scale(v_pq), v_uom, v_plt.uom), maker = v_operator,
        last_update = localtimestamp(0)
    WHERE p.client = v_client AND p.item_no = v_item;

    RETURN QUERY SELECT 0, format('Item %s: %s %s per %s, %s recorded.', v_item, trim_scale(v_pq), v_uom, v_plt.uom,
                                  v_uom || ' ' || trim_scale(v_h) || 'x' || trim_scale(v_w) || 'x' || trim_scale(v_d));
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE),
                            failure_message(SQLSTATE, SQLERRM, 'Dimensions not recorded');
END
$$;

-- Record a barcode for a product. Barcodes are unique per client: one
-- already recorded for the product is accepted as it is, one of another
-- product is refused.
CREATE PROCEDURE rf_update_product_barcode(client text, barcode text, item_no text, remarks text, operator text,
                                           INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    v_client   text := nullif(btrim(rf_update_product_barcode.client), '');
    v_barcode  text := nullif(btrim(rf_update_product_barcode.barcode), '');
    v_item     text := nullif(btrim(rf_update_product_barcode.item_no), '');
    v_remarks  text := coalesce(btrim(rf_update_product_barcode.remarks), '');
    v_operator text;
    v_other    text;
BEGIN
    v_operator := active_operator(rf_update_product_barcode.operator, rf_update_product_barcode.client);
    IF v_client IS NULL OR v_item IS NULL THEN
        PERFORM refuse(-2, 'Client and item are required.');
    END IF;
    IF v_barcode IS NULL THEN
        PERFORM refuse(-3, 'Barcode is required.');
    END IF;
    IF v_barcode !~ '^[[:graph:]]{1,50}$' THEN
        PERFORM refuse(-4, format('Barcode %s refused: a barcode is 1 to 50 characters without blanks.', v_barcode));
    END IF;
    IF NOT EXISTS (SELECT 1 FROM product p WHERE p.client = v_client AND p.item_no = v_item) THEN
        PERFORM refuse(-6, format('Item %s not found for client %s.', v_item, v_client));
    END IF;

    INSERT INTO barcode (client, barcode, item_no, remarks, maker)
    VALUES (v_client, v_barcode, v_item, v_remarks, v_operator)
    ON CONFLICT ON CONSTRAINT barcode_pkey DO NOTHING;
    IF NOT FOUND THEN
        SELECT b.item_no INTO v_other FROM barcode b WHERE b.client = v_client AND b.barcode = v_barcode;
        IF v_other <> v_item THEN
            PERFORM refuse(-7, format('Barcode %s already belongs to item %s.', v_barcode, v_other));
        END IF;
        sqlstatus := 0;
        sqlmsg := format('Barcode %s is already recorded for item %s.', v_barcode, v_item);
        RETURN;
    END IF;

    sqlstatus := 0;
    sqlmsg := format('Barcode %s recorded for item %s.', v_barcode, v_item);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Barcode not recorded');
END
$$;

-- A quantity of a product in one unit (the lowest unit when uom is empty;
-- 1 when qty is empty) expressed in lowest units and in pallets. No row for
-- an unknown product or unit.
CREATE FUNCTION get_packing_qty(p_client text, p_item_no text, p_uom text, p_qty numeric)
RETURNS TABLE (lowest_uom text, uom text, luom_equivalent numeric, pallet_uom text, pallet_equivalent numeric,
               query_pallet_qty numeric, query_luom_qty numeric)
LANGUAGE sql STABLE AS $$
    SELECT p.lowest_uom, u.uom, u.luom_equivalent, plt.uom, plt.luom_equivalent,
           trim_scale(round(coalesce($4, 1) * u.luom_equivalent / plt.luom_equivalent, 4)),
           trim_scale(coalesce($4, 1) * u.luom_equivalent)
    FROM product p
    JOIN product_uom u ON u.client = p.client AND u.item_no = p.item_no
                      AND u.uom = coalesce(nullif(btrim($3), ''), p.lowest_uom)
    LEFT JOIN LATERAL (
        SELECT x.uom, x.luom_equivalent
        FROM product_uom x
        JOIN uom t ON t.uom = x.uom AND t.uom_type = 'PALLET'
        WHERE x.client = p.client AND x.item_no = p.item_no
        ORDER BY x.uom_sequence DESC
        LIMIT 1) AS plt ON true
    WHERE p.client = btrim($1) AND p.item_no = btrim($2);
$$;

-- Products matching a typed text: item numbers that start with it, then
-- item numbers, alternate codes and descriptions that hold it, and the
-- product of a barcode equal to it; all products of the client for an empty
-- text. status filters on the product status; an operator sees only the
-- clients they work for.
CREATE FUNCTION get_matching_product2(p_client text, p_item_no text, p_status text, p_operator text)
RETURNS TABLE (item_no text, "Description" text, alternate_code text, substitute text, lowest_uom text,
               "Category" text, product_group text, "Status" text)
LANGUAGE sql STABLE AS $$
    SELECT p.item_no, p.description, p.alternate_code, p.substitute, p.lowest_uom, p.category, p.product_group,
           p.status
    FROM product p
    WHERE p.client = btrim($1)
      AND pr_operator_may($4, p.client)
      AND (coalesce(btrim($3), '') = '' OR p.status = upper(btrim($3)))
      AND (coalesce(btrim($2), '') = ''
           OR p.item_no ILIKE pr_like_pattern($2)
           OR p.alternate_code ILIKE pr_like_pattern($2)
           OR p.description ILIKE pr_like_pattern($2)
           OR EXISTS (SELECT 1 FROM barcode b
                      WHERE b.client = p.client AND b.item_no = p.item_no AND b.barcode = btrim($2)))
    ORDER BY (p.item_no ILIKE substr(pr_like_pattern($2), 2)) DESC, p.item_no;
$$;

-- The products of a scanned code: by barcode, else by item number or
-- alternate code; over all clients when client is empty.
CREATE FUNCTION rf_get_barcode_item_no(p_client text, p_barcode_no text)
RETURNS TABLE (client text, item_no text, "Description" text, barcode text, uom text, lowest_uom text,
               luom_equivalent numeric, "Status" text, last_update timestamp(0))
LANGUAGE sql STABLE AS $$
    WITH hit AS (
        SELECT b.client, b.item_no, b.barcode, b.uom, b.last_update
        FROM barcode b
        WHERE b.barcode = btrim($2) AND (coalesce(btrim($1), '') = '' OR b.client = btrim($1))
    ), by_key AS (
        SELECT p.client, p.item_no, NULL::text AS barcode, p.lowest_uom AS uom, p.last_update
        FROM product p
        WHERE (p.item_no = btrim($2) OR p.alternate_code = btrim($2))
          AND (coalesce(btrim($1), '') = '' OR p.client = btrim($1))
          AND NOT EXISTS (SELECT 1 FROM hit)
    )
    SELECT h.client, h.item_no, p.description, h.barcode, coalesce(h.uom, p.lowest_uom), p.lowest_uom,
           u.luom_equivalent, p.status, h.last_update
    FROM (SELECT * FROM hit UNION ALL SELECT * FROM by_key) AS h
    JOIN product p ON p.client = h.client AND p.item_no = h.item_no
    JOIN product_uom u ON u.client = h.client AND u.item_no = h.item_no AND u.uom = coalesce(h.uom, p.lowest_uom)
    ORDER BY h.client, h.item_no;
$$;

------------------------------------------------------------------------------
-- Serial numbers
------------------------------------------------------------------------------

-- Serial numbers with their history: receipt, sales order, delivery,
-- pallet and works order. search_field names one more condition
-- (receipt_no, sales_order or so_no, delivery_order or do_no, pallet,
-- works_order or wo_no, customer, supplier, warranty_no, location, status)
-- that must equal search_value; with an empty field the value may match any
-- of the document fields. An unknown field matches nothing.
CREATE FUNCTION rf_get_serial_no(p_client text, p_item_no text, p_serial_no text, p_search_field text,
                                 p_search_value text)
RETURNS TABLE (client text, item_no text, serial_no text, status text, warranty_no text, warranty_start date,
               warranty_end date, receipt_no text, receipt_line integer, receipt_date date, supplier text,
               customer text, sales_order text, line_no integer, delivery_order text, delivery_date date,
               pallet text, warehouse text, location text, works_order text, task_no integer, activity integer)
LANGUAGE sql STABLE AS $$
    SELECT n.client, n.item_no, n.serial_no, n.status, n.warranty_no, n.warranty_start, n.warranty_end,
           n.receipt_no, n.receipt_line, n.receipt_date, n.supplier, n.customer, n.sales_order, n.line_no,
           n.delivery_order, n.delivery_date, n.pallet, n.warehouse, n.location, n.wo_no, n.task_no, n.activity
    FROM serial_number n
    CROSS JOIN (SELECT lower(coalesce(btrim($4), '')) AS field, nullif(btrim($5), '') AS value) AS q
    WHERE (coalesce(btrim($1), '') = '' OR n.client = btrim($1))
      AND (coalesce(btrim($2), '') = '' OR n.item_no = btrim($2))
      AND (coalesce(btrim($3), '') = '' OR n.serial_no = btrim($3))
      AND (q.value IS NULL AND q.field IN ('', 'receipt_no', 'sales_order', 'so_no', 'delivery_order', 'do_no',
                                           'pallet', 'works_order', 'wo_no', 'customer', 'supplier',
                                           'warranty_no', 'location', 'status')
           OR CASE q.field
                  WHEN '' THEN q.value IN (n.receipt_no, n.sales_order, n.delivery_order, n.pallet, n.wo_no,
                                           n.warranty_no)
                  WHEN 'receipt_no' THEN n.receipt_no = q.value
                  WHEN 'sales_order' THEN n.sales_order = q.value
                  WHEN 'so_no' THEN n.sales_order = q.value
                  WHEN 'delivery_order' THEN n.delivery_order = q.value
                  WHEN 'do_no' THEN n.delivery_order = q.value
                  WHEN 'pallet' THEN n.pallet = q.value
                  WHEN 'works_order' THEN n.wo_no = q.value
                  WHEN 'wo_no' THEN n.wo_no = q.value
                  WHEN 'customer' THEN n.customer = q.value
                  WHEN 'supplier' THEN n.supplier = q.value
                  WHEN 'warranty_no' THEN n.warranty_no = q.value
                  WHEN 'location' THEN n.location = q.value
                  WHEN 'status' THEN n.status = upper(q.value)
                  ELSE false
              END)
    ORDER BY n.client, n.item_no, n.serial_no;
$$;

-- The serial numbers of a product still held (received, in stock or
-- picked), with their warranty numbers. mode: empty or ALL, WARRANTY (or Y):
-- those with a warranty number, NOWARRANTY (or N): those without.
CREATE FUNCTION rf_get_serial_warranty_nos(client text, item_no text, mode text)
RETURNS TABLE (serial_no text, warranty_no text, warranty_start date, warranty_end date, receipt_no text,
               receipt_date date, pallet text, warehouse text, location text, status text)
LANGUAGE sql STABLE AS $$
    SELECT n.serial_no, n.warranty_no, n.warranty_start, n.warranty_end, n.receipt_no, n.receipt_date, n.pallet,
           n.warehouse, n.location, n.status
    FROM serial_number n
    CROSS JOIN (SELECT upper(coalesce(btrim($3), '')) AS mode) AS m
    WHERE n.client = btrim($1) AND n.item_no = btrim($2)
      AND n.status IN ('RECEIVED', 'INSTOCK', 'PICKED')
      AND CASE m.mode
              WHEN '' THEN true
              WHEN 'ALL' THEN true
              WHEN 'WARRANTY' THEN n.warranty_no <> ''
              WHEN 'Y' THEN n.warranty_no <> ''
              WHEN 'NOWARRANTY' THEN n.warranty_no = ''
              WHEN 'N' THEN n.warranty_no = ''
              ELSE false
          END
    ORDER BY n.serial_no;
$$;

-- The serial-controlled products of a client with their serial counts.
-- mode: empty or ALL, STOCK: only products with serial numbers in stock.
-- status filters on the product status; an operator sees only the clients
-- they work for.
CREATE FUNCTION rf_get_serial_products(client text, mode text, status text, operator text)
RETURNS TABLE (item_no text, "Description" text, num_serial integer, serials_in_stock bigint,
               serials_with_warranty bigint, "Status" text)
LANGUAGE sql STABLE AS $$
    SELECT p.item_no, p.description, p.num_serial,
           count(n.serial_no) FILTER (WHERE n.status = 'INSTOCK'),
           count(n.serial_no) FILTER (WHERE n.status IN ('RECEIVED', 'INSTOCK', 'PICKED') AND n.warranty_no <> ''),
           p.status
    FROM product p
    LEFT JOIN serial_number n ON n.client = p.client AND n.item_no = p.item_no
    WHERE p.client = btrim($1) AND p.serial_no_flag = 'Y'
      AND pr_operator_may($4, p.client)
      AND (coalesce(btrim($3), '') = '' OR p.status = upper(btrim($3)))
      AND upper(coalesce(btrim($2), '')) IN ('', 'ALL', 'STOCK')
    GROUP BY p.client, p.item_no
    HAVING upper(coalesce(btrim($2), '')) <> 'STOCK' OR count(n.serial_no) FILTER (WHERE n.status = 'INSTOCK') > 0
    ORDER BY p.item_no;
$$;

-- The serial numbers in stock on a pallet (of one product, or all when
-- item_no is empty). The pallet label may be given without its check
-- character.
CREATE FUNCTION rf_get_available_serial_nos(p_client text, p_item_no text, p_pallet text)
RETURNS TABLE (serial_no text, item_no text, pallet text, warehouse text, location text, rec_num bigint,
               receipt_date date, warranty_no text, warranty_end date)
LANGUAGE sql STABLE AS $$
    SELECT n.serial_no, n.item_no, n.pallet, n.warehouse, n.location, n.rec_num, n.receipt_date, n.warranty_no,
           n.warranty_end
    FROM serial_number n
    WHERE n.client = btrim($1) AND n.status = 'INSTOCK'
      AND n.pallet IN (btrim($3), btrim($3) || pallet_check_char(btrim($3)))
      AND (coalesce(btrim($2), '') = '' OR n.item_no = btrim($2))
    ORDER BY n.item_no, n.serial_no;
$$;

-- Record a warranty number against a serial number held or sold. A
-- warranty number names one unit of a client; the warranty starts today
-- when it had not started.
CREATE PROCEDURE rf_update_serial_warranty(client text, item_no text, serial_no text, warranty_no text,
                                           operator text, INOUT sqlstatus integer DEFAULT NULL,
                                           INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    v_client   text := nullif(btrim(rf_update_serial_warranty.client), '');
    v_item     text := nullif(btrim(rf_update_serial_warranty.item_no), '');
    v_serial   text := nullif(btrim(rf_update_serial_warranty.serial_no), '');
    v_warranty text := nullif(btrim(rf_update_serial_warranty.warranty_no), '');
    v_operator text;
    v_unit     serial_number%ROWTYPE;
    v_other    text;
BEGIN
    v_operator := active_operator(rf_update_serial_warranty.operator, rf_update_serial_warranty.client);
    IF v_client IS NULL OR v_item IS NULL OR v_serial IS NULL THEN
        PERFORM refuse(-2, 'Client, item and serial number are required.');
    END IF;
    IF v_warranty IS NULL THEN
        PERFORM refuse(-3, 'Warranty number is required.');
    END IF;

    SELECT n.* INTO v_unit
    FROM serial_number n
    WHERE n.client = v_client AND n.item_no = v_item AND n.serial_no = v_serial
    FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-5, format('Serial number %s of item %s not found.', v_serial, v_item));
    END IF;
    IF v_unit.status = 'DELETED' THEN
        PERFORM refuse(-6, format('Serial number %s has been deleted.', v_serial));
    END IF;
    SELECT n.serial_no INTO v_other
    FROM serial_number n
    WHERE n.client = v_client AND n.warranty_no = v_warranty AND n.status <> 'DELETED'
      AND (n.item_no, n.serial_no) <> (v_item, v_serial)
    LIMIT 1;
    IF v_other IS NOT NULL THEN
        PERFORM refuse(-7, format('Warranty number %s is already recorded for serial number %s.', v_warranty, v_other));
    END IF;
    IF v_unit.warranty_no = v_warranty THEN
        sqlstatus := 0;
        sqlmsg := format('Serial number %s already carries warranty %s.', v_serial, v_warranty);
        RETURN;
    END IF;

    UPDATE serial_number n
    SET warranty_no = v_warranty, warranty_start = coalesce(n.warranty_start, current_date), maker = v_operator,
        last_update = localtimestamp(0)
    WHERE n.client = v_client AND n.item_no = v_item AND n.serial_no = v_serial;
    INSERT INTO serial_event (client, item_no, serial_no, event, reference, operator)
    VALUES (v_client, v_item, v_serial, 'WARRANTY',
            CASE WHEN v_unit.warranty_no = '' THEN v_warranty ELSE v_unit.warranty_no || ' -> ' || v_warranty END,
            v_operator);

    sqlstatus := 0;
    sqlmsg := format('Warranty %s recorded for serial number %s.', v_warranty, v_serial);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Warranty not recorded');
END
$$;

-- Delete a serial number scanned by mistake: it is marked DELETED (its
-- history stays traceable) and leaves its pallet. A picked or despatched
-- unit cannot be deleted; when a pallet is given (with or without its check
-- character) the unit must be on it.
CREATE PROCEDURE rf_delete_serial_no(client text, item_no text, serial_no text, pallet text, operator text,
                                     INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    v_client   text := nullif(btrim(rf_delete_serial_no.client), '');
    v_item     text := nullif(btrim(rf_delete_serial_no.item_no), '');
    v_serial   text := nullif(btrim(rf_delete_serial_no.serial_no), '');
    v_pallet   text := nullif(btrim(rf_delete_serial_no.pallet), '');
    v_operator text;
    v_unit     serial_number%ROWTYPE;
BEGIN
    v_operator := active_operator(rf_delete_serial_no.operator, rf_delete_serial_no.client);
    IF v_client IS NULL OR v_item IS NULL OR v_serial IS NULL THEN
        PERFORM refuse(-2, 'Client, item and serial number are required.');
    END IF;

    SELECT n.* INTO v_unit
    FROM serial_number n
    WHERE n.client = v_client AND n.item_no = v_item AND n.serial_no = v_serial
    FOR UPDATE;
    IF NOT FOUND OR v_unit.status = 'DELETED' THEN
        PERFORM refuse(-4, format('Serial number %s of item %s not found.', v_serial, v_item));
    END IF;
    IF v_pallet IS NOT NULL AND v_unit.pallet IS DISTINCT FROM v_pallet
       AND v_unit.pallet IS DISTINCT FROM v_pallet || pallet_check_char(v_pallet) THEN
        PERFORM refuse(-5, format('Serial number %s is not on pallet %s.', v_serial, v_pallet));
    END IF;
    IF v_unit.status IN ('PICKED', 'DESPATCHED') THEN
        PERFORM refuse(-6, format('Serial number %s is %s for order %s and cannot be deleted.', v_serial,
                                  lower(v_unit.status), coalesce(v_unit.sales_order, '')));
    END IF;

    UPDATE serial_number n
    SET status = 'DELETED', rec_num = NULL, pallet = NULL, warehouse = NULL, location = NULL, maker = v_operator,
        last_update = localtimestamp(0)
    WHERE n.client = v_client AND n.item_no = v_item AND n.serial_no = v_serial;
    INSERT INTO serial_event (client, item_no, serial_no, event, reference, operator)
    VALUES (v_client, v_item, v_serial, 'DELETED', coalesce(v_unit.pallet, ''), v_operator);

    sqlstatus := 0;
    sqlmsg := format('Serial number %s deleted.', v_serial);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Serial number not deleted');
END
$$;
