#pragma once
#include "data/Params.h"
#include "report/ReportLayout.h"
#include "report/ReportSource.h"
#include <QDialog>
#include <QJsonObject>
#include <QStringList>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;

// Edits a copy of a report layout: title, subtitle, orientation, columns,
// groups, sort, statement and parameters. The layout is checked before it is
// handed on to be saved; the file it came from is never written.
class TReportLayoutEditor : public QDialog {
    Q_OBJECT
public:
    // params: the parameters as the screen's binding filled them for the layout;
    // source: the screen that gives the parameters and the data sets.
    TReportLayoutEditor(const TReportLayout &layout, const TParams &params, const TReportSource &source, QWidget *parent = nullptr);

    // Saves a checked layout under a new title; false when nothing was saved.
    // Set by the form that lists the layouts.
    std::function<bool(const TReportLayout &layout)> SaveNew;

    // The layout's JSON as the fields hold it now.
    QJsonObject EditedJson() const;
    // The edited layout, parsed; raises EHostError naming the fault.
    TReportLayout EditedLayout() const;

    // Raises EHostError naming the first fault: a parameter name the binding does
    // not know, a statement that does not prepare and run on the connected
    // database, or a column, group field, sort field or "{FIELD}" header marker
    // that the statement's result (or the screen's data set) lacks.
    // owner: where a data set named by the layout is looked for.
    static void CheckLayout(const TReportLayout &layout, const TParams &params, const TReportSource &source);

    // "Verificar": parses and checks the edited layout; shows the fault as an error.
    bool Verify();
    // Checks the edited layout and hands it to SaveNew; closes the editor once saved.
    bool SaveAsNew();
    // Text of the last check's outcome.
    QString Status() const;

    void AddColumn(const TReportLayout::Column &column);
    void AddGroup(const TReportLayout::Group &group);
    void AddParam(const TReportLayout::Param &param);

    QTabWidget *pgcEditor;
    QLineEdit *edtTitulo;
    QLineEdit *edtSubtitulo;
    QComboBox *cbbOrientacao;
    QTableWidget *grdColunas;
    QTableWidget *grdGrupos;
    QLineEdit *edtOrdem;
    QPlainTextEdit *memInstrucao;
    QPlainTextEdit *memInstrucaoPostgreSQL;
    QTableWidget *grdParametros;
    QPushButton *btnVerificar;
    QPushButton *btnSalvar;
    QPushButton *btnFechar;

private:
    TReportLayout m_original;
    TParams m_params;
    const TReportSource &m_source;
    QLabel *m_status;
};
