// The command line: values each option takes, and the words and values it refuses.
#include "app/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Parses the words as a command line after the program's name.
bool parse(std::vector<std::string> words, Options& options, std::string& error) {
    words.insert(words.begin(), "zoomraxvandel");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    return parseOptions(int(argv.size()), argv.data(), options, error);
}

} // namespace

TEST(OptionsTest, NoWordsIsTheShowAsItAlwaysWas) {
    Options options;
    std::string error;
    ASSERT_TRUE(parse({}, options, error));
    EXPECT_FALSE(options.windowed || options.noSound || options.help || options.version);
    EXPECT_EQ(options.start, 0);
    EXPECT_EQ(options.audioDelay, 0);
    EXPECT_TRUE(options.recordPath.empty());
}

TEST(OptionsTest, EveryOptionTakesItsValueInEitherForm) {
    Options o;
    std::string error;
    EXPECT_EQ(o.hold, -1);
    ASSERT_TRUE(
        parse({"--windowed", "--no-sound", "--start", "12.5", "--audio-delay=-0.25", "--hold=11.5"},
              o, error))
        << error;
    EXPECT_TRUE(o.windowed && o.noSound);
    EXPECT_EQ(o.start, 12.5);
    EXPECT_EQ(o.audioDelay, -0.25);
    EXPECT_EQ(o.hold, 11.5);

    ASSERT_TRUE(parse({"--record", "out.mkv", "--fps=24", "--size", "3840x2160", "--from", "50",
                       "--to=52", "--blend", "4", "--lossless"},
                      o, error))
        << error;
    EXPECT_EQ(o.recordPath, "out.mkv");
    EXPECT_EQ(o.fps, 24);
    EXPECT_EQ(o.width, 3840);
    EXPECT_EQ(o.height, 2160);
    EXPECT_EQ(o.from, 50);
    EXPECT_EQ(o.to, 52);
    EXPECT_EQ(o.blend, 4);
    EXPECT_TRUE(o.lossless);
    EXPECT_FALSE(o.windowed); // each parse starts from the defaults
}

TEST(OptionsTest, UnknownWordsAndBadValuesAreRefusedWithTheirReason) {
    const std::vector<std::vector<std::string>> refused = {
        {"--bogus"},
        {"-h"},
        {"start"},
        {"--start"},
        {"--start", "abc"},
        {"--start=12x"},
        {"--start", "nan"},
        {"--start", "1e999"},
        {"--start", "-1"},
        {"--help=yes"},
        {"--audio-delay", "11"},
        {"--record", ""},
        {"--record", "a.mp4", "--fps", "23"},
        {"--record", "a.mp4", "--fps", "241"},
        {"--record", "a.mp4", "--fps", "60.5"},
        {"--record", "a.mp4", "--size", "1280x721"},
        {"--record", "a.mp4", "--size", "1280*720"},
        {"--record", "a.mp4", "--size", "3872x2178"},
        {"--record", "a.mp4", "--size", "16x9"},
        {"--record", "a.mp4", "--size", "1000x562"},
        {"--record", "a.mp4", "--blend", "0"},
        {"--record", "a.mp4", "--from", "5", "--to", "5"},
    };
    for (const auto& words : refused) {
        Options options;
        std::string error;
        std::string line;
        for (const std::string& word : words)
            line += word + " ";
        EXPECT_FALSE(parse(words, options, error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
    Options options;
    std::string error;
    EXPECT_FALSE(parse({"--start", "abc"}, options, error));
    EXPECT_EQ(error, "bad value 'abc' for --start");
}

TEST(OptionsTest, RecordingOptionsNeedARecording) {
    for (const char* word :
         {"--fps=30", "--size=640x360", "--from=1", "--to=2", "--blend=2", "--lossless"}) {
        Options options;
        std::string error;
        EXPECT_FALSE(parse({word}, options, error)) << word;
        EXPECT_NE(error.find("needs --record"), std::string::npos) << error;
    }
}
