#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "sync/SyncTrackStore.h"

namespace {

// Counts the store's file traffic and remembers the last composed path.
int opens = 0;
int closes = 0;
std::string lastPath;

FILE* countingOpen(const char* path, const char* mode)
{
    ++opens;
    lastPath = path;
    return fopen(path, mode);
}

int countingClose(FILE* handle)
{
    ++closes;
    return fclose(handle);
}

// A store over a temporary res/sync/ with counted opens and closes.
struct Store {
    TempLayout layout{false, false};
    SyncTrackStore* store = nullptr;

    Store()
    {
        opens = closes = 0;
        lastPath.clear();
        store = syncStoreCreate((layout.Res() + "/sync/").c_str());
        store->io.open = countingOpen;
        store->io.close = countingClose;
    }
    ~Store() { syncStoreDestroy(store); }

    void Write(const std::string& name, const std::vector<TrackKey>& keys) { ASSERT_TRUE(WriteTrack(layout, name, keys)); }
    void WriteBytes(const std::string& name, const std::string& bytes)
    {
        ASSERT_TRUE(layout.WriteFile("sync/_" + name + ".track", bytes));
    }
    SyncTrack* Get(const char* name) { return syncStoreGetTrack(store, name); }
    double Value(const char* name, double row) { return syncTrackValue(Get(name), row); }
};

std::string le32(uint32_t v)
{
    return {(char)(v & 0xFF), (char)((v >> 8) & 0xFF), (char)((v >> 16) & 0xFF), (char)(v >> 24)};
}

std::string key(int32_t row, float value, uint8_t type)
{
    uint32_t bits;
    memcpy(&bits, &value, 4);
    return le32((uint32_t)row) + le32(bits) + std::string(1, (char)type);
}

}  // namespace

// ---- Interpolation ------------------------------------------------------------

struct InterpolationCase {
    int8_t type;
    double row;
    double expected;
};

std::string interpolationCaseName(const testing::TestParamInfo<InterpolationCase>& info)
{
    static const char* const kinds[] = {"Step", "Linear", "Smooth", "Ramp"};
    return std::string(kinds[info.param.type]) + std::to_string(info.index);
}

class Interpolation : public testing::TestWithParam<InterpolationCase> {};

// Keys at rows 0 (value 0, the type under test) and 10 (value 1).
TEST_P(Interpolation, TwoKeyTrack)
{
    const InterpolationCase& c = GetParam();
    Store s;
    s.Write("Test.Curve", {{0, 0.0f, c.type}, {10, 1.0f, 1}});
    EXPECT_DOUBLE_EQ(s.Value("Test.Curve", c.row), c.expected) << "type " << (int)c.type << " row " << c.row;
}

INSTANTIATE_TEST_SUITE_P(AllKinds, Interpolation,
                         testing::Values(
                             // step holds until the next key
                             InterpolationCase{0, 0.0, 0.0}, InterpolationCase{0, 5.0, 0.0},
                             InterpolationCase{0, 9.999, 0.0}, InterpolationCase{0, 10.0, 1.0},
                             // linear
                             InterpolationCase{1, 5.5, 0.55}, InterpolationCase{1, 0.0, 0.0},
                             InterpolationCase{1, 10.0, 1.0}, InterpolationCase{1, -3.0, 0.0},
                             InterpolationCase{1, 25.0, 1.0}, InterpolationCase{1, 2.25, 0.225},
                             // smooth
                             InterpolationCase{2, 5.0, 0.5}, InterpolationCase{2, 2.5, 0.15625},
                             InterpolationCase{2, 7.5, 0.84375}, InterpolationCase{2, -1.0, 0.0},
                             // ramp
                             InterpolationCase{3, 5.0, 0.25}, InterpolationCase{3, 2.5, 0.0625},
                             InterpolationCase{3, 12.0, 1.0}, InterpolationCase{3, -0.5, 0.0}),
                         interpolationCaseName);

class OneKeyTrack : public testing::TestWithParam<uint8_t> {};

TEST_P(OneKeyTrack, ReadsItsValueEverywhere)
{
    Store s;
    s.WriteBytes("Test.One", le32(1) + key(8, 4.25f, GetParam()));
    for (double row : {-1e9, -100.0, 0.0, 7.99, 8.0, 8.5, 1000.0, 1e12})
        EXPECT_EQ(s.Value("Test.One", row), 4.25) << "row " << row;
}

