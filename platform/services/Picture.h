#pragma once
#include <QString>
#include <QVector>

// A hierarchical code picture such as "9.99.999": each group of digit
// placeholders is one level of the code.
class TDBPicture {
public:
    explicit TDBPicture(QString mask = {});
    const QString &Mask() const { return m_mask; }
    int GetTtNiveis() const { return static_cast<int>(m_levelLengths.size()); }
    // Number of code characters up to and including the given level (1-based).
    int CodeLength(int level) const;

private:
    QString m_mask;
    QVector<int> m_levelLengths;
};

// Picture of a picture type, read from the business database (16: client-activity tree).
QString DBPict(int pictureType);
TDBPicture DBPictObj(int pictureType);
