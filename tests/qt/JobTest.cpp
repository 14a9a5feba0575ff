// A job's events in a Qt application: they go through Qt's own event loop,
// which runs them on the GUI thread, with no call into the library there.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <thread>
#include <vector>

#include "kwinet/core/Jobs.h"
#include "kwinet/ui/ScriptedBackend.h"
#include "kwinet/ui/qt/QtBackend.h"

namespace kwinet {
namespace {

TEST(QtJobs, AJobsEventsRunOnTheGuiThreadFromQtsEventLoop) {
  TBackendScope<TQtBackend> ui;
  const auto gui = std::this_thread::get_id();
  std::vector<std::thread::id> seen;
  auto job = TJob::Start([&] {
    for (int i = 0; i < 3; ++i) FireEvent([&](TObject*) { seen.push_back(std::this_thread::get_id()); }, nullptr);
    return String(u"done");
  });
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (job->Finished()) loop.quit();
  });
  poll.start(5);
  QTimer::singleShot(30000, &loop, &QEventLoop::quit);  // a bound for a stuck job, not a measure
  loop.exec();
  ASSERT_EQ(job->State(), jsDone);
  ASSERT_EQ(seen.size(), 3u);
  for (const auto& id : seen) EXPECT_EQ(id, gui);
}

}  // namespace
}  // namespace kwinet