INSTANTIATE_TEST_SUITE_P(AnyType, OneKeyTrack, testing::Values(0, 1, 2, 3, 7, 0xFF));

class UnknownType : public testing::TestWithParam<uint8_t> {};

// Only the interval that starts at the odd key reads 0.0.
TEST_P(UnknownType, ZeroesItsIntervalOnly)
{
    Store s;
    s.WriteBytes("Test.Odd",
                 le32(4) + key(0, 0.0f, 1) + key(10, 1.0f, GetParam()) + key(20, 2.0f, 1) + key(30, 3.0f, 1));
    EXPECT_DOUBLE_EQ(s.Value("Test.Odd", 5.0), 0.5);
    EXPECT_EQ(s.Value("Test.Odd", 10.0), 0.0);
    EXPECT_EQ(s.Value("Test.Odd", 15.0), 0.0);
    EXPECT_EQ(s.Value("Test.Odd", 19.99), 0.0);
    EXPECT_DOUBLE_EQ(s.Value("Test.Odd", 20.0), 2.0);
    EXPECT_DOUBLE_EQ(s.Value("Test.Odd", 25.0), 2.5);
    EXPECT_DOUBLE_EQ(s.Value("Test.Odd", 40.0), 3.0);
}

INSTANTIATE_TEST_SUITE_P(Bytes, UnknownType, testing::Values(7, 0xFF));

// The value difference is taken in single precision: 1e-8f - 1.0f rounds to -1.
TEST(Interpolation, ValueDifferenceInSinglePrecision)
{
    Store s;
    s.Write("Test.Precision", {{0, 1.0f, 1}, {2, 1e-8f, 1}});
    EXPECT_EQ(s.Value("Test.Precision", 1.0), 0.5);
}

// Keys as far apart as int32 allows must not wrap the row difference.
TEST(Interpolation, ExtremeRowsDoNotOverflow)
{
    Store s;
    s.Write("Test.Wide", {{INT_MIN, 0.0f, 1}, {INT_MAX, 1.0f, 1}});
    EXPECT_NEAR(s.Value("Test.Wide", 0.0), 0.5, 1e-9);
    EXPECT_EQ(s.Value("Test.Wide", -1e300), 0.0);
    EXPECT_EQ(s.Value("Test.Wide", 1e300), 1.0);
    EXPECT_EQ(s.Value("Test.Wide", NAN), 0.0);
}

// Keys sharing a row (which check flags but the store reads) make intervals of
// length zero: the last key of the row answers there and starts the next
// interval, and no row reads NaN or infinity.
TEST(Interpolation, KeysSharingARowReadTheLastOfThem)
{
    struct Case {
        const char* name;
        std::string keys;
        std::vector<std::pair<double, double>> expected;  // row, value
    };
    const std::vector<Case> cases = {
        {"two keys, jump", le32(4) + key(0, 0.0f, 1) + key(10, 1.0f, 1) + key(10, 5.0f, 1) + key(20, 7.0f, 1),
         {{5.0, 0.5}, {9.999, 0.9999}, {10.0, 5.0}, {10.5, 5.1}, {15.0, 6.0}, {20.0, 7.0}}},
        {"three keys at one row",
         le32(5) + key(0, 0.0f, 1) + key(10, 1.0f, 2) + key(10, 2.0f, 7) + key(10, 4.0f, 1) + key(20, 6.0f, 0),
         {{10.0, 4.0}, {10.25, 4.05}, {15.0, 5.0}, {25.0, 6.0}}},
        {"first row shared", le32(3) + key(0, 1.0f, 0) + key(0, 2.0f, 1) + key(10, 3.0f, 0),
         {{-5.0, 1.0}, {0.0, 2.0}, {5.0, 2.5}, {10.0, 3.0}}},
        {"last row shared", le32(3) + key(0, 0.0f, 1) + key(10, 1.0f, 1) + key(10, 9.0f, 7),
         {{5.0, 0.5}, {10.0, 9.0}, {11.0, 9.0}, {1e9, 9.0}}},
        {"only keys", le32(2) + key(4, 1.0f, 1) + key(4, 3.0f, 1), {{3.0, 1.0}, {4.0, 3.0}, {4.5, 3.0}}},
    };
    // Equal keys in every position of the binary search's probes.
    std::string many = le32(9) + key(0, 0.0f, 1);
    for (int i = 0; i < 7; ++i)
        many += key(8, (float)i, 1);
    many += key(16, 14.0f, 0);
    Store s;
    s.WriteBytes("Test.Many", many);
    for (size_t c = 0; c < cases.size(); ++c) {
        std::string name = "Test.Shared" + std::to_string(c);
        s.WriteBytes(name, cases[c].keys);
        for (const auto& probe : cases[c].expected)
            EXPECT_NEAR(s.Value(name.c_str(), probe.first), probe.second, 1e-9)
                << cases[c].name << " row " << probe.first;
    }
    for (double row = -2.0; row < 20.0; row += 0.125) {
        double value = s.Value("Test.Many", row);
        EXPECT_TRUE(std::isfinite(value)) << "row " << row;
        if (row >= 8.0 && row < 16.0) {
            EXPECT_NEAR(value, 6.0 + (row - 8.0), 1e-9) << "row " << row;
        }
    }
}

