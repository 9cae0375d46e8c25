#pragma once

#include <QImage>
#include <string_view>

namespace shell {

// A JPEG file's bytes decoded with libjpeg straight into the screen's pixel format
// (32-bit RGB), which a pixmap takes without a copy; a null image for anything
// that isn't a JPEG picture. Safe on any thread, also before the application
// object exists.
QImage DecodePicture(std::string_view jpeg);

// A picture embedded in the program: assets/NAME, at ":/assets/NAME".
QImage EmbeddedPicture(const char* name);

}  // namespace shell
