#include "pagefetcher.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QFile>
#include <QTemporaryFile>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <system_error>

namespace {

constexpr int kMaxRedirects = 5;

bool isWebAddress(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

// Readers never see a half-written page: the bytes go to a scratch file beside it, which
// then takes its place. Unlike QSaveFile this does not wait for the disk: the pages are
// scratch copies, and syncing each one doubled the time an update run takes.
bool replaceFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QTemporaryFile scratch(path + QStringLiteral(".XXXXXX"));
    if (!scratch.open() || scratch.write(bytes) != bytes.size() || !scratch.flush()) {
        *error = scratch.errorString();
        return false;
    }
    scratch.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    scratch.close();
    std::error_code code;
    std::filesystem::rename(std::filesystem::path(QFile::encodeName(scratch.fileName()).toStdString()),
                            std::filesystem::path(QFile::encodeName(path).toStdString()), code);
    if (code) {
        *error = QString::fromLocal8Bit(code.message());
        return false;
    }
    scratch.setAutoRemove(false);
    return true;
}

PageFetcher::Result failure(PageFetcher::Status status, const QString &reason)
{
    PageFetcher::Result result;
    result.status = status;
    result.reason = reason;
    return result;
}

}

PageFetcher::PageFetcher(QNetworkAccessManager *manager)
    : m_manager(manager)
{
}

void PageFetcher::setTimeout(int milliseconds)
{
    m_timeout = milliseconds;
}

void PageFetcher::setSizeLimit(qint64 bytes)
{
    m_sizeLimit = bytes;
}

PageFetcher::Result PageFetcher::fetch(const QUrl &url, const QString &filePath, Cache cache)
{
    if (!m_manager)
        return failure(Status::Interrupted, QStringLiteral("no network connection manager"));
    if (!isWebAddress(url))
        return failure(Status::Failed, QStringLiteral("%1 is not an http address").arg(url.toDisplayString()));

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

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QByteArray body;
    bool timedOut = false;
    bool tooLarge = false;
    bool refusedRedirect = false;

    QPointer<QNetworkReply> reply = m_manager->get(request);
    const auto abortTooLarge = [&] {
        tooLarge = true;
        reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // The manager takes its replies with it when it goes, e.g. with the window.
    QObject::connect(reply, &QObject::destroyed, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::redirected, &loop, [&](const QUrl &target) {
        const bool downgrade = reply->url().scheme() == QLatin1String("https") && target.scheme() != QLatin1String("https");
        if (isWebAddress(target) && !downgrade) {
            emit reply->redirectAllowed();
        } else {
            refusedRedirect = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > m_sizeLimit)
            abortTooLarge();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        body += reply->readAll();
        if (body.size() > m_sizeLimit)
            abortTooLarge();
    });
    // A page that has arrived stays arrived, even when another command's own event loop
    // keeps this wait from returning until after the timeout.
    QObject::connect(reply, &QNetworkReply::finished, &timer, &QTimer::stop);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (reply->isFinished())
            return;
        timedOut = true;
        reply->abort();
    });

    timer.start(m_timeout);
    if (reply && !reply->isFinished())
        loop.exec();
    timer.stop();

    if (!reply)
        return failure(Status::Interrupted, QStringLiteral("the connection was closed"));
    const std::unique_ptr<QNetworkReply> owned(reply.data());
    if (!owned->isFinished()) {
        // The loop was left from outside: the application is quitting.
        owned->abort();
        return failure(Status::Interrupted, QStringLiteral("the fetch was interrupted"));
    }
    if (!tooLarge && !timedOut && !refusedRedirect) {
        body += owned->readAll();
        if (body.size() > m_sizeLimit)
            tooLarge = true;
    }

    if (timedOut)
        return failure(Status::Failed, QStringLiteral("no complete answer within %1 ms").arg(m_timeout));
    if (tooLarge)
        return failure(Status::Failed, QStringLiteral("the page is larger than %1 bytes").arg(m_sizeLimit));
    if (refusedRedirect)
        return failure(Status::Failed, QStringLiteral("redirected to an address that is not followed"));
    if (owned->error() != QNetworkReply::NoError)
        return failure(Status::Failed, owned->errorString());
    const int httpStatus = owned->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (httpStatus < 200 || httpStatus > 299)
        return failure(Status::Failed, QStringLiteral("the server answered with status %1").arg(httpStatus));
    if (body.isEmpty())
        return failure(Status::Failed, QStringLiteral("the server sent an empty page"));

    QString writeError;
    if (!replaceFile(filePath, body, &writeError))
        return failure(Status::WriteFailed, writeError);

    Result result;
    result.status = Status::Ok;
    result.body = std::move(body);
    return result;
}
