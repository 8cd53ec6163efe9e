#include "ui/OpenPictureDialog.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QVBoxLayout>

#include "picture/Picture.h"

namespace tintavo {

namespace {
constexpr int PreviewBox = 180;
}

TOpenPictureDialog::TOpenPictureDialog(QWidget* parent) : QFileDialog(parent) {
    setObjectName(QStringLiteral("OpenPictureDialog"));
    setWindowTitle(QStringLiteral("Open"));
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    QStringList filters;
    for (const std::string& filter : PictureOpenFilters()) filters << QString::fromStdString(filter);
    setNameFilters(filters);

    // The preview sits right of the file list, in the dialog's own grid layout.
    auto* box = new QWidget(this);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(6, 0, 0, 0);
    preview_ = new QLabel(box);
    preview_->setObjectName(QStringLiteral("PreviewLabel"));
    preview_->setFixedSize(PreviewBox, PreviewBox);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setFrameShape(QFrame::StyledPanel);
    previewSize_ = new QLabel(box);
    previewSize_->setObjectName(QStringLiteral("PreviewSizeLabel"));
    previewSize_->setAlignment(Qt::AlignCenter);
    boxLayout->addWidget(preview_);
    boxLayout->addWidget(previewSize_);
    boxLayout->addStretch(1);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        grid->addWidget(box, 1, grid->columnCount(), grid->rowCount() - 1, 1);
    }
    ShowPreview(QString());
    resize(860, 480);
    connect(this, &QFileDialog::currentChanged, this, &TOpenPictureDialog::ShowPreview);
}

void TOpenPictureDialog::ShowPreview(const QString& fileName) {
    QImageReader reader(fileName);
    reader.setAutoTransform(true);
    const QSize size = fileName.isEmpty() || QFileInfo(fileName).isDir() ? QSize() : reader.size();
    if (!size.isValid() || size.isEmpty()) {
        preview_->setPixmap(QPixmap());
        preview_->setText(QStringLiteral("(None)"));
        previewSize_->clear();
        return;
    }
    // Decoding at the preview size keeps large JPEGs quick (the decoder scales while reading).
    reader.setScaledSize(size.scaled(PreviewBox - 4, PreviewBox - 4, Qt::KeepAspectRatio));
    const QImage image = reader.read();
    if (image.isNull()) {
        preview_->setPixmap(QPixmap());
        preview_->setText(QStringLiteral("(None)"));
        previewSize_->clear();
        return;
    }
    preview_->setPixmap(QPixmap::fromImage(image));
    previewSize_->setText(QStringLiteral("(%1x%2)").arg(size.width()).arg(size.height()));
}

QString TOpenPictureDialog::ChosenFile() const { return selectedFiles().value(0); }

}  // namespace tintavo
