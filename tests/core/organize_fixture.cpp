#include "tests/core/organize_fixture.h"

#include "catalog/text.h"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

namespace organize_testing {
namespace {

class TrashHome : public ::testing::Environment
{
public:
    void SetUp() override
    {
        m_home = std::make_unique<testing_support::TempDir>();
        ::setenv("HOME", m_home->path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", (m_home->path() + "data").c_str(), 1);
    }
    void TearDown() override { m_home.reset(); }

private:
    std::unique_ptr<testing_support::TempDir> m_home;
};

[[maybe_unused]] ::testing::Environment* const trashHome =
    ::testing::AddGlobalTestEnvironment(new TrashHome);

} // namespace

std::string trashFiles()
{
    return std::string(std::getenv("XDG_DATA_HOME")) + "/Trash/files/";
}

std::string OrganizeTest::folder(const std::string& boxPathUtf8) const
{
    std::string path = root();
    for (const char c : testing_support::gbk(boxPathUtf8)) {
        path += c == '\\' ? '/' : c;
    }
    return path;
}

void OrganizeTest::makeBox(const std::string& boxPathUtf8) const
{
    testing_support::makeFolders(folder(boxPathUtf8));
}

void OrganizeTest::writeRecord(const std::string& boxPathUtf8, const std::string& nameUtf8,
                               const RecordFiles& files) const
{
    for (const auto& [ext, content] : files) {
        testing_support::writeFile(folder(boxPathUtf8) + testing_support::gbk(nameUtf8) + ext,
                                   content);
    }
}

std::string OrganizeTest::library() const
{
    return catalog::gbkToUtf8(testing_support::snapshot(root()));
}

unsigned long inodeOf(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

} // namespace organize_testing
