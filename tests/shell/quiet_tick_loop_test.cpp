// The tick loop while the engine has nothing to do: it sleeps from one tick
// with a cadence to the next, wakes at once for every kind of work, counts the
// ticks it slept through by the clock, and ticks every 10 ms while busy.
// The engine's quiet-tick query and count are the real ones; the engine's tick
// is a recorder that takes the work handed to it and counts the tick.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "core/fmt.h"
#include "core/run_state.h"
#include "core/tick_wake.h"
#include "engine/adding_stack.h"
#include "engine/quiet_ticks.h"
#include "engine/scheduling.h"
#include "shell/main_cycle.h"
#include "shell_fixture.h"
#include "simlink/sim_handover.h"
#include "simlink/sim_queues.h"
#include "simlink/user_aircraft.h"

namespace {

using std::chrono::milliseconds;
using Ms = std::chrono::duration<double, std::milli>;

// Virtual time with things that happen at set moments: a sleep or a wait that
// spans a moment lets it happen there (a wait releases its lock meanwhile, as
// a real one does) and a wait whose condition then holds ends at that moment.
class EventClock final : public platform::Clock {
public:
    struct Event {
        int atMs;
        std::function<void()> fire;
    };
    explicit EventClock(std::vector<Event> events) : events_(std::move(events)) {}

    TimePoint now() override { return TimePoint{} + elapsed_; }
    double wallSeconds() override { return 1'700'000'000.0 + std::chrono::duration<double>(elapsed_).count(); }
    void sleepFor(Duration d) override
    {
        const Duration end = elapsed_ + std::max(d, Duration::zero());
        while (Event* e = nextBy(end)) fire(*e);
        elapsed_ = end;
    }
    bool waitUntil(std::condition_variable&, std::unique_lock<std::mutex>& lock, TimePoint deadline,
                   const std::function<bool()>& ready) override
    {
        while (!ready()) {
            Event* e = nextBy(deadline - TimePoint{});
            if (!e) {
                elapsed_ = std::max(elapsed_, deadline - TimePoint{});
                return ready();
            }
            lock.unlock();
            fire(*e);
            lock.lock();
        }
        return true;
    }
    double ms() const { return Ms(elapsed_).count(); }

private:
    Event* nextBy(Duration end)
    {
        for (Event& e : events_)
            if (e.fire && milliseconds(e.atMs) <= end) return &e;
        return nullptr;
    }
    void fire(Event& e)
    {
        elapsed_ = std::max<Duration>(elapsed_, milliseconds(e.atMs));
        std::exchange(e.fire, nullptr)();
    }
    std::vector<Event> events_;  // in time order
    Duration elapsed_{0};
};

class QuietTickLoop : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        const MainCycleCallees real = defaultMainCycleCallees();
        MainCycleCallees& c = mainCycleCallees();
        c.quietTicks = real.quietTicks;
        c.beginQuietSleep = real.beginQuietSleep;
        c.endQuietSleep = real.endQuietSleep;
        c.consumeNewSecond = real.consumeNewSecond;
        c.newSecondPending = real.newSecondPending;
        // The engine's tick: takes what was handed to it and counts.
        c.handleAddingStack = [this] {
            ticks.emplace_back(static_cast<int>(events->ms()), tickCounter.load());
            std::vector<SimReply> replies;
            takeSimReplies(replies);
            taken += replies.size();
            std::lock_guard lock(addingMutex);
            taken += bufferedRecords.size();
            bufferedRecords.clear();
            tickCounter.fetch_add(1);
        };
        c.processSimReplies = [this] { ticks.emplace_back(static_cast<int>(events->ms()), -1); };
        tickCounter = 0;
        newSecondFlag = false;
        fastRangeRequest = false;
    }
    void TearDown() override
    {
        platform::setClock(clock);
        liveAircraft.clear();
        (void)takeSimReplies();
        newSecondFlag = false;
        ShellFixture::TearDown();
    }

