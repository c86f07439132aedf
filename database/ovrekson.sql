-- The share record table. Fields 1 to 14 refuse zero-length text (a blank
-- report line ends the conversion there) but accept NULL (no value).
-- The integer key orders records by insertion: the largest is the last added.
-- Each field takes only its own type (text fields text, area fields numbers)
-- by a CHECK rather than STRICT, which SQLite before 3.37 and DB Browser for
-- SQLite 3.12 cannot read; files created STRICT earlier keep working. The
-- checks compare one by one: an IN list costs SQLite a temporary table per row.
CREATE TABLE IF NOT EXISTS ovrekson (
    id INTEGER PRIMARY KEY,
    yada TEXT CONSTRAINT "yada" CHECK (yada <> '')
        CONSTRAINT "type of yada" CHECK (typeof(yada) = 'text' OR yada IS NULL),
    yparsel TEXT CONSTRAINT "yparsel" CHECK (yparsel <> '')
        CONSTRAINT "type of yparsel" CHECK (typeof(yparsel) = 'text' OR yparsel IS NULL),
    yhispay TEXT CONSTRAINT "yhispay" CHECK (yhispay <> '')
        CONSTRAINT "type of yhispay" CHECK (typeof(yhispay) = 'text' OR yhispay IS NULL),
    yhispayda TEXT CONSTRAINT "yhispayda" CHECK (yhispayda <> '')
        CONSTRAINT "type of yhispayda" CHECK (typeof(yhispayda) = 'text' OR yhispayda IS NULL),
    "hisyuzolçumu" TEXT CONSTRAINT "hisyuzolçumu" CHECK ("hisyuzolçumu" <> '')
        CONSTRAINT "type of hisyuzolçumu" CHECK (typeof("hisyuzolçumu") = 'text' OR "hisyuzolçumu" IS NULL),
    yalan TEXT CONSTRAINT "yalan" CHECK (yalan <> '')
        CONSTRAINT "type of yalan" CHECK (typeof(yalan) = 'text' OR yalan IS NULL),
    adi TEXT CONSTRAINT "adi" CHECK (adi <> '')
        CONSTRAINT "type of adi" CHECK (typeof(adi) = 'text' OR adi IS NULL),
    soyadi TEXT CONSTRAINT "soyadi" CHECK (soyadi <> '')
        CONSTRAINT "type of soyadi" CHECK (typeof(soyadi) = 'text' OR soyadi IS NULL),
    babaadi TEXT CONSTRAINT "babaadi" CHECK (babaadi <> '')
        CONSTRAINT "type of babaadi" CHECK (typeof(babaadi) = 'text' OR babaadi IS NULL),
    epafta TEXT CONSTRAINT "epafta" CHECK (epafta <> '')
        CONSTRAINT "type of epafta" CHECK (typeof(epafta) = 'text' OR epafta IS NULL),
    eada TEXT CONSTRAINT "eada" CHECK (eada <> '')
        CONSTRAINT "type of eada" CHECK (typeof(eada) = 'text' OR eada IS NULL),
    eparsel TEXT CONSTRAINT "eparsel" CHECK (eparsel <> '')
        CONSTRAINT "type of eparsel" CHECK (typeof(eparsel) = 'text' OR eparsel IS NULL),
    ehispay TEXT CONSTRAINT "ehispay" CHECK (ehispay <> '')
        CONSTRAINT "type of ehispay" CHECK (typeof(ehispay) = 'text' OR ehispay IS NULL),
    ehispayda TEXT CONSTRAINT "ehispayda" CHECK (ehispayda <> '')
        CONSTRAINT "type of ehispayda" CHECK (typeof(ehispayda) = 'text' OR ehispayda IS NULL),
    ealan REAL CONSTRAINT "type of ealan" CHECK (typeof(ealan) = 'real' OR typeof(ealan) = 'integer' OR ealan IS NULL),
    tapu REAL CONSTRAINT "type of tapu" CHECK (typeof(tapu) = 'real' OR typeof(tapu) = 'integer' OR tapu IS NULL),
    dop REAL CONSTRAINT "type of dop" CHECK (typeof(dop) = 'real' OR typeof(dop) = 'integer' OR dop IS NULL),
    tahsis REAL CONSTRAINT "type of tahsis" CHECK (typeof(tahsis) = 'real' OR typeof(tahsis) = 'integer' OR tahsis IS NULL),
    mahalle TEXT CONSTRAINT "type of mahalle" CHECK (typeof(mahalle) = 'text' OR mahalle IS NULL)
);
