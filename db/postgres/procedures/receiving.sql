-- Routines of receiving: receipt numbers, receipt headers, scanned lines and
-- their user-defined fields, cartons, check-in (receipt lines become stock in
-- the check-in station's receiving location, with putaway tasks), closing,
-- purchase-order and receipt look-ups, and serial numbers of received goods.
--
-- Business failures never raise to the caller: a routine answers a negative
-- sqlstatus with the reason and changes nothing (refuse() and the exception
-- block of common.sql).
--
-- Lines and expectations are compared in the product's lowest unit
-- (product_uom.luom_equivalent).

SELECT drop_routines(
    'receiving_date', 'receiving_config', 'receiving_luom',
    'receiving_qty_text', 'receiving_open_receipt', 'receiving_serials_recorded', 'receiving_prepare_line',
    'receiving_sync_asn', 'receiving_udf_pairs', 'receiving_putaway_location', 'receiving_check_in',
    'receiving_carton_list', 'receiving_record_serial', 'receiving_pallet_stored', 'receiving_new_serial',
    'rf_get_check_in_station', 'rf_next_receipt_num', 'rf_check_in_header',
    'rf_check_duplicate_receipt_detail', 'rf_check_receipt_item_qty', 'rf_receipt_check_carton',
    'receipt_checkin', 'rf_receipt_checkin_without_closing', 'rf_receipt_checkin_carton_list',
    'rf_receipt_checkin_carton_list2', 'rf_close_receipt2',
    'rf_update_receipt_detail', 'rf_delete_receipt_line', 'rf_update_receipt_detail_udf',
    'rf_receipt_item_udf', 'rf_get_receipt_detail3', 'rf_get_receipt_master', 'rf_get_receipt_type',
    'rf_get_receipt_asn_item', 'rf_get_item_closed_receipts', 'rf_get_carton_rd',
    'rf_get_open_pos', 'rf_get_open_po_items', 'rf_get_open_receipts', 'get_po_detail', 'get_po2',
    'rf_update_receipt_serial', 'rf_update_receipt_serial2', 'rf_update_receipt_serial_adjustment',
    'rf_remove_receipt_serial', 'rf_next_warrant_receipt');

------------------------------------------------------------------------------
-- Helpers
------------------------------------------------------------------------------

-- A date as typed on the handheld: yyyy-mm-dd or yyyy/mm/dd (year first), or
-- dd/mm/yyyy, dd-mm-yyyy, dd.mm.yyyy (day first), optionally followed by a
-- time. NULL for the empty text and for a text that names no day.
CREATE FUNCTION receiving_date(p_text text)
RETURNS date
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE
    t text := btrim(p_text);
    m text[];
BEGIN
    IF coalesce(t, '') = '' THEN
        RETURN NULL;
    END IF;
    t := regexp_replace(t, '[ T]\d{1,2}:\d{2}(:\d{2})?$', '');
    m := regexp_match(t, '^(\d{4})([-/])(\d{1,2})\2(\d{1,2})$');
    IF m IS NOT NULL THEN
        RETURN make_date(m[1]::integer, m[3]::integer, m[4]::integer);
    END IF;
    m := regexp_match(t, '^(\d{1,2})([-/.])(\d{1,2})\2(\d{4})$');
    IF m IS NOT NULL THEN
        RETURN make_date(m[4]::integer, m[3]::integer, m[1]::integer);
    END IF;
    RETURN NULL;
EXCEPTION
    WHEN OTHERS THEN
        RETURN NULL;
END
$$;

CREATE FUNCTION receiving_config(p_code text, p_default text)
RETURNS text
LANGUAGE sql STABLE AS $$
    SELECT coalesce((SELECT c.cfg_value FROM system_config c WHERE c.cfg_code = p_code), p_default);
$$;

-- Lowest units in one of the unit (NULL when the item has no such unit).
CREATE FUNCTION receiving_luom(p_client text, p_item_no text, p_uom text)
RETURNS numeric
LANGUAGE sql STABLE AS $$
    SELECT u.luom_equivalent
    FROM product_uom u
    WHERE u.client = p_client AND u.item_no = p_item_no AND u.uom = p_uom;
$$;

-- "24 EA", a quantity as messages show it.
CREATE FUNCTION receiving_qty_text(p_qty numeric, p_uom text)
RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT trim_scale(p_qty)::text || ' ' || coalesce(p_uom, '');
$$;

-- The receipt to work on, locked: the client known, the operator active and
-- allowed to work for the client, the receipt known and not closed.
CREATE FUNCTION receiving_open_receipt(p_client text, p_receipt_no text, p_operator text,
                                       p_allow_closed boolean DEFAULT false)
RETURNS receipt
LANGUAGE plpgsql AS $$
DECLARE
    v_client   text := btrim(p_client);
    v_receipt  text := btrim(p_receipt_no);
    r          receipt%ROWTYPE;
BEGIN
    IF coalesce(v_client, '') = '' THEN
        PERFORM refuse(-1, 'Client is required.');
    END IF;
    IF NOT EXISTS (SELECT 1 FROM client c WHERE c.client = v_client) THEN
        PERFORM refuse(-1, format('Client %s is not known.', v_client));
    END IF;
    PERFORM active_operator(p_operator, v_client);
    IF coalesce(v_receipt, '') = '' THEN
        PERFORM refuse(-3, 'Receipt number is required.');
    END IF;
    SELECT * INTO r FROM receipt rc WHERE rc.client = v_client AND rc.receipt_no = v_receipt FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-3, format('Receipt %s not found for client %s.', v_receipt, v_client));
    END IF;
    IF r.status = 'CLOSED' AND NOT p_allow_closed THEN
        PERFORM refuse(-4, format('Receipt %s is closed.', v_receipt));
    END IF;
    RETURN r;
END
$$;

-- Serial numbers recorded against a receipt line (not removed ones).
CREATE FUNCTION receiving_serials_recorded(p_client text, p_receipt_no text, p_line_no integer)
RETURNS integer
LANGUAGE sql STABLE AS $$
    SELECT count(*)::integer
    FROM serial_number sn
    WHERE sn.client = p_client AND sn.receipt_no = p_receipt_no AND sn.receipt_line = p_line_no
      AND sn.status <> 'DELETED';
$$;

