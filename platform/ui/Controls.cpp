#include "ui/Controls.h"
#include <QRegularExpressionValidator>
#include <algorithm>
#include "data/Exceptions.h"
#include "services/Consiste.h"
#include <QApplication>
#include <QCalendarWidget>
#include <QDialog>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QWindow>
#include <QPainter>
#include <QTabBar>
#include <QVBoxLayout>

void Place(QWidget *w, int left, int top, int width, int height) { w->setGeometry(left, top, width, height); }

// ---------------------------------------------------------------- buttons

TRadioButton::TRadioButton(const QString &name, const QString &caption, QWidget *parent) : TFocusEvents<QRadioButton>(caption, parent)
{
    setObjectName(name);
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        if (on && !m_inCode && OnClick)
            FireEvent([this] { OnClick(this); });
    });
}

void TRadioButton::SetChecked(bool checked)
{
    if (checked == isChecked())
        return;
    m_inCode = true;
    if (checked) {
        setChecked(true);
    } else {
        // An exclusive radio button is only unchecked with its exclusivity off.
        setAutoExclusive(false);
        setChecked(false);
        setAutoExclusive(true);
    }
    m_inCode = false;
    if (checked && OnClick)
        CallEvent([this] { OnClick(this); });
}

TCheckBox::TCheckBox(const QString &name, const QString &caption, QWidget *parent) : TFocusEvents<QCheckBox>(caption, parent)
{
    setObjectName(name);
    connect(this, &QAbstractButton::toggled, this, [this](bool) {
        if (!m_inCode && OnClick)
            FireEvent([this] { OnClick(this); });
    });
}

void TCheckBox::SetChecked(bool checked)
{
    if (checked == isChecked())
        return;
    m_inCode = true;
    setChecked(checked);
    m_inCode = false;
    if (OnClick)
        CallEvent([this] { OnClick(this); });
}

TGroupBox::TGroupBox(const QString &name, const QString &caption, QWidget *parent, bool boldCaption) : QGroupBox(caption, parent)
{
    setObjectName(name);
    if (boldCaption)
        setStyleSheet(QStringLiteral("QGroupBox#%1 { font-weight: bold; } QGroupBox#%1 > * { font-weight: normal; }").arg(name));
}

TRadioGroup::TRadioGroup(const QString &name, const QString &caption, const QStringList &items, QWidget *parent) : TGroupBox(name, caption, parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 4, 4);
    layout->setSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items[i], this);
        b->setObjectName(QStringLiteral("%1_%2").arg(name).arg(i));
        layout->addWidget(b);
        m_buttons.push_back(b);
        connect(b, &QAbstractButton::toggled, this, [this](bool on) {
            if (on && !m_inCode && OnClick)
                FireEvent([this] { OnClick(this); });
        });
    }
}

int TRadioGroup::ItemIndex() const
{
    for (size_t i = 0; i < m_buttons.size(); ++i)
        if (m_buttons[i]->isChecked())
            return static_cast<int>(i);
    return -1;
}

void TRadioGroup::SetItemIndex(int index)
{
    // -1 clears the choice; any other index outside the items changes nothing.
    if (index == ItemIndex() || index < -1 || index >= Count())
        return;
    m_inCode = true;
    if (index == -1) {
        QRadioButton *cur = m_buttons[static_cast<size_t>(ItemIndex())];
        cur->setAutoExclusive(false);
        cur->setChecked(false);
        cur->setAutoExclusive(true);
        m_inCode = false;
        return;
    }
    m_buttons[static_cast<size_t>(index)]->setChecked(true);
    m_inCode = false;
    if (OnClick)
        CallEvent([this] { OnClick(this); });
}

QStringList TRadioGroup::Items() const
{
    QStringList out;
    for (auto *b : m_buttons)
        out << b->text();
    return out;
}

namespace {
QIcon magnifierGlyph()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.drawEllipse(QRectF(2, 2, 8, 8));
    p.drawLine(QPointF(9, 9), QPointF(14, 14));
    return QIcon(pm);
}

