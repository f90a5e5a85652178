-- The list test of the lookup statements: position of the second text in the first, 0 when absent.
-- These functions only compute from their arguments, so parallel workers may run them and a
-- statement that calls them may still be planned in parallel.
CREATE OR REPLACE FUNCTION INSTR(text, text) RETURNS integer
    AS 'SELECT strpos($1, $2)' LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE;
-- Dates in report statements: DATE(x) is the date of an ISO text or a date, NULL for a blank,
-- malformed or impossible text ("2026-02-30"; a blank parameter means "not given"), so that
-- no such text fails a statement.
CREATE OR REPLACE FUNCTION DATE(text) RETURNS date
    AS $$SELECT CASE WHEN $1 ~ '^\d{4}-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01])$' AND substr($1, 1, 4) <> '0000' THEN
              CASE WHEN CAST(substr($1, 9, 2) AS integer)
                        <= EXTRACT(DAY FROM CAST(substr($1, 1, 7) || '-01' AS date) + INTERVAL '1 month - 1 day')
                   THEN CAST($1 AS date) END END$$ LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE;
CREATE OR REPLACE FUNCTION DATE(date) RETURNS date AS 'SELECT $1' LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE;
-- Day numbers for date differences, as SQLite's julianday() gives them.
CREATE OR REPLACE FUNCTION JULIANDAY(date) RETURNS double precision
    AS $$SELECT CAST(to_char($1, 'J') AS double precision) - 0.5$$ LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE;
CREATE OR REPLACE FUNCTION JULIANDAY(text) RETURNS double precision
    AS $$SELECT JULIANDAY(DATE($1))$$ LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE;
