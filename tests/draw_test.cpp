// Model drawing against real GL: the two passes, material and texture state, and the stretch.
#include "assets/assets.h"
#include "tests/support.h"

#include <GL/gl.h>
#include <IL/il.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

const Rgba black{0, 0, 0, 255}, red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255},
    white{255, 255, 255, 255};

// Window pixel of the eye-space point (x, y, z) under the show's 45-degree projection.
int columnOf(double x, double z) {
    const double halfWidth = std::tan(22.5 * M_PI / 180) * 1280.0 / 720.0;
    return int(std::lround(640 + x / -z / halfWidth * 640));
}
int rowOf(double y, double z) {
    return int(std::lround(360 - y / -z / std::tan(22.5 * M_PI / 180) * 360));
}

// An OBJ rectangle facing the viewer at depth z, corners counter-clockwise from bottom-left.
std::string rectangle(double x0, double y0, double x1, double y1, double z) {
    auto v = [z](double x, double y) {
        return "v " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + "\n";
    };
    return v(x0, y0) + v(x1, y0) + v(x1, y1) + v(x0, y1);
}

// Lit as the timeline lights a model: lighting on, colour material off, no light enabled, so
// an untextured material shows its emission plus 0.2 of its ambient.
class DrawTest : public ::testing::Test {
  protected:
    void SetUp() override {
        openTestWindow();
        glEnable(GL_LIGHTING);
        glDisable(GL_COLOR_MATERIAL);
        glLoadIdentity();
        clear();
    }
    void clear() { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }
    std::unique_ptr<Model> load(const std::string& name, const std::string& obj,
                                const std::string& mtl = "") {
        if (!mtl.empty()) writeText(tmp.path(name + ".mtl"), mtl);
        writeText(tmp.path(name + ".obj"), (mtl.empty() ? "" : "mtllib " + name + ".mtl\n") + obj);
        auto model = std::make_unique<Model>(tmp.path(name + ".obj"));
        EXPECT_TRUE(model->loaded);
        return model;
    }
    Rgba pixel(int x, int y) {
        glFinish();
        return readBackPixel(x, y);
    }
    TempDir tmp;
};

} // namespace

// ---- Passes ------------------------------------------------------------------------------

TEST_F(DrawTest, OpaquePassSkipsTranslucentFacesAndTheFullPassDrawsThem) {
    // Opaque A on the left, translucent B in the middle, A again on the right.
    const auto model =
        load("m",
             rectangle(-3, -1, -1.5, 1, -5) + rectangle(-0.75, -1, 0.75, 1, -5) +
                 rectangle(1.5, -1, 3, 1, -5) +
                 "usemtl a\nf 1 2 3 4\nusemtl b\nf 5 6 7 8\nusemtl a\nf 9 10 11 12\n",
             "newmtl a\nKe 0 1 0\nd 1\nnewmtl b\nKe 1 0 0\nd 0.99\n");
    const int left = columnOf(-2.25, -5), middle = 640, right = columnOf(2.25, -5);

    model->drawPass(false);
    EXPECT_EQ(pixel(left, 360), green);
    EXPECT_EQ(pixel(middle, 360), black);
    EXPECT_EQ(pixel(right, 360), green);

    clear();
    model->drawPass(true);
    EXPECT_EQ(pixel(left, 360), green);
    EXPECT_EQ(pixel(middle, 360), red);
    EXPECT_EQ(pixel(right, 360), green);

    clear();
    model->draw();
    EXPECT_EQ(pixel(middle, 360), red);
    EXPECT_EQ(model->materials[1]->diffuse[3], 0.99f); // the alpha of the lit colour
}

