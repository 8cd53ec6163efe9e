// tintavo-cli: the calibration and the LUT file library on the command line.
//
// Exit status: 0 on success, 2 for a mistake in the command line (with the command's usage),
// 1 for any other failure, reported as one line beginning with "error: " on stderr. Every file
// is written atomically by the core, so a failed command leaves no new or changed file behind.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include "cli/Args.h"
#include "cli/Commands.h"

namespace {

using namespace tintavo::cli;

void PrintGeneralUsage(std::ostream& out) {
    out << "usage: tintavo-cli COMMAND [ARGUMENTS]\n\ncommands:\n";
    for (const TCommand& c : Commands()) out << "  " << c.Name << std::string(11 - std::string(c.Name).size(), ' ') << c.Summary << '\n';
    out << "\n\"tintavo-cli COMMAND --help\" shows a command's arguments.\n";
}

void PrintCommandUsage(std::ostream& out, const TCommand& command) { out << "usage: " << command.Usage << '\n'; }

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
    const TCommand* command = nullptr;
    for (const TCommand& c : Commands())
        if (name == c.Name) command = &c;
    if (!command) {
        std::cerr << "error: unknown command \"" << name << "\"\n";
        PrintGeneralUsage(std::cerr);
        return 2;
    }
    const TArgList args(argv + 2, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            PrintCommandUsage(std::cout, *command);
            return 0;
        }
    }
    try {
        const int status = command->Run(args);
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
