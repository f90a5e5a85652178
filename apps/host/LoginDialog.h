#pragma once
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
    static QString ServerLogin(const QString &host, int port, const QString &op, const QString &password);

    QLineEdit *edtOperador;
    QLineEdit *edtSenha;
    QPushButton *btnOk;
    QPushButton *btnCancelar;

private:
    void TryLogin();
    TCheck m_check;
};
