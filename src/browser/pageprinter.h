// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class QPrinter;
class QWebEnginePage;
class QWebEngineView;

// Printing the page in view: print, print preview and page setup, on one printer whose
// settings last as long as the browser. The engine prints asynchronously, so only one
// print runs at a time.
class PagePrinter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PagePrinter)
public:
    PagePrinter(QWebEngineView *view, QWebEnginePage *page, QObject *parent = nullptr);
    ~PagePrinter() override;

    void print(bool prompt);
    void printPreview();
    void pageSetup();

    bool isPrinting() const;
    // Returns once the print under way is written, or after a bounded time.
    void waitForPrinting();

private:
    QPrinter &printer();

    QPointer<QWebEngineView> m_view;
    QWebEnginePage *m_page;
    std::unique_ptr<QPrinter> m_printer;
    bool m_printing = false;
};