TEST_F(DrawTest, FacesAreTrianglesOrOnePolygon) {
    // A pentagon whose top lies outside the triangle of its first three corners.
    const auto model = load("m",
                            "v -1 -1 -5\nv 1 -1 -5\nv 1.5 0.5 -5\nv 0 1.5 -5\nv -1.5 0.5 -5\n"
                            "v 2 -1 -5\nv 3 -1 -5\nv 2 0 -5\n"
                            "usemtl w\nf 1 2 3 4 5\nf 6 7 8\n",
                            "newmtl w\nKe 1 1 1\n");
    model->draw();
    EXPECT_EQ(pixel(640, rowOf(1.2, -5)), white);
    EXPECT_EQ(pixel(columnOf(2.2, -5), rowOf(-0.8, -5)), white);
    EXPECT_EQ(pixel(columnOf(2.8, -5), rowOf(-0.2, -5)), black); // outside the triangle
}

// ---- Materials and textures --------------------------------------------------------------

TEST_F(DrawTest, TexturedMaterialEnablesTexturingAndAnUntexturedOneDisablesIt) {
    writeImage(
        tmp.path("tex.png"), 8, 8, [](int, int y) { return y < 4 ? red : blue; }, IL_PNG);
    // Ka and Kd black: the texture still shows at full strength, since colour material made
    // the ambient white (0.2 of it from the light model ambient, plus 0.8 emission).
    const std::string mtl = "newmtl tex\nKa 0 0 0\nKd 0 0 0\nKe 0.8 0.8 0.8\nmap_Kd tex.png\n"
                            "newmtl plain\nKe 0 1 0\n";
    const std::string geometry = rectangle(-2, -1, -0.5, 1, -5) + rectangle(0.5, -1, 2, 1, -5) +
                                 "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";
    const auto texturedLast = load(
        "a", geometry + "usemtl plain\nf 5/1 6/2 7/3 8/4\nusemtl tex\nf 1/1 2/2 3/3 4/4\n", mtl);
    const auto plainLast = load(
        "b", geometry + "usemtl tex\nf 1/1 2/2 3/3 4/4\nusemtl plain\nf 5/1 6/2 7/3 8/4\n", mtl);
    const int left = columnOf(-1.25, -5), right = columnOf(1.25, -5);
    const int upper = rowOf(0.5, -5), lower = rowOf(-0.5, -5);

    plainLast->draw();
    EXPECT_TRUE(near(pixel(left, upper), red)) << int(pixel(left, upper).r);
    EXPECT_TRUE(near(pixel(left, lower), blue));
    EXPECT_EQ(pixel(right, upper), green); // not modulated by a texture left enabled
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));

    clear();
    texturedLast->draw();
    EXPECT_TRUE(near(pixel(left, upper), red));
    EXPECT_TRUE(near(pixel(left, lower), blue));
    EXPECT_EQ(pixel(right, lower), green);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(unsigned(bound), texturedLast->materials[0]->mapDiffuse->glName);
    EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
}

TEST_F(DrawTest, ColourMaterialIsOffAfterADraw) {
    writeImage(
        tmp.path("tex.png"), 2, 2, [](int, int) { return white; }, IL_PNG);
    const auto plain =
        load("a", rectangle(-1, -1, 1, 1, -5) + "usemtl p\nf 1 2 3 4\n", "newmtl p\nKe 0 0 1\n");
    const auto textured = load("b", rectangle(-1, -1, 1, 1, -5) + "usemtl t\nf 1 2 3 4\n",
                               "newmtl t\nmap_Kd tex.png\n");
    for (Model* model : {plain.get(), textured.get()}) {
        glEnable(GL_COLOR_MATERIAL);
        model->draw();
        EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
    }
}

