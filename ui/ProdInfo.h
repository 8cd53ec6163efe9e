// The product-information record: what the windows show about the product and where its
// per-user setting lives. Filled once at start-up (InitProductInfo) and read by the main window
// and the About box. It lives with the windows that read it; the program entry (app/) only
// fills it at start-up.
#pragma once

#include <QString>

namespace tintavo {

struct TProductInfo {
    QString ProductTitle;  // application title, main window caption, About box
    QString Version;       // About box
    // Where the per-user settings live. On Windows this was the registry root HKEY_CURRENT_USER
    // with the key "\Software\vornsoft\Tintavo"; here the same organisation and application
    // names select the QSettings store.
    QString RegistryRoot;
    QString SettingsKeyPath;
    QString SettingsOrganization;
    QString SettingsApplication;
    QString WebSite;      // the maker's home page (About box link)
    QString ContactPage;  // the maker's contact page (About box link; empty hides "Contacts:")
};

// Fills the record (idempotent) and returns it.
const TProductInfo& InitProductInfo();
// The record; InitProductInfo must have run (it runs on first use otherwise).
const TProductInfo& ProductInfo();

}  // namespace tintavo
