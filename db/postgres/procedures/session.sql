-- Routines of sign-on, the operator's context and the reference lists:
-- passwords, stations, profile, warehouses, clients, menu rights, task
-- priorities, the last client, configuration values, code lists, units,
-- clients, customers, suppliers, carriers and the print queue.
-- (rf_get_last_client_accessed and rf_system_logout are in frame.sql.)

SELECT drop_routines('rf_check_user_password', 'rf_verify_user_station', 'rf_get_user_profile',
                     'rf_get_user_station', 'get_user_warehouse', 'get_user_client',
                     'get_tasks_priorities', 'get_user_access', 'rf_update_last_client_accessed',
                     'rf_get_operator_clients', 'get_system_config', 'rf_get_system_config',
                     'rf_get_system_config_rf', 'rf_get_facility_type', 'rpt_parameter_tbl_list',
                     'rf_get_uom_list', 'rf_get_client', 'rf_get_client_customers', 'get_supplier',
                     'rf_get_carrier', 'rf_print_queue', 'signon_attempts_allowed');

------------------------------------------------------------------------------
-- Sign-on
------------------------------------------------------------------------------

-- How many wrong passwords in a row lock an operator: the configuration value
-- RF_SIGNON_ATTEMPTS when it is a positive number, else 5.
CREATE FUNCTION signon_attempts_allowed()
RETURNS integer
LANGUAGE sql STABLE AS $$
    SELECT coalesce(
        (SELECT c.cfg_value::integer
         FROM system_config c
         WHERE c.cfg_code = 'RF_SIGNON_ATTEMPTS' AND c.cfg_value ~ '^\s*[0-9]{1,6}\s*$'
           AND c.cfg_value::integer > 0),
        5);
$$;

-- Check an operator's password against the stored hash and sign the operator
-- on. A wrong password counts against the operator, who is locked after
-- signon_attempts_allowed() wrong passwords in a row; the right one clears
-- the count. Unknown operators and wrong passwords get the same answer.
-- Answers one row: sqlstatus, sqlmsg.
CREATE FUNCTION rf_check_user_password(operator text, password text)
RETURNS TABLE (sqlstatus integer, sqlmsg text)
LANGUAGE plpgsql AS $$
DECLARE
    v_operator text;
    v_password text := rf_check_user_password.password;
    v_row      operator%ROWTYPE;
    v_allowed  integer := signon_attempts_allowed();
BEGIN
    v_operator := given_operator(rf_check_user_password.operator);
    IF coalesce(v_password, '') = '' THEN
        RETURN QUERY SELECT -2, 'Password is required.';
        RETURN;
    END IF;

    SELECT o.* INTO v_row FROM operator o WHERE o.operator = v_operator FOR UPDATE;
    IF NOT FOUND THEN
        RETURN QUERY SELECT -3, 'Operator or password is not correct.';
        RETURN;
    END IF;

    IF v_row.password_hash <> crypt(v_password, v_row.password_hash) THEN
        UPDATE operator o
        SET failed_signons = o.failed_signons + 1,
            status = CASE WHEN o.status = 'ACTIVE' AND o.failed_signons + 1 >= v_allowed
                          THEN 'LOCKED' ELSE o.status END
        WHERE o.operator = v_operator
        RETURNING o.* INTO v_row;
        INSERT INTO operator_log (operator, event, remarks)
        VALUES (v_operator, 'SIGNON_FAILED', format('wrong password, %s in a row', v_row.failed_signons));
        IF v_row.status = 'LOCKED' THEN
            RETURN QUERY SELECT -4, format('Operator %s is locked; ask a supervisor to unlock it.', v_operator);
        ELSE
            RETURN QUERY SELECT -3, 'Operator or password is not correct.';
        END IF;
        RETURN;
    END IF;

    IF v_row.status = 'LOCKED' THEN
        RETURN QUERY SELECT -4, format('Operator %s is locked; ask a supervisor to unlock it.', v_operator);
        RETURN;
    END IF;
    IF v_row.status <> 'ACTIVE' THEN
        RETURN QUERY SELECT -5, format('Operator %s is not active.', v_operator);
        RETURN;
    END IF;

    UPDATE operator o
    SET failed_signons = 0, signed_on = true, last_signon_at = localtimestamp(0)
    WHERE o.operator = v_operator;
    INSERT INTO operator_log (operator, event) VALUES (v_operator, 'SIGNON');
    RETURN QUERY SELECT 0, format('Welcome, %s.', coalesce(nullif(v_row.operator_name, ''), v_operator));
EXCEPTION
    WHEN OTHERS THEN
        RETURN QUERY SELECT failure_status(SQLSTATE), failure_message(SQLSTATE, SQLERRM, 'Sign-on not checked');
END
$$;

