// The progress bar during the transfers and the extraction, and the window's pacing.
#include <QMetaObject>
#include <QProgressBar>
#include <gtest/gtest.h>

#include <vector>

#include "platform/core/clock.h"
#include "ui_updater_form.h"
#include "update/updater_form.h"

namespace {

class UpdaterProgressTest : public ::testing::Test {
 protected:
  // Whether the window's pending events ran during call.
  template <typename F>
  bool pumpsDuring(F call) {
    bool ran = false;
    QMetaObject::invokeMethod(
        &form, [&ran] { ran = true; }, Qt::QueuedConnection);
    call();
    const bool result = ran;
    QCoreApplication::processEvents();  // leaves no queued call behind
    return result;
  }
  QProgressBar& bar() { return *form.ui->ProgressBar; }

  platform::FixedClock clock{QDateTime(QDate(2026, 12, 10), QTime(10, 0))};
  platform::ScopedClock scopedClock{clock};
  updater::TForm1 form;
};

TEST_F(UpdaterProgressTest, ReadTransfersMoveTheBarAndPumpOnlyAfterTheFirstSecond) {
  EXPECT_TRUE(pumpsDuring([&] { form.IdHTTP1WorkBegin(net::wmRead, 5000); }));
  EXPECT_EQ(bar().maximum(), 5000);
  EXPECT_EQ(bar().value(), 0);

  clock.advanceSeconds(0);
  EXPECT_FALSE(pumpsDuring([&] { form.IdHTTP1Work(net::wmRead, 1200); }));
  EXPECT_EQ(bar().value(), 1200);
  clock.set(clock.now().addMSecs(999));
  EXPECT_FALSE(pumpsDuring([&] { form.IdHTTP1Work(net::wmRead, 2000); }));
  clock.set(clock.now().addMSecs(1));
  EXPECT_TRUE(pumpsDuring([&] { form.IdHTTP1Work(net::wmRead, 3000); }));
  // The start stays where it was: every later block pumps.
  EXPECT_TRUE(pumpsDuring([&] { form.IdHTTP1Work(net::wmRead, 4000); }));
  EXPECT_EQ(bar().value(), 4000);

  // Write transfers leave the bar alone; the end of any transfer puts it back to 0.
  form.IdHTTP1WorkBegin(net::wmWrite, 10);
  form.IdHTTP1Work(net::wmWrite, 10);
  EXPECT_EQ(bar().maximum(), 5000);
  EXPECT_EQ(bar().value(), 4000);
  form.IdHTTP1WorkEnd(net::wmWrite);
  EXPECT_EQ(bar().value(), 0);
}

TEST_F(UpdaterProgressTest, ArchivesBeyondTheBarsRangeAreScaled) {
  const std::int64_t six = 6LL << 30;
  form.IdHTTP1WorkBegin(net::wmRead, six);
  EXPECT_GT(bar().maximum(), 0);
  form.IdHTTP1Work(net::wmRead, six / 2);
  EXPECT_EQ(bar().value(), bar().maximum() / 2);
  form.IdHTTP1Work(net::wmRead, six);
  EXPECT_EQ(bar().value(), bar().maximum());
}

// Qt draws a 0 to 0 range as a busy bar that never ends; no transfer may leave the bar so.
TEST_F(UpdaterProgressTest, UnknownOrEmptyLengthsKeepADefinedBar) {
  struct Case {
    const char* name;
    std::int64_t length;  // as the HTTP client announces it
    std::vector<std::int64_t> blocks;
    int shownAfterBlocks;
  };
  const Case cases[] = {
      {"no Content-Length", 0, {8192, 200000}, 0},
      {"empty page", 0, {}, 0},
      {"negative length", -1, {100}, 0},
      {"body longer than announced", 1000, {600, 1500}, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    form.IdHTTP1WorkBegin(net::wmRead, c.length);
    EXPECT_LT(bar().minimum(), bar().maximum());
    EXPECT_EQ(bar().value(), 0);
    for (std::int64_t count : c.blocks) form.IdHTTP1Work(net::wmRead, count);
    EXPECT_LT(bar().minimum(), bar().maximum());
    EXPECT_EQ(bar().value(), c.shownAfterBlocks);
    form.IdHTTP1WorkEnd(net::wmRead);
    EXPECT_LT(bar().minimum(), bar().maximum());
    EXPECT_EQ(bar().value(), 0);
  }
}

TEST_F(UpdaterProgressTest, ExtractionShowsTheWholePercentOfEachFile) {
  form.IdHTTP1WorkBegin(net::wmRead, 5000);
  bool cancel = false;
  for (auto [progress, shown] : {std::pair{0.0, 0}, {57.9, 57}, {99.99, 99}, {100.0, 100}}) {
    form.ZipArchiver1FileProgress(&form.ZipArchiver1, "PalvrenFtp", progress, zip::poExtract, zip::ppProcess, cancel);
    EXPECT_EQ(bar().maximum(), 100);
    EXPECT_EQ(bar().value(), shown) << progress;
  }
  EXPECT_FALSE(cancel);
}

}  // namespace
