#include "report/ReportPreview.h"
#include "data/Exceptions.h"
#include "report/ReportPages.h"
#include "services/MessagePresenter.h"
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QShortcut>
#include <QPainter>
#include <QScrollArea>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace {
constexpr int kBorder = 12; // grey around the sheet
constexpr double kMinZoom = 0.1, kMaxZoom = 8.0;

QToolButton *toolButton(QWidget *parent, const char *name, const QString &text, const QString &tip, const QKeySequence &key = {})
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setToolTip(tip);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    if (!key.isEmpty())
        b->setShortcut(key);
    return b;
}
} // namespace

// The sheet of the page shown, on the scroll area's grey, with the matches of the last search
// and the chosen spot marked; the pointer and the keys choose and open spots.
class TPreviewPage : public QWidget {
public:
    explicit TPreviewPage(TReportPreviewDialog &dialog) : m_dialog(dialog)
    {
        setObjectName(QStringLiteral("pagPreview"));
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Dark));
        const QImage &image = m_dialog.m_image;
        if (image.isNull())
            return;
        p.fillRect(QRect(QPoint(kBorder + 3, kBorder + 3), image.size()), QColor(60, 60, 60));
        p.drawImage(QPoint(kBorder, kBorder), image);
        const QVector<TTextMatch> &matches = m_dialog.m_matches;
        for (int i = 0; i < matches.size(); ++i)
            if (matches[i].Page == m_dialog.m_imagePage)
                p.fillRect(m_dialog.ViewRect(matches[i].Rect).adjusted(-1, -1, 1, 1),
                           i == m_dialog.m_match ? QColor(255, 140, 0, 130) : QColor(255, 230, 0, 110));
        if (const TReportSpot *spot = m_dialog.ChosenSpot(); spot && m_dialog.m_chosenPage == m_dialog.m_imagePage) {
            p.setPen(QPen(QColor(30, 90, 200), 2));
            p.setBrush(QColor(30, 90, 200, 28));
            p.drawRect(m_dialog.ViewRect(spot->Rect).adjusted(-2, 0, 2, 0));
        }
        m_dialog.PageDrawn();
    }
    void mouseMoveEvent(QMouseEvent *e) override
    {
        if (m_dialog.OpensAt(e->position()))
            setCursor(Qt::PointingHandCursor);
        else
            unsetCursor();
        QWidget::mouseMoveEvent(e);
    }
    void mousePressEvent(QMouseEvent *e) override
    {
        setFocus(Qt::MouseFocusReason);
        if (e->button() == Qt::LeftButton)
            m_dialog.SpotClicked(e->position(), false);
    }
    void mouseDoubleClickEvent(QMouseEvent *e) override
    {
        if (e->button() == Qt::LeftButton)
            m_dialog.SpotClicked(e->position(), true);
    }
    void keyPressEvent(QKeyEvent *e) override
    {
        switch (e->key()) {
        case Qt::Key_Down: m_dialog.ChooseNext(); break;
        case Qt::Key_Up: m_dialog.ChoosePrevious(); break;
        case Qt::Key_Return:
        case Qt::Key_Enter: m_dialog.OpenChosen(); break;
        default: QWidget::keyPressEvent(e); return;
        }
        e->accept();
    }

private:
    TReportPreviewDialog &m_dialog;
};

