// The OBJ reader on small files the tests write: corner forms, bad indices, groups, materials,
// line ends and line lengths.
#include "assets/assets.h"
#include "tests/support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Float3List = std::vector<std::unique_ptr<Float3>>;

// The 1-based indices of the entries of `list` that `pointers` point at (0 for a stranger).
std::vector<int> indices(const std::vector<Float3*>& pointers, const Float3List& list) {
    std::vector<int> result;
    for (const Float3* p : pointers) {
        int found = 0;
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].get() == p) found = int(i) + 1;
        result.push_back(found);
    }
    return result;
}

using Ints = std::vector<int>;

// Everything the reader produced, as text, to compare two readings of one model.
std::string describe(const Model& model) {
    std::ostringstream out;
    out << "loaded " << model.loaded << " scaled " << model.scaled << "\n";
    for (const Float3List* list : {&model.vertices, &model.normals, &model.texCoords})
        for (const auto& t : *list)
            out << t->x << " " << t->y << " " << t->z << "\n";
    for (const auto& m : model.materials)
        out << "material " << m->name << "\n";
    for (const auto& g : model.groups) {
        out << "group '" << g->name << "'\n";
        for (const auto& f : g->faces) {
            out << "face " << (f->material ? f->material->name : "-") << ":";
            for (int i : indices(f->vertices, model.vertices))
                out << " " << i;
            out << " /";
            for (int i : indices(f->texCoords, model.texCoords))
                out << " " << i;
            out << " /";
            for (int i : indices(f->normals, model.normals))
                out << " " << i;
            out << "\n";
        }
    }
    return out.str();
}

void expectFloat3(const Float3& t, float x, float y, float z) {
    EXPECT_EQ(t.x, x);
    EXPECT_EQ(t.y, y);
    EXPECT_EQ(t.z, z);
}

class ObjTest : public ::testing::Test {
  protected:
    // Writes `text` as m.obj in the temporary directory and reads it.
    std::unique_ptr<Model> read(const std::string& text) {
        writeText(tmp.path("m.obj"), text);
        auto model = std::make_unique<Model>(tmp.path("m.obj"));
        EXPECT_TRUE(model->loaded);
        EXPECT_EQ(model->path, tmp.path("m.obj"));
        return model;
    }
    const Face& onlyFace(const Model& model) {
        EXPECT_EQ(model.groups.size(), 1u);
        EXPECT_EQ(model.groups[0]->faces.size(), 1u);
        return *model.groups[0]->faces[0];
    }
    TempDir tmp;
};

const char nineVertices[] = "v 1 0 0\nv 2 0 0\nv 3 0 0\nv 4 0 0\nv 5 0 0\n"
                            "v 6 0 0\nv 7 0 0\nv 8 0 0\nv 9 0 0\n";
const char nineTexCoords[] = "vt 0.1 0\nvt 0.2 0\nvt 0.3 0\nvt 0.4 0\nvt 0.5 0\n"
                             "vt 0.6 0\nvt 0.7 0\nvt 0.8 0\nvt 0.9 0\n";
const char nineNormals[] = "vn 0 1 0\nvn 0 2 0\nvn 0 3 0\nvn 0 4 0\nvn 0 5 0\n"
                           "vn 0 6 0\nvn 0 7 0\nvn 0 8 0\nvn 0 9 0\n";

} // namespace

// ---- Corner forms ------------------------------------------------------------------------

TEST_F(ObjTest, PositionsOnlyFaceOfFiveCorners) {
    const auto model = read(std::string(nineVertices) + "f 1 2 3 4 5\n");
    const Face& face = onlyFace(*model);
    EXPECT_EQ(face.vertexCount, 5);
    EXPECT_EQ(indices(face.vertices, model->vertices), (Ints{1, 2, 3, 4, 5}));
    EXPECT_EQ(face.texCoordCount, 0);
    EXPECT_EQ(face.normalCount, 0);
    EXPECT_EQ(face.material, nullptr);
}

