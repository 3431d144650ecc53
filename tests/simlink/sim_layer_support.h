#pragma once
// Shared by the simulator-layer tests: a Log.txt in a scratch folder to read
// back, the recording fakes of the shell, liveries and airports, and a reset of
// every piece of run state the layer keeps.

#include <fstream>
#include <sstream>
#include <string>

#include "core/airport_services_fake.h"
#include "core/app_services_fake.h"
#include "core/livery_services_fake.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "core/support/scratch_folder.h"
#include "simlink/sim_client.h"
#include "simlink/sim_handover.h"
#include "simlink/sim_queues.h"
#include "simlink/user_aircraft.h"
#include "simstandin/sim_messages.h"

namespace simlayer {

inline void resetLayer()
{
    resetRunState();
    resetSimLink();
    resetUserAircraftForTest();
    setUserAcNeighbours({});
    takeSimReplies();
    statusPanel().reset();
    SIM_INSTALL_PATH.set("C:\\Prepar3D v5");
    P3D_VERSION.reset();
    initSimQueues(5);
}

// The fakes, the log and a clean layer for one test.
struct LayerEnv {
    LayerEnv()
    {
        resetLayer();
        gf_openLog(folder.path());
    }
    ~LayerEnv()
    {
        closeLog();
        resetLayer();
    }
    std::string log() const
    {
        std::ifstream in(folder / "Log.txt");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }

    ScratchFolder folder;
    AppServicesFake app;
    LiveryServicesFake liveries;
    AirportServicesFake airports;
};

// Hands a built message to the dispatch procedure, as CallDispatch would.
inline void dispatch(simstandin::Bytes bytes)
{
    simDispatchProc(reinterpret_cast<SIMCONNECT_RECV*>(bytes.data()), static_cast<DWORD>(bytes.size()), nullptr);
}

template <class Block>
simstandin::Bytes blockBytes(const Block& block)
{
    simstandin::Bytes b(sizeof block);
    std::memcpy(b.data(), &block, sizeof block);
    return b;
}

inline GroundInfoBlock groundInfo(double agl, double groundAlt, bool onGround, const std::string& atcId)
{
    GroundInfoBlock g{};
    g.altAboveGround = agl;
    g.groundAltitude = groundAlt;
    g.onGround = onGround ? 1 : 0;
    std::memcpy(g.atcId, atcId.data(), std::min(atcId.size(), sizeof g.atcId));
    return g;
}

inline simstandin::Bytes byTypeMessage(std::uint32_t objectId, const GroundInfoBlock& block)
{
    return simstandin::makeObjectData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, REQUEST_GROUND_INFO, objectId,
                                      DEF_GROUND_INFO, 1, 1, 4, blockBytes(block));
}

inline simstandin::Bytes dataMessage(std::uint32_t requestId, std::uint32_t objectId, std::uint32_t defineId,
                                     const simstandin::Bytes& block)
{
    return simstandin::makeObjectData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, requestId, objectId, defineId, 0, 1, 1,
                                      block);
}

}  // namespace simlayer
