// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/pagefetch.h"

#include "update/curlsession.h"
#include "base/version.h"

#include <QFile>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kMaxRedirects = 5;
// All of an answer's header lines together, interim answers' included: far more than any
// server sends, and a bound on what a hostile one can make the program read.
constexpr qint64 kHeaderLimit = 64 * 1024;

bool isWebAddress(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

bool isSecure(const QUrl &url)
{
    return url.scheme() == QLatin1String("https");
}

bool isRedirect(long status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QByteArray trimmedValue(QByteArrayView line, qsizetype colon)
{
    return line.sliced(colon + 1).trimmed().toByteArray();
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

PageFetch::PageFetch(CurlSession *session, Request request, Done done, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_request(std::move(request))
    , m_done(std::move(done))
{
    m_started.start();
    // Refused from the event loop, never from inside the constructor.
    const auto refuse = [this](const QString &reason) {
        QTimer::singleShot(0, this, [this, reason] { finish(Result{false, {}, reason, Fault::Page}); });
    };
    if (!isWebAddress(m_request.url)) {
        refuse(QStringLiteral("%1 is not an http address").arg(m_request.url.toDisplayString()));
        return;
    }
    m_easy = m_session ? m_session->takeHandle() : nullptr;
    if (!m_easy) {
        refuse(QStringLiteral("the fetch could not be started"));
        return;
    }
    QList<QByteArray> headers{"Accept: */*",
                              // A compressed page would have to be unpacked; the length a
                              // plain one declares is that of the page itself.
                              "Accept-Encoding: identity"};
    if (m_request.cache == Cache::Fresh)
        headers << "Cache-Control: no-cache" << "Pragma: no-cache";
    for (const QByteArray &header : std::as_const(headers))
        m_headers = curl_slist_append(m_headers, header.constData());
    send(m_request.url);
}

PageFetch::~PageFetch()
{
    m_finished = true;
    if (m_easy) {
        if (m_session)
            m_session->giveBack(m_easy);
        else
            curl_easy_cleanup(m_easy);
    }
    curl_slist_free_all(m_headers);
}

QUrl PageFetch::url() const
{
    return m_request.url;
}

void PageFetch::send(const QUrl &url)
{
    m_current = url;
    m_headerBytes = 0;
    m_headerEnded = false;
    m_chunked = false;
    m_lengths.clear();
    m_encoding.clear();
    m_body.clear();
    m_refusal.clear();
    m_error[0] = '\0';
    const qint64 left = m_request.limits.timeoutMs - m_started.elapsed();
    if (left <= 0)
        return fail(QStringLiteral("no complete answer within %1 ms").arg(m_request.limits.timeoutMs));

    CURL *const e = m_easy;
    curl_easy_reset(e);
    const QByteArray address = url.toEncoded();
    // Nothing is fetched by a libcurl that cannot be kept to http and https.
    if (curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https") != CURLE_OK)
        return fail(QStringLiteral("the libcurl in use is older than 7.85 and cannot be kept to http and https"));
    curl_easy_setopt(e, CURLOPT_URL, address.constData());
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L); // followed here, to refuse a downgrade
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, m_headers);
    curl_easy_setopt(e, CURLOPT_USERAGENT, "VeltraKnowledgebase/" VELTRA_VERSION);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, long(left));
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(m_request.limits.sizeLimit));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, m_error);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &PageFetch::onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &PageFetch::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    // A second page to the same server waits for the first's connection to say whether it
    // can carry several at once (HTTP/2) rather than opening one of its own.
    curl_easy_setopt(e, CURLOPT_PIPEWAIT, 1L);
    if (!m_request.limits.caFile.isEmpty())
        curl_easy_setopt(e, CURLOPT_CAINFO, QFile::encodeName(m_request.limits.caFile).constData());
    const ProxyRoute &proxy = m_request.proxy;
    // An empty proxy also keeps curl from reading http_proxy itself: the route already
    // says what the desktop wants.
    curl_easy_setopt(e, CURLOPT_PROXY, proxy.isDirect() ? "" : proxy.address().constData());
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!proxy.isDirect() && !proxy.user.isEmpty()) {
        curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, proxy.user.toUtf8().constData());
        curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, proxy.password.toUtf8().constData());
        curl_easy_setopt(e, CURLOPT_PROXYAUTH, m_session ? m_session->proxyAuth(proxy.address()) : CURLAUTH_ANY);
    }
    if (!m_session || !m_session->add(e, [this](CURLcode code) { onFinished(code); }))
        fail(QStringLiteral("the fetch could not be started"));
}

