-- Talwen demo warehouse: two clients, warehouse W1 (with a small W2), about
-- fifty products, stock on pallets and in cartons, open purchase and sales
-- orders, a few works orders, two operators.
--
-- Operators (passwords are stored only as bcrypt hashes):
--   JOE / joe123   clients C01 and C02, warehouses W1 and W2, every menu;
--                  last client C01
--   ANN / ann123   client C01, warehouse W1, a few menus; no last client
--
-- Loading this file again adds what is missing and leaves existing rows
-- as they are (rows with generated numbers are given fixed numbers here).

------------------------------------------------------------------------------
-- Configuration and code lists
------------------------------------------------------------------------------

INSERT INTO system_config (cfg_code, cfg_value, cfg_description, rf_flag) VALUES
    ('COMPANY_NAME', 'Talwen Demo Warehouse', 'Name printed on labels and reports', 'N'),
    ('DEFAULT_WAREHOUSE', 'W1', 'Warehouse proposed at sign-on', 'Y'),
    ('DEFAULT_GRADE', 'A', 'Grade given to received stock when none is scanned', 'Y'),
    ('RF_PAGE_SIZE', '8', 'Lines shown per handheld screen', 'Y'),
    ('RF_CONFIRM_LOCATION', 'Y', 'Scan the location to confirm a putaway or pick', 'Y'),
    ('RF_ALLOW_OVER_RECEIPT', 'N', 'Receive more than a purchase order line asks for', 'Y'),
    ('RF_DATE_FORMAT', 'YYYY-MM-DD', 'Date format typed on the handheld', 'Y'),
    ('SERIAL_CHECK', 'Y', 'Serial-controlled items need one serial number per unit', 'Y'),
    ('RECEIPT_AUTO_NUMBER', 'Y', 'Receipt numbers are drawn per client', 'N'),
    ('PALLET_LABEL_PREFIX', 'P', 'First character of pallet labels', 'N'),
    ('CURRENCY', 'USD', 'Currency of prices and costs', 'N'),
    ('EXPIRY_WARNING_DAYS', '30', 'Warn when stock expires within this many days', 'N')
ON CONFLICT ON CONSTRAINT system_config_pkey DO NOTHING;

INSERT INTO parameter_tbl (param_table, param_code, description, sort_seq) VALUES
    ('REASONCODE', 'DMG', 'Damaged', 1),
    ('REASONCODE', 'EXP', 'Expired', 2),
    ('REASONCODE', 'CNT', 'Count difference', 3),
    ('REASONCODE', 'LOST', 'Lost or missing', 4),
    ('REASONCODE', 'FOUND', 'Found stock', 5),
    ('REASONCODE', 'RTN', 'Customer return', 6),
    ('REASONCODE', 'SHORT', 'Short pick: not enough stock', 7),
    ('GRADE', 'A', 'Good stock', 1),
    ('GRADE', 'B', 'Seconds', 2),
    ('GRADE', 'C', 'Damaged', 3),
    ('GRADE', 'Q', 'Quarantine', 4),
    ('PRODUCT CLASS', 'ELEC', 'Electrical', 1),
    ('PRODUCT CLASS', 'FOOD', 'Food and drink', 2),
    ('PRODUCT CLASS', 'HOME', 'Home wares', 3),
    ('PRODUCT CLASS', 'TOOL', 'Tools', 4),
    ('PRODUCT GROUP', 'BULKY', 'Bulky goods', 1),
    ('PRODUCT GROUP', 'FAST', 'Fast movers', 2),
    ('PRODUCT GROUP', 'SLOW', 'Slow movers', 3),
    ('CURRENCY', 'USD', 'US dollar', 1),
    ('CURRENCY', 'EUR', 'Euro', 2)
ON CONFLICT ON CONSTRAINT parameter_tbl_pkey DO NOTHING;

INSERT INTO uom (uom, description, uom_type) VALUES
    ('EA', 'Each', 'UNIT'),
    ('CTN', 'Carton', 'CARTON'),
    ('PLT', 'Pallet', 'PALLET')
ON CONFLICT ON CONSTRAINT uom_pkey DO NOTHING;

INSERT INTO movement_type (movement_type, description, default_priority) VALUES
    ('PUTAWAY', 'Put received pallets away', 1),
    ('REPLENISH', 'Refill pick faces from bulk', 2),
    ('PICK', 'Pick sales orders', 3),
    ('COUNT', 'Count a location', 4),
    ('RELOCATE', 'Move stock between locations', 5)
ON CONFLICT ON CONSTRAINT movement_type_pkey DO NOTHING;

INSERT INTO receipt_type (receipt_type, description) VALUES
    ('PO', 'Receipt against a purchase order'),
    ('ASN', 'Advance shipping notice'),
    ('RTN', 'Customer return'),
    ('XFER', 'Transfer from another warehouse')
ON CONFLICT ON CONSTRAINT receipt_type_pkey DO NOTHING;

------------------------------------------------------------------------------
-- Clients, carriers, customers, suppliers
------------------------------------------------------------------------------

INSERT INTO client (client, client_name, address, town, country, phone, maker) VALUES
    ('C01', 'Acme Trading Ltd', '12 Harbour Road', 'Portside', 'AU', '+61 2 5550 0101', 'JOE'),
    ('C02', 'Borealis Foods Pty', '4 Mill Lane', 'Northbridge', 'AU', '+61 2 5550 0202', 'JOE')
ON CONFLICT ON CONSTRAINT client_pkey DO NOTHING;

-- C01 has drawn receipt R000001 and R000002, C02 receipt R000001.
INSERT INTO document_counter (client, doc_type, prefix, next_no, width) VALUES
    ('C01', 'RECEIPT', 'R', 3, 6),
    ('C01', 'WARRANT', 'W', 1, 6),
    ('C02', 'RECEIPT', 'R', 2, 6),
    ('C02', 'WARRANT', 'W', 1, 6)
ON CONFLICT ON CONSTRAINT document_counter_pkey DO NOTHING;

INSERT INTO carrier (carrier, carrier_name, transport_mode, phone) VALUES
    ('FASTFWD', 'Fast Forward Freight', 'ROAD', '+61 2 5551 1001'),
    ('BLUELINE', 'Blue Line Logistics', 'ROAD', '+61 2 5551 1002'),
    ('COASTAL', 'Coastal Carriers', 'SEA', '+61 2 5551 1003'),
    ('SKYBRIDGE', 'Skybridge Air Cargo', 'AIR', '+61 2 5551 1004'),
    ('REDVAN', 'Red Van Couriers', 'ROAD', '+61 2 5551 1005'),
    ('NORTHRAIL', 'North Rail Freight', 'RAIL', '+61 2 5551 1006'),
    ('PARCELPRO', 'Parcel Pro', 'ROAD', '+61 2 5551 1007'),
    ('OCEANLINK', 'Ocean Link Shipping', 'SEA', '+61 2 5551 1008'),
    ('CITYHAUL', 'City Haulage', 'ROAD', '+61 2 5551 1009'),
    ('OWNFLEET', 'Own fleet', 'ROAD', '')
ON CONFLICT ON CONSTRAINT carrier_pkey DO NOTHING;

INSERT INTO customer (client, customer, customer_name, dlvr_to, dlvr_street, dlvr_bldg, dlvr_town,
                      dlvr_country, dlvr_postcode, phone, maker)
