// The show's frames through the live loop's renderFrame: windows, layers, the model, the end of the
// show.
#include "show/pass.h"
#include "app/window.h"
#include "show/stage.h"
#include "assets/assets.h"
#include "music/bass.h"
#include "music/music.h"
#include "show/show.h"
#include "show/slots.h"
#include "tests/support.h"

#include <GL/gl.h>
#include <IL/il.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double framesPerSecond = 44100; // the committed track: 16-bit stereo at 44100 Hz
constexpr QWORD bytesPerFrame = 4;

constexpr int slotCount = textureSlotCount; // each slot gets a flat colour of its own

// Distinct colours, all with blue of at least 100, so none is black (the clear colour) and none
// looks like the yellow test model.
Rgba slotColour(int index) {
    return Rgba{uint8_t(index * 47 % 256), uint8_t((index * 97 + 60) % 256),
                uint8_t(100 + index * 37 % 156), 255};
}

const Rgba black{0, 0, 0, 255};
const Rgba transparent{0, 0, 0, 0};

// A model pixel: lit yellow, so no blue, unlike every slot colour.
bool isModel(const Rgba& p) {
    return p.b < 40 && p.r > 30 && std::abs(p.r - p.g) < 30;
}

class FrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        openTestWindow();
        setupLights();
        for (int i = 0; i < slotCount; ++i)
            for (int j = 0; j < i; ++j)
                ASSERT_FALSE(near(slotColour(i), slotColour(j), 24)) << i << " " << j;
        for (int i = 0; i < slotCount; ++i) {
            const Rgba c = slotColour(i);
            *textureSlots[i].slot =
                load("slot" + std::to_string(i), 4, 4, [c](int, int) { return c; });
        }
        modelDrusk = yellowCube(2);

        // The "no sound" device: the clock runs only while playing and stands exactly where it
        // is put while paused.
        ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
        musicStream = BASS_StreamCreateFile(FALSE, "Data/Zrax2011.mp3", 0, 0, BASS_STREAM_PRESCAN);
        ASSERT_NE(musicStream, 0u);
        ASSERT_TRUE(BASS_ChannelPlay(musicStream, TRUE));
        ASSERT_TRUE(BASS_Pause());
        ASSERT_EQ(BASS_ChannelBytes2Seconds(musicStream, 176400), 1.0);
    }
    void TearDown() override { BASS_Free(); }

    Rgba colourOf(Texture* const* slot) const {
        for (int i = 0; i < slotCount; ++i)
            if (textureSlots[i].slot == slot) return slotColour(i);
        ADD_FAILURE() << "not a slot";
        return black;
    }

    Texture* load(const std::string& name, int width, int height,
                  const std::function<Rgba(int, int)>& colour) {
        const std::string path = tmp.path(name + ".png");
        writeImage(path, width, height, colour, IL_PNG);
        textures.push_back(std::make_unique<Texture>(path.c_str()));
        EXPECT_NE(textures.back()->glName, 0u) << name;
        return textures.back().get();
    }
    // Replaces a slot's texture with one whose columns are `left` up to column `split` of
    // `width` and `right` from there on.
    void splitSlot(Texture** slot, int width, int split, Rgba left, Rgba right) {
        *slot = load("split" + std::to_string(splits++), width, 4,
                     [=](int x, int) { return x < split ? left : right; });
    }

    // A cube of half-size `half` about the origin, lit yellow, with its own normals.
    Model* yellowCube(float half) {
        writeText(tmp.path("cube.mtl"), "newmtl yellow\nKa 1 1 0\nKd 1 1 0\n");
        std::string obj = "mtllib cube.mtl\n";
        for (int i = 0; i < 8; ++i)
            obj += "v " + std::to_string(i & 1 ? half : -half) + " " +
                   std::to_string(i & 2 ? half : -half) + " " +
                   std::to_string(i & 4 ? half : -half) + "\n";
        obj += "vn -1 0 0\nvn 1 0 0\nvn 0 -1 0\nvn 0 1 0\nvn 0 0 -1\nvn 0 0 1\nusemtl yellow\n";
        obj += "f 1//1 5//1 7//1 3//1\nf 2//2 4//2 8//2 6//2\nf 1//3 2//3 6//3 5//3\n";
        obj += "f 3//4 7//4 8//4 4//4\nf 1//5 3//5 4//5 2//5\nf 5//6 6//6 8//6 7//6\n";
        writeText(tmp.path("cube.obj"), obj);
        models.push_back(std::make_unique<Model>(tmp.path("cube.obj")));
        EXPECT_TRUE(models.back()->loaded);
        return models.back().get();
    }

    // Puts the paused clock on the frame `frame` of the track, so musicTime() is frame / 44100.
    void atFrame(long long frame) {
        ASSERT_TRUE(BASS_ChannelSetPosition(musicStream, QWORD(frame) * bytesPerFrame));
        ASSERT_EQ(musicTime(), frame / framesPerSecond);
    }
    // `seconds` must fall on a frame of the track: every time with two decimals does.
    void at(double seconds) { atFrame(std::llround(seconds * framesPerSecond)); }
    // The last frame before `seconds`.
    void justBefore(double seconds) { atFrame(std::llround(seconds * framesPerSecond) - 1); }

    // Draws the frame for the clock's time and returns what the X server then shows.
    Screenshot show() {
        renderFrame();
        return captureWindow();
    }

    TempDir tmp;
    int splits = 0;
    // What the slots point at; a slot given another texture leaves the old one here.
    std::vector<std::unique_ptr<Texture>> textures;
    std::vector<std::unique_ptr<Model>> models;
};

