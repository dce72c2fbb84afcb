// The committed data: picture sizes, see-through cards, the OBJ subset, the same bytes again.
#include "tests/support.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// The show draws a texel only where its alpha is above one half.
bool shows(const Rgba& texel) {
    return texel.a > 127;
}

double shownShare(const Image& image) {
    size_t count = 0;
    for (const Rgba& p : image.pixels)
        count += shows(p);
    return double(count) / double(image.pixels.size());
}

Image card(const char* name) {
    Image image = readImage(std::string("Data/") + name);
    EXPECT_EQ(image.width, 1280) << name;
    EXPECT_EQ(image.height, 720) << name;
    return image;
}

} // namespace

TEST(Content, EveryPictureDecodesAtItsSizeAndPicturesAreOpaque) {
    ASSERT_GE(pictures().size(), 34u);
    std::set<std::string> files;
    for (const Picture& picture : pictures()) {
        files.insert(picture.file);
        const Image image = readImage(picture.file);
        ASSERT_EQ(image.width, picture.width) << picture.file;
        ASSERT_EQ(image.height, picture.height) << picture.file;
        if (picture.kind == FileKind::Png) continue;
        for (const Rgba& p : image.pixels)
            ASSERT_EQ(p.a, 255) << picture.file;
    }
    // The loading image and every landscape picture fill the 16:9 quad.
    for (const char* file :
         {"Data/PlinketaLoading.png", "Data/CreditsBackground.png", "Data/Credits2Background.png",
          "Data/LondonBackground.png", "Data/Ibiza.jpg", "Data/splatt.png"}) {
        EXPECT_TRUE(files.count(file)) << file;
        EXPECT_EQ(readImage(file).width, 1280) << file;
    }
}

// The desktop's icon: square, a clear rim outside the rounded tile, an opaque middle.
TEST(Content, IconsAreSquareTilesAtTheirInstalledSizes) {
    for (int size : {48, 256}) {
        const std::string file = "icons/zoomraxvandel-" + std::to_string(size) + ".png";
        const Image icon = readImage(file);
        ASSERT_EQ(icon.width, size) << file;
        ASSERT_EQ(icon.height, size) << file;
        EXPECT_EQ(icon.at(0, 0).a, 0) << file;
        EXPECT_EQ(icon.at(size - 1, size - 1).a, 0) << file;
        EXPECT_EQ(icon.at(size / 2, size / 2).a, 255) << file;
    }
}

TEST(Content, PortraitHasThePortraitQuadsShape) {
    const Image portrait = readImage("Data/cyglimmox_wadawda.png");
    ASSERT_GT(portrait.width, 0);
    EXPECT_NEAR(double(portrait.width) / portrait.height, 0.75 / 1.34, 0.005);
    EXPECT_GE(portrait.height, 1200); // about as many texels as it covers pixels
}

TEST(Content, OpeningCardsAreSeeThroughAroundTheirSubjectsAndApart) {
    const Image logo = card("Ostravel.png"), presents = card("Presents.png");
    ASSERT_FALSE(logo.pixels.empty() || presents.pixels.empty());
    for (const Image* image : {&logo, &presents}) {
        EXPECT_GT(shownShare(*image), 0.02);
        EXPECT_LT(shownShare(*image), 0.4);
        EXPECT_FALSE(shows(image->at(0, 0)));
        EXPECT_FALSE(shows(image->at(1279, 719)));
    }
    for (size_t i = 0; i < logo.pixels.size(); ++i)
        ASSERT_FALSE(shows(logo.pixels[i]) && shows(presents.pixels[i]))
            << "overlap at " << i % 1280 << "," << i / 1280;
}

TEST(Content, CreditCardsLeaveTheMiddleThirdToTheModel) {
    for (const char* name :
         {"Graphics.png", "ZPT.png", "Didovari.png", "Music.png", "KeB.png", "Code.png"}) {
        const Image image = card(name);
        ASSERT_FALSE(image.pixels.empty()) << name;
        for (int y = 240; y < 480; ++y)
            for (int x = 0; x < 1280; ++x)
                ASSERT_FALSE(shows(image.at(x, y))) << name << " at " << x << "," << y;
        EXPECT_GT(shownShare(image), 0.01) << name;
    }
}

TEST(Content, GlimmoxZurorLeavesLondonVisible) {
    const Image image = card("GlimmoxZuror.png");
    ASSERT_FALSE(image.pixels.empty());
    EXPECT_GT(shownShare(image), 0.1);
    EXPECT_LT(shownShare(image), 0.5);
    for (int y = 0; y < 720; ++y)
        for (int x : {0, 150, 1130, 1279})
            ASSERT_FALSE(shows(image.at(x, y))) << x << "," << y;
    EXPECT_TRUE(shows(image.at(640, 335))); // Glimmox's middle
}

