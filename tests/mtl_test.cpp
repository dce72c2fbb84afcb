// The MTL reader: material defaults, colours and opacity, names, line handling, and texture maps
// looked up in the MTL file's directory (those load real images into a GL context).
#include "assets/assets.h"
#include "tests/support.h"

#include <GL/gl.h>
#include <IL/il.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

void expectColour(const float (&colour)[4], float r, float g, float b, float a) {
    EXPECT_EQ(colour[0], r);
    EXPECT_EQ(colour[1], g);
    EXPECT_EQ(colour[2], b);
    EXPECT_EQ(colour[3], a);
}

class MtlTest : public ::testing::Test {
  protected:
    // Writes `text` as lib.mtl and reads it into `model`.
    void read(const std::string& text) {
        writeText(tmp.path("lib.mtl"), text);
        model.loadMaterials(tmp.path("lib.mtl"));
    }
    const Material& material(size_t i) {
        static const Material none;
        EXPECT_LT(i, model.materials.size());
        return i < model.materials.size() ? *model.materials[i] : none;
    }
    TempDir tmp;
    Model model{""};
};

} // namespace

// ---- Values ------------------------------------------------------------------------------

TEST_F(MtlTest, NewMaterialHasTheDefaults) {
    read("newmtl red");
    ASSERT_EQ(model.materials.size(), 1u);
    const Material& m = material(0);
    EXPECT_EQ(m.name, "red");
    expectColour(m.ambient, 0, 0, 0, 1);
    expectColour(m.diffuse, 1, 1, 1, 1);
    expectColour(m.specular, 0, 0, 0, 1);
    expectColour(m.emission, 0, 0, 0, 1);
    EXPECT_EQ(m.shininess, 2.0f);
    EXPECT_EQ(m.dissolve, 1.0f);
    EXPECT_EQ(m.illum, 1.0f);
    EXPECT_FALSE(m.mapAmbient || m.mapDiffuse || m.mapSpecular || m.mapEmission || m.mapShininess ||
                 m.mapDissolve || m.mapBump);
}

TEST_F(MtlTest, ColoursShininessAndIllumKeepWhatCannotBeRead) {
    read("newmtl a\nKa 0.1 0.2 0.3 0.4\nKd 0.5\nKs 0.6 x 0.7\nKe\n\t Ns 500\nillum 2\n"
         "newmtl b\nKd 0.25 0.5 0.75\nKe 1 1 1\nNs\nillum two\n");
    ASSERT_EQ(model.materials.size(), 2u);
    const Material& a = material(0);
    expectColour(a.ambient, 0.1f, 0.2f, 0.3f, 1); // alpha is never read
    expectColour(a.diffuse, 0.5f, 1, 1, 1);
    expectColour(a.specular, 0.6f, 0, 0, 1);
    expectColour(a.emission, 0, 0, 0, 1);
    EXPECT_EQ(a.shininess, 500.0f); // not clamped
    EXPECT_EQ(a.illum, 2.0f);
    const Material& b = material(1);
    expectColour(b.diffuse, 0.25f, 0.5f, 0.75f, 1);
    expectColour(b.emission, 1, 1, 1, 1);
    EXPECT_EQ(b.shininess, 2.0f);
    EXPECT_EQ(b.illum, 1.0f);
}

TEST_F(MtlTest, OpacityFromDTrAndTf) {
    read("newmtl tfOne\nTf 0.9\n"
         "newmtl tfThree\nTf 0.5 0.5 0.5\n"
         "newmtl dThenTr\nd 0.5\nTr 1\n"
         "newmtl trZero\nTr 0\n"
         "newmtl tfThenD\nTf 0 0 0\nd 0.75\n"
         "newmtl dMissing\nd 0.5\nd\n");
    ASSERT_EQ(model.materials.size(), 6u);
    EXPECT_EQ(material(0).dissolve, 0.9f / 3);
    EXPECT_EQ(material(1).dissolve, 0.5f);
    EXPECT_EQ(material(2).dissolve, 1.0f); // "Tr" is opacity, like "d"
    EXPECT_EQ(material(3).dissolve, 0.0f);
    EXPECT_EQ(material(4).dissolve, 0.75f);
    EXPECT_EQ(material(5).dissolve, 0.5f);
}

// ---- Names, keywords and lines -----------------------------------------------------------

TEST_F(MtlTest, NamesRepeatAndStopAtTheFirstBlankAndFilesAppend) {
    read("newmtl glass pane\nnewmtl glass\nnewmtl\n");
    model.loadMaterials(tmp.path("lib.mtl"));
    ASSERT_EQ(model.materials.size(), 6u);
    EXPECT_EQ(material(0).name, "glass");
    EXPECT_EQ(material(1).name, "glass");
    EXPECT_EQ(material(2).name, "");
    EXPECT_EQ(material(3).name, "glass");
    EXPECT_NE(model.materials[0].get(), model.materials[3].get());
}

