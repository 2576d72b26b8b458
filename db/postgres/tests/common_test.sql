-- The rules every routine shares: how a refusal answers, and who may call.
-- Runs in one transaction that is rolled back (run by scripts/db.sh test).

\set ON_ERROR_STOP 1
BEGIN;

-- A refusal answers its own status and message and undoes what the call
-- changed; any other error answers -99 with what was not done.
DO $$
DECLARE
    v_state text;
    v_msg   text;
BEGIN
    BEGIN
        UPDATE stock SET qty = qty + 1 WHERE rec_num = 1;
        PERFORM refuse(-62, 'No.');
    EXCEPTION
        WHEN SQLSTATE 'TW000' THEN
            v_state := SQLSTATE;
            v_msg := SQLERRM;
    END;
    ASSERT failure_status(v_state) = -62 AND failure_message(v_state, v_msg, 'Not done') = 'No.',
        format('a refusal answers itself: %s %s', v_state, v_msg);
    ASSERT (SELECT qty FROM stock WHERE rec_num = 1) = 120, 'a refusal undoes what the call changed';
    BEGIN
        PERFORM 1 / 0;
    EXCEPTION
        WHEN SQLSTATE 'TW000' THEN
            RAISE EXCEPTION 'a division by zero was taken for a refusal';
        WHEN OTHERS THEN
            ASSERT failure_status(SQLSTATE) = -99
                   AND failure_message(SQLSTATE, SQLERRM, 'Not done') = 'Not done: division by zero',
                format('any other error: %s %s', failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'x'));
    END;
END
$$;

-- The operator check: given, active, and (when a client is named) allowed
-- to work for the client. Ids are compared in upper case, blanks trimmed.
DO $$
DECLARE
    c record;
    v_state text;
    v_msg   text;
    v_id    text;
BEGIN
    UPDATE operator SET status = 'LOCKED' WHERE operator = 'ANN';
    INSERT INTO operator (operator, password_hash, status) VALUES ('EVE', crypt('x', gen_salt('bf')), 'INACTIVE');
    FOR c IN
        SELECT * FROM (VALUES
            (' joe ', NULL, 'JOE', NULL),
            ('joe', ' C02 ', 'JOE', NULL),
            ('JOE', '', 'JOE', NULL),
            (NULL, NULL, '-91', 'Operator is required.'),
            ('  ', 'C01', '-91', 'Operator is required.'),
            ('bob', NULL, '-92', 'Operator BOB is not an active operator.'),
            ('ann', 'C01', '-92', 'Operator ANN is not an active operator.'),
            ('EVE', NULL, '-92', 'Operator EVE is not an active operator.')
        ) AS t(operator, client, expected, msg)
    LOOP
        v_id := NULL;
        v_state := NULL;
        BEGIN
            v_id := active_operator(c.operator, c.client);
        EXCEPTION
            WHEN SQLSTATE 'TW000' THEN
                v_state := SQLSTATE;
                v_msg := SQLERRM;
        END;
        ASSERT coalesce(v_id, failure_status(v_state)::text) = c.expected
               AND v_msg IS NOT DISTINCT FROM c.msg,
            format('%s for %s: got %s %s "%s"', c.operator, c.client, v_id, v_state, v_msg);
        v_msg := NULL;
    END LOOP;
    UPDATE operator SET status = 'ACTIVE' WHERE operator = 'ANN';
    BEGIN
        PERFORM active_operator('ann', 'C02');
        RAISE EXCEPTION 'ANN worked for C02';
    EXCEPTION
        WHEN SQLSTATE 'TW093' THEN
            ASSERT SQLERRM = 'Operator ANN may not work for client C02.', SQLERRM;
    END;
END
$$;

-- Every routine that acts for an operator refuses a blank and a locked one,
-- whatever else it is asked, and changes nothing then. (Sign-on and sign-off
-- have rules of their own: session_test.sql, frame_test.sql.)
DO $$
DECLARE
    c       record;
    v_op    text;
    v_row   record;
    v_stock numeric := (SELECT sum(qty) FROM stock);
    v_moves bigint := (SELECT count(*) FROM stock_movement);
