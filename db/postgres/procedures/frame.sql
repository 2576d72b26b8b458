-- Routines of the request frame: carton quantity adjustment, the operator's
-- last client, and sign-off.

SELECT drop_routines('rf_adjust_carton_qty', 'rf_get_last_client_accessed', 'rf_system_logout');

-- Set the quantity of the stock line held in a carton and journal the change.
-- Answers one row: sqlstatus 0 and a message on success, a negative status
-- and the reason otherwise (nothing is changed then).
CREATE FUNCTION rf_adjust_carton_qty(client text, carton_no text, qty numeric, operator text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
DECLARE
    v_client   text := btrim(rf_adjust_carton_qty.client);
    v_carton   text := btrim(rf_adjust_carton_qty.carton_no);
    v_qty      numeric := rf_adjust_carton_qty.qty;
    v_operator text;
    v_lines    integer;
    v_line     stock%ROWTYPE;
    v_serial   text;
BEGIN
    IF coalesce(v_client, '') = '' THEN
        PERFORM refuse(-1, 'Client is required.');
    END IF;
    IF coalesce(v_carton, '') = '' THEN
        PERFORM refuse(-2, 'Carton number is required.');
    END IF;
    IF v_qty IS NULL THEN
        PERFORM refuse(-3, 'Quantity is required.');
    END IF;
    IF v_qty < 0 THEN
        PERFORM refuse(-4, format('Quantity %s refused: a carton quantity cannot be negative.',
                                  trim_scale(v_qty)));
    END IF;
    v_operator := active_operator(rf_adjust_carton_qty.operator);

    PERFORM 1 FROM carton c WHERE c.client = v_client AND c.carton_no = v_carton FOR UPDATE;
    IF NOT FOUND THEN
        PERFORM refuse(-7, format('Carton %s not found for client %s.', v_carton, v_client));
    END IF;

    PERFORM 1
    FROM stock s
    WHERE s.client = v_client AND s.carton_no = v_carton AND s.status <> 'DESPATCHED'
    FOR UPDATE;
    GET DIAGNOSTICS v_lines = ROW_COUNT;
    IF v_lines = 0 THEN
        PERFORM refuse(-8, format('Carton %s holds no stock.', v_carton));
    END IF;
    IF v_lines > 1 THEN
        PERFORM refuse(-9, format('Carton %s holds %s stock lines; adjust them one by one.', v_carton, v_lines));
    END IF;

    SELECT s.* INTO v_line
    FROM stock s
    WHERE s.client = v_client AND s.carton_no = v_carton AND s.status <> 'DESPATCHED';

    IF v_line.status = 'PICKED' THEN
        PERFORM refuse(-10, format('Carton %s is picked for order %s and cannot be adjusted.',
                                   v_carton, v_line.so_no));
    END IF;
    SELECT p.serial_no_flag INTO v_serial
    FROM product p
    WHERE p.client = v_line.client AND p.item_no = v_line.item_no;
    IF v_serial = 'Y' AND v_qty <> v_line.qty THEN
        PERFORM refuse(-11, format('Item %s is serial controlled; adjust its serial numbers instead.',
                                   v_line.item_no));
    END IF;
    IF v_qty < v_line.qty_booked THEN
        PERFORM refuse(-12, format('Quantity %s is below the %s %s booked on carton %s.',
                                   trim_scale(v_qty), trim_scale(v_line.qty_booked), v_line.uom, v_carton));
    END IF;
    IF v_qty = v_line.qty THEN
        RETURN QUERY SELECT 0, format('Carton %s already holds %s %s; nothing changed.',
                                      v_carton, trim_scale(v_qty), v_line.uom);
        RETURN;
    END IF;

    UPDATE stock s
    SET qty = v_qty, maker = v_operator, last_update = localtimestamp(0)
    WHERE s.rec_num = v_line.rec_num;

    UPDATE carton c
    SET status = CASE WHEN v_qty = 0 THEN 'EMPTY' ELSE 'ACTIVE' END,
        maker = v_operator,
        last_update = localtimestamp(0)
    WHERE c.client = v_client AND c.carton_no = v_carton;

    INSERT INTO stock_movement (movement_type, client, item_no, rec_num, uom, qty, qty_before, qty_after,
                                warehouse_from, location_from, pallet_from, carton_from, grade, reference,
                                operator)
    VALUES ('ADJUST', v_line.client, v_line.item_no, v_line.rec_num, v_line.uom, v_qty - v_line.qty,
            v_line.qty, v_qty, v_line.warehouse, v_line.location, v_line.pallet, v_carton, v_line.grade,
            'Carton quantity adjusted on the handheld', v_operator);

    RETURN QUERY SELECT 0, format('Carton %s adjusted from %s to %s %s.',
                                  v_carton, trim_scale(v_line.qty), trim_scale(v_qty), v_line.uom);
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE),
                            failure_message(SQLSTATE, SQLERRM, 'Carton quantity not adjusted');
END
$$;

-- The client the operator last worked for, while the operator may still
-- work for it; no row otherwise.
CREATE FUNCTION rf_get_last_client_accessed(operator text)
RETURNS TABLE (client text)
LANGUAGE sql STABLE AS $$
    SELECT l.client
    FROM operator_last_client l
    JOIN operator_client oc ON oc.operator = l.operator AND oc.client = l.client
    WHERE l.operator = upper(btrim($1));
$$;

-- Sign an operator off: journal the sign-off and clear the signed-on mark.
CREATE PROCEDURE rf_system_logout(operator text, INOUT sqlstatus integer DEFAULT NULL,
                                  INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    v_operator text;
BEGIN
    v_operator := given_operator(rf_system_logout.operator);

    UPDATE operator o
    SET signed_on = false, last_signoff_at = localtimestamp(0)
    WHERE o.operator = v_operator;
    IF NOT FOUND THEN
        PERFORM refuse(-2, format('Operator %s is not known.', v_operator));
    END IF;

    INSERT INTO operator_log (operator, event) VALUES (v_operator, 'SIGNOFF');
    sqlstatus := 0;
    sqlmsg := format('Operator %s signed off.', v_operator);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Sign-off not recorded');
END
$$;
