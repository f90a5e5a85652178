-- The list test of the lookup statements: position of the second text in the first, 0 when absent.
CREATE OR REPLACE FUNCTION INSTR(text, text) RETURNS integer
    AS 'SELECT strpos($1, $2)' LANGUAGE sql IMMUTABLE STRICT;
