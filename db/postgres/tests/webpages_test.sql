-- Tests of the item image queries, on the demo data, in one rolled-back
-- transaction (run by scripts/db.sh test).

\set ON_ERROR_STOP 1
BEGIN;

DO $$
DECLARE
    r record;
BEGIN
    ASSERT (SELECT string_agg(param_code, ',' ORDER BY sort_seq) FROM rpt_parameter_tbl_list('PRODUCT GROUP'))
        = 'BULKY,FAST,SLOW', 'the group list';

    ASSERT (SELECT count(*) FROM get_item_image2(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
                                                  NULL, NULL, NULL, NULL)) = 50, 'every product';
    ASSERT (SELECT count(*) FROM get_item_image2('VELDRA1', 'C01', 'TOOL', '', '', '', '', '', '', '', '',
                                                  '', '')) = 9, 'C01 tools';
    ASSERT (SELECT string_agg(item_no, ',' ORDER BY item_no)
            FROM get_item_image2('', '', '', 'BULKY', 'garden', '', '', '', '', '', '', '', ''))
        = 'A1027,A1029', 'bulky garden goods, category case-blind';
    ASSERT (SELECT string_agg(item_no, ',' ORDER BY item_no)
            FROM get_item_image2('', 'C01', '', '', '', '', '', '', '', '', '', 'A1008', 'A1010'))
        = 'A1008,A1009,A1010', 'an item range, both ends included';
    ASSERT (SELECT count(*) FROM get_item_image2('', '', '', '', '', 'elec-fast', 'warranty', '', '', '', '',
                                                  '', '')) = 3, 'sub categories';

    -- Status: the quantity page hides products that are not active unless asked.
    UPDATE product SET status = 'OBSOLETE' WHERE client = 'C01' AND item_no = 'A1019';
    ASSERT (SELECT count(*) FROM get_item_image2_qty('', 'C01', 'TOOL', '', '', '', '', '', '', '', '', '', '',
                                                      'N')) = 8, 'N: active only';
    ASSERT (SELECT count(*) FROM get_item_image2_qty('', 'C01', 'TOOL', '', '', '', '', '', '', '', '', '', '',
                                                      NULL)) = 8, 'nothing chosen: active only';
    ASSERT (SELECT count(*) FROM get_item_image2_qty('', 'C01', 'TOOL', '', '', '', '', '', '', '', '', '', '',
                                                      'y')) = 8, 'only Y shows every status';
    ASSERT (SELECT count(*) FROM get_item_image2_qty('', 'C01', 'TOOL', '', '', '', '', '', '', '', '', '', '',
                                                      'Y')) = 9, 'Y: every status';
    ASSERT (SELECT count(*) FROM get_item_image2('', 'C01', 'TOOL', '', '', '', '', '', '', '', '', '', '')) = 9,
        'the first page shows every status';

    -- A1001: 120 + 240 on pallets, 12 + 6 in cartons, 120 received; SO1001
    -- picks 6 of the carton; PO1001 waits for 120 more.
    SELECT * INTO r FROM get_item_image2_qty('', 'C01', '', '', '', '', '', '', '', '', '', 'A1001', 'A1001', 'N');
    ASSERT r.uom = 'EA' AND r.qoh = 498 AND r.qty_avail = 372 AND r.qty_rcvg = 120 AND r.qty_sales = 6
           AND r.qty_picking = 6 AND r.qty_picked = 0 AND r.qty_reserved = 6 AND r.qoo = 120
           AND r.qty_free = 372, format('A1001: %s', r);
    -- A1021: 4 picked for SO1005; A1008: 96 ordered on SO1002, not allocated.
    ASSERT (SELECT qty_picked FROM get_item_image2_qty('', 'C01', '', '', '', '', '', '', '', '', '', 'A1021',
                                                        'A1021', 'N')) = 4, 'pending despatch';
    SELECT * INTO r FROM get_item_image2_qty('', 'C01', '', '', '', '', '', '', '', '', '', 'A1008', 'A1008', 'N');
    ASSERT r.qty_sales = 96 AND r.qty_free = r.qty_avail - 96, format('A1008: %s', r);
    -- Cartons count in each.
    UPDATE product_uom SET luom_equivalent = 12 WHERE client = 'C01' AND item_no = 'A1009' AND uom = 'CTN';
    UPDATE stock SET uom = 'CTN', qty = 2, qty_rcvd = 2 WHERE rec_num = 109;
    ASSERT (SELECT qoh FROM get_item_image2_qty('', 'C01', '', '', '', '', '', '', '', '', '', 'A1009', 'A1009',
                                                 'N')) = 480 + 960 + 24, 'two cartons of 12';
END
$$;

ROLLBACK;
