// The station page's routes: what is served and what is refused, cache
// validators, and the event list and event files read for the page.

#include "web/event_api.h"
#include "web/picture_list.h"
#include "web/static_files.h"
#include "web/station_site.h"
#include "web/station_status.h"

#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tw::web {
namespace {

namespace fs = std::filesystem;
using testing::read_file;

void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

const std::string summary =
    "2024/03/05 12:03:21 240305.120013.ex1 2024/03/05 12:00:13 L:00000040 Max SLTA:15.0 "
    "Max Amplit:005725";

class SiteTest : public ::testing::Test {
protected:
    SiteTest() {
        write(dir_ / "terrawv.ini", "[CHANNEL1]\r\n");
        write(dir_ / "page/index.html", "<html></html>");
        write(dir_ / "page/app.js", "let a;");
        write(dir_ / "drums/drum_1.JPG", "jpeg bytes");
        write(dir_ / "drums/drum_1.dat", "2024/03/05 3");
        write(dir_ / "drums/drum_240304_1.JPG", "older");
        fs::create_symlink("../terrawv.ini", dir_ / "drums/drum_2.JPG");
        fs::create_symlink("/etc/hostname", dir_ / "drums/drum_3.JPG");
        fs::create_directories(dir_ / "events");
        fs::copy_file(fs::path(TW_TEST_DATA_DIR) / "events/psn2_16bit.z1",
                      dir_ / "events/240305.120013.ex1");
        write(dir_ / "evtfile.dat", "Event list.\r\n" + summary + "\r\n");
        site_ = std::make_unique<StationSite>(SiteContext{
            dir_ / "page", dir_ / "drums", dir_ / "evtfile.dat", [this] { return dir_ / "events"; },
            [] { return std::vector<std::string>{"ex1", "ex2", "ex3", "ex4"}; },
            [] {
                StatusSnapshot s;
                s.station_name = "Monte \"Verde\" \xE8";  // Latin-1 from the settings
                return s;
            },
            {}, {}});
    }
    Response get(std::string path, std::string etag = {}) {
        Request request;
        request.path = std::move(path);
        request.if_none_match = std::move(etag);
        return site_->handle(request);
    }

