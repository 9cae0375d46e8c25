#include "shell/PageLoad.h"

#include <gtest/gtest.h>

using shell::TPageLoad;

namespace {

// A page asked for and started, as the browser reports a new address taken.
TPageLoad Loading() {
  TPageLoad load;
  load.Asked();
  load.Started();
  return load;
}

}  // namespace

TEST(PageLoad, TheTimeLimitTakesDownOnlyAPageNotYetShown) {
  TPageLoad asked;
  asked.Asked();
  EXPECT_TRUE(asked.TimedOut()) << "the browser never started the load";
  EXPECT_TRUE(Loading().TimedOut());

  TPageLoad shown = Loading();
  EXPECT_TRUE(shown.Shown()) << "the page shown ends its time limit";
  EXPECT_FALSE(shown.Shown()) << "its document completing later is no news";
  EXPECT_FALSE(shown.TimedOut()) << "a shown page stays while its parts come";
  // The page's own links load in its place: the shown page stays while they come.
  shown.Started();
  EXPECT_TRUE(shown.Shown());
  EXPECT_FALSE(shown.TimedOut());

  TPageLoad failed = Loading();
  EXPECT_TRUE(failed.Failed());
  EXPECT_FALSE(failed.TimedOut()) << "a failure is said once";
  EXPECT_FALSE(failed.Shown());

  // A link of a shown page that fails is said.
  shown.Started();
  EXPECT_TRUE(shown.Failed());
}

TEST(PageLoad, EveryAddressAskedForStartsItsOwnTimeLimit) {
  // Asked again while the first is on its way, and again once a page is shown:
  // each time the new page is the one not yet shown.
  TPageLoad load = Loading();
  load.Asked();
  load.Started();
  EXPECT_TRUE(load.TimedOut());

  load = Loading();
  ASSERT_TRUE(load.Shown());
  load.Asked();
  load.Started();
  EXPECT_TRUE(load.TimedOut()) << "the new page is not shown because the old one was";

  load = Loading();
  ASSERT_TRUE(load.Failed());
  load.Asked();
  load.Started();
  EXPECT_TRUE(load.Shown());
}

TEST(PageLoad, ReportsOfALoadGivenUpCountForNothing) {
  // Between the new address and the browser's start of it, what the top frame
  // reports is of the load it gave up.
  TPageLoad load = Loading();
  load.Asked();
  EXPECT_FALSE(load.Failed());
  EXPECT_FALSE(load.Shown());
  load.Started();
  EXPECT_TRUE(load.TimedOut()) << "the earlier page's document did not show the new one";

  load = Loading();
  load.Asked();
  EXPECT_FALSE(load.Failed());
  load.Started();
  EXPECT_TRUE(load.Failed()) << "the new load's own failure counts";
}
