-- The share record table as earlier versions created it (STRICT). Such files
-- keep working; a record in them reads back as it was bound, as in ours.
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
