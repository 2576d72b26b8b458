-- Talwen reference warehouse database: tables, views and helpers.
--
-- Loading this file again is harmless: every object is created only when it
-- is missing (tables keep their rows); views and helper functions are
-- replaced. To change a table's definition, reload the whole database
-- (scripts/db.sh reset).
--
-- Conventions used throughout (see README.md):
--   * keys are text codes, matched exactly after trimming; operator ids are
--     stored in upper case and routines upper-case the id they are given;
--   * flags are 'Y' or 'N';
--   * quantities are unconstrained numeric (12 stays "12", 12.5 "12.5");
--     prices numeric(12,2); business dates are date, audit times
--     timestamp(0) in local time;
--   * "maker" is the operator who last wrote a row, "last_update" when.

CREATE EXTENSION IF NOT EXISTS pgcrypto;

------------------------------------------------------------------------------
-- System configuration and parameter lists
------------------------------------------------------------------------------

CREATE TABLE IF NOT EXISTS system_config (
    cfg_code        text PRIMARY KEY CHECK (btrim(cfg_code) <> ''),
    cfg_value       text NOT NULL DEFAULT '',
    cfg_description text NOT NULL DEFAULT '',
    rf_flag         text NOT NULL DEFAULT 'N' CHECK (rf_flag IN ('Y', 'N'))
);
COMMENT ON COLUMN system_config.rf_flag IS 'Y: the setting is one the handheld pages read';

-- Generic code lists: param_table names the list ('REASONCODE', 'GRADE',
-- 'PRODUCT CLASS', 'PRODUCT GROUP', 'CATEGORY', 'CURRENCY', ...).
CREATE TABLE IF NOT EXISTS parameter_tbl (
    param_table text NOT NULL CHECK (btrim(param_table) <> ''),
    param_code  text NOT NULL CHECK (btrim(param_code) <> ''),
    description text NOT NULL DEFAULT '',
    sort_seq    integer NOT NULL DEFAULT 0,
    CONSTRAINT parameter_tbl_pkey PRIMARY KEY (param_table, param_code)
);

CREATE TABLE IF NOT EXISTS uom (
    uom         text PRIMARY KEY CHECK (btrim(uom) <> ''),
    description text NOT NULL DEFAULT '',
    uom_type    text NOT NULL DEFAULT 'UNIT' CHECK (uom_type IN ('UNIT', 'CARTON', 'PALLET'))
);

CREATE TABLE IF NOT EXISTS movement_type (
    movement_type    text PRIMARY KEY CHECK (btrim(movement_type) <> ''),
    description      text NOT NULL DEFAULT '',
    default_priority integer NOT NULL DEFAULT 5
);

CREATE TABLE IF NOT EXISTS receipt_type (
    receipt_type text PRIMARY KEY CHECK (btrim(receipt_type) <> ''),
    description  text NOT NULL DEFAULT ''
);

------------------------------------------------------------------------------
-- Parties
------------------------------------------------------------------------------

CREATE TABLE IF NOT EXISTS client (
    client      text PRIMARY KEY CHECK (btrim(client) <> ''),
    client_name text NOT NULL DEFAULT '',
    address     text NOT NULL DEFAULT '',
    town        text NOT NULL DEFAULT '',
    country     text NOT NULL DEFAULT '',
    phone       text NOT NULL DEFAULT '',
    status      text NOT NULL DEFAULT 'ACTIVE' CHECK (status IN ('ACTIVE', 'INACTIVE')),
    maker       text,
    last_update timestamp(0) NOT NULL DEFAULT localtimestamp(0)
);

-- Document numbers drawn per client: next_document_no(client, doc_type).
CREATE TABLE IF NOT EXISTS document_counter (
    client   text NOT NULL REFERENCES client,
    doc_type text NOT NULL CHECK (doc_type IN ('RECEIPT', 'WARRANT')),
    prefix   text NOT NULL DEFAULT '',
    next_no  bigint NOT NULL DEFAULT 1 CHECK (next_no > 0),
    width    integer NOT NULL DEFAULT 6 CHECK (width BETWEEN 1 AND 18),
    CONSTRAINT document_counter_pkey PRIMARY KEY (client, doc_type)
);

CREATE TABLE IF NOT EXISTS customer (
    client        text NOT NULL REFERENCES client,
    customer      text NOT NULL CHECK (btrim(customer) <> ''),
    customer_name text NOT NULL DEFAULT '',
    dlvr_to       text NOT NULL DEFAULT '',
    dlvr_street   text NOT NULL DEFAULT '',
    dlvr_bldg     text NOT NULL DEFAULT '',
    dlvr_town     text NOT NULL DEFAULT '',
    dlvr_country  text NOT NULL DEFAULT '',
    dlvr_postcode text NOT NULL DEFAULT '',
    phone         text NOT NULL DEFAULT '',
    status        text NOT NULL DEFAULT 'ACTIVE' CHECK (status IN ('ACTIVE', 'INACTIVE')),
    maker         text,
    last_update   timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT customer_pkey PRIMARY KEY (client, customer)
);

CREATE TABLE IF NOT EXISTS supplier (
    client         text NOT NULL REFERENCES client,
    supplier       text NOT NULL CHECK (btrim(supplier) <> ''),
    supplier_name  text NOT NULL DEFAULT '',
    address        text NOT NULL DEFAULT '',
    town           text NOT NULL DEFAULT '',
    country        text NOT NULL DEFAULT '',
    contact        text NOT NULL DEFAULT '',
    phone          text NOT NULL DEFAULT '',
    origin_country text NOT NULL DEFAULT '',
    status         text NOT NULL DEFAULT 'ACTIVE' CHECK (status IN ('ACTIVE', 'INACTIVE')),
    maker          text,
    last_update    timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT supplier_pkey PRIMARY KEY (client, supplier)
);

CREATE TABLE IF NOT EXISTS carrier (
    carrier        text PRIMARY KEY CHECK (btrim(carrier) <> ''),
    carrier_name   text NOT NULL DEFAULT '',
    transport_mode text NOT NULL DEFAULT 'ROAD',
    phone          text NOT NULL DEFAULT '',
    status         text NOT NULL DEFAULT 'ACTIVE' CHECK (status IN ('ACTIVE', 'INACTIVE'))
);

------------------------------------------------------------------------------
-- Warehouses and locations
------------------------------------------------------------------------------

CREATE TABLE IF NOT EXISTS warehouse (
    warehouse      text PRIMARY KEY CHECK (btrim(warehouse) <> ''),
    warehouse_name text NOT NULL DEFAULT '',
    facility_type  text NOT NULL DEFAULT 'WAREHOUSE',
    address        text NOT NULL DEFAULT '',
    status         text NOT NULL DEFAULT 'ACTIVE' CHECK (status IN ('ACTIVE', 'INACTIVE'))
);

CREATE TABLE IF NOT EXISTS area (
    warehouse   text NOT NULL REFERENCES warehouse,
    area        text NOT NULL CHECK (btrim(area) <> ''),
    description text NOT NULL DEFAULT '',
    CONSTRAINT area_pkey PRIMARY KEY (warehouse, area)
);

CREATE TABLE IF NOT EXISTS zone (
    warehouse   text NOT NULL REFERENCES warehouse,
    zone        text NOT NULL CHECK (btrim(zone) <> ''),
    area        text NOT NULL,
    description text NOT NULL DEFAULT '',
    CONSTRAINT zone_pkey PRIMARY KEY (warehouse, zone),
    CONSTRAINT zone_area_fkey FOREIGN KEY (warehouse, area) REFERENCES area
);