    // A row's start: a fresh run, the count at 0, no second pending.
    void beginRow(bool framesFlowing)
    {
        resetRunState();
        mainCycle().reset();
        tickCounter = 0;
        newSecondFlag = false;
        ticks.clear();
        fake.framesFlowing = framesFlowing;
    }

    std::shared_ptr<EventClock> events;
    std::vector<std::pair<int, std::int32_t>> ticks;  // ms, tickCounter
    std::size_t taken = 0;
};

TEST_F(QuietTickLoop, SleepsWhileIdleWakesForWorkAndKeepsTheCountByTheClock)
{
    using Ticks = std::vector<std::pair<int, std::int32_t>>;
    std::int32_t dueTick = -1;
    struct Row {
        const char* name;
        std::function<void()> setup;
        std::function<void()> work;  // at 1234 ms (or the row's own moment)
        int workAtMs;
        Ticks ticks;         // the engine's ticks: ms, tickCounter; empty: every 10 ms
        std::size_t taken;   // replies and records the ticks took
        std::int32_t seconds;
        int endMs;
    };
    const Ticks idle{{0, 0}, {500, 50}, {1000, 100}, {1500, 150}, {2000, 200}, {2500, 250}, {2995, 299}};
    const Ticks wokenAt1234{{0, 0},     {500, 50},   {1000, 100}, {1234, 123},
                            {1500, 150}, {2000, 200}, {2500, 250}, {2995, 299}};
    const std::vector<Row> rows = {
        {"idle: from one tick with a cadence to the next", [] {}, [] {}, 1234, idle, 0, 0, 2995},
        {"a simulator reply", [] {}, [] { pushSimReply({300, 0, 0, replyGroundInfo}); }, 1234, wokenAt1234, 1, 0,
         2995},
        {"traffic records, due by the clock's tick",
         [] {},
         [&dueTick] {
             std::vector<TrafficRecord> batch(1);
             batch[0].time = 1'700'000'000.0;
             lf_scheduleTrafficRecords(batch, 0);
             std::lock_guard lock(addingMutex);
             dueTick = bufferedRecords.at(0).dueTick;
         },
         1234, wokenAt1234, 1, 0, 2995},
        {"the simulator's new second: its step, the ticks keep their time", [] {}, [] { onUserOnGround(0); }, 1234,
         wokenAt1234, 0, 1, 2995},
        {"a window request", [] {}, [] { mainCycle().request(mainCycle().navLightsChanged); }, 1234, wokenAt1234, 0,
         0, 2995},
        {"a stop ends the loop at once",
         [] {},
         [] { requestClosing(ClosingReason::NewFlight, 30); },
         1234,
         {{0, 0}, {500, 50}, {1000, 100}, {1234, 123}},
         0, 0, 1234},
        {"woken between two ticks: the work waits for the next one",
         [] {},
         [] { pushSimReply({300, 0, 0, replyGroundInfo}); },
         1002,
         {{0, 0}, {500, 50}, {1000, 100}, {1010, 101}, {1500, 150}, {2000, 200}, {2500, 250}, {2995, 299}},
         1, 0, 2995},
        {"busy: a live aircraft, every 10 ms", [] { liveAircraft.push_back(makeLive("KLM1", 52.3, 4.8)); }, [] {},
         1234, {}, 0, 0, 3000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetRunState();
        mainCycle().reset();
        tickCounter = 0;
        ticks.clear();
        taken = 0;
        dueTick = -1;
        liveAircraft.clear();
        row.setup();
        events = std::make_shared<EventClock>(std::vector<EventClock::Event>{
            {row.workAtMs, row.work}, {2995, [] { requestClosing(ClosingReason::NewFlight, 30); }}});
        platform::setClock(events);

        tickLoop();

        if (row.ticks.empty()) {
            ASSERT_EQ(ticks.size(), 301u);
            for (std::size_t i = 0; i < ticks.size(); ++i)
                EXPECT_EQ(ticks[i], std::make_pair(static_cast<int>(i) * 10, static_cast<std::int32_t>(i)));
        } else {
            EXPECT_EQ(ticks, row.ticks);
        }
        EXPECT_EQ(taken, row.taken);
        EXPECT_EQ(mainCycle().secondCount.load(), row.seconds);
        EXPECT_EQ(static_cast<int>(events->ms()), row.endMs);
        if (std::string(row.name).starts_with("traffic")) {
            EXPECT_EQ(dueTick, 123);
        }
    }
}

// Busy while the simulator's frames come: each frame that finds a tick due
// wakes the loop, which runs every tick due by then and hands the frame's flush
// on after them; when the frames stop, the ticks run at most 40 ms late. No
// tick is lost or run early, and the scheduling tick follows the clock between
// frames as if the loop ticked every 10 ms.
TEST_F(QuietTickLoop, FramesPaceTheBusyTicksAndNoTickIsLost)
{
    liveAircraft.push_back(makeLive("KLM1", 52.3, 4.8));
    MainCycleCallees& c = mainCycleCallees();
    c.framesPaceTicks = [] { return true; };
    std::vector<int> served;  // ms of each hand-over of a frame's flush
    std::vector<std::size_t> ranBefore;  // the ticks run by then
    c.serveTakenFrame = [this, &served, &ranBefore] {
        served.push_back(static_cast<int>(events->ms()));
        ranBefore.push_back(ticks.size());
    };
    constexpr int lastFrameMs = 500;
    constexpr int endMs = 700;
    std::vector<int> taken;      // ms of the frames the loop took
    std::vector<int> notTaken;   // ms of those it did not
    std::vector<std::pair<int, std::int32_t>> scheduling;  // ms, lf_schedulingTick
    std::vector<EventClock::Event> moments;
    for (int at = 5; at <= lastFrameMs; at += 33) {
        moments.push_back({at, [this, &taken, &notTaken] {
                               const int ms = static_cast<int>(events->ms());
                               (takeFrameForTicks() ? taken : notTaken).push_back(ms);
                           }});
        moments.push_back({at + 17, [this, &scheduling] {
                               scheduling.emplace_back(static_cast<int>(events->ms()), lf_schedulingTick());
                           }});
    }
    moments.push_back({endMs, [] { requestClosing(ClosingReason::NewFlight, 30); }});
    events = std::make_shared<EventClock>(std::move(moments));
    platform::setClock(events);

    tickLoop();

    ASSERT_EQ(notTaken, std::vector<int>{5});  // no tick due yet at 5 ms
    ASSERT_FALSE(ticks.empty());
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        const auto [ms, counter] = ticks[i];
        SCOPED_TRACE(vr::format("tick {} at {} ms", i, ms));
        const int due = static_cast<int>(i) * 10;
        EXPECT_EQ(counter, static_cast<std::int32_t>(i));  // none skipped
        EXPECT_GE(ms, due - 1);                            // none early
        if (due <= lastFrameMs - 1) {
            // Run at the first frame less than a millisecond before it was due (the first tick at once).
            const int frame = i == 0 ? 0 : 5 + 33 * ((due - 5 + 32) / 33);
            EXPECT_EQ(ms, frame);
        } else {
            EXPECT_LE(ms, due + 40);  // the frames stopped: late, but not by more than 40 ms
        }
    }
    EXPECT_GE(ticks.back().second, 60);  // the ticks of 700 ms ran (the last ones past the frames too)
    // Each frame taken is handed on once, after all of its ticks.
    EXPECT_EQ(served, taken);
    for (std::size_t k = 0; k < served.size() && k < ranBefore.size(); ++k) {
        const auto ranBy = std::count_if(ticks.begin(), ticks.end(), [&](const auto& t) { return t.first <= served[k]; });
        EXPECT_EQ(ranBefore[k], static_cast<std::size_t>(ranBy)) << "frame at " << served[k] << " ms";
    }
    // Between frames, the tick 10 ms ticking would have reached by then.
    ASSERT_FALSE(scheduling.empty());
    for (const auto& [ms, tick] : scheduling) EXPECT_EQ(tick, ms / 10 + 1) << "at " << ms << " ms";
}

