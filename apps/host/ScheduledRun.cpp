#include "host/ScheduledRun.h"
#include "data/Exceptions.h"
#include "host/HostWindow.h"
#include "host/LoginDialog.h"
#include "net/NetConnection.h"
#include "services/MailAddress.h"
#include "services/MessagePresenter.h"
#include "services/Modules.h"
#include "ui/Events.h"
#include "ui/SearchList.h"
#include <QApplication>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QScopeGuard>

bool TScheduledRun::AddParam(const QString &assignment, QString &error)
{
    const qsizetype equals = assignment.indexOf(QLatin1Char('='));
    const QString name = assignment.left(equals).trimmed();
    if (equals <= 0 || name.isEmpty()) {
        error = QStringLiteral("--param deve ser NOME=VALOR (por exemplo P_DTBASE=2026-10-31), não '%1'").arg(assignment);
        return false;
    }
    LayoutParams.insert(name, assignment.mid(equals + 1));
    return true;
}

bool TScheduledRun::Check(QString &error) const
{
    if (Screen.trimmed().isEmpty())
        error = QStringLiteral("informe a tela com --run CÓDIGO");
    else if (Criteria.trimmed().isEmpty())
        error = QStringLiteral("informe os critérios salvos com --criteria NOME");
    else if (Output.trimmed().isEmpty())
        error = QStringLiteral("informe o arquivo do relatório com --output ARQUIVO");
    else if (!QStringList{QStringLiteral("pdf"), QStringLiteral("csv"), QStringLiteral("html"), QStringLiteral("xlsx")}.contains(QFileInfo(Output).suffix().toLower()))
        error = QStringLiteral("o arquivo '%1' deve terminar em .pdf, .csv, .html ou .xlsx, que escolhe o formato").arg(Output);
    else if (Layout && *Layout < 0)
        error = QStringLiteral("--layout deve ser o número (a partir de 0) de um relatório da lista");
    else if (Context.Operator.isEmpty() || Context.Database.isEmpty() || Context.ServerHost.isEmpty())
        error = QStringLiteral("informe o operador (--operator), o banco (--database) e o servidor de aplicação (--server HOST:PORTA)");
    else if (Context.ServerPort < 1 || Context.ServerPort > 65535)
        error = QStringLiteral("a porta do servidor de aplicação deve ir de 1 a 65535");
    else if (Context.Password.isEmpty())
        error = QStringLiteral("informe a senha do operador na chave login/password do arquivo de --settings; sem ela o servidor de aplicação não atende");
    else if (MailTo.isEmpty() && (!MailSubject.isEmpty() || SkipEmpty))
        error = QStringLiteral("--mail-subject e --skip-empty valem só com --mail-to");
    else if (!MailTo.isEmpty() && HasControlCharacter(MailSubject))
        error = QStringLiteral("o assunto do e-mail (--mail-subject) não pode ter quebras de linha nem outros caracteres de controle: '%1'").arg(VisibleText(MailSubject));
    else
        return true;
    return false;
}

namespace {
QString rowsText(qint64 rows) { return rows == 1 ? QStringLiteral("1 linha") : QStringLiteral("%1 linhas").arg(rows); }
} // namespace

TMailMessage TScheduledRun::Message(const QString &title, qint64 rows, const QStringList &criteriaLines) const
{
    TMailMessage m;
    m.To = MailTo;
    m.Subject = !MailSubject.isEmpty() ? MailSubject : QStringLiteral("%1 - %2").arg(title, DateToStr(Date()));
    m.Attachment = Output;
    QStringList body{QStringLiteral("Relatório: %1").arg(title),
                     QStringLiteral("Critérios salvos: %1 (operador %2, filial %3)").arg(Criteria, Context.Operator, Context.Branch),
                     QStringLiteral("Emitido em: %1").arg(DateTimeToStr(Now())), QStringLiteral("Linhas: %1").arg(rows), QString()};
    if (rows == 0)
        body << QStringLiteral("O relatório não tem linhas para estes critérios; o arquivo segue anexo assim mesmo.") << QString();
    if (criteriaLines.isEmpty())
        body << QStringLiteral("Opções de Emissão: nenhum critério além dos padrões da tela.");
    else {
        body << QStringLiteral("Opções de Emissão:");
        for (const QString &line : criteriaLines)
            body << QStringLiteral("  %1").arg(line);
    }
    body << QString() << QStringLiteral("Arquivo anexo: %1 (gravado por rec-host --run %2).").arg(QFileInfo(Output).fileName(), Screen);
    m.Body = body.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return m;
}

