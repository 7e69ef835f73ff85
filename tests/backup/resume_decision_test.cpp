#include "backup/resume_decision.h"

#include <gtest/gtest.h>

using namespace backup;

namespace {

TEST(ResumeDecision, WhatTheServerHoldsAndWhatThisRunStarted) {
  const QString today = "/sauvegarde/mercredi/palvrenftp.zip";
  const QString yesterday = "/sauvegarde/mardi/palvrenftp.zip";
  constexpr std::int64_t GiB = std::int64_t{1} << 30;
  struct Case {
    const char* name;
    std::int64_t serverSize;  // -1: no file
    std::int64_t archiveSize;
    QString started;  // what this run's transfer began to write
    ResumeDecision expected;
  };
  const Case cases[] = {
      {"own partial upload", 1000, 5000, today, {ResumeAction::AppendFrom, 1000}},
      {"own upload one byte short", 4999, 5000, today, {ResumeAction::AppendFrom, 4999}},
      {"own upload, one byte arrived", 1, 5000, today, {ResumeAction::AppendFrom, 1}},
      {"own partial upload past 4 GiB", 5 * GiB + 3, 6 * GiB, today, {ResumeAction::AppendFrom, 5 * GiB + 3}},
      {"own upload complete", 5000, 5000, today, {ResumeAction::Done, 0}},
      {"own upload complete past 4 GiB", 6 * GiB, 6 * GiB, today, {ResumeAction::Done, 0}},
      {"own upload, nothing arrived", 0, 5000, today, {ResumeAction::StoreWhole, 0}},
      {"no file at all", -1, 5000, today, {ResumeAction::StoreWhole, 0}},
      {"server holds more", 6000, 5000, today, {ResumeAction::StoreWhole, 0}},
      // Last week's archive or an older run's: appending would build a damaged file.
      {"foreign partial file", 1000, 5000, "", {ResumeAction::StoreWhole, 0}},
      {"foreign file of the same size", 5000, 5000, "", {ResumeAction::StoreWhole, 0}},
      // Past midnight the remote name moves to the new day's folder.
      {"yesterday's partial upload", 1000, 5000, yesterday, {ResumeAction::StoreWhole, 0}},
      {"yesterday's complete upload", 5000, 5000, yesterday, {ResumeAction::StoreWhole, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ResumeDecision d = DecideResume(c.serverSize, c.archiveSize, c.started, today);
    EXPECT_EQ(static_cast<int>(d.action), static_cast<int>(c.expected.action));
    EXPECT_EQ(d.from, c.expected.from);
  }
}

}  // namespace
