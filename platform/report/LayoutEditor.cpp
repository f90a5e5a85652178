#include "report/LayoutEditor.h"
#include "data/Database.h"
#include "data/DataSet.h"
#include "data/Exceptions.h"
#include "report/ReportBands.h"
#include "services/MessagePresenter.h"
#include <QComboBox>
#include <QDate>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
// Alignment and display format choices: caption and the layout file's value.
const std::pair<const char *, const char *> kAligns[] = {{"Esquerda", "left"}, {"Centro", "center"}, {"Direita", "right"}};
const std::pair<const char *, const char *> kFormats[] = {
    {"Texto", ""}, {"Data (dd/MM/yyyy)", "dd/MM/yyyy"}, {"Valor (#,##0.00)", "#,##0.00"}, {"Inteiro (0)", "0"}, {"Percentual (0.00%)", "0.00%"}};
const char *const kTypes[] = {"string", "date", "datetime", "float", "integer", "boolean"};

enum ColumnCol { ccField, ccCaption, ccWidth, ccAlign, ccFormat, ccTotal };
enum GroupCol { gcField, gcCaption, gcHeader, gcFooter };
enum ParamCol { pcName, pcType };

template <std::size_t N> QComboBox *choiceBox(const std::pair<const char *, const char *> (&choices)[N], const QString &value)
{
    auto *box = new QComboBox;
    for (const auto &c : choices)
        box->addItem(QString::fromUtf8(c.first), QString::fromUtf8(c.second));
    box->setCurrentIndex(std::max(0, box->findData(value)));
    return box;
}

QString cell(const QTableWidget *grid, int row, int col)
{
    const QTableWidgetItem *item = grid->item(row, col);
    return item ? item->text().trimmed() : QString();
}

QString choice(const QTableWidget *grid, int row, int col)
{
    const auto *box = qobject_cast<const QComboBox *>(grid->cellWidget(row, col));
    return box ? box->currentData().toString() : QString();
}

int appendRow(QTableWidget *grid, const QStringList &texts)
{
    const int row = grid->rowCount();
    grid->insertRow(row);
    for (int c = 0; c < texts.size(); ++c)
        grid->setItem(row, c, new QTableWidgetItem(texts[c]));
    return row;
}

QJsonArray lines(const QString &text) { return QJsonArray::fromStringList(text.split(QLatin1Char('\n'))); }

// A page with a grid and the buttons that add and remove its rows.
QWidget *gridPage(QTableWidget *grid, const std::function<void()> &add)
{
    auto *page = new QWidget;
    auto *box = new QVBoxLayout(page);
    box->addWidget(grid);
    auto *buttons = new QHBoxLayout;
    auto *incluir = new QPushButton(QStringLiteral("Incluir"), page);
    auto *excluir = new QPushButton(QStringLiteral("Excluir"), page);
    QObject::connect(incluir, &QPushButton::clicked, page, add);
    QObject::connect(excluir, &QPushButton::clicked, grid, [grid] {
        if (grid->currentRow() >= 0)
            grid->removeRow(grid->currentRow());
    });
    buttons->addWidget(incluir);
    buttons->addWidget(excluir);
    buttons->addStretch();
    box->addLayout(buttons);
    return page;
}

QTableWidget *grid(const char *name, const QStringList &headers)
{
    auto *g = new QTableWidget(0, static_cast<int>(headers.size()));
    g->setObjectName(QString::fromLatin1(name));
    g->setHorizontalHeaderLabels(headers);
    g->horizontalHeader()->setStretchLastSection(true);
    g->verticalHeader()->hide();
    return g;
}

// The statement's own text for the database, without the sort the engine appends.
QString rawStatement(const TReportLayout &layout, const QString &driver)
{
    QString sql = driver == QStringLiteral("QPSQL") && !layout.StatementPostgreSQL.trimmed().isEmpty() ? layout.StatementPostgreSQL : layout.Statement;
    sql = sql.trimmed();
    while (sql.endsWith(QLatin1Char(';')))
        sql = sql.chopped(1).trimmed();
    return sql;
}