QIcon calendarGlyph()
{
    QPixmap pm(14, 14);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawRect(1, 2, 11, 10);
    p.fillRect(1, 2, 12, 3, QColor(170, 30, 30));
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            p.fillRect(3 + c * 3, 7 + r * 2, 2, 1, QColor(60, 60, 60));
    return QIcon(pm);
}
} // namespace

TButtonFlat::TButtonFlat(const QString &name, QWidget *parent, const QString &hint, const QString &glyph) : TFocusEvents<QToolButton>(parent)
{
    setObjectName(name);
    setAutoRaise(true);
    setToolTip(hint);
    if (glyph == QStringLiteral("magnifier"))
        setIcon(magnifierGlyph());
    else if (!glyph.isEmpty())
        setText(glyph);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (OnClick)
            FireEvent([this] { OnClick(this); });
    });
}

void TButtonFlat::Click()
{
    if (isEnabled())
        click();
}

// ---------------------------------------------------------------- edits

TMaskEdit::TMaskEdit(const QString &name, QWidget *parent, int maxLength) : TFocusEvents<QLineEdit>(parent)
{
    setObjectName(name);
    setMaxLength(maxLength);
}

void TMaskEdit::keyPressEvent(QKeyEvent *e)
{
    if (!keyDown(e))
        return;
    const QString t = e->text();
    if (OnKeyPress && t.size() == 1 && (t.at(0).isPrint() || t.at(0) == QChar(8))) {
        QChar key = t.at(0);
        FireEvent([&] { OnKeyPress(this, key); });
        if (key.isNull())
            return;
        if (key != t.at(0)) {
            insert(QString(key));
            return;
        }
    }
    QLineEdit::keyPressEvent(e);
}

