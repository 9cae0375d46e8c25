#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/system/DeviceNames.h"
#include "serial/SioComm.h"
#include "tests/support/FakeSerialDevice.h"
#include "tests/support/QueueInvoker.h"
#include "tests/support/TestSupport.h"

// A component on a fake COM3 whose main thread is the test's.
class FakeCommTest : public ::testing::Test {
 protected:
  FakeCommTest() : line(opener->Add(platform::ResolveDevice("COM3", dir.dir()).Path)) {}

  std::unique_ptr<serial::TSioComm> Make(std::int32_t port = 3) {
    auto comm = std::make_unique<serial::TSioComm>(nullptr, serial::TSioEnvironment{opener, invoker, dir.dir()});
    comm->SetPortNum(port);
    return comm;
  }
  // As the window's layout sets it up.
  std::unique_ptr<serial::TSioComm> MakePrinterPort() {
    auto comm = Make();
    comm->SetBaudrate(serial::TSioBaudrate::br9600);
    comm->SetMonitorEvents({serial::TSioCommEvent::ceData});
    return comm;
  }
  template <typename F>
  auto WithLine(F f) {
    std::lock_guard lock(line->mutex);
    return f(*line);
  }

  testsupport::TempDir dir;
  std::shared_ptr<testsupport::FakeOpener> opener = std::make_shared<testsupport::FakeOpener>();
  std::shared_ptr<testsupport::QueueInvoker> invoker = std::make_shared<testsupport::QueueInvoker>();
  std::shared_ptr<testsupport::FakeLine> line;
};
