#include "ReportPages.h"
#include "Exceptions.h"
#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

namespace {
QString countText(qint64 n) { return n == 1 ? QStringLiteral("1 registro") : QStringLiteral("%1 registros").arg(n); }

QFont reportFont(double points, bool bold = false)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// Places the report's items on pages. Without a painter it only counts the pages.
class TPageLayouter : public TReportSink {
public:
    TPageLayouter(const TReportLayout &layout, const TReportHeader &header, QPaintDevice &device, QPainter *painter, int totalPages)
        : m_layout(layout), m_header(header), m_device(device), m_painter(painter), m_totalPages(totalPages),
          m_body(reportFont(7.5)), m_bold(reportFont(7.5, true)), m_group(reportFont(8.5, true)), m_title(reportFont(12, true)),
          m_small(reportFont(8))
    {
        m_width = device.width();
        m_height = device.height();
        m_row = QFontMetricsF(m_body, &device).height() * 1.35;
        if (!layout.Chart.Class.isEmpty()) {
            m_pareto = true;
            m_classCol = layout.ColumnIndex(layout.Chart.Class);
            m_valueCol = layout.ColumnIndex(layout.Chart.Value);
            m_cumulativeCol = layout.ColumnIndex(layout.Chart.Cumulative);
        }
        m_pad = QFontMetricsF(m_body, &device).averageCharWidth() * 0.6;
        double sum = 0;
        for (const auto &c : layout.Columns)
            sum += c.Width;
        double x = 0;
        for (const auto &c : layout.Columns) {
            const double w = c.Width / sum * m_width;
            m_cols.push_back({x, w});
            x += w;
        }
    }

    void GroupHeader(int level, const QString &text) override
    {
        const double h = m_row * 1.5;
        NeedSpace(h + m_row);
        if (m_painter) {
            m_painter->setFont(m_group);
            m_painter->drawText(QRectF(level * m_pad * 4, m_y + m_row * 0.3, m_width, h - m_row * 0.3), Qt::AlignLeft | Qt::AlignVCenter, text);
        }
        m_y += h;
    }

    void Row(const QVector<QVariant> &keys, const QVector<QVariant> &values) override
    {
        if (m_pareto) {
            m_groupKey = keys.value(0).toString();
            const QString cls = values[m_classCol].toString().trimmed();
            const double v = ReportNumber(values[m_valueCol]);
            ClassStats &st = m_classes[cls == QStringLiteral("A") ? 0 : cls == QStringLiteral("B") ? 1 : cls == QStringLiteral("C") ? 2 : 3];
            ++st.Count;
            st.Value += v;
            m_points.push_back({v, ReportNumber(values[m_cumulativeCol]), cls});
        }
        NeedSpace(m_row);
        if (m_painter) {
            m_painter->setFont(m_body);
            for (int c = 0; c < values.size(); ++c)
                Cell(c, DisplayText(m_layout.Columns[c].Format, values[c]), m_layout.Columns[c].Align);
        }
        m_y += m_row;
        ++m_rows;
    }

    void GroupFooter(int level, const QString &caption, const QVector<double> &sums, qint64 count) override
    {
        SumLine(caption + QStringLiteral(" (") + countText(count) + QStringLiteral(")"), sums, level * m_pad * 4, false);
        if (m_pareto && level == 0) {
            Pareto();
            m_points.clear();
            for (ClassStats &c : m_classes)
                c = {};
        }
    }

    void Totals(const QVector<double> &sums, qint64 count) override
    {
        if (count == 0) {
            NeedSpace(m_row * 2);
            if (m_painter) {
                m_painter->setFont(m_body);
                m_painter->drawText(QRectF(0, m_y + m_row * 0.5, m_width, m_row), Qt::AlignLeft | Qt::AlignVCenter,
                                    QStringLiteral("Nenhum registro encontrado para os critérios informados."));
            }
            m_y += m_row * 2;
            return;
        }
        if (!m_layout.TotalCaption.isEmpty())
            SumLine(m_layout.TotalCaption + QStringLiteral(" (") + countText(count) + QStringLiteral(")"), sums, 0, true);
        if (!m_layout.ShareOf.isEmpty()) {
            const QVector<double> shares = TotalShares(m_layout, sums);
            NeedSpace(m_row);
            if (m_painter) {
                m_painter->setFont(m_bold);
                m_painter->drawText(QRectF(m_pad, m_y, m_width, m_row), Qt::AlignLeft | Qt::AlignVCenter, m_layout.ShareCaption);
                for (int c = 0; c < shares.size(); ++c)
                    if (m_layout.Columns[c].Total)
                        Cell(c, AmountText(shares[c]) + QStringLiteral(" %"), Qt::AlignRight);
            }
            m_y += m_row;
        }
    }

