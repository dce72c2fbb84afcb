// Bad data files: empty, cut short, garbage, directories, binary junk, very long lines, huge
// indices, NaN and infinite numbers. Each gives its message or reads silently, and goes on.
#include "assets/assets.h"
#include "music/bass.h"
#include "music/music.h"
#include "tools/mp3.h"
#include "tests/support.h"

#include <GL/gl.h>
#include <IL/il.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace {

const char devilFailed[] = "ERROR: DevIL failed to load the image!\n";

// The same bytes on every run: a linear congruential generator.
std::string junk(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

std::string repeat(const std::string& text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += text;
    return out;
}

uint32_t crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string bigEndian32(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string pngChunk(const std::string& type, const std::string& data) {
    return bigEndian32(uint32_t(data.size())) + type + data + bigEndian32(crc32(type + data));
}

const std::string pngSignature("\x89PNG\r\n\x1a\n", 8);

// A PNG whose header claims width x height RGBA pixels, with a stored (uncompressed) deflate
// block of zero rows after it: a decoder that believed the header would start writing rows.
std::string pngClaiming(uint32_t width, uint32_t height) {
    const std::string header = bigEndian32(width) + bigEndian32(height) + "\x08\x06\x00\x00\x00";
    const std::string rows(4096, '\0');
    const std::string stored = std::string("\x78\x01\x01", 3) + char(rows.size() & 0xFF) +
                               char(rows.size() >> 8) + char(~rows.size() & 0xFF) +
                               char((~rows.size() >> 8) & 0xFF) + rows;
    return pngSignature + pngChunk("IHDR", header) + pngChunk("IDAT", stored) +
           pngChunk("IEND", "");
}

// `jpeg` with the size in its first start-of-frame marker replaced.
std::string jpegClaiming(std::string jpeg, uint16_t width, uint16_t height) {
    for (size_t i = 2; i + 9 < jpeg.size();) {
        const unsigned char marker = jpeg[i + 1];
        const size_t length = size_t(uint8_t(jpeg[i + 2])) << 8 | uint8_t(jpeg[i + 3]);
        if (marker == 0xC0 || marker == 0xC2) {
            jpeg[i + 5] = char(height >> 8), jpeg[i + 6] = char(height);
            jpeg[i + 7] = char(width >> 8), jpeg[i + 8] = char(width);
            return jpeg;
        }
        i += 2 + length;
    }
    ADD_FAILURE() << "no start-of-frame marker";
    return jpeg;
}

class BadImageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        openTestWindow();
        writeImage(
            tmp.path("good.png"), 32, 32,
            [](int x, int y) {
                return Rgba{uint8_t(x * 8), uint8_t(y * 8), 77, 255};
            },
            IL_PNG);
        writeImage(
            tmp.path("good.jpg"), 32, 32,
            [](int x, int) {
                return Rgba{uint8_t(x * 8), 9, 200, 255};
            },
            IL_JPG);
        goodPng = readText(tmp.path("good.png"));
        goodJpeg = readText(tmp.path("good.jpg"));
    }

    // Loads `name` and expects exactly the image library's message and a record without a
    // texture or a decoded image; then a good picture still loads.
    void expectRefused(const std::string& name) {
        SCOPED_TRACE(name);
        testing::internal::CaptureStderr();
        const Texture bad(tmp.path(name).c_str());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), devilFailed);
        EXPECT_EQ(bad.glName, 0u);
        EXPECT_EQ(bad.imageName, 0u);
        const Texture good(tmp.path("good.png").c_str());
        EXPECT_NE(good.glName, 0u);
    }

    TempDir tmp;
    std::string goodPng, goodJpeg;
};

} // namespace

// ---- Pictures ------------------------------------------------------------------------------

