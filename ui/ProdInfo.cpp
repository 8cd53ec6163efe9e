#include "ui/ProdInfo.h"

namespace tintavo {

namespace {

TProductInfo MakeProductInfo() {
    TProductInfo info;
    info.ProductTitle = QStringLiteral("Vorn Tintavo");
    info.Version = QStringLiteral(TINTAVO_VERSION);
    info.RegistryRoot = QStringLiteral("HKEY_CURRENT_USER");
    info.SettingsKeyPath = QStringLiteral("\\Software\\vornsoft\\Tintavo");
    info.SettingsOrganization = QStringLiteral("vornsoft");
    info.SettingsApplication = QStringLiteral("Tintavo");
    // Example-domain addresses: the product has no public site of its own yet.
    info.WebSite = QStringLiteral("https://www.example.com/tintavo");
    info.ContactPage = QStringLiteral("https://www.example.com/tintavo/contact");
    return info;
}

}  // namespace

const TProductInfo& InitProductInfo() {
    static const TProductInfo info = MakeProductInfo();
    return info;
}

const TProductInfo& ProductInfo() { return InitProductInfo(); }

}  // namespace tintavo