    int Pages() const { return m_page; }
    int PagesSoFar() const override { return m_page; }
    qint64 Rows() const { return m_rows; }

private:
    struct Col {
        double X, W;
    };
    struct ClassStats {
        qint64 Count = 0;
        double Value = 0;
    };
    struct Point {
        double Value, Cumulative;
        QString Class;
    };

    // Count, value and share per class, then the chart: bars of value, the
    // cumulative share as a line and the class limits marked.
    void Pareto()
    {
        const double total = m_header.GroupTotals.value(m_groupKey, 0.0);
        const double chartH = m_height * 0.32;
        NeedSpace(m_row * 6.5 + chartH);
        if (!m_painter) {
            m_y += m_row * 6.5 + chartH;
            return;
        }
        static const char *const names[] = {"A", "B", "C", "Sem classe"};
        static const QColor colors[] = {QColor(31, 78, 121), QColor(84, 130, 53), QColor(191, 144, 0), QColor(150, 150, 150)};
        m_y += m_row * 0.5;
        m_painter->setFont(m_bold);
        const double w = m_width / 5;
        const QStringList heads = {QStringLiteral("Classe"), QStringLiteral("Quantidade"), QStringLiteral("Valor"), QStringLiteral("Participação")};
        for (int i = 0; i < heads.size(); ++i)
            m_painter->drawText(QRectF(i * w, m_y, w - m_pad, m_row), (i ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, heads[i]);
        m_y += m_row;
        m_painter->setFont(m_body);
        for (int c = 0; c < 4; ++c) {
            if (c == 3 && m_classes[3].Count == 0)
                continue;
            m_painter->fillRect(QRectF(0, m_y + m_row * 0.25, m_row * 0.5, m_row * 0.5), colors[c]);
            m_painter->drawText(QRectF(m_row * 0.8, m_y, w, m_row), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(names[c]));
            m_painter->drawText(QRectF(w, m_y, w - m_pad, m_row), Qt::AlignRight | Qt::AlignVCenter, QString::number(m_classes[c].Count));
            m_painter->drawText(QRectF(2 * w, m_y, w - m_pad, m_row), Qt::AlignRight | Qt::AlignVCenter, AmountText(m_classes[c].Value));
            const QString share = total != 0 ? AmountText(m_classes[c].Value / total * 100) + QStringLiteral(" %") : QString();
            m_painter->drawText(QRectF(3 * w, m_y, w - m_pad, m_row), Qt::AlignRight | Qt::AlignVCenter, share);
            m_y += m_row;
        }
        m_y += m_row * 0.5;

        // The chart, at most 120 bars: larger curves are drawn in buckets of neighbouring rows.
        const QRectF area(m_pad * 10, m_y, m_width - m_pad * 32, chartH - m_row);
        m_painter->setPen(QPen(Qt::gray, 1));
        m_painter->drawRect(area);
        const int n = static_cast<int>(m_points.size());
        const int bars = std::min(n, 120);
        double maxBar = 0;
        std::vector<double> heights(static_cast<size_t>(bars), 0.0), cumulative(static_cast<size_t>(bars), 0.0);
        std::vector<QString> classes(static_cast<size_t>(bars));
        for (int b = 0; b < bars; ++b) {
            const int from = static_cast<int>(static_cast<qint64>(b) * n / bars), to = static_cast<int>(static_cast<qint64>(b + 1) * n / bars);
            double sum = 0;
            for (int i = from; i < to; ++i)
                sum += m_points[static_cast<size_t>(i)].Value;
            heights[static_cast<size_t>(b)] = sum / std::max(1, to - from);
            cumulative[static_cast<size_t>(b)] = total != 0 ? m_points[static_cast<size_t>(to - 1)].Cumulative / total * 100 : 0;
            classes[static_cast<size_t>(b)] = m_points[static_cast<size_t>(from)].Class;
            maxBar = std::max(maxBar, heights[static_cast<size_t>(b)]);
        }
        const double bw = bars ? area.width() / bars : 0;
        for (int b = 0; b < bars && maxBar > 0; ++b) {
            const double h = heights[static_cast<size_t>(b)] / maxBar * area.height();
            const QString &cls = classes[static_cast<size_t>(b)];
            const int ci = cls == QStringLiteral("A") ? 0 : cls == QStringLiteral("B") ? 1 : cls == QStringLiteral("C") ? 2 : 3;
            m_painter->fillRect(QRectF(area.left() + b * bw + bw * 0.1, area.bottom() - h, bw * 0.8, h), colors[ci]);
        }
        // Class limits at their cumulative percentages.
        double limit = 0;
        m_painter->setFont(m_small);
        for (int c = 0; c < 3; ++c) {
            limit += m_header.Limits[c];
            const double y = area.bottom() - std::min(limit, 100.0) / 100 * area.height();
            m_painter->setPen(QPen(colors[c], 1, Qt::DashLine));
            m_painter->drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
            m_painter->drawText(QRectF(area.right() + m_pad, y - m_row / 2, m_pad * 20, m_row), Qt::AlignLeft | Qt::AlignVCenter,
                                QStringLiteral("%1 %2%").arg(QLatin1String(names[c])).arg(limit, 0, 'f', 0));
        }
        // The cumulative share.
        m_painter->setPen(QPen(Qt::black, 2));
        QPointF last(area.left(), area.bottom());
        for (int b = 0; b < bars; ++b) {
            const QPointF p(area.left() + (b + 1) * bw, area.bottom() - std::min(cumulative[static_cast<size_t>(b)], 100.0) / 100 * area.height());
            m_painter->drawLine(last, p);
            last = p;
        }
        m_painter->setPen(Qt::black);
        m_painter->drawText(QRectF(0, area.top(), m_pad * 9.5, m_row), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("100%"));
        m_painter->drawText(QRectF(0, area.bottom() - m_row, m_pad * 9.5, m_row), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0%"));
        m_y += chartH;
    }

    void Cell(int c, const QString &text, Qt::Alignment align)
    {
        const QRectF r(m_cols[c].X + m_pad, m_y, m_cols[c].W - 2 * m_pad, m_row);
        const QString shown = m_painter->fontMetrics().horizontalAdvance(text) > r.width()
                                  ? QFontMetricsF(m_painter->font(), &m_device).elidedText(text, Qt::ElideRight, r.width())
                                  : text;
        m_painter->drawText(r, align | Qt::AlignVCenter, shown);
    }

    void SumLine(const QString &caption, const QVector<double> &sums, double indent, bool grand)
    {
        const double h = m_row * (grand ? 1.6 : 1.3);
        NeedSpace(h);
        if (m_painter) {
            const double top = m_y + m_row * 0.15;
            m_painter->setPen(QPen(Qt::black, grand ? 2.0 : 1.0));
            for (int c = 0; c < sums.size(); ++c)
                if (m_layout.Columns[c].Total)
                    m_painter->drawLine(QPointF(m_cols[c].X + m_pad, top), QPointF(m_cols[c].X + m_cols[c].W - m_pad, top));
            m_painter->setPen(Qt::black);
            m_painter->setFont(m_bold);
            const double y = m_y;
            m_y = top + m_row * 0.1;
            // The caption runs over the columns up to the first sum.
            double captionEnd = m_width;
            for (int c = 0; c < sums.size(); ++c)
                if (m_layout.Columns[c].Total) {
                    captionEnd = m_cols[c].X;
                    break;
                }
            const QRectF cr(indent + m_pad, m_y, std::max(captionEnd - indent - m_pad, m_width * 0.2), m_row);
            m_painter->drawText(cr, Qt::AlignLeft | Qt::AlignVCenter,
                                QFontMetricsF(m_bold, &m_device).elidedText(caption, Qt::ElideRight, cr.width()));
            for (int c = 0; c < sums.size(); ++c)
                if (m_layout.Columns[c].Total)
                    Cell(c, DisplayText(m_layout.Columns[c].Format, sums[c]), Qt::AlignRight);
            m_y = y;
        }
        m_y += h;
    }

    void NeedSpace(double h)
    {
        if (m_page == 0 || m_y + h > m_height)
            NewPage();
    }

    void NewPage()
    {
        if (m_painter && m_page > 0)
            static_cast<QPagedPaintDevice &>(m_device).newPage();
        ++m_page;
        m_y = 0;
        const QFontMetricsF title(m_title, &m_device), small(m_small, &m_device);
        const double titleH = title.height() * 1.2, smallH = small.height() * 1.3;
        if (m_painter) {
            m_painter->setPen(Qt::black);
            m_painter->setFont(m_title);
            m_painter->drawText(QRectF(0, 0, m_width * 0.75, titleH), Qt::AlignLeft | Qt::AlignVCenter, m_layout.Title);
            m_painter->setFont(m_small);
            const QString pages = m_totalPages > 0 ? QStringLiteral("Página %1 de %2").arg(m_page).arg(m_totalPages)
                                                   : QStringLiteral("Página %1").arg(m_page);
            m_painter->drawText(QRectF(0, 0, m_width, titleH), Qt::AlignRight | Qt::AlignVCenter, pages);
            const QString left = m_header.Subtitle.isEmpty() ? m_header.Company : m_header.Company + QStringLiteral("  ·  ") + m_header.Subtitle;
            m_painter->drawText(QRectF(0, titleH, m_width * 0.75, smallH), Qt::AlignLeft | Qt::AlignVCenter,
                                QFontMetricsF(m_small, &m_device).elidedText(left, Qt::ElideRight, m_width * 0.75));
            m_painter->drawText(QRectF(0, titleH, m_width, smallH), Qt::AlignRight | Qt::AlignVCenter,
                                QStringLiteral("Emissão: ") + m_header.Emission.toString(QStringLiteral("dd/MM/yyyy HH:mm")));
            m_painter->setPen(QPen(Qt::black, 2.0));
            m_painter->drawLine(QPointF(0, titleH + smallH + 2), QPointF(m_width, titleH + smallH + 2));
            m_painter->setPen(Qt::black);
        }
        m_y = titleH + smallH + m_row * 0.4;
        if (m_page == 1 && !m_header.CriteriaLines.isEmpty()) {
            if (m_painter) {
                m_painter->setFont(m_bold);
                m_painter->drawText(QRectF(0, m_y, m_width, m_row), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Opções de Emissão"));
                m_painter->setFont(m_body);
                for (int i = 0; i < m_header.CriteriaLines.size(); ++i)
                    m_painter->drawText(QRectF(m_pad * 2, m_y + m_row * (i + 1), m_width - m_pad * 2, m_row), Qt::AlignLeft | Qt::AlignVCenter,
                                        QFontMetricsF(m_body, &m_device).elidedText(m_header.CriteriaLines[i], Qt::ElideRight, m_width - m_pad * 2));
            }
            m_y += m_row * (m_header.CriteriaLines.size() + 1.5);
        }
        if (m_painter) {
            m_painter->fillRect(QRectF(0, m_y, m_width, m_row * 1.2), QColor(225, 225, 225));
            m_painter->setFont(m_bold);
            const double y = m_y;
            m_y += m_row * 0.1;
            for (int c = 0; c < m_layout.Columns.size(); ++c)
                Cell(c, m_layout.Columns[c].Caption, m_layout.Columns[c].Align);
            m_y = y;
        }
        m_y += m_row * 1.4;
    }

    const TReportLayout &m_layout;
    const TReportHeader &m_header;
    QPaintDevice &m_device;
    QPainter *m_painter;
    int m_totalPages;
    QFont m_body, m_bold, m_group, m_title, m_small;
    double m_width = 0, m_height = 0, m_row = 0, m_pad = 0, m_y = 0;
    std::vector<Col> m_cols;
    int m_page = 0;
    qint64 m_rows = 0;
    bool m_pareto = false;
    int m_classCol = 0, m_valueCol = 0, m_cumulativeCol = 0;
    QString m_groupKey;
    ClassStats m_classes[4];
    std::vector<Point> m_points;
};
} // namespace

void SetupPage(const TReportLayout &layout, QPagedPaintDevice &device)
{
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), layout.Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                     QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
}

TPagesResult PaintReport(const TReportLayout &layout, const TReportHeader &header, const TRowsFactory &rows, QPagedPaintDevice *device,
                         const TReportProgress &progress)
{
    // Page count on a writer of the same page and resolution, painting nothing.
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QPdfWriter measure(&sink);
    measure.setResolution(device ? device->logicalDpiX() : 300);
    measure.setPageLayout(device ? device->pageLayout() : QPageLayout());
    if (!device)
        SetupPage(layout, measure);
    TPageLayouter counter(layout, header, measure, nullptr, 0);
    {
        auto r = rows();
        WalkReport(layout, *r, counter, progress);
    }
    if (!device)
        return {counter.Rows(), counter.Pages()};

    QPainter painter;
    if (!painter.begin(device))
        throw EHostError(QStringLiteral("Não foi possível começar a impressão do relatório '%1'.").arg(layout.Title));
    TPageLayouter pages(layout, header, *device, &painter, counter.Pages());
    auto r = rows();
    WalkReport(layout, *r, pages, progress);
    painter.end();
    return {pages.Rows(), pages.Pages()};
}
