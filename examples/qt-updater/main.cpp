// qt-updater: a window that keeps local files up to date from URLs with
// kwinet's web updater, several at once. Each file has a row of its own: its
// URL, its local copy, a progress bar and a Cancel button. Update runs every
// row's updater as a job on a worker thread (ExecuteAsync); the jobs' events
// (progress, the logon prompt on a 401 or 407, the end) come back to the GUI
// thread through Qt's event loop, so the window answers input throughout.
//
//   qt-updater [--url URL]... [--local FILE]... [--run] [--echo-keys]
//
// The n-th --local is the local copy of the n-th --url.
// --run clicks Update at once and quits when every job has ended: exit
// status 0 when every file was downloaded or was already current, 1
// otherwise. --echo-keys prints a line for each key pressed in the window,
// with the time of the monotonic clock in nanoseconds (for measuring how
// quickly the window answers while downloads run).
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "kwinet/core/Application.h"
#include "kwinet/core/Jobs.h"
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

// One file: its line of the window and the updater that fetches it. The
// updater outlives its job: freeing it would cancel the job and wait.
class TDownloadRow {
 public:
  TDownloadRow(QGridLayout* grid, int row, std::function<void()> ended) : FEnded(std::move(ended)) {
    const QString n = QString::number(row);
    FUrl = new QLineEdit;
    FUrl->setObjectName("url" + n);
    FUrl->setPlaceholderText("http://host/path/file");
    FLocal = new QLineEdit;
    FLocal->setObjectName("local" + n);
    FBar = new QProgressBar;
    FBar->setObjectName("progress" + n);
    FBar->setRange(0, 1000);
    FBar->setValue(0);
    FBar->setTextVisible(false);
    FCancel = new QPushButton("Cancel");
    FCancel->setObjectName("cancel" + n);
    FCancel->setEnabled(false);
    FStatus = new QLabel("Ready");
    FStatus->setObjectName("status" + n);
    FStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(FUrl, 2 * row, 0);
    grid->addWidget(FLocal, 2 * row, 1);
    grid->addWidget(FCancel, 2 * row, 2);
    grid->addWidget(FBar, 2 * row + 1, 0);
    grid->addWidget(FStatus, 2 * row + 1, 1, 1, 2);

    // The local file follows the URL until the user types a name of their own.
    QObject::connect(FUrl, &QLineEdit::textEdited, [this](const QString& url) {
      if (!FLocalEdited) FLocal->setText(DefaultLocal(url));
    });
    QObject::connect(FLocal, &QLineEdit::textEdited, [this] { FLocalEdited = true; });
    QObject::connect(FCancel, &QPushButton::clicked, [this] {
      if (FUpdater && FUpdater->Job()) FUpdater->Job()->Cancel();
    });
  }

  void SetUrl(const QString& url) {
    FUrl->setText(url);
    if (!FLocalEdited) FLocal->setText(DefaultLocal(url));
  }
  void SetLocal(const QString& local) {
    FLocal->setText(local);
    FLocalEdited = true;
  }
  bool Empty() const { return FUrl->text().trimmed().isEmpty(); }
  bool Running() const { return FRunning; }
  bool Succeeded() const { return FSucceeded; }

  // Starts the row's job; false (with the reason shown) when it cannot.
  bool Start() {
    FSucceeded = false;
    // The row's previous job has ended (Update waits for every row), so the
    // old updater goes at once.
    FUpdater = std::make_unique<kwinet::TKwWebUpdater>(nullptr);
    if (!::SetUrl(*FUpdater, QUrl(FUrl->text().trimmed()))) {
      FStatus->setText("Not an http, https or ftp URL");
      return false;
    }
    if (FLocal->text().isEmpty()) {
      FStatus->setText("No local file");
      return false;
    }
    FUpdater->SetLocalFileName(ToString(FLocal->text()));
    // Progress shows in the row, not in a dialog of its own.
    FUpdater->StatusDialog()->SetEnabled(false);
    FUpdater->SetLoginPrompt(true);
    FUpdater->OnProgress64 = [this](kwinet::TObject*, std::int64_t cur, std::int64_t max, bool&) {
      if (max <= 0) {
        FBar->setRange(0, 0);  // a size not known: the bar only moves
        return;
      }
      FBar->setRange(0, 1000);
      FBar->setValue(static_cast<int>(cur * 1000 / max));
    };
    FBar->setRange(0, 1000);
    FBar->setValue(0);
    FStatus->setText("Updating...");
    try {
      const kwinet::TJobHandle job = FUpdater->ExecuteAsync();
      job->WhenFinished([this] { Finish(); });
    } catch (const kwinet::Exception& e) {
      FStatus->setText("Failed: " + ToQString(e.Message()));
      return false;
    }
    FRunning = true;
    FCancel->setEnabled(true);
    return true;
  }

 private:
  // On the GUI thread, once the job has ended.
  void Finish() {
    const kwinet::TJobHandle& job = FUpdater->Job();
    switch (job->State()) {
      case kwinet::jsDone: {
        // A job that ran to its end: the updater's status says how it went.
        const kwinet::TKwIStatus status = FUpdater->Status();
        FSucceeded = status == kwinet::isFinished || status == kwinet::isSkipped;
        QString text = ToQString(job->Result());
        if (!FUpdater->ErrorText().empty()) text += ": " + ToQString(FUpdater->ErrorText());
        FStatus->setText(text);
        if (FSucceeded) {
          FBar->setRange(0, 1000);
          FBar->setValue(1000);
        }
        break;
      }
      case kwinet::jsCancelled:
        FStatus->setText("Cancelled");
        break;
      default:
        FStatus->setText("Failed: " + ToQString(job->ErrorText()));
        break;
    }
    FRunning = false;
    FCancel->setEnabled(false);
    FEnded();
  }

