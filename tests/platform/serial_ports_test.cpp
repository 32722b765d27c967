// The port list and the advice for a port that would not open, read from a
// fake sysfs and /dev laid out as Linux lays them out.
#include "platform/serial_ports.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "dc/base/errors.h"
#include "dc/paged/type2_link.h"
#include "support/scratch_dir.h"
#include "support/serial_test_support.h"
#include "support/node_kinds.h"

namespace talvek {

namespace {

namespace fs = std::filesystem;

// A machine with a USB serial cable (ttyUSB0, with its stable by-id name),
// a built-in port (ttyS0), a reserved slot with no hardware (ttyS1), a
// virtual console (tty1) and a USB modem whose node is missing (ttyACM0).
class FakeMachine : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string usb = "sys/devices/pci0000:00/usb1/1-1";
        File(usb + "/idVendor", "0403\n");
        File(usb + "/idProduct", "6001\n");
        File(usb + "/manufacturer", "Acme Cables\n");
        File(usb + "/product", "USB Serial Cable\n");
        File(usb + "/serial", "A1B2C3\n");
        Dir(usb + "/1-1:1.0/ttyUSB0");
        Dir(usb + "/1-1:1.2/ttyACM0");
        Dir("sys/bus/platform/drivers/serial8250");
        Link("sys/devices/platform/serial8250/driver", "../../../bus/platform/drivers/serial8250");

        Link("sys/class/tty/ttyUSB0/device",
             "../../../devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0");
        Link("sys/class/tty/ttyACM0/device",
             "../../../devices/pci0000:00/usb1/1-1/1-1:1.2/ttyACM0");
        Link("sys/class/tty/ttyS0/device", "../../../devices/platform/serial8250");
        File("sys/class/tty/ttyS0/type", "4\n");
        Link("sys/class/tty/ttyS1/device", "../../../devices/platform/serial8250");
        File("sys/class/tty/ttyS1/type", "0\n");
        Dir("sys/class/tty/tty1");

        for (const char* node : {"dev/ttyUSB0", "dev/ttyS0", "dev/ttyS1", "dev/tty1"}) File(node, "");
        Link("dev/serial/by-id/usb-Acme_Cables_USB_Serial_Cable_A1B2C3-if00-port0",
             "../../ttyUSB0");
        roots_.sys = dir_.file("sys");
        roots_.dev = dir_.file("dev");
    }

    void Dir(const std::string& path) { fs::create_directories(dir_.file(path)); }
    void File(const std::string& path, const std::string& text) {
        Dir(fs::path(path).parent_path().string());
        ScratchDir::write(dir_.file(path), text);
    }
    void Link(const std::string& path, const std::string& target) {
        Dir(fs::path(path).parent_path().string());
        fs::create_directory_symlink(target, dir_.file(path));
    }

    ScratchDir dir_;
    platform::SystemRoots roots_;
};

TEST_F(FakeMachine, ListsThePortsWithHardwareAndSaysWhatTheyAre) {
    const auto ports = platform::listSerialPorts(roots_);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].name, roots_.dev + "/ttyS0");
    EXPECT_EQ(ports[0].description, "serial port (serial8250)");
    EXPECT_TRUE(ports[0].aliases.empty());
    EXPECT_EQ(ports[1].name, roots_.dev + "/ttyUSB0");
    EXPECT_EQ(ports[1].description, "USB: Acme Cables USB Serial Cable (0403:6001), serial A1B2C3");
    ASSERT_EQ(ports[1].aliases.size(), 1u);
    EXPECT_EQ(ports[1].aliases[0],
              roots_.dev + "/serial/by-id/usb-Acme_Cables_USB_Serial_Cable_A1B2C3-if00-port0");

    EXPECT_EQ(platform::serialPortListText(ports),
              roots_.dev + "/ttyS0  serial port (serial8250)\n" + roots_.dev +
                  "/ttyUSB0  USB: Acme Cables USB Serial Cable (0403:6001), serial A1B2C3\n"
                  "    also " +
                  ports[1].aliases[0] + "\n");
}