// ---- Lookup -------------------------------------------------------------------

TEST(Lookup, SameNameOpensTheFileOnce)
{
    Store s;
    s.Write("Camera.X", {{0, 3.0f, 0}});
    SyncTrack* first = s.Get("Camera.X");
    SyncTrack* second = s.Get("Camera.X");
    EXPECT_EQ(first, second);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(s.store->trackCount, 1);
    EXPECT_EQ(s.Value("Camera.X", 0.0), 3.0);
    EXPECT_EQ(opens, 1);
}

TEST(Lookup, MissingFileIsNotRetried)
{
    Store s;
    s.Get("Camera.Y");
    s.Write("Camera.Y", {{0, 3.0f, 0}});  // appears too late: the track stays keyless
    EXPECT_EQ(s.Value("Camera.Y", 0.0), 0.0);
    EXPECT_EQ(opens, 1);
}

TEST(Lookup, NamesAreCaseSensitive)
{
    Store s;
    s.Write("Camera.X", {{0, 3.0f, 0}});
    SyncTrack* upper = s.Get("Camera.X");
    SyncTrack* lower = s.Get("camera.x");
    EXPECT_NE(upper, lower);
    EXPECT_EQ(s.store->trackCount, 2);
    EXPECT_EQ(opens, 2);
    EXPECT_STREQ(lower->name, "camera.x");
    EXPECT_EQ(syncStoreFindTrack(s.store, "camera.x"), 1);
    EXPECT_EQ(syncStoreFindTrack(s.store, "CAMERA.X"), -1);
}

// 259 characters fit the path buffer; one more is refused instead of being cut
// into some other file's name.
TEST(Lookup, ManyNamesKeepTheirRequestOrderAndAreFoundByText)
{
    Store s;
    // Enough names to grow the index several times over, looked up again
    // through copies of their text rather than the same pointers.
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) names.push_back("Group" + std::to_string(i % 7) + ".Name" + std::to_string(i));
    for (const std::string& name : names) ASSERT_NE(s.Get(name.c_str()), nullptr);
    ASSERT_EQ(s.store->trackCount, 300);
    for (int i = 299; i >= 0; --i) {
        std::string copy = names[(size_t)i];
        EXPECT_EQ(syncStoreFindTrack(s.store, copy.c_str()), i);
        EXPECT_STREQ(s.store->tracks[i]->name, copy.c_str());
    }
    EXPECT_EQ(syncStoreFindTrack(s.store, "Group0.Name300"), -1);
    EXPECT_EQ(syncStoreFindTrack(s.store, ""), -1);
    EXPECT_EQ(opens, 300);
}

TEST(Lookup, RememberedValueFollowsNewKeysAndNewRows)
{
    Store s;
    s.Write("FX.Fade", {{0, 0.0f, 1}, {10, 1.0f, 0}});
    SyncTrack* track = s.Get("FX.Fade");
    EXPECT_DOUBLE_EQ(syncTrackValueAt(track, 5.0), 0.5);
    EXPECT_DOUBLE_EQ(syncTrackValueAt(track, 5.0), 0.5);
    EXPECT_DOUBLE_EQ(syncTrackValueAt(track, 2.5), 0.25);
    EXPECT_EQ(syncTrackValueAt(track, NAN), 0.0);  // before every key: the first key's value
    // Reading the file again replaces the keys; the same row answers anew.
    s.Write("FX.Fade", {{0, 2.0f, 1}, {10, 4.0f, 0}});
    ASSERT_EQ(syncTrackLoadFile(s.store, track), 0);
    EXPECT_DOUBLE_EQ(syncTrackValueAt(track, 2.5), 2.5);
    EXPECT_DOUBLE_EQ(syncTrackValueAt(nullptr, 2.5), 0.0);
}

