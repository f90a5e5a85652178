// Saved criteria of the report base form: the screen's criteria stored per operator and
// screen on the application server, and applied back through the screen's own handlers.
#include "data/ClientDataSet.h"
#include "data/DataPacket.h"
#include "data/Exceptions.h"
#include "data/RemoteResult.h"
#include "forms/MailScheduleDialog.h"
#include "forms/ReportBaseForm.h"
#include "report/LayoutAsk.h"
#include "net/NetConnection.h"
#include "services/HostContext.h"
#include "services/MessagePresenter.h"
#include "ui/Events.h"
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {
const QString kDays = QStringLiteral("daysFromToday");

bool isIsoDate(const QJsonValue &v, QDate &date)
{
    static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!v.isString() || !iso.match(v.toString()).hasMatch())
        return false;
    date = QDate::fromString(v.toString(), Qt::ISODate);
    return date.isValid();
}

// Every date of the value, at any depth, as days from today.
QJsonValue relative(const QJsonValue &v, const QDate &today)
{
    QDate d;
    if (isIsoDate(v, d))
        return QJsonObject{{kDays, static_cast<double>(today.daysTo(d))}};
    if (v.isObject()) {
        QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            *it = relative(*it, today);
        return o;
    }
    if (v.isArray()) {
        QJsonArray a = v.toArray();
        for (qsizetype i = 0; i < a.size(); ++i)
            a[i] = relative(a[i], today);
        return a;
    }
    return v;
}

QJsonValue absolute(const QJsonValue &v, const QDate &today)
{
    if (v.isObject()) {
        QJsonObject o = v.toObject();
        if (o.size() == 1 && o.contains(kDays)) {
            const QJsonValue days = o.value(kDays);
            if (!days.isDouble() || days.toDouble() != static_cast<double>(static_cast<qint64>(days.toDouble())))
                throw EHostError(QStringLiteral("Critérios salvos inválidos: '%1' deve ser um número inteiro de dias.").arg(kDays));
            return today.addDays(static_cast<qint64>(days.toDouble())).toString(Qt::ISODate);
        }
        for (auto it = o.begin(); it != o.end(); ++it)
            *it = absolute(*it, today);
        return o;
    }
    if (v.isArray()) {
        QJsonArray a = v.toArray();
        for (qsizetype i = 0; i < a.size(); ++i)
            a[i] = absolute(a[i], today);
        return a;
    }
    return v;
}

// The save prompt: the name (one in use is offered for replacing), pinned dates, default.
class TSaveCriteriaDialog : public QDialog {
public:
    TSaveCriteriaDialog(const QList<TSavedCriteria> &sets, QWidget *parent) : QDialog(parent)
    {
        setObjectName(QStringLiteral("dlgSalvarCriterios"));
        setWindowTitle(QStringLiteral("Salvar critérios"));
        auto *form = new QFormLayout(this);
        name = new QComboBox(this);
        name->setObjectName(QStringLiteral("cbbNomeCriterios"));
        name->setEditable(true);
        for (const TSavedCriteria &s : sets)
            name->addItem(s.Name);
        name->setCurrentText(QString());
        pin = new QCheckBox(QStringLiteral("Fixar as datas (sem fixar, as datas acompanham o dia de hoje)"), this);
        pin->setObjectName(QStringLiteral("chkFixarDatas"));
        makeDefault = new QCheckBox(QStringLiteral("Aplicar estes critérios ao abrir a tela"), this);
        makeDefault->setObjectName(QStringLiteral("chkCriteriosPadrao"));
        form->addRow(QStringLiteral("Nome:"), name);
        form->addRow(pin);
        form->addRow(makeDefault);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        form->addRow(buttons);
    }
    QComboBox *name;
    QCheckBox *pin, *makeDefault;
};