  std::function<void()> FEnded;
  QLineEdit* FUrl;
  QLineEdit* FLocal;
  QProgressBar* FBar;
  QPushButton* FCancel;
  QLabel* FStatus;
  bool FLocalEdited = false;
  bool FRunning = false;
  bool FSucceeded = false;
  std::unique_ptr<kwinet::TKwWebUpdater> FUpdater;
};

class TUpdaterWindow : public QWidget {
 public:
  explicit TUpdaterWindow(int rows) {
    setWindowTitle("Qt updater");
    auto* layout = new QVBoxLayout(this);
    FGrid = new QGridLayout;
    FGrid->setColumnStretch(0, 3);
    FGrid->setColumnStretch(1, 2);
    layout->addLayout(FGrid);
    for (int i = 0; i < rows; ++i) AddRow();
    FNotes = new QLineEdit;
    FNotes->setObjectName("notes");
    FNotes->setPlaceholderText("Notes (the window answers while files download)");
    layout->addWidget(FNotes);
    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton("&Add a file");
    add->setObjectName("add");
    FUpdate = new QPushButton("&Update");
    FUpdate->setObjectName("update");
    FUpdate->setDefault(true);
    buttons->addWidget(add);
    buttons->addStretch();
    buttons->addWidget(FUpdate);
    layout->addLayout(buttons);
    resize(640, sizeHint().height());
    connect(add, &QPushButton::clicked, this, [this] { AddRow(); });
    connect(FUpdate, &QPushButton::clicked, this, [this] { RunUpdate(); });
  }
  // Rows go first: each one's updater cancels and waits for its job.
  ~TUpdaterWindow() override { FRows.clear(); }

  TDownloadRow& Row(std::size_t i) {
    while (FRows.size() <= i) AddRow();
    return *FRows[i];
  }
  void ClickUpdate() { FUpdate->click(); }
  QLineEdit* Notes() const { return FNotes; }
  // Called once every job of an Update has ended.
  std::function<void()> OnAllEnded;
  // Whether every row of the last Update left its file current.
  bool Succeeded() const {
    for (const auto& row : FRows)
      if (!row->Empty() && !row->Succeeded()) return false;
    return true;
  }

 private:
  void AddRow() {
    FRows.push_back(std::make_unique<TDownloadRow>(FGrid, static_cast<int>(FRows.size()), [this] { RowEnded(); }));
  }

  void RunUpdate() {
    FUpdate->setEnabled(false);
    for (auto& row : FRows)
      if (!row->Empty()) row->Start();
    RowEnded();  // nothing may have started
  }

  void RowEnded() {
    for (const auto& row : FRows)
      if (row->Running()) return;
    FUpdate->setEnabled(true);
    if (OnAllEnded) OnAllEnded();
  }

  QGridLayout* FGrid;
  QLineEdit* FNotes;
  QPushButton* FUpdate;
  std::vector<std::unique_ptr<TDownloadRow>> FRows;
};

// Prints the monotonic time of each key pressed in the window.
class TKeyEcho : public QObject {
 protected:
  bool eventFilter(QObject* target, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && target->isWidgetType() &&
        static_cast<QWidget*>(target) == QApplication::focusWidget()) {
      const auto now = std::chrono::steady_clock::now().time_since_epoch();
      std::printf("key %s %lld\n", qPrintable(static_cast<QKeyEvent*>(event)->text()),
                  static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
      std::fflush(stdout);
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCommandLineParser options;
  options.setApplicationDescription("Keeps local files up to date from URLs, several at once, with kwinet's web updater.");
  options.addHelpOption();
  const QCommandLineOption url("url", "A remote file (http://, https:// or ftp://); one row each, in order.", "URL");
  const QCommandLineOption local("local", "The local copy of the URL of the same place (the first --local for the first --url...; default: the URL's file name in this folder).", "FILE");
  const QCommandLineOption run("run", "Click Update at once and quit when every job ends: 0 when every file is current.");
  const QCommandLineOption echo("echo-keys", "Print the monotonic time in nanoseconds of each key pressed in the window.");
  options.addOption(url);
  options.addOption(local);
  options.addOption(run);
  options.addOption(echo);
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
    const QStringList urls = options.values(url);
    TUpdaterWindow window(std::max<int>(3, static_cast<int>(urls.size())));
    const QStringList locals = options.values(local);
    for (qsizetype i = 0; i < urls.size(); ++i) {
      window.Row(static_cast<std::size_t>(i)).SetUrl(urls[i]);
      if (i < locals.size()) window.Row(static_cast<std::size_t>(i)).SetLocal(locals[i]);
    }
    TKeyEcho keys;
    if (options.isSet(echo)) app.installEventFilter(&keys);
    window.show();
    window.Notes()->setFocus();
    if (options.isSet(run)) {
      window.OnAllEnded = [&window] { QApplication::exit(window.Succeeded() ? 0 : 1); };
      QTimer::singleShot(0, &window, [&window] { window.ClickUpdate(); });
    }
    code = app.exec();
  }
  // The backend goes before the QApplication it works with.
  kwinet::Application->SetBackend(nullptr);
  return code;
}
