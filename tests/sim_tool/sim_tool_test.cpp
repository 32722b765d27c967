// The talvek-sim executable: options, the device path on its first output
// line, serving, the link, saving the image on exit, stopping on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/posix/pty.h"
#include "replay/computer_image.h"
#include "sim/dive_builder.h"

namespace talvek {

namespace {

using Bytes = std::vector<uint8_t>;

// Runs the tool with its standard output on a pipe.
class Tool {
  public:
    explicit Tool(std::vector<std::string> args) {
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
    ~Tool() {
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            wait();
        }
        if (out_) fclose(out_);
    }
    std::string line() {
        char buf[512];
        if (!out_ || !fgets(buf, sizeof buf, out_)) return "";
        std::string s = buf;
        if (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    }
    std::string rest() {
        std::string s;
        char buf[512];
        while (out_ && fgets(buf, sizeof buf, out_)) s += buf;
        return s;
    }
    int wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        waited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void signal(int sig) { kill(pid_, sig); }

  private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
    bool waited_ = false;
};

std::string temp(const char* name) {
    return ::testing::TempDir() + "talvek_sim_tool_" + std::to_string(getpid()) + "_" + name;
}

Bytes withSum(Bytes b) {
    uint8_t x = 0;
    for (uint8_t c : b) x ^= c;
    b.push_back(x);
    return b;
}

}  // namespace

TEST(TalvekSimTool, HelpAndBadOptions) {
    Tool help({"--help"});
    const std::string text = help.rest();
    EXPECT_EQ(help.wait(), 0);
    for (const char* opt :
         {"--type", "--dives", "--seed", "--image", "--save-image", "--link", "--pace", "--verbose",
          "--add-dives", "--corrupt-every", "--stop-after", "--hang-up-after", "--no-echo"})
        EXPECT_NE(text.find(opt), std::string::npos) << opt;
    Tool none({});
    EXPECT_EQ(none.wait(), 2);
    Tool badType({"--type", "4"});
    EXPECT_EQ(badType.wait(), 2);
    Tool unknown({"--type", "2", "--frobnicate"});
    EXPECT_EQ(unknown.wait(), 2);
}

TEST(TalvekSimTool, ServesOnItsDeviceAndLinkUntilSigterm) {
    const std::string link = temp("dc"), image = temp("saved.img");
    Tool tool(
        {"--type", "3", "--dives", "3", "--seed", "4", "--link", link, "--save-image", image});
    const std::string path = tool.line();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), path);

    sim::BuildOptions o;
    o.type = replay::InterfaceType::Type3;
    o.dives = 3;
    o.seed = 4;
    const auto expected = sim::buildComputer(o).image;
    EXPECT_EQ(replay::loadImage(image), expected);  // saved when serving starts
    {
        int error = 0;
        auto host = platform::RawTerminal::open(link, error);
        ASSERT_TRUE(host) << error;
        const Bytes id = {0x0F, 0x00, 0x00, 0x0F};
        ASSERT_EQ(host->write(id.data(), id.size()), 4);
        Bytes r(8);
        ASSERT_EQ(host->read(r.data(), r.size(), 2000), 8);
        EXPECT_TRUE(std::equal(expected.identity.begin(), expected.identity.end(), r.begin() + 3));
        const Bytes write = withSum({0x06, 0x00, 0x04, 0x01, 0x00, 0x01, 0x5A});
        ASSERT_EQ(host->write(write.data(), write.size()), 8);
        ASSERT_EQ(host->read(r.data(), 7, 2000), 7);
    }
    tool.signal(SIGTERM);
    EXPECT_EQ(tool.wait(), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);    // the link is gone
    const auto saved = replay::loadImage(image);  // saved again on exit, with the write
    EXPECT_EQ(saved.memory[0x100], 0x5A);
    std::remove(image.c_str());

    // The saved image serves again; its type must match a given --type.
    replay::saveImage(expected, image);
    Tool wrongType({"--image", image, "--type", "2"});
    EXPECT_EQ(wrongType.wait(), 2);
    Tool again({"--image", image});
    EXPECT_EQ(again.line().rfind("/dev/pts/", 0), 0u);
    again.signal(SIGINT);
    EXPECT_EQ(again.wait(), 0);
    std::remove(image.c_str());
}

// --add-dives logs the dives before serving; --save-image keeps them.
TEST(TalvekSimTool, AddDivesBeforeServing) {
    const std::string before = temp("before.img"), after = temp("after.img");
    sim::BuildOptions o;
    o.type = replay::InterfaceType::Type2;
    o.dives = 5;
    o.seed = 6;
    replay::ComputerImage image = sim::buildComputer(o).image;
    replay::saveImage(image, before);
    Tool tool({"--image", before, "--add-dives", "4", "--seed", "3", "--save-image", after});
    EXPECT_EQ(tool.line().rfind("/dev/pts/", 0), 0u);
    tool.signal(SIGTERM);
    EXPECT_EQ(tool.wait(), 0);
    sim::addDives(image, 4, 3);
    EXPECT_EQ(replay::loadImage(after), image);
    EXPECT_EQ(replay::loadImage(after).memory[0x192], 9);
    std::remove(before.c_str());
    std::remove(after.c_str());

    Tool negative({"--type", "2", "--add-dives", "-1"});
    EXPECT_EQ(negative.wait(), 2);
}

}  // namespace talvek
