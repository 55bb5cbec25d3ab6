// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The "Print a photo" page: a phone-sized JPEG sent through the form prints
// one panel at the simulated printer, the very panel its preview showed;
// uploads are bounded and need the form's token; the multipart reader takes
// a body however it is split. And the app with the printer idle leaves its
// state file alone, writing it when the printer's state changed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "AppUnderTest.h"
#include "PhotoFiles.h"
#include "PrintSystem.h"
#include "StreamDecoder.h"
#include "TestImages.h"
#include "printer-app/FormUpload.h"

using apptest::AppUnderTest;

namespace {

// ---- The multipart reader, fed in pieces of every size.

struct MultipartCase {
  const char* name;
  std::string body;
  UploadResult result;
  std::string file;  // what lands in the file
  std::string fileName;
  std::map<std::string, std::string> fields;
  uint64_t maxBytes = 1 << 20;
};

std::string Part(const std::string& disposition, const std::string& content) {
  return "--XyZ\r\nContent-Disposition: form-data; " + disposition + "\r\n\r\n" + content + "\r\n";
}

// Binary data that holds line breaks, dashes and a near-boundary.
const std::string kAwkward = std::string("\xff\xd8\r\n--XyY\r\n--Xy\0\r", 17) + "\r\n-";

class Multipart : public testing::TestWithParam<MultipartCase> {};

TEST_P(Multipart, ReadsTheSameWhateverThePieces) {
  const MultipartCase& c = GetParam();
  for (size_t piece : {size_t{1}, size_t{2}, size_t{7}, size_t{64}, c.body.size()}) {
    char path[] = "/tmp/qv46-multipart-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    size_t at = 0;
    FormUpload upload;
    const UploadResult result = ReadMultipart(
        "XyZ",
        [&](char* buffer, size_t size) {
          const size_t n = std::min({size, piece, c.body.size() - at});
          std::memcpy(buffer, c.body.data() + at, n);
          at += n;
          return static_cast<ssize_t>(n);
        },
        c.maxBytes, fd, &upload);
    close(fd);
    const std::string file = e2e::ReadFile(path);
    unlink(path);
    EXPECT_EQ(c.result, result) << "pieces of " << piece;
    if (c.result != UploadResult::kOk) continue;
    EXPECT_EQ(c.file, file) << "pieces of " << piece;
    EXPECT_EQ(c.file.size(), upload.fileBytes);
    EXPECT_EQ(c.fileName, upload.fileName);
    EXPECT_EQ(c.fields, upload.fields) << "pieces of " << piece;
  }
}

// A body the reader refuses.
MultipartCase Refused(const char* name, const std::string& body, UploadResult result,
                      uint64_t maxBytes = 1 << 20) {
  return {name, body, result, "", "", {}, maxBytes};
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, Multipart,
    testing::Values(
        MultipartCase{"FieldsAndFile",
                      Part("name=\"session\"", "abc") +
                          Part("name=\"photo\"; filename=\"a.jpg\"", kAwkward) +
                          Part("name=\"copies\"", "2") + "--XyZ--\r\n",
                      UploadResult::kOk,
                      kAwkward,
                      "a.jpg",
                      {{"session", "abc"}, {"copies", "2"}}},
        MultipartCase{"PreambleEpilogueAndEmptyValue",
                      "ignored\r\n" + Part("name=\"look\"", "") + "--XyZ--\r\nafter",
                      UploadResult::kOk,
                      "",
                      "",
                      {{"look", ""}}},
        Refused("NoClosingBoundary", Part("name=\"session\"", "abc"), UploadResult::kMalformed),
        Refused("SecondFile",
                Part("name=\"a\"; filename=\"a\"", "1") + Part("name=\"b\"; filename=\"b\"", "2") +
                    "--XyZ--",
                UploadResult::kMalformed),
        Refused("PartWithoutName", Part("filename=\"a\"", "1") + "--XyZ--",
                UploadResult::kMalformed),
        Refused("FieldTooLong", Part("name=\"a\"", std::string(5000, 'x')) + "--XyZ--",
                UploadResult::kMalformed),
        Refused("BodyOverTheBound",
                Part("name=\"photo\"; filename=\"a\"", std::string(3000, 'x')) + "--XyZ--",
                UploadResult::kTooLarge, 2048)),
    [](const testing::TestParamInfo<MultipartCase>& info) { return info.param.name; });

TEST(MultipartBoundaryTest, ComesFromTheContentTypeOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"multipart/form-data; boundary=----WebKitFormBoundaryA1", "----WebKitFormBoundaryA1"},
      {"Multipart/Form-Data; charset=utf-8; boundary=\"a b\"", "a b"},
      {"multipart/form-data; boundary=x; charset=utf-8", "x"},
      {"multipart/form-data", nullptr},
      {"application/x-www-form-urlencoded; boundary=x", nullptr},
      {"multipart/form-data; boundary=", nullptr},
  };
  for (const auto& [type, expected] : cases) {
    std::string boundary;
    EXPECT_EQ(expected != nullptr, MultipartBoundary(type, &boundary)) << type;
    if (expected != nullptr) {
      EXPECT_EQ(expected, boundary) << type;
    }
  }
}

