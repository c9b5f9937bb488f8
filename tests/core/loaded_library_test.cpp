#include "catalog/loaded_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

using catalog::LoadedLibrary;

TEST(LoadedLibrary, FindsFunctionsAndVariablesOfALibraryOpenedOnDemand)
{
    LoadedLibrary library("libc.so.6");
    auto* length = library.symbol<decltype(std::strlen)>("strlen");
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length("vellumark"), 9u);
    EXPECT_NE(library.symbol<char**>("environ"), nullptr);
    EXPECT_EQ(library.problem(), "");
    EXPECT_NO_THROW(library.requireComplete());
}

TEST(LoadedLibrary, AMissingLibraryOrFunctionIsNamedNotACrash)
{
    struct Case
    {
        const char* soname;
        const char* symbol;
        const char* named; // what the problem must mention
    };
    for (const Case& c :
         {Case{"libvellumark-missing.so.1", "anything", "libvellumark-missing.so.1"},
          Case{"libc.so.6", "vellumark_no_such_function", "vellumark_no_such_function"}}) {
        LoadedLibrary library(c.soname);
        EXPECT_EQ(library.symbol<void()>(c.symbol), nullptr) << c.soname;
        EXPECT_NE(library.problem().find(c.named), std::string::npos) << library.problem();
        EXPECT_THROW(library.requireComplete(), std::runtime_error);
        // The first problem is kept: a later find does not hide it.
        library.symbol<void()>("strlen");
        EXPECT_NE(library.problem().find(c.named), std::string::npos);
    }
}
