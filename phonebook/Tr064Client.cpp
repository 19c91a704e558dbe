#include "phonebook/Tr064Client.h"

#include "phonebook/OffThread.h"
#include "phonebook/PhonebookXmlReader.h"

#include <QAuthenticator>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>
#include <QXmlStreamReader>

#include <memory>

namespace {

const char kOnTel[] = "urn:dslforum-org:service:X_AVM-DE_OnTel:1";
const char kVoip[] = "urn:dslforum-org:service:X_VoIP:1";
const char kContactPath[] = "/upnp/control/x_contact";
const char kVoipPath[] = "/upnp/control/x_voip";
// A phonebook beyond this is not a router's: refused rather than held in memory.
constexpr qint64 kMaxAnswer = 64 * 1024 * 1024;

std::string digits(const std::string &value)
{
    std::string out;
    for (const char c : value)
        if (c >= '0' && c <= '9')
            out += c;
    return out;
}

QByteArray envelope(const char *service, const char *action,
                    const std::vector<std::pair<std::string, std::string>> &args)
{
    QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                      "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                      "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>";
    body += QByteArray("<u:") + action + " xmlns:u=\"" + service + "\">";
    for (const auto &[name, value] : args)
        body += "<" + QByteArray::fromStdString(name) + ">" +
                QString::fromStdString(value).toHtmlEscaped().toUtf8() + "</" +
                QByteArray::fromStdString(name) + ">";
    body += QByteArray("</u:") + action + "></s:Body></s:Envelope>\n";
    return body;
}

} // namespace

/// One conversation with the router: its own network access manager, so no credentials or
/// connections outlive it, and a chain of requests that ends in exactly one finish().
class Tr064Client::Operation : public QObject
{
public:
    using Next = std::function<void(const QByteArray &)>;

    Operation(Tr064Client *client, const Tr064Target &target, std::chrono::milliseconds timeout,
              std::function<void(Failure, std::string)> fail)
        : QObject(client), m_target(target), m_timeout(timeout), m_fail(std::move(fail))
    {
        // A router is asked directly, never through a proxy from the environment.
        m_nam.setProxy(QNetworkProxy::NoProxy);
        connect(&m_nam, &QNetworkAccessManager::authenticationRequired, this,
                [this](QNetworkReply *reply, QAuthenticator *auth) {
                    // Offered once per request: a second challenge means refused, and an
                    // unanswered challenge ends the request with 401.
                    if (reply->property("kwOffered").toBool())
                        return;
                    reply->setProperty("kwOffered", true);
                    auth->setUser(QString::fromStdString(m_target.user));
                    auth->setPassword(QString::fromStdString(m_target.password));
                });
    }

    QUrl url(const char *path) const
    {
        QUrl u;
        u.setScheme("http");
        u.setHost(QString::fromStdString(m_target.host));
        u.setPort(m_target.port);
        u.setPath(path);
        return u;
    }

    std::string where() const { return m_target.host + ":" + std::to_string(m_target.port); }

