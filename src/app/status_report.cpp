#include "status_report.h"

#include <cstdio>

#include "core/app_services.h"
#include "core/fmt.h"
#include "core/time.h"
#include "platform/clock.h"
#include "platform/thread_name.h"
#include "shell/main_window.h"

std::string statusReportLine()
{
    StatusPanel& p = statusPanel();
    const char* lamps[] = {"?", "flowing", "waiting", "stopped"};
    auto lamp = [&](std::int32_t v) { return lamps[v >= 1 && v <= 3 ? v : 0]; };
    return vr::format("{} sim {}{} | live {} parked {} statics {} | stands {} liveries {} | traffic {} weather {} | {}",
                      timeOfDay(), p.simConnected.load() ? "connected" : "not connected",
                      p.simRunning.load() ? ", running" : "", p.liveCount.load(), p.liveParkedCount.load(),
                      p.staticsInSlot.load(), p.standCount.load(), p.liveriesCount.load(), lamp(p.trafficLamp.load()),
                      lamp(p.weatherLamp.load()), mainWindow().shownMessage());
}

StatusReport::StatusReport(std::chrono::seconds every)
    : thread_([this, every] {
          platform::nameThisThread("vrmt-status");
          std::unique_lock lock(mutex_);
          auto due = platform::steadyNow() + every;
          for (;;) {
              if (platform::clock().waitUntil(wake_, lock, due, [this] { return ending_; })) return;
              due += every;
              lock.unlock();
              std::printf("%s\n", statusReportLine().c_str());
              std::fflush(stdout);
              lock.lock();
          }
      })
{
}

StatusReport::~StatusReport()
{
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    thread_.join();
}
