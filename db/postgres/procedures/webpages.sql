-- The item image pages: products with their image file and classification,
-- filtered as the page's search form asks, and on the second page the
-- product's stock quantities. The code lists behind the form's select lists
-- come from rpt_parameter_tbl_list (session.sql).
--
-- Filters: an empty value is no filter. client, product class and product
-- group match exactly; category and the sub categories match case-blind;
-- item_start and item_end bound the item numbers (C collation), both
-- included. userid is accepted and not used: the page always sends the same
-- value.

SELECT drop_routines('get_item_image2', 'get_item_image2_qty', 'item_image_products');

-- The products the filters select; show_all 'Y' keeps products of every
-- status, anything else only ACTIVE ones.
CREATE FUNCTION item_image_products(p_client text, p_class text, p_group text, p_category text,
                                    p_sub text, p_sub1 text, p_sub2 text, p_sub3 text, p_sub4 text,
                                    p_sub5 text, p_start text, p_end text, p_show_all text)
RETURNS SETOF product
LANGUAGE sql STABLE AS $$
    SELECT p.*
    FROM product p
    WHERE (nullif(btrim(p_client), '') IS NULL OR p.client = btrim(p_client))
      AND (nullif(btrim(p_class), '') IS NULL OR p.product_class = btrim(p_class))
      AND (nullif(btrim(p_group), '') IS NULL OR p.product_group = btrim(p_group))
      AND (nullif(btrim(p_category), '') IS NULL OR upper(p.category) = upper(btrim(p_category)))
      AND (nullif(btrim(p_sub), '') IS NULL OR upper(p.sub_category) = upper(btrim(p_sub)))
      AND (nullif(btrim(p_sub1), '') IS NULL OR upper(p.sub_category_1) = upper(btrim(p_sub1)))
      AND (nullif(btrim(p_sub2), '') IS NULL OR upper(p.sub_category_2) = upper(btrim(p_sub2)))
      AND (nullif(btrim(p_sub3), '') IS NULL OR upper(p.sub_category_3) = upper(btrim(p_sub3)))
      AND (nullif(btrim(p_sub4), '') IS NULL OR upper(p.sub_category_4) = upper(btrim(p_sub4)))
      AND (nullif(btrim(p_sub5), '') IS NULL OR upper(p.sub_category_5) = upper(btrim(p_sub5)))
      AND (nullif(btrim(p_start), '') IS NULL OR p.item_no COLLATE "C" >= btrim(p_start) COLLATE "C")
      AND (nullif(btrim(p_end), '') IS NULL OR p.item_no COLLATE "C" <= btrim(p_end) COLLATE "C")
      AND (p.status = 'ACTIVE' OR btrim(coalesce(p_show_all, '')) = 'Y');
$$;

-- The first page: every product the filters select, whatever its status.
CREATE FUNCTION get_item_image2(userid text, client text, product_class text, product_group text,
                                category text, sub_category text, sub_category_1 text,
                                sub_category_2 text, sub_category_3 text, sub_category_4 text,
                                sub_category_5 text, item_start text, item_end text)
RETURNS TABLE (client text, item_no text, "Description" text, image_filename text,
               product_class text, product_group text, "Category" text, sub_category text,
               sub_category_1 text, sub_category_2 text, sub_category_3 text,
               sub_category_4 text, sub_category_5 text, "Status" text)
LANGUAGE sql STABLE AS $$
    SELECT p.client, p.item_no, p.description, p.image_filename, p.product_class, p.product_group,
           p.category, p.sub_category, p.sub_category_1, p.sub_category_2, p.sub_category_3,
           p.sub_category_4, p.sub_category_5, p.status
    FROM item_image_products($2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, 'Y') p
    ORDER BY p.client, p.item_no COLLATE "C";
$$;

-- The second page: the products with their stock, in the lowest unit, over
-- every warehouse:
--   qoh           on hand (every line not despatched)
--   qty_avail     available to pick (AVAILABLE lines, less what is booked)
--   qty_rcvg      received, waiting for putaway
--   qty_sales     ordered on open sales order lines and not yet picked
--   qty_picking   on pick activities not yet done
--   qty_picked    picked, waiting for despatch
--   qty_reserved  booked for open activities
--   qoo           on open purchase order lines and not yet received
--   qty_free      available less what open orders ask for beyond what is
--                 already booked for them (negative: a shortage)
-- show_all_status 'Y' lists products of every status; anything else (N,
-- empty, any other text) only ACTIVE products.
CREATE FUNCTION get_item_image2_qty(userid text, client text, product_class text, product_group text,
                                    category text, sub_category text, sub_category_1 text,
                                    sub_category_2 text, sub_category_3 text, sub_category_4 text,
                                    sub_category_5 text, item_start text, item_end text,
                                    show_all_status text)
