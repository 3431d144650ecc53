#pragma once
// A simulator stand-in on real loopback sockets, a short private pipe folder,
// SimConnect.cfg folders and registry ports of the test's own, and virtual time
// for the library's teardown waits.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "simlink/sc_api.h"
#include "simlink/sc_transport.h"
#include "simstandin/fake_sim_server.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

// Expected packet bytes, written field by field from the protocol tables.
struct Golden {
    Bytes bytes;
    Golden(std::size_t size, std::uint32_t op, std::uint32_t packetId);
    Golden& u32(std::size_t at, std::uint32_t v);
    Golden& f32(std::size_t at, float v);
    Golden& f64(std::size_t at, double v);
    Golden& text(std::size_t at, const std::string& s);
};

// Polls (real time, bounded) until pred holds.
bool eventually(const std::function<bool()>& pred, std::chrono::milliseconds timeout = std::chrono::seconds(10));

class SimFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the stand-in (pipe + IPv4 + IPv6 by default).
    void startServer(simstandin::StandInOptions options = {});
    void writeCfg(const std::string& folder, const std::string& text);  // "public", "documents" or "cwd"
    // The simulator's ports in the (in-memory) registry; empty: no value.
    void setRegistryPorts(const std::string& ipv4, const std::string& ipv6);
    // Opens with configuration index 0 and waits for the OPEN reply.
    HANDLE openClient(DWORD configIndex = 0);
    // Dispatches until `count` messages were received in total (or the timeout).
    bool dispatchUntil(HANDLE h, std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Packets after Open, as the stand-in received them.
    std::vector<simstandin::RecordedPacket> packetsAfterOpen() const;

    std::filesystem::path dir_;
    std::shared_ptr<platform::VirtualClock> clock_;
    std::unique_ptr<platform::ScopedClock> scopedClock_;
    std::unique_ptr<simstandin::FakeSimServer> server_;
    std::vector<Bytes> received_;                        // messages handed to the dispatch procedure
    HRESULT lastDispatch_ = 0;
};

}  // namespace simtest
