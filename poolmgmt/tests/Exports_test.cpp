// Linked against libVeshmoor.so itself: the exported tables hold their
// entries, and the classes a tool uses resolve from the shared library.
#include <dlfcn.h>

#include <string>

#include <gtest/gtest.h>

#include "Veshmoor/PoolCommandManager.h"
#include "Veshmoor/PoolErrorHandler.h"

namespace {

using Veshmoor::PoolCommandManager;

TEST(Exports, TheCommandTables) {
    const std::map<int32_t, std::string> descriptions = {
        {0, "Checking"}, {1, "Optimizing"}, {2, "Deduplicating"}, {3, "Deleting safeset"}};
    EXPECT_EQ(PoolCommandManager::commandDescriptions_, descriptions);
    const std::map<int32_t, std::pair<std::string, std::string>> settings = {
        {0, {"Pellatrix", "Verify"}},
        {1, {"Pellatrix", "Optimize"}},
        {2, {"Pellatrix", "Dedup"}},
        {3, {"Ombrikate", "Migrate_Delete"}}};
    EXPECT_EQ(PoolCommandManager::executionSettings_, settings);
}

TEST(Exports, SymbolsComeFromTheSharedLibrary) {
    EXPECT_EQ(Veshmoor::PoolErrorHandler::getErrorStr(0x320001), "Carrowen Mark Task Suspect");
    // The library is found through the object that holds an exported
    // function, not by name: a sanitizer's dlopen does not search this
    // program's run path.
    Dl_info where{};
    ASSERT_NE(dladdr(reinterpret_cast<const void*>(&Veshmoor::PoolErrorHandler::getErrorStr), &where), 0);
    ASSERT_NE(where.dli_fname, nullptr);
    EXPECT_NE(std::string(where.dli_fname).find("libVeshmoor.so"), std::string::npos)
        << "the error names live in " << where.dli_fname;
    void* library = dlopen(where.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr) << "the program is linked against the shared library";
    // The tables are exported with their classes ...
    EXPECT_NE(dlsym(library, "_ZN8Veshmoor18PoolCommandManager20commandDescriptions_B5cxx11E"), nullptr);
    EXPECT_NE(dlsym(library, "_ZN8Veshmoor16PoolErrorHandler14errorCodesStr_B5cxx11E"), nullptr);
    // ... and the library's internals are not.
    EXPECT_EQ(dlsym(library, "_ZN8Veshmoor6detail15readCommandTextESt17basic_string_viewIcSt11char_traitsIcEERNS0_15CommandTextSinkE"),
              nullptr);
    EXPECT_EQ(dlsym(library, "_ZN8Veshmoor6detail19lastCrcRepairTaskIdEv"), nullptr);
    dlclose(library);
}

}  // namespace