-- location_type: PICKFACE (picked from, refilled by replenishment), BULK
-- (reserve storage), RECEIVING (dock where received goods wait for putaway),
-- DESPATCH (picked goods wait for despatch).
-- status: ACTIVE, COUNTING (a count of the location is under way: no moves
-- in or out), BLOCKED (nothing may be put or picked).
CREATE TABLE IF NOT EXISTS location (
    warehouse       text NOT NULL REFERENCES warehouse,
    location        text NOT NULL CHECK (btrim(location) <> ''),
    area            text NOT NULL,
    zone            text NOT NULL,
    location_type   text NOT NULL CHECK (location_type IN ('PICKFACE', 'BULK', 'RECEIVING', 'DESPATCH')),
    aisle           text NOT NULL DEFAULT '',
    bay             text NOT NULL DEFAULT '',
    level           text NOT NULL DEFAULT '',
    pick_seq        integer NOT NULL DEFAULT 0,
    max_pallets     integer NOT NULL DEFAULT 1 CHECK (max_pallets >= 0),
    max_weight      numeric CHECK (max_weight >= 0),
    status          text NOT NULL DEFAULT 'ACTIVE' CHECK (status IN ('ACTIVE', 'COUNTING', 'BLOCKED')),
    last_count_date timestamp(0),
    remarks         text NOT NULL DEFAULT '',
    CONSTRAINT location_pkey PRIMARY KEY (warehouse, location),
    CONSTRAINT location_area_fkey FOREIGN KEY (warehouse, area) REFERENCES area,
    CONSTRAINT location_zone_fkey FOREIGN KEY (warehouse, zone) REFERENCES zone
);
CREATE INDEX IF NOT EXISTS location_type_idx ON location (warehouse, location_type);

-- Terminals and desks of a warehouse. A CHECKIN station receives goods into
-- its receiving_location.
CREATE TABLE IF NOT EXISTS station (
    warehouse          text NOT NULL REFERENCES warehouse,
    station            text NOT NULL CHECK (btrim(station) <> ''),
    station_type       text NOT NULL CHECK (station_type IN ('CHECKIN', 'RF', 'DESPATCH', 'PRINTER')),
    description        text NOT NULL DEFAULT '',
    receiving_location text,
    status             text NOT NULL DEFAULT 'ACTIVE' CHECK (status IN ('ACTIVE', 'INACTIVE')),
    CONSTRAINT station_pkey PRIMARY KEY (warehouse, station),
    CONSTRAINT station_location_fkey FOREIGN KEY (warehouse, receiving_location) REFERENCES location
);

------------------------------------------------------------------------------
-- Operators
------------------------------------------------------------------------------

-- Passwords are kept only as bcrypt hashes (pgcrypto crypt() with
-- gen_salt('bf')); use set_operator_password() and check_operator_password().
CREATE TABLE IF NOT EXISTS operator (
    operator          text PRIMARY KEY CHECK (btrim(operator) <> '' AND operator = upper(operator)),
    operator_name     text NOT NULL DEFAULT '',
    password_hash     text NOT NULL CHECK (password_hash LIKE '$2_$%'),
    status            text NOT NULL DEFAULT 'ACTIVE' CHECK (status IN ('ACTIVE', 'LOCKED', 'INACTIVE')),
    default_warehouse text REFERENCES warehouse,
    language          text NOT NULL DEFAULT 'EN',
    signed_on         boolean NOT NULL DEFAULT false,
    failed_signons    integer NOT NULL DEFAULT 0 CHECK (failed_signons >= 0),
    last_signon_at    timestamp(0),
    last_signoff_at   timestamp(0),
    created_at        timestamp(0) NOT NULL DEFAULT localtimestamp(0)
);

CREATE TABLE IF NOT EXISTS operator_warehouse (
    operator  text NOT NULL REFERENCES operator ON DELETE CASCADE,
    warehouse text NOT NULL REFERENCES warehouse,
    CONSTRAINT operator_warehouse_pkey PRIMARY KEY (operator, warehouse)
);

CREATE TABLE IF NOT EXISTS operator_client (
    operator text NOT NULL REFERENCES operator ON DELETE CASCADE,
    client   text NOT NULL REFERENCES client,
    CONSTRAINT operator_client_pkey PRIMARY KEY (operator, client)
);

-- Menu rights: one row per menu the operator may open.
CREATE TABLE IF NOT EXISTS operator_access (
    operator  text NOT NULL REFERENCES operator ON DELETE CASCADE,
    menu_name text NOT NULL CHECK (btrim(menu_name) <> ''),
    CONSTRAINT operator_access_pkey PRIMARY KEY (operator, menu_name)
);

CREATE TABLE IF NOT EXISTS operator_task_priority (
    operator      text NOT NULL REFERENCES operator ON DELETE CASCADE,
    movement_type text NOT NULL REFERENCES movement_type,
    priority      integer NOT NULL CHECK (priority >= 0),
    CONSTRAINT operator_task_priority_pkey PRIMARY KEY (operator, movement_type)
);

CREATE TABLE IF NOT EXISTS operator_last_client (
    operator    text PRIMARY KEY REFERENCES operator ON DELETE CASCADE,
    client      text NOT NULL REFERENCES client,
    accessed_at timestamp(0) NOT NULL DEFAULT localtimestamp(0)
);

-- Sign-on and sign-off journal.
CREATE TABLE IF NOT EXISTS operator_log (
    log_id    bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    operator  text NOT NULL REFERENCES operator ON DELETE CASCADE,
    event     text NOT NULL CHECK (event IN ('SIGNON', 'SIGNON_FAILED', 'SIGNOFF')),
    warehouse text,
    station   text,
    event_at  timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    remarks   text NOT NULL DEFAULT ''
);
CREATE INDEX IF NOT EXISTS operator_log_operator_idx ON operator_log (operator, event_at);

------------------------------------------------------------------------------
-- Products
------------------------------------------------------------------------------

