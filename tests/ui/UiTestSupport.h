// Helpers shared by the desktop program's tests: chart pictures to open, answering modal
// dialogs without blocking, and dragging over the viewer.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "engine/Calibration.h"
#include "lut/Bitmap.h"
#include "ui/MainForm.h"

class QWidget;

namespace tintavo::test {

// A photograph-like picture of a chart: a dark surround, the chart's patches inside `chart`
// (each cell with a thin black border), their reference colours changed by a camera-like cast
// (gain and offset per channel) so that the calibration has something to correct.
TBitmap24 RenderChart(int width, int height, QRect chart, TChartType type);

// Writes the bitmap as a PNG (or JPEG/BMP by extension) through the core's picture writer.
void SaveBitmap(const TBitmap24& bitmap, const QString& fileName);

// Answers modal dialogs. Message and error boxes are recorded and closed; any other dialog is
// handed to the next queued handler (which returns the dialog's result), or rejected when the
// queue is empty.
class TModalAnswers {
public:
    TModalAnswers();
    ~TModalAnswers();

    void Queue(std::function<int(QDialog&)> handler) { handlers_.push_back(std::move(handler)); }
    // Chooses `fileName` in the next file dialog.
    void QueueFileName(const QString& fileName);
    // Answers the next Save dialog as a user does: types "Cube" in the profile list, takes the
    // next item ("Cube 3D Davinci"), chooses `fileName` and saves. Rejects the dialog when the
    // list picked another profile.
    void QueueSaveAsDavinciCube(const QString& fileName);

    QStringList Messages;  // texts of information boxes, in order
    QStringList Errors;    // texts of error boxes, in order
    QStringList Questions;  // texts of Yes/No questions, in order; answered with AnswerYes
    bool AnswerYes = false;
    QStringList BoxTitles;  // window titles of every box, in order
    QStringList Unexpected;  // object names of dialogs nobody expected
    int Pending() const { return static_cast<int>(handlers_.size()); }

private:
    std::vector<std::function<int(QDialog&)>> handlers_;
};

// Presses the left button at `from`, moves to `to` in a few steps, releases there.
void Drag(QWidget* widget, QPoint from, QPoint to);

// The widget's picture as painted (an RGB32 image).
QImage Grab(QWidget* widget);

// The main window under test, one per test function: Start() in init(), Stop() in cleanup().
class TMainWindowFixture {
public:
    TfrmMain* Form = nullptr;
    TModalAnswers* Answers = nullptr;

    // Tips off (they would take the focus from the window), modal dialogs answered, the window
    // shown at 1100 x 800. False when it never got on the screen.
    bool Start();
    // Deletes the window and the answers. What went wrong meanwhile (dialogs nobody expected, a
    // wait cursor left on), or "" when nothing did.
    QString Stop();

    // A control of the window by object name; a missing one ends the test program.
    template <typename T>
    T* Find(const char* name) const {
        T* w = Form->findChild<T*>(QString::fromLatin1(name));
        if (w == nullptr) qFatal("no control %s", name);
        return w;
    }
    // The viewer point of working-image pixel (x, y).
    QPoint ViewerPoint(int x, int y) const;
    // Drags a selection over the working-image rectangle, top left to bottom right.
    void SelectArea(QRect area) const;
};

}  // namespace tintavo::test
