// The crash reporter's requests against the loopback test server, which
// records each request with its query, headers and form parts.

#include "desktop/windows/crash_reporter/crash_upload.h"

#include <windows.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/wininet/test/http_test_server.h"
#include "desktop/windows/crash_reporter/pending_work_gate.h"
#include "desktop/windows/crash_reporter/test/crash_server_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

using installer::HttpTestServer;

constexpr wchar_t kServerUrlVariable[] = L"VEXLO_CRASH_SERVER_URL";

base::string16 EmailVariable() {
  return base::UTF8ToUTF16(
      base::ToUpperASCII(ProductConfiguration::GetProductName()) +
      "_CRASH_EMAIL");
}

class CrashUploadTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.IsValid());
    ASSERT_TRUE(server_.Start());
    SetServerPath("/echo/submit");
  }

  void TearDown() override {
    ::SetEnvironmentVariableW(kServerUrlVariable, nullptr);
    ::SetEnvironmentVariableW(EmailVariable().c_str(), nullptr);
  }

  void SetServerPath(const std::string& path) {
    ::SetEnvironmentVariableW(kServerUrlVariable, server_.Url(path).c_str());
    InitializeCrashUpload();
  }

  base::FilePath WriteLog(const wchar_t* name, const std::string& text) {
    const base::FilePath path = dir_.path().Append(name);
    base::WriteFile(path, text.data(), static_cast<int>(text.size()));
    return path;
  }

  HttpTestServer::Request OnlyRequest() {
    const std::vector<HttpTestServer::Request> requests = server_.GetRequests();
    EXPECT_EQ(1u, requests.size());
    server_.Reset();
    return requests.empty() ? HttpTestServer::Request() : requests[0];
  }

  base::UniqueTestDir dir_;
  HttpTestServer server_;
};