SELECT c.client,
       'CUST' || lpad(n::text, 3, '0'),
       (ARRAY['Harbour', 'Summit', 'Riverside', 'Granite', 'Maple', 'Pioneer', 'Coral', 'Ironbark',
              'Lakeside', 'Westgate'])[1 + (n - 1) % 10]
           || ' ' || (ARRAY['Hardware', 'Stores', 'Supplies', 'Traders', 'Markets'])[1 + (n - 1) % 5]
           || CASE WHEN n > 10 THEN ' ' || ((n - 1) / 10 + 1)::text ELSE '' END,
       'Receiving dock ' || n,
       (10 + n)::text || ' ' || (ARRAY['High Street', 'Station Road', 'Park Avenue', 'Queen Street',
                                        'Bridge Road'])[1 + n % 5],
       CASE WHEN n % 3 = 0 THEN 'Unit ' || n ELSE '' END,
       (ARRAY['Portside', 'Northbridge', 'Eastwood', 'Hillcrest', 'Southbank', 'Westmead'])[1 + n % 6],
       'AU',
       (2000 + n * 7)::text,
       '+61 2 5552 ' || lpad(n::text, 4, '0'),
       'JOE'
FROM (VALUES ('C01', 30), ('C02', 12)) AS c(client, count)
CROSS JOIN LATERAL generate_series(1, c.count) AS n
ON CONFLICT ON CONSTRAINT customer_pkey DO NOTHING;

-- Enough suppliers for a supplier listing to pass the handheld's reply limit.
INSERT INTO supplier (client, supplier, supplier_name, address, town, country, contact, phone,
                      origin_country, maker)
SELECT c.client,
       'SUP' || lpad(n::text, 3, '0'),
       (ARRAY['Atlas', 'Beacon', 'Cobalt', 'Delta', 'Evergreen', 'Falcon', 'Global', 'Horizon',
              'Imperial', 'Jade', 'Keystone', 'Liberty', 'Meridian', 'Nova', 'Orchid', 'Pacific'])[1 + (n - 1) % 16]
           || ' ' || (ARRAY['Industries', 'Manufacturing', 'Imports', 'Trading Co', 'Wholesale'])[1 + (n - 1) / 16 % 5]
           || ' ' || n,
       (n * 3)::text || ' ' || (ARRAY['Factory Road', 'Industrial Drive', 'Export Way', 'Mill Street'])[1 + n % 4],
       (ARRAY['Shenzhen', 'Osaka', 'Hamburg', 'Auckland', 'Melbourne', 'Chennai', 'Busan', 'Milan'])[1 + n % 8],
       (ARRAY['CN', 'JP', 'DE', 'NZ', 'AU', 'IN', 'KR', 'IT'])[1 + n % 8],
       (ARRAY['Sam Carter', 'Lee Wong', 'Priya Nair', 'Tom Becker', 'Mia Rossi', 'Ken Sato'])[1 + n % 6],
       '+61 2 5553 ' || lpad(n::text, 4, '0'),
       (ARRAY['CN', 'JP', 'DE', 'NZ', 'AU', 'IN', 'KR', 'IT'])[1 + n % 8],
       'JOE'
FROM (VALUES ('C01', 320), ('C02', 40)) AS c(client, count)
CROSS JOIN LATERAL generate_series(1, c.count) AS n
ON CONFLICT ON CONSTRAINT supplier_pkey DO NOTHING;

------------------------------------------------------------------------------
-- Warehouses, areas, zones, locations, stations
------------------------------------------------------------------------------

INSERT INTO warehouse (warehouse, warehouse_name, facility_type, address) VALUES
    ('W1', 'Main Warehouse', 'WAREHOUSE', '1 Depot Road, Portside'),
    ('W2', 'Overflow Store', 'STORE', '9 Depot Road, Portside')
ON CONFLICT ON CONSTRAINT warehouse_pkey DO NOTHING;

INSERT INTO area (warehouse, area, description) VALUES
    ('W1', 'RCV', 'Receiving docks'),
    ('W1', 'BULK', 'Bulk storage racks'),
    ('W1', 'PICK', 'Pick faces'),
    ('W1', 'DSP', 'Despatch lanes'),
    ('W2', 'RCV', 'Receiving door'),
    ('W2', 'BULK', 'Floor storage')
ON CONFLICT ON CONSTRAINT area_pkey DO NOTHING;

INSERT INTO zone (warehouse, zone, area, description) VALUES
    ('W1', 'RCV', 'RCV', 'Receiving docks'),
    ('W1', 'BA', 'BULK', 'Bulk aisles A and B'),
    ('W1', 'BC', 'BULK', 'Bulk aisles C and D'),
    ('W1', 'PF', 'PICK', 'Pick faces'),
    ('W1', 'DSP', 'DSP', 'Despatch lanes'),
    ('W2', 'XR', 'RCV', 'Receiving door'),
    ('W2', 'XB', 'BULK', 'Floor storage')
ON CONFLICT ON CONSTRAINT zone_pkey DO NOTHING;

-- W1: 4 receiving docks, 4 despatch lanes, 240 bulk rack slots (aisles A-D,
-- bays 01-20, levels 1-3) and 60 pick faces. W2: a door and 20 floor slots.
INSERT INTO location (warehouse, location, area, zone, location_type, aisle, bay, level, pick_seq, max_pallets)
SELECT 'W1', 'RCV-' || lpad(n::text, 2, '0'), 'RCV', 'RCV', 'RECEIVING', 'RCV', lpad(n::text, 2, '0'), '', n, 20
FROM generate_series(1, 4) AS n
UNION ALL
SELECT 'W1', 'DSP-' || lpad(n::text, 2, '0'), 'DSP', 'DSP', 'DESPATCH', 'DSP', lpad(n::text, 2, '0'), '', n, 20
FROM generate_series(1, 4) AS n
UNION ALL
SELECT 'W1', a || '-' || lpad(b::text, 2, '0') || '-' || l, 'BULK',
       CASE WHEN a IN ('A', 'B') THEN 'BA' ELSE 'BC' END, 'BULK', a, lpad(b::text, 2, '0'), l::text,
       (ascii(a) - 64) * 1000 + b * 10 + l, 1
FROM unnest(ARRAY['A', 'B', 'C', 'D']) AS a
CROSS JOIN generate_series(1, 20) AS b
CROSS JOIN generate_series(1, 3) AS l
UNION ALL
SELECT 'W1', 'P-' || lpad(n::text, 2, '0'), 'PICK', 'PF', 'PICKFACE', 'P', lpad(n::text, 2, '0'), '1', n, 1
FROM generate_series(1, 60) AS n
UNION ALL
SELECT 'W2', 'X-RCV', 'RCV', 'XR', 'RECEIVING', 'X', '', '', 0, 20
UNION ALL
SELECT 'W2', 'X-' || lpad(n::text, 2, '0'), 'BULK', 'XB', 'BULK', 'X', lpad(n::text, 2, '0'), '', n, 2
FROM generate_series(1, 20) AS n
ON CONFLICT ON CONSTRAINT location_pkey DO NOTHING;

INSERT INTO station (warehouse, station, station_type, description, receiving_location) VALUES
    ('W1', 'CHK1', 'CHECKIN', 'Check-in desk dock 1', 'RCV-01'),
    ('W1', 'CHK2', 'CHECKIN', 'Check-in desk dock 2', 'RCV-02'),
    ('W1', 'RF01', 'RF', 'Handheld 1', NULL),
    ('W1', 'RF02', 'RF', 'Handheld 2', NULL),
    ('W1', 'DSP1', 'DESPATCH', 'Despatch desk', NULL),
    ('W1', 'PRN1', 'PRINTER', 'Label printer, receiving', NULL),
    ('W2', 'CHK9', 'CHECKIN', 'Check-in desk W2', 'X-RCV'),
    ('W2', 'RF09', 'RF', 'Handheld W2', NULL)
