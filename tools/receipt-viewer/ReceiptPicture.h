#pragma once

#include <QImage>

#include "tools/receipt-viewer/EscPosPrinter.h"

namespace viewer {

// The receipt as a strip of thermal paper: black monospace text on white, double-
// height lines twice as tall, emphasised lines bold, a torn edge below the cut.
QImage ReceiptPicture(const PrintedReceipt& receipt);

}  // namespace viewer