-- The *_flag columns say which attributes a stock line of the product must
-- carry ('Y') when received. lowest_uom is the unit stock is counted in; the
-- product must have a product_uom row for it with luom_equivalent 1.
CREATE TABLE IF NOT EXISTS product (
    client               text NOT NULL REFERENCES client,
    item_no              text NOT NULL CHECK (btrim(item_no) <> ''),
    description          text NOT NULL DEFAULT '',
    product_class        text NOT NULL DEFAULT '',
    product_group        text NOT NULL DEFAULT '',
    category             text NOT NULL DEFAULT '',
    sub_category         text NOT NULL DEFAULT '',
    sub_category_1       text NOT NULL DEFAULT '',
    sub_category_2       text NOT NULL DEFAULT '',
    sub_category_3       text NOT NULL DEFAULT '',
    sub_category_4       text NOT NULL DEFAULT '',
    sub_category_5       text NOT NULL DEFAULT '',
    alternate_code       text NOT NULL DEFAULT '',
    substitute           text NOT NULL DEFAULT '',
    lowest_uom           text NOT NULL REFERENCES uom,
    pallet_config        text NOT NULL DEFAULT '',
    expiry_prealert      integer NOT NULL DEFAULT 0 CHECK (expiry_prealert >= 0),
    reorder_level        numeric NOT NULL DEFAULT 0 CHECK (reorder_level >= 0),
    bonded_flag          text NOT NULL DEFAULT 'N' CHECK (bonded_flag IN ('Y', 'N')),
    lot_no_flag          text NOT NULL DEFAULT 'N' CHECK (lot_no_flag IN ('Y', 'N')),
    expiry_date_flag     text NOT NULL DEFAULT 'N' CHECK (expiry_date_flag IN ('Y', 'N')),
    item_size_flag       text NOT NULL DEFAULT 'N' CHECK (item_size_flag IN ('Y', 'N')),
    item_color_flag      text NOT NULL DEFAULT 'N' CHECK (item_color_flag IN ('Y', 'N')),
    item_class_flag      text NOT NULL DEFAULT 'N' CHECK (item_class_flag IN ('Y', 'N')),
    production_date_flag text NOT NULL DEFAULT 'N' CHECK (production_date_flag IN ('Y', 'N')),
    weight_required      text NOT NULL DEFAULT 'N' CHECK (weight_required IN ('Y', 'N')),
    auto_zoning          text NOT NULL DEFAULT 'N' CHECK (auto_zoning IN ('Y', 'N')),
    dual_uom             text NOT NULL DEFAULT 'N' CHECK (dual_uom IN ('Y', 'N')),
    batch_no_flag        text NOT NULL DEFAULT 'N' CHECK (batch_no_flag IN ('Y', 'N')),
    dimensions_flag      text NOT NULL DEFAULT 'N' CHECK (dimensions_flag IN ('Y', 'N')),
    serial_no_flag       text NOT NULL DEFAULT 'N' CHECK (serial_no_flag IN ('Y', 'N')),
    num_serial           integer NOT NULL DEFAULT 0 CHECK (num_serial >= 0),
    supplier_flag        text NOT NULL DEFAULT 'N' CHECK (supplier_flag IN ('Y', 'N')),
    owner_flag           text NOT NULL DEFAULT 'N' CHECK (owner_flag IN ('Y', 'N')),
    pick_seq             integer NOT NULL DEFAULT 0,
    billing_group        text NOT NULL DEFAULT '',
    billing_uom          text NOT NULL DEFAULT '',
    storage_group        text NOT NULL DEFAULT '',
    storage_uom          text NOT NULL DEFAULT '',
    fob_price            numeric(12, 2) NOT NULL DEFAULT 0,
    landed_price         numeric(12, 2) NOT NULL DEFAULT 0,
    ex_work_price        numeric(12, 2) NOT NULL DEFAULT 0,
    dealer_price         numeric(12, 2) NOT NULL DEFAULT 0,
    export_price         numeric(12, 2) NOT NULL DEFAULT 0,
    sample_size          numeric NOT NULL DEFAULT 0 CHECK (sample_size >= 0),
    tolerance            numeric NOT NULL DEFAULT 0 CHECK (tolerance >= 0),
    default_grade        text NOT NULL DEFAULT '',
    status               text NOT NULL DEFAULT 'ACTIVE' CHECK (status IN ('ACTIVE', 'INACTIVE', 'OBSOLETE')),
    remarks              text NOT NULL DEFAULT '',
    image_filename       text NOT NULL DEFAULT '',
    nonstandard_pack     text NOT NULL DEFAULT 'N' CHECK (nonstandard_pack IN ('Y', 'N')),
    maker                text,
    last_update          timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT product_pkey PRIMARY KEY (client, item_no),
    CONSTRAINT product_serial_check CHECK (serial_no_flag = 'N' OR num_serial > 0)
);
CREATE INDEX IF NOT EXISTS product_description_idx ON product (client, description);

-- Units of a product. uom_sequence 1 is the lowest unit; luom_equivalent is
-- how many lowest units one of this unit holds; child_uom/child_uom_qty name
-- the next unit down and how many of it one of this unit holds.
CREATE TABLE IF NOT EXISTS product_uom (
    client          text NOT NULL,
    item_no         text NOT NULL,
    uom             text NOT NULL REFERENCES uom,
    uom_sequence    integer NOT NULL CHECK (uom_sequence >= 1),
    luom_equivalent numeric NOT NULL CHECK (luom_equivalent > 0),
    child_uom       text REFERENCES uom,
    child_uom_qty   numeric CHECK (child_uom_qty > 0),
    item_height     numeric NOT NULL DEFAULT 0 CHECK (item_height >= 0),
    item_width      numeric NOT NULL DEFAULT 0 CHECK (item_width >= 0),
    item_depth      numeric NOT NULL DEFAULT 0 CHECK (item_depth >= 0),
    item_volume     numeric NOT NULL DEFAULT 0 CHECK (item_volume >= 0),
    item_weight     numeric NOT NULL DEFAULT 0 CHECK (item_weight >= 0),
    maker           text,
    last_update     timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT product_uom_pkey PRIMARY KEY (client, item_no, uom),
    CONSTRAINT product_uom_sequence_key UNIQUE (client, item_no, uom_sequence),
    CONSTRAINT product_uom_product_fkey FOREIGN KEY (client, item_no) REFERENCES product ON DELETE CASCADE
);

CREATE TABLE IF NOT EXISTS barcode (
    client      text NOT NULL,
    barcode     text NOT NULL CHECK (btrim(barcode) <> ''),
    item_no     text NOT NULL,
    uom         text,
    remarks     text NOT NULL DEFAULT '',
    maker       text,
    last_update timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT barcode_pkey PRIMARY KEY (client, barcode),
    CONSTRAINT barcode_product_fkey FOREIGN KEY (client, item_no) REFERENCES product ON DELETE CASCADE,
    CONSTRAINT barcode_uom_fkey FOREIGN KEY (client, item_no, uom) REFERENCES product_uom
);
CREATE INDEX IF NOT EXISTS barcode_item_idx ON barcode (client, item_no);

-- Customers that own stock of a product held for them.
CREATE TABLE IF NOT EXISTS product_owner (
    client   text NOT NULL,
    item_no  text NOT NULL,
    customer text NOT NULL,
    CONSTRAINT product_owner_pkey PRIMARY KEY (client, item_no, customer),
    CONSTRAINT product_owner_product_fkey FOREIGN KEY (client, item_no) REFERENCES product ON DELETE CASCADE,
    CONSTRAINT product_owner_customer_fkey FOREIGN KEY (client, customer) REFERENCES customer
);

-- The pick faces of a product and the levels that trigger replenishment.
CREATE TABLE IF NOT EXISTS pick_face (
    warehouse text NOT NULL,
    location  text NOT NULL,
    client    text NOT NULL,
    item_no   text NOT NULL,
    uom       text NOT NULL,
    min_qty   numeric NOT NULL DEFAULT 0 CHECK (min_qty >= 0),
    max_qty   numeric NOT NULL DEFAULT 0 CHECK (max_qty >= min_qty),
    CONSTRAINT pick_face_pkey PRIMARY KEY (warehouse, location, client, item_no),
    CONSTRAINT pick_face_location_fkey FOREIGN KEY (warehouse, location) REFERENCES location,
    CONSTRAINT pick_face_uom_fkey FOREIGN KEY (client, item_no, uom) REFERENCES product_uom
);
CREATE INDEX IF NOT EXISTS pick_face_item_idx ON pick_face (client, item_no);

------------------------------------------------------------------------------
-- Pallets, cartons and stock
------------------------------------------------------------------------------

