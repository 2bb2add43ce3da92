#pragma once

#include "app/appconfig.h"
#include "store/messagerecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class Browser;
class FakeBrowser;
class Form1;
class QTimer;

// The window started and activated in a temporary data folder that holds a database of
// the given records (or none at all), for the viewing tests. The data folder is the
// current directory for as long as the object lives.
class ViewWindow final
{
public:
    enum class Engine { Fake, Real };

    explicit ViewWindow(const QList<MessageRecord> &records, const AppConfig &config = AppConfig{},
                        Engine engine = Engine::Fake);
    // A data folder without veltra.mdb; the offer to create one is declined.
    static std::unique_ptr<ViewWindow> withoutDatabase();
    ~ViewWindow();
    ViewWindow(const ViewWindow &) = delete;
    ViewWindow &operator=(const ViewWindow &) = delete;

    bool activated() const;
    Form1 &form() const;
    FakeBrowser &fake() const; // only with Engine::Fake
    Browser &browser() const;
    QString path(const QString &name) const;

    QString pagePath() const;
    QByteArray page() const;
    // The number in the first line of the message page on disk, 0 when there is none.
    qint32 pageNumber() const;
    // How often the browser has been sent to the message page.
    int pageNavigations() const;
    // The number of the shared cursor's current record, 0 when it stands on none.
    qint32 cursorNumber() const;

    template<typename T> T *child(const char *name) const;
    QTimer *timer(const char *name) const;
    // One tick of the repeat timer, whether it runs or not.
    void tickTimer3() const;
    // Keeps the repeat timer from ticking by itself, so a test gives every tick.
    void holdTimer3() const;

private:
    ViewWindow(const QList<MessageRecord> *records, const AppConfig &config, Engine engine);
    QObject *findNamed(const char *name) const;

    QTemporaryDir m_dir;
    QString m_previousDir;
    std::unique_ptr<Form1> m_form;
    Browser *m_browser = nullptr;
    FakeBrowser *m_fake = nullptr;
    bool m_activated = false;
};

template<typename T> T *ViewWindow::child(const char *name) const
{
    return qobject_cast<T *>(findNamed(name));
}
