// Layout files: read from a file with Load and from parsed JSON with FromJson. Anything that is not
// a sound layout is refused with EHostError; a layout that is read saves (ToJson) to one that reads
// back the same, as the layout editor relies on.
#include "data/Exceptions.h"
#include "FuzzSupport.h"
#include "report/ReportLayout.h"
#include <QJsonDocument>
#include <QJsonObject>

namespace {
void Refused(const EHostError &e)
{
    if (QString::fromUtf8(e.what()).isEmpty())
        Fuzz::Fail("layout refused without a reason");
}

void CheckSaved(const TReportLayout &layout)
{
    const QJsonObject saved = layout.ToJson();
    try {
        if (TReportLayout::FromJson(saved, QStringLiteral("saved")).ToJson() != saved)
            Fuzz::Fail("saved layout reads back different");
    } catch (const EHostError &) {
        Fuzz::Fail("saved layout does not read back");
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (doc.isObject()) {
        try {
            CheckSaved(TReportLayout::FromJson(doc.object(), QStringLiteral("fuzz")));
        } catch (const EHostError &e) {
            Refused(e);
        }
    }
    try {
        TReportLayout::Load(Fuzz::WriteScratch(bytes));
    } catch (const EHostError &e) {
        Refused(e);
    }
    return 0;
}