-- Keep each shipping-notice line's qty_received equal to what the receipt's
-- lines hold against it (in the notice line's unit).
CREATE FUNCTION receiving_sync_asn(p_client text, p_receipt_no text)
RETURNS void
LANGUAGE sql AS $$
    UPDATE asn_line a
    SET qty_received = coalesce(
        (SELECT trim_scale(sum(rl.qty * ul.luom_equivalent) / ua.luom_equivalent)
         FROM receipt_line rl
         JOIN product_uom ul ON ul.client = rl.client AND ul.item_no = rl.item_no AND ul.uom = rl.uom
         WHERE rl.client = a.client AND rl.receipt_no = a.receipt_no AND rl.asn_line_no = a.asn_line_no),
        0)
    FROM product_uom ua
    WHERE a.client = p_client AND a.receipt_no = p_receipt_no
      AND ua.client = a.client AND ua.item_no = a.item_no AND ua.uom = a.uom;
$$;

-- User-defined fields given as "name=value" pairs separated by ";" or "|".
CREATE FUNCTION receiving_udf_pairs(p_text text)
RETURNS jsonb
LANGUAGE sql IMMUTABLE AS $$
    SELECT coalesce(jsonb_object_agg(btrim(split_part(p.pair, '=', 1)),
                                     btrim(substr(p.pair, strpos(p.pair, '=') + 1))),
                    '{}'::jsonb)
    FROM regexp_split_to_table(coalesce(p_text, ''), '[;|]') AS p(pair)
    WHERE strpos(p.pair, '=') > 1 AND btrim(split_part(p.pair, '=', 1)) <> '';
$$;

-- Where a pallet holds stock that is not the receipt's ("W1 A-01-1"); NULL
-- when it holds none.
CREATE FUNCTION receiving_pallet_stored(p_pallet text, p_client text, p_receipt_no text)
RETURNS text
LANGUAGE sql STABLE AS $$
    SELECT s.warehouse || ' ' || s.location
    FROM stock s
    WHERE s.pallet = p_pallet AND s.qty > 0 AND s.status <> 'DESPATCHED'
      AND (s.client <> p_client OR s.receipt_no IS DISTINCT FROM p_receipt_no)
    LIMIT 1;
$$;

-- A serial number to record for a unit of a serial-controlled product of the
-- client, trimmed: refused when blank or already known (a deleted one is
-- forgotten, to be recorded again).
CREATE FUNCTION receiving_new_serial(p_client text, p_item_no text, p_serial_no text)
RETURNS text
LANGUAGE plpgsql AS $$
DECLARE
    v_serial text := btrim(p_serial_no);
    v_known  serial_number%ROWTYPE;
BEGIN
    IF NOT EXISTS (SELECT 1 FROM product p WHERE p.client = p_client AND p.item_no = p_item_no) THEN
        PERFORM refuse(-10, format('Item %s is not a product of client %s.', p_item_no, p_client));
    END IF;
    IF NOT EXISTS (SELECT 1 FROM product p
                   WHERE p.client = p_client AND p.item_no = p_item_no AND p.serial_no_flag = 'Y') THEN
        PERFORM refuse(-10, format('Item %s is not serial controlled.', p_item_no));
    END IF;
    IF coalesce(v_serial, '') = '' THEN
        PERFORM refuse(-20, 'Serial number is required.');
    END IF;
    SELECT * INTO v_known FROM serial_number sn
    WHERE sn.client = p_client AND sn.item_no = p_item_no AND sn.serial_no = v_serial
    FOR UPDATE;
    IF FOUND AND v_known.status = 'RECEIVED' THEN
        PERFORM refuse(-21, format('Serial number %s is already recorded on receipt %s line %s.',
                                   v_serial, v_known.receipt_no, v_known.receipt_line));
    END IF;
    IF FOUND AND v_known.status <> 'DELETED' THEN
        PERFORM refuse(-21, format('Serial number %s of %s is already known (%s).',
                                   v_serial, p_item_no, lower(v_known.status)));
    END IF;
    DELETE FROM serial_number sn
    WHERE sn.client = p_client AND sn.item_no = p_item_no AND sn.serial_no = v_serial AND sn.status = 'DELETED';
    RETURN v_serial;
END
$$;

-- Check one received line against its receipt, product, purchase order and
-- shipping notice, and give it back as it is to be stored (line_no as given,
-- pallet NULL when none was scanned). p_line_no is the line being changed
-- (NULL for a new line): its own quantity is not counted against the
-- expectations. Raises a business failure when the line cannot be received.
CREATE FUNCTION receiving_prepare_line(
    p_receipt receipt, p_line_no integer, p_pallet text, p_item_no text, p_uom text, p_qty numeric,
    p_grade text, p_lot text, p_batch text, p_supplier text, p_customer text, p_receipt_date text,
    p_expiry_date text, p_prod_date text, p_size text, p_color text, p_class text, p_width numeric,
    p_depth numeric, p_height numeric, p_weight numeric, p_currency text, p_unit_price numeric,
    p_ppq_packing text, p_ppq_qty numeric, p_user_defined text, p_status text, p_operator text,
    p_asn_line_no integer, p_po_no text)
RETURNS receipt_line
LANGUAGE plpgsql AS $$
DECLARE
    v_client  text := p_receipt.client;
    v_receipt text := p_receipt.receipt_no;
    l         receipt_line%ROWTYPE;
    p         product%ROWTYPE;
    v_luom    numeric;
    v_lowest  numeric;
    v_left    numeric;
    v_po      purchase_order%ROWTYPE;
    v_po_no   text;
    v_asn     asn_line%ROWTYPE;
    v_stock   record;
    v_same    record;
BEGIN
    l.client := v_client;
    l.receipt_no := v_receipt;
    l.line_no := p_line_no;

    -- The item and its unit.
    l.item_no := btrim(p_item_no);
    IF coalesce(l.item_no, '') = '' THEN
        PERFORM refuse(-10, 'Item number is required.');
    END IF;
    SELECT * INTO p FROM product pr WHERE pr.client = v_client AND pr.item_no = l.item_no;
    IF NOT FOUND THEN
        PERFORM refuse(-10, format('Item %s is not a product of client %s.', l.item_no, v_client));
    END IF;
    IF p.status <> 'ACTIVE' THEN
        PERFORM refuse(-10, format('Item %s is %s and cannot be received.', l.item_no, lower(p.status)));
    END IF;
    l.uom := coalesce(nullif(upper(btrim(p_uom)), ''), p.lowest_uom);
    v_luom := receiving_luom(v_client, l.item_no, l.uom);
    IF v_luom IS NULL THEN
        PERFORM refuse(-11, format('Item %s has no unit %s.', l.item_no, l.uom));
    END IF;

    -- The quantity.
    IF p_qty IS NULL OR p_qty <= 0 THEN
        PERFORM refuse(-12, format('Quantity %s refused: a received quantity must be above 0.',
                                   coalesce(trim_scale(p_qty)::text, '(none)')));
    END IF;
    l.qty := p_qty;
    v_lowest := p_qty * v_luom;
    IF p.serial_no_flag = 'Y' AND v_lowest <> trunc(v_lowest) THEN
        PERFORM refuse(-12, format('Item %s is serial controlled: receive whole units, not %s.',
                                   l.item_no, receiving_qty_text(p_qty, l.uom)));
    END IF;

    -- Attributes, with the product's defaults and requirements.
    l.grade := coalesce(nullif(upper(btrim(p_grade)), ''), nullif(p.default_grade, ''),
                        receiving_config('DEFAULT_GRADE', ''));
    IF l.grade <> '' AND NOT EXISTS (SELECT 1 FROM parameter_tbl t
                                     WHERE t.param_table = 'GRADE' AND t.param_code = l.grade) THEN
        PERFORM refuse(-13, format('Grade %s is not a known grade.', l.grade));
    END IF;
    l.lot_no := coalesce(btrim(p_lot), '');
    l.batch_no := coalesce(btrim(p_batch), '');
    l.item_size := coalesce(btrim(p_size), '');
    l.item_color := coalesce(btrim(p_color), '');
    l.item_class := coalesce(btrim(p_class), '');
    IF coalesce(btrim(p_receipt_date), '') <> '' AND receiving_date(p_receipt_date) IS NULL THEN
        PERFORM refuse(-13, format('Receipt date %s is not a date (yyyy-mm-dd or dd/mm/yyyy).',
                                   btrim(p_receipt_date)));
    END IF;
    l.expiry_date := receiving_date(p_expiry_date);
    IF coalesce(btrim(p_expiry_date), '') <> '' AND l.expiry_date IS NULL THEN
        PERFORM refuse(-13, format('Expiry date %s is not a date (yyyy-mm-dd or dd/mm/yyyy).',
                                   btrim(p_expiry_date)));
    END IF;
    l.prod_date := receiving_date(p_prod_date);
    IF coalesce(btrim(p_prod_date), '') <> '' AND l.prod_date IS NULL THEN
        PERFORM refuse(-13, format('Production date %s is not a date (yyyy-mm-dd or dd/mm/yyyy).',
                                   btrim(p_prod_date)));
    END IF;
    IF l.prod_date IS NOT NULL AND l.expiry_date IS NOT NULL AND l.expiry_date < l.prod_date THEN
        PERFORM refuse(-13, format('Expiry date %s is before production date %s.',
                                   l.expiry_date, l.prod_date));
    END IF;
    IF p_width < 0 OR p_depth < 0 OR p_height < 0 OR p_weight < 0 OR p_unit_price < 0 THEN
        PERFORM refuse(-13, 'Dimensions, weight and price cannot be negative.');
    END IF;
    IF p_ppq_qty <= 0 THEN
        PERFORM refuse(-13, 'The quantity per packing must be above 0.');
    END IF;
    l.width := p_width;
    l.depth := p_depth;
    l.height := p_height;
    l.weight := p_weight;
    l.ppq_packing := coalesce(btrim(p_ppq_packing), '');
    l.ppq_qty := p_ppq_qty;
    l.currency := coalesce(upper(btrim(p_currency)), '');
    l.unit_price := p_unit_price;
    l.user_defined := coalesce(p_user_defined, '');
    l.status := coalesce(nullif(upper(btrim(p_status)), ''), 'AVAILABLE');
    IF l.status NOT IN ('RECEIVING', 'AVAILABLE', 'HOLD') THEN
        PERFORM refuse(-13, format('Status %s refused: use AVAILABLE, HOLD or RECEIVING.', l.status));
    END IF;

    l.supplier := coalesce(nullif(btrim(p_supplier), ''), p_receipt.supplier);
    IF l.supplier IS NOT NULL AND NOT EXISTS (SELECT 1 FROM supplier s
                                              WHERE s.client = v_client AND s.supplier = l.supplier) THEN
        PERFORM refuse(-14, format('Supplier %s is not a supplier of client %s.', l.supplier, v_client));
    END IF;
    l.customer := coalesce(nullif(btrim(p_customer), ''), p_receipt.customer);
    IF l.customer IS NOT NULL AND NOT EXISTS (SELECT 1 FROM customer c
                                              WHERE c.client = v_client AND c.customer = l.customer) THEN
        PERFORM refuse(-14, format('Customer %s is not a customer of client %s.', l.customer, v_client));
    END IF;

    IF p.lot_no_flag = 'Y' AND l.lot_no = '' THEN
        PERFORM refuse(-15, format('Item %s needs a lot number.', l.item_no));
    END IF;
    IF p.batch_no_flag = 'Y' AND l.batch_no = '' THEN
        PERFORM refuse(-15, format('Item %s needs a batch number.', l.item_no));
    END IF;
    IF p.expiry_date_flag = 'Y' AND l.expiry_date IS NULL THEN
        PERFORM refuse(-15, format('Item %s needs an expiry date.', l.item_no));
    END IF;
    IF p.production_date_flag = 'Y' AND l.prod_date IS NULL THEN
        PERFORM refuse(-15, format('Item %s needs a production date.', l.item_no));
    END IF;
    IF p.item_size_flag = 'Y' AND l.item_size = '' THEN
        PERFORM refuse(-15, format('Item %s needs a size.', l.item_no));
    END IF;
    IF p.item_color_flag = 'Y' AND l.item_color = '' THEN
        PERFORM refuse(-15, format('Item %s needs a colour.', l.item_no));
    END IF;
    IF p.item_class_flag = 'Y' AND l.item_class = '' THEN
        PERFORM refuse(-15, format('Item %s needs a class.', l.item_no));
    END IF;
    IF p.dimensions_flag = 'Y' AND (l.width IS NULL OR l.depth IS NULL OR l.height IS NULL) THEN
        PERFORM refuse(-15, format('Item %s needs its width, depth and height.', l.item_no));
    END IF;
    IF p.weight_required = 'Y' AND l.weight IS NULL THEN
        PERFORM refuse(-15, format('Item %s needs its weight.', l.item_no));
    END IF;
    IF p.supplier_flag = 'Y' AND l.supplier IS NULL THEN
        PERFORM refuse(-15, format('Item %s needs a supplier (on the line or the receipt).', l.item_no));
    END IF;

    -- The same goods on the same pallet twice: a duplicate of a line still waiting.
    l.pallet := nullif(btrim(p_pallet), '');
    IF l.pallet IS NOT NULL THEN
        SELECT rl.line_no, rl.qty, rl.uom INTO v_same
        FROM receipt_line rl
        WHERE rl.client = v_client AND rl.receipt_no = v_receipt AND rl.rec_num IS NULL
          AND rl.line_no IS DISTINCT FROM p_line_no
          AND rl.pallet = l.pallet AND rl.item_no = l.item_no AND rl.uom = l.uom AND rl.grade = l.grade
          AND rl.lot_no = l.lot_no AND rl.batch_no = l.batch_no
          AND rl.expiry_date IS NOT DISTINCT FROM l.expiry_date AND rl.prod_date IS NOT DISTINCT FROM l.prod_date
          AND rl.item_size = l.item_size AND rl.item_color = l.item_color AND rl.item_class = l.item_class
          AND rl.status = l.status
        ORDER BY rl.line_no
        LIMIT 1;
        IF FOUND THEN
            PERFORM refuse(-30, format('Duplicate line: pallet %s already holds %s of %s on line %s; change that line instead.',
                                       l.pallet, receiving_qty_text(v_same.qty, v_same.uom), l.item_no,
                                       v_same.line_no),
                           v_same.line_no);
        END IF;
    END IF;

    -- The pallet: the client's own, and not already stored for something else.
    IF l.pallet IS NOT NULL THEN
        IF EXISTS (SELECT 1 FROM pallet pl WHERE pl.pallet = l.pallet AND pl.client <> v_client) THEN
            PERFORM refuse(-16, format('Pallet %s belongs to another client.', l.pallet));
        END IF;
        IF receiving_pallet_stored(l.pallet, v_client, v_receipt) IS NOT NULL THEN
            PERFORM refuse(-16, format('Pallet %s is already in stock at %s.', l.pallet,
                                       receiving_pallet_stored(l.pallet, v_client, v_receipt)));
        END IF;
        SELECT rl.receipt_no INTO v_stock
        FROM receipt_line rl
        WHERE rl.pallet = l.pallet AND rl.rec_num IS NULL
          AND (rl.client <> v_client OR rl.receipt_no <> v_receipt)
        LIMIT 1;
        IF FOUND THEN
            PERFORM refuse(-16, format('Pallet %s is already on receipt %s.', l.pallet, v_stock.receipt_no));
        END IF;
    END IF;

    -- The shipping notice: the notice line of the item, within what it announces.
    IF p_asn_line_no IS NOT NULL AND p_receipt.asn_flag <> 'Y' THEN
        PERFORM refuse(-17, format('Receipt %s has no shipping notice.', v_receipt));
    END IF;
    IF p_receipt.asn_flag = 'Y' THEN
        IF p_asn_line_no IS NOT NULL THEN
            SELECT * INTO v_asn FROM asn_line a
            WHERE a.client = v_client AND a.receipt_no = v_receipt AND a.asn_line_no = p_asn_line_no;
            IF NOT FOUND THEN
                PERFORM refuse(-17, format('The shipping notice of receipt %s has no line %s.',
                                           v_receipt, p_asn_line_no));
            END IF;
            IF v_asn.item_no <> l.item_no THEN
                PERFORM refuse(-17, format('Line %s of the shipping notice is for %s, not %s.',
                                           p_asn_line_no, v_asn.item_no, l.item_no));
            END IF;
        ELSE
            SELECT a.* INTO v_asn
            FROM asn_line a
            WHERE a.client = v_client AND a.receipt_no = v_receipt AND a.item_no = l.item_no
            ORDER BY (a.qty_received < a.qty) DESC, a.asn_line_no
            LIMIT 1;
            IF NOT FOUND THEN
                PERFORM refuse(-17, format('Item %s is not on the shipping notice of receipt %s.',
                                           l.item_no, v_receipt));
            END IF;
        END IF;
        l.asn_line_no := v_asn.asn_line_no;
        v_left := v_asn.qty * receiving_luom(v_client, v_asn.item_no, v_asn.uom)
                  - coalesce((SELECT sum(rl.qty * receiving_luom(rl.client, rl.item_no, rl.uom))
                              FROM receipt_line rl
                              WHERE rl.client = v_client AND rl.receipt_no = v_receipt
                                AND rl.asn_line_no = v_asn.asn_line_no
                                AND rl.line_no IS DISTINCT FROM p_line_no), 0);
        IF v_lowest > v_left AND receiving_config('RF_ALLOW_OVER_RECEIPT', 'N') <> 'Y' THEN
            PERFORM refuse(-18, format(
                'Quantity %s of %s is above the %s that the shipping notice of receipt %s still expects.',
                receiving_qty_text(p_qty, l.uom), l.item_no,
                receiving_qty_text(greatest(v_left, 0) / v_luom, l.uom), v_receipt));
        END IF;
    END IF;

    -- The purchase order: the one named, the notice line's, or the receipt's.
    v_po_no := coalesce(nullif(btrim(p_po_no), ''), v_asn.po_no, nullif(p_receipt.client_po_no, ''));
    SELECT * INTO v_po FROM purchase_order po WHERE po.client = v_client AND po.order_no = v_po_no;
    IF NOT FOUND THEN
        IF nullif(btrim(p_po_no), '') IS NOT NULL THEN
            PERFORM refuse(-19, format('Purchase order %s not found for client %s.', v_po_no, v_client));
        END IF;
        v_po_no := NULL;  -- a free reference of the receipt: nothing to check against
    ELSE
        IF v_po.status IN ('CLOSED', 'CANCELLED') THEN
            PERFORM refuse(-19, format('Purchase order %s is %s.', v_po_no, lower(v_po.status)));
        END IF;
        l.po_no := v_po_no;
        IF v_asn.po_no = v_po_no AND v_asn.po_line_no IS NOT NULL THEN
            l.po_line_no := v_asn.po_line_no;
        ELSE
            SELECT pl.line_no INTO l.po_line_no
            FROM purchase_order_line pl
            WHERE pl.client = v_client AND pl.order_no = v_po_no AND pl.item_no = l.item_no
              AND pl.status NOT IN ('CANCELLED')
            ORDER BY (pl.qty_received < pl.qty) DESC, pl.line_no
            LIMIT 1;
            IF l.po_line_no IS NULL THEN
                PERFORM refuse(-19, format('Item %s is not on purchase order %s.', l.item_no, v_po_no));
            END IF;
        END IF;
        SELECT (pl.qty - pl.qty_received) * receiving_luom(pl.client, pl.item_no, pl.uom),
               pl.unit_price, pl.currency
        INTO v_left, l.unit_price, l.currency
        FROM purchase_order_line pl
        WHERE pl.client = v_client AND pl.order_no = v_po_no AND pl.line_no = l.po_line_no;
        l.unit_price := coalesce(p_unit_price, l.unit_price);
        l.currency := coalesce(nullif(upper(btrim(p_currency)), ''), l.currency, '');
        -- What other lines not yet checked in already hold against the order line.
        v_left := v_left - coalesce((SELECT sum(rl.qty * receiving_luom(rl.client, rl.item_no, rl.uom))
                                     FROM receipt_line rl
                                     WHERE rl.client = v_client AND rl.po_no = v_po_no
                                       AND rl.po_line_no = l.po_line_no AND rl.rec_num IS NULL
                                       AND NOT (rl.receipt_no = v_receipt
                                                AND rl.line_no IS NOT DISTINCT FROM p_line_no)), 0);
        IF v_lowest > v_left AND receiving_config('RF_ALLOW_OVER_RECEIPT', 'N') <> 'Y' THEN
            PERFORM refuse(-18, format('Quantity %s of %s is above the %s that purchase order %s still expects.',
                                       receiving_qty_text(p_qty, l.uom), l.item_no,
                                       receiving_qty_text(greatest(v_left, 0) / v_luom, l.uom), v_po_no));
        END IF;
    END IF;

    l.udf := '{}';
    l.maker := upper(btrim(p_operator));
    l.last_update := localtimestamp(0);
    RETURN l;
END
$$;

-- A free bulk slot to put a received pallet away to: an active bulk location
-- of the warehouse holding no stock and not the destination of open work
-- (used when the putaway routines are not installed).
CREATE FUNCTION receiving_putaway_location(p_warehouse text)
RETURNS text
LANGUAGE sql STABLE AS $$
    SELECT l.location
    FROM location l
    WHERE l.warehouse = p_warehouse AND l.location_type = 'BULK' AND l.status = 'ACTIVE'
      AND NOT EXISTS (SELECT 1 FROM stock s
                      WHERE s.warehouse = l.warehouse AND s.location = l.location AND s.qty > 0)
      AND NOT EXISTS (SELECT 1 FROM activity a
                      WHERE a.warehouse_to = l.warehouse AND a.location_to = l.location
                        AND a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS'))
    ORDER BY l.pick_seq, l.location
    LIMIT 1;
$$;

-- Check in the receipt's lines that are not checked in yet (only those in
-- the given cartons when p_cartons is not NULL): each becomes a stock line on
-- its pallet in the receiving location of the receipt's station, with its
-- serial numbers; the purchase order counts what it received. With
-- p_putaway 'Y' a putaway works order gets one task per line. p_close closes
-- the receipt. Answers the message of success; raises business failures.
CREATE FUNCTION receiving_check_in(p_receipt receipt, p_operator text, p_putaway text, p_close boolean,
                                   p_cartons text[] DEFAULT NULL)
RETURNS text
LANGUAGE plpgsql AS $$
DECLARE
    v_client   text := p_receipt.client;
    v_receipt  text := p_receipt.receipt_no;
    v_operator text := upper(btrim(p_operator));
    v_putaway  text := upper(coalesce(btrim(p_putaway), 'Y'));
    v_location location%ROWTYPE;
    v_station  text := p_receipt.receipt_station;
    l          receipt_line%ROWTYPE;
    v_units    numeric;
    v_serials  integer;
    v_rec_num  bigint;
    v_wo_no    text;
    v_task     integer := 0;
    v_lines    integer := 0;
    v_pallets  text[] := '{}';
    v_pallet   text;
    v_to       text;
    v_other    record;
    v_msg      text;
BEGIN
    IF p_receipt.status = 'CLOSED' THEN
        PERFORM refuse(-4, CASE WHEN p_receipt.checked_in_at IS NOT NULL
                                THEN format('Receipt %s is already checked in and closed.', v_receipt)
                                ELSE format('Receipt %s is closed.', v_receipt) END);
    END IF;
    IF v_putaway NOT IN ('Y', 'N') THEN
        PERFORM refuse(-5, format('Putaway flag %s refused: use Y or N.', v_putaway));
    END IF;
    SELECT loc.* INTO v_location
    FROM station st
    JOIN location loc ON loc.warehouse = st.warehouse AND loc.location = st.receiving_location
    WHERE st.warehouse = p_receipt.warehouse AND st.station = v_station;
    IF NOT FOUND THEN
        PERFORM refuse(-6, CASE WHEN v_station IS NULL
                                THEN format('Receipt %s has no check-in station.', v_receipt)
                                ELSE format('Station %s has no receiving location.', v_station) END);
    END IF;
    IF v_location.status = 'BLOCKED' THEN
        PERFORM refuse(-6, format('Receiving location %s is blocked.', v_location.location));
    END IF;

    IF NOT EXISTS (SELECT 1 FROM receipt_line rl
                   WHERE rl.client = v_client AND rl.receipt_no = v_receipt AND rl.rec_num IS NULL
                     AND (p_cartons IS NULL OR rl.carton_no = ANY (p_cartons))) THEN
        IF p_cartons IS NOT NULL THEN
            PERFORM refuse(-7, format('Receipt %s has no lines of cartons %s waiting for check-in.',
                                      v_receipt, array_to_string(p_cartons, ', ')));
        ELSIF p_receipt.status = 'CHECKEDIN' THEN
            PERFORM refuse(-7, format('Receipt %s is already checked in: no lines are waiting.', v_receipt));
        ELSE
            PERFORM refuse(-7, format('Receipt %s has no lines to check in.', v_receipt));
        END IF;
    END IF;

    FOR l IN
        SELECT rl.*
        FROM receipt_line rl
        WHERE rl.client = v_client AND rl.receipt_no = v_receipt AND rl.rec_num IS NULL
          AND (p_cartons IS NULL OR rl.carton_no = ANY (p_cartons))
        ORDER BY rl.line_no
        FOR UPDATE
    LOOP
        -- Serial-controlled goods need their serial numbers first.
        v_units := l.qty * receiving_luom(v_client, l.item_no, l.uom);
        IF receiving_config('SERIAL_CHECK', 'Y') = 'Y'
           AND EXISTS (SELECT 1 FROM product p
                       WHERE p.client = v_client AND p.item_no = l.item_no AND p.serial_no_flag = 'Y') THEN
            v_serials := receiving_serials_recorded(v_client, v_receipt, l.line_no);
            IF v_serials <> v_units THEN
                PERFORM refuse(-8, format(
                    'Line %s (%s) has %s of its %s serial numbers; scan them all before check-in.',
                    l.line_no, l.item_no, v_serials, trim_scale(v_units)));
            END IF;
        END IF;

        -- The pallet (and carton) must not have gone elsewhere meanwhile.
        IF l.pallet IS NOT NULL THEN
            IF receiving_pallet_stored(l.pallet, v_client, v_receipt) IS NOT NULL THEN
                PERFORM refuse(-9, format('Pallet %s of line %s is already in stock at %s.', l.pallet, l.line_no,
                                          receiving_pallet_stored(l.pallet, v_client, v_receipt)));
            END IF;
            PERFORM ensure_pallet(l.pallet, v_client, v_operator);
        END IF;
        IF l.carton_no IS NOT NULL THEN
            SELECT s.warehouse, s.location INTO v_other
            FROM stock s
            WHERE s.client = v_client AND s.carton_no = l.carton_no AND s.qty > 0 AND s.status <> 'DESPATCHED'
              AND s.receipt_no IS DISTINCT FROM v_receipt
            LIMIT 1;
            IF FOUND THEN
                PERFORM refuse(-9, format('Carton %s of line %s is already in stock at %s %s.',
                                          l.carton_no, l.line_no, v_other.warehouse, v_other.location));
            END IF;
            INSERT INTO carton (client, carton_no, warehouse, location, pallet, status, maker)
            VALUES (v_client, l.carton_no, v_location.warehouse, v_location.location, l.pallet, 'ACTIVE', v_operator)
            ON CONFLICT ON CONSTRAINT carton_pkey DO UPDATE
            SET warehouse = excluded.warehouse, location = excluded.location, pallet = excluded.pallet,
                status = 'ACTIVE', maker = excluded.maker, last_update = localtimestamp(0);
        END IF;

        INSERT INTO stock (client, item_no, warehouse, location, pallet, carton_no, uom, qty, qty_rcvd, grade,
                           lot_no, batch_no, expiry_date, prod_date, item_size, item_color, item_class,
                           item_width, item_depth, item_height, item_weight, supplier, customer, currency,
                           unit_cost, ppq_packing, ppq_qty, receipt_no, receipt_line, receipt_date, status, maker)
        VALUES (v_client, l.item_no, v_location.warehouse, v_location.location, l.pallet, l.carton_no, l.uom,
                l.qty, l.qty, l.grade, l.lot_no, l.batch_no, l.expiry_date, l.prod_date, l.item_size,
                l.item_color, l.item_class, l.width, l.depth, l.height, l.weight, l.supplier, l.customer,
                l.currency, l.unit_price, l.ppq_packing, l.ppq_qty, v_receipt, l.line_no,
                p_receipt.receipt_date,
                CASE WHEN v_putaway = 'Y' THEN 'RECEIVING' ELSE l.status END, v_operator)
        RETURNING rec_num INTO v_rec_num;

        UPDATE receipt_line rl
        SET rec_num = v_rec_num, maker = v_operator, last_update = localtimestamp(0)
        WHERE rl.client = v_client AND rl.receipt_no = v_receipt AND rl.line_no = l.line_no;

        INSERT INTO stock_movement (movement_type, client, item_no, rec_num, uom, qty, qty_before, qty_after,
                                    warehouse_to, location_to, pallet_to, carton_to, grade, reference, operator)
        VALUES ('RECEIPT', v_client, l.item_no, v_rec_num, l.uom, l.qty, 0, l.qty, v_location.warehouse,
                v_location.location, l.pallet, l.carton_no, l.grade,
                format('Receipt %s line %s', v_receipt, l.line_no), v_operator);

        -- The line's serial numbers are in stock now.
        UPDATE serial_number sn
        SET status = 'INSTOCK', rec_num = v_rec_num, pallet = l.pallet, warehouse = v_location.warehouse,
            location = v_location.location, maker = v_operator, last_update = localtimestamp(0)
        WHERE sn.client = v_client AND sn.receipt_no = v_receipt AND sn.receipt_line = l.line_no
          AND sn.status = 'RECEIVED';
        INSERT INTO serial_event (client, item_no, serial_no, event, reference, operator)
        SELECT sn.client, sn.item_no, sn.serial_no, 'CHECKED IN',
               format('Receipt %s line %s', v_receipt, l.line_no), v_operator
        FROM serial_number sn
        WHERE sn.client = v_client AND sn.receipt_no = v_receipt AND sn.receipt_line = l.line_no
          AND sn.rec_num = v_rec_num;

        -- The purchase order line counts what it received.
        IF l.po_no IS NOT NULL AND l.po_line_no IS NOT NULL THEN
            UPDATE purchase_order_line pl
            SET qty_received = trim_scale(pl.qty_received
                                          + l.qty * receiving_luom(v_client, l.item_no, l.uom)
                                            / receiving_luom(pl.client, pl.item_no, pl.uom)),
                maker = v_operator, last_update = localtimestamp(0)
            WHERE pl.client = v_client AND pl.order_no = l.po_no AND pl.line_no = l.po_line_no;
        END IF;

        -- One putaway task per line.
        IF v_putaway = 'Y' THEN
            IF v_wo_no IS NULL THEN
                SELECT w.wo_no INTO v_wo_no
                FROM works_order w
                WHERE w.movement_type = 'PUTAWAY' AND w.client = v_client AND w.order_no = v_receipt
                  AND w.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS')
                ORDER BY w.created_at DESC
                LIMIT 1;
                IF v_wo_no IS NULL THEN
                    v_wo_no := next_works_order_no();
                    INSERT INTO works_order (wo_no, movement_type, client, warehouse, area, order_no, priority,
                                             status, maker)
                    VALUES (v_wo_no, 'PUTAWAY', v_client, v_location.warehouse, v_location.area, v_receipt,
                            coalesce((SELECT mt.default_priority FROM movement_type mt
                                      WHERE mt.movement_type = 'PUTAWAY'), 5),
                            'OPEN', v_operator);
                ELSE
                    SELECT coalesce(max(t.task_no), 0) INTO v_task FROM task t WHERE t.wo_no = v_wo_no;
                END IF;
            END IF;
            v_task := v_task + 1;
            INSERT INTO task (wo_no, task_no, client, order_no, line_no, item_no, uom, qty, status)
            VALUES (v_wo_no, v_task, v_client, v_receipt, l.line_no, l.item_no, l.uom, l.qty, 'OPEN');
            INSERT INTO activity (wo_no, task_no, activity_no, movement_type, client, item_no, uom, qty, rec_num,
                                  warehouse_from, location_from, area_from, pallet_from, carton_from,
                                  warehouse_to, location_to, receipt_no, receipt_line, status)
            VALUES (v_wo_no, v_task, 1, 'PUTAWAY', v_client, l.item_no, l.uom, l.qty, v_rec_num,
                    v_location.warehouse, v_location.location, v_location.area, l.pallet, l.carton_no,
                    v_location.warehouse, NULL, v_receipt, l.line_no, 'OPEN');
        END IF;

        v_lines := v_lines + 1;
        IF l.pallet IS NOT NULL AND NOT l.pallet = ANY (v_pallets) THEN
            v_pallets := v_pallets || l.pallet;
        END IF;
    END LOOP;

    -- Each pallet gets one destination for all its lines: by the putaway
    -- rules when they are installed, else the first free bulk slot.
    IF v_putaway = 'Y' THEN
        FOREACH v_pallet IN ARRAY v_pallets LOOP
            BEGIN
                IF to_regprocedure('pa_choose_location(text)') IS NOT NULL THEN
                    EXECUTE 'SELECT (pa_choose_location($1)).location' INTO v_to USING v_pallet;
                ELSE
                    v_to := receiving_putaway_location(v_location.warehouse);
                END IF;
            EXCEPTION
                WHEN OTHERS THEN
                    v_to := NULL;
            END;
            UPDATE activity a
            SET location_to = v_to
            WHERE a.wo_no = v_wo_no AND a.movement_type = 'PUTAWAY' AND a.status = 'OPEN'
              AND a.pallet_from = v_pallet AND a.location_to IS NULL;
        END LOOP;
    END IF;

    -- Order lines and orders that received everything are closed.
    UPDATE purchase_order_line pl
    SET status = CASE WHEN pl.qty_received >= pl.qty THEN 'CLOSED'
                      WHEN pl.qty_received > 0 THEN 'PARTIAL' ELSE pl.status END
    WHERE pl.client = v_client AND pl.status IN ('OPEN', 'PARTIAL')
      AND (pl.order_no, pl.line_no) IN (SELECT rl.po_no, rl.po_line_no FROM receipt_line rl
                                        WHERE rl.client = v_client AND rl.receipt_no = v_receipt);
    UPDATE purchase_order po
    SET status = CASE WHEN NOT EXISTS (SELECT 1 FROM purchase_order_line pl
                                       WHERE pl.client = po.client AND pl.order_no = po.order_no
                                         AND pl.status IN ('OPEN', 'PARTIAL'))
                      THEN 'CLOSED' ELSE 'PARTIAL' END,
        last_receipt_no = v_receipt, last_receipt = p_receipt.receipt_date, received_by = v_operator,
        last_update = localtimestamp(0)
    WHERE po.client = v_client AND po.status IN ('OPEN', 'PARTIAL')
      AND po.order_no IN (SELECT rl.po_no FROM receipt_line rl
                          WHERE rl.client = v_client AND rl.receipt_no = v_receipt);

    UPDATE receipt rc
    SET status = CASE WHEN p_close THEN 'CLOSED' ELSE 'CHECKEDIN' END,
        checked_in_by = v_operator, checked_in_at = localtimestamp(0),
        closed_by = CASE WHEN p_close THEN v_operator ELSE rc.closed_by END,
        closed_at = CASE WHEN p_close THEN localtimestamp(0) ELSE rc.closed_at END,
        maker = v_operator, last_update = localtimestamp(0)
    WHERE rc.client = v_client AND rc.receipt_no = v_receipt;

    v_msg := format('Receipt %s checked in: %s %s on %s %s at %s', v_receipt, v_lines,
                    CASE WHEN v_lines = 1 THEN 'line' ELSE 'lines' END, cardinality(v_pallets),
                    CASE WHEN cardinality(v_pallets) = 1 THEN 'pallet' ELSE 'pallets' END,
                    v_location.location);
    v_msg := v_msg || CASE WHEN v_putaway = 'Y' THEN format(', putaway works order %s.', v_wo_no)
                           ELSE ', no putaway tasks.' END;
    IF p_close THEN
        v_msg := v_msg || ' The receipt is closed.';
    END IF;
    RETURN v_msg;
END
$$;

-- The carton labels of a list: separated by commas, semicolons, bars or
-- blanks; duplicates and empty entries dropped. An empty list is refused.
CREATE FUNCTION receiving_carton_list(p_list text)
RETURNS text[]
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE
    v_cartons text[];
BEGIN
    SELECT array_agg(DISTINCT c.label ORDER BY c.label) INTO v_cartons
    FROM regexp_split_to_table(coalesce(p_list, ''), '[,;|\s]+') AS c(label)
    WHERE c.label <> '';
    IF v_cartons IS NULL THEN
        PERFORM refuse(-10, 'The carton list is empty.');
    END IF;
    RETURN v_cartons;
END
$$;

-- Record one serial number against a receipt line (the line named, or the
-- first line of the item, on the pallet when one is given, that still lacks
-- serial numbers). Answers the message of success; raises business failures.
CREATE FUNCTION receiving_record_serial(p_client text, p_item_no text, p_serial_no text, p_receipt_no text,
                                        p_line_no integer, p_receipt_date date, p_supplier text,
                                        p_pallet text, p_operator text)
RETURNS text
LANGUAGE plpgsql AS $$
DECLARE
    r          receipt%ROWTYPE := receiving_open_receipt(p_client, p_receipt_no, p_operator);
    v_item     text := btrim(p_item_no);
    v_serial   text := receiving_new_serial(r.client, v_item, p_serial_no);
    v_pallet   text := nullif(btrim(p_pallet), '');
    v_operator text := upper(btrim(p_operator));
    l          receipt_line%ROWTYPE;
    v_stock    stock%ROWTYPE;
BEGIN

    -- The line that takes it.
    SELECT rl.* INTO l
    FROM receipt_line rl
    WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no AND rl.item_no = v_item
      AND (p_line_no IS NULL OR rl.line_no = p_line_no)
      AND (v_pallet IS NULL OR rl.pallet = v_pallet)
      AND receiving_serials_recorded(rl.client, rl.receipt_no, rl.line_no)
          < rl.qty * receiving_luom(rl.client, rl.item_no, rl.uom)
    ORDER BY (rl.rec_num IS NULL) DESC, rl.line_no
    LIMIT 1
    FOR UPDATE;
    IF NOT FOUND THEN
        IF p_line_no IS NOT NULL AND NOT EXISTS (SELECT 1 FROM receipt_line rl
                                                 WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no
                                                   AND rl.line_no = p_line_no AND rl.item_no = v_item) THEN
            PERFORM refuse(-22, format('Receipt %s has no line %s of item %s.',
                                       r.receipt_no, p_line_no, v_item));
        END IF;
        IF NOT EXISTS (SELECT 1 FROM receipt_line rl
                       WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no AND rl.item_no = v_item
                         AND (v_pallet IS NULL OR rl.pallet = v_pallet)) THEN
            PERFORM refuse(-22, format('Receipt %s has no line of item %s%s.', r.receipt_no, v_item,
                                       coalesce(' on pallet ' || v_pallet, '')));
        END IF;
        PERFORM refuse(-23, format('Every unit of %s on receipt %s%s already has its serial number.',
                                   v_item, r.receipt_no,
                                   coalesce(' line ' || p_line_no, ' pallet ' || v_pallet, '')));
    END IF;
    IF l.rec_num IS NOT NULL THEN
        SELECT * INTO v_stock FROM stock s WHERE s.rec_num = l.rec_num;
    END IF;
    INSERT INTO serial_number (client, item_no, serial_no, status, rec_num, pallet, warehouse, location,
                               receipt_no, receipt_line, receipt_date, supplier, customer, maker)
    VALUES (r.client, v_item, v_serial, CASE WHEN l.rec_num IS NULL THEN 'RECEIVED' ELSE 'INSTOCK' END,
            l.rec_num, coalesce(v_stock.pallet, l.pallet), coalesce(v_stock.warehouse, r.warehouse),
            v_stock.location, r.receipt_no, l.line_no, coalesce(p_receipt_date, r.receipt_date),
            coalesce(nullif(btrim(p_supplier), ''), l.supplier, r.supplier), l.customer, v_operator);
    INSERT INTO serial_event (client, item_no, serial_no, event, reference, operator)
    VALUES (r.client, v_item, v_serial, 'RECEIVED', format('Receipt %s line %s', r.receipt_no, l.line_no),
            v_operator);
    RETURN format('Serial number %s recorded on receipt %s line %s (%s of %s).', v_serial, r.receipt_no,
                  l.line_no, receiving_serials_recorded(r.client, r.receipt_no, l.line_no),
                  trim_scale(l.qty * receiving_luom(r.client, l.item_no, l.uom)));
END
$$;

------------------------------------------------------------------------------
-- Check-in
------------------------------------------------------------------------------

-- The check-in stations of a warehouse.
CREATE FUNCTION rf_get_check_in_station(warehouse text)
RETURNS TABLE (station text, description text, receiving_location text)
LANGUAGE sql STABLE AS $$
    SELECT st.station, st.description, st.receiving_location
    FROM station st
    WHERE st.warehouse = btrim($1) AND st.station_type = 'CHECKIN' AND st.status = 'ACTIVE'
    ORDER BY st.station;
$$;

-- A new receipt number from the client's series; NULL for an unknown client.
-- Numbers already taken by a receipt are passed over.
CREATE PROCEDURE rf_next_receipt_num(client text, operator text, INOUT receipt text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    v_client text := btrim(rf_next_receipt_num.client);
    v_no     text;
BEGIN
    receipt := NULL;
    IF NOT EXISTS (SELECT 1 FROM client c WHERE c.client = v_client) THEN
        RETURN;
    END IF;
    LOOP
        v_no := next_document_no(v_client, 'RECEIPT');
        EXIT WHEN NOT EXISTS (SELECT 1 FROM receipt rc WHERE rc.client = v_client AND rc.receipt_no = v_no);
    END LOOP;
    receipt := v_no;
END
$$;

-- Create a receipt header at a check-in station, or confirm (update) an open
-- one. An empty receipt_no draws a new number; the number is answered in
-- receipt_no. The receipt date is the text typed on the handheld (empty:
-- today).
CREATE PROCEDURE rf_check_in_header(
    client text, INOUT receipt_no text, warehouse text, station text, receipt_date text, receipt_type text,
    carrier text, vehicle text, container text, customer text, supplier text, client_po_no text,
    client_so_no text, receipt_ref_no text, remarks text, operator text,
    INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    v_client    text := btrim(rf_check_in_header.client);
    v_receipt   text := btrim(rf_check_in_header.receipt_no);
    v_warehouse text := btrim(rf_check_in_header.warehouse);
    v_station   text := btrim(rf_check_in_header.station);
    v_type      text := coalesce(nullif(upper(btrim(rf_check_in_header.receipt_type)), ''), 'PO');
    v_carrier   text := nullif(btrim(rf_check_in_header.carrier), '');
    v_customer  text := nullif(btrim(rf_check_in_header.customer), '');
    v_supplier  text := nullif(btrim(rf_check_in_header.supplier), '');
    v_po_no     text := coalesce(btrim(rf_check_in_header.client_po_no), '');
    v_operator  text;
    v_date      date;
    v_zone      text;
    v_po        purchase_order%ROWTYPE;
    r           receipt%ROWTYPE;
BEGIN
    IF coalesce(v_client, '') = '' THEN
        PERFORM refuse(-1, 'Client is required.');
    END IF;
    IF NOT EXISTS (SELECT 1 FROM client c WHERE c.client = v_client AND c.status = 'ACTIVE') THEN
        PERFORM refuse(-1, format('Client %s is not an active client.', v_client));
    END IF;
    v_operator := active_operator(rf_check_in_header.operator, v_client);

    -- Confirming an existing receipt: it must still be open.
    IF coalesce(v_receipt, '') <> '' THEN
        SELECT * INTO r FROM receipt rc WHERE rc.client = v_client AND rc.receipt_no = v_receipt FOR UPDATE;
        IF FOUND AND r.status = 'CLOSED' THEN
            PERFORM refuse(-4, format('Receipt %s is closed.', v_receipt));
        END IF;
        IF FOUND AND r.status = 'CHECKEDIN' THEN
            PERFORM refuse(-4, format('Receipt %s is already checked in; its header cannot change.',
                                      v_receipt));
        END IF;
    END IF;

    -- The station: a check-in station of the warehouse with a receiving location.
    IF coalesce(v_warehouse, '') = '' THEN
        v_warehouse := r.warehouse;
    END IF;
    IF NOT EXISTS (SELECT 1 FROM operator_warehouse ow WHERE ow.operator = v_operator AND ow.warehouse = v_warehouse) THEN
        PERFORM refuse(-5, format('Operator %s may not work in warehouse %s.', v_operator,
                                  coalesce(v_warehouse, '(none)')));
    END IF;
    IF coalesce(v_station, '') = '' THEN
        v_station := r.receipt_station;
    END IF;
    SELECT loc.zone INTO v_zone
    FROM station st
    JOIN location loc ON loc.warehouse = st.warehouse AND loc.location = st.receiving_location
    WHERE st.warehouse = v_warehouse AND st.station = v_station AND st.station_type = 'CHECKIN'
      AND st.status = 'ACTIVE';
    IF NOT FOUND THEN
        PERFORM refuse(-6, format('Station %s is not a check-in station of warehouse %s.',
                                  coalesce(v_station, '(none)'), v_warehouse));
    END IF;

    v_date := receiving_date(rf_check_in_header.receipt_date);
    IF coalesce(btrim(rf_check_in_header.receipt_date), '') = '' THEN
        v_date := coalesce(r.receipt_date, current_date);
    ELSIF v_date IS NULL THEN
        PERFORM refuse(-7, format('Receipt date %s is not a date (yyyy-mm-dd or dd/mm/yyyy).',
                                  btrim(rf_check_in_header.receipt_date)));
    END IF;
    IF NOT EXISTS (SELECT 1 FROM receipt_type t WHERE t.receipt_type = v_type) THEN
        PERFORM refuse(-8, format('Receipt type %s is not known.', v_type));
    END IF;
    IF v_carrier IS NOT NULL AND NOT EXISTS (SELECT 1 FROM carrier c WHERE c.carrier = v_carrier) THEN
        PERFORM refuse(-9, format('Carrier %s is not known.', v_carrier));
    END IF;
    IF v_customer IS NOT NULL AND NOT EXISTS (SELECT 1 FROM customer c
                                              WHERE c.client = v_client AND c.customer = v_customer) THEN
        PERFORM refuse(-9, format('Customer %s is not a customer of client %s.', v_customer, v_client));
    END IF;

    -- A receipt against a purchase order: the order must be open; its
    -- supplier is the receipt's unless another is named.
    IF v_type = 'PO' AND v_po_no <> '' THEN
        SELECT * INTO v_po FROM purchase_order po WHERE po.client = v_client AND po.order_no = v_po_no;
        IF NOT FOUND THEN
            PERFORM refuse(-10, format('Purchase order %s not found for client %s.', v_po_no, v_client));
        END IF;
        IF v_po.status NOT IN ('OPEN', 'PARTIAL') THEN
            PERFORM refuse(-10, format('Purchase order %s is %s.', v_po_no, lower(v_po.status)));
        END IF;
        v_supplier := coalesce(v_supplier, v_po.supplier);
        v_carrier := coalesce(v_carrier, v_po.carrier);
    END IF;
    IF v_supplier IS NOT NULL AND NOT EXISTS (SELECT 1 FROM supplier s
                                              WHERE s.client = v_client AND s.supplier = v_supplier) THEN
        PERFORM refuse(-9, format('Supplier %s is not a supplier of client %s.', v_supplier, v_client));
    END IF;

    IF r.receipt_no IS NOT NULL THEN
        IF EXISTS (SELECT 1 FROM receipt_line rl WHERE rl.client = v_client AND rl.receipt_no = v_receipt)
           AND r.warehouse <> v_warehouse THEN
            PERFORM refuse(-5, format('Receipt %s has lines in warehouse %s; it cannot move to %s.',
                                      v_receipt, r.warehouse, v_warehouse));
        END IF;
        UPDATE receipt rc
        SET warehouse = v_warehouse, receipt_station = v_station, zone = v_zone, receipt_type = v_type,
            receipt_date = v_date, carrier = v_carrier, vehicle = coalesce(btrim(rf_check_in_header.vehicle), ''),
            container = coalesce(btrim(rf_check_in_header.container), ''), customer = v_customer,
            supplier = v_supplier, client_po_no = v_po_no,
            client_so_no = coalesce(btrim(rf_check_in_header.client_so_no), ''),
            receipt_ref_no = coalesce(btrim(rf_check_in_header.receipt_ref_no), ''),
            remarks = coalesce(rf_check_in_header.remarks, ''), maker = v_operator, last_update = localtimestamp(0)
        WHERE rc.client = v_client AND rc.receipt_no = v_receipt;
        receipt_no := v_receipt;
        sqlstatus := 0;
        sqlmsg := format('Receipt %s updated at station %s.', v_receipt, v_station);
        RETURN;
    END IF;

    IF coalesce(v_receipt, '') = '' THEN
        LOOP
            v_receipt := next_document_no(v_client, 'RECEIPT');
            EXIT WHEN NOT EXISTS (SELECT 1 FROM receipt rc WHERE rc.client = v_client AND rc.receipt_no = v_receipt);
        END LOOP;
    END IF;
    INSERT INTO receipt (client, receipt_no, warehouse, receipt_station, zone, receipt_type, receipt_date, carrier,
                         vehicle, container, customer, supplier, client_po_no, client_so_no, receipt_ref_no,
                         remarks, status, maker)
    VALUES (v_client, v_receipt, v_warehouse, v_station, v_zone, v_type, v_date, v_carrier,
            coalesce(btrim(rf_check_in_header.vehicle), ''), coalesce(btrim(rf_check_in_header.container), ''),
            v_customer, v_supplier, v_po_no, coalesce(btrim(rf_check_in_header.client_so_no), ''),
            coalesce(btrim(rf_check_in_header.receipt_ref_no), ''), coalesce(rf_check_in_header.remarks, ''),
            'OPEN', v_operator);
    receipt_no := v_receipt;
    sqlstatus := 0;
    sqlmsg := format('Receipt %s created at station %s.', v_receipt, v_station);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Receipt header not saved');
END
$$;

-- Check one scanned line and store it on the receipt. The line number is
-- the procedure's to assign and is answered in line_no. A line equal to one
-- already waiting (same pallet, item, unit and attributes) is refused, and
-- line_no then names that line.
CREATE PROCEDURE rf_check_duplicate_receipt_detail(
    client text, receipt_no text, INOUT line_no integer, pallet text, item_no text, uom text, qty numeric,
    grade text, lot text, batch text, supplier text, customer text, receipt_date text, expiry_date text,
    prod_date text, size text, color text, item_class text, width numeric, depth numeric, height numeric,
    weight numeric, currency text, unit_price numeric, ppq_packing text, ppq_qty numeric, user_defined text,
    status text, operator text, INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    r        receipt%ROWTYPE;
    l        receipt_line%ROWTYPE;
    v_hint   text;
BEGIN
    line_no := NULL;
    r := receiving_open_receipt(rf_check_duplicate_receipt_detail.client, rf_check_duplicate_receipt_detail.receipt_no,
                                rf_check_duplicate_receipt_detail.operator);
    l := receiving_prepare_line(
        r, NULL, rf_check_duplicate_receipt_detail.pallet, rf_check_duplicate_receipt_detail.item_no,
        rf_check_duplicate_receipt_detail.uom, rf_check_duplicate_receipt_detail.qty,
        rf_check_duplicate_receipt_detail.grade, rf_check_duplicate_receipt_detail.lot,
        rf_check_duplicate_receipt_detail.batch, rf_check_duplicate_receipt_detail.supplier,
        rf_check_duplicate_receipt_detail.customer, rf_check_duplicate_receipt_detail.receipt_date,
        rf_check_duplicate_receipt_detail.expiry_date, rf_check_duplicate_receipt_detail.prod_date,
        rf_check_duplicate_receipt_detail.size, rf_check_duplicate_receipt_detail.color,
        rf_check_duplicate_receipt_detail.item_class, rf_check_duplicate_receipt_detail.width,
        rf_check_duplicate_receipt_detail.depth, rf_check_duplicate_receipt_detail.height,
        rf_check_duplicate_receipt_detail.weight, rf_check_duplicate_receipt_detail.currency,
        rf_check_duplicate_receipt_detail.unit_price, rf_check_duplicate_receipt_detail.ppq_packing,
        rf_check_duplicate_receipt_detail.ppq_qty, rf_check_duplicate_receipt_detail.user_defined,
        rf_check_duplicate_receipt_detail.status, rf_check_duplicate_receipt_detail.operator, NULL, NULL);

    IF l.pallet IS NOT NULL THEN
        PERFORM ensure_pallet(l.pallet, r.client, rf_check_duplicate_receipt_detail.operator);
    ELSE
        l.pallet := issue_pallet(r.client, r.customer, rf_check_duplicate_receipt_detail.operator);
    END IF;

    SELECT coalesce(max(rl.line_no), 0) + 1 INTO l.line_no
    FROM receipt_line rl
    WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no;
    l.udf := receiving_udf_pairs(l.user_defined);
    INSERT INTO receipt_line SELECT l.*;
    PERFORM receiving_sync_asn(r.client, r.receipt_no);

    line_no := l.line_no;
    sqlstatus := 0;
    sqlmsg := format('Line %s stored: %s of %s on pallet %s.', l.line_no, receiving_qty_text(l.qty, l.uom),
                     l.item_no, l.pallet);
EXCEPTION
    WHEN OTHERS THEN
        GET STACKED DIAGNOSTICS v_hint = PG_EXCEPTION_HINT;
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Line not stored');
        line_no := CASE WHEN v_hint ~ '^\d+$' THEN v_hint::integer END;
END
$$;

-- What the receipt still expects of an item, in the unit of its expectation
-- (the shipping notice, else the purchase order; 0 when neither names the
-- item), the receipt's status in rm_status ('UNKNOWN' when there is no such
-- receipt), and how many serial numbers its lines of the item still lack.
CREATE PROCEDURE rf_check_receipt_item_qty(
    client text, receipt_no text, item_no text, INOUT qty numeric DEFAULT NULL, INOUT uom text DEFAULT NULL,
    INOUT rm_status text DEFAULT NULL, INOUT serial_qty integer DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    v_client  text := btrim(rf_check_receipt_item_qty.client);
    v_receipt text := btrim(rf_check_receipt_item_qty.receipt_no);
    v_item    text := btrim(rf_check_receipt_item_qty.item_no);
    r         receipt%ROWTYPE;
    v_luom    numeric;
    v_expect  numeric;  -- lowest units
    v_scanned numeric;  -- lowest units on this receipt
BEGIN
    qty := 0;
    serial_qty := 0;
    SELECT p.lowest_uom INTO uom FROM product p WHERE p.client = v_client AND p.item_no = v_item;
    uom := coalesce(uom, '');
    SELECT * INTO r FROM receipt rc WHERE rc.client = v_client AND rc.receipt_no = v_receipt;
    IF NOT FOUND THEN
        rm_status := 'UNKNOWN';
        RETURN;
    END IF;
    rm_status := r.status;

    SELECT coalesce(sum(rl.qty * receiving_luom(rl.client, rl.item_no, rl.uom)), 0),
           coalesce(sum(rl.qty * receiving_luom(rl.client, rl.item_no, rl.uom))
                    FILTER (WHERE p.serial_no_flag = 'Y'), 0)
                    - coalesce(sum(receiving_serials_recorded(rl.client, rl.receipt_no, rl.line_no))
                               FILTER (WHERE p.serial_no_flag = 'Y'), 0)
    INTO v_scanned, serial_qty
    FROM receipt_line rl
    JOIN product p ON p.client = rl.client AND p.item_no = rl.item_no
    WHERE rl.client = v_client AND rl.receipt_no = v_receipt AND rl.item_no = v_item;

    IF r.asn_flag = 'Y' THEN
        SELECT sum(a.qty * receiving_luom(a.client, a.item_no, a.uom)), min(a.uom)
        INTO v_expect, uom
        FROM asn_line a
        WHERE a.client = v_client AND a.receipt_no = v_receipt AND a.item_no = v_item;
    END IF;
    IF v_expect IS NULL THEN
        -- The order's outstanding quantity, less what this receipt holds that the order has not counted yet.
        SELECT sum((pl.qty - pl.qty_received) * receiving_luom(pl.client, pl.item_no, pl.uom)), min(pl.uom)
        INTO v_expect, uom
        FROM purchase_order_line pl
        WHERE pl.client = v_client AND pl.order_no = r.client_po_no AND pl.item_no = v_item
          AND pl.status NOT IN ('CANCELLED');
        IF v_expect IS NOT NULL THEN
            v_scanned := coalesce((SELECT sum(rl.qty * receiving_luom(rl.client, rl.item_no, rl.uom))
                                   FROM receipt_line rl
                                   WHERE rl.client = v_client AND rl.receipt_no = v_receipt
                                     AND rl.item_no = v_item AND rl.rec_num IS NULL), 0);
        END IF;
    END IF;
    IF v_expect IS NULL THEN
        SELECT p.lowest_uom INTO uom FROM product p WHERE p.client = v_client AND p.item_no = v_item;
        uom := coalesce(uom, '');
        RETURN;
    END IF;
    v_luom := receiving_luom(v_client, v_item, uom);
    qty := trim_scale(greatest(v_expect - v_scanned, 0) / v_luom);
END
$$;

-- Check a carton label against a receipt: the carton must be one the
-- receipt's lines expect and not checked in yet.
CREATE FUNCTION rf_receipt_check_carton(client text, receipt_no text, carton_no text, operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
DECLARE
    v_carton text := btrim(rf_receipt_check_carton.carton_no);
    r        receipt%ROWTYPE;
    v_lines  integer;
    v_qty    text;
    v_other  record;
BEGIN
    r := receiving_open_receipt(rf_receipt_check_carton.client, rf_receipt_check_carton.receipt_no,
                                rf_receipt_check_carton.operator);
    IF coalesce(v_carton, '') = '' THEN
        PERFORM refuse(-10, 'Carton number is required.');
    END IF;
    SELECT count(*), string_agg(receiving_qty_text(rl.qty, rl.uom) || ' ' || rl.item_no, ', ' ORDER BY rl.line_no)
    INTO v_lines, v_qty
    FROM receipt_line rl
    WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no AND rl.carton_no = v_carton AND rl.rec_num IS NULL;
    IF v_lines > 0 THEN
        RETURN QUERY SELECT 0, format('Carton %s is expected on receipt %s: %s.', v_carton, r.receipt_no, v_qty);
        RETURN;
    END IF;
    IF EXISTS (SELECT 1 FROM receipt_line rl WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no
                                               AND rl.carton_no = v_carton) THEN
        PERFORM refuse(-11, format('Carton %s of receipt %s is already checked in.', v_carton, r.receipt_no));
    END IF;
    SELECT rl.receipt_no INTO v_other
    FROM receipt_line rl
    JOIN receipt rc ON rc.client = rl.client AND rc.receipt_no = rl.receipt_no
    WHERE rl.client = r.client AND rl.carton_no = v_carton AND rl.rec_num IS NULL AND rc.status <> 'CLOSED'
    LIMIT 1;
    IF FOUND THEN
        PERFORM refuse(-12, format('Carton %s belongs to receipt %s, not %s.', v_carton, v_other.receipt_no,
                                   r.receipt_no));
    END IF;
    SELECT c.warehouse, c.location INTO v_other
    FROM carton c
    WHERE c.client = r.client AND c.carton_no = v_carton AND c.status = 'ACTIVE';
    IF FOUND THEN
        PERFORM refuse(-13, format('Carton %s is already in stock at %s %s.', v_carton, v_other.warehouse,
                                   v_other.location));
    END IF;
    PERFORM refuse(-14, format('Carton %s is not expected on receipt %s.', v_carton, r.receipt_no));
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Carton not checked');
END
$$;

-- Check the receipt in and close it. close_flag 'Y' (what the handheld
-- sends) makes putaway tasks for the received pallets; 'N' makes none and
-- leaves the stock available where it was received.
CREATE PROCEDURE receipt_checkin(client text, receipt_no text, operator text, putaway_flag text,
                                 INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    r        receipt%ROWTYPE;
BEGIN
    r := receiving_open_receipt(receipt_checkin.client, receipt_checkin.receipt_no, receipt_checkin.operator, true);
    sqlmsg := receiving_check_in(r, receipt_checkin.operator, receipt_checkin.putaway_flag, true);
    sqlstatus := 0;
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Receipt not checked in');
END
$$;

-- Check in what the receipt holds so far and keep it open for more lines.
CREATE FUNCTION rf_receipt_checkin_without_closing(client text, receipt_no text, operator text,
                                                   putaway_flag text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
DECLARE
    r        receipt%ROWTYPE;
    v_msg    text;
BEGIN
    r := receiving_open_receipt(rf_receipt_checkin_without_closing.client,
                                rf_receipt_checkin_without_closing.receipt_no,
                                rf_receipt_checkin_without_closing.operator, true);
    v_msg := receiving_check_in(r, rf_receipt_checkin_without_closing.operator,
                                rf_receipt_checkin_without_closing.putaway_flag, false);
    RETURN QUERY SELECT 0, v_msg;
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Receipt not checked in');
END
$$;

-- Check in the lines of the listed cartons of one receipt.
CREATE FUNCTION rf_receipt_checkin_carton_list(client text, receipt_no text, carton_list text, operator text,
                                               putaway_flag text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
DECLARE
    v_cartons text[];
    r         receipt%ROWTYPE;
    v_missing text;
    v_msg     text;
BEGIN
    r := receiving_open_receipt(rf_receipt_checkin_carton_list.client, rf_receipt_checkin_carton_list.receipt_no,
                                rf_receipt_checkin_carton_list.operator);
    v_cartons := receiving_carton_list(rf_receipt_checkin_carton_list.carton_list);
    SELECT string_agg(c.label, ', ') INTO v_missing
    FROM unnest(v_cartons) AS c(label)
    WHERE NOT EXISTS (SELECT 1 FROM receipt_line rl
                      WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no AND rl.carton_no = c.label
                        AND rl.rec_num IS NULL);
    IF v_missing IS NOT NULL THEN
        PERFORM refuse(-11, format('Cartons not waiting on receipt %s: %s.', r.receipt_no, v_missing));
    END IF;
    v_msg := receiving_check_in(r, rf_receipt_checkin_carton_list.operator,
                                rf_receipt_checkin_carton_list.putaway_flag, false, v_cartons);
    RETURN QUERY SELECT 0, v_msg;
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Cartons not checked in');
END
$$;

-- Check in the listed cartons of a client, whichever open receipts expect
-- them; all or nothing.
CREATE FUNCTION rf_receipt_checkin_carton_list2(client text, carton_list text, operator text, putaway_flag text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
DECLARE
    v_client  text := btrim(rf_receipt_checkin_carton_list2.client);
    v_cartons text[];
    v_missing text;
    v_receipt text;
    r         receipt%ROWTYPE;
    v_msgs    text[] := '{}';
BEGIN
    PERFORM active_operator(rf_receipt_checkin_carton_list2.operator, v_client);
    v_cartons := receiving_carton_list(rf_receipt_checkin_carton_list2.carton_list);
    SELECT string_agg(c.label, ', ') INTO v_missing
    FROM unnest(v_cartons) AS c(label)
    WHERE NOT EXISTS (SELECT 1 FROM receipt_line rl
                      JOIN receipt rc ON rc.client = rl.client AND rc.receipt_no = rl.receipt_no
                      WHERE rl.client = v_client AND rl.carton_no = c.label AND rl.rec_num IS NULL
                        AND rc.status <> 'CLOSED');
    IF v_missing IS NOT NULL THEN
        PERFORM refuse(-11, format('Cartons not waiting on an open receipt of client %s: %s.',
                                   coalesce(v_client, ''), v_missing));
    END IF;
    FOR v_receipt IN
        SELECT DISTINCT rl.receipt_no
        FROM receipt_line rl
        WHERE rl.client = v_client AND rl.carton_no = ANY (v_cartons) AND rl.rec_num IS NULL
        ORDER BY rl.receipt_no
    LOOP
        r := receiving_open_receipt(v_client, v_receipt, rf_receipt_checkin_carton_list2.operator);
        v_msgs := v_msgs || receiving_check_in(r, rf_receipt_checkin_carton_list2.operator,
                                               rf_receipt_checkin_carton_list2.putaway_flag, false, v_cartons);
    END LOOP;
    RETURN QUERY SELECT 0, array_to_string(v_msgs, ' ');
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Cartons not checked in');
END
$$;

-- Close a receipt whose lines are all checked in (or that has none).
CREATE PROCEDURE rf_close_receipt2(client text, receipt_no text, operator text,
                                   INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    r         receipt%ROWTYPE;
    v_waiting integer;
BEGIN
    r := receiving_open_receipt(rf_close_receipt2.client, rf_close_receipt2.receipt_no, rf_close_receipt2.operator,
                                true);
    IF r.status = 'CLOSED' THEN
        PERFORM refuse(-4, format('Receipt %s is already closed.', r.receipt_no));
    END IF;
    SELECT count(*) INTO v_waiting
    FROM receipt_line rl
    WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no AND rl.rec_num IS NULL;
    IF v_waiting > 0 THEN
        PERFORM refuse(-10, format('Receipt %s has %s %s not checked in; check in or delete %s first.',
                                   r.receipt_no, v_waiting,
                                   CASE WHEN v_waiting = 1 THEN 'line' ELSE 'lines' END,
                                   CASE WHEN v_waiting = 1 THEN 'it' ELSE 'them' END));
    END IF;
    UPDATE receipt rc
    SET status = 'CLOSED', closed_by = upper(btrim(rf_close_receipt2.operator)), closed_at = localtimestamp(0),
        maker = upper(btrim(rf_close_receipt2.operator)), last_update = localtimestamp(0)
    WHERE rc.client = r.client AND rc.receipt_no = r.receipt_no;
    sqlstatus := 0;
    sqlmsg := format('Receipt %s closed.', r.receipt_no);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Receipt not closed');
END
$$;

------------------------------------------------------------------------------
-- Receipt lines and look-ups
------------------------------------------------------------------------------

-- Change a line that is not checked in yet. Positions 30 and 31 of the
-- handheld's call are the status outputs; the shipping-notice line and the
-- purchase order follow them. An empty pallet keeps the line's pallet.
CREATE PROCEDURE rf_update_receipt_detail(
    client text, receipt_no text, INOUT line_no integer, pallet text, item_no text, uom text, qty numeric,
    grade text, lot text, batch text, supplier text, customer text, receipt_date text, expiry_date text,
    prod_date text, size text, color text, item_class text, width numeric, depth numeric, height numeric,
    weight numeric, currency text, unit_price numeric, ppq_packing text, ppq_qty numeric, user_defined text,
    status text, operator text, INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL,
    asn_line_no integer DEFAULT NULL, po_no text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    r         receipt%ROWTYPE;
    v_old     receipt_line%ROWTYPE;
    l         receipt_line%ROWTYPE;
    v_serials integer;
BEGIN
    r := receiving_open_receipt(rf_update_receipt_detail.client, rf_update_receipt_detail.receipt_no,
                                rf_update_receipt_detail.operator);
    IF rf_update_receipt_detail.line_no IS NULL THEN
        PERFORM refuse(-20, 'Line number is required.');
    END IF;
    SELECT rl.* INTO v_old
    FROM receipt_line rl
    WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no AND rl.line_no = rf_update_receipt_detail.line_no
    FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-20, format('Receipt %s has no line %s.', r.receipt_no, rf_update_receipt_detail.line_no));
    END IF;
    IF v_old.rec_num IS NOT NULL THEN
        PERFORM refuse(-21, format('Line %s is checked in and can no longer be changed.', v_old.line_no));
    END IF;

    l := receiving_prepare_line(
        r, v_old.line_no, coalesce(nullif(btrim(rf_update_receipt_detail.pallet), ''), v_old.pallet),
        rf_update_receipt_detail.item_no, rf_update_receipt_detail.uom, rf_update_receipt_detail.qty,
        rf_update_receipt_detail.grade, rf_update_receipt_detail.lot, rf_update_receipt_detail.batch,
        rf_update_receipt_detail.supplier, rf_update_receipt_detail.customer, rf_update_receipt_detail.receipt_date,
        rf_update_receipt_detail.expiry_date, rf_update_receipt_detail.prod_date, rf_update_receipt_detail.size,
        rf_update_receipt_detail.color, rf_update_receipt_detail.item_class, rf_update_receipt_detail.width,
        rf_update_receipt_detail.depth, rf_update_receipt_detail.height, rf_update_receipt_detail.weight,
        rf_update_receipt_detail.currency, rf_update_receipt_detail.unit_price, rf_update_receipt_detail.ppq_packing,
        rf_update_receipt_detail.ppq_qty, rf_update_receipt_detail.user_defined, rf_update_receipt_detail.status,
        rf_update_receipt_detail.operator, rf_update_receipt_detail.asn_line_no, rf_update_receipt_detail.po_no);

    v_serials := receiving_serials_recorded(r.client, r.receipt_no, l.line_no);
    IF v_serials > 0 AND l.item_no <> v_old.item_no THEN
        PERFORM refuse(-22, format('Line %s has %s serial numbers of %s; remove them before changing its item.',
                                   l.line_no, v_serials, v_old.item_no));
    END IF;
    IF v_serials > l.qty * receiving_luom(r.client, l.item_no, l.uom) THEN
        PERFORM refuse(-22, format('Line %s has %s serial numbers recorded; remove some before lowering it to %s.',
                                   l.line_no, v_serials, receiving_qty_text(l.qty, l.uom)));
    END IF;
    IF l.pallet IS NOT NULL THEN
        PERFORM ensure_pallet(l.pallet, r.client, rf_update_receipt_detail.operator);
    END IF;

    UPDATE receipt_line rl
    SET po_no = l.po_no, po_line_no = l.po_line_no, asn_line_no = l.asn_line_no, pallet = l.pallet,
        item_no = l.item_no, uom = l.uom, qty = l.qty, grade = l.grade, lot_no = l.lot_no, batch_no = l.batch_no,
        supplier = l.supplier, customer = l.customer, expiry_date = l.expiry_date, prod_date = l.prod_date,
        item_size = l.item_size, item_color = l.item_color, item_class = l.item_class, width = l.width,
        depth = l.depth, height = l.height, weight = l.weight, currency = l.currency, unit_price = l.unit_price,
        ppq_packing = l.ppq_packing, ppq_qty = l.ppq_qty, user_defined = l.user_defined,
        udf = rl.udf || receiving_udf_pairs(l.user_defined), status = l.status, maker = l.maker,
        last_update = localtimestamp(0)
    WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no AND rl.line_no = l.line_no;
    UPDATE serial_number sn
    SET pallet = l.pallet, supplier = coalesce(l.supplier, sn.supplier)
    WHERE sn.client = r.client AND sn.receipt_no = r.receipt_no AND sn.receipt_line = l.line_no
      AND sn.status = 'RECEIVED';
    PERFORM receiving_sync_asn(r.client, r.receipt_no);

    line_no := l.line_no;
    sqlstatus := 0;
    sqlmsg := format('Line %s updated: %s of %s on pallet %s.', l.line_no, receiving_qty_text(l.qty, l.uom),
                     l.item_no, coalesce(l.pallet, '(none)'));
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Line not updated');
END
$$;

-- Delete a line that is not checked in yet, with the serial numbers
-- recorded on it.
CREATE PROCEDURE rf_delete_receipt_line(client text, receipt_no text, line_no text, operator text,
                                        INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    r          receipt%ROWTYPE;
    v_line     integer;
    v_old      receipt_line%ROWTYPE;
    v_operator text := upper(btrim(rf_delete_receipt_line.operator));
    v_serials  integer;
BEGIN
    r := receiving_open_receipt(rf_delete_receipt_line.client, rf_delete_receipt_line.receipt_no,
                                rf_delete_receipt_line.operator);
    IF coalesce(btrim(rf_delete_receipt_line.line_no), '') !~ '^\d{1,9}$' THEN
        PERFORM refuse(-20, format('Line number %s is not a line number.',
                                   coalesce(btrim(rf_delete_receipt_line.line_no), '')));
    END IF;
    v_line := btrim(rf_delete_receipt_line.line_no)::integer;
    SELECT rl.* INTO v_old
    FROM receipt_line rl
    WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no AND rl.line_no = v_line
    FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-20, format('Receipt %s has no line %s.', r.receipt_no, v_line));
    END IF;
    IF v_old.rec_num IS NOT NULL THEN
        PERFORM refuse(-21, format('Line %s is checked in and can no longer be deleted.', v_line));
    END IF;

    INSERT INTO serial_event (client, item_no, serial_no, event, reference, operator)
    SELECT sn.client, sn.item_no, sn.serial_no, 'REMOVED', format('Receipt %s line %s deleted', r.receipt_no, v_line),
           v_operator
    FROM serial_number sn
    WHERE sn.client = r.client AND sn.receipt_no = r.receipt_no AND sn.receipt_line = v_line
      AND sn.status = 'RECEIVED';
    GET DIAGNOSTICS v_serials = ROW_COUNT;
    DELETE FROM serial_number sn
    WHERE sn.client = r.client AND sn.receipt_no = r.receipt_no AND sn.receipt_line = v_line
      AND sn.status = 'RECEIVED';
    DELETE FROM receipt_line rl
    WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no AND rl.line_no = v_line;
    PERFORM receiving_sync_asn(r.client, r.receipt_no);

    sqlstatus := 0;
    sqlmsg := format('Line %s (%s of %s) deleted from receipt %s%s.', v_line, receiving_qty_text(v_old.qty, v_old.uom),
                     v_old.item_no, r.receipt_no,
                     CASE WHEN v_serials > 0 THEN format(' with its %s serial numbers', v_serials) ELSE '' END);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Line not deleted');
END
$$;

-- Store the user-defined fields of a line: user_defined holds the line's free
-- value, and "name=value" pairs in it (separated by ";" or "|") are kept as
-- fields by name. The line is the one numbered, else the latest line of the
-- item (on the pallet, when given). The other values identify the line and
-- are not changed here.
CREATE FUNCTION rf_update_receipt_detail_udf(
    client text, receipt_no text, line_no numeric, po_no text, pallet text, item_no text, uom text, qty numeric,
    grade text, lot text, batch text, supplier text, customer text, receipt_date text, expiry_date text,
    prod_date text, size text, color text, item_class text, width numeric, depth numeric, height numeric,
    weight numeric, currency text, unit_price numeric, ppq_packing text, ppq_qty numeric, user_defined text,
    status text, operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
DECLARE
    r        receipt%ROWTYPE;
    v_item   text := nullif(btrim(rf_update_receipt_detail_udf.item_no), '');
    v_pallet text := nullif(btrim(rf_update_receipt_detail_udf.pallet), '');
    l        receipt_line%ROWTYPE;
BEGIN
    r := receiving_open_receipt(rf_update_receipt_detail_udf.client, rf_update_receipt_detail_udf.receipt_no,
                                rf_update_receipt_detail_udf.operator);
    SELECT rl.* INTO l
    FROM receipt_line rl
    WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no
      AND (rf_update_receipt_detail_udf.line_no IS NULL OR rl.line_no = rf_update_receipt_detail_udf.line_no)
      AND (rf_update_receipt_detail_udf.line_no IS NOT NULL OR v_item IS NOT NULL)
      AND (v_item IS NULL OR rl.item_no = v_item)
      AND (v_pallet IS NULL OR rl.pallet = v_pallet)
    ORDER BY rl.line_no DESC
    LIMIT 1
    FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-20, format('Receipt %s has no line %s.', r.receipt_no,
                                   coalesce(trim_scale(rf_update_receipt_detail_udf.line_no)::text,
                                            'of item ' || v_item, '(no line or item given)')));
    END IF;
    UPDATE receipt_line rl
    SET user_defined = coalesce(rf_update_receipt_detail_udf.user_defined, ''),
        udf = rl.udf || receiving_udf_pairs(rf_update_receipt_detail_udf.user_defined),
        maker = upper(btrim(rf_update_receipt_detail_udf.operator)), last_update = localtimestamp(0)
    WHERE rl.client = r.client AND rl.receipt_no = r.receipt_no AND rl.line_no = l.line_no;
    RETURN QUERY SELECT 0, format('User-defined fields of line %s saved.', l.line_no);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE),
                            failure_message(SQLSTATE, SQLERRM, 'User-defined fields not saved');
END
$$;

-- The lines of an item on a receipt with their user-defined fields (the line
-- numbered only, when a number is given; every line when no item is given).
CREATE FUNCTION rf_receipt_item_udf(
    p_client text, p_receipt_no text, p_line_no numeric, p_po_no text, p_pallet text, p_item_no text,
    p_uom text, p_qty numeric, p_grade text, p_lot text, p_batch text, p_supplier text, p_customer text,
    p_receipt_date text, p_expiry_date text, p_prod_date text, p_size text, p_color text, p_item_class text,
    p_width numeric, p_depth numeric, p_height numeric, p_weight numeric, p_currency text,
    p_unit_price numeric, p_ppq_packing text, p_ppq_qty numeric, p_user_defined text, p_status text,
    p_operator text)
RETURNS TABLE (line_no integer, item_no text, pallet text, qty numeric, uom text, user_defined text, udf text)
LANGUAGE sql STABLE AS $$
    SELECT rl.line_no, rl.item_no, rl.pallet, rl.qty, rl.uom, rl.user_defined,
           coalesce((SELECT string_agg(e.key || '=' || e.value, ';' ORDER BY e.key)
                     FROM jsonb_each_text(rl.udf) AS e), '')
    FROM receipt_line rl
    WHERE rl.client = btrim($1) AND rl.receipt_no = btrim($2)
      AND ($3 IS NULL OR rl.line_no = $3)
      AND (coalesce(btrim($6), '') = '' OR rl.item_no = btrim($6))
    ORDER BY rl.line_no;
$$;

-- The lines of a receipt.
CREATE FUNCTION rf_get_receipt_detail3(client text, receipt_no text)
RETURNS TABLE (line_no integer, pallet text, item_no text, item_description text, uom text, qty numeric,
               grade text, lot_no text, batch_no text, expiry_date date, prod_date date, po_no text,
               asn_line_no integer, status text, user_defined text, serial_qty integer, checked_in text)
LANGUAGE sql STABLE AS $$
    SELECT rl.line_no, rl.pallet, rl.item_no, p.description, rl.uom, rl.qty, rl.grade, rl.lot_no, rl.batch_no,
           rl.expiry_date, rl.prod_date, rl.po_no, rl.asn_line_no, rl.status, rl.user_defined,
           receiving_serials_recorded(rl.client, rl.receipt_no, rl.line_no),
           CASE WHEN rl.rec_num IS NULL THEN 'N' ELSE 'Y' END
    FROM receipt_line rl
    JOIN product p ON p.client = rl.client AND p.item_no = rl.item_no
    WHERE rl.client = btrim($1) AND rl.receipt_no = btrim($2)
    ORDER BY rl.line_no;
$$;

-- One receipt header.
CREATE FUNCTION rf_get_receipt_master(p_client text, p_receipt_no text)
RETURNS TABLE (receipt_no text, receipt_station text, receipt_type text, warehouse text, zone text, carrier text,
               vehicle text, "Container" text, receipt_date date, client text, customer text, supplier text,
               client_po_no text, client_so_no text, receipt_ref_no text, "Status" text, remarks text,
               asn_flag text)
LANGUAGE sql STABLE AS $$
    SELECT rc.receipt_no, rc.receipt_station, rc.receipt_type, rc.warehouse, rc.zone, rc.carrier, rc.vehicle,
           rc.container, rc.receipt_date, rc.client, rc.customer, rc.supplier, rc.client_po_no, rc.client_so_no,
           rc.receipt_ref_no, rc.status, rc.remarks, rc.asn_flag
    FROM receipt rc
    WHERE rc.client = btrim($1) AND rc.receipt_no = btrim($2);
$$;

CREATE FUNCTION rf_get_receipt_type()
RETURNS TABLE (receipt_type text, description text)
LANGUAGE sql STABLE AS $$
    SELECT t.receipt_type, t.description FROM receipt_type t ORDER BY t.receipt_type;
$$;

-- The items of a receipt's shipping notice with what has been scanned
-- against them. open_only 1 lists only the items still expected.
CREATE FUNCTION rf_get_receipt_asn_item(client text, receipt_no text, open_only numeric)
RETURNS TABLE (line_no integer, item_no text, item_description text, uom text, qty numeric, qty_received numeric,
               qty_balanced numeric, grade text)
LANGUAGE sql STABLE AS $$
    SELECT a.asn_line_no, a.item_no, p.description, a.uom, a.qty, a.qty_received,
           greatest(a.qty - a.qty_received, 0), a.grade
    FROM asn_line a
    JOIN product p ON p.client = a.client AND p.item_no = a.item_no
    WHERE a.client = btrim($1) AND a.receipt_no = btrim($2)
      AND (coalesce($3, 0) <> 1 OR a.qty_received < a.qty)
    ORDER BY a.asn_line_no;
$$;

-- The closed receipts that received an item, latest first.
CREATE FUNCTION rf_get_item_closed_receipts(client text, item_no text)
RETURNS TABLE (receipt_no text, "Status" text, receipt_type text, warehouse text, receipt_station text,
               receipt_date date, supplier text, receipt_ref_no text, client_po_no text)
LANGUAGE sql STABLE AS $$
    SELECT rc.receipt_no, rc.status, rc.receipt_type, rc.warehouse, rc.receipt_station, rc.receipt_date,
           rc.supplier, rc.receipt_ref_no, rc.client_po_no
    FROM receipt rc
    WHERE rc.client = btrim($1) AND rc.status = 'CLOSED'
      AND EXISTS (SELECT 1 FROM receipt_line rl
                  WHERE rl.client = rc.client AND rl.receipt_no = rc.receipt_no AND rl.item_no = btrim($2))
    ORDER BY rc.receipt_date DESC, rc.receipt_no DESC;
$$;

-- The received lines of a carton.
CREATE FUNCTION rf_get_carton_rd(client text, carton_no text, operator text)
RETURNS TABLE (item_no text, item_description text, uom text, qty numeric, receipt_no text, line_no integer,
               pallet text, grade text, lot_no text, batch_no text, expiry_date date, checked_in text)
LANGUAGE sql STABLE AS $$
    SELECT rl.item_no, p.description, rl.uom, rl.qty, rl.receipt_no, rl.line_no, rl.pallet, rl.grade, rl.lot_no,
           rl.batch_no, rl.expiry_date, CASE WHEN rl.rec_num IS NULL THEN 'N' ELSE 'Y' END
    FROM receipt_line rl
    JOIN product p ON p.client = rl.client AND p.item_no = rl.item_no
    WHERE rl.client = btrim($1) AND rl.carton_no = btrim($2)
    ORDER BY rl.receipt_no, rl.line_no;
$$;

------------------------------------------------------------------------------
-- Purchase orders and open receipts
------------------------------------------------------------------------------

-- The client's purchase orders still expecting goods.
CREATE FUNCTION rf_get_open_pos(p_client text)
RETURNS TABLE (client text, order_no text, order_type text, reference_no text, supplier text, supplier_name text,
               transport_mode text, carrier text, last_receipt_no text, last_receipt date, received_by text,
               create_date timestamp(0), maker text, remarks text)
LANGUAGE sql STABLE AS $$
    SELECT po.client, po.order_no, po.order_type, po.reference_no, po.supplier, s.supplier_name,
           po.transport_mode, po.carrier, po.last_receipt_no, po.last_receipt, po.received_by, po.create_date,
           po.maker, po.remarks
    FROM purchase_order po
    JOIN supplier s ON s.client = po.client AND s.supplier = po.supplier
    WHERE po.client = btrim($1) AND po.status IN ('OPEN', 'PARTIAL')
    ORDER BY po.order_no;
$$;

-- The open lines of the client's purchase orders.
CREATE FUNCTION rf_get_open_po_items(p_client text)
RETURNS TABLE (client text, po_no text, line_no integer, item_no text, item_description text, uom text,
               qty_requested numeric, qty_received numeric, qty_balanced numeric, po_type text, po_ref_no text,
               supplier text, supplier_name text, transport_mode text, carrier text, last_receipt_no text,
               last_receipt_date date, last_received_by text, created_date timestamp(0), created_by text,
               remarks text)
LANGUAGE sql STABLE AS $$
    SELECT po.client, po.order_no, pl.line_no, pl.item_no, p.description, pl.uom, pl.qty, pl.qty_received,
           greatest(pl.qty - pl.qty_received, 0), po.order_type, po.reference_no, po.supplier, s.supplier_name,
           po.transport_mode, po.carrier, po.last_receipt_no, po.last_receipt, po.received_by, po.create_date,
           po.maker, po.remarks
    FROM purchase_order po
    JOIN purchase_order_line pl ON pl.client = po.client AND pl.order_no = po.order_no
    JOIN product p ON p.client = pl.client AND p.item_no = pl.item_no
    JOIN supplier s ON s.client = po.client AND s.supplier = po.supplier
    WHERE po.client = btrim($1) AND po.status IN ('OPEN', 'PARTIAL') AND pl.status IN ('OPEN', 'PARTIAL')
    ORDER BY po.order_no, pl.line_no;
$$;

-- The client's receipts not closed yet; receipt_no, when given, keeps those
-- whose number starts with it.
CREATE FUNCTION rf_get_open_receipts(p_client text, p_receipt_no text)
RETURNS TABLE (receipt_no text, "Status" text, receipt_type text, warehouse text, receipt_station text,
               receipt_date date, supplier text, receipt_ref_no text, client_po_no text)
LANGUAGE sql STABLE AS $$
    SELECT rc.receipt_no, rc.status, rc.receipt_type, rc.warehouse, rc.receipt_station, rc.receipt_date,
           rc.supplier, rc.receipt_ref_no, rc.client_po_no
    FROM receipt rc
    WHERE rc.client = btrim($1) AND rc.status <> 'CLOSED'
      AND starts_with(rc.receipt_no, coalesce(btrim($2), ''))
    ORDER BY rc.receipt_no;
$$;

-- The lines of one purchase order.
CREATE FUNCTION get_po_detail(client text, po_no text)
RETURNS TABLE (line_no integer, item_no text, "Description" text, uom text, qty numeric, qty_received numeric,
               qty_putaway numeric, supplier text, grade text, lot text, batch text, expiry_date date,
               prod_date date, item_size text, item_color text, item_class text, "Status" text)
LANGUAGE sql STABLE AS $$
    SELECT pl.line_no, pl.item_no, p.description, pl.uom, pl.qty, pl.qty_received, pl.qty_putaway, po.supplier,
           pl.grade, pl.lot_no, pl.batch_no, pl.expiry_date, pl.prod_date, pl.item_size, pl.item_color,
           pl.item_class, pl.status
    FROM purchase_order po
    JOIN purchase_order_line pl ON pl.client = po.client AND pl.order_no = po.order_no
    JOIN product p ON p.client = pl.client AND p.item_no = pl.item_no
    WHERE po.client = btrim($1) AND po.order_no = btrim($2)
    ORDER BY pl.line_no;
$$;

-- One purchase order line by line; with no order given, the lines of every
-- open order of the client.
CREATE FUNCTION get_po2(p_client text, p_po_no text)
RETURNS TABLE (po_no text, line_no integer, item_no text, item_description text, uom text, qty_ordered numeric,
               qty_received numeric, qty_balanced numeric, supplier text, supplier_name text, expected_date date,
               status text)
LANGUAGE sql STABLE AS $$
    SELECT po.order_no, pl.line_no, pl.item_no, p.description, pl.uom, pl.qty, pl.qty_received,
           greatest(pl.qty - pl.qty_received, 0), po.supplier, s.supplier_name, po.expected_date, pl.status
    FROM purchase_order po
    JOIN purchase_order_line pl ON pl.client = po.client AND pl.order_no = po.order_no
    JOIN product p ON p.client = pl.client AND p.item_no = pl.item_no
    JOIN supplier s ON s.client = po.client AND s.supplier = po.supplier
    WHERE po.client = btrim($1)
      AND (CASE WHEN coalesce(btrim($2), '') = '' THEN po.status IN ('OPEN', 'PARTIAL')
                ELSE po.order_no = btrim($2) END)
    ORDER BY po.order_no, pl.line_no;
$$;

------------------------------------------------------------------------------
-- Serial numbers of received goods
------------------------------------------------------------------------------

-- Record a scanned serial number on the receipt's first line of the item
-- (on the pallet, when given) that still lacks serial numbers.
CREATE PROCEDURE rf_update_receipt_serial(client text, item_no text, serial_no text, receipt_no text,
                                          receipt_date date, supplier text, pallet text, operator text,
                                          INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
BEGIN
    sqlmsg := receiving_record_serial(rf_update_receipt_serial.client, rf_update_receipt_serial.item_no,
                                      rf_update_receipt_serial.serial_no, rf_update_receipt_serial.receipt_no, NULL,
                                      rf_update_receipt_serial.receipt_date, rf_update_receipt_serial.supplier,
                                      rf_update_receipt_serial.pallet, rf_update_receipt_serial.operator);
    sqlstatus := 0;
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Serial number not recorded');
END
$$;

-- Record a scanned serial number on the receipt line named.
CREATE PROCEDURE rf_update_receipt_serial2(client text, item_no text, serial_no text, receipt_no text,
                                           receipt_line integer, receipt_date date, supplier text, pallet text,
                                           operator text, INOUT sqlstatus integer DEFAULT NULL,
                                           INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
BEGIN
    IF rf_update_receipt_serial2.receipt_line IS NULL THEN
        PERFORM refuse(-22, 'Receipt line is required.');
    END IF;
    sqlmsg := receiving_record_serial(rf_update_receipt_serial2.client, rf_update_receipt_serial2.item_no,
                                      rf_update_receipt_serial2.serial_no, rf_update_receipt_serial2.receipt_no,
                                      rf_update_receipt_serial2.receipt_line, rf_update_receipt_serial2.receipt_date,
                                      rf_update_receipt_serial2.supplier, rf_update_receipt_serial2.pallet,
                                      rf_update_receipt_serial2.operator);
    sqlstatus := 0;
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Serial number not recorded');
END
$$;

-- Record a serial number for a unit of the receipt's checked-in stock of the
-- item that has none (after an adjustment of the receipt): the unit is in
-- stock at once.
CREATE PROCEDURE rf_update_receipt_serial_adjustment(client text, item_no text, serial_no text, receipt_no text,
                                                     operator text, INOUT sqlstatus integer DEFAULT NULL,
                                                     INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    r          receipt%ROWTYPE;
    v_item     text := btrim(rf_update_receipt_serial_adjustment.item_no);
    v_serial   text;
    v_operator text := upper(btrim(rf_update_receipt_serial_adjustment.operator));
    s          stock%ROWTYPE;
BEGIN
    r := receiving_open_receipt(rf_update_receipt_serial_adjustment.client,
                                rf_update_receipt_serial_adjustment.receipt_no,
                                rf_update_receipt_serial_adjustment.operator, true);
    v_serial := receiving_new_serial(r.client, v_item, rf_update_receipt_serial_adjustment.serial_no);
    SELECT st.* INTO s
    FROM stock st
    WHERE st.client = r.client AND st.receipt_no = r.receipt_no AND st.item_no = v_item AND st.qty > 0
      AND st.status NOT IN ('PICKED', 'DESPATCHED')
      AND (SELECT count(*) FROM serial_number sn
           WHERE sn.rec_num = st.rec_num AND sn.status NOT IN ('DELETED', 'PICKED', 'DESPATCHED'))
          < st.qty * receiving_luom(st.client, st.item_no, st.uom)
    ORDER BY st.rec_num
    LIMIT 1
    FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-23, format('Receipt %s holds no stock of %s lacking a serial number.',
                                   r.receipt_no, v_item));
    END IF;
    INSERT INTO serial_number (client, item_no, serial_no, status, rec_num, pallet, warehouse, location, receipt_no,
                               receipt_line, receipt_date, supplier, customer, maker)
    VALUES (r.client, v_item, v_serial, 'INSTOCK', s.rec_num, s.pallet, s.warehouse, s.location, r.receipt_no,
            s.receipt_line, r.receipt_date, coalesce(s.supplier, r.supplier), s.customer, v_operator);
    INSERT INTO serial_event (client, item_no, serial_no, event, reference, operator)
    VALUES (r.client, v_item, v_serial, 'ADJUSTED', format('Receipt %s stock line %s', r.receipt_no, s.rec_num),
            v_operator);
    sqlstatus := 0;
    sqlmsg := format('Serial number %s recorded on stock line %s of receipt %s.', v_serial, s.rec_num, r.receipt_no);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Serial number not recorded');
END
$$;

-- Remove a serial number scanned against the receipt by mistake.
CREATE PROCEDURE rf_remove_receipt_serial(client text, item_no text, serial_no text, receipt_no text, operator text,
                                          INOUT sqlstatus integer DEFAULT NULL, INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    r          receipt%ROWTYPE;
    v_item     text := btrim(rf_remove_receipt_serial.item_no);
    v_serial   text := btrim(rf_remove_receipt_serial.serial_no);
    v_operator text := upper(btrim(rf_remove_receipt_serial.operator));
    v_known    serial_number%ROWTYPE;
BEGIN
    r := receiving_open_receipt(rf_remove_receipt_serial.client, rf_remove_receipt_serial.receipt_no,
                                rf_remove_receipt_serial.operator);
    SELECT * INTO v_known FROM serial_number sn
    WHERE sn.client = r.client AND sn.item_no = v_item AND sn.serial_no = v_serial AND sn.status <> 'DELETED'
    FOR UPDATE;
    IF NOT FOUND OR v_known.receipt_no IS DISTINCT FROM r.receipt_no THEN
        PERFORM refuse(-24, format('Serial number %s of %s is not recorded on receipt %s.',
                                   coalesce(v_serial, ''), coalesce(v_item, ''), r.receipt_no));
    END IF;
    IF v_known.status NOT IN ('RECEIVED', 'INSTOCK') THEN
        PERFORM refuse(-25, format('Serial number %s is %s and cannot be removed.', v_serial,
                                   lower(v_known.status)));
    END IF;
    IF v_known.status = 'RECEIVED' THEN
        DELETE FROM serial_number sn
        WHERE sn.client = r.client AND sn.item_no = v_item AND sn.serial_no = v_serial;
    ELSE
        UPDATE serial_number sn
        SET status = 'DELETED', rec_num = NULL, maker = v_operator, last_update = localtimestamp(0)
        WHERE sn.client = r.client AND sn.item_no = v_item AND sn.serial_no = v_serial;
    END IF;
    INSERT INTO serial_event (client, item_no, serial_no, event, reference, operator)
    VALUES (r.client, v_item, v_serial, 'REMOVED', format('Receipt %s', r.receipt_no), v_operator);
    sqlstatus := 0;
    sqlmsg := format('Serial number %s removed from receipt %s.', v_serial, r.receipt_no);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Serial number not removed');
END
$$;

-- A new warrant receipt number from the client's series; NULL for an
-- unknown client.
CREATE PROCEDURE rf_next_warrant_receipt(client text, INOUT receipt text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    v_client text := btrim(rf_next_warrant_receipt.client);
BEGIN
    receipt := NULL;
    IF EXISTS (SELECT 1 FROM client c WHERE c.client = v_client) THEN
        receipt := next_document_no(v_client, 'WARRANT');
    END IF;
END
$$;
