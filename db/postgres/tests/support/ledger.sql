-- Test support, included by the tests that move stock: the stock ledger.
-- ledger_open() notes what each item holds; ledger_check(label) then fails
-- unless every item's stock changed by exactly what the journal booked since,
-- in lowest units: what was received, created, adjusted or counted (the
-- movement's quantity is the change) less what was despatched. Moves between
-- lines, places, pallets and cartons leave an item's total as it was.

CREATE FUNCTION pg_temp.ledger_held()
RETURNS TABLE (client text, item_no text, held numeric)
LANGUAGE sql AS $$
    SELECT s.client, s.item_no, sum(s.qty * u.luom_equivalent)
    FROM stock s
    JOIN product_uom u ON u.client = s.client AND u.item_no = s.item_no AND u.uom = s.uom
    GROUP BY s.client, s.item_no;
$$;

CREATE FUNCTION pg_temp.ledger_open()
RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    DROP TABLE IF EXISTS pg_temp.ledger_start;
    CREATE TEMP TABLE ledger_start AS
    SELECT h.*, (SELECT coalesce(max(m.movement_id), 0) FROM stock_movement m) AS last_move
    FROM pg_temp.ledger_held() h;
END
$$;

CREATE FUNCTION pg_temp.ledger_check(p_label text)
RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
    r record;
BEGIN
    FOR r IN
        WITH booked AS (
            SELECT m.client, m.item_no,
                   sum(CASE WHEN m.movement_type IN ('RECEIPT', 'CREATE', 'ADJUST', 'COUNT') THEN m.qty
                            WHEN m.movement_type = 'DESPATCH' THEN -m.qty ELSE 0 END * u.luom_equivalent) AS change
            FROM stock_movement m
            JOIN product_uom u ON u.client = m.client AND u.item_no = m.item_no AND u.uom = m.uom
            WHERE m.movement_id > (SELECT max(l.last_move) FROM pg_temp.ledger_start l)
            GROUP BY m.client, m.item_no
        )
        SELECT coalesce(n.client, o.client, b.client) AS client, coalesce(n.item_no, o.item_no, b.item_no) AS item_no,
               coalesce(o.held, 0) AS before, coalesce(n.held, 0) AS now, coalesce(b.change, 0) AS booked
        FROM pg_temp.ledger_held() n
        FULL JOIN pg_temp.ledger_start o ON o.client = n.client AND o.item_no = n.item_no
        FULL JOIN booked b ON b.client = coalesce(n.client, o.client) AND b.item_no = coalesce(n.item_no, o.item_no)
    LOOP
        -- A change of unit rounds to six decimals.
        ASSERT abs(r.now - r.before - r.booked) < 0.0001,
            format('%s: %s %s held %s, now %s, but the journal booked %s', p_label, r.client, r.item_no,
                   r.before, r.now, r.booked);
    END LOOP;
END
$$;
