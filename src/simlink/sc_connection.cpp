// Connecting by the transport chain, the process-wide list of connections and
// teardown.

#include <algorithm>
#include <chrono>

#include "platform/clock.h"
#include "simlink/sc_transport.h"

namespace {

using namespace std::chrono_literals;
using platform::net::Family;

std::vector<ScConnectionPtr>& lf_connections()
{
    static auto* list = new std::vector<ScConnectionPtr>;
    return *list;
}

std::string lf_pipeName(const std::string& server, const std::string& port)
{
    if (port.empty()) return "\\\\" + server + "\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect";
    return "\\\\" + server + "\\pipe\\" + port;
}

// One attempt on a new connection object; a failed one is torn down at once.
ScConnectionPtr lf_attempt(const ScAttempt& a, const ScSettings& s, std::vector<ScAttempt>* attempts)
{
    if (attempts) attempts->push_back(a);
    auto c = std::make_shared<ScConnection>();
    scRegisterConnection(c);
    const bool ok = a.pipe ? c->openPipe(lf_pipeName(a.address, a.port), s.maxReceiveSize)
                           : c->openSocket(a.family, a.address, a.port, s.disableNagle, s.maxReceiveSize);
    if (ok) return c;
    scTeardown(c);
    return nullptr;
}

}  // namespace

std::mutex& scSendLock()
{
    static auto* m = new std::mutex;
    return *m;
}

ScConnectionPtr scFindConnection(HANDLE handle)
{
    if (!handle) return nullptr;
    for (const auto& c : lf_connections()) {
        if (c.get() == handle) return c;
    }
    return nullptr;
}

void scRegisterConnection(const ScConnectionPtr& c)
{
    std::lock_guard lock(scSendLock());
    lf_connections().push_back(c);
}

void scTeardown(const ScConnectionPtr& c)
{
    if (!c) return;
    platform::clock().sleepFor(100ms);
    c->dropReceived();
    bool noneLeft = false;
    {
        std::lock_guard lock(scSendLock());
        auto& list = lf_connections();
        list.erase(std::remove(list.begin(), list.end(), c), list.end());
        noneLeft = list.empty();
    }
    c->releaseIo();  // close(0, 0) once what was queued is written; the I/O thread is joined
    platform::clock().sleepFor(250ms);
    if (noneLeft) {
        // Transports of other threads' attempts may still be ending; never wait long.
        for (int i = 0; i < 20 && ScTransport::activeTransports() > 0; ++i)
            platform::clock().sleepFor(250ms);
    }
}

HRESULT scConnect(int index, ScConnectionPtr& out, std::vector<ScAttempt>* attempts)
{
    out.reset();
    ScSettings s;
    if (!scReadSettings(index, s)) return scInvalidArg;

    enum Step { PipeStep, IPv6Step, IPv4Step, DefaultPipeStep };
    Step step = PipeStep;
    if (s.protocol == ScProtocol::IPv6) step = IPv6Step;
    if (s.protocol == ScProtocol::IPv4) step = IPv4Step;
    std::string address = s.address;
    std::string port = s.port;

    for (;;) {
        switch (step) {
        case PipeStep: {
            const std::string server = address.empty() ? std::string(".") : address;
            if ((out = lf_attempt({true, Family::IPv4, server, port}, s, attempts))) return scOk;
            if (!address.empty() && address != ".") return scFail;
            address = "::1";
            port = scRegistryPort(Family::IPv6);
            step = IPv6Step;
            break;
        }
        case IPv6Step:
        case IPv4Step: {
            const Family family = step == IPv6Step ? Family::IPv6 : Family::IPv4;
            if (!port.empty() && (out = lf_attempt({false, family, address, port}, s, attempts))) return scOk;
            if (step == IPv6Step) {
                if (address != "::1") return scFail;
                address = "127.0.0.1";
                port = scRegistryPort(Family::IPv4);
                step = IPv4Step;
            } else {
                if (address != "127.0.0.1") return scFail;
                address = ".";
                port.clear();
                step = DefaultPipeStep;
            }
            break;
        }
        case DefaultPipeStep:
            if ((out = lf_attempt({true, Family::IPv4, address, port}, s, attempts))) return scOk;
            return scFail;
        }
    }
}
