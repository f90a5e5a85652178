-- The transactions that changed the tables the ABC curve's totals read (PostgreSQL only),
-- one row per writing transaction. The application server keeps a curve's totals per
-- company for the next GetTotal while no transaction its snapshot did not see has
-- committed such a change since; changes to other tables leave them standing.
CREATE TABLE IF NOT EXISTS REC_ALTERACAO (
    XID BIGINT NOT NULL PRIMARY KEY
);

CREATE OR REPLACE FUNCTION rec_marca_alteracao() RETURNS trigger AS $$
BEGIN
    INSERT INTO REC_ALTERACAO (XID) VALUES (CAST(CAST(pg_current_xact_id() AS text) AS bigint)) ON CONFLICT DO NOTHING;
    RETURN NULL;
END
$$ LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT;
REVOKE ALL ON FUNCTION rec_marca_alteracao() FROM PUBLIC;

DO $$
DECLARE
    t text;
BEGIN
    FOREACH t IN ARRAY ARRAY['contareceber', 'baixarec', 'cliente', 'empresa', 'tipoctreceber', 'operempresa'] LOOP
        EXECUTE format('CREATE OR REPLACE TRIGGER rec_alteracao AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON %I '
                       'FOR EACH STATEMENT EXECUTE FUNCTION rec_marca_alteracao()', t);
    END LOOP;
END
$$;
