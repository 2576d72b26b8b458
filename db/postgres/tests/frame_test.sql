-- Tests of the frame routines and the schema helpers, on the demo data.
-- Everything runs in one transaction that is rolled back. A failed check
-- raises an error naming the case (run by scripts/db.sh test).

\set ON_ERROR_STOP 1
BEGIN;

-- Carton adjustment refusals: each gives its status and leaves stock and
-- journal untouched.
DO $$
DECLARE
    c        record;
    res      record;
    qty_sum  numeric;
    journal  bigint;
BEGIN
    INSERT INTO carton (client, carton_no, warehouse, location) VALUES ('C01', 'CTN90', 'W1', 'P-56');
    INSERT INTO carton (client, carton_no, warehouse, location) VALUES ('C01', 'CTN91', 'W1', 'P-57');
    INSERT INTO stock (client, item_no, warehouse, location, carton_no, uom, qty, status)
    VALUES ('C01', 'A1011', 'W1', 'P-57', 'CTN91', 'EA', 0, 'DESPATCHED');
    UPDATE stock SET status = 'PICKED', so_no = 'SO1002' WHERE client = 'C01' AND carton_no = 'CTN2';

    SELECT sum(s.qty) INTO qty_sum FROM stock s;
    SELECT count(*) INTO journal FROM stock_movement;

    FOR c IN
        SELECT *
        FROM (VALUES
            ('blank client', '  ', 'CTN9', 5, 'JOE', -1, 'Client is required.'),
            ('missing client', NULL, 'CTN9', 5, 'JOE', -1, 'Client is required.'),
            ('blank carton', 'C01', '', 5, 'JOE', -2, 'Carton number is required.'),
            ('missing quantity', 'C01', 'CTN9', NULL, 'JOE', -3, 'Quantity is required.'),
            ('negative quantity', 'C01', 'CTN9', -1, 'JOE', -4,
             'Quantity -1 refused: a carton quantity cannot be negative.'),
            ('unknown carton', 'C01', 'CTN99', 5, 'JOE', -7, 'Carton CTN99 not found for client C01.'),
            ('carton of another client', 'C02', 'CTN9', 5, 'JOE', -7, 'Carton CTN9 not found for client C02.'),
            ('empty carton', 'C01', 'CTN90', 5, 'JOE', -8, 'Carton CTN90 holds no stock.'),
            ('despatched carton', 'C01', 'CTN91', 5, 'JOE', -8, 'Carton CTN91 holds no stock.'),
            ('mixed carton', 'C01', 'CTN51', 5, 'JOE', -9,
             'Carton CTN51 holds 2 stock lines; adjust them one by one.'),
            ('picked carton', 'C01', 'CTN2', 5, 'JOE', -10,
             'Carton CTN2 is picked for order SO1002 and cannot be adjusted.'),
            ('serial controlled item', 'C01', 'CTN5', 2, 'JOE', -11,
             'Item A1005 is serial controlled; adjust its serial numbers instead.'),
            ('below the booked quantity', 'C01', 'CTN1', 5, 'JOE', -12,
             'Quantity 5 is below the 6 EA booked on carton CTN1.')
        ) AS t(name, client, carton_no, qty, operator, status, msg)
    LOOP
        SELECT * INTO res FROM rf_adjust_carton_qty(c.client, c.carton_no, c.qty, c.operator);
        ASSERT res.sqlstatus = c.status AND res.sqlmsg = c.msg,
            format('%s: got %s "%s"', c.name, res.sqlstatus, res.sqlmsg);
    END LOOP;

    ASSERT (SELECT sum(s.qty) FROM stock s) = qty_sum, 'a refused adjustment changed stock';
    ASSERT (SELECT count(*) FROM stock_movement) = journal, 'a refused adjustment was journalled';
END
$$;

-- Carton adjustment that succeeds: the line, the carton and the journal.
DO $$
DECLARE
    res  record;
    line stock%ROWTYPE;
    move stock_movement%ROWTYPE;
