#include "host/ScheduledRun.h"
#include "data/Exceptions.h"
#include "host/HostWindow.h"
#include "host/LoginDialog.h"
#include "net/NetConnection.h"
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
    else
        return true;
    return false;
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
    return Ok;
}