    void soap(const char *path, const char *service, const char *action,
              const std::vector<std::pair<std::string, std::string>> &args, Next next)
    {
        QNetworkRequest request(url(path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "text/xml; charset=\"utf-8\"");
        request.setRawHeader("SOAPACTION", QByteArray(service) + "#" + action);
        send(request, envelope(service, action, args), action, std::move(next));
    }

    void get(const QUrl &u, const std::string &what, Next next)
    {
        send(QNetworkRequest(u), {}, what, std::move(next));
    }

    OffThread &offThread() { return m_offThread; }

    /// Ends the operation with a failure; nothing runs after it.
    void fail(Failure failure, const std::string &error)
    {
        if (m_done)
            return;
        m_done = true;
        m_fail(failure, error);
        deleteLater();
    }

    /// Ends it well: done runs once.
    void succeed(const std::function<void()> &done)
    {
        if (m_done)
            return;
        m_done = true;
        done();
        deleteLater();
    }

private:
    void send(QNetworkRequest request, const QByteArray &body, const std::string &what, Next next)
    {
        request.setTransferTimeout(static_cast<int>(m_timeout.count()));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply *reply = body.isNull() ? m_nam.get(request) : m_nam.post(request, body);
        // Some firmware hands out an https phonebook URL with the router's self-signed
        // certificate. Only the router and the URLs it gave are asked, over plain HTTP
        // before, so checking that certificate would guard nothing.
        connect(reply, &QNetworkReply::sslErrors, reply, [reply] { reply->ignoreSslErrors(); });
        connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
            if (received > kMaxAnswer) {
                reply->setProperty("kwTooLarge", true);
                reply->abort();
            }
        });
        connect(reply, &QNetworkReply::finished, this, [this, reply, what, next] {
            reply->deleteLater();
            finished(reply, what, next);
        });
    }

    void finished(QNetworkReply *reply, const std::string &what, const Next &next)
    {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const auto error = reply->error();
        if (status == 401 || error == QNetworkReply::AuthenticationRequiredError)
            return fail(Failure::Login, "Anmeldung abgelehnt (Benutzer " + m_target.user + ")");
        if (reply->property("kwTooLarge").toBool())
            return fail(Failure::BadAnswer, what + ": Antwort über 64 MiB");
        if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
            return fail(Failure::Timeout, "keine Antwort von " + where() + " in " +
                                              std::to_string(m_timeout.count() / 1000) + " s (" +
                                              what + ")");
        if (status >= 300) {
            std::string detail;
            const auto values = soapValues(reply->readAll());
            if (const auto it = values.find("errorDescription"); it != values.end())
                detail = " (" + it->second + ")";
            return fail(Failure::Http, where() + " antwortet HTTP " + std::to_string(status) +
                                           " auf " + what + detail);
        }
        if (error != QNetworkReply::NoError || status == 0)
            return fail(Failure::Unreachable,
                        where() + " nicht erreichbar (" + reply->errorString().toStdString() + ")");
        next(reply->readAll());
    }

    QNetworkAccessManager m_nam;
    OffThread m_offThread{this};
    Tr064Target m_target;
    std::chrono::milliseconds m_timeout;
    std::function<void(Failure, std::string)> m_fail;
    bool m_done = false;
};

Tr064Client::Tr064Client(std::chrono::milliseconds timeout, QObject *parent)
    : QObject(parent), m_timeout(timeout)
{}