// ---- The page, against the app and the simulated printer.

// A phone's photo: 4000 x 3000 pixels, noisy enough to take several MB as
// a JPEG, more than PAPPL's own form reader takes.
e2e::Rgb PhonePhoto() {
  e2e::Rgb image = e2e::SamplePhoto(4000, 3000);
  std::mt19937 noise(46);
  for (uint8_t& sample : image.pixels)
    sample =
        static_cast<uint8_t>(std::clamp<int>(sample + static_cast<int>(noise() % 33) - 16, 0, 255));
  return image;
}

class PrintPage : public apptest::AppTest {
 protected:
  std::string PageUrl(const std::string& view = "print") const {
    return app_.WebUrl("/VALDREN-QV-46/" + view);
  }

  // The form's token, from the page as a browser gets it.
  std::string Token() {
    std::string page;
    EXPECT_EQ(0, apptest::Run({"curl", "-sf", PageUrl()}, &page));
    std::smatch match;
    std::regex_search(page, match, std::regex("name=\"session\" value=\"([0-9a-f]+)\""));
    return match.empty() ? std::string() : match[1].str();
  }

  struct Answer {
    std::string status;  // "303 http://.../print-job?id=3": the code and the redirect
    std::string page;
  };
  // POSTs the form with `fields`, as curl -F sends them.
  Answer Post(const std::vector<std::string>& fields,
              const std::vector<std::string>& curlOptions = {}) {
    std::vector<std::string> argv = {
        "curl", "-s", "-o", Path("answer.html"), "-w", "%{http_code} %{redirect_url}"};
    argv.insert(argv.end(), curlOptions.begin(), curlOptions.end());
    for (const std::string& field : fields) argv.insert(argv.end(), {"-F", field});
    argv.push_back(PageUrl());
    Answer answer;
    apptest::Run(argv, &answer.status);
    answer.page = e2e::ReadFile(Path("answer.html"));
    unlink(Path("answer.html").c_str());
    return answer;
  }
};

// Each look: standard, and fine, whose page the photo is stretched for; a
// JPEG (smoothed as it is scaled) and a PNG (not smoothed).
struct LookCase {
  const char* name;
  const char* look;
  bool png;
};

class Looks : public PrintPage, public testing::WithParamInterface<LookCase> {};

