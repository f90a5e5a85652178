// Faults met by a person at the screen: the server killed in the middle of the
// curve or restarted between two actions, a refused save of the emission
// option, and a report saved onto a full disk or into a read-only folder.
#include "data/Database.h"
#include "ReportTestSupport.h"
#include "services/Showavi.h"
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlError>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {
void exec(const QString &target, const QString &sql)
{
    TdtmDBGeral db;
    db.Open(target);
    QSqlQuery q(db.Database());
    ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

QString emissionOption(const QString &target) { return StoredEmissionOption(target, QStringLiteral("MARIA")); }

// Files past a few hundred bytes cannot be written while this lives, as on a full disk.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit l = m_old;
        l.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &l);
    }
    ~TFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

// A folder nobody may write into, root included: immutable where the file
// system allows it, otherwise a folder of the kernel's read-only sysfs.
class TReadOnlyFolder {
public:
    explicit TReadOnlyFolder(const QString &inside)
    {
        m_path = inside + QStringLiteral("/somente-leitura");
        QDir().mkpath(m_path);
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (m_fd >= 0 && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            m_immutable = ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        if (!m_immutable)
            m_path = QStringLiteral("/sys/kernel");
    }
    ~TReadOnlyFolder()
    {
        if (m_immutable) {
            int flags = 0;
            ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags);
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags);
        }
        if (m_fd >= 0)
            ::close(m_fd);
    }
    const QString &Path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
    bool m_immutable = false;
};
} // namespace

class ScreenFaults : public ReportScreenTest {
protected:
    // The screen on a server of its own, which the test may stop, kill and restart.
    void OpenOnOwnServer()
    {
        m_own = std::make_unique<TServerProcess>(s_db->Target());
        THostContext ctx = Context();
        ctx.ServerPort = m_own->Port();
        ApplyContext(ctx);
        ASSERT_TRUE(Open());
    }
    void TearDown() override
    {
        SetShowAviView({});
        ReportScreenTest::TearDown();
        m_own.reset();
    }
    // The form still takes the user's input: a page change and a radio click act.
    void ExpectUsable()
    {
        ClickTab(1);
        EXPECT_EQ(ActivePage(), QStringLiteral("tshDadosDocu"));
        ClickTab(0);
        Click("rbtListaEmp");
        EXPECT_TRUE(Form()->Control<TRadioButton>("rbtListaEmp")->Checked());
        Click("rbtTodosEmpr");
        EXPECT_TRUE(QApplication::activeModalWidget() == nullptr);
        EXPECT_EQ(TakeMessages(), QStringList());
    }
    std::unique_ptr<TServerProcess> m_own;
    QTemporaryDir m_out;
};

TEST_F(ScreenFaults, ServerKilledDuringTheCurveThenTheNextActionReconnects)
{
    OpenOnOwnServer();
    TfrmRelLancContReceber &f = *Form();
    int shows = 0, hides = 0;
    SetShowAviView({[&](QWidget *, int) { ++shows; }, [&] { ++hides; }});
    // The server is stopped as the curve's request goes out and killed while it waits.
    std::thread killer;
    f.Control<TNetConnection>("netRelLancContReceber")->BeforeCall = [&](const QString &method) {
        if (method != QLatin1String("GetCurvaABC") || killer.joinable())
            return;
        const auto pid = static_cast<pid_t>(m_own->Pid());
        ::kill(pid, SIGSTOP);
        // On a busy machine the stop can come after the request was served; the call goes
        // out once the server is seen stopped.
        ASSERT_TRUE(SeenStopped(pid)) << "the server did not stop";
        killer = std::thread([pid] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::kill(pid, SIGKILL);
        });
    };
    const QString out = m_out.filePath(QStringLiteral("curva.pdf"));
    RunTo(18, "sbtPrint", out);
    ASSERT_TRUE(killer.joinable()) << "the curve was never asked for";
    killer.join();
    f.Control<TNetConnection>("netRelLancContReceber")->BeforeCall = {};

    const QStringList shown = TakeMessages();
    ASSERT_EQ(shown.size(), 1) << shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(shown[0].contains(QStringLiteral("GetCurvaABC"))) << shown[0].toStdString();
    EXPECT_TRUE(shown[0].contains(QStringLiteral("perdida"))) << shown[0].toStdString();
    EXPECT_EQ(f.Control<TNetConnection>("netRelLancContReceber")->CallLog.last(), QStringLiteral("GetCurvaABC"));
    EXPECT_EQ(ShowAviDepth(), 0);
    EXPECT_EQ(shows, hides);
    EXPECT_GT(shows, 0);
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_EQ(f.Control<TClientDataSet>("qryCurvaABC")->ChangeCount(), 0) << "no class letters from a failed run";
    ExpectUsable();

    // A server on the same port again: the next action connects anew and goes through.
    m_own->Restart();
    RunTo(18, "sbtPrint", out);
    EXPECT_EQ(TakeMessages(), QStringList());
    EXPECT_TRUE(QFile::exists(out));
    EXPECT_GT(f.Control<TClientDataSet>("qryCurvaABC")->ChangeCount(), 0);
    EXPECT_EQ(ShowAviDepth(), 0);
}

