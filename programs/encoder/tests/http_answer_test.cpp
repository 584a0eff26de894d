// The one reading of a server's status line, wherever the feed client meets one.
#include <gtest/gtest.h>

#include "programs/encoder/http_answer.h"

TEST(HttpAnswer, AStatusLineIsReadOrRefusedAsAWhole) {
    struct Case {
        std::string line;
        bool ok;
        int code;
        std::string status;
    };
    // The longest that is taken: 1024 characters.
    const std::string longest = "HTTP/1.1 200 " + std::string(1024 - 13, 'x');
    const Case cases[] = {
        {"HTTP/1.1 200 OK", true, 200, "200 OK"},
        {"HTTP/1.0 503 Server too busy", true, 503, "503 Server too busy"},
        {"HTTP/1.1 100 Continue", true, 100, "100 Continue"},
        {"HTTP/1.1 409", true, 409, "409"},
        {"HTTP/1.1 404 ", true, 404, "404 "},
        {"HTTP/1.1 400 Bad\tRequest \xe9", true, 400, "400 Bad\tRequest \xe9"},
        {longest, true, 200, longest.substr(9)},
        {longest + "x", false, 0, ""},
        {"", false, 0, ""},
        {"HTTP/1.1", false, 0, ""},
        {"HTTP/1.1 20", false, 0, ""},
        {"HTTP/1.1 2000 OK", false, 0, ""},
        {"HTTP/1.1 200OK", false, 0, ""},
        {"HTTP/1.1  200 OK", false, 0, ""},
        {"HTTP/1.1 2x0 OK", false, 0, ""},
        {"HTTP/1.1 099 Low", false, 0, ""},
        {"HTTP/1.1 600 High", false, 0, ""},
        {"HTTP/11 200 OK", false, 0, ""},
        {"http/1.1 200 OK", false, 0, ""},
        {"ICY 200 OK", false, 0, ""},
        {"HTTP/1.1 200 O\x01K", false, 0, ""},
        {"<html><body>200 OK</body></html>", false, 0, ""},
    };
    for (const Case& c : cases) {
        StatusLine status;
        ASSERT_EQ(ParseStatusLine(c.line, status), c.ok) << c.line;
        if (!c.ok) continue;
        EXPECT_EQ(status.code, c.code) << c.line;
        EXPECT_EQ(status.status, c.status) << c.line;
    }
}
