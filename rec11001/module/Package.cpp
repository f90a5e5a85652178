// Package entry: exported data, the unit table and the form factory.
#include "Package.h"
#include "Cli_rec11001.h"
#include "Exceptions.h"
#include "HostApplication.h"
#include "Modules.h"
#include <dlfcn.h>

extern "C" {
TfrmRelLancContReceber *frmRelLancContReceber = nullptr;
QString stFilial;
QString stFilialUso;
}

namespace {
bool g_formCriado = false;

// Once-only counters of the units: initialization acts when its counter
// was 0, finalization when its counter comes back to 0.
int g_sysInit = 0, g_system = 0, g_classes = 0, g_forms = 0, g_db = 0, g_consiste = 0, g_cli = 0, g_pkg = 0;

template <int *Counter> void unitInit() { --*Counter; }
template <int *Counter> void unitFini() { ++*Counter; }

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
    {"SysInit", &unitInit<&g_sysInit>, &unitFini<&g_sysInit>},   {"System", &unitInit<&g_system>, &unitFini<&g_system>},
    {"Classes", &unitInit<&g_classes>, &unitFini<&g_classes>},   {"Forms", &unitInit<&g_forms>, &unitFini<&g_forms>},
    {"DB", &unitInit<&g_db>, &unitFini<&g_db>},                  {"Consiste", &unitInit<&g_consiste>, &unitFini<&g_consiste>},
    {"Cli_rec11001", &cliInit, &cliFini},                        {"PKG_REC11001", &unitInit<&g_pkg>, &unitFini<&g_pkg>},
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
                        QLatin1String(TfrmRelLancContReceber::kScreenCode), &CriaRelLancContReceber});
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