// A simulator second that comes while ticks are owed (a frame woke the loop
// with several due, or a tick took long) re-bases the ticks on its clock only
// once the ticks owed have run, on whichever pass of the catch-up it is seen:
// no tick is dropped, none runs early, and the second has its one step.
TEST_F(QuietTickLoop, ASecondDuringACatchUpDropsNoTick)
{
    liveAircraft.push_back(makeLive("KLM1", 52.3, 4.8));
    MainCycleCallees& c = mainCycleCallees();
    const MainCycleCallees real = defaultMainCycleCallees();
    constexpr int frameMs = 33, firstFrameMs = 5, endMs = 700;
    constexpr int catchUpFrameMs = firstFrameMs + 2 * frameMs;  // 71 ms: the ticks due at 40..70 are owed
    struct Row {
        const char* name;
        bool frames;           // paced by the simulator's frames, else by the loop's own timer
        int secondAtFrameMs;   // the second comes in the read of this frame (-1: none)
        int secondAfterTick;   // the second comes just after this tick looked for one (-1: none)
        int longTick;          // this tick takes 35 ms (-1: none)
        int owedAtMs;          // the moment the ticks owed are run
        int owedUpTo;          // the last tick owed then
    };
    const Row rows[] = {
        {"with the frame that wakes the loop, four ticks owed", true, catchUpFrameMs, -1, -1, catchUpFrameMs, 7},
        {"after the first tick of the catch-up", true, -1, 4, -1, catchUpFrameMs, 7},
        {"after the second tick of the catch-up", true, -1, 5, -1, catchUpFrameMs, 7},
        {"after the last but one tick of the catch-up", true, -1, 6, -1, catchUpFrameMs, 7},
        {"by the loop's timer, after a tick that took 35 ms", false, -1, 20, 20, 235, 23},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        beginRow(row.frames);
        std::int32_t secondAfter = row.secondAfterTick;
        // The simulator link sets the flag on its own thread: here just after
        // the tick's look at it, so the next pass of the loop sees it first.
        c.consumeNewSecond = [&real, &secondAfter] {
            const bool had = real.consumeNewSecond();
            if (secondAfter >= 0 && tickCounter.load() == secondAfter + 1) {
                newSecondFlag = true;
                secondAfter = -1;
            }
            return had;
        };
        const auto countTick = c.handleAddingStack;
        c.handleAddingStack = [this, &countTick, &row] {
            const bool slow = tickCounter.load() == row.longTick;
            countTick();
            if (slow) events->sleepFor(milliseconds(35));
        };
        std::vector<int> framesTaken;
        std::vector<EventClock::Event> moments;
        for (int at = firstFrameMs; row.frames && at < endMs; at += frameMs) {
            moments.push_back({at, [this, at, &row, &framesTaken] {
                                   if (at == row.secondAtFrameMs) newSecondFlag = true;
                                   if (takeFrameForTicks()) framesTaken.push_back(at);
                               }});
        }
        moments.push_back({endMs, [] { requestClosing(ClosingReason::NewFlight, 30); }});
        events = std::make_shared<EventClock>(std::move(moments));
        platform::setClock(events);

        tickLoop();
        c.handleAddingStack = countTick;

        EXPECT_EQ(mainCycle().secondCount.load(), 1);
        ASSERT_FALSE(ticks.empty());
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            EXPECT_EQ(ticks[i].second, static_cast<std::int32_t>(i));
            EXPECT_GE(ticks[i].first, static_cast<int>(i) * 10 - 1) << "tick " << i << " early";
        }
        // By every frame taken, the ticks due by then have run: one less at
        // most, as the re-base moves the ticks after the second by less than a
        // tick. A dropped tick falls further behind.
        const auto ranBy = [this](int ms) {
            return std::count_if(ticks.begin(), ticks.end(), [ms](const auto& t) { return t.first <= ms; });
        };
        // The ticks owed when the second came all ran at once.
        EXPECT_EQ(ranBy(row.owedAtMs), row.owedUpTo + 1);
        for (const int at : framesTaken) EXPECT_GE(ranBy(at), (at - 1) / 10) << "by the frame at " << at << " ms";
        EXPECT_GE(ranBy(endMs), endMs / 10 - 1);
    }
}