TNumberEdit::TNumberEdit(const QString &name, QWidget *parent, int decimals) : TFocusEvents<QLineEdit>(parent), Decimals(decimals)
{
    setObjectName(name);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

double TNumberEdit::GetNumber() const
{
    QString t = text().trimmed();
    t.remove(FormatSettings().ThousandSeparator);
    t.replace(FormatSettings().DecimalSeparator, QLatin1Char('.'));
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok ? v : 0.0;
}

void TNumberEdit::SetNumber(double value)
{
    QLocale loc(QLocale::Portuguese, QLocale::Brazil);
    QString s = loc.toString(value, 'f', Decimals);
    s.replace(loc.groupSeparator(), QString(FormatSettings().ThousandSeparator));
    s.replace(loc.decimalPoint(), QString(FormatSettings().DecimalSeparator));
    setText(s);
}

void TNumberEdit::keyPressEvent(QKeyEvent *e)
{
    if (!keyDown(e))
        return;
    const QString t = e->text();
    if (t.size() == 1 && t.at(0).isPrint()) {
        QChar key = t.at(0);
        if (OnKeyPress)
            FireEvent([&] { OnKeyPress(this, key); });
        if (key.isNull())
            return;
        // Only digits and the decimal separator make a number.
        if (!key.isDigit() && key != FormatSettings().DecimalSeparator)
            return;
        insert(QString(key));
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void TNumberEdit::focusOutEvent(QFocusEvent *e)
{
    if (!text().trimmed().isEmpty())
        SetNumber(GetNumber());
    TFocusEvents<QLineEdit>::focusOutEvent(e);
}

TDateEditPlus::TDateEditPlus(const QString &name, QWidget *parent) : TFocusEvents<QLineEdit>(parent)
{
    setObjectName(name);
    NomeSemana = {QStringLiteral("Domingo"), QStringLiteral("Segunda"), QStringLiteral("Terça"), QStringLiteral("Quarta"),
                  QStringLiteral("Quinta"), QStringLiteral("Sexta"), QStringLiteral("Sábado")};
    const QString format = FormatSettings().ShortDateFormat;
    if (IsFixedWidthDatePattern(format)) {
        QString mask = format;
        for (QChar &c : mask)
            if (c.isLetter())
                c = QLatin1Char('9');
        setInputMask(mask + QStringLiteral("; "));
    } else {
        // "d" and "M" take one or two digits: no mask, only digits and the pattern's separator.
        const QChar separator = *std::find_if_not(format.begin(), format.end(), [](QChar c) { return c.isLetter(); });
        setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9%1]*").arg(QRegularExpression::escape(QString(separator)))), this));
        setMaxLength(format.count(QLatin1Char('y')) + 6);
    }
    m_button = new QToolButton(this);
    m_button->setObjectName(name + QStringLiteral("_calendario"));
    m_button->setIcon(calendarGlyph());
    m_button->setAutoRaise(true);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setCursor(Qt::ArrowCursor);
    m_button->setToolTip(QStringLiteral("Calendário"));
    setTextMargins(0, 0, 18, 0);
    connect(m_button, &QToolButton::clicked, this, &TDateEditPlus::ShowCalendar);
    connect(this, &QLineEdit::textChanged, this, &TDateEditPlus::Refresh);
    Refresh();
}

void TDateEditPlus::resizeEvent(QResizeEvent *e)
{
    QLineEdit::resizeEvent(e);
    m_button->setGeometry(width() - 18, 1, 17, height() - 2);
}

QString TDateEditPlus::Text() const { return IsBlank() ? QString() : text(); }

void TDateEditPlus::SetText(const QString &t) { setText(t); }

bool TDateEditPlus::IsBlank() const
{
    for (QChar c : text())
        if (c.isLetterOrNumber())
            return false;
    return true;
}

TDateTime TDateEditPlus::GetDate() const
{
    TDateTime d = 0;
    if (IsBlank() || !TryStrToDate(text(), d))
        return 0;
    return d;
}

void TDateEditPlus::SetDate(TDateTime value)
{
    if (value == 0)
        clear();
    else
        setText(DateToStr(value));
}

void TDateEditPlus::CheckValidDate()
{
    if (IsBlank())
        return;
    TDateTime d = 0;
    if (!TryStrToDate(text(), d))
        throw EHostError(QStringLiteral("'%1' não é uma data válida.").arg(text().trimmed()));
}

void TDateEditPlus::Refresh()
{
    const TDateTime d = GetDate();
    QPalette pal = palette();
    pal.setColor(QPalette::Text, d != 0 ? QColor(Qt::blue) : QApplication::palette().color(QPalette::Text));
    setPalette(pal);
    setToolTip(d != 0 ? NomeSemana.value(DateTimeToDate(d).dayOfWeek() % 7) : QString());
}

void TDateEditPlus::ShowCalendar()
{
    QDialog popup(this, Qt::Popup);
    auto *layout = new QVBoxLayout(&popup);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *cal = new QCalendarWidget(&popup);
    layout->addWidget(cal);
    const TDateTime d = GetDate();
    cal->setSelectedDate(d != 0 ? DateTimeToDate(d) : QDate::currentDate());
    connect(cal, &QCalendarWidget::activated, &popup, [&](const QDate &date) {
        SetDate(DateToDateTime(date));
        popup.accept();
    });
    popup.move(mapToGlobal(QPoint(0, height())));
    popup.exec();
    setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------- pages

TTabSheet::TTabSheet(const QString &name, const QString &caption, QWidget *parent) : QWidget(parent), Caption(caption)
{
    setObjectName(name);
}

TPageControl::TPageControl(const QString &name, QWidget *parent) : QTabWidget(parent)
{
    setObjectName(name);
    connect(this, &QTabWidget::currentChanged, this, &TPageControl::OnCurrentChanged);
    connect(qApp, &QApplication::focusChanged, this, &TPageControl::OnFocusChanged);
    tabBar()->installEventFilter(this);
    qApp->installEventFilter(this);
}

bool TPageControl::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress)
        return QTabWidget::eventFilter(watched, event);
    // A press reaches the window before Qt moves the focus to where it was
    // clicked; a press sent to the tab bar itself moves no focus.
    const bool atWindow = watched->isWindowType() && isVisible() && window()->windowHandle() == watched;
    if (watched != tabBar() && !atWindow)
        return QTabWidget::eventFilter(watched, event);
    const auto *me = static_cast<QMouseEvent *>(event);
    const QPoint at = me->position().toPoint();
    if (atWindow && window()->childAt(at) != tabBar())
        return QTabWidget::eventFilter(watched, event);
    const int target = tabBar()->tabAt(atWindow ? tabBar()->mapFrom(window(), at) : at);
    if (me->button() != Qt::LeftButton || target < 0 || target == m_current || !isTabEnabled(target))
        return QTabWidget::eventFilter(watched, event);
    // Asked before the page hides and before the focus moves: a refused
    // change leaves the focus where it was, so nothing complains twice.
    RequestChange(target);
    return true;
}

void TPageControl::AddPage(TTabSheet *page)
{
    m_programmatic = true;
    addTab(page, page->Caption);
    m_programmatic = false;
    m_current = currentIndex();
}

TTabSheet *TPageControl::Page(int index) const { return static_cast<TTabSheet *>(widget(index)); }

TTabSheet *TPageControl::ActivePage() const { return m_current < 0 ? nullptr : Page(m_current); }

void TPageControl::SetActivePage(TTabSheet *page)
{
    const int index = indexOf(page);
    if (index < 0 || index == m_current)
        return;
    m_programmatic = true;
    setCurrentIndex(index);
    m_programmatic = false;
    m_current = index;
}

bool TPageControl::UserSelect(int index)
{
    if (index < 0 || index >= count() || index == m_current)
        return false;
    return RequestChange(index);
}

void TPageControl::OnCurrentChanged(int index)
{
    if (m_programmatic || index == m_current)
        return;
    // A change by the keyboard: the page being left is active again while
    // OnChanging decides.
    m_programmatic = true;
    setCurrentIndex(m_current);
    m_programmatic = false;
    RequestChange(index);
}

bool TPageControl::RequestChange(int target)
{
    bool allow = true;
    if (OnChanging)
        FireEvent([&] { OnChanging(this, allow); });
    if (!allow)
        return false;
    m_programmatic = true;
    setCurrentIndex(target);
    m_programmatic = false;
    m_current = target;
    if (OnChange)
        FireEvent([this] { OnChange(this); });
    EnterPage(Page(target));
    return true;
}

void TPageControl::EnterPage(TTabSheet *page)
{
    if (!page || page == m_entered)
        return;
    m_entered = page;
    if (page->OnEnter)
        FireEvent([page] { page->OnEnter(page); });
}

void TPageControl::OnFocusChanged(QWidget *old, QWidget *now)
{
    Q_UNUSED(old);
    if (!now || !window()->isAncestorOf(now))
        return;
    for (int i = 0; i < count(); ++i) {
        if (Page(i)->isAncestorOf(now)) {
            EnterPage(Page(i));
            return;
        }
    }
    m_entered = nullptr; // the focus went to a control outside the pages
}

TComboBox::TComboBox(const QString &name, QWidget *parent) : TFocusEvents<QComboBox>(parent)
{
    setObjectName(name);
    connect(this, &QComboBox::activated, this, [this](int) {
        if (OnChange)
            FireEvent([this] { OnChange(this); });
    });
}

void TComboBox::SetItemIndex(int index)
{
    const QSignalBlocker block(this);
    setCurrentIndex(index);
}

void TComboBox::UserSelect(int index)
{
    SetItemIndex(index);
    emit activated(index);
}

TPanel::TPanel(const QString &name, QWidget *parent, bool lowered) : QFrame(parent)
{
    setObjectName(name);
    if (lowered)
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
}
