-- What every routine shares: how a call is refused, how a failed call
-- answers, who may make it, when tasks are done, and how quantities read in
-- messages.
--
-- A routine checks its inputs and refuses with refuse(status, message): the
-- call stops, what it changed is rolled back, and the routine's exception
-- block answers the status and the message. Any other error answers -99 and
-- says what was not done:
--
--     EXCEPTION
--         WHEN OTHERS THEN
--             sqlstatus := failure_status(SQLSTATE);
--             sqlmsg := failure_message(SQLSTATE, SQLERRM, 'Item not moved');
--
-- A refusal travels as SQLSTATE TW001 to TW998 (status -1 to -998);
-- WHEN SQLSTATE 'TW000' catches every refusal and nothing else.
--
-- Status codes shared by all routines (db/postgres/README.md):
--   0    done
--   -91  "Operator is required."
--   -92  "Operator X is not an active operator."
--   -93  "Operator X may not work for client Y."
--   -99  an unexpected failure; the message tells it
-- The other negative codes are each subsystem's own (see its file).

SELECT drop_routines('refuse', 'failure_status', 'failure_message', 'given_operator', 'operator_works_for',
                     'active_operator', 'complete_finished_tasks', 'qty_text');

-- Refuse the call with a status and a message. p_line names a receipt line
-- the answer points to (read back from the hint).
CREATE FUNCTION refuse(p_status integer, p_message text, p_line integer DEFAULT NULL)
RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    RAISE EXCEPTION USING ERRCODE = 'TW' || to_char(-p_status, 'FM000'), MESSAGE = p_message,
                          HINT = coalesce(p_line::text, '');
END
$$;

-- The status a failed call answers: a refusal's own, -99 for any other error.
CREATE FUNCTION failure_status(p_sqlstate text)
RETURNS integer
LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE WHEN p_sqlstate ~ '^TW[0-9]{3}$' THEN -substr(p_sqlstate, 3)::integer ELSE -99 END;
$$;

-- The message a failed call answers: a refusal's own; for any other error,
-- what was not done and the error text.
CREATE FUNCTION failure_message(p_sqlstate text, p_error text, p_not_done text)
RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE WHEN p_sqlstate ~ '^TW[0-9]{3}$' THEN p_error ELSE p_not_done || ': ' || p_error END;
$$;

-- The operator id as stored (upper case); refused when blank.
CREATE FUNCTION given_operator(p_operator text)
RETURNS text
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE
    v_operator text := upper(btrim(coalesce(p_operator, '')));
BEGIN
    IF v_operator = '' THEN
        PERFORM refuse(-91, 'Operator is required.');
    END IF;
    RETURN v_operator;
END
$$;

-- May the operator work for the client?
CREATE FUNCTION operator_works_for(p_operator text, p_client text)
RETURNS boolean
LANGUAGE sql STABLE AS $$
    SELECT EXISTS (SELECT 1 FROM operator_client oc
                   WHERE oc.operator = upper(btrim(p_operator)) AND oc.client = btrim(p_client));
$$;

-- The operator id as stored; refused unless it names an active operator who,
-- when a client is given, may work for that client.
CREATE FUNCTION active_operator(p_operator text, p_client text DEFAULT NULL)
RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE
    v_operator text := given_operator(p_operator);
BEGIN
    IF NOT EXISTS (SELECT 1 FROM operator o WHERE o.operator = v_operator AND o.status = 'ACTIVE') THEN
        PERFORM refuse(-92, format('Operator %s is not an active operator.', v_operator));
    END IF;
    IF nullif(btrim(p_client), '') IS NOT NULL AND NOT operator_works_for(v_operator, p_client) THEN
        PERFORM refuse(-93, format('Operator %s may not work for client %s.', v_operator, btrim(p_client)));
    END IF;
    RETURN v_operator;
END
$$;

-- Complete the tasks of a works order whose activities are all done, and the
-- works order once all its tasks are.
CREATE FUNCTION complete_finished_tasks(p_wo_no text, p_operator text)
RETURNS void
LANGUAGE sql AS $$
    UPDATE task t
    SET status = 'COMPLETED', completed_by = p_operator, completed_at = localtimestamp(0),
        qty_done = (SELECT coalesce(sum(a.qty_done), 0) FROM activity a
                    WHERE a.wo_no = t.wo_no AND a.task_no = t.task_no)
    WHERE t.wo_no = p_wo_no AND t.status NOT IN ('COMPLETED', 'CANCELLED')
      AND NOT EXISTS (SELECT 1 FROM activity a
                      WHERE a.wo_no = t.wo_no AND a.task_no = t.task_no
                        AND a.status NOT IN ('COMPLETED', 'CANCELLED'));
    UPDATE works_order w
    SET status = 'COMPLETED', completed_at = localtimestamp(0)
    WHERE w.wo_no = p_wo_no AND w.status NOT IN ('COMPLETED', 'CANCELLED')
      AND NOT EXISTS (SELECT 1 FROM task t WHERE t.wo_no = w.wo_no AND t.status NOT IN ('COMPLETED', 'CANCELLED'));
$$;

-- A quantity as messages show it: 12 rather than 12.000; Null stays Null.
CREATE FUNCTION qty_text(p_qty numeric)
RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT trim_scale(p_qty)::text;
$$;
