#include "childrun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::string ShellQuoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string ReadWholeFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int RunShell(const std::string& command)
{
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

fs::path FreshTestDir(const std::string& prefix)
{
    // In a suite's set-up there is no test yet: the folder is the suite's.
    const ::testing::UnitTest* unit = ::testing::UnitTest::GetInstance();
    const char* owner = unit->current_test_info() ? unit->current_test_info()->name()
                                                  : unit->current_test_suite()->name();
    const fs::path dir =
        fs::path(::testing::TempDir()) / (prefix + "_" + std::to_string(::getpid()) + "_" + owner);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

Outcome RunTavrel(const fs::path& dir, const std::vector<std::string>& args,
                  const std::string& environment)
{
    std::string command = "cd ";
    command.append(ShellQuoted(dir.string()))
        .append(" && QT_QPA_PLATFORM=offscreen ")
        .append(environment)
        .append(" ")
        .append(ShellQuoted(TAVREL_BINARY));
    for (const std::string& arg : args)
        command.append(" ").append(ShellQuoted(arg));
    command.append(" >").append(ShellQuoted((dir / "stdout.txt").string()));
    command.append(" 2>").append(ShellQuoted((dir / "stderr.txt").string()));
    Outcome outcome;
    outcome.status = RunShell(command);
    outcome.out = ReadWholeFile(dir / "stdout.txt");
    outcome.err = ReadWholeFile(dir / "stderr.txt");
    return outcome;
}

pid_t StartTavrel(const fs::path& dir, const std::vector<std::string>& args)
{
    std::vector<std::string> strings{TAVREL_BINARY};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const std::string err = (dir / "stderr.txt").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int nullFd = ::open("/dev/null", O_RDWR);
        if (errFd < 0 || nullFd < 0 || ::chdir(dir.c_str()) != 0)
            ::_exit(127);
        ::dup2(nullFd, 0);
        ::dup2(nullFd, 1);
        ::dup2(errFd, 2);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}