ON CONFLICT ON CONSTRAINT station_pkey DO NOTHING;

------------------------------------------------------------------------------
-- Operators
------------------------------------------------------------------------------

INSERT INTO operator (operator, operator_name, password_hash, default_warehouse) VALUES
    ('JOE', 'Joe Bloggs', crypt('joe123', gen_salt('bf', 8)), 'W1'),
    ('ANN', 'Ann Lee', crypt('ann123', gen_salt('bf', 8)), 'W1')
ON CONFLICT ON CONSTRAINT operator_pkey DO NOTHING;

INSERT INTO operator_warehouse (operator, warehouse) VALUES
    ('JOE', 'W1'), ('JOE', 'W2'), ('ANN', 'W1')
ON CONFLICT ON CONSTRAINT operator_warehouse_pkey DO NOTHING;

INSERT INTO operator_client (operator, client) VALUES
    ('JOE', 'C01'), ('JOE', 'C02'), ('ANN', 'C01')
ON CONFLICT ON CONSTRAINT operator_client_pkey DO NOTHING;

INSERT INTO operator_access (operator, menu_name)
SELECT 'JOE', m
FROM unnest(ARRAY['RECEIPT', 'PUTAWAY', 'REPLENISH', 'PICKING', 'DESPATCH', 'RELOCATION', 'CARTON',
                  'CYCLECOUNT', 'ENQUIRY', 'SERIAL', 'TASKS', 'PRINT']) AS m
UNION ALL
SELECT 'ANN', m
FROM unnest(ARRAY['RECEIPT', 'PUTAWAY', 'CYCLECOUNT', 'ENQUIRY']) AS m
ON CONFLICT ON CONSTRAINT operator_access_pkey DO NOTHING;

INSERT INTO operator_task_priority (operator, movement_type, priority) VALUES
    ('JOE', 'PUTAWAY', 1), ('JOE', 'REPLENISH', 2), ('JOE', 'PICK', 3), ('JOE', 'COUNT', 4),
    ('JOE', 'RELOCATE', 5),
    ('ANN', 'PICK', 1), ('ANN', 'REPLENISH', 2), ('ANN', 'PUTAWAY', 3), ('ANN', 'COUNT', 4),
    ('ANN', 'RELOCATE', 5)
ON CONFLICT ON CONSTRAINT operator_task_priority_pkey DO NOTHING;

INSERT INTO operator_last_client (operator, client) VALUES ('JOE', 'C01')
ON CONFLICT ON CONSTRAINT operator_last_client_pkey DO NOTHING;

------------------------------------------------------------------------------
-- Products, units, barcodes, pick faces
------------------------------------------------------------------------------

-- k numbers the products 1 to 50; stock, pallets and cartons below are
-- numbered from it. ctn: each per carton.
DROP TABLE IF EXISTS demo_product, demo_stock;
CREATE TEMP TABLE demo_product (
    k             integer PRIMARY KEY,
    client        text,
    item_no       text,
    description   text,
    product_class text,
    product_group text,
    category      text,
    serial        text,
    ctn           integer
);

INSERT INTO demo_product VALUES
    (1, 'C01', 'A1001', 'Claw Hammer 16oz', 'TOOL', 'FAST', 'HAND TOOLS', 'N', 12),
    (2, 'C01', 'A1002', 'Screwdriver Set 6pc', 'TOOL', 'FAST', 'HAND TOOLS', 'N', 24),
    (3, 'C01', 'A1003', 'Adjustable Spanner 250mm', 'TOOL', 'SLOW', 'HAND TOOLS', 'N', 12),
    (4, 'C01', 'A1004', 'Tape Measure 8m', 'TOOL', 'FAST', 'HAND TOOLS', 'N', 24),
    (5, 'C01', 'A1005', 'Cordless Drill 18V', 'ELEC', 'FAST', 'POWER TOOLS', 'Y', 4),
    (6, 'C01', 'A1006', 'LED Torch 300lm', 'ELEC', 'FAST', 'LIGHTING', 'N', 24),
    (7, 'C01', 'A1007', 'Extension Lead 4-way', 'ELEC', 'FAST', 'CABLES', 'N', 12),
    (8, 'C01', 'A1008', 'Work Gloves Large', 'HOME', 'FAST', 'SAFETY', 'N', 48),
    (9, 'C01', 'A1009', 'Safety Glasses Clear', 'HOME', 'FAST', 'SAFETY', 'N', 48),
    (10, 'C01', 'A1010', 'Angle Grinder 115mm', 'ELEC', 'SLOW', 'POWER TOOLS', 'Y', 4),
    (11, 'C01', 'A1011', 'Cable Ties 200mm x100', 'HOME', 'FAST', 'FIXINGS', 'N', 50),
    (12, 'C01', 'A1012', 'Wood Screws 4x40 x200', 'HOME', 'FAST', 'FIXINGS', 'N', 50),
    (13, 'C01', 'A1013', 'Wall Plugs 6mm x100', 'HOME', 'FAST', 'FIXINGS', 'N', 50),
    (14, 'C01', 'A1014', 'Paint Brush 50mm', 'HOME', 'SLOW', 'PAINTING', 'N', 24),
    (15, 'C01', 'A1015', 'Smart Plug WiFi', 'ELEC', 'FAST', 'ELECTRONICS', 'Y', 10),
    (16, 'C01', 'A1016', 'Masking Tape 24mm', 'HOME', 'FAST', 'PAINTING', 'N', 36),
    (17, 'C01', 'A1017', 'Spirit Level 600mm', 'TOOL', 'SLOW', 'HAND TOOLS', 'N', 10),
    (18, 'C01', 'A1018', 'Utility Knife', 'TOOL', 'FAST', 'HAND TOOLS', 'N', 24),
    (19, 'C01', 'A1019', 'Hand Saw 550mm', 'TOOL', 'SLOW', 'HAND TOOLS', 'N', 10),
    (20, 'C01', 'A1020', 'Jigsaw 650W', 'ELEC', 'SLOW', 'POWER TOOLS', 'Y', 4),
    (21, 'C01', 'A1021', 'Step Ladder 3 Tread', 'HOME', 'BULKY', 'HOUSEHOLD', 'N', 2),
    (22, 'C01', 'A1022', 'Storage Box 50L', 'HOME', 'BULKY', 'HOUSEHOLD', 'N', 4),
    (23, 'C01', 'A1023', 'Door Hinge 100mm Pair', 'HOME', 'SLOW', 'FIXINGS', 'N', 20),
    (24, 'C01', 'A1024', 'Padlock 40mm', 'HOME', 'FAST', 'SECURITY', 'N', 12),
    (25, 'C01', 'A1025', 'Smoke Alarm', 'ELEC', 'FAST', 'SAFETY', 'Y', 6),
    (26, 'C01', 'A1026', 'Silicone Sealant Clear', 'HOME', 'FAST', 'PAINTING', 'N', 12),
    (27, 'C01', 'A1027', 'Garden Hose 20m', 'HOME', 'BULKY', 'GARDEN', 'N', 4),
    (28, 'C01', 'A1028', 'Pruning Shears', 'TOOL', 'SLOW', 'GARDEN', 'N', 12),
    (29, 'C01', 'A1029', 'Wheelbarrow 90L', 'TOOL', 'BULKY', 'GARDEN', 'N', 1),
    (30, 'C01', 'A1030', 'Robot Vacuum', 'ELEC', 'SLOW', 'ELECTRONICS', 'Y', 2),
    (31, 'C02', 'B2001', 'Rolled Oats 1kg', 'FOOD', 'FAST', 'CEREAL', 'N', 12),
    (32, 'C02', 'B2002', 'Muesli Fruit 750g', 'FOOD', 'FAST', 'CEREAL', 'N', 12),
    (33, 'C02', 'B2003', 'Basmati Rice 5kg', 'FOOD', 'FAST', 'GRAINS', 'N', 4),
    (34, 'C02', 'B2004', 'Penne Pasta 500g', 'FOOD', 'FAST', 'GRAINS', 'N', 20),
    (35, 'C02', 'B2005', 'Olive Oil 1L', 'FOOD', 'FAST', 'OILS', 'N', 12),
    (36, 'C02', 'B2006', 'Tomato Passata 700g', 'FOOD', 'FAST', 'CANNED', 'N', 12),
    (37, 'C02', 'B2007', 'Chickpeas 400g', 'FOOD', 'FAST', 'CANNED', 'N', 24),
    (38, 'C02', 'B2008', 'Tuna in Oil 185g', 'FOOD', 'FAST', 'CANNED', 'N', 24),
    (39, 'C02', 'B2009', 'Honey 500g', 'FOOD', 'SLOW', 'SPREADS', 'N', 12),
    (40, 'C02', 'B2010', 'Peanut Butter 375g', 'FOOD', 'FAST', 'SPREADS', 'N', 12),
    (41, 'C02', 'B2011', 'Green Tea x100', 'FOOD', 'SLOW', 'DRINKS', 'N', 12),
    (42, 'C02', 'B2012', 'Ground Coffee 1kg', 'FOOD', 'FAST', 'DRINKS', 'N', 6),
    (43, 'C02', 'B2013', 'Dark Chocolate 200g', 'FOOD', 'FAST', 'SNACKS', 'N', 20),
    (44, 'C02', 'B2014', 'Sea Salt Crackers', 'FOOD', 'FAST', 'SNACKS', 'N', 12),
    (45, 'C02', 'B2015', 'Maple Syrup 250ml', 'FOOD', 'SLOW', 'SPREADS', 'N', 12),
    (46, 'C02', 'B2016', 'Coconut Milk 400ml', 'FOOD', 'FAST', 'CANNED', 'N', 24),
    (47, 'C02', 'B2017', 'Red Lentils 1kg', 'FOOD', 'SLOW', 'GRAINS', 'N', 10),
    (48, 'C02', 'B2018', 'Raw Almonds 500g', 'FOOD', 'FAST', 'SNACKS', 'N', 10),
    (49, 'C02', 'B2019', 'Sparkling Water 1L', 'FOOD', 'FAST', 'DRINKS', 'N', 12),
    (50, 'C02', 'B2020', 'Baked Beans 420g', 'FOOD', 'FAST', 'CANNED', 'N', 24);

