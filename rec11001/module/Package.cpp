// Package entry: exported data, the unit table and the form factory.
#include "module/Package.h"
#include "data/Exceptions.h"
#include "forms/HostApplication.h"
#include "module/Cli_rec11001.h"
#include "services/Modules.h"
#include <dlfcn.h>

extern "C" {
TfrmRelLancContReceber *frmRelLancContReceber = nullptr;
QString stFilial;
QString stFilialUso;
}

namespace {
bool g_formCriado = false;

// The form's unit counts its initializations: it acts on the first and on the last finalization.
int g_cli = 0;

// The units that keep no state of their own.
void noUnitWork() {}

void cliInit()
{
    if (g_cli-- == 0)
        g_formCriado = false;
}

void cliFini()
{
    if (++g_cli == 0) {
        stFilial.clear();
        stFilialUso.clear();
    }
}

const TUnitEntry kUnits[] = {
    {"SysInit", &noUnitWork, &noUnitWork}, {"System", &noUnitWork, &noUnitWork},   {"Classes", &noUnitWork, &noUnitWork},
    {"Forms", &noUnitWork, &noUnitWork},   {"DB", &noUnitWork, &noUnitWork},       {"Consiste", &noUnitWork, &noUnitWork},
    {"Cli_rec11001", &cliInit, &cliFini},  {"PKG_REC11001", &noUnitWork, &noUnitWork},
};
const TPackageInfoTable kTable = {static_cast<int>(std::size(kUnits)), kUnits};

const char *const kRequired[] = {"librec_services.so", "libQt6Core.so.6", "librec_report.so", "librec_data.so",
                                 "librec_net.so",      "librec_forms.so", "libQt6Sql.so.6",   "librec_ui.so"};
const char *const kContains[] = {"PKG_REC11001", "Cli_REC11001", "SysInit"};

// Library attach and detach: the module enters and leaves the run-time's module list.
struct TLibraryAttach {
    TLibraryAttach()
    {
        Dl_info info{};
        QString file;
        if (dladdr(reinterpret_cast<void *>(&CriaRelLancContReceber), &info) && info.dli_fname)
            file = QString::fromLocal8Bit(info.dli_fname);
        RegisterModule({QStringLiteral("PKG_REC11001"), file, LanguageResourceFor(file), &TfrmRelLancContReceber::staticMetaObject,
                        QLatin1String(TfrmRelLancContReceber::kScreenCode), &CriaRelLancContReceber, QStringLiteral("&Relatórios"),
                        QStringLiteral("Contas a Receber/Recebidas"), QStringLiteral("actContasReceber"),
                        QLatin1String(kServerObject)});
    }
    ~TLibraryAttach() { UnregisterModule(QStringLiteral("PKG_REC11001")); }
};
const TLibraryAttach g_attach;
} // namespace

extern "C" {
const TPackageDescription PackageDescription = {"RunOnly", static_cast<int>(std::size(kRequired)), kRequired,
                                                static_cast<int>(std::size(kContains)), kContains};

const TPackageInfoTable *GetPackageInfoTable() { return &kTable; }

void Initialize()
{
    for (const TUnitEntry &u : kUnits)
        u.Init();
}

void Finalize()
{
    for (auto it = std::rbegin(kUnits); it != std::rend(kUnits); ++it)
        it->Fini();
}

void CriaRelLancContReceber()
{
    THostApplication *app = THostApplication::Application();
    if (!app)
        throw EHostError(QStringLiteral("O módulo PKG_REC11001 precisa da aplicação hospedeira para abrir a tela."));
    app->SetScreenCursor(crHourGlass);
    TfrmRelLancContReceber *created = nullptr;
    try {
        if (!g_formCriado) {
            frmRelLancContReceber = app->CreateForm<TfrmRelLancContReceber>();
            QObject::connect(frmRelLancContReceber, &QObject::destroyed, [form = frmRelLancContReceber] {
                if (frmRelLancContReceber == form) {
                    frmRelLancContReceber = nullptr;
                    g_formCriado = false;
                }
            });
            g_formCriado = true;
            created = frmRelLancContReceber;
        }
        if (frmRelLancContReceber->FormStyle == TFormStyle::fsMDIChild)
            app->ShowMdiChild(*frmRelLancContReceber);
        else
            app->ShowModal(*frmRelLancContReceber);
        app->SetWindowStateNormal(*frmRelLancContReceber);
    } catch (...) {
        // A form this call made and could not show goes with the failure;
        // the hourglass never outlives a failed opening.
        if (created && frmRelLancContReceber == created) {
            app->Discard(*created);
            frmRelLancContReceber = nullptr;
            g_formCriado = false;
        }
        app->SetScreenCursor(crDefault);
        throw;
    }
    app->SetScreenCursor(crDefault);
}

void IniProc() { CriaRelLancContReceber(); }
}

bool FormCriado() { return g_formCriado; }
void SetFormCriado(bool created) { g_formCriado = created; }