TEST(Lookup, PathIsBaseUnderscoreNameSuffixAndNeverTruncated)
{
    SyncTrackStore* production = syncStoreCreate("../res/sync/");
    production->io.open = countingOpen;
    syncStoreGetTrack(production, "Camera.Mode");
    EXPECT_EQ(lastPath, "../res/sync/_Camera.Mode.track");
    syncStoreDestroy(production);

    std::string name = "T.x";
    std::string fits(259 - 1 - name.size() - 6, 'b');
    SyncTrackStore* store = syncStoreCreate(fits.c_str());
    store->io.open = countingOpen;
    opens = 0;
    syncStoreGetTrack(store, name.c_str());
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(lastPath.size(), 259u);
    EXPECT_EQ(lastPath, fits + "_T.x.track");
    syncStoreGetTrack(store, "T.xy");
    EXPECT_EQ(opens, 1);
    SyncTrack* track = syncStoreGetTrack(store, std::string(5000, 'n').c_str());
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->keyCount, 0);
    EXPECT_EQ(opens, 1);
    syncStoreDestroy(store);
}

// ---- File format ------------------------------------------------------------------

TEST(FileFormat, DecodesLittleEndianFieldsAndSignExtendsTheType)
{
    Store s;
    // count 3; rows -2, 258, 0x01020304; values 1.5, -0.25, 2^20; types 1, 0xFE, 0x7F
    std::string bytes = std::string("\x03\x00\x00\x00", 4) +                                  //
                        std::string("\xFE\xFF\xFF\xFF\x00\x00\xC0\x3F\x01", 9) +              //
                        std::string("\x02\x01\x00\x00\x00\x00\x80\xBE\xFE", 9) +              //
                        std::string("\x04\x03\x02\x01\x00\x00\x80\x49\x7F", 9);
    s.WriteBytes("Test.Bytes", bytes);
    SyncTrack* track = s.Get("Test.Bytes");
    ASSERT_EQ(track->keyCount, 3);
    EXPECT_EQ(track->keys[0].row, -2);
    EXPECT_EQ(track->keys[0].value, 1.5f);
    EXPECT_EQ(track->keys[0].type, 1);
    EXPECT_EQ(track->keys[1].row, 258);
    EXPECT_EQ(track->keys[1].value, -0.25f);
    EXPECT_EQ(track->keys[1].type, -2);
    EXPECT_EQ(track->keys[2].row, 0x01020304);
    EXPECT_EQ(track->keys[2].value, 1048576.0f);
    EXPECT_EQ(track->keys[2].type, 127);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(closes, 1);
}

TEST(FileFormat, CountZeroIsAnEmptyTrack)
{
    Store s;
    s.WriteBytes("Test.Empty", le32(0));
    SyncTrack* track = s.Get("Test.Empty");
    EXPECT_EQ(track->keyCount, 0);
    EXPECT_EQ(track->keys, nullptr);
    EXPECT_EQ(s.Value("Test.Empty", 3.0), 0.0);
    EXPECT_EQ(closes, 1);
}

TEST(FileFormat, BytesAfterTheLastKeyAreIgnored)
{
    Store s;
    s.WriteBytes("Test.Tail", le32(1) + key(0, 2.0f, 0) + "junk!");
    EXPECT_EQ(s.Get("Test.Tail")->keyCount, 1);
    EXPECT_EQ(s.Value("Test.Tail", 5.0), 2.0);
}

struct Malformed {
    const char* what;
    std::string bytes;
};

class MalformedFile : public testing::TestWithParam<Malformed> {};

