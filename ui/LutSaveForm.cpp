#include "ui/LutSaveForm.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <memory>

#include "common/Progress.h"
#include "engine/CalibrationExport.h"
#include "formats/LutExport.h"
#include "ui/AppSettings.h"
#include "ui/UiSupport.h"

namespace tintavo {

QString TfrmSaveLut::LastLutFolder;

namespace {

const QString DefaultText = QStringLiteral("Default");
constexpr int MaxTypedDigits = 5;

// The items of cbxDimSize for 3D and for 1D profiles.
QStringList SizeItems(bool is3D) {
    if (is3D) return {DefaultText, QStringLiteral("17"), QStringLiteral("32"), QStringLiteral("33"), QStringLiteral("64")};
    return {DefaultText,           QStringLiteral("1024"),  QStringLiteral("2048"),  QStringLiteral("4096"),
            QStringLiteral("8192"), QStringLiteral("16384"), QStringLiteral("32768"), QStringLiteral("65536")};
}

}  // namespace

QString ChangeFileExt(const QString& fileName, const QString& extension) {
    const int slash = static_cast<int>(fileName.lastIndexOf(QLatin1Char('/')));
    const int dot = static_cast<int>(fileName.lastIndexOf(QLatin1Char('.')));
    const QString stem = dot > slash ? fileName.left(dot) : fileName;
    return stem + QLatin1Char('.') + extension;
}

TfrmSaveLut::TfrmSaveLut(TLUT& lut, const TCalibrationMapping* mapping, QWidget* parent)
    : QDialog(parent), lut_(&lut), mapping_(mapping) {
    BuildControls();
}

TfrmSaveLut::TfrmSaveLut(const TLUT& loaded, QWidget* parent) : QDialog(parent), loaded_(&loaded) {
    BuildControls();
}

void TfrmSaveLut::BuildControls() {
    if (LastLutFolder.isEmpty()) LastLutFolder = LastFolder("LutSave");
    setObjectName(QStringLiteral("frmSaveLut"));
    setWindowTitle(QStringLiteral("Save LUT file"));
    QFont dialogFont(QStringLiteral("Arial"));
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    setFixedSize(496, 244);

    auto label = [this](const char* name, const QString& text, int left, int top) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->move(left, top);
        l->adjustSize();
        return l;
    };
    Label4 = label("Label4", QStringLiteral("Output LUT Format"), 25, 36);
    cbxOutFormat = new QComboBox(this);
    cbxOutFormat->setObjectName(QStringLiteral("cbxOutFormat"));
    cbxOutFormat->setGeometry(128, 32, 297, 23);

    Label1 = label("Label1", QStringLiteral("Output LUT File"), 25, 77);
    edtLUTFile = new QLineEdit(this);
    edtLUTFile->setObjectName(QStringLiteral("edtLUTFile"));
    edtLUTFile->setGeometry(128, 73, 297, 23);
    edtLUTFile->setReadOnly(true);
    edtLUTFile->setFocusPolicy(Qt::ClickFocus);
    QPalette buttonFace = edtLUTFile->palette();
    buttonFace.setColor(QPalette::Base, buttonFace.color(QPalette::Button));
    edtLUTFile->setPalette(buttonFace);
    edtLUTFile->setEnabled(false);

    btnSetLUTFile = new QToolButton(this);
    btnSetLUTFile->setObjectName(QStringLiteral("btnSetLUTFile"));
    btnSetLUTFile->setText(QStringLiteral("..."));
    btnSetLUTFile->setToolTip(QStringLiteral("Select the destination LUT file name"));
    btnSetLUTFile->setAutoRaise(true);
    btnSetLUTFile->setGeometry(425, 71, 45, 27);
    btnSetLUTFile->setEnabled(false);

    Label5 = label("Label5", QStringLiteral("LUT dimension size"), 25, 117);
    cbxDimSize = new QComboBox(this);
    cbxDimSize->setObjectName(QStringLiteral("cbxDimSize"));
    cbxDimSize->setGeometry(128, 113, 137, 23);
    cbxDimSize->setEditable(true);
    cbxDimSize->setInsertPolicy(QComboBox::NoInsert);
    cbxDimSize->setCompleter(nullptr);  // no inline completion: "3" must stay "3", not "32"
    cbxDimSize->addItems(SizeItems(true));
    cbxDimSize->setEditText(DefaultText);
    cbxDimSize->setEnabled(false);
    // Keys reach the box (which hands them to its edit field without filtering) or, for a
    // direct sender, the edit field itself: both are watched.
    cbxDimSize->installEventFilter(this);
    cbxDimSize->lineEdit()->installEventFilter(this);
    cbxDimSize->lineEdit()->setContextMenuPolicy(Qt::NoContextMenu);
    cbxDimSize->lineEdit()->setAcceptDrops(false);

