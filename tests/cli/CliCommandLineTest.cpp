// The command line itself: help for every command, the version, the parser's messages, names
// that are nearly right, and the chart names the window uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "CliTestSupport.h"
#include "picture/Picture.h"

namespace tintavo {
namespace {

using namespace clitest;

// The command names of the general help's "commands:" list.
std::vector<std::string> CommandNames() {
    const TRunResult run = RunCli({"--help"});
    EXPECT_EQ(run.Status, 0);
    std::vector<std::string> names;
    std::istringstream lines(run.Out.substr(run.Out.find("commands:\n") + 10));
    for (std::string line; std::getline(lines, line) && !line.empty();) {
        std::istringstream words(line);
        std::string name;
        words >> name;
        names.push_back(name);
    }
    return names;
}

// Splits a command's --help into the options its synopsis names ("[--size N]" optional, "-o
// OUTPUT" required) and the explanation of each in the options list.
struct THelp {
    std::vector<std::pair<std::string, bool>> SynopsisOptions;  // name, optional
    std::map<std::string, std::string> Explained;               // name -> its lines in the list
};

THelp ParseHelp(const std::string& text) {
    THelp help;
    const std::size_t synopsisEnd = text.find("\n\n");
    std::istringstream synopsis(text.substr(0, synopsisEnd));
    for (std::string word; synopsis >> word;) {
        const bool optional = word[0] == '[';
        if (optional) word.erase(0, 1);
        if (word.size() > 1 && word[0] == '-') {
            if (word.back() == ']') word.pop_back();
            help.SynopsisOptions.emplace_back(word, optional);
        }
    }
    const std::size_t list = text.find("\noptions:\n");
    if (list == std::string::npos) return help;
    std::istringstream lines(text.substr(list + 10));
    std::string current;
    for (std::string line; std::getline(lines, line) && !line.empty();) {
        if (line.rfind("  -", 0) == 0) {
            current = line.substr(2, line.find(' ', 2) - 2);
            help.Explained[current] = line;
        } else if (!current.empty()) {
            help.Explained[current] += "\n" + line;
        }
    }
    return help;
}

TEST(CliCommandLine, HelpExplainsEveryOptionAndItsDefault) {
    const std::vector<std::string> commands = CommandNames();
    ASSERT_EQ(commands.size(), 8u);
    for (const std::string& command : commands) {
        const TRunResult run = RunCli({command, "--help"});
        ASSERT_EQ(run.Status, 0) << command << ": " << run.Err;
        EXPECT_EQ(run.Out.rfind("usage: tintavo-cli " + command + " ", 0), 0u) << run.Out;
        const THelp help = ParseHelp(run.Out);
        ASSERT_FALSE(help.SynopsisOptions.empty()) << command;
        EXPECT_EQ(help.Explained.size(), help.SynopsisOptions.size()) << run.Out;
        for (const auto& [name, optional] : help.SynopsisOptions) {
            const auto it = help.Explained.find(name);
            ASSERT_NE(it, help.Explained.end()) << command << " " << name << " is not explained:\n" << run.Out;
            // What happens without an optional one; that a required one must be given. The
            // wrapping may break a line anywhere between words.
            std::string text;
            for (const char c : it->second)
                if (!(c == ' ' || c == '\n') || (!text.empty() && text.back() != ' ')) text += c == '\n' ? ' ' : c;
            EXPECT_NE(text.find(optional ? "(default: " : "(required)"), std::string::npos)
                << command << " " << name << ":\n"
                << it->second;
            EXPECT_GT(it->second.size(), 40u) << it->second;
        }
    }
    // -h anywhere on the line asks for the help, whatever else is there.
    const TRunResult shortForm = RunCli({"convert", "a", "--bogus", "-h"});
    EXPECT_EQ(shortForm.Status, 0);
    EXPECT_EQ(shortForm.Out, RunCli({"convert", "--help"}).Out);
}

TEST(CliCommandLine, VersionAndGeneralHelp) {
    const TRunResult version = RunCli({"--version"});
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out, std::string("tintavo-cli ") + TINTAVO_VERSION + "\n");
    EXPECT_TRUE(version.Err.empty());
    const TRunResult help = RunCli({"help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("tintavo-cli --version"), std::string::npos) << help.Out;
    // A usage error ends with the synopsis and where the options are explained.
    const TRunResult wrong = RunCli({"info"});
    EXPECT_EQ(wrong.Status, 2);
    EXPECT_EQ(wrong.Err,
              "error: missing argument\nusage: tintavo-cli info FILE [--from FORMAT] [--json] [--values]\n"
              "\"tintavo-cli info --help\" explains the options.\n");
}

TEST(CliCommandLine, ParserMistakesAreNamed) {
    TScratchDir dir;
    WriteText(dir.Path("id.cube"), "LUT_3D_SIZE 2\n0 0 0\n0 0 1\n0 1 0\n0 1 1\n1 0 0\n1 0 1\n1 1 0\n1 1 1\n");
    const auto firstLine = [](const TRunResult& run) { return run.Err.substr(0, run.Err.find('\n')); };
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"profiles", "--json", "--json"}, "error: option --json given twice"},
        {{"profiles", "--json=yes"}, "error: option --json takes no value"},
        {{"info", dir.Path("id.cube"), "--from", "1", "--from=1"}, "error: option --from given twice"},
        {{"info", dir.Path("id.cube"), "--yaml=1"}, "error: unknown option --yaml"},
        {{"info", dir.Path("id.cube"), "-x"}, "error: unknown option -x"},
        {{"info", dir.Path("id.cube"), "--from"}, "error: option --from needs a value"},
        {{"convert", dir.Path("id.cube")}, "error: missing argument"},
        {{"convert", "a", "b", "c"}, "error: too many arguments"},
        {{"calibrate", "a.png", "--rect", "1,2,3,4", "--profile", "8", "-o", "x.cube"},
         "error: option --chart is required"},
    };
    for (const auto& c : cases) {
        const TRunResult run = RunCli(c.args);
        EXPECT_EQ(run.Status, 2) << c.message;
        EXPECT_EQ(firstLine(run), c.message);
    }
    // "--name=value", a value that starts with a minus, and "--" before a name that does.
    TRunResult run = RunCli({"convert", dir.Path("id.cube"), dir.Path("a.cube"), "--profile=8", "--size=5"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(ParseJson(RunCli({"info", dir.Path("a.cube"), "--json"}).Out)["size3d"].NumberValue, 5);
    run = RunCli({"convert", dir.Path("id.cube"), dir.Path("b.cube"), "--profile", "8", "--size", "-5"});
    EXPECT_EQ(firstLine(run), "error: --size -5 is outside 2..101 for a 3D LUT");
    EXPECT_EQ(RunCli({"info", "--json", "-dash.cube"}).Status, 2);
    run = RunCli({"info", "--json", "--", "-dash.cube"});
    EXPECT_EQ(run.Status, 1) << run.Err;  // now a file name, of a file that is not there
    EXPECT_NE(run.Err.find("-dash.cube"), std::string::npos) << run.Err;
}

TEST(CliCommandLine, UnknownNamesSuggestTheNearest) {
    TScratchDir dir;
    WriteText(dir.Path("id.cube"), "LUT_1D_SIZE 2\n0 0 0\n1 1 1\n");
    const auto convertTo = [&](const std::string& profile) {
        return RunCli({"convert", dir.Path("id.cube"), dir.Path("x.cube"), "--profile", profile});
    };
    const struct {
        TRunResult run;
        std::string line;
    } cases[] = {
        {convertTo("cube davinci"),
         "error: unknown output profile \"cube davinci\" (\"tintavo-cli profiles\" lists them); did you mean "
         "\"Cube 3D Davinci\"?\n"},
        {convertTo("davinci"),
         "error: unknown output profile \"davinci\" (\"tintavo-cli profiles\" lists them); did you mean "
         "\"Cube 3D Davinci\" or \"Davinci DAT 3D\"?\n"},
        {convertTo("Nucoda3D"),
         "error: unknown output profile \"Nucoda3D\" (\"tintavo-cli profiles\" lists them); did you mean "
         "\"Nucoda 3D\" or \"Nucoda 1D\"?\n"},
        {convertTo("Nope"), "error: unknown output profile \"Nope\" (\"tintavo-cli profiles\" lists them)\n"},
        {RunCli({"info", dir.Path("id.cube"), "--from", "speedgrade"}),
         "error: unknown format \"speedgrade\" (\"tintavo-cli formats\" lists them); did you mean "
         "\"Adobe Speedgrade Look 3D\"?\n"},
        {RunCli({"calibrat"}), "error: unknown command \"calibrat\"; did you mean \"calibrate\"?\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.run.Status, 2) << c.line;
        EXPECT_EQ(c.run.Err.substr(0, c.run.Err.find('\n') + 1), c.line);
    }
    // A word a few letters off still finds its profile among the closest three.
    const TRunResult lustre = convertTo("luster 3d");
    EXPECT_NE(lustre.Err.find("\"Autodesk Lustre 3D\""), std::string::npos) << lustre.Err;
    EXPECT_EQ(dir.Names().size(), 1u);
}

TEST(CliCommandLine, ChartsTakeTheWindowsNames) {
    TScratchDir dir;
    const TSelection classicRect{60, 50, 840, 550}, sgRect{20, 20, 1380, 980};
    TBitmap24 bmp;
    DrawChart(TChartType::Classic, classicRect, 900, 600, bmp);
    SavePicture(dir.Path("classic.png"), bmp);
    DrawChart(TChartType::DigitalSG, sgRect, 1400, 1000, bmp);
    SavePicture(dir.Path("sg.png"), bmp);
    const auto report = [&](const std::string& image, const TSelection& rect, const std::string& chart) {
        return RunCli({"report", dir.Path(image), "--chart", chart, "--rect", RectText(rect), "--json"});
    };
    const TRunResult classic = report("classic.png", classicRect, "classic");
    const TRunResult sg = report("sg.png", sgRect, "sg");
    ASSERT_EQ(classic.Status, 0) << classic.Err;
    ASSERT_EQ(sg.Status, 0) << sg.Err;
    EXPECT_EQ(ParseJson(classic.Out)["patches"].Size(), 24u);
    EXPECT_EQ(ParseJson(sg.Out)["patches"].Size(), 140u);
    for (const std::string name : {"ColorChecker Classic", "COLORCHECKER CLASSIC"}) {
        EXPECT_EQ(report("classic.png", classicRect, name).Out, classic.Out) << name;
    }
    for (const std::string name : {"ColorChecker Digital SG", "colorchecker digital sg"}) {
        EXPECT_EQ(report("sg.png", sgRect, name).Out, sg.Out) << name;
    }
    for (const std::string name : {"ColorChecker", "Digital SG", "ColorChecker  Classic"}) {
        const TRunResult run = report("classic.png", classicRect, name);
        EXPECT_EQ(run.Status, 2) << name;
        EXPECT_EQ(run.Err.rfind("error: unknown chart \"" + name + "\"", 0), 0u) << run.Err;
    }
}

TEST(CliCommandLine, CommentsOfAnyUnicodeCharacterSurviveJson) {
    TScratchDir dir;
    // Euro sign (three bytes), an emoji (four bytes, a surrogate pair when escaped), a DEL byte.
    const std::string comment = "price \xE2\x82\xAC 5 \xF0\x9F\x8E\xA8 \x7F end";
    WriteText(dir.Path("c.cube"), "# " + comment + "\nLUT_1D_SIZE 2\n0 0 0\n1 1 1\n");
    ASSERT_EQ(RunCli({"info", dir.Path("c.cube")}).Status, 0);
    const TRunResult run = RunCli({"info", dir.Path("c.cube"), "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(ParseJson(run.Out)["comments"][0].StringValue, comment);
    // The document itself is plain ASCII.
    EXPECT_EQ(
        std::count_if(run.Out.begin(), run.Out.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x7F; }), 0);
}

}  // namespace
}  // namespace tintavo