// The answer decides: a 303 whose "Location" has "?id=" up to an "&" gives
// the id and keeps the whole value; every other answer (no redirect
// followed) is "other", a 503 is "refused". The crash's URL and origin
// travel as headers when known.
TEST_F(CrashUploadTest, QueryReadsTheAnswer) {
  const std::string long_location = "r?id=7&" + std::string(60, 'q');
  const struct {
    int code;
    std::string location;
    CrashUrlQueryResult result;
    const wchar_t* crash_id;
  } cases[] = {
      {303, "https://c.example/r?id=42&x=1", kCrashUrlAccepted, L"42"},
      {303, long_location, kCrashUrlAccepted, L"7"},
      {303, "https://c.example/r?id=&", kCrashUrlAccepted, L""},
      {303, "https://c.example/r?id=42", kCrashUrlOther, L""},
      {303, "https://c.example/r?x=1&id=42&", kCrashUrlOther, L""},
      {303, "", kCrashUrlOther, L""},
      {302, CrashServerReplyPath(303, "r?id=5&"), kCrashUrlOther, L""},
      {200, "", kCrashUrlOther, L""},
      {503, "", kCrashUrlRefused, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    SetServerPath(CrashServerReplyPath(c.code, c.location));
    base::string16 crash_id = L"unset";
    base::string16 location = L"unset";
    const bool with_headers = c.code != 200;
    EXPECT_EQ(c.result,
              QueryCrashUrl(with_headers ? L"https://page.example/a?b" : L"",
                            with_headers ? L"Wirn" : L"", &crash_id, &location,
                            kCrashUrlQueryTimeoutMs));
    const bool accepted = c.result == kCrashUrlAccepted;
    EXPECT_EQ(accepted ? c.crash_id : L"unset", crash_id);
    EXPECT_EQ(accepted ? base::UTF8ToUTF16(c.location) : L"unset", location);
    HttpTestServer::Request request = OnlyRequest();
    EXPECT_EQ("GET", request.method);
    EXPECT_EQ(CrashServerReplyPath(c.code, c.location), request.path);
    EXPECT_EQ(with_headers ? 1u : 0u,
              request.headers.count("X-Vexlo-Crash-URL"));
    EXPECT_EQ(with_headers ? 1u : 0u, request.headers.count("X-Origin"));
    if (with_headers) {
      EXPECT_EQ("https://page.example/a?b",
                request.headers["X-Vexlo-Crash-URL"]);
      EXPECT_EQ("Wirn", request.headers["X-Origin"]);
    }
    EXPECT_EQ("CrashReporter/1.0 (Windows)" + ProductInfo::GetEditionSuffix(),
              request.headers["User-Agent"]);
  }
}

// Only http and https are asked, with a path that fits; a refused
// connection is "other".
TEST_F(CrashUploadTest, QueryNeedsAWebUrl) {
  for (const base::string16& url :
       {base::string16(L"ftp://127.0.0.1/x"), base::string16(L"not a url"),
        base::string16(L"http://127.0.0.1:1/x"),
        server_.Url("/reply/503/" + std::string(250, 'p'))}) {
    ::SetEnvironmentVariableW(kServerUrlVariable, url.c_str());
    InitializeCrashUpload();
    base::string16 crash_id;
    base::string16 location;
    EXPECT_EQ(kCrashUrlOther,
              QueryCrashUrl(L"", L"", &crash_id, &location, 500));
  }
  EXPECT_TRUE(server_.GetRequests().empty());
}

// The configured URL stands without the variable; the user's address joins
// the query escaped, after "&" when the URL already has a query.
TEST_F(CrashUploadTest, TheEmailAddressJoinsTheQueryEscaped) {
  ::SetEnvironmentVariableW(kServerUrlVariable, nullptr);
  InitializeCrashUpload();
  EXPECT_EQ(base::UTF8ToUTF16(ProductConfiguration::GetUrl("crash")),
            GetCrashServerUrl());

  ::SetEnvironmentVariableW(EmailVariable().c_str(),
                            L"Zz9-_~`{:/[ a&c=d@\u00e9.example");
  const std::string escaped =
      "Zz9-_~%60%7B%3A%2F%5B%20a%26c%3Dd%40%C3%A9.example";
  SetServerPath("/reply/503");
  EXPECT_EQ(server_.Url("/reply/503?email=" + escaped), GetCrashServerUrl());
  SetServerPath("/reply/503?k=1");
  EXPECT_EQ(server_.Url("/reply/503?k=1&email=" + escaped),
            GetCrashServerUrl());
  base::string16 crash_id;
  base::string16 location;
  EXPECT_EQ(kCrashUrlRefused, QueryCrashUrl(L"", L"", &crash_id, &location, 0));
  EXPECT_EQ("/reply/503?k=1&email=" + escaped, OnlyRequest().path);
}

// The body byte for byte: fields in code-unit order, then the file with its
// full path, every part between boundaries; Python's own parser agrees.
TEST_F(CrashUploadTest, PostsFieldsThenTheFile) {
  const std::string contents = std::string("zip\0\r\n--\xff", 9) + "end";
  const base::FilePath file = WriteLog(L"upload.bin", contents);
  const UploadFields fields = {
      {L"email", L"\u00fc@x"}, {L"CrashUptime", L"12"}, {L"empty", L""}};
  base::string16 response;
  int status = -1;
  ASSERT_TRUE(SendMultipartRequest(L" (suffix)", server_.Url("/echo/x?y=1"),
                                   fields, {{L"file", file}}, 5000, &response,
                                   &status));
  EXPECT_EQ(200, status);
  HttpTestServer::Request request = OnlyRequest();
  EXPECT_EQ("POST", request.method);
  EXPECT_EQ("/echo/x?y=1", request.path);
  EXPECT_EQ("CrashReporter/1.0 (Windows) (suffix)",
            request.headers["User-Agent"]);
  const std::string type = request.headers["Content-Type"];
  const std::string prefix = "multipart/form-data; boundary=";
  ASSERT_EQ(prefix, type.substr(0, prefix.size()));
  const std::string boundary = type.substr(prefix.size());
  EXPECT_EQ(43u, boundary.size());
  EXPECT_EQ(std::string(27, '-'), boundary.substr(0, 27));
  const std::string path = base::UTF16ToUTF8(file.value());
  const std::string expected =
      "--" + boundary +
      "\r\nContent-Disposition: form-data; name=\"CrashUptime\"\r\n\r\n12\r\n"
      "--" +
      boundary +
      "\r\nContent-Disposition: form-data; name=\"email\"\r\n\r\n"
      "\xc3\xbc@x\r\n"
      "--" +
      boundary +
      "\r\nContent-Disposition: form-data; name=\"empty\"\r\n\r\n\r\n"
      "--" +
      boundary +
      "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + path +
      "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + contents +
      "\r\n--" + boundary + "--\r\n";
  EXPECT_EQ(expected, request.body);
  EXPECT_EQ(base::UTF8ToUTF16(expected), response);
  ASSERT_EQ(4u, request.form.size());
  EXPECT_EQ("CrashUptime", request.form[0].name);
  EXPECT_EQ("12", request.form[0].data);
  EXPECT_FALSE(request.form[0].has_filename);
  EXPECT_EQ("file", request.form[3].name);
  EXPECT_EQ(path, request.form[3].filename);
  EXPECT_EQ(contents, request.form[3].data);
}

// A boundary that a value holds is drawn again.
TEST_F(CrashUploadTest, NoValueHoldsTheBoundary) {
  srand(1234);
  const int high = rand();
  const int low = rand();
  const std::string first =
      base::StringPrintf("%s%08X%08X", std::string(27, '-').c_str(), high, low);
  const UploadFields fields = {{L"a", base::UTF8ToUTF16("x" + first + "y")}};
  srand(1234);
  ASSERT_TRUE(SendMultipartRequest(L"", server_.Url("/echo"), fields, {}, 0,
                                   nullptr, nullptr));
  HttpTestServer::Request request = OnlyRequest();
  EXPECT_EQ(std::string::npos, request.headers["Content-Type"].find(first));
  ASSERT_EQ(1u, request.form.size());
  EXPECT_EQ("x" + first + "y", request.form[0].data);
}

// Refusals before any request, and answers that do not count as sent: not
// 200, shorter than announced (also when it announces more than fits in
// memory), a file that is missing.
TEST_F(CrashUploadTest, FailsOnBadFormsAndIncompleteAnswers) {
  const base::FilePath file = WriteLog(L"f.txt", "text");
  for (const wchar_t* name : {L"", L"a\"b", L"a\x1f", L"\u00e9", L"\x7f\x80"}) {
    EXPECT_FALSE(SendMultipartRequest(L"", server_.Url("/echo"), {{name, L"v"}},
                                      {}, 0, nullptr, nullptr));
  }
  EXPECT_FALSE(SendMultipartRequest(L"", L"ftp://127.0.0.1/", {}, {}, 0,
                                    nullptr, nullptr));
  EXPECT_FALSE(SendMultipartRequest(L"", server_.Url("/echo"), {},
                                    {{L"file", dir_.path().Append(L"none")}}, 0,
                                    nullptr, nullptr));
  EXPECT_TRUE(server_.GetRequests().empty());
  EXPECT_TRUE(SendMultipartRequest(L"", server_.Url("/echo"), {{L" ~", L"v"}},
                                   {}, 0, nullptr, nullptr));

  const struct {
    std::string path;
    int status;
  } answers[] = {{"/status/404", 404},
                 {"/bytes/1000?cut=500", 200},
                 {"/bytes/1000000000000?cut=10", 200},
                 {"/bytes/3000000", 200}};
  for (size_t i = 0; i < ARRAYSIZE(answers); ++i) {
    SCOPED_TRACE(answers[i].path);
    int status = -1;
    base::string16 response;
    EXPECT_EQ(i == 3,
              SendMultipartRequest(L"", server_.Url(answers[i].path), {},
                                   {{L"file", file}}, 0, &response, &status));
    EXPECT_EQ(answers[i].status, status);
  }
}

// The archive holds the log as "crashlog.txt", also past the piece size and
// under a folder name outside the code page; an empty or missing log gives
// none.
TEST_F(CrashUploadTest, ZipsTheLogIntoOneEntry) {
  const base::FilePath folder = dir_.path().Append(L"\u043b\u043e\u0433");
  ASSERT_TRUE(base::CreateDirectory(folder));
  std::string big(2500000, '\0');
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>(i * 7 / 3);
  const struct {
    const wchar_t* name;
    std::string text;
    bool zipped;
  } cases[] = {{L"small.txt", "one line\r\n", true},
               {L"big.txt", big, true},
               {L"empty.txt", "", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const base::FilePath log = folder.Append(c.name);
    base::WriteFile(log, c.text.data(), static_cast<int>(c.text.size()));
    const base::FilePath zip = log.ReplaceExtension(L".zip");
    ASSERT_EQ(c.zipped, ZipCrashLog(log, zip));
    ASSERT_EQ(c.zipped, base::PathExists(zip));
    if (!c.zipped)
      continue;
    std::string archive;
    std::string name;
    std::string contents;
    ASSERT_TRUE(base::ReadFileToString(zip, &archive));
    ASSERT_TRUE(UnzipOnlyEntry(archive, dir_.path().Append(L"check.zip"), &name,
                               &contents));
    EXPECT_EQ("crashlog.txt", name);
    EXPECT_TRUE(contents == c.text);
  }
  EXPECT_FALSE(
      ZipCrashLog(folder.Append(L"none.txt"), folder.Append(L"none.zip")));
  EXPECT_FALSE(base::PathExists(folder.Append(L"none.zip")));
}

// The text log goes zipped (or as it is) as "file" to the crash server, the
// minidump as "upload_file_minidump" to the collector on the crash
// server's host, without the suffix; the synchronous forms keep the files,
// the zip never stays.
TEST_F(CrashUploadTest, UploadsTheLogAndTheMinidump) {
  const base::FilePath log = WriteLog(L"crash.txt", "the log\n");
  const base::FilePath dump = WriteLog(L"crash.dmp", "MDMP");
  const UploadFields fields = {{L"email", L"e"}};
  for (const bool zip : {true, false}) {
    ASSERT_TRUE(UploadCrashLog(log, fields, zip));
    HttpTestServer::Request request = OnlyRequest();
    EXPECT_EQ("/echo/submit", request.path);
    EXPECT_EQ("CrashReporter/1.0 (Windows)" + ProductInfo::GetEditionSuffix(),
              request.headers["User-Agent"]);
    ASSERT_EQ(2u, request.form.size());
    EXPECT_EQ("e", request.form[0].data);
    EXPECT_EQ("file", request.form[1].name);
    EXPECT_EQ(
        base::UTF16ToUTF8((zip ? log.ReplaceExtension(L".zip") : log).value()),
        request.form[1].filename);
    std::string name;
    std::string text = request.form[1].data;
    if (zip) {
      ASSERT_TRUE(UnzipOnlyEntry(request.form[1].data,
                                 dir_.path().Append(L"check.zip"), &name,
                                 &text));
    }
    EXPECT_EQ("the log\n", text);
  }
  EXPECT_TRUE(base::PathExists(log));
  EXPECT_FALSE(base::PathExists(log.ReplaceExtension(L".zip")));

  ASSERT_TRUE(UploadMinidump(dump, {{L"ProductName", L"VexloDesktop"}}));
  HttpTestServer::Request request = OnlyRequest();
  EXPECT_EQ("/collector/submit", request.path);
  EXPECT_EQ("CrashReporter/1.0 (Windows)", request.headers["User-Agent"]);
  ASSERT_EQ(2u, request.form.size());
  EXPECT_EQ("ProductName", request.form[0].name);
  EXPECT_EQ("upload_file_minidump", request.form[1].name);
  EXPECT_EQ("MDMP", request.form[1].data);
  EXPECT_TRUE(base::PathExists(dump));
}

// Pool uploads hold the reporter's gate until they are done and delete
// their files whatever the outcome; a log that cannot be zipped is not sent.
TEST_F(CrashUploadTest, PoolUploadsHoldTheGateAndDeleteTheirFiles) {
  const base::FilePath log = WriteLog(L"async.txt", "async log");
  const base::FilePath empty = WriteLog(L"empty.txt", "");
  const base::FilePath dump = WriteLog(L"async.dmp", "MDMP");
  const base::FilePath kept = WriteLog(L"kept.dmp", "MDMP");
  PendingWorkGate* gate = PendingWorkGate::Get();
  gate->Enter();
  ASSERT_TRUE(UploadCrashLogAsync(log, {}, true));
  ASSERT_TRUE(UploadCrashLogAsync(empty, {}, true));
  UploadMinidumpAsync(dump, {}, true);
  UploadMinidumpAsync(kept, {}, false);
  gate->Leave();
  ASSERT_TRUE(gate->Wait(60000));
  EXPECT_FALSE(base::PathExists(log));
  EXPECT_FALSE(base::PathExists(empty));
  EXPECT_FALSE(base::PathExists(dump));
  EXPECT_TRUE(base::PathExists(kept));
  EXPECT_FALSE(base::PathExists(log.ReplaceExtension(L".zip")));
  std::vector<std::string> paths;
  for (const HttpTestServer::Request& request : server_.GetRequests())
    paths.push_back(request.path);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ((std::vector<std::string>{"/collector/submit", "/collector/submit",
                                      "/echo/submit"}),
            paths);
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo
