#pragma once

#include <string_view>

namespace korvane {

// Everything a scan tells the user passes through this sink: the report of
// missing files, the status line, the 200-step progress bar and the
// existence test. The dialog adapts it to widgets, the command line prints
// it, the tests record it.
class ScanFeedback {
public:
    virtual ~ScanFeedback() = default;

    virtual void appendReport(std::string_view text) = 0;
    virtual void clearReport() = 0;
    virtual void setStatus(std::string_view text) = 0;
    // Range 0 to 200, step 1, position 0.
    virtual void resetProgress() = 0;
    virtual void stepProgress() = 0;

    // The existence test of one referenced file. A path that is not found is
    // listed in the report, followed by a line end. Returns whether it was found.
    bool checkFile(std::string_view path);

protected:
    // Whether anything is found under `path`, the bytes of a stored name up
    // to its first zero byte.
    virtual bool fileExists(std::string_view path) = 0;
};

inline constexpr std::string_view kLineEnd = "\r\n";

inline bool ScanFeedback::checkFile(std::string_view path)
{
    if (fileExists(path))
        return true;
    appendReport(path);
    appendReport(kLineEnd);
    return false;
}

} // namespace korvane
