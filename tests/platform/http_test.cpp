#include "platform/http/http.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "fixtures/http_server.h"

namespace hovane::platform {
namespace {

using test::HttpTestServer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Lines = std::vector<std::string>;

struct Got {
  HttpResult result;
  Lines lines;
};

// GETs url collecting every line; checks what holds for every result.
Got Get(const std::string& url, const HttpOptions& options = {}) {
  Got got;
  got.result = HttpGetLines(
      url,
      [&](std::string_view line) {
        got.lines.emplace_back(line);
        return true;
      },
      options);
  EXPECT_LE(got.result.description.size(), 254u);
  EXPECT_EQ(got.result.ok(), got.result.description.empty()) << got.result.description;
  return got;
}

TEST(HttpGetLines, SplitsLinesByTheLineRules) {
  const struct {
    const char* name;
    std::string body;
    Lines lines;
  } cases[] = {
      {"LF", "one\ntwo\n", {"one", "two"}},
      {"CR LF", "one\r\ntwo\r\n", {"one", "two"}},
      {"CR inside a line", "o\rne\r\r\ntwo\r", {"one", "two"}},
      {"no final LF", "one\ntwo", {"one", "two"}},
      {"empty lines", "\n\none\r\n\r\n", {"", "", "one", ""}},
      {"NUL bytes", std::string("a\0b\n\0\n", 6), {std::string("a\0b", 3), std::string(1, '\0')}},
      {"bytes unconverted", "\xC7\xD1\xB1\xDB\t\xFF\n", {"\xC7\xD1\xB1\xDB\t\xFF"}},
      {"empty body", "", {}},
  };
  HttpTestServer server;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server.Serve("/list", c.body);
    const Got got = Get(server.Url("/list"));
    EXPECT_TRUE(got.result.ok()) << got.result.description;
    EXPECT_EQ(got.result.status, 200);
    EXPECT_EQ(got.lines, c.lines);
  }
}

TEST(HttpGetLines, LinesArriveWholeFromABodyReadInManyPieces) {
  std::string body;
  Lines expected;
  for (int i = 0; i < 50000; ++i) {
    expected.push_back("line " + std::to_string(i) + std::string(i % 97, 'x'));
    body += expected.back() + "\r\n";
  }
  body += "last";
  expected.emplace_back("last");
  HttpTestServer server;
  server.Serve("/big", body);
  const Got got = Get(server.Url("/big"));
  EXPECT_TRUE(got.result.ok()) << got.result.description;
  EXPECT_EQ(got.lines, expected);
}

TEST(HttpGetLines, StatusOutside2xxFailsWithoutALine) {
  const struct {
    int status;
    std::string body;
  } cases[] = {{404, "not\nfound\n"}, {500, ""}, {302, "no location\n"}};
  HttpTestServer server;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    server.ServeStatus("/list", c.status, c.body);
    const Got got = Get(server.Url("/list"));
    EXPECT_EQ(got.result.failure, HttpFailure::Error);
    EXPECT_EQ(got.result.status, c.status);
    EXPECT_THAT(got.result.description, HasSubstr("HTTP status " + std::to_string(c.status)));
    EXPECT_THAT(got.lines, IsEmpty());
  }
}

TEST(HttpGetLines, FollowsRedirectsToTheFinalDocument) {
  HttpTestServer server;
  server.Redirect("/old", "/moved", 301);
  server.Redirect("/moved", server.Url("/list"), 307);
  server.Serve("/list", "one\ntwo\n");
  const Got got = Get(server.Url("/old"));
  EXPECT_TRUE(got.result.ok()) << got.result.description;
  EXPECT_EQ(got.result.status, 200);
  EXPECT_THAT(got.lines, ElementsAre("one", "two"));
  std::vector<std::string> paths;
  for (const auto& request : server.Requests()) paths.push_back(request.path);
  EXPECT_THAT(paths, ElementsAre("/old", "/moved", "/list"));
}

TEST(HttpGetLines, FollowsAtMostTenRedirects) {
  HttpTestServer server;
  for (int i = 0; i < 11; ++i)
    server.Redirect("/r" + std::to_string(i), "/r" + std::to_string(i + 1));
  server.Serve("/r11", "end\n");

  const Got ten = Get(server.Url("/r1"));
  EXPECT_TRUE(ten.result.ok()) << ten.result.description;
  EXPECT_THAT(ten.lines, ElementsAre("end"));

  const Got eleven = Get(server.Url("/r0"));
  EXPECT_EQ(eleven.result.failure, HttpFailure::Error);
  EXPECT_THAT(eleven.lines, IsEmpty());
}

TEST(HttpGetLines, RefusesRedirectsToOtherSchemes) {
  const struct {
    const char* target;
    const char* scheme;
  } cases[] = {{"ftp://127.0.0.1/list", "ftp"}, {"file:///etc/passwd", "file"}};
  HttpTestServer server;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    server.Redirect("/list", c.target);
    const Got got = Get(server.Url("/list"));
    EXPECT_EQ(got.result.failure, HttpFailure::Error);
    EXPECT_EQ(got.result.status, 302);
    // Refused, not tried: a failed attempt would describe the connection.
    EXPECT_THAT(got.result.description, HasSubstr(c.scheme));
    EXPECT_THAT(got.lines, IsEmpty());
  }
}

