// The window's pictures: the embedded JPEG files decoded straight into the screen's
// pixel format.
#include "shell/Pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

TEST(PicturesTest, EveryEmbeddedPictureIsWhatQtsOwnReaderMakesOfIt) {
  for (const char* name : {"header.jpg", "voucher-button-up.jpg", "voucher-button-down.jpg", "cashcard-button-up.jpg",
                           "cashcard-button-down.jpg", "report-button.jpg", "voucher-screen.jpg", "cashcard-screen.jpg"}) {
    SCOPED_TRACE(name);
    const QImage reference = QImage(QStringLiteral(":/assets/") + QString::fromLatin1(name));
    ASSERT_FALSE(reference.isNull());
    const QImage decoded = shell::EmbeddedPicture(name);
    EXPECT_EQ(decoded.format(), QImage::Format_RGB32);  // a pixmap takes it without converting
    EXPECT_EQ(decoded, reference.convertToFormat(QImage::Format_RGB32));
    // The comparison leaves out the fourth byte, which 32-bit RGB wants 0xFF.
    for (int y = 0; y < decoded.height(); ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(decoded.constScanLine(y));
      ASSERT_TRUE(std::all_of(row, row + decoded.width(), [](std::uint32_t pixel) { return pixel >> 24 == 0xFF; }))
          << "row " << y;
    }
  }
}

TEST(PicturesTest, BytesThatAreNoJpegPictureGiveANullImage) {
  EXPECT_TRUE(shell::DecodePicture("").isNull());
  EXPECT_TRUE(shell::DecodePicture("GIF89a\x01\x00\x01\x00").isNull());
  EXPECT_TRUE(shell::DecodePicture("\xFF\xD8\xFF\xE0 cut after its first marker").isNull());
  EXPECT_TRUE(shell::EmbeddedPicture("no-such-picture.jpg").isNull());
}
