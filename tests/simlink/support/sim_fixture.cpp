#include "support/sim_fixture.h"

#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/registry.h"

namespace simtest {

Golden::Golden(std::size_t size, std::uint32_t op, std::uint32_t packetId) : bytes(size, 0)
{
    u32(0, static_cast<std::uint32_t>(size));
    u32(4, 35);
    u32(8, 0xF0000000u + op);
    u32(12, packetId);
}
Golden& Golden::u32(std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
    return *this;
}
Golden& Golden::f32(std::size_t at, float v)
{
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    return u32(at, u);
}
Golden& Golden::f64(std::size_t at, double v)
{
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    u32(at, static_cast<std::uint32_t>(u));
    return u32(at + 4, static_cast<std::uint32_t>(u >> 32));
}
Golden& Golden::text(std::size_t at, const std::string& s)
{
    for (std::size_t i = 0; i < s.size(); ++i) bytes.at(at + i) = static_cast<std::uint8_t>(s[i]);
    return *this;
}

bool eventually(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

void SimFixture::SetUp()
{
    // Short: a socket path must fit 108 bytes.
    char templ[] = "/tmp/vrmtXXXXXX";
    ASSERT_NE(::mkdtemp(templ), nullptr);
    dir_ = templ;
    for (const char* sub : {"public", "documents", "cwd", "pipes"}) std::filesystem::create_directories(dir_ / sub);
    platform::net::setPipeDirectory(dir_ / "pipes");
    clock_ = std::make_shared<platform::VirtualClock>();
    scopedClock_ = std::make_unique<platform::ScopedClock>(clock_);
    setScEnvironment({[this] {
                          return std::vector<std::filesystem::path>{dir_ / "public", dir_ / "documents", dir_ / "cwd"};
                      },
                      {}});
    setRegistryPorts("", "");
}

void SimFixture::TearDown()
{
    if (server_) server_->stop();
    server_.reset();
    setScEnvironment({});
    platform::setRegistry(nullptr);
    platform::net::setPipeDirectory({});
    scopedClock_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void SimFixture::startServer(simstandin::StandInOptions options)
{
    server_ = std::make_unique<simstandin::FakeSimServer>(std::move(options));
    ASSERT_TRUE(server_->start());
}

void SimFixture::setRegistryPorts(const std::string& ipv4, const std::string& ipv6)
{
    auto reg = std::make_unique<platform::MemoryRegistry>();
    const std::u16string key = u"SOFTWARE\\Lockheed Martin\\Prepar3D v5";
    reg->addKey(platform::RegRoot::CurrentUser, key);
    const auto wide = [](const std::string& s) { return std::u16string(s.begin(), s.end()); };
    if (!ipv4.empty()) reg->setString(platform::RegRoot::CurrentUser, key, u"SimConnect_Port_IPv4", wide(ipv4));
    if (!ipv6.empty()) reg->setString(platform::RegRoot::CurrentUser, key, u"SimConnect_Port_IPv6", wide(ipv6));
    platform::setRegistry(std::move(reg));
}

void SimFixture::writeCfg(const std::string& folder, const std::string& text)
{
    std::ofstream(dir_ / folder / "SimConnect.cfg") << text;
}

namespace {
void lf_collect(SIMCONNECT_RECV* data, DWORD size, void* context)
{
    auto* out = static_cast<std::vector<Bytes>*>(context);
    const auto* p = reinterpret_cast<const std::uint8_t*>(data);
    out->emplace_back(p, p + size);
}
}  // namespace

bool SimFixture::dispatchUntil(HANDLE h, std::size_t count, std::chrono::milliseconds timeout)
{
    return eventually(
        [&] {
            lastDispatch_ = SimConnect_CallDispatch(h, lf_collect, &received_);
            return received_.size() >= count;
        },
        timeout);
}

HANDLE SimFixture::openClient(DWORD configIndex)
{
    HANDLE h = nullptr;
    EXPECT_EQ(SimConnect_Open(&h, "VRMT_P3D", nullptr, 0, nullptr, configIndex), scOk);
    if (h) {
        EXPECT_TRUE(dispatchUntil(h, received_.size() + 1));
    }
    return h;
}

std::vector<simstandin::RecordedPacket> SimFixture::packetsAfterOpen() const
{
    auto all = server_->packets();
    if (!all.empty() && all.front().is(sc::Op::Open)) all.erase(all.begin());
    return all;
}

}  // namespace simtest