INSERT INTO parameter_tbl (param_table, param_code, description, sort_seq)
SELECT 'CATEGORY', category, initcap(category), row_number() OVER (ORDER BY category)
FROM (SELECT DISTINCT category FROM demo_product) AS c
ON CONFLICT ON CONSTRAINT parameter_tbl_pkey DO NOTHING;

-- Food (C02) carries batch and expiry; serialised items one serial each.
INSERT INTO product (client, item_no, description, product_class, product_group, category, sub_category,
                     sub_category_1, alternate_code, substitute, lowest_uom, pallet_config, expiry_prealert,
                     reorder_level, lot_no_flag, expiry_date_flag, production_date_flag, batch_no_flag,
                     dimensions_flag, serial_no_flag, num_serial, supplier_flag, pick_seq, billing_group,
                     billing_uom, storage_group, storage_uom, fob_price, landed_price, ex_work_price,
                     dealer_price, export_price, sample_size, tolerance, default_grade, remarks,
                     image_filename, maker)
SELECT d.client, d.item_no, d.description, d.product_class, d.product_group, d.category,
       d.product_class || '-' || d.product_group,
       CASE WHEN d.serial = 'Y' THEN 'WARRANTY' ELSE '' END,
       'ALT-' || d.item_no,
       CASE d.k WHEN 4 THEN 'A1017' WHEN 33 THEN 'B2017' ELSE '' END,
       'EA',
       CASE WHEN d.product_group = 'BULKY' THEN '10 CTN per PLT' ELSE '40 CTN per PLT' END,
       CASE WHEN d.client = 'C02' THEN 30 ELSE 0 END,
       d.ctn * 5,
       CASE WHEN d.client = 'C02' AND d.k % 2 = 0 THEN 'Y' ELSE 'N' END,
       CASE WHEN d.client = 'C02' THEN 'Y' ELSE 'N' END,
       CASE WHEN d.client = 'C02' THEN 'Y' ELSE 'N' END,
       CASE WHEN d.client = 'C02' THEN 'Y' ELSE 'N' END,
       CASE WHEN d.product_group = 'BULKY' THEN 'Y' ELSE 'N' END,
       d.serial,
       CASE WHEN d.serial = 'Y' THEN 1 ELSE 0 END,
       'Y',
       d.k,
       CASE WHEN d.product_group = 'BULKY' THEN 'BULKY' ELSE 'STANDARD' END,
       'PLT',
       d.product_group,
       'PLT',
       round(1.5 * d.k + 0.99, 2),
       round(1.8 * d.k + 0.99, 2),
       round(1.4 * d.k + 0.49, 2),
       round(2.2 * d.k + 0.99, 2),
       round(2.0 * d.k + 0.49, 2),
       CASE WHEN d.client = 'C02' THEN 1 ELSE 0 END,
       CASE WHEN d.client = 'C02' THEN 2 ELSE 0 END,
       'A',
       CASE WHEN d.serial = 'Y' THEN 'Scan one serial number per unit' ELSE '' END,
       CASE WHEN d.k % 7 = 0 THEN 'no image.jpg'
            WHEN d.k % 3 = 0 THEN ''
            ELSE lower(d.item_no) || '.jpg' END,
       'JOE'
FROM demo_product d
ON CONFLICT ON CONSTRAINT product_pkey DO NOTHING;

-- EA (1), CTN (ctn EA) and PLT (40 CTN, 10 for bulky goods); sizes in cm
-- and kg.
INSERT INTO product_uom (client, item_no, uom, uom_sequence, luom_equivalent, child_uom, child_uom_qty,
                         item_height, item_width, item_depth, item_volume, item_weight, maker)
SELECT d.client, d.item_no, u.uom, u.seq,
       CASE u.uom WHEN 'EA' THEN 1 WHEN 'CTN' THEN d.ctn ELSE d.ctn * p.ctns END,
       CASE u.uom WHEN 'EA' THEN NULL WHEN 'CTN' THEN 'EA' ELSE 'CTN' END,
       CASE u.uom WHEN 'EA' THEN NULL WHEN 'CTN' THEN d.ctn ELSE p.ctns END,
       dim.h, dim.w, dim.d, round(dim.h * dim.w * dim.d / 1000000.0, 4),
       CASE u.uom WHEN 'EA' THEN round(0.2 + d.k * 0.05, 2)
                  WHEN 'CTN' THEN round((0.2 + d.k * 0.05) * d.ctn + 0.3, 2)
                  ELSE round(((0.2 + d.k * 0.05) * d.ctn + 0.3) * p.ctns + 20, 2) END,
       'JOE'
