// The asset set: loadAssets fills every slot from its file, in order, and survives missing files.
#include "app/window.h"
#include "show/stage.h"
#include "assets/assets.h"
#include "show/slots.h"
#include "tests/support.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// Sums of each channel over the whole image: the same for the same picture in any row order.
struct Fingerprint {
    int width = 0, height = 0;
    unsigned long long sums[4] = {};
    bool operator==(const Fingerprint& o) const {
        return width == o.width && height == o.height && sums[0] == o.sums[0] &&
               sums[1] == o.sums[1] && sums[2] == o.sums[2] && sums[3] == o.sums[3];
    }
};

Fingerprint ofTexture(const Texture& texture) {
    Fingerprint f;
    glBindTexture(GL_TEXTURE_2D, texture.glName);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &f.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &f.height);
    std::vector<uint8_t> texels(size_t(f.width) * f.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    for (size_t i = 0; i < texels.size(); ++i)
        f.sums[i % 4] += texels[i];
    return f;
}

Fingerprint ofFile(const char* file) {
    const Image image = readImage(file);
    Fingerprint f;
    f.width = image.width;
    f.height = image.height;
    for (const Rgba& p : image.pixels) {
        f.sums[0] += p.r, f.sums[1] += p.g, f.sums[2] += p.b, f.sums[3] += p.a;
    }
    return f;
}

int faceLines(const char* file) {
    std::ifstream in(file);
    std::string line;
    int count = 0;
    while (std::getline(in, line))
        count += line.rfind("f ", 0) == 0;
    return count;
}

int faceCount(const Model& model) {
    int count = 0;
    for (const auto& group : model.groups)
        count += int(group->faces.size());
    return count;
}

class SlotsTest : public ::testing::Test {
  protected:
    void SetUp() override { openTestWindow(); }
};

} // namespace

TEST_F(SlotsTest, LoadAssetsFillsEverySlotFromItsFileWithoutAMessage) {
    for (const TextureSlot& t : textureSlots)
        ASSERT_EQ(*t.slot, nullptr);
    testing::internal::CaptureStderr();
    loadAssets();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    for (const TextureSlot& t : textureSlots) {
        ASSERT_NE(*t.slot, nullptr) << t.file;
        ASSERT_NE((*t.slot)->glName, 0u) << t.file;
        EXPECT_TRUE(ofTexture(**t.slot) == ofFile(t.file)) << t.file << " is not in its slot";
    }
    EXPECT_NE(texDidovari, texDidovari2);
    EXPECT_NE(texDidovari->glName, texDidovari2->glName);

    for (const ModelSlot& m : modelSlots) {
        ASSERT_NE(*m.slot, nullptr) << m.file;
        const Model& model = **m.slot;
        EXPECT_TRUE(model.loaded) << m.file;
        // The reader skips malformed lines silently: every line must have made a face.
        EXPECT_EQ(faceCount(model), faceLines(m.file)) << m.file;
        for (const auto& group : model.groups)
            for (const auto& face : group->faces) {
                ASSERT_GE(face->vertexCount, 3) << m.file;
                ASSERT_EQ(face->normalCount, face->vertexCount) << m.file;
                ASSERT_EQ(face->texCoordCount, face->vertexCount) << m.file;
                ASSERT_NE(face->material, nullptr) << m.file << " group " << group->name;
            }
        for (const auto& material : model.materials) {
            if (material->mapDiffuse) {
                EXPECT_NE(material->mapDiffuse->glName, 0u) << m.file;
            }
        }
    }

    // Drusk draws in both passes: a textured, an untextured and a translucent material.
    bool textured = false, plain = false, translucent = false;
    for (const auto& material : modelDrusk->materials) {
        textured = textured || material->mapDiffuse != nullptr;
        plain = plain || material->mapDiffuse == nullptr;
        translucent = translucent || (material->dissolve > 0.5f && material->dissolve < 1);
    }
    EXPECT_TRUE(textured && plain && translucent);
    int groups = 0;
    for (const auto& group : modelDrusk->groups)
        groups += !group->faces.empty();
    EXPECT_GE(groups, 4);
}

// Without "Data/Called.png" and the pyramid's directory: one message, and every slot filled.
TEST_F(SlotsTest, MissingFilesLeaveEmptyRecordsInTheirSlots) {
    TempDir tmp;
    const fs::path root = fs::current_path();
    fs::create_directories(tmp.path("Data"));
    fs::create_directories(tmp.path("data"));
    for (const auto& entry : fs::directory_iterator(root / "Data"))
        if (entry.path().filename() != "Called.png")
            fs::create_symlink(entry.path(), tmp.path("Data/" + entry.path().filename().string()));
    for (const char* model : {"Drusk", "SkySphere", "OstravelLogo"})
        fs::create_directory_symlink(root / "data" / model, tmp.path(std::string("data/") + model));
    fs::current_path(tmp.dir);

    testing::internal::CaptureStderr();
    loadAssets();
    const std::string messages = testing::internal::GetCapturedStderr();
    fs::current_path(root);

    EXPECT_EQ(messages, "ERROR: DevIL failed to load the image!\n");
    ASSERT_NE(texCalled, nullptr);
    EXPECT_EQ(texCalled->glName, 0u);
    EXPECT_NE(texCode->glName, 0u); // the next one loads as ever
    ASSERT_NE(modelPyramid, nullptr);
    EXPECT_FALSE(modelPyramid->loaded);
    EXPECT_EQ(faceCount(*modelPyramid), 0);
    EXPECT_TRUE(modelOstravelLogo->loaded);
}
