// The host's login dialog with real widgets against a real application server.
#include "host/LoginDialog.h"
#include "services/MessagePresenter.h"
#include "TestSupport.h"
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

TEST(LoginDialog, RefusedLoginAsksAgainAcceptedLoginCloses)
{
    TTestDatabase data(TBackend::SQLite, 20);
    TServerProcess server(data.Target());
    TRecordingPresenter messages;
    TPresenterScope scope(messages);
    THostContext where;
    where.ServerHost = QStringLiteral("127.0.0.1");
    where.ServerPort = server.Port();
    where.ServerObject = QLatin1String(kServerObject);
    QStringList tried;
    auto check = [&](const QString &op, const QString &password) {
        tried << op;
        return TLoginDialog::ServerLogin(where, op, password);
    };

    TLoginDialog dialog(QStringLiteral("MARIA"), check);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.edtOperador->text(), QStringLiteral("MARIA"));
    EXPECT_EQ(dialog.edtSenha->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.btnOk->text(), QStringLiteral("OK"));
    EXPECT_EQ(dialog.btnCancelar->text(), QStringLiteral("Cancelar"));

    // A wrong password: the message, the dialog stays with the password cleared.
    QTest::keyClicks(dialog.edtSenha, QStringLiteral("errada"));
    QTest::mouseClick(dialog.btnOk, Qt::LeftButton);
    ASSERT_EQ(messages.Messages.size(), 1);
    EXPECT_TRUE(messages.Messages[0].contains(QStringLiteral("recusou o login do operador MARIA"))) << messages.Messages[0].toStdString();
    EXPECT_FALSE(messages.Messages[0].contains(QStringLiteral("errada")));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(dialog.edtSenha->text().isEmpty());

    // The right one, typed and confirmed with Enter.
    QTest::keyClicks(dialog.edtSenha, DemoPassword(QStringLiteral("MARIA")));
    QTest::keyClick(dialog.edtSenha, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Operator(), QStringLiteral("MARIA"));
    EXPECT_EQ(dialog.Password(), DemoPassword(QStringLiteral("MARIA")));
    EXPECT_EQ(tried.size(), 2);

    // Another operator typed in; an empty operator is asked for before any login.
    TLoginDialog other(QString(), check);
    other.show();
    QTest::mouseClick(other.btnOk, Qt::LeftButton);
    EXPECT_EQ(messages.Messages.last(), QStringLiteral("Informe o operador."));
    EXPECT_EQ(tried.size(), 2);
    QTest::keyClicks(other.edtOperador, QStringLiteral("ADMIN"));
    QTest::keyClicks(other.edtSenha, DemoPassword(QStringLiteral("ADMIN")));
    QTest::mouseClick(other.btnOk, Qt::LeftButton);
    EXPECT_EQ(other.result(), QDialog::Accepted);
    EXPECT_EQ(other.Operator(), QStringLiteral("ADMIN"));

    // "Cancelar" gives up without a login.
    TLoginDialog cancelled(QStringLiteral("MARIA"), check);
    cancelled.show();
    QTest::mouseClick(cancelled.btnCancelar, Qt::LeftButton);
    EXPECT_EQ(cancelled.result(), QDialog::Rejected);
    EXPECT_EQ(tried.size(), 3);
}
