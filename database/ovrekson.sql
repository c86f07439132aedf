-- The share record table. Fields 1 to 14 refuse zero-length text (a blank
-- report line ends the conversion there) but accept NULL (no value).
-- The integer key orders records by insertion: the largest is the last added.
-- Each field takes only its own type (text fields text, area fields numbers)
-- by a CHECK rather than STRICT, which SQLite before 3.37 and DB Browser for
-- SQLite 3.12 cannot read; files created STRICT earlier keep working. The
-- checks use SQLite's order of types, NULL < numbers < text < blobs, and pass
-- on NULL: a TEXT field (which turns numbers into text) holds no blob when it
-- is below the empty blob, a REAL field holds a number when it is below the
-- empty text. typeof() costs more than the rest of an insert: its answer is
-- made UTF-8 text and converted to the file's UTF-16 for every field of every row.
CREATE TABLE IF NOT EXISTS ovrekson (
    id INTEGER PRIMARY KEY,
    yada TEXT CONSTRAINT "yada" CHECK (yada <> '')
        CONSTRAINT "type of yada" CHECK (yada < x''),
    yparsel TEXT CONSTRAINT "yparsel" CHECK (yparsel <> '')
        CONSTRAINT "type of yparsel" CHECK (yparsel < x''),
    yhispay TEXT CONSTRAINT "yhispay" CHECK (yhispay <> '')
        CONSTRAINT "type of yhispay" CHECK (yhispay < x''),
    yhispayda TEXT CONSTRAINT "yhispayda" CHECK (yhispayda <> '')
        CONSTRAINT "type of yhispayda" CHECK (yhispayda < x''),
    "hisyuzolçumu" TEXT CONSTRAINT "hisyuzolçumu" CHECK ("hisyuzolçumu" <> '')
        CONSTRAINT "type of hisyuzolçumu" CHECK ("hisyuzolçumu" < x''),
    yalan TEXT CONSTRAINT "yalan" CHECK (yalan <> '')
        CONSTRAINT "type of yalan" CHECK (yalan < x''),
    adi TEXT CONSTRAINT "adi" CHECK (adi <> '')
        CONSTRAINT "type of adi" CHECK (adi < x''),
    soyadi TEXT CONSTRAINT "soyadi" CHECK (soyadi <> '')
        CONSTRAINT "type of soyadi" CHECK (soyadi < x''),
    babaadi TEXT CONSTRAINT "babaadi" CHECK (babaadi <> '')
        CONSTRAINT "type of babaadi" CHECK (babaadi < x''),
    epafta TEXT CONSTRAINT "epafta" CHECK (epafta <> '')
        CONSTRAINT "type of epafta" CHECK (epafta < x''),
    eada TEXT CONSTRAINT "eada" CHECK (eada <> '')
        CONSTRAINT "type of eada" CHECK (eada < x''),
    eparsel TEXT CONSTRAINT "eparsel" CHECK (eparsel <> '')
        CONSTRAINT "type of eparsel" CHECK (eparsel < x''),
    ehispay TEXT CONSTRAINT "ehispay" CHECK (ehispay <> '')
        CONSTRAINT "type of ehispay" CHECK (ehispay < x''),
    ehispayda TEXT CONSTRAINT "ehispayda" CHECK (ehispayda <> '')
        CONSTRAINT "type of ehispayda" CHECK (ehispayda < x''),
    ealan REAL CONSTRAINT "type of ealan" CHECK (ealan < ''),
    tapu REAL CONSTRAINT "type of tapu" CHECK (tapu < ''),
    dop REAL CONSTRAINT "type of dop" CHECK (dop < ''),
    tahsis REAL CONSTRAINT "type of tahsis" CHECK (tahsis < ''),
    mahalle TEXT CONSTRAINT "type of mahalle" CHECK (mahalle < x'')
);