TReportPreviewDialog::TReportPreviewDialog(TReportPaginator &pages, QWidget *parent) : QDialog(parent), m_pages(pages)
{
    setObjectName(QStringLiteral("dlgVisualizar"));
    auto *bar = new QWidget(this);
    auto *tools = new QHBoxLayout(bar);
    tools->setContentsMargins(4, 4, 4, 4);
    m_first = toolButton(bar, "btnPrimeiraPagina", QStringLiteral("|<"), QStringLiteral("Primeira página"), QKeySequence(Qt::CTRL | Qt::Key_Home));
    m_prev = toolButton(bar, "btnPaginaAnterior", QStringLiteral("<"), QStringLiteral("Página anterior"), QKeySequence(Qt::Key_PageUp));
    m_pageBox = new QSpinBox(bar);
    m_pageBox->setObjectName(QStringLiteral("spnPagina"));
    m_pageBox->setRange(1, std::max(1, PageCount()));
    m_pageBox->setKeyboardTracking(false);
    m_ofPages = new QLabel(QStringLiteral("de %1").arg(PageCount()), bar);
    m_ofPages->setObjectName(QStringLiteral("lblPaginas"));
    m_next = toolButton(bar, "btnProximaPagina", QStringLiteral(">"), QStringLiteral("Próxima página"), QKeySequence(Qt::Key_PageDown));
    m_last = toolButton(bar, "btnUltimaPagina", QStringLiteral(">|"), QStringLiteral("Última página"), QKeySequence(Qt::CTRL | Qt::Key_End));
    auto *zoomOut = toolButton(bar, "btnMenosZoom", QStringLiteral("-"), QStringLiteral("Diminuir"), QKeySequence(QKeySequence::ZoomOut));
    m_zoomLabel = new QLabel(bar);
    m_zoomLabel->setObjectName(QStringLiteral("lblZoom"));
    m_zoomLabel->setMinimumWidth(m_zoomLabel->fontMetrics().horizontalAdvance(QStringLiteral("8888%")));
    m_zoomLabel->setAlignment(Qt::AlignCenter);
    auto *zoomIn = toolButton(bar, "btnMaisZoom", QStringLiteral("+"), QStringLiteral("Aumentar"), QKeySequence(QKeySequence::ZoomIn));
    auto *width = toolButton(bar, "btnLarguraPagina", QStringLiteral("Largura"), QStringLiteral("Ajustar à largura da página"));
    auto *whole = toolButton(bar, "btnPaginaInteira", QStringLiteral("Página inteira"), QStringLiteral("Mostrar a página inteira"));
    auto *setup = toolButton(bar, "btnConfigurarPagina", QStringLiteral("Configurar página"),
                             QStringLiteral("Papel, orientação e margens deste relatório"));
    m_findBox = new QLineEdit(bar);
    m_findBox->setObjectName(QStringLiteral("edtLocalizar"));
    m_findBox->setPlaceholderText(QStringLiteral("Localizar (Ctrl+F)"));
    m_findBox->setClearButtonEnabled(true);
    m_findBox->setMinimumWidth(m_findBox->fontMetrics().horizontalAdvance(QStringLiteral("Localizar (Ctrl+F)MM")));
    auto *findPrev = toolButton(bar, "btnLocalizarAnterior", QStringLiteral("\u25B2"), QStringLiteral("Ocorrência anterior (Shift+F3)"));
    auto *findNext = toolButton(bar, "btnLocalizarProxima", QStringLiteral("\u25BC"), QStringLiteral("Próxima ocorrência (F3)"));
    m_findCount = new QLabel(bar);
    m_findCount->setObjectName(QStringLiteral("lblOcorrencias"));
    auto *print = toolButton(bar, "btnImprimir", QStringLiteral("Imprimir"), QStringLiteral("Imprimir todas as páginas"), QKeySequence::Print);
    auto *save = toolButton(bar, "btnSalvarPdf", QStringLiteral("Salvar PDF"), QStringLiteral("Salvar todas as páginas em PDF"));
    auto *close = toolButton(bar, "btnFechar", QStringLiteral("Fechar"), QStringLiteral("Fechar a visualização"));
    for (QWidget *w : std::initializer_list<QWidget *>{m_first, m_prev, m_pageBox, m_ofPages, m_next, m_last})
        tools->addWidget(w);
    tools->addSpacing(16);
    for (QWidget *w : std::initializer_list<QWidget *>{zoomOut, m_zoomLabel, zoomIn, width, whole})
        tools->addWidget(w);
    tools->addSpacing(16);
    for (QWidget *w : std::initializer_list<QWidget *>{m_findBox, findPrev, findNext, m_findCount})
        tools->addWidget(w);
    tools->addStretch();
    tools->addWidget(setup);
    for (QWidget *w : std::initializer_list<QWidget *>{print, save, close})
        tools->addWidget(w);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("scrPaginas"));
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_view = new TPreviewPage(*this);
    m_scroll->setWidget(m_view);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_scroll, 1);

    connect(m_first, &QToolButton::clicked, this, [this] { ShowPage(1); });
    connect(m_prev, &QToolButton::clicked, this, [this] { ShowPage(m_page - 1); });
    connect(m_next, &QToolButton::clicked, this, [this] { ShowPage(m_page + 1); });
    connect(m_last, &QToolButton::clicked, this, [this] { ShowPage(PageCount()); });
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int page) { ShowPage(page); });
    connect(zoomIn, &QToolButton::clicked, this, &TReportPreviewDialog::ZoomIn);
    connect(zoomOut, &QToolButton::clicked, this, &TReportPreviewDialog::ZoomOut);
    connect(width, &QToolButton::clicked, this, &TReportPreviewDialog::FitWidth);
    connect(whole, &QToolButton::clicked, this, &TReportPreviewDialog::FitPage);
    connect(close, &QToolButton::clicked, this, &QDialog::reject);
    connect(setup, &QToolButton::clicked, this, &TReportPreviewDialog::RunPageSetup);
    // Enter finds the text typed, or goes on to the next match of the text already found.
    connect(m_findBox, &QLineEdit::returnPressed, this, [this] {
        if (m_findBox->text() == m_found && m_finder)
            FindNext();
        else
            Find(m_findBox->text());
    });
    connect(findNext, &QToolButton::clicked, this, &TReportPreviewDialog::FindNext);
    connect(findPrev, &QToolButton::clicked, this, &TReportPreviewDialog::FindPrevious);
    // The search keys act at once, wherever the focus is in the preview.
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
        m_findBox->setFocus(Qt::ShortcutFocusReason);
        m_findBox->selectAll();
    });
    connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, this, &TReportPreviewDialog::FindNext);
    connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this), &QShortcut::activated, this, &TReportPreviewDialog::FindPrevious);
    // A failed print or save shows its message; the preview stays open.
    connect(print, &QToolButton::clicked, this, [this] {
        if (!Print)
            return;
        m_pages.CloseRows();
        RunAction(Print);
    });
    connect(save, &QToolButton::clicked, this, [this] {
        if (!SavePdf)
            return;
        m_pages.CloseRows();
        RunAction(SavePdf);
    });
}