FROM demo_product d
CROSS JOIN LATERAL (SELECT CASE WHEN d.product_group = 'BULKY' THEN 10 ELSE 40 END AS ctns) AS p
CROSS JOIN (VALUES ('EA', 1), ('CTN', 2), ('PLT', 3)) AS u(uom, seq)
CROSS JOIN LATERAL (
    SELECT CASE u.uom WHEN 'EA' THEN 10 + d.k % 7 WHEN 'CTN' THEN 30 ELSE 150 END AS h,
           CASE u.uom WHEN 'EA' THEN 8 + d.k % 5 WHEN 'CTN' THEN 40 ELSE 120 END AS w,
           CASE u.uom WHEN 'EA' THEN 5 + d.k % 4 WHEN 'CTN' THEN 30 ELSE 100 END AS d
) AS dim
ON CONFLICT ON CONSTRAINT product_uom_pkey DO NOTHING;

-- EAN-13 style barcodes for the each, 14-digit ones for the carton; items
-- 29 and 49 have none.
INSERT INTO barcode (client, barcode, item_no, uom, remarks, maker)
SELECT d.client, b.code || pallet_check_char(b.code), d.item_no, b.uom, 'Demo barcode', 'JOE'
FROM demo_product d
CROSS JOIN LATERAL (
    VALUES ('93' || CASE d.client WHEN 'C01' THEN '1' ELSE '2' END || lpad(d.k::text, 9, '0'), 'EA'),
           ('193' || CASE d.client WHEN 'C01' THEN '1' ELSE '2' END || lpad(d.k::text, 9, '0'), 'CTN')
) AS b(code, uom)
WHERE d.k NOT IN (29, 49)
ON CONFLICT ON CONSTRAINT barcode_pkey DO NOTHING;

INSERT INTO product_owner (client, item_no, customer)
SELECT d.client, d.item_no, c.customer
FROM demo_product d
CROSS JOIN (VALUES ('CUST001'), ('CUST002')) AS c(customer)
WHERE d.k IN (1, 2, 3, 31, 32)
ON CONFLICT ON CONSTRAINT product_owner_pkey DO NOTHING;

-- Product k has its pick face at P-k.
INSERT INTO pick_face (warehouse, location, client, item_no, uom, min_qty, max_qty)
SELECT 'W1', 'P-' || lpad(d.k::text, 2, '0'), d.client, d.item_no, 'EA', d.ctn, d.ctn * 4
FROM demo_product d
ON CONFLICT ON CONSTRAINT pick_face_pkey DO NOTHING;

------------------------------------------------------------------------------
-- Receipts and purchase orders
------------------------------------------------------------------------------

INSERT INTO purchase_order (client, order_no, order_type, reference_no, supplier, warehouse, transport_mode,
                            carrier, expected_date, status, last_receipt_no, last_receipt, received_by,
                            remarks, create_date, maker)
VALUES
    ('C01', 'PO1001', 'STANDARD', 'ACME-7781', 'SUP001', 'W1', 'ROAD', 'FASTFWD', current_date - 2, 'PARTIAL',
     'R000001', current_date - 1, 'JOE', 'Second delivery to follow', localtimestamp(0) - interval '10 days', 'JOE'),
    ('C01', 'PO1002', 'STANDARD', 'ACME-7790', 'SUP002', 'W1', 'SEA', 'COASTAL', current_date + 3, 'OPEN',
     NULL, NULL, NULL, 'Shipping notice received', localtimestamp(0) - interval '8 days', 'JOE'),
    ('C01', 'PO1003', 'STANDARD', 'ACME-7802', 'SUP003', 'W1', 'AIR', 'SKYBRIDGE', current_date + 5, 'OPEN',
     NULL, NULL, NULL, '', localtimestamp(0) - interval '6 days', 'ANN'),
    ('C01', 'PO1004', 'STANDARD', 'ACME-7815', 'SUP004', 'W1', 'ROAD', 'BLUELINE', current_date + 7, 'OPEN',
     NULL, NULL, NULL, '', localtimestamp(0) - interval '4 days', 'ANN'),
    ('C01', 'PO1005', 'URGENT', 'ACME-7820', 'SUP005', 'W1', 'ROAD', 'REDVAN', current_date + 1, 'OPEN',
     NULL, NULL, NULL, 'Deliver before noon', localtimestamp(0) - interval '2 days', 'JOE'),
    ('C02', 'PO2001', 'STANDARD', 'BOR-3301', 'SUP001', 'W1', 'ROAD', 'FASTFWD', current_date + 2, 'OPEN',
     NULL, NULL, NULL, 'Keep below 25 C', localtimestamp(0) - interval '9 days', 'JOE'),
    ('C02', 'PO2002', 'STANDARD', 'BOR-3302', 'SUP002', 'W1', 'SEA', 'OCEANLINK', current_date + 12, 'OPEN',
     NULL, NULL, NULL, '', localtimestamp(0) - interval '5 days', 'JOE'),
    ('C02', 'PO2003', 'STANDARD', 'BOR-3303', 'SUP003', 'W1', 'ROAD', 'CITYHAUL', current_date + 4, 'OPEN',
     NULL, NULL, NULL, '', localtimestamp(0) - interval '3 days', 'JOE')
ON CONFLICT ON CONSTRAINT purchase_order_pkey DO NOTHING;

INSERT INTO purchase_order_line (client, order_no, line_no, item_no, uom, qty, qty_received, grade, unit_price,
                                 currency, status, maker)
VALUES
    ('C01', 'PO1001', 1, 'A1001', 'EA', 240, 120, 'A', 4.50, 'USD', 'PARTIAL', 'JOE'),
    ('C01', 'PO1001', 2, 'A1002', 'EA', 480, 240, 'A', 7.25, 'USD', 'PARTIAL', 'JOE'),
    ('C01', 'PO1002', 1, 'A1006', 'EA', 120, 0, 'A', 9.90, 'USD', 'OPEN', 'JOE'),
    ('C01', 'PO1002', 2, 'A1007', 'EA', 60, 0, 'A', 11.00, 'USD', 'OPEN', 'JOE'),
    ('C01', 'PO1003', 1, 'A1010', 'EA', 20, 0, 'A', 59.00, 'USD', 'OPEN', 'ANN'),
    ('C01', 'PO1003', 2, 'A1011', 'EA', 500, 0, 'A', 3.10, 'USD', 'OPEN', 'ANN'),
    ('C01', 'PO1004', 1, 'A1015', 'EA', 30, 0, 'A', 19.50, 'USD', 'OPEN', 'ANN'),
    ('C01', 'PO1004', 2, 'A1016', 'EA', 72, 0, 'A', 2.40, 'USD', 'OPEN', 'ANN'),
    ('C01', 'PO1004', 3, 'A1018', 'EA', 48, 0, 'A', 6.80, 'USD', 'OPEN', 'ANN'),
    ('C01', 'PO1005', 1, 'A1021', 'EA', 10, 0, 'A', 45.00, 'USD', 'OPEN', 'JOE'),
    ('C02', 'PO2001', 1, 'B2001', 'EA', 240, 0, 'A', 2.10, 'USD', 'OPEN', 'JOE'),
    ('C02', 'PO2001', 2, 'B2002', 'EA', 120, 0, 'A', 3.40, 'USD', 'OPEN', 'JOE'),
    ('C02', 'PO2002', 1, 'B2005', 'EA', 144, 0, 'A', 6.90, 'USD', 'OPEN', 'JOE'),
    ('C02', 'PO2003', 1, 'B2012', 'EA', 60, 0, 'A', 12.50, 'USD', 'OPEN', 'JOE'),
    ('C02', 'PO2003', 2, 'B2013', 'EA', 200, 0, 'A', 2.95, 'USD', 'OPEN', 'JOE')