void Tr064Client::fetchBooks(const Tr064Target &target, std::function<void(Books)> done)
{
    auto shared = std::make_shared<std::function<void(Books)>>(std::move(done));
    auto result = std::make_shared<Books>();
    auto *op = new Operation(this, target, m_timeout, [shared](Failure f, std::string error) {
        Books failed;
        failed.failure = f;
        failed.error = std::move(error);
        (*shared)(std::move(failed));
    });
    auto ids = std::make_shared<std::vector<std::string>>();
    // Each phonebook in turn: GetPhonebook, then its URL at once, while the sid holds.
    auto nextBook = std::make_shared<std::function<void()>>();
    *nextBook = [op, ids, result, shared, nextBook] {
        if (ids->empty())
            return op->succeed([&] { (*shared)(std::move(*result)); });
        const std::string id = ids->front();
        ids->erase(ids->begin());
        op->soap(
            kContactPath, kOnTel, "GetPhonebook", {{"NewPhonebookID", id}},
            [op, id, result, nextBook](const QByteArray &answer) {
                const auto values = soapValues(answer);
                const auto url = values.find("NewPhonebookURL");
                if (url == values.end() || url->second.empty())
                    return op->fail(Failure::BadAnswer, "GetPhonebook " + id + " nennt keine URL");
                const auto nameIt = values.find("NewPhonebookName");
                const std::string name = nameIt != values.end() && !nameIt->second.empty()
                                             ? nameIt->second
                                             : "Telefonbuch " + id;
                const QUrl given(QString::fromStdString(unescapedUrl(url->second)));
                const QUrl u = op->url(kContactPath).resolved(given);
                op->get(u, "Telefonbuch " + name,
                        [op, name, result, nextBook](const QByteArray &xml) {
                            // A long book takes a while to read: not on this thread.
                            op->offThread().run<PhonebookXmlReader::Result>(
                                [xml, name] { return PhonebookXmlReader::read(xml, name); },
                                [op, name, result, nextBook](PhonebookXmlReader::Result read) {
                                    if (!read.error.empty())
                                        return op->fail(Failure::BadAnswer, "Telefonbuch " + name +
                                                                                " nicht lesbar (" +
                                                                                read.error + ")");
                                    for (auto &b : read.books)
                                        result->books.push_back(std::move(b));
                                    result->unnamed += read.unnamed;
                                    (*nextBook)();
                                });
                        });
            });
    };
    op->soap(kContactPath, kOnTel, "GetPhonebookList", {},
             [op, ids, nextBook](const QByteArray &answer) {
                 const auto values = soapValues(answer);
                 const auto list = values.find("NewPhonebookList");
                 if (list == values.end())
                     return op->fail(Failure::BadAnswer, "GetPhonebookList ohne Liste");
                 std::string id;
                 for (const char c : list->second + ",") {
                     if (c >= '0' && c <= '9') {
                         id += c;
                     } else if (c == ',' && !id.empty()) {
                         ids->push_back(id);
                         id.clear();
                     }
                 }
                 (*nextBook)();
             });
    // The chain holds itself through nextBook until the operation ends; break the cycle then.
    connect(op, &QObject::destroyed, this, [nextBook] { *nextBook = nullptr; });
}

void Tr064Client::fetchCodes(const Tr064Target &target, std::function<void(Codes)> done)
{
    auto shared = std::make_shared<std::function<void(Codes)>>(std::move(done));
    auto *op = new Operation(this, target, m_timeout, [shared](Failure f, std::string error) {
        Codes failed;
        failed.failure = f;
        failed.error = std::move(error);
        (*shared)(std::move(failed));
    });
    op->soap(kVoipPath, kVoip, "GetVoIPCommonAreaCode", {}, [op, shared](const QByteArray &a) {
        auto codes = std::make_shared<Codes>();
        codes->areaCode = areaCodeOf(soapValues(a)["NewVoIPAreaCode"]);
        op->soap(kVoipPath, kVoip, "GetVoIPCommonCountryCode", {},
                 [op, shared, codes](const QByteArray &c) {
                     codes->countryCode = countryCodeOf(soapValues(c)["NewVoIPCountryCode"]);
                     op->succeed([&] { (*shared)(std::move(*codes)); });
                 });
    });
}

std::map<std::string, std::string> Tr064Client::soapValues(const QByteArray &body)
{
    std::map<std::string, std::string> out;
    QXmlStreamReader xml(body);
    // Only elements without children carry values; their text is read once.
    QString name;
    QString text;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            name = xml.name().toString();
            text.clear();
            break;
        case QXmlStreamReader::Characters:
            text += xml.text();
            break;
        case QXmlStreamReader::EndElement:
            if (!name.isEmpty())
                out.emplace(name.toStdString(), text.trimmed().toStdString());
            name.clear();
            break;
        default:
            break;
        }
    }
    return out;
}

std::string Tr064Client::unescapedUrl(std::string url)
{
    for (std::size_t at; (at = url.find("&amp;")) != std::string::npos;)
        url.replace(at, 5, "&");
    return url;
}

std::string Tr064Client::areaCodeOf(const std::string &value)
{
    std::string d = digits(value);
    if (!d.empty() && d[0] != '0')
        d.insert(d.begin(), '0');
    return d;
}

std::string Tr064Client::countryCodeOf(const std::string &value)
{
    std::string d = digits(value);
    if (d.rfind("00", 0) == 0)
        d.erase(0, 2);
    return d;
}