TReportPreviewDialog::~TReportPreviewDialog() = default;

int TReportPreviewDialog::PageCount() const { return m_pages.PageCount(); }

void TReportPreviewDialog::ShowPage(int page)
{
    page = std::clamp(page, 1, std::max(1, PageCount()));
    if (page == m_page && m_imagePage == page)
        return;
    // A spot chosen stays chosen only on its own page.
    if (page != m_chosenPage)
        m_chosen = -1;
    m_page = page;
    Refresh();
}

void TReportPreviewDialog::SetZoom(double zoom)
{
    m_fit = TFit::None;
    m_zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    Refresh();
}

void TReportPreviewDialog::ZoomIn() { SetZoom(m_zoom * 1.25); }
void TReportPreviewDialog::ZoomOut() { SetZoom(m_zoom / 1.25); }

void TReportPreviewDialog::FitWidth()
{
    m_fit = TFit::Width;
    Refresh();
}

void TReportPreviewDialog::FitPage()
{
    m_fit = TFit::Page;
    Refresh();
}

double TReportPreviewDialog::FitZoom(TFit fit) const
{
    const QSizeF paper = m_pages.PageLayout().fullRectPoints().size() / 72.0 * logicalDpiX();
    const QSize room = m_scroll->maximumViewportSize() - QSize(2 * kBorder, 2 * kBorder);
    // The width of a page taller than the window leaves room for the vertical scroll bar; a whole page needs none.
    if (fit == TFit::Width)
        return std::clamp((room.width() - m_scroll->verticalScrollBar()->sizeHint().width()) / paper.width(), kMinZoom, kMaxZoom);
    return std::clamp(std::min(room.width() / paper.width(), room.height() / paper.height()), kMinZoom, kMaxZoom);
}

