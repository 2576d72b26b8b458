-- Tests of the sign-on, operator-context and reference-list routines, on the
-- demo data. Everything runs in one transaction that is rolled back.

\set ON_ERROR_STOP 1
BEGIN;

-- Password checks: refusals, the count of wrong passwords, the lock, and the
-- sign-on that clears the count.
DO $$
DECLARE
    c       record;
    res     record;
    failed  bigint := (SELECT count(*) FROM operator_log WHERE operator = 'JOE' AND event = 'SIGNON_FAILED');
    signons bigint := (SELECT count(*) FROM operator_log WHERE operator = 'JOE' AND event = 'SIGNON');
BEGIN
    UPDATE operator SET failed_signons = 0 WHERE operator = 'JOE';
    FOR c IN
        SELECT *
        FROM (VALUES
            ('blank operator', ' ', 'joe123', -91, 'Operator is required.'),
            ('missing password', 'JOE', NULL, -2, 'Password is required.'),
            ('unknown operator', 'BOB', 'joe123', -3, 'Operator or password is not correct.'),
            ('wrong password', 'JOE', 'JOE123', -3, 'Operator or password is not correct.'),
            ('password of another operator', 'JOE', 'ann123', -3, 'Operator or password is not correct.')
        ) AS t(name, operator, password, status, msg)
    LOOP
        SELECT * INTO res FROM rf_check_user_password(c.operator, c.password);
        ASSERT res.sqlstatus = c.status AND res.sqlmsg = c.msg,
            format('%s: got %s "%s"', c.name, res.sqlstatus, res.sqlmsg);
    END LOOP;
    ASSERT (SELECT failed_signons FROM operator WHERE operator = 'JOE') = 2, 'wrong passwords counted';
    ASSERT (SELECT count(*) FROM operator_log WHERE operator = 'JOE' AND event = 'SIGNON_FAILED') = failed + 2,
        'wrong passwords journalled';

    SELECT * INTO res FROM rf_check_user_password(' joe ', 'joe123');
    ASSERT res.sqlstatus = 0 AND res.sqlmsg = 'Welcome, Joe Bloggs.',
        format('right password: got %s "%s"', res.sqlstatus, res.sqlmsg);
    ASSERT (SELECT failed_signons = 0 AND signed_on AND last_signon_at IS NOT NULL
            FROM operator WHERE operator = 'JOE'), 'sign-on recorded, count cleared';
    ASSERT (SELECT count(*) FROM operator_log WHERE operator = 'JOE' AND event = 'SIGNON') = signons + 1,
        'sign-on journalled';
    ASSERT NOT EXISTS (SELECT 1 FROM operator WHERE password_hash IN ('joe123', 'ann123')),
        'no password stored in clear';
END
$$;

DO $$
DECLARE
    res record;
    i   integer;
