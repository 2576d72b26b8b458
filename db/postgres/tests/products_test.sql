-- Tests of the product and serial-number routines, on the demo data.
-- Everything runs in one transaction that is rolled back.

\set ON_ERROR_STOP 1
BEGIN;

-- Product master data, units and packing.
DO $$
DECLARE
    res record;
    n   integer;
BEGIN
    SELECT * INTO res FROM rf_get_product_info(' C01 ', 'A1005');
    ASSERT res."Description" = 'Cordless Drill 18V' AND res.serial_no = 'Y' AND res.lot_no = 'N'
           AND res."Status" = 'ACTIVE',
        'product info: the enquiry names of the product';
    SELECT count(*) INTO n FROM rf_get_product_info('C02', 'A1005');
    ASSERT n = 0, 'product info: another client''s product';

    ASSERT (SELECT item_no FROM rf_get_product_description('C01', 'A1002')) = 'A1002', 'description by item';
    ASSERT (SELECT item_no FROM rf_get_product_description('C01', 'ALT-A1002')) = 'A1002',
        'description by alternate code';
    ASSERT (SELECT item_no FROM rf_get_product_description('C01',
                                                           (SELECT barcode FROM barcode
                                                            WHERE item_no = 'A1003' AND uom = 'CTN'))) = 'A1003',
        'description by barcode';

    ASSERT (SELECT array_agg(customer) FROM rf_get_product_owner('C01', 'A1001')) = ARRAY['CUST001', 'CUST002'],
        'owners';
    ASSERT (SELECT array_agg(uom ORDER BY uom_sequence) FROM rf_get_product_uom('C01', 'A1001', '')) =
           ARRAY['EA', 'CTN', 'PLT'], 'units, lowest first';
    ASSERT (SELECT array_agg(luom_equivalent) FROM rf_get_product_uom('C01', 'A1001', 'CTN')) = ARRAY[12::numeric],
        'one unit';

    SELECT * INTO res FROM get_packing_qty('C01', 'A1001', 'CTN', 3);
    ASSERT res.lowest_uom = 'EA' AND res.luom_equivalent = 12 AND res.query_luom_qty = 36
           AND res.query_pallet_qty = 0.075,
        format('packing of 3 CTN: %s', res);
    SELECT * INTO res FROM get_packing_qty('C01', 'A1021', 'PLT', 2);
    ASSERT res.query_luom_qty = 40 AND res.query_pallet_qty = 2, format('packing of 2 PLT: %s', res);
    SELECT count(*) INTO n FROM get_packing_qty('C01', 'A1001', 'BOX', 1);
    ASSERT n = 0, 'packing in a unit the product lacks';

    SELECT * INTO res FROM rf_get_product_uom_2_level('C01', 'A1021');
    ASSERT res.sqlstatus = 0 AND res.item_uom = 'CTN' AND res.pallet_qty = 10 AND res.pallet_width = 120,
        format('two levels: %s', res);
END
$$;

-- Product searches.
DO $$
DECLARE
    n integer;
