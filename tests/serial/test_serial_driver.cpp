#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "Link.h"
#include "Ports.h"
#include "link/SPI.h"

using kestrin::Ops;
using namespace kestrin::serial;

TEST(SerialPorts, NamesAreTheDevicesOwnAndNaturallyOrdered) {
    struct Case {
        std::vector<std::string> paths;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {{"/dev/ttyUSB10", "/dev/ttyUSB2", "/dev/ttyACM0", "/dev/ttyS0"}, {"ttyACM0", "ttyS0", "ttyUSB2", "ttyUSB10"}},
        {{"/dev/pts/4", "/dev/ttyUSB0", "/dev/pts/4"}, {"pts/4", "ttyUSB0"}},
        {{"/tmp/bench/veltro", "/dev/ttyUSB01", "/dev/ttyUSB1"}, {"/tmp/bench/veltro", "ttyUSB01", "ttyUSB1"}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> names;
        for (const auto& e : MakePortList(c.paths)) names.push_back(e.name);
        EXPECT_EQ(names, c.names);
    }
    EXPECT_EQ(SplitPortSetting(" /dev/ttyUSB0, /dev/pts/3::/dev/ttyACM1,"),
              (std::vector<std::string>{"/dev/ttyUSB0", "/dev/pts/3", "/dev/ttyACM1"}));
}

namespace {

class SerialDriver : public ::testing::Test {
protected:
    void Bind(const std::string& ports) {
        setenv("VELTRO_PORTS", ports.c_str(), 1);
        ASSERT_TRUE(kestrin::LoadAdapterDriverFrom(KESTRIN_SERIAL_DRIVER));
    }
    void TearDown() override {
        Ops.SetReady(0);
        Ops.Disconnect();
        unsetenv("VELTRO_PORTS");
    }
};

}  // namespace

TEST_F(SerialDriver, ListsTheConfiguredPortsAndBindsCheckSerialPorts) {
    Bind("/dev/ttyUSB3,/dev/ttyACM0");
    EXPECT_EQ(Ops.GetVersion(), 17);
    EXPECT_EQ(kestrin::PortNames, (std::vector<std::string>{"ttyACM0", "ttyUSB3"}));
    EXPECT_STREQ(Ops.GetPortName(2), "");
    EXPECT_STREQ(Ops.GetPortName(-1), "");
    setenv("VELTRO_PORTS", "/dev/ttyUSB9", 1);
    Ops.CheckSerialPorts(0);
    EXPECT_STREQ(Ops.GetPortName(0), "ttyUSB9");
}

TEST_F(SerialDriver, PortsThatCannotBeOpenedGiveResultOne) {
    Bind("/nonexistent/ttyVeltro,/dev/null");
    EXPECT_EQ(Ops.Connect(0, 1), VELTRO_CONNECT_PORT_FAILED);  // no such device
    EXPECT_EQ(Ops.Connect(1, 1), VELTRO_CONNECT_PORT_FAILED);  // not a serial port
    EXPECT_EQ(Ops.Connect(2, 1), VELTRO_CONNECT_PORT_FAILED);  // no such index
    EXPECT_EQ(Ops.Connect(-1, 1), VELTRO_CONNECT_PORT_FAILED);
}

TEST_F(SerialDriver, MissingPermissionIsExplained) {
    if (geteuid() == 0) GTEST_SKIP() << "root may open any port";
    char dir[] = "/tmp/veltro-perm-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string port = std::string(dir) + "/ttyLocked";
    const int fd = open(port.c_str(), O_CREAT | O_WRONLY, 0000);
    ASSERT_GE(fd, 0);
    close(fd);
    Bind(port);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Ops.Connect(0, 1), VELTRO_CONNECT_PORT_FAILED);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("dialout"), std::string::npos) << err;
    EXPECT_NE(err.find("60-veltro.rules"), std::string::npos) << err;
    unlink(port.c_str());
    rmdir(dir);
}

TEST_F(SerialDriver, ASilentPortGivesResultTwoAndCallsStayHarmless) {
    int master = -1, slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    Bind(name);
    EXPECT_EQ(Ops.Connect(0, 1), VELTRO_CONNECT_NO_ADAPTER);
    EXPECT_EQ(Ops.GetFirmware(), 0);
    // Without an adapter nothing answers like a chip would.
    std::array<uint8_t, 4> send{0xAC, 0x53, 0x00, 0x00};
    for (int attempt = 0; attempt < 64; ++attempt) {
        std::array<uint8_t, 4> receive{};
        Ops.SPIWR(send.data(), receive.data(), 4);
        EXPECT_NE(receive[2], 0x53);
        EXPECT_NE(receive[3], 0x69);
    }
    // Queued transfers too: refused, and the collect reports the loss.
    ASSERT_TRUE(kestrin::Extensions.Pipelined());
    std::vector<uint8_t> many(300, 0xAC), answers(300, 0x53);
    EXPECT_LT(kestrin::Extensions.SPIWRQueue(many.data(), answers.data(), 300), 0);
    EXPECT_LT(kestrin::Extensions.SPIWRCollect(), 0);
    for (size_t i = 2; i < answers.size(); i += 4) EXPECT_NE(answers[i], 0x53) << i;
    Ops.SPIW(send.data(), 4);
    Ops.Delay(10'000'000);
    Ops.SetEnables(1, 1);
    close(master);
    close(slave);
}

TEST_F(SerialDriver, APortInUseByAnotherConnectionIsRefused) {
    int master = -1, slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    OpenError first, second;
    auto link = OpenSerialLink(name, first);
    ASSERT_NE(link, nullptr) << first.message;
    EXPECT_EQ(OpenSerialLink(name, second), nullptr);
    EXPECT_EQ(second.code, EBUSY);
    link.reset();
    EXPECT_NE(OpenSerialLink(name, second), nullptr) << "the port stays claimed after its link closed";
    close(master);
    close(slave);
}