ON CONFLICT ON CONSTRAINT purchase_order_line_pkey DO NOTHING;

-- C01 R000001: checked in, its two pallets wait at RCV-01 for putaway.
-- C01 R000002: an open shipping notice for PO1002, nothing scanned yet.
-- C02 R000001: received and closed last month.
INSERT INTO receipt (client, receipt_no, warehouse, receipt_station, zone, receipt_type, receipt_date, carrier,
                     vehicle, container, supplier, client_po_no, receipt_ref_no, remarks, asn_flag, status,
                     checked_in_by, checked_in_at, closed_by, closed_at, maker, created_at)
VALUES
    ('C01', 'R000001', 'W1', 'CHK1', 'RCV', 'PO', current_date - 1, 'FASTFWD', 'TRK-118', '', 'SUP001', 'PO1001',
     'DN-55102', 'Created through RF Terminal.', 'N', 'CHECKEDIN', 'JOE', localtimestamp(0) - interval '1 day',
     NULL, NULL, 'JOE', localtimestamp(0) - interval '1 day'),
    ('C01', 'R000002', 'W1', 'CHK2', 'RCV', 'ASN', current_date, 'COASTAL', '', 'MSCU4471203', 'SUP002', 'PO1002',
     'ASN-9001', 'Shipping notice', 'Y', 'OPEN', NULL, NULL, NULL, NULL, 'JOE', localtimestamp(0)),
    ('C02', 'R000001', 'W1', 'CHK1', 'RCV', 'PO', current_date - 30, 'FASTFWD', 'TRK-090', '', 'SUP001', 'PO2000',
     'DN-40211', 'Opening delivery', 'N', 'CLOSED', 'JOE', localtimestamp(0) - interval '30 days', 'JOE',
     localtimestamp(0) - interval '29 days', 'JOE', localtimestamp(0) - interval '30 days')
ON CONFLICT ON CONSTRAINT receipt_pkey DO NOTHING;

INSERT INTO asn_line (client, receipt_no, asn_line_no, item_no, uom, qty, grade, po_no, po_line_no) VALUES
    ('C01', 'R000002', 1, 'A1006', 'EA', 120, 'A', 'PO1002', 1),
    ('C01', 'R000002', 2, 'A1007', 'EA', 60, 'A', 'PO1002', 2)
ON CONFLICT ON CONSTRAINT asn_line_pkey DO NOTHING;

------------------------------------------------------------------------------
-- Pallets, cartons, stock
------------------------------------------------------------------------------

-- Pallets 1-100: bulk stock (two per product); 101-102: R000001 at RCV-01;
-- 103: held stock; 104: picked for SO1005 at DSP-01; 105: stock in W2.
INSERT INTO pallet (pallet, client, status, maker, created_at)
SELECT 'P' || lpad(n::text, 6, '0') || pallet_check_char('P' || lpad(n::text, 6, '0')),
       CASE WHEN n <= 100 THEN (SELECT d.client FROM demo_product d WHERE d.k = (n + 1) / 2)
            WHEN n = 105 THEN 'C02' ELSE 'C01' END,
       'ACTIVE', 'JOE', localtimestamp(0) - interval '40 days'
FROM generate_series(1, 105) AS n
ON CONFLICT ON CONSTRAINT pallet_pkey DO NOTHING;

SELECT setval('pallet_no_seq', greatest(105, (SELECT last_value FROM pallet_no_seq)));

-- Cartons 1-50: one per product in its pick face; 51: a mixed carton.
INSERT INTO carton (client, carton_no, warehouse, location, maker)
SELECT d.client, 'CTN' || d.k, 'W1', 'P-' || lpad(d.k::text, 2, '0'), 'JOE'
FROM demo_product d
UNION ALL
SELECT 'C01', 'CTN51', 'W1', 'P-55', 'JOE'
ON CONFLICT ON CONSTRAINT carton_pkey DO NOTHING;

CREATE TEMP TABLE demo_stock AS
-- rec_num 1-100: product k on pallets 2k-1 and 2k in the bulk slots of the
-- same numbers (A-01-1 onwards).
SELECT (2 * d.k - 2 + j) AS rec_num, d.k, d.client, d.item_no,
       'W1' AS warehouse, b.location,
       2 * d.k - 2 + j AS pallet_n, NULL::text AS carton_no,
       CASE WHEN d.serial = 'Y' THEN 12 - 4 * j ELSE d.ctn * 10 * j END AS qty,
       'A' AS grade, 'AVAILABLE' AS status, NULL::text AS so_no, NULL::integer AS so_line_no,
       CASE WHEN d.k = 31 AND j = 1 THEN 'R000001' END AS receipt_no,
       CASE WHEN d.k = 31 AND j = 1 THEN 1 END AS receipt_line,
       j
FROM demo_product d
CROSS JOIN generate_series(1, 2) AS j
JOIN (SELECT l.location, row_number() OVER (ORDER BY l.location) AS n
      FROM location l
      WHERE l.warehouse = 'W1' AND l.location_type = 'BULK') AS b ON b.n = 2 * d.k - 2 + j
UNION ALL
-- rec_num 101-150: carton CTNk in pick face P-k.
SELECT 100 + d.k, d.k, d.client, d.item_no, 'W1', 'P-' || lpad(d.k::text, 2, '0'),
       NULL, 'CTN' || d.k,
       CASE WHEN d.serial = 'Y' THEN 4 ELSE d.ctn END,
       'A', 'AVAILABLE', NULL, NULL, NULL, NULL, 3
FROM demo_product d
UNION ALL
-- rec_num 151-152: carton CTN51 holds two items.
SELECT 151, 1, 'C01', 'A1001', 'W1', 'P-55', NULL, 'CTN51', 6, 'A', 'AVAILABLE', NULL, NULL, NULL, NULL, 3
UNION ALL
SELECT 152, 2, 'C01', 'A1002', 'W1', 'P-55', NULL, 'CTN51', 10, 'A', 'AVAILABLE', NULL, NULL, NULL, NULL, 3
UNION ALL
-- rec_num 153-154: receipt R000001, waiting for putaway.
SELECT 153, 1, 'C01', 'A1001', 'W1', 'RCV-01', 101, NULL, 120, 'A', 'RECEIVING', NULL, NULL, 'R000001', 1, 1
UNION ALL
SELECT 154, 2, 'C01', 'A1002', 'W1', 'RCV-01', 102, NULL, 240, 'A', 'RECEIVING', NULL, NULL, 'R000001', 2, 1
UNION ALL
-- rec_num 155: seconds on hold.
SELECT 155, 3, 'C01', 'A1003', 'W1', 'D-20-3', 103, NULL, 12, 'B', 'HOLD', NULL, NULL, NULL, NULL, 1
UNION ALL
-- rec_num 156: picked for SO1005, waiting for despatch.
SELECT 156, 21, 'C01', 'A1021', 'W1', 'DSP-01', 104, NULL, 4, 'A', 'PICKED', 'SO1005', 1, NULL, NULL, 1
UNION ALL
-- rec_num 157: food stored in W2.
SELECT 157, 31, 'C02', 'B2001', 'W2', 'X-01', 105, NULL, 120, 'A', 'AVAILABLE', NULL, NULL, NULL, NULL, 2;