BEGIN
    ASSERT (SELECT array_agg(item_no) FROM get_matching_product2('C01', 'hammer', '', 'JOE')) = ARRAY['A1001'],
        'by description, any case';
    ASSERT (SELECT array_agg(item_no) FROM get_matching_product2('C01', 'a102*', '', '')) =
           ARRAY['A1020', 'A1021', 'A1022', 'A1023', 'A1024', 'A1025', 'A1026', 'A1027', 'A1028', 'A1029'],
        'by partial key with a wildcard';
    SELECT count(*) INTO n FROM get_matching_product2('C01', '', '', 'JOE');
    ASSERT n = 30, 'an empty text lists the client''s products';
    SELECT count(*) INTO n FROM get_matching_product2('C02', '', '', 'ANN');
    ASSERT n = 0, 'an operator sees only the clients they work for';
    SELECT count(*) INTO n FROM get_matching_product2('C01', '_', '', '');
    ASSERT n = 0, 'LIKE characters match themselves';
    UPDATE product SET status = 'OBSOLETE' WHERE client = 'C01' AND item_no = 'A1019';
    SELECT count(*) INTO n FROM get_matching_product2('C01', 'A101', 'active', '');
    ASSERT n = 9, 'status filter';
    UPDATE product SET status = 'ACTIVE' WHERE client = 'C01' AND item_no = 'A1019';

    ASSERT (SELECT array_agg(item_no) FROM rf_get_barcode_item_no('C01',
            (SELECT barcode FROM barcode WHERE item_no = 'A1001' AND uom = 'EA'))) = ARRAY['A1001'],
        'by barcode';
    ASSERT (SELECT array_agg(client || '/' || item_no) FROM rf_get_barcode_item_no('', 'A1029')) = ARRAY['C01/A1029'],
        'by item number over all clients';
    INSERT INTO barcode (client, barcode, item_no, uom) VALUES ('C02', '5000', 'B2001', 'EA'), ('C01', '5000', 'A1001', 'CTN');
    ASSERT (SELECT array_agg(item_no || ' ' || uom || ' ' || luom_equivalent) FROM rf_get_barcode_item_no('', '5000')) =
           ARRAY['A1001 CTN 12', 'B2001 EA 1'],
        'one barcode of two clients';
END
$$;

-- New barcodes.
DO $$
DECLARE
    c      record;
    status integer;
    msg    text;
BEGIN
    FOR c IN
        SELECT * FROM (VALUES
            ('new barcode', 'C01', ' 9399 ', 'A1029', 'joe', 0, 'Barcode 9399 recorded for item A1029.'),
            ('again for the same item', 'C01', '9399', 'A1029', 'JOE', 0, 'Barcode 9399 is already recorded for item A1029.'),
            ('taken by another item', 'C01', '9399', 'A1001', 'JOE', -7, 'Barcode 9399 already belongs to item A1029.'),
            ('the same code for another client', 'C02', '9399', 'B2019', 'JOE', 0, 'Barcode 9399 recorded for item B2019.'),
            ('blank inside', 'C01', '93 99', 'A1001', 'JOE', -4,
             'Barcode 93 99 refused: a barcode is 1 to 50 characters without blanks.'),
            ('no barcode', 'C01', '', 'A1001', 'JOE', -3, 'Barcode is required.'),
            ('unknown item', 'C01', '9400', 'A9999', 'JOE', -6, 'Item A9999 not found for client C01.'),
            ('operator of other clients', 'C02', '9400', 'B2019', 'ANN', -93, 'Operator ANN may not work for client C02.')
        ) AS t(name, client, barcode, item, operator, status, msg)
    LOOP
        CALL rf_update_product_barcode(c.client, c.barcode, c.item, 'Created through RF Terminal.', c.operator,
                                       status, msg);
        ASSERT status = c.status AND msg = c.msg, format('%s: got %s "%s"', c.name, status, msg);
    END LOOP;
    ASSERT (SELECT remarks FROM barcode WHERE client = 'C01' AND barcode = '9399') = 'Created through RF Terminal.',
        'the remark is kept';
    ASSERT (SELECT array_agg(item_no) FROM rf_get_barcode_item_no('C01', '9399')) = ARRAY['A1029'],
        'the new barcode finds its product';
END
$$;

-- Two-level dimensions.
DO $$
DECLARE
    res record;
