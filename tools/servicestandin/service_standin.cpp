// The stand-in's HTTP server: one thread accepts on loopback, one thread serves
// each connection (one request per connection, as the client asks for).

#include "service_standin.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <zlib.h>

#include "scene.h"

namespace standin {
namespace {

constexpr std::size_t kMaxBody = 16u << 20;

bool sendAll(int fd, const char* data, std::size_t n)
{
    while (n > 0) {
        const ssize_t k = ::send(fd, data, n, MSG_NOSIGNAL);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        data += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

std::string lower(std::string s)
{
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string percentDecode(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (s[i] == '+') {
            out += ' ';
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> parseForm(const std::string& body)
{
    std::vector<std::pair<std::string, std::string>> form;
    std::size_t start = 0;
    while (start <= body.size() && !body.empty()) {
        std::size_t end = body.find('&', start);
        if (end == std::string::npos) end = body.size();
        const std::string part = body.substr(start, end - start);
        const std::size_t eq = part.find('=');
        if (eq == std::string::npos)
            form.emplace_back(percentDecode(part), "");
        else
            form.emplace_back(percentDecode(part.substr(0, eq)), percentDecode(part.substr(eq + 1)));
        start = end + 1;
        if (end == body.size()) break;
    }
    return form;
}

const char* reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 406: return "Not Acceptable";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

}  // namespace

std::string Request::formValue(const std::string& key) const
{
    for (const auto& [k, v] : form)
        if (k == key) return v;
    return {};
}

bool Request::hasForm(const std::string& key) const
{
    return std::any_of(form.begin(), form.end(), [&key](const auto& kv) { return kv.first == key; });
}

std::string routeOf(const std::string& path, const std::vector<std::pair<std::string, std::string>>& form)
{
    if (path == "/v4/auth") return "auth";
    if (path == "/v4/deauth") return "deauth";
    if (path == "/v4/nearestmetar") return "nearestmetar";
    if (path == "/v4/weather") return "weather";
    if (path == "/v4/traffic") {
        std::string type;
        bool buffered = false;
        for (const auto& [k, v] : form) {
            if (k == "querytype") type = v;
            if (k == "buffercount") buffered = true;
        }
        if (type == "parkedtraffic") return "traffic.parked";
        return buffered ? "traffic.buffer" : "traffic.live";
    }
    return path.substr(0, path.find('?'));
}

std::string gzipCompress(const std::string& data)
{
    z_stream zs{};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&zs, static_cast<uLong>(data.size())) + 32, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate failed");
    out.resize(zs.total_out);
    return out;
}

Reply Reply::json(const nlohmann::json& j, int httpStatus) { return text(j.dump(), httpStatus); }

Reply Reply::text(std::string body, int httpStatus)
{
    Reply r;
    r.body = std::move(body);
    r.httpStatus = httpStatus;
    return r;
}

Reply Reply::gzip(const nlohmann::json& j)
{
    Reply r = json(j);
    r.kind = Kind::Gzip;
    return r;
}

Reply Reply::closeNoReply()
{
    Reply r;
    r.kind = Kind::CloseNoReply;
    return r;
}

Reply Reply::cutMidBody(const nlohmann::json& j)
{
    Reply r = json(j);
    r.kind = Kind::CutMidBody;
    return r;
}

Reply Reply::bytes(std::string body, int httpStatus)
{
    Reply r = text(std::move(body), httpStatus);
    r.contentType = "application/octet-stream";
    return r;
}

Reply Reply::cutBytes(std::string body)
{
    Reply r = bytes(std::move(body));
    r.kind = Kind::CutMidBody;
    return r;
}

Reply Reply::hang()
{
    Reply r;
    r.kind = Kind::Hang;
    return r;
}

nlohmann::json makeEntry(std::initializer_list<std::pair<int, nlohmann::json>> values)
{
    nlohmann::json e = nlohmann::json::array();
    for (int i = 0; i < 48; ++i) e.push_back(nullptr);
    for (const auto& [i, v] : values) e[static_cast<std::size_t>(i)] = v;
    return e;
}

nlohmann::json makeParkedEntry(double lat, double lon, const std::string& stand, const std::string& type,
                               const std::string& registration, double time, const std::string& flight)
{
    return nlohmann::json::array({lat, lon, stand, type, registration, time, flight});
}

FakeTrafficService::FakeTrafficService() = default;

FakeTrafficService::~FakeTrafficService() { stop(); }

int FakeTrafficService::start(int port)
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listenFd_ < 0) throw std::runtime_error("socket failed");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 64) != 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        throw std::runtime_error(std::string("cannot listen on loopback: ") + std::strerror(errno));
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return port_;
}

void FakeTrafficService::stop()
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_ && listenFd_ < 0) return;
        stopping_ = true;
    }
    cv_.notify_all();
    if (acceptThread_.joinable()) acceptThread_.join();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    }
    std::vector<Worker> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& w : workers)
        if (w.thread.joinable()) w.thread.join();
}

