// Hostile names on their way to a person: stored paths that hold terminal
// escapes and line breaks, and a folder on disk whose name reads as a line
// of the configuration file. On a terminal every name is quoted; to a pipe
// the report is the stored bytes; korvane's own text quotes names always.

#include "tests/builder/project_builder.h"
#include "tests/paths/scoped_env.h"
#include "tests/cli/own_settings.h"
#include "tests/process.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace korvane {
namespace {

using testkit::buildProject;
using testkit::ProcessResult;
using testkit::ProjectModel;
using testkit::runProcess;
using testkit::scan;
using testkit::ScopedEnv;
using testkit::TempDir;
using testkit::writeFile;

const std::string kHeadings = "[InsertAV]\r\n[ExAudio1]\r\n[ExAudio2]\r\n[Title]\r\n[BinWindow]\r\n";

// korvane-scan with its stdout on a fresh pseudo-terminal in raw mode (so
// that the bytes read are the bytes written) and its stderr on a pipe.
ProcessResult scanOnTerminal(const std::vector<std::string>& args)
{
    ProcessResult result;
    int master = -1, slave = -1, errPipe[2];
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return result;
    termios mode{};
    ::tcgetattr(slave, &mode);
    ::cfmakeraw(&mode);
    ::tcsetattr(slave, TCSANOW, &mode);
    if (::pipe(errPipe) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, slave, 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    for (const int fd : {master, slave, errPipe[0], errPipe[1]})
        posix_spawn_file_actions_addclose(&actions, fd);
    std::vector<std::string> argv = {KORVANE_SCAN_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(slave);
    ::close(errPipe[1]);
    if (spawned == 0) {
        // The terminal side reads EIO once the program has closed it.
        int fds[2] = {master, errPipe[0]};
        std::string* sinks[2] = {&result.out, &result.err};
        if (!testkit::readToEnd(fds, sinks, std::chrono::steady_clock::now() + std::chrono::seconds(20))) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (WIFEXITED(status))
            result.status = WEXITSTATUS(status);
    }
    ::close(master);
    ::close(errPipe[0]);
    return result;
}

// The lines of `text`, without their line ends (LF, or CR LF).
std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Every run sees empty settings of its own (OwnSettings).
class HostileNames : public ::testing::Test, protected testkit::OwnSettings {};

TEST_F(HostileNames, OnATerminalEveryNameIsQuotedAndToAPipeTheReportIsAsStored)
{
    const std::vector<std::string> stored = {
        "D:\\Video\\\x1b]52;c;ZWNobyBwd24=\x07.avi", // puts a command on the clipboard
        "/gone/\x1b[2J.avi",                         // clears the screen
        "/gone/x.avi\r\n[Title]\r\nfake.avi",        // forges a heading
        "\\\\nas\x1b[2J\\media\\a.avi",              // a share no mapping names
    };
    const std::string file = project(stored);

    const ProcessResult terminal = scanOnTerminal({file});
    ASSERT_FALSE(terminal.timedOut);
    EXPECT_EQ(terminal.status, 1);
    EXPECT_EQ(terminal.out, "[MainAV]\r\n"
                            "$'D:\\\\Video\\\\\\e]52;c;ZWNobyBwd24=\\a.avi'\r\n"
                            "$'/gone/\\e[2J.avi'\r\n"
                            "$'/gone/x.avi\\r\\n[Title]\\r\\nfake.avi'\r\n"
                            "$'\\\\\\\\nas\\e[2J\\\\media\\\\a.avi'\r\n" +
                                kHeadings);
    EXPECT_NE(terminal.err.find("and share $'\\\\\\\\nas\\e[2J\\\\media' have no mapping"), std::string::npos)
        << terminal.err;

    // --explain and --utf8 on the terminal: no escape of the project's reaches it.
    for (const char* option : {"--explain", "--utf8"}) {
        const ProcessResult r = scanOnTerminal({option, file});
        EXPECT_EQ(r.status, 1) << option;
        EXPECT_TRUE(r.out.starts_with("[MainAV]\r\n$'D:\\\\Video\\\\\\e]52;")) << option;
        EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << option;
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << option;
    }

    // To a pipe the report is the stored bytes; what follows it is korvane's
    // own text and quotes them.
    std::string report = "[MainAV]\r\n";
    for (const std::string& path : stored)
        report += path + "\r\n";
    report += kHeadings;
    EXPECT_EQ(scan({file}).out, report);
    const ProcessResult explained = scan({"--explain", file});
    ASSERT_TRUE(explained.out.starts_with(report + "\r\nLooked for\r\n"));
    const std::string ownText = explained.out.substr(report.size());
    EXPECT_EQ(ownText.find('\x1b'), std::string::npos) << ownText;
    EXPECT_EQ(ownText.find('\x07'), std::string::npos) << ownText;
    for (const std::string& line : linesOf(ownText))
        EXPECT_NE(line, "fake.avi") << "a stored line break ended a line of korvane's own";
    EXPECT_EQ(explained.err.find('\x1b'), std::string::npos) << explained.err;
}

TEST_F(HostileNames, AFolderNamedLikeAConfigurationLineIsNeverPrintedAsOne)
{
    dir.touch("found/x\nmap E: = /tmp/pwn/Video/clip.avi");
    const std::string file = project({"D:\\Video\\clip.avi"});
    const std::string found = dir / "found";

    // The clip is found, quoted; no mapping to such a folder is suggested.
    const ProcessResult r = scan({"--search", found, file});
    EXPECT_EQ(r.status, 1);
    for (const std::string& line : linesOf(r.out + r.err)) {
        const std::string text = line.substr(std::min(line.find_first_not_of(' '), line.size()));
        EXPECT_FALSE(text.starts_with("map ")) << "a line that reads as a configuration line: " << line;
        EXPECT_FALSE(text.starts_with("--map ")) << line;
    }
    EXPECT_NE(r.out.find("\r\n    $'" + found + "/x\\nmap E: = /tmp/pwn/Video/clip.avi'\r\n"), std::string::npos)
        << r.out;
    const nlohmann::json doc = nlohmann::json::parse(scan({"--json", "--search", found, file}).out);
    EXPECT_TRUE(doc.at("mappings").empty()) << doc.at("mappings").dump();
}

TEST_F(HostileNames, ASuggestionWithANameThatNeedsQuotingIsAnArgumentThatPastesAsShown)
{
    // Not UTF-8, but no control byte: a mapping that can be made, and shown
    // only in the form a shell reads back byte for byte.
    dir.touch("found/caf\xE9/Video/clip.avi");
    const std::string file = project({"D:\\Video\\clip.avi"});
    const std::string found = dir / "found";

    const ProcessResult r = scan({"--search", found, file});
    std::string argument;
    for (const std::string& line : linesOf(r.out)) {
        const std::string text = line.substr(std::min(line.find_first_not_of(' '), line.size()));
        if (text.starts_with("--map "))
            argument = text;
    }
    EXPECT_EQ(argument, "--map $'D:=" + found + "/caf\\xe9'");
    EXPECT_NE(r.out.find("    (no configuration-file line: a name in it needs quoting)\r\n"), std::string::npos);

    if (::access("/bin/bash", X_OK) == 0) {
        const ProcessResult pasted =
            runProcess({"/bin/bash", "-c", "\"$0\" " + argument + " \"$1\"", KORVANE_SCAN_BINARY, file});
        EXPECT_EQ(pasted.status, 0) << pasted.out << pasted.err;
    }

    const nlohmann::json doc = nlohmann::json::parse(scan({"--json", "--search", found, file}).out);
    ASSERT_EQ(doc.at("mappings").size(), 1u);
    EXPECT_TRUE(doc.at("mappings").at(0).at("config_line").is_null());
}

} // namespace
} // namespace korvane