BEGIN
    SELECT * INTO res FROM rf_update_product_uom_2_level('C01', 'A1001', 'CTN', 31, 41, 32, 5.5, 120, 100, 36, 'JOE');
    ASSERT res.sqlstatus = 0, format('update: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_get_product_uom_2_level('C01', 'A1001');
    ASSERT res.item_height = 31 AND res.item_width = 41 AND res.item_depth = 32 AND res.item_weight = 5.5
           AND res.pallet_width = 120 AND res.pallet_depth = 100 AND res.pallet_qty = 36,
        format('update: read back %s', res);
    ASSERT (SELECT luom_equivalent FROM product_uom WHERE client = 'C01' AND item_no = 'A1001' AND uom = 'PLT') = 432,
        'update: the pallet equivalent follows';
    ASSERT (SELECT item_volume FROM product_uom WHERE client = 'C01' AND item_no = 'A1001' AND uom = 'CTN') = 0.0407,
        'update: the volume follows';
    ASSERT (SELECT pallet_config FROM product WHERE client = 'C01' AND item_no = 'A1001') = '36 CTN per PLT',
        'update: the pallet configuration follows';

    SELECT * INTO res FROM rf_update_product_uom_2_level('C01', 'A1001', 'PLT', 1, 1, 1, 1, 1, 1, 1, 'JOE');
    ASSERT res.sqlstatus = -10, format('pallet as inner unit: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_update_product_uom_2_level('C01', 'A1001', 'CTN', 1, 1, 1, 1, 1, 1, 2.5, 'JOE');
    ASSERT res.sqlstatus = -5, format('fractional pallet: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_update_product_uom_2_level('C01', 'A1001', 'CTN', -1, 1, 1, 1, 1, 1, 2, 'JOE');
    ASSERT res.sqlstatus = -4, format('negative size: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_update_product_uom_2_level('C01', 'A1001', 'CTN', 1, 1, 1, 1, 1, 1, NULL, 'JOE');
    ASSERT res.sqlstatus = -3, format('missing quantity: got %s "%s"', res.sqlstatus, res.sqlmsg);

    INSERT INTO stock (client, item_no, warehouse, location, uom, qty) VALUES ('C01', 'A1002', 'W1', 'D-19-1', 'PLT', 1);
    SELECT * INTO res FROM rf_update_product_uom_2_level('C01', 'A1002', 'CTN', 30, 40, 30, 9, 120, 100, 30, 'JOE');
    ASSERT res.sqlstatus = -11, format('stock held in pallets: got %s "%s"', res.sqlstatus, res.sqlmsg);
    SELECT * INTO res FROM rf_update_product_uom_2_level('C01', 'A1002', 'CTN', 30, 40, 30, 9, 120, 100, 40, 'JOE');
    ASSERT res.sqlstatus = 0, format('same pallet quantity with pallet stock: got %s "%s"', res.sqlstatus, res.sqlmsg);
END
$$;

-- Serial numbers: trace, listings, warranty and deletion.
DO $$
DECLARE
    res    record;
    n      integer;
    status integer;
    msg    text;
    plt    text := (SELECT pallet FROM stock WHERE rec_num = 10);
BEGIN
    UPDATE serial_number
    SET receipt_no = 'R000001', receipt_line = 1, sales_order = 'SO1002', line_no = 1, customer = 'CUST002',
        delivery_order = 'DO77', delivery_date = DATE '2030-01-02', wo_no = 'WO000002', task_no = 1, activity = 1
    WHERE serial_no = 'SNA1005-00901';

    SELECT * INTO res FROM rf_get_serial_no('C01', 'A1005', 'SNA1005-00901', '', '');
    ASSERT res.receipt_no = 'R000001' AND res.sales_order = 'SO1002' AND res.line_no = 1
           AND res.delivery_order = 'DO77' AND res.works_order = 'WO000002' AND res.pallet = 'P0000093',
        format('trace: %s', res);
    FOR res IN
        SELECT * FROM (VALUES ('so_no', 'SO1002', 1), ('SALES_ORDER', 'SO1002', 1), ('receipt_no', 'R000001', 1),
                              ('do_no', 'DO77', 1), ('wo_no', 'WO000002', 1), ('', 'SO1002', 1), ('', 'DO77', 1),
                              ('pallet', 'P0000093', 8), ('status', 'instock', 96), ('no_such_field', 'x', 0),
                              ('customer', 'CUST009', 0))
                      AS t(field, value, expected)
    LOOP
        SELECT count(*) INTO n FROM rf_get_serial_no('C01', '', '', res.field, res.value);
        ASSERT n = res.expected, format('search %s = %s: %s rows', res.field, res.value, n);
    END LOOP;

    SELECT count(*) INTO n FROM rf_get_serial_warranty_nos('C01', 'A1005', '');
    ASSERT n = 16, format('warranty list: %s', n);
    SELECT count(*) INTO n FROM rf_get_serial_warranty_nos('C01', 'A1005', 'warranty');
    ASSERT n = 6, format('with warranty: %s', n);
    SELECT count(*) INTO n FROM rf_get_serial_warranty_nos('C01', 'A1005', 'N');
    ASSERT n = 10, format('without warranty: %s', n);

    ASSERT (SELECT count(*) FROM rf_get_serial_products('C01', '', '', 'JOE')) = 6, 'serialised products';
    ASSERT (SELECT count(*) FROM rf_get_serial_products('C01', 'STOCK', 'ACTIVE', 'ANN')) = 6, 'with stock';
    ASSERT (SELECT count(*) FROM rf_get_serial_products('C02', '', '', 'ANN')) = 0, 'operator of other clients';

    ASSERT (SELECT array_agg(serial_no) FROM rf_get_available_serial_nos('C01', 'A1005', plt)) =
           ARRAY['SNA1005-01001', 'SNA1005-01002', 'SNA1005-01003', 'SNA1005-01004'],
        'available serials of a pallet';
    ASSERT (SELECT count(*) FROM rf_get_available_serial_nos('C01', '', left(plt, -1))) = 4,
        'a pallet label without its check character';

    CALL rf_update_serial_warranty('C01', 'A1005', 'SNA1005-01003', 'WX1', 'JOE', status, msg);
    ASSERT status = 0 AND msg = 'Warranty WX1 recorded for serial number SNA1005-01003.', format('warranty: %s', msg);
    ASSERT (SELECT warranty_start FROM serial_number WHERE serial_no = 'SNA1005-01003') = current_date,
        'the warranty starts today';
    CALL rf_update_serial_warranty('C01', 'A1005', 'SNA1005-01004', 'WX1', 'JOE', status, msg);
    ASSERT status = -7, format('warranty of another unit: %s', msg);
    CALL rf_update_serial_warranty('C01', 'A1005', 'SNA1005-01004', ' ', 'JOE', status, msg);
    ASSERT status = -3, format('no warranty number: %s', msg);

    CALL rf_delete_serial_no('C01', 'A1005', 'SNA1005-01003', 'P0000093', 'JOE', status, msg);
    ASSERT status = -5, format('delete from another pallet: %s', msg);
    UPDATE serial_number s SET status = 'PICKED', sales_order = 'SO1002' WHERE s.serial_no = 'SNA1005-01004';
    CALL rf_delete_serial_no('C01', 'A1005', 'SNA1005-01004', '', 'JOE', status, msg);
    ASSERT status = -6 AND msg = 'Serial number SNA1005-01004 is picked for order SO1002 and cannot be deleted.',
        format('delete a picked unit: %s', msg);
    CALL rf_delete_serial_no('C01', 'A1005', 'SNA1005-01003', left(plt, -1), 'JOE', status, msg);
    ASSERT status = 0, format('delete: %s', msg);
    ASSERT (SELECT s.status FROM serial_number s WHERE s.serial_no = 'SNA1005-01003') = 'DELETED', 'delete: not marked';
    ASSERT (SELECT count(*) FROM rf_get_available_serial_nos('C01', 'A1005', plt)) = 2, 'delete: still available';
    ASSERT (SELECT array_agg(event ORDER BY event_id) FROM serial_event WHERE serial_no = 'SNA1005-01003') =
           ARRAY['WARRANTY', 'DELETED'], 'events';
    CALL rf_delete_serial_no('C01', 'A1005', 'SNA1005-01003', '', 'JOE', status, msg);
    ASSERT status = -4, format('delete twice: %s', msg);
    CALL rf_update_serial_warranty('C01', 'A1005', 'SNA1005-01003', 'WX2', 'JOE', status, msg);
    ASSERT status = -6, format('warranty of a deleted unit: %s', msg);
END
$$;

ROLLBACK;