TEST_F(DrawTest, AModelThatFailedToLoadDrawsNothingAndKeepsItsScale) {
    Model model(tmp.path("absent.obj"));
    ASSERT_FALSE(model.loaded);
    glEnable(GL_COLOR_MATERIAL);
    glDisable(GL_TEXTURE_2D);
    model.applyScale(2, 2, 2);
    model.draw();
    EXPECT_TRUE(model.scaled); // nothing was undone either
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// ---- Stretch -----------------------------------------------------------------------------

TEST_F(DrawTest, FactorsBelowATenthBecomeATenthOnEveryAxis) {
    const auto model = load("m",
                            rectangle(-20, 0, 20, 20, -100) + "vn 0.3 0.4 0.5\nusemtl w\n"
                                                              "f 1//1 2//1 3//1 4//1\n",
                            "newmtl w\nKe 1 1 1\n");
    const Model file(tmp.path("m.obj"));
    model->applyScale(0, -1, 0.05f);
    EXPECT_EQ(model->scaleX, 0.1f);
    EXPECT_EQ(model->scaleY, 0.1f);
    EXPECT_EQ(model->scaleZ, 0.1f);
    for (size_t i = 0; i < file.vertices.size(); ++i) {
        EXPECT_EQ(model->vertices[i]->x, file.vertices[i]->x * 0.1f);
        EXPECT_EQ(model->vertices[i]->y, file.vertices[i]->y * 0.1f);
        EXPECT_EQ(model->vertices[i]->z, file.vertices[i]->z * 0.1f);
    }
    EXPECT_EQ(model->normals[0]->x, 0.3f); // normals are not stretched

    // Drawn as a 4 x 2 rectangle above the centre at depth 10: not mirrored, not flattened,
    // and not twice as near (as a factor 0.05 in z would put it).
    model->draw();
    EXPECT_EQ(pixel(640, rowOf(1, -10)), white);
    EXPECT_EQ(pixel(640, rowOf(-1, -10)), black);
    EXPECT_EQ(pixel(columnOf(3.5, -5), rowOf(1, -10)), black);
    EXPECT_EQ(pixel(columnOf(1.8, -10), rowOf(1, -10)), white);
}

TEST_F(DrawTest, ASecondScaleBeforeTheDrawIsIgnored) {
    const auto model = load("m", "v 1.5 -2.25 3\nv 0.1 0.2 0.3\nf 1 2 2\n");
    const Model file(tmp.path("m.obj"));
    model->applyScale(2, 2, 2);
    model->applyScale(3, 0.5f, 7);
    EXPECT_EQ(model->scaleX, 2.0f);
    EXPECT_EQ(model->scaleZ, 2.0f);
    EXPECT_EQ(model->vertices[0]->x, 3.0f);
    EXPECT_EQ(model->vertices[0]->y, -4.5f);
    EXPECT_EQ(model->vertices[1]->z, file.vertices[1]->z * 2);
    model->draw();
    EXPECT_FALSE(model->scaled);
    model->draw(); // without a scale: positions untouched
    for (size_t i = 0; i < file.vertices.size(); ++i) {
        EXPECT_EQ(model->vertices[i]->x, file.vertices[i]->x);
        EXPECT_EQ(model->vertices[i]->y, file.vertices[i]->y);
        EXPECT_EQ(model->vertices[i]->z, file.vertices[i]->z);
    }
}

TEST_F(DrawTest, ThousandsOfScaleAndDrawRoundsLeaveTheFilesPositionsExactly) {
    // Values and factors for which multiplying and dividing again does not round-trip.
    const auto model = load("m", "v 0.1 0.7 -3.3333333\nv 123.456 -0.001 7.77\n"
                                 "v 1e-3 2.2 -9.87654\nv 5.5 0.3 0.9\nf 1 2 3 4\n");
    const Model file(tmp.path("m.obj"));
    std::mt19937 random(2011);
    std::uniform_real_distribution<float> factor(-0.5f, 5.0f);
    for (int round = 0; round < 5000; ++round) {
        model->applyScale(factor(random), factor(random), factor(random));
        model->draw();
    }
    for (size_t i = 0; i < file.vertices.size(); ++i) {
        EXPECT_EQ(model->vertices[i]->x, file.vertices[i]->x) << i;
        EXPECT_EQ(model->vertices[i]->y, file.vertices[i]->y) << i;
        EXPECT_EQ(model->vertices[i]->z, file.vertices[i]->z) << i;
    }
}