TEST_F(BadImageTest, EmptyCutShortAndGarbagePngAndJpegGiveTheMessage) {
    ASSERT_GT(goodPng.size(), 100u);
    ASSERT_GT(goodJpeg.size(), 100u);
    const std::pair<const char*, std::string> files[] = {
        {"empty.png", ""},
        {"empty.jpg", ""},
        {"half.png", goodPng.substr(0, goodPng.size() / 2)},
        {"half.jpg", goodJpeg.substr(0, goodJpeg.size() / 2)},
        {"signature.png", goodPng.substr(0, 8)},
        {"header.png", goodPng.substr(0, 33)}, // signature and IHDR, no pixels
        {"start.jpg", goodJpeg.substr(0, 2)},
        {"garbage.png", junk(3000, 1)},
        {"garbage.jpg", junk(3000, 2)},
        {"signature-then-garbage.png", pngSignature + junk(3000, 3)},
        {"start-then-garbage.jpg", "\xFF\xD8" + junk(3000, 4)},
        {"text.png", "this is not a picture\n"},
        {"jpeg-named.png", goodJpeg},
        {"junk-without-extension", junk(5000, 5)},
    };
    for (const auto& [name, bytes] : files)
        writeText(tmp.path(name), bytes);
    for (const auto& file : files)
        expectRefused(file.first);
}

TEST_F(BadImageTest, DirectoriesAndMissingFilesGiveTheMessage) {
    std::filesystem::create_directory(tmp.path("folder.png"));
    expectRefused("folder.png");
    expectRefused("");
    expectRefused("absent.jpg");
}

TEST_F(BadImageTest, HeadersClaimingHugePicturesAreRefusedBeforeDecoding) {
    writeText(tmp.path("wide.jpg"), jpegClaiming(goodJpeg, 65000, 65000));
    writeText(tmp.path("wide.png"), pngClaiming(60000, 60000));
    writeText(tmp.path("widest.png"), pngClaiming(0xFFFFFFFFu, 0xFFFFFFFFu));
    writeText(tmp.path("wide-jpeg-named.png"), jpegClaiming(goodJpeg, 40000, 40000));
    for (const char* name : {"wide.jpg", "wide.png", "widest.png", "wide-jpeg-named.png"})
        expectRefused(name);
}

// The image library waits forever on a PNG cut short before its pixels.
TEST_F(BadImageTest, APngCutAnywhereIsRefusedInsteadOfHanging) {
    for (size_t length = 0; length < goodPng.size(); ++length) {
        writeText(tmp.path("cut.png"), goodPng.substr(0, length));
        expectRefused("cut.png");
    }
    writeText(tmp.path("huge-chunk.png"), goodPng.substr(0, 33) + bigEndian32(0x7FFFFFFF) + "tEXt");
    expectRefused("huge-chunk.png");
    writeText(tmp.path("trailing.png"), goodPng + junk(100, 17));
    const Texture trailing(tmp.path("trailing.png").c_str());
    EXPECT_NE(trailing.glName, 0u);
}

// ---- OBJ files -----------------------------------------------------------------------------

namespace {

class BadObjTest : public ::testing::Test {
  protected:
    // Reads `bytes` as an OBJ file, expecting no message.
    std::unique_ptr<Model> read(const std::string& bytes) {
        writeText(tmp.path("m.obj"), bytes);
        testing::internal::CaptureStderr();
        auto model = std::make_unique<Model>(tmp.path("m.obj"));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(model->loaded);
        return model;
    }
    size_t faceCount(const Model& model) {
        size_t count = 0;
        for (const auto& g : model.groups)
            count += g->faces.size();
        return count;
    }
    TempDir tmp;
};

void expectFloat3(const Float3& t, float x, float y, float z) {
    EXPECT_EQ(t.x, x);
    EXPECT_EQ(t.y, y);
    EXPECT_EQ(t.z, z);
}

} // namespace

TEST_F(BadObjTest, AnEmptyFileIsAnEmptyModel) {
    const auto model = read("");
    ASSERT_EQ(model->groups.size(), 1u);
    EXPECT_TRUE(model->groups[0]->faces.empty());
    EXPECT_TRUE(model->vertices.empty());
}

