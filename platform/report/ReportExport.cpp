#include "report/ReportExport.h"
#include "data/Exceptions.h"
#include <QDir>
#include <QFileInfo>
#include <QPdfWriter>
#include <QSaveFile>
#include <sys/stat.h>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <xlsxwriter.h>

namespace {
[[noreturn]] void writeFailed(const QString &path, const QString &why)
{
    throw EHostError(QStringLiteral("Não foi possível gravar o relatório em '%1': %2").arg(path, why));
}

// Group keys that are not columns too come first in flat outputs.
struct FlatColumns {
    QVector<int> Keys;  // group indexes
    QStringList Captions;
    explicit FlatColumns(const TReportLayout &l)
    {
        for (int g = 0; g < l.Groups.size(); ++g)
            if (l.ColumnIndex(l.Groups[g].Field) < 0) {
                Keys << g;
                Captions << (l.Groups[g].Caption.isEmpty() ? l.Groups[g].Field : l.Groups[g].Caption);
            }
        for (const auto &c : l.Columns)
            Captions << (c.Caption.isEmpty() ? c.Field : c.Caption);
    }
};

QString csvField(QString s)
{
    if (s.contains(QLatin1Char(';')) || s.contains(QLatin1Char('"')) || s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r')))
        s = QLatin1Char('"') + s.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    return s;
}

// Spreadsheet text of a value: no thousands separator, decimal comma.
QString csvValue(TColumnFormat format, const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return {};
    switch (format) {
    case TColumnFormat::Amount:
    case TColumnFormat::Percent: return AmountText(v.toDouble(), false);
    default: return DisplayText(format, v);
    }
}

class TCsvSink : public TReportSink {
public:
    TCsvSink(const TReportLayout &l, QSaveFile &out) : m_layout(l), m_flat(l), m_out(out)
    {
        m_bytes.reserve(kChunk + 4096);
        m_bytes += "\xEF\xBB\xBF";
        for (const QString &caption : m_flat.Captions)
            Cell(caption);
        EndLine();
    }
    void Row(const QVector<QVariant> &keys, const QVector<QVariant> &values) override
    {
        for (int g : m_flat.Keys)
            Cell(ValueText(keys[g]));
        for (int c = 0; c < values.size(); ++c)
            Cell(csvValue(m_layout.Columns[c].Format, values[c]));
        EndLine();
    }
    void Totals(const QVector<double> &, qint64) override { Flush(); }

private:
    static constexpr qsizetype kChunk = 64 * 1024;
    void Cell(const QString &cell)
    {
        if (!m_line.isEmpty())
            m_line += QLatin1Char(';');
        bool plain = true;
        for (QChar c : cell)
            if (c == QLatin1Char(';') || c == QLatin1Char('"') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
                plain = false;
                break;
            }
        m_line += plain ? cell : csvField(cell);
    }
    void EndLine()
    {
        m_line += QStringLiteral("\r\n");
        m_bytes += m_line.toUtf8();
        m_line.clear();
        if (m_bytes.size() >= kChunk)
            Flush();
    }
    void Flush()
    {
        if (!m_bytes.isEmpty() && m_out.write(m_bytes) < 0)
            writeFailed(m_out.fileName(), m_out.errorString());
        m_bytes.clear();
    }
    const TReportLayout &m_layout;
    FlatColumns m_flat;
    QSaveFile &m_out;
    QString m_line;
    QByteArray m_bytes;
};

class THtmlSink : public TReportSink {
public:
    THtmlSink(const TReportLayout &l, const TReportHeader &h, QSaveFile &out) : m_layout(l), m_out(out)
    {
        QString s = QStringLiteral("<!DOCTYPE html>\n<html lang=\"pt-BR\"><head><meta charset=\"utf-8\"><title>%1</title>\n"
                                   "<style>body{font-family:sans-serif;font-size:10pt}table{border-collapse:collapse;width:100%}"
                                   "th{background:#e1e1e1;text-align:left}td,th{padding:2px 6px}td.r,th.r{text-align:right}"
                                   "td.c,th.c{text-align:center}tr.g td{font-weight:bold;padding-top:8px}tr.s td{font-weight:bold;"
                                   "border-top:1px solid #000}</style></head><body>\n")
                        .arg(l.Title.toHtmlEscaped());
        s += QStringLiteral("<h1>%1</h1>\n<p>%2<br>%3<br>Emissão: %4</p>\n")
                 .arg(l.Title.toHtmlEscaped(), h.Subtitle.toHtmlEscaped(), h.Company.toHtmlEscaped(),
                      h.Emission.toString(QStringLiteral("dd/MM/yyyy HH:mm")));
        if (!h.CriteriaLines.isEmpty()) {
            s += QStringLiteral("<h2>Opções de Emissão</h2>\n<ul>\n");
            for (const QString &c : h.CriteriaLines)
                s += QStringLiteral("<li>%1</li>\n").arg(c.toHtmlEscaped());
            s += QStringLiteral("</ul>\n");
        }
        s += QStringLiteral("<table>\n<thead><tr>");
        for (const auto &c : l.Columns)
            s += QStringLiteral("<th%1>%2</th>").arg(cls(c.Align), c.Caption.toHtmlEscaped());
        s += QStringLiteral("</tr></thead>\n<tbody>\n");
        Put(s);
    }
    void GroupHeader(int, const QString &text) override
    {
        Put(QStringLiteral("<tr class=\"g\"><td colspan=\"%1\">%2</td></tr>\n").arg(m_layout.Columns.size()).arg(text.toHtmlEscaped()));
    }
    void Row(const QVector<QVariant> &, const QVector<QVariant> &values) override
    {
        QString s = QStringLiteral("<tr>");
        for (int c = 0; c < values.size(); ++c)
            s += QStringLiteral("<td%1>%2</td>").arg(cls(m_layout.Columns[c].Align), DisplayText(m_layout.Columns[c].Format, values[c]).toHtmlEscaped());
        Put(s + QStringLiteral("</tr>\n"));
    }
    void GroupFooter(int, const QString &caption, const QVector<double> &sums, qint64 count) override { Sums(caption, sums, count); }
    void Totals(const QVector<double> &sums, qint64 count) override
    {
        if (count == 0)
            Put(QStringLiteral("<tr><td colspan=\"%1\">Nenhum registro encontrado para os critérios informados.</td></tr>\n")
                    .arg(m_layout.Columns.size()));
        else if (!m_layout.TotalCaption.isEmpty())
            Sums(m_layout.TotalCaption, sums, count);
        if (count > 0 && !m_layout.ShareOf.isEmpty()) {
            const QVector<double> shares = TotalShares(m_layout, sums);
            QString s = QStringLiteral("<tr class=\"s\">");
            for (int c = 0; c < shares.size(); ++c)
                s += m_layout.Columns[c].Total ? QStringLiteral("<td class=\"r\">%1 %</td>").arg(AmountText(shares[c]))
                     : c == 0                  ? QStringLiteral("<td>%1</td>").arg(m_layout.ShareCaption.toHtmlEscaped())
                                               : QStringLiteral("<td></td>");
            Put(s + QStringLiteral("</tr>\n"));
        }
        Put(QStringLiteral("</tbody></table>\n</body></html>\n"));
    }

private:
    static QString cls(Qt::Alignment a)
    {
        return a == Qt::AlignRight ? QStringLiteral(" class=\"r\"") : a == Qt::AlignHCenter ? QStringLiteral(" class=\"c\"") : QString();
    }
    void Sums(const QString &caption, const QVector<double> &sums, qint64 count)
    {
        QString s = QStringLiteral("<tr class=\"s\">");
        for (int c = 0; c < sums.size(); ++c)
            s += m_layout.Columns[c].Total ? QStringLiteral("<td class=\"r\">%1</td>").arg(DisplayText(m_layout.Columns[c].Format, sums[c]))
                 : c == 0 ? QStringLiteral("<td>%1 (%2)</td>").arg(caption.toHtmlEscaped()).arg(count)
                          : QStringLiteral("<td></td>");
        Put(s + QStringLiteral("</tr>\n"));
    }
    void Put(const QString &s)
    {
        if (m_out.write(s.toUtf8()) < 0)
            writeFailed(m_out.fileName(), m_out.errorString());
    }
    const TReportLayout &m_layout;
    QSaveFile &m_out;
};

// The spreadsheet library's reason, with the system's when a write failed (a full disk...).
void check(lxw_error err, const QString &path)
{
    if (err == LXW_NO_ERROR)
        return;
    QString why = QString::fromUtf8(lxw_strerror(err));
    if (errno != 0)
        why += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
    writeFailed(path, why);
}

class TXlsxSink : public TReportSink {
public:
    // Written to file, named as path in messages.
    TXlsxSink(const TReportLayout &l, const QString &file, const QString &path, const QString &tmpDir) : m_layout(l), m_flat(l), m_path(path)
    {
        m_tmpDir = tmpDir.toUtf8();
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = m_tmpDir.data();
        errno = 0;
        m_book = workbook_new_opt(QFile::encodeName(file).constData(), &options);
        if (!m_book)
            writeFailed(path, QStringLiteral("a planilha não pôde ser criada."));
        m_sheet = workbook_add_worksheet(m_book, "Relatório");
        m_header = workbook_add_format(m_book);
        format_set_bold(m_header);
        format_set_bg_color(m_header, 0xE1E1E1);
        m_amount = workbook_add_format(m_book);
        format_set_num_format(m_amount, "#,##0.00");
        m_date = workbook_add_format(m_book);
        format_set_num_format(m_date, "dd/mm/yyyy");
        m_integer = workbook_add_format(m_book);
        format_set_num_format(m_integer, "0");
        m_percent = workbook_add_format(m_book);
        format_set_num_format(m_percent, "0.00");
        int col = 0;
        for (int g : m_flat.Keys) {
            worksheet_set_column(m_sheet, static_cast<lxw_col_t>(col), static_cast<lxw_col_t>(col), std::max(10.0, m_flat.Captions[col].size() + 2.0), nullptr);
            Q_UNUSED(g);
            ++col;
        }
        for (const auto &c : l.Columns) {
            worksheet_set_column(m_sheet, static_cast<lxw_col_t>(col), static_cast<lxw_col_t>(col),
                                 std::max(c.Width * 0.6 + 2, c.Caption.size() + 2.0), nullptr);
            ++col;
        }
        for (int i = 0; i < m_flat.Captions.size(); ++i)
            check(worksheet_write_string(m_sheet, 0, static_cast<lxw_col_t>(i), m_flat.Captions[i].toUtf8().constData(), m_header), path);
        worksheet_freeze_panes(m_sheet, 1, 0);
    }
    ~TXlsxSink() override
    {
        if (m_book)
            workbook_close(m_book);
    }
    void Row(const QVector<QVariant> &keys, const QVector<QVariant> &values) override
    {
        ++m_row;
        errno = 0;
        lxw_col_t col = 0;
        for (int g : m_flat.Keys)
            Text(col++, ValueText(keys[g]));
        for (int c = 0; c < values.size(); ++c, ++col) {
            const QVariant &v = values[c];
            if (v.isNull() || !v.isValid())
                continue;
            switch (m_layout.Columns[c].Format) {
            case TColumnFormat::Amount: check(worksheet_write_number(m_sheet, m_row, col, v.toDouble(), m_amount), m_path); break;
            case TColumnFormat::Integer: check(worksheet_write_number(m_sheet, m_row, col, v.toDouble(), m_integer), m_path); break;
            case TColumnFormat::Percent: check(worksheet_write_number(m_sheet, m_row, col, v.toDouble(), m_percent), m_path); break;
            case TColumnFormat::Date: {
                const QDate d = ReportDate(v);
                if (d.isValid()) {
                    lxw_datetime dt{d.year(), d.month(), d.day(), 0, 0, 0};
                    check(worksheet_write_datetime(m_sheet, m_row, col, &dt, m_date), m_path);
                } else {
                    Text(col, v.toString());
                }
                break;
            }
            case TColumnFormat::Text: Text(col, DisplayText(TColumnFormat::Text, v)); break;
            }
        }
    }
    void Close()
    {
        lxw_workbook *book = m_book;
        m_book = nullptr;
        errno = 0;
        check(workbook_close(book), m_path);
    }

private:
    void Text(lxw_col_t col, const QString &s) { check(worksheet_write_string(m_sheet, m_row, col, s.toUtf8().constData(), nullptr), m_path); }
    const TReportLayout &m_layout;
    FlatColumns m_flat;
    QString m_path;
    QByteArray m_tmpDir;
    lxw_workbook *m_book = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    lxw_format *m_header = nullptr, *m_amount = nullptr, *m_date = nullptr, *m_integer = nullptr, *m_percent = nullptr;
    lxw_row_t m_row = 0;
};

mode_t newFileMode(const QString &path)
{
    struct stat existing {};
    if (::stat(QFile::encodeName(path).constData(), &existing) == 0)
        return existing.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void commit(QSaveFile &out)
{
    // The last buffered bytes are written here; a failure in commit's own flush
    // would go unnoticed and a cut file take the name.
    if (!out.flush() || !out.commit())
        writeFailed(out.fileName(), out.errorString());
}

void openSaveFile(QSaveFile &out)
{
    if (!out.open(QIODevice::WriteOnly))
        writeFailed(out.fileName(), out.errorString());
}
} // namespace

TReportFileType ReportFileType(const QString &path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QStringLiteral("pdf"))
        return TReportFileType::Pdf;
    if (ext == QStringLiteral("csv"))
        return TReportFileType::Csv;
    if (ext == QStringLiteral("html") || ext == QStringLiteral("htm"))
        return TReportFileType::Html;
    if (ext == QStringLiteral("xlsx"))
        return TReportFileType::Xlsx;
    throw EHostError(QStringLiteral("O arquivo '%1' não tem um tipo de relatório conhecido: use .pdf, .csv, .html ou .xlsx.").arg(path));
}

TPagesResult WriteReportFile(const TReportLayout &layout, const TReportHeader &header, const TRowsFactory &rows, const QString &path,
                             TReportFileType type, const TReportProgress &progress)
{
    switch (type) {
    case TReportFileType::Pdf: {
        TReportPaginator pages(layout, header, rows, ReportPageLayout(layout), kReportResolution);
        return WritePdfFile(pages, path, progress);
    }
    case TReportFileType::Csv:
    case TReportFileType::Html: {
        QSaveFile out(path);
        openSaveFile(out);
        std::unique_ptr<TReportSink> sink;
        if (type == TReportFileType::Csv)
            sink = std::make_unique<TCsvSink>(layout, out);
        else
            sink = std::make_unique<THtmlSink>(layout, header, out);
        auto r = rows();
        const qint64 n = WalkReport(layout, *r, *sink, progress);
        commit(out);
        return {n, 0};
    }
    case TReportFileType::Xlsx: {
        const QFileInfo target(path);
        if (!target.absoluteDir().exists())
            writeFailed(path, QStringLiteral("a pasta não existe."));
        QTemporaryFile tmp(target.absoluteDir().filePath(target.fileName() + QStringLiteral(".XXXXXX.tmp")));
        if (!tmp.open())
            writeFailed(path, tmp.errorString());
        tmp.close();
        qint64 n = 0;
        {
            TXlsxSink sink(layout, tmp.fileName(), path, target.absolutePath());
            auto r = rows();
            n = WalkReport(layout, *r, sink, progress);
            sink.Close();
        }
        // The temporary file was made private; the report gets the mode any new file gets
        // (0666 less the umask), or keeps the mode of the file it replaces, as the other types do.
        if (::chmod(QFile::encodeName(tmp.fileName()).constData(), newFileMode(path)) != 0)
            writeFailed(path, QString::fromLocal8Bit(std::strerror(errno)));
        // rename() replaces the old file in one step.
        if (std::rename(QFile::encodeName(tmp.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
            writeFailed(path, QString::fromLocal8Bit(std::strerror(errno)));
        tmp.setAutoRemove(false);
        return {n, 0};
    }
    }
    return {};
}

TPagesResult WritePdfFile(TReportPaginator &pages, const QString &path, const TReportProgress &progress)
{
    QSaveFile out(path);
    openSaveFile(out);
    TPagesResult result;
    {
        QPdfWriter pdf(&out);
        pdf.setResolution(pages.Resolution());
        pdf.setTitle(pages.Layout().Title);
        pdf.setCreator(QStringLiteral("rec-host"));
        pdf.setPageLayout(pages.PageLayout());
        result = pages.PaintAll(pdf, progress);
    }
    commit(out);
    return result;
}