int TScheduledRun::Run(QString &error)
{
    if (!Check(error))
        return BadArguments;
    TRecordingPresenter messages;
    TPresenterScope scope(messages);
    const auto shown = [&messages] { return messages.Messages.join(QLatin1Char('\n')); };

    THostModules modules;
    std::unique_ptr<THostWindow> window;
    TModuleRecord module;
    try {
        if (const QStringList failures = modules.Load(); !failures.isEmpty())
            throw EHostError(failures.join(QLatin1Char('\n')));
        Context.ServerObject = modules.LoginServerObject();
        window = std::make_unique<THostWindow>(Context, modules, THostSession::TOptions::Unattended());
        OpenHostSession(Context);
        SetHostContext(Context);
        module = FindScreen(Screen);
    } catch (const EHostError &e) {
        error = e.Message();
        return HostFailed;
    }
    if (!module.FormClass || !module.OpenScreen) {
        error = QStringLiteral("nenhum módulo carregado registra a tela \"%1\" (registradas: %2)").arg(Screen, RegisteredScreens().join(QStringLiteral(", ")));
        return BadArguments;
    }
    window->show();
    QApplication::setActiveWindow(window.get());
    FireEvent([&module] { module.OpenScreen(); });
    TfrmDadosGerRel *form = nullptr;
    for (QMdiSubWindow *w : window->Area()->subWindowList())
        if (auto *f = qobject_cast<TfrmDadosGerRel *>(w->widget()); f && f->metaObject() == module.FormClass)
            form = f;
    if (!form) {
        error = QStringLiteral("a tela %1 não abriu: %2").arg(Screen, shown());
        return HostFailed;
    }
    // What the operator's default criteria did on opening is replaced by the named ones.
    messages.Messages.clear();

    try {
        QStringList names;
        bool found = false;
        for (const TSavedCriteria &s : form->SavedCriteria()) {
            names << s.Name;
            found = found || s.Name == Criteria;
        }
        if (!found) {
            error = QStringLiteral("o operador %1 não tem critérios salvos com o nome \"%2\" na tela %3 (salvos: %4)")
                        .arg(Context.Operator, Criteria, Screen, names.isEmpty() ? QStringLiteral("nenhum") : names.join(QStringLiteral(", ")));
            return BadArguments;
        }
        const QStringList missed = form->LoadCriteria(Criteria);
        if (!missed.isEmpty()) {
            error = QStringLiteral("os critérios \"%1\" não cabem mais na tela; nenhum relatório foi gravado. Não foi possível restaurar: %2")
                        .arg(Criteria, missed.join(QStringLiteral("; ")));
            return BadArguments;
        }
    } catch (const EHostError &e) {
        error = e.Message();
        return HostFailed;
    } catch (const EAbort &) {
        error = shown();
        return HostFailed;
    }
    for (auto a = LayoutParams.cbegin(); a != LayoutParams.cend(); ++a)
        form->rpddPadrao->Answers.insert(a.key(), a.value());
    if (Layout) {
        if (*Layout >= form->cbbReportNames->count()) {
            error = QStringLiteral("o relatório %1 não existe; a lista tem %2 (de 0 a %3)").arg(*Layout).arg(form->cbbReportNames->count()).arg(form->cbbReportNames->count() - 1);
            return BadArguments;
        }
        if (*Layout != form->cbbReportNames->ItemIndex())
            form->cbbReportNames->UserSelect(*Layout);
    }

    messages.Messages.clear();
    form->ReportOutput = Output;
    form->svdSaveReport->FileName = Output;
    form->rpddPadrao->ClearLastParams();
    form->sbtSalvarComo->Click();
    if (!messages.Messages.isEmpty()) {
        error = shown();
        return ReportFailed;
    }
    if (form->rpddPadrao->LastResult().Output.isEmpty() || !QFileInfo(Output).isFile()) {
        error = QStringLiteral("o relatório não foi gravado em '%1'").arg(Output);
        return ReportFailed;
    }
    if (MailTo.isEmpty())
        return Ok;

    const qint64 rows = form->rpddPadrao->LastResult().Rows;
    if (rows == 0 && SkipEmpty) {
        Notice = QStringLiteral("o relatório não tem linhas; nada foi enviado (--skip-empty). O arquivo está em '%1'").arg(Output);
        return Ok;
    }
    const int index = form->cbbReportNames->ItemIndex();
    const QString title = index >= 0 && index < form->Layouts().size() ? form->Layouts()[index].Title : form->cbbReportNames->currentText();
    QStringList criteriaLines;
    try {
        criteriaLines = form->EmissionOptionLines();
    } catch (const EHostError &) {
        criteriaLines = form->rpddPadrao->Header.CriteriaLines; // what the report printed
    }
    try {
        SendMail(Mail, Message(title, rows, criteriaLines));
    } catch (const EHostError &e) {
        error = QStringLiteral("%1. O relatório ficou gravado em '%2'").arg(e.Message(), Output);
        return MailFailed;
    }
    Notice = QStringLiteral("relatório enviado para %1 (%2) pelo servidor de e-mail %3").arg(MailTo.join(QStringLiteral(", ")), rowsText(rows), Mail.Shown());
    return Ok;
}