TEST_P(Looks, PhonePhotoPrintsThePanelItsPreviewShowed) {
  const LookCase& c = GetParam();
  const std::string look = std::string("look=") + c.look;
  const std::string file = c.png ? "phone.png" : "phone.jpg";
  const std::string photo = Path(file);
  ASSERT_TRUE(c.png ? e2e::WritePng(photo, PhonePhoto())
                    : apptest::WriteJpeg(photo, PhonePhoto(), {}, 95));
  ASSERT_GT(e2e::ReadFile(photo).size(), size_t{4} << 20);
  const std::string token = Token();
  ASSERT_FALSE(token.empty());

  // Preview: the page shows the panel for the photo kept on the printer's side.
  const Answer previewAnswer =
      Post({"session=" + token, "photo=@" + photo, "copies=1", look, "action=preview"});
  ASSERT_EQ(0u, previewAnswer.status.rfind("200 ", 0)) << previewAnswer.status;
  const std::string& previewPage = previewAnswer.page;
  // A browser sends the form's hidden fields back.
  std::smatch id, name, image;
  ASSERT_TRUE(
      std::regex_search(previewPage, id, std::regex("name=\"photo-id\" value=\"([0-9a-f]{32})\"")));
  ASSERT_TRUE(
      std::regex_search(previewPage, name, std::regex("name=\"photo-name\" value=\"([^\"]*)\"")));
  ASSERT_TRUE(
      std::regex_search(previewPage, image, std::regex("src=\"([^\"]*print-preview[^\"]*)\"")));
  const std::string previewUrl = std::regex_replace(image[1].str(), std::regex("&amp;"), "&");
  ASSERT_EQ(0, apptest::Run({"curl", "-sf", "-o", Path("preview.png"), app_.WebUrl(previewUrl)}));
  e2e::Rgb preview;
  ASSERT_TRUE(e2e::ReadPng(Path("preview.png"), &preview));

  // Print: the same photo, no second upload; the answer leads to the job.
  const size_t before = app_.Captured();
  const Answer printed = Post({"session=" + token, "photo-id=" + id[1].str(),
                               "photo-name=" + name[1].str(), "copies=1", look, "action=print"});
  std::smatch job;
  ASSERT_TRUE(
      std::regex_search(printed.status, job, std::regex("^303 \\S*/print-job\\?id=([0-9]+)$")))
      << printed.status << " " << printed.page.substr(0, 300);
  // A job from the page belongs to nobody in particular: an administrator
  // sees its attributes.
  app_.LogIn(AppUnderTest::kAdmin, AppUnderTest::kPassword);
  EXPECT_EQ("completed", app_.WaitForJob(std::stoi(job[1])).substr(0, 9));
  std::string jobPage;
  EXPECT_EQ(0, apptest::Run({"curl", "-sf", PageUrl("print-job?id=" + job[1].str())}, &jobPage));
  EXPECT_NE(std::string::npos, jobPage.find("Printed")) << jobPage;
  EXPECT_NE(std::string::npos, jobPage.find(file)) << jobPage;

  const std::string stream = app_.JobStreamSince(before);
  const qv46stream::DecodeResult decoded =
      qv46stream::DecodeStream(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
  ASSERT_TRUE(decoded.ok) << decoded.error;
  std::vector<qv46stream::Panel> panels;
  std::string error;
  ASSERT_TRUE(qv46stream::CollectPanels(decoded.packets, &panels, &error)) << error;
  ASSERT_EQ(1u, panels.size());
  const qv46stream::RgbImage panel = qv46stream::ComposePreview(panels[0]);
  EXPECT_EQ(panel.width, preview.width);
  EXPECT_EQ(panel.height, preview.height);
  EXPECT_TRUE(panel.pixels == preview.pixels) << "the printed panel is not the preview";
}

INSTANTIATE_TEST_SUITE_P(Print, Looks,
                         testing::Values(LookCase{"StandardJpeg", "standard", false},
                                         LookCase{"FineJpeg", "fine", false},
                                         LookCase{"FinePng", "fine", true}),
                         [](const testing::TestParamInfo<LookCase>& info) {
                           return info.param.name;
                         });

// The copies and the look chosen on the page are the job's.
TEST_F(PrintPage, ChoicesReachTheJob) {
  const std::string photo = Path("small.jpg");
  ASSERT_TRUE(apptest::WriteJpeg(photo, e2e::SamplePhoto(300, 200)));
  const Answer printed =
      Post({"session=" + Token(), "photo=@" + photo, "copies=3", "look=fine", "action=print"});
  std::smatch job;
  ASSERT_TRUE(std::regex_search(printed.status, job, std::regex("id=([0-9]+)$"))) << printed.status;
  app_.LogIn(AppUnderTest::kAdmin, AppUnderTest::kPassword);
  const std::string attributes = app_.Ipp("Get-Job-Attributes", {"integer job-id " + job[1].str()});
  EXPECT_NE(std::string::npos, attributes.find("copies (integer) = 3")) << attributes;
  EXPECT_NE(std::string::npos, attributes.find("printer-resolution (resolution) = 300x600dpi"))
      << attributes;
  EXPECT_NE(std::string::npos, attributes.find("job-name (nameWithoutLanguage) = small.jpg"))
      << attributes;
}

struct RefusalCase {
  const char* name;
  size_t photoBytes;  // of zeros; 0: a small JPEG
  bool chunked;       // sent without a length, so only reading can bound it
  bool withToken;
  const char* code;
  const char* words;  // of the answer's page; null when the body is refused unread
};

class Refusals : public PrintPage, public testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusals, AnswerWithoutPrinting) {
  const RefusalCase& c = GetParam();
  const std::string photo = Path("upload.bin");
  if (c.photoBytes > 0) {
    const int fd = open(photo.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const bool sized = fd >= 0 && ftruncate(fd, static_cast<off_t>(c.photoBytes)) == 0;
    if (fd >= 0) close(fd);
    ASSERT_TRUE(sized);
  } else {
    ASSERT_TRUE(apptest::WriteJpeg(photo, e2e::SamplePhoto(60, 40)));
  }
  std::vector<std::string> fields = {"photo=@" + photo, "action=print"};
  if (c.withToken) fields.push_back("session=" + Token());
  const Answer answer =
      Post(fields, c.chunked ? std::vector<std::string>{"-H", "Transfer-Encoding: chunked"}
                             : std::vector<std::string>{});
  EXPECT_EQ(0u, answer.status.rfind(c.code, 0)) << answer.status;
  // A refusal before the body is read closes the connection, which may
  // lose the page.
  if (c.words != nullptr) {
    EXPECT_NE(std::string::npos, answer.page.find(c.words)) << answer.page;
  }
  // Nothing was queued, and nothing of the upload stays in the spool.
  const std::string jobs = app_.Ipp("Get-Jobs", {"keyword which-jobs all"});
  ASSERT_FALSE(jobs.empty());
  EXPECT_EQ(std::string::npos, jobs.find("job-id (integer)")) << jobs;
  std::string spool;
  apptest::Run({"ls", app_.Work() + "/spool"}, &spool);
  EXPECT_EQ(std::string::npos, spool.find("qv46-upload-")) << spool;
}

INSTANTIATE_TEST_SUITE_P(
    Uploads, Refusals,
    testing::Values(
        RefusalCase{"TooLargeByItsLength", (size_t{50} << 20) + 1, false, true, "413", nullptr},
        RefusalCase{"TooLargeWhileRead", (size_t{50} << 20) + 1, true, true, "413", nullptr},
        RefusalCase{"WithoutTheFormsToken", 0, false, false, "400", "expired"},
        RefusalCase{"NotAPhoto", 4096, false, true, "200", "JPEG or PNG photo"}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

// Counts the writes of one file in a folder, as inotify reports them:
// written in place or renamed into place.
class FileWrites {
 public:
  explicit FileWrites(const std::string& path)
      : name_(path.substr(path.rfind('/') + 1)), fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    inotify_add_watch(fd_, path.substr(0, path.rfind('/')).c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
  }
  ~FileWrites() { close(fd_); }
  FileWrites(const FileWrites&) = delete;
  FileWrites& operator=(const FileWrites&) = delete;

  bool Ok() const { return fd_ >= 0; }

  int Count() {
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && name_ == event->name) ++count_;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return count_;
  }

 private:
  std::string name_;
  int fd_;
  int count_ = 0;
};

// The idle printer is asked every 50 ms, so a minute of the default
// interval passes in seconds.
class QuietState : public testing::Test {
 protected:
  void SetUp() override {
    app_.AddOption("status-interval-ms=50");
    std::string error;
    ASSERT_TRUE(app_.Start(&error)) << error;
  }

  // Waits for `polls` more status queries; false when they did not come.
  bool Polls(int polls) {
    const size_t from = app_.Captured();
    return e2e::Eventually(
        [&] { return app_.StatusQueriesSince(from) >= static_cast<size_t>(polls); }, 20000);
  }

  AppUnderTest app_;
};

TEST_F(QuietState, IdlePollsLeaveTheStateAloneAndAChangeIsSaved) {
  FileWrites writes(app_.StatePath());
  ASSERT_TRUE(writes.Ok());
  // What starting changed is saved within the first second (PAPPL saves
  // from its loop, which wakes every second); then a minute's polls of the
  // default interval, some seconds here, without a write.
  ASSERT_TRUE(Polls(30));
  const int settled = writes.Count();
  ASSERT_TRUE(Polls(30));
  EXPECT_EQ(settled, writes.Count()) << "the state file was written while nothing changed";

  const int before = writes.Count();
  ASSERT_TRUE(app_.Sim("set", "INFO MEDIA MS00400"));
  EXPECT_TRUE(e2e::Eventually([&] { return writes.Count() > before; }, 15000));
  EXPECT_EQ("na_6x9_6x9in", app_.PrinterAttribute("media-ready"));
}

}  // namespace