TEST(HttpGetLines, RefusesUrlsThatAreNotHttpBeforeSendingAnything) {
  HttpTestServer server;
  server.Serve("/list", "one\n");
  const std::string authority = server.Url("").substr(std::string("http://").size());
  const std::string cases[] = {
      "",
      "ftp://" + authority + "/list",
      "file:///etc/passwd",
      "not a url",
      "http://",
      "https:///list",
      "http://" + authority + std::string("/li\0st", 6),
      std::string(1000, 'x') + "://" + authority + "/list",
  };
  for (const auto& url : cases) {
    SCOPED_TRACE(url);
    const Got got = Get(url);
    EXPECT_EQ(got.result.failure, HttpFailure::Error);
    EXPECT_EQ(got.result.status, 0);
    EXPECT_THAT(got.lines, IsEmpty());
  }
  EXPECT_THAT(server.Requests(), IsEmpty());

  const Got upper = Get("HTTP://" + authority + "/list");
  EXPECT_TRUE(upper.result.ok()) << upper.result.description;
  EXPECT_THAT(upper.lines, ElementsAre("one"));
}

TEST(HttpGetLines, BrokenTransferKeepsCompleteLinesAndDropsThePartialOne) {
  HttpTestServer server;
  server.ServeCut("/list", "one\r\ntwo\nthr", 100);
  const Got got = Get(server.Url("/list"));
  EXPECT_EQ(got.result.failure, HttpFailure::Error);
  EXPECT_EQ(got.result.status, 200);
  EXPECT_THAT(got.lines, ElementsAre("one", "two"));
}

TEST(HttpGetLines, ServerThatNeverAnswersFailsAfterTheStallLimit) {
  HttpTestServer server;
  server.ServeNever("/list");
  HttpOptions options;
  options.stallTimeoutSeconds = 2;
  const Got got = Get(server.Url("/list"), options);
  EXPECT_EQ(got.result.failure, HttpFailure::Error);
  EXPECT_EQ(got.result.status, 0);
  EXPECT_THAT(got.lines, IsEmpty());
}

TEST(HttpGetLines, ServerThatHangsUpWithoutAnAnswerGivesNoDocument) {
  HttpTestServer server;
  server.ServeNothing("/list");
  const Got got = Get(server.Url("/list"));
  EXPECT_EQ(got.result.failure, HttpFailure::NoDocument);
  EXPECT_EQ(got.result.status, 0);
}

TEST(HttpGetLines, LimitsOnLinesAndBody) {
  HttpOptions line8;
  line8.maxLineBytes = 8;
  HttpOptions body10;
  body10.maxBodyBytes = 10;
  const struct {
    const char* name;
    HttpOptions options;
    std::string body;
    Lines lines;
    std::string failure;  // "" for success
  } cases[] = {
      {"line at the limit", line8, "12345678\n", {"12345678"}, ""},
      {"carriage returns not counted", line8, "1234\r5678\r\n", {"12345678"}, ""},
      {"line over the limit", line8, "ok\n123456789\nnext\n", {"ok"}, "line longer than 8 bytes"},
      {"last line over the limit", line8, "ok\n123456789", {"ok"}, "line longer than 8 bytes"},
      {"body at the limit", body10, "abc\ndef\ngh", {"abc", "def", "gh"}, ""},
      {"body over the limit", body10, "abc\ndef\nghi\n", {"abc", "def"}, "longer than 10 bytes"},
  };
  HttpTestServer server;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server.Serve("/list", c.body);
    const Got got = Get(server.Url("/list"), c.options);
    EXPECT_EQ(got.lines, c.lines);
    if (c.failure.empty()) {
      EXPECT_TRUE(got.result.ok()) << got.result.description;
    } else {
      EXPECT_EQ(got.result.failure, HttpFailure::Error);
      EXPECT_THAT(got.result.description, HasSubstr(c.failure));
    }
  }
}

TEST(HttpGetLines, HandlerReturningFalseStopsWithSuccess) {
  HttpTestServer server;
  server.Serve("/list", "one\ntwo\nthree\nfour");
  for (const std::size_t wanted : {std::size_t{2}, std::size_t{4}}) {
    SCOPED_TRACE(wanted);
    Lines lines;
    const HttpResult result = HttpGetLines(server.Url("/list"), [&](std::string_view line) {
      lines.emplace_back(line);
      return lines.size() < wanted;
    });
    EXPECT_TRUE(result.ok()) << result.description;
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(lines.size(), wanted);
  }
}

TEST(HttpGetLines, ExceptionFromTheHandlerReachesTheCaller) {
  HttpTestServer server;
  server.Serve("/list", "one\ntwo\n");
  const auto fail = [](std::string_view) -> bool { throw std::runtime_error("handler"); };
  EXPECT_THROW(HttpGetLines(server.Url("/list"), fail), std::runtime_error);
}

TEST(HttpGetLines, SendsTheUserAgentOfTheOptions) {
  HttpOptions custom;
  custom.userAgent = "Custom/2.0";
  HttpOptions none;
  none.userAgent.clear();
  const struct {
    HttpOptions options;
    const char* userAgent;
  } cases[] = {{HttpOptions{}, "HoVaneUpdate"}, {custom, "Custom/2.0"}, {none, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.userAgent);
    HttpTestServer server;
    server.Serve("/list", "one\n");
    EXPECT_TRUE(Get(server.Url("/list"), c.options).result.ok());
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].userAgent, c.userAgent);
  }
}

}  // namespace
}  // namespace hovane::platform
