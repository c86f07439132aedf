-- The share record table on a PostgreSQL server, with the file's rules:
-- fields 1 to 14 refuse zero-length text (a blank report line ends the
-- conversion there) but accept NULL; the identity key orders records by
-- insertion, the largest being the last added.
CREATE TABLE IF NOT EXISTS ovrekson (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    yada text CONSTRAINT "yada" CHECK (yada <> ''),
    yparsel text CONSTRAINT "yparsel" CHECK (yparsel <> ''),
    yhispay text CONSTRAINT "yhispay" CHECK (yhispay <> ''),
    yhispayda text CONSTRAINT "yhispayda" CHECK (yhispayda <> ''),
    "hisyuzolçumu" text CONSTRAINT "hisyuzolçumu" CHECK ("hisyuzolçumu" <> ''),
    yalan text CONSTRAINT "yalan" CHECK (yalan <> ''),
    adi text CONSTRAINT "adi" CHECK (adi <> ''),
    soyadi text CONSTRAINT "soyadi" CHECK (soyadi <> ''),
    babaadi text CONSTRAINT "babaadi" CHECK (babaadi <> ''),
    epafta text CONSTRAINT "epafta" CHECK (epafta <> ''),
    eada text CONSTRAINT "eada" CHECK (eada <> ''),
    eparsel text CONSTRAINT "eparsel" CHECK (eparsel <> ''),
    ehispay text CONSTRAINT "ehispay" CHECK (ehispay <> ''),
    ehispayda text CONSTRAINT "ehispayda" CHECK (ehispayda <> ''),
    ealan double precision,
    tapu double precision,
    dop double precision,
    tahsis double precision,
    mahalle text
)