TEST_F(MtlTest, KeywordsAreCaseSensitiveAndLinesBeforeNewmtlAreIgnored) {
    testing::internal::CaptureStderr();
    read("Kd 0 0 0\nd 0\nmap_Kd nothing.png\n"
         "NEWMTL upper\nnewmtl a\nKD 0 0 0\nkd 0 0 0\nD 0\nmap_kd x.png\nmap_bump x.png\n"
         "bump x.png\n# Kd 0 0 0\nNi 1.5\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), ""); // no image load was tried
    ASSERT_EQ(model.materials.size(), 1u);
    const Material& a = material(0);
    EXPECT_EQ(a.name, "a");
    expectColour(a.diffuse, 1, 1, 1, 1);
    EXPECT_EQ(a.dissolve, 1.0f);
    EXPECT_FALSE(a.mapDiffuse);
    EXPECT_FALSE(a.mapBump);
}

TEST_F(MtlTest, MissingFileGivesNoMaterialsQuietly) {
    testing::internal::CaptureStderr();
    model.loadMaterials(tmp.path("absent.mtl"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(model.materials.empty());
}

TEST_F(MtlTest, LongLinesAreReadWhole) {
    read("# " + std::string(4000, '#') + "\nnewmtl " + std::string(3000, 'm') + "\nKd 0 " +
         std::string(2000, ' ') + "0.5 0\nnewmtl after\n");
    ASSERT_EQ(model.materials.size(), 2u);
    EXPECT_EQ(material(0).name, std::string(3000, 'm'));
    expectColour(material(0).diffuse, 0, 0.5f, 0, 1);
    EXPECT_EQ(material(1).name, "after");
}

TEST_F(MtlTest, CrLfLineEnds) {
    read("newmtl red\r\nKd 1 0 0\r\nd 0.5\r\nnewmtl blue\r\n");
    ASSERT_EQ(model.materials.size(), 2u);
    EXPECT_EQ(material(0).name, "red");
    expectColour(material(0).diffuse, 1, 0, 0, 1);
    EXPECT_EQ(material(0).dissolve, 0.5f);
    EXPECT_EQ(material(1).name, "blue");
}

// ---- Texture maps (real images into a GL context) ----------------------------------------

namespace {

class MtlMapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        openTestWindow();
        std::filesystem::create_directories(tmp.path("a/b"));
    }
    void image(const std::string& name, Rgba colour = Rgba{9, 99, 199, 255}) {
        writeImage(
            tmp.path(name), 2, 2, [&](int, int) { return colour; }, IL_PNG);
    }
    TempDir tmp;
};

} // namespace

TEST_F(MtlMapTest, MapsComeFromTheMtlFilesDirectory) {
    image("a/b/tex.png"); // and none in the model's directory a/
    writeText(tmp.path("a/b/c.mtl"), "newmtl m\nmap_Ka tex.png\nmap_Kd tex.png\nmap_Ks tex.png\n"
                                     "map_Ke tex.png\nmap_Ns tex.png\nmap_d tex.png\n"
                                     "map_Bump tex.png\n");
    writeText(tmp.path("a/m.obj"), "mtllib b/c.mtl\n");
    testing::internal::CaptureStderr();
    const Model model(tmp.path("a/m.obj"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(model.materials.size(), 1u);
    const Material& m = *model.materials[0];
    unsigned previous = 0;
    for (const Texture* map :
         {m.mapAmbient.get(), m.mapDiffuse.get(), m.mapSpecular.get(), m.mapEmission.get(),
          m.mapShininess.get(), m.mapDissolve.get(), m.mapBump.get()}) {
        ASSERT_NE(map, nullptr);
        EXPECT_NE(map->glName, 0u);
        EXPECT_NE(map->glName, previous); // one texture per line, no sharing
        previous = map->glName;
    }
}

TEST_F(MtlMapTest, TheWordAfterTheKeywordIsTheFileEvenWhenItIsAnOption) {
    image("a/b/tex.png");
    image("a/b/-s"); // so that taking the option word as the file name loads a picture
    writeText(tmp.path("a/b/c.mtl"), "newmtl m\nmap_Kd -s 2 2 1 tex.png\n");
    std::filesystem::remove(tmp.path("a/b/tex.png"));
    testing::internal::CaptureStderr();
    Model model("");
    model.loadMaterials(tmp.path("a/b/c.mtl"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(model.materials.size(), 1u);
    ASSERT_TRUE(model.materials[0]->mapDiffuse);
    EXPECT_NE(model.materials[0]->mapDiffuse->glName, 0u);
}

TEST_F(MtlMapTest, AMapThatCannotLoadStaysAttachedWithoutAPicture) {
    writeText(tmp.path("a/b/c.mtl"), "newmtl m\nmap_Kd absent.png\nmap_Bump\n");
    testing::internal::CaptureStderr();
    Model model("");
    model.loadMaterials(tmp.path("a/b/c.mtl"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: DevIL failed to load the image!\nERROR: DevIL failed to load the image!\n");
    ASSERT_EQ(model.materials.size(), 1u);
    ASSERT_TRUE(model.materials[0]->mapDiffuse);
    EXPECT_EQ(model.materials[0]->mapDiffuse->glName, 0u);
    ASSERT_TRUE(model.materials[0]->mapBump); // the directory itself was tried
    EXPECT_EQ(model.materials[0]->mapBump->glName, 0u);
}

TEST_F(MtlMapTest, ASecondLineOfOneMapReplacesTheFirst) {
    image("a/b/one.png", Rgba{255, 0, 0, 255});
    image("a/b/two.png", Rgba{0, 255, 0, 255});
    writeText(tmp.path("a/b/c.mtl"), "newmtl m\nmap_Kd one.png\nmap_Kd two.png\n");
    Model model("");
    model.loadMaterials(tmp.path("a/b/c.mtl"));
    ASSERT_EQ(model.materials.size(), 1u);
    ASSERT_TRUE(model.materials[0]->mapDiffuse);
    ASSERT_NE(model.materials[0]->mapDiffuse->glName, 0u);
    uint8_t texels[2 * 2 * 4] = {};
    glBindTexture(GL_TEXTURE_2D, model.materials[0]->mapDiffuse->glName);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    EXPECT_EQ((Rgba{texels[0], texels[1], texels[2], texels[3]}), (Rgba{0, 255, 0, 255}));
}