-- Every pallet label in use. A label is 'P', six digits of pallet_no_seq and
-- a check character (pallet_check_char); issue_pallet() draws a new one.
CREATE SEQUENCE IF NOT EXISTS pallet_no_seq;

CREATE TABLE IF NOT EXISTS pallet (
    pallet      text PRIMARY KEY CHECK (btrim(pallet) <> ''),
    client      text REFERENCES client,
    customer    text,
    status      text NOT NULL DEFAULT 'ACTIVE' CHECK (status IN ('ACTIVE', 'EMPTY', 'DESPATCHED')),
    maker       text,
    created_at  timestamp(0) NOT NULL DEFAULT localtimestamp(0)
);

-- A labelled box of stock. Its stock lines (stock.carton_no) stand in the
-- carton's location; parent_carton_no is set on a carton split off another.
CREATE TABLE IF NOT EXISTS carton (
    client           text NOT NULL REFERENCES client,
    carton_no        text NOT NULL CHECK (btrim(carton_no) <> ''),
    warehouse        text,
    location         text,
    pallet           text REFERENCES pallet,
    parent_carton_no text,
    status           text NOT NULL DEFAULT 'ACTIVE' CHECK (status IN ('ACTIVE', 'EMPTY', 'DESPATCHED')),
    maker            text,
    last_update      timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT carton_pkey PRIMARY KEY (client, carton_no),
    CONSTRAINT carton_location_fkey FOREIGN KEY (warehouse, location) REFERENCES location,
    CONSTRAINT carton_parent_fkey FOREIGN KEY (client, parent_carton_no) REFERENCES carton
);

CREATE TABLE IF NOT EXISTS purchase_order (
    client          text NOT NULL REFERENCES client,
    order_no        text NOT NULL CHECK (btrim(order_no) <> ''),
    order_type      text NOT NULL DEFAULT 'STANDARD',
    reference_no    text NOT NULL DEFAULT '',
    supplier        text NOT NULL,
    warehouse       text REFERENCES warehouse,
    transport_mode  text NOT NULL DEFAULT '',
    carrier         text REFERENCES carrier,
    expected_date   date,
    status          text NOT NULL DEFAULT 'OPEN' CHECK (status IN ('OPEN', 'PARTIAL', 'CLOSED', 'CANCELLED')),
    last_receipt_no text,
    last_receipt    date,
    received_by     text,
    remarks         text NOT NULL DEFAULT '',
    create_date     timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    maker           text,
    last_update     timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT purchase_order_pkey PRIMARY KEY (client, order_no),
    CONSTRAINT purchase_order_supplier_fkey FOREIGN KEY (client, supplier) REFERENCES supplier
);

CREATE TABLE IF NOT EXISTS purchase_order_line (
    client       text NOT NULL,
    order_no     text NOT NULL,
    line_no      integer NOT NULL CHECK (line_no > 0),
    item_no      text NOT NULL,
    uom          text NOT NULL,
    qty          numeric NOT NULL CHECK (qty > 0),
    qty_received numeric NOT NULL DEFAULT 0 CHECK (qty_received >= 0),
    qty_putaway  numeric NOT NULL DEFAULT 0 CHECK (qty_putaway >= 0),
    grade        text NOT NULL DEFAULT '',
    lot_no       text NOT NULL DEFAULT '',
    batch_no     text NOT NULL DEFAULT '',
    expiry_date  date,
    prod_date    date,
    item_size    text NOT NULL DEFAULT '',
    item_color   text NOT NULL DEFAULT '',
    item_class   text NOT NULL DEFAULT '',
    unit_price   numeric(12, 2),
    currency     text NOT NULL DEFAULT '',
    status       text NOT NULL DEFAULT 'OPEN' CHECK (status IN ('OPEN', 'PARTIAL', 'CLOSED', 'CANCELLED')),
    maker        text,
    last_update  timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT purchase_order_line_pkey PRIMARY KEY (client, order_no, line_no),
    CONSTRAINT purchase_order_line_order_fkey FOREIGN KEY (client, order_no) REFERENCES purchase_order ON DELETE CASCADE,
    CONSTRAINT purchase_order_line_uom_fkey FOREIGN KEY (client, item_no, uom) REFERENCES product_uom
);

-- Receipt header. status: OPEN (lines being scanned), CHECKEDIN (stock
-- created, receipt still open), CLOSED. asn_flag 'Y': the receipt came as an
-- advance shipping notice whose expected lines are in asn_line.
CREATE TABLE IF NOT EXISTS receipt (
    client          text NOT NULL REFERENCES client,
    receipt_no      text NOT NULL CHECK (btrim(receipt_no) <> ''),
    warehouse       text NOT NULL REFERENCES warehouse,
    receipt_station text,
    zone            text,
    receipt_type    text NOT NULL REFERENCES receipt_type,
    receipt_date    date NOT NULL DEFAULT current_date,
    carrier         text REFERENCES carrier,
    vehicle         text NOT NULL DEFAULT '',
    container       text NOT NULL DEFAULT '',
    customer        text,
    supplier        text,
    client_po_no    text NOT NULL DEFAULT '',
    client_so_no    text NOT NULL DEFAULT '',
    receipt_ref_no  text NOT NULL DEFAULT '',
    remarks         text NOT NULL DEFAULT '',
    asn_flag        text NOT NULL DEFAULT 'N' CHECK (asn_flag IN ('Y', 'N')),
    status          text NOT NULL DEFAULT 'OPEN' CHECK (status IN ('OPEN', 'CHECKEDIN', 'CLOSED')),
    checked_in_by   text,
    checked_in_at   timestamp(0),
    closed_by       text,
    closed_at       timestamp(0),
    maker           text,
    created_at      timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    last_update     timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT receipt_pkey PRIMARY KEY (client, receipt_no),
    CONSTRAINT receipt_station_fkey FOREIGN KEY (warehouse, receipt_station) REFERENCES station,
    CONSTRAINT receipt_zone_fkey FOREIGN KEY (warehouse, zone) REFERENCES zone,
    CONSTRAINT receipt_customer_fkey FOREIGN KEY (client, customer) REFERENCES customer,
    CONSTRAINT receipt_supplier_fkey FOREIGN KEY (client, supplier) REFERENCES supplier
);
CREATE INDEX IF NOT EXISTS receipt_status_idx ON receipt (client, status);

