#include "fmmain_fixture.h"

using namespace backup;

namespace {

class Schedule : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    buildWindows();
    QObject::connect(main.get(), &TfmMain::runStarting, [this] { ++starts; });
  }
  void tickAt(const QDate& d, const QTime& t) {
    clock.set(QDateTime(d, t));
    main->Timer1Timer();
  }
  int starts = 0;
};

TEST_F(Schedule, TargetTable) {
  struct Case {
    int hour, minute;
    QTime now;
    bool automatic;
    const char* panel;
    bool starts;
  };
  const Case cases[] = {
      {9, 5, QTime(9, 5, 0), true, "09:05:00", true},   {9, 5, QTime(9, 5, 59), true, "09:05:59", true},
      {9, 5, QTime(9, 4, 59), true, "09:04:59", false}, {9, 5, QTime(9, 6, 0), true, "09:06:00", false},
      {9, 5, QTime(19, 5, 0), true, "19:05:00", false}, {13, 0, QTime(13, 0, 30), true, "13:00:30", true},
      {0, 0, QTime(0, 0, 0), true, "00:00:00", true},   {23, 59, QTime(23, 59, 10), true, "23:59:10", true},
      {9, 5, QTime(9, 5, 0), false, "", false},
  };
  QDate day(2026, 1, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.now.toString().toStdString() + (c.automatic ? " auto" : " manual"));
    config->ui->sauvegarde_auto->setChecked(c.automatic);
    config->ui->heure_sauv->setValue(c.hour);
    config->ui->minutes_sauv->setValue(c.minute);
    main->ui->bnStart->setEnabled(false);
    main->setStatusPanelText("old");
    const int before = starts;
    day = day.addDays(1);
    tickAt(day, c.now);
    EXPECT_EQ(main->statusPanelText(), c.panel);
    EXPECT_EQ(starts - before, c.starts ? 1 : 0);
    EXPECT_EQ(main->ui->bnStart->isEnabled(), c.starts);
  }
}

TEST_F(Schedule, AtMostOneStartPerScheduledMinute) {
  config->ui->sauvegarde_auto->setChecked(true);
  config->ui->heure_sauv->setValue(9);
  config->ui->minutes_sauv->setValue(5);
  const QDate day(2026, 3, 2);
  for (const QTime t : {QTime(9, 5, 0), QTime(9, 5, 1), QTime(9, 5, 59)}) tickAt(day, t);
  EXPECT_EQ(starts, 1);
  tickAt(day.addDays(1), QTime(9, 5, 0));
  EXPECT_EQ(starts, 2);
}

TEST_F(Schedule, StartRequestsAreIgnoredWhileAnythingIsUnderWay) {
  config->ui->sauvegarde_auto->setChecked(true);
  config->ui->heure_sauv->setValue(9);
  config->ui->minutes_sauv->setValue(5);
  const auto allRequests = [&](const QDate& d) {
    tickAt(d, QTime(9, 5, 0));
    main->ui->bnStart->click();
    main->Demarrer1->trigger();
  };
  // A pending retry (its timers armed) holds every start off.
  for (QTimer* t : {main->Timer4, main->Timer5}) {
    t->start();
    main->ui->bnStart->setEnabled(false);
    allRequests(QDate(2026, 3, t == main->Timer4 ? 3 : 4));
    EXPECT_EQ(starts, 0);
    EXPECT_FALSE(main->ui->bnStart->isEnabled());
    t->stop();
  }
  main->ui->bnStart->setEnabled(true);
  // A request that arrives while the run pumps messages is dropped too.
  QObject::connect(main.get(), &TfmMain::runStarting, [&] {
    if (starts == 1) allRequests(QDate(2026, 3, 5));
  });
  main->Demarrer1->trigger();
  EXPECT_EQ(starts, 1);
  EXPECT_FALSE(main->isBusy());
}

}  // namespace
