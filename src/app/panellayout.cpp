// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/panellayout.h"

#include "app/panelsplitter.h"
#include "status/statusstrip.h"
#include "widgets/icons.h"
#include "widgets/twips.h"

#include <QToolButton>
#include <QWidget>

namespace {

using Twips::toPixels;

// The design place of the browser panel's top, and the least of the page the splitter leaves.
constexpr int kDesignPanelTopTwips = 1500;
constexpr int kLeastBrowserHeight = 120;

}

PanelLayout::PanelLayout(const Controls &controls, StatusStrip *status, QObject *parent)
    : QObject(parent)
    , centralwidget(controls.centralwidget)
    , Picture1(controls.Picture1)
    , List1(controls.List1)
    , Line1(controls.Line1)
    , Line6(controls.Line6)
    , web1(controls.web1)
    , Combo2(controls.Combo2)
    , CmdUpDown(controls.CmdUpDown)
    , CmdUp(controls.CmdUp)
    , CmdDown(controls.CmdDown)
    , m_status(status)
    , m_splitter(new PanelSplitter(controls.centralwidget))
{
    CmdUp->setIcon(Icons::up());
    CmdDown->setIcon(Icons::down());
    CmdUpDown->setIcon(CmdUp->icon());
    connect(m_splitter, &PanelSplitter::dragged, this, &PanelLayout::setPanelTop);
    connect(CmdUpDown, &QToolButton::clicked, this, [this] { emit knowledgeBaseToggled(toggleKnowledgeBase()); });
}

void PanelLayout::hideKnowledgeBaseAtStart()
{
    Picture1->move(Picture1->x(), 0);
    CmdUpDown->setIcon(CmdDown->icon());
    CmdUpDown->setToolTip(QStringLiteral("Show knowledgebase"));
}

void PanelLayout::layout(bool toggled)
{
    // The panels follow the client area: the browser fills the width and reaches down to
    // the status strip, which stays along the bottom edge, so nothing of the page lies
    // under it. The minimum window size keeps every computed size positive.
    const int w = centralwidget->width();
    const int h = centralwidget->height();
    // The strip is as high as its text needs, at least its design height.
    const int stripHeight = m_status->height(toPixels(285));
    QWidget *const panel = Picture1;
    const bool kbShown = knowledgeBaseShown();
    if (kbShown) {
        // The result list reaches down to the browser panel, wherever the splitter put it.
        const int top = shownPanelTop();
        panel->move(panel->x(), top);
        const int designTop = toPixels(kDesignPanelTopTwips);
        List1->resize(List1->width(), qMax(0, top - designTop + toPixels(1410)));
        Line6->resize(Line6->width(), top - designTop + toPixels(1860));
        m_splitter->setGeometry(0, top - 3, w, 3);
        m_splitter->raise();
    }
    m_splitter->setVisible(kbShown);
    panel->setGeometry(panel->x(), panel->y(), qMax(0, w - panel->x()), panel->height());
    web1->setGeometry(web1->x(), web1->y(), qMax(0, panel->width() - web1->x()), web1->height());
    if (w > toPixels(6000)) {
        List1->resize(qMax(0, w - List1->x() - 1), List1->height());
        Combo2->resize(qMax(0, panel->width() - Combo2->x() - toPixels(135)), Combo2->height());
        const int lineX = List1->x() + List1->width() + 4;
        Line6->move(lineX, Line6->y());
        // After the toggle the top line ends at the result list's edge; the next wide
        // resize carries it to the window's edge again.
        Line1->resize(qMax(0, (toggled ? lineX : w) - Line1->x()), Line1->height());
    } else if (toggled) {
        Line1->resize(qMax(0, Line6->x() - Line1->x()), Line1->height());
    }
    // A window this low keeps the browser's height on resize; the toggle always sets it.
    if (toggled || h > toPixels(3500)) {
        const int panelHeight = qMax(0, h - stripHeight - panel->y());
        panel->resize(panel->width(), panelHeight);
        web1->resize(web1->width(), qMax(0, panelHeight - web1->y()));
    }
    m_status->layout(w, stripHeight, w - toPixels(425));
}

bool PanelLayout::toggleKnowledgeBase()
{
    const bool show = !knowledgeBaseShown();
    Picture1->move(Picture1->x(), show ? shownPanelTop() : 0);
    CmdUpDown->setIcon(show ? CmdUp->icon() : CmdDown->icon());
    CmdUpDown->setToolTip(show ? QStringLiteral("Hide knowledgebase") : QStringLiteral("Show knowledgebase"));
    layout(true);
    return show;
}

void PanelLayout::enableWeb(bool on)
{
    CmdUpDown->setEnabled(on);
}

bool PanelLayout::knowledgeBaseShown() const
{
    return Picture1->y() != 0;
}

double PanelLayout::savedShare() const
{
    return m_share;
}

void PanelLayout::restoreShare(double share)
{
    m_share = share > 0 && share <= 1 ? share : 0;
    if (knowledgeBaseShown())
        Picture1->move(Picture1->x(), shownPanelTop());
}

int PanelLayout::panelsHeight() const
{
    return centralwidget->height() - m_status->height(toPixels(285));
}

int PanelLayout::shownPanelTop() const
{
    const int designTop = toPixels(kDesignPanelTopTwips);
    const int height = panelsHeight();
    int lowest = height - kLeastBrowserHeight;
    // A place brought back from the last run leaves the message at least a third of the
    // window, whatever its size now; only a drag in this run may take more.
    if (!m_dragged)
        lowest = qMin(lowest, height - (centralwidget->height() + 2) / 3);
    const int top = m_share > 0 ? qRound(m_share * height) : designTop;
    return qMax(designTop, qMin(top, lowest));
}

void PanelLayout::setPanelTop(int top)
{
    m_dragged = true;
    const int height = panelsHeight();
    if (height <= 0)
        return;
    m_share = 0;
    if (top > toPixels(kDesignPanelTopTwips))
        m_share = qMin(1.0, double(top) / height);
    m_share = m_share > 0 ? double(shownPanelTop()) / height : 0;
    if (knowledgeBaseShown())
        layout(false);
}
