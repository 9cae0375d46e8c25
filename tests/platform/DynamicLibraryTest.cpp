#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {
bool IsLoaded(const char* path) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}
}  // namespace

TEST(DynamicLibrary, FindsSymbolsAndReleasesTheLibraryWhenItGoes) {
  {
    auto library = platform::DynamicLibrary::Open(SCRIPTED_MODULE_PATH);
    ASSERT_TRUE(library);
    EXPECT_NE(library->Symbol("VEKDataProcPos"), nullptr);
    EXPECT_EQ(library->Symbol("NoSuchSymbol"), nullptr);
    auto moved = std::move(*library);
    EXPECT_TRUE(IsLoaded(SCRIPTED_MODULE_PATH));
  }
  EXPECT_FALSE(IsLoaded(SCRIPTED_MODULE_PATH));
}

TEST(DynamicLibrary, AbsentLibraryIsNoLibrary) {
  EXPECT_FALSE(platform::DynamicLibrary::Open("./no-such-library.so"));
}