void TReportPreviewDialog::Refresh()
{
    if (!isVisible() || !m_failure.isEmpty() || PageCount() < 1)
        return;
    if (m_fit != TFit::None)
        m_zoom = FitZoom(m_fit);
    m_zoomLabel->setText(QStringLiteral("%1%").arg(qRound(m_zoom * 100)));
    {
        const QSignalBlocker quiet(m_pageBox);
        m_pageBox->setValue(m_page);
    }
    m_first->setEnabled(m_page > 1);
    m_prev->setEnabled(m_page > 1);
    m_next->setEnabled(m_page < PageCount());
    m_last->setEnabled(m_page < PageCount());
    if (m_imagePage != m_page || m_imageZoom != m_zoom) {
        if (m_imageZoom != m_zoom)
            m_recent.clear();
        const auto kept = std::find_if(m_recent.begin(), m_recent.end(), [this](const auto &r) { return r.first == m_page; });
        if (kept != m_recent.end()) {
            m_image = kept->second;
        } else {
            try {
                m_image = m_pages.Render(m_page, logicalDpiX() * m_zoom);
            } catch (const EHostError &e) {
                Fail(e.Message());
                return;
            }
            m_recent.emplace_back(m_page, m_image);
            if (m_recent.size() > 8)
                m_recent.pop_front();
        }
        const bool newPage = m_imagePage != m_page;
        m_imagePage = m_page;
        m_imageZoom = m_zoom;
        m_imageDpi = logicalDpiX() * m_zoom;
        m_view->resize(m_image.size() + QSize(2 * kBorder, 2 * kBorder));
        if (newPage)
            m_scroll->verticalScrollBar()->setValue(0);
    }
    m_view->update();
}

QRectF TReportPreviewDialog::ViewRect(const QRectF &pageRect) const
{
    // The sheet is drawn as SetupSheet sets the painter: to the printable area, then scaled to the layout's area.
    const double scale = m_imageDpi / m_pages.Resolution();
    const QPointF origin = m_pages.PageLayout().paintRectPixels(m_pages.Resolution()).topLeft();
    return QRectF((origin + pageRect.topLeft() * m_pages.Scale()) * scale + QPointF(kBorder, kBorder), pageRect.size() * m_pages.Scale() * scale);
}

QPointF TReportPreviewDialog::PagePoint(const QPointF &viewPoint) const
{
    if (m_imageDpi <= 0)
        return {-1, -1};
    const double scale = m_imageDpi / m_pages.Resolution();
    const QPointF origin = m_pages.PageLayout().paintRectPixels(m_pages.Resolution()).topLeft();
    return ((viewPoint - QPointF(kBorder, kBorder)) / scale - origin) / m_pages.Scale();
}

const TReportSpot *TReportPreviewDialog::ChosenSpot() const
{
    const QVector<TReportSpot> &spots = m_pages.Spots(m_chosenPage);
    return m_chosen >= 0 && m_chosen < spots.size() ? &spots[m_chosen] : nullptr;
}

void TReportPreviewDialog::Choose(int page, int spot)
{
    m_chosenPage = page;
    m_chosen = spot;
    ShowPage(page);
    if (const TReportSpot *s = ChosenSpot())
        EnsureVisible(s->Rect);
    m_view->update();
}

void TReportPreviewDialog::ChooseNext()
{
    int page = m_page;
    int from = m_chosen >= 0 && m_chosenPage == m_page ? m_chosen + 1 : 0;
    for (; page <= PageCount(); ++page, from = 0) {
        const QVector<TReportSpot> &spots = m_pages.Spots(page);
        for (int i = from; i < spots.size(); ++i)
            if (spots[i].Opens) {
                Choose(page, i);
                return;
            }
    }
}

void TReportPreviewDialog::ChoosePrevious()
{
    int page = m_page;
    int from = m_chosen >= 0 && m_chosenPage == m_page ? m_chosen - 1 : static_cast<int>(m_pages.Spots(m_page).size()) - 1;
    for (; page >= 1; --page) {
        const QVector<TReportSpot> &spots = m_pages.Spots(page);
        if (from >= spots.size())
            from = static_cast<int>(spots.size()) - 1;
        for (int i = from; i >= 0; --i)
            if (spots[i].Opens) {
                Choose(page, i);
                return;
            }
        from = static_cast<int>(m_pages.Spots(page - 1).size()) - 1;
    }
}

void TReportPreviewDialog::OpenChosen()
{
    const TReportSpot *spot = ChosenSpot();
    if (!spot || !spot->Opens || !OpenSpot)
        return;
    const TReportSpot chosen = *spot;
    m_pages.CloseRows();
    RunAction([&] { OpenSpot(chosen); });
}