// Only what the show's reader takes, every index in range, every material and map present.
TEST(Content, ModelsKeepToTheObjSubsetTheShowReads) {
    const std::set<std::string> objKeys = {"mtllib", "usemtl", "v", "vt", "vn", "g", "f"};
    for (const char* name : {"Drusk", "SkySphere", "Pyramid", "OstravelLogo"}) {
        const std::string dir = std::string("data/") + name + "/";
        std::ifstream obj(dir + name + ".obj");
        ASSERT_TRUE(obj) << name;
        std::map<std::string, int> counts;
        std::vector<std::string> faces, used;
        std::string line, mtl;
        while (std::getline(obj, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream words(line);
            std::string key;
            words >> key;
            ASSERT_TRUE(objKeys.count(key)) << name << ": " << line;
            ASSERT_EQ(line.back() == ' ', false) << name << ": trailing space";
            ++counts[key];
            if (key == "f") faces.push_back(line);
            if (key == "mtllib") words >> mtl;
            if (key == "usemtl") used.emplace_back(line.substr(7));
        }
        ASSERT_GT(faces.size(), 0u) << name;
        for (const std::string& face : faces) {
            std::istringstream corners(face.substr(2));
            std::string corner;
            int n = 0;
            while (corners >> corner) {
                int v = 0, t = 0, vn = 0;
                char s1 = 0, s2 = 0;
                std::istringstream parts(corner);
                ASSERT_TRUE(parts >> v >> s1 >> t >> s2 >> vn && s1 == '/' && s2 == '/')
                    << name << ": " << face;
                ASSERT_TRUE(v >= 1 && v <= counts["v"] && t >= 1 && t <= counts["vt"] && vn >= 1 &&
                            vn <= counts["vn"])
                    << name << ": " << face;
                ++n;
            }
            ASSERT_GE(n, 3) << name << ": " << face;
            ASSERT_EQ(face.find("  "), std::string::npos) << name << ": " << face;
        }

        std::ifstream lib(dir + mtl);
        ASSERT_TRUE(lib) << dir + mtl;
        std::set<std::string> defined;
        while (std::getline(lib, line)) {
            std::istringstream words(line);
            std::string key, value;
            words >> key >> value;
            if (key == "newmtl") defined.insert(value);
            if (key == "map_Kd") {
                EXPECT_GT(readImage(dir + value).width, 0) << dir + value;
            } else if (key == "Ns") {
                EXPECT_TRUE(std::stof(value) >= 0 && std::stof(value) <= 128) << line;
            } else if (key == "d") {
                EXPECT_TRUE(std::stof(value) > 0.5f && std::stof(value) <= 1) << line;
            }
        }
        for (const std::string& material : used)
            EXPECT_TRUE(defined.count(material)) << material;
    }
}

TEST(Content, DruskIsTheSculptedStar) {
    std::ifstream obj("data/Drusk/Drusk.obj");
    std::string line;
    int faces = 0;
    std::set<std::string> groups;
    float low[3] = {1e9f, 1e9f, 1e9f}, high[3] = {-1e9f, -1e9f, -1e9f};
    while (std::getline(obj, line)) {
        faces += line.rfind("f ", 0) == 0;
        if (line.rfind("g ", 0) == 0) groups.insert(line.substr(2));
        if (line.rfind("v ", 0) == 0) {
            std::istringstream words(line.substr(2));
            for (int i = 0; i < 3; ++i) {
                float value = 0;
                words >> value;
                low[i] = std::min(low[i], value);
                high[i] = std::max(high[i], value);
            }
        }
    }
    EXPECT_GE(faces, 2000);
    EXPECT_LE(faces, 10000);
    EXPECT_GE(groups.size(), 4u);
    // About a third of the 18 units the view spans at 21.81 units, turning about its centre.
    const float width = high[0] - low[0];
    EXPECT_GT(width, 5);
    EXPECT_LT(width, 7.5f);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(low[i] + high[i], 0, 0.1f) << "axis " << i;

    const std::string mtl = readText("data/Drusk/Drusk.mtl");
    EXPECT_NE(mtl.find("map_Kd"), std::string::npos);
    EXPECT_NE(mtl.find("\nd 0.7"), std::string::npos); // the translucent dome
}

TEST(Content, DataStaysSmall) {
    uintmax_t total = 0;
    for (const char* dir : {"Data", "data"})
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            if (entry.is_regular_file()) total += entry.file_size();
    std::printf("data files: %.2f MB\n", double(total) / 1e6);
    EXPECT_LT(total, 20u * 1000 * 1000);
}

// Every data file, the music too: the committed bytes come out again.
TEST(Content, TheGeneratorMakesTheCommittedFilesAgain) {
    TempDir tmp;
    const std::string command = std::string(MAKEDATA) + " --out " + tmp.dir;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::set<std::string> made;
    for (const auto& entry : fs::recursive_directory_iterator(tmp.dir)) {
        if (!entry.is_regular_file()) continue;
        const std::string relative = fs::relative(entry.path(), tmp.dir).string();
        made.insert(relative);
        ASSERT_TRUE(fs::exists(relative)) << relative << " is not committed";
        EXPECT_TRUE(readText(entry.path().string()) == readText(relative))
            << relative << " differs from the committed file";
    }
    EXPECT_GE(made.size(), 34u + 1 + 12u + 2);
    for (const char* dir : {"Data", "data", "icons"})
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            const std::string file = entry.path().string();
            if (entry.is_regular_file()) {
                EXPECT_TRUE(made.count(file)) << file << " is committed but not generated";
            }
        }
}