TEST_F(ObjTest, PositionAndTexCoordCorners) {
    const auto model = read(std::string(nineVertices) + nineTexCoords + "f 1/9 2/8 3/7\n");
    const Face& face = onlyFace(*model);
    EXPECT_EQ(indices(face.vertices, model->vertices), (Ints{1, 2, 3}));
    EXPECT_EQ(indices(face.texCoords, model->texCoords), (Ints{9, 8, 7}));
    EXPECT_EQ(face.texCoordCount, 3);
    EXPECT_EQ(face.normalCount, 0);
}

TEST_F(ObjTest, PositionAndNormalCorners) {
    const auto model = read(std::string(nineVertices) + nineNormals + "f 1//1 2//2 3//3 4//4\n");
    const Face& face = onlyFace(*model);
    EXPECT_EQ(face.vertexCount, 4);
    EXPECT_EQ(indices(face.normals, model->normals), (Ints{1, 2, 3, 4}));
    EXPECT_EQ(face.normalCount, 4);
    EXPECT_EQ(face.texCoordCount, 0);
}

TEST_F(ObjTest, FullCorners) {
    const auto model =
        read(std::string(nineVertices) + nineTexCoords + nineNormals + "f 1/2/3 4/5/6 7/8/9\n");
    const Face& face = onlyFace(*model);
    EXPECT_EQ(indices(face.vertices, model->vertices), (Ints{1, 4, 7}));
    EXPECT_EQ(indices(face.texCoords, model->texCoords), (Ints{2, 5, 8}));
    EXPECT_EQ(indices(face.normals, model->normals), (Ints{3, 6, 9}));
}

TEST_F(ObjTest, DoubleSlashSkipsTexCoordsEvenWhenTheFileHasThem) {
    const auto model =
        read(std::string(nineVertices) + nineTexCoords + nineNormals + "f 1//2 3//4 5//6\n");
    const Face& face = onlyFace(*model);
    EXPECT_EQ(indices(face.vertices, model->vertices), (Ints{1, 3, 5}));
    EXPECT_EQ(indices(face.normals, model->normals), (Ints{2, 4, 6}));
    EXPECT_EQ(face.texCoordCount, 0);
}

TEST_F(ObjTest, WhichIndicesACornerCarriesFollowsTheListsNotTheSlashes) {
    // With "vt" lines present, a position-only corner's next number is its texture index.
    const auto model = read(std::string(nineVertices) + nineTexCoords + "f 1 2 3 4\n");
    const Face& face = onlyFace(*model);
    EXPECT_EQ(indices(face.vertices, model->vertices), (Ints{1, 3}));
    EXPECT_EQ(indices(face.texCoords, model->texCoords), (Ints{2, 4}));
}

TEST_F(ObjTest, AnIndexAfterATabIsSwallowed) {
    const auto model = read(std::string(nineVertices) + "f 1\t2 3 4\n");
    EXPECT_EQ(indices(onlyFace(*model).vertices, model->vertices), (Ints{1, 3, 4}));
}

TEST_F(ObjTest, FacesShareTheModelsTriples) {
    const auto model = read("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 2 4 3\n");
    const auto& faces = model->groups[0]->faces;
    ASSERT_EQ(faces.size(), 2u);
    EXPECT_EQ(faces[0]->vertices[1], model->vertices[1].get());
    EXPECT_EQ(faces[1]->vertices[0], model->vertices[1].get());
    EXPECT_EQ(faces[0]->vertices[2], faces[1]->vertices[2]);
}

// ---- Faces without corners and bad indices -----------------------------------------------

TEST_F(ObjTest, BareFaceLineGivesAFaceWithoutCorners) {
    const auto model = read("v 0 0 0\nf\nf 1 1 1\n");
    const auto& faces = model->groups[0]->faces;
    ASSERT_EQ(faces.size(), 2u);
    EXPECT_EQ(faces[0]->vertexCount, 0);
    EXPECT_EQ(faces[0]->normalCount, 0);
    EXPECT_EQ(faces[0]->texCoordCount, 0);
    EXPECT_EQ(faces[1]->vertexCount, 3);
}