bool TReportPreviewDialog::OpensAt(const QPointF &viewPoint) const
{
    const TReportSpot *spot = m_pages.SpotAt(m_imagePage, PagePoint(viewPoint));
    return spot && spot->Opens && OpenSpot;
}

void TReportPreviewDialog::SpotClicked(const QPointF &viewPoint, bool open)
{
    const QVector<TReportSpot> &spots = m_pages.Spots(m_imagePage);
    const TReportSpot *spot = m_pages.SpotAt(m_imagePage, PagePoint(viewPoint));
    if (!spot || !spot->Opens)
        return;
    m_chosenPage = m_imagePage;
    m_chosen = static_cast<int>(spot - spots.data());
    m_view->update();
    if (open)
        OpenChosen();
}

void TReportPreviewDialog::EnsureVisible(const QRectF &pageRect)
{
    const QRectF r = ViewRect(pageRect);
    m_scroll->ensureVisible(qRound(r.center().x()), qRound(r.center().y()), qRound(r.width() / 2) + 8, qRound(r.height() * 2));
}

void TReportPreviewDialog::Find(const QString &text)
{
    m_found = text;
    m_matches.clear();
    m_match = -1;
    if (!text.isEmpty()) {
        if (!m_finder) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
            try {
                m_finder = std::make_unique<TReportFinder>(m_pages);
            } catch (const EHostError &e) {
                m_found.clear();
                MessagePresenter().ShowError(e.Message());
                return;
            }
        }
        m_matches = m_finder->Find(text);
    }
    // The first match from the page shown on.
    int first = m_matches.isEmpty() ? -1 : 0;
    for (int i = 0; i < m_matches.size(); ++i)
        if (m_matches[i].Page >= m_page) {
            first = i;
            break;
        }
    GoToMatch(first);
}

void TReportPreviewDialog::FindNext()
{
    if (m_found != m_findBox->text() || !m_finder)
        return Find(m_findBox->text());
    if (!m_matches.isEmpty())
        GoToMatch((m_match + 1) % static_cast<int>(m_matches.size()));
}

void TReportPreviewDialog::FindPrevious()
{
    if (m_found != m_findBox->text() || !m_finder)
        return Find(m_findBox->text());
    if (!m_matches.isEmpty())
        GoToMatch((m_match - 1 + static_cast<int>(m_matches.size())) % static_cast<int>(m_matches.size()));
}

void TReportPreviewDialog::GoToMatch(int index)
{
    m_match = index;
    ShowMatchCount();
    if (index >= 0) {
        ShowPage(m_matches[index].Page);
        EnsureVisible(m_matches[index].Rect);
    }
    m_view->update();
}

void TReportPreviewDialog::ShowMatchCount()
{
    const qsizetype n = m_matches.size();
    if (m_found.isEmpty())
        m_findCount->clear();
    else if (n == 0)
        m_findCount->setText(QStringLiteral("Nenhuma ocorrência"));
    else
        m_findCount->setText(QStringLiteral("%1 de %2 %3").arg(m_match + 1).arg(n).arg(n == 1 ? QStringLiteral("ocorrência") : QStringLiteral("ocorrências")));
}

void TReportPreviewDialog::RunPageSetup()
{
    if (!PageSetup)
        return;
    m_pages.CloseRows();
    bool changed = false;
    RunAction([&] { changed = PageSetup(); });
    if (changed)
        Relayout();
}

void TReportPreviewDialog::Relayout()
{
    m_recent.clear();
    m_imagePage = 0;
    m_imageZoom = 0;
    m_chosen = -1;
    m_chosenPage = 0;
    m_finder.reset();
    const QString again = m_found;
    m_matches.clear();
    m_match = -1;
    m_pageBox->setRange(1, std::max(1, PageCount()));
    m_ofPages->setText(QStringLiteral("de %1").arg(PageCount()));
    m_page = 1;
    Refresh();
    if (!again.isEmpty())
        Find(again);
}

void TReportPreviewDialog::Fail(const QString &message)
{
    m_failure = message;
    QTimer::singleShot(0, this, &QDialog::reject);
}

void TReportPreviewDialog::PageDrawn() { m_shown = m_imagePage; }

void TReportPreviewDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (m_fit != TFit::None)
        Refresh();
}

void TReportPreviewDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Refresh();
    m_view->setFocus(Qt::OtherFocusReason);
}
