#include "ui/About.h"

#include <QApplication>
#include <QFrame>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>

#include "ui/UiSupport.h"

namespace tintavo {

namespace {

constexpr int MaxTitleWidth = 260;
constexpr int MaxTitleHeight = 35;

QFont ArialFont(int points, bool bold, bool underline = false) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(points);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

}  // namespace

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent) {
    setFont(ArialFont(9, false, true));
    QPalette p = palette();
    p.setColor(QPalette::WindowText, Qt::blue);
    setPalette(p);
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

TAboutForm::TAboutForm(const TProductInfo& info, QWidget* parent)
    : QDialog(parent),
      productTitle_(info.ProductTitle),
      version_(info.Version),
      webSite_(info.WebSite),
      contactPage_(info.ContactPage) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(352, 243);

    ProductImage = new QLabel(this);
    ProductImage->setObjectName(QStringLiteral("ProductImage"));
    ProductImage->setGeometry(16, 16, 32, 32);
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    ProductImage->setPixmap(icon.pixmap(32, 32));

    lblProduct = new QLabel(this);
    lblProduct->setObjectName(QStringLiteral("lblProduct"));
    lblProduct->setFont(ArialFont(20, true, true));
    lblProduct->setText(productTitle_);
    // Shrink the title one point at a time until it fits its place.
    for (;;) {
        const QSize size = lblProduct->sizeHint();
        const int points = lblProduct->font().pointSize();
        if ((size.width() <= MaxTitleWidth && size.height() <= MaxTitleHeight) || points <= 1) break;
        QFont smaller = lblProduct->font();
        smaller.setPointSize(points - 1);
        lblProduct->setFont(smaller);
    }
    lblProduct->setGeometry(64, 16, MaxTitleWidth, lblProduct->sizeHint().height());

    lblVersion = new QLabel(QStringLiteral("Version: ") + version_, this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setFont(ArialFont(9, true));
    lblVersion->setGeometry(64, 60, 260, 18);

    Label2 = new QLabel(QStringLiteral("Contacts:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(24, 96, 66, 18);
    lblMail = new TLinkLabel(this);
    lblMail->setObjectName(QStringLiteral("lblMail"));
    lblMail->setText(contactPage_);
    lblMail->setGeometry(92, 96, 252, 18);
    Label2->setVisible(!contactPage_.isEmpty());

    Label3 = new QLabel(QStringLiteral("Website:"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(24, 122, 66, 18);
    lblSite = new TLinkLabel(this);
    lblSite->setObjectName(QStringLiteral("lblSite"));
    lblSite->setText(webSite_);
    lblSite->setGeometry(92, 122, 252, 18);

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(16, 178, 320, 4);

    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(136, 200, 80, 28);
    btnClose->setDefault(true);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(lblSite, &TLinkLabel::clicked, this, &TAboutForm::lblSiteClick);
    connect(lblMail, &TLinkLabel::clicked, this, &TAboutForm::lblMailClick);
}

void TAboutForm::lblSiteClick() { OpenUrl(QUrl(lblSite->text())); }

void TAboutForm::lblMailClick() { OpenUrl(QUrl(lblMail->text())); }

void ShowAbout(const TProductInfo& info, QWidget* parent) {
    TAboutForm form(info, parent);
    ExecModal(form);
}

}  // namespace tintavo