void FakeTrafficService::reapWorkers()
{
    std::vector<Worker> finished;
    {
        std::lock_guard lock(mutex_);
        auto it = std::partition(workers_.begin(), workers_.end(), [](const Worker& w) { return !w.done->load(); });
        std::move(it, workers_.end(), std::back_inserter(finished));
        workers_.erase(it, workers_.end());
    }
    for (auto& w : finished)
        if (w.thread.joinable()) w.thread.join();
}

std::string FakeTrafficService::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

void FakeTrafficService::push(const std::string& route, Reply reply)
{
    std::lock_guard lock(mutex_);
    scripts_[route].push_back(std::move(reply));
}

void FakeTrafficService::setHandler(const std::string& route, std::function<Reply(const Request&)> handler)
{
    std::lock_guard lock(mutex_);
    handlers_[route] = std::move(handler);
}

void FakeTrafficService::setScene(std::shared_ptr<Scene> scene)
{
    std::lock_guard lock(mutex_);
    scene_ = std::move(scene);
}

void FakeTrafficService::setIntervals(int rrl, int wrrl)
{
    std::lock_guard lock(mutex_);
    rrl_ = rrl;
    wrrl_ = wrrl;
}

void FakeTrafficService::setDownloadFolder(std::filesystem::path folder)
{
    std::lock_guard lock(mutex_);
    downloadFolder_ = std::move(folder);
}

void FakeTrafficService::setRequestLimit(std::size_t n)
{
    std::lock_guard lock(mutex_);
    requestLimit_ = n;
}

std::vector<Request> FakeTrafficService::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<Request> FakeTrafficService::requests(const std::string& route) const
{
    std::lock_guard lock(mutex_);
    std::vector<Request> out;
    for (const auto& r : requests_)
        if (r.route == route) out.push_back(r);
    return out;
}

std::size_t FakeTrafficService::hangsEndedByClient() const
{
    std::lock_guard lock(mutex_);
    return hangsEndedByClient_;
}

std::size_t FakeTrafficService::connectionCount() const
{
    std::lock_guard lock(mutex_);
    return connections_;
}

std::size_t FakeTrafficService::workerThreads() const
{
    std::lock_guard lock(mutex_);
    return workers_.size();
}

bool FakeTrafficService::waitForRequests(const std::string& route, std::size_t n, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, limit, [&] {
        const auto count = static_cast<std::size_t>(std::count_if(
            requests_.begin(), requests_.end(), [&](const Request& r) { return route.empty() || r.route == route; }));
        return count >= n;
    });
}

void FakeTrafficService::acceptLoop()
{
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
        }
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0) continue;
        reapWorkers();
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::lock_guard lock(mutex_);
        ++connections_;
        workers_.push_back({std::thread([this, fd, done] {
                                serve(fd);
                                done->store(true);
                            }),
                            done});
    }
}

