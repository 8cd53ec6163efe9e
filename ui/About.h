// TAboutForm: the About box with the product title, version and the links to the maker's web
// site and contact page.
#pragma once

#include <QDialog>
#include <QLabel>

#include "ui/ProdInfo.h"

namespace tintavo {

// A label that opens its address in the browser when clicked.
class TLinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit TLinkLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TAboutForm : public QDialog {
    Q_OBJECT

public:
    TAboutForm(const TProductInfo& info, QWidget* parent = nullptr);

    QLabel* ProductImage = nullptr;
    QLabel* lblProduct = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* Label2 = nullptr;
    TLinkLabel* lblMail = nullptr;
    QLabel* Label3 = nullptr;
    TLinkLabel* lblSite = nullptr;
    QPushButton* btnClose = nullptr;

    void lblSiteClick();
    void lblMailClick();

private:
    QString productTitle_;
    QString version_;
    QString webSite_;
    QString contactPage_;
};

// Creates the About box, fills it from the record, shows it modally and frees it.
void ShowAbout(const TProductInfo& info, QWidget* parent);

}  // namespace tintavo