BEGIN
    UPDATE operator SET status = 'LOCKED' WHERE operator = 'ANN';
    FOR c IN
        SELECT * FROM (VALUES
            ('SELECT * FROM rf_adjust_carton_qty(''C01'', ''CTN9'', 12, %L)'),
            ('CALL rf_verify_user_station(''W1'', ''RF01'', ''RF'', %L)'),
            ('CALL rf_update_last_client_accessed(''C01'', %L)'),
            ('CALL rf_check_in_header(''C01'', NULL, ''W1'', ''CHK1'', '''', ''PO'', '''', '''', '''', '''', '''', '
             '''PO1004'', '''', '''', '''', %L)'),
            ('CALL rf_check_duplicate_receipt_detail(''C01'', ''R000002'', NULL, ''PX1'', ''A1006'', ''EA'', 1, '
             ''''', '''', '''', '''', '''', '''', '''', '''', '''', '''', '''', NULL, NULL, NULL, NULL, '''', NULL, '
             ''''', NULL, '''', '''', %L)'),
            ('SELECT * FROM rf_receipt_check_carton(''C01'', ''R000002'', ''CTN1'', %L)'),
            ('CALL receipt_checkin(''C01'', ''R000002'', %L, ''Y'')'),
            ('SELECT * FROM rf_receipt_checkin_without_closing(''C01'', ''R000002'', %L, ''Y'')'),
            ('SELECT * FROM rf_receipt_checkin_carton_list(''C01'', ''R000002'', ''CTN1'', %L, ''Y'')'),
            ('SELECT * FROM rf_receipt_checkin_carton_list2(''C01'', ''CTN1'', %L, ''Y'')'),
            ('CALL rf_close_receipt2(''C01'', ''R000001'', %L)'),
            ('CALL rf_delete_receipt_line(''C01'', ''R000001'', ''1'', %L)'),
            ('CALL rf_update_receipt_serial(''C01'', ''A1005'', ''SN-T1'', ''R000001'', NULL, '''', '''', %L)'),
            ('CALL rf_remove_receipt_serial(''C01'', ''A1005'', ''SNA1005-1531'', ''R000001'', %L)'),
            ('SELECT * FROM rf_get_putaway_pallet_location(''P0001014'', %L)'),
            ('SELECT * FROM rf_receipt_allocate_putaway_location(''C01'', ''R000001'', %L)'),
            ('CALL rf_receipt_pallet_putaway(''C01'', ''R000001'', ''P0001014'', ''W1'', ''D-05-1'', %L)'),
            ('SELECT * FROM rf_putaway_stock_movements_pallet(''P0001014'', ''W1'', ''D-05-1'', %L)'),
            ('SELECT * FROM rf_close_putaway_task(''WO000001'', 1, NULL, NULL, '''', '''', '''', '''', %L)'),
            ('SELECT * FROM rf_close_replenish_task(''WO000004'', 1, NULL, NULL, '''', %L)'),
            ('CALL rf_item_relocation('''', '''', '''', ''B-20-3'', '''', '''', ''1'', ''5'', '''', %L)'),
            ('CALL rf_location_transfer(''P0000031'', ''W1'', ''C-20-1'', %L)'),
            ('CALL rf_update_pallet_location_qty(''6'', '''', ''230'', ''DOC1'', %L)'),
            ('SELECT * FROM rf_create_stock(''W1'', ''C-19-1'', ''C01'', ''A1002'', '''', ''EA'', 12, ''F1'', %L)'),
            ('SELECT * FROM rf_create_carton(''W1'', ''A-01-2'', ''C01'', ''A1001'', '''', 24, ''EA'', ''CX1'', %L)'),
            ('SELECT * FROM rf_split_carton(''C01'', ''CTN3'', ''CX3'', 1, %L)'),
            ('SELECT * FROM rf_extract_order_picklist(''C01'', '''', ''SO1002'', NULL, '''', %L, '''')'),
            ('SELECT * FROM rf_close_pick_task(''WO000002'', 1, NULL, 0, ''SHORT'', %L)'),
            ('CALL rf_pick_sales_detail2(''C01'', ''SO1002'', ''1'', ''1'', ''P0000093'', ''OUT1'', '''', %L)'),
            ('SELECT * FROM rf_confirm_despatch(''C01'', '''', ''SO1005'', '''', ''P0001052'', ''T1'', '''', '''', '
             ''''', '''', %L)'),
            ('CALL rf_remove_so_serial(''C01'', ''A1005'', ''SNA1005-1531'', ''SO1005'', %L)'),
            ('SELECT * FROM rf_initialise_rf_stkcount_location(''W1'', ''A-01-1'', ''C01'', %L)'),
            ('SELECT * FROM rf_cc_update_cycle_count(%L, ''Y'', ''W1'', ''A-01-1'', '''', ''C01'', ''A1001'', '
             '''EA'', 120, 118, ''A'', '''', ''CYCLECOUNT'', 1, '''', '''', '''', '''', '''', '''', '''', '''')'),
            ('SELECT * FROM rf_update_rf_stkcount_location(''W1'', ''A-01-1'', ''C01'', %L)'),
            ('SELECT * FROM rf_close_count_task(''WO000003'', 1, 1, 0, %L)'),
            ('CALL rf_update_product_barcode(''C01'', ''9399'', ''A1029'', '''', %L)'),
            ('CALL rf_delete_serial_no(''C01'', ''A1005'', ''SNA1005-1531'', '''', %L)'),
            ('SELECT * FROM assign_whse_task_manual(%1$L, ''PICK'', ''C01'', ''SO1001'', %1$L)'),
            ('SELECT * FROM assign_works_order(%1$L, '''', '''', %1$L)')
        ) AS t(call)
    LOOP
        FOREACH v_op IN ARRAY ARRAY[' ', 'ann'] LOOP
            EXECUTE format(c.call, v_op) INTO v_row;
            ASSERT (to_jsonb(v_row) ->> 'sqlstatus')::integer = CASE WHEN v_op = ' ' THEN -91 ELSE -92 END,
                format('%s for %L: %s', c.call, v_op, v_row);
        END LOOP;
    END LOOP;
    ASSERT (SELECT sum(qty) FROM stock) = v_stock AND (SELECT count(*) FROM stock_movement) = v_moves,
        'a refused operator moved stock';
END
$$;

ROLLBACK;