// The layout's declared parameters with the values the binding gave; a name
// the binding did not fill (newly declared) goes null, of its declared type.
TParams checkParams(const TReportLayout &layout, const TParams &given, const QString &sql, const QStringList &added = {})
{
    TParams out;
    auto copy = [&](const QString &name, TParamType type) -> TParam & {
        if (const TParam *g = given.FindParam(name)) {
            TParam &p = out.CreateParam(g->DataType, g->Name);
            if (!g->IsNull())
                p.SetValue(g->Value());
            return p;
        }
        return out.CreateParam(type, name);
    };
    for (const TReportLayout::Param &p : layout.Params)
        copy(p.Name, p.Type);
    // The parameters the engine adds for the run (the band limits).
    for (const QString &name : added)
        copy(name, TParamType::Integer);
    // The engine gives the emission date to statements that use it.
    const QString emission = QStringLiteral("REL_DTEMISSAO");
    if (sql.contains(QLatin1Char(':') + emission, Qt::CaseInsensitive) && !out.FindParam(emission)) {
        TParam &p = copy(emission, TParamType::Date);
        if (p.IsNull())
            p.SetAsDate(DateToDateTime(QDate::currentDate()));
    }
    return layout.StatementParams(out);
}
} // namespace

TReportLayoutEditor::TReportLayoutEditor(const TReportLayout &layout, const TParams &params, const TReportSource &source, QWidget *parent)
    : QDialog(parent), m_original(layout), m_params(params), m_source(source)
{
    setObjectName(QStringLiteral("dlgLayoutEditor"));
    setWindowTitle(QStringLiteral("Editar layout: ") + layout.Title);
    resize(900, 600);

    pgcEditor = new QTabWidget(this);
    pgcEditor->setObjectName(QStringLiteral("pgcEditor"));

    auto *general = new QWidget;
    auto *form = new QFormLayout(general);
    edtTitulo = new QLineEdit(layout.Title);
    edtTitulo->setObjectName(QStringLiteral("edtTitulo"));
    edtSubtitulo = new QLineEdit(layout.Subtitle);
    edtSubtitulo->setObjectName(QStringLiteral("edtSubtitulo"));
    cbbOrientacao = new QComboBox;
    cbbOrientacao->setObjectName(QStringLiteral("cbbOrientacao"));
    cbbOrientacao->addItem(QStringLiteral("Retrato"), QStringLiteral("portrait"));
    cbbOrientacao->addItem(QStringLiteral("Paisagem"), QStringLiteral("landscape"));
    cbbOrientacao->setCurrentIndex(layout.Landscape ? 1 : 0);
    edtOrdem = new QLineEdit(layout.OrderBy.join(QStringLiteral(", ")));
    edtOrdem->setObjectName(QStringLiteral("edtOrdem"));
    edtOrdem->setToolTip(QStringLiteral("Campos da ordem, separados por vírgula; os campos dos grupos vêm primeiro."));
    form->addRow(QStringLiteral("Título:"), edtTitulo);
    form->addRow(QStringLiteral("Subtítulo:"), edtSubtitulo);
    form->addRow(QStringLiteral("Orientação:"), cbbOrientacao);
    form->addRow(QStringLiteral("Ordem:"), edtOrdem);
    pgcEditor->addTab(general, QStringLiteral("Geral"));

    grdColunas = grid("grdColunas", {QStringLiteral("Campo"), QStringLiteral("Título"), QStringLiteral("Largura"), QStringLiteral("Alinhamento"),
                                     QStringLiteral("Formato"), QStringLiteral("Total")});
    pgcEditor->addTab(gridPage(grdColunas, [this] { AddColumn({}); }), QStringLiteral("Colunas"));
    grdGrupos = grid("grdGrupos", {QStringLiteral("Campo"), QStringLiteral("Título"), QStringLiteral("Cabeçalho"), QStringLiteral("Rodapé")});
    pgcEditor->addTab(gridPage(grdGrupos, [this] { AddGroup({}); }), QStringLiteral("Grupos"));

    auto *sql = new QWidget;
    auto *sqlBox = new QVBoxLayout(sql);
    memInstrucao = new QPlainTextEdit(layout.Statement);
    memInstrucao->setObjectName(QStringLiteral("memInstrucao"));
    memInstrucaoPostgreSQL = new QPlainTextEdit(layout.StatementPostgreSQL);
    memInstrucaoPostgreSQL->setObjectName(QStringLiteral("memInstrucaoPostgreSQL"));
    sqlBox->addWidget(new QLabel(QStringLiteral("Instrução:")));
    sqlBox->addWidget(memInstrucao, 3);
    sqlBox->addWidget(new QLabel(QStringLiteral("Instrução para PostgreSQL (só quando difere):")));
    sqlBox->addWidget(memInstrucaoPostgreSQL, 1);
    // A layout that reads the screen's data set has no statement to edit.
    sql->setEnabled(layout.DataSet.isEmpty());
    pgcEditor->addTab(sql, QStringLiteral("Instrução"));

    grdParametros = grid("grdParametros", {QStringLiteral("Nome"), QStringLiteral("Tipo")});
    pgcEditor->addTab(gridPage(grdParametros, [this] { AddParam({}); }), QStringLiteral("Parâmetros"));

    for (const TReportLayout::Column &c : layout.Columns)
        AddColumn(c);
    for (const TReportLayout::Group &g : layout.Groups)
        AddGroup(g);
    for (const TReportLayout::Param &p : layout.Params)
        AddParam(p);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setWordWrap(true);
    btnVerificar = new QPushButton(QStringLiteral("Verificar"), this);
    btnVerificar->setObjectName(QStringLiteral("btnVerificar"));
    btnSalvar = new QPushButton(QStringLiteral("Salvar como novo layout..."), this);
    btnSalvar->setObjectName(QStringLiteral("btnSalvar"));
    btnFechar = new QPushButton(QStringLiteral("Fechar"), this);
    btnFechar->setObjectName(QStringLiteral("btnFechar"));
    connect(btnVerificar, &QPushButton::clicked, this, [this] { Verify(); });
    connect(btnSalvar, &QPushButton::clicked, this, [this] { SaveAsNew(); });
    connect(btnFechar, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(btnVerificar);
    buttons->addWidget(btnSalvar);
    buttons->addWidget(btnFechar);
    auto *box = new QVBoxLayout(this);
    box->addWidget(pgcEditor);
    box->addLayout(buttons);
}

void TReportLayoutEditor::AddColumn(const TReportLayout::Column &c)
{
    const int row = appendRow(grdColunas, {c.Field, c.Caption, QString::number(c.Width)});
    const QString align = c.Align == Qt::AlignRight ? QStringLiteral("right") : c.Align == Qt::AlignHCenter ? QStringLiteral("center") : QStringLiteral("left");
    grdColunas->setCellWidget(row, ccAlign, choiceBox(kAligns, align));
    QString format;
    switch (c.Format) {
    case TColumnFormat::Text: break;
    case TColumnFormat::Date: format = QStringLiteral("dd/MM/yyyy"); break;
    case TColumnFormat::Amount: format = QStringLiteral("#,##0.00"); break;
    case TColumnFormat::Integer: format = QStringLiteral("0"); break;
    case TColumnFormat::Percent: format = QStringLiteral("0.00%"); break;
    }
    grdColunas->setCellWidget(row, ccFormat, choiceBox(kFormats, format));
    auto *total = new QTableWidgetItem;
    total->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    total->setCheckState(c.Total ? Qt::Checked : Qt::Unchecked);
    grdColunas->setItem(row, ccTotal, total);
}

void TReportLayoutEditor::AddGroup(const TReportLayout::Group &g) { appendRow(grdGrupos, {g.Field, g.Caption, g.Header, g.Footer}); }

void TReportLayoutEditor::AddParam(const TReportLayout::Param &p)
{
    const int row = appendRow(grdParametros, {p.Name});
    auto *type = new QComboBox;
    for (const char *t : kTypes)
        type->addItem(QString::fromLatin1(t));
    type->setCurrentIndex(std::max(0, type->findText(ParamTypeName(p.Type))));
    grdParametros->setCellWidget(row, pcType, type);
}

QJsonObject TReportLayoutEditor::EditedJson() const
{
    // Keys the editor does not show (code, data set, totals) stay as they were.
    QJsonObject d = m_original.Definition.isEmpty() ? m_original.ToJson() : m_original.Definition;
    auto setOrRemove = [&d](const QString &key, const QJsonValue &value, bool empty) {
        if (empty)
            d.remove(key);
        else
            d[key] = value;
    };
    d[QStringLiteral("title")] = edtTitulo->text().trimmed();
    setOrRemove(QStringLiteral("subtitle"), edtSubtitulo->text(), edtSubtitulo->text().isEmpty());
    d[QStringLiteral("orientation")] = cbbOrientacao->currentData().toString();

    QStringList order;
    for (const QString &f : edtOrdem->text().split(QLatin1Char(',')))
        if (!f.trimmed().isEmpty())
            order << f.trimmed();
    setOrRemove(QStringLiteral("orderBy"), QJsonArray::fromStringList(order), order.isEmpty());
    if (m_original.DataSet.isEmpty()) {
        const QString sql = memInstrucao->toPlainText();
        const QString pg = memInstrucaoPostgreSQL->toPlainText();
        setOrRemove(QStringLiteral("statement"), lines(sql), sql.trimmed().isEmpty());
        setOrRemove(QStringLiteral("statementPostgreSQL"), lines(pg), pg.trimmed().isEmpty());
    }

    // A column's share of another data set's total (the curve's "% Acumulado") is not in the grid:
    // it stays with the original column of the same field and caption.
    const QJsonArray originalColumns = m_original.ToJson().value(QStringLiteral("columns")).toArray();
    QJsonArray columns;
    for (int r = 0; r < grdColunas->rowCount(); ++r) {
        QJsonObject o{{QStringLiteral("field"), cell(grdColunas, r, ccField)}, {QStringLiteral("caption"), cell(grdColunas, r, ccCaption)}};
        for (const QJsonValue &c : originalColumns)
            if (c[QStringLiteral("field")] == o[QStringLiteral("field")] && c[QStringLiteral("caption")] == o[QStringLiteral("caption")] &&
                c.toObject().contains(QStringLiteral("shareOf"))) {
                o[QStringLiteral("shareOf")] = c[QStringLiteral("shareOf")];
                break;
            }
        bool ok = false;
        const double width = cell(grdColunas, r, ccWidth).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        o[QStringLiteral("width")] = ok ? width : 0.0;  // not a number: refused as an invalid width
        o[QStringLiteral("align")] = choice(grdColunas, r, ccAlign);
        o[QStringLiteral("format")] = choice(grdColunas, r, ccFormat);
        const QTableWidgetItem *total = grdColunas->item(r, ccTotal);
        if (total && total->checkState() == Qt::Checked)
            o[QStringLiteral("total")] = true;
        columns.append(o);
    }
    d[QStringLiteral("columns")] = columns;

    // What the grids do not show (a group's blank caption, a parameter that holds a date text)
    // stays as the original had it for the same field or name.
    QJsonArray groups;
    for (int r = 0; r < grdGrupos->rowCount(); ++r) {
        QJsonObject o{{QStringLiteral("field"), cell(grdGrupos, r, gcField)},
                      {QStringLiteral("caption"), cell(grdGrupos, r, gcCaption)},
                      {QStringLiteral("header"), cell(grdGrupos, r, gcHeader)},
                      {QStringLiteral("footer"), cell(grdGrupos, r, gcFooter)}};
        for (const TReportLayout::Group &g : m_original.Groups)
            if (!g.Blank.isEmpty() && g.Field.compare(o.value(QStringLiteral("field")).toString(), Qt::CaseInsensitive) == 0)
                o[QStringLiteral("blank")] = g.Blank;
        groups.append(o);
    }
    setOrRemove(QStringLiteral("groups"), groups, groups.isEmpty());

    QJsonArray params;
    for (int r = 0; r < grdParametros->rowCount(); ++r) {
        const auto *type = qobject_cast<const QComboBox *>(grdParametros->cellWidget(r, pcType));
        QJsonObject o{{QStringLiteral("name"), cell(grdParametros, r, pcName).toUpper()},
                      {QStringLiteral("type"), type ? type->currentText() : QStringLiteral("string")}};
        for (const TReportLayout::Param &p : m_original.Params)
            if (p.DateText && p.Name.compare(o.value(QStringLiteral("name")).toString(), Qt::CaseInsensitive) == 0 &&
                o.value(QStringLiteral("type")).toString() == QStringLiteral("string"))
                o[QStringLiteral("dateText")] = true;
        params.append(o);
    }
    d[QStringLiteral("params")] = params;
    return d;
}

TReportLayout TReportLayoutEditor::EditedLayout() const
{
    const QString title = edtTitulo->text().trimmed();
    TReportLayout l = TReportLayout::FromJson(EditedJson(), title.isEmpty() ? m_original.Title : title);
    for (int i = 0; i < l.Columns.size(); ++i)
        if (l.Columns[i].Field.isEmpty())
            throw EHostError(QStringLiteral("O layout '%1' está com defeito: a coluna %2 não tem campo.").arg(l.Title).arg(i + 1));
    for (int i = 0; i < l.Groups.size(); ++i)
        if (l.Groups[i].Field.isEmpty())
            throw EHostError(QStringLiteral("O layout '%1' está com defeito: o grupo %2 não tem campo.").arg(l.Title).arg(i + 1));
    l.Code = m_original.Code;
    return l;
}

void TReportLayoutEditor::CheckLayout(const TReportLayout &asDesigned, const TParams &given, const TReportSource &screen)
{
    // Checked as it runs: with the bands the answers give.
    TParams params = given;
    QStringList added;
    const TReportLayout layout = WithBands(asDesigned, params, &added);
    const QString &title = layout.Title;
    const QStringList knownParams = screen.QueryParamNames();
    for (const TReportLayout::Param &p : layout.Params)
        if (!knownParams.contains(p.Name, Qt::CaseInsensitive) && !layout.IsAsked(p.Name))
            throw EHostError(QStringLiteral("O layout '%1' declara o parâmetro '%2', que a tela não informa.").arg(title, p.Name));

    QStringList fields;
    QString source;
    if (!layout.DataSet.isEmpty()) {
        const TDataSet *data = screen.DataSetNamed(layout.DataSet);
        if (!data)
            throw EHostError(QStringLiteral("O layout '%1' lê o conjunto de dados '%2', que a tela não tem.").arg(title, layout.DataSet));
        for (int i = 0; i < data->FieldCount(); ++i)
            fields << data->Fields(i).FieldName;
        source = QStringLiteral("no conjunto de dados '%1'").arg(layout.DataSet);
    } else {
        TdtmDBGeral *module = TdtmDBGeral::Current();
        if (!module || !module->Connected())
            throw EHostError(QStringLiteral("O layout '%1' não pôde ser verificado: nenhum banco de dados conectado.").arg(title));
        const QSqlDatabase db = module->Database();
        const QString sql = rawStatement(layout, db.driverName());
        // Prepared and run for its columns only: no row is read.
        const QSqlQuery q = RunStatement(db, QStringLiteral("SELECT * FROM (\n%1\n) X WHERE 1 = 0").arg(sql), checkParams(layout, params, sql, added),
                                         QStringLiteral("Instrução do layout '%1'").arg(title));
        const QSqlRecord record = q.record();
        for (int i = 0; i < record.count(); ++i)
            fields << record.fieldName(i);
        source = QStringLiteral("no resultado da instrução");
    }

    auto missing = [&](const QString &field) { return !fields.contains(field, Qt::CaseInsensitive); };
    for (const TReportLayout::Column &c : layout.Columns)
        if (missing(c.Field))
            throw EHostError(QStringLiteral("O layout '%1' tem a coluna '%2', que não existe %3.").arg(title, c.Field, source));
    static const QRegularExpression marker(QStringLiteral("\\{([^{}:]+)\\}"));
    for (const TReportLayout::Group &g : layout.Groups) {
        if (missing(g.Field))
            throw EHostError(QStringLiteral("O layout '%1' agrupa pelo campo '%2', que não existe %3.").arg(title, g.Field, source));
        for (const QRegularExpressionMatch &m : marker.globalMatch(g.Header))
            if (missing(m.captured(1).trimmed()))
                throw EHostError(QStringLiteral("O cabeçalho do grupo '%2' do layout '%1' usa o campo '%3', que não existe %4.")
                                     .arg(title, g.Field, m.captured(1).trimmed(), source));
    }
    // Sort entries are result fields, optionally followed by ASC or DESC.
    for (const QString &o : layout.OrderBy) {
        const QString field = o.trimmed().section(QLatin1Char(' '), 0, 0);
        if (layout.DataSet.isEmpty() && missing(field))
            throw EHostError(QStringLiteral("O layout '%1' ordena pelo campo '%2', que não existe %3.").arg(title, field, source));
    }
}

bool TReportLayoutEditor::Verify()
{
    try {
        CheckLayout(EditedLayout(), m_params, m_source);
        m_status->setText(QStringLiteral("O layout está correto."));
        return true;
    } catch (const EHostError &e) {
        m_status->setText(e.Message());
        MessagePresenter().ShowError(e.Message());
        return false;
    }
}

bool TReportLayoutEditor::SaveAsNew()
{
    if (!Verify())
        return false;
    try {
        if (!SaveNew || !SaveNew(EditedLayout()))
            return false;
    } catch (const EHostError &e) {
        m_status->setText(e.Message());
        MessagePresenter().ShowError(e.Message());
        return false;
    } catch (const EAbort &) {
        return false;
    }
    accept();
    return true;
}

QString TReportLayoutEditor::Status() const { return m_status->text(); }
