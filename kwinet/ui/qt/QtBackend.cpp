#include "kwinet/ui/qt/QtBackend.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <climits>
#include <cstdio>
#include <exception>
#include <unordered_map>

#include "kwinet/ui/qt/QtDisplay.h"
#include "kwinet/ui/qt/QtFormDialog.h"
#include "kwinet/ui/qt/QtPicture.h"

namespace kwinet {

using qt::FromQString;
using qt::ToQString;
using qt::TQtFormDialog;

namespace {

// How often the framework's timers are looked at while Qt's own event loop
// runs (QApplication::exec, a modal dialog).
constexpr int kPumpIntervalMs = 10;

// Arguments for a QApplication of our own: Qt keeps references to both.
int gArgc = 1;
char gArg0[] = "kwinet";
char* gArgv[] = {gArg0, nullptr};

void ReportLost(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "unknown exception in a timer handler\n");
  }
}

// Qt's own notes (debug, information, warnings such as "XDG_RUNTIME_DIR
// not set" under the offscreen platform) are not for the user of a program
// that made no Qt application itself: only critical and fatal messages
// reach standard error, through the handler that was there before.
QtMessageHandler gEarlierHandler = nullptr;

void QuietQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) noexcept {
  if (type != QtCriticalMsg && type != QtFatalMsg) return;
  try {
    if (gEarlierHandler)
      gEarlierHandler(type, context, message);
    else
      std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
  } catch (...) {
    // Nothing may leave a handler called by Qt.
  }
}

// Counts a wait of ours for as long as it lasts.
class TWaitScope {
 public:
  explicit TWaitScope(int& count) : FCount(count) { ++FCount; }
  ~TWaitScope() { --FCount; }
  TWaitScope(const TWaitScope&) = delete;
  TWaitScope& operator=(const TWaitScope&) = delete;

 private:
  int& FCount;
};

}  // namespace

struct TQtBackend::TImpl {
  std::unique_ptr<QApplication> OwnApplication;
  // Set while QuietQtMessages is installed (with our own application only).
  bool QuietMessages = false;
  std::unique_ptr<QTimer> Pump;
  // The dialog of each form shown now, modal or not.
  std::unordered_map<const TCustomForm*, TQtFormDialog*> Dialogs;
  // An exception from a timer handler run by the pump, raised again from
  // the next call into the backend.
  std::exception_ptr PumpError;
  bool Pumping = false;
  // Set while the pump runs the application's message handling: the
  // backend's own event processing is skipped then (the pump runs inside
  // Qt's loop already).
  bool PumpCall = false;
  int Idling = 0;
  // Modal dialogs and message boxes of ours open now.
  int Waiting = 0;

  void RaisePending() {
    std::exception_ptr e;
    std::swap(e, PumpError);
    for (auto& [form, dialog] : Dialogs)
      if (!e) e = dialog->TakeError();
    if (e) std::rethrow_exception(e);
  }

  void Drop(TQtFormDialog* dialog) {
    dialog->Detach();
    dialog->hide();
    // A dialog whose handler is on the stack is freed from the event loop.
    if (dialog->Busy())
      dialog->deleteLater();
    else
      delete dialog;
  }
};

TQtBackend::TQtBackend() : FImpl(std::make_unique<TImpl>()) {
  QCoreApplication* existing = QCoreApplication::instance();
  if (!existing) {
    String why;
    if (!CanShow(why)) throw Exception(why);
    gEarlierHandler = qInstallMessageHandler(QuietQtMessages);
    FImpl->QuietMessages = true;
    FImpl->OwnApplication = std::make_unique<QApplication>(gArgc, gArgv);
  } else if (!qobject_cast<QApplication*>(existing)) {
    throw Exception(u"the program's Qt application is not a QApplication: dialogs need Qt Widgets");
  }
  FImpl->Pump = std::make_unique<QTimer>();
  FImpl->Pump->setInterval(kPumpIntervalMs);
  QObject::connect(FImpl->Pump.get(), &QTimer::timeout, [this] {
    TImpl& d = *FImpl;
    // Only the installed backend runs the application's timers, never
    // inside itself, and not while a wait of the library's own is about to
    // handle them anyway.
    if (d.Pumping || d.Idling > 0 || &Application->Backend() != this) return;
    d.Pumping = true;
    d.PumpCall = true;
    try {
      Application->ProcessMessages();
    } catch (...) {
      // Raised again from the wait of ours that runs Qt's loop now (a
      // modal dialog); with none, the program's own loop runs and there is
      // no caller to give it to: it is told on standard error.
      if (d.Waiting > 0) {
        if (!d.PumpError) d.PumpError = std::current_exception();
        // The wait ends at once, so that its caller gets it now.
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->done(QDialog::Rejected);
      } else {
        ReportLost(std::current_exception());
      }
    }
    d.PumpCall = false;
    d.Pumping = false;
  });
  FImpl->Pump->start();
}

TQtBackend::~TQtBackend() {
  FImpl->Pump.reset();
  auto dialogs = std::move(FImpl->Dialogs);
  for (auto& [form, dialog] : dialogs) {
    dialog->Detach();
    delete dialog;
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  FImpl->OwnApplication.reset();
  if (FImpl->QuietMessages) qInstallMessageHandler(gEarlierHandler);
}

bool TQtBackend::CanShow(String& Why) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
    Why.clear();
    return true;
  }
  return qt::DisplayReachable(Why);
}

