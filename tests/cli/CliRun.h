// kestrin-cli started as a process the way a script starts it: arguments,
// environment, standard input from a file, both output streams into files.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kestrin::test {

inline std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct TRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    nlohmann::json Json() const {
        try {
            return nlohmann::json::parse(out);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "not one JSON object: " << e.what() << "\n" << out;
            return nlohmann::json::object();
        }
    }
};

// Starts kestrin-cli with env replacing the same variables of this process's
// environment; its output goes to dir/stdout and dir/stderr.
inline pid_t StartCli(const std::vector<std::string>& args, const std::vector<std::string>& env,
                      const std::filesystem::path& dir, const std::string& stdinFile) {
    std::vector<std::string> all = {KESTRIN_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string key = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& given : env) replaced |= given.rfind(key, 0) == 0;
        if (!replaced) environment.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string in = stdinFile.empty() ? "/dev/null" : stdinFile;
    const std::string out = (dir / "stdout").string();
    const std::string err = (dir / "stderr").string();
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int started = posix_spawn(&pid, KESTRIN_CLI, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(started, 0);
    return started == 0 ? pid : -1;
}

// Waits for the end; a run still there after two minutes is killed and fails.
inline TRun WaitCli(pid_t pid, const std::filesystem::path& dir) {
    TRun run;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "kestrin-cli did not end";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.exitCode = pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadText(dir / "stdout");
    run.err = ReadText(dir / "stderr");
    return run;
}

}  // namespace kestrin::test
