#include "platform/system/DynamicLibrary.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using testsupport::LibraryLoaded;

TEST(DynamicLibrary, FindsSymbolsAndReleasesTheLibraryWhenItGoes) {
  {
    auto library = platform::DynamicLibrary::Open(SCRIPTED_MODULE_PATH);
    ASSERT_TRUE(library);
    EXPECT_NE(library->Symbol("VEKDataProcPos"), nullptr);
    EXPECT_EQ(library->Symbol("NoSuchSymbol"), nullptr);
    auto moved = std::move(*library);
    EXPECT_TRUE(LibraryLoaded(SCRIPTED_MODULE_PATH));
  }
  EXPECT_FALSE(LibraryLoaded(SCRIPTED_MODULE_PATH));
}

TEST(DynamicLibrary, AbsentLibraryIsNoLibrary) {
  EXPECT_FALSE(platform::DynamicLibrary::Open("./no-such-library"));
}