TEST_F(BadObjTest, ADirectoryIsUnreadableSoTheModelStaysEmptyAndNotLoaded) {
    std::filesystem::create_directory(tmp.path("model.obj"));
    testing::internal::CaptureStderr();
    Model model(tmp.path("model.obj"));
    EXPECT_FALSE(model.loadObj(tmp.path("model.obj")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(model.loaded);
    EXPECT_TRUE(model.groups.empty());
}

TEST_F(BadObjTest, AFileCutShortKeepsWhatItHas) {
    const auto model = read("v 1 2 3\nv 4 5 6\nv 7 8 9\nf 1 2 3\nf 3 2\nv 1.5e");
    ASSERT_EQ(model->vertices.size(), 4u);
    expectFloat3(*model->vertices[3], 1.5f, 0, 0); // an "e" without digits is no exponent
    ASSERT_EQ(model->groups[0]->faces.size(), 2u);
    EXPECT_EQ(model->groups[0]->faces[1]->vertexCount, 2);
}

TEST_F(BadObjTest, BinaryJunkReadsQuietly) {
    std::string bytes = junk(200000, 7);
    // Junk with plenty of keywords and separators in it, NUL bytes included.
    for (size_t i = 0; i + 8 < bytes.size(); i += 97)
        std::memcpy(&bytes[i], i % 3 ? "\nf 1/2 " : "\nv 1 x\0", 7);
    const auto model = read(bytes);
    EXPECT_GT(model->vertices.size(), 0u);
    EXPECT_GT(faceCount(*model), 0u);
}

TEST_F(BadObjTest, VeryLongLinesAreReadWhole) {
    // A megabyte-long comment, a face of 200000 corners, and a last line without a line end.
    std::string obj = "# " + std::string(1 << 20, 'x') + "\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf" +
                      repeat(" 1 2 3", 200000 / 3) + " 1\ng " + std::string(1 << 20, 'n');
    const auto model = read(obj);
    ASSERT_EQ(model->groups[0]->faces.size(), 1u);
    EXPECT_EQ(model->groups[0]->faces[0]->vertexCount, 200000 / 3 * 3 + 1);
    ASSERT_EQ(model->groups.size(), 2u);
    EXPECT_EQ(model->groups[1]->name.size(), size_t(1) << 20);
}

TEST_F(BadObjTest, HugeZeroAndNegativeIndicesDropTheirCorner) {
    const auto model = read("v 1 0 0\nv 2 0 0\nv 3 0 0\n"
                            "f 1 99999999999999999999 2 4294967297 2147483648 0 -1 -2147483649 3 "
                            "9223372036854775807 -9223372036854775808\n");
    const Face& face = *model->groups[0]->faces[0];
    ASSERT_EQ(face.vertexCount, 3);
    EXPECT_EQ(face.vertices[0], model->vertices[0].get());
    EXPECT_EQ(face.vertices[1], model->vertices[1].get());
    EXPECT_EQ(face.vertices[2], model->vertices[2].get());
}

TEST_F(BadObjTest, NanAndInfinityAreNoNumbersButOverflowIsInfinite) {
    const auto model = read("v nan inf -inf\nv 1 NaN 2\nv 1e999 -1e999 1e-999\nv 1 INF 3\n"
                            "vn nan 1 1\nvt 1e39 0.5\n");
    ASSERT_EQ(model->vertices.size(), 4u);
    const float inf = std::numeric_limits<float>::infinity();
    expectFloat3(*model->vertices[0], 0, 0, 0);
    expectFloat3(*model->vertices[1], 1, 0, 0);
    expectFloat3(*model->vertices[2], inf, -inf, 0);
    expectFloat3(*model->vertices[3], 1, 0, 0);
    expectFloat3(*model->normals[0], 0, 0, 0);
    expectFloat3(*model->texCoords[0], inf, 0.5f, 0);
}

// ---- MTL files -----------------------------------------------------------------------------

namespace {

class BadMtlTest : public ::testing::Test {
  protected:
    // Reads `bytes` as an MTL file and returns what went to standard error.
    std::string read(const std::string& bytes) {
        writeText(tmp.path("lib.mtl"), bytes);
        testing::internal::CaptureStderr();
        model.loadMaterials(tmp.path("lib.mtl"));
        return testing::internal::GetCapturedStderr();
    }
    TempDir tmp;
    Model model{""};
};

void expectColour(const float (&colour)[4], float r, float g, float b, float a) {
    EXPECT_EQ(colour[0], r);
    EXPECT_EQ(colour[1], g);
    EXPECT_EQ(colour[2], b);
    EXPECT_EQ(colour[3], a);
}

} // namespace

TEST_F(BadMtlTest, EmptyFilesAndDirectoriesGiveNoMaterialsQuietly) {
    EXPECT_EQ(read(""), "");
    std::filesystem::create_directory(tmp.path("dir.mtl"));
    testing::internal::CaptureStderr();
    model.loadMaterials(tmp.path("dir.mtl"));
    model.loadMaterials(tmp.path(""));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(model.materials.empty());
}

TEST_F(BadMtlTest, AFileCutShortKeepsWhatItHas) {
    EXPECT_EQ(read("newmtl a\nKd 0.5 0.25 0.125\nnewmtl b\nKd 0.5 0."), "");
    ASSERT_EQ(model.materials.size(), 2u);
    expectColour(model.materials[1]->diffuse, 0.5f, 0, 1, 1);
}

TEST_F(BadMtlTest, BinaryJunkReadsQuietly) {
    std::string bytes = junk(200000, 11);
    for (size_t i = 0; i + 10 < bytes.size(); i += 89)
        std::memcpy(&bytes[i], i % 2 ? "\nKd 1 \0 " : "\nnewmtl \n", 9);
    ASSERT_EQ(bytes.find("map_"), std::string::npos);
    EXPECT_EQ(read(bytes), "");
    EXPECT_GT(model.materials.size(), 0u);
}

TEST_F(BadMtlTest, VeryLongLinesAreReadWhole) {
    EXPECT_EQ(read("# " + std::string(1 << 20, '#') + "\nnewmtl " + std::string(1 << 20, 'm') +
                   "\nKd " + std::string(1 << 20, ' ') + "0.5\nnewmtl after"),
              "");
    ASSERT_EQ(model.materials.size(), 2u);
    EXPECT_EQ(model.materials[0]->name.size(), size_t(1) << 20);
    EXPECT_EQ(model.materials[0]->diffuse[0], 0.5f);
    EXPECT_EQ(model.materials[1]->name, "after");
}

TEST_F(BadMtlTest, NanAndInfinityAreNoNumbersButOverflowIsInfinite) {
    EXPECT_EQ(read("newmtl a\nKd nan inf -inf\nKa 0.5 NaN 0.5\nd nan\nNs inf\n"
                   "newmtl b\nKd 1e999 -1e999 1e-999\nTf nan\n"
                   "newmtl c\nTf 1e999 -1e999 0\nNs -1e999\n"),
              "");
    ASSERT_EQ(model.materials.size(), 3u);
    const float inf = std::numeric_limits<float>::infinity();
    const Material& a = *model.materials[0];
    expectColour(a.diffuse, 1, 1, 1, 1);
    expectColour(a.ambient, 0.5f, 0, 0, 1);
    EXPECT_EQ(a.dissolve, 1.0f);
    EXPECT_EQ(a.shininess, 2.0f);
    const Material& b = *model.materials[1];
    expectColour(b.diffuse, inf, -inf, 0, 1);
    EXPECT_EQ(b.dissolve, 0.0f); // the three unread numbers count as 0
    const Material& c = *model.materials[2];
    EXPECT_TRUE(std::isnan(c.dissolve));
    EXPECT_EQ(c.shininess, -inf);
}

TEST_F(BadMtlTest, MapsOfBrokenPicturesGiveOneMessageEachAndStayAttached) {
    openTestWindow();
    writeText(tmp.path("empty.png"), "");
    writeText(tmp.path("junk.jpg"), junk(2000, 13));
    std::filesystem::create_directory(tmp.path("folder.png"));
    EXPECT_EQ(read("newmtl m\nmap_Kd empty.png\nmap_Ka junk.jpg\nmap_Ks folder.png\nmap_Bump\n"
                   "map_d " +
                   std::string(100000, 'p') + ".png\n"),
              repeat(devilFailed, 5));
    ASSERT_EQ(model.materials.size(), 1u);
    const Material& m = *model.materials[0];
    for (const Texture* map : {m.mapDiffuse.get(), m.mapAmbient.get(), m.mapSpecular.get(),
                               m.mapBump.get(), m.mapDissolve.get()}) {
        ASSERT_NE(map, nullptr);
        EXPECT_EQ(map->glName, 0u);
    }
}

// ---- MP3 files ------------------------------------------------------------------------------

namespace {

class BadMp3Test : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_TRUE(writeToneMp3(tmp.path("good.mp3"), 44100, 2, 44100, sineTone(440, 0.5)));
        goodMp3 = readText(tmp.path("good.mp3"));
        ASSERT_GT(goodMp3.size(), 4000u);
    }
    void TearDown() override { BASS_Free(); }

    // Starts the music on `name` and returns what went to standard error; the library is
    // released again afterwards, ready for the next start.
    std::string start(const std::string& name) {
        testing::internal::CaptureStderr();
        musicStart(tmp.path(name).c_str());
        const std::string messages = testing::internal::GetCapturedStderr();
        const QWORD position = BASS_ChannelGetPosition(musicStream);
        started = musicStream != 0;
        if (started) { // what the main loop asks of a stream that opened
            EXPECT_NE(position, QWORD(-1));
            EXPECT_NE(musicFetchSpectrum(spectrum), DWORD(-1));
            musicSeekForward();
            musicSeekBack();
        }
        BASS_Free();
        return messages;
    }

    TempDir tmp;
    std::string goodMp3;
    bool started = false;
};

const char noMusic[] = "ERROR: Bass file loading failed!\n"
                       "ERROR: Music failed to play!\n"
                       "ERROR: Failed to start song at the start\n";

} // namespace