-- Check that a station exists, is active, stands in the warehouse, is of
-- the type asked for (any type when none is given), and that the operator
-- may work in that warehouse. Changes nothing.
CREATE PROCEDURE rf_verify_user_station(warehouse text, station text, station_type text, operator text,
                                        INOUT sqlstatus integer DEFAULT NULL,
                                        INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    v_warehouse text := btrim(rf_verify_user_station.warehouse);
    v_station   text := btrim(rf_verify_user_station.station);
    v_type      text := btrim(rf_verify_user_station.station_type);
    v_operator  text;
    v_row       station%ROWTYPE;
BEGIN
    v_operator := active_operator(rf_verify_user_station.operator);
    IF coalesce(v_warehouse, '') = '' THEN
        PERFORM refuse(-2, 'Warehouse is required.');
    END IF;
    IF coalesce(v_station, '') = '' THEN
        PERFORM refuse(-3, 'Station is required.');
    END IF;
    IF NOT EXISTS (SELECT 1
                   FROM operator_warehouse ow
                   JOIN warehouse w ON w.warehouse = ow.warehouse AND w.status = 'ACTIVE'
                   WHERE ow.operator = v_operator AND ow.warehouse = v_warehouse) THEN
        PERFORM refuse(-5, format('Operator %s may not work in warehouse %s.', v_operator, v_warehouse));
    END IF;

    SELECT s.* INTO v_row FROM station s WHERE s.warehouse = v_warehouse AND s.station = v_station;
    IF NOT FOUND THEN
        PERFORM refuse(-6, format('Station %s is not in warehouse %s.', v_station, v_warehouse));
    END IF;
    IF v_row.status <> 'ACTIVE' THEN
        PERFORM refuse(-7, format('Station %s is not active.', v_station));
    END IF;
    IF coalesce(v_type, '') <> '' AND v_row.station_type <> v_type THEN
        PERFORM refuse(-8, format('Station %s is a %s station, not %s.', v_station, v_row.station_type, v_type));
    END IF;

    sqlstatus := 0;
    sqlmsg := format('Station %s of warehouse %s verified.', v_station, v_warehouse);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Station not verified');
END
$$;

------------------------------------------------------------------------------
-- The operator's context
------------------------------------------------------------------------------

-- The operator's profile (never the password hash).
CREATE FUNCTION rf_get_user_profile(operator text)
RETURNS TABLE (operator text, operator_name text, status text, default_warehouse text,
               warehouse_name text, language text, signed_on text, last_signon_at timestamp(0))
LANGUAGE sql STABLE AS $$
    SELECT o.operator, o.operator_name, o.status, o.default_warehouse, coalesce(w.warehouse_name, ''),
           o.language, CASE WHEN o.signed_on THEN 'Y' ELSE 'N' END, o.last_signon_at
    FROM operator o
    LEFT JOIN warehouse w ON w.warehouse = o.default_warehouse
    WHERE o.operator = upper(btrim($1));
$$;

-- The active stations of the operator's warehouses, of one type (every type
-- when none is given).
CREATE FUNCTION rf_get_user_station(operator text, station_type text DEFAULT NULL)
RETURNS TABLE (warehouse text, station text, station_type text, description text,
               receiving_location text)
LANGUAGE sql STABLE AS $$
    SELECT s.warehouse, s.station, s.station_type, s.description, coalesce(s.receiving_location, '')
    FROM operator_warehouse ow
    JOIN station s ON s.warehouse = ow.warehouse AND s.status = 'ACTIVE'
    WHERE ow.operator = upper(btrim($1))
      AND (coalesce(btrim($2), '') = '' OR s.station_type = btrim($2))
    ORDER BY s.warehouse, s.station;
$$;

-- The active warehouses the operator may work in, the default one flagged.
CREATE FUNCTION get_user_warehouse(operator text)
RETURNS TABLE (warehouse text, warehouse_name text, facility_type text, default_flag text)
LANGUAGE sql STABLE AS $$
    SELECT w.warehouse, w.warehouse_name, w.facility_type,
           CASE WHEN w.warehouse = o.default_warehouse THEN 'Y' ELSE 'N' END
    FROM operator o
    JOIN operator_warehouse ow ON ow.operator = o.operator
    JOIN warehouse w ON w.warehouse = ow.warehouse AND w.status = 'ACTIVE'
    WHERE o.operator = upper(btrim($1))
    ORDER BY w.warehouse;
$$;

-- The active clients the operator may work for.
CREATE FUNCTION get_user_client(operator text)
RETURNS TABLE (client text, client_name text)
LANGUAGE sql STABLE AS $$
    SELECT c.client, c.client_name
    FROM operator_client oc
    JOIN client c ON c.client = oc.client AND c.status = 'ACTIVE'
    WHERE oc.operator = upper(btrim($1))
    ORDER BY c.client;
$$;

