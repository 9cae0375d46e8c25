#include "serial/SioClasses.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace serial;
using namespace std::chrono_literals;

using ::testing::StrEq;
using ::testing::ThrowsMessage;

TEST(SioPersistent, UpdatesBracketNotifications) {
  TSioEventChars chars;
  int changes = 0;
  chars.OnChange = [&](TSioPersistent* sender) {
    EXPECT_EQ(sender, &chars);
    ++changes;
  };
  chars.SetXonChar(17);  // no comparison with the old value
  EXPECT_EQ(changes, 1);
  chars.BeginUpdate();
  chars.SetErrorChar('?');
  chars.SetEventChar('!');
  EXPECT_EQ(changes, 1);
  chars.EndUpdate();
  EXPECT_EQ(changes, 2);
  chars.EndUpdate();  // unbalanced: the count stays at 0 and it notifies again
  EXPECT_EQ(chars.UpdateCount, 0);
  EXPECT_EQ(changes, 3);
}

TEST(SioPersistent, AssignCopiesEventCharsOnceAndRefusesOtherTypes) {
  TSioEventChars from;
  from.SetXonChar(1);
  from.SetXoffChar(2);
  from.SetErrorChar(3);
  from.SetEventChar(4);
  TSioEventChars to;
  int changes = 0;
  to.OnChange = [&](TSioPersistent*) { ++changes; };
  to.Assign(from);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(to.XonChar(), 1);
  EXPECT_EQ(to.EventChar(), 4);
  EXPECT_THAT([&] { to.Assign(TSioPersistent{}); },
              ThrowsMessage<EConvertError>(StrEq("Cannot assign a TSioPersistent to a TSioEventChars")));
}

TEST(SioSimpleEvent, ManualResetWaits) {
  TSioSimpleEvent event;
  EXPECT_EQ(event.WaitFor(0), WaitResult::TimedOut);
  event.Signal();
  EXPECT_EQ(event.WaitFor(0), WaitResult::Signaled);
  EXPECT_EQ(event.WaitFor(0), WaitResult::Signaled);  // stays signalled
  event.Reset();
  EXPECT_EQ(event.WaitFor(20), WaitResult::TimedOut);
  event.Reset();  // resetting a reset event is harmless

  std::thread signaller([&] {
    std::this_thread::sleep_for(20ms);
    event.Signal();
  });
  EXPECT_EQ(event.WaitFor(0xFFFFFFFFu), WaitResult::Signaled);
  signaller.join();
}

TEST(SioCriticalSection, IsReentrantForItsHolder) {
  TSioCriticalSection section;
  section.Enter();
  section.Enter();
  section.Leave();
  bool entered = false;
  std::thread other([&] {
    TSioLock lock(section);
    entered = true;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(entered);  // still held once
  section.Leave();
  other.join();
  EXPECT_TRUE(entered);
}
