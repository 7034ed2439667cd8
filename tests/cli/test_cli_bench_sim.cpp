// kestrin-cli through the serial driver, the pty and the adapter firmware in
// the simulator, into a simulated chip.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "CliRun.h"
#include "support/ScratchDir.h"
#include "SimAdapter.h"

namespace kestrin::test {
namespace {

namespace fs = std::filesystem;

class CliBenchSim : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = scratch_.Path();
    }
    void TearDown() override {
        sim_.reset();
    }
    TRun Run(const std::vector<std::string>& args) {
        return WaitCli(StartCli(args,
                                {"XDG_CONFIG_HOME=" + home_.string(), "HOME=" + home_.string(),
                                 "VELTRO_PORTS=" + sim_->PtyPath(),
                                 std::string("LD_LIBRARY_PATH=") + KESTRIN_SERIAL_DRIVER_DIR},
                                home_, ""),
                       home_);
    }
    ScratchDir scratch_{"kestrin-cli-sim"};
    fs::path home_;
    std::unique_ptr<sim::SimAdapter> sim_;
};

TEST_F(CliBenchSim, WritesVerifiesAndReadsAnAT89S8253) {
    sim_ = std::make_unique<sim::SimAdapter>("AT89S8253");
    std::vector<uint8_t> image(700);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + 1);
    const fs::path file = home_ / "image.bin";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 700);

    const TRun write = Run({"write", file.string(), "--chip", "AT89S8253", "--port", sim_->PtyPath(), "--verify", "--json"});
    ASSERT_EQ(write.exitCode, 0) << write.err;
    EXPECT_EQ(write.Json()["bytes"], 700);
    EXPECT_EQ(Run({"verify", file.string(), "--chip", "AT89S8253"}).exitCode, 0);
    const TRun read = Run({"read", "--chip", "AT89S8253", "--size", "700", "-o", "-"});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(std::vector<uint8_t>(read.out.begin(), read.out.end()), image);
    const TRun detect = Run({"detect", "--chip", "AT89S8253"});
    EXPECT_EQ(detect.exitCode, 0) << detect.err;
    EXPECT_NE(detect.out.find("AT89S8253"), std::string::npos) << detect.out;
}

}  // namespace
}  // namespace kestrin::test
