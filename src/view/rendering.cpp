#include "app/form1.h"
#include "ui_form1.h"

#include "browser/browser.h"
#include "store/recordset.h"
#include "view/messagepage.h"

#include <QDir>
#include <QFile>

QString Form1::messagePagePath() const
{
    return QDir(m_state.baseDir).filePath(QStringLiteral("tempfile.htm"));
}

void Form1::TryToDisplay()
{
    MessageRecord record;
    // A deleted record, an empty table or no database at all leaves nothing to show.
    const bool onRecord = m_data1 && m_data1->current(&record);
    if (m_state.displayEnabled && onRecord) {
        const QString path = messagePagePath();
        const QByteArray page = MessagePage::render(record);
        QString error;
        const bool written = MessagePage::write(path, page, &error);
        m_state.shownMsgNum = QString::number(record.messnum);
        m_shownPage = written ? page : QByteArray();
        if (written)
            m_web1->navigate(path);
        else
            // Showing the file anyway would put the previous message under this one's number.
            m_web1->showMessagePage(page);
    }

    ui->MenuFilePrint->setEnabled(true);
    ui->MnuPrintPreview->setEnabled(true);
    ui->MnuPageSetup->setEnabled(true);
    ui->MenuFileSaveAs->setEnabled(true);

    if (!onRecord)
        return;
    setMarkDeleteMarked(MessagePage::isFlagged(record.messdate), MarkWording::From);
}

bool Form1::messagePageShows(qint32 messnum) const
{
    if (m_state.shownMsgNum != QString::number(messnum))
        return false;
    // The updater downloads its pages into the same file.
    QFile file(messagePagePath());
    return file.open(QIODevice::ReadOnly) && file.size() == m_shownPage.size() && file.readAll() == m_shownPage;
}

void Form1::MenuViewOriginal_Click()
{
    EnableOff();
    if (!m_state.shownMsgNum.isEmpty())
        m_web1->navigate(m_config.groupArchiveBase() + QStringLiteral("message/") + m_state.shownMsgNum);
}
