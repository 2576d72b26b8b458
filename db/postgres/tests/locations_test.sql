-- Tests of the location and pallet enquiries, on the demo data, in one
-- rolled-back transaction (run by scripts/db.sh test).

\set ON_ERROR_STOP 1
BEGIN;

-- What a location holds; despatched and empty lines are gone.
DO $$
BEGIN
    ASSERT (SELECT count(*) FROM rf_get_location_items('W1', 'A-01-1')) = 1, 'one pallet in A-01-1';
    ASSERT (SELECT item_width FROM rf_get_location_items(' W1 ', ' A-01-1 ')) = 9,
        'trimmed codes; dimensions from the product unit when the line has none';
    ASSERT (SELECT count(*) FROM rf_get_location_items('W1', NULL)) = 0, 'no location, no rows';
    ASSERT (SELECT count(*) FROM rf_get_location_items('W1', 'P-55')) = 2, 'a mixed carton';
    ASSERT (SELECT string_agg(carton_no, ',' ORDER BY carton_no) FROM rf_get_location_cartons('W1', 'P-55')) = 'CTN51,CTN51',
        'carton lines';
    ASSERT (SELECT count(*) FROM rf_get_location_cartons('W1', 'A-01-1')) = 0, 'no cartons on a rack';
END
$$;

-- Matching by typed beginning: case-blind, every location for no text.
DO $$
BEGIN
    ASSERT (SELECT string_agg(location, ',' ORDER BY location) FROM get_matching_location('W1', 'a-01')) = 'A-01-1,A-01-2,A-01-3',
        'case-blind beginning';
    ASSERT (SELECT count(*) FROM get_matching_location('W1', '')) = 308, 'every W1 location';
    ASSERT (SELECT count(*) FROM get_matching_location('', 'X-')) = 21, 'any warehouse';
    ASSERT (SELECT count(*) FROM get_matching_location('W1', '%')) = 0, 'wildcards are plain characters';
    ASSERT (SELECT string_agg(pallet || '@' || location, ',' ORDER BY pallet) FROM get_matching_location_pallet('W1', 'A-01'))
        = 'P0000017@A-01-1,P0000024@A-01-2,P0000031@A-01-3', 'pallets of the matching locations';
    ASSERT (SELECT count(*) FROM get_matching_location_pallet('W1', 'P-')) = 0, 'loose stock has no pallet';
    ASSERT (SELECT count(*) FROM rf_get_warehouse_location_pallet('W1', 'A-01-1', '')) = 1, 'one pallet';
    ASSERT (SELECT count(*) FROM rf_get_warehouse_location_pallet('W1', '', 'p00000')) = 9,
        'pallets P0000017 to P0000093';
    ASSERT (SELECT string_agg(pallet, ',' ORDER BY pallet) FROM rf_get_matching_pallet('P000001')) = 'P0000017',
        'one label begins so';
    ASSERT (SELECT count(*) FROM rf_get_matching_pallet('')) = 105, 'every pallet';
    ASSERT (SELECT count(*) FROM rf_get_matching_pallet2('P', 'W2')) = 1, 'one pallet in W2';
END
$$;

-- Where a product is stored.
DO $$
DECLARE
    r record;
BEGIN
    ASSERT (SELECT count(*) FROM rf_get_item_locations('W1', 'C01', 'A1001')) = 5,
        'two bulk pallets, two pick-face cartons, one receiving pallet';
    ASSERT (SELECT count(*) FROM rf_get_item_locations('W1', 'C01', 'A1001') WHERE pallet IS NULL) = 2,
        'loose cartons have no pallet';
    ASSERT (SELECT count(*) FROM rf_get_item_locations('', 'C02', 'B2001')) = 4, 'every warehouse';
    ASSERT (SELECT count(*) FROM rf_get_item_locations('W2', 'C02', 'B2001')) = 1, 'W2 only';
    ASSERT (SELECT count(*) FROM rf_get_item_locations('W1', 'C02', 'A1001')) = 0, 'another client';

    SELECT * INTO r FROM rf_get_item_locations_grade('W1', 'C01', 'A1003') WHERE grade = 'B';
    ASSERT r.location = 'D-20-3' AND r.status = 'HOLD' AND r.qty = 12, 'the held seconds';
    ASSERT (SELECT sum(qty) FROM rf_get_item_locations_grade('W1', 'C01', 'A1003')) = 384, 'all of A1003';

    ASSERT (SELECT string_agg(rec_num::text, ',' ORDER BY rec_num) FROM rf_get_item_recnums('C01', 'A1002', 'W1'))
        = '3,4,102,152,154', 'stock records of A1002';
    SELECT * INTO r FROM rf_get_item_recnums('C02', 'B2002', '') WHERE rec_num = 63;
    ASSERT r.expiry_date IS NOT NULL AND r.lot_no = 'L032', 'food carries lot and expiry';
