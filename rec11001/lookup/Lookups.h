#pragma once
#include "data/ClientDataSet.h"
#include "data/Query.h"
#include <QVector>
#include <initializer_list>
#include <optional>

// The lookup queries, client data sets and data sources of the form.
struct TLookupData {
    TADOIBQuery *qryEmpresa = nullptr;
    TADOIBQuery *qryTipoConta1 = nullptr;
    TADOIBQuery *qryClassFinanc1 = nullptr;
    TADOIBQuery *qryFilial = nullptr;
    TADOIBQuery *qryFormaRec = nullptr;
    TADOIBQuery *qryContCorr = nullptr;
    TADOIBQuery *qrySegMerc = nullptr;
    TADOIBQuery *qryGrupClie = nullptr;
    TADOIBQuery *qryRegiao = nullptr;
    TADOIBQuery *qryVendedor = nullptr;
    TADOIBQuery *qryCliente1 = nullptr;
    TADOIBQuery *qryClienteAux = nullptr;
    TADOIBQuery *qryClienteRegiao = nullptr;

    TClientDataSet *cdsDtVenc = nullptr;
    TClientDataSet *cdsParamGeralOrca = nullptr;
    TClientDataSet *cdsOpEmissao = nullptr;
    TClientDataSet *cdsHoraServidor = nullptr;
    TClientDataSet *cdsFiliLanca = nullptr;
    TClientDataSet *cdsPercentual = nullptr;
    TClientDataSet *cdsStatus = nullptr;
    TClientDataSet *qryTotal = nullptr;
    TClientDataSet *qryAtivClie = nullptr;
    TClientDataSet *qryCliente = nullptr;
    TClientDataSet *qryTipoConta = nullptr;
    TClientDataSet *qryClassFinanc = nullptr;
    TClientDataSet *qryCurvaABC = nullptr;

    TDataSource *dtsCliente__ = nullptr;
    TDataSource *dtsFilial__ = nullptr;
    TDataSource *dtsEmpresa__ = nullptr;
    TDataSource *dtsTipoConta__ = nullptr;
    TDataSource *dtsFiliLanca__ = nullptr;
    TDataSource *dtsFormaRec__ = nullptr;
    TDataSource *dtsCurvaABC = nullptr;
    TDataSource *dtsTotal__ = nullptr;
    TDataSource *dtsContCorr__ = nullptr;
    TDataSource *dtsAtivClie__ = nullptr;
    TDataSource *dtsSegMerc__ = nullptr;
    TDataSource *dtsClassFinanc__ = nullptr;
    TDataSource *dtsGrupClie__ = nullptr;
    TDataSource *dtsRegiao__ = nullptr;
    TDataSource *dtsVendedor__ = nullptr;

    // Creates every component, owned by owner.
    void CreateLookups(QObject *owner);
    // Every lookup query, in declaration order.
    QVector<TADOIBQuery *> Queries() const;
    // Every data set a layout may read: the client data sets and the queries' rows.
    QVector<TDataSet *> DataSets() const;
};

// A list parameter of the InterBase text and the alias of its PARAM row.
struct TListAlias {
    QString Param;
    QString Alias;
};

// The SQL Server text of a default statement: "||" becomes "+" and the list
// test INSTR(:LIST, CODE)<>0 becomes CHARINDEX(CODE, :LIST)<>0.
QString DeriveMssql(const QString &sql);
// The InterBase text: each list parameter joins the FROM clause as
// PARAM(:LIST) ALIAS and the list test reads INSTR(ALIAS.PARAM, CODE).
QString DeriveInterBase(const QString &sql, const QVector<TListAlias> &aliases);
// The stored form of a statement: one line per keyword and select item.
QStringList StatementLines(const QString &sql);
// Close, assign each parameter (a text, or null), open.
void Reopen(TADOIBQuery &query, std::initializer_list<std::pair<const char *, std::optional<QString>>> values);
// Gives a query its four texts from the default statement.
void SetStatements(TADOIBQuery &query, const QString &sql, const QVector<TListAlias> &aliases);

// A field of a query's or client data set's rows, as the form's components define it.
struct TLookupField {
    const char *Name;
    TFieldType Type;
    int Size;
    const char *Label;
    bool Visible;
    bool Required;
    int DisplayWidth;
};
// A query owned by owner with its four texts, its parameters and its fields.
TADOIBQuery *CreateQuery(QObject *owner, const char *name, const QString &sql, const QVector<TListAlias> &aliases,
                         std::initializer_list<std::pair<const char *, TParamType>> params, std::initializer_list<TLookupField> fields);
