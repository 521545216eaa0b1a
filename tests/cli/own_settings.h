#pragma once

#include "tests/builder/project_builder.h"
#include "tests/paths/scoped_env.h"
#include "tests/process.h"
#include "tests/temp_dir.h"

#include <string>
#include <vector>

namespace korvane::testkit {

// korvane-scan run as a process with `args`.
inline ProcessResult scan(std::vector<std::string> args)
{
    args.insert(args.begin(), KORVANE_SCAN_BINARY);
    return runProcess(args);
}

// For tests of korvane-scan as a process: every run sees a home, a
// configuration folder, a state folder and a Wine prefix of its own, all
// empty, so that nothing of this machine's settings, journals, Wine drives or
// WSL variables reaches it; and a folder for the test's files.
class OwnSettings {
protected:
    TempDir dir;
    TempDir home;
    ScopedEnv homeEnv{"HOME", home.path().c_str()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", (home.path() / "config").c_str()};
    ScopedEnv stateEnv{"XDG_STATE_HOME", (home.path() / "state").c_str()};
    ScopedEnv wineEnv{"WINEPREFIX", (home.path() / "wine").c_str()};
    ScopedEnv wslEnv{"WSL_DISTRO_NAME", nullptr};

    // A project whose MainAV clips are `paths`, in `dir`.
    std::string project(const std::vector<std::string>& paths) const
    {
        ProjectModel model;
        for (const std::string& path : paths)
            model.mainAV.push_back({path});
        const std::string file = dir / "project.dvc";
        writeFile(file, buildProject(model));
        return file;
    }
};

} // namespace korvane::testkit
