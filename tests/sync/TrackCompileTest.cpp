// The compiler shared by the track tool and live editing.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "TrackFormat.h"

TEST(CompileTracks, ErrorsNameTheLineInOrderAndLeaveNoTracks)
{
    const std::vector<TrackText> texts = {{"a.tracks", "track Camera.X\n  0 1\n"},
                                          {"b.tracks", "track Camera.X\n  0 1\n  0 2\ntrack Camera.Zoom\n"}};
    const std::vector<std::string> parseAndDuplicate = {
        "b.tracks:3: row 0 (0) does not follow the previous key's row 0",
        "b.tracks:1: track Camera.X already defined at a.tracks:1",
    };
    std::vector<TrackSource> tracks(1);
    std::vector<std::string> errors;
    EXPECT_FALSE(compileTrackTexts(texts, true, &tracks, &errors));
    EXPECT_EQ(errors, parseAndDuplicate);
    EXPECT_TRUE(tracks.empty());

    errors.clear();
    EXPECT_FALSE(compileTrackTexts(texts, false, &tracks, &errors));
    std::vector<std::string> all = parseAndDuplicate;
    all.push_back("b.tracks:4: unknown track name Camera.Zoom (the production never reads it; --any-name allows it)");
    EXPECT_EQ(errors, all);

    errors.clear();
    TempLayout layout(false, false);
    std::string missing = layout.Root() + "/none.tracks";
    EXPECT_FALSE(compileTrackSources({missing}, false, &tracks, &errors));
    EXPECT_EQ(errors, std::vector<std::string>{missing + ": cannot read"});

    ASSERT_TRUE(compileTrackTexts({texts[0]}, false, &tracks, &errors));
    std::string error;
    EXPECT_FALSE(writeCompiledTracks(layout.Root() + "/no/dir", tracks, &error));
    EXPECT_EQ(error, layout.Root() + "/no/dir/_Camera.X.track: cannot write");
}
