-- The share record table. Fields 1 to 14 refuse zero-length text (a blank
-- report line ends the conversion there) but accept NULL (no value).
-- The integer key orders records by insertion: the largest is the last added.
-- Each field takes only its own type (text fields text, area fields numbers)
-- by a CHECK rather than STRICT, which SQLite before 3.37 and DB Browser for
-- SQLite 3.12 cannot read; files created STRICT earlier keep working.
CREATE TABLE IF NOT EXISTS ovrekson (
    id INTEGER PRIMARY KEY,
    yada TEXT CONSTRAINT "yada" CHECK (yada <> '')
        CONSTRAINT "type of yada" CHECK (typeof(yada) IN ('text', 'null')),
    yparsel TEXT CONSTRAINT "yparsel" CHECK (yparsel <> '')
        CONSTRAINT "type of yparsel" CHECK (typeof(yparsel) IN ('text', 'null')),
    yhispay TEXT CONSTRAINT "yhispay" CHECK (yhispay <> '')
        CONSTRAINT "type of yhispay" CHECK (typeof(yhispay) IN ('text', 'null')),
    yhispayda TEXT CONSTRAINT "yhispayda" CHECK (yhispayda <> '')
        CONSTRAINT "type of yhispayda" CHECK (typeof(yhispayda) IN ('text', 'null')),
    "hisyuzolçumu" TEXT CONSTRAINT "hisyuzolçumu" CHECK ("hisyuzolçumu" <> '')
        CONSTRAINT "type of hisyuzolçumu" CHECK (typeof("hisyuzolçumu") IN ('text', 'null')),
    yalan TEXT CONSTRAINT "yalan" CHECK (yalan <> '')
        CONSTRAINT "type of yalan" CHECK (typeof(yalan) IN ('text', 'null')),
    adi TEXT CONSTRAINT "adi" CHECK (adi <> '')
        CONSTRAINT "type of adi" CHECK (typeof(adi) IN ('text', 'null')),
    soyadi TEXT CONSTRAINT "soyadi" CHECK (soyadi <> '')
        CONSTRAINT "type of soyadi" CHECK (typeof(soyadi) IN ('text', 'null')),
    babaadi TEXT CONSTRAINT "babaadi" CHECK (babaadi <> '')
        CONSTRAINT "type of babaadi" CHECK (typeof(babaadi) IN ('text', 'null')),
    epafta TEXT CONSTRAINT "epafta" CHECK (epafta <> '')
        CONSTRAINT "type of epafta" CHECK (typeof(epafta) IN ('text', 'null')),
    eada TEXT CONSTRAINT "eada" CHECK (eada <> '')
        CONSTRAINT "type of eada" CHECK (typeof(eada) IN ('text', 'null')),
    eparsel TEXT CONSTRAINT "eparsel" CHECK (eparsel <> '')
        CONSTRAINT "type of eparsel" CHECK (typeof(eparsel) IN ('text', 'null')),
    ehispay TEXT CONSTRAINT "ehispay" CHECK (ehispay <> '')
        CONSTRAINT "type of ehispay" CHECK (typeof(ehispay) IN ('text', 'null')),
    ehispayda TEXT CONSTRAINT "ehispayda" CHECK (ehispayda <> '')
        CONSTRAINT "type of ehispayda" CHECK (typeof(ehispayda) IN ('text', 'null')),
    ealan REAL CONSTRAINT "type of ealan" CHECK (typeof(ealan) IN ('real', 'integer', 'null')),
    tapu REAL CONSTRAINT "type of tapu" CHECK (typeof(tapu) IN ('real', 'integer', 'null')),
    dop REAL CONSTRAINT "type of dop" CHECK (typeof(dop) IN ('real', 'integer', 'null')),
    tahsis REAL CONSTRAINT "type of tahsis" CHECK (typeof(tahsis) IN ('real', 'integer', 'null')),
    mahalle TEXT CONSTRAINT "type of mahalle" CHECK (typeof(mahalle) IN ('text', 'null'))
);
