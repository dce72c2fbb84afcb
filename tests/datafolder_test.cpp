// The data folder at start-up: the current folder first, then the install's share folder.
#include "app/datafolder.h"
#include "tests/support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using Folders = std::vector<fs::path>;

class DataFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        startedIn = fs::current_path();
        root = fs::canonical(tmp.dir).string();
        fs::create_directories(root + "/elsewhere");
        fs::current_path(root + "/elsewhere");
    }
    void TearDown() override { fs::current_path(startedIn); }

    // The two files that mark a data folder.
    void putData(const std::string& folder) {
        fs::create_directories(folder + "/Data");
        fs::create_directories(folder + "/data/Drusk");
        writeText(folder + "/Data/Zrax2011.mp3", "music");
        writeText(folder + "/data/Drusk/Drusk.obj", "v 0 0 0\n");
    }

    TempDir tmp;
    fs::path startedIn;
    std::string root; // the temporary folder, symbolic links resolved
};

} // namespace

TEST_F(DataFolderTest, TheCurrentFolderComesFirstThenTheSharedFolderOfTheInstall) {
    const Folders expected = {root + "/elsewhere", "/opt/z/share/zoomraxvandel"};
    EXPECT_EQ(dataFolders("/opt/z/bin/zoomraxvandel"), expected);
    EXPECT_EQ(dataFolders("/usr/games/zoomraxvandel"),
              (Folders{root + "/elsewhere", "/usr/share/zoomraxvandel"}));
    EXPECT_EQ(dataFolders("/opt/z/bin/../libexec/zoomraxvandel"), expected);
}

TEST_F(DataFolderTest, WithoutTheExecutableOnlyTheCurrentFolderIsSearched) {
    EXPECT_EQ(dataFolders(""), Folders{root + "/elsewhere"});
}

TEST_F(DataFolderTest, RunningInsideTheInstallsSharedFolderSearchesItOnce) {
    fs::create_directories(root + "/usr/share/zoomraxvandel");
    fs::current_path(root + "/usr/share/zoomraxvandel");
    EXPECT_EQ(dataFolders(root + "/usr/bin/zoomraxvandel"),
              Folders{root + "/usr/share/zoomraxvandel"});
}

TEST_F(DataFolderTest, AFolderHoldsTheDataWithBothTheMusicAndTheModels) {
    const std::string folder = root + "/set";
    EXPECT_FALSE(holdsShowData(folder));
    fs::create_directories(folder + "/Data/Zrax2011.mp3"); // a folder of that name is no music
    fs::create_directories(folder + "/data/Drusk");
    writeText(folder + "/data/Drusk/Drusk.obj", "");
    EXPECT_FALSE(holdsShowData(folder));
    fs::remove(folder + "/Data/Zrax2011.mp3");
    writeText(folder + "/Data/Zrax2011.mp3", "");
    EXPECT_TRUE(holdsShowData(folder));
    fs::remove_all(folder + "/data");
    EXPECT_FALSE(holdsShowData(folder));
}

TEST_F(DataFolderTest, DataInTheCurrentFolderKeepsIt) {
    putData(root + "/elsewhere");
    putData(root + "/usr/share/zoomraxvandel");
    std::string record = "show.mp4";
    testing::internal::CaptureStderr();
    EXPECT_TRUE(enterDataFolder({&record}, root + "/usr/bin/zoomraxvandel"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(fs::current_path(), root + "/elsewhere");
    EXPECT_EQ(record, root + "/elsewhere/show.mp4");
}

TEST_F(DataFolderTest, OtherwiseTheInstallsFolderBecomesCurrentAndUserPathsStayPut) {
    putData(root + "/usr/share/zoomraxvandel");
    std::string relative = "out/show.mp4", absolute = "/var/show.mkv", none;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(enterDataFolder({&relative, &absolute, &none}, root + "/usr/bin/zoomraxvandel"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(fs::current_path(), root + "/usr/share/zoomraxvandel");
    EXPECT_EQ(relative, root + "/elsewhere/out/show.mp4");
    EXPECT_EQ(absolute, "/var/show.mkv");
    EXPECT_EQ(none, "");
}

TEST_F(DataFolderTest, WithTheDataNowhereTheMessageNamesTheFoldersSearched) {
    putData(root + "/usr/share/elsewise"); // not where the install's data belongs
    testing::internal::CaptureStderr();
    EXPECT_FALSE(enterDataFolder({}, root + "/usr/bin/zoomraxvandel"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: No show data (Data/ and data/) in the folders searched: " + root +
                  "/elsewhere, " + root + "/usr/share/zoomraxvandel\n");
    EXPECT_EQ(fs::current_path(), root + "/elsewhere");
}

TEST_F(DataFolderTest, TheOwnExecutableIsThisTestProgram) {
    const fs::path self = ownExecutable();
    EXPECT_TRUE(fs::path(self).is_absolute()) << self;
    EXPECT_TRUE(fs::is_regular_file(self)) << self;
    EXPECT_EQ(fs::path(self).filename(), "datafolder_test");
}
