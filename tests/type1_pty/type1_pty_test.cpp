// The type 1 driver through a real pseudo-terminal against talvek-sim, on
// the real clock: the echo purge 200 ms after a frame must not eat the
// computer's answer, which comes 350 ms after it, and a whole download works
// at the real pace.  Checked by order and content; times only from below
// (the pauses are kept), since a loaded machine may be slower.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "dc/type1/type1_driver.h"
#include "output/writer_table.h"
#include "platform/os.h"
#include "sim/dive_builder.h"
#include "support/schema_check.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

// talvek-sim with its standard output on a pipe; killed if still running.
class SimTool {
  public:
    explicit SimTool(std::vector<std::string> args) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv = {const_cast<char*>(TALVEK_SIM_PATH)};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(TALVEK_SIM_PATH, argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = fdopen(out[0], "r");
    }
    ~SimTool() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        if (out_) fclose(out_);
    }
    SimTool(const SimTool&) = delete;
    SimTool& operator=(const SimTool&) = delete;

    // The device path the tool prints first.
    std::string devicePath() {
        char buf[512];
        if (!out_ || !fgets(buf, sizeof buf, out_)) return "";
        std::string s = buf;
        if (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    }

  private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
};

int64_t msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 t0)
        .count();
}

// Exposes the link's frame buffer and its input queue for the purge test.
class ExposedType1Driver : public Type1Driver {
  public:
    using Type1Driver::Type1Driver;
    void setReadFrame(uint16_t address, uint8_t n) {
        uint8_t* f = sendBuffer();
        f[0] = 0x05;
        f[1] = static_cast<uint8_t>(address >> 8);
        f[2] = static_cast<uint8_t>(address);
        f[3] = n;
    }
    // Bytes arrived and not yet read (the POSIX port's id is its descriptor).
    int pending() {
        int n = -1;
        return ::ioctl(port().id(), FIONREAD, &n) == 0 ? n : -1;
    }
    // Waits until at least `count` bytes are waiting; false after `limitMs`.
    bool waitForPending(int count, int limitMs) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (pending() < count) {
            if (std::chrono::steady_clock::now() > until) return false;
            usleep(10 * 1000);
        }
        return true;
    }
};

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

}  // namespace

TEST(Type1Pty, PurgeDropsStaleBytesAndKeepsTheLateReply) {
    SimTool tool({"--type", "1", "--dives", "0", "--seed", "3"});
    const std::string path = tool.devicePath();
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
    sim::BuildOptions o;
    o.type = replay::InterfaceType::Type1;
    o.dives = 0;
    o.seed = 3;
    const auto memory = sim::buildComputer(o).image.memory;
    const auto block = [&](uint16_t address) {
        return std::vector<uint8_t>(memory.begin() + address, memory.begin() + address + 8);
    };
    // Different blocks: each answer tells which frame it belongs to.
    ASSERT_NE(block(0x100), block(0x200));

    CancelFlag cancel{false};
    ExposedType1Driver link(path.c_str(), &cancel);

    // A first frame whose answer is left unread on the line.
    link.setReadFrame(0x100, 8);
    auto t0 = std::chrono::steady_clock::now();
    link.talk(4);
    EXPECT_GE(msSince(t0), 216);  // RTS settling and the pause before the purge
    // Its answer (350 ms after the frame, 13 bytes) is waiting now.
    ASSERT_TRUE(link.waitForPending(13, 10000)) << link.pending();

    // The next exchange purges it and reads its own answer, which comes
    // 350 ms after the frame, after the purge at 200 ms.
    link.setReadFrame(0x200, 8);
    t0 = std::chrono::steady_clock::now();
    link.communicate(4, 13);
    EXPECT_GE(msSince(t0), 350);
    const uint8_t* r = link.receiveBuffer();
    EXPECT_EQ(r[1], 0x02);
    EXPECT_EQ(r[2], 0x00);
    EXPECT_EQ(std::vector<uint8_t>(r + 4, r + 12), block(0x200));
    // Nothing of either answer is left over.
    EXPECT_EQ(link.pending(), 0);
}

TEST(Type1Pty, WholeDownloadAtTheRealPace) {
    // Seed 130 gives short dives: each costs its fixed pauses and little more.
    SimTool tool({"--type", "1", "--dives", "2", "--seed", "130"});
    const std::string path = tool.devicePath();
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
    sim::BuildOptions o;
    o.type = replay::InterfaceType::Type1;
    o.dives = 2;
    o.seed = 130;
    const sim::BuiltComputer built = sim::buildComputer(o);

    CancelFlag cancel{false};
    Type1Driver driver(path.c_str(), &cancel);
    driver.open(1);  // the first probe is answered

    const auto t0 = std::chrono::steady_clock::now();
    driver.readHeader();
    // Three reads of one block each: 500 ms pause, then the answer 366 ms on.
    EXPECT_GE(msSince(t0), 3 * 866);
    const uint8_t* h = driver.header();
    EXPECT_EQ(h[0x26] | (h[0x27] << 8), built.meant.totalDives);
    EXPECT_EQ(h[0x22] | (h[0x23] << 8), built.meant.maxDepth);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 0x30)), built.meant.personalText);

    int fetched = 0;
    while (driver.nextDive()) ++fetched;
    EXPECT_EQ(fetched, 2);
    ASSERT_EQ(driver.dives().size(), 2u);
    size_t i = 0;
    for (const DivePtr& d : driver.dives()) {
        const sim::MeantDive& m = built.meant.dives[i++];
        EXPECT_EQ(d->profileLength, m.profile.size());
        EXPECT_EQ(std::vector<uint8_t>(d->profile.get(), d->profile.get() + d->profileLength),
                  m.profile);
        EXPECT_EQ(d->minute, m.minute);
        EXPECT_EQ(d->cnsOtu, m.cnsOtu);
    }

    const DocumentStamp stamp{std::nullopt, platform::localTime()};
    XmlDocument legacy;
    writeDocument(driver.diveSet(), OutputChoice{}, stamp, legacy);
    EXPECT_EQ(countOf(legacy.outputBuffer(), "<DiveData >"), 2u);
    XmlDocument dcdml;
    writeDocument(driver.diveSet(), OutputChoice{Layout::Dcdml, UnitSystem::Metric}, stamp, dcdml);
    EXPECT_EQ(countOf(dcdml.outputBuffer(), "<dive "), 2u);
    EXPECT_EQ(dcdmlSchemaErrors(dcdml.outputBuffer()), "");
}

}  // namespace talvek