#define EXPECT_COLOUR(shot, x, y, colour)                                                          \
    do {                                                                                           \
        const Rgba seen = (shot).at(x, y), wanted = (colour);                                      \
        EXPECT_TRUE(near(seen, wanted))                                                            \
            << "at (" << (x) << ", " << (y) << "): " << int(seen.r) << " " << int(seen.g) << " "   \
            << int(seen.b) << ", not " << int(wanted.r) << " " << int(wanted.g) << " "             \
            << int(wanted.b);                                                                      \
    } while (0)

} // namespace

// Window 1 is the background with texOstravel over it; from 4.67 s texPresents lies on top.
// texOstravel is transparent in its left quarter, partly transparent in its second quarter.
// texPresents is opaque in its right quarter only.
TEST_F(FrameTest, OpeningCardsUpTo4_67AndPresentsFromThere) {
    const Rgba back = colourOf(&texCreditsBackground), card = colourOf(&texOstravel),
               presents = colourOf(&texPresents);
    texOstravel = load("ostravel", 64, 4, [=](int x, int) {
        if (x < 16) return transparent;
        if (x < 32) return Rgba{card.r, card.g, card.b, 160};
        return card;
    });
    splitSlot(&texPresents, 64, 48, transparent, presents);
    auto blend = [&](uint8_t over, uint8_t under) {
        return uint8_t(std::lround((over * 160 + under * 95) / 255.0));
    };
    const Rgba half{blend(card.r, back.r), blend(card.g, back.g), blend(card.b, back.b), 255};

    for (long long frame : {0LL, std::llround(2.5 * framesPerSecond), 205947LL - 1}) {
        atFrame(frame);
        const Screenshot shot = show();
        EXPECT_COLOUR(shot, 100, 360, back);
        EXPECT_COLOUR(shot, 480, 100, half);
        EXPECT_COLOUR(shot, 800, 600, card);
        EXPECT_COLOUR(shot, 1200, 360, card);
    }
    at(4.67);
    Screenshot shot = show();
    EXPECT_COLOUR(shot, 100, 360, back);
    EXPECT_COLOUR(shot, 800, 600, card);
    EXPECT_COLOUR(shot, 1200, 360, presents);
    justBefore(9);
    shot = show();
    EXPECT_COLOUR(shot, 1200, 360, presents);
}

// Without a stream the clock reads a negative time, which lies in the first window.
TEST_F(FrameTest, NegativeTimeShowsTheFirstWindow) {
    musicStream = 0;
    ASSERT_LT(musicTime(), 0.0);
    splitSlot(&texOstravel, 64, 32, transparent, colourOf(&texOstravel));
    const Screenshot shot = show();
    EXPECT_COLOUR(shot, 100, 360, colourOf(&texCreditsBackground));
    EXPECT_COLOUR(shot, 1200, 360, colourOf(&texOstravel));
}

TEST_F(FrameTest, PictureFrom9To11_1ThenTheModelBetweenBackgroundAndCard) {
    splitSlot(&texGlimmoxZuror, 64, 32, transparent, colourOf(&texGlimmoxZuror));
    justBefore(9);
    Screenshot shot = show();
    EXPECT_COLOUR(shot, 1200, 360, colourOf(&texPresents));
    for (double t : {9.0, 10.0, 11.0}) {
        at(t);
        shot = show();
        EXPECT_COLOUR(shot, 100, 360, colourOf(&texLondonBackground));
        EXPECT_COLOUR(shot, 1200, 360, colourOf(&texGlimmoxZuror));
        EXPECT_FALSE(isModel(shot.at(660, 360)));
    }
    justBefore(11.1);
    shot = show();
    EXPECT_COLOUR(shot, 1200, 360, colourOf(&texGlimmoxZuror));
    EXPECT_FALSE(isModel(shot.at(660, 360)));
}