void FakeTrafficService::serve(int fd)
{
    auto stopping = [this] {
        std::lock_guard lock(mutex_);
        return stopping_;
    };
    // Reads with short polls, so a stop never waits on a silent client.
    auto readMore = [&](std::string& buf) {
        for (;;) {
            if (stopping()) return false;
            pollfd p{fd, POLLIN, 0};
            const int r = ::poll(&p, 1, 20);
            if (r == 0) continue;
            if (r < 0) return false;
            char chunk[4096];
            const ssize_t k = ::recv(fd, chunk, sizeof chunk, 0);
            if (k <= 0) return false;
            buf.append(chunk, static_cast<std::size_t>(k));
            return true;
        }
    };
    std::string buf;
    std::size_t headerEnd;
    while ((headerEnd = buf.find("\r\n\r\n")) == std::string::npos) {
        if (!readMore(buf) || buf.size() > 1'000'000) {
            ::close(fd);
            return;
        }
    }
    Request req;
    const std::string head = buf.substr(0, headerEnd);
    std::size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const std::size_t sp1 = requestLine.find(' ');
    const std::size_t sp2 = requestLine.find(' ', sp1 + 1);
    req.method = requestLine.substr(0, sp1);
    req.path = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    std::size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        std::size_t e = head.find("\r\n", pos);
        if (e == std::string::npos) e = head.size();
        const std::string line = head.substr(pos, e - pos);
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            value.erase(value.find_last_not_of(" \t") + 1);
            req.headers[lower(line.substr(0, colon))] = value;
        }
        pos = e + 2;
    }
    std::size_t length = 0;
    if (auto it = req.headers.find("content-length"); it != req.headers.end()) {
        // A length that is not a plain number, or an absurd one, is refused; it must
        // never end the server (an exception here would end the whole program).
        const std::string& v = it->second;
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), length);
        if (ec != std::errc() || end != v.data() + v.size() || v.empty() || length > kMaxBody) {
            const char bad[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            sendAll(fd, bad, sizeof bad - 1);
            ::shutdown(fd, SHUT_RDWR);
            ::close(fd);
            return;
        }
    }
    if (auto it = req.headers.find("expect"); it != req.headers.end() && lower(it->second) == "100-continue") {
        const char cont[] = "HTTP/1.1 100 Continue\r\n\r\n";
        sendAll(fd, cont, sizeof cont - 1);
    }
    std::string body = buf.substr(headerEnd + 4);
    while (body.size() < length) {
        if (!readMore(body)) {
            ::close(fd);
            return;
        }
    }
    req.body = body.substr(0, length);
    req.form = parseForm(req.body);
    req.route = routeOf(req.path, req.form);
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(req);
        if (requests_.size() > requestLimit_) {
            const auto excess = static_cast<std::ptrdiff_t>(requests_.size() - requestLimit_);
            requests_.erase(requests_.begin(), requests_.begin() + excess);
        }
    }
    cv_.notify_all();

    Reply reply;
    try {
        reply = answerFor(req);
    } catch (const std::exception& e) {
        reply = Reply::json({{"status", 500}, {"message", e.what()}}, 500);
    }
    if (reply.delay.count() > 0) {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, reply.delay, [this] { return stopping_; });
    }
    switch (reply.kind) {
    case Reply::Kind::CloseNoReply: break;
    case Reply::Kind::Hang: {
        std::string ignored;
        while (readMore(ignored)) ignored.clear();  // until the client gives up or we stop
        if (!stopping()) {
            std::lock_guard lock(mutex_);
            ++hangsEndedByClient_;
        }
        break;
    }
    default: {
        const std::string payload = reply.kind == Reply::Kind::Gzip ? gzipCompress(reply.body) : reply.body;
        std::string out = "HTTP/1.1 " + std::to_string(reply.httpStatus) + " " + reason(reply.httpStatus) + "\r\n";
        out += "Content-Type: " + reply.contentType + "\r\nConnection: close\r\n";
        if (reply.kind == Reply::Kind::Gzip) out += "Content-Encoding: gzip\r\n";
        out += "Content-Length: " + std::to_string(payload.size()) + "\r\n\r\n";
        if (reply.kind == Reply::Kind::CutMidBody) {
            out += payload.substr(0, payload.size() / 2);
        } else {
            out += payload;
        }
        sendAll(fd, out.data(), out.size());
        break;
    }
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

Reply FakeTrafficService::answerFor(const Request& r)
{
    std::function<Reply(const Request&)> handler;
    {
        std::lock_guard lock(mutex_);
        auto& q = scripts_[r.route];
        if (!q.empty()) {
            Reply reply = q.front();
            q.pop_front();
            return reply;
        }
        if (auto it = handlers_.find(r.route); it != handlers_.end()) handler = it->second;
    }
    if (handler) return handler(r);
    return defaultAnswer(r);
}

Reply FakeTrafficService::defaultAnswer(const Request& r)
{
    std::shared_ptr<Scene> scene;
    std::filesystem::path downloads;
    int rrl, wrrl;
    {
        std::lock_guard lock(mutex_);
        scene = scene_;
        downloads = downloadFolder_;
        rrl = rrl_;
        wrrl = wrrl_;
    }
    using nlohmann::json;
    if (r.route.rfind("/downloads/", 0) == 0) return downloadAnswer(r, downloads);
    if (r.route == "auth")
        return Reply::json({{"status", 200}, {"rrl", rrl}, {"wrrl", wrrl}, {"server", "rt-standin-1"},
                            {"GUID", "5f0c2a9e-0000-4000-8000-000000000001"}});
    if (r.route == "deauth") return Reply::json({{"status", 200}, {"message", "Session closed"}, {"server", "rt-standin-1"}});
    if (scene) return scene->answer(r, rrl, wrrl);
    if (r.route == "traffic.live") return Reply::json({{"status", 200}, {"rrl", rrl}, {"data", json::object()}});
    if (r.route == "traffic.buffer") return Reply::json({{"status", 200}, {"rrl", rrl}, {"data", json::object()}});
    if (r.route == "traffic.parked") return Reply::json({{"status", 200}, {"rrl", rrl}, {"data", json::object()}});
    if (r.route == "nearestmetar")
        return Reply::json({{"status", 200}, {"data", json::array({{{"ICAO", "EHAM"}, {"dist", 2.1}}})}});
    if (r.route == "weather") return Reply::json({{"status", 200}, {"wrrl", wrrl}, {"data", {{"QNH", 1013}}}});
    return Reply::json({{"status", 404}, {"message", "no such path"}}, 404);
}

}  // namespace standin

namespace standin {

Reply FakeTrafficService::downloadAnswer(const Request& r, const std::filesystem::path& folder) const
{
    const Reply notFound = Reply::text("Not Found", 404);
    if (folder.empty() || r.method != "GET") return notFound;
    const std::string relative = percentDecode(r.route.substr(std::string("/downloads/").size()));
    // Only plain names below the folder: no empty, "." or ".." step, no absolute path.
    std::filesystem::path file = folder;
    std::istringstream steps(relative);
    for (std::string step; std::getline(steps, step, '/');) {
        if (step.empty() || step == "." || step == ".." || step.find('\\') != std::string::npos ||
            step.find('\0') != std::string::npos)
            return notFound;
        file /= step;
    }
    std::error_code ec;
    if (relative.empty() || relative.back() == '/' || !std::filesystem::is_regular_file(file, ec)) return notFound;
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in && !in.eof()) return Reply::text("Internal Server Error", 500);
    return Reply::bytes(content.str());
}

}  // namespace standin
