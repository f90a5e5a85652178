#pragma once
#include "data/DateTime.h"
#include <QDate>
#include <QString>
#include <optional>

// The logged-in context of the host client.
struct THostContext {
    QString Operator;
    // The operator's password for the application server's login; never written anywhere.
    QString Password;
    // The ticket of the session the host's login opened on the application server:
    // the screens' connections log in with it instead of checking the password again.
    QString SessionTicket;
    QString Branch;
    bool PerBranch = false;
    QString ServerHost = QStringLiteral("127.0.0.1");
    int ServerPort = 0;
    // The application server object the host's login goes to, as the loaded modules name it.
    QString ServerObject;
    QString Database;
    QString DateFormat = QStringLiteral("dd/MM/yyyy");
    // A fixed "today" for batch runs and tests; unset means the system clock.
    std::optional<QDate> FixedToday;
};


// The context in force; setting it also applies the short-date format.
const THostContext &HostContext();
void SetHostContext(const THostContext &context);

// Another context in force for the scope's lifetime; the previous one comes back after it.
class THostContextScope {
public:
    explicit THostContextScope(const THostContext &context) : m_previous(HostContext()) { SetHostContext(context); }
    ~THostContextScope() { SetHostContext(m_previous); }
    THostContextScope(const THostContextScope &) = delete;
    THostContextScope &operator=(const THostContextScope &) = delete;

private:
    THostContext m_previous;
};

QString Operador();
bool ModuFili();
QString FiliProc();
QString WebURL();
int WebPort();
// Today's date (date part only) from the host's clock.
TDateTime Date();
TDateTime Now();
