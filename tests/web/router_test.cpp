#include "web/query.h"
#include "web/router.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw::web {
namespace {

HttpRequest request(std::string method, std::string path) {
    return HttpRequest{std::move(method), std::move(path), "", "127.0.0.1"};
}

HttpHandler answer(std::string text) {
    return [text](const HttpRequest&) {
        HttpResponse r;
        r.body = text;
        return r;
    };
}

TEST(Router, ExactRouteThenLongestPrefixThenNotFound) {
    Router router;
    router.add_prefix("/", answer("root"));
    router.add_prefix("/api/", answer("api"));
    router.add("/api/status", answer("status"));
    struct Case {
        const char* method;
        const char* path;
        int status;
        const char* body;
    };
    for (const Case& c : {Case{"GET", "/api/status", 200, "status"},
                          Case{"HEAD", "/api/status", 200, "status"},
                          Case{"GET", "/api/other", 200, "api"},
                          Case{"GET", "/index.html", 200, "root"},
                          Case{"POST", "/api/status", 405, nullptr},
                          Case{"DELETE", "/", 405, nullptr}}) {
        const auto r = router.handle(request(c.method, c.path));
        EXPECT_EQ(r.status, c.status) << c.method << " " << c.path;
        if (c.body) {
            EXPECT_EQ(r.body, c.body) << c.path;
        }
    }
    Router bare;
    const auto missing = bare.handle(request("GET", "/x"));
    EXPECT_EQ(missing.status, 404);
    EXPECT_NE(missing.body.find("/x"), std::string::npos);
}

TEST(Query, DecodesAndRefusesWhatCannotBeRead) {
    const auto q = parse_query("net=X%58&sta=ST+1&&level=channel&flag");
    ASSERT_TRUE(q.error.empty());
    EXPECT_EQ(q.get("net"), "XX");
    EXPECT_EQ(q.get("station", "sta"), "ST 1");
    EXPECT_EQ(q.get("flag"), "");
    EXPECT_FALSE(q.get("cha"));

    for (const std::string& bad : std::vector<std::string>{"a=%4", "a=%zz", "=1", "a=%00", "a=%0A",
                                  std::string(max_query_length + 1, 'a')}) {
        const auto r = parse_query(bad);
        EXPECT_FALSE(r.error.empty()) << bad;
        EXPECT_TRUE(r.parameters.empty()) << bad;
    }
    std::string many;
    for (int i = 0; i <= static_cast<int>(max_query_parameters); ++i) many += "a=1&";
    EXPECT_FALSE(parse_query(many).error.empty());
}

}  // namespace
}  // namespace tw::web
