#pragma once
#include "services/HostContext.h"
#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;

// Asks the operator and password before the host opens; "OK" tries the login and
// a refused one shows its message and asks again.
class TLoginDialog : public QDialog {
    Q_OBJECT
public:
    // Returns empty when the login is accepted, otherwise the message to show.
    using TCheck = std::function<QString(const QString &op, const QString &password)>;
    TLoginDialog(const QString &op, TCheck check, QWidget *parent = nullptr);

    QString Operator() const;
    QString Password() const;

    // Tries a login on the application server; empty when accepted, else why not.
    // An accepted login's session ticket goes to ticket.
    static QString ServerLogin(const THostContext &server, const QString &op, const QString &password, QString *ticket = nullptr);

    QLineEdit *edtOperador;
    QLineEdit *edtSenha;
    QPushButton *btnOk;
    QPushButton *btnCancelar;

private:
    void TryLogin();
    TCheck m_check;
};

// Logs the context's operator in on the context's server object with the context's password and
// keeps the session's ticket in the context, so that the screens' connections log in with it.
// Raises EHostError with the server's reason.
void OpenHostSession(THostContext &context);
