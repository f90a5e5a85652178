#include "report/ReportSearch.h"
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QTextItem>
#include <algorithm>
#include <climits>
#include <tuple>
#include <vector>

namespace {
// One text item as the painter handed it to the device.
struct TPrinted {
    int Page;
    QPointF Origin; // start of the baseline
    double Ascent, Descent;
    QString Text;
    QFont Font;
};

// An engine that draws nothing and keeps the text items painted.
class TTextEngine : public QPaintEngine {
public:
    TTextEngine(std::vector<TPrinted> &out, const int &page) : QPaintEngine(QPaintEngine::AllFeatures), m_out(out), m_page(page) {}
    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &state) override
    {
        if (state.state() & QPaintEngine::DirtyTransform)
            m_transform = state.transform();
    }
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        if (!item.text().isEmpty())
            m_out.push_back({m_page, m_transform.map(p), item.ascent(), item.descent(), item.text(), item.font()});
    }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawImage(const QRectF &, const QImage &, const QRectF &, Qt::ImageConversionFlags) override {}
    void drawPath(const QPainterPath &) override {}
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint *, int, PolygonDrawMode) override {}
    void drawLines(const QLineF *, int) override {}
    void drawLines(const QLine *, int) override {}
    void drawRects(const QRectF *, int) override {}
    void drawRects(const QRect *, int) override {}
    void drawPoints(const QPointF *, int) override {}
    void drawPoints(const QPoint *, int) override {}
    void drawEllipse(const QRectF &) override {}
    Type type() const override { return QPaintEngine::User; }

private:
    std::vector<TPrinted> &m_out;
    const int &m_page;
    QTransform m_transform;
};

// A page of the paginator's size and resolution that only keeps its texts.
class TTextDevice : public QPaintDevice {
public:
    TTextDevice(const QPageLayout &area, int resolution, std::vector<TPrinted> &out)
        : m_size(area.paintRectPixels(resolution).size()), m_resolution(resolution), m_engine(out, Page)
    {
    }
    QPaintEngine *paintEngine() const override { return &m_engine; }
    int Page = 0;

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth: return m_size.width();
        case PdmHeight: return m_size.height();
        case PdmWidthMM: return qRound(m_size.width() * 25.4 / m_resolution);
        case PdmHeightMM: return qRound(m_size.height() * 25.4 / m_resolution);
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY: return m_resolution;
        case PdmNumColors: return INT_MAX;
        case PdmDepth: return 32;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
        default: return QPaintDevice::metric(m);
        }
    }

private:
    QSize m_size;
    int m_resolution;
    mutable TTextEngine m_engine;
};
} // namespace

struct TReportFinder::Impl {
    std::vector<TPrinted> Texts;
    std::unique_ptr<TTextDevice> Device;
};

TReportFinder::TReportFinder(TReportPaginator &pages, const TReportProgress &progress) : d(std::make_unique<Impl>())
{
    // The texts in the coordinates the rows are laid out in, as the spots are.
    d->Device = std::make_unique<TTextDevice>(pages.LayoutArea(), pages.Resolution(), d->Texts);
    QPainter painter;
    pages.PaintAll(
        [&](int page) -> QPainter & {
            d->Device->Page = page;
            if (!painter.isActive())
                painter.begin(d->Device.get());
            return painter;
        },
        progress);
    painter.end();
}

TReportFinder::~TReportFinder() = default;

QVector<TTextMatch> TReportFinder::Find(const QString &text) const
{
    struct TFound {
        TTextMatch Match;
        qint64 Line; // the baseline, rounded: texts of one printed line share it
    };
    std::vector<TFound> found;
    if (text.isEmpty())
        return {};
    for (const TPrinted &t : d->Texts) {
        const QFontMetricsF metrics(t.Font, d->Device.get());
        for (qsizetype at = t.Text.indexOf(text, 0, Qt::CaseInsensitive); at >= 0; at = t.Text.indexOf(text, at + text.size(), Qt::CaseInsensitive)) {
            const double x = t.Origin.x() + metrics.horizontalAdvance(t.Text.left(at));
            const double w = metrics.horizontalAdvance(t.Text.mid(at, text.size()));
            found.push_back({{t.Page, QRectF(x, t.Origin.y() - t.Ascent, w, t.Ascent + t.Descent)}, qRound64(t.Origin.y())});
        }
    }
    // In reading order: page, line, then from the left.
    std::stable_sort(found.begin(), found.end(), [](const TFound &a, const TFound &b) {
        return std::tuple(a.Match.Page, a.Line, a.Match.Rect.left()) < std::tuple(b.Match.Page, b.Line, b.Match.Rect.left());
    });
    QVector<TTextMatch> out;
    out.reserve(static_cast<qsizetype>(found.size()));
    for (const TFound &f : found)
        out.push_back(f.Match);
    return out;
}

QVector<std::pair<int, int>> TReportFinder::PerPage(const QVector<TTextMatch> &matches)
{
    QVector<std::pair<int, int>> pages;
    for (const TTextMatch &m : matches) {
        if (pages.isEmpty() || pages.last().first != m.Page)
            pages.push_back({m.Page, 0});
        ++pages.last().second;
    }
    return pages;
}
