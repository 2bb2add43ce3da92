#include "pagefetch.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>


namespace {

constexpr int kMaxRedirects = 5;

bool isWebAddress(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

PageFetch::Result failure(const QString &reason)
{
    PageFetch::Result result;
    result.reason = reason;
    return result;
}

}

// The bytes are written over the old page in place, then the file is cut to their length.
// Replacing the file through a scratch copy and a rename made the file system write each
// page out at once, which doubled the cost of storing a message; and truncating to
// nothing first has the same effect. The pages are scratch copies that only this program
// writes, and a failed write ends the run.
bool writePageFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || file.write(bytes) != bytes.size() || !file.flush()
        || !file.resize(bytes.size())) {
        *error = file.errorString();
        return false;
    }
    return true;
}

PageFetch::PageFetch(QNetworkAccessManager *manager, const QUrl &url, Cache cache, Limits limits, Done done,
                     QObject *parent)
    : QObject(parent)
    , m_url(url)
    , m_limits(limits)
    , m_done(std::move(done))
{
    m_timer.setSingleShot(true);
    if (!manager || !isWebAddress(url)) {
        const QString reason = manager ? QStringLiteral("%1 is not an http address").arg(url.toDisplayString())
                                       : QStringLiteral("no network connection manager");
        QTimer::singleShot(0, this, [this, reason] { finish(failure(reason)); });
        return;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("VeltraKnowledgebase/3.4.1"));
    if (cache == Cache::Fresh) {
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        request.setRawHeader("Cache-Control", "no-cache");
        request.setRawHeader("Pragma", "no-cache");
    }

    m_reply = manager->get(request);
    QNetworkReply *const reply = m_reply;
    const auto abortWith = [this](const QString &reason) {
        if (m_abortReason.isEmpty())
            m_abortReason = reason;
        m_reply->abort();
    };
    const auto tooLarge = [this] { return QStringLiteral("the page is larger than %1 bytes").arg(m_limits.sizeLimit); };
    connect(reply, &QNetworkReply::finished, this, &PageFetch::onFinished);
    // The manager takes its replies with it when it goes.
    connect(reply, &QObject::destroyed, this, [this] {
        if (!m_finished)
            finish(failure(QStringLiteral("the connection was closed")));
    });
    connect(reply, &QNetworkReply::redirected, this, [this, abortWith](const QUrl &target) {
        const bool downgrade = m_reply->url().scheme() == QLatin1String("https")
                               && target.scheme() != QLatin1String("https");
        if (isWebAddress(target) && !downgrade)
            emit m_reply->redirectAllowed();
        else
            abortWith(QStringLiteral("redirected to an address that is not followed"));
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, abortWith, tooLarge] {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > m_limits.sizeLimit)
            abortWith(tooLarge());
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, abortWith, tooLarge] {
        m_body += m_reply->readAll();
        if (m_body.size() > m_limits.sizeLimit)
            abortWith(tooLarge());
    });
    connect(&m_timer, &QTimer::timeout, this, [this, abortWith] {
        if (!m_reply->isFinished())
            abortWith(QStringLiteral("no complete answer within %1 ms").arg(m_limits.timeoutMs));
    });
    m_timer.start(m_limits.timeoutMs);
}

PageFetch::~PageFetch()
{
    m_finished = true;
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

QUrl PageFetch::url() const
{
    return m_url;
}

void PageFetch::finish(const Result &result)
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    // The callback may delete this fetch: nothing of it is touched afterwards.
    const Done done = std::move(m_done);
    done(this, result);
}

void PageFetch::onFinished()
{
    QNetworkReply *const reply = m_reply;
    if (!m_abortReason.isEmpty())
        return finish(failure(m_abortReason));
    m_body += reply->readAll();
    if (m_body.size() > m_limits.sizeLimit)
        return finish(failure(QStringLiteral("the page is larger than %1 bytes").arg(m_limits.sizeLimit)));
    const int httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (httpStatus != 0 && (httpStatus < 200 || httpStatus > 299))
        return finish(failure(QStringLiteral("the server answered with status %1").arg(httpStatus)));
    if (reply->error() != QNetworkReply::NoError)
        return finish(failure(reply->errorString()));
    if (httpStatus == 0)
        return finish(failure(QStringLiteral("the server gave no status")));
    // A connection closed before the declared length is a cut page, never a short one.
    // A compressed answer declares the length of what was sent, not of what it unpacks to.
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (length.isValid() && (encoding.isEmpty() || encoding == "identity") && length.toLongLong() != m_body.size())
        return finish(failure(QStringLiteral("the page ended after %1 of its %2 bytes")
                                  .arg(m_body.size())
                                  .arg(length.toLongLong())));
    if (m_body.isEmpty())
        return finish(failure(QStringLiteral("the server sent an empty page")));
    Result result;
    result.ok = true;
    result.body = std::move(m_body);
    finish(result);
}
