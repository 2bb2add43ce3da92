// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/pageprinter.h"

#include <QEventLoop>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

// How long closing the window waits for a print under way to be written.
constexpr int printWaitMs = 60000;

}

PagePrinter::PagePrinter(QWebEngineView *view, QWebEnginePage *page, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_page(page)
{
    connect(m_view, &QWebEngineView::printFinished, this, [this] { m_printing = false; });
    connect(m_page, &QWebEnginePage::pdfPrintingFinished, this, [this] { m_printing = false; });
}

PagePrinter::~PagePrinter() = default;

void PagePrinter::print(bool prompt)
{
    if (m_printing)
        return;
    QPrinter &target = printer();
    if (prompt) {
        QPrintDialog dialog(&target, m_view->window());
        if (dialog.exec() != QDialog::Accepted)
            return;
    }
    m_printing = true;
    // Printed to a file, the page goes to PDF as the engine writes it, text and all;
    // a printer gets the pages as pictures.
    if (target.outputFormat() == QPrinter::PdfFormat && !target.outputFileName().isEmpty())
        m_page->printToPdf(target.outputFileName(), target.pageLayout(), target.pageRanges());
    else
        m_view->print(&target);
}

bool PagePrinter::isPrinting() const
{
    return m_printing;
}

void PagePrinter::waitForPrinting()
{
    // The engine crashes when the page goes while it still prints it, and the file being
    // printed would be lost; closing waits for it, a bounded time.
    QEventLoop loop;
    connect(m_view, &QWebEngineView::printFinished, &loop, &QEventLoop::quit);
    connect(m_page, &QWebEnginePage::pdfPrintingFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(printWaitMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void PagePrinter::printPreview()
{
    if (m_printing)
        return;
    QPrintPreviewDialog dialog(&printer(), m_view->window());
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter *target) {
        // The preview paints synchronously; the engine prints asynchronously.
        QEventLoop loop;
        connect(m_view, &QWebEngineView::printFinished, &loop, &QEventLoop::quit);
        m_printing = true;
        m_view->print(target);
        loop.exec();
    });
    dialog.exec();
}

void PagePrinter::pageSetup()
{
    QPageSetupDialog dialog(&printer(), m_view->window());
    dialog.exec();
}

QPrinter &PagePrinter::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}
