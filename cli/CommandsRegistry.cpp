// profiles and formats: the registry as a table or as JSON.
#include <cstdio>
#include <iostream>

#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "formats/LUTFormat.h"

namespace tintavo::cli {

namespace {

const char* Dimension(const TLUTFormat* format) { return format && format->Is3D ? "3D" : "1D"; }

std::string Padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text + ' ' : text + std::string(width - text.size(), ' ');
}

}  // namespace

int RunProfiles(const TArgs& args) {
    const auto& profiles = OutputProfiles();
    if (args.Has("--json")) {
        TJson list = TJson::array();
        for (std::size_t i = 0; i < profiles.size(); ++i) {
            const TLutOutputProfile& p = *profiles[i];
            list.push_back({{"number", i + 1},
                            {"name", p.Name},
                            {"extension", p.Extension},
                            {"formatIndex", p.FormatIndex},
                            {"defaultSize", p.DefaultSize},
                            {"defaultBits", p.DefaultBits},
                            {"sizeSelectable", p.SizeSelectable},
                            {"bitsSelectable", p.BitsSelectable},
                            {"dimension", Dimension(GetLutFormat(p.FormatIndex))}});
        }
        PrintJson(std::cout, list);
        return 0;
    }
    std::cout << " #  " << Padded("Name", 45) << Padded("Ext", 10) << "Fmt  Dim  Size   Bits  Choose\n";
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        const TLutOutputProfile& p = *profiles[i];
        char number[32];
        std::snprintf(number, sizeof number, "%2zu  ", i + 1);
        std::string choose = p.SizeSelectable ? "size" : "";
        if (p.BitsSelectable) choose += choose.empty() ? "bits" : ", bits";
        std::cout << number << Padded(p.Name, 45) << Padded(p.Extension, 10) << Padded(std::to_string(p.FormatIndex), 5)
                  << Padded(Dimension(GetLutFormat(p.FormatIndex)), 5) << Padded(std::to_string(p.DefaultSize), 7)
                  << Padded(p.DefaultBits == 0 ? "-" : std::to_string(p.DefaultBits), 6) << (choose.empty() ? "-" : choose)
                  << '\n';
    }
    return 0;
}

int RunFormats(const TArgs& args) {
    const auto& formats = LutFormats();
    if (args.Has("--json")) {
        TJson list = TJson::array();
        for (std::size_t i = 0; i < formats.size(); ++i) {
            const TLUTFormat& format = *formats[i];
            list.push_back({{"index", i},
                            {"name", formats[i]->Name},
                            {"dimension", Dimension(formats[i].get())},
                            {"canRead", format.CanRead},
                            {"canWrite", format.CanWrite}});
        }
        PrintJson(std::cout, list);
        return 0;
    }
    std::cout << "Idx  " << Padded("Name", 36) << "Dim  Read  Write\n";
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const TLUTFormat& format = *formats[i];
        char index[32];
        std::snprintf(index, sizeof index, "%3zu  ", i);
        std::cout << index << Padded(formats[i]->Name, 36) << Padded(Dimension(formats[i].get()), 5)
                  << Padded(format.CanRead ? "yes" : "no", 6) << (format.CanWrite ? "yes" : "no") << '\n';
    }
    return 0;
}

}  // namespace tintavo::cli
