#include "WakeUp.h"

#include "TestApplication.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace telv {
namespace {

class WakeUpTest : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureApplication("platform_threads_tests"); }

    template <class Condition>
    static bool PumpUntil(Condition done) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return done();
    }
};

TEST_F(WakeUpTest, SignalsFromOtherThreadsCallOnTheOwnThreadWithTheirDataVisible) {
    int calls = 0;
    std::vector<int> seen;
    std::vector<int> written;  // written by the workers before they signal; read only in the call
    std::atomic<int> done{0};
    QThread* const own = QThread::currentThread();
    bool onOwnThread = true;
    WakeUp wake([&] {
        ++calls;
        onOwnThread = onOwnThread && QThread::currentThread() == own;
        seen = written;
    });
    std::thread worker([&, trigger = wake.MakeTrigger()] {
        written = {1, 2, 3};
        for (int i = 0; i < 100; ++i) trigger.Signal();
        done = 1;
    });
    worker.join();
    ASSERT_TRUE(PumpUntil([&] { return calls > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1) << "signals before the call are answered by one call";
    EXPECT_TRUE(onOwnThread);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));

    wake.Signal();
    ASSERT_TRUE(PumpUntil([&] { return calls == 2; }));
}

TEST_F(WakeUpTest, ATriggerThatOutlivesItsWakeUpSignalsHarmlessly) {
    int calls = 0;
    auto wake = std::make_unique<WakeUp>([&] { ++calls; });
    const WakeUp::Trigger trigger = wake->MakeTrigger();
    trigger.Signal();
    wake.reset();  // the call still due goes with it
    trigger.Signal();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace telv
