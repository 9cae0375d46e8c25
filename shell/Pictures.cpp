#include "Pictures.h"

#include <QResource>

#include "platform/picture/JpegDecoder.h"

namespace shell {

QImage DecodePicture(std::string_view jpeg) {
  QImage image;
  const bool decoded = platform::DecodeJpeg(jpeg, [&image](int width, int height) {
    image = QImage(width, height, QImage::Format_RGB32);  // null when it can't be had
    return platform::PixelRows{image.isNull() ? nullptr : image.bits(), static_cast<std::size_t>(image.bytesPerLine())};
  });
  return decoded ? image : QImage();
}

QImage EmbeddedPicture(const char* name) {
  // The bytes where the program holds them: rcc leaves JPEG files uncompressed, so
  // nothing is copied.
  const QByteArray bytes = QResource(QStringLiteral(":/assets/") + QString::fromLatin1(name)).uncompressedData();
  return DecodePicture(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace shell
