#include "host/LoginDialog.h"
#include "data/Exceptions.h"
#include "net/NetConnection.h"
#include "services/MessagePresenter.h"
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TLoginDialog::TLoginDialog(const QString &op, TCheck check, QWidget *parent) : QDialog(parent), m_check(std::move(check))
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Entrar no sistema"));
    auto *form = new QFormLayout;
    edtOperador = new QLineEdit(op, this);
    edtOperador->setObjectName(QStringLiteral("edtOperador"));
    edtOperador->setMaxLength(12);
    edtSenha = new QLineEdit(this);
    edtSenha->setObjectName(QStringLiteral("edtSenha"));
    edtSenha->setEchoMode(QLineEdit::Password);
    edtSenha->setMaxLength(256);
    form->addRow(QStringLiteral("Operador:"), edtOperador);
    form->addRow(QStringLiteral("Senha:"), edtSenha);
    auto *buttons = new QDialogButtonBox(this);
    btnOk = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancelar = buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    btnCancelar->setObjectName(QStringLiteral("btnCancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TLoginDialog::TryLogin);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    (op.isEmpty() ? edtOperador : edtSenha)->setFocus();
}

QString TLoginDialog::Operator() const { return edtOperador->text().trimmed(); }
QString TLoginDialog::Password() const { return edtSenha->text(); }

void TLoginDialog::TryLogin()
{
    if (Operator().isEmpty()) {
        MessagePresenter().ShowError(QStringLiteral("Informe o operador."));
        edtOperador->setFocus();
        return;
    }
    const QString refused = m_check(Operator(), Password());
    if (refused.isEmpty()) {
        accept();
        return;
    }
    MessagePresenter().ShowError(refused);
    edtSenha->clear();
    edtSenha->setFocus();
}

QString TLoginDialog::ServerLogin(const THostContext &server, const QString &op, const QString &password, QString *ticket)
{
    THostContext context;
    context.ServerHost = server.ServerHost;
    context.ServerPort = server.ServerPort;
    context.ServerObject = server.ServerObject;
    context.Operator = op;
    context.Password = password;
    try {
        OpenHostSession(context);
    } catch (const EHostError &e) {
        return e.Message();
    }
    if (ticket)
        *ticket = context.SessionTicket;
    return {};
}

void OpenHostSession(THostContext &context)
{
    if (context.ServerObject.isEmpty())
        throw EHostError(QStringLiteral("Nenhum módulo carregado informa o objeto do servidor de aplicação; o login não pode ser feito."));
    TNetConnection login(QStringLiteral("login"));
    login.ServerName = context.ServerObject;
    login.Host = context.ServerHost;
    login.Port = context.ServerPort;
    login.Operator = context.Operator;
    login.Password = context.Password;
    login.Open();
    context.SessionTicket = login.SessionTicket;
}
