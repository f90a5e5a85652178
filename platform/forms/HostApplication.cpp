#include "forms/HostApplication.h"
#include "services/Session.h"
#include "ui/Controls.h"
#include "ui/Events.h"
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QRadioButton>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <algorithm>

THostApplication *THostApplication::Application() { return SessionState().Application; }
void THostApplication::SetApplication(THostApplication *app) { SessionState().Application = app; }

void THostApplication::Show(TfrmDadosGerRel &form)
{
    if (form.FormStyle == TFormStyle::fsMDIChild)
        ShowMdiChild(form);
    else
        ShowModal(form);
}

namespace {
// Only a polished form knows how wide each caption is: then every label, check
// box, radio button and radio group too narrow for its text grows to show it whole.
void fitCaptions(QWidget &form)
{
    form.ensurePolished();
    for (QWidget *w : form.findChildren<QWidget *>()) {
        int need = 0;
        if (qobject_cast<QLabel *>(w) || qobject_cast<QCheckBox *>(w) || qobject_cast<QRadioButton *>(w)) {
            need = w->sizeHint().width();
        } else if (dynamic_cast<TRadioGroup *>(w) && w->layout()) {
            w->layout()->activate();
            const int rightEdge = w->width() - w->contentsRect().right() - 1 + w->layout()->contentsMargins().right();
            for (QWidget *item : w->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly))
                need = std::max(need, item->x() + item->sizeHint().width() + rightEdge);
        }
        if (w->width() < need)
            w->resize(need, w->height());
    }
}
} // namespace

TMdiApplication::TMdiApplication(QWidget *mainForm, QMdiArea *area) : m_mainForm(mainForm), m_area(area)
{
    connect(area, &QMdiArea::subWindowActivated, this, &TMdiApplication::OnSubWindowActivated);
}

TMdiApplication::~TMdiApplication()
{
    if (THostApplication::Application() == this)
        THostApplication::SetApplication(nullptr);
    while (m_cursor != crDefault && QApplication::overrideCursor())
        SetScreenCursor(crDefault);
}

void TMdiApplication::Adopt(TfrmDadosGerRel &form)
{
    QMdiSubWindow *frame = m_area->addSubWindow(&form, Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    frame->setObjectName(form.objectName() + QStringLiteral("_frame"));
    frame->setAttribute(Qt::WA_DeleteOnClose, false);
    frame->move(form.DesignPosition);
}

QMdiSubWindow *TMdiApplication::FrameOf(const TfrmDadosGerRel &form) const
{
    return qobject_cast<QMdiSubWindow *>(form.parentWidget());
}

void TMdiApplication::ShowMdiChild(TfrmDadosGerRel &form)
{
    QMdiSubWindow *frame = FrameOf(form);
    if (!frame)
        return;
    const bool firstShow = !frame->isVisible();
    if (firstShow)
        fitCaptions(form);
    m_showing = true;
    frame->show();
    frame->adjustSize();
    if (firstShow) {
        // The designed place, moved up and left as far as needed for the whole window to show.
        const QSize room = m_area->viewport()->size();
        const QPoint design = form.DesignPosition;
        frame->move(std::max(0, std::min(design.x(), room.width() - frame->width())), std::max(0, std::min(design.y(), room.height() - frame->height())));
    }
    m_area->setActiveSubWindow(frame);
    m_showing = false;
    if (firstShow)
        form.DoShow();
    if (m_active != &form) {
        m_active = &form;
        form.DoActivate();
    }
}

void TMdiApplication::ShowModal(TfrmDadosGerRel &form)
{
    form.setParent(nullptr);
    form.setWindowModality(Qt::ApplicationModal);
    form.show();
    form.DoShow();
    form.DoActivate();
    QEventLoop loop;
    QObject::connect(&form, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
}

void TMdiApplication::Discard(TfrmDadosGerRel &form)
{
    if (m_active == &form)
        m_active = nullptr;
    QMdiSubWindow *frame = FrameOf(form);
    if (frame && frame->mdiArea() == m_area) {
        m_area->removeSubWindow(frame);
        delete frame; // the form with it
        return;
    }
    delete &form;
}

void TMdiApplication::SetWindowStateNormal(TfrmDadosGerRel &form)
{
    if (QMdiSubWindow *frame = FrameOf(form))
        frame->showNormal();
    else
        form.showNormal();
}

void TMdiApplication::SetScreenCursor(int cursor)
{
    if (cursor == m_cursor)
        return;
    if (m_cursor != crDefault)
        QApplication::restoreOverrideCursor();
    if (cursor == crHourGlass)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    m_cursor = cursor;
}

void TMdiApplication::OnSubWindowActivated(QMdiSubWindow *window)
{
    if (m_showing || !window)
        return;
    auto *form = qobject_cast<TfrmDadosGerRel *>(window->widget());
    if (!form) {
        m_active = nullptr; // another child window is in front now
        return;
    }
    if (form == m_active)
        return;
    m_active = form;
    FireEvent([form] { form->DoActivate(); });
}
