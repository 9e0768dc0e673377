#include <set>

#include "FileServices.h"
#include "FoundationFixture.h"

namespace {

class FileServicesTest : public FoundationTest {};

std::map<std::string, uint32_t> listAll(const std::string& pattern) {
    std::map<std::string, uint32_t> entries;
    WIN32_FIND_DATAA data;
    const FileServicesHandle handle = FileServices::__FindFirstFile(pattern.c_str(), &data);
    if (handle == INVALID_FILE_SERVICES_HANDLE) return entries;
    do {
        entries[data.cFileName] = data.dwFileAttributes;
    } while (FileServices::__FindNextFile(handle, &data));
    EXPECT_TRUE(FileServices::__FindClose(handle));
    EXPECT_FALSE(FileServices::__FindClose(handle));
    EXPECT_FALSE(FileServices::__FindNextFile(handle, &data));
    return entries;
}

TEST_F(FileServicesTest, FindListsEntriesWithoutFollowingLinks) {
    const std::string root = dir() + "/tree";
    ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((root + "/sub").c_str(), 0755), 0);
    writeFile(root + "/TaskLabel.cfg", "TASK_GUID=g\n");
    ASSERT_EQ(::symlink((root + "/sub").c_str(), (root + "/link").c_str()), 0);

    const auto entries = listAll(root + "/*.*");
    const std::map<std::string, uint32_t> expected = {
        {".", FILE_ATTRIBUTE_DIRECTORY},       {"..", FILE_ATTRIBUTE_DIRECTORY},
        {"sub", FILE_ATTRIBUTE_DIRECTORY},     {"TaskLabel.cfg", FILE_ATTRIBUTE_NORMAL},
        {"link", FILE_ATTRIBUTE_NORMAL},
    };
    EXPECT_EQ(entries, expected);
    EXPECT_TRUE(IsDir(entries.at("sub")));
    EXPECT_FALSE(IsDir(entries.at("link")));

    EXPECT_EQ(listAll(root + "/TaskLabel.cfg"), (std::map<std::string, uint32_t>{{"TaskLabel.cfg", FILE_ATTRIBUTE_NORMAL}}));
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FileServices::__FindFirstFile((root + "/absent").c_str(), &data), INVALID_FILE_SERVICES_HANDLE);
    EXPECT_EQ(FileServices::__FindFirstFile((root + "/missing/*.*").c_str(), &data), INVALID_FILE_SERVICES_HANDLE);
    EXPECT_EQ(FileServices::__FindFirstFile(nullptr, &data), INVALID_FILE_SERVICES_HANDLE);
    EXPECT_FALSE(FileServices::__FindNextFile(987654, &data));

    EXPECT_TRUE(vv_FileExists(nullptr, root + "/TaskLabel.cfg"));
    EXPECT_TRUE(vv_FileExists(nullptr, root + "/sub"));
    EXPECT_FALSE(vv_FileExists(nullptr, root + "/absent"));
    EXPECT_FALSE(vv_FileExists(nullptr, ""));
}

TEST(FileServicesPaths, JoinAndTrailingSlash) {
    const struct {
        std::string folder, name, joined;
    } joins[] = {
        {"a", "b", "a/b"}, {"a/", "b", "a/b"}, {"a//", "/b", "a/b"}, {"/", "b", "/b"},
        {"", "b", "b"},    {"a", "", "a/"},    {"/x/y", "c/d", "/x/y/c/d"},
    };
    for (const auto& j : joins) EXPECT_EQ(j.folder / VFileName(j.name), j.joined) << j.folder << " + " << j.name;
    EXPECT_EQ(AddTrailingSlash(""), "");
    EXPECT_EQ(AddTrailingSlash("/a"), "/a/");
    EXPECT_EQ(AddTrailingSlash("/a/"), "/a/");
}

TEST(FileServicesPaths, CurrentDirectory) {
    char buffer[4096];
    const uint32_t length = FileServices::__GetCurrentDirectory(sizeof buffer, buffer);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::string(buffer).size(), length);
    char tiny[2];
    EXPECT_EQ(FileServices::__GetCurrentDirectory(sizeof tiny, tiny), 0u);
}

}  // namespace