    testing::TestFolder dir_;
    std::unique_ptr<StationSite> site_;
};

TEST_F(SiteTest, ServesPageFilesPicturesAndEventsAndRefusesEverythingElse) {
    struct Case {
        std::string path;
        int status;
    };
    const Case cases[] = {
        {"/", 200}, {"/app.js", 200}, {"/drums/drum_1.JPG", 200}, {"/drums/drum_240304_1.JPG", 200},
        {"/events/240305.120013.ex1", 200}, {"/api/event/240305.120013.ex1", 200},
        {"/../terrawv.ini", 404}, {"/%2e%2e/terrawv.ini", 404}, {"/drums/../terrawv.ini", 404},
        {"/drums/..%2fterrawv.ini", 404}, {"/events/../terrawv.ini", 404}, {"/events/..%2F..%2Fterrawv.ini", 404},
        {"/drums/drum_2.JPG", 404},  // a link planted in the drums to the settings
        {"/drums/drum_3.JPG", 404},  // a link out of the station folder
        {"/drums/drum_1.dat", 404},  // not a picture
        {"/api/event/../../terrawv.ini", 404}, {"/api/event/240305.120013.ex1%00.txt", 404},
        {"/events/240305.120013.ex1/", 404}, {"/.git/config", 404}, {"/app.js%zz", 404}, {"/api/nothing", 404},
        {"/api/spectrogram/5.png", 404},
    };
    for (const auto& c : cases) {
        const auto response = get(c.path);
        EXPECT_EQ(response.status, c.status) << c.path;
        EXPECT_EQ(response.body.find("CHANNEL"), std::string::npos) << c.path;
    }
    Request post;
    post.method = "POST";
    post.path = "/";
    EXPECT_EQ(site_->handle(post).status, 405);

    const auto download = get("/events/240305.120013.ex1");
    EXPECT_EQ(download.body, read_file(dir_ / "events/240305.120013.ex1"));
    ASSERT_NE(download.header("Content-Disposition"), nullptr);
    EXPECT_EQ(*download.header("Content-Disposition"), "attachment; filename=\"240305.120013.ex1\"");
    EXPECT_EQ(get("/drums/drum_1.JPG").content_type, "image/jpeg");
}

TEST_F(SiteTest, FilesAndTheEventListAreRevalidatedWithTheirValidators) {
    for (const std::string path : {"/drums/drum_1.JPG", "/", "/api/events", "/api/event/240305.120013.ex1"}) {
        const auto first = get(path);
        ASSERT_EQ(first.status, 200) << path;
        ASSERT_NE(first.header("ETag"), nullptr) << path;
        const auto again = get(path, *first.header("ETag"));
        EXPECT_EQ(again.status, 304) << path;
        EXPECT_TRUE(again.body.empty()) << path;
    }
    // A drum saved again is sent again.
    const auto tag = *get("/drums/drum_1.JPG").header("ETag");
    write(dir_ / "drums/drum_1.JPG", "new jpeg bytes");
    EXPECT_EQ(get("/drums/drum_1.JPG", tag).status, 200);

    Request since;
    since.path = "/drums/drum_1.JPG";
    since.if_modified_since = *get(since.path).header("Last-Modified");
    EXPECT_EQ(site_->handle(since).status, 304);
    since.if_modified_since = "Thu, 01 Jan 1998 00:00:00 GMT";
    EXPECT_EQ(site_->handle(since).status, 200);
}

TEST_F(SiteTest, ApiAnswersCarryTheListTheFileAndTheStatus) {
    const auto events = get("/api/events").body;
    EXPECT_NE(events.find("\"file\":\"240305.120013.ex1\",\"channel\":1,\"start\":\"2024/03/05 12:00:13\","
                          "\"samples\":40,\"rate\":50,\"duration_seconds\":0.8,\"max_ratio\":15,"
                          "\"max_amplitude\":5725"),
              std::string::npos)
        << events;
    const auto samples = get("/api/event/240305.120013.ex1").body;
    EXPECT_EQ(samples.find("{\"file\":\"240305.120013.ex1\",\"start\":\"2003-02-03T12:34:56.000Z\",\"rate\":50,"
                           "\"truncated\":false,\"samples\":["),
              0u)
        << samples;
    const auto status = get("/api/status");
    EXPECT_EQ(status.content_type, "application/json");
    EXPECT_NE(status.body.find("\"station_name\":\"Monte \\\"Verde\\\" \xC3\xA8\""), std::string::npos);
    EXPECT_NE(status.body.find("\"last_event_file\":\"240305.120013.ex1\""), std::string::npos);
    const auto pictures = get("/api/pictures").body;
    EXPECT_NE(pictures.find("{\"kind\":\"today\",\"file\":\"drum_1.JPG\",\"channel\":1"), std::string::npos);
    EXPECT_NE(pictures.find("{\"kind\":\"archive\",\"file\":\"drum_240304_1.JPG\",\"channel\":1,\"date\":\"240304\""),
              std::string::npos);
}

TEST(EventList, SummariesAreTakenOnlyWithTheProgramsFileNames) {
    const std::vector<std::string> lines = {
        "2024/03/05 11:00:00 Acquisition started",
        summary,
        "2024/03/05 12:09:00 240305.120500_2.ex2 2024/03/05 12:05:00 L:00001000 Max SLTA:4.2 Max Amplit:000100",
        "2024/03/05 12:10:00 ../../terrawv.ini 2024/03/05 12:05:00 L:00001000 Max SLTA:4.2 Max Amplit:000100",
        "2024/03/05 12:11:00 /etc/x.ex1 2024/03/05 12:05:00 L:00001000 Max SLTA:4.2 Max Amplit:000100",
        "2024/03/05 12:12:00 240305.120013.ex1 truncated",
    };
    const auto events = last_events(lines, 10);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].file, "240305.120500_2.ex2");  // newest first
    EXPECT_EQ(events[0].samples, 1000u);
    EXPECT_DOUBLE_EQ(events[0].max_ratio, 4.2);
    EXPECT_EQ(events[1].max_amplitude, 5725);
    EXPECT_EQ(last_events(lines, 1).size(), 1u);
    for (const char* bad : {"240305.120013.", "240305.120013.ex1/", "240305.120013.e.1", "24030.120013.ex1",
                            "240305.120013_.ex1", "240305.120013.ex1234", "..", "240305.120013.e%1"})
        EXPECT_FALSE(is_event_file_name(bad)) << bad;
}