BEGIN
    INSERT INTO system_config (cfg_code, cfg_value) VALUES ('RF_SIGNON_ATTEMPTS', '3')
    ON CONFLICT ON CONSTRAINT system_config_pkey DO UPDATE SET cfg_value = '3';
    FOR i IN 1..2 LOOP
        SELECT * INTO res FROM rf_check_user_password('ANN', 'nope');
        ASSERT res.sqlstatus = -3, format('attempt %s: got %s', i, res.sqlstatus);
    END LOOP;
    SELECT * INTO res FROM rf_check_user_password('ANN', 'nope');
    ASSERT res.sqlstatus = -4 AND res.sqlmsg = 'Operator ANN is locked; ask a supervisor to unlock it.',
        format('third wrong password: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_check_user_password('ANN', 'ann123');
    ASSERT res.sqlstatus = -4, format('right password of a locked operator: got %s', res.sqlstatus);
    ASSERT NOT (SELECT signed_on FROM operator WHERE operator = 'ANN'), 'a locked operator is not signed on';

    UPDATE operator SET status = 'INACTIVE', failed_signons = 0 WHERE operator = 'ANN';
    SELECT * INTO res FROM rf_check_user_password('ANN', 'ann123');
    ASSERT res.sqlstatus = -5 AND res.sqlmsg = 'Operator ANN is not active.',
        format('inactive operator: got %s "%s"', res.sqlstatus, res.sqlmsg);
    UPDATE operator SET status = 'ACTIVE' WHERE operator = 'ANN';
END
$$;

-- Station checks: the warehouse, the type, the operator's rights.
DO $$
DECLARE
    c      record;
    status integer;
    msg    text;
BEGIN
    UPDATE station SET status = 'INACTIVE' WHERE warehouse = 'W1' AND station = 'RF02';
    FOR c IN
        SELECT *
        FROM (VALUES
            ('an RF station', 'W1', 'RF01', 'RF', 'joe', 0, 'Station RF01 of warehouse W1 verified.'),
            ('any type when none is asked', 'W1', ' CHK1 ', '', 'JOE', 0, 'Station CHK1 of warehouse W1 verified.'),
            ('blank warehouse', NULL, 'RF01', 'RF', 'JOE', -2, 'Warehouse is required.'),
            ('blank station', 'W1', ' ', 'RF', 'JOE', -3, 'Station is required.'),
            ('warehouse not the operator''s', 'W2', 'RF09', 'RF', 'ANN', -5,
             'Operator ANN may not work in warehouse W2.'),
            ('station of another warehouse', 'W1', 'RF09', 'RF', 'JOE', -6, 'Station RF09 is not in warehouse W1.'),
            ('inactive station', 'W1', 'RF02', 'RF', 'JOE', -7, 'Station RF02 is not active.'),
            ('station of another type', 'W1', 'CHK1', 'RF', 'JOE', -8,
             'Station CHK1 is a CHECKIN station, not RF.')
        ) AS t(name, warehouse, station, station_type, operator, status, msg)
    LOOP
        status := NULL;
        msg := NULL;
        CALL rf_verify_user_station(c.warehouse, c.station, c.station_type, c.operator, status, msg);
        ASSERT status = c.status AND msg = c.msg, format('%s: got %s "%s"', c.name, status, msg);
    END LOOP;
    UPDATE station SET status = 'ACTIVE' WHERE warehouse = 'W1' AND station = 'RF02';
END
$$;

-- The operator's context.
DO $$
DECLARE
    line text;
BEGIN
    ASSERT (SELECT string_agg(warehouse || ':' || default_flag, ',') FROM get_user_warehouse('joe')) = 'W1:Y,W2:N',
        'JOE works in W1 (default) and W2';
    ASSERT (SELECT string_agg(client, ',') FROM get_user_client('ANN')) = 'C01', 'ANN works for C01';
    ASSERT (SELECT string_agg(client || '=' || client_name, ',') FROM rf_get_operator_clients('JOE'))
           = 'C01=Acme Trading Ltd,C02=Borealis Foods Pty', 'JOE''s clients';
    ASSERT (SELECT string_agg(station, ',') FROM rf_get_user_station('ANN', 'CHECKIN')) = 'CHK1,CHK2',
        'ANN''s check-in stations are in W1 only';
    ASSERT (SELECT count(*) FROM rf_get_user_station('JOE', NULL)) = 8, 'every station of JOE''s warehouses';
    ASSERT (SELECT string_agg(menu_name, ',') FROM get_user_access('ann')) = 'CYCLECOUNT,ENQUIRY,PUTAWAY,RECEIPT',
        'ANN''s menus';
    ASSERT (SELECT string_agg(movement || '=' || priority, ',') FROM get_tasks_priorities('ANN'))
           = 'PICK=1,REPLENISH=2,PUTAWAY=3,COUNT=4,RELOCATE=5', 'ANN''s priorities, most urgent first';
    DELETE FROM operator_task_priority WHERE operator = 'ANN' AND movement_type = 'RELOCATE';
    ASSERT (SELECT priority FROM get_tasks_priorities('ANN') WHERE movement = 'RELOCATE') = 5,
        'a movement type without the operator''s priority takes its default';
    SELECT operator || '/' || operator_name || '/' || default_warehouse || '/' || warehouse_name INTO line
    FROM rf_get_user_profile(' ann ');
    ASSERT line = 'ANN/Ann Lee/W1/Main Warehouse', format('ANN''s profile: %s', line);
    ASSERT NOT EXISTS (SELECT 1 FROM rf_get_user_profile('BOB')), 'no profile for an unknown operator';
    UPDATE operator SET status = 'LOCKED' WHERE operator = 'ANN';
    ASSERT NOT EXISTS (SELECT 1 FROM get_user_access('ANN')), 'a locked operator has no menus';
    UPDATE operator SET status = 'ACTIVE' WHERE operator = 'ANN';
END
$$;

-- The last client: remembered only for a client the operator may work for.
DO $$
DECLARE
    c      record;
    status integer;
    msg    text;
BEGIN
    DELETE FROM operator_last_client WHERE operator = 'ANN';
    FOR c IN
        SELECT *
        FROM (VALUES
            ('blank client', ' ', 'JOE', -1, 'Client is required.'),
            ('client not the operator''s', 'C02', 'ANN', -4, 'Operator ANN may not work for client C02.'),
            ('unknown client', 'C09', 'JOE', -4, 'Operator JOE may not work for client C09.'),
            ('a client of the operator', ' C02 ', 'joe', 0, 'Client C02 remembered for JOE.'),
            ('a first client', 'C01', 'ANN', 0, 'Client C01 remembered for ANN.')
        ) AS t(name, client, operator, status, msg)
    LOOP
        status := NULL;
        msg := NULL;
        CALL rf_update_last_client_accessed(c.client, c.operator, status, msg);
        ASSERT status = c.status AND msg = c.msg, format('%s: got %s "%s"', c.name, status, msg);
    END LOOP;
    ASSERT (SELECT client FROM rf_get_last_client_accessed('JOE')) = 'C02', 'JOE''s last client replaced';
    ASSERT (SELECT client FROM rf_get_last_client_accessed('ANN')) = 'C01', 'ANN''s first client stored';
END
$$;

-- Configuration and code lists.
DO $$
BEGIN
    ASSERT (SELECT cfg_value FROM get_system_config(' RF_PAGE_SIZE ')) = '8', 'one configuration value';
    ASSERT NOT EXISTS (SELECT 1 FROM get_system_config('NOPE')), 'no row for an unknown code';
    ASSERT (SELECT count(*) FROM rf_get_system_config(NULL)) = (SELECT count(*) FROM system_config),
        'every configuration value when no code is given';
    ASSERT (SELECT count(*) FROM rf_get_system_config('RF_PAGE_SIZE')) = 1, 'one value by code';
    ASSERT NOT EXISTS (SELECT 1 FROM rf_get_system_config_rf() r
                       JOIN system_config c USING (cfg_code) WHERE c.rf_flag <> 'Y'),
        'the handheld reads only its own settings';
    ASSERT (SELECT string_agg(param_code, ',') FROM rpt_parameter_tbl_list('GRADE')) = 'A,B,C,Q', 'grades';
    ASSERT (SELECT string_agg(param_code, ',') FROM rpt_parameter_tbl_list('REASONCODE'))
           = 'DMG,EXP,CNT,LOST,FOUND,RTN,SHORT', 'reason codes in their sort order';
    ASSERT (SELECT count(*) FROM rpt_parameter_tbl_list('PRODUCT CLASS')) > 0, 'product classes';
    ASSERT (SELECT count(*) FROM rpt_parameter_tbl_list('PRODUCT GROUP')) > 0, 'product groups';
    ASSERT (SELECT string_agg(uom, ',') FROM rf_get_uom_list()) = 'CTN,EA,PLT', 'units';
    ASSERT (SELECT string_agg(warehouse || '=' || facility_type, ',') FROM rf_get_facility_type())
           = 'W1=WAREHOUSE,W2=STORE', 'facility types';
END
$$;

-- Parties.
DO $$
BEGIN
    ASSERT (SELECT string_agg(client, ',') FROM rf_get_client(NULL)) = 'C01,C02', 'every client';
    ASSERT (SELECT string_agg(client, ',') FROM rf_get_client(' C02 ')) = 'C02', 'one client';
    ASSERT (SELECT count(*) FROM rf_get_client_customers('C01', NULL)) = 30, 'C01''s customers';
    ASSERT (SELECT string_agg(customer, ',') FROM rf_get_client_customers('C01', 'CUST00'))
           = 'CUST001,CUST002,CUST003,CUST004,CUST005,CUST006,CUST007,CUST008,CUST009',
        'customers by the start of their code';
    ASSERT (SELECT count(*) FROM get_supplier('C01', NULL, 'Y')) = 320, 'C01''s suppliers';
    ASSERT (SELECT count(*) FROM get_supplier('C01', 'SUP1', 'Y')) = 100, 'suppliers by the start of their code';
    UPDATE supplier SET status = 'INACTIVE' WHERE client = 'C01' AND supplier = 'SUP001';
    ASSERT NOT EXISTS (SELECT 1 FROM get_supplier('C01', 'SUP001', 'Y')), 'active suppliers only';
    ASSERT EXISTS (SELECT 1 FROM get_supplier('C01', 'SUP001', 'N')), 'inactive suppliers too';
    ASSERT (SELECT count(*) FROM rf_get_carrier(NULL)) = 10, 'every carrier';
    ASSERT (SELECT string_agg(carrier, ',') FROM rf_get_carrier('CO')) = 'COASTAL', 'carriers by code';
END
$$;

-- The print queue.
DO $$
DECLARE
    rv      integer;
    queued  bigint := (SELECT count(*) FROM print_queue);
    request print_queue%ROWTYPE;
BEGIN
    rv := NULL;
    CALL rf_print_queue(' ', 'x', NULL, NULL, NULL, NULL, NULL, NULL, NULL, 1, rv);
    ASSERT rv = -1, format('blank report type: got %s', rv);
    rv := NULL;
    CALL rf_print_queue('PICKLIST', 'SO1001', NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, rv);
    ASSERT rv = -2, format('no copies: got %s', rv);
    ASSERT (SELECT count(*) FROM print_queue) = queued, 'a refused request is not queued';

    rv := NULL;
    CALL rf_print_queue('PICKLIST', ' C01 ', 'SO1001', NULL, NULL, NULL, NULL, NULL, 'last', 3, rv);
    ASSERT rv = 0, format('a request: got %s', rv);
    SELECT * INTO request FROM print_queue ORDER BY print_id DESC LIMIT 1;
    ASSERT request.report_type = 'PICKLIST' AND request.param1 = 'C01' AND request.param2 = 'SO1001'
           AND request.param3 = '' AND request.param8 = 'last' AND request.copies = 3
           AND request.status = 'QUEUED', format('the request as stored: %s', request);
END
$$;

ROLLBACK;