-- The same list under the name the client chooser calls.
CREATE FUNCTION rf_get_operator_clients(operator text)
RETURNS TABLE (client text, client_name text)
LANGUAGE sql STABLE AS $$
    SELECT g.client, g.client_name FROM get_user_client($1) AS g;
$$;

-- The priority of every movement type for the operator: the operator's own
-- where set, else the movement type's default; most urgent first.
CREATE FUNCTION get_tasks_priorities(operator text)
RETURNS TABLE (movement text, priority integer, description text)
LANGUAGE sql STABLE AS $$
    SELECT m.movement_type, coalesce(p.priority, m.default_priority), m.description
    FROM operator o
    CROSS JOIN movement_type m
    LEFT JOIN operator_task_priority p ON p.operator = o.operator AND p.movement_type = m.movement_type
    WHERE o.operator = upper(btrim($1))
    ORDER BY 2, 1;
$$;

-- The menus an active operator may open.
CREATE FUNCTION get_user_access(operator text)
RETURNS TABLE (menu_name text)
LANGUAGE sql STABLE AS $$
    SELECT a.menu_name
    FROM operator o
    JOIN operator_access a ON a.operator = o.operator
    WHERE o.operator = upper(btrim($1)) AND o.status = 'ACTIVE'
    ORDER BY a.menu_name;
$$;

-- Remember the client the operator chose, when the operator may work for it.
CREATE PROCEDURE rf_update_last_client_accessed(client text, operator text,
                                                INOUT sqlstatus integer DEFAULT NULL,
                                                INOUT sqlmsg text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    v_client   text := btrim(rf_update_last_client_accessed.client);
    v_operator text;
BEGIN
    IF coalesce(v_client, '') = '' THEN
        PERFORM refuse(-1, 'Client is required.');
    END IF;
    v_operator := active_operator(rf_update_last_client_accessed.operator);
    IF NOT EXISTS (SELECT 1
                   FROM operator_client oc
                   JOIN client c ON c.client = oc.client AND c.status = 'ACTIVE'
                   WHERE oc.operator = v_operator AND oc.client = v_client) THEN
        PERFORM refuse(-4, format('Operator %s may not work for client %s.', v_operator, v_client));
    END IF;

    INSERT INTO operator_last_client AS l (operator, client, accessed_at)
    VALUES (v_operator, v_client, localtimestamp(0))
    ON CONFLICT ON CONSTRAINT operator_last_client_pkey
    DO UPDATE SET client = excluded.client, accessed_at = excluded.accessed_at;

    sqlstatus := 0;
    sqlmsg := format('Client %s remembered for %s.', v_client, v_operator);
EXCEPTION
    WHEN OTHERS THEN
        sqlstatus := failure_status(SQLSTATE);
        sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Client not remembered');
END
$$;

------------------------------------------------------------------------------
-- Configuration and code lists
------------------------------------------------------------------------------

-- One configuration value.
CREATE FUNCTION get_system_config(cfg_code text)
RETURNS TABLE (cfg_code text, cfg_value text, cfg_description text)
LANGUAGE sql STABLE AS $$
    SELECT c.cfg_code, c.cfg_value, c.cfg_description
    FROM system_config c
    WHERE c.cfg_code = btrim($1);
$$;

-- One configuration value, or every one when no code is given.
CREATE FUNCTION rf_get_system_config(cfg_code text DEFAULT NULL)
RETURNS TABLE (cfg_code text, cfg_value text, cfg_description text)
LANGUAGE sql STABLE AS $$
    SELECT c.cfg_code, c.cfg_value, c.cfg_description
    FROM system_config c
    WHERE coalesce(btrim($1), '') = '' OR c.cfg_code = btrim($1)
    ORDER BY c.cfg_code;
$$;

-- The values the handheld pages read.
CREATE FUNCTION rf_get_system_config_rf()
RETURNS TABLE (cfg_code text, cfg_value text, cfg_description text)
LANGUAGE sql STABLE AS $$
    SELECT c.cfg_code, c.cfg_value, c.cfg_description
    FROM system_config c
    WHERE c.rf_flag = 'Y'
    ORDER BY c.cfg_code;
$$;

-- The active warehouses with their facility types.
CREATE FUNCTION rf_get_facility_type()
RETURNS TABLE (warehouse text, warehouse_name text, facility_type text)
LANGUAGE sql STABLE AS $$
    SELECT w.warehouse, w.warehouse_name, w.facility_type
    FROM warehouse w
    WHERE w.status = 'ACTIVE'
    ORDER BY w.warehouse;
$$;

-- One code list of parameter_tbl ('REASONCODE', 'GRADE', 'PRODUCT CLASS',
-- 'PRODUCT GROUP', ...), in its sort order.
CREATE FUNCTION rpt_parameter_tbl_list(param_table text)
RETURNS TABLE (param_code text, description text, sort_seq integer)
LANGUAGE sql STABLE AS $$
    SELECT p.param_code, p.description, p.sort_seq
    FROM parameter_tbl p
    WHERE p.param_table = btrim($1)
    ORDER BY p.sort_seq, p.param_code;
$$;

CREATE FUNCTION rf_get_uom_list()
RETURNS TABLE (uom text, description text, uom_type text)
LANGUAGE sql STABLE AS $$
    SELECT u.uom, u.description, u.uom_type FROM uom u ORDER BY u.uom;
$$;

------------------------------------------------------------------------------
-- Parties
------------------------------------------------------------------------------

-- One active client, or every one when no client is given.
CREATE FUNCTION rf_get_client(client text DEFAULT NULL)
RETURNS TABLE (client text, client_name text, address text, town text, country text, phone text)
LANGUAGE sql STABLE AS $$
    SELECT c.client, c.client_name, c.address, c.town, c.country, c.phone
    FROM client c
    WHERE c.status = 'ACTIVE' AND (coalesce(btrim($1), '') = '' OR c.client = btrim($1))
    ORDER BY c.client;
$$;

-- A client's active customers, those whose code starts with the customer
-- given (all when none is).
CREATE FUNCTION rf_get_client_customers(client text, customer text DEFAULT NULL)
RETURNS TABLE (customer text, customer_name text, dlvr_to text, dlvr_town text, phone text)
LANGUAGE sql STABLE AS $$
    SELECT c.customer, c.customer_name, c.dlvr_to, c.dlvr_town, c.phone
    FROM customer c
    WHERE c.client = btrim($1) AND c.status = 'ACTIVE'
      AND starts_with(c.customer, coalesce(btrim($2), ''))
    ORDER BY c.customer;
$$;

-- A client's suppliers whose code starts with the supplier given (all when
-- none is); active_only 'Y' leaves out inactive suppliers.
CREATE FUNCTION get_supplier(client text, supplier text DEFAULT NULL, active_only text DEFAULT 'Y')
RETURNS TABLE (supplier text, supplier_name text, town text, country text, contact text, phone text)
LANGUAGE sql STABLE AS $$
    SELECT s.supplier, s.supplier_name, s.town, s.country, s.contact, s.phone
    FROM supplier s
    WHERE s.client = btrim($1)
      AND starts_with(s.supplier, coalesce(btrim($2), ''))
      AND (upper(btrim(coalesce($3, 'Y'))) <> 'Y' OR s.status = 'ACTIVE')
    ORDER BY s.supplier;