TEST_F(FakeMachine, AMissingPortNamesThePortsThatExist) {
    platform::PortError missing{platform::PortFault::NotFound, 2, "No such file or directory"};
    EXPECT_EQ(platform::portOpenAdvice("/dev/ttyUSB7", missing, roots_),
              "There is no /dev/ttyUSB7; this machine's serial ports are " + roots_.dev +
                  "/ttyS0, " + roots_.dev + "/ttyUSB0 (-list says what they are).");

    platform::SystemRoots empty{dir_.file("none/sys"), dir_.file("none/dev")};
    EXPECT_EQ(platform::listSerialPorts(empty).size(), 0u);
    EXPECT_EQ(platform::serialPortListText({}), "No serial ports found.\n");
    EXPECT_EQ(platform::portOpenAdvice("/dev/ttyUSB7", missing, empty),
              "There is no /dev/ttyUSB7 and this machine has no serial ports: is the cable "
              "plugged in?");
    // A busy port or a failing line has nothing the user could change.
    EXPECT_EQ(platform::portOpenAdvice("/dev/ttyS0", {platform::PortFault::Busy, 16, "busy"}, roots_),
              "");
}

TEST_F(FakeMachine, APortOfAGroupTheUserIsNotInNamesTheCommand) {
    const std::string port = dir_.file("dev/ttyS0");
    platform::PortError denied{platform::PortFault::AccessDenied, 13, "Permission denied"};
    const struct group* dialout = getgrnam("dialout");
    if (dialout && chown(port.c_str(), static_cast<uid_t>(-1), dialout->gr_gid) == 0) {
        EXPECT_EQ(platform::portOpenAdvice(port, denied, roots_),
                  "Add yourself to the group dialout of " + port +
                      ": sudo usermod -aG dialout $USER, then log out and in again.");
    }
    // The group of the device file is named, whichever it is.
    struct stat st {};
    ASSERT_EQ(stat(port.c_str(), &st), 0);
    const std::string advice = platform::portOpenAdvice(port, denied, roots_);
    if (st.st_gid == 0) {
        EXPECT_EQ(advice, "Only the administrator may use " + port + ".");
    } else {
        const struct group* g = getgrgid(st.st_gid);
        ASSERT_NE(g, nullptr);
        EXPECT_NE(advice.find(std::string("sudo usermod -aG ") + g->gr_name + " $USER"),
                  std::string::npos)
            << advice;
    }
}

// "There is no <name>" is said of a name that is not there, never of one
// that is there but is no port (a socket gives ENXIO, as does a terminal
// with no device behind it): both are still "Comm Port Not Found", 12.
TEST(SerialLinkAdvice, OnlyAMissingNameIsToldItIsNotThere) {
    ScratchDir dir;
    ASSERT_TRUE(special_files::make(special_files::Kind::Socket, dir.file("socket")));
    const struct {
        std::string name;
        bool missing;
    } rows[] = {
        {dir.file("socket"), false}, {dir.file("none"), true}, {dir.file("no/ttyS0"), true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        try {
            Type2Link link(row.name.c_str(), nullptr);
            ADD_FAILURE() << "opened";
        } catch (const CommError& e) {
            EXPECT_EQ(e.code(), 12);
            EXPECT_EQ(e.advice().rfind("There is no " + row.name, 0) == 0, row.missing)
                << e.advice();
        }
    }
}

// The link carries the advice with its error and traces it; the status text
// and code stay those of a port that is not there.
TEST(SerialLinkAdvice, AMissingPortSaysWhatToDo) {
    serialtest::TraceCapture trace;
    try {
        Type2Link link("/dev/talvek-no-such-port", nullptr);
        FAIL() << "a missing port opened";
    } catch (const CommError& e) {
        EXPECT_EQ(e.code(), 12);
        EXPECT_STREQ(e.what(), "Comm Port Not Found");
        EXPECT_EQ(e.advice().rfind("There is no /dev/talvek-no-such-port", 0), 0u) << e.advice();
        EXPECT_EQ(trace.matching("Device_Comm::Create() " + e.advice()).size(), 1u);
    }
}

}  // namespace

}  // namespace talvek