-- Stock lines. rec_num names one line: an item with its attributes, on a
-- pallet (and maybe in a carton), in a location.
--   qty         quantity on hand, in uom
--   qty_booked  part of qty reserved for tasks (picks, moves)
--   qty_avail   qty - qty_booked
--   qty_rcvd    quantity the line was received (or created) with
-- status: RECEIVING (received, not yet put away), AVAILABLE, HOLD (not to be
-- picked), PICKED (picked for so_no/so_line_no, waiting for despatch),
-- DESPATCHED (left the warehouse; qty is then 0).
CREATE TABLE IF NOT EXISTS stock (
    rec_num        bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    client         text NOT NULL,
    item_no        text NOT NULL,
    warehouse      text NOT NULL,
    location       text NOT NULL,
    pallet         text REFERENCES pallet,
    carton_no      text,
    uom            text NOT NULL,
    qty            numeric NOT NULL CHECK (qty >= 0),
    qty_booked     numeric NOT NULL DEFAULT 0 CHECK (qty_booked >= 0),
    qty_avail      numeric GENERATED ALWAYS AS (qty - qty_booked) STORED,
    qty_rcvd       numeric NOT NULL DEFAULT 0 CHECK (qty_rcvd >= 0),
    grade          text NOT NULL DEFAULT '',
    lot_no         text NOT NULL DEFAULT '',
    batch_no       text NOT NULL DEFAULT '',
    expiry_date    date,
    prod_date      date,
    item_size      text NOT NULL DEFAULT '',
    item_color     text NOT NULL DEFAULT '',
    item_class     text NOT NULL DEFAULT '',
    item_width     numeric CHECK (item_width >= 0),
    item_depth     numeric CHECK (item_depth >= 0),
    item_height    numeric CHECK (item_height >= 0),
    item_weight    numeric CHECK (item_weight >= 0),
    supplier       text,
    owner          text,
    customer       text,
    origin_country text NOT NULL DEFAULT '',
    currency       text NOT NULL DEFAULT '',
    unit_cost      numeric(12, 2),
    ppq_packing    text NOT NULL DEFAULT '',
    ppq_qty        numeric CHECK (ppq_qty > 0),
    receipt_no     text,
    receipt_line   integer,
    receipt_date   date,
    so_no          text,
    so_line_no     integer,
    status         text NOT NULL DEFAULT 'AVAILABLE'
        CHECK (status IN ('RECEIVING', 'AVAILABLE', 'HOLD', 'PICKED', 'DESPATCHED')),
    maker          text,
    last_update    timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT stock_booked_check CHECK (qty_booked <= qty),
    CONSTRAINT stock_despatched_check CHECK (status <> 'DESPATCHED' OR qty = 0),
    CONSTRAINT stock_location_fkey FOREIGN KEY (warehouse, location) REFERENCES location,
    CONSTRAINT stock_uom_fkey FOREIGN KEY (client, item_no, uom) REFERENCES product_uom,
    CONSTRAINT stock_carton_fkey FOREIGN KEY (client, carton_no) REFERENCES carton,
    CONSTRAINT stock_receipt_fkey FOREIGN KEY (client, receipt_no) REFERENCES receipt
);
CREATE INDEX IF NOT EXISTS stock_item_idx ON stock (client, item_no, warehouse);
CREATE INDEX IF NOT EXISTS stock_location_idx ON stock (warehouse, location);
CREATE INDEX IF NOT EXISTS stock_pallet_idx ON stock (pallet);
CREATE INDEX IF NOT EXISTS stock_carton_idx ON stock (client, carton_no);

-- Journal of every change to stock, written by the routine that changes it.
-- movement_type: RECEIPT, PUTAWAY, RELOCATE, REPLENISH, PICK, DESPATCH,
-- ADJUST, COUNT, CREATE, SPLIT, GRADE. qty is the quantity moved; for ADJUST
-- and COUNT it is the signed change (qty_after - qty_before).
CREATE TABLE IF NOT EXISTS stock_movement (
    movement_id    bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    movement_type  text NOT NULL,
    client         text NOT NULL,
    item_no        text NOT NULL,
    rec_num        bigint,
    rec_num_to     bigint,
    uom            text NOT NULL,
    qty            numeric NOT NULL,
    qty_before     numeric,
    qty_after      numeric,
    warehouse_from text,
    location_from  text,
    pallet_from    text,
    carton_from    text,
    warehouse_to   text,
    location_to    text,
    pallet_to      text,
    carton_to      text,
    grade          text,
    reason_code    text,
    reference      text NOT NULL DEFAULT '',
    wo_no          text,
    task_no        integer,
    activity_no    integer,
    operator       text NOT NULL,
    moved_at       timestamp(0) NOT NULL DEFAULT localtimestamp(0)
);
CREATE INDEX IF NOT EXISTS stock_movement_item_idx ON stock_movement (client, item_no, moved_at);
CREATE INDEX IF NOT EXISTS stock_movement_rec_num_idx ON stock_movement (rec_num);

------------------------------------------------------------------------------
-- Receipts
------------------------------------------------------------------------------

-- Expected lines of an advance shipping notice.
CREATE TABLE IF NOT EXISTS asn_line (
    client       text NOT NULL,
    receipt_no   text NOT NULL,
    asn_line_no  integer NOT NULL CHECK (asn_line_no > 0),
    item_no      text NOT NULL,
    uom          text NOT NULL,
    qty          numeric NOT NULL CHECK (qty > 0),
    qty_received numeric NOT NULL DEFAULT 0 CHECK (qty_received >= 0),
    grade        text NOT NULL DEFAULT '',
    lot_no       text NOT NULL DEFAULT '',
    batch_no     text NOT NULL DEFAULT '',
    po_no        text,
    po_line_no   integer,
    CONSTRAINT asn_line_pkey PRIMARY KEY (client, receipt_no, asn_line_no),
    CONSTRAINT asn_line_receipt_fkey FOREIGN KEY (client, receipt_no) REFERENCES receipt ON DELETE CASCADE,
    CONSTRAINT asn_line_uom_fkey FOREIGN KEY (client, item_no, uom) REFERENCES product_uom,
    CONSTRAINT asn_line_po_fkey FOREIGN KEY (client, po_no, po_line_no) REFERENCES purchase_order_line
);

-- Received lines, one per scanned pallet and item. rec_num is the stock line
-- the receipt line became when checked in. user_defined is the line's free
-- value; udf holds further user-defined fields by name.
CREATE TABLE IF NOT EXISTS receipt_line (
    client       text NOT NULL,
    receipt_no   text NOT NULL,
    line_no      integer NOT NULL CHECK (line_no > 0),
    po_no        text,
    po_line_no   integer,
    asn_line_no  integer,
    pallet       text REFERENCES pallet,
    carton_no    text,
    item_no      text NOT NULL,
    uom          text NOT NULL,
    qty          numeric NOT NULL CHECK (qty > 0),
    grade        text NOT NULL DEFAULT '',
    lot_no       text NOT NULL DEFAULT '',
    batch_no     text NOT NULL DEFAULT '',
    supplier     text,
    customer     text,
    expiry_date  date,
    prod_date    date,
    item_size    text NOT NULL DEFAULT '',
    item_color   text NOT NULL DEFAULT '',
    item_class   text NOT NULL DEFAULT '',
    width        numeric CHECK (width >= 0),
    depth        numeric CHECK (depth >= 0),
    height       numeric CHECK (height >= 0),
    weight       numeric CHECK (weight >= 0),
    currency     text NOT NULL DEFAULT '',
    unit_price   numeric(12, 2),
    ppq_packing  text NOT NULL DEFAULT '',
    ppq_qty      numeric CHECK (ppq_qty > 0),
    user_defined text NOT NULL DEFAULT '',
    udf          jsonb NOT NULL DEFAULT '{}',
    status       text NOT NULL DEFAULT 'AVAILABLE'
        CHECK (status IN ('RECEIVING', 'AVAILABLE', 'HOLD')),
    rec_num      bigint REFERENCES stock ON DELETE SET NULL,
    maker        text,
    last_update  timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT receipt_line_pkey PRIMARY KEY (client, receipt_no, line_no),
    CONSTRAINT receipt_line_receipt_fkey FOREIGN KEY (client, receipt_no) REFERENCES receipt ON DELETE CASCADE,
    CONSTRAINT receipt_line_uom_fkey FOREIGN KEY (client, item_no, uom) REFERENCES product_uom,
    CONSTRAINT receipt_line_po_fkey FOREIGN KEY (client, po_no, po_line_no) REFERENCES purchase_order_line,
    CONSTRAINT receipt_line_asn_fkey FOREIGN KEY (client, receipt_no, asn_line_no) REFERENCES asn_line
);
CREATE INDEX IF NOT EXISTS receipt_line_item_idx ON receipt_line (client, item_no);

