#include "report/ReportPages.h"
#include "data/Exceptions.h"
#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace {
QString countText(qint64 n) { return n == 1 ? QStringLiteral("1 registro") : QStringLiteral("%1 registros").arg(n); }

QFont reportFont(double points, bool bold = false)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

struct ClassStats {
    qint64 Count = 0;
    double Value = 0;
};

// A Pareto section's figures, taken from its group's rows when the pages are counted.
struct TChart {
    double Total = 0;
    ClassStats Classes[4];
    std::vector<double> Heights, Cumulative;
    std::vector<QString> BarClass;
};

// Where the layout stands at the start of a row: what a page needs to be laid out again from there.
struct TLayoutPoint {
    double Y = 0;
    int Page = 0;
    qint64 Rows = 0;
    int Chart = 0;
};

// Where a page starts: the start of the row whose events open it.
struct TPageMark {
    TLayoutPoint At;
    TWalkState Walk;
};

// What the counting pass notes for opening printed rows: the spots of each page and the rows' keys.
struct TSpotBook {
    std::vector<QVector<TReportSpot>> Pages;
    std::vector<QVariant> Keys; // the key fields' values, row after row
};

// Thrown to stop a walk once the page asked for is painted.
struct TPageDone {};

// Gives the painter for a page about to start (from 1), or none when that page is only laid out.
using TPageTurn = std::function<QPainter *(int page)>;