size_t PageFetch::onBody(char *data, size_t size, size_t count, void *fetch)
{
    auto *self = static_cast<PageFetch *>(fetch);
    const qint64 bytes = qint64(size * count);
    // curl's own limit stops only a page whose length is declared; chunks are counted here.
    if (self->m_body.size() + bytes > self->m_request.limits.sizeLimit) {
        self->m_refusal = QStringLiteral("the page is larger than %1 bytes").arg(self->m_request.limits.sizeLimit);
        return 0;
    }
    self->m_body.append(data, qsizetype(bytes));
    return size * count;
}

size_t PageFetch::onHeader(char *data, size_t size, size_t count, void *fetch)
{
    auto *self = static_cast<PageFetch *>(fetch);
    const QByteArrayView line(data, qsizetype(size * count));
    self->m_headerBytes += line.size();
    if (self->m_headerBytes > kHeaderLimit) {
        self->m_refusal = QStringLiteral("the server's answer has a header over %1 KiB").arg(kHeaderLimit / 1024);
        return 0;
    }
    if (line.startsWith("HTTP/")) {
        // A new answer begins (after an interim one): only the last one's header counts.
        self->m_headerEnded = false;
        self->m_chunked = false;
        self->m_lengths.clear();
        self->m_encoding.clear();
        self->m_body.clear();
    } else if (line == "\r\n" || line == "\n") {
        self->m_headerEnded = true;
    } else if (const qsizetype colon = line.indexOf(':'); colon > 0) {
        const QByteArray name = line.first(colon).trimmed().toByteArray().toLower();
        if (name == "content-length")
            self->m_lengths << trimmedValue(line, colon);
        else if (name == "content-encoding")
            self->m_encoding = trimmedValue(line, colon).toLower();
        else if (name == "transfer-encoding")
            self->m_chunked = trimmedValue(line, colon).toLower().contains("chunked");
    }
    return size * count;
}

void PageFetch::onFinished(CURLcode code)
{
    if (!m_request.proxy.isDirect() && !m_request.proxy.user.isEmpty() && m_session) {
        long offered = 0;
        curl_easy_getinfo(m_easy, CURLINFO_PROXYAUTH_AVAIL, &offered);
        m_session->setProxyAuth(m_request.proxy.address(), (unsigned long)offered);
    }
    if (code != CURLE_OK) {
        const bool proxyRefused = !m_request.proxy.isDirect()
                                  && (code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_PROXY);
        long connectCode = 0;
        curl_easy_getinfo(m_easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
        if (proxyRefused)
            return fail(QStringLiteral("The proxy %1 refused the connection").arg(m_request.proxy.name()), Fault::Proxy);
        if (connectCode == 407)
            return fail(credentialsRefused(), Fault::Proxy);
        if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CONNECT_ERROR
            || code == CURLE_SSL_CERTPROBLEM || code == CURLE_SSL_CACERT_BADFILE)
            return fail(QStringLiteral("The secure connection to %1 failed: %2")
                            .arg(m_current.host(), QString::fromUtf8(m_error).trimmed()),
                        Fault::Certificate);
        return fail(failureText(code));
    }
    onAnswer();
}

void PageFetch::onAnswer()
{
    long status = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
    if (status == 407 && !m_request.proxy.isDirect())
        return fail(credentialsRefused(), Fault::Proxy);
    // curl takes a header cut off by the end of the connection for a whole one.
    if (!m_headerEnded)
        return fail(QStringLiteral("the connection was closed in the middle of the answer's header"));
    if (isRedirect(status)) {
        const char *location = nullptr;
        curl_easy_getinfo(m_easy, CURLINFO_REDIRECT_URL, &location);
        if (location) {
            const QUrl target = QUrl::fromEncoded(location);
            if (!isWebAddress(target) || (isSecure(m_current) && !isSecure(target)))
                return fail(QStringLiteral("redirected to %1, an address that is not followed").arg(target.toDisplayString()));
            if (++m_redirects > kMaxRedirects)
                return fail(QStringLiteral("redirected more than %1 times").arg(kMaxRedirects));
            return send(target);
        }
    }
    if (status < 200 || status > 299)
        return fail(QStringLiteral("the server answered with status %1").arg(status));
    if (!m_encoding.isEmpty() && m_encoding != "identity")
        return fail(QStringLiteral("the server sent the page packed (%1)").arg(QString::fromLatin1(m_encoding)));
    if (std::any_of(m_lengths.cbegin(), m_lengths.cend(), [this](const QByteArray &l) { return l != m_lengths.constFirst(); }))
        return fail(QStringLiteral("the server's answer has no valid length"));
    if (m_body.isEmpty())
        return fail(QStringLiteral("the server sent an empty page"));
    finish(Result{true, std::exchange(m_body, {}), {}, Fault::None});
}