------------------------------------------------------------------------------
-- Sales orders and despatch
------------------------------------------------------------------------------

-- status: OPEN, ALLOCATED (pick tasks made), PICKING, PICKED, DESPATCHED,
-- CANCELLED. despatch names the shipment the order leaves with.
CREATE TABLE IF NOT EXISTS sales_order (
    client        text NOT NULL REFERENCES client,
    order_no      text NOT NULL CHECK (btrim(order_no) <> ''),
    customer      text NOT NULL,
    reference_no  text NOT NULL DEFAULT '',
    order_type    text NOT NULL DEFAULT 'STANDARD',
    warehouse     text REFERENCES warehouse,
    despatch      text NOT NULL DEFAULT '',
    delivery_date date,
    dlvr_to       text NOT NULL DEFAULT '',
    dlvr_street   text NOT NULL DEFAULT '',
    dlvr_bldg     text NOT NULL DEFAULT '',
    dlvr_town     text NOT NULL DEFAULT '',
    dlvr_country  text NOT NULL DEFAULT '',
    dlvr_postcode text NOT NULL DEFAULT '',
    carrier       text REFERENCES carrier,
    remarks       text NOT NULL DEFAULT '',
    status        text NOT NULL DEFAULT 'OPEN'
        CHECK (status IN ('OPEN', 'ALLOCATED', 'PICKING', 'PICKED', 'DESPATCHED', 'CANCELLED')),
    create_date   timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    maker         text,
    last_update   timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT sales_order_pkey PRIMARY KEY (client, order_no),
    CONSTRAINT sales_order_customer_fkey FOREIGN KEY (client, customer) REFERENCES customer
);
CREATE INDEX IF NOT EXISTS sales_order_status_idx ON sales_order (client, status);

-- org_item is the item ordered; item_no the item supplied (a substitute
-- when they differ).
CREATE TABLE IF NOT EXISTS sales_order_line (
    client         text NOT NULL,
    order_no       text NOT NULL,
    line_no        integer NOT NULL CHECK (line_no > 0),
    org_item       text NOT NULL,
    item_no        text NOT NULL,
    uom            text NOT NULL,
    qty            numeric NOT NULL CHECK (qty > 0),
    qty_allocated  numeric NOT NULL DEFAULT 0 CHECK (qty_allocated >= 0),
    qty_picked     numeric NOT NULL DEFAULT 0 CHECK (qty_picked >= 0),
    qty_backorder  numeric NOT NULL DEFAULT 0 CHECK (qty_backorder >= 0),
    qty_scanpack   numeric NOT NULL DEFAULT 0 CHECK (qty_scanpack >= 0),
    qty_despatched numeric NOT NULL DEFAULT 0 CHECK (qty_despatched >= 0),
    grade          text NOT NULL DEFAULT '',
    lot_no         text NOT NULL DEFAULT '',
    batch_no       text NOT NULL DEFAULT '',
    status         text NOT NULL DEFAULT 'OPEN'
        CHECK (status IN ('OPEN', 'ALLOCATED', 'PICKING', 'PICKED', 'DESPATCHED', 'CANCELLED')),
    maker          text,
    last_update    timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT sales_order_line_pkey PRIMARY KEY (client, order_no, line_no),
    CONSTRAINT sales_order_line_order_fkey FOREIGN KEY (client, order_no) REFERENCES sales_order ON DELETE CASCADE,
    CONSTRAINT sales_order_line_uom_fkey FOREIGN KEY (client, item_no, uom) REFERENCES product_uom,
    CONSTRAINT sales_order_line_org_item_fkey FOREIGN KEY (client, org_item) REFERENCES product
);

-- Picked pallets of an order and their despatch. status PENDING until the
-- pallet is confirmed onto a trip.
CREATE TABLE IF NOT EXISTS despatch_pallet (
    client        text NOT NULL,
    order_no      text NOT NULL,
    pallet        text NOT NULL REFERENCES pallet,
    despatch      text NOT NULL DEFAULT '',
    warehouse     text NOT NULL,
    location      text NOT NULL,
    trip          text NOT NULL DEFAULT '',
    vehicle       text NOT NULL DEFAULT '',
    route         text NOT NULL DEFAULT '',
    carrier       text REFERENCES carrier,
    driver        text NOT NULL DEFAULT '',
    status        text NOT NULL DEFAULT 'PENDING' CHECK (status IN ('PENDING', 'DESPATCHED')),
    despatched_by text,
    despatched_at timestamp(0),
    CONSTRAINT despatch_pallet_pkey PRIMARY KEY (client, order_no, pallet),
    CONSTRAINT despatch_pallet_order_fkey FOREIGN KEY (client, order_no) REFERENCES sales_order,
    CONSTRAINT despatch_pallet_location_fkey FOREIGN KEY (warehouse, location) REFERENCES location
);

------------------------------------------------------------------------------
-- Works orders, tasks and activities
------------------------------------------------------------------------------

-- A works order groups the warehouse work of one movement type for one
-- document (order_no: a receipt for PUTAWAY, a sales order for PICK, ...).
-- A task is one line of that work (an order line, a pallet); an activity is
-- one physical move of a task, from a stock line to a destination (a COUNT
-- activity names only the location to count).
-- status of all three: OPEN, ASSIGNED, INPROGRESS, COMPLETED, CANCELLED.
CREATE SEQUENCE IF NOT EXISTS works_order_seq;

CREATE TABLE IF NOT EXISTS works_order (
    wo_no         text PRIMARY KEY CHECK (btrim(wo_no) <> ''),
    movement_type text NOT NULL REFERENCES movement_type,
    client        text REFERENCES client,
    warehouse     text NOT NULL REFERENCES warehouse,
    area          text,
    order_no      text NOT NULL DEFAULT '',
    priority      integer NOT NULL DEFAULT 5,
    status        text NOT NULL DEFAULT 'OPEN'
        CHECK (status IN ('OPEN', 'ASSIGNED', 'INPROGRESS', 'COMPLETED', 'CANCELLED')),
    assigned_to   text REFERENCES operator,
    maker         text,
    created_at    timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    completed_at  timestamp(0),
    CONSTRAINT works_order_area_fkey FOREIGN KEY (warehouse, area) REFERENCES area
);
CREATE INDEX IF NOT EXISTS works_order_status_idx ON works_order (movement_type, status);
CREATE INDEX IF NOT EXISTS works_order_order_idx ON works_order (client, order_no);

CREATE TABLE IF NOT EXISTS task (
    wo_no        text NOT NULL REFERENCES works_order ON DELETE CASCADE,
    task_no      integer NOT NULL CHECK (task_no > 0),
    client       text,
    order_no     text NOT NULL DEFAULT '',
    line_no      integer,
    item_no      text,
    uom          text,
    qty          numeric NOT NULL DEFAULT 0 CHECK (qty >= 0),
    qty_done     numeric NOT NULL DEFAULT 0 CHECK (qty_done >= 0),
    status       text NOT NULL DEFAULT 'OPEN'
        CHECK (status IN ('OPEN', 'ASSIGNED', 'INPROGRESS', 'COMPLETED', 'CANCELLED')),
    assigned_to  text REFERENCES operator,
    completed_by text,
    completed_at timestamp(0),
    CONSTRAINT task_pkey PRIMARY KEY (wo_no, task_no)
);

