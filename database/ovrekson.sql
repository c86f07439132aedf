-- The share record table. Fields 1 to 14 refuse zero-length text (a blank
-- report line ends the conversion there) but accept NULL (no value).
-- The integer key orders records by insertion: the largest is the last added.
CREATE TABLE IF NOT EXISTS ovrekson (
    id INTEGER PRIMARY KEY,
    yada TEXT CONSTRAINT "yada" CHECK (yada <> ''),
    yparsel TEXT CONSTRAINT "yparsel" CHECK (yparsel <> ''),
    yhispay TEXT CONSTRAINT "yhispay" CHECK (yhispay <> ''),
    yhispayda TEXT CONSTRAINT "yhispayda" CHECK (yhispayda <> ''),
    "hisyuzolçumu" TEXT CONSTRAINT "hisyuzolçumu" CHECK ("hisyuzolçumu" <> ''),
    yalan TEXT CONSTRAINT "yalan" CHECK (yalan <> ''),
    adi TEXT CONSTRAINT "adi" CHECK (adi <> ''),
    soyadi TEXT CONSTRAINT "soyadi" CHECK (soyadi <> ''),
    babaadi TEXT CONSTRAINT "babaadi" CHECK (babaadi <> ''),
    epafta TEXT CONSTRAINT "epafta" CHECK (epafta <> ''),
    eada TEXT CONSTRAINT "eada" CHECK (eada <> ''),
    eparsel TEXT CONSTRAINT "eparsel" CHECK (eparsel <> ''),
    ehispay TEXT CONSTRAINT "ehispay" CHECK (ehispay <> ''),
    ehispayda TEXT CONSTRAINT "ehispayda" CHECK (ehispayda <> ''),
    ealan REAL,
    tapu REAL,
    dop REAL,
    tahsis REAL,
    mahalle TEXT
) STRICT;