// Whatever is wrong, the track holds no keys, reads 0.0 and its file is closed.
TEST_P(MalformedFile, LeavesTheTrackKeylessAndClosesTheFile)
{
    Store s;
    s.WriteBytes("Test.Bad", GetParam().bytes);
    SyncTrack* track = s.Get("Test.Bad");
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->keyCount, 0);
    EXPECT_EQ(track->keys, nullptr);
    for (double row : {-1.0, 0.0, 0.5, 5.0, 100.0})
        EXPECT_EQ(syncTrackValue(track, row), 0.0);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(closes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedFile,
    testing::Values(Malformed{"empty", ""}, Malformed{"three bytes", std::string("\x01\x00\x00", 3)},
                    Malformed{"count -1", le32(0xFFFFFFFFu) + key(0, 1.0f, 0)},
                    Malformed{"count INT_MIN", le32(0x80000000u) + key(0, 1.0f, 0)},
                    Malformed{"one key short", le32(2) + key(0, 1.0f, 1)},
                    Malformed{"type byte missing", le32(1) + key(0, 1.0f, 1).substr(0, 8)},
                    Malformed{"value cut", le32(2) + key(0, 1.0f, 1) + key(4, 2.0f, 1).substr(0, 6)},
                    Malformed{"count INT_MAX", le32(0x7FFFFFFFu) + key(0, 1.0f, 1) + key(1, 2.0f, 1)},
                    Malformed{"count beyond size", le32(1000) + std::string(9 * 999 + 8, '\x01')}),
    [](const testing::TestParamInfo<Malformed>& info) {
        std::string name;
        for (const char* p = info.param.what; *p; ++p)
            name += isalnum((unsigned char)*p) ? *p : '_';
        return name;
    });

namespace {
size_t peakHeap = 0;

size_t heapInUse()
{
    struct mallinfo2 info = mallinfo2();
    return info.arena + info.hblkhd;
}

size_t watchingRead(void* destination, size_t size, size_t count, FILE* handle)
{
    peakHeap = std::max(peakHeap, heapInUse());
    return fread(destination, size, count, handle);
}
}  // namespace

class HugeCount : public testing::TestWithParam<uint32_t> {};

// A count far beyond a 22-byte file must not reserve memory for its keys.
TEST_P(HugeCount, AllocatesOnlyWhatTheFileHolds)
{
    Store s;
    s.WriteBytes("Test.Huge", le32(GetParam()) + key(0, 1.0f, 1) + key(1, 2.0f, 1));
    s.store->io.read = watchingRead;
    size_t before = heapInUse();
    peakHeap = before;
    EXPECT_EQ(s.Get("Test.Huge")->keyCount, 0);
    EXPECT_LT(peakHeap - before, (size_t)1 << 20);
}

INSTANTIATE_TEST_SUITE_P(FileFormat, HugeCount, testing::Values(50000000u, 0x7FFFFFFFu));

// ---- Tracks added whole and names loaded up front ---------------------------------

TEST(AddedTrack, HoldsACopyOfItsKeysReadsNoFileAndRefusesATakenName)
{
    Store s;
    s.Write("Camera.X", {{0, 9.0f, 0}});  // present, but an added track must not read it
    SyncKey* keys = (SyncKey*)malloc(2 * sizeof(SyncKey));
    keys[0] = {0, 0.0f, (int32_t)SyncKeyType::Linear};
    keys[1] = {10, 1.0f, -1};
    ASSERT_EQ(syncStoreAddTrack(s.store, "Camera.X", keys, 2), 0);
    memset(keys, 0xFF, 2 * sizeof(SyncKey));
    free(keys);
    EXPECT_EQ(s.Value("Camera.X", 5.5), 0.55);
    EXPECT_EQ(s.Get("Camera.X")->keys[1].type, -1);

    SyncKey other = {0, 7.0f, 0};
    s.Get("Camera.Y");  // requested from its (missing) file
    EXPECT_EQ(syncStoreAddTrack(s.store, "Camera.X", &other, 1), -1);
    EXPECT_EQ(syncStoreAddTrack(s.store, "Camera.Y", &other, 1), -1);
    EXPECT_EQ(syncStoreAddTrack(s.store, "Camera.Z", &other, -1), -1);
    EXPECT_EQ(s.store->trackCount, 2);
    EXPECT_EQ(s.Value("Camera.X", 10.0), 1.0);
    EXPECT_EQ(s.Value("Camera.Y", 0.0), 0.0);

    s.Write("Camera.Z", {{0, 4.0f, 0}});
    EXPECT_EQ(syncStoreAddTrack(s.store, "Camera.Z", nullptr, 0), 0);
    EXPECT_EQ(s.Value("Camera.Z", 0.0), 0.0);
    EXPECT_EQ(opens, 1);  // Camera.Y's attempt only
}

