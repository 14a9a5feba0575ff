// What the desktop dialogs' tests share: acting on a modal dialog while the
// library waits for it, comparing a dialog with its form model, and keeping
// a picture of it for a person to look at.
#pragma once

#include <QString>
#include <QWidget>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "kwinet/core/Forms.h"

class QDialog;

namespace kwinet::test {

// Set by the test program's main when it made no QApplication.
extern bool gOwnApplication;

// Runs Action on the modal window (dialog or message box) as soon as one
// is shown, from Qt's event loop; after Limit without one, fails the test.
void WhenModal(std::function<void(QWidget*)> Action, std::chrono::milliseconds Limit = std::chrono::seconds(10));

// Compares Dialog with Form, control by control: the widget's type, text,
// geometry, enabled and visible state, then the dialog's caption, client
// size and tab order. Adds a failure naming the control for each mismatch.
void ExpectMatchesModel(QDialog* Dialog, const TCustomForm& Form);

// Saves Widget as it looks now to qt-dialogs/NAME-PLATFORM.png in the test
// build folder and checks that the picture is whole.
void SaveShot(QWidget* Widget, const std::string& Name);

// Every text the window and its widgets give to a person or to a screen
// reader: window titles, labels, buttons, boxes as displayed, accessible
// names and descriptions, tool tips.
std::vector<QString> ShownTexts(QWidget* Window);

// A caption without its accelerator marks.
QString StripAccelerators(const QString& s);

}  // namespace kwinet::test
