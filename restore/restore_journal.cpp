#include "restore/restore_journal.h"

#include "text/ascii.h"
#include "text/system_error.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace korvane {

namespace {

constexpr std::string_view kHeader = "korvane put-back journal 1";

// Printable ASCII but for `%` and spaces; every other byte as %XX.
std::string escape(std::string_view bytes)
{
    return percentEscaped(bytes, true);
}

std::optional<std::string> unescape(std::string_view text)
{
    std::string out;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] != '%') {
            out += text[k];
            continue;
        }
        if (k + 2 >= text.size())
            return std::nullopt;
        const std::string hex(text.substr(k + 1, 2));
        char* end = nullptr;
        const long value = std::strtol(hex.c_str(), &end, 16);
        if (hex.size() != 2 || end != hex.c_str() + 2)
            return std::nullopt;
        out += static_cast<char>(value);
        k += 2;
    }
    return out;
}

bool makeFolders(const std::string& path)
{
    std::string at;
    for (std::size_t k = 1; k <= path.size(); ++k) {
        if (k == path.size() || path[k] == '/') {
            at = path.substr(0, k);
            if (::mkdir(at.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

} // namespace

std::string journalFolder()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/')
        return std::string(state) + "/korvane";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/state/korvane";
}

JournalWriter::JournalWriter(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}

JournalWriter::JournalWriter(JournalWriter&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)), path_(std::move(other.path_))
{
}

JournalWriter::~JournalWriter()
{
    if (file_)
        std::fclose(file_);
}

std::optional<JournalWriter> JournalWriter::create(const std::string& folder, int& error)
{
    if (!makeFolders(folder)) {
        error = errno;
        return std::nullopt;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    for (int n = 1; n < 1000; ++n) {
        std::string path = folder;
        path += "/put-back-";
        path += stamp;
        if (n > 1) {
            path += '-';
            path += std::to_string(n);
        }
        path += ".journal";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            error = errno;
            return std::nullopt;
        }
        std::FILE* file = ::fdopen(fd, "w");
        if (!file) {
            error = errno;
            ::close(fd);
            return std::nullopt;
        }
        std::fprintf(file, "%.*s\n", static_cast<int>(kHeader.size()), kHeader.data());
        if (std::fflush(file) != 0) {
            error = errno;
            std::fclose(file);
            return std::nullopt;
        }
        return JournalWriter(file, path);
    }
    error = EEXIST;
    return std::nullopt;
}

bool JournalWriter::add(const JournalEntry& entry)
{
    switch (entry.kind) {
    case JournalEntry::Kind::Folder:
        std::fprintf(file_, "folder %s\n", escape(entry.path).c_str());
        break;
    case JournalEntry::Kind::Link:
        std::fprintf(file_, "link %llu %llu %s %s\n", static_cast<unsigned long long>(entry.device),
                     static_cast<unsigned long long>(entry.inode), escape(entry.path).c_str(),
                     escape(entry.source).c_str());
        break;
    case JournalEntry::Kind::Temporary:
        std::fprintf(file_, "temporary %s\n", escape(entry.path).c_str());
        break;
    case JournalEntry::Kind::Copy:
        std::fprintf(file_, "copy %llu %016llx %s %s\n", static_cast<unsigned long long>(entry.content.size),
                     static_cast<unsigned long long>(entry.content.hash), escape(entry.path).c_str(),
                     escape(entry.source).c_str());
        break;
    }
    return std::fflush(file_) == 0;
}

std::optional<std::vector<JournalEntry>> readJournal(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = systemErrorText(errno);
        return std::nullopt;
    }
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream lines(content);
    std::string line;
    if (!std::getline(lines, line) || line != kHeader) {
        error = "not a journal of putting back";
        return std::nullopt;
    }
    std::vector<JournalEntry> entries;
    while (std::getline(lines, line)) {
        if (lines.eof() && !content.ends_with('\n'))
            break; // cut short
        std::istringstream words(line);
        std::string kind, a, b, p, s;
        words >> kind;
        JournalEntry entry;
        bool ok = false;
        if (kind == "folder" && (words >> p)) {
            entry.kind = JournalEntry::Kind::Folder;
            ok = true;
        } else if (kind == "temporary" && (words >> p)) {
            entry.kind = JournalEntry::Kind::Temporary;
            ok = true;
        } else if (kind == "link" && (words >> entry.device >> entry.inode >> p >> s)) {
            entry.kind = JournalEntry::Kind::Link;
            ok = true;
        } else if (kind == "copy" && (words >> entry.content.size >> a >> p >> s)) {
            entry.kind = JournalEntry::Kind::Copy;
            char* end = nullptr;
            entry.content.hash = std::strtoull(a.c_str(), &end, 16);
            ok = end == a.c_str() + a.size();
        }
        std::optional<std::string> unPath = unescape(p);
        std::optional<std::string> unSource = unescape(s);
        if (!ok || !unPath || !unSource) {
            error = "line " + std::to_string(entries.size() + 2) + " cannot be read";
            return std::nullopt;
        }
        entry.path = std::move(*unPath);
        entry.source = std::move(*unSource);
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace korvane