BEGIN
    SELECT * INTO line FROM stock WHERE client = 'C01' AND carton_no = 'CTN9';

    SELECT * INTO res FROM rf_adjust_carton_qty('C01', ' CTN9 ', 20, ' joe ');
    ASSERT res.sqlstatus = 0 AND res.sqlmsg = format('Carton CTN9 adjusted from %s to 20 EA.', line.qty),
        format('raise: got %s "%s"', res.sqlstatus, res.sqlmsg);
    ASSERT (SELECT qty FROM stock WHERE rec_num = line.rec_num) = 20, 'raise: quantity not stored';
    ASSERT (SELECT maker FROM stock WHERE rec_num = line.rec_num) = 'JOE', 'raise: maker not the operator';

    SELECT * INTO move FROM stock_movement ORDER BY movement_id DESC LIMIT 1;
    ASSERT move.movement_type = 'ADJUST' AND move.rec_num = line.rec_num AND move.qty = 20 - line.qty
           AND move.qty_before = line.qty AND move.qty_after = 20 AND move.carton_from = 'CTN9'
           AND move.location_from = line.location AND move.operator = 'JOE',
        'raise: journal row wrong';

    SELECT * INTO res FROM rf_adjust_carton_qty('C01', 'CTN9', 20, 'JOE');
    ASSERT res.sqlstatus = 0 AND res.sqlmsg = 'Carton CTN9 already holds 20 EA; nothing changed.',
        format('same quantity: got %s "%s"', res.sqlstatus, res.sqlmsg);
    ASSERT (SELECT max(movement_id) FROM stock_movement) = move.movement_id, 'same quantity: journalled';

    SELECT * INTO res FROM rf_adjust_carton_qty('C01', 'CTN9', 0, 'JOE');
    ASSERT res.sqlstatus = 0, format('to zero: got %s "%s"', res.sqlstatus, res.sqlmsg);
    ASSERT (SELECT status FROM carton WHERE client = 'C01' AND carton_no = 'CTN9') = 'EMPTY',
        'to zero: carton not marked empty';

    SELECT * INTO res FROM rf_adjust_carton_qty('C01', 'CTN9', 2.5, 'JOE');
    ASSERT res.sqlstatus = 0 AND res.sqlmsg = 'Carton CTN9 adjusted from 0 to 2.5 EA.',
        format('refill: got %s "%s"', res.sqlstatus, res.sqlmsg);
    ASSERT (SELECT status FROM carton WHERE client = 'C01' AND carton_no = 'CTN9') = 'ACTIVE',
        'refill: carton still marked empty';

    -- Down to exactly the booked quantity is allowed.
    SELECT * INTO res FROM rf_adjust_carton_qty('C01', 'CTN1', 6, 'JOE');
    ASSERT res.sqlstatus = 0, format('to booked: got %s "%s"', res.sqlstatus, res.sqlmsg);
END
$$;

-- Last client accessed.
DO $$
DECLARE
    n integer;
BEGIN
    ASSERT (SELECT array_agg(client) FROM rf_get_last_client_accessed('JOE')) = ARRAY['C01'],
        'JOE: last client is C01';
    ASSERT (SELECT array_agg(client) FROM rf_get_last_client_accessed(' joe ')) = ARRAY['C01'],
        'the operator id is trimmed and upper-cased';
    SELECT count(*) INTO n FROM rf_get_last_client_accessed('ANN');
    ASSERT n = 0, 'ANN has no last client';
    SELECT count(*) INTO n FROM rf_get_last_client_accessed('NOBODY');
    ASSERT n = 0, 'unknown operator: no row';
    SELECT count(*) INTO n FROM rf_get_last_client_accessed(NULL);
    ASSERT n = 0, 'missing operator: no row';

    DELETE FROM operator_client WHERE operator = 'JOE' AND client = 'C01';
    SELECT count(*) INTO n FROM rf_get_last_client_accessed('JOE');
    ASSERT n = 0, 'a client the operator may no longer use is not offered';
END
$$;

-- Sign-off.
DO $$
DECLARE
    status  integer;
    msg     text;
    signoff bigint;
BEGIN
    UPDATE operator SET signed_on = true WHERE operator = 'JOE';
    SELECT count(*) INTO signoff FROM operator_log WHERE operator = 'JOE' AND event = 'SIGNOFF';

    CALL rf_system_logout(' joe ', status, msg);
    ASSERT status = 0 AND msg = 'Operator JOE signed off.', format('sign-off: got %s "%s"', status, msg);
    ASSERT NOT (SELECT signed_on FROM operator WHERE operator = 'JOE'), 'sign-off: still signed on';
    ASSERT (SELECT last_signoff_at FROM operator WHERE operator = 'JOE') IS NOT NULL, 'sign-off: no time';
    ASSERT (SELECT count(*) FROM operator_log WHERE operator = 'JOE' AND event = 'SIGNOFF') = signoff + 1,
        'sign-off: not journalled';

    status := NULL;
    msg := NULL;
    CALL rf_system_logout('NOBODY', status, msg);
    ASSERT status = -2 AND msg = 'Operator NOBODY is not known.', format('unknown: got %s "%s"', status, msg);

    CALL rf_system_logout('', status, msg);
    ASSERT status = -91 AND msg = 'Operator is required.', format('blank: got %s "%s"', status, msg);
END
$$;

-- The engine calls a procedure with its inputs only; the outputs come back
-- as the row of the call.
CALL rf_system_logout('ANN');