CREATE TABLE IF NOT EXISTS activity (
    wo_no          text NOT NULL,
    task_no        integer NOT NULL,
    activity_no    integer NOT NULL CHECK (activity_no > 0),
    movement_type  text NOT NULL REFERENCES movement_type,
    client         text,
    item_no        text,
    uom            text,
    qty            numeric NOT NULL DEFAULT 0 CHECK (qty >= 0),
    qty_done       numeric NOT NULL DEFAULT 0 CHECK (qty_done >= 0),
    rec_num        bigint REFERENCES stock ON DELETE SET NULL,
    warehouse_from text,
    location_from  text,
    area_from      text,
    pallet_from    text,
    carton_from    text,
    warehouse_to   text,
    location_to    text,
    pallet_to      text,
    receipt_no     text,
    receipt_line   integer,
    so_no          text,
    so_line_no     integer,
    reason_code    text,
    status         text NOT NULL DEFAULT 'OPEN'
        CHECK (status IN ('OPEN', 'ASSIGNED', 'INPROGRESS', 'COMPLETED', 'CANCELLED')),
    assigned_to    text REFERENCES operator,
    completed_by   text,
    completed_at   timestamp(0),
    CONSTRAINT activity_pkey PRIMARY KEY (wo_no, task_no, activity_no),
    CONSTRAINT activity_task_fkey FOREIGN KEY (wo_no, task_no) REFERENCES task ON DELETE CASCADE,
    CONSTRAINT activity_from_fkey FOREIGN KEY (warehouse_from, location_from) REFERENCES location,
    CONSTRAINT activity_to_fkey FOREIGN KEY (warehouse_to, location_to) REFERENCES location
);
CREATE INDEX IF NOT EXISTS activity_status_idx ON activity (movement_type, status);
CREATE INDEX IF NOT EXISTS activity_so_idx ON activity (client, so_no);

------------------------------------------------------------------------------
-- Serial numbers and warranties
------------------------------------------------------------------------------

-- One row per serialised unit. status: RECEIVED (scanned on a receipt),
-- INSTOCK, PICKED, DESPATCHED, DELETED. The receipt_*, sales_order/line_no,
-- delivery_*, wo_no/task_no/activity columns trace the unit's history.
CREATE TABLE IF NOT EXISTS serial_number (
    client          text NOT NULL,
    item_no         text NOT NULL,
    serial_no       text NOT NULL CHECK (btrim(serial_no) <> ''),
    status          text NOT NULL DEFAULT 'INSTOCK'
        CHECK (status IN ('RECEIVED', 'INSTOCK', 'PICKED', 'DESPATCHED', 'DELETED')),
    rec_num         bigint REFERENCES stock ON DELETE SET NULL,
    pallet          text,
    warehouse       text,
    location        text,
    receipt_no      text,
    receipt_line    integer,
    receipt_date    date,
    supplier        text,
    customer        text,
    sales_order     text,
    line_no         integer,
    delivery_order  text,
    delivery_date   date,
    wo_no           text,
    task_no         integer,
    activity        integer,
    warranty_no     text NOT NULL DEFAULT '',
    warranty_start  date,
    warranty_end    date,
    maker           text,
    last_update     timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT serial_number_pkey PRIMARY KEY (client, item_no, serial_no),
    CONSTRAINT serial_number_product_fkey FOREIGN KEY (client, item_no) REFERENCES product
);
CREATE INDEX IF NOT EXISTS serial_number_serial_idx ON serial_number (serial_no);
CREATE INDEX IF NOT EXISTS serial_number_pallet_idx ON serial_number (pallet);

-- What happened to a serial number, in order.
CREATE TABLE IF NOT EXISTS serial_event (
    event_id  bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    client    text NOT NULL,
    item_no   text NOT NULL,
    serial_no text NOT NULL,
    event     text NOT NULL,
    reference text NOT NULL DEFAULT '',
    operator  text NOT NULL,
    event_at  timestamp(0) NOT NULL DEFAULT localtimestamp(0)
);
CREATE INDEX IF NOT EXISTS serial_event_serial_idx ON serial_event (client, item_no, serial_no);

------------------------------------------------------------------------------
-- Counting
------------------------------------------------------------------------------

-- A stocktake or cycle count, named by stocktake_ref.
CREATE TABLE IF NOT EXISTS count_header (
    stocktake_ref text PRIMARY KEY CHECK (btrim(stocktake_ref) <> ''),
    warehouse     text NOT NULL REFERENCES warehouse,
    count_type    text NOT NULL DEFAULT 'CYCLECOUNT' CHECK (count_type IN ('CYCLECOUNT', 'STOCKTAKE')),
    status        text NOT NULL DEFAULT 'OPEN' CHECK (status IN ('OPEN', 'CLOSED')),
    maker         text,
    created_at    timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    closed_at     timestamp(0)
);

-- A location under count: OPEN while lines are counted, COUNTED when done.
CREATE TABLE IF NOT EXISTS count_location (
    stocktake_ref text NOT NULL REFERENCES count_header ON DELETE CASCADE,
    warehouse     text NOT NULL,
    location      text NOT NULL,
    client        text,
    status        text NOT NULL DEFAULT 'OPEN' CHECK (status IN ('OPEN', 'COUNTED')),
    started_by    text,
    started_at    timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    finished_by   text,
    finished_at   timestamp(0),
    CONSTRAINT count_location_pkey PRIMARY KEY (stocktake_ref, warehouse, location),
    CONSTRAINT count_location_location_fkey FOREIGN KEY (warehouse, location) REFERENCES location
);

-- One counted line: what the system held (system_qty) and what was counted.
CREATE TABLE IF NOT EXISTS count_line (
    count_line_id bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    stocktake_ref text NOT NULL,
    warehouse     text NOT NULL,
    location      text NOT NULL,
    pallet        text,
    carton_no     text,
    client        text,
    item_no       text,
    uom           text,
    rec_num       bigint,
    system_qty    numeric CHECK (system_qty >= 0),
    count_qty     numeric CHECK (count_qty >= 0),
    grade         text NOT NULL DEFAULT '',
    lot_no        text NOT NULL DEFAULT '',
    batch_no      text NOT NULL DEFAULT '',
    expiry_date   date,
    prod_date     date,
    item_size     text NOT NULL DEFAULT '',
    item_color    text NOT NULL DEFAULT '',
    item_class    text NOT NULL DEFAULT '',
    owner         text,
    adjusted      boolean NOT NULL DEFAULT false,
    counted_by    text NOT NULL,
    counted_at    timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    CONSTRAINT count_line_location_fkey FOREIGN KEY (stocktake_ref, warehouse, location) REFERENCES count_location ON DELETE CASCADE
);

------------------------------------------------------------------------------
-- Print queue
------------------------------------------------------------------------------