    Label6 = label("Label6", QStringLiteral("Bits per color"), 25, 157);
    cbxBits = new QComboBox(this);
    cbxBits->setObjectName(QStringLiteral("cbxBits"));
    cbxBits->setGeometry(128, 153, 137, 23);
    cbxBits->addItem(DefaultText);
    for (int bits : SelectableBitDepths) cbxBits->addItem(QStringLiteral("%1 bit").arg(bits));
    cbxBits->setEnabled(false);

    btnSave = new QPushButton(QStringLiteral("Save"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setGeometry(264, 199, 118, 27);
    btnSave->setDefault(true);
    btnSave->setEnabled(false);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(386, 199, 84, 27);
    btnCancel->setAutoDefault(false);

    // The field column starts at 128 pixels; with a wider font than the layout was made for,
    // the fields and the dialog move right by what the labels need.
    int labelsRight = 0;
    for (const QLabel* l : {Label4, Label1, Label5, Label6}) labelsRight = std::max(labelsRight, l->geometry().right());
    const int shift = std::max(0, labelsRight + 8 - 128);
    if (shift > 0) {
        setFixedSize(496 + shift, 244);
        for (QWidget* w : std::initializer_list<QWidget*>{cbxOutFormat, edtLUTFile, btnSetLUTFile, cbxDimSize, cbxBits,
                                                           btnSave, btnCancel})
            w->move(w->x() + shift, w->y());
    }

    // The fields top to bottom, then the buttons; "..." belongs to the file row.
    btnSetLUTFile->setFocusPolicy(Qt::TabFocus);
    setTabOrder(cbxOutFormat, btnSetLUTFile);
    setTabOrder(btnSetLUTFile, cbxDimSize);
    setTabOrder(cbxDimSize, cbxBits);
    setTabOrder(cbxBits, btnSave);
    setTabOrder(btnSave, btnCancel);

    AddProfiles();
    cbxOutFormat->setCurrentIndex(-1);
    cbxBits->setCurrentIndex(0);

    connect(cbxOutFormat, &QComboBox::activated, this, [this](int) { cbxOutFormatChange(); });
    connect(btnSetLUTFile, &QToolButton::clicked, this, &TfrmSaveLut::btnSetLUTFileClick);
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmSaveLut::AddProfiles() {
    // FormCreate: the 3D profiles in registry order, each item carrying its profile's index. A
    // LUT file of 1D curves may also go out through the 1D profiles.
    const bool curvesOnly = loaded_ != nullptr && (loaded_->LutKind == lk1D || loaded_->LutKind == lkPassThrough);
    const auto& profiles = OutputProfiles();
    for (int i = 0; i < static_cast<int>(profiles.size()); ++i) {
        const TLUTFormat* format = GetLutFormat(profiles[i]->FormatIndex);
        if (format != nullptr && format->CanWrite && (format->Is3D || curvesOnly))
            cbxOutFormat->addItem(QString::fromStdString(profiles[i]->Name), i);
    }
}

const TLutOutputProfile* TfrmSaveLut::SelectedProfile() const {
    if (cbxOutFormat->currentIndex() < 0) return nullptr;
    return GetOutputProfile(cbxOutFormat->currentData().toInt());
}

void TfrmSaveLut::cbxOutFormatChange() {
    const TLutOutputProfile* profile = SelectedProfile();
    if (profile == nullptr) return;
    const TLUTFormat* format = GetLutFormat(profile->FormatIndex);
    cbxDimSize->setEnabled(profile->SizeSelectable);
    if (profile->SizeSelectable) {
        cbxDimSize->clear();
        cbxDimSize->addItems(SizeItems(format != nullptr && format->Is3D));
    }
    cbxDimSize->setCurrentIndex(0);
    cbxDimSize->setEditText(DefaultText);
    cbxBits->setEnabled(profile->BitsSelectable);
    cbxBits->setCurrentIndex(0);
    edtLUTFile->setEnabled(true);
    btnSetLUTFile->setEnabled(true);
    if (!edtLUTFile->text().isEmpty())
        edtLUTFile->setText(ChangeFileExt(edtLUTFile->text(), QString::fromStdString(profile->Extension)));
}

void TfrmSaveLut::btnSetLUTFileClick() {
    const TLutOutputProfile* profile = SelectedProfile();
    if (profile == nullptr) return;
    const QString extension = QString::fromStdString(profile->Extension);
    QFileDialog svdSetLUTFile(this);
    svdSetLUTFile.setObjectName(QStringLiteral("svdSetLUTFile"));
    svdSetLUTFile.setOption(QFileDialog::DontUseNativeDialog, true);
    svdSetLUTFile.setOption(QFileDialog::DontConfirmOverwrite, true);
    svdSetLUTFile.setAcceptMode(QFileDialog::AcceptSave);
    svdSetLUTFile.setFileMode(QFileDialog::AnyFile);
    if (!LastLutFolder.isEmpty()) svdSetLUTFile.setDirectory(LastLutFolder);
    svdSetLUTFile.setDefaultSuffix(extension);
    svdSetLUTFile.setNameFilter(QString::fromStdString(profile->Name) + QStringLiteral(" (*.") + extension +
                                QLatin1Char(')'));
    if (ExecModal(svdSetLUTFile) != QDialog::Accepted) return;
    const QString fileName = svdSetLUTFile.selectedFiles().value(0);
    if (fileName.isEmpty()) return;
    edtLUTFile->setText(fileName);
    LastLutFolder = QFileInfo(fileName).absolutePath();
    SetLastFolder("LutSave", LastLutFolder);
    btnSave->setEnabled(true);
}

int TfrmSaveLut::ResolvedSize() const {
    const TLutOutputProfile* profile = SelectedProfile();
    if (profile == nullptr) return 0;
    const QString text = cbxDimSize->currentText();
    if (text == DefaultText) return profile->DefaultSize;
    bool ok = false;
    const int size = text.toInt(&ok);
    return ok ? size : 0;
}

int TfrmSaveLut::ResolvedBits() const {
    const TLutOutputProfile* profile = SelectedProfile();
    if (profile == nullptr) return 0;
    // Item 0 is "Default"; the others list SelectableBitDepths in order.
    const int item = cbxBits->currentIndex();
    if (item >= 1 && item <= static_cast<int>(std::size(SelectableBitDepths))) return SelectableBitDepths[item - 1];
    return profile->DefaultBits;
}

bool TfrmSaveLut::btnSaveClick() {
    const TLutOutputProfile* profile = SelectedProfile();
    const QString fileName = edtLUTFile->text();
    if (profile == nullptr || fileName.isEmpty()) return false;
    const int size = ResolvedSize();
    const TLUTFormat* format = GetLutFormat(profile->FormatIndex);
    const int largest = format != nullptr && format->Is3D ? MaxLut3DSize : MaxLut1DSize;
    if (size < MinLutSize || size > largest) {
        ShowMessageBox(this, QStringLiteral("The LUT dimension size must be a number from %1 to %2.")
                                 .arg(MinLutSize)
                                 .arg(largest));
        return false;
    }
    if (QFileInfo::exists(fileName) &&
        !AskYesNo(this, QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(fileName)))
        return false;
    if (!Write(*profile, size, ResolvedBits(), fileName)) return false;  // the choices stay as they are
    ShowMessageBox(this, QStringLiteral("The LUT file has been saved:\n%1").arg(fileName));
    accept();
    return true;
}

bool TfrmSaveLut::Write(const TLutOutputProfile& profile, int size, int bits, const QString& fileName) {
    const std::string target = QFile::encodeName(fileName).toStdString();
    return RunCommand(this, [&] {
        // Large tables take seconds: written on a worker, with progress and Cancel.
        RunWithProgress(this, QStringLiteral("Writing %1").arg(QFileInfo(fileName).fileName()),
                        [&](TJobProgress& progress) {
                            if (lut_ != nullptr) {
                                SaveCalibration(*lut_, mapping_, profile, size, bits, target, &progress);
                                return;
                            }
                            const bool to3D = GetLutFormat(profile.FormatIndex)->Is3D;
                            auto out = std::make_unique<TLUT>();
                            ResampleLut(*loaded_, to3D, size, *out);
                            progress.CheckCancelled();
                            SaveThroughProfile(profile, *out, bits, target);
                        });
    });
}

bool TfrmSaveLut::cbxDimSizeKeyPress(QKeyEvent* event) {
    QLineEdit* edit = cbxDimSize->lineEdit();
    if (event->key() == Qt::Key_Backspace) {
        if (edit->text() == DefaultText) edit->clear();
        return false;
    }
    // Pasting would bypass the character rules.
    if (event->matches(QKeySequence::Paste)) return true;
    const QString text = event->text();
    if (text.isEmpty() || event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
    if (!text.at(0).isPrint()) return false;  // Enter, Esc, Tab: not characters of the box
    if (edit->text() == DefaultText) edit->clear();
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return true;
    if (edit->text().size() >= MaxTypedDigits && !edit->hasSelectedText()) return true;
    return false;
}

void TfrmSaveLut::cbxDimSizeKeyDown(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && cbxDimSize->lineEdit()->text() == DefaultText)
        cbxDimSize->lineEdit()->clear();
}

bool TfrmSaveLut::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == cbxDimSize || watched == cbxDimSize->lineEdit()) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        cbxDimSizeKeyDown(key);
        if (cbxDimSizeKeyPress(key)) return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmSaveLut::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Alt) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tintavo
