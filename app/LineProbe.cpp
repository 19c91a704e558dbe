#include "app/LineProbe.h"

#include "capi/Capi.h"
#include "capi/CapiResult.h"
#include "capi/CapiState.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <thread>

namespace LineProbe {

void tryCallMonitor(QObject *context, const Target &target, std::chrono::milliseconds timeout,
                    Done done)
{
    // Socket and timer belong to context, so a dialog closed early takes them along.
    auto *socket = new QTcpSocket(context);
    auto *timer = new QTimer(context);
    timer->setSingleShot(true);
    auto finish = [socket, timer, done = std::move(done)](Outcome outcome,
                                                          const std::string &detail) {
        QObject::disconnect(socket, nullptr, nullptr, nullptr);
        QObject::disconnect(timer, nullptr, nullptr, nullptr);
        socket->abort();
        socket->deleteLater();
        timer->deleteLater();
        done(outcome, detail);
    };
    QObject::connect(socket, &QTcpSocket::connected, context,
                     [finish] { finish(Outcome::Answered, {}); });
    QObject::connect(socket, &QTcpSocket::errorOccurred, context,
                     [finish, socket](QAbstractSocket::SocketError error) {
                         finish(error == QAbstractSocket::ConnectionRefusedError
                                    ? Outcome::Refused
                                    : Outcome::NoAnswer,
                                socket->errorString().toStdString());
                     });
    QObject::connect(timer, &QTimer::timeout, context, [finish] { finish(Outcome::NoAnswer, {}); });
    timer->start(timeout);
    socket->connectToHost(QString::fromStdString(target.host), target.port);
}

std::string callMonitorText(Outcome outcome, const Target &target, const std::string &detail)
{
    const std::string where = target.host + ":" + std::to_string(target.port);
    switch (outcome) {
    case Outcome::Answered:
        return "Anrufmonitor antwortet";
    case Outcome::Refused:
        return "Verbindung abgelehnt: " + where +
               " — ist der Anrufmonitor mit #96*5* eingeschaltet?";
    case Outcome::NoAnswer:
        break;
    }
    return detail.empty() ? "keine Antwort" : "keine Antwort (" + where + ": " + detail + ")";
}

void tryCapi(QObject *context, std::function<std::unique_ptr<Capi>()> makeCapi,
             std::chrono::milliseconds timeout, std::function<void(const std::string &)> done)
{
    struct Shared
    {
        bool answered = false;
        std::function<void(const std::string &)> done;
    };
    auto shared = std::make_shared<Shared>();
    shared->done = std::move(done);
    QPointer<QObject> guard(context);
    const auto answer = [shared, guard](const std::string &text) {
        if (shared->answered || !guard)
            return;
        shared->answered = true;
        shared->done(text);
    };
    QTimer::singleShot(timeout, context, [answer] { answer("keine Antwort von CAPI"); });
    // Detached: a library call that hangs must not hold the program's end; its answer
    // then goes nowhere.
    std::thread([makeCapi = std::move(makeCapi), answer] {
        std::string text;
        try {
            const std::unique_ptr<Capi> capi = makeCapi();
            std::uint32_t applId = 0;
            const std::uint32_t result =
                capi->CAPI_REGISTER(CapiState::kMessageBufferSize, CapiState::kMaxLogicalConnection,
                                    CapiState::kMaxBDataBlocks, CapiState::kMaxBDataLen, applId);
            if (result == CapiResult::NoError) {
                capi->CAPI_RELEASE(applId);
                text = "CAPI antwortet";
            } else {
                char code[16];
                std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(result));
                std::string why = capi->lastFailure();
                // 0x1009: the library found neither a controller nor a remote peer.
                if (why.empty() && result == 0x1009)
                    why = "kein CAPI-Controller und keine ~/.capi20rc gefunden";
                text =
                    std::string("CAPI antwortet nicht: ") + code + (why.empty() ? "" : ", " + why);
            }
        } catch (const std::exception &e) {
            text = std::string("CAPI nicht verfügbar: ") + e.what();
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [answer, text] { answer(text); }, Qt::QueuedConnection);
    }).detach();
}

std::string defaultGateway(const std::string &routeTable)
{
    // Lines: Iface Destination Gateway Flags ...; addresses in hex, in network byte order.
    std::ifstream in(routeTable);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway;
        if (!(fields >> iface >> destination >> gateway) || destination != "00000000")
            continue;
        unsigned long g = std::strtoul(gateway.c_str(), nullptr, 16);
        if (g == 0)
            continue;
        return std::to_string(g & 0xFF) + "." + std::to_string((g >> 8) & 0xFF) + "." +
               std::to_string((g >> 16) & 0xFF) + "." + std::to_string((g >> 24) & 0xFF);
    }
    return {};
}

std::vector<Target> routerCandidates(const std::string &routeTable)
{
    std::vector<Target> out{{"fritz.box", 1012}};
    if (const std::string gateway = defaultGateway(routeTable); !gateway.empty())
        out.push_back({gateway, 1012});
    return out;
}

void searchRouters(QObject *context, const std::vector<Target> &candidates,
                   std::chrono::milliseconds timeout,
                   std::function<void(const std::vector<Target> &answered)> done)
{
    struct Search
    {
        std::vector<Target> candidates;
        std::vector<bool> answered;
        std::size_t pending = 0;
        std::function<void(const std::vector<Target> &)> done;
    };
    auto search = std::make_shared<Search>();
    search->candidates = candidates;
    search->answered.assign(candidates.size(), false);
    search->pending = candidates.size();
    search->done = std::move(done);
    const auto finishIfDone = [search] {
        if (search->pending != 0)
            return;
        std::vector<Target> found;
        for (std::size_t i = 0; i < search->candidates.size(); ++i)
            if (search->answered[i])
                found.push_back(search->candidates[i]);
        search->done(found);
    };
    if (candidates.empty()) {
        finishIfDone();
        return;
    }
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        tryCallMonitor(context, candidates[i], timeout,
                       [search, i, finishIfDone](Outcome outcome, const std::string &) {
                           search->answered[i] = outcome == Outcome::Answered;
                           --search->pending;
                           finishIfDone();
                       });
    }
}

} // namespace LineProbe
