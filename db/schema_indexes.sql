-- Created after the bulk load.
CREATE INDEX IX_CONTARECEBER_VENC ON CONTARECEBER (CDEMPRESA, DTATUAVENREC);
CREATE INDEX IX_CONTARECEBER_EMISSAO ON CONTARECEBER (CDEMPRESA, DTEMISSAO);
CREATE INDEX IX_CONTARECEBER_CLIENTE ON CONTARECEBER (CDCLIENTE);
-- A receivable's settlements in date order with the columns the reports show, so that its
-- latest one is found in the index alone.
CREATE INDEX IX_BAIXAREC_LANCTO ON BAIXAREC (NRLANCTOREC, DTBAIXAREC, NRBAIXAREC, VRBAIXAREC, CDTPBAIXAREC, CDREDUCONT);
CREATE INDEX IX_CLIENTE_REGIAO ON CLIENTE (CDREGIAOPED);
-- The planner's statistics of the loaded rows: without them it cannot tell a client's
-- index (a few rows per code) from a company's (thousands per code).
ANALYZE;
