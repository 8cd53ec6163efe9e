// Writes the manual page and the bash completion of tintavo-cli from its command table, so that
// neither can drift from what `tintavo-cli COMMAND --help` says.
//
//   tintavo-cli-docs man TEMPLATE VERSION OUTPUT   # TEMPLATE's @COMMANDS@ and @VERSION@ filled in
//   tintavo-cli-docs bash OUTPUT
//   tintavo-cli-docs types                         # "picture EXT" and "lut EXT" lines, for tests
#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "cli/Commands.h"
#include "engine/ColorCheckersData.h"
#include "formats/LUTFormat.h"
#include "formats/LutExport.h"
#include "picture/PictureCodecs.h"

namespace {

using namespace tintavo;
using namespace tintavo::cli;

// Text for the body of a manual page: backslashes escaped, and a line never starts with a
// control character ("." or "'").
std::string RoffText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
            continue;
        }
        if ((c == '.' || c == '\'') && (out.empty() || out.back() == '\n')) out += "\\&";
        out += c;
    }
    return out;
}

// An option or command name: its hyphens are minus signs, so that the name can be copied from
// the formatted page.
std::string RoffName(const std::string& name) {
    std::string out;
    for (const char c : name) out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
}

std::string ManSynopsis(const TCommand& command) {
    std::string s = "\\fBtintavo\\-cli " + RoffName(command.Name) + "\\fR";
    for (const TArgumentSpec& argument : command.Arguments)
        s += std::string(" \\fI") + argument.Name + "\\fR" + (argument.Many ? "..." : "");
    for (const TOptionSpec& option : command.Options) {
        std::string item = "\\fB" + RoffName(option.Name) + "\\fR";
        if (option.ValueName) item += std::string(" \\fI") + option.ValueName + "\\fR";
        s += " " + (option.Required ? item : "[" + item + "]");
    }
    return s;
}

std::string OptionText(const TOptionSpec& option) {
    std::string text = option.Help;
    if (option.Required) text += " (required)";
    if (option.Default) text += std::string(" (default: ") + option.Default + ")";
    return text;
}

std::string Sentence(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text + ".";
}

std::string ManCommands() {
    std::ostringstream out;
    for (const TCommand& command : Commands()) {
        out << ".SS " << RoffName(command.Name) << "\n";
        out << ManSynopsis(command) << "\n.PP\n" << RoffText(Sentence(command.Summary)) << "\n";
        for (const TArgumentSpec& argument : command.Arguments)
            out << ".TP\n.I " << argument.Name << "\n" << RoffText(argument.Help) << "\n";
        for (const TOptionSpec& option : command.Options) {
            out << ".TP\n";
            if (option.ValueName)
                out << ".BI \"" << RoffName(option.Name) << " \" " << option.ValueName << "\n";
            else
                out << ".B " << RoffName(option.Name) << "\n";
            out << RoffText(OptionText(option)) << "\n";
        }
        if (command.Notes) out << ".PP\n" << RoffText(command.Notes) << "\n";
    }
    return out.str();
}

std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& name, const std::string& text) {
    std::ofstream out(name, std::ios::binary);
    out << text;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + name);
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// Values an option takes from a fixed list (the list its help shows as "a|b|c", or a table's);
// other options that take a value complete file names.
std::string OptionValues(const TOptionSpec& entry) {
    const std::string option = entry.Name;
    std::string values;
    const auto add = [&values](const std::string& v) { values += (values.empty() ? "" : " ") + v; };
    if (const std::string listed = entry.ValueName; listed.find('|') != std::string::npos) {
        for (std::size_t from = 0; from <= listed.size();) {
            const std::size_t bar = std::min(listed.find('|', from), listed.size());
            add(listed.substr(from, bar - from));
            from = bar + 1;
        }
    } else if (option == "--bits") {
        for (const int bits : SelectableBitDepths) add(std::to_string(bits));
    } else if (option == "--profile") {
        for (std::size_t i = 1; i <= OutputProfiles().size(); ++i) add(std::to_string(i));
    } else if (option == "--type") {
        for (const TPictureCodec& codec : PictureCodecs())
            for (const std::string& ext : codec.Extensions)
                if (CanSavePicture("x." + ext)) add(ext);
    } else if (option == "--from") {
        for (std::size_t i = 0; i < LutFormats().size(); ++i) add(std::to_string(i));
    }
    return values;
}

std::string BashCompletion() {
    std::ostringstream out;
    std::string names;
    for (const TCommand& command : Commands()) names += std::string(command.Name) + " ";
    out << "# bash completion for tintavo-cli, made from its command table by tintavo-cli-docs.\n"
           "_tintavo_cli()\n"
           "{\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    COMPREPLY=()\n"
           "    if [[ $COMP_CWORD -eq 1 ]]; then\n"
           "        COMPREPLY=($(compgen -W '"
        << names
        << "--help --version' -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    local options\n"
           "    case ${COMP_WORDS[1]} in\n";
    // Every value-taking option, with its list of values where it has one.
    std::vector<std::pair<std::string, std::string>> valued;
    for (const TCommand& command : Commands()) {
        out << "        " << command.Name << ") options='";
        for (const TOptionSpec& option : command.Options) {
            out << option.Name << ' ';
            if (!option.ValueName) continue;
            bool known = false;
            for (const auto& v : valued) known = known || v.first == option.Name;
            if (!known) valued.emplace_back(option.Name, OptionValues(option));
        }
        out << "--help' ;;\n";
    }
    out << "        *) return ;;\n"
           "    esac\n"
           "    case $prev in\n";
    std::string fileValued;
    for (const auto& [option, values] : valued) {
        if (values.empty()) {
            fileValued += (fileValued.empty() ? "" : "|") + option;
            continue;
        }
        out << "        " << option << ") COMPREPLY=($(compgen -W '" << values << "' -- \"$cur\")); return ;;\n";
    }
    if (!fileValued.empty())
        out << "        " << fileValued
            << ") COMPREPLY=($(compgen -f -- \"$cur\")); compopt -o filenames 2>/dev/null; return ;;\n";
    out << "    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "    compopt -o filenames 2>/dev/null\n"
           "}\n"
           "complete -F _tintavo_cli tintavo-cli\n";
    return out.str();
}

// The file name extensions the programs open: pictures from the codec table, LUT files from the
// output profiles. The package's file types are checked against this list.
std::string FileTypes() {
    std::string out;
    for (const TPictureCodec& codec : PictureCodecs())
        for (const std::string& ext : codec.Extensions) out += "picture " + ext + "\n";
    for (const auto& profile : OutputProfiles()) out += "lut " + ToLowerAscii(profile->Extension) + "\n";
    return out;
}

int Usage() {
    std::cerr << "usage: tintavo-cli-docs man TEMPLATE VERSION OUTPUT\n       tintavo-cli-docs bash OUTPUT\n"
                 "       tintavo-cli-docs types\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 4 && args[0] == "man") {
            std::string page = ReadFile(args[1]);
            ReplaceAll(page, "@VERSION@", args[2]);
            ReplaceAll(page, "@COMMANDS@\n", ManCommands());
            WriteFile(args[3], page);
            return 0;
        }
        if (args.size() == 1 && args[0] == "types") {
            std::cout << FileTypes();
            return 0;
        }
        if (args.size() == 2 && args[0] == "bash") {
            WriteFile(args[1], BashCompletion());
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "tintavo-cli-docs: " << e.what() << '\n';
        return 1;
    }
    return Usage();
}