TEST_F(ScreenFaults, ServerRestartedBetweenTwoActions)
{
    OpenOnOwnServer();
    const QString first = m_out.filePath(QStringLiteral("primeiro.csv"));
    RunTo(0, "sbtSalvarComo", first);
    ASSERT_EQ(TakeMessages(), QStringList());
    ASSERT_TRUE(QFile::exists(first));
    const qsizetype before = Form()->Control<TNetConnection>("netRelLancContReceber")->CallLog.size();

    m_own->Restart();
    const QString second = m_out.filePath(QStringLiteral("segundo.csv"));
    RunTo(0, "sbtSalvarComo", second);
    EXPECT_EQ(TakeMessages(), QStringList()) << "nothing about the old connection";
    EXPECT_EQ(CsvLines(second), CsvLines(first));
    EXPECT_GT(Form()->Control<TNetConnection>("netRelLancContReceber")->CallLog.size(), before);
    EXPECT_TRUE(m_own->Log().contains(QStringLiteral("conectado")));
    EXPECT_TRUE(Form()->Control<TNetConnection>("netRelLancContReceber")->Connected());
}

class EmissionOptionRefused : public ScreenFaults {
protected:
    // The table refuses every write while the trigger is there.
    void Refusing(bool on)
    {
        const QString target = s_db->Target();
        if (s_backend == TBackend::SQLite) {
            if (on) {
                exec(target, QStringLiteral("CREATE TRIGGER OPCAO_RECUSA_UPD BEFORE UPDATE ON OPCAOEMISSAO BEGIN SELECT RAISE(ABORT, 'tabela bloqueada'); END"));
                exec(target, QStringLiteral("CREATE TRIGGER OPCAO_RECUSA_INS BEFORE INSERT ON OPCAOEMISSAO BEGIN SELECT RAISE(ABORT, 'tabela bloqueada'); END"));
            } else {
                exec(target, QStringLiteral("DROP TRIGGER IF EXISTS OPCAO_RECUSA_UPD"));
                exec(target, QStringLiteral("DROP TRIGGER IF EXISTS OPCAO_RECUSA_INS"));
            }
            return;
        }
        if (on) {
            exec(target, QStringLiteral("CREATE OR REPLACE FUNCTION OPCAO_RECUSA() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION 'tabela bloqueada'; END $$ "
                                        "LANGUAGE plpgsql"));
            exec(target, QStringLiteral("CREATE TRIGGER OPCAO_RECUSA BEFORE INSERT OR UPDATE ON OPCAOEMISSAO FOR EACH ROW EXECUTE FUNCTION OPCAO_RECUSA()"));
        } else {
            exec(target, QStringLiteral("DROP TRIGGER IF EXISTS OPCAO_RECUSA ON OPCAOEMISSAO"));
        }
    }
    void RefusedSaveKeepsTheServersRecord();
};
using EmissionOptionRefusedOnPostgreSQL = OnPostgreSQL<EmissionOptionRefused>;
TEST_F(EmissionOptionRefused, TheRecordIsBackToTheServersWithOneMessage) { RefusedSaveKeepsTheServersRecord(); }
TEST_F(EmissionOptionRefusedOnPostgreSQL, TheRecordIsBackToTheServersWithOneMessage) { RefusedSaveKeepsTheServersRecord(); }