// Pinned criteria keep the day a relative date answer ("endOfPreviousMonth") stands for today.
QJsonObject pinnedAnswers(QJsonObject criteria, const QDate &today)
{
    QJsonObject answers = criteria.value(QStringLiteral("layoutParams")).toObject();
    for (auto a = answers.begin(); a != answers.end(); ++a)
        if (a->isString() && RelativeDateWords().contains(a->toString()))
            *a = ResolveDate(a->toString(), today).toString(Qt::ISODate);
    if (!answers.isEmpty())
        criteria[QStringLiteral("layoutParams")] = answers;
    return criteria;
}
} // namespace

QJsonObject TfrmDadosGerRel::StoredCriteria(const QJsonObject &criteria, bool pinDates, const QDate &today)
{
    return {{QStringLiteral("version"), 1},
            {QStringLiteral("pinnedDates"), pinDates},
            {QStringLiteral("criteria"), pinDates ? QJsonValue(pinnedAnswers(criteria, today)) : relative(criteria, today)}};
}

QJsonObject TfrmDadosGerRel::CriteriaOfStored(const QJsonObject &stored, const QDate &today)
{
    if (stored.value(QStringLiteral("version")).toInt() != 1 || !stored.value(QStringLiteral("criteria")).isObject())
        throw EHostError(QStringLiteral("Critérios salvos inválidos: o registro não traz a versão 1 com o objeto \"criteria\"."));
    return absolute(stored.value(QStringLiteral("criteria")), today).toObject();
}

QStringList TfrmDadosGerRel::ApplyCriteriaJson(const QJsonObject &)
{
    throw EHostError(QStringLiteral("A tela %1 não restaura critérios.").arg(m_screenCode));
}

QVariant TfrmDadosGerRel::CallCriteria(const QString &method, const QVariantList &args)
{
    TNetConnection *net = CriteriaServer();
    if (!net)
        throw EHostError(QStringLiteral("A tela %1 não guarda critérios.").arg(m_screenCode));
    std::vector<TCallArg> callArgs;
    for (const QVariant &a : args)
        callArgs.emplace_back(a);
    const QVariant result = net->AppServer().Call(method, std::move(callArgs));
    if (IsRemoteFailure(result))
        throw EHostError(ToRemoteFailure(result).Message);
    return result;
}

QList<TSavedCriteria> TfrmDadosGerRel::SavedCriteria()
{
    TClientDataSet sets(QStringLiteral("cdsCriterios"));
    sets.SetData(CallCriteria(QStringLiteral("GetCriterios"), {m_screenCode, Operador()}));
    QList<TSavedCriteria> out;
    for (sets.First(); !sets.Eof(); sets.Next())
        out.push_back({sets.FieldByName(QStringLiteral("NMCRITERIO")).AsString(), sets.FieldByName(QStringLiteral("IDPADRAO")).AsString() == QStringLiteral("S"),
                       sets.FieldByName(QStringLiteral("DTGRAVACAO")).AsString()});
    return out;
}

void TfrmDadosGerRel::SaveCriteria(const QString &name, bool pinDates, bool makeDefault)
{
    const QJsonObject stored = StoredCriteria(CriteriaJson(), pinDates, DateTimeToDate(Date()));
    CallCriteria(QStringLiteral("SetCriterio"),
                 {m_screenCode, Operador(), name, QString::fromUtf8(QJsonDocument(stored).toJson(QJsonDocument::Compact)), QVariant(makeDefault)});
}

QStringList TfrmDadosGerRel::LoadCriteria(const QString &name)
{
    const QString text = CallCriteria(QStringLiteral("GetCriterio"), {m_screenCode, Operador(), name}).toString();
    QJsonParseError perr{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &perr);
    if (perr.error != QJsonParseError::NoError || !doc.isObject())
        throw EHostError(QStringLiteral("Os critérios \"%1\" gravados no banco não são um JSON válido; salve-os de novo.").arg(name));
    const QStringList missed = ApplyCriteriaJson(CriteriaOfStored(doc.object(), DateTimeToDate(Date())));
    if (!missed.isEmpty())
        MessagePresenter().ShowError(QStringLiteral("Os critérios \"%1\" foram carregados, mas não foi possível restaurar:\n- %2")
                                         .arg(name, missed.join(QStringLiteral("\n- "))));
    return missed;
}