// Each credits card is opaque on the left half of the screen only: there it covers the model
// (which spans the centre), on the right the model lies over the background.
TEST_F(FrameTest, CreditsShowTheModelBetweenBackgroundAndEachCard) {
    struct Card {
        double start, end;
        Texture** slot;
    };
    const Card cards[] = {{11.1, 12.2, &texGraphics},  {12.2, 13.3, &texZPT},
                          {13.3, 14.3, &texDidovari2}, {14.3, 15.4, &texMusic},
                          {15.4, 16.5, &texKeB},       {16.5, 17.5, &texCode},
                          {17.5, 18.5, &texDidovari2}};
    for (const Card& card : cards) {
        const Rgba colour = colourOf(card.slot);
        splitSlot(card.slot, 64, 32, colour, transparent);
    }
    for (const Card& card : cards) {
        for (bool last : {false, true}) {
            SCOPED_TRACE(::testing::Message()
                         << "card from " << card.start << (last ? " end" : ""));
            if (last)
                justBefore(card.end);
            else
                at(card.start);
            const Screenshot shot = show();
            EXPECT_COLOUR(shot, 100, 100, colourOf(card.slot));
            EXPECT_COLOUR(shot, 620, 360, colourOf(card.slot)); // over the model
            EXPECT_TRUE(isModel(shot.at(660, 360)));
            EXPECT_COLOUR(shot, 1200, 100, colourOf(&texCredits2Background));
        }
    }
    at(18.5);
    const Screenshot shot = show();
    EXPECT_COLOUR(shot, 660, 360, colourOf(&texHappyPonderosa));
    EXPECT_COLOUR(shot, 100, 100, colourOf(&texHappyPonderosa));
}

// At 18 s the three rotations are 2700, 1800 and 180 degrees, so the cube stands square to the
// view with its own x axis horizontal: spectrum bin 2 at 1 makes it 1.8 times as wide.
TEST_F(FrameTest, SpectrumBinTwoStretchesTheModelAlongItsXAxis) {
    splitSlot(&texDidovari2, 64, 4, colourOf(&texDidovari2), transparent);
    auto modelWidth = [&] {
        const Screenshot shot = show();
        int width = 0;
        for (int x = 0; x < shot.width; ++x)
            width += isModel(shot.at(x, 360)) ? 1 : 0;
        return width;
    };
    at(18);
    const int plain = modelWidth();
    EXPECT_NEAR(plain, 2 * 2 * 360 / (19.81 * std::tan(M_PI / 8)), 4); // front face 19.81 away
    spectrum[2] = 1;
    const int stretched = modelWidth();
    EXPECT_NEAR(stretched / double(plain), 1.8, 0.03);
    spectrum[2] = 0;
    spectrum[0] = 1; // along its own z axis: towards the viewer, not wider on screen
    EXPECT_GE(modelWidth(), plain);
    spectrum[0] = 0;
    EXPECT_EQ(modelWidth(), plain); // the stretch lasts one draw
}

TEST_F(FrameTest, EachPictureFromItsStartToItsEnd) {
    struct Picture {
        double start, end;
        Texture** slot;
    };
    const Picture pictures[] = {
        {18.5, 26.3, &texHappyPonderosa},
        {26.3, 29, &texCart2},
        {29, 31, &texCart4},
        {31, 37, &texRanch},
        {37, 40, &texMeatAndGold},
        {40, 42, &texCommercialbreak},
        {42, 44, &texGlimmoxOnTV},
        {44, 46, &texGlimmoxOnTV3},
        {46, 48, &texGlimmoxOnTV2},
        {48, 49.5, &texRome},
        {49.5, 50.5, &texIbiza},
        {59, 63, &texCartypaahest},
        {63, 67, &texTakingLives},
        {67, 70, &texGlimmoxAndTheGays},
        {70, 76, &texTakingLives},
        {76, 79, &texCartenitrucken},
        {79, 80, &texSplatt},
    };
    for (const Picture& picture : pictures) {
        SCOPED_TRACE(::testing::Message() << "picture from " << picture.start);
        at(picture.start);
        Screenshot shot = show();
        EXPECT_COLOUR(shot, 640, 360, colourOf(picture.slot));
        EXPECT_COLOUR(shot, 0, 0, colourOf(picture.slot));
        EXPECT_COLOUR(shot, 1279, 719, colourOf(picture.slot));
        justBefore(picture.end);
        shot = show();
        EXPECT_COLOUR(shot, 640, 360, colourOf(picture.slot));
    }
}

