#include "SimAdapter.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kestrin::sim {

namespace {

using Clock = std::chrono::steady_clock;

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

constexpr int kSlots = 2;

}  // namespace

SimAdapter::SimAdapter(const std::string& target, const std::string& simulator, const std::string& firmware) {
    // A simulator that died must not take this process with it when we write to it.
    signal(SIGPIPE, SIG_IGN);
    AcquireSlot();
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> args = {simulator, "--firmware", firmware, "--target", target};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, simulator.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
    if (rc != 0) {
        pid_ = -1;
        CloseFd(toChild_);
        CloseFd(fromChild_);
        ReleaseSlot();
        throw std::runtime_error("cannot start " + simulator);
    }
    const std::string first = ReadLine(20000);
    if (first.rfind("pty ", 0) != 0) {
        Kill();
        throw std::runtime_error("simulator did not start: '" + first + "'");
    }
    pty_ = first.substr(4);
}

SimAdapter::~SimAdapter() {
    Stop();
    ReleaseSlot();
}

void SimAdapter::AcquireSlot() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    for (;;) {
        for (int i = 0; i < kSlots; ++i) {
            const std::string path = dir + "/kestrin-veltro-sim-" + std::to_string(i) + ".lock";
            const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            if (fd < 0) continue;
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                slot_ = fd;
                return;
            }
            close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void SimAdapter::ReleaseSlot() { CloseFd(slot_); }

std::string SimAdapter::ReadLine(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t nl = buffered_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffered_.substr(0, nl);
            buffered_.erase(0, nl + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || fromChild_ < 0) return {};
        pollfd p{fromChild_, POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return {};
        char buf[4096];
        const ssize_t n = read(fromChild_, buf, sizeof buf);
        if (n <= 0) return {};
        buffered_.append(buf, static_cast<size_t>(n));
    }
}

std::string SimAdapter::Command(const std::string& line, int timeoutMs) {
    if (pid_ <= 0 || toChild_ < 0) return {};
    const std::string msg = line + "\n";
    if (write(toChild_, msg.data(), msg.size()) != static_cast<ssize_t>(msg.size())) return {};
    return ReadLine(timeoutMs);
}

long long SimAdapter::TimeMicros() {
    const std::string r = Command("time");
    if (r.rfind("ok ", 0) != 0) return -1;
    return std::stoll(r.substr(3));
}

void SimAdapter::Reap(int graceMs) {
    if (pid_ <= 0) return;
    const auto deadline = Clock::now() + std::chrono::milliseconds(graceMs);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno == ECHILD)) break;
        if (Clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
}

void SimAdapter::Stop() {
    if (pid_ <= 0) return;
    CloseFd(toChild_);  // end of input ends the simulator
    kill(pid_, SIGTERM);
    Reap(5000);
    CloseFd(fromChild_);
    ReleaseSlot();
}

void SimAdapter::Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    Reap(5000);
    CloseFd(toChild_);
    CloseFd(fromChild_);
    ReleaseSlot();
}

bool ParseHexReply(const std::string& reply, std::vector<unsigned char>& bytes) {
    bytes.clear();
    std::istringstream in(reply);
    std::string word;
    if (!(in >> word) || word != "ok") return false;
    while (in >> word) {
        if (word.size() != 2) return false;
        char* end = nullptr;
        const unsigned long v = std::strtoul(word.c_str(), &end, 16);
        if (end != word.c_str() + 2) return false;
        bytes.push_back(static_cast<unsigned char>(v));
    }
    return true;
}

std::string HexBytes(const unsigned char* data, size_t n) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", data[i]);
        s += buf;
    }
    return s;
}

}  // namespace kestrin::sim