// The ticks keep the simulator's clock, 100 to its second, however its
// seconds fall against the loop's wakes: with the frame after each second
// (the frames wake the loop), or between two ticks of the loop's own timer.
// A simulator whose seconds run slow or fast is followed; one whose seconds
// keep the program clock's is not moved about by their arrival.
TEST_F(QuietTickLoop, TheTicksKeepTheSimulatorsClock)
{
    liveAircraft.push_back(makeLive("KLM1", 52.3, 4.8));
    constexpr int endMs = 30'000, frameMs = 33;
    struct Row {
        const char* name;
        bool frames;   // the seconds come with the frame after them, else 3 ms after them
        int secondMs;  // the simulator's second on the program clock
    };
    const Row rows[] = {
        {"frames, seconds on the program clock", true, 1000},
        {"the loop's timer, seconds on the program clock", false, 1000},
        {"frames, a simulator 1 % slow", true, 1010},
        {"frames, a simulator 1 % fast", true, 990},
        {"the loop's timer, a simulator 1 % slow", false, 1010},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        beginRow(row.frames);
        std::vector<int> seconds;  // ms each second came
        std::vector<EventClock::Event> moments;
        if (row.frames) {
            int nextSecond = row.secondMs;
            // Every fifth frame a millisecond later: 33.2 ms, as the stand-in's.
            for (int at = 5, k = 0; at < endMs; at += frameMs + (++k % 5 == 0 ? 1 : 0)) {
                const bool second = at >= nextSecond;
                if (second) nextSecond += row.secondMs;
                moments.push_back({at, [at, second, &seconds] {
                                       if (second) {
                                           newSecondFlag = true;
                                           seconds.push_back(at);
                                       }
                                       takeFrameForTicks();
                                   }});
            }
        } else {
            for (int at = row.secondMs + 3; at < endMs; at += row.secondMs)
                moments.push_back({at, [at, &seconds] {
                                       newSecondFlag = true;
                                       seconds.push_back(at);
                                       wakeTickLoop();
                                   }});
        }
        moments.push_back({endMs, [] { requestClosing(ClosingReason::NewFlight, 30); }});
        events = std::make_shared<EventClock>(std::move(moments));
        platform::setClock(events);

        tickLoop();

        ASSERT_GE(seconds.size(), 20u);
        const auto ranBy = [this](int ms) {
            return static_cast<int>(
                std::count_if(ticks.begin(), ticks.end(), [ms](const auto& t) { return t.first <= ms; }));
        };
        // From the first second on, 100 ticks to each of the simulator's
        // seconds, give or take the loop's band (8) and how the arrival of
        // the two seconds compared varies (a frame or two each).
        const int simSeconds = static_cast<int>(seconds.size()) - 1;
        const int ran = ranBy(seconds.back()) - ranBy(seconds.front());
        EXPECT_NEAR(ran, 100 * simSeconds, 15) << simSeconds << " simulator seconds";
        if (row.secondMs == 1000) {
            // On the program clock's pace nothing moves them: every tick by its time.
            for (const int at : seconds) EXPECT_GE(ranBy(at), at / 10 - 1) << "by the second at " << at << " ms";
        }
        for (std::size_t i = 0; i < ticks.size(); ++i) EXPECT_EQ(ticks[i].second, static_cast<std::int32_t>(i));
    }
}

// Paused, every tick has its step (the pause's own count runs in ticks): no sleep through quiet ticks.
TEST_F(QuietTickLoop, PausedItTicksEveryTenMilliseconds)
{
    fake.simRunning = false;
    events = std::make_shared<EventClock>(
        std::vector<EventClock::Event>{{995, [] { requestClosing(ClosingReason::NewFlight, 30); }}});
    platform::setClock(events);
    tickLoop();
    ASSERT_EQ(ticks.size(), 101u);
    for (std::size_t i = 0; i < ticks.size(); ++i) EXPECT_EQ(ticks[i].first, static_cast<int>(i) * 10);
}

}  // namespace
