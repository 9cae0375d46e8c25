#pragma once

#include <memory>

#include "payment/PaymentModule.h"

namespace payment {

// The payment module as the window and vek call it, from the current working
// directory. On Linux: ./VEKDLL.so in process when there is one (it takes
// precedence), otherwise ./VEKDLL.dll through the module host at $VEK_MODULE_SOCKET
// (by default /run/vek-terminal/module.sock). On Windows: .\VEKDLL.dll in process.
// Chosen again for each exchange, as the module is loaded again for each. A module
// that others than the machine's administrators could have changed is not called
// (platform/system/CodeLocation.h): the call comes to nothing and says why.
std::shared_ptr<PaymentModule> TerminalPaymentModule();

}  // namespace payment