INSERT INTO stock (rec_num, client, item_no, warehouse, location, pallet, carton_no, uom, qty, qty_rcvd, grade,
                   lot_no, batch_no, expiry_date, prod_date, supplier, owner, origin_country, currency,
                   unit_cost, receipt_no, receipt_line, receipt_date, so_no, so_line_no, status, maker,
                   last_update)
SELECT s.rec_num, s.client, s.item_no, s.warehouse, s.location,
       CASE WHEN s.pallet_n IS NOT NULL
            THEN 'P' || lpad(s.pallet_n::text, 6, '0') || pallet_check_char('P' || lpad(s.pallet_n::text, 6, '0'))
       END,
       s.carton_no, 'EA', s.qty, s.qty, s.grade,
       CASE WHEN d.client = 'C02' AND d.k % 2 = 0 THEN 'L' || lpad(d.k::text, 3, '0') ELSE '' END,
       CASE WHEN d.client = 'C02' THEN 'BT' || lpad(d.k::text, 3, '0') || s.j ELSE '' END,
       CASE WHEN d.client = 'C02' THEN current_date + 60 + 7 * d.k + 30 * s.j END,
       CASE WHEN d.client = 'C02' THEN current_date - 30 - d.k END,
       'SUP' || lpad((1 + (d.k - 1) % 10)::text, 3, '0'),
       CASE WHEN d.k IN (1, 2, 3) AND s.rec_num <= 100 THEN 'CUST001' END,
       (ARRAY['CN', 'JP', 'DE', 'NZ', 'AU'])[1 + d.k % 5],
       'USD',
       round(1.2 * d.k + 0.75, 2),
       s.receipt_no, s.receipt_line,
       CASE WHEN s.status = 'RECEIVING' THEN current_date - 1 ELSE current_date - 40 + d.k % 9 END,
       s.so_no, s.so_line_no, s.status, 'JOE',
       localtimestamp(0) - interval '1 day'
FROM demo_stock s
JOIN demo_product d ON d.k = s.k
ON CONFLICT ON CONSTRAINT stock_pkey DO NOTHING;

SELECT setval(pg_get_serial_sequence('stock', 'rec_num'),
              greatest((SELECT max(rec_num) FROM stock), (SELECT last_value FROM stock_rec_num_seq)));

INSERT INTO receipt_line (client, receipt_no, line_no, po_no, po_line_no, pallet, item_no, uom, qty, grade,
                          supplier, currency, unit_price, status, rec_num, maker)
SELECT s.client, s.receipt_no, s.receipt_line,
       CASE WHEN s.client = 'C01' THEN r.client_po_no END,
       CASE WHEN s.client = 'C01' THEN s.receipt_line END,
       s.pallet, s.item_no, s.uom, s.qty_rcvd, s.grade, s.supplier, 'USD', s.unit_cost,
       CASE WHEN s.status = 'RECEIVING' THEN 'AVAILABLE' ELSE s.status END, s.rec_num, 'JOE'
FROM stock s
JOIN receipt r ON r.client = s.client AND r.receipt_no = s.receipt_no
WHERE s.rec_num IN (61, 153, 154)
ON CONFLICT ON CONSTRAINT receipt_line_pkey DO NOTHING;

-- One serial number per unit of every serialised stock line; the first two
-- units of each line carry a warranty.
INSERT INTO serial_number (client, item_no, serial_no, status, rec_num, pallet, warehouse, location,
                           receipt_date, supplier, warranty_no, warranty_start, warranty_end, maker)
SELECT s.client, s.item_no,
       'SN' || s.item_no || '-' || lpad(s.rec_num::text, 3, '0') || lpad(u::text, 2, '0'),
       'INSTOCK', s.rec_num, s.pallet, s.warehouse, s.location, s.receipt_date, s.supplier,
       CASE WHEN u <= 2 THEN 'WR' || s.item_no || lpad(s.rec_num::text, 3, '0') || u ELSE '' END,
       CASE WHEN u <= 2 THEN s.receipt_date END,
       CASE WHEN u <= 2 THEN s.receipt_date + 365 END,
       'JOE'
FROM stock s
JOIN product p ON p.client = s.client AND p.item_no = s.item_no AND p.serial_no_flag = 'Y'
CROSS JOIN LATERAL generate_series(1, s.qty::integer) AS u
WHERE s.rec_num <= 157
ON CONFLICT ON CONSTRAINT serial_number_pkey DO NOTHING;

------------------------------------------------------------------------------
-- Sales orders
------------------------------------------------------------------------------

INSERT INTO sales_order (client, order_no, customer, reference_no, order_type, warehouse, despatch,
                         delivery_date, dlvr_to, dlvr_street, dlvr_bldg, dlvr_town, dlvr_country, dlvr_postcode,
                         carrier, remarks, status, create_date, maker)
SELECT o.client, o.order_no, o.customer, o.reference_no, 'STANDARD', 'W1', o.despatch,
       current_date + o.days, c.dlvr_to, c.dlvr_street, c.dlvr_bldg, c.dlvr_town, c.dlvr_country,
       c.dlvr_postcode, o.carrier, o.remarks, o.status, localtimestamp(0) - interval '2 days', 'JOE'
FROM (VALUES
    ('C01', 'SO1001', 'CUST001', 'CPO-4410', 'DSP0001', 1, 'FASTFWD', 'Pick today', 'ALLOCATED'),
    ('C01', 'SO1002', 'CUST002', 'CPO-4411', 'DSP0001', 2, 'FASTFWD', '', 'OPEN'),
    ('C01', 'SO1003', 'CUST003', 'CPO-4412', 'DSP0002', 3, 'REDVAN', 'Call before delivery', 'OPEN'),
    ('C01', 'SO1004', 'CUST004', 'CPO-4413', 'DSP0002', 4, 'REDVAN', '', 'OPEN'),
    ('C01', 'SO1005', 'CUST005', 'CPO-4414', 'DSP0003', 0, 'CITYHAUL', 'Bulky goods', 'PICKED'),
    ('C02', 'SO2001', 'CUST001', 'BOR-SO-81', 'DSP0101', 1, 'PARCELPRO', 'Keep cool', 'OPEN'),
    ('C02', 'SO2002', 'CUST002', 'BOR-SO-82', 'DSP0101', 2, 'PARCELPRO', '', 'OPEN'),
    ('C02', 'SO2003', 'CUST003', 'BOR-SO-83', 'DSP0102', 5, 'OWNFLEET', '', 'OPEN')
) AS o(client, order_no, customer, reference_no, despatch, days, carrier, remarks, status)
JOIN customer c ON c.client = o.client AND c.customer = o.customer
ON CONFLICT ON CONSTRAINT sales_order_pkey DO NOTHING;

INSERT INTO sales_order_line (client, order_no, line_no, org_item, item_no, uom, qty, qty_allocated, qty_picked,
                              grade, status, maker)
