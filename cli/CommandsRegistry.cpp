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

int RunProfiles(const TArgList& argList) {
    const TArgs args(argList, {{"--json", false}}, 0);
    const auto& profiles = OutputProfiles();
    if (args.Has("--json")) {
        TJsonWriter json(std::cout);
        json.BeginArray();
        for (std::size_t i = 0; i < profiles.size(); ++i) {
            const TLutOutputProfile& p = *profiles[i];
            json.BeginObject();
            json.Key("number").Integer(static_cast<long long>(i) + 1);
            json.Key("name").String(p.Name);
            json.Key("extension").String(p.Extension);
            json.Key("formatIndex").Integer(p.FormatIndex);
            json.Key("defaultSize").Integer(p.DefaultSize);
            json.Key("defaultBits").Integer(p.DefaultBits);
            json.Key("sizeSelectable").Bool(p.SizeSelectable);
            json.Key("bitsSelectable").Bool(p.BitsSelectable);
            json.Key("dimension").String(Dimension(GetLutFormat(p.FormatIndex)));
            json.EndObject();
        }
        json.EndArray();
        json.Finish();
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

int RunFormats(const TArgList& argList) {
    const TArgs args(argList, {{"--json", false}}, 0);
    const auto& formats = LutFormats();
    if (args.Has("--json")) {
        TJsonWriter json(std::cout);
        json.BeginArray();
        for (std::size_t i = 0; i < formats.size(); ++i) {
            const TLUTFormat& format = *formats[i];
            json.BeginObject();
            json.Key("index").Integer(static_cast<long long>(i));
            json.Key("name").String(formats[i]->Name);
            json.Key("dimension").String(Dimension(formats[i].get()));
            json.Key("canRead").Bool(format.CanRead);
            json.Key("canWrite").Bool(format.CanWrite);
            json.EndObject();
        }
        json.EndArray();
        json.Finish();
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
