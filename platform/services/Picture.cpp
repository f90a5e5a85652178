#include "services/Picture.h"
#include "data/Database.h"
#include "data/Exceptions.h"
#include <QSqlQuery>

TDBPicture::TDBPicture(QString mask) : m_mask(std::move(mask))
{
    const QString editMask = m_mask.section(QLatin1Char(';'), 0, 0);
    int run = 0;
    for (QChar c : editMask) {
        if (QStringLiteral("09#LlAaCc").contains(c)) {
            ++run;
        } else if (run > 0) {
            m_levelLengths << run;
            run = 0;
        }
    }
    if (run > 0)
        m_levelLengths << run;
}

int TDBPicture::CodeLength(int level) const
{
    int total = 0;
    for (int i = 0; i < level && i < m_levelLengths.size(); ++i)
        total += m_levelLengths[i];
    return total;
}

QString DBPict(int pictureType)
{
    TdtmDBGeral *db = TdtmDBGeral::Current();
    if (!db)
        throw EDatabaseError(QStringLiteral("Nenhum banco de dados conectado para ler a máscara %1.").arg(pictureType));
    TParams params;
    params.CreateParam(TParamType::Integer, QStringLiteral("TPPICTURE")).SetValue(pictureType);
    QSqlQuery q = RunStatement(db->Database(), QStringLiteral("SELECT DSPICTURE FROM PICTURE WHERE TPPICTURE = :TPPICTURE"), params,
                               QStringLiteral("DBPict"));
    if (!q.next())
        throw EDatabaseError(QStringLiteral("A máscara do tipo %1 não está cadastrada.").arg(pictureType));
    return q.value(0).toString();
}

TDBPicture DBPictObj(int pictureType) { return TDBPicture(DBPict(pictureType)); }
