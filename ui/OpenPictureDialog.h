// TOpenPictureDialog: the picture-open dialog of the Open command. It lists the picture types
// of the picture loader's codec table and shows a preview of the highlighted file beside the
// file list.
#pragma once

#include <QFileDialog>

class QLabel;

namespace tintavo {

class TOpenPictureDialog : public QFileDialog {
    Q_OBJECT

public:
    explicit TOpenPictureDialog(QWidget* parent = nullptr);

    // The file the user chose (empty when none).
    QString ChosenFile() const;
    QLabel* PreviewLabel() const { return preview_; }

    // Shows the picture in the preview area ("(None)" for anything that is not a picture).
    void ShowPreview(const QString& fileName);

private:
    QLabel* preview_ = nullptr;
    QLabel* previewSize_ = nullptr;
};

}  // namespace tintavo