// Places the report's items on pages. Counting, it notes where each page starts and
// the Pareto sections' figures; painting, it paints the pages its page turn gives a painter for.
class TPageLayouter : public TReportSink {
public:
    TPageLayouter(const TReportLayout &layout, const TReportHeader &header, QPaintDevice &device, int totalPages, std::vector<TChart> &charts,
                  std::vector<TPageMark> *marks, TPageTurn turn, TSpotBook *book = nullptr)
        : m_layout(layout), m_header(header), m_device(device), m_totalPages(totalPages), m_charts(charts), m_marks(marks), m_turn(std::move(turn)),
          m_book(book), m_openHeader(layout.Groups.size(), -1), m_openKeyed(layout.Groups.size(), 0),
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
        if (m_book) {
            m_openHeader[level] = Note({TReportSpot::GroupHeader, QRectF(0, m_y, m_width, h), level, m_rows, -1, text, false});
            m_openKeyed[level] = m_keyed;
        }
        if (m_painter) {
            m_painter->setFont(m_group);
            m_painter->drawText(QRectF(level * m_pad * 4, m_y + m_row * 0.3, m_width, h - m_row * 0.3), Qt::AlignLeft | Qt::AlignVCenter, text);
        }
        m_y += h;
    }

    void BeforeRow(const TWalkState &state) override
    {
        m_rowWalk = &state;
        m_rowStart = {m_y, m_page, m_rows, m_chart};
    }

    void Row(const QVector<QVariant> &keys, const QVector<QVariant> &values) override
    {
        if (m_pareto && m_marks) {
            m_groupKey = keys.value(0).toString();
            const QString cls = values[m_classCol].toString().trimmed();
            const double v = ReportNumber(values[m_valueCol]);
            ClassStats &st = m_classes[cls == QStringLiteral("A") ? 0 : cls == QStringLiteral("B") ? 1 : cls == QStringLiteral("C") ? 2 : 3];
            ++st.Count;
            st.Value += v;
            m_points.push_back({v, ReportNumber(values[m_cumulativeCol]), cls});
        }
        NeedSpace(m_row);
        if (m_book) {
            Note({TReportSpot::Row, QRectF(0, m_y, m_width, m_row), 0, m_rows, m_rows, {}, m_rowKeyed});
            m_keyed += m_rowKeyed ? 1 : 0;
            m_rowKeyed = false;
        }
        if (m_painter) {
            m_painter->setFont(m_body);
            for (int c = 0; c < values.size(); ++c)
                Cell(c, DisplayText(m_layout.Columns[c].Format, values[c]), m_layout.Columns[c].Align);
        }
        m_y += m_row;
        ++m_rows;
    }

    void RowKey(const QVector<QVariant> &key) override
    {
        if (!m_book)
            return;
        m_rowKeyed = false;
        for (const QVariant &v : key) {
            m_book->Keys.push_back(v);
            m_rowKeyed = m_rowKeyed || !(v.isNull() || (v.typeId() == QMetaType::QString && v.toString().trimmed().isEmpty()));
        }
    }

    void GroupFooter(int level, const QString &caption, const QVector<double> &sums, qint64 count) override
    {
        const QString line = caption + QStringLiteral(" (") + countText(count) + QStringLiteral(")");
        if (m_book) {
            // The header, perhaps pages back, learns where its group ends.
            const qint64 first = m_rows - count;
            const bool opens = m_keyed > m_openKeyed[level];
            if (const qint64 at = m_openHeader[level]; at >= 0) {
                TReportSpot &header = m_book->Pages[static_cast<size_t>(at >> 32)][static_cast<int>(at & 0xffffffff)];
                header.Last = m_rows - 1;
                header.Opens = opens;
            }
            m_openHeader[level] = -1;
            m_pending = TReportSpot{TReportSpot::GroupFooter, {}, level, first, m_rows - 1, line, opens};
        }
        SumLine(line, sums, level * m_pad * 4, false);
        if (m_pareto && level == 0) {
            if (m_marks) {
                m_charts.push_back(MakeChart());
                m_points.clear();
                for (ClassStats &c : m_classes)
                    c = {};
            }
            Pareto(m_charts.at(static_cast<size_t>(m_chart++)));
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
        const TReportSpot total{TReportSpot::Total, {}, 0, 0, m_rows - 1, m_layout.TotalCaption, m_keyed > 0};
        if (!m_layout.TotalCaption.isEmpty()) {
            if (m_book)
                m_pending = total;
            SumLine(m_layout.TotalCaption + QStringLiteral(" (") + countText(count) + QStringLiteral(")"), sums, 0, true);
        }
        if (!m_layout.ShareOf.isEmpty()) {
            const QVector<double> shares = TotalShares(m_layout, sums);
            NeedSpace(m_row);
            if (m_book) {
                TReportSpot share = total;
                share.Rect = QRectF(0, m_y, m_width, m_row);
                share.Text = m_layout.ShareCaption;
                Note(share);
            }
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

    // Continues from a page's start as the counting pass saw it.
    void Resume(const TLayoutPoint &at)
    {
        m_y = at.Y;
        m_page = at.Page;
        m_rows = at.Rows;
        m_chart = at.Chart;
    }

    int Pages() const { return m_page; }
    int PagesSoFar() const override { return m_page; }
    qint64 Rows() const { return m_rows; }

private:
    struct Col {
        double X, W;
    };
    struct Point {
        double Value, Cumulative;
        QString Class;
    };

    // The figures of the group just closed, at most 120 bars: larger curves are drawn in buckets of neighbouring rows.
    TChart MakeChart() const
    {
        TChart chart;
        chart.Total = m_header.GroupTotals.value(m_groupKey, 0.0);
        for (int c = 0; c < 4; ++c)
            chart.Classes[c] = m_classes[c];
        const int n = static_cast<int>(m_points.size());
        const int bars = std::min(n, 120);
        chart.Heights.assign(static_cast<size_t>(bars), 0.0);
        chart.Cumulative.assign(static_cast<size_t>(bars), 0.0);
        chart.BarClass.resize(static_cast<size_t>(bars));
        for (int b = 0; b < bars; ++b) {
            const int from = static_cast<int>(static_cast<qint64>(b) * n / bars), to = static_cast<int>(static_cast<qint64>(b + 1) * n / bars);
            double sum = 0;
            for (int i = from; i < to; ++i)
                sum += m_points[static_cast<size_t>(i)].Value;
            chart.Heights[static_cast<size_t>(b)] = sum / std::max(1, to - from);
            chart.Cumulative[static_cast<size_t>(b)] = chart.Total != 0 ? m_points[static_cast<size_t>(to - 1)].Cumulative / chart.Total * 100 : 0;
            chart.BarClass[static_cast<size_t>(b)] = m_points[static_cast<size_t>(from)].Class;
        }
        return chart;
    }

    // Count, value and share per class, then the chart: bars of value, the
    // cumulative share as a line and the class limits marked.
    void Pareto(const TChart &chart)
    {
        const double total = chart.Total;
        const double chartH = m_height * 0.32;
        NeedSpace(m_row * 6.5 + chartH);
        const double lines = chart.Classes[3].Count == 0 ? 3 : 4;
        if (!m_painter) {
            m_y += m_row * (2 + lines) + chartH;
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
            if (c == 3 && chart.Classes[3].Count == 0)
                continue;
            m_painter->fillRect(QRectF(0, m_y + m_row * 0.25, m_row * 0.5, m_row * 0.5), colors[c]);
            m_painter->drawText(QRectF(m_row * 0.8, m_y, w, m_row), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(names[c]));
            m_painter->drawText(QRectF(w, m_y, w - m_pad, m_row), Qt::AlignRight | Qt::AlignVCenter, QString::number(chart.Classes[c].Count));
            m_painter->drawText(QRectF(2 * w, m_y, w - m_pad, m_row), Qt::AlignRight | Qt::AlignVCenter, AmountText(chart.Classes[c].Value));
            const QString share = total != 0 ? AmountText(chart.Classes[c].Value / total * 100) + QStringLiteral(" %") : QString();
            m_painter->drawText(QRectF(3 * w, m_y, w - m_pad, m_row), Qt::AlignRight | Qt::AlignVCenter, share);
            m_y += m_row;
        }
        m_y += m_row * 0.5;

        const QRectF area(m_pad * 10, m_y, m_width - m_pad * 32, chartH - m_row);
        m_painter->setPen(QPen(Qt::gray, 1));
        m_painter->drawRect(area);
        const int bars = static_cast<int>(chart.Heights.size());
        double maxBar = 0;
        for (double h : chart.Heights)
            maxBar = std::max(maxBar, h);
        const std::vector<double> &cumulative = chart.Cumulative;
        const double bw = bars ? area.width() / bars : 0;
        for (int b = 0; b < bars && maxBar > 0; ++b) {
            const double h = chart.Heights[static_cast<size_t>(b)] / maxBar * area.height();
            const QString &cls = chart.BarClass[static_cast<size_t>(b)];
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

    // Notes a spot on the page being laid out; returns where it is kept (page, then index).
    qint64 Note(TReportSpot spot)
    {
        auto &pages = m_book->Pages;
        pages.resize(static_cast<size_t>(m_page));
        QVector<TReportSpot> &page = pages.back();
        page.push_back(std::move(spot));
        return (static_cast<qint64>(m_page - 1) << 32) | (page.size() - 1);
    }

    void SumLine(const QString &caption, const QVector<double> &sums, double indent, bool grand)
    {
        const double h = m_row * (grand ? 1.6 : 1.3);
        NeedSpace(h);
        if (m_pending) {
            m_pending->Rect = QRectF(0, m_y, m_width, h);
            Note(*std::exchange(m_pending, std::nullopt));
        }
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
        if (m_marks)
            m_marks->push_back({m_rowStart, *m_rowWalk});
        m_painter = m_turn ? m_turn(m_page + 1) : nullptr;
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
    QPainter *m_painter = nullptr;
    int m_totalPages;
    std::vector<TChart> &m_charts;
    std::vector<TPageMark> *m_marks;
    TPageTurn m_turn;
    TSpotBook *m_book;
    // Per group level, the spot of its open header and the keyed rows before it.
    std::vector<qint64> m_openHeader;
    std::vector<qint64> m_openKeyed;
    qint64 m_keyed = 0;
    bool m_rowKeyed = false;
    std::optional<TReportSpot> m_pending; // a sum line's spot, placed once its page is known
    const TWalkState *m_rowWalk = nullptr;
    TLayoutPoint m_rowStart;
    int m_chart = 0;
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

// Rows read from a kept cursor: the first Next() may give the row the cursor already stands on.
class TResumedRows : public TReportRows {
public:
    TResumedRows(TReportRows &cursor, qint64 &current, bool &ended, bool primed)
        : m_cursor(cursor), m_current(current), m_ended(ended), m_primed(primed), m_first(true)
    {
    }
    bool Next() override
    {
        if (m_first) {
            m_first = false;
            return m_primed;
        }
        if (m_cursor.Next()) {
            ++m_current;
            return true;
        }
        m_ended = true;
        return false;
    }
    QVariant Value(int field) const override { return m_cursor.Value(field); }

private:
    TReportRows &m_cursor;
    qint64 &m_current;
    bool &m_ended;
    bool m_primed, m_first;
};
} // namespace

QPageLayout ReportPageLayout(const TReportLayout &layout)
{
    if (layout.Page)
        return *layout.Page;
    return QPageLayout(QPageSize(QPageSize::A4), layout.Landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter);
}

void SetupPage(const TReportLayout &layout, QPagedPaintDevice &device) { device.setPageLayout(ReportPageLayout(layout)); }

namespace {
// How much a page narrower than the layout's own is drawn smaller, so its columns keep their room: 1 for a page as wide or wider.
double fitScale(const TReportLayout &layout, const QPageLayout &page)
{
    TReportLayout own = layout;
    own.Page.reset();
    const double designed = ReportPageLayout(own).paintRect(QPageLayout::Point).width();
    const double width = page.paintRect(QPageLayout::Point).width();
    return designed > 0 && width > 0 ? std::min(1.0, width / designed) : 1.0;
}

// The page the rows are laid out on: the printable area enlarged by 1 / scale, without margins.
QPageLayout layoutPage(const QPageLayout &page, double scale)
{
    const QSizeF area = page.paintRect(QPageLayout::Point).size() / scale;
    return QPageLayout(QPageSize(area, QPageSize::Point, QStringLiteral("area"), QPageSize::ExactMatch), QPageLayout::Portrait, QMarginsF(),
                       QPageLayout::Point);
}
} // namespace

struct TReportPaginator::Impl {
    Impl(const TReportLayout &l, const TReportHeader &h, TRowsFactory r, const QPageLayout &p, int res)
        : Layout(l), Header(h), Rows(std::move(r)), Resolution(res), Measure(&Sink)
    {
        // Text is measured on a writer of the layout's page and resolution, which paints nothing.
        Sink.open(QIODevice::WriteOnly);
        Measure.setResolution(Resolution);
        SetPage(p);
    }
    void SetPage(const QPageLayout &page)
    {
        Page = page;
        Scale = fitScale(Layout, page);
        Area = layoutPage(page, Scale);
        Measure.setPageLayout(Area);
    }
    const TReportLayout &Layout;
    const TReportHeader &Header;
    TRowsFactory Rows;
    QPageLayout Page;
    // The page the rows are laid out on, and how much smaller it is drawn on the real one.
    QPageLayout Area;
    double Scale = 1;
    int Resolution;
    QBuffer Sink;
    QPdfWriter Measure;
    bool Counted = false;
    TPagesResult Result;
    std::vector<TPageMark> Marks;
    std::vector<TChart> Charts;
    QVector<int> Painted;
    bool NoteSpots = false;
    TSpotBook Book;
    // The cursor kept between pages: the row it stands on and whether it has run out.
    std::unique_ptr<TReportRows> Cursor;
    qint64 Current = -1;
    bool Ended = false;
};

TReportPaginator::TReportPaginator(const TReportLayout &layout, const TReportHeader &header, TRowsFactory rows, const QPageLayout &page,
                                   int resolution)
    : d(std::make_unique<Impl>(layout, header, std::move(rows), page, resolution))
{
}

TReportPaginator::~TReportPaginator() = default;

TPagesResult TReportPaginator::Count(const TReportProgress &progress)
{
    d->Marks.clear();
    d->Charts.clear();
    d->Cursor.reset();
    d->Book = {};
    TPageLayouter counter(d->Layout, d->Header, d->Measure, 0, d->Charts, &d->Marks, {}, d->NoteSpots ? &d->Book : nullptr);
    {
        auto r = d->Rows();
        WalkReport(d->Layout, *r, counter, progress);
    }
    d->Result = {counter.Rows(), counter.Pages()};
    d->Counted = true;
    return d->Result;
}

int TReportPaginator::PageCount() const { return d->Result.Pages; }
qint64 TReportPaginator::Rows() const { return d->Result.Rows; }
const QPageLayout &TReportPaginator::PageLayout() const { return d->Page; }
int TReportPaginator::Resolution() const { return d->Resolution; }
const QVector<int> &TReportPaginator::Painted() const { return d->Painted; }
const TReportLayout &TReportPaginator::Layout() const { return d->Layout; }

void TReportPaginator::NoteSpots(bool on) { d->NoteSpots = on; }

const QVector<TReportSpot> &TReportPaginator::Spots(int page) const
{
    static const QVector<TReportSpot> none;
    return page >= 1 && page <= static_cast<int>(d->Book.Pages.size()) ? d->Book.Pages[static_cast<size_t>(page - 1)] : none;
}

const TReportSpot *TReportPaginator::SpotAt(int page, const QPointF &at) const
{
    for (const TReportSpot &spot : Spots(page))
        if (spot.Rect.contains(at))
            return &spot;
    return nullptr;
}

QVariantList TReportPaginator::RowKey(qint64 row) const
{
    const qsizetype width = d->Layout.KeyFields.size();
    const auto from = static_cast<size_t>(row * width);
    if (row < 0 || width == 0 || from + static_cast<size_t>(width) > d->Book.Keys.size())
        return {};
    return QVariantList(d->Book.Keys.begin() + static_cast<qsizetype>(from), d->Book.Keys.begin() + static_cast<qsizetype>(from) + width);
}

void TReportPaginator::SetPageLayout(const QPageLayout &page)
{
    d->Cursor.reset();
    d->SetPage(page);
    d->Counted = false;
    d->Result = {};
    d->Marks.clear();
    d->Book = {};
}

void TReportPaginator::PaintPage(int page, QPainter &painter)
{
    if (!d->Counted)
        Count();
    if (page < 1 || page > d->Result.Pages)
        throw EHostError(QStringLiteral("O relatório '%1' não tem a página %2.").arg(d->Layout.Title).arg(page));
    const TPageMark &mark = d->Marks[static_cast<size_t>(page - 1)];
    d->Painted.push_back(page);
    // The page starts at row j: the kept cursor serves when it has not passed it. A kept cursor
    // that fails before the page is begun (the connection served another read meanwhile) is
    // opened afresh once.
    const qint64 j = mark.Walk.Row;
    bool painting = false;
    for (bool fresh = false;; fresh = true) {
        try {
            if (fresh || !d->Cursor || (d->Ended ? j != d->Current + 1 : d->Current > j)) {
                fresh = true;
                d->Cursor.reset(); // a connection may hold one open read only
                d->Cursor = d->Rows();
                d->Current = -1;
                d->Ended = false;
            }
            while (!d->Ended && d->Current < j) {
                if (d->Cursor->Next())
                    ++d->Current;
                else
                    d->Ended = true;
            }
            TResumedRows rows(*d->Cursor, d->Current, d->Ended, !d->Ended);
            TPageLayouter layouter(d->Layout, d->Header, d->Measure, d->Result.Pages, d->Charts, nullptr, [&](int n) -> QPainter * {
                if (n > page)
                    throw TPageDone();
                painting = n == page;
                return painting ? &painter : nullptr;
            });
            layouter.Resume(mark.At);
            WalkReport(d->Layout, rows, layouter, {}, &mark.Walk);
            return;
        } catch (const TPageDone &) {
            return;
        } catch (const EHostError &) {
            d->Cursor.reset();
            if (fresh || painting)
                throw;
        }
    }
}

void TReportPaginator::CloseRows() { d->Cursor.reset(); }

QImage TReportPaginator::BlankSheet(double dpi) const
{
    const double scale = dpi / d->Resolution;
    const QRect full = d->Page.fullRectPixels(d->Resolution);
    QImage image(qMax(1, qRound(full.width() * scale)), qMax(1, qRound(full.height() * scale)), QImage::Format_RGB32);
    image.fill(Qt::white);
    // Fonts take their size at the paginator's resolution, as on the printer; the painter scales it down.
    const int dpm = qRound(d->Resolution / 0.0254);
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
    return image;
}

void TReportPaginator::SetupSheet(QPainter &painter, double dpi) const
{
    const double scale = dpi / d->Resolution;
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    painter.translate(d->Page.paintRectPixels(d->Resolution).topLeft());
    painter.scale(d->Scale, d->Scale);
}

double TReportPaginator::Scale() const { return d->Scale; }
const QPageLayout &TReportPaginator::LayoutArea() const { return d->Area; }

QImage TReportPaginator::Render(int page, double dpi)
{
    QImage image = BlankSheet(dpi);
    QPainter painter(&image);
    SetupSheet(painter, dpi);
    PaintPage(page, painter);
    return image;
}

TPagesResult TReportPaginator::PaintAll(QPagedPaintDevice &device, const TReportProgress &progress)
{
    QPainter painter;
    return PaintAll(
        [&](int page) -> QPainter & {
            if (page == 1) {
                if (!painter.begin(&device))
                    throw EHostError(QStringLiteral("Não foi possível começar a impressão do relatório '%1'.").arg(d->Layout.Title));
            } else {
                device.newPage();
            }
            painter.resetTransform();
            painter.scale(d->Scale, d->Scale);
            return painter;
        },
        progress);
}

TPagesResult TReportPaginator::PaintAll(const std::function<QPainter &(int page)> &pageStart, const TReportProgress &progress)
{
    if (!d->Counted)
        Count(progress);
    TPageLayouter pages(d->Layout, d->Header, d->Measure, d->Result.Pages, d->Charts, nullptr, [&pageStart](int n) { return &pageStart(n); });
    d->Cursor.reset();
    auto r = d->Rows();
    WalkReport(d->Layout, *r, pages, progress);
    return {pages.Rows(), pages.Pages()};
}

TPagesResult PaintReport(const TReportLayout &layout, const TReportHeader &header, const TRowsFactory &rows, QPagedPaintDevice *device,
                         const TReportProgress &progress)
{
    TReportPaginator pages(layout, header, rows, device ? device->pageLayout() : ReportPageLayout(layout), device ? device->logicalDpiX() : kReportResolution);
    const TPagesResult counted = pages.Count(progress);
    if (!device)
        return counted;
    return pages.PaintAll(*device, progress);
}
