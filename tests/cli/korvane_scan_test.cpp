// korvane-scan as another program drives it: stdout, stderr, exit status,
// and the project file left untouched.

#include "cli/cli_feedback.h"
#include "scanner/scan.h"
#include "tests/builder/project_builder.h"
#include "tests/process.h"
#include "tests/recording_feedback.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>

namespace korvane {
namespace {

using testkit::buildProject;
using testkit::ProcessResult;
using testkit::ProjectBuilder;
using testkit::ProjectModel;
using testkit::runProcess;
using testkit::TempDir;
using testkit::writeFile;

std::string scanner()
{
    return KORVANE_SCAN_BINARY;
}

ProcessResult scan(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {scanner()};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv);
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class ScannerCommand : public ::testing::Test {
protected:
    TempDir dir;

    // A project whose present media lie in the temporary folder.
    std::string project(const ProjectModel& model, const std::string& name = "project.dvc")
    {
        const std::string path = dir / name;
        writeFile(path, buildProject(model));
        return path;
    }
};

TEST_F(ScannerCommand, ReportGoesToStdoutByteForByte)
{
    const std::string here = dir.touch("media/here.avi");
    ProjectModel m;
    m.version = 519;
    m.mainAV = {{here}, {"D:\\Video\\\x95\x5C.avi"}};
    m.titles = {{{{"/gone/title.bmp", 1}}}};
    m.bin = {{"bin", "rel/gone.wav"}};
    const ProcessResult r = scan({project(m)});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "[MainAV]\r\nD:\\Video\\\x95\x5C.avi\r\n[InsertAV]\r\n[ExAudio1]\r\n[ExAudio2]\r\n[Title]\r\n"
                     "/gone/title.bmp\r\n[BinWindow]\r\nrel/gone.wav\r\n");
    // No progress when stderr is not a terminal: at most the warning that
    // drive D: has no mapping (none where the machine maps it).
    std::istringstream err(r.err);
    for (std::string line; std::getline(err, line);)
        EXPECT_EQ(line.rfind("korvane-scan: warning: drive D: has no mapping", 0), 0u) << line;
}

TEST_F(ScannerCommand, NothingMissingExitsZero)
{
    ProjectModel m;
    m.version = 511;
    m.mainAV = {{dir.touch("a.avi")}, {"Black.clr"}};
    m.bin = {{"folder", dir.path().string()}};
    const ProcessResult r = scan({project(m)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "[MainAV]\r\n[InsertAV]\r\n[ExAudio1]\r\n[ExAudio2]\r\n[BinWindow]\r\n");
}

TEST_F(ScannerCommand, TraceListsEveryCallInOrder)
{
    ProjectModel m;
    m.version = 511;
    m.mainAV = {{"gone\"\x95\x5C\t\x7F.avi"}};
    m.bin = {{"a", dir.touch("here.wav")}};
    const ProcessResult r = scan({"--trace", project(m)});
    EXPECT_EQ(r.status, 1);
    std::string expected = "reset\nclear\nappend \"[MainAV]\\r\\n\"\n"
                           "check \"gone\\\"\\x95\\\\\\x09\\x7f.avi\" missing\n"
                           "append \"gone\\\"\\x95\\\\\\x09\\x7f.avi\"\nappend \"\\r\\n\"\n"
                           "status \"[MainAV] 1 / 1\"\n";
    for (int k = 0; k < 40; ++k)
        expected += "step\n";
    expected += "append \"[InsertAV]\\r\\n\"\n";
    for (int k = 0; k < 20; ++k)
        expected += "step\n";
    expected += "append \"[ExAudio1]\\r\\n\"\n";
    for (int k = 0; k < 10; ++k)
        expected += "step\n";
    expected += "append \"[ExAudio2]\\r\\n\"\n";
    for (int k = 0; k < 90; ++k)
        expected += "step\n";
    expected += "append \"[BinWindow]\\r\\n\"\ncheck \"" + dir / "here.wav" + "\" found\nstatus \"[BinWindow] 1 / 1\"\n";
    for (int k = 0; k < 40; ++k)
        expected += "step\n";
    expected += "status \"\"\n";
    EXPECT_EQ(r.out, expected);
}

TEST(TraceText, EscapesEveryByteThatIsNotPlainAscii)
{
    EXPECT_EQ(escapeTraceText("a\\b\"c\rd\ne"), "a\\\\b\\\"c\\rd\\ne");
    EXPECT_EQ(escapeTraceText("\x01\x1f \x7e\x7f\x80\xff"), "\\x01\\x1f ~\\x7f\\x80\\xff");
    EXPECT_EQ(escapeTraceText(std::string_view("ab\0cd", 5)), "ab\\x00cd") << "the scanner cuts names, not the trace";
}

TEST_F(ScannerCommand, FileThatCannotBeOpenedExitsTwo)
{
    const ProcessResult missing = scan({dir / "none.dvc"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "Can not open dvc file\nNo such file or directory\n");

    const ProcessResult empty = scan({""});
    EXPECT_EQ(empty.status, 2);
    EXPECT_TRUE(empty.err.starts_with("Can not open dvc file\n"));
}

// A char device of a major number no driver has: opening it fails with
// ENXIO, so a scan that opened it would say so. Empty when none can be made.
std::string unboundDevice(const TempDir& dir)
{
    std::ifstream devices("/proc/devices");
    std::set<unsigned> taken;
    std::string line;
    while (std::getline(devices, line) && line != "Block devices:") {
        std::istringstream fields(line);
        unsigned major = 0;
        if (fields >> major)
            taken.insert(major);
    }
    // The majors set aside for local and experimental use.
    for (const unsigned major : {60u, 61u, 62u, 63u, 120u, 121u, 122u, 123u, 124u, 125u, 126u, 127u}) {
        if (taken.count(major) != 0)
            continue;
        const std::string path = dir / "unbound.dvc";
        if (::mknod(path.c_str(), S_IFCHR | 0600, makedev(major, 0)) != 0)
            return {};
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd >= 0 || errno != ENXIO) {
            if (fd >= 0)
                ::close(fd);
            ::unlink(path.c_str());
            return {};
        }
        return path;
    }
    return {};
}

TEST_F(ScannerCommand, FifosDevicesAndSocketsAreRefusedUnopened)
{
    const std::string fifo = dir / "pipe.dvc";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string socketPath = dir / "socket.dvc";
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const std::string linkToZero = dir / "zero.dvc";
    ASSERT_EQ(::symlink("/dev/zero", linkToZero.c_str()), 0);

    std::vector<std::string> paths = {fifo, "/dev/null", "/dev/zero", "/dev/urandom", socketPath, linkToZero};
    // Where a device node can be made (as root), one whose open would fail:
    // the refusal shows that it was never opened.
    if (const std::string unbound = unboundDevice(dir); !unbound.empty())
        paths.push_back(unbound);
    for (const std::string& path : paths) {
        const ProcessResult r = scan({path});
        EXPECT_FALSE(r.timedOut) << path;
        EXPECT_EQ(r.status, 2) << path;
        EXPECT_EQ(r.out, "") << path;
        EXPECT_EQ(r.err, "Can not open dvc file\nNot a regular file\n") << path;
    }
    ::close(sock);
}

// A writer blocked in opening a FIFO waits for a reader. The scan refuses
// the FIFO without opening it, so the writer goes on waiting, and the
// reader that finally comes is the one it gets.
TEST_F(ScannerCommand, WriterWaitingOnAFifoIsLeftWaiting)
{
    const std::string fifo = dir / "pipe.dvc";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        ::signal(SIGPIPE, SIG_IGN);
        if (::write(ready[1], "r", 1) != 1)
            ::_exit(4);
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        if (fd < 0)
            ::_exit(3);
        // EPIPE if the reader that released it has gone already.
        ::_exit(::write(fd, "x", 1) == 1 ? 0 : 1);
    }
    struct Reaper {
        pid_t pid;
        ~Reaper()
        {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    } reaper{writer};
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    // Its state turns to sleeping once it waits in the open.
    const auto stateOf = [writer] {
        std::ifstream stat("/proc/" + std::to_string(writer) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const std::size_t close = text.rfind(')');
        return close == std::string::npos || close + 2 >= text.size() ? '?' : text[close + 2];
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (stateOf() != 'S' && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(stateOf(), 'S');

    const ProcessResult r = scan({fifo});
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Can not open dvc file\nNot a regular file\n");
    EXPECT_EQ(stateOf(), 'S') << "a reader's open would have woken the writer";
    int status = 0;
    EXPECT_EQ(::waitpid(writer, &status, WNOHANG), 0) << "the writer is still waiting";

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(::waitpid(writer, &status, 0), writer);
    reaper.pid = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "released by this reader, not by the scan";
    EXPECT_EQ(::read(reader, &byte, 1), 1);
    EXPECT_EQ(byte, 'x');
    ::close(reader);
}

TEST_F(ScannerCommand, WritersLockRefusesTheScanReadersLocksDoNot)
{
    ProjectModel m;
    const std::string path = project(m);
    for (const int held : {LOCK_SH, LOCK_EX}) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, held), 0);
        const ProcessResult r = scan({path});
        ::close(fd);
        if (held == LOCK_SH) {
            EXPECT_EQ(r.status, 0) << "a reader's shared lock does not keep the scan out: " << r.err;
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, "Can not open dvc file\nThe file is in use by another program\n");
        }
    }
    EXPECT_EQ(scan({path}).status, 0) << "opened once the lock is gone";
}

TEST_F(ScannerCommand, ProjectFileIsNeverChanged)
{
    ProjectModel m;
    m.version = 519;
    m.mainAV = {{"gone.avi"}};
    m.bin = {{"b", "gone.bmp"}};
    const std::string path = project(m);
    ::chmod(path.c_str(), 0644);
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), past, 0), 0);
    const std::string before = readAll(path);

    EXPECT_EQ(scan({path}).status, 1);
    EXPECT_EQ(scan({"--trace", path}).status, 1);

    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(readAll(path), before);
}

