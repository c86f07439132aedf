-- Zefto on an office server: its two tables and two group roles. Run it once,
-- connected to the office's database as its owner or as the superuser
-- (docs/server.md); running it again changes nothing, and on a database made
-- by an earlier Zefto it adds the log's column role_name.
--
--   zefto_clerk       converts, reads, filters and exports
--   zefto_supervisor  also undoes a conversion
--
-- A clerk's login role is then made a member of one of them:
--   GRANT zefto_clerk TO anna;
\set ON_ERROR_STOP on
SET client_min_messages = warning; -- "already exists, skipping" is no news on a second run
BEGIN;

-- The records, as Zefto itself makes them (ovrekson.sql, installed beside this file).
\ir ovrekson.sql
;

-- The conversion log. role_name is filled in by the server: the role it
-- authenticated, which no client can choose.
CREATE TABLE IF NOT EXISTS zefto_conversions (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    started_at text NOT NULL, ended_at text NOT NULL, user_name text NOT NULL, host text NOT NULL,
    report_path text NOT NULL, report_size bigint NOT NULL, report_sha256 text NOT NULL, mahalle text NOT NULL,
    lines_in_report bigint NOT NULL, lines_read bigint NOT NULL, outcome text NOT NULL, error_number bigint,
    records bigint NOT NULL, first_key bigint, last_key bigint, undone_at text, undone_by text,
    role_name text DEFAULT session_user
);
ALTER TABLE zefto_conversions ADD COLUMN IF NOT EXISTS role_name text DEFAULT session_user;
-- The check of each run's shares, filled in with the run's entry.
ALTER TABLE zefto_conversions
    ADD COLUMN IF NOT EXISTS rule1_checked bigint, ADD COLUMN IF NOT EXISTS rule1_broken bigint, ADD COLUMN IF NOT EXISTS rule1_unreadable bigint,
    ADD COLUMN IF NOT EXISTS rule2_checked bigint, ADD COLUMN IF NOT EXISTS rule2_broken bigint, ADD COLUMN IF NOT EXISTS rule2_unreadable bigint,
    ADD COLUMN IF NOT EXISTS rule3_checked bigint, ADD COLUMN IF NOT EXISTS rule3_broken bigint, ADD COLUMN IF NOT EXISTS rule3_unreadable bigint,
    ADD COLUMN IF NOT EXISTS rule4_checked bigint, ADD COLUMN IF NOT EXISTS rule4_broken bigint, ADD COLUMN IF NOT EXISTS rule4_unreadable bigint;

DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'zefto_clerk') THEN
        CREATE ROLE zefto_clerk NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'zefto_supervisor') THEN
        CREATE ROLE zefto_supervisor NOLOGIN;
    END IF;
END
$$;

-- A clerk reads and adds, nothing more: a run is serialised with an advisory
-- lock, which needs no privilege. The log's own columns (id, role_name and the
-- undo marks) are the server's and the supervisor's to fill.
GRANT SELECT, INSERT ON ovrekson TO zefto_clerk;
GRANT SELECT ON zefto_conversions TO zefto_clerk;
GRANT INSERT (started_at, ended_at, user_name, host, report_path, report_size, report_sha256, mahalle,
              lines_in_report, lines_read, outcome, error_number, records, first_key, last_key,
              rule1_checked, rule1_broken, rule1_unreadable, rule2_checked, rule2_broken, rule2_unreadable,
              rule3_checked, rule3_broken, rule3_unreadable, rule4_checked, rule4_broken, rule4_unreadable)
    ON zefto_conversions TO zefto_clerk;
GRANT UPDATE (rule1_checked, rule1_broken, rule1_unreadable, rule2_checked, rule2_broken, rule2_unreadable,
              rule3_checked, rule3_broken, rule3_unreadable, rule4_checked, rule4_broken, rule4_unreadable)
    ON zefto_conversions TO zefto_clerk;
GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO zefto_clerk;

-- A supervisor is a clerk who may also undo: remove a run's records and mark it undone.
GRANT zefto_clerk TO zefto_supervisor;
GRANT DELETE ON ovrekson TO zefto_supervisor;
GRANT UPDATE (undone_at, undone_by) ON zefto_conversions TO zefto_supervisor;

COMMIT;