void TfrmDadosGerRel::DeleteCriteria(const QString &name) { CallCriteria(QStringLiteral("DelCriterio"), {m_screenCode, Operador(), name}); }

void TfrmDadosGerRel::SetDefaultCriteria(const QString &name) { CallCriteria(QStringLiteral("SetCriterioPadrao"), {m_screenCode, Operador(), name}); }

TCriteriaAnswer TfrmDadosGerRel::AskCriteria(bool saving, const QList<TSavedCriteria> &sets)
{
    if (!CriteriaAnswers.isEmpty())
        return CriteriaAnswers.takeFirst();
    if (!TReportDesignerDialog::Interactive())
        return {};
    if (saving) {
        TSaveCriteriaDialog dialog(sets, this);
        if (dialog.exec() != QDialog::Accepted)
            return {};
        const QString name = dialog.name->currentText().trimmed();
        if (name.isEmpty())
            throw EHostError(QStringLiteral("Informe o nome dos critérios; eles não foram salvos."));
        return {name, dialog.pin->isChecked(), dialog.makeDefault->isChecked()};
    }
    QStringList names;
    for (const TSavedCriteria &s : sets)
        names << s.Name;
    bool ok = false;
    const QString name = QInputDialog::getItem(this, QStringLiteral("Carregar critérios"), QStringLiteral("Critérios salvos:"), names, 0, false, &ok);
    return ok ? TCriteriaAnswer{name} : TCriteriaAnswer{};
}

void TfrmDadosGerRel::SalvarCriteriosClick()
{
    const TCriteriaAnswer answer = AskCriteria(true, SavedCriteria());
    if (answer.Name.trimmed().isEmpty())
        return;
    SaveCriteria(answer.Name.trimmed(), answer.PinDates, answer.MakeDefault);
}

void TfrmDadosGerRel::CarregarCriteriosClick()
{
    const QList<TSavedCriteria> sets = SavedCriteria();
    if (sets.isEmpty())
        throw EHostError(QStringLiteral("Não há critérios salvos nesta tela para o operador %1.").arg(Operador()));
    const TCriteriaAnswer answer = AskCriteria(false, sets);
    if (!answer.Name.isEmpty())
        LoadCriteria(answer.Name);
}

void TfrmDadosGerRel::ExcluirCriteriosClick()
{
    const QList<TSavedCriteria> sets = SavedCriteria();
    if (sets.isEmpty())
        throw EHostError(QStringLiteral("Não há critérios salvos nesta tela para o operador %1.").arg(Operador()));
    const TCriteriaAnswer answer = AskCriteria(false, sets);
    if (!answer.Name.isEmpty())
        DeleteCriteria(answer.Name);
}

void TfrmDadosGerRel::AgendarEnvioClick()
{
    const QList<TSavedCriteria> sets = SavedCriteria();
    if (sets.isEmpty())
        throw EHostError(QStringLiteral("Não há critérios salvos nesta tela para o operador %1; salve-os em \"Salvar critérios...\" e agende o envio deles.")
                             .arg(Operador()));
    if (!MailScheduleScript && !TReportDesignerDialog::Interactive())
        return;
    QStringList names;
    QString chosen;
    for (const TSavedCriteria &s : sets) {
        names << s.Name;
        if (s.Default)
            chosen = s.Name;
    }
    TMailScheduleDialog dialog(m_screenCode, names, chosen, HostContext(), this);
    if (MailScheduleScript) {
        dialog.show();
        MailScheduleScript(dialog);
    } else {
        dialog.exec();
    }
}

void TfrmDadosGerRel::ApplyDefaultCriteria()
{
    if (!CriteriaServer())
        return;
    // A default that fails to load leaves the screen open with what FormActivate set.
    FireEvent([this] {
        for (const TSavedCriteria &s : SavedCriteria())
            if (s.Default) {
                LoadCriteria(s.Name);
                return;
            }
    });
}