RETURNS TABLE (client text, item_no text, "Description" text, image_filename text,
               product_class text, product_group text, "Category" text, sub_category text,
               sub_category_1 text, sub_category_2 text, sub_category_3 text,
               sub_category_4 text, sub_category_5 text, "Status" text, uom text, qoh numeric,
               qty_avail numeric, qty_rcvg numeric, qty_sales numeric, qty_picking numeric,
               qty_picked numeric, qty_reserved numeric, qoo numeric, qty_free numeric)
LANGUAGE sql STABLE AS $$
    SELECT p.client, p.item_no, p.description, p.image_filename, p.product_class, p.product_group,
           p.category, p.sub_category, p.sub_category_1, p.sub_category_2, p.sub_category_3,
           p.sub_category_4, p.sub_category_5, p.status, p.lowest_uom,
           st.qoh, st.qty_avail, st.qty_rcvg, so.qty_sales, pk.qty_picking, st.qty_picked,
           st.qty_reserved, po.qoo, st.qty_avail - so.unallocated
    FROM item_image_products($2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14) p
    CROSS JOIN LATERAL (
        SELECT coalesce(sum(s.qty * u.luom_equivalent), 0) AS qoh,
               coalesce(sum(s.qty_avail * u.luom_equivalent) FILTER (WHERE s.status = 'AVAILABLE'), 0)
                   AS qty_avail,
               coalesce(sum(s.qty * u.luom_equivalent) FILTER (WHERE s.status = 'RECEIVING'), 0)
                   AS qty_rcvg,
               coalesce(sum(s.qty * u.luom_equivalent) FILTER (WHERE s.status = 'PICKED'), 0)
                   AS qty_picked,
               coalesce(sum(s.qty_booked * u.luom_equivalent), 0) AS qty_reserved
        FROM stock s
        JOIN product_uom u ON u.client = s.client AND u.item_no = s.item_no AND u.uom = s.uom
        WHERE s.client = p.client AND s.item_no = p.item_no AND s.status <> 'DESPATCHED'
    ) st
    CROSS JOIN LATERAL (
        SELECT coalesce(sum(greatest(l.qty - l.qty_picked, 0) * u.luom_equivalent), 0) AS qty_sales,
               coalesce(sum(greatest(l.qty - greatest(l.qty_allocated, l.qty_picked), 0)
                            * u.luom_equivalent), 0) AS unallocated
        FROM sales_order_line l
        JOIN product_uom u ON u.client = l.client AND u.item_no = l.item_no AND u.uom = l.uom
        WHERE l.client = p.client AND l.item_no = p.item_no
          AND l.status IN ('OPEN', 'ALLOCATED', 'PICKING')
    ) so
    CROSS JOIN LATERAL (
        SELECT coalesce(sum((a.qty - a.qty_done) * u.luom_equivalent), 0) AS qty_picking
        FROM activity a
        JOIN product_uom u ON u.client = a.client AND u.item_no = a.item_no AND u.uom = a.uom
        WHERE a.client = p.client AND a.item_no = p.item_no AND a.movement_type = 'PICK'
          AND a.status IN ('OPEN', 'ASSIGNED', 'INPROGRESS')
    ) pk
    CROSS JOIN LATERAL (
        SELECT coalesce(sum(greatest(l.qty - l.qty_received, 0) * u.luom_equivalent), 0) AS qoo
        FROM purchase_order_line l
        JOIN purchase_order h ON h.client = l.client AND h.order_no = l.order_no
        JOIN product_uom u ON u.client = l.client AND u.item_no = l.item_no AND u.uom = l.uom
        WHERE l.client = p.client AND l.item_no = p.item_no
          AND l.status IN ('OPEN', 'PARTIAL') AND h.status IN ('OPEN', 'PARTIAL')
    ) po
    ORDER BY p.client, p.item_no COLLATE "C";
$$;