QString PageFetch::credentialsRefused() const
{
    return m_request.proxy.user.isEmpty()
               ? QStringLiteral("The proxy asks for a user name and password")
               : QStringLiteral("The proxy %1 did not take the user name and password").arg(m_request.proxy.name());
}

QString PageFetch::cutText(bool reset) const
{
    const QString how = reset ? QStringLiteral("reset") : QStringLiteral("closed");
    if (!m_headerEnded)
        return QStringLiteral("the connection was %1 in the middle of the answer's header").arg(how);
    if (m_chunked)
        return QStringLiteral("the connection was %1 before the page's last chunk, after %2 bytes").arg(how).arg(m_body.size());
    curl_off_t length = -1;
    curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length >= 0)
        return QStringLiteral("the page ended after %1 of its %2 bytes (the connection was %3)")
            .arg(m_body.size())
            .arg(qint64(length))
            .arg(how);
    return QStringLiteral("the connection was %1 after %2 bytes of the page").arg(how).arg(m_body.size());
}

QString PageFetch::failureText(CURLcode code) const
{
    if (!m_refusal.isEmpty())
        return m_refusal;
    const QString curlSays = m_error[0] ? QString::fromUtf8(m_error).trimmed() : QString::fromUtf8(curl_easy_strerror(code));
    const QString through = m_request.proxy.isDirect() ? QString() : QStringLiteral(" through the proxy %1").arg(m_request.proxy.name());
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("no complete answer within %1 ms%2").arg(m_request.limits.timeoutMs).arg(through);
    case CURLE_PARTIAL_FILE:
        return cutText(false);
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        // curl says "receive error" for a chunk it cannot read as well as for a reset.
        if (curlSays.contains(QLatin1String("chunk"), Qt::CaseInsensitive))
            return QStringLiteral("the server's answer has a malformed chunk (%1)").arg(curlSays);
        return m_headerBytes > 0 ? cutText(true) : QStringLiteral("the connection was reset before an answer came%1").arg(through);
    case CURLE_OUT_OF_MEMORY:
        // What curl refuses to hold is a header line over its own limit of 100 KiB.
        return m_headerEnded ? QStringLiteral("the page could not be fetched (%1)").arg(curlSays)
                             : QStringLiteral("the server's answer has a header line over 100 KiB");
    case CURLE_GOT_NOTHING:
        return QStringLiteral("the connection was closed before an answer came%1").arg(through);
    case CURLE_FILESIZE_EXCEEDED:
        return QStringLiteral("the page is larger than %1 bytes").arg(m_request.limits.sizeLimit);
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("the server %1 could not be reached (%2)").arg(m_current.host(), curlSays);
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("the server's name %1 could not be looked up").arg(m_current.host());
    case CURLE_BAD_FUNCTION_ARGUMENT: // curl's word for a chunk size it cannot read
        return QStringLiteral("the server's answer has a malformed chunk (%1)").arg(curlSays);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_BAD_CONTENT_ENCODING:
        return QStringLiteral("the server's answer is not one that is read (%1)").arg(curlSays);
    default:
        return QStringLiteral("the page could not be fetched (%1)").arg(curlSays);
    }
}

void PageFetch::fail(const QString &reason, Fault fault)
{
    if (m_easy && m_session)
        m_session->remove(m_easy);
    finish(Result{false, {}, reason, fault});
}

void PageFetch::finish(const Result &result)
{
    if (m_finished)
        return;
    m_finished = true;
    // The callback may delete this fetch: nothing of it is touched afterwards.
    const Done done = std::move(m_done);
    done(this, result);
}
