-- The demo ACT! database of the stand-in: "act-standin create-demo PATH" writes it, and
-- "act-standin start" opens it (as Demo.dbf in the stand-in's home folder) when no database is
-- named.
--
-- Fields sit in slots from 0 on; a slot holding ID -1, or missing from the table, is empty.
-- Entry rule 3 marks a protected field. Unique IDs have one width and braces, so no ID occurs
-- inside another, nor across two IDs written one after the other.

CREATE TABLE fields (
    slot INTEGER PRIMARY KEY CHECK (slot >= 0),
    id INTEGER NOT NULL,
    label TEXT NOT NULL DEFAULT '',
    entry_rule INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE users (
    position INTEGER PRIMARY KEY CHECK (position >= 1),
    name TEXT NOT NULL,
    security INTEGER NOT NULL,
    access TEXT NOT NULL DEFAULT '',
    unique_id TEXT NOT NULL
);

INSERT INTO fields (slot, id, label, entry_rule) VALUES
    (0, 112, 'Company', 0),
    (1, 101, 'Contact', 0),
    (2, 117, 'Phone', 0),
    (3, -1, '', 0),
    (4, 130, 'Title', 0),
    (5, 141, 'Address 1', 0),
    (6, 143, 'City', 0),
    -- slot 7 is empty: it is missing from the table
    (8, 210, 'Account Number', 3),
    (9, 144, 'State', 0),
    (10, 145, 'Zip', 0),
    (11, 215, 'Credit Limit', 3),
    (12, -1, '', 0),
    (13, -1, '', 0),
    (14, 220, 'Region', 3),
    (15, 150, 'E-mail', 0),
    (16, 231, 'Customer Since', 3),
    (17, 237, '', 3),
    (18, 118, 'Fax', 0),
    -- slot 19 is empty: it is missing from the table
    (20, 8, 'Region', 3),
    (21, 240, 'Sales Rep', 3),
    (22, 152, 'Web Site', 0),
    (23, 160, 'ID/Status', 0),
    (24, 245, 'Contract Type', 3),
    (25, -1, '', 0),
    (26, 161, 'Referred By', 0),
    (27, 250, 'Tax ID', 3),
    (28, 162, 'Last Results', 0),
    (29, 253, 'Discount %', 3),
    (30, 146, 'Country', 0),
    (31, -1, '', 0),
    (32, 21, 'Territory', 3),
    (33, 119, 'Mobile Phone', 0),
    (34, 102, 'Salutation', 0),
    (35, 260, 'Account Manager', 3),
    (36, 170, 'Catégorie', 0),
    (37, 171, 'User 2', 0),
    (38, -1, '', 0),
    (39, 180, 'Birth Date', 0);

INSERT INTO users (position, name, security, access, unique_id) VALUES
    (1, 'Ann Archer', 3, '2', '{USR-0001-5E2A}'),
    (2, 'Bruno Castillo', 5, '1', '{USR-0002-C7D1}'),
    (3, 'Chen Wei', 4, '1', '{USR-0003-19B4}'),
    (4, 'Dana O''Neil', 3, '2', '{USR-0004-E08F}'),
    (5, 'Emil Novak', 2, '3', '{USR-0005-7A63}'),
    (6, 'Farah Haddad', 1, '3', '{USR-0006-D25C}'),
    (7, 'Greta Lind', 3, '2', '{USR-0007-4B9E}'),
    (8, 'Hugo Martin', 3, '2', '{USR-0008-A1F0}'),
    (9, 'Ines Duarte', 4, '1', '{USR-0009-3C77}');
