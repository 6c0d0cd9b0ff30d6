// Waiting beside the window: the work runs on its own thread while the window's
// thread goes on handling events under the busy cursor, and only the work's end returns.
#include "scanwindow/beside_window.h"
#include "fakes/scripted_prompts.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMetaObject>
#include <future>
#include <gtest/gtest.h>
#include <new>
#include <thread>

TEST(BesideWindow, ProgressWindowShowsWhileTheWindowRunsAndItsStoppenReachesTheWork)
{
    for (const bool stopByUser : {false, true}) {
        SCOPED_TRACE(stopByUser);
        ScriptedPrompts prompts;
        prompts.stopBusyWork = stopByUser;
        std::promise<void> windowRan, stopped;
        int stops = 0;
        bool besideTheWindow = false, sawStop = false, busyCursor = false;
        const auto windowThread = std::this_thread::get_id();
        RunBesideWindow(
            "Lezen", "Kaart %1 van %2 gelezen", 3,
            [&](BesideProgress &progress) {
                besideTheWindow = std::this_thread::get_id() != windowThread;
                // Returns only when the window's thread handles its events meanwhile.
                QMetaObject::invokeMethod(
                    qApp,
                    [&] {
                        const QCursor *shown = QGuiApplication::overrideCursor();
                        busyCursor = shown && shown->shape() == Qt::WaitCursor;
                        windowRan.set_value();
                    },
                    Qt::QueuedConnection);
                windowRan.get_future().wait();
                progress.done = 3;
                if (stopByUser)
                    stopped.get_future().wait();
                sawStop = progress.stop;
            },
            [&] {
                ++stops;
                stopped.set_value();
            });
        EXPECT_TRUE(besideTheWindow);
        EXPECT_TRUE(busyCursor);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(sawStop, stopByUser);
        EXPECT_EQ(stops, int(stopByUser));
        ASSERT_EQ(prompts.transcript().size(), 1u);
        EXPECT_EQ(prompts.transcript()[0].kind, "progress");
        EXPECT_EQ(prompts.transcript()[0].text + prompts.transcript()[0].value, "Kaart %1 van %2 gelezen3");
    }
}

// What the work throws reaches the caller on the window's thread, whichever window it waited behind.
TEST(BesideWindow, FailureOfTheWorkIsThrownToTheCaller)
{
    ScriptedPrompts prompts;
    EXPECT_THROW(RunBesideWindow("Draaien", "Bezig met draaien…", [] { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_THROW(RunBesideWindow("Lezen", "%1 van %2", 1, [](BesideProgress &) { throw std::runtime_error("x"); }),
                 std::runtime_error);
    EXPECT_EQ(prompts.texts(), (QStringList{"Bezig met draaien…", "%1 van %2"}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);   // the busy cursor goes with the failure
}