END
$$;

-- Pallets: contents, place, serial numbers.
DO $$
DECLARE
    r record;
BEGIN
    SELECT * INTO r FROM rf_get_pallet_items('P0000017');
    ASSERT r.sqlstatus = 0 AND r.warehouse = 'W1' AND r.location = 'A-01-1' AND r."Description" = 'Claw Hammer 16oz',
        format('pallet contents: %s', r);
    ASSERT (SELECT sqlstatus FROM rf_get_pallet_items('  ')) = -1, 'no label';
    ASSERT (SELECT sqlmsg FROM rf_get_pallet_items('P9')) = 'Pallet P9 not found.', 'unknown pallet';
    PERFORM ensure_pallet('PEMPTY1', 'C01', 'JOE');
    ASSERT (SELECT sqlstatus FROM rf_get_pallet_items('PEMPTY1')) = -3, 'an empty pallet';
    ASSERT (SELECT count(*) FROM rf_get_pallet_items3('P0000017')) = 1, 'contents, third generation';
    ASSERT (SELECT count(*) FROM rf_get_pallet_carton_items3('C02', 'P0000017')) = 0, 'another client';

    ASSERT (SELECT sqlmsg FROM rf_get_pallet_location('P0000017')) = 'Pallet P0000017 is in W1 A-01-1.',
        'where a pallet stands';
    ASSERT (SELECT sqlstatus FROM rf_get_pallet_location('PEMPTY1')) = -4, 'an empty pallet stands nowhere';
    ASSERT (SELECT sqlstatus FROM rf_get_pallet_location('')) = -1, 'no label';
    ASSERT (SELECT sqlstatus FROM rf_get_pallet_location('P9')) = -2, 'unknown pallet';
    UPDATE pallet SET status = 'DESPATCHED' WHERE pallet = 'PEMPTY1';
    ASSERT (SELECT sqlstatus FROM rf_get_pallet_location('PEMPTY1')) = -3, 'a despatched pallet';

    INSERT INTO stock (client, item_no, warehouse, location, pallet, uom, qty)
    VALUES ('C01', 'A1001', 'W1', 'A-01-2', 'P0000017', 'EA', 5);
    SELECT * INTO r FROM rf_get_pallet_location('P0000017');
    ASSERT r.sqlstatus = 1 AND r.location = 'A-01-1'
        AND r.sqlmsg = 'Pallet P0000017 stands in 2 places: W1 A-01-1, W1 A-01-2.', format('two places: %s', r);

    -- A1005 (serialised) stands on P0000093 at A-03-3 with 8 units, and in
    -- carton CTN5 at P-05 with 4.
    ASSERT (SELECT count(*) FROM rf_get_pallet_serial_nos('P0000093', 'C01', 'A1005', '')) = 8, 'units on the pallet';
    ASSERT (SELECT count(*) FROM rf_get_pallet_serial_nos('P0000093', '', 'A1010', '')) = 0, 'another item';
    ASSERT (SELECT count(*) FROM rf_get_location_serial_nos('W1', 'P-05', 'C01', 'A1005')) = 4, 'units in a pick face';
    UPDATE stock SET location = 'A-03-3', pallet = NULL WHERE rec_num = 105;
    ASSERT (SELECT count(*) FROM rf_get_pallet_serial_nos('P0000093', '', '', 'y')) = 12,
        'location mode: the units of the whole place, loose ones included';
    ASSERT (SELECT count(*) FROM rf_get_location_serial_nos('W1', 'P-05', '', '')) = 0,
        'a unit goes where its stock line goes';

    -- Last, as they change what the blocks above count.
    UPDATE stock SET qty = 0 WHERE rec_num = 3;
    ASSERT (SELECT count(*) FROM rf_get_location_items('W1', 'A-01-3')) = 0, 'an empty line is not held';
    UPDATE stock SET qty = 0, status = 'DESPATCHED' WHERE rec_num = 156;
    ASSERT (SELECT count(*) FROM rf_get_location_items('W1', 'DSP-01')) = 0, 'a despatched line is gone';
END
$$;

ROLLBACK;