VALUES
    ('C01', 'SO1001', 1, 'A1001', 'A1001', 'EA', 6, 6, 0, 'A', 'ALLOCATED', 'JOE'),
    ('C01', 'SO1001', 2, 'A1004', 'A1004', 'EA', 12, 12, 0, 'A', 'ALLOCATED', 'JOE'),
    ('C01', 'SO1001', 3, 'A1006', 'A1006', 'EA', 24, 24, 0, 'A', 'ALLOCATED', 'JOE'),
    ('C01', 'SO1002', 1, 'A1005', 'A1005', 'EA', 2, 0, 0, 'A', 'OPEN', 'JOE'),
    ('C01', 'SO1002', 2, 'A1008', 'A1008', 'EA', 96, 0, 0, 'A', 'OPEN', 'JOE'),
    ('C01', 'SO1003', 1, 'A1012', 'A1012', 'EA', 100, 0, 0, 'A', 'OPEN', 'JOE'),
    ('C01', 'SO1003', 2, 'A1013', 'A1013', 'EA', 50, 0, 0, 'A', 'OPEN', 'JOE'),
    ('C01', 'SO1003', 3, 'A1024', 'A1024', 'EA', 12, 0, 0, 'A', 'OPEN', 'JOE'),
    ('C01', 'SO1004', 1, 'A1025', 'A1025', 'EA', 3, 0, 0, 'A', 'OPEN', 'JOE'),
    ('C01', 'SO1005', 1, 'A1021', 'A1021', 'EA', 4, 4, 4, 'A', 'PICKED', 'JOE'),
    ('C02', 'SO2001', 1, 'B2001', 'B2001', 'EA', 24, 0, 0, 'A', 'OPEN', 'JOE'),
    ('C02', 'SO2001', 2, 'B2010', 'B2010', 'EA', 12, 0, 0, 'A', 'OPEN', 'JOE'),
    ('C02', 'SO2002', 1, 'B2012', 'B2012', 'EA', 6, 0, 0, 'A', 'OPEN', 'JOE'),
    ('C02', 'SO2003', 1, 'B2019', 'B2019', 'EA', 48, 0, 0, 'A', 'OPEN', 'JOE'),
    ('C02', 'SO2003', 2, 'B2020', 'B2020', 'EA', 24, 0, 0, 'A', 'OPEN', 'JOE')
ON CONFLICT ON CONSTRAINT sales_order_line_pkey DO NOTHING;

INSERT INTO despatch_pallet (client, order_no, pallet, despatch, warehouse, location, carrier)
SELECT s.client, s.so_no, s.pallet, o.despatch, s.warehouse, s.location, o.carrier
FROM stock s
JOIN sales_order o ON o.client = s.client AND o.order_no = s.so_no
WHERE s.rec_num = 156
ON CONFLICT ON CONSTRAINT despatch_pallet_pkey DO NOTHING;

------------------------------------------------------------------------------
-- Works orders
------------------------------------------------------------------------------

-- WO000001 puts R000001 away; WO000002 picks SO1001 from the pick faces;
-- WO000003 counts C-10-1; WO000004 refills pick face P-03 from bulk.
INSERT INTO works_order (wo_no, movement_type, client, warehouse, area, order_no, priority, status,
                         assigned_to, maker)
VALUES
    ('WO000001', 'PUTAWAY', 'C01', 'W1', 'RCV', 'R000001', 1, 'OPEN', NULL, 'JOE'),
    ('WO000002', 'PICK', 'C01', 'W1', 'PICK', 'SO1001', 3, 'OPEN', NULL, 'JOE'),
    ('WO000003', 'COUNT', NULL, 'W1', 'BULK', '', 4, 'ASSIGNED', 'ANN', 'JOE'),
    ('WO000004', 'REPLENISH', 'C01', 'W1', 'PICK', '', 2, 'OPEN', NULL, 'JOE')
ON CONFLICT ON CONSTRAINT works_order_pkey DO NOTHING;

SELECT setval('works_order_seq', greatest(4, (SELECT last_value FROM works_order_seq)));

INSERT INTO task (wo_no, task_no, client, order_no, line_no, item_no, uom, qty, status, assigned_to)
VALUES
    ('WO000001', 1, 'C01', 'R000001', 1, 'A1001', 'EA', 120, 'OPEN', NULL),
    ('WO000001', 2, 'C01', 'R000001', 2, 'A1002', 'EA', 240, 'OPEN', NULL),
    ('WO000002', 1, 'C01', 'SO1001', 1, 'A1001', 'EA', 6, 'OPEN', NULL),
    ('WO000002', 2, 'C01', 'SO1001', 2, 'A1004', 'EA', 12, 'OPEN', NULL),
    ('WO000002', 3, 'C01', 'SO1001', 3, 'A1006', 'EA', 24, 'OPEN', NULL),
    ('WO000003', 1, NULL, '', NULL, NULL, NULL, 0, 'ASSIGNED', 'ANN'),
    ('WO000004', 1, 'C01', '', NULL, 'A1003', 'EA', 24, 'OPEN', NULL)
ON CONFLICT ON CONSTRAINT task_pkey DO NOTHING;

INSERT INTO activity (wo_no, task_no, activity_no, movement_type, client, item_no, uom, qty, rec_num,
                      warehouse_from, location_from, area_from, pallet_from, carton_from, warehouse_to,
                      location_to, receipt_no, receipt_line, so_no, so_line_no, status, assigned_to)
SELECT a.wo_no, a.task_no, 1, a.movement_type, s.client, s.item_no, s.uom, a.qty, s.rec_num,
       s.warehouse, s.location, l.area, s.pallet, s.carton_no, 'W1', a.location_to,
       s.receipt_no, s.receipt_line, a.so_no, a.so_line_no, 'OPEN', NULL
FROM (VALUES
    ('WO000001', 1, 'PUTAWAY', 153, 120, 'D-01-1', NULL, NULL),
    ('WO000001', 2, 'PUTAWAY', 154, 240, 'D-01-2', NULL, NULL),
    ('WO000002', 1, 'PICK', 101, 6, 'DSP-02', 'SO1001', 1),
    ('WO000002', 2, 'PICK', 104, 12, 'DSP-02', 'SO1001', 2),
    ('WO000002', 3, 'PICK', 106, 24, 'DSP-02', 'SO1001', 3),
    ('WO000004', 1, 'REPLENISH', 5, 24, 'P-03', NULL, NULL)
) AS a(wo_no, task_no, movement_type, rec_num, qty, location_to, so_no, so_line_no)
JOIN stock s ON s.rec_num = a.rec_num
JOIN location l ON l.warehouse = s.warehouse AND l.location = s.location
UNION ALL
SELECT 'WO000003', 1, 1, 'COUNT', NULL, NULL, NULL, 0, NULL, 'W1', 'C-10-1', 'BULK', NULL, NULL, NULL, NULL,
       NULL, NULL, NULL, NULL, 'ASSIGNED', 'ANN'
ON CONFLICT ON CONSTRAINT activity_pkey DO NOTHING;

-- The picks and the replenishment hold their quantities.
UPDATE stock s
SET qty_booked = b.qty
FROM (SELECT a.rec_num, sum(a.qty) AS qty
      FROM activity a
      WHERE a.wo_no IN ('WO000002', 'WO000004') AND a.status = 'OPEN'
      GROUP BY a.rec_num) AS b
WHERE s.rec_num = b.rec_num AND s.qty_booked = 0;

------------------------------------------------------------------------------
-- Counting
------------------------------------------------------------------------------

INSERT INTO count_header (stocktake_ref, warehouse, count_type, status, maker) VALUES
    ('CC000001', 'W1', 'CYCLECOUNT', 'OPEN', 'JOE')
ON CONFLICT ON CONSTRAINT count_header_pkey DO NOTHING;

DROP TABLE demo_product, demo_stock;
