-- Access of the operators' own database roles (PostgreSQL only), applied after the tables.
--
-- Every operator logs in to the database as a role of its own, named by its code in lower
-- case (MARIA as maria), member of rec_operador. The host connects as that role with the
-- password the operator typed; the application server connects as the tables' owner, which
-- the policies do not restrict, and keeps its own limits.
--
-- rec_operador may only read: the lookup tables, the receivables and settlements, and of the
-- operators' table the codes and names (never the password hashes). Row-level security keeps
-- each operator to its companies in OPEREMPRESA:
--   CONTARECEBER, EMPRESA, FILIAL, CONTCORR  rows of the operator's companies
--   BAIXAREC                                 settlements of receivables the operator sees
--   OPEREMPRESA, OPCAOEMISSAO, CRITERIOSALVO the operator's own rows
-- so every statement, a layout saved by a user without a company condition included, reads
-- only what the operator may see.
GRANT SELECT ON EMPRESA, FILIAL, OPEREMPRESA, REGIAOPED, GRUPCLIE, SEGMERCADO, ATIVCLIENTE, VENDEDOR, CLIENTE,
    TIPOCTRECEBER, CLASSFINANC, TIPOBAIXAREC, BANCO, CONTCORR, PARAMGERALREC, PARAMGERALORCA, PICTURE,
    OPCAOEMISSAO, CRITERIOSALVO, CONTARECEBER, BAIXAREC TO rec_operador;
GRANT SELECT (CDOPERADOR, NMOPERADOR) ON OPERADOR TO rec_operador;

ALTER TABLE CONTARECEBER ENABLE ROW LEVEL SECURITY;
ALTER TABLE BAIXAREC ENABLE ROW LEVEL SECURITY;
ALTER TABLE EMPRESA ENABLE ROW LEVEL SECURITY;
ALTER TABLE FILIAL ENABLE ROW LEVEL SECURITY;
ALTER TABLE CONTCORR ENABLE ROW LEVEL SECURITY;
ALTER TABLE OPEREMPRESA ENABLE ROW LEVEL SECURITY;
ALTER TABLE OPCAOEMISSAO ENABLE ROW LEVEL SECURITY;
ALTER TABLE CRITERIOSALVO ENABLE ROW LEVEL SECURITY;

CREATE POLICY operador_empresas ON OPEREMPRESA FOR SELECT TO rec_operador USING (CDOPERADOR = upper(current_user));
CREATE POLICY operador_empresas ON CONTARECEBER FOR SELECT TO rec_operador
    USING (CDEMPRESA IN (SELECT OE.CDEMPRESA FROM OPEREMPRESA OE WHERE OE.CDOPERADOR = upper(current_user)));
CREATE POLICY operador_empresas ON BAIXAREC FOR SELECT TO rec_operador
    USING (EXISTS (SELECT 1 FROM CONTARECEBER R WHERE R.NRLANCTOREC = BAIXAREC.NRLANCTOREC));
CREATE POLICY operador_empresas ON EMPRESA FOR SELECT TO rec_operador
    USING (CDEMPRESA IN (SELECT OE.CDEMPRESA FROM OPEREMPRESA OE WHERE OE.CDOPERADOR = upper(current_user)));
CREATE POLICY operador_empresas ON FILIAL FOR SELECT TO rec_operador
    USING (CDEMPRESA IN (SELECT OE.CDEMPRESA FROM OPEREMPRESA OE WHERE OE.CDOPERADOR = upper(current_user)));
CREATE POLICY operador_empresas ON CONTCORR FOR SELECT TO rec_operador
    USING (CDEMPRESA IS NULL OR CDEMPRESA IN (SELECT OE.CDEMPRESA FROM OPEREMPRESA OE WHERE OE.CDOPERADOR = upper(current_user)));
CREATE POLICY operador_proprio ON OPCAOEMISSAO FOR SELECT TO rec_operador USING (CDOPERADOR = upper(current_user));
CREATE POLICY operador_proprio ON CRITERIOSALVO FOR SELECT TO rec_operador USING (CDOPERADOR = upper(current_user));

-- The role of an operator with its password: made (a member of rec_operador, able to log in)
-- when missing. Run by an administrator who may create roles; the values come as arguments.
CREATE OR REPLACE FUNCTION rec_senha_operador(operador text, senha text) RETURNS void AS $$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = lower(operador)) THEN
        BEGIN
            EXECUTE format('CREATE ROLE %I LOGIN IN ROLE rec_operador', lower(operador));
        EXCEPTION WHEN duplicate_object THEN
            NULL; -- made meanwhile by another session
        END;
    END IF;
    EXECUTE format('ALTER ROLE %I LOGIN PASSWORD %L', lower(operador), senha);
END
$$ LANGUAGE plpgsql;
REVOKE ALL ON FUNCTION rec_senha_operador(text, text) FROM PUBLIC;
