#include "report/ReportRun.h"
#include <QRegularExpression>
#include <algorithm>

QString ExpandSubtitle(const QString &pattern, const TParams &params)
{
    static const QRegularExpression marker(QStringLiteral("\\{:([A-Za-z_][A-Za-z0-9_]*)\\}"));
    static const QRegularExpression optional(QStringLiteral("\\[([^\\]]*)\\]"));
    auto expand = [&](const QString &text, bool &blank) {
        QString out;
        qsizetype at = 0;
        for (const auto &m : marker.globalMatch(text)) {
            out += text.mid(at, m.capturedStart() - at);
            const TParam *p = params.FindParam(m.captured(1));
            const QString value = p ? p->AsString().trimmed() : QString();
            blank = blank || value.isEmpty();
            out += value;
            at = m.capturedEnd();
        }
        return out + text.mid(at);
    };
    QString out;
    qsizetype at = 0;
    bool unused = false;
    for (const auto &m : optional.globalMatch(pattern)) {
        out += expand(pattern.mid(at, m.capturedStart() - at), unused);
        bool blank = false;
        const QString part = expand(m.captured(1), blank);
        if (!blank)
            out += part;
        at = m.capturedEnd();
    }
    out += expand(pattern.mid(at), unused);
    return out.simplified();
}

qint64 WalkReport(const TReportLayout &layout, TReportRows &rows, TReportSink &sink, const TReportProgress &progress, const TWalkState *from)
{
    const QStringList fields = ReportFields(layout);
    const int groups = static_cast<int>(layout.Groups.size());
    const int columns = static_cast<int>(layout.Columns.size());
    QVector<int> columnField(columns);
    for (int c = 0; c < columns; ++c)
        for (int f = 0; f < fields.size(); ++f)
            if (fields[f].compare(layout.Columns[c].Source(), Qt::CaseInsensitive) == 0)
                columnField[c] = f;
    QVector<int> keyField;
    for (const QString &k : layout.KeyFields)
        keyField << static_cast<int>(std::find_if(fields.begin(), fields.end(), [&](const QString &f) { return f.compare(k, Qt::CaseInsensitive) == 0; })
                                     - fields.begin());
    QVector<QVariant> key(keyField.size());
    QVector<int> groupField(groups);
    for (int g = 0; g < groups; ++g)
        for (int f = 0; f < fields.size(); ++f)
            if (fields[f].compare(layout.Groups[g].Field, Qt::CaseInsensitive) == 0)
                groupField[g] = f;

    // Sums per open group level and the grand total (index `groups`).
    TWalkState st;
    if (from) {
        st = *from;
    } else {
        st.Sums = QVector<QVector<double>>(groups + 1, QVector<double>(columns, 0.0));
        st.Counts = QVector<qint64>(groups + 1, 0);
        st.Current = QVector<QVariant>(groups);
        st.Footers = QVector<QString>(groups);
    }
    // The state at the start of a row that breaks groups, which the row's events change.
    TWalkState saved;
    QVector<QVariant> keys(groups);
    QVector<QVariant> values(columns);

    auto closeFrom = [&](int level) {
        for (int g = groups - 1; g >= level; --g) {
            sink.GroupFooter(g, st.Footers[g], st.Sums[g], st.Counts[g]);
            st.Sums[g].fill(0.0);
            st.Counts[g] = 0;
        }
    };
    while (rows.Next()) {
        for (int g = 0; g < groups; ++g)
            keys[g] = rows.Value(groupField[g]);
        int broken = groups;
        if (st.Row == 0)
            broken = 0;
        else
            for (int g = 0; g < groups; ++g)
                if (keys[g] != st.Current[g]) {
                    broken = g;
                    break;
                }
        if (broken < groups) {
            saved = st;
            sink.BeforeRow(saved);
        } else {
            sink.BeforeRow(st);
        }
        if (st.Row > 0 && broken < groups)
            closeFrom(broken);
        for (int g = broken; g < groups; ++g) {
            st.Current[g] = keys[g];
            const TReportLayout::Group &group = layout.Groups[g];
            const QString text = ExpandMarkers(group.Header, fields, rows, group.Field, group.Blank);
            st.Footers[g] = group.Footer.isEmpty() ? QStringLiteral("Total ") + text : ExpandMarkers(group.Footer, fields, rows, group.Field, group.Blank);
            sink.GroupHeader(g, text);
        }
        for (int c = 0; c < columns; ++c)
            values[c] = rows.Value(columnField[c]);
        if (!keyField.isEmpty()) {
            for (qsizetype k = 0; k < keyField.size(); ++k)
                key[k] = rows.Value(keyField[k]);
            sink.RowKey(key);
        }
        // The row goes out before it is summed, so the state told above still holds while it is laid out.
        sink.Row(keys, values);
        for (int c = 0; c < columns; ++c)
            if (layout.Columns[c].Total) {
                const double v = ReportNumber(values[c]);
                for (int g = 0; g <= groups; ++g)
                    st.Sums[g][c] += v;
            }
        for (int g = 0; g <= groups; ++g)
            ++st.Counts[g];
        ++st.Row;
        if (progress && st.Row % 256 == 0 && !progress(st.Row, sink.PagesSoFar()))
            throw ECancelled();
    }
    if (progress && !progress(st.Row, sink.PagesSoFar()))
        throw ECancelled();
    saved = st;
    sink.BeforeRow(saved);
    if (st.Row > 0)
        closeFrom(0);
    sink.Totals(st.Sums[groups], st.Counts[groups]);
    return st.Row;
}

QVector<double> TotalShares(const TReportLayout &layout, const QVector<double> &sums)
{
    QVector<double> shares(sums.size(), 0.0);
    const int of = layout.ColumnIndex(layout.ShareOf);
    if (of < 0 || sums[of] == 0.0)
        return shares;
    for (int c = 0; c < sums.size(); ++c)
        if (layout.Columns[c].Total)
            shares[c] = sums[c] / sums[of] * 100.0;
    return shares;
}