TEST_F(BadMp3Test, EmptyGarbageAndNonMp3FilesGiveTheThreeMessages) {
    const std::string id3Only =
        std::string("ID3\x03\x00\x00\x00\x00\x00\x0a", 10) + std::string(10, '\0');
    const std::pair<const char*, std::string> files[] = {
        {"empty.mp3", ""},
        {"garbage.mp3", junk(20000, 21)},
        {"text.mp3", "this is not music\n"},
        {"frame-header-only.mp3", goodMp3.substr(goodMp3.size() / 2, 4)},
        {"tag-only.mp3", id3Only},
        {"picture.mp3", "\x89PNG\r\n\x1a\n" + junk(500, 22)},
    };
    for (const auto& [name, bytes] : files) {
        writeText(tmp.path(name), bytes);
        EXPECT_EQ(start(name), noMusic) << name;
        EXPECT_FALSE(started) << name;
    }
    std::filesystem::create_directory(tmp.path("folder.mp3"));
    EXPECT_EQ(start("folder.mp3"), noMusic);
    EXPECT_EQ(start("absent.mp3"), noMusic);
}

// A decoder finds its way into the frames of a file that is cut short or damaged: such a file
// plays what it has, quietly.
TEST_F(BadMp3Test, CutShortOrDamagedFilesPlayWhatTheyHave) {
    std::string damaged = goodMp3;
    const std::string noise = junk(1500, 23);
    damaged.replace(damaged.size() / 3, noise.size(), noise);
    const std::pair<const char*, std::string> files[] = {
        {"half.mp3", goodMp3.substr(0, goodMp3.size() / 2)},
        {"cut-mid-frame.mp3", goodMp3.substr(0, goodMp3.size() - 7)},
        {"damaged.mp3", damaged},
        {"junk-before.mp3", junk(3000, 24) + goodMp3},
        {"junk-after.mp3", goodMp3 + junk(3000, 25)},
    };
    for (const auto& [name, bytes] : files) {
        writeText(tmp.path(name), bytes);
        EXPECT_EQ(start(name), "") << name;
        EXPECT_TRUE(started) << name;
    }
}