void EmissionOptionRefused::RefusedSaveKeepsTheServersRecord()
{
    OpenOnOwnServer();
    TfrmRelLancContReceber &f = *Form();
    TClientDataSet &op = *f.Control<TClientDataSet>("cdsOpEmissao");
    const QString stored = emissionOption(s_db->Target());
    ASSERT_EQ(op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).AsString(), stored);
    const QString other = stored == QStringLiteral("S") ? QStringLiteral("N") : QStringLiteral("S");
    int shows = 0, hides = 0;
    SetShowAviView({[&](QWidget *, int) { ++shows; }, [&] { ++hides; }});
    Refusing(true);
    const bool saved = RunAction([&] {
        op.Edit();
        op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(other);
        op.Post();
    });
    Refusing(false);
    EXPECT_FALSE(saved);
    const QStringList shown = TakeMessages();
    ASSERT_EQ(shown.size(), 1) << shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(shown[0].contains(QStringLiteral("SetOpEmissao"))) << shown[0].toStdString();
    EXPECT_FALSE(shown[0].contains(QStringLiteral("tabela bloqueada"))) << "the database's own text stays in the server log";
    EXPECT_TRUE(m_own->Log().contains(QStringLiteral("tabela bloqueada")));
    EXPECT_EQ(op.ChangeCount(), 0);
    EXPECT_EQ(op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).AsString(), stored);
    EXPECT_EQ(emissionOption(s_db->Target()), stored);
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(hides, 1);
    EXPECT_EQ(ShowAviDepth(), 0);
    // The next activation shows the same; with the table writable again the change is kept.
    f.DoActivate();
    EXPECT_EQ(op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).AsString(), stored);
    ASSERT_TRUE(RunAction([&] {
        op.Edit();
        op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(other);
        op.Post();
    }));
    EXPECT_EQ(emissionOption(s_db->Target()), other);
    ASSERT_TRUE(RunAction([&] {
        op.Edit();
        op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(stored);
        op.Post();
    }));
}

TEST_F(ScreenFaults, FullDiskAndReadOnlyFolderNameTheFileAndLeaveNothing)
{
    ASSERT_TRUE(Open());
    auto expectRefused = [&](const QString &path, const char *what) {
        const QStringList shown = TakeMessages();
        ASSERT_EQ(shown.size(), 1) << what << ": " << shown.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(shown[0].contains(QStringLiteral("'%1'").arg(path))) << what << ": " << shown[0].toStdString();
        // The reason follows the file's name.
        EXPECT_GT(shown[0].size() - shown[0].indexOf(path) - path.size(), 8) << what << ": " << shown[0].toStdString();
        EXPECT_FALSE(QFile::exists(path)) << what;
    };
    for (const char *name : {"cheio.csv", "cheio.html", "cheio.xlsx", "cheio.pdf"}) {
        const QString path = m_out.filePath(QLatin1String(name));
        {
            TFileSizeLimit full(256);
            RunTo(0, QLatin1String(name).endsWith(QLatin1String("pdf")) ? "sbtPrint" : "sbtSalvarComo", path);
        }
        expectRefused(path, name);
        QFile::remove(path);
        EXPECT_EQ(QDir(m_out.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList()) << name << ": no partial or temporary file";
    }

    TReadOnlyFolder locked(m_out.path());
    for (const char *name : {"fechado.csv", "fechado.xlsx", "fechado.pdf"}) {
        const QString path = locked.Path() + QLatin1Char('/') + QLatin1String(name);
        RunTo(0, QLatin1String(name).endsWith(QLatin1String("pdf")) ? "sbtPrint" : "sbtSalvarComo", path);
        expectRefused(path, name);
    }
    EXPECT_EQ(QDir(locked.Path()).entryList({QStringLiteral("fechado*")}, QDir::Files | QDir::Hidden | QDir::System), QStringList());

    // Room again: the same report is written whole.
    const QString path = m_out.filePath(QStringLiteral("cheio.csv"));
    RunTo(0, "sbtSalvarComo", path);
    EXPECT_EQ(TakeMessages(), QStringList());
    EXPECT_GT(CsvLines(path).size(), 1);
}