TEST(EventFiles, EveryFormatGivesItsStartRateAndSamples) {
    struct Case {
        const char* file;
        double rate;
        std::size_t samples;
        std::int32_t first;
    };
    for (const Case c : {Case{"psn1_16bit.z1", 50, 40, -8000}, Case{"psn2_18bit.z1", 100, 60, -20000},
                         Case{"ascii_16bit.z1", 50, 40, -8000}, Case{"ascii_18bit.z1", 100, 60, -20000}}) {
        std::string error;
        const auto data = read_event_file(fs::path(TW_TEST_DATA_DIR) / "events" / c.file, 1000, &error);
        ASSERT_TRUE(data) << c.file << ": " << error;
        EXPECT_EQ(data->header.start.substr(0, 23), "2003/02/03 12:34:56.000") << c.file;
        EXPECT_EQ(data->header.rate, c.rate) << c.file;
        EXPECT_EQ(data->samples.size(), c.samples) << c.file;
        EXPECT_EQ(data->samples.front(), c.first) << c.file;
    }
    std::string error;
    const auto part = read_event_file(fs::path(TW_TEST_DATA_DIR) / "events/psn1_16bit.z1", 10, &error);
    ASSERT_TRUE(part);
    EXPECT_TRUE(part->truncated);
    EXPECT_EQ(part->samples.size(), 10u);

    // A file being written ends in half a line; a file that is no event file.
    testing::TestFolder dir;
    write(dir / "open.ex1", read_file(fs::path(TW_TEST_DATA_DIR) / "events/psn2_16bit.z1").substr(0, 1200) + "-12");
    EXPECT_TRUE(read_event_file(dir / "open.ex1", 1000, &error));
    write(dir / "junk.ex1", "MZ\x90\x00 binary");
    EXPECT_FALSE(read_event_file(dir / "junk.ex1", 1000, &error));
    EXPECT_EQ(error, "junk.ex1 is not an event file");
}

TEST(Http, DatesRoundTripAndBadOnesAreRefused) {
    EXPECT_EQ(http_date(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
    for (std::int64_t t : {0LL, 784111777LL, 951782400LL /* 2000/02/29 */, 4102444799LL})
        EXPECT_EQ(parse_http_date(http_date(t)), t);
    for (const char* bad : {"", "Sun, 06 Nov 1994 08:49:37", "Sun, 06 Xyz 1994 08:49:37 GMT",
                            "Sun, 36 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT"})
        EXPECT_FALSE(parse_http_date(bad)) << bad;
}

TEST(Status, RatesAreMeasuredOverTheLastSecondsAndStartAgainAfterARestart) {
    RateMeter meter;
    EXPECT_FALSE(meter.rate(1));
    for (int s = 0; s <= 30; ++s)
        meter.add(s * 1000, {static_cast<std::uint64_t>(s * 200), static_cast<std::uint64_t>(s < 20 ? s * 100 : 2000), 0, 0});
    EXPECT_DOUBLE_EQ(*meter.rate(1), 200.0);
    EXPECT_DOUBLE_EQ(*meter.rate(2), 0.0);  // silent for the last ten seconds
    meter.add(31000, {5, 0, 0, 0});        // the counts went back: a new program run
    EXPECT_FALSE(meter.rate(1));
}

TEST(Pictures, OnlyTheDrumsAndSpectrogramsAreListed) {
    struct Case {
        const char* name;
        bool listed;
        PictureKind kind;
        int channel;
    };
    for (const Case c : {Case{"drum_1.JPG", true, PictureKind::today, 1},
                         Case{"drum_4.bmp", true, PictureKind::today, 4},
                         Case{"drum_240304_2.GIF", true, PictureKind::archive, 2},
                         Case{"jtf_240304_3.JPG", true, PictureKind::spectrogram, 3},
                         Case{"drum_1.dat", false, {}, 0}, Case{"drum_5.JPG", false, {}, 0},
                         Case{"jtf_3.JPG", false, {}, 0}, Case{"drum_1.JPG.tmp", false, {}, 0},
                         Case{"terrawv.ini", false, {}, 0}}) {
        PictureFile picture;
        EXPECT_EQ(parse_picture_name(c.name, &picture), c.listed) << c.name;
        if (c.listed) {
            EXPECT_EQ(picture.kind, c.kind) << c.name;
            EXPECT_EQ(picture.channel, c.channel) << c.name;
        }
    }
}

}  // namespace
}  // namespace tw::web