// ---- Drawing what bad numbers made -----------------------------------------------------------

TEST(BadNumbersDrawTest, InfiniteAndNanValuesDrawAndTheGlGoesOn) {
    openTestWindow();
    TempDir tmp;
    writeText(tmp.path("lib.mtl"), "newmtl inf\nKd 1e999 -1e999 0\nNs 1e999\n"
                                   "newmtl nan\nTf 1e999 -1e999 0\nKe 1e999 1e999 1e999\n");
    writeText(tmp.path("m.obj"), "mtllib lib.mtl\nv 1e999 0 -5\nv 0 -1e999 -5\nv 1 1 -5\n"
                                 "v 0 0 -5\nvn 1e999 0 0\nvt -1e999 1e999\n"
                                 "usemtl inf\nf 1/1/1 2/1/1 3/1/1\nusemtl nan\nf 4/1/1 3/1/1 2/1/1 "
                                 "1/1/1\n");
    Model model(tmp.path("m.obj"));
    ASSERT_EQ(model.vertices.size(), 4u);
    std::vector<Float3> read;
    for (const auto& v : model.vertices)
        read.push_back(*v);

    glEnable(GL_LIGHTING);
    model.applyScale(2, 0.5f, 1);
    model.draw();
    for (size_t i = 0; i < read.size(); ++i)
        EXPECT_EQ(std::memcmp(&read[i], model.vertices[i].get(), sizeof(Float3)), 0) << i;

    glDisable(GL_LIGHTING);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(readBackPixel(640, 360), (Rgba{255, 0, 0, 255}));
}