QDialog* TQtBackend::DialogOf(const TCustomForm& Form) const {
  auto it = FImpl->Dialogs.find(&Form);
  if (it == FImpl->Dialogs.end()) return nullptr;
  // Whoever looks at the dialog sees the model's last state.
  it->second->Flush();
  return it->second;
}

TModalResult TQtBackend::ShowModal(TCustomForm& Form) {
  FImpl->RaisePending();
  TQtFormDialog dialog(Form, true);
  FImpl->Dialogs[&Form] = &dialog;
  dialog.Place();
  int result;
  {
    TWaitScope wait(FImpl->Waiting);
    result = dialog.exec();
  }
  FImpl->Dialogs.erase(&Form);
  if (auto e = dialog.TakeError()) std::rethrow_exception(e);
  if (dialog.Detached()) return mrCancel;
  dialog.WriteBack();
  FImpl->RaisePending();
  if (Form.ModalResult() != mrNone) return Form.ModalResult();
  return result > 0 ? result : mrCancel;
}

void TQtBackend::ShowForm(TCustomForm& Form) {
  if (auto it = FImpl->Dialogs.find(&Form); it != FImpl->Dialogs.end()) {
    it->second->Refresh();
    it->second->show();
    return;
  }
  auto* dialog = new TQtFormDialog(Form, false);
  FImpl->Dialogs[&Form] = dialog;
  dialog->Place();
  dialog->show();
  dialog->Place();
}

void TQtBackend::FormChanged(TCustomForm& Form) {
  if (auto it = FImpl->Dialogs.find(&Form); it != FImpl->Dialogs.end()) it->second->RequestRefresh();
}

void TQtBackend::HideForm(TCustomForm& Form) {
  auto it = FImpl->Dialogs.find(&Form);
  if (it == FImpl->Dialogs.end()) return;
  TQtFormDialog* dialog = it->second;
  FImpl->Dialogs.erase(it);
  // The last state is shown before the window goes.
  dialog->Flush();
  // A modal dialog lives on the stack of ShowModal: only ended there.
  if (dialog->isModal()) {
    dialog->Detach();
    dialog->done(mrCancel);
    return;
  }
  FImpl->Drop(dialog);
}

int TQtBackend::MessageBox(const String& Text, const String& Caption, int Flags) {
  FImpl->RaisePending();
  QMessageBox box;
  box.setObjectName(QStringLiteral("MessageBox"));
  box.setWindowTitle(ToQString(Caption));
  // Messages often quote what a server sent: plain text only.
  box.setTextFormat(Qt::PlainText);
  box.setText(ToQString(Text));
  switch (Flags & 0xF0) {
    case MB_ICONERROR:
      box.setIcon(QMessageBox::Critical);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONWARNING:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      break;
  }
  switch (Flags & 0x0F) {
    case MB_OKCANCEL:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case MB_YESNO:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Ok);
      break;
  }
  {
    TWaitScope wait(FImpl->Waiting);
    box.exec();
  }
  QAbstractButton* clicked = box.clickedButton();
  const QMessageBox::StandardButton answer = clicked ? box.standardButton(clicked) : QMessageBox::NoButton;
  FImpl->RaisePending();
  switch (answer) {
    case QMessageBox::Ok:
      return IDOK;
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    case QMessageBox::Cancel:
      return IDCANCEL;
    default:
      // Closed another way: the answer that consents to nothing.
      if ((Flags & 0x0F) == MB_YESNO) return IDNO;
      if ((Flags & 0x0F) == MB_OKCANCEL) return IDCANCEL;
      return IDOK;
  }
}

void TQtBackend::ProcessMessages() {
  if (FImpl->PumpCall) {
    // Called by the pump, from inside Qt's loop: nothing to process here.
    FImpl->PumpCall = false;
    return;
  }
  FImpl->RaisePending();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  FImpl->RaisePending();
}

void TQtBackend::Post(std::function<void()> Event) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(Event), Qt::QueuedConnection);
}

void TQtBackend::Idle(std::chrono::milliseconds Timeout) {
  FImpl->RaisePending();
  {
    TWaitScope idle(FImpl->Idling);
    if (Timeout.count() <= 0) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
    } else {
      // Waits for the next event, which comes at the latest from this timer.
      QTimer bound;
      bound.setSingleShot(true);
      bound.setTimerType(Qt::PreciseTimer);
      bound.start(static_cast<int>(std::min<std::chrono::milliseconds::rep>(Timeout.count(), INT_MAX)));
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
  }
  FImpl->RaisePending();
}

bool TQtBackend::Attended() const {
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

bool TQtBackend::OpenDocument(const String& FileName) {
  const QString name = ToQString(FileName);
  QUrl url(name, QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp") ||
      scheme == QLatin1String("mailto")) {
    if (!url.isValid()) return false;
  } else if (QFileInfo(name).isFile()) {
    url = QUrl::fromLocalFile(QFileInfo(name).absoluteFilePath());
  } else if (scheme == QLatin1String("file") && url.isLocalFile() && QFileInfo::exists(url.toLocalFile())) {
    url = QUrl::fromLocalFile(url.toLocalFile());
  } else {
    // Anything else may start a program of the desktop's choosing.
    return false;
  }
  return QDesktopServices::openUrl(url);
}

}  // namespace kwinet