CREATE TABLE IF NOT EXISTS print_queue (
    print_id     bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    report_type  text NOT NULL CHECK (btrim(report_type) <> ''),
    param1       text NOT NULL DEFAULT '',
    param2       text NOT NULL DEFAULT '',
    param3       text NOT NULL DEFAULT '',
    param4       text NOT NULL DEFAULT '',
    param5       text NOT NULL DEFAULT '',
    param6       text NOT NULL DEFAULT '',
    param7       text NOT NULL DEFAULT '',
    param8       text NOT NULL DEFAULT '',
    copies       integer NOT NULL DEFAULT 1 CHECK (copies >= 1),
    status       text NOT NULL DEFAULT 'QUEUED' CHECK (status IN ('QUEUED', 'PRINTED', 'FAILED')),
    requested_at timestamp(0) NOT NULL DEFAULT localtimestamp(0),
    printed_at   timestamp(0)
);

------------------------------------------------------------------------------
-- Views
------------------------------------------------------------------------------

-- A product under the field names the product enquiries answer with.
CREATE OR REPLACE VIEW product_info_v AS
SELECT p.client,
       p.item_no,
       p.description           AS "Description",
       p.pallet_config,
       p.expiry_prealert,
       p.reorder_level,
       p.product_group,
       p.category              AS "Category",
       p.sub_category,
       p.sub_category_1,
       p.sub_category_2,
       p.sub_category_3,
       p.sub_category_4,
       p.sub_category_5,
       p.alternate_code,
       p.substitute,
       p.bonded_flag,
       p.lot_no_flag           AS lot_no,
       p.expiry_date_flag      AS expiry_dt,
       p.item_size_flag        AS item_size,
       p.item_color_flag       AS item_color,
       p.item_class_flag       AS item_class,
       p.production_date_flag  AS production_dt,
       p.weight_required,
       p.auto_zoning,
       p.dual_uom,
       p.batch_no_flag         AS batch_no,
       p.dimensions_flag       AS dimensions,
       p.serial_no_flag        AS serial_no,
       p.num_serial,
       p.supplier_flag         AS supplier,
       p.owner_flag            AS owner,
       p.pick_seq,
       p.billing_group,
       p.billing_uom,
       p.storage_group,
       p.storage_uom,
       p.fob_price,
       p.landed_price,
       p.ex_work_price,
       p.dealer_price,
       p.export_price,
       p.sample_size,
       p.tolerance,
       p.default_grade,
       p.status                AS "Status",
       p.remarks,
       p.maker,
       p.last_update,
       p.image_filename,
       p.nonstandard_pack
FROM product p;

-- Stock lines with the product's description and lowest unit.
CREATE OR REPLACE VIEW stock_line_v AS
SELECT s.*,
       p.description AS item_description,
       p.lowest_uom,
       u.luom_equivalent,
       p.serial_no_flag,
       p.num_serial
FROM stock s
JOIN product p ON p.client = s.client AND p.item_no = s.item_no
JOIN product_uom u ON u.client = s.client AND u.item_no = s.item_no AND u.uom = s.uom;

------------------------------------------------------------------------------
-- Helpers for the routines
------------------------------------------------------------------------------

-- Drop every function and procedure of the given names in this schema, so
-- that a routine file can recreate its routines whatever their former
-- signatures (routine names are never overloaded).
CREATE OR REPLACE FUNCTION drop_routines(VARIADIC names text[])
RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
    r record;
BEGIN
    FOR r IN
        SELECT p.oid::regprocedure AS signature, p.prokind
        FROM pg_proc p
        WHERE p.pronamespace = 'public'::regnamespace AND p.proname = ANY (names)
    LOOP
        IF r.prokind = 'p' THEN
            EXECUTE format('DROP PROCEDURE %s', r.signature);
        ELSE
            EXECUTE format('DROP FUNCTION %s', r.signature);
        END IF;
    END LOOP;
END
$$;

-- Store a new password for an operator (as a bcrypt hash).
CREATE OR REPLACE FUNCTION set_operator_password(p_operator text, p_password text)
RETURNS boolean
LANGUAGE sql AS $$
    UPDATE operator
    SET password_hash = crypt(p_password, gen_salt('bf', 8))
    WHERE operator = upper(btrim(p_operator)) AND coalesce(p_password, '') <> ''
    RETURNING true;
$$;

-- True when the password matches the operator's stored hash; false for an
-- unknown operator or an empty password.
CREATE OR REPLACE FUNCTION check_operator_password(p_operator text, p_password text)
RETURNS boolean
LANGUAGE sql STABLE AS $$
    SELECT coalesce(
        (SELECT o.password_hash = crypt(p_password, o.password_hash)
         FROM operator o
         WHERE o.operator = upper(btrim(p_operator)) AND coalesce(p_password, '') <> ''),
        false);
$$;

-- Check character of a pallet label: the mod-10 check digit over the
-- label's digits, weighted 3 and 1 from the right.
CREATE OR REPLACE FUNCTION pallet_check_char(p_base text)
RETURNS text
LANGUAGE plpgsql IMMUTABLE STRICT AS $$
DECLARE
    digits text := regexp_replace(p_base, '[^0-9]', '', 'g');
    total  integer := 0;
    i      integer;
BEGIN
    FOR i IN 1 .. length(digits) LOOP
        total := total + substr(digits, length(digits) - i + 1, 1)::integer
                         * CASE WHEN i % 2 = 1 THEN 3 ELSE 1 END;
    END LOOP;
    RETURN ((10 - total % 10) % 10)::text;
END
$$;

-- Draw a new pallet label and register it.
CREATE OR REPLACE FUNCTION issue_pallet(p_client text, p_customer text, p_operator text)
RETURNS text
LANGUAGE plpgsql AS $$
DECLARE
    base  text := 'P' || lpad(nextval('pallet_no_seq')::text, 6, '0');
    label text := base || pallet_check_char(base);
BEGIN
    INSERT INTO pallet (pallet, client, customer, maker)
    VALUES (label, nullif(btrim(p_client), ''), nullif(btrim(p_customer), ''), upper(btrim(p_operator)));
    RETURN label;
END
$$;

-- Register a pallet label typed or scanned by an operator, when new.
CREATE OR REPLACE FUNCTION ensure_pallet(p_pallet text, p_client text, p_operator text)
RETURNS text
LANGUAGE sql AS $$
    INSERT INTO pallet (pallet, client, maker)
    VALUES (btrim(p_pallet), nullif(btrim(p_client), ''), upper(btrim(p_operator)))
    ON CONFLICT ON CONSTRAINT pallet_pkey DO NOTHING;
    SELECT btrim(p_pallet);
$$;

-- Next number of a client's document series ('RECEIPT', 'WARRANT'): the
-- prefix and the zero-padded counter. Numbers have no gaps: the counter row
-- stays locked until the calling transaction ends.
CREATE OR REPLACE FUNCTION next_document_no(p_client text, p_doc_type text)
RETURNS text
LANGUAGE plpgsql AS $$
DECLARE
    result text;
BEGIN
    INSERT INTO document_counter (client, doc_type, prefix)
    VALUES (p_client, p_doc_type, CASE p_doc_type WHEN 'WARRANT' THEN 'W' ELSE 'R' END)
    ON CONFLICT ON CONSTRAINT document_counter_pkey DO NOTHING;

    UPDATE document_counter d
    SET next_no = d.next_no + 1
    WHERE d.client = p_client AND d.doc_type = p_doc_type
    RETURNING d.prefix || lpad((d.next_no - 1)::text, d.width, '0') INTO result;
    RETURN result;
END
$$;

-- Next works order number.
CREATE OR REPLACE FUNCTION next_works_order_no()
RETURNS text
LANGUAGE sql AS $$
    SELECT 'WO' || lpad(nextval('works_order_seq')::text, 6, '0');
$$;
