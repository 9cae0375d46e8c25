// The serial component's hand-off into the Qt event loop, as the program uses it.
#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>

#include "serial/QtMainThreadInvoker.h"
#include "serial/SioComm.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TestSupport.h"

TEST(QtHandOff, EventsReachHandlersOnTheMainThreadAndErrorsTheApplication) {
  testsupport::TempDir dir;
  testsupport::PseudoTerminal printer;
  printer.LinkAs(dir.dir(), "COM3");
  std::vector<std::string> shown;
  auto invoker = std::make_shared<serial::QtMainThreadInvoker>(
      [&](const std::exception& error) { shown.push_back(error.what()); });
  serial::TSioComm sio(nullptr, {platform::SystemSerialDevices(), invoker, dir.dir()});
  sio.SetPortNum(3);
  sio.SetMonitorEvents({serial::TSioCommEvent::ceData});
  int calls = 0;
  const auto main = std::this_thread::get_id();
  sio.OnData = [&](serial::TSioCustomComm*, std::int32_t count) {
    EXPECT_EQ(std::this_thread::get_id(), main);
    EXPECT_GT(count, 0);
    if (++calls == 1) throw serial::ESioCommError("handler failed");
  };
  sio.Open();
  printer.Send("a");
  ASSERT_TRUE(QTest::qWaitFor([&] { return calls == 1; }, 5000)) << calls;
  printer.Send("b");
  ASSERT_TRUE(QTest::qWaitFor([&] { return calls == 2; }, 5000)) << calls;
  EXPECT_EQ(shown, std::vector<std::string>{"handler failed"});
  EXPECT_FALSE(invoker->ApplicationTerminating());
  sio.Close();
}