TEST_F(ScannerCommand, DamagedFileExitsThreeAndSaysWhere)
{
    ProjectBuilder b;
    b.header(519, 5, 1).movie("gone.avi").count(2).movie("also-gone.avi", 0, testkit::Track::Insert);
    const std::string path = dir / "cut.dvc";
    writeFile(path, b.bytes());
    const ProcessResult r = scan({path});
    EXPECT_EQ(r.status, 3) << "damage wins over missing files";
    // The second InsertAV entry begins past the end: an empty name, of no known kind.
    EXPECT_EQ(r.out, "[MainAV]\r\ngone.avi\r\n[InsertAV]\r\nalso-gone.avi\r\n[ExAudio1]\r\n[ExAudio2]\r\n[Title]\r\n"
                     "[BinWindow]\r\n");
    EXPECT_EQ(r.err, "korvane-scan: warning: The project file is damaged: it ends in the InsertAV section, at entry 2 "
                     "of 2.\n");
}

// Text or noise given for a project: the report and the exit status are
// those of any damaged file, and the warning says what it is.
TEST_F(ScannerCommand, FileThatIsNotAProjectIsCalledSo)
{
    const std::string warning = "korvane-scan: warning: The file does not look like a RexEdit project: ";
    std::vector<std::uint8_t> noise(4096);
    std::uint32_t state = 12345;
    for (std::uint8_t& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    const std::string text = "# notes\nThe wedding cut, second try.\n";
    struct Case {
        std::string name;
        std::vector<std::uint8_t> bytes;
        std::string why;
    };
    for (const Case& c : {Case{"empty.dvc", {}, "it is empty."},
                          Case{"notes.dvc", {text.begin(), text.end()}, "its layout version, 8227, is far outside"},
                          Case{"noise.dvc", noise, ""}}) {
        const std::string path = dir / c.name;
        writeFile(path, c.bytes);
        const ProcessResult r = scan({path});
        EXPECT_EQ(r.status, 3) << c.name;
        EXPECT_NE(r.err.find(warning + c.why), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(r.err.find("is damaged"), std::string::npos) << c.name << ": " << r.err;
        if (c.bytes.empty()) {
            EXPECT_EQ(r.out, "[MainAV]\r\n[InsertAV]\r\n[ExAudio1]\r\n[ExAudio2]\r\n[BinWindow]\r\n");
        }
    }
}

TEST(ScannerUsage, OptionsAndWrongUsage)
{
    const ProcessResult version = scan({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("korvane-scan 1.0.2\nCopyright (C) 2026 The korvane developers.\n"))
        << version.out;
    EXPECT_NE(version.out.find("\nLicense MIT: "), std::string::npos) << version.out;

    const ProcessResult help = scan({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: korvane-scan [--trace] FILE...\n"));

    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{}, {"--bogus", "x.dvc"}, {"--trace"}}) {
        const ProcessResult r = scan(wrong);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Usage: korvane-scan"), std::string::npos);
    }
}

TEST_F(ScannerCommand, DoubleDashEndsTheOptions)
{
    const std::string previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    writeFile("--trace", buildProject(ProjectModel{}));
    const ProcessResult r = scan({"--", "--trace"});
    std::filesystem::current_path(previous);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "[MainAV]\r\n[InsertAV]\r\n[ExAudio1]\r\n[ExAudio2]\r\n[Title]\r\n[BinWindow]\r\n");
}

TEST(RunScan, FailedOpenTouchesNoFeedback)
{
    testkit::RecordingFeedback f;
    f.report = "earlier report";
    const ScanResult result = runScan("/nonexistent/project.dvc", f);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.openError, "No such file or directory");
    EXPECT_TRUE(f.calls.empty());
    EXPECT_EQ(f.report, "earlier report");
}

// The bundled samples are what the sample generator writes, and their
// report is the one the README shows.
TEST(Samples, AreUpToDateAndShowARealReport)
{
    TempDir dir;
    ASSERT_EQ(runProcess({KORVANE_MAKE_SAMPLES_BINARY, dir.path().string()}).status, 0);
    for (const char* name : {"wedding.dvc", "holiday.dvc"})
        EXPECT_EQ(readAll(dir / name), readAll(std::string("samples/") + name)) << name;

    const ProcessResult r = scan({"samples/wedding.dvc"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "[MainAV]\r\nsamples/media/Wedding/Vows.AVI\r\nsamples/media/Wedding/Toast.avi\r\n"
                     "[InsertAV]\r\nsamples/media/Wedding/Guests.bmp\r\n"
                     "[ExAudio1]\r\nD:\\Music\\Waltz.wav\r\n"
                     "[ExAudio2]\r\nsamples/media/Music/Applause.wav\r\n"
                     "[Title]\r\nsamples/media/Titles/Hearts.tga\r\nsamples/media/Titles/Logo.psd\r\n"
                     "[BinWindow]\r\nsamples/media/Wedding/Vows.AVI\r\nsamples/media/Audio/Speech.wav\r\n");
}

} // namespace
} // namespace korvane