TEST_F(ObjTest, FaceBeforeAnyTriplesHasNoCornersAndReadingGoesOn) {
    const auto model = read("f 1 2 3\nf 1/1/1 2/2/2\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const auto& faces = model->groups[0]->faces;
    ASSERT_EQ(faces.size(), 3u);
    EXPECT_EQ(faces[0]->vertexCount, 0);
    EXPECT_EQ(faces[1]->vertexCount, 0);
    EXPECT_EQ(indices(faces[2]->vertices, model->vertices), (Ints{1, 2, 3}));
}

TEST_F(ObjTest, OutOfRangeAndUnreadableIndicesDropTheirCorner) {
    const auto model = read(std::string(nineVertices) +
                            "f 1 0 2 -1 3 10 x 4 +5 1234567890123456789012 6\n"
                            "f 1 2 3  \n" // the blank after the trailing space is no corner
                            "f 7 8 9 10\n");
    const auto& faces = model->groups[0]->faces;
    ASSERT_EQ(faces.size(), 3u);
    EXPECT_EQ(indices(faces[0]->vertices, model->vertices), (Ints{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(indices(faces[1]->vertices, model->vertices), (Ints{1, 2, 3}));
    // Index 10 does not exist yet: indices count the entries read so far.
    EXPECT_EQ(indices(faces[2]->vertices, model->vertices), (Ints{7, 8, 9}));
}

TEST_F(ObjTest, ABadIndexDropsTheWholeCornerSoTheArraysStayAligned) {
    const auto model = read(std::string(nineVertices) + nineTexCoords + nineNormals +
                            "f 1/x/1 2/2/2 3/3/99 4/4/4 5/5/x 6/6/6\n");
    const Face& face = onlyFace(*model);
    EXPECT_EQ(indices(face.vertices, model->vertices), (Ints{2, 4, 6}));
    EXPECT_EQ(indices(face.texCoords, model->texCoords), (Ints{2, 4, 6}));
    EXPECT_EQ(indices(face.normals, model->normals), (Ints{2, 4, 6}));
}

TEST_F(ObjTest, ACornerWithOnlyTexCoordIsReadWhenTheFileHasNoPositions) {
    const auto model = read(std::string(nineTexCoords) + "f 2 3 0\n");
    const Face& face = onlyFace(*model);
    EXPECT_EQ(face.vertexCount, 0);
    EXPECT_EQ(indices(face.texCoords, model->texCoords), (Ints{2, 3}));
}

// ---- Triples -----------------------------------------------------------------------------

TEST_F(ObjTest, MissingOrUnreadableNumbersLeaveZeros) {
    const auto model = read("v 1 2\nv\nv 1 x 3\nv 1e2 -2.5E-1 .5 9 9\n  \tv 7 8 9\n"
                            "vt 0.5 0.25\nvn 0 0 1\n");
    ASSERT_EQ(model->vertices.size(), 5u);
    expectFloat3(*model->vertices[0], 1, 2, 0);
    expectFloat3(*model->vertices[1], 0, 0, 0);
    expectFloat3(*model->vertices[2], 1, 0, 0);
    expectFloat3(*model->vertices[3], 100, -0.25f, 0.5f);
    expectFloat3(*model->vertices[4], 7, 8, 9);
    ASSERT_EQ(model->texCoords.size(), 1u);
    expectFloat3(*model->texCoords[0], 0.5f, 0.25f, 0);
    ASSERT_EQ(model->normals.size(), 1u);
    expectFloat3(*model->normals[0], 0, 0, 1);
}

// Exactly the C library's reading of each number: the nearest float, ties to even, infinity
// above the largest float, and the tiny values below the smallest normal one.
TEST_F(ObjTest, NumbersRoundAsTheCLibraryReadsThem) {
    const char* numbers[] = {"+1.5",
                             "-0",
                             "0.1",
                             "1.00000005960464477539",
                             "1e39",
                             "-1e39",
                             "3.40282357e38",
                             "1e-50",
                             "2e-45",
                             "1.17e-38",
                             ".5e1",
                             "7.",
                             "-.25E+2",
                             "16777217",
                             "0.30000001192092896",
                             "123456789012345678901"};
    std::string text;
    for (size_t i = 0; i < std::size(numbers); i += 2)
        text += std::string("v ") + numbers[i] + " " + numbers[i + 1] + "\n";
    const auto model = read(text);
    ASSERT_EQ(model->vertices.size(), std::size(numbers) / 2);
    for (size_t i = 0; i < std::size(numbers); ++i) {
        const Float3& v = *model->vertices[i / 2];
        const float read = i % 2 ? v.y : v.x;
        const float expected = std::strtof(numbers[i], nullptr);
        EXPECT_EQ(read, expected) << numbers[i];
        EXPECT_EQ(std::signbit(read), std::signbit(expected)) << numbers[i];
    }
}

TEST_F(ObjTest, KeywordsAreCaseSensitiveAndOthersAreIgnored) {
    const auto model = read("# v 9 9 9\nV 1 1 1\nVN 0 0 1\nVT 0 0\no thing\ns 1\nG upper\n"
                            "v 1 2 3\nvt 0 0\nF 1/1\nf 1/1 1/1 1/1\nUsemtl x\n");
    EXPECT_EQ(model->vertices.size(), 1u);
    EXPECT_EQ(model->normals.size(), 0u);
    EXPECT_EQ(model->texCoords.size(), 1u);
    ASSERT_EQ(model->groups.size(), 1u);
    EXPECT_EQ(model->groups[0]->name, "");
    EXPECT_EQ(model->groups[0]->faces.size(), 1u);
}

// ---- Groups ------------------------------------------------------------------------------

TEST_F(ObjTest, GroupDefaultGoesBackToTheFirstGroupAndNamesMayRepeat) {
    const auto model = read("v 0 0 0\nf 1 1 1\ng wing\nf 1 1 1\ng default\nf 1 1 1\n"
                            "g wing\nf 1 1 1\nf 1 1 1\ng\nf 1 1 1\n");
    ASSERT_EQ(model->groups.size(), 4u);
    EXPECT_EQ(model->groups[0]->name, "");
    EXPECT_EQ(model->groups[0]->faces.size(), 2u);
    EXPECT_EQ(model->groups[1]->name, "wing");
    EXPECT_EQ(model->groups[1]->faces.size(), 1u);
    EXPECT_EQ(model->groups[2]->name, "wing");
    EXPECT_EQ(model->groups[2]->faces.size(), 2u);
    EXPECT_EQ(model->groups[3]->name, ""); // a "g" without a word is a new group
    EXPECT_EQ(model->groups[3]->faces.size(), 1u);
}

// ---- Materials ---------------------------------------------------------------------------

TEST_F(ObjTest, UsemtlBeforeMtllibOrWithAnUnknownNameKeepsTheCurrentMaterial) {
    writeText(tmp.path("lib.mtl"), "newmtl red\nnewmtl blue\nnewmtl red\n");
    const auto model = read("v 0 0 0\nusemtl red\nf 1 1 1\nmtllib lib.mtl\nf 1 1 1\n"
                            "usemtl red\nf 1 1 1\nusemtl green\nf 1 1 1\ng other\nf 1 1 1\n"
                            "usemtl blue\nf 1 1 1\nusemtl\nf 1 1 1\n");
    ASSERT_EQ(model->materials.size(), 3u);
    const Material* red = model->materials[0].get();
    const Material* blue = model->materials[1].get();
    std::vector<const Material*> seen;
    for (const auto& g : model->groups)
        for (const auto& f : g->faces)
            seen.push_back(f->material);
    EXPECT_EQ(seen, (std::vector<const Material*>{nullptr, nullptr, red, red, red, blue, blue}));
}

TEST_F(ObjTest, MtllibTakesItsLastWordFromTheModelDirectory) {
    std::filesystem::create_directory(tmp.path("sub"));
    writeText(tmp.path("sub/first.mtl"), "newmtl first\n");
    writeText(tmp.path("sub/second.mtl"), "newmtl second\n");
    writeText(tmp.path("first.mtl"), "newmtl wrongDirectory\n");
    writeText(tmp.path("sub/m.obj"),
              "mtllib first.mtl second.mtl\nmtllib missing.mtl\nmtllib second.mtl\n");
    const Model model(tmp.path("sub/m.obj"));
    ASSERT_EQ(model.materials.size(), 2u);
    EXPECT_EQ(model.materials[0]->name, "second");
    EXPECT_EQ(model.materials[1]->name, "second");
}

TEST_F(ObjTest, BackslashSeparatesDirectoriesAndAPathWithoutSeparatorHasNoDirectory) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(tmp.dir);
    writeText("lib.mtl", "newmtl plain\n");
    writeText("m.obj", "mtllib lib.mtl\n");
    writeText("win\\lib.mtl", "newmtl windows\n"); // one file name holding a backslash
    writeText("win\\m.obj", "mtllib lib.mtl\n");
    const Model plain("m.obj");
    const Model windows("win\\m.obj");
    std::filesystem::current_path(previous);
    ASSERT_EQ(plain.materials.size(), 1u);
    EXPECT_EQ(plain.materials[0]->name, "plain");
    ASSERT_EQ(windows.materials.size(), 1u);
    EXPECT_EQ(windows.materials[0]->name, "windows");
}

// ---- Files and lines ---------------------------------------------------------------------

TEST_F(ObjTest, MissingFileLeavesAnEmptyUnloadedModelQuietly) {
    testing::internal::CaptureStderr();
    Model model(tmp.path("absent.obj"));
    EXPECT_FALSE(model.loadObj(tmp.path("absent.obj")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(model.loaded);
    EXPECT_TRUE(model.groups.empty());
    EXPECT_TRUE(model.vertices.empty());
    EXPECT_TRUE(model.materials.empty());
    EXPECT_EQ(model.path, tmp.path("absent.obj"));

    const Model unnamed("");
    EXPECT_FALSE(unnamed.loaded);
    EXPECT_TRUE(unnamed.groups.empty());
    EXPECT_EQ(unnamed.path, "");
}

TEST_F(ObjTest, CrLfLineEndsReadLikeLineFeeds) {
    const std::string mtl = "newmtl shiny\nKd 0.5 0.5 0.5\nnewmtl dull\n";
    const std::string obj = "mtllib lib.mtl\nv 1 2 3\nv 4 5 6\nv 7 8 9\nvt 0.5 1\nvn 0 0 1\n"
                            "g body\nusemtl dull\nf 1/1/1 2/1/1 3/1/1\ng default\nusemtl shiny\n"
                            "f 3/1/1 2/1/1 1/1/1";
    auto crlf = [](const std::string& text) {
        std::string out;
        for (char c : text)
            out += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    };
    writeText(tmp.path("lib.mtl"), mtl);
    const std::string expected = describe(*read(obj));
    writeText(tmp.path("lib.mtl"), crlf(mtl));
    const auto model = read(crlf(obj));
    EXPECT_EQ(describe(*model), expected);
    EXPECT_NE(expected.find("face dull: 1 2 3 / 1 1 1 / 1 1 1"), std::string::npos) << expected;
}

TEST_F(ObjTest, LongLinesAreReadWhole) {
    std::string obj = "# " + std::string(5000, 'x') + "\nv 0 0 0\nv 1 0 0\nv 0 1 0\ng " +
                      std::string(3000, 'n') + "\nf";
    for (int i = 0; i < 2000; ++i)
        obj += " " + std::to_string(i % 3 + 1);
    obj += "\nf 3 2 1\n";
    const auto model = read(obj);
    EXPECT_EQ(model->vertices.size(), 3u);
    ASSERT_EQ(model->groups.size(), 2u);
    EXPECT_EQ(model->groups[1]->name, std::string(3000, 'n'));
    const auto& faces = model->groups[1]->faces;
    ASSERT_EQ(faces.size(), 2u);
    ASSERT_EQ(faces[0]->vertexCount, 2000);
    EXPECT_EQ(faces[0]->vertices[1999], model->vertices[1999 % 3].get());
    EXPECT_EQ(faces[1]->vertexCount, 3);
}