$$;

-- Active carriers whose code starts with the carrier given (all when none is).
CREATE FUNCTION rf_get_carrier(carrier text DEFAULT NULL)
RETURNS TABLE (carrier text, carrier_name text, transport_mode text, phone text)
LANGUAGE sql STABLE AS $$
    SELECT c.carrier, c.carrier_name, c.transport_mode, c.phone
    FROM carrier c
    WHERE c.status = 'ACTIVE' AND starts_with(c.carrier, coalesce(btrim($1), ''))
    ORDER BY c.carrier;
$$;

------------------------------------------------------------------------------
-- Printing
------------------------------------------------------------------------------

-- Queue a report with its parameters and number of copies. return_value is
-- 0 when the request is queued, negative when it is refused.
CREATE PROCEDURE rf_print_queue(report_type text, param1 text DEFAULT NULL, param2 text DEFAULT NULL,
                                param3 text DEFAULT NULL, param4 text DEFAULT NULL,
                                param5 text DEFAULT NULL, param6 text DEFAULT NULL,
                                param7 text DEFAULT NULL, param8 text DEFAULT NULL,
                                copies integer DEFAULT 1, INOUT return_value integer DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    v_report text := btrim(rf_print_queue.report_type);
    v_copies integer := coalesce(rf_print_queue.copies, 1);
BEGIN
    IF coalesce(v_report, '') = '' THEN
        return_value := -1;
        RETURN;
    END IF;
    IF v_copies < 1 THEN
        return_value := -2;
        RETURN;
    END IF;

    INSERT INTO print_queue (report_type, param1, param2, param3, param4, param5, param6, param7,
                             param8, copies)
    VALUES (v_report,
            coalesce(btrim(rf_print_queue.param1), ''), coalesce(btrim(rf_print_queue.param2), ''),
            coalesce(btrim(rf_print_queue.param3), ''), coalesce(btrim(rf_print_queue.param4), ''),
            coalesce(btrim(rf_print_queue.param5), ''), coalesce(btrim(rf_print_queue.param6), ''),
            coalesce(btrim(rf_print_queue.param7), ''), coalesce(btrim(rf_print_queue.param8), ''),
            v_copies);
    return_value := 0;
EXCEPTION
    WHEN OTHERS THEN
        return_value := -99;
END
$$;
