// qt-updater: a window that keeps a local file up to date from a URL with
// kwinet's web updater. The progress dialog, its Cancel button and the logon
// prompt (on a 401 or 407) are Qt dialogs, through the Qt backend that the
// program installs once its QApplication exists.
//
//   qt-updater [--url URL] [--local FILE] [--run]
//
// --run clicks Update at once and quits when the update ends: exit status 0
// when the file was downloaded or was already current, 1 otherwise.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>

#include "kwinet/core/Application.h"
#include "kwinet/ui/qt/QtBackend.h"
#include "kwinet/web/kwiupdate.h"

namespace {

kwinet::String ToString(const QString& s) {
  return kwinet::String(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size()));
}

QString ToQString(const kwinet::String& s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

// Points the updater at URL: http, https or ftp, with its port and user
// info. False for anything else.
bool SetUrl(kwinet::TKwWebUpdater& updater, const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  if (scheme == "http")
    updater.SetService(kwinet::isHTTP);
  else if (scheme == "https")
    updater.SetService(kwinet::isHTTPS);
  else if (scheme == "ftp")
    updater.SetService(kwinet::isFTP);
  else
    return false;
  if (url.host().isEmpty()) return false;
  updater.SetHost(ToString(url.host()));
  if (url.port() > 0) updater.SetPort(static_cast<std::uint16_t>(url.port()));
  if (!url.userName().isEmpty()) updater.SetUser(ToString(url.userName()));
  if (!url.password().isEmpty()) updater.SetPassword(ToString(url.password()));
  // An HTTP path goes on the wire as written; an FTP path is a file name.
  QString path = url.path(scheme == "ftp" ? QUrl::FullyDecoded : QUrl::FullyEncoded);
  if (path.isEmpty()) path = "/";
  if (scheme != "ftp" && url.hasQuery()) path += "?" + url.query(QUrl::FullyEncoded);
  updater.SetRemoteFileName(ToString(path));
  return true;
}

// The local copy that a URL suggests: its file name in the current folder.
QString DefaultLocal(const QString& url) {
  const QString name = QFileInfo(QUrl(url).path()).fileName();
  return name.isEmpty() ? QString() : QDir::current().filePath(name);
}

class TUpdaterWindow : public QWidget {
 public:
  TUpdaterWindow() {
    setWindowTitle("Qt updater");
    auto* form = new QFormLayout;
    FUrl = new QLineEdit;
    FUrl->setObjectName("url");
    FUrl->setPlaceholderText("http://host/path/file");
    FLocal = new QLineEdit;
    FLocal->setObjectName("local");
    form->addRow("&URL:", FUrl);
    form->addRow("&Local file:", FLocal);
    FUpdate = new QPushButton("&Update");
    FUpdate->setObjectName("update");
    FUpdate->setDefault(true);
    FStatus = new QLabel("Ready");
    FStatus->setObjectName("status");
    FStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(FUpdate, 0, Qt::AlignRight);
    layout->addWidget(FStatus);
    resize(480, sizeHint().height());

    // The local file follows the URL until the user types a name of their own.
    connect(FUrl, &QLineEdit::textEdited, this, [this](const QString& url) {
      if (!FLocalEdited) FLocal->setText(DefaultLocal(url));
    });
    connect(FLocal, &QLineEdit::textEdited, this, [this] { FLocalEdited = true; });
    connect(FUpdate, &QPushButton::clicked, this, [this] { RunUpdate(); });
  }

  void SetUrl(const QString& url) {
    FUrl->setText(url);
    if (!FLocalEdited) FLocal->setText(DefaultLocal(url));
  }
  void SetLocal(const QString& local) {
    FLocal->setText(local);
    FLocalEdited = true;
  }
  void ClickUpdate() { FUpdate->click(); }
  // Whether the last update left the local file current.
  bool Succeeded() const { return FSucceeded; }

 private:
  void RunUpdate() {
    FSucceeded = false;
    kwinet::TKwWebUpdater updater(nullptr);
    if (!::SetUrl(updater, QUrl(FUrl->text().trimmed()))) {
      FStatus->setText("Not an http, https or ftp URL");
      return;
    }
    if (FLocal->text().isEmpty()) {
      FStatus->setText("No local file");
      return;
    }
    updater.SetLocalFileName(ToString(FLocal->text()));
    updater.StatusDialog()->SetEnabled(true);
    updater.SetLoginPrompt(true);
    FUpdate->setEnabled(false);
    FStatus->setText("Updating...");
    try {
      updater.Execute();
      const kwinet::TKwIStatus status = updater.Status();
      QString text = ToQString(kwinet::KwIStatusName(status));
      if (!updater.ErrorText().empty()) text += ": " + ToQString(updater.ErrorText());
      FStatus->setText(text);
      FSucceeded = status == kwinet::isFinished || status == kwinet::isSkipped;
    } catch (const kwinet::Exception& e) {
      FStatus->setText("Failed: " + ToQString(e.Message()));
    }
    FUpdate->setEnabled(true);
  }

  QLineEdit* FUrl;
  QLineEdit* FLocal;
  QPushButton* FUpdate;
  QLabel* FStatus;
  bool FLocalEdited = false;
  bool FSucceeded = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCommandLineParser options;
  options.setApplicationDescription("Keeps a local file up to date from a URL, with kwinet's web updater.");
  options.addHelpOption();
  const QCommandLineOption url("url", "The remote file (http://, https:// or ftp://).", "URL");
  const QCommandLineOption local("local", "The local copy (default: the URL's file name in this folder).", "FILE");
  const QCommandLineOption run("run", "Click Update at once and quit when it ends: 0 when the file is current.");
  options.addOption(url);
  options.addOption(local);
  options.addOption(run);
  options.process(app);

  // After the QApplication: the backend uses it rather than making its own.
  std::unique_ptr<kwinet::TQtBackend> backend;
  try {
    backend = std::make_unique<kwinet::TQtBackend>();
  } catch (const kwinet::Exception& e) {
    std::fprintf(stderr, "qt-updater: %s\n", e.what());
    return 2;
  }
  kwinet::Application->SetBackend(std::move(backend));
  kwinet::Application->SetTitle(u"Qt updater");

  int code = 0;
  {
    TUpdaterWindow window;
    if (options.isSet(url)) window.SetUrl(options.value(url));
    if (options.isSet(local)) window.SetLocal(options.value(local));
    window.show();
    if (options.isSet(run)) {
      QTimer::singleShot(0, &window, [&window] {
        window.ClickUpdate();
        QApplication::exit(window.Succeeded() ? 0 : 1);
      });
    }
    code = app.exec();
  }
  // The backend goes before the QApplication it works with.
  kwinet::Application->SetBackend(nullptr);
  return code;
}
