// tintavo-cli: the calibration and the LUT file library on the command line.
//
// Exit status: 0 on success, 2 for a mistake in the command line (with the command's usage),
// 1 for any other failure, reported as one line beginning with "error: " on stderr. Every file
// is written atomically by the core, so a failed command leaves no new or changed file behind.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "cli/Commands.h"

namespace {

using namespace tintavo::cli;

void PrintGeneralUsage(std::ostream& out) {
    out << "usage: tintavo-cli COMMAND [ARGUMENTS]\n       tintavo-cli --version\n\ncommands:\n";
    for (const TCommand& c : Commands())
        out << "  " << c.Name << std::string(11 - std::string(c.Name).size(), ' ') << c.Summary << '\n';
    out << "\n\"tintavo-cli COMMAND --help\" explains a command's arguments and options.\n";
}

void PrintCommandUsage(std::ostream& out, const TCommand& command) {
    out << Synopsis(command) << "\n\"tintavo-cli " << command.Name << " --help\" explains the options.\n";
}

// Messages of the core may span lines; the error report is one line.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "error: no command given\n";
        PrintGeneralUsage(std::cerr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintGeneralUsage(std::cout);
        return 0;
    }
    if (name == "--version") {
        std::cout << "tintavo-cli " TINTAVO_VERSION "\n";
        return 0;
    }
    const TCommand* command = nullptr;
    std::vector<std::string> names;
    for (const TCommand& c : Commands()) {
        if (name == c.Name) command = &c;
        names.push_back(c.Name);
    }
    if (!command) {
        std::cerr << "error: unknown command \"" << name << "\"" << DidYouMean(name, names) << "\n";
        PrintGeneralUsage(std::cerr);
        return 2;
    }
    const std::vector<std::string> argList(argv + 2, argv + argc);
    for (const std::string& a : argList) {
        if (a == "--help" || a == "-h") {
            std::cout << CommandHelp(*command);
            return 0;
        }
    }
    try {
        const int status = command->Run(TArgs(*command, argList));
        std::cout.flush();
        // Output goes through both streams and stdio; a full disk or a closed pipe shows here.
        if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::cerr << "error: cannot write to the standard output\n";
            return 1;
        }
        return status;
    } catch (const EUsageError& e) {
        std::cout.flush();
        std::cerr << "error: " << OneLine(e.what()) << '\n';
        PrintCommandUsage(std::cerr, *command);
        return 2;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "error: " << OneLine(e.what()) << '\n';
        return 1;
    }
}
