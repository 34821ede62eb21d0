// The studio's pure parts: the song map it reads, where the transport keys
// go, and its command line.

#include <gtest/gtest.h>

#include <cmath>

#include "SongMap.h"
#include "StudioOptions.h"
#include "Transport.h"

namespace {

std::vector<Section> ProductionSections()
{
    std::vector<Section> sections;
    std::string error;
    EXPECT_TRUE(ReadSongMap(OSTREL_SOURCE_TREE "/choreography/SECTIONS.md", &sections, &error)) << error;
    return sections;
}

TEST(SongMap, ReadsTheSectionsTheMusicGeneratorWrites)
{
    std::vector<Section> sections = ProductionSections();
    ASSERT_EQ(sections.size(), 7u);
    EXPECT_EQ(sections[0].name, "intro");
    EXPECT_EQ(sections[2].name, "main");
    EXPECT_EQ(sections[2].startRow, 1024);
    EXPECT_EQ(sections[2].endRow, 2048);
    EXPECT_EQ(sections.back().name, "outro");
    EXPECT_EQ(sections.back().endRow, 4608);
    // The big-hits table that follows is not read as sections.
    for (const Section& section : sections) EXPECT_NE(section.name, "8");
}

TEST(SongMap, RefusesMapsWithoutAReadableSectionTable)
{
    std::vector<Section> sections;
    std::string error;
    EXPECT_FALSE(ParseSongMap("# nothing here\n", &sections, &error));
    EXPECT_FALSE(ParseSongMap("## Sections\n| section | bars | start row | end row |\n|---|---|---|---|\n"
                              "| intro | 0-7 | 0 | 512 |\n| build | 8-15 | 400 | 1024 |\n",
                              &sections, &error));
    EXPECT_NE(error.find("line 5"), std::string::npos) << error;
    EXPECT_TRUE(sections.empty());
    EXPECT_FALSE(ParseSongMap("## Sections\n| intro | 0-7 | 0 | x512 |\n", &sections, &error));
}

TEST(Transport, SectionKeysGoToSectionStarts)
{
    std::vector<Section> sections = ProductionSections();
    const double last = 4608.0;
    EXPECT_EQ(NextSectionRow(sections, 1024.0, last), 2048.0);
    EXPECT_EQ(NextSectionRow(sections, 1023.9, last), 1024.0);
    EXPECT_EQ(NextSectionRow(sections, 4100.0, last), last);
    // Within a beat of a start, PageUp goes on to the section before.
    EXPECT_EQ(PreviousSectionRow(sections, 1500.0), 1024.0);
    EXPECT_EQ(PreviousSectionRow(sections, 1030.0), 512.0);
    EXPECT_EQ(PreviousSectionRow(sections, 5.0), 0.0);
    ASSERT_NE(SectionAt(sections, 2047.9), nullptr);
    EXPECT_EQ(SectionAt(sections, 2047.9)->name, "main");
    EXPECT_EQ(SectionAt(sections, 4608.0), nullptr);
}

TEST(Transport, StepsStayInsideTheSongAndLoopsCoverWholeBars)
{
    EXPECT_EQ(StepRow(10.0, -16.0, 4608.0), 0.0);
    EXPECT_EQ(StepRow(4600.0, 64.0, 4608.0), 4608.0);
    // Steps go from the whole row the playhead is in.
    EXPECT_EQ(StepRow(100.5, 16.0, 4608.0), 116.0);

    Loop loop;
    SetLoopStart(loop, 1030.0);
    EXPECT_EQ(loop.startRow, 1024);
    EXPECT_EQ(loop.endRow, 1088);
    SetLoopEnd(loop, 1100.0);
    EXPECT_EQ(loop.endRow, 1152);
    // An end before the start drags the start along: never an empty loop.
    SetLoopEnd(loop, 900.0);
    EXPECT_EQ(loop.startRow, 896);
    EXPECT_EQ(loop.endRow, 960);
    EXPECT_TRUE(loop.Valid());

    EXPECT_EQ(FormatBarBeatRow(152.7), "2:1:8");
    EXPECT_EQ(FormatBarBeatRow(-3.0), "0:0:0");
}

// The position read back from the audio lies up to half a sample (1/3000 of a
// row) below the row a seek asked for; moves and the display must still count
// it as that row, and every move lands on a whole row.
TEST(Transport, MovesLandOnWholeRowsFromWhereverTheAudioReadsBack)
{
    const double justBelow = 1088.0 - 1.0 / 3000.0;  // 17:0:0 after a seek, as read back
    EXPECT_EQ(FormatBarBeatRow(justBelow), "17:0:0");
    EXPECT_EQ(FormatBarBeatRow(1087.99), "16:3:15");  // a real position before the bar stays before it
    EXPECT_EQ(StepRow(justBelow, 64.0, 4608.0), 1152.0);
    EXPECT_EQ(StepRow(justBelow, -1.0, 4608.0), 1087.0);
    EXPECT_EQ(BarStartRow(justBelow), 1088);

    // PageUp, Right, Right from inside a section: a whole beat.
    std::vector<Section> sections = ProductionSections();
    double row = PreviousSectionRow(sections, 2600.37);
    row = StepRow(StepRow(row, 16.0, 4608.0), 16.0, 4608.0);
    EXPECT_EQ(FormatBarBeatRow(row), "40:2:0");

    // `[` at 17:0:0, two bars on, `]`: exactly those two bars, however the
    // playhead reads back; inside a bar, `]` takes that bar in.
    for (double at : {1216.0, 1216.0 - 1.0 / 3000.0, 1216.0004}) {
        Loop loop;
        SetLoopStart(loop, justBelow);
        SetLoopEnd(loop, at);
        EXPECT_EQ(loop.startRow, 1088) << at;
        EXPECT_EQ(loop.endRow, 1216) << at;
    }
    Loop loop;
    SetLoopStart(loop, 1088.0);
    SetLoopEnd(loop, 1230.5);
    EXPECT_EQ(loop.endRow, 1280);
    // `]` on the loop's own start bar line keeps one bar, never an empty loop.
    SetLoopEnd(loop, 1088.0);
    EXPECT_EQ(loop.startRow, 1024);
    EXPECT_EQ(loop.endRow, 1088);
    SetLoopEnd(loop, 0.0);
    EXPECT_EQ(loop.startRow, 0);
    EXPECT_EQ(loop.endRow, 64);

    // Timeline clicks: the nearest row, or with Shift the nearest beat.
    struct Snap {
        double row;
        int grid;
        double want;
    } snaps[] = {{3248.86, 1, 3249.0}, {3248.4, 1, 3248.0}, {3248.86, 16, 3248.0}, {3257.0, 16, 3264.0},
                 {-3.0, 1, 0.0},       {4700.0, 16, 4608.0}, {NAN, 16, 0.0}};
    for (const Snap& snap : snaps) EXPECT_EQ(SnapRow(snap.row, snap.grid, 4608.0), snap.want) << snap.row;
}

TEST(StudioOptions, ReadsStartPointsSizesAndRefusesNonsense)
{
    const double rowsPerSecond = 110.0 / 60.0 * 16.0;
    struct Case {
        const char* from;
        double row;
    } cases[] = {{"1024r", 1024.0}, {"16b", 1024.0}, {"17b", 1088.0}, {"16:2", 1056.0}, {"2:1:8", 152.0},
                 {"60s", 1760.0},   {"600f", 10.0 * rowsPerSecond}};
    for (const Case& c : cases) {
        StudioOptions options;
        std::string error;
        const char* argv[] = {"ostrel-studio", "--from", c.from};
        ASSERT_TRUE(ParseStudioOptions(3, argv, options, error)) << c.from << ": " << error;
        EXPECT_NEAR(StudioStartRow(options.from, rowsPerSecond), c.row, 1e-9) << c.from;
    }

    StudioOptions options;
    std::string error;
    const char* like[] = {"ostrel-studio", "--like",  "ostrel-1920x1080-8x", "--paused",
                          "--no-overlay",  "--curves", "Camera.Yaw,FX.Fade"};
    ASSERT_TRUE(ParseStudioOptions(7, like, options, error)) << error;
    EXPECT_EQ(options.curves, (std::vector<std::string>{"Camera.Yaw", "FX.Fade"}));
    EXPECT_EQ(options.width, 1920);
    EXPECT_EQ(options.height, 1080);
    EXPECT_EQ(options.samples, 8);
    EXPECT_TRUE(options.paused);
    EXPECT_FALSE(options.overlay);

    for (std::vector<const char*> bad : std::vector<std::vector<const char*>>{
             {"ostrel-studio", "--from", "-5s"},
             {"ostrel-studio", "--from", "16:5"},
             {"ostrel-studio", "--size", "0x100"},
             {"ostrel-studio", "--samples", "0"},
             {"ostrel-studio", "--tracks"},
             {"ostrel-studio", "--curves", "Camera.Yaw,Camera.Jaw"},
             {"ostrel-studio", "--what"}}) {
        StudioOptions o;
        std::string e;
        EXPECT_FALSE(ParseStudioOptions((int)bad.size(), bad.data(), o, e)) << bad.back();
        EXPECT_FALSE(e.empty());
    }
}

}  // namespace