TEST(LoadAll, ReadsEveryFileOnceBeforeUseAndNothingAfter)
{
    Store s;
    s.Write("FX.Fade", {{0, 0.5f, 0}});
    s.Write("FX.Flash", {{0, 0.25f, 0}});
    SyncKey added = {0, 2.0f, 0};
    ASSERT_EQ(syncStoreAddTrack(s.store, "FX.Exposure", &added, 1), 0);
    const char* const names[] = {"FX.Fade", "FX.Exposure", "FX.Flash", "FX.Missing", "FX.Fade"};
    ASSERT_EQ(syncStoreLoadAll(s.store, names, 5), 0);
    EXPECT_EQ(opens, 3);
    EXPECT_EQ(closes, 2);
    EXPECT_EQ(s.store->trackCount, 4);
    EXPECT_EQ(s.Value("FX.Fade", 3.0), 0.5);
    EXPECT_EQ(s.Value("FX.Exposure", 3.0), 2.0);
    EXPECT_EQ(s.Value("FX.Flash", 3.0), 0.25);
    EXPECT_EQ(s.Value("FX.Missing", 3.0), 0.0);
    EXPECT_EQ(opens, 3);
}

#if defined(__SANITIZE_ADDRESS__)
#define OSTREL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OSTREL_ASAN 1
#endif
#endif

// Runs body in a child whose address space is capped just above its current
// size, so that any sizeable allocation fails; the child's exit code is the
// number of failed expectations (a crash shows as a signal).
template <typename Body>
void WithMemoryCapped(Body body)
{
#ifdef OSTREL_ASAN
    GTEST_SKIP() << "the sanitizer's allocator cannot run under an address-space limit";
#endif
    fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages = 0;
        FILE* statm = fopen("/proc/self/statm", "r");
        if (!statm || fscanf(statm, "%ld", &pages) != 1)
            _exit(100);
        fclose(statm);
        rlim_t limit = (rlim_t)pages * (rlim_t)sysconf(_SC_PAGESIZE) + (1u << 20);
        struct rlimit cap = {limit, limit};
        if (setrlimit(RLIMIT_AS, &cap) != 0)
            _exit(101);
        _exit(body());
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "child died with signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// 200,000 keys need 2.4 MB of key array, more than the capped child can get.
TEST(AllocationFailure, KeyArrayThatCannotBeAllocatedLeavesTheTrackKeyless)
{
    Store s;
    std::string bytes = le32(200000);
    for (int i = 0; i < 200000; ++i)
        bytes += key(i, 1.0f, 1);
    s.WriteBytes("Test.Big", bytes);
    WithMemoryCapped([&]() {
        SyncTrack* track = s.Get("Test.Big");
        int failures = 0;
        failures += track == nullptr || track->keyCount != 0 || track->keys != nullptr;
        failures += syncTrackValue(track, 10.0) != 0.0;
        failures += closes != 1;
        return failures;
    });
}

TEST(AllocationFailure, AddingATrackNeverCrashes)
{
    Store s;
    s.Write("Camera.X", {{0, 3.0f, 0}});
    s.Get("Camera.X");
    std::string longName(8u << 20, 'n');
    WithMemoryCapped([&]() {
        int failures = 0;
        SyncTrack* track = s.Get(longName.c_str());  // the name copy cannot be made
        failures += syncTrackValue(track, 0.0) != 0.0;
        failures += track == nullptr && s.store->trackCount != 1;
        failures += syncTrackValue(s.Get("Camera.X"), 0.0) != 3.0;
        failures += syncStoreCreate(longName.c_str()) != nullptr;
        return failures;
    });
}

TEST(AllocationFailure, AddingOrLoadingAllReportsItAndKeepsTheStore)
{
    Store s;
    s.Write("Camera.X", {{0, 3.0f, 0}});
    std::string longName(8u << 20, 'n');
    const char* const names[] = {"Camera.X", longName.c_str()};
    WithMemoryCapped([&]() {
        int failures = 0;
        SyncKey key = {0, 1.0f, 0};
        failures += syncStoreAddTrack(s.store, longName.c_str(), &key, 1) != -1;
        failures += s.store->trackCount != 0;
        failures += syncStoreLoadAll(s.store, names, 2) != -1;
        failures += s.store->trackCount != 1;
        failures += syncTrackValue(s.Get("Camera.X"), 0.0) != 3.0;
        return failures;
    });
}
