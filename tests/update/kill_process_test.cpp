// Termination of the running backup program, over stand-ins started by the test.
#include <gtest/gtest.h>

#include "fake_program.h"
#include "platform/core/process_terminate.h"
#include "support/temp_dir.h"
#include "update/kill_process.h"

namespace updatertest {
namespace {

class KillProcessTest : public ::testing::Test {
 protected:
  void TearDown() override { updater::setProcessSource(nullptr); }
  FakeProgram& start(const std::string& relative) {
    installSleepCopy(dir / relative);
    programs.push_back(std::make_unique<FakeProgram>(dir / relative));
    return *programs.back();
  }
  // The walk sees exactly these processes, in this order.
  void see(const std::vector<FakeProgram*>& order) {
    updater::setProcessSource([order] {
      std::vector<platform::ProcessEntry> out;
      for (FakeProgram* p : order) {
        for (const auto& e : processesAmong({p->pid()})) out.push_back(e);
      }
      return out;
    });
  }

  testsupport::TempDir dir;
  std::vector<std::unique_ptr<FakeProgram>> programs;
};

TEST_F(KillProcessTest, OnlyTheFirstMatchIsTerminatedWhateverTheCase) {
  FakeProgram& other = start("a/sleepy");
  FakeProgram& upper = start("b/PALVRENFTP");
  FakeProgram& exact = start("c/PalvrenFtp");
  see({&other, &upper, &exact});

  EXPECT_TRUE(updater::KillProcessByName(QStringLiteral("PalvrenFtp")));
  EXPECT_TRUE(upper.endedByKill());
  EXPECT_TRUE(other.running());
  EXPECT_TRUE(exact.running());
}

TEST_F(KillProcessTest, NoMatchOrAProcessAlreadyGoneReturnsFalse) {
  FakeProgram& other = start("a/PalvrenFtp2");
  see({&other});
  EXPECT_FALSE(updater::KillProcessByName(QStringLiteral("PalvrenFtp")));
  EXPECT_FALSE(updater::KillProcessByName(QStringLiteral("PalvrenFt")));
  EXPECT_TRUE(other.running());

  // An entry of the list whose process has ended since.
  FakeProgram& gone = start("b/PalvrenFtp");
  const auto entries = processesAmong({gone.pid()});
  ASSERT_EQ(entries.size(), 1u);
  updater::setProcessSource([entries] { return entries; });
  ASSERT_TRUE(platform::terminateProcess(gone.pid()));
  ASSERT_TRUE(gone.endedByKill());
  EXPECT_FALSE(updater::KillProcessByName(QStringLiteral("PalvrenFtp")));
}

TEST_F(KillProcessTest, TerminationChecksTheProgramStillRunningUnderThatNumber) {
  FakeProgram& p = start("a/PalvrenFtp");
  EXPECT_FALSE(platform::terminateProcess(p.pid(), "sleep"));
  EXPECT_TRUE(p.running());
  EXPECT_FALSE(platform::terminateProcess(0));
  EXPECT_FALSE(platform::terminateProcess(-1));
  EXPECT_TRUE(platform::terminateProcess(p.pid(), "PalvrenFtp"));
  EXPECT_TRUE(p.endedByKill());
}

}  // namespace
}  // namespace updatertest