// texLondonBackground is transparent in its left eighth, so window 21 shows through there; the
// portrait covers the middle 720 pixels.
class PortraitTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        splitSlot(&texLondonBackground, 64, 8, transparent, london);
        // 256 rows, the lowest 16 red: a band 2.68 * 16 / 256 = 0.1675 units tall.
        texCyglimmoxWadawda =
            load("portrait", 16, 256, [=](int, int y) { return y >= 240 ? red : portrait; });
    }
    // Pixels from the bottom of the screen to the top of the red band at this time.
    static double bandTopAboveBottom(float seconds, bool drifting) {
        const double unitsPerPixel = 1.81 * std::tan(M_PI / 8) / 360;
        const double lift = drifting ? double(0.01f * seconds) : 0;
        const double bandTop = lift - 1.34 + 2.68 * 16 / 256; // units above the screen centre
        return 360 + bandTop / unitsPerPixel;
    }
    const Rgba london = colourOf(&texLondonBackground);
    const Rgba portrait = colourOf(&texCyglimmoxWadawda);
    const Rgba red{255, 0, 0, 255};
};

TEST_F(PortraitTest, From50To52ThreeWindowsStackInOrder) {
    at(50);
    Screenshot shot = show();
    for (int x : {60, 200, 640, 1200})
        EXPECT_COLOUR(shot, x, 360, colourOf(&texIbiza));
    justBefore(50.5);
    shot = show();
    EXPECT_COLOUR(shot, 640, 360, colourOf(&texIbiza));

    for (double t : {50.5, 51.0, 51.99}) {
        SCOPED_TRACE(t);
        at(t);
        shot = show();
        EXPECT_COLOUR(shot, 60, 360, colourOf(&texIbiza)); // window 21 under window 22
        EXPECT_COLOUR(shot, 200, 360, london);             // window 22
        EXPECT_COLOUR(shot, 640, 360, portrait);           // window 23 over both
        EXPECT_COLOUR(shot, 1200, 360, london);
    }
    at(52);
    shot = show();
    EXPECT_COLOUR(shot, 60, 360, black); // window 21 has ended
    EXPECT_COLOUR(shot, 200, 360, london);
    EXPECT_COLOUR(shot, 640, 360, portrait);
    at(53);
    shot = show();
    EXPECT_COLOUR(shot, 60, 360, black);
    EXPECT_COLOUR(shot, 640, 360, portrait);
}

// The portrait's lower edge lies 41 pixels below the screen at 50.5 s and rises 4.8 pixels a
// second; the red band above that edge shows how far.
TEST_F(PortraitTest, TheDriftingPortraitRisesWithTheMusicTime) {
    for (double t : {50.5, 53.0, 55.49}) {
        SCOPED_TRACE(t);
        at(t);
        const double top = bandTopAboveBottom(float(t), true);
        const Screenshot shot = show();
        EXPECT_COLOUR(shot, 640, int(std::lround(719 - (top - 6))), red);
        EXPECT_COLOUR(shot, 640, int(std::lround(719 - (top + 6))), portrait);
    }
}

TEST_F(PortraitTest, From55_5ThePortraitStandsCentredAloneWithBlackStrips) {
    at(55.5);
    const Screenshot shot = show();
    for (int y : {0, 360, 719}) {
        EXPECT_COLOUR(shot, 0, y, black);
        EXPECT_COLOUR(shot, 278, y, black);
        EXPECT_COLOUR(shot, 282, y, portrait);
        EXPECT_COLOUR(shot, 640, y, portrait); // the red band is far below the screen
        EXPECT_COLOUR(shot, 997, y, portrait);
        EXPECT_COLOUR(shot, 1001, y, black);
        EXPECT_COLOUR(shot, 1279, y, black);
    }
    justBefore(59);
    EXPECT_COLOUR(show(), 100, 360, black);
}

// From 80 s nothing is presented: the X server keeps showing the last picture, while the back
// buffer holds the cleared, empty frame.
TEST_F(FrameTest, From80SecondsTheScreenKeepsTheLastPicture) {
    at(79.99);
    Screenshot shot = show();
    EXPECT_COLOUR(shot, 640, 360, colourOf(&texSplatt));
    at(80);
    renderFrame();
    EXPECT_TRUE(near(readBackPixel(640, 360), black));
    shot = captureWindow();
    EXPECT_COLOUR(shot, 640, 360, colourOf(&texSplatt));
    EXPECT_COLOUR(shot, 0, 0, colourOf(&texSplatt));
    at(85);
    shot = show();
    EXPECT_COLOUR(shot, 640, 360, colourOf(&texSplatt));

    at(45); // seeking back brings the show back at once
    shot = show();
    EXPECT_COLOUR(shot, 640, 360, colourOf(&texGlimmoxOnTV3));
}
