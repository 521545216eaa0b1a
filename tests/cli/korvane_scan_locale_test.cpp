// korvane-scan under a Japanese locale: its help and its errors are
// Japanese, its data (the report, JSON) the same bytes as under C.

#include "cli/cli_options.h"
#include "tests/cli/own_settings.h"
#include "tests/process.h"

#include <gtest/gtest.h>

#include <locale.h>
#include <utility>

namespace korvane::testkit {
namespace {

bool haveJapaneseLocale()
{
    const locale_t japanese = ::newlocale(LC_ALL_MASK, "ja_JP.UTF-8", static_cast<locale_t>(nullptr));
    if (japanese)
        ::freelocale(japanese);
    return japanese != static_cast<locale_t>(nullptr);
}

class KorvaneScanLocale : public OwnSettings, public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveJapaneseLocale())
            GTEST_SKIP() << "the ja_JP.UTF-8 locale is missing (scripts/setup.sh generates it)";
    }

    // korvane-scan with LANG=ja_JP.UTF-8, or with LC_ALL=C where `japanese` is false.
    static ProcessResult run(bool japanese, std::vector<std::string> args)
    {
        const ScopedEnv all("LC_ALL", japanese ? nullptr : "C");
        const ScopedEnv lang("LANG", japanese ? "ja_JP.UTF-8" : nullptr);
        const ScopedEnv messages("LC_MESSAGES", nullptr);
        const ScopedEnv language("LANGUAGE", nullptr);
        return scan(std::move(args));
    }
};

TEST_F(KorvaneScanLocale, HelpAndErrorsSpeakJapaneseAndStayEnglishUnderC)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string english; // stdout for --help, else stderr, under C
        std::string japaneseStart;
    };
    const Case cases[] = {
        {{"--help"}, 0, kUsage, "使い方: korvane-scan [--trace] FILE...\n"},
        {{"--jobs", "0", "x.dvc"},
         2,
         "korvane-scan: --jobs 0: not a whole number from 1 to 256\nTry 'korvane-scan --help' for more information.\n",
         "korvane-scan: --jobs 0: 1 から 256 までの整数ではありません\n"
         "詳しくは 'korvane-scan --help' を実行してください。\n"},
        {{dir / "none.dvc"}, 2, "Can not open dvc file\nNo such file or directory\n",
         "dvc ファイルを開けません\nNo such file or directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        const ProcessResult english = run(false, c.args);
        const ProcessResult japanese = run(true, c.args);
        EXPECT_EQ(english.status, c.status);
        EXPECT_EQ(japanese.status, c.status);
        const bool help = c.args.front() == "--help";
        EXPECT_EQ(help ? english.out : english.err, c.english);
        EXPECT_TRUE((help ? japanese.out : japanese.err).starts_with(c.japaneseStart))
            << (help ? japanese.out : japanese.err);
    }
}

TEST_F(KorvaneScanLocale, ReportAndJsonAreTheSameBytesUnderBothLocales)
{
    const std::string file = project({"D:\\movies\\a.avi", "C:\\missing\\b.avi"});
    const std::string search = dir.path();
    const std::vector<std::vector<std::string>> runs = {
        {file},
        {"--json", file},
        {"--json", "--search", search, file},
        {"--explain", "--map", "D:=" + search, file},
        {"--json", file, dir / "none.dvc"}, // the system's reason belongs to the document
    };
    for (const std::vector<std::string>& args : runs) {
        SCOPED_TRACE(args.front() + " " + args.back());
        const ProcessResult english = run(false, args);
        const ProcessResult japanese = run(true, args);
        EXPECT_FALSE(english.out.empty());
        EXPECT_EQ(japanese.out, english.out);
        EXPECT_EQ(japanese.status, english.status);
    }
}

} // namespace
} // namespace korvane::testkit
