#include "StartupPreparation.h"

#if VEK_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

#include "Pictures.h"

namespace shell {

StartupPreparation::StartupPreparation(std::span<const char* const> pictures)
    : thread_([this, pictures] { Prepare(pictures); }) {}

StartupPreparation::~StartupPreparation() {
  if (thread_.joinable()) thread_.join();
}

void StartupPreparation::Prepare(std::span<const char* const> pictures) {
  for (const char* name : pictures) pictures_.emplace(name, EmbeddedPicture(name));
#if VEK_FONTCONFIG
  // Loads and keeps the configuration that Qt's font database asks for later
  // (FcInit is safe on any thread, and another call only finds it loaded).
  FcInit();
#endif
}

QImage StartupPreparation::TakePicture(const char* name) {
  if (thread_.joinable()) thread_.join();
  const auto found = pictures_.find(std::string_view(name));
  if (found == pictures_.end()) return EmbeddedPicture(name);
  QImage picture = std::move(found->second);
  pictures_.erase(found);
  return picture;
}

}  // namespace shell
