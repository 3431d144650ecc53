// vrmt-simlayerdemo: the simulator layer on its own, for a run by hand beside
// vrmt-simstandin. It opens Log.txt in the current folder, connects through the
// SimClient thread, asks for the user aircraft every second, creates one AI
// aircraft near it after 5 seconds and removes it again 5 seconds later.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/app_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "platform/clock.h"
#include "platform/net.h"
#include "simlink/sc_api.h"
#include "simlink/sim_client.h"
#include "simlink/sim_handover.h"
#include "simlink/sim_queues.h"
#include "simlink/user_aircraft.h"

namespace {

void lf_usage()
{
    std::puts("usage: vrmt-simlayerdemo [--pipe-dir DIR] [--seconds N]\n"
              "Connects to the simulator (as SimConnect.cfg says; by default its pipe), follows the user\n"
              "aircraft and creates and removes one AI aircraft. Writes Log.txt in the current folder.");
}

void lf_print(const std::string& text)
{
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

const char* lf_kindName(std::uint32_t kind)
{
    static const char* const names[] = {"live created", "static created", "removed", "ground info",
                                        "static attitude", "callsign blocked", "creation failed"};
    return kind < 7 ? names[kind] : "?";
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = 15;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--pipe-dir" && i + 1 < argc) {
            platform::net::setPipeDirectory(argv[++i]);
        } else if (a == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else {
            lf_usage();
            return a == "--help" ? 0 : 2;
        }
    }
    gf_openLog();
    SIM_INSTALL_PATH.set("Prepar3D v5");
    resetSimLink();
    initSimQueues(5);
    startSimClientThread();

    using namespace std::chrono;
    const auto start = platform::steadyNow();
    const auto elapsed = [&] { return duration<double>(platform::steadyNow() - start).count(); };
    while (notYetConnected && !closingFlag && elapsed() < seconds) platform::sleepFor(10ms);
    if (notYetConnected) {
        lf_print("no simulator answered");
        joinSimClientThread();
        return 1;
    }
    lf_print("connected: " + statusPanel().simLabel.get());
    {
        std::lock_guard lock(simQueueMutex);
        SimConnect_RequestDataOnSimObject(simHandle.load(), REQUEST_USER_ON_GROUND, DEF_ON_GROUND,
                                          SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND);
    }
    requestUserAcPosition();
    requestUserAcTitleModel();

    bool created = false;
    std::uint32_t objectId = 0;
    bool removalQueued = false;
    while (!closingFlag && elapsed() < seconds) {
        if (newSecondFlag.exchange(false)) {
            const UserAcState user = requestUserAcPosition();
            lf_print(vr::format("user '{}' at {:.5f} {:.5f} {:.0f} ft, {:.0f} kt, {}", userAcTitle(), user.latitude,
                                user.longitude, user.altitude, user.groundVelocity,
                                userOnGround ? "on the ground" : "airborne"));
            std::lock_guard lock(simQueueMutex);
            SimConnect_RequestDataOnSimObjectType(simHandle.load(), REQUEST_GROUND_INFO, DEF_GROUND_INFO, 20000,
                                                  SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
        }
        if (!created && elapsed() >= 5.0) {
            const UserAcState user = userAcSnapshot();
            AcCreation c;
            c.initPosition = {user.latitude + 0.01, user.longitude, user.altitude, 0.0, 0.0, 0.0, 1, 0};
            c.callsign = "VRMT1";
            c.liveryTitle = "Stand-in Airbus A320";
            c.aircraftId = 0xABCDEF;
            created = queueAcCreation(c);
            lf_print("creation queued");
        }
        for (const SimReply& r : takeSimReplies()) {
            lf_print(vr::format("reply: {} object {} aircraft {} values {:.1f} {:.1f}", lf_kindName(r.kind), r.objectId,
                                r.aircraftId, r.valueA, r.valueB));
            if (r.kind == replyLiveCreated) objectId = r.objectId;
        }
        if (objectId != 0 && !removalQueued && elapsed() >= 10.0) {
            queueAcRemoval(objectId);
            removalQueued = true;
            lf_print(vr::format("removal of {} queued", objectId));
        }
        platform::sleepFor(10ms);
    }
    joinSimClientThread();
    lf_print("done");
    return 0;
}
