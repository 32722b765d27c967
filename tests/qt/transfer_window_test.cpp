// The transfer window on the offscreen platform, with fake drivers: what it
// shows and what it forwards to its session.  The session's own logic is
// tested in tests/session.
#include "frontend/qt/transfer_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <thread>

#include "frontend/qt/gradient_background.h"
#include "frontend/qt/guarded_application.h"
#include "frontend/qt/progress_gauge.h"
#include "platform/clock.h"
#include "support/worker_test_support.h"

namespace talvek {

using namespace worker_test;

namespace {

// Runs the form's own message processing until `done` or a real-time limit.
template <typename Pred>
bool PumpUntil(Pred done, int limitMs = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The start sequence pumps messages itself until the download ends, so a
// test acts from inside that loop: `action` runs once, from a timer, as soon
// as `when` holds.
class WhenThen {
  public:
    template <typename Pred, typename Action>
    WhenThen(Pred when, Action action) {
        QObject::connect(&timer_, &QTimer::timeout, [this, when, action] {
            if (!fired_ && when()) {
                fired_ = true;
                action();
            }
        });
        timer_.start(2);
    }
    bool Fired() const { return fired_; }

  private:
    QTimer timer_;
    bool fired_ = false;
};

int count(const std::vector<std::string>& v, const std::string& s) {
    return static_cast<int>(std::count(v.begin(), v.end(), s));
}

class TransferWindowTest : public ::testing::Test {
  protected:
    TransferWindowTest() : scoped_(clock_) {
        // The trace and the default output file go to the scratch directory.
        char buf[4096];
        cwd_ = getcwd(buf, sizeof buf) ? buf : ".";
        EXPECT_EQ(chdir(dir_.path().c_str()), 0);
    }
    ~TransferWindowTest() override {
        trace::shutdown();
        EXPECT_EQ(chdir(cwd_.c_str()), 0);
    }

    SessionSetup fakes() {
        SessionSetup setup;
        setup.interfaces = computers_.table();
        return setup;
    }
    std::string commandLine(const std::string& options) const {
        return "talvek-dl -cdblog=" + dir_.file("trace") + " -f=" + dir_.file("out.xml") +
               " -p=/dev/ttyS9 " + options;
    }
    // The trace lines' messages.
    std::vector<std::string> Messages() const { return traceMessages(dir_.file("trace.txt")); }

    ScratchDir dir_;
    std::string cwd_;
    platform::VirtualClock clock_;
    platform::ScopedClock scoped_;
    FakeComputers computers_;
};

TEST_F(TransferWindowTest, GeometryFlagsAndControls) {
    TransferWindow form(commandLine(""), fakes());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("  Talvek Downloader") +
                                      QString(21, QLatin1Char(' ')) +
                                      QString::fromUtf8(MakersNotice));
    EXPECT_TRUE(QString::fromUtf8(MakersNotice).contains("Talvek Oy"));
    EXPECT_EQ(form.minimumWidth(), 300);
    EXPECT_EQ(form.maximumWidth(), 300);
    EXPECT_EQ(form.minimumHeight(), 85);
    EXPECT_EQ(form.maximumHeight(), 100);
    EXPECT_EQ(form.size(), QSize(300, 100));
    Qt::WindowFlags f = form.windowFlags();
    EXPECT_TRUE(f & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(f & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(f & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);

    EXPECT_EQ(form.statusInfo->geometry(), QRect(8, 4, 274, 13));
    EXPECT_EQ(form.statusInfo->text(), "Transfer Data");
    EXPECT_EQ(form.progressBar->geometry(), QRect(8, 23, 274, 17));
    EXPECT_EQ(form.progressBar->minValue(), 0);
    EXPECT_EQ(form.progressBar->maxValue(), 100);
    EXPECT_EQ(form.progressBar->backColor(), cream());
    EXPECT_EQ(form.closeButton->geometry(), QRect(116, 48, 55, 21));
    EXPECT_EQ(form.closeButton->text(), "Cancel");
    EXPECT_FALSE(form.closeButton->isHidden());
    EXPECT_EQ(form.gradient->geometry(), form.rect());
    EXPECT_EQ(form.gradient->endColor(), skyBlue());
    EXPECT_EQ(form.gradient->shift(), -22);
    EXPECT_FALSE(form.gradient->isHidden());
    // Not started before the first activation.
    EXPECT_FALSE(form.bodyRunning());
    EXPECT_FALSE(form.session().started());
}

TEST_F(TransferWindowTest, WorkerEventsAreShown) {
    TransferWindow form(commandLine(""), fakes());
    QCoreApplication::postEvent(qApp, new StatusEvent(QStringLiteral("Downloading Dive Profiles")));
    QCoreApplication::postEvent(qApp, new ProgressEvent(45));
    QCoreApplication::processEvents();
    EXPECT_EQ(form.statusInfo->text(), "Downloading Dive Profiles");
    EXPECT_EQ(form.progressBar->progress(), 45);
    EXPECT_EQ(form.progressBar->text(), "45%");
}

TEST_F(TransferWindowTest, DownloadRunsOnFirstActivationAndEndsWithTheWorkersResult) {
    computers_.type2.open = [] {};
    computers_.type2.dives = 2;
    TransferWindow form(commandLine(""), fakes());
    form.show();
    ASSERT_TRUE(PumpUntil([&] { return form.finished(); }));
    EXPECT_EQ(form.exitCode(), 0);
    EXPECT_EQ(form.exitStatus(), 0);
    EXPECT_FALSE(form.bodyRunning());
    EXPECT_EQ(form.statusInfo->text(), "Download Successfull");
    EXPECT_EQ(form.progressBar->progress(), 100);
    EXPECT_FALSE(form.isVisible());
    // Shown once, closed once.
    std::vector<std::string> m = Messages();
    EXPECT_EQ(count(m, "Gradient=\"ON\""), 1);
    EXPECT_EQ(count(m, "FormClose(): Returning 0"), 1);
}

TEST_F(TransferWindowTest, SecondActivationStartsNothing) {
    computers_.type2.open = [] {};
    computers_.type2.dives = 1;
    std::atomic<bool> release{false};
    std::atomic<bool> inDive{false};
    computers_.type2.dive = [&](unsigned) {
        inDive = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    TransferWindow form(commandLine(""), fakes());
    WhenThen again([&] { return inDive.load(); },
                   [&] {
                       QEvent deactivate(QEvent::WindowDeactivate);
                       QApplication::sendEvent(&form, &deactivate);
                       QEvent activate(QEvent::WindowActivate);
                       QApplication::sendEvent(&form, &activate);
                       QCoreApplication::processEvents();
                       release = true;
                   });
    form.show();
    ASSERT_TRUE(PumpUntil([&] { return form.finished(); }));
    EXPECT_TRUE(again.Fired());
    EXPECT_EQ(form.exitCode(), 0);
    EXPECT_EQ(count(computers_.log, "construct 2"), 1);
    std::vector<std::string> m = Messages();
    EXPECT_EQ(
        std::count_if(m.begin(), m.end(),
                      [](const std::string& s) { return s.rfind("sAPIThread::Set()", 0) == 0; }),
        1);
}

TEST_F(TransferWindowTest, CancelDuringTheDivesEndsWith9999) {
    computers_.type2.open = [] {};
    computers_.type2.dives = 1000000;
    computers_.type2.dive = [](unsigned) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    TransferWindow form(commandLine(""), fakes());
    WhenThen cancel([&] { return form.statusInfo->text() == "Downloading Dive Profiles"; },
                    [&] { form.closeButton->click(); });
    form.show();
    ASSERT_TRUE(PumpUntil([&] { return form.finished(); }));
    EXPECT_TRUE(cancel.Fired());
    EXPECT_EQ(form.exitCode(), 9999);
    EXPECT_EQ(form.statusInfo->text(), "Canceled");
    // The button is forwarded once; the start sequence closes a second time.
    std::vector<std::string> m = Messages();
    EXPECT_EQ(count(m, "CloseButton Pressed"), 1);
    EXPECT_EQ(count(m, "FormClose(): Returning 9999"), 2);
    EXPECT_FALSE(fileExists(dir_.file("out.xml")));
    EXPECT_FALSE(fileExists(dir_.file("TalvekDownload.xml")));
}

TEST_F(TransferWindowTest, SignalActsAsCancel) {
    computers_.type2.open = [] {};
    computers_.type2.dives = 1000000;
    computers_.type2.dive = [](unsigned) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    TransferWindow form(commandLine(""), fakes());
    WhenThen cancel([&] { return form.statusInfo->text() == "Downloading Dive Profiles"; },
                    [&] { form.cancelBySignal(15); });
    form.show();
    ASSERT_TRUE(PumpUntil([&] { return form.finished(); }));
    EXPECT_TRUE(cancel.Fired());
    EXPECT_EQ(form.exitCode(), 9999);
    EXPECT_EQ(count(Messages(), "Signal 15 Received"), 1);
}

TEST_F(TransferWindowTest, ClosedBeforeActivationIsACancelledRun) {
    TransferWindow form(commandLine(""), fakes());
    form.close();
    EXPECT_EQ(form.exitCode(), 9999);
    EXPECT_FALSE(form.bodyRunning());
}

// Options that change the window.
TEST_F(TransferWindowTest, NoCancelAndNoGradientOptions) {
    TransferWindow form(commandLine("-nc -g=0"), fakes());
    EXPECT_TRUE(form.closeButton->isHidden());
    EXPECT_EQ(form.height(), 85);
    form.show();
    ASSERT_TRUE(PumpUntil([&] { return form.finished(); }));
    EXPECT_TRUE(form.gradient->isHidden());
    EXPECT_EQ(count(Messages(), "Gradient=\"OFF\""), 1);
    EXPECT_EQ(form.exitCode(), 17);
}

}  // namespace

}  // namespace talvek

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    talvek::GuardedApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