-- Schema rules and helpers.
DO $$
DECLARE
    label text;
BEGIN
    BEGIN
        UPDATE stock SET qty = -1 WHERE rec_num = 1;
        RAISE EXCEPTION 'negative stock was accepted';
    EXCEPTION WHEN check_violation THEN NULL;
    END;
    BEGIN
        UPDATE stock SET qty_booked = qty + 1 WHERE rec_num = 1;
        RAISE EXCEPTION 'more booked than held was accepted';
    EXCEPTION WHEN check_violation THEN NULL;
    END;
    BEGIN
        INSERT INTO operator (operator, password_hash) VALUES ('EVE', 'eve123');
        RAISE EXCEPTION 'a clear-text password was accepted';
    EXCEPTION WHEN check_violation THEN NULL;
    END;
    BEGIN
        INSERT INTO operator (operator, password_hash) VALUES ('eve', crypt('x', gen_salt('bf')));
        RAISE EXCEPTION 'a lower-case operator id was accepted';
    EXCEPTION WHEN check_violation THEN NULL;
    END;

    ASSERT check_operator_password('JOE', 'joe123'), 'JOE signs on with joe123';
    ASSERT check_operator_password('ann', 'ann123'), 'ANN signs on with ann123';
    ASSERT NOT check_operator_password('JOE', 'JOE123'), 'passwords are case sensitive';
    ASSERT NOT check_operator_password('JOE', ''), 'an empty password never matches';
    ASSERT NOT check_operator_password('NOBODY', 'x'), 'unknown operator';
    ASSERT set_operator_password('joe', 'n3w'), 'password change';
    ASSERT check_operator_password('JOE', 'n3w') AND NOT check_operator_password('JOE', 'joe123'),
        'the new password replaces the old';
    ASSERT (SELECT password_hash FROM operator WHERE operator = 'JOE') NOT LIKE '%n3w%', 'hash holds clear text';

    ASSERT next_document_no('C01', 'RECEIPT') = 'R000003', 'C01 continues after its demo receipts';
    ASSERT next_document_no('C01', 'RECEIPT') = 'R000004', 'numbers follow each other';
    ASSERT next_document_no('C02', 'RECEIPT') = 'R000002', 'each client has its own series';
    ASSERT next_document_no('C02', 'WARRANT') = 'W000001', 'warrant receipts are a series of their own';
    INSERT INTO client (client, client_name) VALUES ('C09', 'Test client');
    ASSERT next_document_no('C09', 'RECEIPT') = 'R000001', 'a new client starts at 1';

    ASSERT pallet_check_char('P000001') = '7', 'check character of P000001';
    ASSERT pallet_check_char('P000010') = '9', 'check character of P000010';
    label := issue_pallet('C01', NULL, 'joe');
    ASSERT label ~ '^P[0-9]{7}$' AND right(label, 1) = pallet_check_char(left(label, 7)),
        format('issued label %s', label);
    ASSERT (SELECT maker FROM pallet WHERE pallet = label) = 'JOE', 'issued label registered';
    ASSERT ensure_pallet(' PX1 ', 'C01', 'JOE') = 'PX1' AND ensure_pallet('PX1', 'C01', 'JOE') = 'PX1',
        'registering a label twice';
    label := next_works_order_no();
    ASSERT label ~ '^WO[0-9]{6}$' AND label > 'WO000004', format('works order number %s', label);

    EXECUTE 'CREATE FUNCTION talwen_test_routine(a text) RETURNS text LANGUAGE sql AS $f$ SELECT a $f$';
    EXECUTE 'CREATE FUNCTION talwen_test_routine(a text, b text) RETURNS text LANGUAGE sql AS $f$ SELECT a $f$';
    PERFORM drop_routines('talwen_test_routine');
    ASSERT NOT EXISTS (SELECT 1 FROM pg_proc WHERE proname = 'talwen_test_routine'), 'drop_routines drops every overload';
END
$$;

-- The demo data that other tests rely on.
DO $$
BEGIN
    ASSERT NOT EXISTS (
        SELECT 1
        FROM product p
        WHERE NOT EXISTS (SELECT 1 FROM product_uom u
                          WHERE u.client = p.client AND u.item_no = p.item_no AND u.uom = p.lowest_uom
                            AND u.luom_equivalent = 1 AND u.uom_sequence = 1)),
        'every product has its lowest unit';
    ASSERT NOT EXISTS (
        SELECT s.rec_num
        FROM stock s
        JOIN product p ON p.client = s.client AND p.item_no = s.item_no AND p.serial_no_flag = 'Y'
        WHERE s.qty <> (SELECT count(*) FROM serial_number n WHERE n.rec_num = s.rec_num)),
        'every serialised unit has its serial number';
END
$$;

ROLLBACK;
