// Writes the bundled sample projects: korvane-make-samples DIR

#include "tests/builder/project_builder.h"

#include <cstdio>
#include <exception>
#include <string>

using namespace korvane::testkit;

namespace {

// A wedding video in the editor's 2.9 layout (version 519): some media in
// samples/media, some moved away, one clip still on the editor's D: drive.
ProjectModel wedding()
{
    const std::string w = "samples/media/Wedding/";
    const std::string m = "samples/media/Music/";
    const std::string t = "samples/media/Titles/";
    ProjectModel p;
    p.version = 519;
    p.mainAV = {
        {w + "Ceremony.avi", "", 2},
        {w + "Vows.AVI", "", 1},
        {w + "Rings.jpg", "Rings", 0},
        {"Black.clr", "Black", 0},
        {w + "Toast.avi", "", 3},
        {"Intertitle", "", 0},
    };
    p.insertAV = {{w + "Cutaway.avi", "", 1}, {w + "Guests.bmp", "Guests", 2}};
    p.exAudio1 = {{m + "FirstDance.wav", "", 2}, {"D:\\Music\\Waltz.wav", "", 0}};
    p.exAudio2 = {{m + "Applause.wav", "", 1}};
    p.effects = {{"Cross dissolve", 6, "Soft"}, {"Wipe", 0, ""}};
    p.titles = {
        {{{"Our Wedding", 0, "caption"}, {t + "Frame.bmp", 1, "frame"}, {t + "Hearts.tga", 1, "hearts"}}, 0},
        // No flag fields: the items go by the flag the last title left.
        {{{t + "Logo.psd", 0, "logo"}}, 768},
        {{{"The End", 2, "caption"}}, 0},
    };
    p.mainFilters = {{1, 0, 1, 12, 0, 3, {{"Colour", "sepia"}}, {{"Vignette.bmp", "strength"}}}};
    p.exAudio1Filters = {{{"Echo.wav", "echo settings"}}};
    p.bin = {
        {"Ceremony", w + "Ceremony.avi"},
        {"Vows", w + "Vows.AVI"},
        {"Black", "Black.clr"},
        {"Speech", "samples/media/Audio/Speech.wav"},
        {"Frame", t + "Frame.bmp"},
    };
    return p;
}

// An older project (version 511): no effects, titles or filters.
ProjectModel holiday()
{
    const std::string h = "samples/media/Holiday/";
    ProjectModel p;
    p.version = 511;
    p.mainAV = {{h + "Beach.avi", "", 1}, {h + "Sunset.tif", "Sunset", 0}};
    p.exAudio1 = {{h + "Waves.wav", "", 0}};
    p.bin = {{"Beach", h + "Beach.avi"}, {"Harbour", h + "Harbour.avi"}};
    return p;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("Usage: korvane-make-samples DIR\n", stderr);
        return 2;
    }
    try {
        const std::string dir = argv[1];
        writeFile(dir + "/wedding.dvc", buildProject(wedding()));
        writeFile(dir + "/holiday.dvc", buildProject(holiday()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvane-make-samples: %s\n", e.what());
        return 1;
    }
    return 0;
}
